#pragma once
// One received CAN frame as the regulator hands it over: 20 bytes.
#include "records/byte_record.h"

class CanFrameRecord : public ByteRecord<20> {
public:
    enum Offset : std::size_t { FrameKindAt = 0, FrameIdentifierAt = 4, FrameDataLengthAt = 8, FrameDataAt = 12 };
    static constexpr int MaxDataBytes = 8;

    uint8_t FrameKind() const { return U8(FrameKindAt); }
    uint32_t FrameIdentifier() const { return U32(FrameIdentifierAt); }
    uint8_t FrameDataLength() const { return U8(FrameDataLengthAt); }
    uint8_t FrameData(int i) const { return U8(FrameDataAt + std::size_t(i)); }

    void SetFrameKind(uint8_t v) { SetU8(FrameKindAt, v); }
    void SetFrameIdentifier(uint32_t v) { SetU32(FrameIdentifierAt, v); }
    void SetFrameDataLength(uint8_t v) { SetU8(FrameDataLengthAt, v); }
    void SetFrameData(int i, uint8_t v) { SetU8(FrameDataAt + std::size_t(i), v); }
};
