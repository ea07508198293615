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
    friend class ExcelRecordCursor;

    // Most records lie in the window already: that test is made inline.
    void Fill(uint64_t offset, size_t count) {
        if (offset < windowStart_ || offset + count > windowStart_ + windowSize_)
            Refill(offset, count);
    }
    void Refill(uint64_t offset, size_t count);

    ByteSource& stream_;
    const uint64_t size_;
    uint64_t position_ = 0;
    // The window: where the stream lies in memory, or a copy of it in
    // `buffer_`, which has no fill a vector makes (each refill writes what
    // it holds).
    const unsigned char* window_ = nullptr;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t bufferCapacity_ = 0;
    size_t windowSize_ = 0;
    uint64_t windowStart_ = 0;
};

// Walks the records that lie whole in a reader's window with its place held
// in locals, which the compiler can keep in registers: a sheet is tens of
// thousands of records, and with the place kept in the reader each record
// waited on the store of the one before. A record across the window's end
// is asked of the reader.
// Whoever uses the reader meanwhile brackets that use with Release and
// Resume, which hand the place back and take it again.
class ExcelRecordCursor {
  public:
    explicit ExcelRecordCursor(ExcelRecordReader& reader) : reader_(reader) { Resume(); }
    ExcelRecordCursor(const ExcelRecordCursor&) = delete;
    ExcelRecordCursor& operator=(const ExcelRecordCursor&) = delete;

    bool Next(ExcelRecord& record) {
        const size_t left = static_cast<size_t>(end_ - at_);
        if (left >= 4 && left - 4 >= LoadU16(at_ + 2)) {
            record.type = LoadU16(at_);
            record.size = LoadU16(at_ + 2);
            record.offset = start_ + static_cast<uint64_t>(at_ - window_);
            record.data = at_ + 4;
            at_ += 4 + record.size;
            return true;
        }
        // Read into a record of its own, so that `record` (whose address is
        // never taken) can stay in registers.
        Release();
        ExcelRecord next;
        const bool more = reader_.Next(next);
        record = next;
        Resume();
        return more;
    }
    void Release() { reader_.position_ = start_ + static_cast<uint64_t>(at_ - window_); }
    void Resume() {
        const ExcelRecordReader& r = reader_;
        if (r.position_ >= r.windowStart_ && r.position_ - r.windowStart_ <= r.windowSize_) {
            window_ = r.window_;
            start_ = r.windowStart_;
            at_ = window_ + (r.position_ - start_);
            end_ = window_ + r.windowSize_;
        } else {  // nothing to walk here: the place is kept as it is
            window_ = at_ = end_ = nullptr;
            start_ = r.position_;
        }
    }

  private:
    ExcelRecordReader& reader_;
    const unsigned char* window_ = nullptr;
    const unsigned char* at_ = nullptr;
    const unsigned char* end_ = nullptr;
    uint64_t start_ = 0;
};

}  // namespace querna
