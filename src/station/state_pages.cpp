#include "station/state_pages.h"

#include "views/value_format.h"

namespace {

// Cell of the regulator status in the regulator state grids (row 2, value).
constexpr int RegulatorStatusCell = 2 * StateColumns + 1;

} // namespace

void StatePages::Refresh(Side side, const SystemStateRecord& record, uint8_t auxTempSensorUsage, int parts)
{
    StatePageTexts& texts = texts_[Index(side)];
    // The peer's aux input is captioned without the own settings.
    if (parts & MeasuredPart) {
        std::optional<SystemStateRecord>& before = measuredFrom_[Index(side)];
        QString& separator = measuredSeparator_[Index(side)];
        if (const QString now = DecimalSeparator(); now != separator) {
            separator = now;
            before.reset();
        }
        UpdateMeasuredValuesCells(texts.measured, record, before ? &*before : nullptr, side,
                                  side == Side::Own ? auxTempSensorUsage : 0);
        before = record;
    }
    if (parts & SystemPart)
        texts.system = SystemStateCells(record);
    if (parts & RegulatorPart)
        texts.regulator = RegulatorStateCells(record, side, texts.regulator.value(RegulatorStatusCell));
    if (parts & MessagesPart)
        texts.messages = side == Side::Own ? SystemMessageLines(record, holdCounters_, auxTempSensorUsage)
                                           : PeerSystemMessageLines(record);
}
