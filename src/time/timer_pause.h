#pragma once
// Pauses of a timer by operations that may run inside one another (a settings
// read inside a remote support tick, a chat inside a relay wait). The timer
// stops with the first pause and starts again when the last one ends, so an
// inner operation never restarts a timer that an outer one still holds.
#include <QTimer>

#include <initializer_list>
#include <vector>

class PausableTimer {
public:
    void Attach(QTimer* timer) { timer_ = timer; }

    void Pause()
    {
        if (depth_++ == 0)
            timer_->stop();
    }
    void Resume()
    {
        if (depth_ > 0 && --depth_ == 0)
            timer_->start();
    }

private:
    QTimer* timer_ = nullptr;
    int depth_ = 0;
};

// Holds a pause of each timer for its own lifetime, or until End().
class TimerPause {
public:
    TimerPause(std::initializer_list<PausableTimer*> timers) : timers_(timers)
    {
        for (PausableTimer* t : timers_)
            t->Pause();
    }
    ~TimerPause() { End(); }
    TimerPause(const TimerPause&) = delete;
    TimerPause& operator=(const TimerPause&) = delete;

    void End()
    {
        for (PausableTimer* t : timers_)
            t->Resume();
        timers_.clear();
    }

private:
    std::vector<PausableTimer*> timers_;
};
