#include "app/service_commands.h"

#include "app/user_dialogs.h"
#include "station/application.h"
#include "compare/settings_compare.h"
#include "compare/settings_compare_widget.h"
#include "records/ansi_text.h"
#include "backup/restore_dialog_widget.h"
#include "settings/settings_check.h"
#include "records/settings_file.h"
#include "report/service_report.h"

#include <QDesktopServices>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

ServiceCommands::ServiceCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs, SettingsEditorsHost& host,
                         QWidget* window, std::function<void(const QString&)> showSnapshot)
    : station_(station), settings_(settings), dialogs_(dialogs), host_(host), window_(window),
      showSnapshot_(std::move(showSnapshot))
{
}

void ServiceCommands::CompareWithFile()
{
    const std::optional<QString> path = dialogs_.OpenFileName(
        {QStringLiteral("Compare Settings With File"), SettingsFileFilter, SettingsFileSuffix, {}, true});
    if (!path)
        return;
    SettingsRecord file;
    const FileOutcome outcome = LoadSettingsFile(*path, file);
    if (!outcome.ok) {
        host_.ShowFailure(outcome.message);
        return;
    }
    auto* window = new SettingsCompareDialog(CompareSettings(host_.EditorsRecord(), file, settings_.Voltage()), *path, window_);
    window->show();
}

void ServiceCommands::SaveReport()
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
    // The settings as read (or loaded), and what was typed since beside
    // them: typed values are no settings of the regulator until written.
    ServiceReport report = ServiceReportFromRecords(
        station_.OwnState(), station_.PeerState(), settings_.Reference(), vessel->trimmed(),
        DateTimeOfDayCount(station_.Time().Now()), ApplicationTitleAndVersion());
    // The regulators as the pages show them (the carried-over status, the
    // held messages), not as a fresh reading of the records would.
    report.own = RegulatorReportFromPage(station_.OwnState().RegulatorName(), station_.PageTexts(Side::Own));
    if (report.hasPeer)
        report.peer = RegulatorReportFromPage(station_.PeerState().RegulatorName(), station_.PageTexts(Side::Peer));
    report.notWritten =
        NotWrittenReportTable(CompareSettings(settings_.Reference(), host_.EditorsRecord(), settings_.Voltage()));
    QString failure;
    if (!WriteServiceReportPdf(report, *path, &failure))
        host_.ShowFailure(failure);
}

void ServiceCommands::OpenBackupsFolder()
{
    const QString folder = station_.SettingsOwner().Backups().Folder();
    QDir().mkpath(folder);
    // Without a file manager nothing would seem to happen: the place is said.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        dialogs_.InformWithCopy(QStringLiteral("Open Backups Folder"),
                                QStringLiteral("No file manager could show the folder. The settings backups are in\r%1")
                                    .arg(QDir::toNativeSeparators(folder)),
                                QDir::toNativeSeparators(folder));
}

void ServiceCommands::RestoreFromBackup()
{
    // Compared with what the regulator holds now: read first.
    if (station_.IsUsbConnection())
        host_.ReadSettings(true);
    const SettingsRecord now = settings_.Record();
    const uint16_t voltage = settings_.Voltage();
    const QString name = FromAnsi(station_.OwnState().RegulatorName());
    const QString regulator = name.isEmpty() ? QStringLiteral("the regulator") : QStringLiteral("\"%1\"").arg(name);
    auto* dialog = new RestoreBackupDialog(
        station_.SettingsOwner().Backups().List(station_.OwnState().RegulatorName()), regulator,
        [now, voltage](const QString& path) {
            SettingsRecord backup;
            return LoadSettingsFile(path, backup).ok ? CompareSettings(now, backup, voltage) : QList<SettingsDifference>{};
        },
        window_);
    QObject::connect(dialog, &RestoreBackupDialog::restoreRequested, dialog, [this, dialog, regulator](const QString& path) {
        if (!dialogs_.AskYesCancel(QStringLiteral("Restore Settings From Backup"),
                                   QStringLiteral("Write the settings of this backup to %1?\r%2")
                                       .arg(regulator, QDir::toNativeSeparators(path))))
            return;
        SettingsRecord backup;
        const FileOutcome loaded = LoadSettingsFile(path, backup);
        if (!loaded.ok) {
            host_.ShowFailure(loaded.message);
            return;
        }
        const QList<SettingsDeparture> departures = CheckSettings(backup, settings_.Voltage());
        if (!AskToTakeImplausible(dialogs_, QStringLiteral("Restore Settings From Backup"),
                                  QStringLiteral("The backup \"%1\"").arg(QDir::toNativeSeparators(path)), departures))
            return;
        settings_.Replace(WithDeparturesFixed(backup, departures));
        host_.DrawSettings();
        // The normal write, which backs up what it replaces first.
        if (host_.WriteSettingsAs(QStringLiteral("restore"), true))
            dialog->close();
    });
    dialog->show();
}

void ServiceCommands::OpenSnapshot()
{
    const std::optional<QString> path = dialogs_.OpenFileName(
        {QStringLiteral("Open Snapshot"), QStringLiteral("Snapshot Files|*.txt"), QStringLiteral("txt"), {}, true});
    if (!path)
        return;
    showSnapshot_(*path);
}

void ServiceCommands::About()
{
    dialogs_.InformWithCopy(QStringLiteral("About"), AboutText(), AboutText());
}

void ServiceCommands::UserGuide()
{
    const QString guide = UserGuidePath(QCoreApplication::applicationDirPath());
    if (guide.isEmpty()) {
        dialogs_.InformWithCopy(QStringLiteral("User Guide"),
                                QStringLiteral("The user guide (user-guide.md) is not installed with this program. "
                                               "It comes with the program's package and its source."),
                                QString());
        return;
    }
    if (!guide_) {
        guide_ = new UserGuideWindow(window_);
        guide_->setAttribute(Qt::WA_DeleteOnClose);
        if (!guide_->Open(guide)) {
            delete guide_;
            dialogs_.InformWithCopy(QStringLiteral("User Guide"),
                                    QStringLiteral("The user guide could not be read. It is the file\r%1")
                                        .arg(QDir::toNativeSeparators(guide)),
                                    QDir::toNativeSeparators(guide));
            return;
        }
    }
    guide_->show();
    guide_->raise();
    guide_->activateWindow();
}
