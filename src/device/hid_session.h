#pragma once
// The one open link to the regulator: finding it among the HID interfaces,
// exchanging one 64-byte request for one 64-byte answer, and a one-line text
// describing the last link event for the status bar.
//
// Reports carry no sequence number, so an answer is only ever taken for the
// request it answers by keeping the link in step: once a request went
// unanswered within its time limit, its answer may still come, and no new
// request goes out until the time in which it could have come has passed.
// Meanwhile every exchange fails at once, without writing, so the window
// stays responsive; whatever arrives is read and thrown away.
#include "device/hid_backend.h"

#include <array>
#include <memory>
#include <optional>

using ReportBuffer = std::array<uint8_t, ReportPayloadSize>;

class HidSession {
public:
    static constexpr uint16_t DeviceVendorId = 0x04D8;
    static constexpr uint16_t DeviceProductId = 0xEABA;
    // A regulator answers within a few milliseconds; one that does not answer
    // within this time is taken as silent, so the window never freezes.
    static constexpr int ReadTimeLimitMs = 250;
    // Once a read went unanswered, the following reads wait only this long
    // until the regulator answers again, so that a polling tick with a silent
    // regulator stays short.
    static constexpr int SilentReadTimeLimitMs = 50;
    // The end marker of a settings write and the reset make the regulator
    // store its settings before it answers, which takes longer.
    static constexpr int CommitReadTimeLimitMs = 1000;
    // An answer that comes later than this many times its request's time
    // limit is not waited for any more.
    static constexpr int LateAnswerFactor = 3;

    explicit HidSession(HidBackend& backend) : backend_(backend), clock_(backend.LinkTime()) {}

    // The regulators among the HID interfaces present, in the platform's order.
    static std::vector<HidInterfaceInfo> FindRegulators(HidBackend& backend);

    bool IsDeviceOpen() const { return device_ != nullptr; }
    bool CloseDevice();
    bool WriteReport();
    bool ReadReport(int timeLimitMs = ReadTimeLimitMs);
    bool FindAndOpenDevice();
    // True only when the request in CommandBuffer was written and its answer
    // read into ResponseBuffer. A failed write starts a new device search.
    // While an earlier answer is overdue nothing is written and the result is
    // false ("K-ROVA did not answer").
    bool ExchangeReports(int readTimeLimitMs = ReadTimeLimitMs);
    // Waits until no answer is overdue any more, reading and dropping what
    // arrives meanwhile. Transfers that the user started call it first, so
    // they do not fail on what an earlier poll left outstanding.
    void AwaitQuietLink();

    ReportBuffer CommandBuffer{};
    ReportBuffer ResponseBuffer{};
    QString LinkStatusText;

private:
    void SetSystemErrorText();
    // Reads and drops every report that has already arrived; true when the
    // link is in step again (nothing overdue any more).
    bool DropStrayAnswers();
    void MarkUnanswered(int timeLimitMs);

    HidBackend& backend_;
    LinkClock& clock_;
    std::unique_ptr<HidDevice> device_;
    int64_t lastWriteAtMs_ = 0;
    // When set: the time after which no answer to an earlier request can come.
    std::optional<int64_t> quietAtMs_;
    bool regulatorSilent_ = false;
};
