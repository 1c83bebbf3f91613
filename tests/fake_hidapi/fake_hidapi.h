#pragma once
// A stand-in for the hidapi library, linked into a test in place of the real
// one: the C functions the hidapi backend calls, answered by a simulated
// regulator, with the faults a real hidraw device shows.
#include "device/simulated_regulator.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fake_hidapi {

struct Control {
    SimulatedRegulator* regulator = nullptr;
    // Every buffer handed to hid_write, as given (report ID first).
    std::vector<std::vector<uint8_t>> written;
    // Buffer sizes hid_read_timeout was asked to fill, and its time limits.
    std::vector<std::size_t> readLengths;
    std::vector<int> readTimeouts;
    // When set, hid_read_timeout returns this instead of reading: 0 (no
    // report within the time limit) or -1, with readErrorText as the error.
    std::optional<int> forcedReadResult;
    // When set, hid_write returns this without handing the report on: 0 is
    // a write that sent nothing.
    std::optional<int> forcedWriteResult;
    std::wstring readErrorText = L"Resource temporarily unavailable.\n";
    // hid_write blocks this long in real time (a device that refuses the
    // report), then fails with writeErrorText when writeFails is set.
    std::atomic<int> writeBlockMs{0};
    std::atomic<bool> writeFails{false};
    std::wstring writeErrorText = L"Connection timed out";
    // Runs after hid_enumerate has listed the devices and before any is
    // opened (a device can vanish in between).
    std::function<void()> afterEnumerate;
    std::vector<std::string> openedPaths;
    std::atomic<int> openHandles{0};
    int initCalls = 0;
    int exitCalls = 0;
};

// The one control block; Reset() before each test.
Control& Fake();
void Reset(SimulatedRegulator* regulator);

} // namespace fake_hidapi
