#include "views/value_format.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>

QString DecimalSeparator()
{
    // Looked up again only when the default locale changed: this runs for
    // some ninety values a tick.
    thread_local QLocale last(QLocale::c());
    thread_local QString separator = last.decimalPoint();
    const QLocale now;
    if (now != last) {
        last = now;
        separator = now.decimalPoint();
    }
    return separator;
}

namespace {

// The value with `decimals` decimals without its decimal expansion, for the
// values shown five times a second: |value| times 10^decimals, rounded by
// its fraction when that is clearly not one half. The product is a double
// (the x87 unit's extended precision costs a rounding-mode switch per
// conversion), so it may be off by a unit in its last place; near one half,
// within that and what the 18-digit expansion below may differ by,
// FormatFixed works on the digits instead, so the two ways never disagree.
std::optional<QString> QuickFixed(int decimals, double value)
{
    constexpr double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
    if (decimals >= int(std::size(powers)))
        return std::nullopt;
    const double scaled = std::fabs(value) * powers[decimals];
    if (!(scaled < 1e15))
        return std::nullopt;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    const double doubt = scaled * (4 * std::numeric_limits<double>::epsilon()) + 1e-12;
    if (std::fabs(fraction - 0.5) <= doubt)
        return std::nullopt;
    uint64_t n = uint64_t(whole) + (fraction > 0.5 ? 1 : 0);
    char digits[24];
    int length = 0;
    do {
        digits[length++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (length < decimals + 1)
        digits[length++] = '0';
    const bool isZero = length == decimals + 1 && std::all_of(digits, digits + length, [](char c) { return c == '0'; });
    const QString separator = decimals > 0 ? DecimalSeparator() : QString();
    QChar out[sizeof digits + 8];
    int at = 0;
    if (value < 0 && !isZero)
        out[at++] = QLatin1Char('-');
    for (int i = length - 1; i >= decimals; --i)
        out[at++] = QLatin1Char(digits[i]);
    if (decimals > 0) {
        // A separator of more than one character is rare enough to append.
        if (separator.size() != 1) {
            QString text(out, at);
            text += separator;
            for (int i = decimals - 1; i >= 0; --i)
                text += QLatin1Char(digits[i]);
            return text;
        }
        out[at++] = separator[0];
        for (int i = decimals - 1; i >= 0; --i)
            out[at++] = QLatin1Char(digits[i]);
    }
    return QString(out, at);
}

} // namespace

QString FormatFixed(int decimals, double value)
{
    if (!std::isfinite(value) || value < -DisplayRangeLimit || value > DisplayRangeLimit)
        return QStringLiteral("-");
    // Values are at most seven integer digits; more decimals than this are
    // never asked for and would only be zeros of the binary expansion.
    decimals = std::clamp(decimals, 0, MaxDecimals);
    if (std::optional<QString> quick = QuickFixed(decimals, value))
        return *quick;

    // Round half away from zero on the value's decimal expansion to 18
    // significant digits, so 0.125 gives 0.13 and -0.005 gives -0.01 although
    // neither is exact in binary.
    constexpr int significant = 18;
    // to_chars rounds correctly, as printf does, without the cost of
    // printf's machinery; the digits are worked on in place, without
    // allocations.
    char buf[64];
    const std::to_chars_result written =
        std::to_chars(buf, buf + sizeof buf - 1, std::fabs(value), std::chars_format::scientific, significant - 1);
    *written.ptr = '\0';
    char digits[significant];
    int digitCount = 0;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && digitCount < significant)
            digits[digitCount++] = *p;
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;

    // Digits kept before the rounding point: those of the integer part plus
    // the decimals. `scaled` (after one place left for a carry) is the
    // rounded value times 10^decimals.
    const int keep = exponent + 1 + decimals;
    char room[2 + significant + MaxDecimals + 8];
    char* scaled = room + 1;
    int length = 0;
    if (keep >= digitCount) {
        std::memcpy(scaled, digits, std::size_t(digitCount));
        std::memset(scaled + digitCount, '0', std::size_t(keep - digitCount));
        length = keep;
    } else if (keep >= 0) {
        std::memcpy(scaled, digits, std::size_t(keep));
        length = keep;
        if (digits[keep] >= '5') {
            int i = length - 1;
            while (i >= 0 && scaled[i] == '9')
                scaled[i--] = '0';
            if (i >= 0) {
                ++scaled[i];
            } else {
                *--scaled = '1';
                ++length;
            }
        }
    }
    QString text;
    text.reserve(decimals + 12);
    const bool isZero = std::all_of(scaled, scaled + length, [](char c) { return c == '0'; });
    if (value < 0 && !isZero)
        text += QLatin1Char('-');
    // At least one integer digit: the missing leading zeros.
    const int missing = std::max(decimals + 1 - length, 0);
    const int intDigits = length + missing - decimals;
    for (int i = 0; i < intDigits; ++i)
        text += i < missing ? QLatin1Char('0') : QLatin1Char(scaled[i - missing]);
    if (decimals > 0) {
        text += DecimalSeparator();
        for (int i = intDigits; i < length + missing; ++i)
            text += i < missing ? QLatin1Char('0') : QLatin1Char(scaled[i - missing]);
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
    // Digits written from the right, without printf's machinery.
    char text[24];
    char* at = text + sizeof text;
    const auto put = [&at](uint32_t n) {
        do {
            *--at = char('0' + n % 10u);
            n /= 10u;
        } while (n > 0);
    };
    put(s);
    *--at = ':';
    put(m);
    *--at = ':';
    put(h);
    return QString::fromLatin1(at, int(text + sizeof text - at));
}

bool IsBitSet(uint32_t word, int n)
{
    return (word & (uint32_t(1) << (unsigned(n) % 32u))) != 0;
}
