#include "app/main_form_ui.h"
#include "views/notice_bar_widget.h"
#include "canbus/can_page_widget.h"
#include "settings/settings_page_widget.h"
#include "views/page_parts_widget.h"
#include "views/state_page_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QMainWindow>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int MessagePanelHeight = 17;


void BuildMenus(QMainWindow* window, MainFormUi& ui)
{
    QMenuBar* bar = window->menuBar();
    // Alt+S, Alt+O and Alt+H open the menus; F10 reaches the menu bar.
    QMenu* system = bar->addMenu(QStringLiteral("&System"));
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), window);
    QObject::connect(menuKey, &QShortcut::activated, bar, [bar] {
        bar->setFocus(Qt::ShortcutFocusReason);
        bar->setActiveAction(bar->actions().constFirst());
    });
    ui.SaveSettingsToFile = system->addAction(QStringLiteral("Save Settings To File"));
    ui.LoadSettingsFromFile = system->addAction(QStringLiteral("Load Settings From File"));
    system->addSeparator();
    ui.ReadAllSettingsFromSystem = system->addAction(QStringLiteral("Read Settings"));
    ui.WriteAllSettingsToSystem = system->addAction(QStringLiteral("Write Settings"));
    ui.ResetControlBoxSettingsToDefaultValues = system->addAction(QStringLiteral("Reset Settings To Default Values"));
    system->addSeparator();
    ui.CalibrateInternalPowerSupply = system->addAction(QStringLiteral("Calibrate Internal Power Supply "));
    ui.CalibrateVoltageMeasurements = system->addAction(QStringLiteral("Calibrate Voltage Measurements"));
    ui.CalibrateCurrentMeasurements = system->addAction(QStringLiteral("Calibrate Current Measurements"));
    system->addSeparator();
    ui.Exit1 = system->addAction(QStringLiteral("Exit"));
    system->addSeparator();
    ui.CompareSettingsWithFile = system->addAction(QStringLiteral("Compare Settings With File..."));
    ui.SaveServiceReport = system->addAction(QStringLiteral("Save Service Report..."));
    ui.OpenBackupsFolder = system->addAction(QStringLiteral("Open Backups Folder"));
    ui.RestoreSettingsFromBackup = system->addAction(QStringLiteral("Restore Settings From Backup..."));
    ui.OpenSnapshot = system->addAction(QStringLiteral("Open Snapshot..."));

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    QMenu* connection = options->addMenu(QStringLiteral("Connection"));
    ui.ConnectionUSB = connection->addAction(QStringLiteral("USB"));
    ui.ConnectionUSB->setCheckable(true);
    ui.ConnectionUSB->setChecked(true);
    ui.RemoteViaInternetToProvideSupport = connection->addAction(QStringLiteral("Remote via Internet"));
    ui.RemoteViaInternetToProvideSupport->setCheckable(true);
    options->addSeparator();
    ui.ShareDataWithSupport = options->addAction(QStringLiteral("Share data with support"));
    ui.SendChatMessage = options->addAction(QStringLiteral("Send Chat Message"));
    ui.SendChatMessage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    ui.SendChatMessage->setEnabled(false);
    ui.SupportDomainName = options->addAction(QStringLiteral("Support Domain Name..."));
    ui.NewSupportSession = options->addAction(QStringLiteral("New Support Session..."));
    ui.ChatLog = options->addAction(QStringLiteral("Chat..."));
    options->addSeparator();
    ui.EnableDataLoggingToFile = options->addAction(QStringLiteral("Enable Data Logging to File"));
    // One radio group that may also have nothing ticked. The handlers decide
    // the ticks themselves (logging only goes on once a file is chosen), so
    // the group only provides the radio look.
    auto* group = new QActionGroup(window);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* a : {ui.ShareDataWithSupport, ui.EnableDataLoggingToFile}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    options->addSeparator();
    ui.Trends = options->addAction(QStringLiteral("Trends..."));
    ui.OpenDataLog = options->addAction(QStringLiteral("Open Data Log..."));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    ui.UserGuide = help->addAction(QStringLiteral("User Guide"));
    ui.UserGuide->setShortcut(QKeySequence::HelpContents);
    ui.About = help->addAction(QStringLiteral("About"));

    // The usual keys for files and leaving; none collides with a key of the
    // design (Ctrl+C sends a chat).
    ui.SaveSettingsToFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    ui.LoadSettingsFromFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    ui.Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void NamePageComponents(MainFormUi& ui, const MainFormPages& pages)
{
    ui.MeasuredValuesTable = pages.own->MeasuredValuesTable();
    ui.SystemStateTable = pages.own->SystemStateTable();
    ui.RegulatorStateTable = pages.own->RegulatorStateTable();
    ui.SystemMessagesMemo = pages.own->SystemMessagesMemo();
    ui.PeerMeasuredValuesTable = pages.peer->MeasuredValuesTable();
    ui.PeerSystemStateTable = pages.peer->SystemStateTable();
    ui.PeerRegulatorStateTable = pages.peer->RegulatorStateTable();
    ui.PeerSystemMessagesMemo = pages.peer->SystemMessagesMemo();
    ui.SystemSettingsTable = pages.settings->SystemSettingsTable();
    ui.ChargeProfileTabControl = pages.settings->ChargeProfileTabControl();
    ui.ChargeProfilesTable = pages.settings->ChargeProfilesTable();
    ui.FieldRpmChartView = pages.settings->FieldRpmChartView();
    ui.CanMemo = pages.can->CanMemo();
    ui.CanViewHexCheckBox = pages.can->CanViewHexCheckBox();
    ui.CanPausedLabel = pages.can->CanPausedLabel();
    ui.CanRxMemoPopupMenu = pages.can->CanRxMemoPopupMenu();
    ui.PauseCanWatch = pages.can->PauseCanWatch();
    ui.ClearAllLines = pages.can->ClearAllLines();
    ui.CopyToClipboard = pages.can->CopyToClipboard();
}

} // namespace

void SetUpMainForm(QMainWindow* window, MainFormUi& ui, const MainFormPages& pages)
{
    auto* central = new QWidget(window);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ui.PageControl = new QTabWidget(central);
    layout->addWidget(ui.PageControl, 1);
    ui.StateTabSheet = Scrolled(pages.own);
    ui.SettingsTabSheet = Scrolled(pages.settings);
    ui.CanBusTabSheet = Scrolled(pages.can);
    ui.PeerStateTabSheet = Scrolled(pages.peer);
    ui.PageControl->addTab(ui.StateTabSheet, QStringLiteral("System State"));
    ui.PageControl->addTab(ui.SettingsTabSheet, QStringLiteral("Settings"));
    ui.PageControl->addTab(ui.CanBusTabSheet, QStringLiteral("CAN bus"));
    ui.PageControl->addTab(ui.PeerStateTabSheet, QStringLiteral("Peer System State"));
    NamePageComponents(ui, pages);
    ui.Notice = new NoticeBar(central);
    layout->addWidget(ui.Notice);
    ui.MessagePanel = NewMessagePanel(central);
    ui.MessagePanel->setFixedHeight(MessagePanelHeight);
    layout->addWidget(ui.MessagePanel);
    window->setCentralWidget(central);

    ui.StatusBarText = new QLabel(window);
    ui.StatusBarText->setObjectName(QStringLiteral("StatusText"));
    window->statusBar()->addWidget(ui.StatusBarText, 1);
    ui.ConnectionIndicator = new QLabel(window);
    ui.ConnectionIndicator->setObjectName(QStringLiteral("ConnectionIndicator"));
    window->statusBar()->addPermanentWidget(ui.ConnectionIndicator);
    window->statusBar()->setSizeGripEnabled(false);

    BuildMenus(window, ui);
}
