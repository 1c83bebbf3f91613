#include "trends/data_log_reader.h"

#include "records/ansi_text.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const float NoValue = std::numeric_limits<float>::quiet_NaN();

// A field as a number, without allocating: optional blanks and sign, digits
// with a point or a comma as the decimal separator (the log is written with
// the regional separator of the machine that logged it), an optional
// exponent. Anything else ("-", "Bulk", "1:02:03") is not a number.
float FieldValue(const char* p, const char* end)
{
    while (p < end && *p == ' ')
        ++p;
    while (end > p && end[-1] == ' ')
        --end;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+'))
        negative = *p++ == '-';
    std::uint64_t mantissa = 0;
    int significant = 0;
    int scale = 0;
    bool digits = false;
    const auto digit = [&](bool afterPoint) {
        if (significant < 18) {
            mantissa = mantissa * 10 + std::uint64_t(*p - '0');
            if (mantissa != 0)
                ++significant;
            scale -= afterPoint ? 1 : 0;
        } else {
            scale += afterPoint ? 0 : 1;
        }
        digits = true;
        ++p;
    };
    while (p < end && *p >= '0' && *p <= '9')
        digit(false);
    if (p < end && (*p == '.' || *p == ','))
        for (++p; p < end && *p >= '0' && *p <= '9';)
            digit(true);
    if (!digits)
        return NoValue;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p < end && (*p == '-' || *p == '+'))
            negativeExponent = *p++ == '-';
        if (p == end)
            return NoValue;
        int exponent = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p)
            exponent = std::min(exponent * 10 + (*p - '0'), 1000);
        scale += negativeExponent ? -exponent : exponent;
    }
    if (p != end)
        return NoValue;
    static const double Powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double v = double(mantissa);
    if (scale < 0)
        v = -scale <= 22 ? v / Powers[-scale] : v * std::pow(10.0, scale);
    else if (scale > 0)
        v = scale <= 22 ? v * Powers[scale] : v * std::pow(10.0, scale);
    const float f = float(negative ? -v : v);
    return std::isfinite(f) ? f : NoValue;
}

// One line's content without its line end and without the TAB that ends
// every field.
void TrimLine(const char* line, const char** end)
{
    const char* e = *end;
    while (e > line && (e[-1] == '\n' || e[-1] == '\r'))
        --e;
    if (e > line && e[-1] == '\t')
        --e;
    *end = e;
}

// Text has no control characters but TAB (a binary file soon has some).
bool IsText(const char* p, const char* end)
{
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if ((c < 0x20 && c != '\t') || c == 0x7F)
            return false;
    }
    return true;
}

QString Plural(qint64 n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Consecutive lines with the same fault, reported as one.
struct ProblemRun {
    enum Kind { Empty, TooLong, TooFew, TooMany } kind;
    int fields; // the line's number of fields (TooFew, TooMany)
    int first;
    int last;

    QString Text(int columns) const
    {
        const bool one = first == last;
        const QString lines = one ? QStringLiteral("Line %1").arg(first)
                                  : QStringLiteral("Lines %1 to %2").arg(first).arg(last);
        const QString is = one ? QStringLiteral("is") : QStringLiteral("are");
        const QString has = one ? QStringLiteral("has") : QStringLiteral("have");
        const QString skipped = one ? QStringLiteral("was skipped") : QStringLiteral("were skipped");
        switch (kind) {
        case Empty:
            return QStringLiteral("%1 %2 empty and %3").arg(lines, is, skipped);
        case TooLong:
            return QStringLiteral("%1 %2 longer than %3 KiB and %4")
                .arg(lines, is)
                .arg(MaxLogLineBytes / 1024)
                .arg(skipped);
        case TooFew:
            return QStringLiteral("%1 %2 %3 instead of %4 and %5")
                .arg(lines, has, Plural(fields, "field", "fields"))
                .arg(columns)
                .arg(skipped);
        case TooMany:
            return QStringLiteral("%1 %2 %3 fields, more than the %4 columns the first line names: %5 cut to %4")
                .arg(lines, has)
                .arg(fields)
                .arg(columns)
                .arg(one ? QStringLiteral("it was") : QStringLiteral("they were"));
        }
        return {};
    }
};

// The problems kept in words; further lines with problems are only counted.
constexpr int MaxProblemTexts = 10;

bool Fail(QString* failure, const QString& text)
{
    if (failure)
        *failure = text;
    return false;
}

QString NotALog(const QString& why)
{
    return QStringLiteral("This file is not a data log: %1.").arg(why);
}

} // namespace

qint64 DataLogContent::StoredValues() const
{
    qint64 n = 0;
    for (const std::vector<float>& column : values)
        n += qint64(column.size());
    return n;
}

bool ReadDataLog(const QString& path, DataLogContent* content, QString* failure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(failure, QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    // One line at a time into a buffer of the longest line taken, plus the
    // terminating zero readLine() adds.
    std::vector<char> buffer(std::size_t(MaxLogLineBytes) + 1);
    char* const line = buffer.data();
    // The bytes of the next line, or -1 at the end of the file; a line longer
    // than the buffer is read to its end and `tooLong` set.
    bool tooLong = false;
    const auto readLine = [&]() -> qint64 {
        tooLong = false;
        if (file.atEnd())
            return -1;
        const qint64 n = file.readLine(line, qint64(buffer.size()));
        if (n <= 0)
            return -1;
        if (n == MaxLogLineBytes && line[n - 1] != '\n' && !file.atEnd()) {
            tooLong = true;
            for (qint64 more = n; more > 0 && line[more - 1] != '\n';)
                more = file.readLine(line, qint64(buffer.size()));
        }
        return n;
    };

    const qint64 headerBytes = readLine();
    if (headerBytes < 0)
        return Fail(failure, NotALog(QStringLiteral("it is empty")));
    if (tooLong)
        return Fail(failure,
                    NotALog(QStringLiteral("its first line is longer than %1 KiB").arg(MaxLogLineBytes / 1024)));
    const char* headerEnd = line + headerBytes;
    TrimLine(line, &headerEnd);
    if (!IsText(line, headerEnd))
        return Fail(failure, NotALog(QStringLiteral("it holds binary data, not text")));
    const QList<QByteArray> names = QByteArray(line, headerEnd - line).split('\t');
    if (names.size() < 2)
        return Fail(failure, NotALog(QStringLiteral("its first line does not name columns separated by tabs")));
    if (names.size() > MaxLogColumns)
        return Fail(failure, NotALog(QStringLiteral("its first line names %1 columns, more than the %2 a data log can have")
                                         .arg(names.size())
                                         .arg(MaxLogColumns)));

    *content = DataLogContent{};
    const int columns = int(names.size());
    for (const QByteArray& name : names)
        content->columns << FromAnsi(name);
    content->values.resize(std::size_t(columns));

    std::vector<ProblemRun> runs;
    const auto problem = [&](ProblemRun::Kind kind, int fields, int lineNumber) {
        if (!runs.empty() && runs.back().kind == kind && runs.back().fields == fields
            && runs.back().last == lineNumber - 1)
            runs.back().last = lineNumber;
        else if (runs.size() < MaxProblemTexts)
            runs.push_back({kind, fields, lineNumber, lineNumber});
        else
            ++content->moreProblemLines;
    };

    std::vector<float> row(static_cast<std::size_t>(columns));
    bool reserved = false;
    constexpr int LinesBeforeReserving = 1000;
    int lineNumber = 1;
    for (;;) {
        const qint64 bytes = readLine();
        if (bytes < 0)
            break;
        if (lineNumber == std::numeric_limits<int>::max())
            break; // more lines than seconds can be counted: not a log the program wrote
        ++lineNumber;
        const int second = content->totalSeconds++;
        if (tooLong) {
            problem(ProblemRun::TooLong, 0, lineNumber);
            continue;
        }
        const char* p = line;
        const char* end = line + bytes;
        TrimLine(line, &end);
        if (p == end) {
            problem(ProblemRun::Empty, 0, lineNumber);
            continue;
        }
        int fields = 0;
        for (;;) {
            const char* tab = static_cast<const char*>(std::memchr(p, '\t', std::size_t(end - p)));
            const char* fieldEnd = tab ? tab : end;
            if (fields < columns)
                row[std::size_t(fields)] = FieldValue(p, fieldEnd);
            ++fields;
            if (!tab)
                break;
            p = tab + 1;
        }
        if (fields < columns) {
            problem(ProblemRun::TooFew, fields, lineNumber);
            continue;
        }
        if (fields > columns)
            problem(ProblemRun::TooMany, fields, lineNumber);
        if (!reserved && content->lines == LinesBeforeReserving) {
            // Room for as many lines as the whole file holds if they are as
            // long as those so far, and an eighth more, so that the columns
            // of a long log do not grow by copying.
            reserved = true;
            const double perByte = double(content->lines) / double(std::max<qint64>(file.pos(), 1));
            const auto estimate = std::size_t(double(file.size()) * perByte * 1.125) + 16;
            content->seconds.reserve(estimate);
            for (std::vector<float>& column : content->values)
                column.reserve(estimate);
        }
        for (int c = 0; c < columns; ++c)
            content->values[std::size_t(c)].push_back(row[std::size_t(c)]);
        content->seconds.push_back(second);
        ++content->lines;
    }
    if (file.error() != QFileDevice::NoError)
        return Fail(failure, QStringLiteral("Reading \"%1\" failed at line %2. %3")
                                 .arg(path)
                                 .arg(lineNumber)
                                 .arg(file.errorString()));
    for (const ProblemRun& run : runs)
        content->problems << run.Text(columns);

    if (content->lines == 0) {
        if (content->totalSeconds == 0)
            return Fail(failure, QStringLiteral("This data log holds no values: it has only its first line, the column names."));
        if (content->totalSeconds == 1)
            return Fail(failure, NotALog(QStringLiteral("its second line does not have the %1 fields the first line names")
                                             .arg(columns)));
        return Fail(failure, NotALog(QStringLiteral("none of its %1 lines after the first has the %2 fields the first line names")
                                         .arg(content->totalSeconds)
                                         .arg(columns)));
    }
    return true;
}

namespace {

// A column seen by the reduction: its values and the x of each.
struct IndexedColumn {
    const std::vector<double>& values;
    std::size_t Size() const { return values.size(); }
    double Value(std::size_t i) const { return values[i]; }
    int X(std::size_t i) const { return int(i); }
    std::size_t FirstAtOrAfter(int x) const { return std::size_t(std::max(x, 0)); }
};

struct LogColumn {
    const std::vector<float>& values;
    const std::vector<int>& seconds;
    std::size_t Size() const { return std::min(values.size(), seconds.size()); }
    double Value(std::size_t i) const { return double(values[i]); }
    int X(std::size_t i) const { return seconds[i]; }
    std::size_t FirstAtOrAfter(int x) const
    {
        const auto end = seconds.begin() + std::ptrdiff_t(Size());
        return std::size_t(std::lower_bound(seconds.begin(), end, x) - seconds.begin());
    }
};

template <typename Column>
QList<QPointF> Decimate(const Column& column, int first, int last, int buckets)
{
    QList<QPointF> points;
    const std::size_t size = column.Size();
    if (size == 0 || buckets < 1)
        return points;
    first = std::max(first, column.X(0));
    last = std::min(last, column.X(size - 1));
    if (last < first)
        return points;
    const double gap = std::numeric_limits<double>::quiet_NaN();
    // A stretch without values after one with values: one point without a
    // value, which breaks the line.
    const auto markGap = [&points, gap](int x) {
        if (!points.isEmpty() && std::isfinite(points.back().y()))
            points.append(QPointF(x, gap));
    };
    std::size_t i = column.FirstAtOrAfter(first);
    const qint64 span = qint64(last) - first + 1;
    if (span <= 2 * qint64(buckets)) {
        for (int previous = first - 1; i < size && column.X(i) <= last; ++i) {
            const int x = column.X(i);
            if (x > previous + 1)
                markGap(previous + 1);
            previous = x;
            const double v = column.Value(i);
            if (std::isfinite(v))
                points.append(QPointF(x, v));
            else
                markGap(x);
        }
        return points;
    }
    for (int b = 0; b < buckets; ++b) {
        const int from = first + int(span * b / buckets);
        const int to = first + int(span * (b + 1) / buckets) - 1;
        std::size_t low = size;
        std::size_t high = size;
        for (; i < size && column.X(i) <= to; ++i) {
            const double v = column.Value(i);
            if (!std::isfinite(v))
                continue;
            if (low == size || v < column.Value(low))
                low = i;
            if (high == size || v > column.Value(high))
                high = i;
        }
        if (low == size) {
            markGap(from);
            continue;
        }
        const std::size_t a = std::min(low, high);
        const std::size_t z = std::max(low, high);
        points.append(QPointF(column.X(a), column.Value(a)));
        if (z != a)
            points.append(QPointF(column.X(z), column.Value(z)));
    }
    return points;
}

} // namespace

QList<QPointF> MinMaxDecimate(const std::vector<double>& values, int first, int last, int buckets)
{
    return Decimate(IndexedColumn{values}, first, last, buckets);
}

QList<QPointF> MinMaxDecimate(const std::vector<float>& values, const std::vector<int>& seconds, int first, int last,
                              int buckets)
{
    return Decimate(LogColumn{values, seconds}, first, last, buckets);
}
