#include "support/relay_codec.h"

#include "support/relay_address.h"

#include "views/number_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QByteArray BodyStartMarker = QByteArrayLiteral("<body>\r\n");
const QByteArray BodyEndMarker = QByteArrayLiteral("</body>");

// Longest piece of a bad value quoted in the failure message, so that a huge
// garbage value cannot blow up the status bar text.
constexpr int MaxQuotedValueLength = 40;

void AppendDataBytes(QByteArray& query, const SupportBuffer& buffer, int32_t length)
{
    const int count = std::clamp<int32_t>(length, 0, SupportBufferSize);
    for (int i = 0; i < count; ++i) {
        query += '$';
        query += QByteArray::number(buffer[size_t(i)]);
    }
}

// A value is a signed decimal integer within the 32-bit range (the relay's
// peers write them so); anything else (blanks, letters, overflow) is not.
bool ToInteger(const char* text, qsizetype length, int32_t* value)
{
    const std::optional<int64_t> parsed = ParseStrictInteger(QByteArrayView(text, length));
    if (!parsed || *parsed < std::numeric_limits<int32_t>::min() || *parsed > std::numeric_limits<int32_t>::max())
        return false;
    *value = int32_t(*parsed);
    return true;
}

QString NotAnIntegerText(const char* text, qsizetype length)
{
    QByteArray shown(text, std::min<qsizetype>(length, MaxQuotedValueLength));
    if (length > MaxQuotedValueLength)
        shown += "...";
    return QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(shown));
}

struct KindText {
    MessageKind kind;
    bool hasData;
    const char* text;
};

// Kinds each side recognises, whether they carry values, and the status text.
constexpr KindText ClientSideKinds[] = {
    {StateRequest, false, "Support requested system state"},
    {SettingsRequest, false, "Support requested system settings"},
    {SettingsMessage, true, "Support sent new settings"},
    {ChatMessage, true, "Support sent chat"},
    {StopMessage, false, "Support stops"},
};
constexpr KindText SupportSideKinds[] = {
    {StateMessage, true, "Client sent system state"},
    {SettingsMessage, true, "Client sent system settings"},
    {ChatMessage, true, "Client sent chat"},
};

template <size_t N>
bool ParseMessage(SupportExchangeState& state, const QByteArray& body, QString* failure,
                  const KindText (&kinds)[N], int minimumLength, uint8_t receiver)
{
    state.StartReceiving(receiver);

    const QByteArray message = ExtractMessageText(body);
    if (message.size() < minimumLength)
        return true;
    const auto* kind = std::find_if(std::begin(kinds), std::end(kinds),
                                    [&](const KindText& k) { return '0' + k.kind == message.at(0); });
    if (kind == std::end(kinds))
        return true;

    state.Recognise(kind->kind);
    if (kind->hasData && !state.ReadValues(message, receiver, failure))
        return false;
    state.SetSupportStatusText(QString::fromLatin1(kind->text));
    return true;
}

} // namespace

void SupportExchangeState::StartReceiving(uint8_t receiver)
{
    incomingLength_ = 0;
    recognised_ = false;
    IncomingOf(receiver).fill(0);
    status_ = QStringLiteral("Nothing received");
}

bool SupportExchangeState::ReadValues(const QByteArray& messageText, uint8_t receiver, QString* failure)
{
    QString reason;
    if (ParseMessageValues(messageText, IncomingOf(receiver), incomingLength_, &reason))
        return true;
    status_ = reason;
    if (failure)
        *failure = reason;
    return false;
}

int64_t RelayTimeStamp(double dayCount)
{
    const double units = std::trunc(dayCount * 100000.0);
    if (!std::isfinite(units))
        return 0;
    // Clamp before converting: a double outside the 64-bit range has no
    // defined conversion.
    if (units >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (units <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return int64_t(units);
}

QString BuildRequestUrl(SupportExchangeState& state, int64_t timeStamp)
{
    QByteArray query;
    query.reserve(64 + 4 * SupportBufferSize);
    const uint8_t kind = state.OutgoingKind();
    if (state.SupportRole() == RoleSupport) {
        query += "?user=support&data=";
        query += QByteArray::number(kind);
        if (kind == SettingsMessage || kind == ChatMessage)
            AppendDataBytes(query, state.SupportToClientBuffer(), state.OutgoingLength());
        else
            state.SetOutgoing(kind, 0);
    } else {
        query += "?user=client&data=";
        query += QByteArray::number(kind);
        AppendDataBytes(query, state.ClientToSupportBuffer(), state.OutgoingLength());
    }
    query += "&time=";
    query += QByteArray::number(qint64(timeStamp));
    // A domain written with "https://" is reached over TLS; any other over
    // plain HTTP, as always.
    const QString& domain = state.SupportDomain();
    const QString base = IsSecureDomain(domain) ? domain : QStringLiteral("http://") + domain;
    return base + QStringLiteral("/support_x.php") + QString::fromLatin1(query);
}

QString SupportDomainFromText(const QString& text)
{
    QString domain = text.trimmed();
    if (domain.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        domain.remove(0, 7);
    else if (IsSecureDomain(domain))
        domain.replace(0, 8, QStringLiteral("https://"));
    const qsizetype query = domain.indexOf(QLatin1Char('?'));
    if (query >= 0)
        domain.truncate(query);
    const QLatin1String script("/support_x.php");
    if (domain.endsWith(script, Qt::CaseInsensitive))
        domain.chop(script.size());
    while (domain.endsWith(QLatin1Char('/')))
        domain.chop(1);
    return domain;
}

QByteArray ExtractMessageText(const QByteArray& body)
{
    const qsizetype start = body.indexOf(BodyStartMarker);
    const qsizetype end = body.indexOf(BodyEndMarker);
    if (start < 0 || end < 0)
        return {};
    const qsizetype textStart = start + BodyStartMarker.size();
    if (end < textStart)
        return {};
    return body.mid(textStart, end - textStart);
}

bool ParseMessageValues(const QByteArray& messageText, SupportBuffer& buffer, int32_t& incomingLength,
                        QString* failure)
{
    // Each value runs from just after one "$" to the next "$" or the end of the
    // text; walking the separators once keeps this linear in the text length.
    const char* text = messageText.constData();
    const qsizetype size = messageText.size();
    qsizetype separator = messageText.indexOf('$');
    while (separator >= 0) {
        if (incomingLength < 0 || incomingLength >= SupportBufferSize)
            break;  // buffer full: the remaining values are ignored
        const qsizetype valueStart = separator + 1;
        const qsizetype next = messageText.indexOf('$', valueStart);
        const qsizetype valueEnd = next < 0 ? size : next;
        if (valueEnd == valueStart)
            break;
        int32_t value = 0;
        if (!ToInteger(text + valueStart, valueEnd - valueStart, &value)) {
            if (failure)
                *failure = NotAnIntegerText(text + valueStart, valueEnd - valueStart);
            return false;
        }
        buffer[size_t(incomingLength)] = uint8_t(uint32_t(value) & 0xFFu);
        ++incomingLength;
        separator = next;
    }
    return true;
}

bool ParseSupportMessage(SupportExchangeState& state, const QByteArray& body, QString* failure)
{
    return ParseMessage(state, body, failure, ClientSideKinds, 1, RoleClient);
}

bool ParseClientMessage(SupportExchangeState& state, const QByteArray& body, QString* failure)
{
    return ParseMessage(state, body, failure, SupportSideKinds, 2, RoleSupport);
}
