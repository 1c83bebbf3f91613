// The relay script under `php -S` on loopback, and SupportExchange against it
// and against a scripted HTTP server for the faults the relay cannot show.
#include "rig/fake_relay.h"
#include "rig/test_support.h"
#include "rig/php_relay.h"
#include "station/relay_link.h"
#include "support/support_exchange.h"
#include "time/clock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QSslConfiguration>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace {

using Settings = QMap<QString, QString>;

struct HttpResult {
    int status = 0;
    QByteArray body;
    QString error;
    QByteArray retryAfter;
};

// A plain GET, independent of SupportExchange, for checking the relay itself.
HttpResult Get(QNetworkAccessManager& manager, const QString& url)
{
    QNetworkRequest request{QUrl(url)};
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, reply, &QNetworkReply::abort);
    loop.exec();
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.error = reply->errorString();
    result.retryAfter = reply->rawHeader("Retry-After");
    reply->deleteLater();
    return result;
}


void ClearMailboxes(const QString& dir)
{
    QDir(dir + QStringLiteral("/sessions")).removeRecursively();
}

// The session folders the relay keeps, sorted ("trial", "s-<CODE>").
QStringList SessionFolders(const PhpRelay& relay)
{
    return QDir(relay.MailboxDir() + QStringLiteral("/sessions")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// A session code of the relay's alphabet for a number.
QString CodeFor(int n)
{
    static const char alphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
    QString code;
    for (int i = 0; i < 8; ++i, n /= 32)
        code += QLatin1Char(alphabet[n % 32]);
    return code;
}

// The relay's answers that refuse a request for a session: the body that
// goes with each, and a Retry-After of 1 to 60 s with 429.
void CheckRefusal(const HttpResult& r)
{
    if (r.status == 404)
        QCOMPARE(r.body, QByteArray("No support session with this code\r\n"));
    if (r.status == 429) {
        QCOMPARE(r.body, QByteArray("Too many new sessions from this address\r\n"));
        bool ok = false;
        const int seconds = r.retryAfter.toInt(&ok);
        QVERIFY2(ok && seconds >= 1 && seconds <= 60, r.retryAfter.constData());
    }
    if (r.status == 503)
        QCOMPARE(r.body, QByteArray("Relay full: no new session now\r\n"));
}

// Moves the relay's record of the sessions each address opened a minute
// back, as if the minute had passed.
bool AgeOpenings(const PhpRelay& relay)
{
    const QDir dir(relay.MailboxDir() + QStringLiteral("/sessions/.new"));
    const QStringList names = dir.entryList(QDir::Files);
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadWrite))
            return false;
        QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        QJsonArray runs;
        for (const QJsonValue& run : record.value(QStringLiteral("runs")).toArray()) {
            QJsonArray aged;
            const QJsonArray values = run.toArray();
            aged << values[0].toDouble() - 61 << values[1].toDouble() - 61 << values[2];
            runs.append(aged);
        }
        record.insert(QStringLiteral("runs"), runs);
        const QByteArray text = QJsonDocument(record).toJson(QJsonDocument::Compact);
        if (!file.resize(0) || !file.seek(0) || file.write(text) != text.size())
            return false;
    }
    return !names.isEmpty();
}

QByteArray HeaderValue(const QByteArray& request, const QByteArray& name)
{
    const QList<QByteArray> lines = request.split('\n');
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

// One GET on its own connection, sent exactly once; status and body are
// filled in when the server closes the connection.
struct RawGet {
    QByteArray target;
    QTcpSocket socket;
    QByteArray received;
    int status = 0;
    QByteArray body;
    bool done = false;

    // `held`: connect only, and send when Send() is called, so that many
    // requests can reach the server at the same moment.
    RawGet(quint16 port, const QByteArray& target, bool held = false) : target(target)
    {
        QObject::connect(&socket, &QTcpSocket::connected, [this, held] {
            if (!held)
                Send();
        });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { Finish(); });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                Finish();
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    void Send() { socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"); }
    void Finish()
    {
        if (done)
            return;
        done = true;
        received += socket.readAll();
        const qsizetype headEnd = received.indexOf("\r\n\r\n");
        const QList<QByteArray> statusLine = received.left(received.indexOf("\r\n")).split(' ');
        if (headEnd < 0 || statusLine.size() < 2)
            return;
        status = statusLine[1].toInt();
        body = received.mid(headEnd + 4);
    }
};

// Records every call of the request-under-way callback.
struct BusyLog {
    QList<bool> calls;
    std::function<void(bool)> Callback()
    {
        return [this](bool busy) { calls.append(busy); };
    }
};

} // namespace

class TestRelayPhp : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    // The relay script itself.
    void messageIsHandedOverOnce();
    void oneShotsAreNeverReplaced_data();
    void oneShotsAreNeverReplaced();
    void fullQueueRefusesOneShots();
    void sessionsArePrivate_data();
    void sessionsArePrivate();
    void unsafeStorageIsRefused_data();
    void unsafeStorageIsRefused();
    void unusedSessionsAreRemoved();
    void newSessionsAreBounded_data();
    void newSessionsAreBounded();
    void parallelNewSessionsStayWithinTheCap_data();
    void parallelNewSessionsStayWithinTheCap();
    void floodOfNewCodesIsRefused_data();
    void floodOfNewCodesIsRefused();
    void wellFormedDataIsRelayedVerbatim_data();
    void wellFormedDataIsRelayedVerbatim();
    void malformedRequestIsRejectedAndChangesNothing_data();
    void malformedRequestIsRejectedAndChangesNothing();
    void longestLegalQueryIsAccepted();
    void onlyGetIsServed();
    void expiredMessageIsDropped();
    void messageOlderThanAgeLimitIsDropped();
    void concurrentRequestsNeverDeliverTwice();

    // SupportExchange against the relay.
    void stateAndSettingsTravelBothWays();
    void exchangeOverTls_data();
    void exchangeOverTls();
    void chatTravelsFromSupportToClient();
    void relayLinksCarryTheirMessages();
    void relayErrorStatusFails_data();
    void relayErrorStatusFails();
    void requestCarriesFixedHeaders_data();
    void requestCarriesFixedHeaders();
    void applicationProxyIsNotUsed();
    void cookiesAreSentBack();
    void faultsEndAsFailedExchange_data();
    void faultsEndAsFailedExchange();
    void neverAnsweringRelayTimesOut();
    void refusedConnectionFails();
    void emptyDomainFails();
    void secondExchangeWhileOneWaitsIsRefused();
    void destroyingDuringExchangeEndsIt();

private:
    std::unique_ptr<PhpRelay> relay_;
    QNetworkAccessManager manager_;
};

void TestRelayPhp::initTestCase()
{
    manager_.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    relay_ = std::make_unique<PhpRelay>();
    QVERIFY2(relay_->IsRunning(), qPrintable(relay_->ErrorText()));
    QCOMPARE(relay_->Domain(), QStringLiteral("127.0.0.1:%1").arg(relay_->Port()));
}

void TestRelayPhp::init()
{
    ClearMailboxes(relay_->MailboxDir());
}

void TestRelayPhp::messageIsHandedOverOnce()
{
    const QString url = relay_->ScriptUrl();
    HttpResult r = Get(manager_, url + "?user=client&data=2$1$2&time=5");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, RelayBody(""));

    r = Get(manager_, url + "?user=support&data=0&time=6");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, RelayBody("2$1$2"));

    // Delivered once only.
    r = Get(manager_, url + "?user=support&data=0&time=7");
    QCOMPARE(r.body, RelayBody(""));

    // The other direction: the support's latest request waits for the client.
    r = Get(manager_, url + "?user=client&data=2$3&time=8");
    QCOMPARE(r.body, RelayBody("0"));
    r = Get(manager_, url + "?user=client&data=2$3&time=9");
    QCOMPARE(r.body, RelayBody(""));
    r = Get(manager_, url + "?user=support&data=1&time=10");
    QCOMPARE(r.body, RelayBody("2$3"));
}

// A periodic message replaces the sender's older undelivered one; a one-shot
// (settings request, settings, chat, stop) waits, the one-shots arrive in the
// order sent and before a periodic message, one message per request.
void TestRelayPhp::oneShotsAreNeverReplaced_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("delivered");
    QTest::newRow("support chat, then state requests")
        << "support" << QStringList{"4$72$105", "0", "0", "0"} << QStringList{"4$72$105", "0", ""};
    QTest::newRow("support settings request, settings and stop between requests")
        << "support" << QStringList{"0", "1", "0", "3$1$2", "0", "5", "0"} << QStringList{"1", "3$1$2", "5", "0", ""};
    QTest::newRow("client settings and chat between states")
        << "client" << QStringList{"2$1", "3$7", "2$2", "4$65", "2$3"} << QStringList{"3$7", "4$65", "2$3", ""};
    QTest::newRow("a one-shot goes before a waiting state request")
        << "support" << QStringList{"0", "4$1"} << QStringList{"4$1", "0", ""};
    QTest::newRow("the same chat twice") << "client" << QStringList{"4$65", "4$65"} << QStringList{"4$65", "4$65", ""};
}

void TestRelayPhp::oneShotsAreNeverReplaced()
{
    QFETCH(QString, sender);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, delivered);
    const QString url = relay_->ScriptUrl();
    const QString receiver = sender == QLatin1String("client") ? QStringLiteral("support") : QStringLiteral("client");
    const QString receiverKind = receiver == QLatin1String("client") ? QStringLiteral("2") : QStringLiteral("0");
    for (const QString& data : sent)
        QCOMPARE(Get(manager_, url + "?user=" + sender + "&data=" + data + "&time=1").status, 200);
    for (const QString& expected : delivered)
        QCOMPARE(Get(manager_, url + "?user=" + receiver + "&data=" + receiverKind + "&time=2").body,
                 RelayBody(expected.toLatin1()));
}

void TestRelayPhp::fullQueueRefusesOneShots()
{
    const QString url = relay_->ScriptUrl();
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=1").status, 200);
    for (int i = 0; i < 63; ++i)
        QCOMPARE(Get(manager_, url + QStringLiteral("?user=support&data=4$%1&time=1").arg(i)).status, 200);
    // 64 waiting: the next one-shot pushes out the periodic message...
    QCOMPARE(Get(manager_, url + "?user=support&data=4$63&time=1").status, 200);
    // ...and the one after that cannot be kept: refused, not lost.
    const auto before = relay_->StoredFiles();
    const HttpResult refused = Get(manager_, url + "?user=support&data=4$64&time=1");
    QCOMPARE(refused.status, 503);
    QVERIFY(relay_->StoredFiles() == before);
    // A periodic message is taken (and dropped at once for lack of room).
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=1").status, 200);
    for (int i = 0; i < 64; ++i)
        QCOMPARE(Get(manager_, url + "?user=client&data=2&time=2").body,
                 RelayBody("4$" + QByteArray::number(i)));
    QCOMPARE(Get(manager_, url + "?user=client&data=2&time=2").body, RelayBody(""));
}

// The path in front of the script names the session: each code is a pair of
// queues of its own, read case-blind and with dashes ignored.
void TestRelayPhp::sessionsArePrivate_data()
{
    QTest::addColumn<QString>("senderPath");
    QTest::addColumn<QString>("receiverPath");
    QTest::addColumn<bool>("delivered");
    QTest::newRow("same code") << "/s/7Q4K-2X9F" << "/s/7Q4K-2X9F" << true;
    QTest::newRow("code read case-blind, without dashes") << "/s/7Q4K-2X9F" << "/s/7q4k2x9f" << true;
    QTest::newRow("O and I read as 0 and 1") << "/s/10A0-B1C9" << "/s/IOAO-BIC9" << true;
    QTest::newRow("other code") << "/s/7Q4K-2X9F" << "/s/7Q4K-2X9G" << false;
    QTest::newRow("code and trial") << "/s/7Q4K-2X9F" << "" << false;
    QTest::newRow("trial and code") << "" << "/s/7Q4K-2X9F" << false;
}

void TestRelayPhp::sessionsArePrivate()
{
    QFETCH(QString, senderPath);
    QFETCH(QString, receiverPath);
    QFETCH(bool, delivered);
    const QString base = QStringLiteral("http://") + relay_->Domain();
    // The technician opens both sessions; the support side's own requests
    // wait for the client, never for the support side.
    for (const QString& path : {senderPath, receiverPath})
        QCOMPARE(Get(manager_, base + path + "/support_x.php?user=support&data=0&time=1").status, 200);
    QCOMPARE(Get(manager_, base + senderPath + "/support_x.php?user=client&data=2$9&time=1").status, 200);
    QCOMPARE(Get(manager_, base + receiverPath + "/support_x.php?user=support&data=0&time=2").body,
             RelayBody(delivered ? "2$9" : ""));
}

// Storage another local user could reach or redirect is not used at all.
void TestRelayPhp::unsafeStorageIsRefused_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("readable by others") << "mode 0755";
    QTest::newRow("a symbolic link") << "link";
    QTest::newRow("another user's") << "owner";
    QTest::newRow("session folder a link") << "session link";
}

void TestRelayPhp::unsafeStorageIsRefused()
{
    QFETCH(QString, fault);
    QTemporaryDir parent;
    const QString real = parent.filePath(QStringLiteral("real"));
    QVERIFY(QDir().mkdir(real));
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QString dir = real;
    if (fault == QLatin1String("mode 0755")) {
        QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                                | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    } else if (fault == QLatin1String("link")) {
        dir = parent.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(real, dir));
    } else if (fault == QLatin1String("owner")) {
#ifdef Q_OS_UNIX
        if (::geteuid() != 0)
            QSKIP("only root can give the folder to another user");
        QVERIFY(::chown(QFile::encodeName(real).constData(), 65534, 65534) == 0);
#else
        QSKIP("folder owners are checked on Unix only");
#endif
    } else {
        QVERIFY(QDir().mkdir(real + QStringLiteral("/sessions")));
        QVERIFY(QFile::setPermissions(real + QStringLiteral("/sessions"),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QTemporaryDir elsewhere;
        QVERIFY(QFile::link(elsewhere.path(), real + QStringLiteral("/sessions/trial")));
    }
    PhpRelay relay({{QStringLiteral("KROVA_RELAY_DIR"), dir}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const HttpResult r = Get(manager_, relay.ScriptUrl() + "?user=client&data=2$9&time=1");
    QCOMPARE(r.status, 500);
    QCOMPARE(QDir(real).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             fault == QLatin1String("session link") ? QStringList{"sessions"} : QStringList{});
}

void TestRelayPhp::unusedSessionsAreRemoved()
{
    PhpRelay relay({{QStringLiteral("KROVA_RELAY_SESSION_TTL"), QStringLiteral("1")},
                    {QStringLiteral("KROVA_RELAY_MAX_AGE"), QStringLiteral("1")},
                    {QStringLiteral("KROVA_RELAY_MAX_SESSIONS"), QStringLiteral("2")}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QString base = QStringLiteral("http://") + relay.Domain();
    QCOMPARE(Get(manager_, base + "/s/AAAA-BBBB/support_x.php?user=support&data=0&time=1").status, 200);
    QCOMPARE(Get(manager_, base + "/s/EEEE-FFFF/support_x.php?user=support&data=0&time=1").status, 200);
    // Two live: the relay is full.
    QCOMPARE(Get(manager_, base + "/s/CCCC-DDDD/support_x.php?user=support&data=0&time=1").status, 503);
    const QString sessions = relay.MailboxDir() + QStringLiteral("/sessions");
    QVERIFY(QFileInfo::exists(sessions + QStringLiteral("/s-AAAABBBB/state")));
    // A worker stopped in the middle of a save leaves its temporary file.
    WriteAll(sessions + QStringLiteral("/s-AAAABBBB/state.0123456789abcdef"), "{}");
    QTest::qWait(1200);
    // The sweep runs at most every minute; its marker going makes it due.
    QVERIFY(QFile::remove(sessions + QStringLiteral("/.swept")));
    // The customer comes back after the session went: it is not started again.
    const HttpResult late = Get(manager_, base + "/s/AAAA-BBBB/support_x.php?user=client&data=2$1&time=2");
    QCOMPARE(late.status, 404);
    CheckRefusal(late);
    QVERIFY(!QFileInfo::exists(sessions + QStringLiteral("/s-AAAABBBB")));
    QVERIFY(!QFileInfo::exists(sessions + QStringLiteral("/s-EEEEFFFF")));
    // The places the swept sessions held are free at once.
    QCOMPARE(Get(manager_, base + "/s/CCCC-DDDD/support_x.php?user=support&data=0&time=2").status, 200);
    QVERIFY(QFileInfo::exists(sessions + QStringLiteral("/s-CCCCDDDD/state")));
    QCOMPARE(SessionFolders(relay), QStringList{"s-CCCCDDDD"});
}

// Only the technician's side opens a session with a code (the trial session
// either side); a new session is refused while as many live as allowed, while
// the stored messages leave no room for its queues, or when its address
// opened as many as it may in the last minute; the ones that live go on.
void TestRelayPhp::newSessionsAreBounded_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<QStringList>("requests"); // "<user> <code or trial>", each leaving settings
    QTest::addColumn<QList<int>>("statuses");
    QTest::addColumn<QStringList>("folders"); // the session folders afterwards
    const QString maxSessions = QStringLiteral("KROVA_RELAY_MAX_SESSIONS");
    const QString perMinute = QStringLiteral("KROVA_RELAY_NEW_SESSIONS_PER_MINUTE");
    const QStringList abca{"support AAAA-AAAA", "support BBBB-BBBB", "support CCCC-CCCC", "support AAAA-AAAA"};
    QTest::newRow("two sessions") << Settings{{maxSessions, "2"}} << abca << QList<int>{200, 200, 503, 200}
                                  << QStringList{"s-AAAAAAAA", "s-BBBBBBBB"};
    QTest::newRow("room for one session's queues")
        << Settings{{QStringLiteral("KROVA_RELAY_MAX_BYTES"), "100000"}} << abca << QList<int>{200, 503, 503, 200}
        << QStringList{"s-AAAAAAAA"};
    QTest::newRow("no bound reached") << Settings{} << abca << QList<int>{200, 200, 200, 200}
                                      << QStringList{"s-AAAAAAAA", "s-BBBBBBBB", "s-CCCCCCCC"};
    QTest::newRow("a customer cannot open a session")
        << Settings{} << QStringList{"client AAAA-AAAA", "client BBBB-BBBB"} << QList<int>{404, 404} << QStringList{};
    QTest::newRow("the technician opens, then the customer comes")
        << Settings{} << QStringList{"client AAAA-AAAA", "support AAAA-AAAA", "client AAAA-AAAA", "client aaaa-aaaa"}
        << QList<int>{404, 200, 200, 200} << QStringList{"s-AAAAAAAA"};
    QTest::newRow("a customer opens the trial session")
        << Settings{} << QStringList{"client trial", "support trial"} << QList<int>{200, 200} << QStringList{"trial"};
    QStringList eleven;
    QStringList ten;
    for (int i = 0; i < 11; ++i) {
        eleven << QStringLiteral("support ") + CodeFor(100 + i);
        if (i < 10)
            ten << QStringLiteral("s-") + CodeFor(100 + i);
    }
    QTest::newRow("the eleventh new session in a minute")
        << Settings{} << eleven + QStringList{"client " + CodeFor(100), "support " + CodeFor(100), "client " + CodeFor(109)}
        << QList<int>{200, 200, 200, 200, 200, 200, 200, 200, 200, 200, 429, 200, 200, 200} << ten;
    QTest::newRow("two new sessions a minute")
        << Settings{{perMinute, "2"}} << QStringList{"support AAAA-AAAA", "support BBBB-BBBB", "support CCCC-CCCC", "client BBBB-BBBB"}
        << QList<int>{200, 200, 429, 200} << QStringList{"s-AAAAAAAA", "s-BBBBBBBB"};
    QTest::newRow("the trial session is no address's new session")
        << Settings{{perMinute, "1"}} << QStringList{"support AAAA-AAAA", "client trial", "support BBBB-BBBB"}
        << QList<int>{200, 200, 429} << QStringList{"s-AAAAAAAA", "trial"};
    QTest::newRow("no new sessions at all")
        << Settings{{perMinute, "0"}} << QStringList{"support AAAA-AAAA", "client trial", "client AAAA-AAAA"}
        << QList<int>{429, 200, 404} << QStringList{"trial"};
}

void TestRelayPhp::newSessionsAreBounded()
{
    QFETCH(Settings, settings);
    QFETCH(QStringList, requests);
    QFETCH(QList<int>, statuses);
    QFETCH(QStringList, folders);
    PhpRelay relay(settings);
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QString base = QStringLiteral("http://") + relay.Domain();
    QByteArray values;
    for (int i = 0; i < 540; ++i)
        values += "$255";
    QList<int> got;
    for (const QString& request : requests) {
        const QStringList parts = request.split(QLatin1Char(' '));
        const QString path = parts[1] == QLatin1String("trial") ? QString() : "/s/" + parts[1];
        const bool before = QFileInfo::exists(relay.MailboxDir() + "/sessions");
        const auto stored = relay.StoredFiles();
        const HttpResult r = Get(manager_, base + path + "/support_x.php?user=" + parts[0] + "&data=3" + values + "&time=1");
        CheckRefusal(r);
        // A refused request stores nothing (once the relay's folders exist).
        if (r.status != 200 && before)
            QVERIFY2(relay.StoredFiles() == stored, qPrintable(request));
        got << r.status;
    }
    QCOMPARE(got, statuses);
    QCOMPARE(SessionFolders(relay), folders);
}

// Many technicians open sessions at the same moment: however their requests
// meet, no more sessions live than the relay allows.
void TestRelayPhp::parallelNewSessionsStayWithinTheCap_data()
{
    QTest::addColumn<int>("existing"); // sessions open before, of 20 allowed
    QTest::addColumn<int>("opened");   // of the 16 requests with new codes
    QTest::newRow("three places left") << 17 << 3;
    QTest::newRow("no place left") << 20 << 0;
    QTest::newRow("room for all") << 0 << 16;
}

void TestRelayPhp::parallelNewSessionsStayWithinTheCap()
{
    QFETCH(int, existing);
    QFETCH(int, opened);
    constexpr int Parallel = 16;
    PhpRelay relay({{QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(Parallel)},
                    {QStringLiteral("KROVA_RELAY_MAX_SESSIONS"), QStringLiteral("20")},
                    {QStringLiteral("KROVA_RELAY_NEW_SESSIONS_PER_MINUTE"), QStringLiteral("100")}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    // A few rounds: whether requests meet in the middle of a check is chance.
    for (int round = 0; round < 3; ++round) {
        ClearMailboxes(relay.MailboxDir());
        for (int i = 0; i < existing; ++i)
            QCOMPARE(Get(manager_, "http://" + relay.Domain() + "/s/" + CodeFor(i) + "/support_x.php?user=support&data=0&time=1")
                         .status,
                     200);
        // All connected first, then every request goes out at once.
        std::vector<std::unique_ptr<RawGet>> requests;
        for (int i = 0; i < Parallel; ++i)
            requests.push_back(std::make_unique<RawGet>(
                relay.Port(), "/s/" + CodeFor(100 + i).toLatin1() + "/support_x.php?user=support&data=0&time=1", true));
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(requests.begin(), requests.end(),
                                             [](const auto& r) { return r->socket.state() == QAbstractSocket::ConnectedState; }),
                                 10000);
        for (const auto& r : requests)
            r->Send();
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(requests.begin(), requests.end(), [](const auto& r) { return r->done; }), 20000);
        int answered = 0;
        for (int i = 0; i < Parallel; ++i) {
            const int status = requests[std::size_t(i)]->status;
            QVERIFY2(status == 200 || status == 503, qPrintable(QString::number(status)));
            answered += status == 200;
            QCOMPARE(SessionFolders(relay).contains("s-" + CodeFor(100 + i)), status == 200);
        }
        QCOMPARE(answered, opened);
        QCOMPARE(SessionFolders(relay).size(), existing + opened);
    }
}

// One address sends new codes as fast as it can: past its limit it is told
// to wait (429), the sessions that live go on exchanging meanwhile, and once
// the minute has passed a technician opens a real session again.
void TestRelayPhp::floodOfNewCodesIsRefused_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<int>("flood");  // requests with new codes
    QTest::addColumn<int>("opened"); // of them, answered 200
    QTest::newRow("default limits") << Settings{} << 30 << 9;
    QTest::newRow("a relay with room for 12 sessions")
        << Settings{{QStringLiteral("KROVA_RELAY_MAX_SESSIONS"), QStringLiteral("12")}} << 30 << 9;
    QTest::newRow("three new sessions a minute")
        << Settings{{QStringLiteral("KROVA_RELAY_NEW_SESSIONS_PER_MINUTE"), QStringLiteral("3")}} << 10 << 2;
}

void TestRelayPhp::floodOfNewCodesIsRefused()
{
    QFETCH(Settings, settings);
    QFETCH(int, flood);
    QFETCH(int, opened);
    PhpRelay relay(settings);
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QString base = "http://" + relay.Domain();
    const auto url = [&](const QString& code, const QString& user, const QString& data) {
        return base + "/s/" + code + "/support_x.php?user=" + user + "&data=" + data + "&time=1";
    };
    // A session that lives: the customer's state reaches the technician.
    const auto exchanges = [&](const QString& code, int n) {
        const QByteArray state = "2$" + QByteArray::number(n % 256);
        return Get(manager_, url(code, "client", QString::fromLatin1(state))).status == 200
               && Get(manager_, url(code, "support", "0")).body == RelayBody(state);
    };
    QCOMPARE(Get(manager_, url("7Q4K-2X9F", "support", "0")).status, 200);
    QVERIFY(exchanges("7Q4K-2X9F", 0));
    QList<int> statuses;
    for (int i = 0; i < flood; ++i) {
        const HttpResult r = Get(manager_, url(CodeFor(1000 + i), "support", "0"));
        CheckRefusal(r);
        statuses << r.status;
        QVERIFY2(exchanges("7Q4K-2X9F", i + 1), qPrintable(QString::number(i)));
    }
    QList<int> expected;
    for (int i = 0; i < flood; ++i)
        expected << (i < opened ? 200 : 429);
    QCOMPARE(statuses, expected);
    QCOMPARE(SessionFolders(relay).size(), 1 + opened);
    // A minute later.
    QVERIFY(AgeOpenings(relay));
    QCOMPARE(Get(manager_, url("M3PQ-RSTV", "support", "0")).status, 200);
    QVERIFY(exchanges("M3PQ-RSTV", 7));
    QVERIFY(exchanges("7Q4K-2X9F", 8));
}

void TestRelayPhp::wellFormedDataIsRelayedVerbatim_data()
{
    QTest::addColumn<QString>("data");  // as written in the query
    QTest::addColumn<QByteArray>("delivered");

    QTest::newRow("kind alone") << "2" << QByteArray("2");
    QTest::newRow("encoded plus sign") << "2$%2B5" << QByteArray("2$+5");
    QTest::newRow("encoded separators") << "4%2472%24105" << QByteArray("4$72$105");
    QTest::newRow("whole byte range") << "3$255$0$007" << QByteArray("3$255$0$007");
}

void TestRelayPhp::wellFormedDataIsRelayedVerbatim()
{
    QFETCH(QString, data);
    QFETCH(QByteArray, delivered);
    const QString url = relay_->ScriptUrl();
    QCOMPARE(Get(manager_, url + "?user=client&data=" + data + "&time=1").status, 200);
    const HttpResult r = Get(manager_, url + "?user=support&data=0&time=2");
    QCOMPARE(r.status, 200);
    QCOMPARE(r.body, RelayBody(delivered));
}

void TestRelayPhp::malformedRequestIsRejectedAndChangesNothing_data()
{
    QTest::addColumn<QString>("query");

    QTest::newRow("unknown user") << "user=bob&data=0&time=1";
    QTest::newRow("user in capitals") << "user=Support&data=0&time=1";
    QTest::newRow("user missing") << "data=0&time=1";
    QTest::newRow("user as array") << "user[]=support&data=0&time=1";
    QTest::newRow("data missing") << "user=support&time=1";
    QTest::newRow("data empty") << "user=support&data=&time=1";
    QTest::newRow("data not a digit") << "user=support&data=x&time=1";
    QTest::newRow("two-digit kind") << "user=support&data=12&time=1";
    QTest::newRow("trailing separator") << "user=support&data=3$1$&time=1";
    QTest::newRow("empty value") << "user=support&data=3$$5&time=1";
    QTest::newRow("decimal value") << "user=support&data=3$1.5&time=1";
    QTest::newRow("letters in value") << "user=support&data=3$1a&time=1";
    QTest::newRow("raw plus is a blank") << "user=support&data=3$+5&time=1";
    QTest::newRow("comma separator") << "user=support&data=3,5&time=1";
    QTest::newRow("line break in data") << "user=support&data=3$5%0A&time=1";
    QTest::newRow("time missing") << "user=support&data=0";
    QTest::newRow("time empty") << "user=support&data=0&time=";
    QTest::newRow("time not digits") << "user=support&data=0&time=12a";
    QTest::newRow("negative time") << "user=support&data=0&time=-5";
    QTest::newRow("no query") << "";
    QTest::newRow("value 256") << "user=support&data=3$255$256&time=1";
    QTest::newRow("negative value") << "user=support&data=3$-1&time=1";
    QTest::newRow("kind 9") << "user=support&data=9&time=1";
    QTest::newRow("client sends a state request") << "user=client&data=0&time=1";
    QTest::newRow("client sends a settings request") << "user=client&data=1&time=1";
    QTest::newRow("client sends stop") << "user=client&data=5&time=1";
    QTest::newRow("support sends a state") << "user=support&data=2$1&time=1";
    QString tooLong = QStringLiteral("user=support&data=3");
    while (tooLong.size() <= 16384)
        tooLong += QStringLiteral("$1");
    QTest::newRow("query over 16 KB") << tooLong + "&time=1";
    // More values than the kind carries.
    const auto values = [](int kind, int count) {
        QString data = QStringLiteral("data=%1").arg(kind);
        for (int i = 0; i < count; ++i)
            data += QStringLiteral("$7");
        return data + QStringLiteral("&time=1");
    };
    QTest::newRow("state of 281 values") << "user=client&" + values(2, 281);
    QTest::newRow("settings of 541 values") << "user=support&" + values(3, 541);
    QTest::newRow("chat of 256 values") << "user=client&" + values(4, 256);
    QTest::newRow("state request with a value") << "user=support&" + values(0, 1);
    QTest::newRow("stop with a value") << "user=support&" + values(5, 1);
}

void TestRelayPhp::malformedRequestIsRejectedAndChangesNothing()
{
    QFETCH(QString, query);
    const QString url = relay_->ScriptUrl();
    // A pending client message that a support request would take.
    QCOMPARE(Get(manager_, url + "?user=client&data=2$9&time=1").status, 200);
    const auto before = relay_->StoredFiles();
    QCOMPARE(relay_->Waiting(QStringLiteral("client")), QList<QByteArray>{"2$9"});

    const HttpResult r = Get(manager_, url + "?" + query);
    // nginx and Apache refuse a query that long themselves, before PHP sees it.
    QCOMPARE(r.status, relay_->Kind() != PhpRelay::Server::PhpBuiltIn && query.size() > 8000 ? 414 : 400);
    QVERIFY(r.status != 400 || !r.body.contains("<body>"));
    QVERIFY(relay_->StoredFiles() == before);

    // The pending message is still there for a proper request.
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=2").body, RelayBody("2$9"));
}

void TestRelayPhp::longestLegalQueryIsAccepted()
{
    // The longest message of each kind goes through whole.
    const QString url = relay_->ScriptUrl();
    for (const auto& [kind, count] : {std::pair{'3', 540}, std::pair{'4', 255}}) {
        QByteArray data(1, kind);
        for (int i = 0; i < count; ++i)
            data += "$255";
        QCOMPARE(Get(manager_, url + "?user=support&data=" + QString::fromLatin1(data) + "&time=1").status, 200);
        QCOMPARE(Get(manager_, url + "?user=client&data=2&time=2").body, RelayBody(data));
    }
}

void TestRelayPhp::onlyGetIsServed()
{
    QNetworkRequest request{QUrl(relay_->ScriptUrl() + "?user=client&data=2$9&time=1")};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    QNetworkReply* reply = manager_.post(request, QByteArray("x"));
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 405);
    reply->deleteLater();
    QVERIFY(relay_->StoredFiles().isEmpty());
}

void TestRelayPhp::expiredMessageIsDropped()
{
    // Age limit 0: every message has expired by the time anyone asks.
    PhpRelay relay({{QStringLiteral("KROVA_RELAY_MAX_AGE"), QStringLiteral("0")}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QString url = relay.ScriptUrl();
    QCOMPARE(Get(manager_, url + "?user=client&data=2$1&time=1").body, RelayBody(""));
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=2").body, RelayBody(""));
    // The expired message is gone for good, not kept for a later request.
    QVERIFY(relay.Waiting(QStringLiteral("client")).isEmpty());
    QCOMPARE(relay.Waiting(QStringLiteral("support")), QList<QByteArray>{"0"});
}

void TestRelayPhp::messageOlderThanAgeLimitIsDropped()
{
    PhpRelay relay({{QStringLiteral("KROVA_RELAY_MAX_AGE"), QStringLiteral("0.5")}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QString url = relay.ScriptUrl();
    // Fetched at once: delivered.
    Get(manager_, url + "?user=client&data=2$1&time=1");
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=2").body, RelayBody("2$1"));
    // Fetched after the age limit: dropped.
    Get(manager_, url + "?user=client&data=2$2&time=3");
    QTest::qWait(800);
    QCOMPARE(Get(manager_, url + "?user=support&data=0&time=4").body, RelayBody(""));
}

void TestRelayPhp::concurrentRequestsNeverDeliverTwice()
{
    // Several PHP workers serve the requests side by side. Each request goes
    // out once on its own connection (an HTTP client library might repeat a
    // request whose connection dropped, which would look like a relay fault).
    PhpRelay relay({{QStringLiteral("PHP_CLI_SERVER_WORKERS"), QStringLiteral("4")}});
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));

    constexpr int PerSide = 100;
    std::vector<std::unique_ptr<RawGet>> client;
    std::vector<std::unique_ptr<RawGet>> support;
    for (int i = 0; i < PerSide; ++i) {
        client.push_back(std::make_unique<RawGet>(
            relay.Port(), QByteArray("/support_x.php?user=client&data=2$") + QByteArray::number(i) + "&time=1"));
        support.push_back(std::make_unique<RawGet>(
            relay.Port(), QByteArray("/support_x.php?user=support&data=4$") + QByteArray::number(i) + "&time=1"));
    }
    QElapsedTimer elapsed;
    elapsed.start();
    auto allDone = [&] {
        for (const auto& r : client)
            if (!r->done)
                return false;
        for (const auto& r : support)
            if (!r->done)
                return false;
        return true;
    };
    while (!allDone() && elapsed.elapsed() < 20000)
        QTest::qWait(10);
    QVERIFY(allDone());

    std::multiset<QByteArray> atSupport;
    std::multiset<QByteArray> atClient;
    int answered = 0;
    for (auto* side : {&support, &client}) {
        for (const auto& r : *side) {
            if (r->status != 200)
                continue;  // a dropped connection delivers nothing
            ++answered;
            const QByteArray message = ExtractMessageText(r->body);
            if (!message.isEmpty()) {
                QVERIFY2(message.startsWith(side == &support ? "2$" : "4$"), message.constData());
                (side == &support ? atSupport : atClient).insert(message);
            }
        }
    }
    QVERIFY(answered > PerSide);
    // Whatever was delivered, was delivered once.
    for (const QByteArray& m : atSupport)
        QCOMPARE(atSupport.count(m), size_t(1));
    for (const QByteArray& m : atClient)
        QCOMPARE(atClient.count(m), size_t(1));
    QVERIFY(!atSupport.empty() || !atClient.empty());
}

// A domain written https:// is reached over TLS with the certificate
// checked: a certificate for another host, or one nobody vouches for, is a
// failed exchange that says why. nginx serves the relay with certificates
// made for the test.
void TestRelayPhp::exchangeOverTls_data()
{
    QTest::addColumn<bool>("trusted"); // the test's certificates are trusted
    QTest::addColumn<bool>("wrongHost");
    QTest::addColumn<QString>("reason"); // empty: the exchange goes through
    QTest::newRow("certificate for the host") << true << false << "";
    QTest::newRow("certificate for another host") << true << true << "host name";
    QTest::newRow("certificate nobody vouches for") << false << false << "certificate";
}

void TestRelayPhp::exchangeOverTls()
{
    QFETCH(bool, trusted);
    QFETCH(bool, wrongHost);
    QFETCH(QString, reason);
    // TLS is served by the full web servers: Apache for the Apache run of
    // the suite, nginx otherwise.
    PhpRelay relay({}, qEnvironmentVariable("KROVA_RELAY_SERVER") == QLatin1String("apache")
                           ? PhpRelay::Server::Apache
                           : PhpRelay::Server::NginxPhpFpm);
    if (!relay.IsRunning() && relay.ErrorText().contains(QStringLiteral("Linux side only")))
        QSKIP("nginx and Apache run on the Linux side only");
    QVERIFY2(relay.IsRunning(), qPrintable(relay.ErrorText()));
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration configuration = before;
        configuration.addCaCertificates(relay.CertificatePath());
        configuration.addCaCertificates(relay.CertificatePath(true));
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    SupportExchange exchange;
    SupportExchangeState state;
    state.SetSupportDomain(SupportDomainFromText(wrongHost ? relay.WrongHostDomain() : relay.TlsDomain()));
    state.SetSupportRole(RoleClient);
    state.SetOutgoing(2, state.OutgoingLength());
    const bool ok = exchange.RunSupportExchange(state, ManualClock());
    QSslConfiguration::setDefaultConfiguration(before);
    QCOMPARE(ok, reason.isEmpty());
    if (ok)
        QCOMPARE(relay.Waiting(QStringLiteral("client")), QList<QByteArray>{"2"});
    else
        QVERIFY2(state.SupportStatusText().contains(reason, Qt::CaseInsensitive), qPrintable(state.SupportStatusText()));
}

void TestRelayPhp::stateAndSettingsTravelBothWays()
{
    SupportExchange clientSide;
    SupportExchange supportSide;
    SupportExchangeState client;
    SupportExchangeState support;
    client.SetSupportDomain(relay_->Domain());
    support.SetSupportDomain(relay_->Domain());
    const ManualClock clock;

    // Client shares its state; nothing waits for it yet.
    client.SetSupportRole(RoleClient);
    client.SetOutgoing(2, 280);
    for (int i = 0; i < 280; ++i)
        client.ClientToSupportBuffer()[size_t(i)] = uint8_t(i * 7);
    QVERIFY2(clientSide.RunSupportExchange(client, clock), qPrintable(client.SupportStatusText()));
    QCOMPARE(client.SupportStatusText(), QStringLiteral("Nothing received"));
    QCOMPARE(clientSide.ResponseBody(), RelayBody(""));

    // Support asks for state and receives the client's record.
    support.SetSupportRole(RoleSupport);
    support.SetOutgoing(0, support.OutgoingLength());
    QVERIFY2(supportSide.RunSupportExchange(support, clock), qPrintable(support.SupportStatusText()));
    QCOMPARE(support.SupportStatusText(), QStringLiteral("Client sent system state"));
    QCOMPARE(int(support.IncomingKind()), 2);
    QCOMPARE(support.IncomingLength(), 280);
    QVERIFY(std::equal(client.ClientToSupportBuffer().begin(), client.ClientToSupportBuffer().begin() + 280,
                       support.ClientToSupportBuffer().begin()));

    // Client gets the state request on its next exchange.
    QVERIFY(clientSide.RunSupportExchange(client, clock));
    QCOMPARE(client.SupportStatusText(), QStringLiteral("Support requested system state"));
    QCOMPARE(int(client.IncomingKind()), 0);

    // Support writes settings: 540 bytes reach the client.
    support.SetOutgoing(3, 540);
    for (int i = 0; i < 540; ++i)
        support.SupportToClientBuffer()[size_t(i)] = uint8_t(255 - i % 256);
    QVERIFY(supportSide.RunSupportExchange(support, clock));
    QCOMPARE(support.OutgoingLength(), 540);
    QVERIFY(clientSide.RunSupportExchange(client, clock));
    QCOMPARE(client.SupportStatusText(), QStringLiteral("Support sent new settings"));
    QCOMPARE(int(client.IncomingKind()), 3);
    QCOMPARE(client.IncomingLength(), 540);
    QVERIFY(std::equal(support.SupportToClientBuffer().begin(), support.SupportToClientBuffer().begin() + 540,
                       client.SupportToClientBuffer().begin()));
}

void TestRelayPhp::chatTravelsFromSupportToClient()
{
    SupportExchange exchange;
    SupportExchangeState support;
    support.SetSupportDomain(relay_->Domain());
    support.SetSupportRole(RoleSupport);
    support.SetOutgoing(4, 2);
    support.SupportToClientBuffer()[0] = 'H';
    support.SupportToClientBuffer()[1] = 'i';
    QVERIFY(exchange.RunSupportExchange(support));

    SupportExchangeState client;
    client.SetSupportDomain(relay_->Domain());
    client.SetOutgoing(2, client.OutgoingLength());
    QVERIFY(exchange.RunSupportExchange(client));
    QCOMPARE(client.SupportStatusText(), QStringLiteral("Support sent chat"));
    QCOMPARE(client.IncomingLength(), 2);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(client.SupportToClientBuffer().data()), 2), QByteArray("Hi"));
}

// The relay side of the program on its own: two links, the technician's and
// the customer's, through the real relay; what arrives waits in the inbox.
void TestRelayPhp::relayLinksCarryTheirMessages()
{
    RelayLink support(Clock::System());
    RelayLink client(Clock::System());
    support.SetDomain(relay_->Domain());
    client.SetDomain(relay_->Domain());
    SystemStateRecord state;
    state.SetBatteryVoltage(13.8f);
    state.SetRunningTime(5025);
    const QByteArray stateBytes(reinterpret_cast<const char*>(state.Data()), int(SystemStateRecord::Size));

    QVERIFY(support.OpenSupportSession());
    client.ActAsClient();
    client.PrepareState(state);
    QVERIFY(client.RunExchange());
    QCOMPARE(client.ReceivedWaiting(), 1);
    QVERIFY(client.OtherSideSeenAt() > 0);
    std::optional<RelayMessage> got = client.TakeReceived();
    QCOMPARE(int(got->kind), int(StateRequest));
    QVERIFY(!client.TakeReceived());

    support.PrepareChat(QStringLiteral("Hi"), false, true);
    QVERIFY(support.RunExchange());
    got = support.TakeReceived();
    QCOMPARE(int(got->kind), int(StateMessage));
    QCOMPARE(got->values, stateBytes);

    QVERIFY(client.RunExchange());
    QCOMPARE(client.StatusText(), QStringLiteral("Support sent chat"));
    got = client.TakeReceived();
    QCOMPARE(int(got->kind), int(ChatMessage));
    QCOMPARE(got->values, QByteArray("Hi"));
    client.ForgetOtherSide();
    QCOMPARE(client.OtherSideSeenAt(), 0.0);
}

void TestRelayPhp::relayErrorStatusFails_data()
{
    QTest::addColumn<QString>("domainSuffix");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expectedStatus");

    QTest::newRow("kind the relay refuses") << "" << 12 << "HTTP/1.1 400 Bad Request";
    QTest::newRow("no script there") << "/nowhere" << 2 << "HTTP/1.1 404 Not Found";
}

void TestRelayPhp::relayErrorStatusFails()
{
    QFETCH(QString, domainSuffix);
    QFETCH(int, kind);
    QFETCH(QString, expectedStatus);

    SupportExchange exchange;
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    state.SetSupportDomain(relay_->Domain() + domainSuffix);
    state.SetOutgoing(uint8_t(kind), state.OutgoingLength());
    state.SetIncoming(4, 9);
    QVERIFY(!exchange.RunSupportExchange(state));
    QCOMPARE(state.SupportStatusText(), expectedStatus);
    // Nothing parsed.
    QCOMPARE(int(state.IncomingKind()), 4);
    QCOMPARE(state.IncomingLength(), 9);
    QCOMPARE(busy.calls, (QList<bool>{true, false}));
}

void TestRelayPhp::requestCarriesFixedHeaders_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expectedTarget");

    QTest::newRow("support asks for state")
        << 1 << 0 << QByteArray() << QByteArray("/support_x.php?user=support&data=0&time=4636350000");
    QTest::newRow("client chat Hi")
        << 0 << 4 << QByteArray("Hi") << QByteArray("/support_x.php?user=client&data=4$72$105&time=4636350000");
}

void TestRelayPhp::requestCarriesFixedHeaders()
{
    QFETCH(int, role);
    QFETCH(int, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expectedTarget);

    ScriptedHttpServer server;
    QVERIFY(server.IsListening());
    server.response = Canned("HTTP/1.1 200 OK", RelayBody(""));
    SupportExchange exchange;
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());
    state.SetSupportRole(uint8_t(role));
    state.SetOutgoing(uint8_t(kind), int32_t(bytes.size()));
    SupportBuffer& outgoing = role == 1 ? state.SupportToClientBuffer() : state.ClientToSupportBuffer();
    std::copy(bytes.begin(), bytes.end(), outgoing.begin());

    QVERIFY2(exchange.RunSupportExchange(state, ManualClock(46363.5)), qPrintable(state.SupportStatusText()));
    QCOMPARE(server.requests.size(), 1);
    const QByteArray request = server.requests.first();
    QCOMPARE(request.left(request.indexOf("\r\n")), "GET " + expectedTarget + " HTTP/1.1");
    QCOMPARE(HeaderValue(request, "Accept"), QByteArray("text/html, */*"));
    QCOMPARE(HeaderValue(request, "Accept-Encoding"), QByteArray("*"));
    QCOMPARE(HeaderValue(request, "Cache-Control"), QByteArray("\"no-cache\""));
    QCOMPARE(HeaderValue(request, "Cache-Control").size(), 10);
    QCOMPARE(HeaderValue(request, "Content-Type"), QByteArray("text/html"));
    QCOMPARE(HeaderValue(request, "User-Agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    QCOMPARE(HeaderValue(request, "Host"), server.Domain().toLatin1());
    QCOMPARE(request.count("\nAccept:"), 1);
    QCOMPARE(request.count("\nUser-Agent:"), 1);
}

void TestRelayPhp::applicationProxyIsNotUsed()
{
    // A proxy set for the whole application (here one that does not exist)
    // must not be in the way of the relay.
    ScriptedHttpServer server;
    server.response = Canned("HTTP/1.1 200 OK", RelayBody("0"));
    const QNetworkProxy previous = QNetworkProxy::applicationProxy();
    QNetworkProxy::setApplicationProxy(
        QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), ClosedLoopbackPort()));
    SupportExchange exchange;
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());
    const bool ok = exchange.RunSupportExchange(state);
    QNetworkProxy::setApplicationProxy(previous);
    QVERIFY2(ok, qPrintable(state.SupportStatusText()));
    QCOMPARE(server.requests.size(), 1);
}

void TestRelayPhp::cookiesAreSentBack()
{
    ScriptedHttpServer server;
    server.response = Canned("HTTP/1.1 200 OK", RelayBody(""), "Set-Cookie: relaysession=abc123; Path=/\r\n");
    SupportExchange exchange;
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());
    QVERIFY(exchange.RunSupportExchange(state));
    QVERIFY(exchange.RunSupportExchange(state));
    QCOMPARE(server.requests.size(), 2);
    QCOMPARE(HeaderValue(server.requests[0], "Cookie"), QByteArray());
    QCOMPARE(HeaderValue(server.requests[1], "Cookie"), QByteArray("relaysession=abc123"));

    // The jar belongs to the exchange object: a fresh one starts without it.
    SupportExchange other;
    QVERIFY(other.RunSupportExchange(state));
    QCOMPARE(HeaderValue(server.requests[2], "Cookie"), QByteArray());
}

void TestRelayPhp::faultsEndAsFailedExchange_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<QString>("expectedStatus");  // empty: any non-empty text
    QTest::addColumn<int>("expectedKind");         // IncomingKind starts at 1
    QTest::addColumn<int>("expectedLength");       // IncomingLength starts at 9

    QTest::newRow("500") << 0 << Canned("HTTP/1.1 500 Internal Server Error", "oops") << false
                         << "HTTP/1.1 500 Internal Server Error" << 1 << 9;
    QTest::newRow("204") << 0 << QByteArray("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n") << false
                         << "HTTP/1.1 204 No Content" << 1 << 9;
    QTest::newRow("302 is not followed")
        << 0 << Canned("HTTP/1.1 302 Found", RelayBody("0"), "Location: http://127.0.0.1:1/x\r\n") << false
        << "HTTP/1.1 302 Found" << 1 << 9;
    QTest::newRow("200 empty body") << 0 << Canned("HTTP/1.1 200 OK", "") << true << "Nothing received" << 1 << 0;
    QTest::newRow("own reason phrase") << 0 << Canned("HTTP/1.1 503 Relay Resting", "") << false
                                       << "HTTP/1.1 503 Relay Resting" << 1 << 9;
    QTest::newRow("200 support role") << 1 << Canned("HTTP/1.1 200 Fine", RelayBody("2$5")) << true
                                      << "Client sent system state" << 2 << 1;
    QTest::newRow("200 bad value") << 0 << Canned("HTTP/1.1 200 OK", RelayBody("3$1$x")) << false
                                   << "'x' is not a valid integer value" << 3 << 1;
    QByteArray megabyte("2");
    while (megabyte.size() < 1024 * 1024)
        megabyte += "$200";
    QTest::newRow("1 MB body") << 1 << Canned("HTTP/1.1 200 OK", RelayBody(megabyte)) << true
                               << "Client sent system state" << 2 << SupportBufferSize;
    QTest::newRow("body over the cap")
        << 1 << Canned("HTTP/1.1 200 OK", RelayBody("2$1" + QByteArray(5 * 1024 * 1024, ' '))) << false
        << "Answer from the relay is larger than 4194304 bytes" << 1 << 9;
    QTest::newRow("garbage bytes")
        << 0 << QByteArray("\x00\xff\x13garbage\r\n\r\n\x01\x02", 16) << false << "" << 1 << 9;
    QTest::newRow("closed before answering") << 0 << QByteArray() << false << "" << 1 << 9;
    QTest::newRow("body cut short")
        << 0 << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n<body>\r\n0") << false
        << "" << 1 << 9;
}

void TestRelayPhp::faultsEndAsFailedExchange()
{
    QFETCH(int, role);
    QFETCH(QByteArray, response);
    QFETCH(bool, expectedResult);
    QFETCH(QString, expectedStatus);
    QFETCH(int, expectedKind);
    QFETCH(int, expectedLength);

    ScriptedHttpServer server;
    server.response = response;
    SupportExchange exchange;
    exchange.SetTransferTimeLimitMs(5000);
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());
    state.SetSupportRole(uint8_t(role));
    state.SetIncoming(1, 9);
    state.SetSupportStatusText(QStringLiteral("previous"));

    QCOMPARE(exchange.RunSupportExchange(state), expectedResult);
    if (expectedStatus.isEmpty()) {
        QVERIFY(!state.SupportStatusText().isEmpty());
        QVERIFY(state.SupportStatusText() != QStringLiteral("previous"));
        QVERIFY(!state.SupportStatusText().startsWith(QStringLiteral("HTTP/")));
    } else {
        QCOMPARE(state.SupportStatusText(), expectedStatus);
    }
    QCOMPARE(int(state.IncomingKind()), expectedKind);
    QCOMPARE(state.IncomingLength(), expectedLength);
    // (Qt may repeat a request whose connection closed without an answer.)
    QVERIFY(!server.requests.isEmpty());
    QCOMPARE(busy.calls, (QList<bool>{true, false}));
    QVERIFY(exchange.ResponseBody().size() <= SupportExchange::MaxBodyBytes);
}

void TestRelayPhp::neverAnsweringRelayTimesOut()
{
    ScriptedHttpServer server;
    server.silent = true;
    SupportExchange exchange;
    exchange.SetTransferTimeLimitMs(300);
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());

    // The window keeps handling events while the exchange waits.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!exchange.RunSupportExchange(state));
    const qint64 took = elapsed.elapsed();
    QVERIFY2(took >= 250 && took < 3000, qPrintable(QString::number(took)));
    QCOMPARE(state.SupportStatusText(), QStringLiteral("No answer from the relay within 0.3 s"));
    QVERIFY(ticks >= 5);
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(busy.calls, (QList<bool>{true, false}));
    QVERIFY(!exchange.IsExchangeInProgress());
}

void TestRelayPhp::refusedConnectionFails()
{
    SupportExchange exchange;
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    state.SetSupportDomain(QStringLiteral("127.0.0.1:%1").arg(ClosedLoopbackPort()));
    QVERIFY(!exchange.RunSupportExchange(state));
    QCOMPARE(state.SupportStatusText(), QStringLiteral("Connection refused"));
    QCOMPARE(busy.calls, (QList<bool>{true, false}));
}

void TestRelayPhp::emptyDomainFails()
{
    SupportExchange exchange;
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    QVERIFY(!exchange.RunSupportExchange(state));
    QVERIFY(!state.SupportStatusText().isEmpty());
    QCOMPARE(busy.calls, (QList<bool>{true, false}));
}

void TestRelayPhp::secondExchangeWhileOneWaitsIsRefused()
{
    ScriptedHttpServer server;
    server.response = Canned("HTTP/1.1 200 OK", RelayBody("0"));
    server.delayMs = 300;
    SupportExchange exchange;
    BusyLog busy;
    exchange.SetRequestUnderWayCallback(busy.Callback());
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());

    // A timer tick arrives while the first exchange waits and starts another.
    SupportExchangeState nested;
    nested.SetSupportDomain(server.Domain());
    bool nestedResult = true;
    bool sawInProgress = false;
    QTimer::singleShot(50, [&] {
        sawInProgress = exchange.IsExchangeInProgress();
        nestedResult = exchange.RunSupportExchange(nested);
    });

    QVERIFY2(exchange.RunSupportExchange(state), qPrintable(state.SupportStatusText()));
    QVERIFY(sawInProgress);
    QVERIFY(!nestedResult);
    QCOMPARE(nested.SupportStatusText(), QStringLiteral("Support exchange already in progress"));
    QCOMPARE(state.SupportStatusText(), QStringLiteral("Support requested system state"));
    QCOMPARE(server.requests.size(), 1);
    // The refused call leaves the busy display to the running exchange.
    QCOMPARE(busy.calls, (QList<bool>{true, false}));

    // Once it is over, the next one goes out.
    QVERIFY(exchange.RunSupportExchange(nested));
    QCOMPARE(server.requests.size(), 2);
}

void TestRelayPhp::destroyingDuringExchangeEndsIt()
{
    ScriptedHttpServer server;
    server.silent = true;
    auto* exchange = new SupportExchange;
    SupportExchangeState state;
    state.SetSupportDomain(server.Domain());
    QTimer::singleShot(50, [&] { delete exchange; });
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!exchange->RunSupportExchange(state));
    QVERIFY(elapsed.elapsed() < 3000);
}

QTEST_GUILESS_MAIN(TestRelayPhp)
#include "test_relay_php.moc"
