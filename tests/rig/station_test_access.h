#pragma once
// What a test presets in a station that the program itself only changes
// through its operations: records that differ from the regulator's, an
// exchange state left by an earlier exchange.
#include "station/station.h"

struct StationTestAccess {
    static SettingsRecord& Settings(Station& station) { return station.settings_; }
    static SystemStateRecord& OwnState(Station& station) { return station.ownState_; }
    static SystemStateRecord& PeerState(Station& station) { return station.peerState_; }
    static SupportExchangeState& Support(Station& station) { return station.support_; }
};
