// The data log switch of the main window and the line it writes once a second.
#include "app/main_form.h"
#include "logging/data_log.h"
#include "views/string_grid_widget.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// Captions (column 0) or values (column 1) of every row but the caption row.
void AppendFields(QStringList& fields, const StringGrid* grid, int column, const QString& prefix = {})
{
    for (int r = 1; r < grid->rowCount(); ++r)
        fields << prefix + grid->Cell(r, column);
}

} // namespace

bool TMainFormKrv::WriteLogLine()
{
    QStringList header;
    QStringList values;
    for (int column : {0, 1}) {
        QStringList& fields = column == 0 ? header : values;
        AppendFields(fields, MeasuredValuesTable, column);
        AppendFields(fields, SystemStateTable, column);
        AppendFields(fields, RegulatorStateTable, column);
        AppendFields(fields, PeerRegulatorStateTable, column, column == 0 ? QStringLiteral("Peer:") : QString());
    }
    return ::WriteLogLine(station_.LogFileName, header, values);
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
        const QString proposed = station_.LogFileName.isEmpty() ? QStringLiteral("Log.txt") : station_.LogFileName;
        const std::optional<QString> path = dialogs_.SaveFileName(
            {QStringLiteral("Log Data To File"), QStringLiteral("Text Files|*.txt"), QStringLiteral("txt"), proposed,
             false});
        if (path) {
            station_.LogFileName = *path;
            station_.SetLogging(true);
        }
    }
}
