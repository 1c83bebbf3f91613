#pragma once
// The main window: four pages, the menus, the status bar and message panel,
// and the three timers that drive the program. The live state and the steps
// on the regulator and the relay belong to its Station; the handlers here are
// adapters that call the station and redraw what it changed.
#include "app/calibration_commands.h"
#include "app/main_form_ui.h"
#include "app/service_commands.h"
#include "app/settings_commands.h"
#include "app/support_commands.h"
#include "app/tracked_dialogs.h"
#include "app/trends_commands.h"
#include "app/user_dialogs.h"
#include "station/application.h"
#include "station/relay_deferral.h"
#include "station/remote_session.h"
#include "station/settings_session.h"
#include "station/station.h"
#include "time/timer_pause.h"
#include "views/state_views.h"

#include <QMainWindow>

class CanPage;
class SettingsPage;
class StatePage;
class SupportExchange;

// The components are a private base, as with a form from Qt Designer: the
// window's code names them directly, others reach them through Ui().
class TMainFormKrv : public QMainWindow, private MainFormUi, private WindowShell {
    Q_OBJECT
public:
    TMainFormKrv(HidBackend& backend, UserDialogs& dialogs, const Clock& clock = Clock::System(),
                 QWidget* parent = nullptr);
    ~TMainFormKrv() override;

    Station& Core() { return station_; }
    const Station& Core() const { return station_; }
    const MainFormUi& Ui() const { return *this; }
    SupportExchange* Exchange() const { return station_.Relay().Exchange(); }

    // --- Shell --------------------------------------------------------------
    void FormCreate();
    void USBTimerTimer();
    void SystemStateTimerTimer();
    void ConnectionUSBClick();
    void Exit1Click();
    void PageControlChange(int index);
    bool AppMessageHook(QEvent* event);
    void ShowMessagePanel(const QString& text) override;
    void ShowNotice(const QString& headline, const QStringList& rows) override;
    QString StatusText() const;
    void SetStatusText(const QString& text) override;
    // The demo program says so in its title and in the connection indicator.
    void SetDemoMode(bool demo);
    // The indicator on the right of the status bar: what the pages show.
    QString ConnectionIndicatorText() const;

    // --- State views --------------------------------------------------------
    void UpdateMeasuredValuesTable();
    void UpdatePeerMeasuredValuesTable();
    void UpdateSystemStateTable();
    void UpdatePeerSystemStateTable();
    void UpdateRegulatorStateTable();
    void UpdatePeerRegulatorStateTable();
    void UpdateSystemMessages();
    void UpdatePeerSystemMessages();

    // --- Settings editors and operations ------------------------------------
    void UpdateSystemSettingsTable();
    void StoreSystemSettingsTable();
    void UpdateChargeProfilesTable();
    void StoreChargeProfilesTable();
    void UpdateFieldRpmChart();
    void StoreFieldRpmChart();
    void ChargeProfileTabControlChanging();
    void ChargeProfileTabControlChange();
    void ReadAllSettingsFromSystemClick();
    void WriteAllSettingsToSystemClick();
    void ResetControlBoxSettingsToDefaultValuesClick();
    void SaveSettingsToFileClick();
    void LoadSettingsFromFileClick();

    // --- Calibrations -------------------------------------------------------
    void CalibrateInternalPowerSupplyClick();
    void CalibrateVoltageMeasurementsClick();
    void CalibrateCurrentMeasurementsClick();

    // --- CAN bus monitor ----------------------------------------------------
    void CanOutputStep();
    void PauseCanWatchClick();
    void ClearAllLinesClick();
    void CopyToClipboardClick();

    // --- Remote support -----------------------------------------------------
    void INETTimerTimer();
    void ShareDataWithSupportClick();
    void RemoteViaInternetToProvideSupportClick();
    void SendChatMessageClick();
    void SupportDomainNameClick();

    // What the trends hold (the "Trends..." window shows it).
    const TrendBuffer& TrendValues() const { return trends_.Values(); }

    // --- Data log and dropped files -----------------------------------------
    bool WriteLogLine();
    void EnableDataLoggingToFileClick();
    void HandleDroppedFile(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Settings typed and not written are not lost unasked.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Each menu item and popup item to what it does.
    void ConnectHandlers();
    void ShowModes();
    void ShowConnection() override;
    void ShowPageTab(QWidget* page, bool visible);
    void SetRequestUnderWay(bool busy);
    void DrawStatePages() override;
    // The state page of `side`: its `parts` (StatePart) worked out again
    // from the record and drawn, or drawn as the last refresh left them.
    void RedrawPage(Side side, int parts);
    void DrawPage(Side side, int parts = AllParts);
    void SelectSettingsPage() override;
    void ShowFailure(const QString& message);
    // A snapshot file, as if dropped onto the "System State" page.
    void ShowSnapshot(const QString& path);
    void RunCalibration(Procedure procedure);

    Station station_;
    SettingsSession& settings_ = station_.SettingsOwner();
    RemoteSession remote_{station_};
    TrackedDialogs dialogs_;
    PausableTimer usbTimer_;
    PausableTimer inetTimer_;
    StatePage* ownPage_ = nullptr;
    StatePage* peerPage_ = nullptr;
    SettingsPage* settingsPage_ = nullptr;
    CanPage* canPage_ = nullptr;
    bool demo_ = false;
    bool shownOnce_ = false;
    // Exit asked about unwritten settings already.
    bool closeAsked_ = false;
    QString snapshotName_;
    double MessagePanelShownAt = 0;
    // Commands chosen while the relay is busy run once it is free.
    RelayDeferral deferral_{station_.Relay(), [this] { return dialogs_.IsBoxOpen(); }};
    SettingsCommands editors_{station_, settings_, dialogs_, deferral_, usbTimer_, inetTimer_, *this};
    TrendsCommands trends_{station_, dialogs_, this};
    ServiceCommands service_{station_, settings_, dialogs_, editors_, this, [this](const QString& path) { ShowSnapshot(path); }};
    CalibrationCommands calibration_{station_, settings_, dialogs_, editors_};
    SupportCommands support_{station_, settings_, remote_, dialogs_, deferral_, usbTimer_, inetTimer_, editors_, *this, this};
};
