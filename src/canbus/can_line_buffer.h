#pragma once
// The lines of the "CAN bus" page: what one fetch adds, and the bounded list
// the page keeps.
#include "records/can_frame_record.h"

#include <QString>
#include <QStringList>

// The page keeps at most this many lines, dropping the oldest first, so a
// monitor left running for days does not grow without end.
constexpr int MaxCanMemoLines = 10000;

// The 0, 1 or 2 lines of one fetch: first slot first, a slot whose data
// length is 0 holds no frame and gives no line, whatever its kind.
QStringList LinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second, bool hex);

// A list of lines that keeps only the newest maxLines.
class CanLines {
public:
    explicit CanLines(int maxLines = MaxCanMemoLines);

    // Appends the lines in order and returns how many of the oldest lines
    // were dropped to stay within the limit (a view removes as many from its
    // top).
    int Append(const QStringList& lines);
    void Clear() { lines_.clear(); }

    const QStringList& Lines() const { return lines_; }
    int Count() const { return int(lines_.size()); }
    int MaxLines() const { return maxLines_; }
    // All lines, each ended by a line feed, as the page's text.
    QString Text() const;

private:
    int maxLines_;
    QStringList lines_;
};
