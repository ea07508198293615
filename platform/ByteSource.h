// Random-access bytes of one document. The built-in document readers (used
// where an Office application's automation server is absent) read through
// ByteSource and nothing else.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>

namespace querna {

// Raised by a ByteSource whose bytes cannot be read (an I/O error, a file
// cut short under the reader); the document readers report it as damage.
class ReadFailure : public std::runtime_error {
  public:
    ReadFailure() : std::runtime_error("read failed") {}
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to `count` bytes at `offset` into `buffer`; returns how many
    // were read (fewer only at the end). Raises ReadFailure when the bytes
    // cannot be read.
    virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
    // The bytes from `offset` on that the source holds one after another in
    // memory, at most `count` of them, for a reader that can read them where
    // they lie; empty where it holds none so (a file on disk), and ReadAt
    // reads them then. They stay valid while the memory read from does.
    virtual std::span<const unsigned char> View(uint64_t /*offset*/, size_t /*count*/) {
        return {};
    }
};

// A ByteSource over bytes in memory, which must outlive it.
class MemoryByteSource final : public ByteSource {
  public:
    MemoryByteSource(const void* data, size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_) return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        std::memcpy(buffer, data_ + offset, n);
        return n;
    }
    std::span<const unsigned char> View(uint64_t offset, size_t count) override {
        if (offset >= size_) return {};
        return {data_ + offset, static_cast<size_t>(std::min<uint64_t>(count, size_ - offset))};
    }

  private:
    const unsigned char* data_;
    size_t size_;
};

}  // namespace querna
