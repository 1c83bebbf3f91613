// The commands added at the end of the "System" menu around the settings:
// comparing the editors with a settings file, the service report, and the
// folder of the automatic backups.
#include "app/main_form.h"
#include "compare/settings_compare_widget.h"
#include "records/ansi_text.h"
#include "records/settings_file.h"
#include "report/service_report.h"
#include "views/string_grid_widget.h"

#include <QDesktopServices>
#include <QDir>
#include <QPlainTextEdit>
#include <QUrl>

namespace {

ReportTable GridTable(const QString& title, const StringGrid* grid)
{
    ReportTable table{title, {}};
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << grid->Cell(r, c);
        table.rows.append(row);
    }
    return table;
}

RegulatorReport RegulatorPart(const QByteArray& name, const StringGrid* measured, const StringGrid* system,
                              const StringGrid* regulator, const QPlainTextEdit* memo)
{
    RegulatorReport part;
    part.name = FromAnsi(name);
    part.tables = {GridTable(QStringLiteral("Measured Values"), measured),
                   GridTable(QStringLiteral("System State"), system),
                   GridTable(QStringLiteral("Regulator State"), regulator)};
    // The memo's first line is the name, already in the heading.
    part.messages = memo->toPlainText().split(QLatin1Char('\n')).mid(1);
    return part;
}

} // namespace

void TMainFormKrv::CompareSettingsWithFileClick()
{
    const std::optional<QString> path = dialogs_.OpenFileName(
        {QStringLiteral("Compare Settings With File"), SettingsFileFilter, SettingsFileSuffix, {}, true});
    if (!path)
        return;
    SettingsRecord file;
    const FileOutcome outcome = LoadSettingsFile(*path, file);
    if (!outcome.ok) {
        ShowFailure(outcome.message);
        return;
    }
    auto* window = new SettingsCompareDialog(
        CompareSettings(EditorsRecord(), file, station_.OwnState.DetectedSystemVoltage()), *path, this);
    window->show();
}

void TMainFormKrv::SaveServiceReportClick()
{
    const std::optional<QString> vessel = dialogs_.InputBox(
        QStringLiteral("Save Service Report"), QStringLiteral("Vessel or customer (optional)"), QString(),
        InputBoxMaxLength);
    if (!vessel)
        return;
    const std::optional<QString> path = dialogs_.SaveFileName(
        {QStringLiteral("Save Service Report"), QStringLiteral("PDF Files|*.pdf"), QStringLiteral("pdf"),
         QStringLiteral("Service report.pdf"), false});
    if (!path)
        return;
    ServiceReport report = ServiceReportFromRecords(
        station_.OwnState, station_.PeerState, EditorsRecord(), vessel->trimmed(),
        DateTimeOfDayCount(station_.Time().Now()), ApplicationTitle + QStringLiteral(", version ") + QStringLiteral(KROVA_VERSION));
    // The regulators as the pages show them (the carried-over status, the
    // held messages), not as a fresh reading of the records would.
    report.own = RegulatorPart(station_.OwnState.RegulatorName(), MeasuredValuesTable, SystemStateTable,
                               RegulatorStateTable, SystemMessagesMemo);
    if (report.hasPeer)
        report.peer = RegulatorPart(station_.PeerState.RegulatorName(), PeerMeasuredValuesTable, PeerSystemStateTable,
                                    PeerRegulatorStateTable, PeerSystemMessagesMemo);
    QString failure;
    if (!WriteServiceReportPdf(report, *path, &failure))
        ShowFailure(failure);
}

void TMainFormKrv::OpenBackupsFolderClick()
{
    const QString folder = station_.Backups.Folder();
    QDir().mkpath(folder);
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
