#include "canbus/can_line_buffer.h"

#include "canbus/can_frame_format.h"

#include <algorithm>

QStringList LinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second, bool hex)
{
    QStringList lines;
    for (const CanFrameRecord* slot : {&first, &second})
        if (slot->FrameDataLength() != 0)
            lines.append(FormatCanFrame(*slot, hex));
    return lines;
}

CanLines::CanLines(int maxLines)
    : maxLines_(std::max(1, maxLines))
{
}

int CanLines::Append(const QStringList& lines)
{
    lines_.append(lines);
    const int excess = int(lines_.size()) - maxLines_;
    if (excess <= 0)
        return 0;
    lines_.erase(lines_.begin(), lines_.begin() + excess);
    return excess;
}

QString CanLines::Text() const
{
    QString text;
    for (const QString& line : lines_) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}
