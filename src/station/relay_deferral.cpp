#include "station/relay_deferral.h"

#include <QTimer>

RelayDeferral::RelayDeferral(const RelayLink& relay, std::function<bool()> boxOpen, QObject* parent)
    : QObject(parent), relay_(relay), boxOpen_(std::move(boxOpen))
{
}

bool RelayDeferral::WhileBusy(std::function<void()> command)
{
    return Later([this] { return relay_.IsBusy(); }, std::move(command));
}

bool RelayDeferral::WhileBusy(const SettingsSource& source, std::function<void()> command)
{
    return Later([&source] { return source.Busy(); }, std::move(command));
}

bool RelayDeferral::Later(std::function<bool()> busy, std::function<void()> command)
{
    if (!busy())
        return false;
    auto* retry = new QTimer(this);
    retry->setInterval(RelayFreePollMs);
    connect(retry, &QTimer::timeout, this,
            [this, retry, busy = std::move(busy), command = std::move(command)] {
                if (busy() || boxOpen_())
                    return;
                retry->stop();
                retry->deleteLater();
                command();
            });
    retry->start();
    return true;
}
