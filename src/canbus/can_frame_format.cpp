#include "canbus/can_frame_format.h"

#include <algorithm>

namespace {

struct KindEntry {
    const char* text;
    int tabs;
};

// The tab counts line the following pieces up in columns for the kind texts'
// different lengths.
constexpr KindEntry KindTable[] = {
    {"Raw frame", 3},
    {"Error frame", 3},
    {"Standard data frame", 2},
    {"Standard RTR frame", 2},
    {"Extended data frame", 2},
    {"Extended RTR frame", 2},
    {"N2K message", 3},
    {"Fast packed N2K message", 2},
    {"Multi-frame (FP) N2K message", 1},
    {"Multi-frame (TP) N2K message", 1},
};
constexpr int KindCount = int(sizeof KindTable / sizeof KindTable[0]);

const QChar Tab = QLatin1Char('\t');

QString Hex(uint32_t value, int digits)
{
    return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString CanFrameKindText(uint8_t kind)
{
    return kind < KindCount ? QString::fromLatin1(KindTable[kind].text) : QString();
}

int CanFrameKindTabs(uint8_t kind)
{
    return kind < KindCount ? KindTable[kind].tabs : 0;
}

QString FormatCanFrame(const CanFrameRecord& frame, bool hex)
{
    const uint8_t kind = frame.FrameKind();
    const int length = frame.FrameDataLength();

    QString line = CanFrameKindText(kind);
    line += QString(CanFrameKindTabs(kind), Tab);

    // The length piece shows the full count even for multi-frame messages,
    // whose data does not fit the record's eight bytes.
    line += QString::number(length) + QStringLiteral(" bytes") + Tab;

    const uint32_t id = frame.FrameIdentifier();
    line += hex ? QStringLiteral("ID=0x") + Hex(id, 8) : QStringLiteral("ID=") + QString::number(id);
    line += Tab;

    const int shown = std::min(length, int(CanFrameRecord::MaxDataBytes));
    for (int i = 0; i < shown; ++i) {
        const uint8_t b = frame.FrameData(i);
        line += QLatin1Char('b') + QString::number(i) + QLatin1Char('=');
        line += hex ? QStringLiteral("0x") + Hex(b, 2) : QString::number(b);
        line += Tab;
    }
    return line;
}
