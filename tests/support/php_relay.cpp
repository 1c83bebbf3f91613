#include "support/php_relay.h"

#include "support/test_support.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

constexpr int StartAttempts = 5;
constexpr int StartTimeLimitMs = 10000;

// A port that was free a moment ago. Another process may take it before PHP
// binds it; the start then fails and is retried on a new port.
quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

PhpRelay::PhpRelay(const QMap<QString, QString>& environment)
{
    if (!mailboxDir_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary mailbox directory");
        return;
    }
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        if (StartOnce(environment))
            return;
        Stop();
    }
}

PhpRelay::~PhpRelay()
{
    Stop();
}

QString PhpRelay::PhpProgram()
{
    const QString configured = qEnvironmentVariable("KROVA_PHP");
    return configured.isEmpty() ? QStringLiteral("php") : configured;
}

bool PhpRelay::IsRunning() const
{
    return process_.state() == QProcess::Running && port_ != 0;
}

QString PhpRelay::Domain() const
{
    return QStringLiteral("127.0.0.1:%1").arg(port_);
}

QString PhpRelay::ScriptUrl() const
{
    return QStringLiteral("http://") + Domain() + QStringLiteral("/support_x.php");
}

QString PhpRelay::MailboxDir() const
{
    return mailboxDir_.path();
}

namespace {

QString StateFile(const QString& dir, const QString& session)
{
    return dir + QStringLiteral("/sessions/") + session + QStringLiteral("/state");
}

QJsonObject ReadState(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

} // namespace

QList<QByteArray> PhpRelay::Waiting(const QString& side, const QString& session) const
{
    QList<QByteArray> messages;
    const QJsonArray queue = ReadState(StateFile(MailboxDir(), session)).value(side).toArray();
    for (const QJsonValue& m : queue)
        messages << m.toObject().value(QStringLiteral("data")).toString().toLatin1();
    return messages;
}

void PhpRelay::Discard(const QString& side, const QString& session)
{
    const QString path = StateFile(MailboxDir(), session);
    QJsonObject state = ReadState(path);
    if (state.isEmpty())
        return;
    state.insert(side, QJsonArray());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QJsonDocument(state).toJson(QJsonDocument::Compact));
}

QMap<QString, QByteArray> PhpRelay::StoredFiles() const
{
    QMap<QString, QByteArray> files;
    QDirIterator it(MailboxDir(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QStringLiteral("php-server.log")))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(path.mid(MailboxDir().size()), file.readAll());
    }
    return files;
}

bool PhpRelay::StartOnce(const QMap<QString, QString>& environment)
{
    port_ = FreeLoopbackPort();
    if (port_ == 0) {
        error_ = QStringLiteral("no free loopback port");
        return false;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KROVA_RELAY_DIR"), mailboxDir_.path());
    for (auto it = environment.begin(); it != environment.end(); ++it)
        env.insert(it.key(), it.value());
    process_.setProcessEnvironment(env);
    // The server's access log would fill a pipe nobody reads; it goes to a
    // file next to the mailboxes and is quoted when the start fails.
    const QString log = mailboxDir_.filePath(QStringLiteral("php-server.log"));
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.setStandardOutputFile(log);
    process_.setStandardErrorFile(log, QIODevice::Append);
#ifdef Q_OS_UNIX
    // Own process group, so that Stop() also reaches any worker processes.
    process_.setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    process_.start(PhpProgram(), {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(port_),
                                  QStringLiteral("-t"), SourceDir() + QStringLiteral("/relay"),
                                  SourceDir() + QStringLiteral("/relay/router.php")});
    if (!process_.waitForStarted(StartTimeLimitMs)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(PhpProgram(), process_.errorString());
        return false;
    }
    if (!WaitUntilAccepting(StartTimeLimitMs)) {
        QFile logFile(log);
        const QByteArray tail = logFile.open(QIODevice::ReadOnly) ? logFile.readAll().right(500) : QByteArray();
        error_ = QStringLiteral("php -S on port %1 did not come up: %2").arg(port_).arg(QString::fromLocal8Bit(tail));
        return false;
    }
    error_.clear();
    return true;
}

bool PhpRelay::WaitUntilAccepting(int timeLimitMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeLimitMs) {
        // Doubles as the pause between tries; true means PHP gave up (for
        // instance because the port was taken meanwhile).
        if (process_.waitForFinished(20))
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port_);
        if (socket.waitForConnected(200)) {
            socket.abort();
            // Make sure it is our server that answered and not a stranger that
            // took the port first: PHP would be exiting by now.
            return !process_.waitForFinished(30);
        }
    }
    return false;
}

void PhpRelay::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
#ifdef Q_OS_UNIX
    const pid_t group = pid_t(process_.processId());
    if (group > 0) {
        ::kill(-group, SIGTERM);
        if (!process_.waitForFinished(3000)) {
            ::kill(-group, SIGKILL);
            process_.waitForFinished(3000);
        }
        // Workers that outlived the server itself.
        if (::kill(-group, 0) == 0)
            ::kill(-group, SIGKILL);
        return;
    }
#endif
    process_.kill();
    process_.waitForFinished(3000);
}
