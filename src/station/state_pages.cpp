#include "station/state_pages.h"

namespace {

// Cell of the regulator status in the regulator state grids (row 2, value).
constexpr int RegulatorStatusCell = 2 * StateColumns + 1;

} // namespace

void StatePages::Refresh(Side side, const SystemStateRecord& record, uint8_t auxTempSensorUsage, int parts)
{
    StatePageTexts& texts = texts_[Index(side)];
    // The peer's aux input is captioned without the own settings.
    if (parts & MeasuredPart)
        texts.measured = MeasuredValuesCells(record, side, side == Side::Own ? auxTempSensorUsage : 0);
    if (parts & SystemPart)
        texts.system = SystemStateCells(record);
    if (parts & RegulatorPart)
        texts.regulator = RegulatorStateCells(record, side, texts.regulator.value(RegulatorStatusCell));
    if (parts & MessagesPart)
        texts.messages = side == Side::Own ? SystemMessageLines(record, holdCounters_, auxTempSensorUsage)
                                           : PeerSystemMessageLines(record);
}
