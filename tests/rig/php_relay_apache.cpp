// PhpRelay behind Apache: Debian's apache2 started for the test as its own
// instance (own configuration, ports, logs, pid and lock files in the test's
// folder), PHP-FPM behind it through mod_proxy_fcgi as Debian's php8.2-fpm
// configuration hands .php files over, and relay/htaccess.example as the
// .htaccess beside a copy of the script, so that its rewrite rule is what
// routes the session paths.
#include "rig/php_relay.h"

#include "rig/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#ifndef Q_OS_WIN
namespace {

constexpr int ApacheStartTimeLimitMs = 10000;
const QString ApacheProgram = QStringLiteral("/usr/sbin/apache2");
const QString FpmProgram = QStringLiteral("/usr/sbin/php-fpm8.2");
const QString ApacheModules = QStringLiteral("/usr/lib/apache2/modules");

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// A certificate and its key for `host` (with 127.0.0.1 beside localhost),
// made once per test process and copied into `dir` as <name>.crt/.key.
bool CopyCertificate(const QString& dir, const QString& name, const QString& host, QString* error)
{
    static QTemporaryDir made;
    const QString crt = made.filePath(name + ".crt");
    const QString key = made.filePath(name + ".key");
    if (!QFileInfo::exists(crt)) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                       QStringLiteral("2"), QStringLiteral("-subj"), "/CN=" + host, QStringLiteral("-addext"),
                       "subjectAltName=DNS:" + host
                           + (host == QLatin1String("localhost") ? QStringLiteral(",IP:127.0.0.1") : QString()),
                       QStringLiteral("-keyout"), key, QStringLiteral("-out"), crt});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
            *error = "openssl could not make a certificate: " + QString::fromLocal8Bit(openssl.readAllStandardError());
            QFile::remove(crt);
            return false;
        }
    }
    if ((!QFileInfo::exists(dir + "/" + name + ".crt") && !QFile::copy(crt, dir + "/" + name + ".crt"))
        || (!QFileInfo::exists(dir + "/" + name + ".key") && !QFile::copy(key, dir + "/" + name + ".key"))) {
        *error = QStringLiteral("cannot copy the test certificates");
        return false;
    }
    return true;
}

// The status of a GET sent over a raw connection; 0 when no answer came.
int StatusOf(quint16 port, const QByteArray& path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(2000))
        return 0;
    socket.write("GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (!answer.contains("\r\n") && socket.waitForReadyRead(5000))
        answer += socket.readAll();
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    return statusLine.size() >= 2 ? statusLine[1].toInt() : 0;
}

QString Tail(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll().right(600)) : QString();
}

} // namespace
#endif

bool PhpRelay::StartApache(const QMap<QString, QString>& environment)
{
#ifdef Q_OS_WIN
    Q_UNUSED(environment);
    error_ = QStringLiteral("Apache runs on the Linux side only");
    return false;
#else
    const QString dir = mailboxDir_.path();
    if (!QFileInfo(ApacheProgram).isExecutable() || !QFileInfo(FpmProgram).isExecutable()) {
        error_ = QStringLiteral("Apache and PHP-FPM are not installed (./krova deps installs them)");
        return false;
    }
    if (!CopyCertificate(dir, QStringLiteral("localhost"), QStringLiteral("localhost"), &error_)
        || !CopyCertificate(dir, QStringLiteral("wrong"), QStringLiteral("wrong.example"), &error_))
        return false;
    port_ = FreePort();
    tlsPort_ = FreePort();
    wrongPort_ = FreePort();
    if (port_ == 0 || tlsPort_ == 0 || wrongPort_ == 0 || tlsPort_ == port_ || wrongPort_ == port_
        || wrongPort_ == tlsPort_) {
        error_ = QStringLiteral("no free loopback ports");
        return false;
    }
    const bool root = ::geteuid() == 0;

    // Apache's children run as www-data when the test runs as root (Apache
    // will not run them as root): they pass through the test's folder to the
    // web folder, which they read, and reach PHP-FPM's socket; everything else
    // in the folder stays private. PHP-FPM runs as the test's user, so the
    // mailboxes belong to the user who checks them.
    const QString web = dir + "/www";
    const QString relayDir = environment.value(QStringLiteral("KROVA_RELAY_DIR"), MailboxDir());
    QFile example(SourceDir() + QStringLiteral("/relay/htaccess.example"));
    QString htaccess = example.open(QIODevice::ReadOnly) ? QString::fromUtf8(example.readAll()) : QString();
    // The administrator's SetEnv line, with this test's mailbox folder.
    const QString setEnv = QStringLiteral("# SetEnv KROVA_RELAY_DIR /var/lib/krova-relay");
    if (!htaccess.contains(setEnv)) {
        error_ = QStringLiteral("relay/htaccess.example has no line \"%1\" to set the mailbox folder").arg(setEnv);
        return false;
    }
    htaccess.replace(setEnv, "SetEnv KROVA_RELAY_DIR " + relayDir);
    const auto readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if ((!QDir(web).exists() && !QDir().mkdir(web))
        || !QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup
                                           | QFile::ExeOther)
        || !QFile::setPermissions(web, readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther)
        || !WriteAll(web + "/support_x.php", ReadAll(SourceDir() + QStringLiteral("/relay/support_x.php")))
        || !WriteAll(web + "/.htaccess", htaccess.toUtf8()) || !QFile::setPermissions(web + "/support_x.php", readable)
        || !QFile::setPermissions(web + "/.htaccess", readable)) {
        error_ = QStringLiteral("cannot set up the web folder for Apache");
        return false;
    }

    // PHP-FPM's pool: the relay's further settings in its environment, as
    // many PHP processes as php -S would have workers (a load test sets it).
    QString pool = QStringLiteral("[global]\npid = %1/fpm.pid\nerror_log = %1/fpm.log\ndaemonize = no\n"
                                  "[krova]\nlisten = %1/fpm.sock\npm = static\npm.max_children = %2\n")
                       .arg(dir, environment.value(QStringLiteral("PHP_CLI_SERVER_WORKERS"), QStringLiteral("4")));
    if (root)
        pool += QStringLiteral("user = root\ngroup = root\nlisten.owner = www-data\nlisten.group = www-data\n"
                               "listen.mode = 0660\n");
    for (auto it = environment.begin(); it != environment.end(); ++it)
        pool += QStringLiteral("env[%1] = %2\n").arg(it.key(), it.value());

    // A server configuration as Debian's has it where it matters here: .ht*
    // files are not served, AllowOverride FileInfo for the relay's folder,
    // .php files handed to PHP-FPM (Debian's conf-available/php8.2-fpm.conf).
    QString conf = QStringLiteral("ServerRoot %1\nServerName 127.0.0.1\nPidFile %1/apache.pid\n"
                                  "ErrorLog %1/apache-error.log\nLogLevel warn\nDefaultRuntimeDir %1/run\n"
                                  "Mutex file:%1/run default\n")
                       .arg(dir);
    if (root)
        conf += QStringLiteral("User www-data\nGroup www-data\n");
    // The modules that matter here: access rules, the .htaccess's rewrite
    // rule and SetEnv, TLS with its session cache, the hand-over to PHP-FPM.
    for (const char* module : {"mpm_event", "authz_core", "rewrite", "env", "ssl", "socache_shmcb", "proxy",
                               "proxy_fcgi"})
        conf += QStringLiteral("LoadModule %1_module %2/mod_%1.so\n").arg(QLatin1String(module), ApacheModules);
    conf += QStringLiteral("SSLSessionCache shmcb:%1/run/ssl_scache(512000)\n"
                           "<Files \".ht*\">\n Require all denied\n</Files>\n"
                           "<Directory />\n AllowOverride None\n Require all denied\n</Directory>\n"
                           "DocumentRoot %2\n<Directory %2>\n AllowOverride FileInfo\n Require all granted\n"
                           " <FilesMatch \".+\\.php$\">\n  SetHandler \"proxy:unix:%1/fpm.sock|fcgi://localhost\"\n"
                           " </FilesMatch>\n</Directory>\n")
                .arg(dir, web);
    conf += QStringLiteral("Listen 127.0.0.1:%1\nListen 127.0.0.1:%2\nListen 127.0.0.1:%3\n")
                .arg(port_)
                .arg(tlsPort_)
                .arg(wrongPort_);
    for (const auto& [port, name] : {std::pair{tlsPort_, QStringLiteral("localhost")},
                                     std::pair{wrongPort_, QStringLiteral("wrong")}})
        conf += QStringLiteral("<VirtualHost 127.0.0.1:%1>\n SSLEngine on\n SSLCertificateFile %2/%3.crt\n"
                               " SSLCertificateKeyFile %2/%3.key\n</VirtualHost>\n")
                    .arg(port)
                    .arg(dir, name);
    if (!QDir(dir + "/run").exists() && !QDir().mkdir(dir + "/run")) {
        error_ = QStringLiteral("cannot make Apache's runtime folder");
        return false;
    }
    if (!WriteAll(dir + "/fpm.conf", pool.toUtf8()) || !WriteAll(dir + "/apache.conf", conf.toUtf8())) {
        error_ = QStringLiteral("cannot write the server configuration");
        return false;
    }

    const QString output = dir + "/server-output.log";
    for (QProcess* p : {&fpm_, &process_}) {
        p->setStandardInputFile(QProcess::nullDevice());
        p->setStandardOutputFile(output, QIODevice::Append);
        p->setStandardErrorFile(output, QIODevice::Append);
        // Own process group, so that Stop() also reaches the children.
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
    }
    QStringList fpmArguments{QStringLiteral("--nodaemonize"), QStringLiteral("--fpm-config"), dir + "/fpm.conf"};
    if (root)
        fpmArguments << QStringLiteral("-R");
    fpm_.start(FpmProgram, fpmArguments);
    process_.start(ApacheProgram, {QStringLiteral("-f"), dir + "/apache.conf", QStringLiteral("-DFOREGROUND")});
    for (int i = 0; i < 200 && !QFileInfo::exists(dir + "/fpm.sock"); ++i)
        QThread::msleep(10);
    const auto failed = [&](const QString& what) {
        error_ = "Apache with PHP-FPM did not come up: " + what + "\n" + Tail(output) + Tail(dir + "/apache-error.log")
                 + Tail(dir + "/fpm.log");
        return false;
    };
    if (!fpm_.waitForStarted(ApacheStartTimeLimitMs) || !process_.waitForStarted(ApacheStartTimeLimitMs)
        || !QFileInfo::exists(dir + "/fpm.sock"))
        return failed(QStringLiteral("the processes did not start"));
    for (quint16 port : {port_, tlsPort_, wrongPort_})
        if (!WaitUntilAccepting(process_, port, ApacheStartTimeLimitMs))
            return failed(QStringLiteral("nothing accepts on port %1").arg(port));
    // The script answers a session path without a query with 400 before it
    // touches a mailbox: the rewrite rule, the handler and PHP-FPM all work.
    const int status = StatusOf(port_, "/s/ABCD-2345/support_x.php");
    if (status != 400)
        return failed(QStringLiteral("a session path without a query got status %1 instead of 400").arg(status));
    error_.clear();
    return true;
#endif
}
