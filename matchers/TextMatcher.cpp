#include "matchers/TextMatcher.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

namespace querna {

namespace {

// Boyer-Moore-Horspool over one buffer: the position of the first occurrence
// of the needle, or npos. The skip table is built once per file.
class PhraseSearcher {
public:
    explicit PhraseSearcher(std::string_view needle) : needle_(needle) {
        skip_.fill(needle.size());
        for (size_t i = 0; i + 1 < needle.size(); ++i) {
            skip_[static_cast<unsigned char>(needle[i])] = needle.size() - 1 - i;
        }
    }

    size_t Find(const unsigned char* data, size_t size) const {
        const size_t n = needle_.size();
        if (n == 1) {
            const void* hit = std::memchr(data, static_cast<unsigned char>(needle_[0]), size);
            return hit ? static_cast<const unsigned char*>(hit) - data : std::string_view::npos;
        }
        const auto last = static_cast<unsigned char>(needle_[n - 1]);
        for (size_t pos = 0; pos + n <= size;) {
            const unsigned char tail = data[pos + n - 1];
            if (tail == last && std::memcmp(data + pos, needle_.data(), n - 1) == 0) return pos;
            pos += skip_[tail];
        }
        return std::string_view::npos;
    }

private:
    std::string_view needle_;
    std::array<size_t, 256> skip_{};
};

}  // namespace

// A line runs up to and including its CR, so an occurrence of the phrase lies
// within one line exactly when no CR stands among its first n - 1 bytes. A
// phrase that holds such a CR can never be found; any other phrase is found
// wherever it occurs in the file. The file is thus streamed in blocks, keeping
// the last n - 1 bytes of each block in front of the next one so that an
// occurrence across a block boundary is seen.
int32_t TextMatcher::Match(const std::string& path, const std::string& phrase) {
    std::unique_ptr<ReadableFile> file = fs_.OpenExclusive(path);
    if (!file) {
        dialogs_.ShowPlainMessage("打开文件错误");
        return 0;
    }
    const size_t n = phrase.size();
    if (n == 0 || std::memchr(phrase.data(), '\r', n - 1) != nullptr) return -1;

    const PhraseSearcher searcher(phrase);
    const size_t keep = n - 1;
    const size_t block = std::max(blockSize_, n);
    if (capacity_ < keep + block) {
        buffer_ = std::make_unique_for_overwrite<unsigned char[]>(keep + block);
        capacity_ = keep + block;
    }
    unsigned char* const buffer = buffer_.get();
    size_t carried = 0;
    for (;;) {
        const int64_t read = file->Read(buffer + carried, block);
        if (read <= 0) return -1;
        const size_t filled = carried + static_cast<size_t>(read);
        if (searcher.Find(buffer, filled) != std::string_view::npos) return 1;
        carried = std::min(keep, filled);
        std::memmove(buffer, buffer + filled - carried, carried);
    }
}

}  // namespace querna
