// Writing a text file from scratch: create or replace it, write bytes, close.
// Failures come back as system error codes (GetLastError values); turning
// them into the user's message is the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace querna {

// A file open for writing. It is kept only when Close succeeds: released
// without Close, or after a failed Close, it is closed and removed, so that a
// write that failed half-way leaves no half-written file behind.
class OutputFile {
  public:
    virtual ~OutputFile() = default;
    // Writes `bytes` at the current end. Returns 0 or the system error code;
    // `written` receives the count of bytes actually stored, which may fall
    // short of the size without an error code (a full disk).
    virtual uint32_t Write(std::string_view bytes, size_t& written) = 0;
    // Closes the file; 0 or the system error code. The file counts as closed
    // afterwards either way.
    virtual uint32_t Close() = 0;
};

class TextFileWriter {
  public:
    virtual ~TextFileWriter() = default;
    // Creates `path` for writing, replacing and emptying an existing file;
    // other programs may read it meanwhile. The name is used unchanged. Null
    // when it cannot be created, with the system error code in `error`; a
    // name that reaches a device rather than a file is refused that way too.
    virtual std::unique_ptr<OutputFile> Create(const std::string& path, uint32_t& error) = 0;
};

}  // namespace querna
