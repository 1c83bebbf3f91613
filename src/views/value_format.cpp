#include "views/value_format.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

QString DecimalSeparator()
{
    return QLocale().decimalPoint();
}

QString FormatFixed(int decimals, double value)
{
    if (!std::isfinite(value) || value < -DisplayRangeLimit || value > DisplayRangeLimit)
        return QStringLiteral("-");
    if (decimals < 0)
        decimals = 0;

    // Round half away from zero on the value's decimal expansion to 18
    // significant digits, so 0.125 gives 0.13 and -0.005 gives -0.01 although
    // neither is exact in binary.
    constexpr int significant = 18;
    // to_chars rounds correctly, as printf does, without the cost of
    // printf's machinery (this runs for some ninety values a tick).
    char buf[64];
    const std::to_chars_result written =
        std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, significant - 1);
    *written.ptr = '\0';
    std::string digits;
    digits.reserve(significant);
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;

    // Digits kept before the rounding point: those of the integer part plus
    // the decimals. `scaled` is the rounded value times 10^decimals.
    const int keep = exponent + 1 + decimals;
    std::string scaled;
    if (keep >= significant) {
        scaled = digits + std::string(std::size_t(keep - significant), '0');
    } else if (keep >= 0) {
        scaled = digits.substr(0, std::size_t(keep));
        if (digits[std::size_t(keep)] >= '5') {
            int i = int(scaled.size()) - 1;
            while (i >= 0 && scaled[std::size_t(i)] == '9')
                scaled[std::size_t(i--)] = '0';
            if (i >= 0)
                ++scaled[std::size_t(i)];
            else
                scaled.insert(scaled.begin(), '1');
        }
    }
    if (scaled.size() < std::size_t(decimals) + 1)
        scaled.insert(0, std::size_t(decimals) + 1 - scaled.size(), '0');

    const bool isZero = scaled.find_first_not_of('0') == std::string::npos;
    QString text;
    if (value < 0 && !isZero)
        text += QLatin1Char('-');
    const std::size_t intDigits = scaled.size() - std::size_t(decimals);
    text += QString::fromLatin1(scaled.data(), int(intDigits));
    if (decimals > 0) {
        text += DecimalSeparator();
        text += QString::fromLatin1(scaled.data() + intDigits, decimals);
    }
    return text;
}

QString FormatRounded(double value)
{
    return FormatFixed(0, value);
}

QString FormatInteger(int64_t value)
{
    if (value < -1000000 || value > 1000000)
        return QStringLiteral("-");
    return QString::number(value);
}

QString FormatRunningTime(uint32_t seconds)
{
    const uint32_t h = seconds / 3600u;
    const uint32_t m = (seconds - 3600u * h) / 60u;
    const uint32_t s = seconds - 3600u * h - 60u * m;
    return QStringLiteral("%1:%2:%3").arg(h).arg(m).arg(s);
}

bool IsBitSet(uint32_t word, int n)
{
    return (word & (uint32_t(1) << (unsigned(n) % 32u))) != 0;
}
