#include "documents/ExcelRecords.h"

#include <algorithm>

#include "documents/BinaryFields.h"

namespace querna {

namespace {
constexpr size_t kWindow = 64 * 1024;
}

void ExcelRecordReader::Seek(uint64_t offset) {
    position_ = offset;
}

// Keeps a window of the stream so that records are not read one call each.
// A stream held in memory is read where it lies, as far as it lies in one
// piece; only where it does not are its bytes copied.
void ExcelRecordReader::Refill(uint64_t offset, size_t count) {
    const uint64_t size = size_;
    if (offset > size || count > size - offset) ThrowDamaged();
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(std::max(count, kWindow), size - offset));
    windowSize_ = 0;  // until the window is whole
    const std::span<const unsigned char> view = stream_.View(offset, n);
    if (view.size() >= count && !view.empty()) {
        window_ = view.data();
        windowSize_ = view.size();
        windowStart_ = offset;
        return;
    }
    if (n > bufferCapacity_) {
        buffer_.reset(new unsigned char[n]);
        bufferCapacity_ = n;
    }
    ReadExactly(stream_, offset, buffer_.get(), n);
    window_ = buffer_.get();
    windowSize_ = n;
    windowStart_ = offset;
}

bool ExcelRecordReader::Next(ExcelRecord& record) {
    if (position_ + 4 > size_) return false;
    Fill(position_, 4);
    const unsigned char* header = window_ + (position_ - windowStart_);
    record.type = LoadU16(header);
    const uint16_t size = LoadU16(header + 2);
    record.offset = position_;
    Fill(position_ + 4, size);
    record.data = window_ + (position_ + 4 - windowStart_);
    record.size = size;
    position_ += 4 + size;
    return true;
}

}  // namespace querna
