#include "trends/log_viewer_widget.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "plot/plot_widget.h"

#include <cmath>
#include <limits>

namespace {

// One colour per ticked column, its scale in the same colour.
const QColor ColumnColors[] = {QColor(0xD6, 0x27, 0x28), QColor(0x1F, 0x77, 0xB4), QColor(0x2C, 0xA0, 0x2C),
                               QColor(0x94, 0x67, 0xBD), QColor(0xFF, 0x7F, 0x0E), QColor(0x8C, 0x56, 0x4B),
                               QColor(0x17, 0xBE, 0xCF), QColor(0x7F, 0x7F, 0x7F)};

} // namespace

int DataLogViewer::Buckets(const QRectF& plotArea)
{
    return std::max(50, int(plotArea.width()));
}

DataLogViewer::DataLogViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("DataLogViewer"));
    setWindowTitle(QStringLiteral("Data Log"));
    columns_ = new QListWidget;
    columns_->setMaximumWidth(300);
    connect(columns_, &QListWidget::itemChanged, this, [this] { Redraw(); });
    view_ = new PlotWidget;
    view_->SetLegendVisible(true);
    PlotWidget::Axis seconds;
    seconds.title = QStringLiteral("Seconds (line of the log)");
    view_->SetXAxis(seconds);
    // Zooming by a band dragged across the plot, back with the right button;
    // the reduced points are worked out again for the stretch then shown.
    view_->SetRubberBandEnabled(true);
    connect(view_, &PlotWidget::rangeSelected, this, [this](double low, double high) {
        zoomedFrom_.append({first_, last_});
        ShowRange(low, high);
    });
    connect(view_, &PlotWidget::zoomOutRequested, this, [this] {
        if (!zoomedFrom_.isEmpty()) {
            const auto previous = zoomedFrom_.takeLast();
            ShowRange(previous.first, previous.second);
        }
    });
    // The points are reduced to the plot's width, which is only known once
    // the window is laid out (a log opens before the window shows) and
    // changes when it is resized: drawn again for the new width.
    connect(
        view_, &PlotWidget::plotAreaChanged, this,
        [this](const QRectF& area) {
            if (!content_.columns.isEmpty() && Buckets(area) != drawnBuckets_)
                Redraw();
        },
        Qt::QueuedConnection);
    problems_ = new QLabel;
    problems_->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(columns_);
    top->addWidget(view_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(problems_);
    resize(1000, 600);
}

bool DataLogViewer::Open(const QString& path, QString* failure)
{
    DataLogContent content;
    if (!ReadDataLog(path, &content, failure))
        return false;
    content_ = std::move(content);
    setWindowTitle(QStringLiteral("Data Log - ") + QFileInfo(path).fileName());
    const QSignalBlocker block(columns_);
    columns_->clear();
    // The battery voltage shows at once (or the first column, in a log
    // without it): an empty plot would look like an empty log.
    const QStringList plottable = PlottableColumns();
    const QString first = plottable.contains(QStringLiteral("Battery Voltage, V")) ? QStringLiteral("Battery Voltage, V")
                                                                                   : plottable.value(0);
    for (const QString& name : plottable) {
        auto* item = new QListWidgetItem(name, columns_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(name == first ? Qt::Checked : Qt::Unchecked);
    }
    problems_->setText(ProblemsText());
    zoomedFrom_.clear();
    ShowRange(0, std::max(content_.totalSeconds - 1, 1));
    return true;
}

QStringList DataLogViewer::PlottableColumns() const
{
    QStringList names;
    for (int c = 0; c < content_.columns.size(); ++c) {
        const std::vector<float>& values = content_.values[std::size_t(c)];
        if (std::any_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); }))
            names << content_.columns[c];
    }
    return names;
}

void DataLogViewer::SetColumnShown(const QString& column, bool shown)
{
    const QList<QListWidgetItem*> items = columns_->findItems(column, Qt::MatchExactly);
    for (QListWidgetItem* item : items)
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
}

void DataLogViewer::ShowRange(double first, double last)
{
    first_ = first;
    last_ = last;
    view_->SetXRange(first, last);
    Redraw();
}

int DataLogViewer::PointCount(const QString& column) const
{
    for (int i = 0; i < view_->SeriesCount(); ++i)
        if (view_->SeriesAt(i).name == column)
            return view_->PointCount(i);
    return 0;
}

std::pair<double, double> DataLogViewer::ScaleOf(const QString& column) const
{
    for (int i = 0; i < view_->SeriesCount(); ++i)
        if (view_->SeriesAt(i).name == column) {
            const PlotWidget::Axis& axis = view_->YAxis(view_->SeriesAt(i).axis);
            return {axis.low, axis.high};
        }
    return {0, 0};
}

QString DataLogViewer::ProblemsText() const
{
    QStringList parts{content_.lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(content_.lines)};
    parts << content_.problems;
    if (content_.moreProblemLines == 1)
        parts << QStringLiteral("1 more line skipped or cut");
    else if (content_.moreProblemLines > 1)
        parts << QStringLiteral("%1 more lines skipped or cut").arg(content_.moreProblemLines);
    return parts.join(QStringLiteral("; "));
}

void DataLogViewer::Redraw()
{
    const int first = int(std::floor(first_));
    const int last = int(std::ceil(last_));
    const int buckets = Buckets(view_->PlotArea());
    drawnBuckets_ = buckets;
    // Every ticked column gets a scale of its own, in its colour.
    QVector<PlotWidget::Axis> axes;
    QVector<PlotWidget::Series> series;
    for (int i = 0; i < columns_->count(); ++i) {
        const QListWidgetItem* item = columns_->item(i);
        if (item->checkState() != Qt::Checked)
            continue;
        const QString name = item->text();
        const int column = int(content_.columns.indexOf(name));
        PlotWidget::Series s;
        s.name = name;
        s.axis = int(axes.size());
        s.pen = QPen(ColumnColors[std::size_t(s.axis) % (sizeof ColumnColors / sizeof ColumnColors[0])], 1.2);
        s.points = MinMaxDecimate(content_.values[std::size_t(column)], content_.seconds, first, last, buckets);
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        for (const QPointF& p : s.points)
            if (std::isfinite(p.y())) {
                low = std::min(low, p.y());
                high = std::max(high, p.y());
            }
        if (!std::isfinite(low)) {
            low = 0;
            high = 1;
        }
        // A flat column still gets a scale around its value.
        const double pad = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.05, 0.5);
        PlotWidget::Axis axis;
        axis.low = low - pad;
        axis.high = high + pad;
        axis.color = s.pen.color();
        axis.roundOut = true;
        axes.append(axis);
        series.append(s);
    }
    view_->ClearSeries();
    view_->SetYAxes(axes);
    for (const PlotWidget::Series& s : series)
        view_->AddSeries(s);
}
