#include "trends/log_viewer_widget.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLegend>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

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
    auto* chart = new QChart;
    chart->legend()->setAlignment(Qt::AlignBottom);
    x_ = new QValueAxis;
    x_->setTitleText(QStringLiteral("Seconds (line of the log)"));
    x_->setLabelFormat(QStringLiteral("%.0f"));
    y_ = new QValueAxis;
    chart->addAxis(x_, Qt::AlignBottom);
    chart->addAxis(y_, Qt::AlignLeft);
    view_ = new QChartView(chart);
    // Zooming by a rectangle; the reduced points are worked out again for
    // the stretch then shown.
    view_->setRubberBand(QChartView::HorizontalRubberBand);
    connect(x_, &QValueAxis::rangeChanged, this, [this] {
        if (!redrawing_)
            Redraw();
    });
    // The points are reduced to the plot's width, which is only known once
    // the window is laid out (a log opens before the window shows) and
    // changes when it is resized: drawn again for the new width.
    connect(
        chart, &QChart::plotAreaChanged, this,
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
    ShowRange(0, std::max(int(content_.values.empty() ? 0 : content_.values[0].size()) - 1, 1));
    return true;
}

QStringList DataLogViewer::PlottableColumns() const
{
    QStringList names;
    for (int c = 0; c < content_.columns.size(); ++c) {
        const std::vector<double>& values = content_.values[std::size_t(c)];
        if (std::any_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); }))
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
    redrawing_ = true;
    x_->setRange(first, last);
    redrawing_ = false;
    Redraw();
}

int DataLogViewer::PointCount(const QString& column) const
{
    for (QAbstractSeries* s : view_->chart()->series())
        if (s->name() == column)
            return static_cast<QLineSeries*>(s)->count();
    return 0;
}

QString DataLogViewer::ProblemsText() const
{
    if (content_.problems.isEmpty())
        return QStringLiteral("%1 lines").arg(content_.lines);
    return QStringLiteral("%1 lines; not plotted: %2").arg(content_.lines).arg(content_.problems.join(QStringLiteral("; ")));
}

void DataLogViewer::Redraw()
{
    QChart* chart = view_->chart();
    const int first = int(std::floor(x_->min()));
    const int last = int(std::ceil(x_->max()));
    const int buckets = Buckets(chart->plotArea());
    drawnBuckets_ = buckets;
    // Series are kept per column and only refilled.
    QMap<QString, QLineSeries*> existing;
    for (QAbstractSeries* s : chart->series())
        existing.insert(s->name(), static_cast<QLineSeries*>(s));
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (int i = 0; i < columns_->count(); ++i) {
        const QListWidgetItem* item = columns_->item(i);
        const QString name = item->text();
        QLineSeries* series = existing.take(name);
        if (item->checkState() != Qt::Checked) {
            if (series) {
                chart->removeSeries(series);
                delete series;
            }
            continue;
        }
        if (!series) {
            series = new QLineSeries;
            series->setName(name);
            chart->addSeries(series);
            series->attachAxis(x_);
            series->attachAxis(y_);
        }
        const int column = int(content_.columns.indexOf(name));
        const QList<QPointF> points = MinMaxDecimate(content_.values[std::size_t(column)], first, last, buckets);
        for (const QPointF& p : points) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        series->replace(points);
    }
    for (QLineSeries* gone : existing) {
        chart->removeSeries(gone);
        delete gone;
    }
    if (std::isfinite(low)) {
        const double pad = std::max((high - low) * 0.05, 0.5);
        y_->setRange(low - pad, high + pad);
    }
}
