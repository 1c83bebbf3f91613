// The trends and the data log viewer of the "Options" menu: windows of their
// own beside the main window.
#include "app/main_form.h"
#include "trends/log_viewer_widget.h"
#include "trends/trends_widget.h"

void TMainFormKrv::TrendsClick()
{
    if (!trendsWindow_) {
        trendsWindow_ = new TrendsWindow(
            trends_, DateTimeOfDayCount(trendsStart_),
            // Over the Trends window, so that the main window does not come
            // in front of it when the dialog closes.
            [this](QWidget* over, const QString& title, const QString& filter, const QString& suffix) {
                return dialogs_.SaveFileName({title, filter, suffix, {}, false, over});
            },
            this);
        trendsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    trendsWindow_->show();
    trendsWindow_->raise();
}

void TMainFormKrv::OpenDataLogClick()
{
    const std::optional<QString> path = dialogs_.OpenFileName(
        {QStringLiteral("Open Data Log"), QStringLiteral("Text Files|*.txt"), QStringLiteral("txt"), {}, true});
    if (!path)
        return;
    auto* viewer = new DataLogViewer(this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    QString failure;
    if (!viewer->Open(*path, &failure)) {
        delete viewer;
        ShowFailure(failure);
        return;
    }
    viewer->show();
}
