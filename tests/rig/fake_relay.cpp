#include "rig/fake_relay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

ScriptedHttpServer::ScriptedHttpServer()
{
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        }
    });
}

QString ScriptedHttpServer::Domain() const
{
    return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort());
}

void ScriptedHttpServer::Read(QTcpSocket* socket)
{
    QByteArray& pending = buffers_[socket];
    pending += socket->readAll();
    const qsizetype end = pending.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    requests.append(pending.left(end + 4));
    pending.remove(0, end + 4);
    if (silent)
        return;
    const QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(delayMs, this, [this, target] {
        if (!target)
            return;
        target->write(response);
        target->disconnectFromHost();
    });
}

QByteArray Canned(const QByteArray& statusLine, const QByteArray& body, const QByteArray& extraHeaders)
{
    return statusLine + "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size())
         + "\r\n" + extraHeaders + "Connection: close\r\n\r\n" + body;
}

quint16 ClosedLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();  // closed again when probe goes
}
