#pragma once
// The main window's components, by the names the program's design gives
// them: the pages' widgets, the menus' items, the message panel, the status
// bar's labels and the timers. The pages build their own widgets; the set-up
// below lays the window out around them and names each component.
class CanPage;
class NoticeBar;
class FieldRpmChart;
class QMainWindow;
class SettingsPage;
class StatePage;
class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTabBar;
class QTabWidget;
class QTimer;
class QWidget;
class StringGrid;

struct MainFormUi {
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
    QLabel* CanPausedLabel = nullptr;
    QMenu* CanRxMemoPopupMenu = nullptr;
    QLabel* MessagePanel = nullptr;
    NoticeBar* Notice = nullptr;           // stays until dismissed, above the panel
    QLabel* StatusBarText = nullptr;       // the status bar's text on the left
    QLabel* ConnectionIndicator = nullptr; // and where the values come from, on the right
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
    QAction* CompareSettingsWithFile = nullptr;
    QAction* SaveServiceReport = nullptr;
    QAction* OpenBackupsFolder = nullptr;
    QAction* RestoreSettingsFromBackup = nullptr;
    QAction* OpenSnapshot = nullptr;
    QAction* About = nullptr;
    QAction* UserGuide = nullptr;
    QAction* ConnectionUSB = nullptr;
    QAction* RemoteViaInternetToProvideSupport = nullptr;
    QAction* ShareDataWithSupport = nullptr;
    QAction* SendChatMessage = nullptr;
    QAction* SupportDomainName = nullptr;
    QAction* NewSupportSession = nullptr;
    QAction* ChatLog = nullptr;
    QAction* EnableDataLoggingToFile = nullptr;
    QAction* Trends = nullptr;
    QAction* OpenDataLog = nullptr;
    QAction* PauseCanWatch = nullptr;
    QAction* ClearAllLines = nullptr;
    QAction* CopyToClipboard = nullptr;
};

struct MainFormPages {
    StatePage* own;
    SettingsPage* settings;
    CanPage* can;
    StatePage* peer;
};

// The window laid out as the design has it: the four pages in their tabs
// over the message panel, the status bar's labels, and the menu bar with its
// items, separators, check marks, the radio look of sharing and logging, and
// the keys. Every component lands in its name; what the items do is the
// window's to connect.
void SetUpMainForm(QMainWindow* window, MainFormUi& ui, const MainFormPages& pages);
