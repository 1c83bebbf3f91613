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
    answerOverdue_ = false;
    regulatorSilent_ = false;
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
    const int n = device_->Write(report, ReportSize);
    if (n < 0) {
        SetSystemErrorText();
        return false;
    }
    LinkStatusText = QString::number(n) + QStringLiteral(" bytes sent");
    return true;
}

bool HidSession::ReadReport()
{
    if (!IsDeviceOpen())
        return false;
    uint8_t report[ReportSize] = {};
    const int n = device_->Read(report, ReportSize, regulatorSilent_ ? SilentReadTimeLimitMs : ReadTimeLimitMs);
    if (n > 0)
        LinkStatusText = QString::number(n) + QStringLiteral(" bytes received");
    else if (n == 0)
        LinkStatusText = QStringLiteral("K-ROVA did not answer");
    else
        SetSystemErrorText();
    if (n <= 0)
        std::memset(report, 0, sizeof report);
    answerOverdue_ = n == 0;
    if (n >= 0)
        regulatorSilent_ = n == 0;
    std::memcpy(ResponseBuffer.data(), report + 1, ResponseBuffer.size());
    return n > 0;
}

bool HidSession::FindAndOpenDevice()
{
    CloseDevice();
    LinkStatusText = QStringLiteral("K-ROVA not found");
    for (const HidInterfaceInfo& info : backend_.Enumerate()) {
        // Interfaces of other devices are never opened; a matching interface
        // that cannot be opened (held exclusively elsewhere) is skipped.
        if (info.vendorId != DeviceVendorId || info.productId != DeviceProductId)
            continue;
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

void HidSession::DropOverdueAnswers()
{
    if (!answerOverdue_ || !IsDeviceOpen())
        return;
    uint8_t report[ReportSize];
    for (int i = 0; i < 16 && device_->Read(report, ReportSize, 0) > 0; ++i) {
    }
    answerOverdue_ = false;
}

bool HidSession::ExchangeReports()
{
    DropOverdueAnswers();
    if (WriteReport())
        return ReadReport();
    FindAndOpenDevice();
    return false;
}
