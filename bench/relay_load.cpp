// Load test of the support relay alone: many support sessions at once over
// `php -S` with several workers, each side polling as the program does (one
// request at a time, the next one an interval after the answer) and sending
// one-shot messages at random. Prints a Markdown table:
//   krova-relay-load [--pairs N] [--seconds S] [--interval-ms MS] [--workers W]
// Every one-shot carries its session, side and sequence number, so that a
// lost, doubled or misdelivered one is counted. Loopback only.
#include "support/php_relay.h"
#include "support/relay_codec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

namespace {

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
    Side(int session, bool support, quint16 port, int intervalMs, Totals& totals)
        : session_(session), support_(support), port_(port), intervalMs_(intervalMs), totals_(totals),
          random_(quint32(session * 2 + (support ? 1 : 0) + 7))
    {
    }

    void Start() { QTimer::singleShot(int(random_.bounded(intervalMs_)), this, [this] { Send(); }); }
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
        const QByteArray target = QByteArray("/s/") + Code() + "/support_x.php?user=" +
                                  (support_ ? "support" : "client") + "&data=" + data + "&time=" +
                                  QByteArray::number(++stamp_);
        socket_ = new QTcpSocket(this);
        received_bytes_.clear();
        elapsed_.start();
        connect(socket_, &QTcpSocket::connected, this, [this, target] {
            socket_->write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        });
        connect(socket_, &QTcpSocket::readyRead, this, [this] { received_bytes_ += socket_->readAll(); });
        connect(socket_, &QTcpSocket::disconnected, this, [this, sequence] { Finish(sequence); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this, sequence](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError)
                Finish(sequence);
        });
        socket_->connectToHost(QHostAddress::LocalHost, port_);
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
        QTimer::singleShot(intervalMs_, this, [this] { Send(); });
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
    const quint16 port_;
    const int intervalMs_;
    Totals& totals_;
    QRandomGenerator random_;
    QTcpSocket* socket_ = nullptr;
    QByteArray received_bytes_;
    QElapsedTimer elapsed_;
    bool oneShots_ = true;
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int pairs = std::clamp(Option(args, QStringLiteral("--pairs"), 50), 1, 500);
    const int seconds = std::clamp(Option(args, QStringLiteral("--seconds"), 15), 1, 120);
    const int intervalMs = std::clamp(Option(args, QStringLiteral("--interval-ms"), 250), 10, 5000);
    const int workers = std::clamp(Option(args, QStringLiteral("--workers"), 8), 1, 64);
    // The real relay under `php -S` with its workers, storing in a private
    // folder; it goes with all its workers at the end.
    PhpRelay server({{QStringLiteral("PHP_CLI_SERVER_WORKERS"), QString::number(workers)}});
    if (!server.IsRunning()) {
        std::fprintf(stderr, "krova-relay-load: %s\n", qPrintable(server.ErrorText()));
        return 1;
    }
    const quint16 port = server.Port();

    Totals totals;
    std::vector<std::unique_ptr<Side>> clients;
    std::vector<std::unique_ptr<Side>> supports;
    for (int s = 0; s < pairs; ++s) {
        clients.push_back(std::make_unique<Side>(s, false, port, intervalMs, totals));
        supports.push_back(std::make_unique<Side>(s, true, port, intervalMs, totals));
    }
    QElapsedTimer wall;
    wall.start();
    for (int s = 0; s < pairs; ++s) {
        clients[std::size_t(s)]->Start();
        supports[std::size_t(s)]->Start();
    }
    // Load with one-shots, then only periodic polls until everything waiting
    // has been fetched (bounded).
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const qint64 loadMs = wall.elapsed();
    const qint64 loadRequests = totals.requests;
    for (int s = 0; s < pairs; ++s) {
        clients[std::size_t(s)]->StopSendingOneShots();
        supports[std::size_t(s)]->StopSendingOneShots();
    }
    QTimer::singleShot(std::max(20 * intervalMs, 3000), &loop, &QEventLoop::quit);
    loop.exec();

    qint64 lost = 0;
    for (int s = 0; s < pairs; ++s) {
        const auto i = std::size_t(s);
        for (const auto& [from, to] : {std::pair{clients[i].get(), supports[i].get()},
                                       std::pair{supports[i].get(), clients[i].get()}})
            for (int sequence : from->Taken())
                lost += to->ReceivedFromPeer().count(sequence) == 0;
    }
    server.Stop();

    // Answer times of the load phase only (requests are counted as their
    // times are taken), like the requests per second.
    std::vector<qint64>& lat = totals.latenciesUs;
    lat.resize(std::size_t(loadRequests));
    std::sort(lat.begin(), lat.end());
    const auto percentile = [&lat](double p) {
        return lat.empty() ? 0.0 : double(lat[std::min(lat.size() - 1, std::size_t(p * double(lat.size())))]) / 1000.0;
    };
    std::printf("| Relay load (%d session pairs, %d PHP workers, a poll every %d ms per side, %d s) | Result |\n",
                pairs, workers, intervalMs, seconds);
    std::printf("|---|---|\n");
    std::printf("| One-shots sent / taken by the relay / refused as queue full | %lld / %lld / %lld |\n",
                static_cast<long long>(totals.oneShotsSent),
                static_cast<long long>(totals.oneShotsSent - totals.oneShotsRefused),
                static_cast<long long>(totals.oneShotsRefused));
    std::printf("| One-shots lost | %lld |\n", static_cast<long long>(lost));
    std::printf("| One-shots delivered twice | %lld |\n", static_cast<long long>(totals.duplicates));
    std::printf("| Messages delivered to another session | %lld |\n", static_cast<long long>(totals.misdelivered));
    std::printf("| Requests without an answer | %lld |\n", static_cast<long long>(totals.failedRequests));
    std::printf("| Requests per second | %.0f |\n", double(loadRequests) * 1000.0 / double(std::max<qint64>(loadMs, 1)));
    std::printf("| Answer time, median / 99th percentile | %.1f ms / %.1f ms |\n", percentile(0.5),
                percentile(0.99));
    return lost == 0 && totals.duplicates == 0 && totals.misdelivered == 0 ? 0 : 1;
}
