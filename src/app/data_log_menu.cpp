// The data log switch of the main window and the line it writes once a second.
#include "app/main_form.h"
#include "logging/data_log.h"

#include <QCoreApplication>
#include <QTimer>

bool TMainFormKrv::WriteLogLine()
{
    return station_.AppendLogLine();
}

void TMainFormKrv::EnableDataLoggingToFileClick()
{
    // The click has flipped the check mark; the station's mode decides.
    ShowModes();
    TimerPause pause{&usbTimer_};
    QCoreApplication::processEvents();
    if (station_.IsLogging()) {
        station_.SetLogging(false);
    } else {
        const QString proposed = station_.LogFileName().isEmpty() ? QStringLiteral("Log.txt") : station_.LogFileName();
        const std::optional<QString> path = dialogs_.SaveFileName(
            {QStringLiteral("Log Data To File"), QStringLiteral("Text Files|*.txt"), QStringLiteral("txt"), proposed,
             false});
        if (path) {
            station_.SetLogFileName(*path);
            station_.SetLogging(true);
        }
    }
}
