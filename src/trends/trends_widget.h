#pragma once
// The "Trends" window: time plots of the own regulator's battery voltage with
// the regulation target, the currents, the field output, the temperatures and
// the engine speed (the peer's on a check box) over the last 1, 10 or 60
// minutes, from the samples the window update takes anyway. It pauses, reads
// out the values under the mouse and the minimum, maximum and mean of the
// span shown, and exports that span as PNG or CSV.
#include "trends/trend_buffer.h"

#include <QDateTime>
#include <QList>
#include <QWidget>

#include <functional>
#include <limits>
#include <optional>
#include <vector>

class PlotWidget;
class QCheckBox;
class QComboBox;
class QLabel;

// Asks for the name of a file to save, over the window given: title, filter
// ("Name|*.ext"), default suffix; no value when cancelled.
using SaveFileNameAsker =
    std::function<std::optional<QString>(QWidget* over, const QString&, const QString&, const QString&)>;

class TrendsWindow : public QWidget {
    Q_OBJECT
public:
    // `origin` is the clock time of the buffer's second 0.
    TrendsWindow(const TrendBuffer& buffer, const QDateTime& origin, SaveFileNameAsker askFileName,
                 QWidget* parent = nullptr);

    // Brings the plots up to the buffer's newest sample, unless paused.
    void Refresh();

    void SetSpanMinutes(int minutes);
    void SetPaused(bool paused);
    void SetPeerShown(bool shown);
    // The values of the sample nearest to a time (seconds as the buffer counts them).
    QString ReadoutAt(double seconds) const;
    // What the readout says while the pointer is over no plot.
    static QString ReadoutHint();
    QString StatsText() const;
    // Points drawn for one quantity (own regulator), for the tests.
    int PointCount(TrendQuantity quantity) const;

    bool ExportPng(const QString& path) const;
    bool ExportCsv(const QString& path) const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    struct Plot {
        PlotWidget* view = nullptr;
        QList<TrendQuantity> quantities;
        // The series of each quantity in the plot, own and peer.
        QList<int> own;
        QList<int> peer;
    };
    double SpanStart() const;
    qint64 ClockMs(double seconds) const;
    // Draws the span anew (after a change of span, pause or peer).
    void Redraw();
    struct ValueRange {
        double low = std::numeric_limits<double>::infinity();
        double high = -std::numeric_limits<double>::infinity();
    };
    void AdjustAxes(const std::vector<ValueRange>& ranges);
    void AlignPlotAreas();

    const TrendBuffer& buffer_;
    SaveFileNameAsker askFileName_;
    QList<Plot> plots_;
    QComboBox* span_ = nullptr;
    QCheckBox* pause_ = nullptr;
    QCheckBox* peer_ = nullptr;
    QLabel* readout_ = nullptr;
    QLabel* stats_ = nullptr;
    QWidget* plotArea_ = nullptr;
    int spanMinutes_ = 10;
    // The newest time the plots show: the buffer's newest, held by a pause.
    double shownLatest_ = 0;
    qint64 originMs_ = 0;
    bool shownOnce_ = false;
};
