#pragma once
// What an NMEA 2000 frame of the "CAN bus" page says, as one short line for
// the electrician: priority, PGN and its name, source and destination, and
// for the single-frame messages of a charging system the values with units.
#include "records/can_frame_record.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// The parts of a 29-bit NMEA 2000 identifier. Below PF 240 (PDU1) the PS byte
// is the destination and the PGN's low byte is 0; from PF 240 on (PDU2) PS
// is part of the PGN and the message goes to all (255).
struct N2kIdentifier {
    int priority = 0;
    uint32_t pgn = 0;
    uint8_t source = 0;
    uint8_t destination = 255;
};

constexpr uint8_t N2kBroadcast = 255;

N2kIdentifier DecodeN2kIdentifier(uint32_t identifier);

// The name of a common PGN, or an empty text for one this program does not
// know.
QString N2kPgnName(uint32_t pgn);

// One line for a frame of an NMEA 2000 kind, for example
//   "P6 PGN 127508 Battery Status  src 35 → all  | battery 0: 13.60 V, 12.3 A, 25.00 °C, SID 4"
// Values the sender marks "not available" (or "out of range") say so by
// name; multi-frame messages, of which only the first eight bytes arrive,
// are named but not decoded. Other kinds give "-": nothing to decode.
QString DescribeN2kFrame(const CanFrameRecord& frame);

// The decoded lines that go beside the lines of one fetch: one per occupied
// slot, first slot first, as LinesForFetch gives them.
QStringList N2kLinesForFetch(const CanFrameRecord& first, const CanFrameRecord& second);
