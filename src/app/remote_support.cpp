// The remote support session of the main window: the 2 s tick in the client
// and the support role, chat, the relay domain and the role switches. The
// messages and the exchange are the station's; this decides when, and shows
// what came.
#include "app/main_form.h"
#include "support/chat_window_widget.h"
#include "support/relay_address.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

namespace {

const QString InternetConnection = QStringLiteral("Internet Connection: ");

// How often a command that found the relay busy looks again.
constexpr int RelayFreePollMs = 50;

} // namespace

bool TMainFormKrv::RunSupportExchange()
{
    return station_.RunExchange();
}

bool TMainFormKrv::DeferWhileRelayBusy(std::function<void()> command)
{
    // A command chosen while a tick or another command waits on the relay
    // runs inside that wait: the running exchange only ends after the
    // command returns, so its own request would be refused. It runs again
    // once the relay is free instead. Nor does it run while a box is open:
    // the user answers that first (the box may well say that the relay is
    // gone).
    if (!station_.IsExchangeInProgress())
        return false;
    auto* retry = new QTimer(this);
    retry->setInterval(RelayFreePollMs);
    connect(retry, &QTimer::timeout, this, [this, retry, command = std::move(command)] {
        if (station_.IsExchangeInProgress() || dialogs_.IsBoxOpen())
            return;
        retry->stop();
        retry->deleteLater();
        command();
    });
    retry->start();
    return true;
}

void TMainFormKrv::INETTimerTimer()
{
    // A tick that comes while an exchange still waits for the relay leaves
    // it to that one.
    if (station_.IsExchangeInProgress())
        return;
    TimerPause pause{&inetTimer_};
    if (station_.IsRemoteConnection())
        station_.SetSharing(false);
    SendChatMessage->setEnabled(station_.IsSharing() || station_.IsRemoteConnection());
    if (station_.IsSharing())
        ClientStep();
    if (station_.IsRemoteConnection())
        SupportStep();
}

void TMainFormKrv::ClientStep()
{
    SupportExchangeState& support = station_.Support;
    support.SupportRole = RoleClient;
    // Each message the support side sent is acted on once, whichever exchange
    // brought it; a request is answered once. Without one that asks for
    // more, the tick sends the state, fresh.
    bool settingsRequested = false;
    while (const std::optional<RelayMessage> message = station_.TakeReceived()) {
        switch (message->kind) {
        case SettingsRequest:
            ShowMessagePanel(QStringLiteral(" Settings requested by SUPPORT"));
            settingsRequested = true;
            break;
        case SettingsMessage:
            ShowMessagePanel(
                QStringLiteral(" SUPPORT sent new settings: received %1 bytes").arg(message->values.size()));
            if (message->values.size() >= int(SettingsRecord::Size)) {
                ReadAllSettingsFromSystemClick();
                station_.TakeSupportSettings(*message);
                UpdateSystemSettingsTable();
                UpdateChargeProfilesTable();
                UpdateFieldRpmChart();
                WriteSettingsAs(QStringLiteral("support-write"));
            }
            break;
        case ChatMessage:
            if (message->values.size() >= 2) {
                const QString text = Station::ChatText(*message);
                ShowMessagePanel(QStringLiteral(" Message from SUPPORT: ") + text);
                station_.NoteReceivedChat(text);
            }
            break;
        case StopMessage:
            station_.SetSharing(false);
            break;
        default: // a state request: the state goes out below
            break;
        }
    }
    if (settingsRequested) {
        ReadAllSettingsFromSystemClick();
        station_.PrepareSettings();
    } else {
        station_.PrepareOwnState();
    }
    if (!RunSupportExchange()) {
        // The role ends before the box opens, so that nothing that runs while
        // it is open sends to the relay again.
        station_.SetSharing(false);
        dialogs_.Error(QStringLiteral("Error"), InternetConnection + station_.SupportStatusText());
    }
    SetStatusText(station_.SupportStatusText());
}

void TMainFormKrv::SupportStep()
{
    station_.PrepareStateRequest();
    int changes = station_.ConnectionChanges();
    const bool answered = RunSupportExchange();
    if (!answered && station_.ConnectionChanges() == changes) {
        ConnectionUSBClick(); // the role ends before the box opens
        changes = station_.ConnectionChanges();
        dialogs_.Error(QStringLiteral("Error"), InternetConnection + station_.SupportStatusText());
    }
    // A snapshot dropped, or another connection chosen, while the relay was
    // answering (or the box was open) ended the role: what arrived is not
    // shown over what the user chose.
    if (station_.ConnectionChanges() != changes) {
        SetStatusText(station_.SupportStatusText());
        return;
    }
    // Each message of the client is acted on once, whichever exchange brought
    // it: settings that arrived rebuild the editors once, and what the
    // technician types afterwards stays.
    while (const std::optional<RelayMessage> message = station_.TakeReceived()) {
        switch (message->kind) {
        case StateMessage:
            if (station_.TakeClientState(*message)) {
                UpdateMeasuredValuesTable();
                UpdateRegulatorStateTable();
                UpdatePeerRegulatorStateTable();
                UpdateSystemStateTable();
                UpdateSystemMessages();
                if (station_.IsLogging())
                    station_.SetLogging(WriteLogLine());
            }
            break;
        case SettingsMessage:
            ShowMessagePanel(QStringLiteral(" CLIENT sent settings: received %1 bytes").arg(message->values.size()));
            if (station_.TakeClientSettings(*message)) {
                clientSettingsArrived_ = true;
                ShowSettingsAsReference();
            }
            break;
        case ChatMessage:
            if (message->values.size() >= 2) {
                const QString text = Station::ChatText(*message);
                ShowMessagePanel(QStringLiteral(" Message from CLIENT: ") + text);
                station_.NoteReceivedChat(text);
            }
            break;
        default:
            break;
        }
    }
    SetStatusText(station_.SupportStatusText());
}

void TMainFormKrv::ShareDataWithSupportClick()
{
    station_.SetSharing(!station_.IsSharing());
}

void TMainFormKrv::RemoteViaInternetToProvideSupportClick()
{
    station_.SetConnection(Connection::Remote);
}

void TMainFormKrv::SendChatMessageClick()
{
    // Sends the line as the role that is on; the outcome only goes to the
    // status bar.
    // The item stays enabled until the next tick: a role that ended since
    // then (or while the line waited) leaves nobody to send it as.
    const auto roleOn = [this] { return station_.IsSharing() || station_.IsRemoteConnection(); };
    const auto send = [this](const QString& text) {
        station_.SendChat(text);
        SetStatusText(station_.SupportStatusText());
    };
    TimerPause pause{&usbTimer_, &inetTimer_};
    QCoreApplication::processEvents();
    const QString text = dialogs_.InputBox(QStringLiteral("Send a chat"), QStringLiteral("Message"), QString(),
                                           InputBoxMaxLength)
                             .value_or(QString())
                             .left(InputBoxMaxLength);
    if (text.isEmpty())
        return;
    const bool deferred = DeferWhileRelayBusy([this, text, send, roleOn] {
        if (!roleOn())
            return;
        TimerPause deferredPause{&usbTimer_, &inetTimer_};
        send(text);
    });
    if (!deferred && roleOn())
        send(text);
}

void TMainFormKrv::SupportDomainNameClick()
{
    const std::optional<QString> typed = dialogs_.InputBox(
        QStringLiteral("Remote Support"),
        QStringLiteral("Domain Name (a host, host:port, or a session address such as relay.example.org/s/7Q4K-2X9F-M3)"),
        station_.Support.SupportDomain, InputBoxMaxLength);
    if (!typed)
        return;
    const QString domain = SupportDomainFromText(*typed);
    const QString code = SessionCodeOf(domain);
    if (domain.contains(QLatin1String("/s/")) && !IsSessionCode(code)) {
        // Refused here rather than by the relay later, which would end the
        // role with a bare "404".
        dialogs_.Error(QStringLiteral("Remote Support"),
                       QStringLiteral("\"%1\" is not a session code: a code has 8 to 32 letters and digits "
                                      "(no I, L, O or U), in groups or not. The domain stays %2.")
                           .arg(code, station_.Support.SupportDomain));
        return;
    }
    station_.Support.SupportDomain = domain;
    ShowConnection();
}

void TMainFormKrv::NewSupportSessionClick()
{
    const QString code = NewSessionCode();
    station_.Support.SupportDomain = SessionDomain(station_.Support.SupportDomain, code);
    ShowConnection();
    dialogs_.InformWithCopy(
        QStringLiteral("New Support Session"),
        QStringLiteral("Session code: %1\r\rRead this to the customer: \"In the utility, choose Options, Support Domain "
                       "Name..., enter %2 and click OK. Then choose Options, Share data with support.\"\r\r"
                       "Choose Connection, Remote via Internet to see the customer's regulator.")
            .arg(code, station_.Support.SupportDomain),
        station_.Support.SupportDomain);
}

void TMainFormKrv::ChatLogClick()
{
    if (!chatWindow_) {
        chatWindow_ = new ChatWindow([this] { return station_.ChatLines(); }, this);
        chatWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(&station_, &Station::chatLogged, chatWindow_, &ChatWindow::Refresh);
    }
    chatWindow_->show();
    chatWindow_->raise();
}
