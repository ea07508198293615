// The common ground of the built-in document readers, used where an Office
// application's automation server is absent: the bytes a reader reads, what it
// hands on, and how it fails.
//
// A reader never writes anything and never reads outside the bytes it is
// given. Whatever it cannot read raises DocumentError with the reason; the
// matcher that called it turns that into the message the user sees, naming
// the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace querna {

// Random-access bytes of one document (a file, or a buffer in tests and
// fuzzing).
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
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override;

private:
    const unsigned char* data_;
    size_t size_;
};

// Why a document could not be read.
enum class DocumentFault {
    Encrypted,  // protected by a password
    Damaged,    // not a well-formed container or document of its kind
    OldFormat,  // an older format this program does not read (Word 6/95, BIFF5, ...)
    TooLarge,   // a part inflates or grows past what a reader allows
};

class DocumentError : public std::runtime_error {
public:
    explicit DocumentError(DocumentFault fault);
    DocumentFault Fault() const { return fault_; }

private:
    DocumentFault fault_;
};

// The reason as the user reads it (GBK), e.g. "文档已加密".
const char* DocumentFaultText(DocumentFault fault);

// Receives the searchable text of a document as units in document order: one
// Word paragraph or table cell, one Excel cell's formula or value, one
// PowerPoint shape's text (its paragraphs joined by CR). A match never spans
// two units. Returning true stops the reading: the reader returns at once.
class TextUnitSink {
public:
    virtual ~TextUnitSink() = default;
    virtual bool Unit(std::u16string_view text) = 0;
};

}  // namespace querna
