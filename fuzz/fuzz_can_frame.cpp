// Any 20 bytes as a CAN frame record: both text forms end with a tab and
// never show more than eight data bytes.
#include "canbus/can_frame_format.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CanFrameRecord frame;
    std::memcpy(frame.Data(), data, std::min(size, std::size_t(CanFrameRecord::Size)));
    for (bool hex : {true, false}) {
        const QString line = FormatCanFrame(frame, hex);
        if (!line.endsWith(QLatin1Char('\t')) || line.contains(QStringLiteral("b8=")))
            std::abort();
    }
    return 0;
}
