#pragma once
// The arithmetic of the program's plots, without a widget: where a value
// lies along an axis, and where an axis puts its ticks.
#include <QString>

#include <vector>

// A linear map between the values of an axis and pixel positions: the value
// `low` lies at pixel `lowAt`, `high` at `highAt` (a vertical axis has
// highAt < lowAt, so that larger values lie higher on the screen).
struct PlotScale {
    double low = 0;
    double high = 1;
    double lowAt = 0;
    double highAt = 1;

    double ToPixel(double value) const { return lowAt + (value - low) * (highAt - lowAt) / (high - low); }
    double ToValue(double pixel) const { return low + (pixel - lowAt) * (high - low) / (highAt - lowAt); }
};

// A step of 1, 2 or 5 times a power of ten that divides `span` into at most
// about `wanted` parts.
double NicePlotStep(double span, int wanted);

// A step for a clock axis, in milliseconds: a whole number of seconds,
// minutes or hours that divides `spanMs` into at most about `wanted` parts.
double NiceClockStep(double spanMs, int wanted);

// The tick values from low to high: the multiples of `step` counted from
// `anchor` (a value a tick falls on). For a clock axis, `anchor` is where
// the local day began, so that ticks fall on whole local minutes.
std::vector<double> PlotTicks(double low, double high, double step, double anchor);

// A tick's label: the value with `decimals` decimals and the regional
// decimal separator, or on a clock axis (values in milliseconds since the
// epoch, `offsetMs` the local time's offset from UTC) the local time of day.
QString PlotTickLabel(double value, int decimals, bool clock, qint64 offsetMs);
