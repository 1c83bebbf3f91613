#pragma once
// Monotonic time of the USB link, in milliseconds. The session measures how
// long an unanswered request may still be answered; a backend waits on it for
// its reports. Real hardware runs on the steady clock; the simulated regulator
// can run on a clock that skips its waits, so tests of slow answers take no
// time.
#include <cstdint>

class LinkClock {
public:
    virtual ~LinkClock() = default;
    virtual int64_t NowMs() const = 0;
    // Lets `ms` milliseconds pass.
    virtual void SleepMs(int64_t ms) = 0;

    static LinkClock& Steady();
};

// Real time plus every wait, which passes at once: time never runs slower
// than a real clock, and waiting costs nothing.
class SkippingLinkClock : public LinkClock {
public:
    SkippingLinkClock();
    int64_t NowMs() const override;
    void SleepMs(int64_t ms) override;

private:
    int64_t startMs_;
    int64_t skippedMs_ = 0;
};
