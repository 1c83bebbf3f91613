#include "station/remote_session.h"

namespace {

const QString InternetConnection = QStringLiteral("Internet Connection: ");

} // namespace

RemoteSession::RemoteSession(Station& station, QObject* parent) : QObject(parent), station_(station) {}

void RemoteSession::ShowChat(const RelayMessage& message, const QString& from)
{
    if (message.values.size() < 2)
        return;
    const QString text = Station::ChatText(message);
    emit panelMessage(QStringLiteral(" Message from %1: ").arg(from) + text);
    station_.NoteReceivedChat(text);
}

void RemoteSession::Tick()
{
    // Support wins over sharing: one program never plays both roles.
    if (station_.IsRemoteConnection())
        station_.SetSharing(false);
    if (station_.IsSharing())
        ClientStep();
    if (station_.IsRemoteConnection())
        SupportStep();
}

void RemoteSession::ClientStep()
{
    station_.ActAsClient();
    // Without a message that asks for more, the tick sends the state, fresh.
    bool settingsRequested = false;
    while (const std::optional<RelayMessage> message = station_.TakeReceived()) {
        switch (message->kind) {
        case SettingsRequest:
            emit panelMessage(QStringLiteral(" Settings requested by SUPPORT"));
            settingsRequested = true;
            break;
        case SettingsMessage:
            emit panelMessage(
                QStringLiteral(" SUPPORT sent new settings: received %1 bytes").arg(message->values.size()));
            if (message->values.size() >= int(SettingsRecord::Size)) {
                const std::optional<RelayMessage> checked = CheckedSettings(*message, QStringLiteral("SUPPORT's message"));
                if (!checked)
                    break;
                emit settingsReadWanted();
                station_.TakeSupportSettings(*checked);
                emit supportSettingsToWrite();
            }
            break;
        case ChatMessage:
            ShowChat(*message, QStringLiteral("SUPPORT"));
            break;
        case StopMessage:
            station_.SetSharing(false);
            break;
        default: // a state request: the state goes out below
            break;
        }
    }
    if (settingsRequested) {
        emit settingsReadWanted();
        station_.PrepareSettings();
    } else {
        station_.PrepareOwnState();
    }
    if (!station_.RunExchange()) {
        // The role ends before the box opens, so that nothing that runs while
        // it is open sends to the relay again.
        station_.SetSharing(false);
        emit failed(InternetConnection + station_.SupportStatusText());
    }
    emit statusText(station_.SupportStatusText());
}

void RemoteSession::SupportStep()
{
    station_.PrepareStateRequest();
    int changes = station_.ConnectionChanges();
    const bool answered = station_.RunExchange();
    if (!answered && station_.ConnectionChanges() == changes) {
        emit endRemoteWanted(); // the role ends before the box opens
        changes = station_.ConnectionChanges();
        emit failed(InternetConnection + station_.SupportStatusText());
    }
    // A snapshot dropped, or another connection chosen, while the relay was
    // answering (or the box was open) ended the role: what arrived is not
    // shown over what the user chose.
    if (station_.ConnectionChanges() != changes) {
        emit statusText(station_.SupportStatusText());
        return;
    }
    // Settings that arrived rebuild the editors once, and what the
    // technician types afterwards stays.
    while (const std::optional<RelayMessage> message = station_.TakeReceived()) {
        switch (message->kind) {
        case StateMessage:
            if (station_.TakeClientState(*message)) {
                // The client's regulator is the own one now: its status text
                // and messages go on from what was shown, once per record.
                station_.RefreshPage(Side::Own);
                station_.RefreshRegulatorState(Side::Peer);
                emit clientStateArrived();
                if (station_.IsLogging())
                    station_.SetLogging(station_.AppendLogLine());
            }
            break;
        case SettingsMessage:
            emit panelMessage(QStringLiteral(" CLIENT sent settings: received %1 bytes").arg(message->values.size()));
            if (const std::optional<RelayMessage> checked = CheckedSettings(*message, QStringLiteral("CLIENT's message"));
                checked && station_.TakeClientSettings(*checked)) {
                clientSettingsArrived_ = true;
                emit clientSettingsArrivedNow();
            }
            break;
        case ChatMessage:
            ShowChat(*message, QStringLiteral("CLIENT"));
            break;
        default:
            break;
        }
    }
    emit statusText(station_.SupportStatusText());
}

std::optional<RelayMessage> RemoteSession::CheckedSettings(const RelayMessage& message, const QString& source)
{
    if (message.values.size() < int(SettingsRecord::Size))
        return std::nullopt;
    SettingsRecord record;
    record.Assign(reinterpret_cast<const uint8_t*>(message.values.constData()));
    const QList<SettingsDeparture> departures = CheckSettings(record, station_.OwnState().DetectedSystemVoltage());
    if (departures.isEmpty())
        return message;
    if (!askImplausible_ || !askImplausible_(source, departures)) {
        emit panelMessage(QStringLiteral(" Settings not taken: %1 holds settings that are not plausible").arg(source));
        return std::nullopt;
    }
    return RelayMessage{message.kind, WithDeparturesFixed(record, departures).ToByteArray()};
}
