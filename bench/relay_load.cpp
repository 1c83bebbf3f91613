// Load test of the support relay alone: many support sessions at once, each
// opened by its support side (the client side starts once that first request
// was answered), each side polling as the program does (one request at a
// time, the next one an interval after the answer) and sending one-shot
// messages at random. Every
// one-shot carries its session, side and sequence number, so that a lost,
// doubled or misdelivered one is counted. Prints a Markdown table; see
// HelpText below.
#include "rig/php_relay.h"
#include "support/relay_codec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

const char HelpText[] =
    "Usage: krova-relay-load [OPTION]...\n"
    "Puts the support relay under the load of many sessions and prints what it\n"
    "delivered: one-shots lost, doubled or misdelivered, requests per second and\n"
    "answer times.\n"
    "\n"
    "  --pairs N          session pairs (client and support side), 1 to 10000 (default 50)\n"
    "  --seconds S        length of the load phase (default 15)\n"
    "  --interval-ms MS   pause of each side between an answer and its next request\n"
    "                     (default 250; the program's own pace is 2000)\n"
    "  --server php|nginx|apache\n"
    "                     serve the relay with php -S (default), or nginx or Apache with PHP-FPM\n"
    "  --workers W        php -S workers (default 8)\n"
    "  --url URL          put the load on a relay that already runs at URL\n"
    "                     (http://host[:port][/path]); no server is started (its\n"
    "                     KROVA_RELAY_NEW_SESSIONS_PER_MINUTE must let this machine\n"
    "                     open every session)\n"
    "  --find-max         at the pace of --interval-ms, the most session pairs for which\n"
    "                     nothing is lost, doubled or misdelivered and 99 % of the answers\n"
    "                     come within 50 ms (pairs tried: 250, 500, 1000, 1500, 2000, ...)\n"
    "  --help             show this help and exit\n"
    "\n"
    "Exit status: 0 when nothing was lost, doubled or misdelivered, 1 otherwise,\n"
    "2 on bad usage.\n";

struct Target {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 0;
    QByteArray path; // in front of /s/<code>/support_x.php
};

struct Totals {
    qint64 requests = 0;
    qint64 failedRequests = 0;
    qint64 oneShotsSent = 0;
    qint64 oneShotsRefused = 0; // answered 503: the sender knows, nothing is lost
    qint64 oneShotsReceived = 0;
    qint64 duplicates = 0;
    qint64 misdelivered = 0;
    std::vector<qint64> latenciesUs;
};

// One side of one session: a client or a support copy of the program.
class Side : public QObject {
public:
    Side(int session, bool support, const Target& target, int intervalMs, Totals& totals)
        : session_(session), support_(support), target_(target), intervalMs_(intervalMs), totals_(totals),
          random_(quint32(session * 2 + (support ? 1 : 0) + 7))
    {
    }

    // Precise timers: coarse ones line the sides up, so that requests would
    // come in bursts where the program's copies poll at their own moments.
    void Start() { QTimer::singleShot(int(random_.bounded(intervalMs_)), Qt::PreciseTimer, this, [this] { Send(); }); }
    // The side that starts once this one's first request was answered: the
    // technician opens a session, then the customer comes.
    void StartAfterFirstAnswer(Side* next) { next_side_ = next; }
    void Stop() { stopped_ = true; }
    void StopSendingOneShots() { oneShots_ = false; }
    // Sequence numbers of one-shots this side sent, that the relay took.
    const std::set<int>& Taken() const { return taken_; }
    const std::set<int>& ReceivedFromPeer() const { return received_; }

private:
    // Kinds this side sends: periodic 0 (support) or 2 (client); one-shots
    // chat (4) and settings (3).
    QByteArray NextMessage(int* sequence)
    {
        *sequence = -1;
        if (oneShots_ && random_.bounded(5) == 0) {
            *sequence = next_++;
            const char kind = random_.bounded(2) ? '4' : '3';
            return QByteArray(1, kind) + '$' + QByteArray::number(session_ % 256) + '$'
                   + QByteArray::number(session_ / 256) + '$' + QByteArray::number(support_ ? 1 : 0) + '$'
                   + QByteArray::number(*sequence / 256) + '$' + QByteArray::number(*sequence % 256);
        }
        return support_ ? QByteArray("0") : QByteArray("2$") + QByteArray::number(session_ % 256);
    }

    void Send()
    {
        int sequence = -1;
        const QByteArray data = NextMessage(&sequence);
        const QByteArray target = target_.path + QByteArray("/s/") + Code() + "/support_x.php?user=" +
                                  (support_ ? "support" : "client") + "&data=" + data + "&time=" +
                                  QByteArray::number(++stamp_);
        socket_ = new QTcpSocket(this);
        received_bytes_.clear();
        elapsed_.start();
        connect(socket_, &QTcpSocket::connected, this, [this, target] {
            socket_->write("GET " + target + " HTTP/1.0\r\nHost: " + target_.host.toLatin1() + "\r\n\r\n");
        });
        connect(socket_, &QTcpSocket::readyRead, this, [this] { received_bytes_ += socket_->readAll(); });
        connect(socket_, &QTcpSocket::disconnected, this, [this, sequence] { Finish(sequence); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this, sequence](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError)
                Finish(sequence);
        });
        socket_->connectToHost(target_.host, target_.port);
        if (sequence >= 0)
            ++totals_.oneShotsSent;
    }

    void Finish(int sequence)
    {
        if (!socket_)
            return;
        received_bytes_ += socket_->readAll();
        socket_->deleteLater();
        socket_ = nullptr;
        ++totals_.requests;
        totals_.latenciesUs.push_back(elapsed_.nsecsElapsed() / 1000);
        const QList<QByteArray> statusLine = received_bytes_.left(received_bytes_.indexOf("\r\n")).split(' ');
        const int status = statusLine.size() > 1 ? statusLine[1].toInt() : 0;
        if (status == 200) {
            if (sequence >= 0)
                taken_.insert(sequence);
            Take(ExtractMessageText(received_bytes_.mid(received_bytes_.indexOf("\r\n\r\n") + 4)));
        } else {
            if (sequence >= 0 && status == 503)
                ++totals_.oneShotsRefused;
            else
                ++totals_.failedRequests;
        }
        if (next_side_) {
            next_side_->Start();
            next_side_ = nullptr;
        }
        if (!stopped_)
            QTimer::singleShot(intervalMs_, Qt::PreciseTimer, this, [this] { Send(); });
    }

    void Take(const QByteArray& message)
    {
        if (message.isEmpty())
            return;
        const QList<QByteArray> values = message.split('$');
        const char kind = message[0];
        if (kind == '3' || kind == '4') {
            if (values.size() != 6) {
                ++totals_.misdelivered;
                return;
            }
            const int session = values[1].toInt() + 256 * values[2].toInt();
            const bool fromSupport = values[3].toInt() == 1;
            const int sequence = values[4].toInt() * 256 + values[5].toInt();
            if (session != session_ || fromSupport == support_) {
                ++totals_.misdelivered;
                return;
            }
            ++totals_.oneShotsReceived;
            if (!received_.insert(sequence).second)
                ++totals_.duplicates;
        } else if (kind == '2' && values.size() > 1 && values[1].toInt() != session_ % 256) {
            ++totals_.misdelivered;
        }
    }

    QByteArray Code() const
    {
        // Eight characters of the relay's alphabet, one code per session.
        static const char alphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
        QByteArray code;
        int n = session_ + 1000;
        for (int i = 0; i < 8; ++i) {
            code += alphabet[n % 32];
            n /= 32;
        }
        return code;
    }

    const int session_;
    const bool support_;
    const Target target_;
    const int intervalMs_;
    Totals& totals_;
    QRandomGenerator random_;
    QTcpSocket* socket_ = nullptr;
    Side* next_side_ = nullptr;
    QByteArray received_bytes_;
    QElapsedTimer elapsed_;
    bool oneShots_ = true;
    bool stopped_ = false;
    int next_ = 0;
    qint64 stamp_ = 0;
    std::set<int> taken_;
    std::set<int> received_;
};

int Option(const QStringList& args, const QString& name, int fallback)
{
    const int at = int(args.indexOf(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

struct Result {
    int pairs = 0;
    Totals totals;
    qint64 lost = 0;
    double requestsPerSecond = 0;
    double medianMs = 0;
    double p99Ms = 0;
    bool Clean() const { return lost == 0 && totals.duplicates == 0 && totals.misdelivered == 0; }
};

// One load phase with one-shots, then periodic polls only until everything
// waiting has been fetched (bounded).
Result RunLoad(const Target& target, int pairs, int seconds, int intervalMs)
{
    Result result;
    result.pairs = pairs;
    Totals& totals = result.totals;
    std::vector<std::unique_ptr<Side>> clients;
    std::vector<std::unique_ptr<Side>> supports;
    for (int s = 0; s < pairs; ++s) {
        clients.push_back(std::make_unique<Side>(s, false, target, intervalMs, totals));
        supports.push_back(std::make_unique<Side>(s, true, target, intervalMs, totals));
    }
    QElapsedTimer wall;
    wall.start();
    for (int s = 0; s < pairs; ++s) {
        supports[std::size_t(s)]->StartAfterFirstAnswer(clients[std::size_t(s)].get());
        supports[std::size_t(s)]->Start();
    }
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 loadMs = wall.elapsed();
    const qint64 loadRequests = totals.requests;
    for (int s = 0; s < pairs; ++s) {
        clients[std::size_t(s)]->StopSendingOneShots();
        supports[std::size_t(s)]->StopSendingOneShots();
    }
    QTimer::singleShot(std::max(4 * intervalMs, 3000), &loop, &QEventLoop::quit);
    loop.exec();
    for (int s = 0; s < pairs; ++s) {
        clients[std::size_t(s)]->Stop();
        supports[std::size_t(s)]->Stop();
    }
    // The requests still under way end before the sides go.
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    loop.exec();

    for (int s = 0; s < pairs; ++s) {
        const auto i = std::size_t(s);
        for (const auto& [from, to] : {std::pair{clients[i].get(), supports[i].get()},
                                       std::pair{supports[i].get(), clients[i].get()}})
            for (int sequence : from->Taken())
                result.lost += to->ReceivedFromPeer().count(sequence) == 0;
    }
    // Answer times of the load phase only (requests are counted as their
    // times are taken), like the requests per second.
    std::vector<qint64> lat = totals.latenciesUs;
    lat.resize(std::size_t(loadRequests));
    std::sort(lat.begin(), lat.end());
    const auto percentile = [&lat](double p) {
        return lat.empty() ? 0.0 : double(lat[std::min(lat.size() - 1, std::size_t(p * double(lat.size())))]) / 1000.0;
    };
    result.requestsPerSecond = double(loadRequests) * 1000.0 / double(std::max<qint64>(loadMs, 1));
    result.medianMs = percentile(0.5);
    result.p99Ms = percentile(0.99);
    return result;
}

void PrintTable(const Result& r, const QString& heading)
{
    const Totals& t = r.totals;
    std::printf("| %s | Result |\n|---|---|\n", qPrintable(heading));
    std::printf("| One-shots sent / taken by the relay / refused as queue full | %lld / %lld / %lld |\n",
                static_cast<long long>(t.oneShotsSent), static_cast<long long>(t.oneShotsSent - t.oneShotsRefused),
                static_cast<long long>(t.oneShotsRefused));
    std::printf("| One-shots lost | %lld |\n", static_cast<long long>(r.lost));
    std::printf("| One-shots delivered twice | %lld |\n", static_cast<long long>(t.duplicates));
    std::printf("| Messages delivered to another session | %lld |\n", static_cast<long long>(t.misdelivered));
    std::printf("| Requests without an answer | %lld |\n", static_cast<long long>(t.failedRequests));
    std::printf("| Requests per second | %.0f |\n", r.requestsPerSecond);
    std::printf("| Answer time, median / 99th percentile | %.1f ms / %.1f ms |\n", r.medianMs, r.p99Ms);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--help"))) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    const int pairs = std::clamp(Option(args, QStringLiteral("--pairs"), 50), 1, 10000);
    const int seconds = std::clamp(Option(args, QStringLiteral("--seconds"), 15), 1, 600);
    const int intervalMs = std::clamp(Option(args, QStringLiteral("--interval-ms"), 250), 10, 10000);
    const int workers = std::clamp(Option(args, QStringLiteral("--workers"), 8), 1, 64);
    const int serverAt = int(args.indexOf(QStringLiteral("--server")));
    const QString serverName = serverAt >= 0 && serverAt + 1 < args.size() ? args[serverAt + 1] : QStringLiteral("php");
    const int urlAt = int(args.indexOf(QStringLiteral("--url")));
    const QMap<QString, PhpRelay::Server> servers{{QStringLiteral("php"), PhpRelay::Server::PhpBuiltIn},
                                                  {QStringLiteral("nginx"), PhpRelay::Server::NginxPhpFpm},
                                                  {QStringLiteral("apache"), PhpRelay::Server::Apache}};
    if (!servers.contains(serverName) || (urlAt >= 0 && urlAt + 1 >= args.size())) {
        std::fputs("krova-relay-load: bad usage; try --help\n", stderr);
        return 2;
    }
#ifdef Q_OS_UNIX
    // A socket per side at most: thousands of them.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
#endif

    Target target;
    std::unique_ptr<PhpRelay> server;
    QString served;
    if (urlAt >= 0) {
        const QUrl url(args[urlAt + 1]);
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty()) {
            std::fputs("krova-relay-load: --url takes http://host[:port][/path]\n", stderr);
            return 2;
        }
        target.host = url.host();
        target.port = quint16(url.port(80));
        target.path = url.path().toLatin1();
        while (target.path.endsWith('/'))
            target.path.chop(1);
        served = url.toString();
    } else {
        // The real relay, storing in a private folder, with room for every
        // session of the test and no limit on the sessions one address opens
        // (every side of the test comes from 127.0.0.1); it goes with all its
        // workers at the end.
        server = std::make_unique<PhpRelay>(
            QMap<QString, QString>{{QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(workers)},
                                   {QStringLiteral("KROVA_RELAY_MAX_SESSIONS"), QStringLiteral("100000")},
                                   {QStringLiteral("KROVA_RELAY_MAX_BYTES"), QStringLiteral("100000000000")},
                                   {QStringLiteral("KROVA_RELAY_NEW_SESSIONS_PER_MINUTE"), QStringLiteral("1000000")}},
            servers.value(serverName));
        if (!server->IsRunning()) {
            std::fprintf(stderr, "krova-relay-load: %s\n", qPrintable(server->ErrorText()));
            return 1;
        }
        target.port = server->Port();
        served = serverName == QLatin1String("php") ? QStringLiteral("php -S, %1 workers").arg(workers)
                 : serverName == QLatin1String("nginx") ? QStringLiteral("nginx with PHP-FPM")
                                                        : QStringLiteral("Apache with PHP-FPM");
    }

    if (!args.contains(QStringLiteral("--find-max"))) {
        const Result r = RunLoad(target, pairs, seconds, intervalMs);
        PrintTable(r, QStringLiteral("Relay load (%1 session pairs, %2, a poll every %3 ms per side, %4 s)")
                          .arg(pairs)
                          .arg(served)
                          .arg(intervalMs)
                          .arg(seconds));
        return r.Clean() ? 0 : 1;
    }
    // The most pairs that the relay serves cleanly within 50 ms at the 99th
    // percentile, at this pace.
    std::printf("| Session pairs (%s, a poll every %d ms per side, %d s each) | Lost / twice / misdelivered | "
                "Requests per second | Answer time, median / 99th percentile |\n|---|---|---|---|\n",
                qPrintable(served), intervalMs, seconds);
    int best = 0;
    for (const int tried : {250, 500, 1000, 1500, 2000, 2500, 3000, 4000, 5000}) {
        const Result r = RunLoad(target, tried, seconds, intervalMs);
        std::printf("| %d | %lld / %lld / %lld | %.0f | %.1f ms / %.1f ms |\n", tried, static_cast<long long>(r.lost),
                    static_cast<long long>(r.totals.duplicates), static_cast<long long>(r.totals.misdelivered),
                    r.requestsPerSecond, r.medianMs, r.p99Ms);
        std::fflush(stdout);
        if (!r.Clean() || r.p99Ms >= 50 || r.totals.failedRequests > 0)
            break;
        best = tried;
    }
    std::printf("\nMost session pairs served cleanly with 99 %% of the answers within 50 ms: %d\n", best);
    return best > 0 ? 0 : 1;
}
