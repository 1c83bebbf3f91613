#pragma once
// Reading numbers that the user typed into a grid cell. The editors never
// reject input: a caller that gets no value uses its row's default instead.
// Reals use the regional decimal separator, the same one the formatting
// helpers write, so a shown value reads back unchanged.
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>

// A real: optional sign, decimal digits with at most one regional decimal
// separator (digits on at least one side of it), optional exponent (e or E,
// optional sign, digits). Blanks around the number are allowed; thousands
// separators are not. A value too large for a double gives no value.
std::optional<double> ParseReal(const QString& text);

// A value that can be stored as a finite 4-byte real. Only values that pass
// this reach a 4-byte field of a record, so no infinity or NaN gets there.
inline bool FitsSingle(double v) { return std::isfinite(v) && std::fabs(v) <= double(FLT_MAX); }

// An integer: optional sign and decimal digits, blanks around allowed. A value
// outside the 64-bit signed range gives no value.
std::optional<int64_t> ParseInteger(const QString& text);

// The same without blanks: an optional sign and at least one decimal digit,
// nothing else. The one integer reader of the program, for the editors (after
// trimming) and for the values of a relay message (8-bit text).
std::optional<int64_t> ParseStrictInteger(QStringView text);
std::optional<int64_t> ParseStrictInteger(QByteArrayView text);
