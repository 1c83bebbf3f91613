#pragma once
// The support relay: the exchange with its state, the messages of the other
// side waiting to be acted on, when that side was last heard from, and the
// chat lines of the session. The steps here set up a message and exchange
// it; which role is on and what the messages mean is the caller's.
#include "records/settings_record.h"
#include "records/system_state_record.h"
#include "support/chat_log.h"
#include "support/relay_codec.h"
#include "time/clock.h"

#include <QObject>

#include <deque>
#include <functional>
#include <optional>

class SupportExchange;

// A message of the other side as it arrived: its kind and its values.
struct RelayMessage {
    uint8_t kind = 0;
    QByteArray values;
};

class RelayLink : public QObject {
    Q_OBJECT
public:
    explicit RelayLink(const Clock& clock, QObject* parent = nullptr);

    SupportExchange* Exchange() const { return exchange_; }
    const SupportExchangeState& State() const { return state_; }
    // The relay's address: a host, host:port, or a session address.
    QString Domain() const { return state_.SupportDomain(); }
    void SetDomain(const QString& domain) { state_.SetSupportDomain(domain); }
    QString StatusText() const { return state_.SupportStatusText(); }
    // Carries on from an exchange state left by earlier exchanges; the inbox
    // stays as it is.
    void ContinueFrom(const SupportExchangeState& state) { state_ = state; }

    bool IsExchangeInProgress() const;
    // One exchange with the message that is set up; what the other side sent
    // waits in the inbox.
    bool RunExchange();

    // The support role's halves of the settings read and write: the request
    // for the client's settings and `settings` sent as new settings, each
    // between waits that handle no events themselves (1 s before; 3 s after
    // a request, 1 s after settings); `progress` is called meanwhile with
    // the seconds since the start. True when the relay took the message.
    using WaitProgress = std::function<void(double seconds)>;
    bool RequestClientSettings(const WaitProgress& progress);
    bool SendSettingsToClient(const SettingsRecord& settings, const WaitProgress& progress);
    bool IsWaitingOnRelay() const { return waitsOnRelay_ > 0; }
    // An exchange runs, or a settings step waits out its pauses around one:
    // another request now would be refused or come between.
    bool IsBusy() const { return IsExchangeInProgress() || IsWaitingOnRelay(); }
    // The technician's state request that opens a session on the relay.
    bool OpenSupportSession();

    // The messages of the ticks and of the chat.
    void PrepareStateRequest();
    void ActAsClient() { state_.SetSupportRole(RoleClient); }
    void PrepareState(const SystemStateRecord& state);
    void PrepareSettings(const SettingsRecord& settings);
    // A chat line, one byte per character, for the role that is on: the
    // client's when sharing, the technician's in the remote connection.
    void PrepareChat(const QString& text, bool asClient, bool asSupport);

    std::optional<RelayMessage> TakeReceived();
    int ReceivedWaiting() const { return int(inbox_.size()); }
    double OtherSideSeenAt() const { return otherSideAt_; }
    // A role ended or began: what waits for it and when its other side was
    // heard from are dropped.
    void ForgetOtherSide();

    // The chat log: lines sent (`from` this side) and received, and the
    // program's own lines, never sent.
    void NoteSent(const QString& from, const QString& text);
    void NoteReceived(const QString& from, const QString& text);
    void NoteProgramLine(const QString& text);
    const QList<ChatLine>& ChatLines() const { return chatLines_; }

signals:
    void statusChanged(const QString& text);
    // A relay request goes out (true) or has ended (false).
    void requestUnderWay(bool busy);
    void chatLogged();

private:
    // The technician's request of `kind`, with no data.
    void PrepareRequest(uint8_t kind);
    bool ExchangeBetweenWaits(double before, double after, const WaitProgress& progress);
    void Log(ChatLine line);

    const Clock& clock_;
    SupportExchange* exchange_;
    SupportExchangeState state_;
    std::deque<RelayMessage> inbox_;
    double otherSideAt_ = 0;
    int waitsOnRelay_ = 0;
    QList<ChatLine> chatLines_;
};
