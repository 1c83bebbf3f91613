#pragma once
// What a test presets in a station that the program itself only changes
// through its operations: records that differ from the regulator's.
#include "station/station.h"

struct StationTestAccess {
    // The settings record changed by `edit`, as a restored backup replaces
    // it (the reference stays).
    template <typename Edit>
    static void EditSettings(Station& station, Edit edit)
    {
        SettingsRecord record = station.Settings();
        edit(record);
        station.SettingsOwner().Replace(record);
    }
    // Both state records, as a snapshot brings them (with the settings the
    // station holds), the page texts refreshed.
    static void PresetStates(Station& station, const SystemStateRecord& own, const SystemStateRecord& peer)
    {
        SnapshotRecord snapshot;
        snapshot.SetOwnState(own);
        snapshot.SetPeerState(peer);
        snapshot.SetSettings(station.Settings());
        station.TakeSnapshot(snapshot);
    }
    // The own state record changed by `edit`, as a remote client's state
    // arrives (the support side's own state is the client's).
    template <typename Edit>
    static void EditOwnState(Station& station, Edit edit)
    {
        SystemStateRecord record = station.OwnState();
        edit(record);
        station.TakeClientState({StateMessage, QByteArray(reinterpret_cast<const char*>(record.Data()), int(record.Size))});
    }
};
