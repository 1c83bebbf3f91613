#include "station/relay_link.h"

#include "records/ansi_text.h"
#include "support/support_exchange.h"

#include <algorithm>

namespace {

template <std::size_t N>
void CopyRecord(const std::array<uint8_t, N>& record, SupportBuffer& buffer)
{
    std::copy(record.begin(), record.end(), buffer.begin());
}

} // namespace

RelayLink::RelayLink(const Clock& clock, QObject* parent)
    : QObject(parent), clock_(clock), exchange_(new SupportExchange(this))
{
    exchange_->SetRequestUnderWayCallback([this](bool busy) { emit requestUnderWay(busy); });
}

bool RelayLink::IsExchangeInProgress() const
{
    return exchange_->IsExchangeInProgress();
}

bool RelayLink::RunExchange()
{
    const bool ok = exchange_->RunSupportExchange(state_, clock_);
    if (ok && state_.IncomingRecognised()) {
        otherSideAt_ = clock_.Now();
        const SupportBuffer& incoming = state_.Incoming();
        const int n = int(std::clamp<int32_t>(state_.IncomingLength(), 0, SupportBufferSize));
        inbox_.push_back({state_.IncomingKind(), QByteArray(reinterpret_cast<const char*>(incoming.data()), n)});
    }
    emit statusChanged(state_.SupportStatusText());
    return ok;
}

std::optional<RelayMessage> RelayLink::TakeReceived()
{
    if (inbox_.empty())
        return std::nullopt;
    RelayMessage message = std::move(inbox_.front());
    inbox_.pop_front();
    return message;
}

void RelayLink::ForgetOtherSide()
{
    otherSideAt_ = 0;
    inbox_.clear();
}

bool RelayLink::ExchangeBetweenWaits(double before, double after, const WaitProgress& progress)
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

bool RelayLink::RequestClientSettings(const WaitProgress& progress)
{
    PrepareRequest(SettingsRequest);
    return ExchangeBetweenWaits(1, 3, progress);
}

bool RelayLink::SendSettingsToClient(const SettingsRecord& settings, const WaitProgress& progress)
{
    // The role stays as it is: the support session keeps it at support.
    state_.SetOutgoing(SettingsMessage, int32_t(SettingsRecord::Size));
    CopyRecord(settings.Bytes(), state_.SupportToClientBuffer());
    return ExchangeBetweenWaits(1, 1, progress);
}

bool RelayLink::OpenSupportSession()
{
    // The relay makes a session on a support-side request only.
    PrepareStateRequest();
    return RunExchange();
}

void RelayLink::PrepareStateRequest()
{
    PrepareRequest(StateRequest);
}

void RelayLink::PrepareRequest(uint8_t kind)
{
    // A request carries no data; the codec sends none with it.
    state_.SetSupportRole(RoleSupport);
    state_.SetOutgoing(kind, state_.OutgoingLength());
    state_.SupportToClientBuffer().fill(0);
}

void RelayLink::PrepareState(const SystemStateRecord& state)
{
    CopyRecord(state.Bytes(), state_.ClientToSupportBuffer());
    state_.SetOutgoing(StateMessage, int32_t(SystemStateRecord::Size));
}

void RelayLink::PrepareSettings(const SettingsRecord& settings)
{
    CopyRecord(settings.Bytes(), state_.ClientToSupportBuffer());
    state_.SetOutgoing(SettingsMessage, int32_t(SettingsRecord::Size));
}

void RelayLink::PrepareChat(const QString& text, bool asClient, bool asSupport)
{
    const QByteArray bytes = ToAnsi(text).left(SupportBufferSize);
    state_.SetOutgoing(ChatMessage, int32_t(bytes.size()));
    const auto sendAs = [&](uint8_t role) {
        state_.SetSupportRole(role);
        std::copy(bytes.begin(), bytes.end(), state_.Outgoing().begin());
    };
    if (asClient)
        sendAs(RoleClient);
    if (asSupport)
        sendAs(RoleSupport);
}

void RelayLink::Log(ChatLine line)
{
    chatLines_.append(std::move(line));
    emit chatLogged();
}

void RelayLink::NoteSent(const QString& from, const QString& text)
{
    Log({clock_.Now(), true, from, text.left(SupportBufferSize)});
}

void RelayLink::NoteReceived(const QString& from, const QString& text)
{
    Log({clock_.Now(), false, from, text});
}

void RelayLink::NoteProgramLine(const QString& text)
{
    Log({clock_.Now(), false, ProgramChatSide, text});
}
