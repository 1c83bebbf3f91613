#pragma once
// One HTTP GET to the support relay per call: sends this side's message in the
// query string and parses the other side's message out of the answer. The
// call waits in a local event loop, so the window keeps handling its messages.
#include "support/relay_codec.h"
#include "time/clock.h"

#include <QByteArray>
#include <QObject>

#include <functional>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

class SupportExchange : public QObject {
    Q_OBJECT
public:
    // An exchange whose answer is not complete within this time fails.
    static constexpr int DefaultTransferTimeLimitMs = 10000;
    // Largest answer body taken in; a relay answer is a few KB at most.
    static constexpr qint64 MaxBodyBytes = 4 * 1024 * 1024;

    explicit SupportExchange(QObject* parent = nullptr);
    ~SupportExchange() override;

    // Runs one exchange on `state` (the caller has set the role, the outgoing
    // kind, length and buffer). True when the relay answered with status 200,
    // whatever its body held; false otherwise, with the reason in
    // SupportStatusText. A call made while another exchange is still waiting
    // returns false at once without sending anything.
    bool RunSupportExchange(SupportExchangeState& state, const Clock& clock = Clock::System());

    // Called with true once the request is about to go out and with false when
    // the exchange ends, on every path (the window shows a request under way).
    void SetRequestUnderWayCallback(std::function<void(bool busy)> callback);

    void SetTransferTimeLimitMs(int milliseconds);

    bool IsExchangeInProgress() const { return inProgress_; }
    // Body of the last answer (cleared at the start of every exchange).
    const QByteArray& ResponseBody() const { return responseBody_; }

private:
    QNetworkAccessManager* manager_;
    std::function<void(bool)> requestUnderWay_;
    int transferTimeLimitMs_ = DefaultTransferTimeLimitMs;
    bool inProgress_ = false;
    QByteArray responseBody_;
    // The reply and wait loop of the running exchange, so that destroying this
    // object mid-exchange can end the wait.
    QNetworkReply* activeReply_ = nullptr;
    QEventLoop* activeLoop_ = nullptr;
};
