#include "plot/plot_widget.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TickLength = 4;
constexpr int LabelGap = 3;
constexpr int TitleGap = 4;
constexpr int AxisGap = 6;
constexpr int LegendSample = 16;
// Roughly how far apart ticks should be on each kind of axis, in pixels,
// and the least room between two labels side by side.
constexpr int VerticalTickSpacing = 40;
constexpr int HorizontalTickSpacing = 100;
constexpr int LabelSpacing = 12;

const QColor GridColor(0xE4, 0xE4, 0xE4);

} // namespace

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent), y_(1)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotWidget::SetXAxis(const Axis& axis)
{
    x_ = axis;
    Relayout();
}

void PlotWidget::SetXRange(double low, double high)
{
    if (x_.low == low && x_.high == high)
        return;
    x_.low = low;
    x_.high = high;
    Relayout();
}

void PlotWidget::SetYAxes(const QVector<Axis>& axes)
{
    y_ = axes.isEmpty() ? QVector<Axis>(1) : axes;
    Relayout();
}

void PlotWidget::SetYRange(int axis, double low, double high)
{
    if (axis < 0 || axis >= y_.size() || (y_[axis].low == low && y_[axis].high == high))
        return;
    y_[axis].low = low;
    y_[axis].high = high;
    Relayout();
}

int PlotWidget::AddSeries(const Series& series)
{
    series_.append(series);
    Relayout(); // the legend may grow
    return int(series_.size()) - 1;
}

void PlotWidget::SetSeriesPoints(int index, QVector<QPointF> points)
{
    series_[index].points = std::move(points);
    update();
}

void PlotWidget::SetSeriesPoint(int index, int point, const QPointF& value)
{
    series_[index].points[point] = value;
    update();
}

void PlotWidget::SetSeriesVisible(int index, bool visible)
{
    if (series_[index].visible == visible)
        return;
    series_[index].visible = visible;
    Relayout();
}

void PlotWidget::ClearSeries()
{
    series_.clear();
    Relayout();
}

int PlotWidget::PointCount(int index) const
{
    const QVector<QPointF>& points = series_[index].points;
    return int(std::count_if(points.begin(), points.end(), [](const QPointF& p) { return std::isfinite(p.y()); }));
}

void PlotWidget::SetLegendVisible(bool visible)
{
    legendVisible_ = visible;
    Relayout();
}

void PlotWidget::SetOuterMargins(const QMargins& margins)
{
    margins_ = margins;
    Relayout();
}

void PlotWidget::SetMinimumAxesWidth(int width)
{
    if (minimumAxesWidth_ == width)
        return;
    minimumAxesWidth_ = width;
    Relayout();
}

PlotWidget::AxisLayout PlotWidget::Ticks(const Axis& axis, double length, bool horizontal) const
{
    AxisLayout layout;
    layout.low = axis.low;
    layout.high = axis.high;
    if (!(axis.high > axis.low))
        return layout;
    const QFontMetrics metrics(font());
    const double anchor = axis.clock ? double(-clockOffsetMs_) : axis.anchor;
    const auto labelOf = [&](double v, const PlotTickChoice& choice) {
        return axis.clock ? ClockTickLabel(v, choice.step, clockOffsetMs_) : PlotTickLabel(v, choice.decimals, false, 0);
    };
    PlotTickChoice choice;
    if (axis.step > 0) {
        choice.low = axis.low;
        choice.high = axis.high;
        choice.step = axis.step;
        choice.decimals = StepDecimals(axis.step);
        choice.ticks = PlotTicks(axis.low, axis.high, axis.step, anchor);
    } else {
        // Labels side by side need their width and a gap; labels above each
        // other their height. The width is known once the labels are: a
        // second choice takes it when the first one's labels turn out wider
        // than the room it assumed.
        PlotTickRoom room{length, metrics.height() + 3.0,
                          double(horizontal ? HorizontalTickSpacing : VerticalTickSpacing)};
        if (horizontal)
            room.minSpacing = metrics.horizontalAdvance(QStringLiteral("00:00:00")) + LabelSpacing;
        for (int pass = 0; pass < 2; ++pass) {
            choice = axis.clock ? ChooseClockTicks(axis.low, axis.high, room, anchor)
                                : ChooseValueTicks(axis.low, axis.high, room, axis.roundOut, anchor);
            if (!horizontal)
                break;
            int widest = 0;
            for (const double v : choice.ticks)
                widest = std::max(widest, metrics.horizontalAdvance(labelOf(v, choice)));
            if (widest + LabelSpacing <= room.minSpacing)
                break;
            room.minSpacing = widest + LabelSpacing;
        }
    }
    layout.low = choice.low;
    layout.high = choice.high;
    layout.ticks = choice.ticks;
    for (const double v : layout.ticks) {
        layout.labels << labelOf(v, choice);
        layout.labelWidth = std::max(layout.labelWidth, metrics.horizontalAdvance(layout.labels.back()));
    }
    return layout;
}

std::pair<double, double> PlotWidget::ShownYRange(int axis) const
{
    if (axis < 0 || axis >= yTicks_.size())
        return {y_.value(axis).low, y_.value(axis).high};
    return {yTicks_[axis].low, yTicks_[axis].high};
}

QStringList PlotWidget::TickLabels(int axis) const
{
    return axis < 0 ? xTicks_.labels : yTicks_.value(axis).labels;
}

int PlotWidget::VerticalAxisWidth(const Axis& axis, const AxisLayout& ticks) const
{
    const int title = axis.title.isEmpty() ? 0 : TitleGap + QFontMetrics(font()).height();
    return TickLength + LabelGap + ticks.labelWidth + title;
}

int PlotWidget::AxesWidth() const
{
    int width = 0;
    for (int i = 0; i < y_.size(); ++i)
        width += VerticalAxisWidth(y_[i], yTicks_.value(i)) + (i > 0 ? AxisGap : 0);
    return width;
}

QVector<QRectF> PlotWidget::LegendEntries(int width) const
{
    QVector<QRectF> entries;
    if (!legendVisible_)
        return entries;
    const QFontMetrics metrics(font());
    const QRect r = rect().marginsRemoved(margins_);
    double x = r.left();
    double y = r.top();
    for (const Series& s : series_) {
        if (!s.visible || s.name.isEmpty()) {
            entries.append(QRectF());
            continue;
        }
        const double w = LegendSample + 4 + metrics.horizontalAdvance(s.name);
        if (x > r.left() && x + w > r.left() + width) {
            x = r.left();
            y += metrics.height();
        }
        entries.append(QRectF(x, y, w, metrics.height()));
        x += w + 12;
    }
    return entries;
}

void PlotWidget::Relayout()
{
    if (x_.clock)
        clockOffsetMs_ = qint64(QDateTime::fromMSecsSinceEpoch(qint64(x_.low)).offsetFromUtc()) * 1000;
    const QFontMetrics metrics(font());
    const QRect r = rect().marginsRemoved(margins_);
    double top = r.top() + metrics.height() / 2.0; // room for the top label
    double legendBottom = r.top();
    for (const QRectF& e : LegendEntries(r.width()))
        if (!e.isNull())
            legendBottom = std::max(legendBottom, e.bottom());
    if (legendBottom > r.top())
        top = legendBottom + metrics.height() / 2.0 + 2;
    const double bottom = r.bottom() + 1 - (TickLength + 2 + metrics.height()
                                            + (x_.title.isEmpty() ? 0 : 2 + metrics.height()));
    yTicks_.clear();
    for (const Axis& axis : y_)
        yTicks_.append(Ticks(axis, bottom - top, false));
    const double left = r.left() + std::max(AxesWidth(), minimumAxesWidth_);
    xTicks_ = Ticks(x_, r.right() + 1 - left, true);
    const double right = r.right() + 1 - xTicks_.labelWidth / 2.0;
    const QRectF area(left, top, std::max(1.0, right - left), std::max(1.0, bottom - top));
    const bool moved = area != plotArea_;
    plotArea_ = area;
    update();
    if (moved)
        emit plotAreaChanged(plotArea_);
}

PlotScale PlotWidget::XScale() const
{
    return {xTicks_.low, xTicks_.high, plotArea_.left(), plotArea_.right()};
}

PlotScale PlotWidget::YScale(int axis) const
{
    const std::pair<double, double> range = ShownYRange(std::clamp(axis, 0, int(y_.size()) - 1));
    return {range.first, range.second, plotArea_.bottom(), plotArea_.top()};
}

QPointF PlotWidget::ToPixel(const QPointF& value, int axis) const
{
    return {XScale().ToPixel(value.x()), YScale(axis).ToPixel(value.y())};
}

QPointF PlotWidget::ToValue(const QPointF& pixel, int axis) const
{
    return {XScale().ToValue(pixel.x()), YScale(axis).ToValue(pixel.y())};
}

void PlotWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Relayout();
}

void PlotWidget::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Relayout();
}

void PlotWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    PaintAxes(painter);
    PaintSeries(painter);
    PaintLegend(painter);
    if (bandStart_) {
        const double a = XScale().ToPixel(*bandStart_);
        const double b = XScale().ToPixel(bandEnd_);
        QColor fill = palette().color(QPalette::Highlight);
        fill.setAlpha(60);
        painter.fillRect(QRectF(std::min(a, b), plotArea_.top(), std::abs(b - a), plotArea_.height()), fill);
    }
    PaintOverlay(painter);
}

void PlotWidget::PaintOverlay(QPainter&) {}

void PlotWidget::PaintAxes(QPainter& painter)
{
    const QFontMetrics metrics(font());
    const QColor text = palette().color(QPalette::Text);
    const PlotScale xs = XScale();
    // Grid and frame first, labels over them.
    painter.setPen(GridColor);
    for (const double v : xTicks_.ticks)
        painter.drawLine(QPointF(xs.ToPixel(v), plotArea_.top()), QPointF(xs.ToPixel(v), plotArea_.bottom()));
    if (!yTicks_.isEmpty())
        for (const double v : yTicks_[0].ticks)
            painter.drawLine(QPointF(plotArea_.left(), YScale(0).ToPixel(v)),
                             QPointF(plotArea_.right(), YScale(0).ToPixel(v)));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plotArea_);

    painter.setPen(x_.color.isValid() ? x_.color : text);
    const double labelTop = plotArea_.bottom() + TickLength + 2;
    for (int i = 0; i < int(xTicks_.ticks.size()); ++i) {
        const double px = xs.ToPixel(xTicks_.ticks[std::size_t(i)]);
        painter.drawLine(QPointF(px, plotArea_.bottom()), QPointF(px, plotArea_.bottom() + TickLength));
        const QString& label = xTicks_.labels[i];
        painter.drawText(QPointF(px - metrics.horizontalAdvance(label) / 2.0, labelTop + metrics.ascent()), label);
    }
    if (!x_.title.isEmpty())
        painter.drawText(QPointF(plotArea_.center().x() - metrics.horizontalAdvance(x_.title) / 2.0,
                                 labelTop + metrics.height() + 2 + metrics.ascent()),
                         x_.title);

    double axisAt = plotArea_.left();
    for (int a = 0; a < y_.size(); ++a) {
        const Axis& axis = y_[a];
        const AxisLayout& ticks = yTicks_[a];
        const PlotScale ys = YScale(a);
        painter.setPen(axis.color.isValid() ? axis.color : text);
        if (a > 0)
            painter.drawLine(QPointF(axisAt, plotArea_.top()), QPointF(axisAt, plotArea_.bottom()));
        for (int i = 0; i < int(ticks.ticks.size()); ++i) {
            const double py = ys.ToPixel(ticks.ticks[std::size_t(i)]);
            painter.drawLine(QPointF(axisAt - TickLength, py), QPointF(axisAt, py));
            const QString& label = ticks.labels[i];
            painter.drawText(QPointF(axisAt - TickLength - LabelGap - metrics.horizontalAdvance(label),
                                     py + (metrics.ascent() - metrics.descent()) / 2.0),
                             label);
        }
        const double width = VerticalAxisWidth(axis, ticks);
        if (!axis.title.isEmpty()) {
            painter.save();
            painter.translate(axisAt - width + metrics.ascent(), plotArea_.center().y());
            painter.rotate(-90);
            painter.drawText(QPointF(-metrics.horizontalAdvance(axis.title) / 2.0, 0), axis.title);
            painter.restore();
        }
        axisAt -= width + AxisGap;
    }
}

void PlotWidget::PaintSeries(QPainter& painter)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Nothing of a series leaves the frame, however far its points lie
    // outside the range shown (a zoomed-in stretch).
    painter.setClipRect(plotArea_);
    for (const Series& s : series_) {
        if (!s.visible || s.points.isEmpty())
            continue;
        QPen pen = s.pen;
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        QPolygonF line;
        QVector<QLineF> segments;
        const auto flush = [&] {
            // An antialiased polyline of a pen wider than a pixel is stroked
            // as one outline with its joins, which costs seconds once it
            // zigzags densely (a noisy column of a long log, a thousand
            // points). A solid line is drawn as its segments instead, whose
            // square caps close the joins (milliseconds); a dashed one in
            // short runs, so that its dashes keep their rhythm.
            if (s.pen.style() == Qt::SolidLine && line.size() > 1) {
                segments.clear();
                for (int i = 0; i + 1 < line.size(); ++i)
                    segments.append(QLineF(line[i], line[i + 1]));
                painter.drawLines(segments);
            } else {
                constexpr int Run = 64;
                for (int i = 0; i + 1 < line.size(); i += Run)
                    painter.drawPolyline(line.constData() + i, std::min(Run + 1, int(line.size()) - i));
            }
            if (line.size() == 1)
                painter.drawPoint(line.first());
            line.clear();
        };
        for (const QPointF& p : s.points) {
            if (!std::isfinite(p.y()) || !std::isfinite(p.x())) {
                flush(); // a gap
                continue;
            }
            line.append(ToPixel(p, s.axis));
        }
        flush();
        if (!s.marker.isNull())
            for (const QPointF& p : s.points)
                if (std::isfinite(p.y()))
                    painter.drawImage(ToPixel(p, s.axis) - QPointF(s.marker.width() / 2.0, s.marker.height() / 2.0),
                                      s.marker);
    }
    painter.restore();
}

void PlotWidget::PaintLegend(QPainter& painter)
{
    const QVector<QRectF> entries = LegendEntries(rect().marginsRemoved(margins_).width());
    const QFontMetrics metrics(font());
    for (int i = 0; i < entries.size(); ++i) {
        const QRectF& e = entries[i];
        if (e.isNull())
            continue;
        painter.setPen(series_[i].pen);
        const double mid = e.center().y();
        painter.drawLine(QPointF(e.left(), mid), QPointF(e.left() + LegendSample, mid));
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QPointF(e.left() + LegendSample + 4, e.top() + metrics.ascent()), series_[i].name);
    }
}

void PlotWidget::mousePressEvent(QMouseEvent* event)
{
    if (!rubberBandEnabled_)
        return QWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton) {
        emit zoomOutRequested();
    } else if (event->button() == Qt::LeftButton && plotArea_.contains(event->position())) {
        bandStart_ = ToValue(event->position()).x();
        bandEnd_ = *bandStart_;
    }
    event->accept();
}

void PlotWidget::mouseMoveEvent(QMouseEvent* event)
{
    emit hovered(event->position());
    if (bandStart_) {
        const double x = std::clamp(event->position().x(), plotArea_.left(), plotArea_.right());
        bandEnd_ = XScale().ToValue(x);
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void PlotWidget::leaveEvent(QEvent* event)
{
    emit hoverEnded();
    QWidget::leaveEvent(event);
}

void PlotWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (!bandStart_)
        return QWidget::mouseReleaseEvent(event);
    const double a = std::min(*bandStart_, bandEnd_);
    const double b = std::max(*bandStart_, bandEnd_);
    bandStart_.reset();
    update();
    // A click without a drag selects nothing.
    if (XScale().ToPixel(b) - XScale().ToPixel(a) >= 3)
        emit rangeSelected(a, b);
}

QImage PlotWidget::Picture()
{
    return grab().toImage();
}
