// The record stream of a BIFF8 workbook ([MS-XLS] 2.1.4): a 16-bit type, a
// 16-bit size and that many bytes, one after the other.
#pragma once

#include <cstdint>
#include <memory>

#include "documents/BinaryFields.h"
#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

// A record as it lies in the reader's window: its bytes are valid until the
// reader's next Next or Seek, and are not copied out of the window.
struct ExcelRecord {
    uint16_t type = 0;
    uint64_t offset = 0;  // where the record's header starts
    const unsigned char* data = nullptr;
    size_t size = 0;

    FieldReader Fields() const { return FieldReader(data, size); }
};

class ExcelRecordReader {
  public:
    explicit ExcelRecordReader(ByteSource& stream) : stream_(stream), size_(stream.Size()) {}
    // Moves to the record that starts at `offset`.
    void Seek(uint64_t offset);
    // The next record; false at the end of the stream. A record cut off by
    // the end of the stream is damaged.
    bool Next(ExcelRecord& record);
    // Makes the next call of Next give `record`, the last one it gave, again.
    void PutBack(const ExcelRecord& record) { position_ = record.offset; }

  private:
    // Most records lie in the window already: that test is made inline.
    void Fill(uint64_t offset, size_t count) {
        if (offset < windowStart_ || offset + count > windowStart_ + windowSize_)
            Refill(offset, count);
    }
    void Refill(uint64_t offset, size_t count);

    ByteSource& stream_;
    const uint64_t size_;
    uint64_t position_ = 0;
    // Without the fill a vector makes: each refill writes what it holds.
    std::unique_ptr<unsigned char[]> window_;
    size_t windowCapacity_ = 0;
    size_t windowSize_ = 0;
    uint64_t windowStart_ = 0;
};

}  // namespace querna
