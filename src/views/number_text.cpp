#include "views/number_text.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Appends the digits starting at pos to out and returns how many there were.
int TakeDigits(const QString& s, int& pos, QString& out)
{
    const int start = pos;
    while (pos < s.size() && IsAsciiDigit(s[pos]))
        out += s[pos++];
    return pos - start;
}

} // namespace

std::optional<double> ParseReal(const QString& text)
{
    const QString s = text.trimmed();
    const QString separator = QLocale().decimalPoint();

    // The number is checked against the accepted form here and rebuilt with a
    // point as separator, so the conversion itself is locale-independent.
    QString plain;
    int pos = 0;
    if (pos < s.size() && (s[pos] == QLatin1Char('+') || s[pos] == QLatin1Char('-')))
        plain += s[pos++];
    int mantissaDigits = TakeDigits(s, pos, plain);
    if (!separator.isEmpty() && s.mid(pos, separator.size()) == separator) {
        pos += separator.size();
        plain += QLatin1Char('.');
        mantissaDigits += TakeDigits(s, pos, plain);
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (pos < s.size() && (s[pos] == QLatin1Char('e') || s[pos] == QLatin1Char('E'))) {
        plain += QLatin1Char('e');
        ++pos;
        if (pos < s.size() && (s[pos] == QLatin1Char('+') || s[pos] == QLatin1Char('-')))
            plain += s[pos++];
        if (TakeDigits(s, pos, plain) == 0)
            return std::nullopt;
    }
    if (pos != s.size())
        return std::nullopt;

    bool ok = false;
    const double value = QLocale::c().toDouble(plain, &ok);
    if (!std::isfinite(value))
        return std::nullopt;
    // Underflow is reported as a failure by Qt but is a perfectly good
    // (tiny) number to the user; it reads as zero.
    if (!ok && value != 0.0)
        return std::nullopt;
    return value;
}

namespace {

int CharCode(QChar c)
{
    return c.unicode();
}

int CharCode(char c)
{
    return uchar(c);
}

template <typename Text>
std::optional<int64_t> StrictInteger(const Text& s)
{
    qsizetype pos = 0;
    bool negative = false;
    if (pos < s.size() && (CharCode(s[pos]) == '+' || CharCode(s[pos]) == '-'))
        negative = CharCode(s[pos++]) == '-';
    if (pos == s.size())
        return std::nullopt;

    // The magnitude is gathered unsigned so that the most negative value,
    // whose magnitude has no positive counterpart, still reads.
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int64_t>::max()) + 1u
                                    : uint64_t(std::numeric_limits<int64_t>::max());
    uint64_t magnitude = 0;
    for (; pos < s.size(); ++pos) {
        const int c = CharCode(s[pos]);
        if (c < '0' || c > '9')
            return std::nullopt;
        const uint64_t digit = uint64_t(c - '0');
        if (magnitude > (limit - digit) / 10u)
            return std::nullopt;
        magnitude = magnitude * 10u + digit;
    }
    if (negative)
        return magnitude == 0 ? 0 : -int64_t(magnitude - 1u) - 1;
    return int64_t(magnitude);
}

} // namespace

std::optional<int64_t> ParseStrictInteger(QStringView text)
{
    return StrictInteger(text);
}

std::optional<int64_t> ParseStrictInteger(QByteArrayView text)
{
    return StrictInteger(text);
}

std::optional<int64_t> ParseInteger(const QString& text)
{
    return ParseStrictInteger(QStringView(text).trimmed());
}
