#include "records/snapshot_record.h"

SystemStateRecord SnapshotRecord::OwnState() const
{
    SystemStateRecord r;
    r.Assign(Data() + OwnStateAt);
    return r;
}

SystemStateRecord SnapshotRecord::PeerState() const
{
    SystemStateRecord r;
    r.Assign(Data() + PeerStateAt);
    return r;
}

SettingsRecord SnapshotRecord::Settings() const
{
    SettingsRecord r;
    r.Assign(Data() + SettingsAt);
    return r;
}
