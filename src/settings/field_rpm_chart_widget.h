#pragma once
// FieldRpmChart: the field limit curve of the "Settings" page, twelve points
// that the user drags up and down. The chart's point values are the working
// copy of the curve between UpdateFieldRpmChart (SetPoints) and
// StoreFieldRpmChart (Points).
#include "plot/plot_widget.h"
#include "settings/field_rpm_curve.h"

#include <optional>

class FieldRpmChart : public PlotWidget {
    Q_OBJECT
public:
    // Side of the square point markers and the distance from the line that
    // still counts as a hit on it, in pixels.
    static constexpr int MarkerSize = 8;
    static constexpr double LineTolerance = 3.0;
    // The one series, as the design names it.
    static constexpr int CurveSeries = 0;

    explicit FieldRpmChart(QWidget* parent = nullptr);

    // Replaces all points: X = (i + 1) x 500, Y = the given value.
    void SetPoints(const CurvePoints& points);
    CurvePoints Points() const;

    bool CurveDragActive() const { return curveDragActive_; }
    int CurveDragIndex() const { return curveDragIndex_; }
    // Ends a drag without a button release (the settings read does this).
    void CancelDrag() { curveDragActive_ = false; }

    // The point under a position in widget coordinates. Points are tested in
    // index order and the first match wins: inside the marker of point i
    // gives i, on the line between points i - 1 and i gives i - 1. -1 when
    // nothing is hit.
    int PointIndexAt(const QPoint& widgetPos) const;

    // The left axis value at a vertical position, the inverse of how the axis
    // places values.
    double ValueAtPixelY(int y) const;
    // Where a curve value is drawn, in widget coordinates (not rounded).
    QPointF PositionOfValue(double rpm, double percent) const;

    // The drag, one handler per mouse event; positions in widget coordinates.
    void FieldRpmChartMouseDown(const QPoint& pos);
    void FieldRpmChartMouseMove(const QPoint& pos);
    void FieldRpmChartMouseUp(const QPoint& pos);

    // The curve as the values were last taken in: a point whose label now
    // differs is ringed, and pointing at it shows the value it replaced.
    void SetReferencePoints(const CurvePoints& points);
    bool IsPointChanged(int index) const;

signals:
    // A drag moved a point.
    void curveEdited();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void PaintOverlay(QPainter& painter) override;

private:
    bool curveDragActive_ = false;
    int curveDragIndex_ = 0;
    std::optional<CurvePoints> reference_;
};
