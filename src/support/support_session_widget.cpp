// The remote support session of the main window: the 2 s tick in the client
// and the support role, chat, the relay domain and the role switches.
#include "app/main_form.h"
#include "records/ansi_text.h"
#include "support/support_exchange.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>

namespace {

QString BufferText(const SupportBuffer& buffer, int32_t length)
{
    const int n = int(std::clamp<int32_t>(length, 0, SupportBufferSize));
    return FromAnsi(QByteArray(reinterpret_cast<const char*>(buffer.data()), n));
}

template <std::size_t N>
void CopyRecord(const std::array<uint8_t, N>& record, SupportBuffer& buffer)
{
    std::copy(record.begin(), record.end(), buffer.begin());
}

const QString InternetConnection = QStringLiteral("Internet Connection: ");

// How often a command that found the relay busy looks again.
constexpr int RelayFreePollMs = 50;

// Makes the chat line the outgoing message of the role that is on (one byte
// per character) and sends it; the outcome only goes to the status bar.
void SendChatText(TMainFormKrv& w, const QString& text)
{
    const QByteArray bytes = ToAnsi(text);
    SupportExchangeState& s = w.Support;
    s.OutgoingKind = 4;
    s.OutgoingLength = int32_t(bytes.size());
    if (w.ShareDataWithSupport->isChecked()) {
        s.SupportRole = RoleClient;
        std::copy(bytes.begin(), bytes.end(), s.ClientToSupportBuffer.begin());
    }
    if (w.IsRemoteConnection()) {
        s.SupportRole = RoleSupport;
        std::copy(bytes.begin(), bytes.end(), s.SupportToClientBuffer.begin());
    }
    w.RunSupportExchange();
    w.SetStatusText(s.SupportStatusText);
}

} // namespace

bool TMainFormKrv::RunSupportExchange()
{
    return exchange_->RunSupportExchange(Support, clock_);
}

bool TMainFormKrv::DeferWhileRelayBusy(std::function<void()> command)
{
    // A command chosen while a tick or another command waits on the relay
    // runs inside that wait: the running exchange only ends after the
    // command returns, so its own request would be refused. It runs again
    // once the relay is free instead.
    if (!exchange_->IsExchangeInProgress())
        return false;
    // Nor does it run while a box is open: the user answers that first (the
    // box may well say that the relay is gone).
    auto* retry = new QTimer(this);
    retry->setInterval(RelayFreePollMs);
    connect(retry, &QTimer::timeout, this, [this, retry, command = std::move(command)] {
        if (exchange_->IsExchangeInProgress() || dialogs_.IsBoxOpen())
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
    // A tick that comes while an exchange still waits for the relay (settings
    // operations restart this timer inside a tick) leaves it to that one.
    if (exchange_->IsExchangeInProgress())
        return;
    INETTimer->stop();
    if (IsRemoteConnection())
        SetShareDataWithSupport(false);
    SendChatMessage->setEnabled(shareDataChecked_ || IsRemoteConnection());
    if (shareDataChecked_)
        ClientStep();
    if (IsRemoteConnection())
        SupportStep();
    INETTimer->start();
}

void TMainFormKrv::ClientStep()
{
    Support.SupportRole = RoleClient;
    switch (Support.IncomingKind) {
    case 0:
        CopyRecord(OwnState.Bytes(), Support.ClientToSupportBuffer);
        Support.OutgoingKind = 2;
        Support.OutgoingLength = int32_t(SystemStateRecord::Size);
        break;
    case 1:
        ShowMessagePanel(QStringLiteral(" Settings requested by SUPPORT"));
        ReadAllSettingsFromSystemClick();
        CopyRecord(Settings.Bytes(), Support.ClientToSupportBuffer);
        Support.OutgoingKind = 3;
        Support.OutgoingLength = int32_t(SettingsRecord::Size);
        break;
    case 3:
        ShowMessagePanel(QStringLiteral(" SUPPORT sent new settings: received %1 bytes").arg(Support.IncomingLength));
        if (Support.IncomingLength >= int32_t(SettingsRecord::Size)) {
            ReadAllSettingsFromSystemClick();
            Settings.Assign(Support.SupportToClientBuffer.data());
            UpdateSystemSettingsTable();
            UpdateChargeProfilesTable();
            UpdateFieldRpmChart();
            WriteAllSettingsToSystemClick();
        }
        break;
    case 4:
        if (Support.IncomingLength >= 2)
            ShowMessagePanel(QStringLiteral(" Message from SUPPORT: ")
                             + BufferText(Support.SupportToClientBuffer, Support.IncomingLength));
        break;
    case 5:
        SetShareDataWithSupport(false);
        break;
    default:
        break;
    }
    if (!RunSupportExchange()) {
        // The role ends before the box opens, so that nothing that runs while
        // it is open sends to the relay again.
        SetShareDataWithSupport(false);
        dialogs_.Error(QStringLiteral("Error"), InternetConnection + Support.SupportStatusText);
    }
    SetStatusText(Support.SupportStatusText);
}

void TMainFormKrv::SupportStep()
{
    // The local regulator is left alone while this side shows a remote one.
    Session.CloseDevice();
    Support.SupportRole = RoleSupport;
    Support.OutgoingKind = 0;
    Support.SupportToClientBuffer.fill(0);
    int changes = connectionChanges_;
    const bool answered = RunSupportExchange();
    if (answered || connectionChanges_ == changes) {
        if (!answered) {
            ConnectionUSBClick(); // the role ends before the box opens
            changes = connectionChanges_;
            dialogs_.Error(QStringLiteral("Error"), InternetConnection + Support.SupportStatusText);
        }
    }
    // A snapshot dropped, or another connection chosen, while the relay was
    // answering (or the box was open) ended the role: what arrived is not
    // shown over what the user chose.
    if (connectionChanges_ != changes) {
        SetStatusText(Support.SupportStatusText);
        return;
    }
    switch (Support.IncomingKind) {
    case 2:
        if (Support.IncomingLength >= int32_t(SystemStateRecord::Size)) {
            OwnState.Assign(Support.ClientToSupportBuffer.data());
            UpdateMeasuredValuesTable();
            UpdateRegulatorStateTable();
            UpdatePeerRegulatorStateTable();
            UpdateSystemStateTable();
            UpdateSystemMessages();
            if (EnableDataLoggingToFile->isChecked())
                SetEnableDataLogging(WriteLogLine());
        }
        break;
    case 3:
        ShowMessagePanel(QStringLiteral(" CLIENT sent settings: received %1 bytes").arg(Support.IncomingLength));
        if (Support.IncomingLength >= int32_t(SettingsRecord::Size)) {
            Settings.Assign(Support.ClientToSupportBuffer.data());
            UpdateSystemSettingsTable();
            UpdateChargeProfilesTable();
            UpdateFieldRpmChart();
        }
        break;
    case 4:
        if (Support.IncomingLength >= 2)
            ShowMessagePanel(QStringLiteral(" Message from CLIENT: ")
                             + BufferText(Support.ClientToSupportBuffer, Support.IncomingLength));
        break;
    default:
        break;
    }
    SetStatusText(Support.SupportStatusText);
}

void TMainFormKrv::ShareDataWithSupportClick()
{
    SetShareDataWithSupport(!shareDataChecked_);
}

void TMainFormKrv::RemoteViaInternetToProvideSupportClick()
{
    ++connectionChanges_;
    const QSignalBlocker blockUsb(ConnectionUSB);
    const QSignalBlocker blockRemote(RemoteViaInternetToProvideSupport);
    ConnectionUSB->setChecked(false);
    RemoteViaInternetToProvideSupport->setChecked(true);
}

void TMainFormKrv::SendChatMessageClick()
{
    USBTimer->stop();
    INETTimer->stop();
    QCoreApplication::processEvents();
    const QString text = dialogs_.InputBox(QStringLiteral("Send a chat"), QStringLiteral("Message"), QString(), 255)
                             .value_or(QString())
                             .left(255);
    if (!text.isEmpty()) {
        const bool deferred = DeferWhileRelayBusy([this, text] {
            if (!shareDataChecked_ && !IsRemoteConnection())
                return;
            USBTimer->stop();
            INETTimer->stop();
            SendChatText(*this, text);
            USBTimer->start();
            INETTimer->start();
        });
        if (!deferred)
            SendChatText(*this, text);
    }
    USBTimer->start();
    INETTimer->start();
}

void TMainFormKrv::SupportDomainNameClick()
{
    if (const std::optional<QString> domain =
            dialogs_.InputBox(QStringLiteral("Remote Support"), QStringLiteral("Domain Name"), Support.SupportDomain, 255))
        Support.SupportDomain = SupportDomainFromText(*domain);
}
