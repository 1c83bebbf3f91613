#pragma once
// The platform side of the USB link: finding HID interfaces and moving
// 65-byte reports. One implementation talks to hidapi, another simulates a
// regulator for the demo and the tests.
#include "time/link_clock.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

constexpr int ReportPayloadSize = 64;
constexpr int ReportSize = ReportPayloadSize + 1; // report ID 0, then the payload

struct HidInterfaceInfo {
    QString path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    // The device's manufacturer and product strings, empty where it gives none.
    QString manufacturer;
    QString product;
};

class HidDevice {
public:
    // What Write and WaitWrite return while the report is still on its way.
    static constexpr int WriteUnderWay = -2;

    virtual ~HidDevice() = default;
    // Both return the byte count moved (normally 65; hidapi gives 0 for a
    // write that sent nothing) or -1 on failure.
    //
    // A write blocks while the device does not take the report (it refuses
    // it while busy, up to the USB time-out of several seconds), so Write
    // waits at most timeoutMs and returns WriteUnderWay when the report is
    // still on its way: the write goes on, and WaitWrite tells how it ended.
    // Until then nothing but WaitWrite may be called. A negative timeoutMs
    // waits as long as the write takes.
    virtual int Write(const uint8_t* report, int length, int timeoutMs) = 0;
    virtual int WaitWrite(int timeoutMs) = 0;
    // A read that sees no report within timeoutMs returns 0.
    virtual int Read(uint8_t* report, int length, int timeoutMs) = 0;
    // Text of the last failure, as the platform words it.
    virtual QString LastError() const = 0;
    // Manufacturer and product strings, when the device gives them.
    virtual std::optional<QString> Manufacturer() = 0;
    virtual std::optional<QString> Product() = 0;
};

class HidBackend {
public:
    virtual ~HidBackend() = default;
    // Every HID interface present, in the platform's order.
    virtual std::vector<HidInterfaceInfo> Enumerate() = 0;
    // Opens one interface for reading and writing; null when that fails.
    virtual std::unique_ptr<HidDevice> Open(const QString& path) = 0;
    // The time base on which the devices' reads wait.
    virtual LinkClock& LinkTime() { return LinkClock::Steady(); }
};

// hidapi (hidraw on Linux).
std::unique_ptr<HidBackend> CreateHidapiBackend();
