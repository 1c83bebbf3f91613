#pragma once
// A snapshot file: own state, peer state and settings of one installation.
#include "records/settings_record.h"
#include "records/system_state_record.h"

class SnapshotRecord : public ByteRecord<1104> {
public:
    enum Offset : std::size_t { OwnStateAt = 4, PeerStateAt = 284, SettingsAt = 564 };

    SystemStateRecord OwnState() const;
    SystemStateRecord PeerState() const;
    SettingsRecord Settings() const;
    void SetOwnState(const SystemStateRecord& r) { std::memcpy(Data() + OwnStateAt, r.Data(), r.Size); }
    void SetPeerState(const SystemStateRecord& r) { std::memcpy(Data() + PeerStateAt, r.Data(), r.Size); }
    void SetSettings(const SettingsRecord& r) { std::memcpy(Data() + SettingsAt, r.Data(), r.Size); }
};
