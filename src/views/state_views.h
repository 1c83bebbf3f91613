#pragma once
// Text of the state pages: the measured values grid, the system and
// regulator state grids and the status message memo, for the own regulator
// and the peer. Grids are returned as cell texts in row order, each row its
// columns left to right; the widgets only copy them in.
#include "records/system_state_record.h"

#include <QStringList>

#include <array>

// The texts of one state page.
struct StatePageTexts {
    QStringList measured;  // 4 columns, caption row first
    QStringList system;    // 2 columns, caption row first
    QStringList regulator; // 2 columns, caption row first
    QStringList messages;  // the memo's lines
};

// The parts of a state page, worked out and drawn on their own or together.
enum StatePart { MeasuredPart = 1, SystemPart = 2, RegulatorPart = 4, MessagesPart = 8, AllParts = 15 };

constexpr int MeasuredValuesRows = 16;
constexpr int MeasuredValuesColumns = 4;
constexpr int SystemStateRows = 10;
constexpr int RegulatorStateRows = 8;
constexpr int StateColumns = 2;

enum class Side { Own, Peer };

QStringList MeasuredValuesCells(const SystemStateRecord& record, Side side, uint8_t auxTempSensorUsage);
// The same texts brought up to date in place: `cells` holds the texts of
// `before` (null: none kept), and only the values that changed are formatted.
void UpdateMeasuredValuesCells(QStringList& cells, const SystemStateRecord& record, const SystemStateRecord* before,
                               Side side, uint8_t auxTempSensorUsage);
QStringList SystemStateCells(const SystemStateRecord& record);
// The same texts brought up to date in place, as UpdateMeasuredValuesCells
// does.
void UpdateSystemStateCells(QStringList& cells, const SystemStateRecord& record, const SystemStateRecord* before);
// Status codes without a text leave the status cell as it was: pass the text
// the cell shows now.
QStringList RegulatorStateCells(const SystemStateRecord& record, Side side, const QString& shownStatus);
// The same texts brought up to date in place; a status code without a text
// leaves the status that `cells` shows.
void UpdateRegulatorStateCells(QStringList& cells, const SystemStateRecord& record, const SystemStateRecord* before,
                               Side side);
QString RegulatorStatusText(uint8_t code); // empty for codes without a text

// The own memo keeps a message for a number of refreshes after its condition
// has cleared: one counter per status bit.
struct MessageHoldCounters {
    std::array<uint8_t, 32> counters{};
    void Clear() { counters.fill(0); }
};

// The hold count: the hold time in refreshes of the 200 ms polling cycle.
constexpr int MessageHoldTimeMs = 2000;
constexpr int UsbTimerIntervalMs = 200;
constexpr uint8_t MessageHoldCount = MessageHoldTimeMs / UsbTimerIntervalMs;

// Advances the counters by one refresh and returns the memo's lines.
QStringList SystemMessageLines(const SystemStateRecord& record, MessageHoldCounters& hold, uint8_t auxTempSensorUsage);
QStringList PeerSystemMessageLines(const SystemStateRecord& record);
