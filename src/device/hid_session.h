#pragma once
// The one open link to the regulator: finding it among the HID interfaces,
// exchanging one 64-byte request for one 64-byte answer, and a one-line text
// describing the last link event for the status bar.
#include "device/hid_backend.h"

#include <array>
#include <memory>

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
    // regulator (own, peer and CAN request) stays well under half a second.
    static constexpr int SilentReadTimeLimitMs = 50;

    explicit HidSession(HidBackend& backend) : backend_(backend) {}

    bool IsDeviceOpen() const { return device_ != nullptr; }
    bool CloseDevice();
    bool WriteReport();
    bool ReadReport();
    bool FindAndOpenDevice();
    // True only when the request in CommandBuffer was written and an answer
    // read into ResponseBuffer. A failed write starts a new device search.
    bool ExchangeReports();

    ReportBuffer CommandBuffer{};
    ReportBuffer ResponseBuffer{};
    QString LinkStatusText;

private:
    void SetSystemErrorText();
    void DropOverdueAnswers();

    HidBackend& backend_;
    std::unique_ptr<HidDevice> device_;
    // Set when a read gave up waiting: the late answer may still arrive and
    // must not be taken for the answer to the next request.
    bool answerOverdue_ = false;
    bool regulatorSilent_ = false;
};
