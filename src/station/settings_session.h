#pragma once
// The settings the program works on, with one owner: the record (what the
// editors show, a write sends and the pages' captions follow), the reference it is compared
// with (the settings last read, written, loaded or taken from a snapshot or
// the relay: what the cells marked as changed differ from), and the charge
// profile whose tab is selected. Every operation that replaces the settings
// goes through here; those that send them to the regulator back up what they
// replace under the name of the operation ("write", "restore",
// "calibration-write", "support-write", ...).
#include "calibration/calibration.h"
#include "compare/settings_compare.h"
#include "records/settings_file.h"
#include "settings/settings_check.h"
#include "settings/settings_page_rows.h"
#include "backup/settings_backups.h"
#include "station/settings_source.h"
#include "station/usb_link.h"
#include "time/clock.h"

#include <functional>
#include <optional>

class SettingsSession : public SettingsSource {
public:
    // The settings of the regulator on `usb`, whose own state `ownState`
    // gives its system voltage and name; `clock` dates the backups.
    SettingsSession(UsbLink& usb, const SystemStateRecord& ownState, const Clock& clock);

    const SettingsRecord& Record() const { return record_; }
    const SettingsRecord& Reference() const { return reference_; }
    // The tab of the profile the editors show and edit: the record's active
    // profile (a number beyond the eight tabs shows the first).
    int ProfileTab() const;
    // What a page draws: the record, the reference, the own regulator's
    // system voltage and the selected tab.
    SettingsView View() const;
    uint16_t Voltage() const { return ownState_.DetectedSystemVoltage(); }

    // The record is what the editors hold now (the user typed into them).
    // `store` puts the editors' texts into the record it is given.
    void Store(const std::function<void(SettingsRecord&)>& store) { store(record_); }
    // The user chose another profile tab: it becomes the active profile.
    void SelectProfile(int tab);

    // The record as it stands is the reference (after a read from the
    // regulator or the relay, a load, a snapshot).
    void TakeAsReference() { reference_ = record_; }
    bool ReadRecordFromDevice() { return ReadDeviceSettingsInto(record_); }
    // A complete read into `into`, the record untouched (the settings a write
    // will replace, the read-back after it).
    bool ReadDeviceSettingsInto(SettingsRecord& into);
    // The departures of the record from the settings check, in the terms of
    // the own regulator's system voltage.
    QList<SettingsDeparture> Check() const { return CheckSettings(record_, Voltage()); }
    // Settings from a file, a backup, a snapshot or the relay in place of the
    // record, as the reference; implausible ones as the editors would store
    // them.
    void Take(const SettingsRecord& record);
    // A settings file in place of the record, as the reference; the record
    // is left as it was when the file cannot be read.
    FileOutcome Load(const QString& path);
    // These settings in place of the record (a backup to restore, what came
    // over the relay), the reference unchanged: the cells show what the write
    // would change.
    void Replace(const SettingsRecord& record) { record_ = record; }
    // A calibration's new values into the record.
    bool ApplyCalibration(const CalibrationOutcome& outcome) { return ::ApplyCalibration(outcome, record_); }
    // The settings support sent, as the editors would take them back after
    // showing them: what the support write sends.
    void TakeAsPageWrites() { record_ = SettingsAsPageWrites(record_, Voltage()); }

    // --- The regulator on USB as a source of settings ------------------------
    // A read replaces the record only when it came whole (an incomplete one
    // leaves what the user loaded or edited, never a mix of old and new
    // blocks), and makes the record the reference afterwards either way: the
    // cells show what differs from what the program now takes the regulator
    // to hold.
    // A write is the one way settings reach the regulator. The record must
    // pass the settings check and, unless the user allowed a version change,
    // carry the device version the regulator was last read with. When what
    // the regulator holds is not known, it is read first, so that the backup
    // holds it. After the end marker the settings are read back: the write is
    // confirmed only when the regulator holds exactly what was sent; then that
    // is the reference and what the next backup holds.
    // The reset is one request and nothing else: its backup holds the
    // settings the regulator is known to hold, or says "unread".
    // Nothing waits on the relay; each outcome's status is the link's text.
    SourceOutcome ReadSettings(const Progress& progress, const PutOff& putOff) override;
    WriteOutcome WriteSettings(const QString& operation, WriteAllowances allowed, const Progress& progress,
                               const PutOff& putOff) override;
    SourceOutcome ResetSettings() override;
    bool Busy() const override { return false; }

    // --- Backups --------------------------------------------------------------
    // Where the settings a write or a reset replaces are kept.
    const SettingsBackups& Backups() const { return backups_; }
    void UseBackupsFolder(const QString& folder) { backups_ = SettingsBackups(folder); }
    // The backup the last write or reset saved (empty when it failed).
    QString LastBackupPath() const { return lastBackupPath_; }
    // Told why a backup could not be saved (the operation goes on).
    void OnBackupFailed(std::function<void(const QString& reason)> told) { backupFailed_ = std::move(told); }
    // The settings the regulator on USB is known to hold: those of its last
    // complete read or confirmed write, none when that is not known.
    std::optional<SettingsRecord> KnownDeviceSettings() const;
    void NoteDeviceHolds(const SettingsRecord& settings);
    void ForgetDeviceSettings() { backups_.ForgetRead(); }

private:
    bool ReadFromDevice();
    WriteOutcome WriteToDevice(const QString& operation, bool versionChangeAllowed);
    bool ResetOnDevice();
    QByteArray RegulatorName() const { return ownState_.RegulatorName(); }
    void BackUp(const QString& operation);

    UsbLink& usb_;
    const SystemStateRecord& ownState_;
    const Clock& clock_;
    SettingsRecord record_;
    SettingsRecord reference_;
    SettingsBackups backups_;
    QString lastBackupPath_;
    std::function<void(const QString&)> backupFailed_;
};
