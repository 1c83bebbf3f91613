#include "station/relay_deferral.h"

#include <QTimer>

RelayDeferral::RelayDeferral(const Station& station, std::function<bool()> boxOpen, QObject* parent)
    : QObject(parent), station_(station), boxOpen_(std::move(boxOpen))
{
}

bool RelayDeferral::WhileBusy(std::function<void()> command)
{
    if (!station_.Relay().IsExchangeInProgress() && !station_.Relay().IsWaitingOnRelay())
        return false;
    auto* retry = new QTimer(this);
    retry->setInterval(RelayFreePollMs);
    connect(retry, &QTimer::timeout, this, [this, retry, command = std::move(command)] {
        if (station_.Relay().IsExchangeInProgress() || station_.Relay().IsWaitingOnRelay() || boxOpen_())
            return;
        retry->stop();
        retry->deleteLater();
        command();
    });
    retry->start();
    return true;
}
