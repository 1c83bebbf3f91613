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

// Everything one relay exchange works on. One instance lives for the whole run.
struct SupportExchangeState {
    uint8_t SupportRole = RoleClient;  // 0 client, 1 support
    uint8_t OutgoingKind = 0;          // kind digit of the message to send
    int32_t OutgoingLength = 0;        // data bytes to send from the role's outgoing buffer
    SupportBuffer ClientToSupportBuffer{};
    SupportBuffer SupportToClientBuffer{};
    uint8_t IncomingKind = 0;          // kind of the last recognised message (sticky)
    int32_t IncomingLength = 0;        // values stored by the last parse
    bool IncomingRecognised = false;   // the last parse recognised a message
    QString SupportDomain;             // host part of the relay URL
    QString SupportStatusText;         // outcome of the last exchange
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
