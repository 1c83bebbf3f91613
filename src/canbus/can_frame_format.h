#pragma once
// One received CAN frame as a line of the "CAN bus" page.
#include "records/can_frame_record.h"

#include <QString>

#include <cstdint>

// The text that opens the line of a frame kind, and the number of tabs that
// follow it. Kinds above 9 have neither: their line starts with the length.
QString CanFrameKindText(uint8_t kind);
int CanFrameKindTabs(uint8_t kind);

// The whole line: kind text and its tabs, "<length> bytes", the identifier and
// at most eight data bytes, each piece ended by a tab, so the line always ends
// with a tab. hex selects "ID=0x0000007B"/"b0=0x0A" over "ID=123"/"b0=10".
// A frame of length 0 is formatted like any other; callers skip empty slots.
QString FormatCanFrame(const CanFrameRecord& frame, bool hex);
