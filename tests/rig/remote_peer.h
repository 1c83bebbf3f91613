#pragma once
// One side of a remote support session without a window: a station on a
// simulated regulator, its settings and its remote session, wired as the main
// window wires them, with what the window would show kept as values (the
// message panel's lines, the status text, the error boxes' texts).
#include "device/simulated_regulator.h"
#include "station/remote_session.h"
#include "station/settings_session.h"
#include "station/station.h"

#include <QStringList>
#include <QTemporaryDir>

class RemotePeer {
public:
    RemotePeer();

    // Polls until the link is open and both records were read once.
    void Connect();
    // The 2 s timer's tick (none while an exchange waits on the relay).
    void Tick();

    SkippingLinkClock linkClock;
    SimulatedRegulator sim{linkClock};
    ManualClock clock{46363.5, 0.3 * OneSecond};
    QTemporaryDir backups;
    Station station{sim, clock};
    SettingsSession& settings = station.SettingsOwner();
    RemoteSession session{station};

    QStringList panel;  // each line the message panel showed, oldest first
    QString status;     // the status bar's text
    QStringList errors; // the error boxes' texts
    QStringList notices; // each notice that stays: its headline and rows, one per line
    int statesShown = 0; // how often the client's state was drawn
};

// The blocks of the settings command `command` (2 read, 3 write) that the
// regulator saw since request number `from`, in order.
QList<int> SettingsCommandsSeen(const SimulatedRegulator& sim, std::size_t from, int command);
