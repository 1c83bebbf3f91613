#pragma once
// The one open link to the regulator: finding it among the HID interfaces,
// exchanging one 64-byte request for one 64-byte answer, and a one-line text
// describing the last link event for the status bar.
//
// Reports carry no sequence number, so an answer is only ever taken for the
// request it answers by keeping the link in step:
// - Once a request went unanswered within its time limit, its answer may
//   still come, and no new request goes out until the time in which it could
//   have come has passed (the quiet interval). Meanwhile every exchange fails
//   at once, without writing, so the window stays responsive; whatever
//   arrives is read and thrown away.
// - A report that comes when none is awaited (an answer sent twice, one
//   later than the quiet interval) means that some answer of the transfer
//   under way may have been another request's: the transfer fails and a
//   quiet interval starts. A transfer ends by watching the link for a moment
//   after its last answer, since a second copy comes one interrupt interval
//   after the first; a settings transfer watches it for the whole read time
//   limit, so that it also sees an answer for which an earlier report was
//   taken.
// - A write waits only a short time for the device to take the report; one
//   that is still under way then goes on by itself, and no request goes out
//   until it has ended.
// - A report shorter than 64 bytes, or a write that sent less than the
//   whole report, fails the exchange like a missing answer or a failed
//   write.
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
    // A regulator takes a report within a millisecond or two; a write that
    // has not ended after this long is left to end by itself (a regulator
    // that refuses reports keeps a write blocked for the USB time-out, 5 s).
    static constexpr int WriteTimeLimitMs = 50;
    // How long the link is watched after the last answer of a transfer: a
    // copy of an answer comes one interrupt interval (1 ms) after it. When
    // answers of this transfer or the one before took longer, the watch is
    // twice the longest (copies that come later than the watch are caught by
    // a later one).
    static constexpr int StraySettleMs = 3;
    // The watch after the last answer of a settings read or write: an answer
    // that a copy of another one stood in for comes within the read time
    // limit of its request.
    static constexpr int SettingsSettleMs = ReadTimeLimitMs;
    // How long a settings write waits for a write of its own that is still
    // under way (the USB time-out, 5 s, and a margin): its end marker must
    // follow that report, not go before it.
    static constexpr int WriteEndWaitMs = 6000;
    // After a report nobody asked for, no request goes out for this long.
    static constexpr int StrayQuietMs = ReadTimeLimitMs;
    // What a polling tick may wait on the link altogether: with the write
    // limit on top, the window never waits much longer than 300 ms a tick.
    static constexpr int PollWaitBudgetMs = 250;

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
    // While the link is out of step (an answer overdue, a stray report, a
    // write still under way) nothing is written and the result is false.
    bool ExchangeReports(int readTimeLimitMs = ReadTimeLimitMs);
    // Whether a request could go out to the open device now: no write under
    // way, nothing overdue, no stray report. Sets LinkStatusText when not.
    bool ReadyForRequest();
    // Ends a transfer of several exchanges: true when no report came that
    // nobody asked for, also in a watch after its last answer of twice the
    // slowest answer and at least minimumWatchMs. On false the transfer's
    // answers must not be used. Within a wait budget that would cut the
    // watch short, the transfer fails without watching (the next polling
    // tick tries again).
    bool FinishTransfer(int minimumWatchMs = StraySettleMs);
    // Waits until no answer is overdue any more, reading and dropping what
    // arrives meanwhile. Transfers that the user started call it first, so
    // they do not fail on what an earlier poll left outstanding. A write
    // still under way is not waited for: the transfer fails at once instead.
    void AwaitQuietLink();
    // Waits at most timeoutMs for a write still under way to end, then goes
    // on as a request would on finding it ended (a failed write starts a
    // device search). True when no write is under way any more.
    bool AwaitWriteEnd(int timeoutMs);
    bool IsWriteUnderWay() const { return writeUnderWay_; }
    // The last request the device took (its write moved the whole report),
    // or one whose write was still under way when the device was closed;
    // none before the first.
    const std::optional<ReportBuffer>& LastRequestTaken() const { return lastTaken_; }

    // Bounds the time that the exchanges made until EndWaitBudget may wait
    // on the link altogether (a polling tick); the waits of an exchange that
    // finds the budget spent are cut short.
    void BeginWaitBudget(int ms);
    void EndWaitBudget();

    ReportBuffer CommandBuffer{};
    ReportBuffer ResponseBuffer{};
    QString LinkStatusText;

private:
    void SetSystemErrorText();
    // True, with the status text, when a write that ended moved less than
    // the whole report.
    bool WriteFailed(int n);
    // Looks whether the write under way has ended, waiting at most waitMs;
    // true once it has and the device took the report.
    bool EndWriteUnderWay(int waitMs);
    // Reads and drops every report that has already arrived; true when the
    // link is in step (nothing overdue, nothing that nobody asked for).
    bool DropStrayAnswers();
    void MarkUnanswered(int timeLimitMs);
    void MarkStray();
    void QuietUntil(int64_t ms);
    // How long to watch the link after the last answer of a transfer; starts
    // the measure of the next transfer's answers.
    int SettleWatchMs(int minimumWatchMs);
    // A transfer that the wait budget ends before its watch: it fails, and
    // the watch goes on while no request goes out.
    void GiveUpTransfer(int settleMs);
    // A time limit cut to what is left of the wait budget.
    int WithinBudget(int timeLimitMs) const;

    HidBackend& backend_;
    LinkClock& clock_;
    std::unique_ptr<HidDevice> device_;
    // When the last write returned: the regulator takes the request then.
    int64_t lastWriteEndMs_ = 0;
    // When set: the time after which no answer to an earlier request can come.
    std::optional<int64_t> quietAtMs_;
    bool regulatorSilent_ = false;
    // A write that had not ended in time goes on; the answer time limit of
    // its request, for the quiet interval once it has ended.
    bool writeUnderWay_ = false;
    ReportBuffer underWayRequest_{};
    int underWayTimeLimitMs_ = ReadTimeLimitMs;
    std::optional<ReportBuffer> lastTaken_;
    int requestTimeLimitMs_ = ReadTimeLimitMs;
    // The longest time an answer of the transfer under way took, and of the
    // one before.
    int64_t slowestAnswerMs_ = 0;
    int64_t previousSlowestAnswerMs_ = 0;
    std::optional<int64_t> budgetEndMs_;
};
