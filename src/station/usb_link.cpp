#include "station/usb_link.h"

#include "canbus/can_line_buffer.h"

UsbLink::UsbLink(HidBackend& backend, QObject* parent) : QObject(parent), session_(backend), protocol_(session_) {}

template <typename Step>
bool UsbLink::Reported(Step step)
{
    const bool ok = step();
    emit statusChanged(session_.LinkStatusText);
    return ok;
}

bool UsbLink::Open()
{
    return Reported([this] { return session_.FindAndOpenDevice(); });
}

bool UsbLink::Close()
{
    return Reported([this] { return session_.CloseDevice(); });
}

bool UsbLink::ReadState(uint8_t block, SystemStateRecord& into)
{
    return Reported([&] { return protocol_.ReadStateRecord(block, into); });
}

QStringList UsbLink::FetchCanLines(bool hex)
{
    if (!Reported([this] { return protocol_.FetchCanFrames(canFrames_[0], canFrames_[1]); }))
        return {};
    return LinesForFetch(canFrames_[0], canFrames_[1], hex);
}

bool UsbLink::ReadSettings(SettingsRecord& into)
{
    return Reported([&] { return protocol_.ReadSettingsRecord(into); });
}

bool UsbLink::WriteSettings(const SettingsRecord& record, const std::function<void()>& whenTaking)
{
    return Reported([&] { return protocol_.WriteSettingsRecord(record, whenTaking); });
}

bool UsbLink::ResetSettings(const std::function<void()>& beforeReset)
{
    return Reported([&] { return protocol_.ResetSettings(beforeReset); });
}
