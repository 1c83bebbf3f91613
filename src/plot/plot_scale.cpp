#include "plot/plot_scale.h"

#include "views/value_format.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

double NicePlotStep(double span, int wanted)
{
    if (!(span > 0) || wanted < 1)
        return 1;
    const double rough = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= rough)
            return m * power;
    return 10 * power;
}

double NiceClockStep(double spanMs, int wanted)
{
    static const double steps[] = {1e3,    2e3,    5e3,    10e3,   15e3,   30e3,    60e3,    120e3,  300e3,
                                   600e3,  900e3,  1800e3, 3600e3, 7200e3, 10800e3, 21600e3, 43200e3, 86400e3};
    for (const double step : steps)
        if (spanMs / step <= wanted)
            return step;
    return steps[sizeof steps / sizeof steps[0] - 1];
}

std::vector<double> PlotTicks(double low, double high, double step, double anchor)
{
    std::vector<double> ticks;
    if (!(step > 0) || !(high >= low) || (high - low) / step > 1000)
        return ticks;
    // A tick a billionth of a step outside the range still belongs in.
    const double slack = step * 1e-9;
    for (double k = std::ceil((low - anchor - slack) / step);; ++k) {
        const double v = anchor + k * step;
        if (v > high + slack)
            break;
        ticks.push_back(std::abs(v) < slack ? 0.0 : v);
    }
    return ticks;
}

int StepDecimals(double step)
{
    if (!(step > 0) || step >= 1)
        return 0;
    // A billionth of slack: log10(0.1) may come out a hair above -1.
    return int(std::ceil(-std::log10(step) - 1e-9));
}

namespace {

constexpr double DayMs = 86400000;

// How many multiples of `step` counted from `anchor` lie in [low, high].
double CountTicks(double low, double high, double step, double anchor)
{
    const double slack = step * 1e-9;
    const double first = std::ceil((low - anchor - slack) / step);
    const double last = std::floor((high - anchor + slack) / step);
    return last >= first ? last - first + 1 : 0;
}

// Of the candidate steps, the one whose ticks suit the room best: four to
// eight ticks at least minSpacing apart, as near to targetSpacing as they
// come; failing that, labels that do not overlap, as near to four to eight
// as they come; failing that, the fewest ticks.
PlotTickChoice ChooseTicks(const std::vector<double>& steps, double low, double high, const PlotTickRoom& room,
                           bool roundOut, double anchor)
{
    PlotTickChoice choice;
    choice.low = low;
    choice.high = high;
    if (!(high > low) || !std::isfinite(low) || !std::isfinite(high) || !(room.length > 0))
        return choice;
    double bestScore = std::numeric_limits<double>::infinity();
    // A range that may round out is also tried as it is: the ticks within
    // it may fit where the widened range's two more would crowd a short
    // plot. Widened wins a tie, so that both ends are labelled.
    for (int variant = 0; variant < (roundOut ? 2 : 1) * int(steps.size()); ++variant) {
        const double step = steps[std::size_t(variant) % steps.size()];
        const bool widened = roundOut && variant < int(steps.size());
        double lo = low;
        double hi = high;
        if (widened) {
            const double slack = step * 1e-9;
            lo = anchor + std::floor((low - anchor + slack) / step) * step;
            hi = anchor + std::ceil((high - anchor - slack) / step) * step;
        }
        const double count = CountTicks(lo, hi, step, anchor);
        if (count > 1000)
            continue;
        const double spacing = room.length * step / (hi - lo);
        const double target = std::max(room.targetSpacing, room.minSpacing);
        const double nearness = std::abs(std::log(std::max(spacing, 1e-9) / std::max(target, 1e-9)));
        const double outside = count < 4 ? 4 - count : count > 8 ? count - 8 : 0;
        double score = 0;
        if (spacing < room.minSpacing)
            score = 2000 + count; // overlapping labels: the fewer the better
        else
            score = 100 * outside + nearness + (roundOut && !widened ? 0.5 : 0);
        if (score < bestScore) {
            bestScore = score;
            choice.low = lo;
            choice.high = hi;
            choice.step = step;
        }
    }
    if (choice.step > 0)
        choice.ticks = PlotTicks(choice.low, choice.high, choice.step, anchor);
    return choice;
}

} // namespace

PlotTickChoice ChooseValueTicks(double low, double high, const PlotTickRoom& room, bool roundOut, double anchor)
{
    std::vector<double> steps;
    if (high > low && std::isfinite(high - low)) {
        const int top = int(std::ceil(std::log10(high - low))) + 1;
        for (int k = top - 5; k <= top; ++k)
            for (const double m : {1.0, 2.0, 5.0})
                steps.push_back(m * std::pow(10.0, k));
    }
    PlotTickChoice choice = ChooseTicks(steps, low, high, room, roundOut, anchor);
    choice.decimals = StepDecimals(choice.step);
    return choice;
}

PlotTickChoice ChooseClockTicks(double lowMs, double highMs, const PlotTickRoom& room, double anchorMs)
{
    static const std::vector<double> steps = {1e3,    2e3,     5e3,     10e3,    15e3,    30e3,     60e3,
                                              120e3,  300e3,   600e3,   900e3,   1800e3,  3600e3,   7200e3,
                                              10800e3, 21600e3, 43200e3, DayMs,   2 * DayMs, 7 * DayMs};
    return ChooseTicks(steps, lowMs, highMs, room, false, anchorMs);
}

QString ClockTickLabel(double valueMs, double stepMs, qint64 offsetMs)
{
    const qint64 local = qint64(std::llround(valueMs)) + offsetMs;
    qint64 ofDay = local % qint64(DayMs);
    if (ofDay < 0)
        ofDay += qint64(DayMs);
    if (ofDay == 0)
        return QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(local, Qt::UTC).date(),
                                     QStringLiteral("d MMM"));
    const QString time = PlotTickLabel(valueMs, 0, true, offsetMs);
    return stepMs < 60000 ? time : time.left(5);
}

QString PlotTickLabel(double value, int decimals, bool clock, qint64 offsetMs)
{
    if (clock) {
        constexpr qint64 DayMs = 86400000;
        qint64 ms = (qint64(std::llround(value)) + offsetMs) % DayMs;
        if (ms < 0)
            ms += DayMs;
        const qint64 s = ms / 1000;
        return QStringLiteral("%1:%2:%3")
            .arg(s / 3600, 2, 10, QLatin1Char('0'))
            .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(s % 60, 2, 10, QLatin1Char('0'));
    }
    return FormatFixed(decimals, value);
}
