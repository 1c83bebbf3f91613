#pragma once
// The wall clock of the program (its sibling, link_clock.h, is the USB
// link's monotonic one).
// Local date and time as a day count since 1899-12-30 00:00, the time of day
// as the fraction (one second is 1/86400). Waits and time stamps all ask a
// Clock so that tests can move time on without sleeping.
#include <QDateTime>

#include <cstdint>
#include <functional>

constexpr double OneSecond = 1.0 / 86400.0;

class Clock {
public:
    virtual ~Clock() = default;
    virtual double Now() const = 0;

    // The machine's local time.
    static const Clock& System();
};

// A clock that only moves when told to, or by a fixed step on every reading
// (so that a wait that polls the clock ends after a bounded number of polls).
class ManualClock : public Clock {
public:
    explicit ManualClock(double start = 46363.5, double stepPerReading = 0) : now_(start), step_(stepPerReading) {}
    double Now() const override
    {
        const double t = now_;
        now_ += step_;
        return t;
    }
    void Set(double days) { now_ = days; }
    void AdvanceSeconds(double seconds) { now_ += seconds * OneSecond; }
    void SetStepSeconds(double seconds) { step_ = seconds * OneSecond; }

private:
    mutable double now_;
    double step_;
};

// A day count as a local date and time (to the millisecond).
QDateTime DateTimeOfDayCount(double dayCount);

// Waits until more than `seconds` have passed on the clock, handling pending
// events at least once so the window stays responsive meanwhile.
void DelaySeconds(double seconds, const Clock& clock = Clock::System());

// Waits until more than `seconds` have passed without handling any events
// itself; `whileWaiting`, when given, is called with the seconds passed
// between the rounds (a window repaints and shows the progress there).
void BusyWaitSeconds(double seconds, const Clock& clock = Clock::System(),
                     const std::function<void(double)>& whileWaiting = {});
