#include "device/command_protocol.h"

#include <cstring>

bool CommandProtocol::ReadStateRecord(uint8_t code, SystemStateRecord& target)
{
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = code;
    decltype(StateTransferBuffer) blocks = StateTransferBuffer;
    for (int n = 0; n < StateBlockCount; ++n) {
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports())
            return false;
        std::memcpy(blocks.data() + ReportPayloadSize * n, session_.ResponseBuffer.data(), ReportPayloadSize);
    }
    if (!session_.FinishTransfer())
        return false;
    StateTransferBuffer = blocks;
    target.Assign(StateTransferBuffer.data());
    return true;
}

bool CommandProtocol::ReadSettingsRecord(SettingsRecord& record)
{
    session_.AwaitQuietLink();
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = ReadSettingsBlock;
    decltype(SettingsTransferBuffer) blocks = SettingsTransferBuffer;
    for (int n = 0; n < SettingsBlockCount; ++n) {
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports())
            return false;
        std::memcpy(blocks.data() + ReportPayloadSize * n, session_.ResponseBuffer.data(), ReportPayloadSize);
    }
    if (!session_.FinishTransfer())
        return false;
    // The bytes after the record, which a later write sends back, come only
    // from a read that is known to be the regulator's own.
    SettingsTransferBuffer = blocks;
    record.Assign(SettingsTransferBuffer.data());
    return true;
}

bool CommandProtocol::AwaitReadyLink()
{
    session_.AwaitQuietLink();
    return !session_.IsDeviceOpen() || session_.ReadyForRequest();
}

bool CommandProtocol::WriteSettingsRecord(const SettingsRecord& record, const std::function<void()>& whenTaking)
{
    // Bytes 540..557 of the transfer buffer, as the last read left them, go
    // out in the tail of slice 8: the regulator expects them back.
    std::memcpy(SettingsTransferBuffer.data(), record.Data(), SettingsRecord::Size);
    if (!AwaitReadyLink())
        return false;
    ReportBuffer& command = session_.CommandBuffer;
    QString sliceFailure;
    for (int n = 0; n < SettingsSliceCount; ++n) {
        command.fill(0);
        std::memcpy(command.data() + 2, SettingsTransferBuffer.data() + SettingsSliceSize * n, SettingsSliceSize);
        command[0] = WriteSettingsBlock;
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports()) {
            if (n == 0)
                return false;
            sliceFailure = session_.LinkStatusText;
            break;
        }
        if (n == 0 && whenTaking)
            whenTaking();
    }
    // The end marker goes out even after a slice went unanswered (the
    // regulator leaves its write mode on it), so it must not be refused for
    // that slice's overdue answer.
    session_.AwaitQuietLink();
    command.fill(0);
    command[0] = WriteSettingsBlock;
    command[1] = SettingsWriteEnd;
    const bool ended = session_.ExchangeReports(HidSession::CommitReadTimeLimitMs) && session_.FinishTransfer();
    // The end marker's answer says nothing about the slice that failed: the
    // user must see that the write did not get through.
    if (!sliceFailure.isEmpty()) {
        session_.LinkStatusText = sliceFailure;
        return false;
    }
    return ended;
}

bool CommandProtocol::ResetSettings(const std::function<void()>& beforeReset)
{
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = ResetSettingsToDefaults;
    if (!AwaitReadyLink())
        return false;
    if (session_.IsDeviceOpen() && beforeReset)
        beforeReset();
    return session_.ExchangeReports(HidSession::CommitReadTimeLimitMs) && session_.FinishTransfer();
}

bool CommandProtocol::FetchCanFrames(CanFrameRecord& first, CanFrameRecord& second)
{
    // Bytes 1..63 go out as the peer state transfer of this tick left them
    // (byte 1 = last peer block index); the regulator has always seen them so.
    session_.CommandBuffer[0] = ReadCanFrames;
    if (!session_.ExchangeReports() || !session_.FinishTransfer())
        return false;
    first.Assign(session_.ResponseBuffer.data());
    second.Assign(session_.ResponseBuffer.data() + 32);
    return true;
}
