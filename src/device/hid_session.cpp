#include "device/hid_session.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The platform's error text without trailing control characters, blanks
// and full stops.
QString TrimErrorText(QString text)
{
    while (!text.isEmpty()) {
        const QChar c = text.back();
        if (c.unicode() < 32 || c == QLatin1Char(' ') || c == QLatin1Char('.') || c.unicode() == 127)
            text.chop(1);
        else
            break;
    }
    return text;
}

// More reports than this at once: the device streams, the link is not in step.
constexpr int MaxStrayReports = 64;

} // namespace

bool HidSession::CloseDevice()
{
    const bool wasOpen = IsDeviceOpen();
    if (writeUnderWay_) {
        // The report may still reach the regulator, and a handle opened again
        // on it would receive the answer.
        writeUnderWay_ = false;
        lastTaken_ = underWayRequest_;
        lastWriteEndMs_ = clock_.NowMs();
        MarkUnanswered(underWayTimeLimitMs_);
    }
    // A write still under way ends by itself; the device lets go of it.
    device_.reset();
    regulatorSilent_ = false;
    // An overdue answer stays overdue: a handle opened again on the same
    // regulator would still receive it.
    LinkStatusText = QStringLiteral("Connection to K-ROVA closed");
    return wasOpen;
}

void HidSession::SetSystemErrorText()
{
    LinkStatusText = TrimErrorText(device_->LastError());
}

bool HidSession::WriteFailed(int n)
{
    if (n < 0)
        SetSystemErrorText();
    else if (n < ReportSize)
        LinkStatusText = QStringLiteral("Only %1 of %2 bytes sent").arg(n).arg(ReportSize);
    return n < ReportSize;
}

int HidSession::WithinBudget(int timeLimitMs) const
{
    if (!budgetEndMs_)
        return timeLimitMs;
    return int(std::clamp<int64_t>(*budgetEndMs_ - clock_.NowMs(), 0, timeLimitMs));
}

void HidSession::BeginWaitBudget(int ms)
{
    budgetEndMs_ = clock_.NowMs() + ms;
}

void HidSession::EndWaitBudget()
{
    budgetEndMs_.reset();
}

bool HidSession::WriteReport()
{
    if (!IsDeviceOpen())
        return false;
    uint8_t report[ReportSize] = {};
    std::memcpy(report + 1, CommandBuffer.data(), CommandBuffer.size());
    const int n = device_->Write(report, ReportSize, WriteTimeLimitMs);
    // The regulator has the request once the write returned; a write that
    // blocked a while must not shorten the time its answer may take.
    lastWriteEndMs_ = clock_.NowMs();
    if (n == HidDevice::WriteUnderWay) {
        writeUnderWay_ = true;
        underWayRequest_ = CommandBuffer;
        underWayTimeLimitMs_ = requestTimeLimitMs_;
        LinkStatusText = QStringLiteral("K-ROVA did not take the request");
        return false;
    }
    if (WriteFailed(n))
        return false;
    lastTaken_ = CommandBuffer;
    // The usual text is made once: this runs for every report of the poll.
    static const QString wholeReportSent = QString::number(ReportSize) + QStringLiteral(" bytes sent");
    LinkStatusText = n == ReportSize ? wholeReportSent : QString::number(n) + QStringLiteral(" bytes sent");
    return true;
}

bool HidSession::ReadReport(int timeLimitMs)
{
    if (!IsDeviceOpen())
        return false;
    uint8_t report[ReportSize] = {};
    const int wait = regulatorSilent_ && timeLimitMs == ReadTimeLimitMs ? SilentReadTimeLimitMs : timeLimitMs;
    const int n = device_->Read(report, ReportSize, WithinBudget(wait));
    if (n >= ReportSize) {
        static const QString wholeReportReceived = QString::number(ReportSize) + QStringLiteral(" bytes received");
        LinkStatusText =
            n == ReportSize ? wholeReportReceived : QString::number(n) + QStringLiteral(" bytes received");
        regulatorSilent_ = false;
        slowestAnswerMs_ = std::max(slowestAnswerMs_, clock_.NowMs() - lastWriteEndMs_);
    } else {
        if (n > 0) {
            // Nothing is made up for the missing bytes. The report may also
            // have been another request's, so the answer may still come.
            LinkStatusText = QStringLiteral("Only %1 of %2 bytes received").arg(n).arg(ReportSize);
            regulatorSilent_ = false;
        } else if (n == 0) {
            LinkStatusText = QStringLiteral("K-ROVA did not answer");
            regulatorSilent_ = true;
        } else {
            SetSystemErrorText();
        }
        // The request went out; its answer may still be on its way.
        MarkUnanswered(timeLimitMs);
        std::memset(report, 0, sizeof report);
    }
    std::memcpy(ResponseBuffer.data(), report + 1, ResponseBuffer.size());
    return n >= ReportSize;
}

void HidSession::MarkUnanswered(int timeLimitMs)
{
    QuietUntil(lastWriteEndMs_ + int64_t(LateAnswerFactor) * timeLimitMs);
}

void HidSession::QuietUntil(int64_t ms)
{
    if (!quietAtMs_ || *quietAtMs_ < ms)
        quietAtMs_ = ms;
}

int HidSession::SettleWatchMs(int minimumWatchMs)
{
    // The transfer before counts too: the one read of a CAN fetch that took
    // a late copy of an earlier answer measured only how late the copy came.
    const int64_t slowest = std::max(slowestAnswerMs_, previousSlowestAnswerMs_);
    previousSlowestAnswerMs_ = std::exchange(slowestAnswerMs_, 0);
    return std::max(int(std::min<int64_t>(2 * slowest, ReadTimeLimitMs)), minimumWatchMs);
}

void HidSession::GiveUpTransfer(int settleMs)
{
    // What comes within the watch is read and dropped before the next
    // request goes out, as in a quiet interval: no later transfer takes an
    // answer of this one.
    QuietUntil(clock_.NowMs() + settleMs);
    LinkStatusText = QStringLiteral("K-ROVA did not answer in time");
}

void HidSession::MarkStray()
{
    QuietUntil(clock_.NowMs() + StrayQuietMs);
    LinkStatusText = QStringLiteral("K-ROVA answered out of turn");
}

std::vector<HidInterfaceInfo> HidSession::FindRegulators(HidBackend& backend)
{
    std::vector<HidInterfaceInfo> regulators;
    for (HidInterfaceInfo& info : backend.Enumerate())
        if (info.vendorId == DeviceVendorId && info.productId == DeviceProductId)
            regulators.push_back(std::move(info));
    return regulators;
}

bool HidSession::FindAndOpenDevice()
{
    CloseDevice();
    LinkStatusText = QStringLiteral("K-ROVA not found");
    // Interfaces of other devices are never opened; a matching interface that
    // cannot be opened (held exclusively elsewhere) is skipped.
    for (const HidInterfaceInfo& info : FindRegulators(backend_)) {
        std::unique_ptr<HidDevice> device = backend_.Open(info.path);
        if (!device)
            continue;
        const QString manufacturer = device->Manufacturer().value_or(QStringLiteral("-"));
        const QString product = device->Product().value_or(QStringLiteral("-"));
        device_ = std::move(device);
        LinkStatusText = QStringLiteral("K-ROVA found: VID=") + manufacturer + QStringLiteral(" PID=") + product;
        return true;
    }
    return false;
}

bool HidSession::DropStrayAnswers()
{
    // The time is taken before the reads: everything that arrived up to this
    // moment is read below, so a deadline passed by then leaves nothing behind.
    const int64_t now = clock_.NowMs();
    // While a quiet interval runs, what arrives are the overdue answers it
    // waits for; otherwise nobody asked for a report.
    const bool awaited = quietAtMs_.has_value();
    uint8_t report[ReportSize];
    int dropped = 0;
    while (dropped < MaxStrayReports && device_->Read(report, ReportSize, 0) > 0) {
        ++dropped;
        regulatorSilent_ = false;
    }
    if ((dropped > 0 && !awaited) || dropped == MaxStrayReports) {
        MarkStray();
        return false;
    }
    if (quietAtMs_ && now >= *quietAtMs_)
        quietAtMs_.reset();
    if (quietAtMs_) {
        LinkStatusText = QStringLiteral("K-ROVA did not answer");
        return false;
    }
    return true;
}

bool HidSession::ReadyForRequest()
{
    if (!IsDeviceOpen())
        return false;
    if (writeUnderWay_ && !EndWriteUnderWay(0))
        return false;
    if (!DropStrayAnswers())
        return false;
    if (budgetEndMs_ && clock_.NowMs() >= *budgetEndMs_) {
        // A transfer given up halfway has no watch after its last answer.
        GiveUpTransfer(SettleWatchMs(StraySettleMs));
        return false;
    }
    return true;
}

bool HidSession::EndWriteUnderWay(int waitMs)
{
    const int n = device_->WaitWrite(waitMs);
    if (n == HidDevice::WriteUnderWay) {
        LinkStatusText = QStringLiteral("K-ROVA did not take the request");
        return false;
    }
    writeUnderWay_ = false;
    lastWriteEndMs_ = clock_.NowMs();
    if (WriteFailed(n)) {
        // As after any failed write: the regulator is looked for again.
        FindAndOpenDevice();
        return false;
    }
    lastTaken_ = underWayRequest_;
    // The request went out late; its answer may still come.
    MarkUnanswered(underWayTimeLimitMs_);
    return true;
}

bool HidSession::AwaitWriteEnd(int timeoutMs)
{
    if (IsDeviceOpen() && writeUnderWay_)
        EndWriteUnderWay(timeoutMs);
    return !writeUnderWay_;
}

bool HidSession::FinishTransfer(int minimumWatchMs)
{
    if (!IsDeviceOpen())
        return false;
    const int settle = SettleWatchMs(minimumWatchMs);
    // A copy that one of the transfer's reads took for its answer shows only
    // by the answer that then comes after the last read; a watch cut short
    // may miss it.
    if (WithinBudget(settle) < settle) {
        GiveUpTransfer(settle);
        return false;
    }
    uint8_t report[ReportSize];
    if (device_->Read(report, ReportSize, settle) <= 0)
        return true;
    regulatorSilent_ = false;
    for (int dropped = 1; dropped < MaxStrayReports && device_->Read(report, ReportSize, 0) > 0; ++dropped) {
    }
    MarkStray();
    return false;
}

void HidSession::AwaitQuietLink()
{
    while (IsDeviceOpen() && quietAtMs_ && !writeUnderWay_) {
        const int64_t now = clock_.NowMs();
        if (now >= *quietAtMs_) {
            DropStrayAnswers();
            return;
        }
        uint8_t report[ReportSize];
        const int n = device_->Read(report, ReportSize, int(*quietAtMs_ - now));
        if (n < 0)
            return; // the link is failing; the next exchange finds out
        if (n > 0)
            regulatorSilent_ = false;
    }
}

bool HidSession::ExchangeReports(int readTimeLimitMs)
{
    requestTimeLimitMs_ = readTimeLimitMs;
    if (IsDeviceOpen() && !ReadyForRequest())
        return false;
    if (WriteReport())
        return ReadReport(readTimeLimitMs);
    // A report still on its way is no sign that the regulator has gone.
    if (!writeUnderWay_)
        FindAndOpenDevice();
    return false;
}
