#include "time/clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <cmath>
#include <QTimer>

namespace {

class SystemClock : public Clock {
public:
    double Now() const override
    {
        // Local wall-clock time: days since 1899-12-30 in local dates plus
        // the local time of day. The local time's offset from UTC is looked
        // up once a minute, not per call: each look-up reads the time zone
        // files, and the polling asks for the time several times a tick.
        const qint64 utcMs = QDateTime::currentMSecsSinceEpoch();
        const qint64 minute = utcMs / 60000;
        if (minute != offsetMinute_.load(std::memory_order_relaxed)) {
            offsetMs_.store(qint64(QDateTime::fromMSecsSinceEpoch(utcMs).offsetFromUtc()) * 1000,
                            std::memory_order_relaxed);
            offsetMinute_.store(minute, std::memory_order_relaxed);
        }
        constexpr double DaysFrom1899To1970 = 25569;
        return DaysFrom1899To1970 + double(utcMs + offsetMs_.load(std::memory_order_relaxed)) / 86400000.0;
    }

private:
    // The one clock may be asked from more than one thread.
    mutable std::atomic<qint64> offsetMinute_{-1};
    mutable std::atomic<qint64> offsetMs_{0};
};

bool Elapsed(const Clock& clock, double start, double seconds)
{
    return clock.Now() - start > seconds * OneSecond;
}

} // namespace

QDateTime DateTimeOfDayCount(double dayCount)
{
    static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    const double days = std::floor(dayCount);
    const QDate date = epoch.date().addDays(qint64(days));
    const int ms = int(std::lround((dayCount - days) * 86400000.0));
    return QDateTime(date, QTime(0, 0)).addMSecs(ms);
}

const Clock& Clock::System()
{
    static const SystemClock clock;
    return clock;
}

void DelaySeconds(double seconds, const Clock& clock)
{
    const double start = clock.Now();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (Elapsed(clock, start, seconds))
            break;
        // Give the CPU back between rounds instead of spinning: a short local
        // loop keeps handling events while it waits.
        QEventLoop pause;
        QTimer::singleShot(5, &pause, &QEventLoop::quit);
        pause.exec();
    } while (!Elapsed(clock, start, seconds));
}

void BusyWaitSeconds(double seconds, const Clock& clock, const std::function<void(double)>& whileWaiting)
{
    const double start = clock.Now();
    for (double now = start; now - start <= seconds * OneSecond; now = clock.Now()) {
        if (whileWaiting)
            whileWaiting((now - start) / OneSecond);
        QThread::msleep(5);
    }
}
