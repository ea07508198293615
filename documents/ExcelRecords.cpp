#include "documents/ExcelRecords.h"

#include <algorithm>

#include "documents/BinaryFields.h"

namespace querna {

namespace {
constexpr size_t kWindow = 64 * 1024;
}

void ExcelRecordReader::Seek(uint64_t offset) {
    position_ = offset;
    putBack_ = false;
}

void ExcelRecordReader::PutBack(ExcelRecord& record) {
    saved_ = std::move(record);
    putBack_ = true;
}

// Keeps a window of the stream so that records are not read one call each.
void ExcelRecordReader::Refill(uint64_t offset, size_t count) {
    const uint64_t size = stream_.Size();
    if (offset > size || count > size - offset) ThrowDamaged();
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(std::max(count, kWindow), size - offset));
    window_.resize(n);
    ReadExactly(stream_, offset, window_.data(), n);
    windowStart_ = offset;
}

bool ExcelRecordReader::Next(ExcelRecord& record) {
    if (putBack_) {
        putBack_ = false;
        record = std::move(saved_);
        return true;
    }
    if (position_ + 4 > stream_.Size()) return false;
    Fill(position_, 4);
    const unsigned char* header = window_.data() + (position_ - windowStart_);
    record.type = LoadU16(header);
    const uint16_t size = LoadU16(header + 2);
    record.offset = position_;
    Fill(position_ + 4, size);
    const unsigned char* data = window_.data() + (position_ + 4 - windowStart_);
    record.data.assign(data, data + size);
    position_ += 4 + size;
    return true;
}

}  // namespace querna
