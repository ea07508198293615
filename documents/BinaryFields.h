// Little-endian fields of the binary document formats, read only from inside
// a bounded buffer, and whole reads from a ByteSource that fail as damaged
// when the bytes are not all there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

inline uint16_t LoadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
// Big-endian, for the UTF-16BE text an XML part may be written in.
inline uint16_t LoadU16Be(const unsigned char* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t LoadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const unsigned char* p) {
    return LoadU32(p) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
double LoadDouble(const unsigned char* p);

// Appends `count` characters stored as UTF-16LE when `wide`, else as one byte
// each, the low byte of the character (Latin-1): how Excel's strings and
// PowerPoint's text atoms hold text.
inline void AppendChars(const unsigned char* p, size_t count, bool wide, std::u16string& out) {
    const size_t at = out.size();
    out.resize(at + count);
    for (size_t i = 0; i < count; ++i) out[at + i] = wide ? LoadU16(p + 2 * i) : p[i];
}

[[noreturn]] void ThrowDamaged();

// A view of bytes whose every read is checked against its end; a read past
// the end raises DocumentError(Damaged). Inline: the cell records of a
// workbook make a few reads each, and a call per read cost more than the read.
class FieldReader {
  public:
    FieldReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    explicit FieldReader(const std::vector<unsigned char>& bytes)
        : data_(bytes.data()), size_(bytes.size()) {}

    size_t Size() const { return size_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    void Seek(size_t pos) {
        if (pos > size_) ThrowDamaged();
        pos_ = pos;
    }
    void Skip(size_t count) { Bytes(count); }
    uint8_t U8() { return *Bytes(1); }
    uint16_t U16() { return LoadU16(Bytes(2)); }
    uint32_t U32() { return LoadU32(Bytes(4)); }
    double Double() { return LoadDouble(Bytes(8)); }
    // `count` bytes at the current position, which then moves past them.
    const unsigned char* Bytes(size_t count) {
        if (count > Remaining()) ThrowDamaged();
        const unsigned char* p = data_ + pos_;
        pos_ += count;
        return p;
    }

  private:
    const unsigned char* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Reads exactly `count` bytes at `offset`; short reads mean a damaged file.
void ReadExactly(ByteSource& source, uint64_t offset, void* buffer, size_t count);

// Reads `count` bytes at `offset` into `bytes` (its room kept from one read
// to the next), refusing more than `limit` bytes with DocumentError(TooLarge).
void ReadBlock(ByteSource& source, uint64_t offset, uint64_t count, uint64_t limit,
               std::vector<unsigned char>& bytes);
// The same into a new buffer.
std::vector<unsigned char> ReadBlock(ByteSource& source, uint64_t offset, uint64_t count,
                                     uint64_t limit);

}  // namespace querna
