#pragma once
// The lines of the "CAN bus" page: what one fetch adds, and how many the page
// keeps.
#include "records/can_frame_record.h"

#include <QString>
#include <QStringList>

// The page keeps at most this many lines, dropping the oldest first, so a
// monitor left running for days does not grow without end.
constexpr int MaxCanMemoLines = 10000;

// The 0, 1 or 2 lines of one fetch: first slot first, a slot whose data
// length is 0 holds no frame and gives no line, whatever its kind.
QStringList LinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second, bool hex);
