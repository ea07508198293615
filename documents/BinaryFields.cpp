#include "documents/BinaryFields.h"

#include <cstring>

namespace querna {

double LoadDouble(const unsigned char* p) {
    const uint64_t bits = LoadU64(p);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void ThrowDamaged() {
    throw DocumentError(DocumentFault::Damaged);
}

void ReadExactly(ByteSource& source, uint64_t offset, void* buffer, size_t count) {
    if (count == 0) return;  // an empty directory or entry has no buffer to read into
    if (source.ReadAt(offset, buffer, count) != count) ThrowDamaged();
}

void ReadBlock(ByteSource& source, uint64_t offset, uint64_t count, uint64_t limit,
               std::vector<unsigned char>& bytes) {
    if (count > limit) throw DocumentError(DocumentFault::TooLarge);
    if (offset > source.Size() || count > source.Size() - offset) ThrowDamaged();
    bytes.resize(static_cast<size_t>(count));
    ReadExactly(source, offset, bytes.data(), bytes.size());
}

std::vector<unsigned char> ReadBlock(ByteSource& source, uint64_t offset, uint64_t count,
                                     uint64_t limit) {
    std::vector<unsigned char> bytes;
    ReadBlock(source, offset, count, limit, bytes);
    return bytes;
}

}  // namespace querna
