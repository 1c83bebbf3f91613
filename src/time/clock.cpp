#include "time/clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QThread>

#include <cmath>
#include <QTimer>

namespace {

class SystemClock : public Clock {
public:
    double Now() const override
    {
        static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
        const QDateTime now = QDateTime::currentDateTime();
        // Local wall-clock time: days between the local dates plus the local
        // time of day, independent of the UTC offset.
        const qint64 days = epoch.date().daysTo(now.date());
        return double(days) + double(now.time().msecsSinceStartOfDay()) / 86400000.0;
    }
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
