#pragma once
// Commands that find the relay busy run later. A command chosen while a tick
// or another command waits on the relay runs inside that wait: the running
// exchange only ends after the command returns, so its own request would be
// refused. It runs once the relay is free instead, and not while a remote
// read or write waits out its pauses either. Nor does it run while a
// box is open: the user answers that first (the box may well say that the
// relay is gone).
#include "station/station.h"

#include <QObject>

#include <functional>

class RelayDeferral : public QObject {
    Q_OBJECT
public:
    // How often a command that found the relay busy looks again.
    static constexpr int RelayFreePollMs = 50;

    RelayDeferral(const Station& station, std::function<bool()> boxOpen, QObject* parent = nullptr);

    // Runs `command` later, once the exchange under way has ended and no box
    // is open; false (and nothing scheduled) when no exchange is under way.
    bool WhileBusy(std::function<void()> command);

private:
    const Station& station_;
    std::function<bool()> boxOpen_;
};
