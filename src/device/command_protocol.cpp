#include "device/command_protocol.h"

#include <cstring>

bool CommandProtocol::ReadStateRecord(uint8_t code, SystemStateRecord& target)
{
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = code;
    for (int n = 0; n < StateBlockCount; ++n) {
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports())
            return false;
        std::memcpy(StateTransferBuffer.data() + ReportPayloadSize * n, session_.ResponseBuffer.data(), ReportPayloadSize);
    }
    target.Assign(StateTransferBuffer.data());
    return true;
}

bool CommandProtocol::ReadSettingsRecord(SettingsRecord& record)
{
    session_.AwaitQuietLink();
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = ReadSettingsBlock;
    for (int n = 0; n < SettingsBlockCount; ++n) {
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports())
            return false;
        std::memcpy(SettingsTransferBuffer.data() + ReportPayloadSize * n, session_.ResponseBuffer.data(), ReportPayloadSize);
    }
    record.Assign(SettingsTransferBuffer.data());
    return true;
}

bool CommandProtocol::WriteSettingsRecord(const SettingsRecord& record)
{
    // Bytes 540..557 of the transfer buffer, as the last read left them, go
    // out in the tail of slice 8: the regulator expects them back.
    std::memcpy(SettingsTransferBuffer.data(), record.Data(), SettingsRecord::Size);
    session_.AwaitQuietLink();
    ReportBuffer& command = session_.CommandBuffer;
    bool complete = true;
    for (int n = 0; n < SettingsSliceCount; ++n) {
        command.fill(0);
        std::memcpy(command.data() + 2, SettingsTransferBuffer.data() + SettingsSliceSize * n, SettingsSliceSize);
        command[0] = WriteSettingsBlock;
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports()) {
            if (n == 0)
                return false;
            complete = false;
            break;
        }
    }
    // The end marker goes out even after a slice went unanswered, so it must
    // not be refused for that slice's overdue answer.
    session_.AwaitQuietLink();
    command.fill(0);
    command[0] = WriteSettingsBlock;
    command[1] = SettingsWriteEnd;
    session_.ExchangeReports(HidSession::CommitReadTimeLimitMs);
    return complete;
}

bool CommandProtocol::ResetSettings()
{
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = ResetSettingsToDefaults;
    session_.AwaitQuietLink();
    return session_.ExchangeReports(HidSession::CommitReadTimeLimitMs);
}

bool CommandProtocol::FetchCanFrames(CanFrameRecord& first, CanFrameRecord& second)
{
    // Bytes 1..63 go out as the peer state transfer of this tick left them
    // (byte 1 = last peer block index); the regulator has always seen them so.
    session_.CommandBuffer[0] = ReadCanFrames;
    if (!session_.ExchangeReports())
        return false;
    first.Assign(session_.ResponseBuffer.data());
    second.Assign(session_.ResponseBuffer.data() + 32);
    return true;
}
