// Giving up a document half-way when the search is stopped. The readers count
// their work as they go (bytes read from the file, bytes inflated, text handed
// on) and ask the stop check once per stride of it, so that one large
// document cannot hold off the Stop button or Ctrl+C, and the asking costs
// nothing beside the reading.
#pragma once

#include <cstdint>

#include "platform/StopCheck.h"

namespace querna {

// Raised out of a reader when the check says stop. ReadDocumentText ends the
// read quietly on it; it is no error, so it derives from no error class.
class ReadStopped {};

class StopPoll {
  public:
    // Work between two questions: a quarter of a megabyte of XML or records
    // takes a few milliseconds to read.
    static constexpr uint64_t kStride = uint64_t{256} << 10;

    // A null check never stops.
    explicit StopPoll(StopCheck* check) : check_(check) {}

    // Counts `bytes` of work done; raises ReadStopped when a stride is full
    // and the check says stop.
    void Advance(uint64_t bytes) {
        if (check_ == nullptr) return;
        done_ += bytes;
        if (done_ < kStride) return;
        done_ = 0;
        if (check_->StopNow()) throw ReadStopped();
    }

  private:
    StopCheck* check_;
    uint64_t done_ = 0;
};

}  // namespace querna
