#include "station/remote_session.h"
#include "compare/settings_compare.h"
#include "records/ansi_text.h"

namespace {

const QString InternetConnection = QStringLiteral("Internet Connection: ");

QString RegulatorNameOf(const Station& station)
{
    const QString name = FromAnsi(station.OwnState().RegulatorName());
    return name.isEmpty() ? QStringLiteral("the regulator") : name;
}

} // namespace

RemoteSession::RemoteSession(Station& station, QObject* parent) : QObject(parent), station_(station)
{
    station_.UseRemoteSettings(this);
}

RemoteSession::~RemoteSession()
{
    station_.UseRemoteSettings(nullptr);
}

SourceOutcome RemoteSession::ReadSettings(const Progress& progress, const PutOff& putOff)
{
    if (putOff && putOff())
        return {false, true, {}};
    const bool sent = RequestSettings(progress);
    return {sent, false, station_.Relay().StatusText()};
}

WriteOutcome RemoteSession::WriteSettings(const QString&, WriteAllowances allowed, const Progress& progress,
                                          const PutOff& putOff)
{
    using R = WriteOutcome::Result;
    WriteOutcome outcome;
    outcome.departures = station_.SettingsOwner().Check();
    if (!outcome.departures.isEmpty())
        outcome.result = R::Implausible;
    else if (!clientSettingsArrived_ && !allowed.unknownTarget)
        outcome.result = R::Unknown;
    else if (putOff && putOff())
        outcome.result = R::PutOff;
    else {
        outcome.result = R::Handed;
        outcome.relayTook = SendSettings(progress);
        outcome.status = station_.Relay().StatusText();
    }
    return outcome;
}

bool RemoteSession::Busy() const
{
    return station_.Relay().IsBusy();
}

void RemoteSession::ShowChat(const RelayMessage& message, const QString& from)
{
    if (message.values.size() < 2)
        return;
    const QString text = Station::ChatText(message);
    emit panelMessage(QStringLiteral(" Message from %1: ").arg(from) + text);
    station_.Relay().NoteReceived(from, text);
}

void RemoteSession::Tick()
{
    // Support wins over sharing: one program never plays both roles.
    if (station_.IsRemoteConnection())
        station_.SetSharing(false);
    // What a role owed or awaited ends with it.
    if (!station_.IsSharing())
        owed_.clear();
    if (!station_.IsRemoteConnection())
        awaited_.clear();
    if (station_.IsSharing())
        ClientStep();
    if (station_.IsRemoteConnection())
        SupportStep();
}

void RemoteSession::ClientStep()
{
    station_.Relay().ActAsClient();
    while (const std::optional<RelayMessage> message = station_.Relay().TakeReceived()) {
        switch (message->kind) {
        case SettingsRequest:
            emit panelMessage(QStringLiteral(" Settings requested by SUPPORT"));
            owed_.push_back(std::nullopt);
            break;
        case SettingsMessage:
            emit panelMessage(
                QStringLiteral(" SUPPORT sent new settings: received %1 bytes").arg(message->values.size()));
            if (message->values.size() >= int(SettingsRecord::Size)) {
                if (const std::optional<RelayMessage> checked =
                        CheckedSettings(*message, QStringLiteral("SUPPORT's message"))) {
                    WriteSupportSettings(*checked);
                } else {
                    // Not taken: support hears what the regulator still holds.
                    owed_.push_back(station_.SettingsOwner().KnownDeviceSettings());
                }
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
    // One settings answer per exchange, the oldest owed first; otherwise the
    // state, fresh.
    if (!owed_.empty()) {
        const std::optional<SettingsRecord> answer = owed_.front();
        owed_.pop_front();
        if (answer) {
            station_.Relay().PrepareSettings(*answer);
        } else {
            emit settingsReadWanted();
            station_.Relay().PrepareSettings(station_.Settings());
        }
    } else {
        station_.Relay().PrepareState(station_.OwnState());
    }
    if (!station_.Relay().RunExchange()) {
        // The role ends before the box opens, so that nothing that runs while
        // it is open sends to the relay again.
        station_.SetSharing(false);
        emit failed(InternetConnection + station_.Relay().StatusText());
    }
    emit statusText(station_.Relay().StatusText());
}

void RemoteSession::WriteSupportSettings(const RelayMessage& checked)
{
    // Read first, so that the record and the notice start from what the
    // regulator holds.
    emit settingsReadWanted();
    const std::optional<SettingsRecord> before = station_.SettingsOwner().KnownDeviceSettings();
    station_.TakeRelayedSettings(checked);
    emit supportSettingsToWrite();
    // What the regulator holds now is known from the write's read-back only.
    const std::optional<SettingsRecord> after = station_.SettingsOwner().KnownDeviceSettings();
    const QString name = RegulatorNameOf(station_);
    if (!after) {
        Notice(QStringLiteral("SUPPORT sent new settings, but what %1 holds now could not be read back: it may hold a "
                              "mix of the old and the new settings.")
                   .arg(name),
               {});
        return;
    }
    owed_.push_back(after);
    QStringList rows;
    if (before)
        for (const SettingsDifference& d : CompareSettings(*before, *after, station_.OwnState().DetectedSystemVoltage()))
            rows << QStringLiteral("%1, %2: %3 -> %4").arg(d.section, d.caption, d.ours, d.theirs);
    const QString count = QString::number(rows.size());
    QString headline;
    if (*after != station_.Settings() && rows.isEmpty())
        headline = QStringLiteral("SUPPORT's settings were not confirmed by %1: it holds other settings than were "
                                  "sent, and none of its settings changed.")
                       .arg(name);
    else if (*after != station_.Settings())
        headline = QStringLiteral("SUPPORT's settings were not confirmed by %1: it holds other settings than were "
                                  "sent. What changed on it (%2):")
                       .arg(name, count);
    else if (!before)
        headline = QStringLiteral("SUPPORT's settings were written to %1.").arg(name);
    else if (rows.isEmpty())
        headline = QStringLiteral("SUPPORT's settings changed nothing on %1: it held them already.").arg(name);
    else
        headline = QStringLiteral("SUPPORT changed %2 setting(s) on %1:").arg(name, count);
    Notice(headline, rows);
}

void RemoteSession::SupportStep()
{
    // The local regulator is left alone while this side shows a remote one.
    station_.Usb().Close();
    station_.Relay().PrepareStateRequest();
    int changes = station_.ConnectionChanges();
    const bool answered = station_.Relay().RunExchange();
    if (!answered && station_.ConnectionChanges() == changes) {
        emit endRemoteWanted(); // the role ends before the box opens
        changes = station_.ConnectionChanges();
        emit failed(InternetConnection + station_.Relay().StatusText());
    }
    // A snapshot dropped, or another connection chosen, while the relay was
    // answering (or the box was open) ended the role: what arrived is not
    // shown over what the user chose.
    if (station_.ConnectionChanges() != changes) {
        emit statusText(station_.Relay().StatusText());
        return;
    }
    // Settings that arrived rebuild the editors once, and what the
    // technician types afterwards stays.
    while (const std::optional<RelayMessage> message = station_.Relay().TakeReceived()) {
        switch (message->kind) {
        case StateMessage:
            if (station_.TakeClientState(*message)) {
                // The client's regulator is the own one now: its status text
                // and messages go on from what was shown, once per record.
                station_.RefreshPage(Side::Own);
                station_.RefreshPage(Side::Peer, MeasuredPart | SystemPart | RegulatorPart);
                emit clientStateArrived();
                if (station_.IsLogging())
                    station_.SetLogging(station_.AppendLogLine());
            }
            break;
        case SettingsMessage:
            emit panelMessage(QStringLiteral(" CLIENT sent settings: received %1 bytes").arg(message->values.size()));
            if (message->values.size() >= int(SettingsRecord::Size)) {
                SettingsRecord arrived;
                arrived.Assign(reinterpret_cast<const uint8_t*>(message->values.constData()));
                MatchAnswer(arrived);
            }
            if (const std::optional<RelayMessage> checked = CheckedSettings(*message, QStringLiteral("CLIENT's message"));
                checked && station_.TakeRelayedSettings(*checked)) {
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
    ExpireAnswers();
    emit statusText(station_.Relay().StatusText());
}

bool RemoteSession::RequestSettings(const RelayLink::WaitProgress& progress)
{
    const bool sent = station_.Relay().RequestClientSettings(progress);
    if (sent)
        awaited_.push_back({station_.Time().Now(), std::nullopt});
    return sent;
}

bool RemoteSession::SendSettings(const RelayLink::WaitProgress& progress)
{
    const bool sent = station_.Relay().SendSettingsToClient(station_.Settings(), progress);
    if (sent)
        awaited_.push_back({station_.Time().Now(), station_.Settings()});
    return sent;
}

void RemoteSession::MatchAnswer(const SettingsRecord& arrived)
{
    ExpireAnswers();
    if (awaited_.empty())
        return;
    const Awaited answered = awaited_.front();
    awaited_.pop_front();
    if (!answered.written)
        return;
    if (arrived == *answered.written) {
        Notice(QStringLiteral("Written and confirmed by the customer's regulator"), {});
        return;
    }
    QStringList rows;
    for (const SettingsDifference& d :
         CompareSettings(*answered.written, arrived, station_.OwnState().DetectedSystemVoltage()))
        rows << QStringLiteral("%1, %2: sent %3, holds %4").arg(d.section, d.caption, d.ours, d.theirs);
    Notice(rows.isEmpty() ? QStringLiteral("Not confirmed: the customer's regulator holds other settings than were sent")
                          : QStringLiteral("Not confirmed: the customer's regulator holds other settings than were "
                                           "sent in %1 row(s):")
                                .arg(rows.size()),
           rows);
}

void RemoteSession::ExpireAnswers()
{
    const double now = station_.Time().Now();
    while (!awaited_.empty() && now - awaited_.front().at > ConfirmationWaitSeconds * OneSecond) {
        if (awaited_.front().written)
            Notice(QStringLiteral("No confirmation from the customer's regulator within %1 s: the settings may not "
                                  "have been written")
                       .arg(ConfirmationWaitSeconds),
                   {});
        awaited_.pop_front();
    }
}

void RemoteSession::Notice(const QString& headline, const QStringList& rows)
{
    emit writeNotice(headline, rows);
    station_.Relay().NoteProgramLine(rows.isEmpty() ? headline : headline + QLatin1Char(' ') + rows.join(QStringLiteral("; ")));
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
