#pragma once
// The settings the program works on, with one owner: the station's record
// (what the editors show and a write sends), the reference it is compared
// with (the settings last read, written, loaded or taken from a snapshot or
// the relay: what the cells marked as changed differ from), and the charge
// profile whose tab is selected. Every operation that replaces the settings
// goes through here; those that send them to the regulator back up what they
// replace under the name of the operation ("write", "restore",
// "calibration-write", "support-write", ...).
#include "calibration/calibration.h"
#include "records/settings_file.h"
#include "settings/settings_page_rows.h"
#include "station/station.h"

#include <functional>

class SettingsSession {
public:
    explicit SettingsSession(Station& station);

    const SettingsRecord& Record() const { return station_.settings_; }
    const SettingsRecord& Reference() const { return reference_; }
    // The tab of the profile the editors show and edit: the record's active
    // profile (a number beyond the eight tabs shows the first).
    int ProfileTab() const;
    // What a page draws: the record, the reference, the own regulator's
    // system voltage and the selected tab.
    SettingsView View() const;
    uint16_t Voltage() const { return station_.OwnState().DetectedSystemVoltage(); }

    // The record is what the editors hold now (the user typed into them).
    // `store` puts the editors' texts into the record it is given.
    void Store(const std::function<void(SettingsRecord&)>& store) { store(station_.settings_); }
    // The user chose another profile tab: it becomes the active profile.
    void SelectProfile(int tab);

    // The record as it stands is the reference (after a read from the
    // regulator or the relay, a load, a snapshot).
    void TakeAsReference() { reference_ = station_.settings_; }
    // A read from the regulator on USB; the record is replaced only by a
    // complete read. The record is the reference afterwards either way: the
    // cells show what differs from what the program now takes the regulator
    // to hold.
    bool ReadFromDevice();
    // A write to the regulator on USB; once the regulator confirmed it, what
    // was written is the reference.
    bool WriteToDevice(const QString& operation);
    bool ResetOnDevice() { return station_.ResetSettingsOnDevice(); }
    // A settings file in place of the record, as the reference; the record
    // is left as it was when the file cannot be read.
    FileOutcome Load(const QString& path);
    // A snapshot's three records in place of the station's.
    void TakeSnapshot(const SnapshotRecord& snapshot);
    // These settings in place of the record (a backup to restore), the
    // reference unchanged: the cells show what the write would change.
    void Replace(const SettingsRecord& record) { station_.settings_ = record; }
    // A calibration's new values into the record.
    bool ApplyCalibration(const CalibrationOutcome& outcome) { return ::ApplyCalibration(outcome, station_.settings_); }
    // The settings support sent, as the editors would take them back after
    // showing them: what the support write sends.
    void TakeAsPageWrites() { station_.settings_ = SettingsAsPageWrites(station_.settings_, Voltage()); }

private:
    Station& station_;
    SettingsRecord reference_;
};
