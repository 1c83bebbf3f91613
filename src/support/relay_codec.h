#pragma once
// Message format of the support relay: the shared exchange state, the request
// URL that carries this side's message, and the parsers that take the other
// side's message out of the relay's answer. Pure functions, no network.
#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

constexpr int SupportBufferSize = 8192;
using SupportBuffer = std::array<uint8_t, SupportBufferSize>;

constexpr uint8_t RoleClient = 0;
constexpr uint8_t RoleSupport = 1;

// The kind digit that starts every message.
enum MessageKind : uint8_t {
    StateRequest = 0,    // support: send me your live state
    SettingsRequest = 1, // support: read your settings and send them
    StateMessage = 2,    // client: the own state record, 280 values
    SettingsMessage = 3, // either side: a settings record, 540 values
    ChatMessage = 4,     // either side: chat text, one value per character
    StopMessage = 5,     // support: the client is to stop sharing
};

// What one side of a relay exchange works on: the role, the message it sends
// next, the message that arrived last and the outcome. One instance lives for
// the whole run. The role decides which buffer is which: the client sends from
// ClientToSupportBuffer and receives into SupportToClientBuffer, the support
// side the reverse; `Outgoing` and `Incoming` give the role's own.
class SupportExchangeState {
public:
    uint8_t SupportRole() const { return role_; }
    void SetSupportRole(uint8_t role) { role_ = role; }

    // The message to send: its kind digit and how many data bytes of the
    // role's outgoing buffer follow it.
    uint8_t OutgoingKind() const { return outgoingKind_; }
    int32_t OutgoingLength() const { return outgoingLength_; }
    void SetOutgoing(uint8_t kind, int32_t length)
    {
        outgoingKind_ = kind;
        outgoingLength_ = length;
    }
    SupportBuffer& Outgoing() { return role_ == RoleSupport ? toClient_ : toSupport_; }
    const SupportBuffer& Outgoing() const { return role_ == RoleSupport ? toClient_ : toSupport_; }

    // The last message recognised: its kind stays until another one is
    // recognised; its values are in the role's incoming buffer.
    uint8_t IncomingKind() const { return incomingKind_; }
    int32_t IncomingLength() const { return incomingLength_; }
    bool IncomingRecognised() const { return recognised_; }
    const SupportBuffer& Incoming() const { return role_ == RoleSupport ? toSupport_ : toClient_; }
    // Carries on from a message that arrived before, as an earlier exchange
    // left it.
    void SetIncoming(uint8_t kind, int32_t length)
    {
        incomingKind_ = kind;
        incomingLength_ = length;
    }

    // The two buffers by direction, whatever the role.
    SupportBuffer& ClientToSupportBuffer() { return toSupport_; }
    const SupportBuffer& ClientToSupportBuffer() const { return toSupport_; }
    SupportBuffer& SupportToClientBuffer() { return toClient_; }
    const SupportBuffer& SupportToClientBuffer() const { return toClient_; }

    // Host part of the relay URL.
    const QString& SupportDomain() const { return domain_; }
    void SetSupportDomain(const QString& domain) { domain_ = domain; }
    // Outcome of the last exchange.
    const QString& SupportStatusText() const { return status_; }
    void SetSupportStatusText(const QString& text) { status_ = text; }

    // The steps of taking a message out of an answer for the `receiver`
    // role: nothing received yet (its incoming buffer zeroed), a kind
    // recognised, the message's values read into that buffer.
    void StartReceiving(uint8_t receiver);
    void Recognise(uint8_t kind)
    {
        incomingKind_ = kind;
        recognised_ = true;
    }
    bool ReadValues(const QByteArray& messageText, uint8_t receiver, QString* failure);

private:
    SupportBuffer& IncomingOf(uint8_t receiver) { return receiver == RoleSupport ? toSupport_ : toClient_; }

    uint8_t role_ = RoleClient;
    uint8_t outgoingKind_ = 0;
    int32_t outgoingLength_ = 0;
    SupportBuffer toSupport_{};
    SupportBuffer toClient_{};
    uint8_t incomingKind_ = 0;
    int32_t incomingLength_ = 0;
    bool recognised_ = false;
    QString domain_;
    QString status_;
};

// Local day count since 1899-12-30 times 100000, truncated toward zero
// (one unit is 0.864 s). Non-finite input gives 0.
int64_t RelayTimeStamp(double dayCount);

// The support domain that a text typed or pasted into "Support Domain Name..."
// names: a host with an optional port and session path ("relay.example.org",
// "host:8080/s/7Q4K-2X9F"), also when pasted as the relay's URL, with
// "http://", a trailing "/" or "/support_x.php" and a query. "https://" is
// kept: it makes the exchanges use TLS. Blanks around it go; empty stays
// empty.
QString SupportDomainFromText(const QString& text);

// "http://" + domain + "/support_x.php?user=...&data=<kind>[$byte...]&time=<stamp>"
// ("https://..." as it stands for a domain written so).
// The support role sends data bytes only with kinds 3 and 4 and otherwise sets
// OutgoingLength to 0. At most SupportBufferSize bytes are ever read.
QString BuildRequestUrl(SupportExchangeState& state, int64_t timeStamp);

// The text between the first "<body>" CR LF and the first "</body>"; empty when
// either marker is missing or "</body>" does not come after the first one.
QByteArray ExtractMessageText(const QByteArray& body);

// Reads the "$"-separated values of a message text into `buffer` from position
// `incomingLength` on, one byte (low 8 bits) per value, stopping at the first
// empty value or when the buffer is full. Returns false on a value that is not
// a decimal integer; the values before it stay stored.
bool ParseMessageValues(const QByteArray& messageText, SupportBuffer& buffer, int32_t& incomingLength,
                        QString* failure);

// Client side: recognises kinds 0, 1, 3, 4, 5 and receives into
// SupportToClientBuffer. Support side: recognises kinds 2, 3, 4 (message of at
// least 2 characters) and receives into ClientToSupportBuffer. Both return
// false only on a bad value, with its message in *failure and in
// SupportStatusText; IncomingKind is then already set.
bool ParseSupportMessage(SupportExchangeState& state, const QByteArray& body, QString* failure);
bool ParseClientMessage(SupportExchangeState& state, const QByteArray& body, QString* failure);
