#pragma once
// Block transfers built on HidSession::ExchangeReports: every request is a
// 64-byte buffer whose byte 0 is the command code and byte 1 the block index
// or argument.
#include "records/can_frame_record.h"
#include "device/hid_session.h"
#include "records/settings_record.h"
#include "records/system_state_record.h"

#include <functional>

enum CommandCode : uint8_t {
    ReadOwnStateBlock = 1,
    ReadSettingsBlock = 2,
    WriteSettingsBlock = 3,
    ResetSettingsToDefaults = 4,
    ReadPeerStateBlock = 5,
    ReadCanFrames = 7,
};
constexpr uint8_t SettingsWriteEnd = 255;

constexpr int StateBlockCount = 5;
constexpr int SettingsBlockCount = 9;
constexpr int SettingsSliceCount = 9;
constexpr int SettingsSliceSize = 62;
// The settings as the regulator holds and sends them: the 540-byte record and
// 36 bytes of the firmware's own after it, nine blocks of 64.
constexpr std::size_t SettingsImageSize = std::size_t(SettingsBlockCount) * ReportPayloadSize;

class CommandProtocol {
public:
    explicit CommandProtocol(HidSession& session) : session_(session) {}

    // Reads five blocks; only a complete transfer that kept the link in step
    // replaces the target, so a record is never a mix of two regulators, two
    // moments or two requests.
    bool ReadStateRecord(uint8_t code, SystemStateRecord& target);
    // Reads nine blocks; only a complete transfer replaces the record and the
    // transfer buffer (a partial or shifted image written back later would
    // corrupt the regulator's settings).
    bool ReadSettingsRecord(SettingsRecord& record);
    // Nine 62-byte slices, then the end marker whenever slice 0 reached the
    // regulator: it keeps the slices it received pending, from write to
    // write, and an end marker takes over what is pending once every slice
    // is there, so slices of one write must never meet another write's.
    // A slice whose write is still under way is waited for first (at most
    // HidSession::WriteEndWaitMs), and an end marker whose write failed is
    // tried again on the device found anew. True only when every slice and
    // the end marker were answered; after a failed slice the status text is
    // that slice's. `whenTaking` runs once slice 0 reached the regulator (it
    // answered it, or its end marker is owed): it takes the settings over
    // only at the end marker, so this is the moment to back up the settings
    // it holds.
    bool WriteSettingsRecord(const SettingsRecord& record, const std::function<void()>& whenTaking = {});
    // Whether the regulator holds slices that no end marker followed yet (it
    // could not be sent, say the regulator was unplugged). Every transfer
    // sends that end marker first and fails when it does not get through.
    bool EndMarkerOwed() const;
    // The reset request; `beforeReset` runs when it is about to go out to an
    // open device that is in step.
    bool ResetSettings(const std::function<void()>& beforeReset = {});
    // One request for the two CAN frame slots; on failure neither changes.
    bool FetchCanFrames(CanFrameRecord& first, CanFrameRecord& second);

    HidSession& Session() { return session_; }

    std::array<uint8_t, StateBlockCount * ReportPayloadSize> StateTransferBuffer{};
    std::array<uint8_t, SettingsImageSize> SettingsTransferBuffer{};

private:
    // Waits out what earlier requests left outstanding; false when the link
    // is open but not ready for a request (the text says why). With no
    // device open the request that follows fails and searches, as any does.
    bool AwaitReadyLink();
    // The end marker, tried again while its write fails and the regulator is
    // found anew. A patient caller (a transfer the user started) waits for
    // the link to be quiet first and for a marker whose write blocks; a poll
    // tries once. True when it was answered and nothing came out of turn.
    bool SendEndMarker(bool patient);
    // True when no end marker is owed, or the one owed got through.
    bool EndOwedWrite(bool patient) { return !EndMarkerOwed() || SendEndMarker(patient); }

    static constexpr int EndMarkerAttempts = 3;

    HidSession& session_;
};
