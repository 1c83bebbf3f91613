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

// The decimals a label needs to show a step of 1, 2 or 5 times a power of
// ten exactly: 0 for a step of 1 or more, 2 for 0.05.
int StepDecimals(double step);

// What an axis shows: its range (widened to the outermost ticks when asked
// to), the step between its ticks, the ticks, and the decimals of their
// labels.
struct PlotTickChoice {
    double low = 0;
    double high = 1;
    double step = 0;
    int decimals = 0;
    std::vector<double> ticks;
};

// How ticks may lie along an axis `length` pixels long: never closer than
// `minSpacing` pixels (a label's height or width), and as near to
// `targetSpacing` as four to eight ticks allow.
struct PlotTickRoom {
    double length = 0;
    double minSpacing = 0;
    double targetSpacing = 0;
};

// Ticks for a value axis: a step of 1, 2 or 5 times a power of ten, counted
// from `anchor`, that puts four to eight ticks on the axis. With `roundOut`
// the range widens to the ticks just outside it, which always leaves four
// to seven ticks; a fixed range may leave three or nine when no step fits.
// A plot too short for four labels gets fewer rather than labels that
// overlap.
PlotTickChoice ChooseValueTicks(double low, double high, const PlotTickRoom& room, bool roundOut, double anchor = 0);

// Ticks for a clock axis (milliseconds since the epoch): round times from
// a second to a week apart, counted from `anchorMs` (where a local day
// began), four to eight of them where the range allows.
PlotTickChoice ChooseClockTicks(double lowMs, double highMs, const PlotTickRoom& room, double anchorMs);

// A clock tick's label for ticks `stepMs` apart: "14:05:30" below a minute,
// "14:05" from a minute, and the date ("10 Dec") on a tick at local
// midnight, so that no two labels of an axis read the same.
QString ClockTickLabel(double valueMs, double stepMs, qint64 offsetMs);

// A tick's label: the value with `decimals` decimals and the regional
// decimal separator, or on a clock axis (values in milliseconds since the
// epoch, `offsetMs` the local time's offset from UTC) the local time of day.
QString PlotTickLabel(double value, int decimals, bool clock, qint64 offsetMs);
