#pragma once
// Turning record values into cell text. Every value shown in the state views
// and the settings grids goes through these helpers, so all share one look: a
// fixed number of decimals, the regional decimal separator, no thousands
// separators, and a plain "-" for anything that cannot be shown.
#include <QString>

#include <cstdint>

constexpr double DisplayRangeLimit = 1000000.0;

// The regional decimal separator (QLocale's default locale).
QString DecimalSeparator();

// Decimals beyond this are given as this many.
constexpr int MaxDecimals = 15;
QString FormatFixed(int decimals, double value);
QString FormatRounded(double value);
QString FormatInteger(int64_t value);
QString FormatRunningTime(uint32_t seconds);
bool IsBitSet(uint32_t word, int n);

// Text fields of the settings keep the record's zero bytes in their cell
// text, so that an unedited cell gives back exactly its bytes; what is shown
// or printed is the text without them.
inline QString WithoutZeros(QString text) { return text.remove(QChar(0)); }

// Whole percent of a field quantity in 1/25 % units, truncating.
inline uint32_t FieldPercent(uint32_t quarterPercent) { return quarterPercent / 25u; }
