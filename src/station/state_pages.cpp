#include "station/state_pages.h"

#include "views/value_format.h"

namespace {

// Cell of the regulator status in the regulator state grids (row 2, value).
constexpr int RegulatorStatusCell = 2 * StateColumns + 1;

} // namespace

void StatePages::Refresh(Side side, const SystemStateRecord& record, uint8_t auxTempSensorUsage, int parts)
{
    const int at = Index(side);
    StatePageTexts& texts = texts_[at];
    if (const QString now = DecimalSeparator(); now != separator_[at]) {
        separator_[at] = now;
        measuredFrom_[at].reset();
        systemFrom_[at].reset();
    }
    // The peer's aux input is captioned without the own settings.
    if (parts & MeasuredPart) {
        UpdateMeasuredValuesCells(texts.measured, record, measuredFrom_[at] ? &*measuredFrom_[at] : nullptr, side,
                                  side == Side::Own ? auxTempSensorUsage : 0);
        measuredFrom_[at] = record;
    }
    if (parts & SystemPart) {
        UpdateSystemStateCells(texts.system, record, systemFrom_[at] ? &*systemFrom_[at] : nullptr);
        systemFrom_[at] = record;
    }
    if (parts & RegulatorPart)
        texts.regulator = RegulatorStateCells(record, side, texts.regulator.value(RegulatorStatusCell));
    if (parts & MessagesPart)
        texts.messages = side == Side::Own ? SystemMessageLines(record, holdCounters_, auxTempSensorUsage)
                                           : PeerSystemMessageLines(record);
}
