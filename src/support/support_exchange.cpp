#include "support/support_exchange.h"

#include "support/relay_address.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace {

QNetworkRequest MakeRelayRequest(const QString& url)
{
    QNetworkRequest request{QUrl(url, QUrl::TolerantMode)};
    // Fixed request headers; some relay hosts filter on them, so they are
    // sent exactly like this.
    request.setRawHeader("Accept", "text/html, */*");
    request.setRawHeader("Accept-Encoding", "*");
    request.setRawHeader("Cache-Control", "\"no-cache\"");
    request.setRawHeader("Content-Type", "text/html");
    request.setRawHeader("User-Agent", "Mozilla/3.0 (compatible; Indy Library)");
    // Every answer must come from the relay itself: no cache, no redirects
    // (a redirect status is a failed exchange), plain HTTP/1.1.
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    return request;
}

QString StatusLine(const QNetworkReply& reply)
{
    const QString version = reply.attribute(QNetworkRequest::Http2WasUsedAttribute).toBool()
                              ? QStringLiteral("HTTP/2")
                              : QStringLiteral("HTTP/1.1");
    const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString reason =
        QString::fromLatin1(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray());
    QString line = version + QLatin1Char(' ') + QString::number(code);
    if (!reason.isEmpty())
        line += QLatin1Char(' ') + reason;
    return line;
}

} // namespace

SupportExchange::SupportExchange(QObject* parent)
    : QObject(parent), manager_(new QNetworkAccessManager(this))
{
    manager_->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    // Cookies set by the relay are kept and sent back for the object's life.
    manager_->setCookieJar(new QNetworkCookieJar(manager_));
}

SupportExchange::~SupportExchange()
{
    // Destroyed from inside a running exchange's wait: end the wait; the
    // exchange notices that this object is gone and returns false.
    if (activeReply_)
        activeReply_->abort();
    if (activeLoop_)
        activeLoop_->quit();
}

void SupportExchange::SetRequestUnderWayCallback(std::function<void(bool busy)> callback)
{
    requestUnderWay_ = std::move(callback);
}

void SupportExchange::SetTransferTimeLimitMs(int milliseconds)
{
    transferTimeLimitMs_ = std::max(1, milliseconds);
}

bool SupportExchange::RunSupportExchange(SupportExchangeState& state, const Clock& clock)
{
    // The wait below handles window messages, so a timer tick or a menu command
    // can call in here again; the relay and the shared state serve one
    // exchange at a time.
    if (inProgress_) {
        state.SetSupportStatusText(QStringLiteral("Support exchange already in progress"));
        return false;
    }
    inProgress_ = true;
    responseBody_.clear();
    state.SetSupportStatusText(QString());

    const QString url = BuildRequestUrl(state, RelayTimeStamp(clock.Now()));

    // Kept locally so that the end notice goes to the same receiver even if
    // the callback is replaced while the request waits.
    const std::function<void(bool)> underWay = requestUnderWay_;
    if (underWay)
        underWay(true);

    QPointer<SupportExchange> self(this);
    QNetworkReply* reply = manager_->get(MakeRelayRequest(url));
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool timedOut = false;
    bool tooLarge = false;
    QByteArray body;

    connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (tooLarge)
            return;
        body += reply->readAll();
        if (body.size() > MaxBodyBytes) {
            tooLarge = true;
            body.clear();
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&limit, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });

    activeReply_ = reply;
    activeLoop_ = &loop;
    limit.start(transferTimeLimitMs_);
    if (!reply->isFinished())
        loop.exec();
    limit.stop();

    if (!self)
        return false;  // this object (and its reply) went away during the wait
    activeReply_ = nullptr;
    activeLoop_ = nullptr;

    if (!tooLarge && !timedOut)
        body += reply->readAll();
    responseBody_ = body;

    bool result = false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (timedOut) {
        state.SetSupportStatusText(QStringLiteral("No answer from the relay within %1 s")
                                      .arg(QString::number(transferTimeLimitMs_ / 1000.0)));
    } else if (tooLarge) {
        state.SetSupportStatusText(QStringLiteral("Answer from the relay is larger than %1 bytes").arg(MaxBodyBytes));
    } else if (!status.isValid()) {
        // No HTTP answer at all: refused, unresolved host, broken connection.
        state.SetSupportStatusText(reply->errorString());
        if (state.SupportStatusText().isEmpty())
            state.SetSupportStatusText(QStringLiteral("No answer from the relay"));
    } else if (status.toInt() == 404 && !SessionCodeOf(state.SupportDomain()).isEmpty()) {
        // A code typed wrong, or a relay that does not keep sessions.
        state.SetSupportStatusText(
            QStringLiteral("No support session with this code on %1").arg(RelayHostOf(state.SupportDomain())));
    } else if (status.toInt() != 200) {
        state.SetSupportStatusText(StatusLine(*reply));
    } else if (reply->error() != QNetworkReply::NoError) {
        // Status 200 but the body did not arrive whole.
        state.SetSupportStatusText(reply->errorString());
    } else {
        state.SetSupportStatusText(StatusLine(*reply));
        QString failure;
        result = state.SupportRole() == RoleSupport ? ParseClientMessage(state, body, &failure)
                                                  : ParseSupportMessage(state, body, &failure);
        if (!result)
            state.SetSupportStatusText(failure);
    }

    reply->deleteLater();
    inProgress_ = false;
    if (underWay)
        underWay(false);
    return result;
}
