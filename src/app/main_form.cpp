#include "app/main_form.h"
#include "station/connection_texts.h"

#include "canbus/can_line_buffer.h"
#include "records/ansi_text.h"
#include "records/snapshot_file.h"
#include "support/relay_address.h"
#include "settings/charge_profile_rows.h"
#include "settings/field_rpm_chart_widget.h"
#include "settings/system_settings_rows.h"
#include "trends/trends_widget.h"
#include "views/string_grid_widget.h"
#include "views/window_fit_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcut>
#include <QScrollArea>
#include <QStyle>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QTextOption>
#include <QTimer>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {

constexpr int ClientWidth = 873;
constexpr int ClientHeight = 695;
constexpr int MessagePanelHeight = 17;
constexpr int MinimumWindowWidth = 480;
constexpr int MinimumWindowHeight = 320;
// How long after showing the window system has framed a window.
constexpr int FrameSettleMs = 300;
// Remote data older than this is shown as a warning.
constexpr int SystemStateTimerMs = 1000;
constexpr int InetTimerMs = 2000;
constexpr double MessageDisplayTime = 5 * OneSecond;
// The relay a support team runs for a trial (php -S 0.0.0.0:8080 -t relay).
const char* const DefaultSupportDomain = "localhost:8080";

QLabel* Caption(const QString& text)
{
    auto* label = new QLabel(text);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    return label;
}

// A page keeps at least the sizes of the program's design and grows with the
// window; where the window is smaller, the page scrolls.
QScrollArea* Scrolled(QWidget* content)
{
    auto* area = new QScrollArea;
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

// Widgets that take the room the window gives them.
void Grows(QWidget* widget, int minimumWidth, int minimumHeight)
{
    widget->setMinimumSize(minimumWidth, minimumHeight);
    widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
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
    auto* centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(0, 0, 0, 0);
    centralLayout->setSpacing(0);
    PageControl = new QTabWidget(central);
    centralLayout->addWidget(PageControl, 1);
    StateTabSheet = Scrolled(BuildStatePage(Side::Own));
    SettingsTabSheet = Scrolled(BuildSettingsPage());
    CanBusTabSheet = Scrolled(BuildCanPage());
    PeerStateTabSheet = Scrolled(BuildStatePage(Side::Peer));
    PageControl->addTab(StateTabSheet, QStringLiteral("System State"));
    PageControl->addTab(SettingsTabSheet, QStringLiteral("Settings"));
    PageControl->addTab(CanBusTabSheet, QStringLiteral("CAN bus"));
    PageControl->addTab(PeerStateTabSheet, QStringLiteral("Peer System State"));
    // Only a page change made by the user counts (click or keyboard): the
    // program's own page selections block the page control's signals.
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainFormKrv::PageControlChange);

    MessagePanel = new QLabel(QStringLiteral(" Message"), central);
    MessagePanel->setFixedHeight(MessagePanelHeight);
    centralLayout->addWidget(MessagePanel);
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
    connectionIndicator_ = new QLabel(this);
    connectionIndicator_->setObjectName(QStringLiteral("ConnectionIndicator"));
    statusBar()->addPermanentWidget(connectionIndicator_);
    statusBar()->setSizeGripEnabled(false);

    BuildMenus();

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

    ConnectRemoteSession();
    FormCreate();
    trendsStart_ = station_.Time().Now();

    // The design's size, 873 x 695 below the menu bar, unless the screen is
    // smaller; centred on the screen the window opens on.
    setMinimumSize(MinimumWindowWidth, MinimumWindowHeight);
    FitWindowToScreen(this, QSize(ClientWidth, menuBar()->sizeHint().height() + ClientHeight));

    ShowConnection();
    USBTimer->start();
    SystemStateTimer->start();
    INETTimer->start();
}

void TMainFormKrv::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // The frame's size is known only once the window manager has framed the
    // window, a moment after it is shown.
    if (!shownOnce_) {
        shownOnce_ = true;
        QTimer::singleShot(FrameSettleMs, this, [this] { ::KeepFrameOnScreen(this); });
    }
}

TMainFormKrv::~TMainFormKrv()
{
    qApp->removeEventFilter(this);
}

void TMainFormKrv::BuildMenus()
{
    // Alt+S, Alt+O and Alt+H open the menus; F10 reaches the menu bar.
    QMenu* system = menuBar()->addMenu(QStringLiteral("&System"));
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::ShortcutFocusReason);
        menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
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
    RestoreSettingsFromBackup = add(system, QStringLiteral("Restore Settings From Backup..."),
                                    &TMainFormKrv::RestoreSettingsFromBackupClick);
    OpenSnapshot = add(system, QStringLiteral("Open Snapshot..."), &TMainFormKrv::OpenSnapshotClick);

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
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
    NewSupportSession = add(options, QStringLiteral("New Support Session..."), &TMainFormKrv::NewSupportSessionClick);
    ChatLog = add(options, QStringLiteral("Chat..."), &TMainFormKrv::ChatLogClick);
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
    options->addSeparator();
    Trends = add(options, QStringLiteral("Trends..."), &TMainFormKrv::TrendsClick);
    OpenDataLog = add(options, QStringLiteral("Open Data Log..."), &TMainFormKrv::OpenDataLogClick);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    UserGuide = add(help, QStringLiteral("User Guide"), &TMainFormKrv::UserGuideClick);
    UserGuide->setShortcut(QKeySequence::HelpContents);
    About = add(help, QStringLiteral("About"), &TMainFormKrv::AboutClick);

    // The usual keys for files and leaving; none collides with a key of the
    // design (Ctrl+C sends a chat).
    SaveSettingsToFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    LoadSettingsFromFile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

QWidget* TMainFormKrv::BuildStatePage(Side side)
{
    auto* page = new QWidget;
    const bool own = side == Side::Own;
    auto* measured = new StringGrid(MeasuredValuesRows, MeasuredValuesColumns, 1, 1, 210, 16);
    auto* system = new StringGrid(SystemStateRows, StateColumns, 1, 1, 190, 16);
    auto* regulator = new StringGrid(RegulatorStateRows, StateColumns, 1, 1, 190, 16);
    QPlainTextEdit* memo = Memo(nullptr);
    Grows(memo, 410, 316);

    // Spacing as in the design, so that the page fits the design's size.
    auto* left = new QVBoxLayout;
    left->setSpacing(1);
    left->addWidget(Caption(QStringLiteral("System State")));
    left->addWidget(system);
    left->addSpacing(4);
    left->addWidget(Caption(QStringLiteral("Regulator State")));
    left->addWidget(regulator);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(1);
    // The peer page has no caption over its memo; the memo lines up all the same.
    QLabel* memoCaption = Caption(own ? QStringLiteral("System Messages") : QString());
    right->addWidget(memoCaption);
    right->addWidget(memo, 1);
    auto* lower = new QHBoxLayout;
    lower->addLayout(left);
    lower->addSpacing(50);
    lower->addLayout(right, 1);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(1);
    layout->addWidget(NotLiveBanner(own ? OwnBanner : PeerBanner));
    layout->addWidget(Caption(QStringLiteral("Measured Values")));
    layout->addWidget(measured);
    layout->addSpacing(4);
    layout->addLayout(lower, 1);

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
    QFont gridFont = SystemSettingsTable->font();
    gridFont.setPixelSize(11);
    SystemSettingsTable->setFont(gridFont);
    SystemSettingsTable->SetEditable(true);
    SystemSettingsTable->SetMaskedCell(WifiPasswordRow, 1, QStringLiteral("Show Wi-Fi Password"));
    // A little narrower than the design's two 210-pixel columns at the least
    // (its values are short), so that the eight profile tabs beside it show
    // whole at the window's design size.
    SystemSettingsTable->setMinimumWidth(400);
    const QStringList captions = SystemSettingsCaptions();
    for (int r = 0; r < SystemSettingsRowCount; ++r)
        SystemSettingsTable->SetCell(r, 0, captions[r]);

    ChargeProfileTabControl = new QTabBar(page);
    ChargeProfileTabControl->setMinimumSize(417, 25);
    ChargeProfileTabControl->setShape(QTabBar::RoundedNorth);
    ChargeProfileTabControl->setExpanding(false);
    // Where the column is narrower than the eight tabs, arrows reach the rest.
    ChargeProfileTabControl->setUsesScrollButtons(true);
    ChargeProfileTabControl->setElideMode(Qt::ElideNone);
    ChargeProfileTabControl->setDocumentMode(true);
    ChargeProfileTabControl->setDrawBase(false);
    QFont tabFont = gridFont;
    tabFont.setPixelSize(9);
    ChargeProfileTabControl->setFont(tabFont);
    // Flat, tight tabs drawn like buttons, so that all eight captions fit.
    ChargeProfileTabControl->setStyleSheet(QStringLiteral(
        "QTabBar::tab { padding: 4px 1px; margin: 0px; border: 1px solid palette(mid);"
        " background: palette(button); }"
        "QTabBar::tab:selected { background: palette(base); border-color: palette(dark); }"));
    for (const QString& caption : ChargeProfileTabCaptions())
        ChargeProfileTabControl->addTab(caption);
    // All eight tabs are room the column must give.
    ChargeProfileTabControl->setMinimumWidth(std::max(417, ChargeProfileTabControl->sizeHint().width()));
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
    QFont small = ChargeProfilesTable->font();
    small.setPixelSize(9);
    ChargeProfilesTable->setFont(small);
    ChargeProfilesTable->SetEditable(true);
    const QStringList profileCaptions = ChargeProfileCaptions();
    for (int r = 0; r < ChargeProfileRowCount; ++r)
        ChargeProfilesTable->SetCell(r, 0, profileCaptions[r]);

    FieldRpmChartView = new FieldRpmChart(page);
    Grows(FieldRpmChartView, 417, 369);

    auto* right = new QVBoxLayout;
    right->setSpacing(3);
    right->addWidget(ChargeProfileTabControl);
    right->addWidget(ChargeProfilesTable);
    right->addSpacing(12);
    right->addWidget(FieldRpmChartView, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(SystemSettingsTable);
    left->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addSpacing(7);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 7, 6, 8);
    layout->addWidget(NotLiveBanner(SettingsBanner));
    layout->addLayout(columns, 1);
    return page;
}

QLabel* TMainFormKrv::NotLiveBanner(int which)
{
    auto* banner = new QLabel;
    banner->setObjectName(QStringLiteral("NotLiveBanner"));
    banner->setWordWrap(true);
    banner->setStyleSheet(QStringLiteral("color: #d9480f; font-weight: bold;"));
    banner->hide();
    banners_[which] = banner;
    return banner;
}

void TMainFormKrv::ShowWhetherLive()
{
    // The pages keep the records' values whatever happens (they are redrawn
    // as always); when those are no readings, the page says so and the values
    // are greyed.
    const auto [state, settings] = NotLiveTextsOf(station_, demo_, remote_.ClientSettingsArrived());
    const bool dim = !state.isEmpty();
    const QString texts[] = {state, state, settings};
    for (int i = 0; i < BannerCount; ++i) {
        if (banners_[i]->text() != texts[i])
            banners_[i]->setText(texts[i]);
        if (banners_[i]->isHidden() != texts[i].isEmpty())
            banners_[i]->setHidden(texts[i].isEmpty());
    }
    for (StringGrid* grid : {MeasuredValuesTable, SystemStateTable, RegulatorStateTable, PeerMeasuredValuesTable,
                             PeerSystemStateTable, PeerRegulatorStateTable})
        grid->SetDimmed(dim);
}

QWidget* TMainFormKrv::BuildCanPage()
{
    auto* page = new QWidget;
    auto* label = new QLabel(QStringLiteral("Raw CAN Frames"), page);
    label->setObjectName(QStringLiteral("Label1"));

    CanViewHexCheckBox = new QCheckBox(QStringLiteral("View in Hex"), page);

    CanViewHexCheckBox->setChecked(true);
    CanMemo = new QPlainTextEdit(page);
    // Narrower than a line of eight data bytes and lower than the design's
    // 592 pixels, which it grows to: the memo scrolls its lines itself, both
    // ways, so the page needs no scroll bar of its own for it, on a small
    // screen too.
    Grows(CanMemo, 400, 160);
    CanMemo->setReadOnly(true);
    CanMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    CanMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    CanMemo->setMaximumBlockCount(MaxCanMemoLines);
    // Appended lines must not pile up in an undo history nobody can use.
    CanMemo->setUndoRedoEnabled(false);
    CanMemo->setContextMenuPolicy(Qt::CustomContextMenu);
    // The kind texts are followed by as many tabs as reach column 32 on stops
    // eight characters apart; after that each piece has a stop of its own
    // width, so that "14 bytes" lines up with "8 bytes" and every data byte
    // with the one above it (the text itself keeps its tabs).
    CanMemo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    {
        const qreal digit = QFontMetricsF(CanMemo->font()).horizontalAdvance(QLatin1Char('0'));
        QList<QTextOption::Tab> stops;
        for (const int column : {8, 16, 24, 32, 42, 57})
            stops.append(QTextOption::Tab(column * digit, QTextOption::LeftTab));
        for (int b = 1; b <= CanFrameRecord::MaxDataBytes; ++b)
            stops.append(QTextOption::Tab((57 + 9 * b) * digit, QTextOption::LeftTab));
        QTextOption option = CanMemo->document()->defaultTextOption();
        option.setTabs(stops);
        CanMemo->document()->setDefaultTextOption(option);
    }

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
    // While "Pause" is ticked the page says so: no line is added meanwhile.
    CanPausedLabel = new QLabel(QStringLiteral("Paused: no new frames are listed (right-click, \"Pause\" to go on)"), page);
    CanPausedLabel->setObjectName(QStringLiteral("CanPausedLabel"));
    CanPausedLabel->setStyleSheet(QStringLiteral("color: #d9480f; font-weight: bold;"));
    CanPausedLabel->hide();
    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addSpacing(16);
    top->addWidget(CanPausedLabel);
    top->addStretch(1);
    top->addWidget(CanViewHexCheckBox);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addLayout(top);
    layout->addWidget(CanMemo, 1);
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
    ShowSettingsAsReference();
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
    // The station polls (and refreshes the page texts); the window draws.
    const Station::TickOutcome tick = station_.Tick(
        PageControl->currentWidget() == CanBusTabSheet && !PauseCanWatch->isChecked(), CanViewHexCheckBox->isChecked());
    DrawStatePages();
    for (const QString& line : tick.canLines)
        CanMemo->appendPlainText(line);
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
    if (demo_)
        caption += QStringLiteral(" (demo, simulated regulator)");
    ShowConnection();
    // The trends take what this update has anyway; no request of their own.
    // A record that has not come again since the last update is no reading:
    // the trends get a gap, not the last values over again.
    trends_.Add((station_.Time().Now() - trendsStart_) / OneSecond, station_.OwnState, station_.PeerState,
                station_.Settings.AuxTempSensorUsage(), station_.IsLive(Side::Own), station_.IsLive(Side::Peer));
    if (trendsWindow_)
        trendsWindow_->Refresh();
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
    // Each change repaints the whole page control: only a change is made.
    const int index = PageControl->indexOf(page);
    if (PageControl->isTabVisible(index) != visible)
        PageControl->setTabVisible(index, visible);
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
    if (!station_.IsRemoteConnection())
        remote_.ForgetClientSettings();
    ShowConnection();
}

void TMainFormKrv::SetDemoMode(bool demo)
{
    demo_ = demo;
    ShowConnection();
}

QString TMainFormKrv::ConnectionIndicatorText() const
{
    return connectionIndicator_->text();
}

void TMainFormKrv::ShowConnection()
{
    const auto [text, tip, warning] = ConnectionIndicatorOf(station_, demo_, snapshotName_);
    if (connectionIndicator_->text() != text)
        connectionIndicator_->setText(text);
    if (connectionIndicator_->toolTip() != tip)
        connectionIndicator_->setToolTip(tip);
    ShowWhetherLive();
    // A warm tone that reads on light and dark backgrounds alike. (Setting a
    // style sheet polishes the label again, so only a change is set.)
    const QString style = warning ? QStringLiteral("color: #d9480f; font-weight: bold;") : QString();
    if (connectionIndicator_->styleSheet() != style)
        connectionIndicator_->setStyleSheet(style);
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
    MeasuredValuesTable->SetCells(station_.MeasuredValues(Side::Own));
}

void TMainFormKrv::UpdatePeerMeasuredValuesTable()
{
    PeerMeasuredValuesTable->SetCells(station_.MeasuredValues(Side::Peer));
}

void TMainFormKrv::UpdateSystemStateTable()
{
    SystemStateTable->SetCells(station_.SystemStateValues(Side::Own));
}

void TMainFormKrv::UpdatePeerSystemStateTable()
{
    PeerSystemStateTable->SetCells(station_.SystemStateValues(Side::Peer));
}

void TMainFormKrv::UpdateRegulatorStateTable()
{
    station_.RefreshRegulatorState(Side::Own);
    RegulatorStateTable->SetCells(station_.RegulatorStateTexts(Side::Own));
}

void TMainFormKrv::UpdatePeerRegulatorStateTable()
{
    station_.RefreshRegulatorState(Side::Peer);
    PeerRegulatorStateTable->SetCells(station_.RegulatorStateTexts(Side::Peer));
}

void TMainFormKrv::UpdateSystemMessages()
{
    station_.RefreshSystemMessages(Side::Own);
    SetMemoLines(SystemMessagesMemo, station_.SystemMessageTexts(Side::Own));
}

void TMainFormKrv::UpdatePeerSystemMessages()
{
    station_.RefreshSystemMessages(Side::Peer);
    SetMemoLines(PeerSystemMessagesMemo, station_.SystemMessageTexts(Side::Peer));
}

void TMainFormKrv::DrawStatePages()
{
    // As the station's last refresh left them: drawing refreshes nothing.
    UpdateMeasuredValuesTable();
    UpdateSystemStateTable();
    RegulatorStateTable->SetCells(station_.RegulatorStateTexts(Side::Own));
    SetMemoLines(SystemMessagesMemo, station_.SystemMessageTexts(Side::Own));
    UpdatePeerMeasuredValuesTable();
    UpdatePeerSystemStateTable();
    PeerRegulatorStateTable->SetCells(station_.RegulatorStateTexts(Side::Peer));
    SetMemoLines(PeerSystemMessagesMemo, station_.SystemMessageTexts(Side::Peer));
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
    snapshotName_ = QFileInfo(path).fileName();
    station_.SetConnection(Connection::None);
    QCoreApplication::processEvents();

    const QSignalBlocker block(PageControl);
    // The settings editors show voltages in the terms of the own regulator's
    // system voltage: the snapshot's own record is in place (with the
    // others) before they are drawn; otherwise a 24 V installation would show
    // (and a later store would take back) its voltages at the previous
    // regulator's scale.
    station_.TakeSnapshot(load.record);
    PageControl->setCurrentWidget(SettingsTabSheet);
    ShowSettingsAsReference();

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
