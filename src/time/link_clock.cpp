#include "time/link_clock.h"

#include <chrono>
#include <thread>

namespace {

int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

class SteadyLinkClock : public LinkClock {
public:
    int64_t NowMs() const override { return SteadyMs(); }
    void SleepMs(int64_t ms) override
    {
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

} // namespace

LinkClock& LinkClock::Steady()
{
    static SteadyLinkClock clock;
    return clock;
}

SkippingLinkClock::SkippingLinkClock() : startMs_(SteadyMs()) {}

int64_t SkippingLinkClock::NowMs() const
{
    return SteadyMs() - startMs_ + skippedMs_;
}

void SkippingLinkClock::SleepMs(int64_t ms)
{
    if (ms > 0)
        skippedMs_ += ms;
}
