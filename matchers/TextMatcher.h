// The plain-text matcher: whether a file holds the phrase, byte for byte and
// case-sensitive, within one line (a line ends with, and includes, its CR;
// the bytes after the last CR form a last line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Dialogs.h"
#include "platform/FileSystem.h"

namespace querna {

// The size of the blocks the file is streamed in.
constexpr size_t kTextBlockSize = size_t{1} << 20;

// Streams files through one block buffer, kept from file to file so that a
// search over many small files pays for it once.
class TextMatcher {
public:
    TextMatcher(FileSystem& fs, Dialogs& dialogs, size_t blockSize = kTextBlockSize)
        : fs_(fs), dialogs_(dialogs), blockSize_(blockSize) {}

    // Returns 1 when a line of the file holds the phrase, -1 when none does
    // (also for an empty file, an empty phrase and a failed read), and 0 when
    // the file cannot be opened (opened sharing nothing), after showing
    // "打开文件错误" in the plain message box.
    int32_t Match(const std::string& path, const std::string& phrase);

private:
    FileSystem& fs_;
    Dialogs& dialogs_;
    size_t blockSize_;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t capacity_ = 0;
};

// One file with a matcher of its own.
inline int32_t MatchTextFile(FileSystem& fs, Dialogs& dialogs, const std::string& path,
                             const std::string& phrase, size_t blockSize = kTextBlockSize) {
    return TextMatcher(fs, dialogs, blockSize).Match(path, phrase);
}

}  // namespace querna
