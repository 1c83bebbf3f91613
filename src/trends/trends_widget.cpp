#include "trends/trends_widget.h"

#include "trends/data_log_reader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "plot/plot_widget.h"
#include "views/window_fit_widget.h"

#include <algorithm>
#include <cmath>

namespace {

struct PlotGroup {
    const char* unit; // the value axis' title (the legend names the quantities)
    QList<TrendQuantity> quantities;
};

const QList<PlotGroup>& Groups()
{
    static const QList<PlotGroup> groups = {
        {"V", {TrendQuantity::BatteryVoltage, TrendQuantity::RegulationTarget}},
        {"A", {TrendQuantity::BatteryCurrent, TrendQuantity::AlternatorCurrent}},
        {"%", {TrendQuantity::FieldOutput}},
        {"\u00B0C",
         {TrendQuantity::AlternatorTemperature, TrendQuantity::BatteryTemperature,
          TrendQuantity::RegulatorTemperature}},
        {"1/min", {TrendQuantity::EngineRpm}},
    };
    return groups;
}

const QColor SeriesColors[] = {QColor(0xD6, 0x27, 0x28), QColor(0x1F, 0x77, 0xB4), QColor(0x2C, 0xA0, 0x2C)};

} // namespace

TrendsWindow::TrendsWindow(const TrendBuffer& buffer, const QDateTime& origin, SaveFileNameAsker askFileName,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), buffer_(buffer), askFileName_(std::move(askFileName)),
      // Local time is worked out once: doing it per point would read the
      // time zone files each time.
      originMs_(origin.toMSecsSinceEpoch())
{
    setObjectName(QStringLiteral("TrendsWindow"));
    setWindowTitle(QStringLiteral("Trends"));
    span_ = new QComboBox;
    span_->addItem(QStringLiteral("Last minute"), 1);
    span_->addItem(QStringLiteral("Last 10 minutes"), 10);
    span_->addItem(QStringLiteral("Last 60 minutes"), 60);
    span_->setCurrentIndex(1);
    pause_ = new QCheckBox(QStringLiteral("Pause"));
    peer_ = new QCheckBox(QStringLiteral("Show peer"));
    auto* png = new QPushButton(QStringLiteral("Export PNG..."));
    auto* csv = new QPushButton(QStringLiteral("Export CSV..."));
    connect(span_, &QComboBox::currentIndexChanged, this, [this] { SetSpanMinutes(span_->currentData().toInt()); });
    connect(pause_, &QCheckBox::toggled, this, [this](bool on) { SetPaused(on); });
    connect(peer_, &QCheckBox::toggled, this, [this](bool on) { SetPeerShown(on); });
    connect(png, &QPushButton::clicked, this, [this] {
        if (const auto path = askFileName_(this, QStringLiteral("Export Trends As Picture"),
                                           QStringLiteral("PNG Pictures|*.png"), QStringLiteral("png")))
            ExportPng(*path);
    });
    connect(csv, &QPushButton::clicked, this, [this] {
        if (const auto path = askFileName_(this, QStringLiteral("Export Trends As CSV"),
                                           QStringLiteral("CSV Files|*.csv"), QStringLiteral("csv")))
            ExportCsv(*path);
    });
    auto* bar = new QHBoxLayout;
    bar->addWidget(span_);
    bar->addWidget(pause_);
    bar->addWidget(peer_);
    bar->addStretch(1);
    bar->addWidget(png);
    bar->addWidget(csv);

    plotArea_ = new QWidget;
    auto* plots = new QVBoxLayout(plotArea_);
    plots->setContentsMargins(0, 0, 0, 0);
    plots->setSpacing(0);
    for (const PlotGroup& group : Groups()) {
        Plot plot;
        plot.view = new PlotWidget;
        plot.view->SetOuterMargins(QMargins(4, 2, 8, 2));
        plot.view->SetLegendVisible(true);
        PlotWidget::Axis time;
        time.clock = true;
        plot.view->SetXAxis(time);
        PlotWidget::Axis value;
        value.title = QString::fromUtf8(group.unit);
        value.roundOut = true;
        plot.view->SetYAxes({value});
        plot.quantities = group.quantities;
        for (int i = 0; i < group.quantities.size(); ++i) {
            for (bool peer : {false, true}) {
                PlotWidget::Series series;
                series.name = (peer ? QStringLiteral("Peer: ") : QString()) + TrendQuantityName(group.quantities[i]);
                series.pen = QPen(SeriesColors[i % 3], peer ? 1 : 1.5);
                if (peer)
                    series.pen.setStyle(Qt::DashLine);
                series.visible = !peer;
                (peer ? plot.peer : plot.own).append(plot.view->AddSeries(series));
            }
        }
        // Small enough that the window fits a 768-pixel screen at 150 %.
        plot.view->setMinimumHeight(60);
        // The readout follows the pointer over a plot's area and goes when
        // the pointer leaves it, so no stale figures stay behind.
        connect(plot.view, &PlotWidget::hovered, this, [this, view = plot.view](const QPointF& pos) {
            if (view->PlotArea().contains(pos))
                readout_->setText(ReadoutAt((view->ToValue(pos).x() - double(originMs_)) / 1000.0));
            else
                readout_->setText(ReadoutHint());
        });
        connect(plot.view, &PlotWidget::hoverEnded, this, [this] { readout_->setText(ReadoutHint()); });
        plots->addWidget(plot.view, 1);
        plots_.append(plot);
    }
    readout_ = new QLabel(ReadoutHint());
    readout_->setObjectName(QStringLiteral("TrendsReadout"));
    readout_->setWordWrap(true);
    stats_ = new QLabel;
    stats_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The figures of nine quantities (and the peer's) scroll in a few lines
    // of room rather than pushing the plots off a small screen.
    auto* statsArea = new QScrollArea;
    statsArea->setWidget(stats_);
    statsArea->setWidgetResizable(true);
    statsArea->setFrameShape(QFrame::NoFrame);
    statsArea->setMaximumHeight(6 * fontMetrics().height());
    statsArea->setMinimumHeight(3 * fontMetrics().height());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(plotArea_, 1);
    layout->addWidget(readout_);
    layout->addWidget(statsArea);
    FitWindowToScreen(this, QSize(900, 900));
    // Drawn when shown (showEvent), at the size it is shown at.
}

double TrendsWindow::SpanStart() const
{
    // Half a second of slack: the sample taken a whole span ago belongs in.
    return shownLatest_ - 60.0 * spanMinutes_ - 0.5;
}

qint64 TrendsWindow::ClockMs(double seconds) const
{
    return originMs_ + qint64(std::llround(seconds * 1000.0));
}

void TrendsWindow::Refresh()
{
    // A hidden window is brought up to date when it shows again.
    if (!pause_->isChecked() && isVisible() && !isMinimized())
        Redraw();
}

void TrendsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        QTimer::singleShot(300, this, [this] { KeepFrameOnScreen(this); });
    }
    if (!pause_->isChecked())
        Redraw();
}

void TrendsWindow::AdjustAxes(const std::vector<ValueRange>& ranges)
{
    const double latest = shownLatest_;
    for (int i = 0; i < plots_.size(); ++i) {
        Plot& plot = plots_[i];
        plot.view->SetXRange(double(ClockMs(latest - 60.0 * spanMinutes_)), double(ClockMs(latest)));
        double low = ranges[std::size_t(i)].low;
        double high = ranges[std::size_t(i)].high;
        if (!std::isfinite(low)) {
            low = 0;
            high = 1;
        }
        const double pad = high > low ? (high - low) * 0.08 : std::max(std::abs(high) * 0.05, 0.5);
        plot.view->SetYRange(0, low - pad, high + pad);
    }
    AlignPlotAreas();
    stats_->setText(StatsText());
}

void TrendsWindow::AlignPlotAreas()
{
    // The plots share one time scale, so their time axes line up: every
    // plot's value axis takes the width of the widest.
    int widest = 0;
    for (const Plot& plot : plots_)
        widest = std::max(widest, plot.view->AxesWidth());
    for (const Plot& plot : plots_)
        plot.view->SetMinimumAxesWidth(widest);
}

void TrendsWindow::SetSpanMinutes(int minutes)
{
    // A change of the box comes back here through its signal.
    const int index = span_->findData(minutes);
    if (index >= 0 && span_->currentIndex() != index) {
        span_->setCurrentIndex(index);
        return;
    }
    spanMinutes_ = minutes;
    Redraw();
}

void TrendsWindow::SetPaused(bool paused)
{
    if (pause_->isChecked() != paused) {
        pause_->setChecked(paused); // comes back here through its signal
        return;
    }
    if (!paused)
        Redraw();
}

void TrendsWindow::SetPeerShown(bool shown)
{
    if (peer_->isChecked() != shown) {
        peer_->setChecked(shown); // comes back here through its signal
        return;
    }
    for (const Plot& plot : plots_)
        for (const int series : plot.peer)
            plot.view->SetSeriesVisible(series, shown);
    Redraw();
}

void TrendsWindow::Redraw()
{
    // Each series is drawn from at most two points (the lowest and the
    // highest) per pixel column of its plot: an hour of samples costs no
    // more to draw than the plot has room for, and no peak is lost.
    // A pause holds the span where it was: a change of span or of the peer
    // box redraws what was shown, and stats and exports cover it too.
    if (!pause_->isChecked())
        shownLatest_ = buffer_.LatestSeconds();
    const double from = SpanStart();
    const bool withPeer = peer_->isChecked();
    const auto& samples = buffer_.Samples();
    // Samples are in time order.
    const auto first = std::partition_point(samples.begin(), samples.end(),
                                            [from](const TrendSample& sample) { return sample.seconds < from; });
    const auto end = std::partition_point(first, samples.end(), [this](const TrendSample& sample) {
        return sample.seconds <= shownLatest_;
    });
    // The drawn points hold the lowest and highest value of every bucket, so
    // they give each plot's value range too.
    std::vector<ValueRange> ranges;
    for (Plot& plot : plots_) {
        ValueRange range;
        const int buckets = std::max(100, int(plot.view->PlotArea().width()));
        for (int i = 0; i < plot.quantities.size(); ++i) {
            for (bool peer : {false, true}) {
                QVector<QPointF> points;
                if (!peer || withPeer) {
                    std::vector<double> values;
                    values.reserve(std::size_t(std::distance(first, end)));
                    for (auto it = first; it != end; ++it)
                        values.push_back(TrendBuffer::Value(*it, plot.quantities[i], peer));
                    const int offset = int(std::distance(samples.begin(), first));
                    for (const QPointF& p : MinMaxDecimate(values, 0, int(values.size()) - 1, buckets)) {
                        const double seconds = samples[std::size_t(offset + int(p.x()))].seconds;
                        points.append(QPointF(double(ClockMs(seconds)), p.y()));
                        if (std::isfinite(p.y())) {
                            range.low = std::min(range.low, p.y());
                            range.high = std::max(range.high, p.y());
                        }
                    }
                }
                const int series = (peer ? plot.peer : plot.own)[i];
                if (!points.isEmpty() || !plot.view->SeriesAt(series).points.isEmpty())
                    plot.view->SetSeriesPoints(series, std::move(points));
            }
        }
        ranges.push_back(range);
    }
    AdjustAxes(ranges);
}

int TrendsWindow::PointCount(TrendQuantity quantity) const
{
    for (const Plot& plot : plots_)
        for (int i = 0; i < plot.quantities.size(); ++i)
            if (plot.quantities[i] == quantity)
                return plot.view->PointCount(plot.own[i]);
    return 0;
}

QString TrendsWindow::StatsText() const
{
    QStringList lines;
    const double from = SpanStart();
    for (int q = 0; q < TrendQuantityCount; ++q) {
        for (bool peer : {false, true}) {
            if (peer && !peer_->isChecked())
                continue;
            const TrendStats stats = buffer_.Stats(TrendQuantity(q), peer, from, shownLatest_);
            if (stats.count == 0)
                continue;
            lines << QStringLiteral("%1%2: min %3, max %4, mean %5")
                         .arg(peer ? QStringLiteral("Peer: ") : QString(), TrendQuantityName(TrendQuantity(q)))
                         .arg(stats.minimum, 0, 'f', 2)
                         .arg(stats.maximum, 0, 'f', 2)
                         .arg(stats.mean, 0, 'f', 2);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString TrendsWindow::ReadoutHint()
{
    return QStringLiteral("Point at a plot to read its values.");
}

QString TrendsWindow::ReadoutAt(double seconds) const
{
    const TrendSample* nearest = nullptr;
    for (const TrendSample& s : buffer_.Samples())
        if (!nearest || std::abs(s.seconds - seconds) < std::abs(nearest->seconds - seconds))
            nearest = &s;
    if (!nearest)
        return QStringLiteral("No values yet.");
    QStringList parts;
    for (int q = 0; q < TrendQuantityCount; ++q) {
        const double v = TrendBuffer::Value(*nearest, TrendQuantity(q), false);
        if (std::isfinite(v))
            parts << QStringLiteral("%1 %2").arg(TrendQuantityName(TrendQuantity(q))).arg(v, 0, 'f', 2);
    }
    return QStringLiteral("%1 s before now: ").arg(buffer_.LatestSeconds() - nearest->seconds, 0, 'f', 0)
           + parts.join(QStringLiteral("; "));
}

bool TrendsWindow::ExportPng(const QString& path) const
{
    return plotArea_->grab().save(path, "PNG");
}

bool TrendsWindow::ExportCsv(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray csv = buffer_.Csv(SpanStart(), peer_->isChecked(), shownLatest_).toUtf8();
    return file.write(csv) == csv.size();
}
