#pragma once
// A regulator in software: answers every request the way the firmware does,
// so the demo program and the tests run without hardware. It keeps an own and
// a peer state whose values drift over time, a settings image read in blocks
// and written in slices, a defaults image, and a queue of CAN frames. Faults
// can be switched on to exercise the link's error paths.
//
// Answers travel with the timing of the real link: each one arrives when its
// delay has passed on the link clock, whether or not anybody is reading, and
// waits in the handle's queue until read; a read that finds nothing waits its
// whole time limit on that clock.
#include "device/command_protocol.h"
#include "device/hid_backend.h"
#include "device/hid_session.h"
#include "records/settings_record.h"
#include "records/system_state_record.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class SimulatedRegulator : public HidBackend {
public:
    static const QString DevicePath;

    explicit SimulatedRegulator(LinkClock& clock = LinkClock::Steady());
    ~SimulatedRegulator() override;

    // HidBackend
    std::vector<HidInterfaceInfo> Enumerate() override;
    std::unique_ptr<HidDevice> Open(const QString& path) override;
    LinkClock& LinkTime() override { return clock_; }

    // --- The regulator's own data -------------------------------------------
    SystemStateRecord OwnState;
    SystemStateRecord PeerState;
    // Settings as the regulator holds them: 540 bytes of record plus the 36
    // bytes its firmware keeps after them (sent in block 8 of a read).
    std::array<uint8_t, SettingsImageSize> SettingsImage{};
    std::array<uint8_t, SettingsImageSize> DefaultsImage{};
    SettingsRecord Settings() const;
    void SetSettings(const SettingsRecord& record);

    // When on, the state values move a little on every own-state read, as a
    // running engine's would.
    bool Animate = true;
    // When on and no frame is queued, a CAN fetch returns generated traffic.
    bool GenerateCanTraffic = false;
    std::deque<CanFrameRecord> CanQueue;

    // --- Faults -------------------------------------------------------------
    bool Present = true;          // listed and openable at all
    bool OpenRefused = false;     // listed but cannot be opened
    int UnplugAfterExchanges = -1; // unplug once this many more requests got through
    bool NoAnswer = false;        // requests are taken, answers never come
    // Requests for which this returns true are taken but never answered.
    std::function<bool(const ReportBuffer&)> DropAnswerIf;
    // Every answer arrives this long after its request...
    int AnswerDelayMs = 0;
    // ...plus, when set, this long for the given request...
    std::function<int(const ReportBuffer&)> ExtraDelayFor;
    // ...plus this long for the end marker of a settings write and the reset,
    // which make the regulator store its settings first.
    int CommitDelayMs = 0;
    // Requests for which this returns true are answered twice, the copy
    // this long after the first answer (a device sends it at one of its
    // next interrupt polls)...
    std::function<bool(const ReportBuffer&)> DuplicateAnswerIf;
    int CopyAfterMs = 0;
    // (or, when set, this long for the given request)...
    std::function<int(const ReportBuffer&)> CopyAfterFor;
    // ...and the device sends at most one report per interrupt interval, in
    // the order it made them (0: any number at once).
    int ReportIntervalMs = 0;
    // Answers to requests for which this returns true arrive cut short: a
    // read hands over only ShortAnswerBytes of their 64 bytes.
    std::function<bool(const ReportBuffer&)> ShortAnswerIf;
    int ShortAnswerBytes = 41;
    // A write of a request for which this returns more than 0 blocks this
    // long before the device takes the report (it refuses it while busy)...
    std::function<int(const ReportBuffer&)> WriteBlocksFor;
    // ...and then fails (the USB time-out) instead of being taken.
    bool BlockedWritesFail = false;
    // A write of a request for which this returns true fails, once it has
    // blocked (if it does); the device does not take the report.
    std::function<bool(const ReportBuffer&)> FailWriteIf;
    // A write of a request for which this returns true ends without having
    // written anything (hidapi's hid_write returning 0); nothing is taken.
    std::function<bool(const ReportBuffer&)> ZeroByteWriteIf;
    bool FailReads = false;       // reads fail with an error
    std::optional<QString> ManufacturerString = QStringLiteral("Norvelle");
    std::optional<QString> ProductString = QStringLiteral("K-ROVA X");
    // Other HID interfaces listed before the regulator (keyboards and the like).
    std::vector<HidInterfaceInfo> OtherInterfaces;

    void Unplug() { Present = false; }
    void PlugIn() { Present = true; }

    // --- What it saw --------------------------------------------------------
    std::vector<ReportBuffer> Requests;
    // The request log grows with every request; a long-running demo turns it off.
    bool RecordRequests = true;
    int SearchCount = 0;         // enumerations, one per device search
    // The firmware keeps the slices it receives in one pending image, from
    // write to write. An end marker takes that image over once every slice
    // has arrived since the last time it did, whichever writes they came
    // with: slices left from a write that never sent its end marker are
    // committed together with the next write's. An end marker that finds a
    // slice missing takes nothing over and leaves the pending slices as
    // they are.
    int AppliedWrites = 0;       // end markers that took the pending image over
    int DiscardedWrites = 0;     // end markers that found a slice missing
    int ResetCount = 0;

private:
    friend class SimulatedDevice;
    struct Handle;
    int Write(Handle& handle, const uint8_t* report, int length, int timeoutMs);
    int WaitWrite(Handle& handle, int timeoutMs);
    // The device takes the request at the link time `at`.
    int Take(Handle& handle, const ReportBuffer& request, int64_t at);
    int Read(Handle& handle, uint8_t* report, int length, int timeoutMs);
    void Answer(const ReportBuffer& request, ReportBuffer& answer);
    void AdvanceState();
    CanFrameRecord NextGeneratedFrame();

    LinkClock& clock_;
    std::shared_ptr<Handle> current_;
    std::array<uint8_t, SettingsImageSize> pendingWrite_{};
    uint16_t slicesReceived_ = 0;
    uint32_t tick_ = 0;
    uint32_t canCounter_ = 0;
};
