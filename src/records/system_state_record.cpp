#include "records/system_state_record.h"

MeasuredChannel SystemStateRecord::ChannelAt(Channel c) const
{
    const std::size_t at = ChannelsAt + ChannelSize * std::size_t(c);
    return MeasuredChannel{F32(at), F32(at + 4), F32(at + 8)};
}

void SystemStateRecord::SetChannel(Channel c, const MeasuredChannel& m)
{
    const std::size_t at = ChannelsAt + ChannelSize * std::size_t(c);
    SetF32(at, m.AdcCount);
    SetF32(at + 4, m.Signal);
    SetF32(at + 8, m.Value);
}
