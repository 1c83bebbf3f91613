#pragma once
// Reading back a data log the program wrote: the header line names the
// columns, every further line holds one second's values (the line's position
// after the header is its second). A line that does not have the header's
// number of fields (or is empty, or absurdly long) is skipped and reported:
// its second becomes a gap in every column without costing memory per
// column. A field that is not a number ("-", a status text) is a gap in its
// own column. Memory grows with the values actually read, four bytes each.
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <vector>

// The longest line read. The longest line the program writes is its header,
// about 1.1 KB (38 captions); 64 KiB leaves room for captions and values many
// times longer and bounds what a single line can cost, so that a file
// without line ends (a binary file) cannot take the memory.
constexpr int MaxLogLineBytes = 64 * 1024;
// The most columns a header may name. The program writes 38 (the rows of its
// four value tables); 200 leaves room for tables that grow in later versions
// while a crafted header of thousands of columns is refused.
constexpr int MaxLogColumns = 200;

struct DataLogContent {
    QStringList columns;                    // the header's fields
    // Per column, one value per value line (a field that is not a number: NaN).
    std::vector<std::vector<float>> values;
    // The second of each value line; a jump is a stretch of skipped lines.
    std::vector<int> seconds;
    int lines = 0;       // value lines taken
    int totalSeconds = 0; // every line after the header, taken or skipped
    // What was wrong with lines, consecutive lines of one kind as one text
    // ("Lines 3 to 20002 are empty and were skipped"); the first few only.
    QStringList problems;
    // Lines skipped or cut beyond those in `problems`.
    int moreProblemLines = 0;

    // The number of values held, the measure of the memory the log takes.
    qint64 StoredValues() const;
};

// False with the reason, worded for the user, when the file cannot be read,
// is not a data log or holds no values.
bool ReadDataLog(const QString& path, DataLogContent* content, QString* failure);

// A column reduced for drawing: for each of `buckets` equal stretches of the
// x range [first, last], the lowest and the highest value in it (in the order
// they occur), so that peaks survive however far the view is zoomed out.
// A stretch without values gives one point whose y is not a number (a gap
// in the line). x is the index of the value.
QList<QPointF> MinMaxDecimate(const std::vector<double>& values, int first, int last, int buckets);
// The same for a log column: x is the value's second from `seconds` (in
// ascending order, one per value), and seconds without a value are gaps.
QList<QPointF> MinMaxDecimate(const std::vector<float>& values, const std::vector<int>& seconds, int first, int last,
                              int buckets);
