// Message format of the support relay: time stamp, request URL, message text
// extraction and the two role parsers.
#include "support/relay_address.h"
#include "support/relay_codec.h"
#include "time/clock.h"

#include <QDate>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

using Bytes = std::vector<int>;
Q_DECLARE_METATYPE(Bytes)

namespace {

const QByteArray Start = QByteArrayLiteral("<body>\r\n");
const QByteArray End = QByteArrayLiteral("</body>");

QByteArray Wrap(const QByteArray& message)
{
    return QByteArrayLiteral("<html>") + Start + message + End + QByteArrayLiteral("</html>\r\n");
}

// Fills a buffer with a marker so that a parser that forgets to clear it, or
// writes into the wrong one, shows up.
void Fill(SupportBuffer& buffer, uint8_t value)
{
    buffer.fill(value);
}

int CountOf(const SupportBuffer& buffer, uint8_t value)
{
    return int(std::count(buffer.begin(), buffer.end(), value));
}

} // namespace

class TestRelayCodec : public QObject {
    Q_OBJECT

private slots:
    void relayTimeStamp_data();
    void relayTimeStamp();
    void dayCountOfWorkedExample();
    void buildRequestUrl_data();
    void buildRequestUrl();
    void buildRequestUrlNeverReadsBeyondBuffer();
    void supportDomainFromText_data();
    void supportDomainFromText();
    void sessionAddresses_data();
    void sessionAddresses();
    void domainFromTypedText_data();
    void domainFromTypedText();
    void extractMessageText_data();
    void extractMessageText();
    void parse_data();
    void parse();
    void parseFailureMessageQuotesBadValue();
    void incomingKindIsSticky();
    void moreValuesThanBufferKeepsFirst8192();
    void parseMessageValuesStopsAtBufferEnd_data();
    void parseMessageValuesStopsAtBufferEnd();
    void megabyteBodyParsesInLinearTime();
};

void TestRelayCodec::relayTimeStamp_data()
{
    QTest::addColumn<double>("dayCount");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("noon 2026-12-07") << 46363.5 << qint64(4636350000);
    QTest::newRow("epoch") << 0.0 << qint64(0);
    QTest::newRow("fraction of a unit truncated") << 46363.5 + 0.99e-5 << qint64(4636350000);
    QTest::newRow("two and a half units") << 46363.5 + 2.5e-5 << qint64(4636350002);
    QTest::newRow("before epoch truncates toward zero") << -1.5e-5 << qint64(-1);
    QTest::newRow("one second is 1.157 units") << 46363.5 + OneSecond << qint64(4636350001);
    QTest::newRow("ten seconds") << 46363.5 + 10 * OneSecond << qint64(4636350011);
    QTest::newRow("not a number") << std::nan("") << qint64(0);
    QTest::newRow("infinite") << HUGE_VAL << qint64(0);
}

void TestRelayCodec::relayTimeStamp()
{
    QFETCH(double, dayCount);
    QFETCH(qint64, expected);
    QCOMPARE(qint64(RelayTimeStamp(dayCount)), expected);
}

void TestRelayCodec::dayCountOfWorkedExample()
{
    // 46363.5 is indeed noon on 2026-12-07 in days since 1899-12-30, and the
    // manual clock the other suites use starts there.
    QCOMPARE(QDate(1899, 12, 30).daysTo(QDate(2026, 12, 7)), qint64(46363));
    QCOMPARE(qint64(RelayTimeStamp(ManualClock().Now())), qint64(4636350000));
}

void TestRelayCodec::buildRequestUrl_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("length");
    QTest::addColumn<Bytes>("bytes");  // put into the role's outgoing buffer
    QTest::addColumn<QString>("domain");
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("expectedUrl");
    QTest::addColumn<int>("expectedLength");

    const QString base = QStringLiteral("http://relay.example/support_x.php");
    QTest::newRow("support asks for state")
        << 1 << 0 << 5 << Bytes{1, 2, 3, 4, 5} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=0&time=4636350000" << 0;
    QTest::newRow("client chat Hi")
        << 0 << 4 << 2 << Bytes{72, 105} << "relay.example" << qint64(4636350000)
        << base + "?user=client&data=4$72$105&time=4636350000" << 2;
    QTest::newRow("client appends bytes whatever the kind")
        << 0 << 0 << 3 << Bytes{0, 255, 10} << "relay.example" << qint64(4636350000)
        << base + "?user=client&data=0$0$255$10&time=4636350000" << 3;
    QTest::newRow("client kind 2 with no bytes")
        << 0 << 2 << 0 << Bytes{7} << "relay.example" << qint64(1)
        << base + "?user=client&data=2&time=1" << 0;
    QTest::newRow("session code in the domain")
        << 1 << 0 << 0 << Bytes{} << "relay.example/s/7Q4K-2X9F" << qint64(1)
        << "http://relay.example/s/7Q4K-2X9F/support_x.php?user=support&data=0&time=1" << 0;
    QTest::newRow("support settings")
        << 1 << 3 << 3 << Bytes{1, 2, 3} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=3$1$2$3&time=4636350000" << 3;
    QTest::newRow("support chat")
        << 1 << 4 << 1 << Bytes{200} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=4$200&time=4636350000" << 1;
    QTest::newRow("support read settings drops bytes")
        << 1 << 1 << 7 << Bytes{9, 9, 9, 9, 9, 9, 9} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=1&time=4636350000" << 0;
    QTest::newRow("support stop drops bytes")
        << 1 << 5 << 2 << Bytes{9, 9} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=5&time=4636350000" << 0;
    QTest::newRow("support kind 2 drops bytes")
        << 1 << 2 << 2 << Bytes{9, 9} << "relay.example" << qint64(4636350000)
        << base + "?user=support&data=2&time=4636350000" << 0;
    QTest::newRow("negative length sends nothing, left as is")
        << 0 << 2 << -5 << Bytes{1} << "relay.example" << qint64(4636350000)
        << base + "?user=client&data=2&time=4636350000" << -5;
    QTest::newRow("two-digit kind byte")
        << 0 << 12 << 0 << Bytes{} << "relay.example" << qint64(4636350000)
        << base + "?user=client&data=12&time=4636350000" << 0;
    QTest::newRow("domain with port")
        << 1 << 0 << 0 << Bytes{} << "localhost:8080" << qint64(4636350000)
        << "http://localhost:8080/support_x.php?user=support&data=0&time=4636350000" << 0;
    QTest::newRow("TLS where the domain asks for it")
        << 1 << 0 << 0 << Bytes{} << "https://relay.example:8443/s/7Q4K-2X9F" << qint64(1)
        << "https://relay.example:8443/s/7Q4K-2X9F/support_x.php?user=support&data=0&time=1" << 0;
    QTest::newRow("empty domain")
        << 1 << 0 << 0 << Bytes{} << "" << qint64(4636350000)
        << "http:///support_x.php?user=support&data=0&time=4636350000" << 0;
    QTest::newRow("time zero") << 1 << 0 << 0 << Bytes{} << "relay.example" << qint64(0)
                               << base + "?user=support&data=0&time=0" << 0;
}

void TestRelayCodec::buildRequestUrl()
{
    QFETCH(int, role);
    QFETCH(int, kind);
    QFETCH(int, length);
    QFETCH(Bytes, bytes);
    QFETCH(QString, domain);
    QFETCH(qint64, time);
    QFETCH(QString, expectedUrl);
    QFETCH(int, expectedLength);

    SupportExchangeState state;
    state.SetSupportRole(uint8_t(role));
    state.SetOutgoing(uint8_t(kind), length);
    state.SetSupportDomain(domain);
    // The role's outgoing buffer gets the bytes; the other one a marker that
    // must never appear in the URL.
    SupportBuffer& outgoing = role == 1 ? state.SupportToClientBuffer() : state.ClientToSupportBuffer();
    SupportBuffer& other = role == 1 ? state.ClientToSupportBuffer() : state.SupportToClientBuffer();
    Fill(other, 77);
    for (size_t i = 0; i < bytes.size(); ++i)
        outgoing[i] = uint8_t(bytes[i]);

    QCOMPARE(&state.Outgoing(), &outgoing);
    QCOMPARE(BuildRequestUrl(state, time), expectedUrl);
    QCOMPARE(state.OutgoingLength(), expectedLength);
}

void TestRelayCodec::buildRequestUrlNeverReadsBeyondBuffer()
{
    SupportExchangeState state;
    state.SetSupportDomain(QStringLiteral("h"));
    state.SetOutgoing(2, 9000);
    for (int i = 0; i < SupportBufferSize; ++i)
        state.ClientToSupportBuffer()[size_t(i)] = uint8_t(i);
    const QString url = BuildRequestUrl(state, 5);
    QCOMPARE(url.count(QLatin1Char('$')), SupportBufferSize);
    QVERIFY(url.endsWith(QStringLiteral("$254$255&time=5")));
    QVERIFY(url.startsWith(QStringLiteral("http://h/support_x.php?user=client&data=2$0$1$2$")));
}

void TestRelayCodec::supportDomainFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("domain");
    QTest::newRow("host") << "relay.example.org" << "relay.example.org";
    QTest::newRow("host, port and code") << "host:8080/s/7Q4K-2X9F" << "host:8080/s/7Q4K-2X9F";
    QTest::newRow("pasted URL") << "http://host:8080/s/7Q4K-2X9F/" << "host:8080/s/7Q4K-2X9F";
    QTest::newRow("pasted script URL") << "HTTP://host:8080/s/7Q4K-2X9F/support_x.php" << "host:8080/s/7Q4K-2X9F";
    QTest::newRow("pasted request URL") << "http://relay.example.org/support_x.php?user=client&data=2&time=1"
                                        << "relay.example.org";
    QTest::newRow("https kept, blanks go") << "  HTTPS://relay.example.org/  " << "https://relay.example.org";
    QTest::newRow("pasted https session URL") << "https://relay.example.org:8443/s/7Q4K-2X9F-M3/support_x.php"
                                              << "https://relay.example.org:8443/s/7Q4K-2X9F-M3";
    QTest::newRow("empty") << "" << "";
}

void TestRelayCodec::supportDomainFromText()
{
    QFETCH(QString, text);
    QFETCH(QString, domain);
    QCOMPARE(SupportDomainFromText(text), domain);
}

// A domain's relay host and session code, and whether the code is one the
// relay keeps.
void TestRelayCodec::sessionAddresses_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("valid");
    QTest::newRow("trial session") << "relay.example.org" << "relay.example.org" << "" << false;
    QTest::newRow("grouped code") << "host:8080/s/7Q4K-2X9F-M3" << "host:8080" << "7Q4K-2X9F-M3" << true;
    QTest::newRow("TLS, lower case, O and I") << "https://host/s/7q4k2x9fOI" << "host" << "7q4k2x9fOI" << true;
    QTest::newRow("seven characters") << "host/s/7Q4K-2X9" << "host" << "7Q4K-2X9" << false;
    QTest::newRow("a U") << "host/s/7Q4K-2X9U" << "host" << "7Q4K-2X9U" << false;
    QTest::newRow("33 characters") << "host/s/" + QString(33, QLatin1Char('A')) << "host" << QString(33, QLatin1Char('A'))
                                   << false;
}

void TestRelayCodec::sessionAddresses()
{
    QFETCH(QString, domain);
    QFETCH(QString, host);
    QFETCH(QString, code);
    QFETCH(bool, valid);
    QCOMPARE(RelayHostOf(domain), host);
    QCOMPARE(SessionCodeOf(domain), code);
    QCOMPARE(IsSessionCode(code), valid);
    QCOMPARE(SessionDomain(domain, QStringLiteral("ABCD-EFGH-JK")).endsWith(host + "/s/ABCD-EFGH-JK"), true);
    // A new code is ten characters of the alphabet in groups of 4, 4 and 2,
    // and each one another.
    const QString fresh = NewSessionCode();
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{4}-[0-9A-HJKMNP-TV-Z]{2}$"))
                 .match(fresh).hasMatch(),
             qPrintable(fresh));
    QVERIFY(IsSessionCode(fresh) && fresh != NewSessionCode());
    // Each one can be typed alone: one in forty codes without a digit would
    // be taken for a host name.
    for (int i = 0; i < 400; ++i)
        QVERIFY(IsBareSessionCode(NewSessionCode()));
}

// What the "Support Domain Name..." box makes of what an owner types or
// pastes, with "relay.example.org:8080" in use.
void TestRelayCodec::domainFromTypedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("refusalStart");
    const QString session = QStringLiteral("relay.example.org:8080/s/");
    QTest::newRow("code alone, as heard") << " 6n7f-wjap-fv " << session + "6N7F-WJAP-FV" << "6N7F-WJAP-FV" << "";
    QTest::newRow("code alone, no dashes") << "6N7FWJAPFV" << session + "6N7FWJAPFV" << "6N7FWJAPFV" << "";
    QTest::newRow("a host without digits stays a host") << "localhost" << "localhost" << "" << "";
    QTest::newRow("a host with a port") << "relay.other.net:81" << "relay.other.net:81" << "" << "";
    QTest::newRow("session address") << "other.net/s/7Q4K-2X9F-M3" << "other.net/s/7Q4K-2X9F-M3" << "7Q4K-2X9F-M3" << "";
    QTest::newRow("the line read out, with its address")
        << "In the utility, choose Options, Support Domain Name..., enter https://other.net/s/7Q4K-2X9F-M3 and click OK."
        << "https://other.net/s/7Q4K-2X9F-M3" << "7Q4K-2X9F-M3" << "";
    QTest::newRow("the line read out, with a code") << "Session code: \"7Q4K-2X9F-M3\"." << session + "7Q4K-2X9F-M3"
                                                     << "7Q4K-2X9F-M3" << "";
    QTest::newRow("a line without a code") << "call me back tomorrow" << "" << ""
                                           << "No session code in \"call me back tomorrow\"";
    QTest::newRow("a malformed code in an address") << "other.net/s/7Q4K-2XU" << "" << ""
                                                    << "\"7Q4K-2XU\" is not a session code";
    QTest::newRow("empty") << "" << "" << "" << "";
}

void TestRelayCodec::domainFromTypedText()
{
    QFETCH(QString, text);
    QFETCH(QString, domain);
    QFETCH(QString, code);
    QFETCH(QString, refusalStart);
    const DomainChoice choice = DomainFromTypedText(text, QStringLiteral("relay.example.org:8080"));
    QCOMPARE(choice.domain, domain);
    QCOMPARE(choice.code, code);
    QVERIFY2(refusalStart.isEmpty() ? choice.refusal.isEmpty() : choice.refusal.startsWith(refusalStart),
             qPrintable(choice.refusal));
    // The technician reads the code alone for a session on the relay every
    // copy starts with, the whole address for another.
    QVERIFY(NewSessionText("7Q4K-2X9F-M3", "localhost:8080/s/7Q4K-2X9F-M3", "localhost:8080")
                .contains(QStringLiteral("enter 7Q4K-2X9F-M3 and click OK, then Yes")));
    QVERIFY(NewSessionText("7Q4K-2X9F-M3", "other.net/s/7Q4K-2X9F-M3", "localhost:8080")
                .contains(QStringLiteral("enter other.net/s/7Q4K-2X9F-M3 and click OK, then Yes")));
}

void TestRelayCodec::extractMessageText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("bare markers") << QByteArray("<body>\r\n3$1$2$</body>") << QByteArray("3$1$2$");
    QTest::newRow("inside a page") << QByteArray("<html><head></head><body>\r\nabc</body></html>")
                                   << QByteArray("abc");
    QTest::newRow("empty message") << QByteArray("<body>\r\n</body>") << QByteArray();
    QTest::newRow("no CR LF after start") << QByteArray("<body>abc</body>") << QByteArray();
    QTest::newRow("LF only after start") << QByteArray("<body>\nabc</body>") << QByteArray();
    QTest::newRow("missing end marker") << QByteArray("<body>\r\nabc") << QByteArray();
    QTest::newRow("missing start marker") << QByteArray("abc</body>") << QByteArray();
    QTest::newRow("end marker before start") << QByteArray("</body><body>\r\nabc") << QByteArray();
    QTest::newRow("first end marker is before start")
        << QByteArray("</body><body>\r\nabc</body>") << QByteArray();
    QTest::newRow("first of two messages") << QByteArray("<body>\r\nA</body><body>\r\nB</body>")
                                           << QByteArray("A");
    QTest::newRow("start marker that has CR LF")
        << QByteArray("<body>x<body>\r\nmsg</body>") << QByteArray("msg");
    QTest::newRow("line breaks inside kept") << QByteArray("<body>\r\n\r\n4$1\r\n</body>")
                                              << QByteArray("\r\n4$1\r\n");
    QTest::newRow("empty body") << QByteArray() << QByteArray();
    QTest::newRow("upper-case markers not recognised") << QByteArray("<BODY>\r\nabc</BODY>") << QByteArray();
}

void TestRelayCodec::extractMessageText()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QCOMPARE(ExtractMessageText(body), expected);
}

void TestRelayCodec::parse_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<int>("expectedKind");  // IncomingKind starts at 6 (no message kind)
    QTest::addColumn<Bytes>("expectedValues");
    QTest::addColumn<QString>("expectedStatus");  // empty: the failure message

    const QString nothing = QStringLiteral("Nothing received");
    // Client side.
    QTest::newRow("client settings 3$1$2$") << 0 << Wrap("3$1$2$") << true << 3 << Bytes{1, 2}
                                           << "Support sent new settings";
    QTest::newRow("client state request 0 alone") << 0 << Wrap("0") << true << 0 << Bytes{}
                                                  << "Support requested system state";
    QTest::newRow("client settings request") << 0 << Wrap("1") << true << 1 << Bytes{}
                                             << "Support requested system settings";
    QTest::newRow("client stop") << 0 << Wrap("5") << true << 5 << Bytes{} << "Support stops";
    QTest::newRow("client chat") << 0 << Wrap("4$72$105") << true << 4 << Bytes{72, 105}
                                 << "Support sent chat";
    QTest::newRow("client kind without data ignores values")
        << 0 << Wrap("0$1$2") << true << 0 << Bytes{} << "Support requested system state";
    QTest::newRow("client receives kind 2") << 0 << Wrap("2$1$2") << true << 6 << Bytes{} << nothing;
    QTest::newRow("client unknown digit") << 0 << Wrap("9") << true << 6 << Bytes{} << nothing;
    QTest::newRow("client letter") << 0 << Wrap("x$1") << true << 6 << Bytes{} << nothing;
    QTest::newRow("client empty message") << 0 << Wrap("") << true << 6 << Bytes{} << nothing;
    QTest::newRow("client missing marker") << 0 << QByteArray("3$1$2") << true << 6 << Bytes{} << nothing;
    QTest::newRow("client empty body") << 0 << QByteArray() << true << 6 << Bytes{} << nothing;
    QTest::newRow("client bad value after good one")
        << 0 << Wrap("3$1$x$2") << false << 3 << Bytes{1} << "";
    QTest::newRow("client chat bad first value") << 0 << Wrap("4$abc") << false << 4 << Bytes{} << "";
    QTest::newRow("client bad value in kind without data is not read")
        << 0 << Wrap("1$x") << true << 1 << Bytes{} << "Support requested system settings";

    // Support side.
    QTest::newRow("support 2 alone too short") << 1 << Wrap("2") << true << 6 << Bytes{} << nothing;
    QTest::newRow("support state, no values") << 1 << Wrap("2$") << true << 2 << Bytes{}
                                               << "Client sent system state";
    QTest::newRow("support state") << 1 << Wrap("2$10$20$30") << true << 2 << Bytes{10, 20, 30}
                                   << "Client sent system state";
    QTest::newRow("support settings") << 1 << Wrap("3$7") << true << 3 << Bytes{7}
                                      << "Client sent system settings";
    QTest::newRow("support chat") << 1 << Wrap("4$72$105") << true << 4 << Bytes{72, 105}
                                  << "Client sent chat";
    QTest::newRow("support ignores kind 0") << 1 << Wrap("0$1") << true << 6 << Bytes{} << nothing;
    QTest::newRow("support ignores kind 1") << 1 << Wrap("1$") << true << 6 << Bytes{} << nothing;
    QTest::newRow("support ignores kind 5") << 1 << Wrap("5$") << true << 6 << Bytes{} << nothing;
    QTest::newRow("4$$5 stores nothing") << 1 << Wrap("4$$5") << true << 4 << Bytes{} << "Client sent chat";
    QTest::newRow("256 and -1") << 1 << Wrap("3$256$-1") << true << 3 << Bytes{0, 255}
                                << "Client sent system settings";
    QTest::newRow("low 8 bits of extremes")
        << 1 << Wrap("3$-256$257$-129$+5$2147483647$-2147483648") << true << 3
        << Bytes{0, 1, 127, 5, 255, 0} << "Client sent system settings";
    QTest::newRow("text before first separator ignored")
        << 1 << Wrap("3abc$1$2") << true << 3 << Bytes{1, 2} << "Client sent system settings";
    QTest::newRow("values end at first empty one")
        << 1 << Wrap("2$1$2$$9$x") << true << 2 << Bytes{1, 2} << "Client sent system state";
    QTest::newRow("bad value") << 1 << Wrap("2$1$2a$3") << false << 2 << Bytes{1} << "";
    QTest::newRow("decimal point") << 1 << Wrap("2$1.5") << false << 2 << Bytes{} << "";
    QTest::newRow("sign alone") << 1 << Wrap("2$5$-") << false << 2 << Bytes{5} << "";
    QTest::newRow("beyond 32 bits") << 1 << Wrap("2$3$2147483648") << false << 2 << Bytes{3} << "";
    QTest::newRow("far beyond 32 bits") << 1 << Wrap("2$99999999999999999999999") << false << 2 << Bytes{}
                                        << "";
}

void TestRelayCodec::parse()
{
    QFETCH(int, role);
    QFETCH(QByteArray, body);
    QFETCH(bool, expectedResult);
    QFETCH(int, expectedKind);
    QFETCH(Bytes, expectedValues);
    QFETCH(QString, expectedStatus);

    SupportExchangeState state;
    state.SetIncoming(6, 77);
    state.SetSupportStatusText(QStringLiteral("HTTP/1.1 200 OK"));
    SupportBuffer& incoming = role == 1 ? state.ClientToSupportBuffer() : state.SupportToClientBuffer();
    SupportBuffer& outgoing = role == 1 ? state.SupportToClientBuffer() : state.ClientToSupportBuffer();
    Fill(incoming, 0xAA);
    Fill(outgoing, 0x55);
    state.SetSupportRole(uint8_t(role));
    QCOMPARE(&state.Incoming(), &incoming);

    QString failure = QStringLiteral("untouched");
    const bool result = role == 1 ? ParseClientMessage(state, body, &failure)
                                  : ParseSupportMessage(state, body, &failure);

    QCOMPARE(result, expectedResult);
    QCOMPARE(int(state.IncomingKind()), expectedKind);
    QCOMPARE(state.IncomingLength(), int32_t(expectedValues.size()));
    for (size_t i = 0; i < expectedValues.size(); ++i)
        QCOMPARE(int(incoming[i]), expectedValues[i]);
    // Everything after the stored values was cleared; the outgoing buffer is untouched.
    QCOMPARE(CountOf(incoming, 0xAA), 0);
    QVERIFY(std::all_of(incoming.begin() + long(expectedValues.size()), incoming.end(),
                        [](uint8_t b) { return b == 0; }));
    QCOMPARE(CountOf(outgoing, 0x55), SupportBufferSize);
    if (expectedResult) {
        QCOMPARE(state.SupportStatusText(), expectedStatus);
        QCOMPARE(failure, QStringLiteral("untouched"));
    } else {
        QVERIFY(failure != QStringLiteral("untouched"));
        QVERIFY(!failure.isEmpty());
        QCOMPARE(state.SupportStatusText(), failure);
    }
}

void TestRelayCodec::parseFailureMessageQuotesBadValue()
{
    SupportExchangeState state;
    QString failure;
    QVERIFY(!ParseClientMessage(state, Wrap("3$12$1x2"), &failure));
    QCOMPARE(failure, QStringLiteral("'1x2' is not a valid integer value"));

    // A huge bad value is quoted only in part.
    QVERIFY(!ParseClientMessage(state, Wrap("3$" + QByteArray(100000, 'z')), &failure));
    QVERIFY(failure.size() < 100);
    QVERIFY(failure.endsWith(QStringLiteral("...' is not a valid integer value")));

    // No place for the message is fine too.
    QVERIFY(!ParseSupportMessage(state, Wrap("3$q"), nullptr));
    QCOMPARE(state.SupportStatusText(), QStringLiteral("'q' is not a valid integer value"));
}

void TestRelayCodec::incomingKindIsSticky()
{
    SupportExchangeState state;
    QVERIFY(ParseSupportMessage(state, Wrap("3$1$2"), nullptr));
    QCOMPARE(int(state.IncomingKind()), 3);
    QCOMPARE(state.IncomingLength(), 2);

    // An answer with nothing recognised keeps the kind but clears the data.
    QVERIFY(ParseSupportMessage(state, Wrap(""), nullptr));
    QCOMPARE(int(state.IncomingKind()), 3);
    QCOMPARE(state.IncomingLength(), 0);
    QCOMPARE(CountOf(state.SupportToClientBuffer(), 0), SupportBufferSize);
    QCOMPARE(state.SupportStatusText(), QStringLiteral("Nothing received"));

    QVERIFY(ParseSupportMessage(state, Wrap("2$9$9"), nullptr));
    QCOMPARE(int(state.IncomingKind()), 3);

    QVERIFY(ParseSupportMessage(state, Wrap("1"), nullptr));
    QCOMPARE(int(state.IncomingKind()), 1);

    // A bad value still sets the kind of its message.
    QVERIFY(!ParseSupportMessage(state, Wrap("4$x"), nullptr));
    QCOMPARE(int(state.IncomingKind()), 4);

    // The two roles share the kind.
    QVERIFY(ParseClientMessage(state, Wrap("0$"), nullptr));
    QCOMPARE(int(state.IncomingKind()), 4);
}

void TestRelayCodec::moreValuesThanBufferKeepsFirst8192()
{
    QByteArray message("2");
    for (int i = 0; i < 20000; ++i)
        message += '$' + QByteArray::number(i % 251);
    message += "$bad";  // beyond the buffer: not even looked at

    SupportExchangeState state;
    Fill(state.SupportToClientBuffer(), 0x33);
    QVERIFY(ParseClientMessage(state, Wrap(message), nullptr));
    QCOMPARE(state.IncomingLength(), SupportBufferSize);
    for (int i = 0; i < SupportBufferSize; ++i)
        QCOMPARE(int(state.ClientToSupportBuffer()[size_t(i)]), i % 251);
    QCOMPARE(CountOf(state.SupportToClientBuffer(), 0x33), SupportBufferSize);
    QCOMPARE(state.SupportStatusText(), QStringLiteral("Client sent system state"));
}

void TestRelayCodec::parseMessageValuesStopsAtBufferEnd_data()
{
    QTest::addColumn<int>("startLength");
    QTest::addColumn<int>("expectedLength");
    QTest::addColumn<int>("expectedLastByte");  // buffer[8191]

    QTest::newRow("two places left") << 8190 << 8192 << 2;
    QTest::newRow("full") << 8192 << 8192 << 0;
    QTest::newRow("negative start writes nothing") << -1 << -1 << 0;
    QTest::newRow("room for all") << 0 << 5 << 0;
}

void TestRelayCodec::parseMessageValuesStopsAtBufferEnd()
{
    QFETCH(int, startLength);
    QFETCH(int, expectedLength);
    QFETCH(int, expectedLastByte);

    SupportBuffer buffer{};
    int32_t length = startLength;
    QVERIFY(ParseMessageValues("3$1$2$3$4$5", buffer, length, nullptr));
    QCOMPARE(length, expectedLength);
    QCOMPARE(int(buffer[SupportBufferSize - 1]), expectedLastByte);
    const int written = SupportBufferSize - CountOf(buffer, 0);
    QCOMPARE(written, std::max(0, expectedLength - std::max(0, startLength)));
}

void TestRelayCodec::megabyteBodyParsesInLinearTime()
{
    // A 1 MB answer: a long run of text before the first separator, then far
    // more values than fit. Parsing must not copy the text once per value.
    QByteArray message("4");
    message += QByteArray(600000, 'a');
    while (message.size() < 1024 * 1024)
        message += "$65";
    QByteArray body = Wrap(message);

    QElapsedTimer timer;
    timer.start();
    SupportExchangeState state;
    for (int round = 0; round < 5; ++round)
        QVERIFY(ParseSupportMessage(state, body, nullptr));
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(state.IncomingLength(), SupportBufferSize);
    QCOMPARE(CountOf(state.SupportToClientBuffer(), 65), SupportBufferSize);
}

QTEST_GUILESS_MAIN(TestRelayCodec)
#include "test_relay_codec.moc"
