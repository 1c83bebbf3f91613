#include "device/command_protocol.h"

#include <cstring>

bool CommandProtocol::ReadStateRecord(uint8_t code, SystemStateRecord& target)
{
    if (!EndOwedWrite(false))
        return false;
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
    if (!EndOwedWrite(true))
        return false;
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
    // A copy of block n's answer taken for block n + 1 shows by an answer
    // that comes later, within the read time limit of the last request.
    if (!session_.FinishTransfer(HidSession::SettingsSettleMs))
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
    if (!EndOwedWrite(true) || !AwaitReadyLink())
        return false;
    ReportBuffer& command = session_.CommandBuffer;
    QString sliceFailure;
    bool taken = false;
    for (int n = 0; n < SettingsSliceCount; ++n) {
        command.fill(0);
        std::memcpy(command.data() + 2, SettingsTransferBuffer.data() + SettingsSliceSize * n, SettingsSliceSize);
        command[0] = WriteSettingsBlock;
        command[1] = uint8_t(n);
        if (!session_.ExchangeReports()) {
            sliceFailure = session_.LinkStatusText;
            break;
        }
        if (n == 0 && whenTaking) {
            whenTaking();
            taken = true;
        }
    }
    if (!sliceFailure.isEmpty()) {
        // A slice whose write is still under way may yet reach the
        // regulator: the end marker goes after it, never before.
        session_.AwaitWriteEnd(HidSession::WriteEndWaitMs);
        if (!EndMarkerOwed()) {
            session_.LinkStatusText = sliceFailure;
            return false;
        }
        // Slice 0 reached the regulator although its answer did not come:
        // the end marker may make it take settings over all the same.
        if (!taken && whenTaking)
            whenTaking();
    }
    const bool ended = SendEndMarker(true);
    // The end marker's answer says nothing about the slice that failed: the
    // user must see that the write did not get through.
    if (!sliceFailure.isEmpty()) {
        session_.LinkStatusText = sliceFailure;
        return false;
    }
    return ended;
}

bool CommandProtocol::EndMarkerOwed() const
{
    const std::optional<ReportBuffer>& last = session_.LastRequestTaken();
    return last && (*last)[0] == WriteSettingsBlock && (*last)[1] < SettingsSliceCount;
}

bool CommandProtocol::SendEndMarker(bool patient)
{
    // A poll's CAN request goes out with the bytes the peer transfer left.
    const ReportBuffer kept = session_.CommandBuffer;
    ReportBuffer& command = session_.CommandBuffer;
    bool ended = false;
    bool inStep = true;
    for (int attempt = 1;; ++attempt) {
        // How a write still under way (a slice's or the end marker's own)
        // ends decides whether the end marker is owed still.
        if (!session_.AwaitWriteEnd(patient ? HidSession::WriteEndWaitMs : 0) || !EndMarkerOwed())
            break;
        // A request to a closed device only searches; then the transfer fails.
        const bool wasOpen = session_.IsDeviceOpen();
        // The end marker goes out even after a slice went unanswered (the
        // regulator leaves its write mode on it), so it must not be refused
        // for that slice's overdue answer.
        if (patient)
            session_.AwaitQuietLink();
        // A report that came out of turn fails the write; the end marker
        // still goes out once the link is quiet.
        inStep = inStep && (!wasOpen || session_.ReadyForRequest());
        command.fill(0);
        command[0] = WriteSettingsBlock;
        command[1] = SettingsWriteEnd;
        if (session_.ExchangeReports(HidSession::CommitReadTimeLimitMs)) {
            ended = session_.FinishTransfer(HidSession::SettingsSettleMs) && inStep;
            break;
        }
        if (!patient || !wasOpen || !session_.IsDeviceOpen() || attempt == EndMarkerAttempts)
            break;
    }
    command = kept;
    return ended;
}

bool CommandProtocol::ResetSettings(const std::function<void()>& beforeReset)
{
    if (!EndOwedWrite(true) || !AwaitReadyLink())
        return false;
    ReportBuffer& command = session_.CommandBuffer;
    command.fill(0);
    command[0] = ResetSettingsToDefaults;
    if (session_.IsDeviceOpen() && beforeReset)
        beforeReset();
    return session_.ExchangeReports(HidSession::CommitReadTimeLimitMs) && session_.FinishTransfer();
}

bool CommandProtocol::FetchCanFrames(CanFrameRecord& first, CanFrameRecord& second)
{
    // Bytes 1..63 go out as the peer state transfer of this tick left them
    // (byte 1 = last peer block index); the regulator has always seen them so.
    if (!EndOwedWrite(false))
        return false;
    session_.CommandBuffer[0] = ReadCanFrames;
    if (!session_.ExchangeReports() || !session_.FinishTransfer())
        return false;
    first.Assign(session_.ResponseBuffer.data());
    second.Assign(session_.ResponseBuffer.data() + 32);
    return true;
}
