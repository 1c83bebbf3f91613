#include "device/hid_session.h"

#include <cstring>

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

} // namespace

bool HidSession::CloseDevice()
{
    const bool wasOpen = IsDeviceOpen();
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

bool HidSession::WriteReport()
{
    if (!IsDeviceOpen())
        return false;
    uint8_t report[ReportSize] = {};
    std::memcpy(report + 1, CommandBuffer.data(), CommandBuffer.size());
    lastWriteAtMs_ = clock_.NowMs();
    const int n = device_->Write(report, ReportSize);
    if (n < 0) {
        SetSystemErrorText();
        return false;
    }
    LinkStatusText = QString::number(n) + QStringLiteral(" bytes sent");
    return true;
}

bool HidSession::ReadReport(int timeLimitMs)
{
    if (!IsDeviceOpen())
        return false;
    uint8_t report[ReportSize] = {};
    const int wait = regulatorSilent_ && timeLimitMs == ReadTimeLimitMs ? SilentReadTimeLimitMs : timeLimitMs;
    const int n = device_->Read(report, ReportSize, wait);
    if (n > 0) {
        LinkStatusText = QString::number(n) + QStringLiteral(" bytes received");
        regulatorSilent_ = false;
    } else {
        if (n == 0) {
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
    return n > 0;
}

void HidSession::MarkUnanswered(int timeLimitMs)
{
    const int64_t quietAt = lastWriteAtMs_ + int64_t(LateAnswerFactor) * timeLimitMs;
    if (!quietAtMs_ || *quietAtMs_ < quietAt)
        quietAtMs_ = quietAt;
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
    // A report that comes without a request (an answer given twice, a late
    // one) is dropped here rather than taken for the next answer.
    constexpr int MaxStrayReports = 64;
    uint8_t report[ReportSize];
    int dropped = 0;
    while (dropped < MaxStrayReports && device_->Read(report, ReportSize, 0) > 0) {
        ++dropped;
        regulatorSilent_ = false;
    }
    if (dropped == MaxStrayReports)
        return false; // still streaming in: not in step yet
    if (quietAtMs_ && now >= *quietAtMs_)
        quietAtMs_.reset();
    return !quietAtMs_;
}

void HidSession::AwaitQuietLink()
{
    while (IsDeviceOpen() && quietAtMs_) {
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
    if (IsDeviceOpen() && !DropStrayAnswers()) {
        LinkStatusText = QStringLiteral("K-ROVA did not answer");
        return false;
    }
    if (WriteReport())
        return ReadReport(readTimeLimitMs);
    FindAndOpenDevice();
    return false;
}
