#pragma once
// What the window says about where its values come from: the status bar's
// connection indicator, and the lines above the pages when their values are
// no readings. Worked out from the station alone, so that any front end says
// the same.
#include "station/station.h"

#include <QString>

// Past this age, data relayed from a customer is called stale.
constexpr qint64 RemoteDataStaleSeconds = 10;

struct ConnectionIndicator {
    QString text;
    QString tip;
    bool warning = false; // shown in a warning colour
};

// `demo`: the simulated regulator of the demo; `snapshotName`: the file shown
// when no connection is chosen.
ConnectionIndicator ConnectionIndicatorOf(const Station& station, bool demo, const QString& snapshotName);

// The lines over the state pages and over the settings page; empty where
// the values are live (or the settings are the regulator's or customer's).
// The peer page and the CAN page say, for the technician, that the relay
// does not pass them on: they show no values then.
struct NotLiveTexts {
    QString state;
    QString settings;
    QString peerNotShared;
    QString canNotShared;
};
NotLiveTexts NotLiveTextsOf(const Station& station, bool demo, bool clientSettingsArrived);

// The window's title: the program, the connection, logging, the demo.
QString WindowCaptionOf(const Station& station, bool demo);
// The peer page's tab caption with the peer's name; empty while no peer
// named itself (the page is hidden then). For the technician the page shows
// without a name: the peer's state is not shared over the relay.
QString PeerPageCaptionOf(const Station& station);
// Whether the "CAN bus" page shows: both enable flags of the own regulator.
bool CanPageShownFor(const Station& station);
