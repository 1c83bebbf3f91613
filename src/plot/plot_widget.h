#pragma once
// A plot drawn with QPainter: a bottom axis and one or more left axes with
// ticks, labels and titles, line series (a point whose y is not a number
// breaks the line: a gap), point markers, a legend, and a horizontal band
// the user drags to pick a stretch of the bottom axis. The field/RPM chart,
// the Trends window and the data log viewer draw on it.
#include "plot/plot_scale.h"

#include <QImage>
#include <QPen>
#include <QVector>
#include <QWidget>

#include <optional>

class PlotWidget : public QWidget {
    Q_OBJECT
public:
    struct Axis {
        double low = 0;
        double high = 1;
        // Between ticks; 0: a step chosen for the axis' length.
        double step = 0;
        // A value a tick falls on (a clock axis puts its ticks on whole local
        // minutes or hours by itself).
        double anchor = 0;
        // The range widens to the ticks just outside it, so that the ends
        // are labelled (for a range worked out from the values shown).
        bool roundOut = false;
        QString title;
        // Values are milliseconds since the epoch, labelled with the local
        // time of day.
        bool clock = false;
        // Of the labels and the title; invalid: the palette's text colour.
        QColor color;
    };
    struct Series {
        QString name; // in the legend; empty: not listed
        QPen pen;
        int axis = 0; // the vertical axis it is drawn against
        bool visible = true;
        QImage marker; // drawn centred on each point, when set
        QVector<QPointF> points;
    };

    explicit PlotWidget(QWidget* parent = nullptr);

    void SetXAxis(const Axis& axis);
    const Axis& XAxis() const { return x_; }
    void SetXRange(double low, double high);
    // The vertical axes: the first next to the plot, each further one to the
    // left of the one before.
    void SetYAxes(const QVector<Axis>& axes);
    void SetYRange(int axis, double low, double high);
    const Axis& YAxis(int axis) const { return y_[axis]; }
    // The range an axis shows: its own, or widened to its ticks (roundOut).
    std::pair<double, double> ShownYRange(int axis) const;
    // The labels of an axis' ticks, bottom to top (axis -1: the bottom axis).
    QStringList TickLabels(int axis) const;
    int YAxisCount() const { return int(y_.size()); }

    int AddSeries(const Series& series);
    int SeriesCount() const { return int(series_.size()); }
    const Series& SeriesAt(int index) const { return series_[index]; }
    void SetSeriesPoints(int index, QVector<QPointF> points);
    void SetSeriesPoint(int index, int point, const QPointF& value);
    void SetSeriesVisible(int index, bool visible);
    void ClearSeries();
    // Points with a value (gaps not counted).
    int PointCount(int index) const;

    void SetLegendVisible(bool visible);
    // Room around everything, in pixels.
    void SetOuterMargins(const QMargins& margins);
    // The vertical axes take at least this width, so that plots stacked
    // above each other with the same width line their plot areas up.
    void SetMinimumAxesWidth(int width);
    // The width the vertical axes' ticks, labels and titles need.
    int AxesWidth() const;

    // Where values are drawn, in widget coordinates.
    QRectF PlotArea() const { return plotArea_; }
    QPointF ToPixel(const QPointF& value, int axis = 0) const;
    QPointF ToValue(const QPointF& pixel, int axis = 0) const;

    // A band dragged with the left button picks a stretch of the bottom axis
    // (rangeSelected); the right button asks to go back (zoomOutRequested).
    void SetRubberBandEnabled(bool enabled) { rubberBandEnabled_ = enabled; }

    // The plot as a picture, at its size on the screen.
    QImage Picture();

signals:
    void rangeSelected(double low, double high);
    void zoomOutRequested();
    // The mouse moved over the widget (no button needed).
    void hovered(const QPointF& pixel);
    // The mouse left the widget.
    void hoverEnded();
    // The plot area moved or changed its size.
    void plotAreaChanged(const QRectF& area);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    // Drawn over the series and axes (labels at points, marks).
    virtual void PaintOverlay(QPainter& painter);

private:
    struct AxisLayout {
        double low = 0;
        double high = 1;
        std::vector<double> ticks;
        QStringList labels;
        int labelWidth = 0;
    };
    AxisLayout Ticks(const Axis& axis, double length, bool horizontal) const;
    int VerticalAxisWidth(const Axis& axis, const AxisLayout& ticks) const;
    // Works out the plot area from the size, the fonts and the labels.
    void Relayout();
    PlotScale XScale() const;
    PlotScale YScale(int axis) const;
    void PaintAxes(QPainter& painter);
    void PaintSeries(QPainter& painter);
    void PaintLegend(QPainter& painter);
    QVector<QRectF> LegendEntries(int width) const;

    Axis x_;
    QVector<Axis> y_;
    QVector<Series> series_;
    bool legendVisible_ = false;
    QMargins margins_{4, 4, 4, 4};
    int minimumAxesWidth_ = 0;
    QRectF plotArea_;
    AxisLayout xTicks_;
    QVector<AxisLayout> yTicks_;
    qint64 clockOffsetMs_ = 0;
    bool rubberBandEnabled_ = false;
    std::optional<double> bandStart_;
    double bandEnd_ = 0;
};
