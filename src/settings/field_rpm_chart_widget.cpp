#include "settings/field_rpm_chart_widget.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace {

// Room at the right so that the last axis label is not cut off; the other
// sides have no margin.
constexpr int RightMargin = 12;

QImage RectangleMarker()
{
    QImage image(FieldRpmChart::MarkerSize, FieldRpmChart::MarkerSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::red);
    QPainter painter(&image);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, FieldRpmChart::MarkerSize - 1, FieldRpmChart::MarkerSize - 1);
    return image;
}

double DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF ab = b - a;
    const double lengthSquared = QPointF::dotProduct(ab, ab);
    double t = lengthSquared > 0 ? QPointF::dotProduct(p - a, ab) / lengthSquared : 0.0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    const QPointF nearest = a + t * ab;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

} // namespace

FieldRpmChart::FieldRpmChart(QWidget* parent) : PlotWidget(parent)
{
    SetOuterMargins(QMargins(0, 0, RightMargin, 0));
    Axis rpm;
    rpm.low = RpmAxisMinimum;
    rpm.high = RpmAxisMaximum;
    rpm.step = RpmAxisLabelStep;
    rpm.anchor = RpmAxisLabelStep;
    rpm.title = RpmAxisTitle();
    SetXAxis(rpm);
    Axis field;
    field.low = FieldAxisMinimum;
    field.high = FieldAxisMaximum;
    field.step = FieldAxisLabelStep;
    field.anchor = CurveMinimumPercent;
    field.title = FieldAxisTitle();
    SetYAxes({field});

    Series curve;
    curve.name = QStringLiteral("Series1");
    curve.pen = QPen(Qt::red, 2);
    // Labels are drawn over the points with the whole-number format.
    curve.marker = RectangleMarker();
    AddSeries(curve);
    // No zoom, no panning; the crosshair cursor of the design.
    setCursor(Qt::CrossCursor);

    SetPoints(CurvePointsFromRecord(FieldRpmCurve{}));
}

void FieldRpmChart::SetPoints(const CurvePoints& points)
{
    QVector<QPointF> values;
    for (int i = 0; i < FieldRpmPointCount; ++i)
        values.append(QPointF(CurvePointRpm(i), points[std::size_t(i)]));
    SetSeriesPoints(CurveSeries, values);
}

CurvePoints FieldRpmChart::Points() const
{
    CurvePoints points{};
    const QVector<QPointF>& values = SeriesAt(CurveSeries).points;
    for (int i = 0; i < FieldRpmPointCount && i < values.size(); ++i)
        points[std::size_t(i)] = values[i].y();
    return points;
}

QPointF FieldRpmChart::PositionOfValue(double rpm, double percent) const
{
    return ToPixel(QPointF(rpm, percent));
}

double FieldRpmChart::ValueAtPixelY(int y) const
{
    return ToValue(QPointF(PlotArea().center().x(), y)).y();
}

int FieldRpmChart::PointIndexAt(const QPoint& widgetPos) const
{
    const QPointF p(widgetPos);
    const double half = MarkerSize / 2.0;
    const QVector<QPointF>& values = SeriesAt(CurveSeries).points;
    QPointF previous;
    for (int i = 0; i < values.size(); ++i) {
        const QPointF here = PositionOfValue(values[i].x(), values[i].y());
        if (std::abs(p.x() - here.x()) <= half && std::abs(p.y() - here.y()) <= half)
            return i;
        if (i > 0 && DistanceToSegment(p, previous, here) <= LineTolerance)
            return i - 1;
        previous = here;
    }
    return -1;
}

void FieldRpmChart::FieldRpmChartMouseDown(const QPoint& pos)
{
    const int index = PointIndexAt(pos);
    if (index >= 0 && index < FieldRpmPointCount) {
        curveDragActive_ = true;
        curveDragIndex_ = index;
    }
}

void FieldRpmChart::FieldRpmChartMouseMove(const QPoint& pos)
{
    const QVector<QPointF>& values = SeriesAt(CurveSeries).points;
    if (!curveDragActive_ || curveDragIndex_ < 0 || curveDragIndex_ >= values.size())
        return;
    const double value = LimitCurveValue(ValueAtPixelY(pos.y()));
    SetSeriesPoint(CurveSeries, curveDragIndex_, QPointF(values[curveDragIndex_].x(), value));
    emit curveEdited();
}

void FieldRpmChart::FieldRpmChartMouseUp(const QPoint&)
{
    curveDragActive_ = false;
}

void FieldRpmChart::mousePressEvent(QMouseEvent* event)
{
    FieldRpmChartMouseDown(event->position().toPoint());
    // The chart takes every click, hit or not; nothing behind it wants them.
    event->accept();
}

// The second press of a double click comes as a double-click event, not as a
// press; it starts a drag all the same.
void FieldRpmChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    FieldRpmChartMouseDown(event->position().toPoint());
    event->accept();
}

void FieldRpmChart::mouseMoveEvent(QMouseEvent* event)
{
    const int hovered = PointIndexAt(event->position().toPoint());
    if (!curveDragActive_ && IsPointChanged(hovered))
        QToolTip::showText(event->globalPosition().toPoint(),
                           QStringLiteral("Was: ") + CurvePointLabel((*reference_)[std::size_t(hovered)]), this);
    FieldRpmChartMouseMove(event->position().toPoint());
    event->accept();
}

void FieldRpmChart::mouseReleaseEvent(QMouseEvent* event)
{
    FieldRpmChartMouseUp(event->position().toPoint());
    event->accept();
}

void FieldRpmChart::PaintOverlay(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(palette().color(QPalette::Text));
    const QFontMetricsF metrics(painter.font());
    const QVector<QPointF>& values = SeriesAt(CurveSeries).points;
    for (int i = 0; i < values.size(); ++i) {
        const QPointF at = PositionOfValue(values[i].x(), values[i].y());
        const QString label = CurvePointLabel(values[i].y());
        const double width = metrics.horizontalAdvance(label);
        painter.drawText(QPointF(at.x() - width / 2.0, at.y() - MarkerSize / 2.0 - 2.0 - metrics.descent()), label);
        if (IsPointChanged(i)) {
            painter.save();
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(at, MarkerSize, MarkerSize);
            painter.restore();
        }
    }
    painter.restore();
}

void FieldRpmChart::SetReferencePoints(const CurvePoints& points)
{
    reference_ = points;
    update();
}

bool FieldRpmChart::IsPointChanged(int index) const
{
    const QVector<QPointF>& values = SeriesAt(CurveSeries).points;
    return reference_ && index >= 0 && index < values.size()
           && CurvePointLabel(values[index].y()) != CurvePointLabel((*reference_)[std::size_t(index)]);
}
