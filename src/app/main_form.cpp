#include "app/main_form.h"
#include "views/notice_bar_widget.h"
#include "settings/settings_check.h"
#include "canbus/can_page_widget.h"
#include "canbus/n2k_decode.h"
#include "records/snapshot_file.h"
#include "settings/settings_page_widget.h"
#include "station/connection_texts.h"
#include "views/page_parts_widget.h"
#include "views/state_page_widget.h"
#include "views/window_fit_widget.h"

#include <QAction>
#include <QDir>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>
#include <QTimer>

#include <functional>
#include <utility>

namespace {

constexpr int ClientWidth = 873;
constexpr int ClientHeight = 695;
constexpr int MinimumWindowWidth = 480;
constexpr int MinimumWindowHeight = 320;
// How long after showing the window system has framed a window.
constexpr int FrameSettleMs = 300;
constexpr int SystemStateTimerMs = 1000;
constexpr int InetTimerMs = 2000;
constexpr double MessageDisplayTime = 5 * OneSecond;
// The relay a support team runs for a trial (php -S 0.0.0.0:8080 -t relay).
const char* const DefaultSupportDomain = "localhost:8080";

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

    ownPage_ = new StatePage(Side::Own);
    settingsPage_ = new SettingsPage;
    canPage_ = new CanPage;
    peerPage_ = new StatePage(Side::Peer);
    SetUpMainForm(this, *this, {ownPage_, settingsPage_, canPage_, peerPage_});
    ConnectHandlers();
    // Only a page change made by the user counts (click or keyboard): the
    // program's own page selections block the page control's signals.
    connect(PageControl, &QTabWidget::currentChanged, this, &TMainFormKrv::PageControlChange);

    const auto timer = [this](int intervalMs, void (TMainFormKrv::*handler)()) {
        auto* t = new QTimer(this);
        t->setInterval(intervalMs);
        connect(t, &QTimer::timeout, this, handler);
        return t;
    };
    USBTimer = timer(UsbTimerIntervalMs, &TMainFormKrv::USBTimerTimer);
    SystemStateTimer = timer(SystemStateTimerMs, &TMainFormKrv::SystemStateTimerTimer);
    INETTimer = timer(InetTimerMs, &TMainFormKrv::INETTimerTimer);
    usbTimer_.Attach(USBTimer);
    inetTimer_.Attach(INETTimer);

    support_.Connect();
    FormCreate();

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

void TMainFormKrv::ConnectHandlers()
{
    editors_.SetPage(settingsPage_);
    using Handler = void (TMainFormKrv::*)();
    const std::pair<QAction*, Handler> handlers[] = {
        {SaveSettingsToFile, &TMainFormKrv::SaveSettingsToFileClick},
        {LoadSettingsFromFile, &TMainFormKrv::LoadSettingsFromFileClick},
        {ReadAllSettingsFromSystem, &TMainFormKrv::ReadAllSettingsFromSystemClick},
        {WriteAllSettingsToSystem, &TMainFormKrv::WriteAllSettingsToSystemClick},
        {ResetControlBoxSettingsToDefaultValues, &TMainFormKrv::ResetControlBoxSettingsToDefaultValuesClick},
        {CalibrateInternalPowerSupply, &TMainFormKrv::CalibrateInternalPowerSupplyClick},
        {CalibrateVoltageMeasurements, &TMainFormKrv::CalibrateVoltageMeasurementsClick},
        {CalibrateCurrentMeasurements, &TMainFormKrv::CalibrateCurrentMeasurementsClick},
        {Exit1, &TMainFormKrv::Exit1Click},
        {ConnectionUSB, &TMainFormKrv::ConnectionUSBClick},
        {RemoteViaInternetToProvideSupport, &TMainFormKrv::RemoteViaInternetToProvideSupportClick},
        {ShareDataWithSupport, &TMainFormKrv::ShareDataWithSupportClick},
        {SendChatMessage, &TMainFormKrv::SendChatMessageClick},
        {SupportDomainName, &TMainFormKrv::SupportDomainNameClick},
        {EnableDataLoggingToFile, &TMainFormKrv::EnableDataLoggingToFileClick},
    };
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this, handler);
    // The commands added around the design's own run beside the window.
    const std::pair<QAction*, std::function<void()>> beside[] = {
        {CompareSettingsWithFile, [this] { service_.CompareWithFile(); }},
        {SaveServiceReport, [this] { service_.SaveReport(); }},
        {OpenBackupsFolder, [this] { service_.OpenBackupsFolder(); }},
        {RestoreSettingsFromBackup, [this] { service_.RestoreFromBackup(); }},
        {OpenSnapshot, [this] { service_.OpenSnapshot(); }},
        {NewSupportSession, [this] { support_.NewSession(); }},
        {ChatLog, [this] { support_.ShowChatLog(); }},
        {Trends, [this] { trends_.ShowTrends(); }},
        {OpenDataLog, [this] { trends_.OpenDataLog(); }},
        {UserGuide, [this] { service_.UserGuide(); }},
        {About, [this] { service_.About(); }},
    };
    for (const auto& [action, command] : beside)
        connect(action, &QAction::triggered, this, command);
    connect(PauseCanWatch, &QAction::triggered, this, [this] {
        SetCheck(PauseCanWatch, !PauseCanWatch->isChecked()); // the handler does the toggling
        PauseCanWatchClick();
    });
    connect(ClearAllLines, &QAction::triggered, this, &TMainFormKrv::ClearAllLinesClick);
    connect(CopyToClipboard, &QAction::triggered, this, &TMainFormKrv::CopyToClipboardClick);
}

void TMainFormKrv::FormCreate()
{
    setAcceptDrops(true);
    station_.ClearHoldCounters();
    qApp->installEventFilter(this);
    UpdateMeasuredValuesTable();
    UpdateRegulatorStateTable();
    UpdatePeerRegulatorStateTable();
    UpdateSystemStateTable();
    UpdateSystemMessages();
    editors_.ShowAsReference();
    station_.Relay().SetDomain(QString::fromLatin1(DefaultSupportDomain));
    support_.SetDefaultDomain(QString::fromLatin1(DefaultSupportDomain));
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
    const Station::TickOutcome tick =
        station_.Tick(PageControl->currentWidget() == CanBusTabSheet && !canPage_->IsPaused(), canPage_->InHex());
    DrawStatePages();
    // Lines come only from an answered fetch, whose frames the slots hold.
    if (!tick.canLines.isEmpty())
        canPage_->AppendLines(tick.canLines, N2kLinesForFetch(station_.Usb().CanFrame(0), station_.Usb().CanFrame(1)));
    SetStatusText(station_.Usb().StatusText());
}

void TMainFormKrv::SystemStateTimerTimer()
{
    // The title as the update began: a log line that fails below ends the
    // logging from the next update on.
    const QString caption = WindowCaptionOf(station_, demo_);
    if (station_.IsLogging())
        station_.SetLogging(WriteLogLine());
    ShowConnection();
    // The trends take what this update has anyway; no request of their own.
    trends_.Update();
    if (windowTitle() != caption)
        setWindowTitle(caption);

    if (station_.Time().Now() - MessagePanelShownAt > MessageDisplayTime)
        MessagePanel->hide();

    const QString peerCaption = PeerPageCaptionOf(station_);
    const QSignalBlocker block(PageControl);
    const int peerIndex = PageControl->indexOf(PeerStateTabSheet);
    if (!peerCaption.isEmpty() && PageControl->tabText(peerIndex) != peerCaption)
        PageControl->setTabText(peerIndex, peerCaption);
    ShowPageTab(PeerStateTabSheet, !peerCaption.isEmpty());
    ShowPageTab(CanBusTabSheet, CanPageShownFor(station_));
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
    if (!editors_.MayClose())
        return;
    station_.Usb().Close();
    closeAsked_ = true;
    close();
}

void TMainFormKrv::closeEvent(QCloseEvent* event)
{
    if (!closeAsked_ && !editors_.MayClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TMainFormKrv::PageControlChange(int index)
{
    if (PageControl->widget(index) == SettingsTabSheet)
        ReadAllSettingsFromSystemClick();
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
    return ConnectionIndicator->text();
}

void TMainFormKrv::ShowConnection()
{
    const auto [text, tip, warning] = ConnectionIndicatorOf(station_, demo_, snapshotName_);
    ShowIndicator(ConnectionIndicator, text, tip, warning);
    // The pages keep the records' values whatever happens (they are redrawn
    // as always); when those are no readings, the page says so.
    const NotLiveTexts notLive = NotLiveTextsOf(station_, demo_, remote_.ClientSettingsArrived());
    ownPage_->ShowNotLive(notLive.state);
    if (notLive.peerNotShared.isEmpty())
        peerPage_->ShowNotLive(notLive.state);
    else
        peerPage_->ShowNotLive(notLive.peerNotShared, true);
    canPage_->ShowNotShared(notLive.canNotShared);
    settingsPage_->ShowNotLive(notLive.settings);
}

QString TMainFormKrv::StatusText() const
{
    return StatusBarText->text();
}

void TMainFormKrv::SetStatusText(const QString& text)
{
    if (StatusBarText->text() != text)
        StatusBarText->setText(text);
}

void TMainFormKrv::ShowMessagePanel(const QString& text)
{
    MessagePanel->setText(text);
    MessagePanel->show();
    MessagePanelShownAt = station_.Time().Now();
}

void TMainFormKrv::ShowNotice(const QString& headline, const QStringList& rows)
{
    Notice->Show(headline, rows);
}

void TMainFormKrv::ShowFailure(const QString& message)
{
    ::ShowFailure(dialogs_, message);
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

void TMainFormKrv::UpdateMeasuredValuesTable()
{
    RedrawPage(Side::Own, MeasuredPart);
}

void TMainFormKrv::UpdatePeerMeasuredValuesTable()
{
    RedrawPage(Side::Peer, MeasuredPart);
}

void TMainFormKrv::UpdateSystemStateTable()
{
    RedrawPage(Side::Own, SystemPart);
}

void TMainFormKrv::UpdatePeerSystemStateTable()
{
    RedrawPage(Side::Peer, SystemPart);
}

void TMainFormKrv::UpdateRegulatorStateTable()
{
    RedrawPage(Side::Own, RegulatorPart);
}

void TMainFormKrv::UpdatePeerRegulatorStateTable()
{
    RedrawPage(Side::Peer, RegulatorPart);
}

void TMainFormKrv::UpdateSystemMessages()
{
    RedrawPage(Side::Own, MessagesPart);
}

void TMainFormKrv::UpdatePeerSystemMessages()
{
    RedrawPage(Side::Peer, MessagesPart);
}

void TMainFormKrv::RedrawPage(Side side, int parts)
{
    // Each part is worked out afresh from its record, then drawn.
    station_.RefreshPage(side, parts);
    DrawPage(side, parts);
}

void TMainFormKrv::DrawPage(Side side, int parts)
{
    (side == Side::Own ? ownPage_ : peerPage_)->Draw(station_.PageTexts(side), parts);
}

void TMainFormKrv::DrawStatePages()
{
    // As the station's last refresh left them: drawing refreshes nothing.
    DrawPage(Side::Own);
    DrawPage(Side::Peer);
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

void TMainFormKrv::ShowSnapshot(const QString& path)
{
    {
        const QSignalBlocker block(PageControl);
        PageControl->setCurrentWidget(StateTabSheet);
    }
    HandleDroppedFile(path);
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
    if (!AskToTakeImplausible(dialogs_, ApplicationTitle,
                              QStringLiteral("File \"%1\"").arg(QDir::toNativeSeparators(path)),
                              CheckSnapshot(load.record)))
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
    editors_.DrawSettings();

    PageControl->setTabVisible(PageControl->indexOf(PeerStateTabSheet), true);
    PageControl->setCurrentWidget(PeerStateTabSheet);
    DrawPage(Side::Peer);
    PageControl->setCurrentWidget(StateTabSheet);
    DrawPage(Side::Own);
}
