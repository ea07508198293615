// Random-access bytes of one document, and how reading a document fails.
// The built-in document readers (used where an Office application's
// automation server is absent) read through ByteSource and nothing else.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace querna {

// Why a document could not be read.
enum class DocumentFault {
    Encrypted,  // protected by a password
    Damaged,    // not a well-formed container or document of its kind
    OldFormat,  // an older format this program does not read (Word 6/95, BIFF5, ...)
    TooLarge,   // a part inflates or grows past what a reader allows
};

// The reason as the user reads it (GBK), e.g. "文档已加密".
inline const char* DocumentFaultText(DocumentFault fault) {
    switch (fault) {
        case DocumentFault::Encrypted:
            return "文档已加密";
        case DocumentFault::Damaged:
            return "文档已损坏";
        case DocumentFault::OldFormat:
            return "不支持的旧格式";
        case DocumentFault::TooLarge:
            return "文档内容过大";
    }
    return "文档已损坏";
}

// Raised by a reader for whatever it cannot read; the matcher that called it
// turns it into the message the user sees, naming the file.
class DocumentError : public std::runtime_error {
  public:
    explicit DocumentError(DocumentFault fault)
        : std::runtime_error(DocumentFaultText(fault)), fault_(fault) {}
    DocumentFault Fault() const { return fault_; }

  private:
    DocumentFault fault_;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to `count` bytes at `offset` into `buffer`; returns how many
    // were read (fewer only at the end). Raises DocumentError(Damaged) when
    // the bytes cannot be read.
    virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
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

  private:
    const unsigned char* data_;
    size_t size_;
};

}  // namespace querna
