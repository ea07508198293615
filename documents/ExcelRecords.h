// The record stream of a BIFF8 workbook ([MS-XLS] 2.1.4): a 16-bit type, a
// 16-bit size and that many bytes, one after the other.
#pragma once

#include <cstdint>
#include <vector>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

struct ExcelRecord {
    uint16_t type = 0;
    uint64_t offset = 0;  // where the record's header starts
    std::vector<unsigned char> data;
};

class ExcelRecordReader {
  public:
    explicit ExcelRecordReader(ByteSource& stream) : stream_(stream) {}
    // Moves to the record that starts at `offset`.
    void Seek(uint64_t offset);
    // The next record; false at the end of the stream. A record cut off by
    // the end of the stream is damaged.
    bool Next(ExcelRecord& record);
    // Makes the next call of Next give `record` again.
    void PutBack(ExcelRecord& record);

  private:
    // Most records lie in the window already: that test is made inline.
    void Fill(uint64_t offset, size_t count) {
        if (offset < windowStart_ || offset + count > windowStart_ + window_.size())
            Refill(offset, count);
    }
    void Refill(uint64_t offset, size_t count);

    ByteSource& stream_;
    uint64_t position_ = 0;
    std::vector<unsigned char> window_;
    uint64_t windowStart_ = 0;
    bool putBack_ = false;
    ExcelRecord saved_;
};

}  // namespace querna
