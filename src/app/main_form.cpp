#include "app/main_form.h"

#include "canbus/can_line_buffer.h"
#include "records/ansi_text.h"
#include "records/snapshot_file.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/system_settings_rows.h"
#include "views/string_grid_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

const QString ApplicationTitle = QStringLiteral("Norvelle K-ROVA X Utility v7");

namespace {

constexpr int ClientWidth = 873;
constexpr int PageHeight = 657;
constexpr int MessagePanelHeight = 17;
constexpr int SystemStateTimerMs = 1000;
constexpr int InetTimerMs = 2000;
constexpr double MessageDisplayTime = 5 * OneSecond;
// The relay a support team runs for a trial (php -S 0.0.0.0:8080 -t relay).
const char* const DefaultSupportDomain = "localhost:8080";

QLabel* Caption(const QString& text, QWidget* parent, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

QPlainTextEdit* Memo(QWidget* parent)
{
    auto* memo = new QPlainTextEdit(parent);
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setUndoRedoEnabled(false);
    QPalette p = memo->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    memo->setPalette(p);
    return memo;
}

// Keeps the check marks of a pair of items in step without raising their
// triggered signals again.
void SetCheck(QAction* action, bool on)
{
    const QSignalBlocker block(action);
    action->setChecked(on);
}

} // namespace

TMainFormKrv::TMainFormKrv(HidBackend& backend, UserDialogs& dialogs, const Clock& clock, QWidget* parent)
    : QMainWindow(parent), station_(backend, clock), dialogs_(dialogs)
{
    // The caption stays blank until the first window update fills it. (An
    // empty title would make the window system show the application's name.)
    setWindowTitle(QStringLiteral(" "));
    setAutoFillBackground(true); // the background shows when a relay request is under way
    connect(&station_, &Station::requestUnderWay, this, &TMainFormKrv::SetRequestUnderWay);
    connect(&station_, &Station::modesChanged, this, &TMainFormKrv::ShowModes);
    connect(&station_, &Station::backupFailed, this, [this](const QString& reason) {
        ShowMessagePanel(QStringLiteral(" Settings backup not saved: ") + reason);
    });

    auto* central = new QWidget(this);
    central->setFixedSize(ClientWidth, PageHeight + MessagePanelHeight);
    PageControl = new QTabWidget(central);
    PageControl->setGeometry(0, 0, ClientWidth, PageHeight);
    StateTabSheet = BuildStatePage(Side::Own);
    SettingsTabSheet = BuildSettingsPage();
    CanBusTabSheet = BuildCanPage();
    PeerStateTabSheet = BuildStatePage(Side::Peer);
    PageControl->addTab(StateTabSheet, QStringLiteral("System State"));
    PageControl->addTab(SettingsTabSheet, QStringLiteral("Settings"));
    PageControl->addTab(CanBusTabSheet, QStringLiteral("CAN bus"));
    PageControl->addTab(PeerStateTabSheet, QStringLiteral("Peer System State"));
    // Only a page change made by the user counts (click or keyboard): the
    // program's own page selections block the page control's signals.
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainFormKrv::PageControlChange);

    MessagePanel = new QLabel(QStringLiteral(" Message"), central);
    MessagePanel->setGeometry(0, PageHeight, ClientWidth, MessagePanelHeight);
    MessagePanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MessagePanel->setAutoFillBackground(true);
    QPalette p = MessagePanel->palette();
    p.setColor(QPalette::Window, Qt::yellow);
    p.setColor(QPalette::WindowText, Qt::black);
    MessagePanel->setPalette(p);
    QFont bold = MessagePanel->font();
    bold.setBold(true);
    MessagePanel->setFont(bold);
    MessagePanel->hide();
    setCentralWidget(central);

    statusText_ = new QLabel(this);
    statusText_->setObjectName(QStringLiteral("StatusText"));
    statusBar()->addWidget(statusText_, 1);
    statusBar()->setSizeGripEnabled(false);

    BuildMenus();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlags((windowFlags() | Qt::CustomizeWindowHint) & ~Qt::WindowMaximizeButtonHint);

    USBTimer = new QTimer(this);
    USBTimer->setInterval(UsbTimerIntervalMs);
    connect(USBTimer, &QTimer::timeout, this, &TMainFormKrv::USBTimerTimer);
    SystemStateTimer = new QTimer(this);
    SystemStateTimer->setInterval(SystemStateTimerMs);
    connect(SystemStateTimer, &QTimer::timeout, this, &TMainFormKrv::SystemStateTimerTimer);
    INETTimer = new QTimer(this);
    INETTimer->setInterval(InetTimerMs);
    connect(INETTimer, &QTimer::timeout, this, &TMainFormKrv::INETTimerTimer);
    usbTimer_.Attach(USBTimer);
    inetTimer_.Attach(INETTimer);

    FormCreate();

    // Centred on the screen the window opens on.
    if (QScreen* s = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, sizeHint(), s->availableGeometry()));

    USBTimer->start();
    SystemStateTimer->start();
    INETTimer->start();
}

TMainFormKrv::~TMainFormKrv()
{
    qApp->removeEventFilter(this);
}

void TMainFormKrv::BuildMenus()
{
    QMenu* system = menuBar()->addMenu(QStringLiteral("System"));
    auto add = [this](QMenu* menu, const QString& text, void (TMainFormKrv::*handler)()) {
        QAction* a = menu->addAction(text);
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    SaveSettingsToFile = add(system, QStringLiteral("Save Settings To File"), &TMainFormKrv::SaveSettingsToFileClick);
    LoadSettingsFromFile = add(system, QStringLiteral("Load Settings From File"), &TMainFormKrv::LoadSettingsFromFileClick);
    system->addSeparator();
    ReadAllSettingsFromSystem = add(system, QStringLiteral("Read Settings"), &TMainFormKrv::ReadAllSettingsFromSystemClick);
    WriteAllSettingsToSystem = add(system, QStringLiteral("Write Settings"), &TMainFormKrv::WriteAllSettingsToSystemClick);
    ResetControlBoxSettingsToDefaultValues = add(system, QStringLiteral("Reset Settings To Default Values"),
                                                 &TMainFormKrv::ResetControlBoxSettingsToDefaultValuesClick);
    system->addSeparator();
    CalibrateInternalPowerSupply = add(system, QStringLiteral("Calibrate Internal Power Supply "),
                                       &TMainFormKrv::CalibrateInternalPowerSupplyClick);
    CalibrateVoltageMeasurements = add(system, QStringLiteral("Calibrate Voltage Measurements"),
                                       &TMainFormKrv::CalibrateVoltageMeasurementsClick);
    CalibrateCurrentMeasurements = add(system, QStringLiteral("Calibrate Current Measurements"),
                                       &TMainFormKrv::CalibrateCurrentMeasurementsClick);
    system->addSeparator();
    Exit1 = add(system, QStringLiteral("Exit"), &TMainFormKrv::Exit1Click);
    system->addSeparator();
    CompareSettingsWithFile = add(system, QStringLiteral("Compare Settings With File..."),
                                  &TMainFormKrv::CompareSettingsWithFileClick);
    SaveServiceReport = add(system, QStringLiteral("Save Service Report..."), &TMainFormKrv::SaveServiceReportClick);
    OpenBackupsFolder = add(system, QStringLiteral("Open Backups Folder"), &TMainFormKrv::OpenBackupsFolderClick);

    QMenu* options = menuBar()->addMenu(QStringLiteral("Options"));
    QMenu* connection = options->addMenu(QStringLiteral("Connection"));
    ConnectionUSB = add(connection, QStringLiteral("USB"), &TMainFormKrv::ConnectionUSBClick);
    ConnectionUSB->setCheckable(true);
    ConnectionUSB->setChecked(true);
    RemoteViaInternetToProvideSupport = add(connection, QStringLiteral("Remote via Internet"),
                                            &TMainFormKrv::RemoteViaInternetToProvideSupportClick);
    RemoteViaInternetToProvideSupport->setCheckable(true);
    options->addSeparator();
    ShareDataWithSupport = add(options, QStringLiteral("Share data with support"), &TMainFormKrv::ShareDataWithSupportClick);
    SendChatMessage = add(options, QStringLiteral("Send Chat Message"), &TMainFormKrv::SendChatMessageClick);
    SendChatMessage->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    SendChatMessage->setEnabled(false);
    SupportDomainName = add(options, QStringLiteral("Support Domain Name..."), &TMainFormKrv::SupportDomainNameClick);
    options->addSeparator();
    EnableDataLoggingToFile = add(options, QStringLiteral("Enable Data Logging to File"),
                                  &TMainFormKrv::EnableDataLoggingToFileClick);
    // One radio group that may also have nothing ticked. The handlers decide
    // the ticks themselves (logging only goes on once a file is chosen), so
    // the group only provides the radio look.
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* a : {ShareDataWithSupport, EnableDataLoggingToFile}) {
        a->setCheckable(true);
        group->addAction(a);
    }
}

QWidget* TMainFormKrv::BuildStatePage(Side side)
{
    auto* page = new QWidget;
    const bool own = side == Side::Own;
    Caption(QStringLiteral("Measured Values"), page, 8, 4);
    auto* measured = new StringGrid(MeasuredValuesRows, MeasuredValuesColumns, 1, 1, 210, 16, page);
    measured->move(8, 22);
    Caption(QStringLiteral("System State"), page, 8, 286);
    auto* system = new StringGrid(SystemStateRows, StateColumns, 1, 1, 190, 16, page);
    system->move(8, 304);
    Caption(QStringLiteral("Regulator State"), page, 8, 472);
    auto* regulator = new StringGrid(RegulatorStateRows, StateColumns, 1, 1, 190, 16, page);
    regulator->move(8, 490);
    if (own)
        Caption(QStringLiteral("System Messages"), page, 440, 286);
    QPlainTextEdit* memo = Memo(page);
    memo->setGeometry(440, 304, 410, 316);
    if (own) {
        MeasuredValuesTable = measured;
        SystemStateTable = system;
        RegulatorStateTable = regulator;
        SystemMessagesMemo = memo;
    } else {
        PeerMeasuredValuesTable = measured;
        PeerSystemStateTable = system;
        PeerRegulatorStateTable = regulator;
        PeerSystemMessagesMemo = memo;
    }
    return page;
}

QWidget* TMainFormKrv::BuildSettingsPage()
{
    auto* page = new QWidget;
    SystemSettingsTable = new StringGrid(SystemSettingsRowCount, 2, 0, 1, 210, 16, page);
    SystemSettingsTable->setGeometry(8, 7, 423, 613);
    QFont gridFont = SystemSettingsTable->font();
    gridFont.setPixelSize(11);
    SystemSettingsTable->setFont(gridFont);
    SystemSettingsTable->SetEditable(true);
    const QStringList captions = SystemSettingsCaptions();
    for (int r = 0; r < SystemSettingsRowCount; ++r)
        SystemSettingsTable->SetCell(r, 0, captions[r]);

    ChargeProfileTabControl = new QTabBar(page);
    ChargeProfileTabControl->setGeometry(440, 8, 417, 25);
    ChargeProfileTabControl->setShape(QTabBar::RoundedNorth);
    ChargeProfileTabControl->setExpanding(false);
    ChargeProfileTabControl->setUsesScrollButtons(false);
    ChargeProfileTabControl->setElideMode(Qt::ElideNone);
    ChargeProfileTabControl->setDocumentMode(true);
    ChargeProfileTabControl->setDrawBase(false);
    QFont tabFont = gridFont;
    tabFont.setPixelSize(9);
    ChargeProfileTabControl->setFont(tabFont);
    // Flat, tight tabs drawn like buttons, so that all eight captions fit.
    ChargeProfileTabControl->setStyleSheet(QStringLiteral(
        "QTabBar::tab { padding: 4px 0px; margin: 0px; border: 1px solid palette(mid);"
        " background: palette(button); }"
        "QTabBar::tab:selected { background: palette(base); border-color: palette(dark); }"));
    for (const QString& caption : ChargeProfileTabCaptions())
        ChargeProfileTabControl->addTab(caption);
    // A change of tab by the user first takes the grid into the profile being
    // left, then makes the new tab the active profile. Selecting the tab from
    // the record goes through SelectProfileTabFromRecord with signals blocked.
    connect(ChargeProfileTabControl, &QTabBar::currentChanged, this, [this](int index) {
        const int newTab = index;
        {
            const QSignalBlocker block(ChargeProfileTabControl);
            ChargeProfileTabControl->setCurrentIndex(selectedProfileTab_);
        }
        ChargeProfileTabControlChanging();
        {
            const QSignalBlocker block(ChargeProfileTabControl);
            ChargeProfileTabControl->setCurrentIndex(newTab);
        }
        selectedProfileTab_ = newTab;
        ChargeProfileTabControlChange();
    });

    ChargeProfilesTable = new StringGrid(ChargeProfileRowCount, 2, 0, 1, 206, 16, page);
    ChargeProfilesTable->setGeometry(440, 36, 415, 205);
    QFont small = ChargeProfilesTable->font();
    small.setPixelSize(9);
    ChargeProfilesTable->setFont(small);
    ChargeProfilesTable->SetEditable(true);
    const QStringList profileCaptions = ChargeProfileCaptions();
    for (int r = 0; r < ChargeProfileRowCount; ++r)
        ChargeProfilesTable->SetCell(r, 0, profileCaptions[r]);

    FieldRpmChartView = new FieldRpmChart(page);
    FieldRpmChartView->setGeometry(440, 256, 417, 369);
    return page;
}

QWidget* TMainFormKrv::BuildCanPage()
{
    auto* page = new QWidget;
    auto* label = new QLabel(QStringLiteral("Raw CAN Frames"), page);
    label->setObjectName(QStringLiteral("Label1"));
    label->move(8, 8);
    CanViewHexCheckBox = new QCheckBox(QStringLiteral("View in Hex"), page);
    CanViewHexCheckBox->move(740, 4);
    CanViewHexCheckBox->setChecked(true);
    CanMemo = new QPlainTextEdit(page);
    CanMemo->setGeometry(8, 28, 855, 592);
    CanMemo->setReadOnly(true);
    CanMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    CanMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CanMemo->setMaximumBlockCount(MaxCanMemoLines);
    // Appended lines must not pile up in an undo history nobody can use.
    CanMemo->setUndoRedoEnabled(false);
    CanMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    // The kind texts are followed by as many tabs as line the columns up on
    // stops eight characters apart.
    CanMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    CanMemo->setTabStopDistance(8 * QFontMetricsF(CanMemo->font()).horizontalAdvance(QLatin1Char('0')));

    CanRxMemoPopupMenu = new QMenu(this);
    PauseCanWatch = CanRxMemoPopupMenu->addAction(QStringLiteral("Pause"));
    PauseCanWatch->setCheckable(true);
    connect(PauseCanWatch, &QAction::triggered, this, [this] {
        SetCheck(PauseCanWatch, !PauseCanWatch->isChecked()); // the handler does the toggling
        PauseCanWatchClick();
    });
    ClearAllLines = CanRxMemoPopupMenu->addAction(QStringLiteral("Clear"));
    connect(ClearAllLines, &QAction::triggered, this, &TMainFormKrv::ClearAllLinesClick);
    CopyToClipboard = CanRxMemoPopupMenu->addAction(QStringLiteral("Copy to Clipboard"));
    connect(CopyToClipboard, &QAction::triggered, this, &TMainFormKrv::CopyToClipboardClick);
    connect(CanMemo, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { CanRxMemoPopupMenu->popup(CanMemo->mapToGlobal(pos)); });
    return page;
}

void TMainFormKrv::FormCreate()
{
    setAcceptDrops(true);
    station_.HoldCounters.Clear();
    qApp->installEventFilter(this);
    UpdateMeasuredValuesTable();
    UpdateRegulatorStateTable();
    UpdatePeerRegulatorStateTable();
    UpdateSystemStateTable();
    UpdateSystemMessages();
    UpdateSystemSettingsTable();
    UpdateChargeProfilesTable();
    UpdateFieldRpmChart();
    TakeSettingsAsReference();
    station_.Support.SupportDomain = QString::fromLatin1(DefaultSupportDomain);
}

bool TMainFormKrv::eventFilter(QObject* watched, QEvent* event)
{
    AppMessageHook(event);
    return QMainWindow::eventFilter(watched, event);
}

bool TMainFormKrv::AppMessageHook(QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        MessagePanel->hide();
    return false; // processed as usual afterwards
}

// --- Polling cycle and window update -----------------------------------------

void TMainFormKrv::USBTimerTimer()
{
    if (!station_.IsUsbConnection())
        return;
    station_.PollOwn();
    UpdateMeasuredValuesTable();
    UpdateSystemStateTable();
    UpdateRegulatorStateTable();
    UpdateSystemMessages();
    station_.PollPeer();
    UpdatePeerMeasuredValuesTable();
    UpdatePeerSystemStateTable();
    UpdatePeerRegulatorStateTable();
    UpdatePeerSystemMessages();
    if (PageControl->currentWidget() == CanBusTabSheet && !PauseCanWatch->isChecked())
        CanOutputStep();
    SetStatusText(station_.LinkStatusText());
}

void TMainFormKrv::SystemStateTimerTimer()
{
    QString caption = ApplicationTitle;
    if (station_.IsRemoteConnection())
        caption += QStringLiteral(" - remote support connection via Internet");
    else if (station_.IsUsbConnection())
        caption += QStringLiteral(" - USB connection");
    if (station_.IsLogging()) {
        SetEnableDataLogging(WriteLogLine());
        caption += QStringLiteral(", logging data to file");
    }
    if (windowTitle() != caption)
        setWindowTitle(caption);

    if (station_.Time().Now() - MessagePanelShownAt > MessageDisplayTime)
        MessagePanel->hide();

    const int peerIndex = PageControl->indexOf(PeerStateTabSheet);
    const QByteArray peerName = station_.PeerState.RegulatorName();
    const QSignalBlocker block(PageControl);
    if (!peerName.isEmpty()) {
        const QString text = QStringLiteral("Peer System State [ ") + FromAnsi(peerName) + QStringLiteral(" ]");
        if (PageControl->tabText(peerIndex) != text)
            PageControl->setTabText(peerIndex, text);
    }
    ShowPageTab(PeerStateTabSheet, !peerName.isEmpty());
    ShowPageTab(CanBusTabSheet,
                station_.OwnState.CanPageEnable1() != 0 && station_.OwnState.CanPageEnable2() != 0);
}

void TMainFormKrv::ShowPageTab(QWidget* page, bool visible)
{
    // Hiding the page in front would bring the next one forward, which could
    // be "Settings" without the read that showing it must run: the user gets
    // "System State" instead.
    if (!visible && PageControl->currentWidget() == page) {
        const QSignalBlocker block(PageControl);
        PageControl->setCurrentWidget(StateTabSheet);
    }
    PageControl->setTabVisible(PageControl->indexOf(page), visible);
}

void TMainFormKrv::ConnectionUSBClick()
{
    station_.SetConnection(Connection::Usb);
}

void TMainFormKrv::Exit1Click()
{
    station_.CloseDevice();
    close();
}

void TMainFormKrv::PageControlChange(int index)
{
    if (PageControl->widget(index) == SettingsTabSheet)
        ReadAllSettingsFromSystemClick();
}

void TMainFormKrv::SetShareDataWithSupport(bool on)
{
    station_.SetSharing(on);
}

void TMainFormKrv::SetEnableDataLogging(bool on)
{
    station_.SetLogging(on);
}

void TMainFormKrv::ShowModes()
{
    // The check marks show the station's modes and hold none of their own
    // (a click has already flipped one; it is set right here).
    SetCheck(ConnectionUSB, station_.IsUsbConnection());
    SetCheck(RemoteViaInternetToProvideSupport, station_.IsRemoteConnection());
    SetCheck(ShareDataWithSupport, station_.IsSharing());
    SetCheck(EnableDataLoggingToFile, station_.IsLogging());
}

QString TMainFormKrv::StatusText() const
{
    return statusText_->text();
}

void TMainFormKrv::SetStatusText(const QString& text)
{
    if (statusText_->text() != text)
        statusText_->setText(text);
}

void TMainFormKrv::ShowMessagePanel(const QString& text)
{
    MessagePanel->setText(text);
    MessagePanel->show();
    MessagePanelShownAt = station_.Time().Now();
}

void TMainFormKrv::ShowFailure(const QString& message)
{
    QString text = message;
    if (text.isEmpty() || (text.back() != QLatin1Char('.') && text.back().unicode() > '.'))
        text += QLatin1Char('.');
    dialogs_.Error(ApplicationTitle, text);
}

void TMainFormKrv::SetRequestUnderWay(bool busy)
{
    // The button-shadow colour tells the user that a relay request is under way.
    QPalette p = palette();
    p.setColor(QPalette::Window, QApplication::palette().color(busy ? QPalette::Dark : QPalette::Button));
    setPalette(p);
    repaint();
}

// --- State views --------------------------------------------------------------

void TMainFormKrv::SetMemoLines(QPlainTextEdit* memo, const QStringList& lines)
{
    const QString text = lines.join(QLatin1Char('\n'));
    if (memo->toPlainText() != text)
        memo->setPlainText(text);
}

void TMainFormKrv::UpdateMeasuredValuesTable()
{
    MeasuredValuesTable->SetCells(
        MeasuredValuesCells(station_.OwnState, Side::Own, station_.Settings.AuxTempSensorUsage()));
}

void TMainFormKrv::UpdatePeerMeasuredValuesTable()
{
    PeerMeasuredValuesTable->SetCells(MeasuredValuesCells(station_.PeerState, Side::Peer, 0));
}

void TMainFormKrv::UpdateSystemStateTable()
{
    SystemStateTable->SetCells(SystemStateCells(station_.OwnState));
}

void TMainFormKrv::UpdatePeerSystemStateTable()
{
    PeerSystemStateTable->SetCells(SystemStateCells(station_.PeerState));
}

namespace {

// Cell of the regulator status in the regulator state grids (row 2, value).
constexpr int RegulatorStatusCell = 2 * StateColumns + 1;

} // namespace

void TMainFormKrv::UpdateRegulatorStateTable()
{
    const QStringList cells = RegulatorStateCells(station_.OwnState, Side::Own, shownStatus_[0]);
    shownStatus_[0] = cells[RegulatorStatusCell];
    RegulatorStateTable->SetCells(cells);
}

void TMainFormKrv::UpdatePeerRegulatorStateTable()
{
    const QStringList cells = RegulatorStateCells(station_.PeerState, Side::Peer, shownStatus_[1]);
    shownStatus_[1] = cells[RegulatorStatusCell];
    PeerRegulatorStateTable->SetCells(cells);
}

void TMainFormKrv::UpdateSystemMessages()
{
    SetMemoLines(SystemMessagesMemo, SystemMessageLines(station_.OwnState, station_.HoldCounters,
                                                        station_.Settings.AuxTempSensorUsage()));
}

void TMainFormKrv::UpdatePeerSystemMessages()
{
    SetMemoLines(PeerSystemMessagesMemo, PeerSystemMessageLines(station_.PeerState));
}

// --- Dropped snapshot files ------------------------------------------------------

void TMainFormKrv::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainFormKrv::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    event->acceptProposedAction();
    // Only the first file of a drop is considered.
    HandleDroppedFile(urls.first().toLocalFile());
}

void TMainFormKrv::HandleDroppedFile(const QString& path)
{
    QWidget* page = PageControl->currentWidget();
    if (page != StateTabSheet && page != SettingsTabSheet)
        return;
    // Names other than *.txt (any case) come back as ignored.
    const SnapshotLoad load = LoadSnapshotFile(path);
    if (load.status == SnapshotLoad::Invalid) {
        dialogs_.Error(ApplicationTitle, load.errorText);
        return;
    }
    if (load.status != SnapshotLoad::Loaded)
        return;
    // Neither the polling nor the support step may overwrite what is shown.
    station_.SetConnection(Connection::None);
    QCoreApplication::processEvents();

    const QSignalBlocker block(PageControl);
    station_.Settings = load.record.Settings();
    // The settings editors show voltages in the terms of the own regulator's
    // system voltage, so the snapshot's own record has to be in place before
    // they are drawn; otherwise a 24 V installation would show (and a later
    // store would take back) its voltages at the previous regulator's scale.
    station_.OwnState = load.record.OwnState();
    PageControl->setCurrentWidget(SettingsTabSheet);
    UpdateSystemSettingsTable();
    UpdateChargeProfilesTable();
    UpdateFieldRpmChart();
    TakeSettingsAsReference();

    station_.PeerState = load.record.PeerState();
    PageControl->setTabVisible(PageControl->indexOf(PeerStateTabSheet), true);
    PageControl->setCurrentWidget(PeerStateTabSheet);
    UpdatePeerMeasuredValuesTable();
    UpdatePeerSystemStateTable();
    UpdatePeerRegulatorStateTable();
    UpdatePeerSystemMessages();

    PageControl->setCurrentWidget(StateTabSheet);
    UpdateMeasuredValuesTable();
    UpdateSystemStateTable();
    UpdateRegulatorStateTable();
    UpdateSystemMessages();
}
