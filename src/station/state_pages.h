#pragma once
// The texts the two state pages show, worked out once per change of a
// record and kept until the next: what the window draws, the data log's
// line, the report and the command-line tool all read them here. The
// regulator state carries its status text over codes without one, and the
// own messages hold for a while after their condition cleared, so each part
// is worked out once per new record, never merely to be read.
#include "views/state_views.h"

#include <optional>

class StatePages {
public:
    const StatePageTexts& Texts(Side side) const { return texts_[Index(side)]; }
    // The parts of `side`'s page from its record; `auxTempSensorUsage` (the
    // own settings') captions the own aux input.
    void Refresh(Side side, const SystemStateRecord& record, uint8_t auxTempSensorUsage, int parts = AllParts);
    // The own status messages start their hold times afresh.
    void ClearHoldCounters() { holdCounters_.Clear(); }

private:
    static int Index(Side side) { return side == Side::Own ? 0 : 1; }

    StatePageTexts texts_[2];
    // The record each side's measured values, system state and regulator
    // state were last worked out from, and the decimal separator they were
    // written with: values that read the same are not formatted again.
    std::optional<SystemStateRecord> measuredFrom_[2];
    std::optional<SystemStateRecord> systemFrom_[2];
    std::optional<SystemStateRecord> regulatorFrom_[2];
    QString separator_[2];
    MessageHoldCounters holdCounters_;
};
