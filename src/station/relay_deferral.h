#pragma once
// Commands that find the relay busy run later. A command chosen while a tick
// or another command waits on the relay runs inside that wait: the running
// exchange only ends after the command returns, so its own request would be
// refused. It runs once the relay is free instead, and not while a remote
// read or write waits out its pauses either. Nor does it run while a
// box is open: the user answers that first (the box may well say that the
// relay is gone).
#include "station/relay_link.h"
#include "station/settings_source.h"

#include <QObject>

#include <functional>

class RelayDeferral : public QObject {
    Q_OBJECT
public:
    // How often a command that found the relay busy looks again.
    static constexpr int RelayFreePollMs = 50;

    RelayDeferral(const RelayLink& relay, std::function<bool()> boxOpen, QObject* parent = nullptr);

    // Runs `command` later, once the relay is free and no box is open; false
    // (and nothing scheduled) when the relay is free now.
    bool WhileBusy(std::function<void()> command);
    // The same for a settings step, as `source` finds its link busy (a
    // regulator on USB never waits for the relay).
    bool WhileBusy(const SettingsSource& source, std::function<void()> command);

private:
    bool Later(std::function<bool()> busy, std::function<void()> command);

    const RelayLink& relay_;
    std::function<bool()> boxOpen_;
};
