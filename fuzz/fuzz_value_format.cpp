// The formatting helpers on arbitrary doubles and integers: the text is "-"
// or a plain number with the requested decimals that reads back close to the
// value.
#include "views/value_format.h"

#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9)
        return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const int decimals = data[8] % 9;
    const QString text = FormatFixed(decimals, value);
    if (text != QLatin1String("-")) {
        bool ok = false;
        const double back = text.toDouble(&ok);
        if (!ok || std::fabs(back - value) > 0.5 * std::pow(10.0, -decimals) + 1e-9 * std::fabs(value))
            std::abort();
        const int point = text.indexOf(QLatin1Char('.'));
        if ((decimals == 0) != (point < 0) || (point >= 0 && text.size() - point - 1 != decimals))
            std::abort();
        // A value that rounds to zero never shows a minus sign.
        if (text.startsWith(QLatin1Char('-')) && back == 0.0)
            std::abort();
    }
    FormatRounded(value);
    int32_t integer;
    std::memcpy(&integer, data, sizeof integer);
    FormatInteger(integer);
    uint32_t seconds;
    std::memcpy(&seconds, data + 4, sizeof seconds);
    const QStringList parts = FormatRunningTime(seconds).split(QLatin1Char(':'));
    if (parts.size() != 3 || parts[0].toULongLong() * 3600 + parts[1].toULongLong() * 60 + parts[2].toULongLong() != seconds)
        std::abort();
    return 0;
}
