// Standard output of querna-find.exe: written straight to the handle through
// one large buffer. The C runtime takes a character device for a terminal and
// writes every row by itself, which costs more than the search under Wine.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace querna::cli {

// Bytes gathered before a write is forced.
constexpr size_t kConsoleBufferSize = size_t{1} << 20;
// The longest that written bytes wait in the buffer while the search runs.
constexpr uint64_t kFlushIntervalMs = 200;

class ConsoleOutput {
  public:
    // Milliseconds from any fixed start; GetTickCount64 unless a test gives
    // its own.
    using Clock = std::function<uint64_t()>;

    explicit ConsoleOutput(HANDLE handle, size_t capacity = kConsoleBufferSize,
                           Clock clock = nullptr);
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Adds `text` to the buffer, writing the buffer out when it is full or
    // when its oldest byte has waited kFlushIntervalMs. After a failed write
    // everything is dropped.
    void Write(std::string_view text);
    // Writes the buffer out if its oldest byte has waited kFlushIntervalMs.
    void FlushIfDue();
    // Writes everything out now; false once any write has failed.
    bool Flush();

    bool Failed() const { return failed_; }
    // The system's error code of the failed write.
    DWORD ErrorCode() const { return error_; }

  private:
    bool WriteOut(const char* data, size_t size);

    HANDLE handle_;
    std::string buffer_;
    size_t capacity_;
    Clock clock_;
    uint64_t oldestPendingAt_ = 0;
    bool failed_ = false;
    DWORD error_ = 0;
};

// The message for a failed write to standard output, with the system's text
// for `code`.
std::string WriteFailureText(DWORD code);

}  // namespace querna::cli
