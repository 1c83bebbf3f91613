#pragma once
// A fixed-size binary record: a byte array with typed little-endian access at
// fixed offsets. Bytes that no accessor names are carried through untouched.
#include "records/le_bytes.h"

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>

template <std::size_t N>
class ByteRecord {
public:
    static constexpr std::size_t Size = N;

    uint8_t* Data() { return bytes_.data(); }
    const uint8_t* Data() const { return bytes_.data(); }
    std::array<uint8_t, N>& Bytes() { return bytes_; }
    const std::array<uint8_t, N>& Bytes() const { return bytes_; }

    // Replaces the whole record from N bytes at src.
    void Assign(const uint8_t* src) { std::memcpy(bytes_.data(), src, N); }
    void Clear() { bytes_.fill(0); }
    QByteArray ToByteArray() const { return QByteArray(reinterpret_cast<const char*>(bytes_.data()), int(N)); }

    uint8_t U8(std::size_t off) const { return bytes_[off]; }
    uint16_t U16(std::size_t off) const { return le::U16(bytes_.data() + off); }
    uint32_t U32(std::size_t off) const { return le::U32(bytes_.data() + off); }
    float F32(std::size_t off) const { return le::F32(bytes_.data() + off); }
    void SetU8(std::size_t off, uint8_t v) { bytes_[off] = v; }
    void SetU16(std::size_t off, uint16_t v) { le::PutU16(bytes_.data() + off, v); }
    void SetU32(std::size_t off, uint32_t v) { le::PutU32(bytes_.data() + off, v); }
    void SetF32(std::size_t off, float v) { le::PutF32(bytes_.data() + off, v); }

    // A zero-terminated 8-bit text of at most len bytes; a text that fills the
    // field without a zero byte ends at the field's end.
    QByteArray Text(std::size_t off, std::size_t len) const
    {
        std::size_t n = 0;
        while (n < len && bytes_[off + n] != 0)
            ++n;
        return QByteArray(reinterpret_cast<const char*>(bytes_.data() + off), int(n));
    }
    // The field's raw bytes, zero bytes included.
    QByteArray RawBytes(std::size_t off, std::size_t len) const
    {
        return QByteArray(reinterpret_cast<const char*>(bytes_.data() + off), int(len));
    }
    void SetRawBytes(std::size_t off, std::size_t len, const QByteArray& src)
    {
        for (std::size_t i = 0; i < len; ++i)
            bytes_[off + i] = i < std::size_t(src.size()) ? uint8_t(src[int(i)]) : 0;
    }

    friend bool operator==(const ByteRecord& a, const ByteRecord& b) { return a.bytes_ == b.bytes_; }
    friend bool operator!=(const ByteRecord& a, const ByteRecord& b) { return a.bytes_ != b.bytes_; }

private:
    std::array<uint8_t, N> bytes_{};
};
