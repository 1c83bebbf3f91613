#include "station/station.h"

#include "records/ansi_text.h"

namespace {

constexpr double UsbLiveSeconds = 1.5;
constexpr double RemoteLiveSeconds = 10;

} // namespace

Station::Station(HidBackend& backend, const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), usb_(backend), relay_(clock), settings_(usb_, ownState_, clock)
{
    connect(&usb_, &UsbLink::statusChanged, this, &Station::linkStatusChanged);
    connect(&relay_, &RelayLink::statusChanged, this, &Station::supportStatusChanged);
    connect(&relay_, &RelayLink::requestUnderWay, this, &Station::requestUnderWay);
    connect(&relay_, &RelayLink::chatLogged, this, &Station::chatLogged);
    settings_.OnBackupFailed([this](const QString& reason) { emit backupFailed(reason); });
}

Station::~Station() = default;

void Station::SetConnection(Connection connection)
{
    // Choosing the connection that is on already changes nothing: a relay
    // answer that is on its way still counts.
    if (connection_ == connection)
        return;
    ++connectionChanges_;
    connection_ = connection;
    stateAt_[0] = stateAt_[1] = 0;
    relay_.ForgetOtherSide();
    emit modesChanged();
}

SettingsSource* Station::SettingsSourceInUse()
{
    switch (connection_) {
    case Connection::Usb:
        return &settings_;
    case Connection::Remote:
        return remoteSettings_;
    case Connection::None:
        break;
    }
    return nullptr;
}

bool Station::IsLive(Side side) const
{
    const double at = StateAt(side);
    if (at == 0 || connection_ == Connection::None)
        return false;
    const double limit = connection_ == Connection::Usb ? UsbLiveSeconds : RemoteLiveSeconds;
    return clock_.Now() - at <= limit * OneSecond;
}

void Station::SetSharing(bool on)
{
    // Ticks and log lines set these again and again; only a change is news.
    if (sharing_ == on)
        return;
    sharing_ = on;
    if (on)
        logging_ = false;
    relay_.ForgetOtherSide();
    emit modesChanged();
}

void Station::SetLogging(bool on)
{
    if (logging_ == on)
        return;
    logging_ = on;
    if (on)
        sharing_ = false;
    emit modesChanged();
}

bool Station::PollOwn()
{
    const bool whole = usb_.ReadState(ReadOwnStateBlock, ownState_);
    if (whole)
        stateAt_[0] = clock_.Now();
    return whole;
}

bool Station::PollPeer()
{
    const bool whole = usb_.ReadState(ReadPeerStateBlock, peerState_);
    if (whole)
        stateAt_[1] = clock_.Now();
    return whole;
}

Station::TickOutcome Station::Tick(bool fetchCan, bool hexCan)
{
    TickOutcome outcome;
    usb_.BeginWaitBudget(HidSession::PollWaitBudgetMs);
    outcome.own = PollOwn();
    RefreshPage(Side::Own);
    outcome.peer = PollPeer();
    RefreshPage(Side::Peer);
    if (fetchCan)
        outcome.canLines = usb_.FetchCanLines(hexCan);
    usb_.EndWaitBudget();
    return outcome;
}

DataLogFields Station::LogFields() const
{
    const StatePageTexts& own = PageTexts(Side::Own);
    return DataLogFieldsFromCells(own.measured, own.system, own.regulator, PageTexts(Side::Peer).regulator);
}

bool Station::AppendLogLine(QString* failure) const
{
    const DataLogFields fields = LogFields();
    return WriteLogLine(logFileName_, fields.header, fields.values, failure);
}

void Station::TakeSnapshot(const SnapshotRecord& snapshot)
{
    // The pages are drawn with the settings as the file holds them; the
    // editors then take them as they would store them.
    const SettingsRecord settings = snapshot.Settings();
    settings_.Replace(settings);
    ownState_ = snapshot.OwnState();
    peerState_ = snapshot.PeerState();
    RefreshPage(Side::Peer);
    RefreshPage(Side::Own);
    settings_.Take(settings);
}

bool Station::TakeClientState(const RelayMessage& message)
{
    if (message.values.size() < int(SystemStateRecord::Size))
        return false;
    ownState_.Assign(reinterpret_cast<const uint8_t*>(message.values.constData()));
    stateAt_[0] = clock_.Now();
    return true;
}

bool Station::TakeRelayedSettings(const RelayMessage& message)
{
    if (message.values.size() < int(SettingsRecord::Size))
        return false;
    SettingsRecord arrived;
    arrived.Assign(reinterpret_cast<const uint8_t*>(message.values.constData()));
    settings_.Replace(arrived);
    return true;
}

QString Station::ChatText(const RelayMessage& message)
{
    return FromAnsi(message.values);
}

bool Station::SendChat(const QString& text)
{
    PrepareChat(text);
    const bool sent = relay_.RunExchange();
    if (sent)
        relay_.NoteSent(IsRemoteConnection() ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"), text);
    return sent;
}
