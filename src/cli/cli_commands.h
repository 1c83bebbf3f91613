#pragma once
// The commands of krova-cli, on the same station as the window: the same
// device link, transfers, records, texts, backups and files.
#include "device/hid_backend.h"
#include "time/clock.h"
#include "station/station.h"

#include <QString>

#include <atomic>
#include <functional>
#include <optional>

// Exit statuses.
enum CliStatus : int {
    CliOk = 0,
    CliNoRegulator = 1, // absent, or it does not answer
    CliDiffer = 1,      // settings diff: the files differ (as diff says it)
    CliBadUsage = 2,    // a bad argument or a bad file
};

// Where the tool talks to its user.
struct CliConsole {
    std::function<void(const QString&)> out;
    std::function<void(const QString&)> err;
    // A line typed in answer to a question; none without a terminal.
    std::function<std::optional<QString>()> ask;
};

class CliCommands {
public:
    // `stop` is set from outside (Ctrl+C, SIGTERM) to end a log.
    CliCommands(HidBackend& backend, CliConsole console, const std::atomic<bool>& stop);

    // --force: settings that fail the settings check are taken as the editors
    // would store them, and written to a regulator of another device version.
    void SetForce(bool force) { force_ = force; }

    int List();
    int State(bool peer, bool json);
    int Log(const QString& path, std::optional<int> seconds);
    int SettingsRead(const QString& path);
    // A file of another size than a settings file is refused unless
    // `anySize` says to take its first 540 bytes.
    int SettingsWrite(const QString& path, bool yes, bool anySize = false);
    // A backup written back: the file given, or with none the newest backup
    // of the connected regulator.
    int SettingsRestore(const std::optional<QString>& path, bool yes);
    int SettingsReset(bool yes);
    int SettingsShow(const QString& path, bool json, uint16_t voltage);
    int SettingsDiff(const QString& first, const QString& second, uint16_t voltage);

private:
    // Finds the regulator and takes one state poll; false (and says why)
    // when there is none or it does not answer.
    bool Connect();
    // The settings the regulator holds now; false (and says why) when the
    // read was not complete.
    bool ReadSettings();
    // Nothing to go ahead; otherwise the status to end with: CliOk when the
    // user said no, CliBadUsage without --yes and without a terminal to ask on.
    std::optional<int> Confirm(const QString& question, bool yes);
    // Where a write or reset put the settings it replaced.
    void SayBackup();
    int LinkFailure(const QString& what);
    // Says that no regulator was found, and on Linux what keeps a plugged-in
    // one from being opened.
    void SayNoRegulator();
    // Shows what the file's settings change, asks, and writes them; the
    // regulator is connected and its settings read.
    int WriteFile(const SettingsRecord& file, const QString& path, bool yes, const QString& operation);
    // The settings of a file; a longer file gives its first 540 bytes with a
    // warning, unless `exactSize` refuses it.
    // Settings that fail the settings check are refused unless --force takes
    // them as the editors would store them (`check` false: taken as they are).
    std::optional<SettingsRecord> LoadFile(const QString& path, int* status, bool exactSize = false, bool check = true);
    QString RegulatorName() const;

    HidBackend& backend_;
    CliConsole console_;
    const std::atomic<bool>& stop_;
    Station station_;
    bool force_ = false;
};
