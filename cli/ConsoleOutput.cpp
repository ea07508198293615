#include "cli/ConsoleOutput.h"

#include <algorithm>

namespace querna::cli {

ConsoleOutput::ConsoleOutput(HANDLE handle, size_t capacity, Clock clock)
    : handle_(handle), capacity_(std::max<size_t>(capacity, 1)), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return static_cast<uint64_t>(GetTickCount64()); };
    buffer_.reserve(capacity_);
}

void ConsoleOutput::Write(std::string_view text) {
    if (failed_) return;
    if (buffer_.size() + text.size() > capacity_ && !Flush()) return;
    if (text.size() >= capacity_) {
        WriteOut(text.data(), text.size());
        return;
    }
    if (buffer_.empty()) oldestPendingAt_ = clock_();
    buffer_.append(text);
    FlushIfDue();
}

void ConsoleOutput::FlushIfDue() {
    if (!buffer_.empty() && clock_() - oldestPendingAt_ >= kFlushIntervalMs) Flush();
}

bool ConsoleOutput::Flush() {
    if (!buffer_.empty() && !failed_) WriteOut(buffer_.data(), buffer_.size());
    buffer_.clear();
    return !failed_;
}

// A pipe may take less than it was given; the rest is written again.
bool ConsoleOutput::WriteOut(const char* data, size_t size) {
    while (size > 0 && !failed_) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(handle_, data, chunk, &written, nullptr) || written == 0) {
            failed_ = true;
            error_ = GetLastError();
            break;
        }
        data += written;
        size -= written;
    }
    return !failed_;
}

std::string WriteFailureText(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    if (reason.empty()) reason = "error " + std::to_string(code);
    return "querna-find: cannot write the results to standard output: " + reason;
}

}  // namespace querna::cli
