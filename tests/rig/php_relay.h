#pragma once
// The real relay script served by `php -S 127.0.0.1:<free port> -t <source>/relay`
// for the length of a test. Mailboxes go to a private temporary directory, so
// tests never share messages with each other or with an installed relay.
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PhpRelay {
public:
    // The web server in front of the script: PHP's own (php -S with the
    // router), or nginx with PHP-FPM as the README has an administrator set
    // it up (the location block of relay/nginx.conf.example), on plain HTTP
    // and on TLS with certificates made for the test; or Apache with PHP-FPM
    // and relay/htaccess.example as the .htaccess beside the script, the same
    // way (php_relay_apache.cpp). FromEnvironment takes KROVA_RELAY_SERVER
    // ("nginx", "apache"), so that a whole suite runs on any of them.
    enum class Server { FromEnvironment, PhpBuiltIn, NginxPhpFpm, Apache };

    // `environment` is added to the relay's environment, e.g.
    // {"KROVA_RELAY_MAX_AGE", "0.2"}; KROVA_RELAY_DIR defaults to the private
    // directory. Starts the server and waits (bounded) until it accepts
    // connections; check IsRunning() / ErrorText().
    explicit PhpRelay(const QMap<QString, QString>& environment = {}, Server server = Server::FromEnvironment);
    ~PhpRelay();
    PhpRelay(const PhpRelay&) = delete;
    PhpRelay& operator=(const PhpRelay&) = delete;

    bool IsRunning() const;
    QString ErrorText() const { return error_; }
    quint16 Port() const { return port_; }
    // "127.0.0.1:<port>", the support domain that reaches this relay.
    QString Domain() const;
    // Base URL of the script: "http://127.0.0.1:<port>/support_x.php".
    QString ScriptUrl() const;
    // nginx and Apache only: the same relay over TLS, "https://127.0.0.1:<port>",
    // with a certificate for localhost and 127.0.0.1 that CertificatePath()
    // holds; and a server whose certificate names another host (WrongHostDomain()).
    QString TlsDomain() const;
    QString WrongHostDomain() const;
    QString CertificatePath(bool wrongHost = false) const;
    Server Kind() const { return server_; }
    QString MailboxDir() const;
    // The messages that one side left and the other has not taken yet,
    // oldest first, as the relay stores them for a session ("trial" is the
    // plain script, "s-<CODE>" a session code).
    QList<QByteArray> Waiting(const QString& side, const QString& session = QStringLiteral("trial")) const;
    // Takes away every message that side left, as if they had expired.
    void Discard(const QString& side, const QString& session = QStringLiteral("trial"));
    // Every file below the mailbox directory with its content.
    QMap<QString, QByteArray> StoredFiles() const;
    // Ends the server and every process it started (workers included).
    void Stop();

    // Path of the PHP interpreter: $KROVA_PHP, else "php" from the PATH.
    static QString PhpProgram();
    // A Windows build tested under Wine, running the Linux PHP.
    static bool UnderWine();

private:
    bool StartOnce(const QMap<QString, QString>& environment);
    bool StartNginx(const QMap<QString, QString>& environment);
    bool StartApache(const QMap<QString, QString>& environment);
    bool WaitUntilAccepting(QProcess& process, quint16 port, int timeLimitMs);
    static void EndGroup(QProcess& process);

    QTemporaryDir mailboxDir_;
    Server server_ = Server::PhpBuiltIn;
    QProcess process_;
    QProcess fpm_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    quint16 wrongPort_ = 0;
    QString error_;
};
