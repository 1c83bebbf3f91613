#include "station/station.h"

#include "canbus/can_line_buffer.h"
#include "records/ansi_text.h"
#include "support/support_exchange.h"

#include <algorithm>

namespace {

constexpr double UsbLiveSeconds = 1.5;
constexpr double RemoteLiveSeconds = 10;

template <std::size_t N>
void CopyRecord(const std::array<uint8_t, N>& record, SupportBuffer& buffer)
{
    std::copy(record.begin(), record.end(), buffer.begin());
}

} // namespace

Station::Station(HidBackend& backend, const Clock& clock, QObject* parent)
    : QObject(parent), session_(backend), protocol_(session_), clock_(clock), exchange_(new SupportExchange(this))
{
    exchange_->SetRequestUnderWayCallback([this](bool busy) { emit requestUnderWay(busy); });
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
    otherSideAt_ = 0;
    inbox_.clear();
    emit modesChanged();
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
    otherSideAt_ = 0;
    inbox_.clear();
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

template <typename Step>
bool Station::OnLink(Step step)
{
    const bool ok = step();
    emit linkStatusChanged(session_.LinkStatusText);
    return ok;
}

bool Station::PollOwn()
{
    const bool whole = OnLink([this] { return protocol_.ReadStateRecord(ReadOwnStateBlock, ownState_); });
    if (whole)
        stateAt_[0] = clock_.Now();
    return whole;
}

bool Station::PollPeer()
{
    const bool whole = OnLink([this] { return protocol_.ReadStateRecord(ReadPeerStateBlock, peerState_); });
    if (whole)
        stateAt_[1] = clock_.Now();
    return whole;
}

namespace {

// Cell of the regulator status in the regulator state grids (row 2, value).
constexpr int RegulatorStatusCell = 2 * StateColumns + 1;

int SideIndex(Side side) { return side == Side::Own ? 0 : 1; }

} // namespace

QStringList Station::MeasuredValues(Side side) const
{
    // The peer's aux input is captioned without the own settings.
    return MeasuredValuesCells(State(side), side, side == Side::Own ? settings_.AuxTempSensorUsage() : 0);
}

QStringList Station::SystemStateValues(Side side) const
{
    return SystemStateCells(State(side));
}

void Station::RefreshRegulatorState(Side side)
{
    QString& shown = shownStatus_[SideIndex(side)];
    regulatorTexts_[SideIndex(side)] = RegulatorStateCells(State(side), side, shown);
    shown = regulatorTexts_[SideIndex(side)][RegulatorStatusCell];
}

void Station::RefreshSystemMessages(Side side)
{
    messageTexts_[SideIndex(side)] = side == Side::Own
                                         ? SystemMessageLines(ownState_, holdCounters_, settings_.AuxTempSensorUsage())
                                         : PeerSystemMessageLines(peerState_);
}

StatePageTexts Station::PageTexts(Side side) const
{
    return {MeasuredValues(side), SystemStateValues(side), RegulatorStateTexts(side), SystemMessageTexts(side)};
}

Station::TickOutcome Station::Tick(bool fetchCan, bool hexCan)
{
    TickOutcome outcome;
    session_.BeginWaitBudget(HidSession::PollWaitBudgetMs);
    outcome.own = PollOwn();
    RefreshPage(Side::Own);
    outcome.peer = PollPeer();
    RefreshPage(Side::Peer);
    if (fetchCan)
        outcome.canLines = FetchCanLines(hexCan);
    session_.EndWaitBudget();
    return outcome;
}

DataLogFields Station::LogFields() const
{
    return DataLogFieldsFromCells(MeasuredValues(Side::Own), SystemStateValues(Side::Own),
                                  RegulatorStateCells(ownState_, Side::Own, shownStatus_[0]),
                                  RegulatorStateCells(peerState_, Side::Peer, shownStatus_[1]));
}

bool Station::AppendLogLine(QString* failure) const
{
    const DataLogFields fields = LogFields();
    return WriteLogLine(logFileName_, fields.header, fields.values, failure);
}

QStringList Station::FetchCanLines(bool hex)
{
    if (!OnLink([this] { return protocol_.FetchCanFrames(canFrames_[0], canFrames_[1]); }))
        return {};
    return LinesForFetch(canFrames_[0], canFrames_[1], hex);
}

void Station::TakeSnapshot(const SnapshotRecord& snapshot)
{
    settings_ = snapshot.Settings();
    ownState_ = snapshot.OwnState();
    peerState_ = snapshot.PeerState();
    RefreshPage(Side::Peer);
    RefreshPage(Side::Own);
}

bool Station::ReadSettingsFromDevice()
{
    // An incomplete read leaves the record as it was: what the user loaded
    // or edited is never replaced by a mix of old and new blocks.
    return ReadDeviceSettingsInto(settings_);
}

bool Station::ReadDeviceSettingsInto(SettingsRecord& into)
{
    const bool complete = OnLink([this, &into] { return protocol_.ReadSettingsRecord(into); });
    if (complete)
        backups_.NoteRead(into, ownState_.RegulatorName());
    return complete;
}

std::optional<SettingsRecord> Station::KnownDeviceSettings() const
{
    return backups_.LastRead(ownState_.RegulatorName());
}

void Station::NoteDeviceHolds(const SettingsRecord& settings)
{
    backups_.NoteRead(settings, ownState_.RegulatorName());
}

bool Station::WriteSettingsToDevice(const QString& operation, bool* sentOut)
{
    lastBackupPath_.clear();
    bool sent = false;
    const bool done = OnLink([&] {
        return protocol_.WriteSettingsRecord(settings_, [&] {
            BackUp(operation);
            sent = true;
        });
    });
    // What the regulator holds now is known from the read-back only.
    if (sent)
        backups_.ForgetRead();
    *sentOut = sent;
    return done;
}

bool Station::ResetSettingsOnDevice()
{
    lastBackupPath_.clear();
    return OnLink([this] {
        return protocol_.ResetSettings([this] {
            BackUp(QStringLiteral("reset"));
            // What the regulator holds afterwards is known from the next read.
            backups_.ForgetRead();
        });
    });
}

void Station::BackUp(const QString& operation)
{
    QString failure;
    lastBackupPath_ =
        backups_.Save(operation, ownState_.RegulatorName(), settings_, DateTimeOfDayCount(clock_.Now()), &failure);
    if (lastBackupPath_.isEmpty())
        emit backupFailed(failure);
}

bool Station::CloseDevice()
{
    return OnLink([this] { return session_.CloseDevice(); });
}

bool Station::IsExchangeInProgress() const
{
    return exchange_->IsExchangeInProgress();
}

bool Station::RunExchange()
{
    const bool ok = exchange_->RunSupportExchange(support_, clock_);
    if (ok && support_.IncomingRecognised) {
        otherSideAt_ = clock_.Now();
        const SupportBuffer& incoming =
            support_.SupportRole == RoleSupport ? support_.ClientToSupportBuffer : support_.SupportToClientBuffer;
        const int n = int(std::clamp<int32_t>(support_.IncomingLength, 0, SupportBufferSize));
        inbox_.push_back({support_.IncomingKind, QByteArray(reinterpret_cast<const char*>(incoming.data()), n)});
    }
    emit supportStatusChanged(support_.SupportStatusText);
    return ok;
}

std::optional<RelayMessage> Station::TakeReceived()
{
    if (inbox_.empty())
        return std::nullopt;
    RelayMessage message = std::move(inbox_.front());
    inbox_.pop_front();
    return message;
}

bool Station::ExchangeBetweenWaits(double before, double after, const WaitProgress& progress)
{
    // The seconds count on across both waits and the exchange between them.
    const double start = clock_.Now();
    const auto show = [&](double) {
        if (progress)
            progress((clock_.Now() - start) / OneSecond);
    };
    ++waitsOnRelay_;
    BusyWaitSeconds(before, clock_, show);
    const bool answered = RunExchange();
    BusyWaitSeconds(after, clock_, show);
    --waitsOnRelay_;
    return answered;
}

bool Station::RequestClientSettings(const WaitProgress& progress)
{
    support_.SupportRole = RoleSupport;
    support_.OutgoingKind = SettingsRequest;
    support_.SupportToClientBuffer.fill(0);
    return ExchangeBetweenWaits(1, 3, progress);
}

bool Station::SendSettingsToClient(const WaitProgress& progress)
{
    // The role stays as it is: the support session keeps it at support.
    support_.OutgoingKind = SettingsMessage;
    support_.OutgoingLength = int32_t(SettingsRecord::Size);
    CopyRecord(settings_.Bytes(), support_.SupportToClientBuffer);
    return ExchangeBetweenWaits(1, 1, progress);
}

bool Station::OpenSupportSession()
{
    // A state request as the technician's tick sends it, the local regulator
    // left as it is: the relay makes a session on a support-side request only.
    support_.SupportRole = RoleSupport;
    support_.OutgoingKind = StateRequest;
    support_.SupportToClientBuffer.fill(0);
    return RunExchange();
}

void Station::PrepareStateRequest()
{
    // The local regulator is left alone while this side shows a remote one.
    CloseDevice();
    support_.SupportRole = RoleSupport;
    support_.OutgoingKind = StateRequest;
    support_.SupportToClientBuffer.fill(0);
}

void Station::PrepareOwnState()
{
    CopyRecord(ownState_.Bytes(), support_.ClientToSupportBuffer);
    support_.OutgoingKind = StateMessage;
    support_.OutgoingLength = int32_t(SystemStateRecord::Size);
}

void Station::PrepareSettings()
{
    PrepareSettingsOf(settings_);
}

void Station::PrepareSettingsOf(const SettingsRecord& settings)
{
    CopyRecord(settings.Bytes(), support_.ClientToSupportBuffer);
    support_.OutgoingKind = SettingsMessage;
    support_.OutgoingLength = int32_t(SettingsRecord::Size);
}

void Station::PrepareChat(const QString& text)
{
    const QByteArray bytes = ToAnsi(text).left(SupportBufferSize);
    support_.OutgoingKind = ChatMessage;
    support_.OutgoingLength = int32_t(bytes.size());
    if (sharing_) {
        support_.SupportRole = RoleClient;
        std::copy(bytes.begin(), bytes.end(), support_.ClientToSupportBuffer.begin());
    }
    if (IsRemoteConnection()) {
        support_.SupportRole = RoleSupport;
        std::copy(bytes.begin(), bytes.end(), support_.SupportToClientBuffer.begin());
    }
}

bool Station::TakeClientState(const RelayMessage& message)
{
    if (message.values.size() < int(SystemStateRecord::Size))
        return false;
    ownState_.Assign(reinterpret_cast<const uint8_t*>(message.values.constData()));
    stateAt_[0] = clock_.Now();
    return true;
}

bool Station::TakeClientSettings(const RelayMessage& message)
{
    if (message.values.size() < int(SettingsRecord::Size))
        return false;
    settings_.Assign(reinterpret_cast<const uint8_t*>(message.values.constData()));
    return true;
}

bool Station::TakeSupportSettings(const RelayMessage& message)
{
    return TakeClientSettings(message);
}

QString Station::ChatText(const RelayMessage& message)
{
    return FromAnsi(message.values);
}

bool Station::SendChat(const QString& text)
{
    PrepareChat(text);
    const bool sent = RunExchange();
    if (sent) {
        chatLines_.append({clock_.Now(), true, IsRemoteConnection() ? QStringLiteral("SUPPORT") : QStringLiteral("CLIENT"),
                           text.left(SupportBufferSize)});
        emit chatLogged();
    }
    return sent;
}

void Station::NoteReceivedChat(const QString& text)
{
    chatLines_.append({clock_.Now(), false, IsRemoteConnection() ? QStringLiteral("CLIENT") : QStringLiteral("SUPPORT"), text});
    emit chatLogged();
}

void Station::NoteProgramLine(const QString& text)
{
    chatLines_.append({clock_.Now(), false, ProgramChatSide, text});
    emit chatLogged();
}

bool Station::OpenDevice()
{
    return OnLink([this] { return session_.FindAndOpenDevice(); });
}
