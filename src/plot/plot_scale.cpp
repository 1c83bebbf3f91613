#include "plot/plot_scale.h"

#include "views/value_format.h"

#include <cmath>

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
