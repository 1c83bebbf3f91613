#include "rig/php_relay.h"

#include "rig/test_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QHostAddress>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

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

PhpRelay::PhpRelay(const QMap<QString, QString>& environment, Server server) : mailboxDir_(MailboxTemplate())
{
    const QString fromEnvironment = qEnvironmentVariable("KROVA_RELAY_SERVER");
    server_ = server != Server::FromEnvironment           ? server
              : fromEnvironment == QLatin1String("nginx")  ? Server::NginxPhpFpm
              : fromEnvironment == QLatin1String("apache") ? Server::Apache
                                                           : Server::PhpBuiltIn;
    if (!mailboxDir_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary mailbox directory");
        return;
    }
    for (int attempt = 0; attempt < StartAttempts; ++attempt) {
        if (server_ == Server::NginxPhpFpm ? StartNginx(environment)
            : server_ == Server::Apache    ? StartApache(environment)
                                           : StartOnce(environment))
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
    return process_.state() == QProcess::Running && port_ != 0
           && (server_ == Server::PhpBuiltIn || fpm_.state() == QProcess::Running);
}

QString PhpRelay::TlsDomain() const
{
    // By address: a minimal system may have no name for localhost.
    return QStringLiteral("https://127.0.0.1:%1").arg(tlsPort_);
}

QString PhpRelay::WrongHostDomain() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(wrongPort_);
}

QString PhpRelay::CertificatePath(bool wrongHost) const
{
    return mailboxDir_.filePath(wrongHost ? QStringLiteral("wrong.crt") : QStringLiteral("localhost.crt"));
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
    if (!WaitUntilAccepting(process_, port_, StartTimeLimitMs)) {
        QFile logFile(log);
        const QByteArray tail = logFile.open(QIODevice::ReadOnly) ? logFile.readAll().right(500) : QByteArray();
        error_ = QStringLiteral("php -S on port %1 did not come up: %2").arg(port_).arg(QString::fromLocal8Bit(tail));
        return false;
    }
    error_.clear();
    return true;
}

bool PhpRelay::WaitUntilAccepting(QProcess& process, quint16 port, int timeLimitMs)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < timeLimitMs) {
        // Doubles as the pause between tries; true means the server gave up
        // (for instance because the port was taken meanwhile).
        if (process.waitForFinished(20))
            return false;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200)) {
            socket.abort();
            // Make sure it is our server that answered and not a stranger that
            // took the port first: it would be exiting by now.
            return !process.waitForFinished(30);
        }
    }
    return false;
}

namespace {

// A certificate for a host name and its key, made with openssl.
bool MakeCertificate(const QString& dir, const QString& name, const QString& host, QString* error)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                   QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=") + host, QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=DNS:") + host
                       + (host == QLatin1String("localhost") ? QStringLiteral(",IP:127.0.0.1") : QString()),
                   QStringLiteral("-keyout"), dir + "/" + name + ".key",
                   QStringLiteral("-out"), dir + "/" + name + ".crt"});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        *error = QStringLiteral("openssl could not make a certificate: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
        return false;
    }
    return true;
}

bool WriteText(const QString& path, const QString& text)
{
    return WriteAll(path, text.toUtf8());
}

} // namespace

bool PhpRelay::StartNginx(const QMap<QString, QString>& environment)
{
#ifdef Q_OS_WIN
    Q_UNUSED(environment);
    error_ = QStringLiteral("nginx with PHP-FPM runs on the Linux side only");
    return false;
#endif
    const QString dir = mailboxDir_.path();
    const QString fpmProgram = QStringLiteral("/usr/sbin/php-fpm8.2");
    const QString nginxProgram = QStringLiteral("/usr/sbin/nginx");
    if (!QFileInfo(fpmProgram).isExecutable() || !QFileInfo(nginxProgram).isExecutable()) {
        error_ = QStringLiteral("nginx and PHP-FPM are not installed (./krova deps installs them)");
        return false;
    }
    // The certificates are made once for all relays of the test process.
    static QTemporaryDir certificates;
    for (const auto& [name, host] : {std::pair{QStringLiteral("localhost"), QStringLiteral("localhost")},
                                     std::pair{QStringLiteral("wrong"), QStringLiteral("wrong.example")}}) {
        if (!QFileInfo::exists(certificates.filePath(name + ".crt"))
            && !MakeCertificate(certificates.path(), name, host, &error_))
            return false;
        for (const QString& suffix : {QStringLiteral(".crt"), QStringLiteral(".key")})
            if (!QFileInfo::exists(dir + "/" + name + suffix)
                && !QFile::copy(certificates.filePath(name + suffix), dir + "/" + name + suffix)) {
                error_ = QStringLiteral("cannot copy the test certificates");
                return false;
            }
    }
    port_ = FreeLoopbackPort();
    tlsPort_ = FreeLoopbackPort();
    wrongPort_ = FreeLoopbackPort();
    if (port_ == 0 || tlsPort_ == 0 || wrongPort_ == 0 || tlsPort_ == port_ || wrongPort_ == port_
        || wrongPort_ == tlsPort_) {
        error_ = QStringLiteral("no free loopback ports");
        return false;
    }
#ifdef Q_OS_UNIX
    const bool root = ::geteuid() == 0;
#else
    const bool root = false;
#endif
    // PHP-FPM's pool, the relay's settings in its environment.
    // As many PHP processes as php -S would have workers (a load test sets it).
    QString pool = QStringLiteral("[global]\npid = %1/fpm.pid\nerror_log = %1/fpm.log\ndaemonize = no\n"
                                  "[krova]\nlisten = %1/fpm.sock\npm = static\npm.max_children = %2\n")
                       .arg(dir, environment.value(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QStringLiteral("4")));
    if (root)
        pool += QStringLiteral("user = root\ngroup = root\n");
    for (auto it = environment.begin(); it != environment.end(); ++it)
        pool += QStringLiteral("env[%1] = %2\n").arg(it.key(), it.value());
    // The administrator's location block, with this test's folders.
    QFile example(SourceDir() + QStringLiteral("/relay/nginx.conf.example"));
    if (!example.open(QIODevice::ReadOnly)) {
        error_ = QStringLiteral("cannot read relay/nginx.conf.example");
        return false;
    }
    const QString location = QString::fromUtf8(example.readAll())
                                 .replace(QStringLiteral("/var/www/krova"), SourceDir() + QStringLiteral("/relay"))
                                 .replace(QStringLiteral("/var/lib/krova-relay"),
                                          environment.value(QStringLiteral("KROVA_RELAY_DIR"), MailboxDir()))
                                 .replace(QStringLiteral("unix:/run/php/php8.2-fpm.sock"), "unix:" + dir + "/fpm.sock")
                                 .replace(QStringLiteral("include fastcgi_params;"),
                                          QStringLiteral("include /etc/nginx/fastcgi_params;"));
    const auto server = [&](quint16 port, const QString& tls) {
        return QStringLiteral("server {\n listen 127.0.0.1:%1%2;\n%3%4}\n")
            .arg(port)
            .arg(tls.isEmpty() ? QString() : QStringLiteral(" ssl"))
            .arg(tls.isEmpty() ? QString()
                               : QStringLiteral(" ssl_certificate %1/%2.crt;\n ssl_certificate_key %1/%2.key;\n").arg(dir, tls))
            .arg(location);
    };
    const QString conf =
        (root ? QStringLiteral("user root;\n") : QString())
        + QStringLiteral("worker_processes 2;\npid %1/nginx.pid;\nerror_log %1/nginx-error.log;\n"
                         "events { worker_connections 512; }\nhttp {\n access_log off;\n"
                         " client_body_temp_path %1/body; fastcgi_temp_path %1/fastcgi; proxy_temp_path %1/proxy;\n"
                         " uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n")
              .arg(dir)
        + server(port_, QString()) + server(tlsPort_, QStringLiteral("localhost"))
        + server(wrongPort_, QStringLiteral("wrong")) + QStringLiteral("}\n");
    if (!WriteText(dir + "/fpm.conf", pool) || !WriteText(dir + "/nginx.conf", conf)) {
        error_ = QStringLiteral("cannot write the server configuration");
        return false;
    }
    for (QProcess* p : {&fpm_, &process_}) {
        p->setStandardInputFile(QProcess::nullDevice());
        p->setStandardOutputFile(dir + "/server-output.log", QIODevice::Append);
        p->setStandardErrorFile(dir + "/server-output.log", QIODevice::Append);
#ifdef Q_OS_UNIX
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    }
    QStringList fpmArguments{QStringLiteral("--nodaemonize"), QStringLiteral("--fpm-config"), dir + "/fpm.conf"};
    if (root)
        fpmArguments << QStringLiteral("-R");
    fpm_.start(fpmProgram, fpmArguments);
    process_.start(nginxProgram, {QStringLiteral("-p"), dir, QStringLiteral("-c"), dir + "/nginx.conf",
                                  QStringLiteral("-g"), QStringLiteral("daemon off;")});
    for (int i = 0; i < 200 && !QFileInfo::exists(dir + "/fpm.sock"); ++i)
        QThread::msleep(10);
    if (!fpm_.waitForStarted(StartTimeLimitMs) || !process_.waitForStarted(StartTimeLimitMs)
        || !WaitUntilAccepting(process_, port_, StartTimeLimitMs)
        || !WaitUntilAccepting(process_, tlsPort_, StartTimeLimitMs) || !QFileInfo::exists(dir + "/fpm.sock")) {
        QFile log(dir + "/server-output.log");
        error_ = QStringLiteral("nginx with PHP-FPM did not come up: ")
                 + QString::fromLocal8Bit(log.open(QIODevice::ReadOnly) ? log.readAll().right(500) : QByteArray());
        return false;
    }
    error_.clear();
    return true;
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
    if (process_.state() == QProcess::NotRunning && fpm_.state() == QProcess::NotRunning)
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
    EndGroup(process_);
    EndGroup(fpm_);
}

void PhpRelay::EndGroup(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
#ifdef Q_OS_UNIX
    const pid_t group = pid_t(process.processId());
    if (group > 0) {
        ::kill(-group, SIGTERM);
        if (!process.waitForFinished(3000)) {
            ::kill(-group, SIGKILL);
            process.waitForFinished(3000);
        }
        // Workers that outlived the server itself.
        if (::kill(-group, 0) == 0)
            ::kill(-group, SIGKILL);
        return;
    }
#endif
    process.kill();
    process.waitForFinished(3000);
}
