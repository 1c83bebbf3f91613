#pragma once
// The "Settings" page's editors and the commands of the "System" menu that
// move settings between the regulator, the relay, the editors and files:
// what the user typed goes into the settings session's record, what the
// session holds is drawn, and each transfer runs with the polling paused.
// The window forwards its handlers here and keeps the page control, the
// status bar and the message panel (its WindowShell).
#include "app/settings_editors_host.h"
#include "app/window_shell.h"
#include "station/relay_deferral.h"
#include "station/settings_session.h"
#include "station/station.h"
#include "time/timer_pause.h"

class SettingsPage;
class UserDialogs;

class SettingsCommands : public SettingsEditorsHost {
public:
    SettingsCommands(Station& station, SettingsSession& settings, UserDialogs& dialogs,
                     RelayDeferral& deferral, PausableTimer& usb, PausableTimer& inet, WindowShell& shell);
    ~SettingsCommands();
    // The page the editors are on (built after the commands).
    void SetPage(SettingsPage* page);

    // The editors, each drawn from the record or stored into it.
    void DrawSystemSettings();
    void StoreSystemSettings();
    void DrawChargeProfile();
    void StoreChargeProfile();
    void DrawCurve();
    void StoreCurve();
    // The settings as they now stand are the reference: the editors are
    // drawn from them, no cell marked.
    void ShowAsReference() override;
    // What the user typed, into the record.
    void StoreEditors();
    // A change of profile tab: the grids go into the profile being left,
    // then the new tab is the active profile and both grids show it.
    void ProfileTabChanging();
    void ProfileTabChange();

    // "Read Settings", "Write Settings", "Reset Settings To Default Values"
    // (with the polling running), "Save Settings To File", "Load Settings
    // From File".
    // `toFront`: the page comes forward (not for a read that support asked
    // for on the owner's side).
    void Read(bool toFront = true);
    void Write();
    void Reset();
    // True when the file was saved.
    bool SaveToFile();
    void LoadFromFile();
    // Whether the editors hold changes that were neither written nor saved.
    bool HasUnwrittenEdits();
    // Before the window closes: with such changes, asks whether to save them
    // to a file, discard them or stay; true when the window may close.
    bool MayClose();
    // A cell of a settings grid was edited: it shows what a write would
    // store, and the message panel says when that is not what was typed.
    void CellEdited(bool profileGrid, int row, const QString& typed);

    SettingsRecord EditorsRecord() override;
    void ReadSettings(bool toFront) override { Read(toFront); }
    bool WriteSettingsAs(const QString& operation, bool typed = true) override;
    void DrawSettings() override;
    void ShowFailure(const QString& message) override;

private:
    // Asked by a source just before it sends: with the relay busy, `again`
    // is scheduled for when it is free (if the source is still in use).
    SettingsSource::PutOff PutOffWhileBusy(SettingsSource* source, std::function<void()> again);
    // A write that did not end confirmed: the panel's line, and for settings
    // that are not plausible or a write not confirmed, the box with the rows.
    void ShowWriteFailure(const WriteOutcome& outcome, const QString& name);
    // While a remote read or write waits: the window repaints and the status
    // bar counts the seconds; what the user does meanwhile waits until the
    // command ends.
    RelayLink::WaitProgress ShowWaiting(const QString& what);

    Station& station_;
    SettingsSession& settings_;
    UserDialogs& dialogs_;
    RelayDeferral& deferral_;
    PausableTimer& usb_;
    PausableTimer& inet_;
    WindowShell& shell_;
    SettingsPage* page_ = nullptr;
    QMetaObject::Connection pageLinks_[2];
    // What the last "Save Settings To File" saved: no unwritten change then.
    std::optional<SettingsRecord> savedRecord_;
};
