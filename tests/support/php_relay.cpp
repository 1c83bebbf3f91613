#include "support/php_relay.h"

#include "support/test_support.h"

#include <QDir>
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

// Where the mailboxes go. A Windows build tested under Wine runs the Linux
// PHP (KROVA_PHP is a Unix path): the folder must have the same name on both
// sides, which a folder below /tmp has (Wine's drive Z: is the Unix root).
// A path as the Linux side names it (Wine gives the Unix root as drive Z:).
QString UnixPath(const QString& path)
{
    return PhpRelay::UnderWine() && path.startsWith(QLatin1String("Z:"), Qt::CaseInsensitive) ? path.mid(2) : path;
}

QString MailboxTemplate()
{
    return PhpRelay::UnderWine() ? QStringLiteral("/tmp/krova-relay-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/krova-relay-XXXXXX");
}

} // namespace

PhpRelay::PhpRelay(const QMap<QString, QString>& environment) : mailboxDir_(MailboxTemplate())
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
    // Made by the relay itself, private to it (a folder made by a Windows
    // program under Wine would not be).
    return mailboxDir_.filePath(QStringLiteral("mailboxes"));
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
    env.insert(QStringLiteral("KROVA_RELAY_DIR"), UnixPath(MailboxDir()));
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
    const QStringList arguments = {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(port_), QStringLiteral("-t"),
                                   UnixPath(SourceDir() + QStringLiteral("/relay")),
                                   UnixPath(SourceDir() + QStringLiteral("/relay/router.php"))};
    if (UnderWine()) {
        // A Windows build cannot end a Linux process it started: a shell
        // notes its number (Wine starts it in a process group of its own)
        // and becomes PHP, for a kill of that group run the same way in Stop().
        const QString pidFile = UnixPath(mailboxDir_.filePath(QStringLiteral("php.pid")));
        process_.start(QStringLiteral("/bin/sh"),
                       QStringList{QStringLiteral("-c"), QStringLiteral("echo $$ > %1; exec $0 $*").arg(pidFile),
                                   PhpProgram()}
                           + arguments);
    } else {
        process_.start(PhpProgram(), arguments);
    }
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

bool PhpRelay::UnderWine()
{
#ifdef Q_OS_WIN
    return PhpProgram().startsWith(QLatin1Char('/'));
#else
    return false;
#endif
}

void PhpRelay::Stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    if (UnderWine()) {
        QFile pidFile(mailboxDir_.filePath(QStringLiteral("php.pid")));
        const QByteArray pid = pidFile.open(QIODevice::ReadOnly) ? pidFile.readAll().trimmed() : QByteArray();
        if (!pid.isEmpty())
            QProcess::execute(QStringLiteral("/bin/kill"),
                              {QStringLiteral("-KILL"), QStringLiteral("--"), QLatin1Char('-') + QString::fromLatin1(pid)});
        process_.waitForFinished(3000);
        return;
    }
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
