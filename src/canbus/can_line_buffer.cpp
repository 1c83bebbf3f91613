#include "canbus/can_line_buffer.h"

#include "canbus/can_frame_format.h"


QStringList LinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second, bool hex)
{
    QStringList lines;
    for (const CanFrameRecord* slot : {&first, &second})
        if (slot->FrameDataLength() != 0)
            lines.append(FormatCanFrame(*slot, hex));
    return lines;
}
