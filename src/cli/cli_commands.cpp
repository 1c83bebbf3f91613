#include "cli/cli_commands.h"
#include "station/settings_session.h"

#include <algorithm>

#include "cli/cli_text.h"
#include "compare/settings_compare.h"
#include "records/ansi_text.h"
#include "records/settings_file.h"
#include "settings/settings_page_rows.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace {

constexpr int PollIntervalMs = UsbTimerIntervalMs; // the window's polling pace
constexpr int PollsPerLogLine = 1000 / PollIntervalMs; // one line a second

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

CliCommands::CliCommands(HidBackend& backend, CliConsole console, const std::atomic<bool>& stop)
    : backend_(backend), console_(std::move(console)), stop_(stop), station_(backend)
{
    // A backup that cannot be written never stops a write or reset; it is said.
    QObject::connect(&station_, &Station::backupFailed, [this](const QString& reason) {
        console_.err(QStringLiteral("Settings backup not saved: %1").arg(reason));
    });
}

QString CliCommands::RegulatorName() const
{
    const QString name = FromAnsi(station_.OwnState().RegulatorName());
    return name.isEmpty() ? QStringLiteral("the regulator") : QStringLiteral("\"%1\"").arg(name);
}

int CliCommands::LinkFailure(const QString& what)
{
    console_.err(QStringLiteral("%1: %2").arg(what, station_.Usb().StatusText()));
    return CliNoRegulator;
}

void CliCommands::SayNoRegulator()
{
#ifdef Q_OS_LINUX
    console_.err(QStringLiteral("No regulator found\n"
                                "If it is plugged in: without the udev rule (70-krova-regulator.rules, installed with "
                                "the package; see the README) only root may open it."));
#else
    console_.err(QStringLiteral("No regulator found"));
#endif
}

bool CliCommands::Connect()
{
    if (!station_.Usb().Open()) {
        SayNoRegulator();
        return false;
    }
    if (!station_.PollOwn()) {
        LinkFailure(QStringLiteral("State not read"));
        return false;
    }
    return true;
}

bool CliCommands::ReadSettings()
{
    if (station_.SettingsOwner().ReadRecordFromDevice())
        return true;
    LinkFailure(QStringLiteral("Settings not read"));
    return false;
}

std::optional<int> CliCommands::Confirm(const QString& question, bool yes)
{
    if (yes)
        return std::nullopt;
    console_.out(question + QStringLiteral(" [y/N] "));
    const std::optional<QString> answer = console_.ask();
    if (!answer) {
        console_.out(QStringLiteral("\n"));
        console_.err(QStringLiteral("No terminal to ask on: give --yes to go ahead without asking."));
        return CliBadUsage;
    }
    const QString a = answer->trimmed().toLower();
    if (a == QLatin1String("y") || a == QLatin1String("yes"))
        return std::nullopt;
    console_.out(QStringLiteral("Nothing was changed.\n"));
    return CliOk;
}

void CliCommands::SayBackup()
{
    // A failed backup has said why already (backupFailed).
    if (!station_.SettingsOwner().LastBackupPath().isEmpty())
        console_.out(QStringLiteral("The settings they replaced: %1\n").arg(Native(station_.SettingsOwner().LastBackupPath())));
}

std::optional<SettingsRecord> CliCommands::LoadFile(const QString& path, int* status, bool exactSize, bool check)
{
    *status = CliBadUsage;
    const QFileInfo info(path);
    if (!info.isFile()) {
        console_.err(QStringLiteral("%1: %2").arg(Native(path), info.exists() ? QStringLiteral("not a file")
                                                                              : QStringLiteral("no such file")));
        return std::nullopt;
    }
    const bool longer = info.size() > qint64(SettingsRecord::Size);
    if (info.size() < qint64(SettingsRecord::Size) || (longer && exactSize)) {
        // A longer file is most likely no settings file at all (a README
        // renamed): it reaches a regulator only when the user says so.
        console_.err(QStringLiteral("%1: not a settings file: %2 bytes, a settings file has %3%4")
                         .arg(Native(path))
                         .arg(info.size())
                         .arg(SettingsRecord::Size)
                         .arg(longer ? QStringLiteral(" (--any-size writes its first %1 bytes)").arg(SettingsRecord::Size)
                                     : QString()));
        return std::nullopt;
    }
    SettingsRecord record;
    const FileOutcome loaded = LoadSettingsFile(path, record);
    if (!loaded.ok) {
        console_.err(loaded.message);
        return std::nullopt;
    }
    if (info.size() > qint64(SettingsRecord::Size))
        console_.err(QStringLiteral("%1 has %2 bytes, but a settings file has %3 bytes: only its first %3 bytes are "
                                    "taken as settings.")
                         .arg(Native(path))
                         .arg(info.size())
                         .arg(SettingsRecord::Size));
    const QList<SettingsDeparture> departures = check ? CheckSettings(record) : QList<SettingsDeparture>{};
    if (!departures.isEmpty()) {
        console_.err(ImplausibleSettingsText(Native(path), departures));
        if (!force_) {
            console_.err(QStringLiteral("Nothing was taken from it (--force takes them as the Settings page would "
                                        "store them)."));
            return std::nullopt;
        }
        console_.err(QStringLiteral("--force: taken as the Settings page would store them."));
        record = WithDeparturesFixed(record, departures);
    }
    *status = CliOk;
    return record;
}

int CliCommands::List()
{
    const std::vector<HidInterfaceInfo> found = HidSession::FindRegulators(backend_);
    if (found.empty()) {
        SayNoRegulator();
        return CliNoRegulator;
    }
    for (const HidInterfaceInfo& info : found)
        console_.out(QStringLiteral("%1\t%2\t%3\n").arg(info.path, info.manufacturer, info.product));
    return CliOk;
}

int CliCommands::State(bool peer, bool json)
{
    if (!Connect())
        return CliNoRegulator;
    const Side side = peer ? Side::Peer : Side::Own;
    if (peer) {
        if (!station_.PollPeer())
            return LinkFailure(QStringLiteral("Peer state not read"));
    } else if (!ReadSettings()) {
        // Only the caption of the aux temperature row depends on them.
        return CliNoRegulator;
    }
    station_.RefreshPage(side);
    const StatePageTexts page = station_.PageTexts(side);
    console_.out(json ? QString::fromUtf8(StatePageJson(page, station_.State(side))) : StatePageText(page));
    return CliOk;
}

int CliCommands::Log(const QString& path, std::optional<int> seconds)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        console_.err(QStringLiteral("%1: not a file").arg(Native(path)));
        return CliBadUsage;
    }
    if (!target.absoluteDir().exists()) {
        console_.err(QStringLiteral("%1: no such folder").arg(Native(target.absolutePath())));
        return CliBadUsage;
    }
    if (!Connect() || !ReadSettings())
        return CliNoRegulator;
    station_.SetLogFileName(path);

    using Steady = std::chrono::steady_clock;
    auto next = Steady::now();
    bool answering = true;
    int polls = 0;
    int lines = 0;
    for (;;) {
        next += std::chrono::milliseconds(PollIntervalMs);
        const auto now = Steady::now();
        if (now > next + std::chrono::seconds(1))
            next = now; // far behind (a silent regulator): no burst of polls to catch up
        // A stop request ends the wait; the line written last is whole.
        while (!stop_ && Steady::now() < next)
            std::this_thread::sleep_for(std::min<Steady::duration>(next - Steady::now(), std::chrono::milliseconds(50)));
        if (stop_)
            break;
        // The polling cycle of the window: the own state and the peer's every
        // 200 ms (the regulator state's status carries over into the log), a
        // line every second.
        const bool own = station_.Tick().own;
        if (own != answering) {
            answering = own;
            console_.err(own ? QStringLiteral("The regulator answers again.")
                             : QStringLiteral("%1 (the log goes on with the last values)").arg(station_.Usb().StatusText()));
        }
        if (++polls % PollsPerLogLine == 0) {
            QString failure;
            if (!station_.AppendLogLine(&failure)) {
                console_.err(QStringLiteral("%1: the line was not written: %2; logging stopped.")
                                 .arg(Native(path), failure));
                return CliBadUsage;
            }
            if (seconds && ++lines >= *seconds)
                break;
        }
    }
    return CliOk;
}

int CliCommands::SettingsRead(const QString& path)
{
    if (!Connect() || !ReadSettings())
        return CliNoRegulator;
    // Only a complete read reaches the file, and the file is replaced whole.
    const FileOutcome saved = SaveSettingsFile(path, station_.Settings());
    if (!saved.ok) {
        console_.err(saved.message);
        return CliBadUsage;
    }
    console_.out(QStringLiteral("Settings of %1 saved to %2\n").arg(RegulatorName(), Native(path)));
    return CliOk;
}

int CliCommands::SettingsWrite(const QString& path, bool yes, bool anySize)
{
    // A bad file is said before the regulator is looked for.
    int status = CliOk;
    const std::optional<SettingsRecord> file = LoadFile(path, &status, !anySize);
    if (!file)
        return status;
    if (!Connect() || !ReadSettings())
        return CliNoRegulator;
    return WriteFile(*file, path, yes, QStringLiteral("write"));
}

int CliCommands::SettingsRestore(const std::optional<QString>& path, bool yes)
{
    int status = CliOk;
    std::optional<SettingsRecord> file;
    if (path && !(file = LoadFile(*path, &status, true)))
        return status;
    if (!Connect() || !ReadSettings())
        return CliNoRegulator;
    if (path)
        return WriteFile(*file, *path, yes, QStringLiteral("restore"));
    const QList<SettingsBackups::Entry> backups = station_.SettingsOwner().Backups().List(station_.OwnState().RegulatorName());
    if (backups.isEmpty()) {
        console_.err(QStringLiteral("No backup of the settings of %1 in %2")
                         .arg(RegulatorName(), Native(station_.SettingsOwner().Backups().Folder())));
        return CliBadUsage;
    }
    // A backup named unread holds the settings the program had, not those
    // the regulator held: it is no state to roll back to.
    const auto read = std::find_if(backups.begin(), backups.end(), [](const SettingsBackups::Entry& e) { return e.read; });
    if (read == backups.end()) {
        console_.err(QStringLiteral("No backup of the settings of %1 in %2 holds settings read from it")
                         .arg(RegulatorName(), Native(station_.SettingsOwner().Backups().Folder())));
        return CliBadUsage;
    }
    const QString newest = read->path;
    console_.out(QStringLiteral("The newest backup: %1\n").arg(Native(newest)));
    if (!(file = LoadFile(newest, &status, true)))
        return status;
    return WriteFile(*file, newest, yes, QStringLiteral("restore"));
}

int CliCommands::WriteFile(const SettingsRecord& file, const QString& path, bool yes, const QString& operation)
{
    // What the Settings page would send after loading this file.
    const uint16_t voltage = station_.OwnState().DetectedSystemVoltage();
    const SettingsRecord written = SettingsAsPageWrites(file, voltage);
    const QList<SettingsDifference> changes = CompareSettings(station_.Settings(), written, voltage);
    if (changes.isEmpty())
        console_.out(QStringLiteral("No differences\n"));
    else
        console_.out(DifferencesText(changes, QStringLiteral("Regulator"), QFileInfo(path).fileName()));
    if (const std::optional<int> stop = Confirm(QStringLiteral("Write these settings to %1?").arg(RegulatorName()), yes))
        return *stop;
    const QString before = RegulatorName();
    SettingsSession& settings = station_.SettingsOwner();
    settings.Replace(written);
    const WriteOutcome outcome = settings.WriteSettings(operation, WriteAllowances{force_, false}, {}, {});
    switch (outcome.result) {
    case WriteOutcome::Result::Confirmed:
        break;
    case WriteOutcome::Result::Implausible:
    case WriteOutcome::Result::VersionDiffers:
        console_.err(WriteOutcomeText(outcome, before, station_.Usb().StatusText())
                     + (outcome.result == WriteOutcome::Result::VersionDiffers
                            ? QStringLiteral(" (--force writes them all the same)")
                            : QString()));
        return CliBadUsage;
    case WriteOutcome::Result::NotRead:
    case WriteOutcome::Result::NotSent:
    case WriteOutcome::Result::Unknown: // the relay's outcomes, not the USB write's
    case WriteOutcome::Result::PutOff:
    case WriteOutcome::Result::Handed:
        return LinkFailure(QStringLiteral("Settings not written"));
    case WriteOutcome::Result::NotConfirmed:
        console_.err(WriteOutcomeText(outcome, before, station_.Usb().StatusText()));
        return CliNoRegulator;
    }
    // The name the regulator goes by from now on, when the write changed it.
    const QString name = FromAnsi(written.DeviceName());
    if (!name.isEmpty() && written.DeviceName() != station_.OwnState().RegulatorName())
        console_.out(QStringLiteral("Settings written to %1; its name is now \"%2\".\n").arg(before, name));
    else
        console_.out(QStringLiteral("Settings written to %1.\n").arg(before));
    console_.out(QStringLiteral("Read back: the regulator holds exactly the settings written.\n"));
    SayBackup();
    return CliOk;
}

int CliCommands::SettingsReset(bool yes)
{
    if (!Connect() || !ReadSettings())
        return CliNoRegulator;
    if (const std::optional<int> stop =
            Confirm(QStringLiteral("Reset the settings of %1 to their default values?").arg(RegulatorName()), yes))
        return *stop;
    SettingsSession& settings = station_.SettingsOwner();
    if (!settings.ResetSettings().ok) {
        SayBackup();
        return LinkFailure(QStringLiteral("Settings not reset"));
    }
    console_.out(QStringLiteral("Settings of %1 reset to their default values.\n").arg(RegulatorName()));
    SayBackup();
    // As the window does: a second for the regulator, then the new settings.
    DelaySeconds(1, station_.Time());
    if (!station_.SettingsOwner().ReadRecordFromDevice())
        return LinkFailure(QStringLiteral("The reset went through, but its settings were not read back"));
    console_.out(QStringLiteral("Read back: the regulator holds its default settings now.\n"));
    return CliOk;
}

int CliCommands::SettingsShow(const QString& path, bool json, uint16_t voltage)
{
    int status = CliOk;
    const std::optional<SettingsRecord> file = LoadFile(path, &status);
    if (!file)
        return status;
    const QList<SettingsPageRow> rows = SettingsPageRows(*file, voltage);
    console_.out(json ? QString::fromUtf8(SettingsRowsJson(rows)) : SettingsRowsText(rows));
    return CliOk;
}

int CliCommands::SettingsDiff(const QString& first, const QString& second, uint16_t voltage)
{
    int status = CliOk;
    const std::optional<SettingsRecord> a = LoadFile(first, &status, false, false);
    if (!a)
        return status;
    const std::optional<SettingsRecord> b = LoadFile(second, &status, false, false);
    if (!b)
        return status;
    const QList<SettingsDifference> differences = CompareSettings(*a, *b, voltage);
    console_.out(differences.isEmpty() ? QStringLiteral("No differences\n")
                                       : DifferencesText(differences, QFileInfo(first).fileName(),
                                                         QFileInfo(second).fileName()));
    return differences.isEmpty() ? CliOk : CliDiffer;
}
