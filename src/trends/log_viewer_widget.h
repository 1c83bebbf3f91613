#pragma once
// The "Open Data Log..." window: a data log the program wrote, its columns
// plotted against time (the line number is the second), each ticked column
// on a value scale of its own (volts and engine speed do not share one).
// Long logs are drawn reduced to the lowest and highest value per pixel
// column, worked out again for the stretch shown whenever the view is
// zoomed, so zooming stays smooth and no peak is lost.
#include "trends/data_log_reader.h"

#include <QWidget>

#include <utility>

class PlotWidget;
class QLabel;
class QListWidget;

class DataLogViewer : public QWidget {
    Q_OBJECT
public:
    explicit DataLogViewer(QWidget* parent = nullptr);

    // Reads the log and shows it; false with the reason when it cannot.
    bool Open(const QString& path, QString* failure);
    const DataLogContent& Content() const { return content_; }
    // The columns offered (those with numbers in them), by name.
    QStringList PlottableColumns() const;
    void SetColumnShown(const QString& column, bool shown);
    // Shows the lines from `first` to `last` (seconds).
    void ShowRange(double first, double last);
    // Points drawn for a shown column, and the value range of its scale.
    int PointCount(const QString& column) const;
    std::pair<double, double> ScaleOf(const QString& column) const;
    // The line under the plot: "86400 lines" taken ("1 line"), then what
    // was wrong with lines that were skipped or cut.
    QString ProblemsText() const;

private:
    // One bucket of reduced points per pixel column of the plot.
    static int Buckets(const QRectF& plotArea);
    void Redraw();

    DataLogContent content_;
    QListWidget* columns_ = nullptr;
    PlotWidget* view_ = nullptr;
    QLabel* problems_ = nullptr;
    double first_ = 0;
    double last_ = 1;
    // The stretches shown before each zoom, for going back.
    QList<std::pair<double, double>> zoomedFrom_;
    int drawnBuckets_ = 0;
};
