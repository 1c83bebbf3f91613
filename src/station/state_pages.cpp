#include "station/state_pages.h"

#include "views/value_format.h"

void StatePages::Refresh(Side side, const SystemStateRecord& record, uint8_t auxTempSensorUsage, int parts)
{
    const int at = Index(side);
    StatePageTexts& texts = texts_[at];
    if (const QString now = DecimalSeparator(); now != separator_[at]) {
        separator_[at] = now;
        measuredFrom_[at].reset();
        systemFrom_[at].reset();
        regulatorFrom_[at].reset();
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
    // The regulator state's status carries over codes without a text.
    if (parts & RegulatorPart) {
        UpdateRegulatorStateCells(texts.regulator, record, regulatorFrom_[at] ? &*regulatorFrom_[at] : nullptr, side);
        regulatorFrom_[at] = record;
    }
    if (parts & MessagesPart)
        texts.messages = side == Side::Own ? SystemMessageLines(record, holdCounters_, auxTempSensorUsage)
                                           : PeerSystemMessageLines(record);
}
