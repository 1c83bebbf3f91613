#pragma once
// The main window: four pages, the menus, the status bar and message panel,
// and the three timers that drive the program. It owns the program's live
// state (records, link, relay state), so two windows in one process are fully
// independent of each other.
#include "app/tracked_dialogs.h"
#include "app/user_dialogs.h"
#include "canbus/can_frame_record.h"
#include "device/command_protocol.h"
#include "device/hid_session.h"
#include "records/settings_record.h"
#include "records/system_state_record.h"
#include "support/relay_codec.h"
#include "views/clock.h"
#include "views/state_views.h"

#include <QMainWindow>

#include <functional>

class FieldRpmChart;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTabBar;
class QTabWidget;
class QTimer;
class StringGrid;
class SupportExchange;

extern const QString ApplicationTitle;

class TMainFormKrv : public QMainWindow {
    Q_OBJECT
public:
    TMainFormKrv(HidBackend& backend, UserDialogs& dialogs, const Clock& clock = Clock::System(),
                 QWidget* parent = nullptr);
    ~TMainFormKrv() override;

    // --- Live state ---------------------------------------------------------
    HidSession Session;
    CommandProtocol Protocol;
    SystemStateRecord OwnState;
    SystemStateRecord PeerState;
    SettingsRecord Settings;
    CanFrameRecord CanFrames[2];
    MessageHoldCounters HoldCounters;
    SupportExchangeState Support;
    double MessagePanelShownAt = 0;
    QString LogFileName;

    // --- Components ---------------------------------------------------------
    QTabWidget* PageControl = nullptr;
    QWidget* StateTabSheet = nullptr;
    QWidget* SettingsTabSheet = nullptr;
    QWidget* CanBusTabSheet = nullptr;
    QWidget* PeerStateTabSheet = nullptr;
    StringGrid* MeasuredValuesTable = nullptr;
    StringGrid* SystemStateTable = nullptr;
    StringGrid* RegulatorStateTable = nullptr;
    QPlainTextEdit* SystemMessagesMemo = nullptr;
    StringGrid* PeerMeasuredValuesTable = nullptr;
    StringGrid* PeerSystemStateTable = nullptr;
    StringGrid* PeerRegulatorStateTable = nullptr;
    QPlainTextEdit* PeerSystemMessagesMemo = nullptr;
    StringGrid* SystemSettingsTable = nullptr;
    QTabBar* ChargeProfileTabControl = nullptr;
    StringGrid* ChargeProfilesTable = nullptr;
    FieldRpmChart* FieldRpmChartView = nullptr;
    QPlainTextEdit* CanMemo = nullptr;
    QCheckBox* CanViewHexCheckBox = nullptr;
    QMenu* CanRxMemoPopupMenu = nullptr;
    QLabel* MessagePanel = nullptr;
    QTimer* USBTimer = nullptr;
    QTimer* SystemStateTimer = nullptr;
    QTimer* INETTimer = nullptr;

    QAction* SaveSettingsToFile = nullptr;
    QAction* LoadSettingsFromFile = nullptr;
    QAction* ReadAllSettingsFromSystem = nullptr;
    QAction* WriteAllSettingsToSystem = nullptr;
    QAction* ResetControlBoxSettingsToDefaultValues = nullptr;
    QAction* CalibrateInternalPowerSupply = nullptr;
    QAction* CalibrateVoltageMeasurements = nullptr;
    QAction* CalibrateCurrentMeasurements = nullptr;
    QAction* Exit1 = nullptr;
    QAction* ConnectionUSB = nullptr;
    QAction* RemoteViaInternetToProvideSupport = nullptr;
    QAction* ShareDataWithSupport = nullptr;
    QAction* SendChatMessage = nullptr;
    QAction* SupportDomainName = nullptr;
    QAction* EnableDataLoggingToFile = nullptr;
    QAction* PauseCanWatch = nullptr;
    QAction* ClearAllLines = nullptr;
    QAction* CopyToClipboard = nullptr;

    SupportExchange* Exchange() const { return exchange_; }

    // --- Shell --------------------------------------------------------------
    void FormCreate();
    void USBTimerTimer();
    void SystemStateTimerTimer();
    void ConnectionUSBClick();
    void Exit1Click();
    void PageControlChange(int index);
    bool AppMessageHook(QEvent* event);
    void ShowMessagePanel(const QString& text);
    QString StatusText() const;
    void SetStatusText(const QString& text);
    // Check marks of the two radio items and the two connection items.
    void SetShareDataWithSupport(bool on);
    void SetEnableDataLogging(bool on);
    bool IsUsbConnection() const;
    bool IsRemoteConnection() const;
    // A failure no operation catches: its message in an error box captioned
    // with the application title, with a full stop added where it lacks one.
    void ShowFailure(const QString& message);

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
    void SelectProfileTabFromRecord();
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
    bool RunSupportExchange();
    // Runs `command` later, once the relay exchange under way has ended;
    // false (and nothing scheduled) when no exchange is under way.
    bool DeferWhileRelayBusy(std::function<void()> command);

    // --- Data log and dropped files -----------------------------------------
    bool WriteLogLine();
    void EnableDataLoggingToFileClick();
    void HandleDroppedFile(const QString& path);


protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildStatePage(Side side);
    QWidget* BuildSettingsPage();
    QWidget* BuildCanPage();
    void SetMemoLines(QPlainTextEdit* memo, const QStringList& lines);
    void ShowPageTab(QWidget* page, bool visible);
    void SetRequestUnderWay(bool busy);
    void ClientStep();
    void SupportStep();
    void RunCalibration(int which);

    TrackedDialogs dialogs_;
    const Clock& clock_;
    SupportExchange* exchange_ = nullptr;
    QLabel* statusText_ = nullptr;
    int selectedProfileTab_ = 0;
    // Counts the changes of the connection mode, so that a step that waited
    // on the relay can tell whether its role was ended meanwhile.
    int connectionChanges_ = 0;
    bool shareDataChecked_ = false;
    bool loggingChecked_ = false;
};
