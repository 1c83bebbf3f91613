#include "settings/field_rpm_chart_widget.h"

#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QImage>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

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

FieldRpmChart::FieldRpmChart(QWidget* parent)
    : QChartView(new QChart, parent)
{
    QChart* c = chart();
    c->legend()->hide();
    c->setTitle(QString());
    c->setMargins(QMargins(0, 0, RightMargin, 0));
    c->layout()->setContentsMargins(0, 0, 0, 0);
    c->setBackgroundRoundness(0);

    series_ = new QLineSeries;
    series_->setName(QStringLiteral("Series1"));
    series_->setObjectName(QStringLiteral("Series1"));
    series_->setPen(QPen(Qt::red, 2));
    series_->setPointsVisible(true);
    series_->setMarkerSize(MarkerSize);
    series_->setLightMarker(RectangleMarker());
    // The series' own labels would show the unrounded value; ours are drawn
    // in drawForeground with the whole-number format.
    series_->setPointLabelsVisible(false);
    c->addSeries(series_);

    rpmAxis_ = new QValueAxis;
    rpmAxis_->setRange(RpmAxisMinimum, RpmAxisMaximum);
    rpmAxis_->setTickType(QValueAxis::TicksDynamic);
    rpmAxis_->setTickAnchor(RpmAxisLabelStep);
    rpmAxis_->setTickInterval(RpmAxisLabelStep);
    rpmAxis_->setMinorTickCount(0);
    rpmAxis_->setLabelFormat(QStringLiteral("%.0f"));
    rpmAxis_->setTitleText(RpmAxisTitle());
    c->addAxis(rpmAxis_, Qt::AlignBottom);
    series_->attachAxis(rpmAxis_);

    fieldAxis_ = new QValueAxis;
    fieldAxis_->setRange(FieldAxisMinimum, FieldAxisMaximum);
    fieldAxis_->setTickType(QValueAxis::TicksDynamic);
    fieldAxis_->setTickAnchor(CurveMinimumPercent);
    fieldAxis_->setTickInterval(FieldAxisLabelStep);
    fieldAxis_->setMinorTickCount(0);
    fieldAxis_->setLabelFormat(QStringLiteral("%.0f"));
    fieldAxis_->setTitleText(FieldAxisTitle());
    c->addAxis(fieldAxis_, Qt::AlignLeft);
    series_->attachAxis(fieldAxis_);

    // No zoom, no panning; the chart fills the widget exactly, so viewport
    // and widget coordinates agree.
    setRubberBand(QChartView::NoRubberBand);
    setDragMode(QGraphicsView::NoDrag);
    setFrameShape(QFrame::NoFrame);
    setRenderHint(QPainter::Antialiasing);
    setCursor(Qt::CrossCursor);
    viewport()->setCursor(Qt::CrossCursor);
    viewport()->setMouseTracking(true);

    SetPoints(CurvePointsFromRecord(FieldRpmCurve{}));
}

void FieldRpmChart::SetPoints(const CurvePoints& points)
{
    series_->clear();
    for (int i = 0; i < FieldRpmPointCount; ++i)
        series_->append(CurvePointRpm(i), points[std::size_t(i)]);
    viewport()->update();
}

CurvePoints FieldRpmChart::Points() const
{
    CurvePoints points{};
    for (int i = 0; i < FieldRpmPointCount && i < series_->count(); ++i)
        points[std::size_t(i)] = series_->at(i).y();
    return points;
}

// The view neither scrolls nor scales, so scene and viewport differ by a
// plain offset, which keeps fractions of a pixel intact.
QPointF FieldRpmChart::ViewportToChart(const QPointF& pos) const
{
    return chart()->mapFromScene(pos + mapToScene(QPoint(0, 0)));
}

QPointF FieldRpmChart::ChartToViewport(const QPointF& pos) const
{
    const QPointF scene = chart()->mapToScene(pos);
    return scene - mapToScene(QPoint(0, 0));
}

QPointF FieldRpmChart::PositionOfValue(double rpm, double percent) const
{
    return ChartToViewport(chart()->mapToPosition(QPointF(rpm, percent), series_));
}

double FieldRpmChart::ValueAtPixelY(int y) const
{
    const QPointF inChart = ViewportToChart(QPointF(0, y));
    return chart()->mapToValue(QPointF(chart()->plotArea().center().x(), inChart.y()), series_).y();
}

int FieldRpmChart::PointIndexAt(const QPoint& widgetPos) const
{
    const QPointF p(widgetPos);
    const double half = MarkerSize / 2.0;
    QPointF previous;
    for (int i = 0; i < series_->count(); ++i) {
        const QPointF here = PositionOfValue(series_->at(i).x(), series_->at(i).y());
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
    if (!curveDragActive_ || curveDragIndex_ < 0 || curveDragIndex_ >= series_->count())
        return;
    const double value = LimitCurveValue(ValueAtPixelY(pos.y()));
    series_->replace(curveDragIndex_, QPointF(series_->at(curveDragIndex_).x(), value));
    viewport()->update();
    emit curveEdited();
}

void FieldRpmChart::FieldRpmChartMouseUp(const QPoint&)
{
    curveDragActive_ = false;
}

void FieldRpmChart::mousePressEvent(QMouseEvent* event)
{
    FieldRpmChartMouseDown(event->position().toPoint());
    QChartView::mousePressEvent(event);
    // The chart takes every click, hit or not; nothing behind it wants them.
    event->accept();
}

// The second press of a double click comes as a double-click event, not as a
// press; it starts a drag all the same.
void FieldRpmChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    FieldRpmChartMouseDown(event->position().toPoint());
    QChartView::mouseDoubleClickEvent(event);
    event->accept();
}

void FieldRpmChart::mouseMoveEvent(QMouseEvent* event)
{
    const int hovered = PointIndexAt(event->position().toPoint());
    if (!curveDragActive_ && IsPointChanged(hovered))
        QToolTip::showText(event->globalPosition().toPoint(),
                           QStringLiteral("Was: ") + CurvePointLabel((*reference_)[std::size_t(hovered)]), this);
    FieldRpmChartMouseMove(event->position().toPoint());
    QChartView::mouseMoveEvent(event);
}

void FieldRpmChart::mouseReleaseEvent(QMouseEvent* event)
{
    FieldRpmChartMouseUp(event->position().toPoint());
    QChartView::mouseReleaseEvent(event);
}

void FieldRpmChart::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    // The labels are drawn by the view, not by the chart's items, so a new
    // plot area needs a full repaint of them.
    viewport()->update();
}

void FieldRpmChart::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    painter->save();
    painter->setPen(Qt::black);
    const QFontMetricsF metrics(painter->font());
    for (int i = 0; i < series_->count(); ++i) {
        const QPointF point = series_->at(i);
        const QPointF scene = chart()->mapToScene(chart()->mapToPosition(point, series_));
        const QString label = CurvePointLabel(point.y());
        const double width = metrics.horizontalAdvance(label);
        const QPointF baseline(scene.x() - width / 2.0, scene.y() - MarkerSize / 2.0 - 2.0 - metrics.descent());
        painter->drawText(baseline, label);
        if (IsPointChanged(i)) {
            painter->save();
            painter->setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawEllipse(scene, MarkerSize, MarkerSize);
            painter->restore();
        }
    }
    painter->restore();
}

void FieldRpmChart::SetReferencePoints(const CurvePoints& points)
{
    reference_ = points;
    viewport()->update();
}

bool FieldRpmChart::IsPointChanged(int index) const
{
    return reference_ && index >= 0 && index < series_->count()
           && CurvePointLabel(series_->at(index).y()) != CurvePointLabel((*reference_)[std::size_t(index)]);
}
