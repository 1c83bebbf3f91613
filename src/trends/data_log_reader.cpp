#include "trends/data_log_reader.h"

#include "records/ansi_text.h"

#include <QFile>
#include <QLocale>

#include <cmath>
#include <limits>

namespace {

// The fields of one line: every field ends with a TAB, the line with CR LF.
QList<QByteArray> Fields(QByteArray line)
{
    while (line.endsWith('\r') || line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\t'))
        line.chop(1);
    return line.split('\t');
}

double Number(const QByteArray& field)
{
    // Values are written with the regional decimal separator of the machine
    // that logged them: a point or a comma.
    QByteArray text = field.trimmed();
    text.replace(',', '.');
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

bool ReadDataLog(const QString& path, DataLogContent* content, QString* failure)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (failure)
            *failure = QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray header = file.readLine();
    const QList<QByteArray> names = Fields(header);
    if (header.isEmpty() || names.size() < 2) {
        if (failure)
            *failure = QStringLiteral("\"%1\" is not a data log: its first line names no columns").arg(path);
        return false;
    }
    *content = DataLogContent{};
    for (const QByteArray& name : names)
        content->columns << FromAnsi(name);
    content->values.resize(std::size_t(names.size()));
    int lineNumber = 1;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        ++lineNumber;
        const QList<QByteArray> fields = Fields(line);
        if (fields.size() != names.size()) {
            if (content->problems.size() < 100)
                content->problems << QStringLiteral("Line %1: %2 fields instead of %3")
                                         .arg(lineNumber)
                                         .arg(fields.size())
                                         .arg(names.size());
            // The line still stands for its second: a gap, not a removed second.
            for (std::vector<double>& column : content->values)
                column.push_back(std::numeric_limits<double>::quiet_NaN());
            continue;
        }
        for (int c = 0; c < fields.size(); ++c)
            content->values[std::size_t(c)].push_back(Number(fields[c]));
        ++content->lines;
    }
    return true;
}

QList<QPointF> MinMaxDecimate(const std::vector<double>& values, int first, int last, int buckets)
{
    QList<QPointF> points;
    first = std::max(first, 0);
    last = std::min(last, int(values.size()) - 1);
    if (last < first || buckets < 1)
        return points;
    const double gap = std::numeric_limits<double>::quiet_NaN();
    // A stretch without values after one with values: one point without a
    // value, which breaks the line.
    const auto markGap = [&points, gap](int x) {
        if (!points.isEmpty() && std::isfinite(points.back().y()))
            points.append(QPointF(x, gap));
    };
    const int span = last - first + 1;
    if (span <= 2 * buckets) {
        for (int i = first; i <= last; ++i) {
            if (std::isfinite(values[std::size_t(i)]))
                points.append(QPointF(i, values[std::size_t(i)]));
            else
                markGap(i);
        }
        return points;
    }
    for (int b = 0; b < buckets; ++b) {
        const int from = first + int(qint64(span) * b / buckets);
        const int to = first + int(qint64(span) * (b + 1) / buckets) - 1;
        int low = -1;
        int high = -1;
        for (int i = from; i <= to; ++i) {
            const double v = values[std::size_t(i)];
            if (!std::isfinite(v))
                continue;
            if (low < 0 || v < values[std::size_t(low)])
                low = i;
            if (high < 0 || v > values[std::size_t(high)])
                high = i;
        }
        if (low < 0) {
            markGap(from);
            continue;
        }
        const int a = std::min(low, high);
        const int z = std::max(low, high);
        points.append(QPointF(a, values[std::size_t(a)]));
        if (z != a)
            points.append(QPointF(z, values[std::size_t(z)]));
    }
    return points;
}
