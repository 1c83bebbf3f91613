#pragma once
// One command that talks to the regulator or the relay, held for the
// command's lifetime: the timers it names stay paused and the hourglass
// shows (except while a box asks the user something). Every way out of the
// command undoes what the operation began. (A command that finds the relay
// busy is put off by RelayDeferral.)
#include "time/timer_pause.h"

#include <functional>
#include <initializer_list>

class DeviceOperation {
public:
    enum class Cursor { Hourglass, Unchanged };

    DeviceOperation(std::initializer_list<PausableTimer*> timers, Cursor cursor = Cursor::Hourglass);
    ~DeviceOperation();
    DeviceOperation(const DeviceOperation&) = delete;
    DeviceOperation& operator=(const DeviceOperation&) = delete;

    // Runs `ask` (a box) with the arrow instead of the hourglass, whoever
    // set the hourglass.
    template <typename Ask>
    static auto Asking(Ask ask) -> decltype(ask())
    {
        ArrowWhileAsking arrow;
        return ask();
    }
    // Timers running and the cursor back now, before the command goes on to
    // start another one.
    void End();

private:
    struct ArrowWhileAsking {
        ArrowWhileAsking();
        ~ArrowWhileAsking();
        bool hourglass;
    };

    TimerPause pause_;
    bool hourglass_;
};
