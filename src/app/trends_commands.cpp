#include "app/trends_commands.h"
#include "app/user_dialogs.h"
#include "trends/log_viewer_widget.h"
#include "trends/trends_widget.h"

TrendsCommands::TrendsCommands(Station& station, UserDialogs& dialogs, QWidget* window)
    : station_(station), dialogs_(dialogs), window_(window), start_(station.Time().Now())
{
}

void TrendsCommands::Update()
{
    trends_.Add((station_.Time().Now() - start_) / OneSecond, station_.OwnState(), station_.PeerState(),
                station_.Settings().AuxTempSensorUsage(), station_.IsLive(Side::Own), station_.IsLive(Side::Peer));
    if (trendsWindow_)
        trendsWindow_->Refresh();
}

void TrendsCommands::ShowTrends()
{
    if (!trendsWindow_) {
        trendsWindow_ = new TrendsWindow(
            trends_, DateTimeOfDayCount(start_),
            // Over the Trends window, so that the main window does not come
            // in front of it when the dialog closes.
            [this](QWidget* over, const QString& title, const QString& filter, const QString& suffix) {
                return dialogs_.SaveFileName({title, filter, suffix, {}, false, over});
            },
            window_);
        trendsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    trendsWindow_->show();
    trendsWindow_->raise();
}

void TrendsCommands::OpenDataLog()
{
    const std::optional<QString> path = dialogs_.OpenFileName(
        {QStringLiteral("Open Data Log"), QStringLiteral("Text Files|*.txt"), QStringLiteral("txt"), {}, true});
    if (!path)
        return;
    auto* viewer = new DataLogViewer(window_);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    QString failure;
    if (!viewer->Open(*path, &failure)) {
        delete viewer;
        ShowFailure(dialogs_, failure);
        return;
    }
    viewer->show();
}
