#include "rig/relay_probe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

// What a stored message carries: its kind digit, then its values as bytes.
QByteArray Carried(const QByteArray& message)
{
    QByteArray carried = message.left(1);
    for (const QByteArray& value : message.mid(2).split('$'))
        if (!value.isEmpty())
            carried += char(value.toInt());
    return carried;
}

// The newest message one side left at the relay for the other, read from the
// relay's storage without taking it. Empty when none waits.
QByteArray PendingMessage(const PhpRelay& relay, const QString& side)
{
    const QList<QByteArray> waiting = relay.Waiting(side);
    return waiting.isEmpty() ? QByteArray() : waiting.last();
}

bool HasPendingMessage(const PhpRelay& relay, const QString& side)
{
    return !relay.Waiting(side).isEmpty();
}

// One plain GET to the relay, as another copy of the program would make it.
// Returns the HTTP status (0 when there was no answer).
int RawGet(const PhpRelay& relay, const QString& query, QByteArray* body)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(relay.ScriptUrl() + query)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, reply, &QNetworkReply::abort);
    if (!reply->isFinished())
        loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (body)
        *body = reply->readAll();
    delete reply;
    return status;
}

// Leaves a message in the support side's mailbox as if the technician's
// program had sent it.
bool InjectSupportMessage(const PhpRelay& relay, const QByteArray& data)
{
    return RawGet(relay, QStringLiteral("?user=support&data=") + QString::fromLatin1(data) +
                             QStringLiteral("&time=1")) == 200;
}
