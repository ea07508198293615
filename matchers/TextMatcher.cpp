#include "matchers/TextMatcher.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace querna {

namespace {

// Where the characters of the streamed text begin. A byte below 0x40 is
// always a character of its own (the trail bytes of the code page are 0x40
// and above), so a position is judged by reading forward from the nearest
// such byte before it, a lead byte taking the byte after it along. Reading
// resumes from the last position known to begin a character, so however many
// candidates a block holds it is read about twice at most; that position is
// carried from block to block, as the bytes that decide may lie in a block
// already passed.
class CharacterStarts final : public PhraseAcceptor {
  public:
    explicit CharacterStarts(const std::array<bool, 256>& leadBytes) : lead_(leadBytes) {}

    // Whether data[at] begins a character. Questions about one block come in
    // increasing order of `at`.
    bool At(const unsigned char* data, size_t at) {
        known_ = NextStart(data, at);
        return known_ == at;
    }

    // Occurrences in the block `data` count where a character begins.
    void SetBlock(const unsigned char* data) { block_ = data; }
    bool Accept(size_t at) override { return At(block_, at); }

    // data[from, ...) is about to move to the front of the buffer.
    void Shift(const unsigned char* data, size_t from) { known_ = NextStart(data, from) - from; }

  private:
    // The first position at or after `at` that begins a character: `at`
    // itself, or the one after it when `at` is the second byte of a pair.
    size_t NextStart(const unsigned char* data, size_t at) const {
        if (at < known_) return known_;
        size_t i = at;
        while (i > known_ && data[i - 1] >= 0x40) --i;
        while (i < at) i += lead_[data[i]] ? 2 : 1;
        return i;
    }

    const std::array<bool, 256>& lead_;
    const unsigned char* block_ = nullptr;
    size_t known_ = 0;  // begins a character; the start of the file does
};

}  // namespace

TextMatcher::TextMatcher(FileSystem& fs, TextRules& rules, size_t blockSize, ScanLevel level)
    : fs_(fs), blockSize_(blockSize), level_(level) {
    for (size_t byte = 0; byte < leadBytes_.size(); ++byte) {
        leadBytes_[byte] = rules.IsLeadByte(static_cast<unsigned char>(byte));
    }
}

// A line runs up to and including its CR, so an occurrence of the phrase lies
// within one line exactly when no CR stands among its first n - 1 bytes. A
// phrase that holds such a CR can never be found; any other phrase is found
// wherever it occurs in the file. The file is thus streamed in blocks, keeping
// the last n - 1 bytes of each block in front of the next one so that an
// occurrence across a block boundary is seen.
MatchVerdict TextMatcher::Match(const std::string& path, const std::string& phrase) {
    std::unique_ptr<ReadableFile> file = fs_.OpenExclusive(path);
    if (!file) return MatchVerdict::Unreadable;
    const size_t n = phrase.size();
    if (n == 0 || std::memchr(phrase.data(), '\r', n - 1) != nullptr) return MatchVerdict::NotFound;

    const PhraseScan scan(phrase, level_);
    const bool atCharacterStart = leadBytes_[static_cast<unsigned char>(phrase[0])];
    CharacterStarts starts(leadBytes_);
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
        if (read <= 0) return MatchVerdict::NotFound;
        const size_t filled = carried + static_cast<size_t>(read);
        if (atCharacterStart) {
            starts.SetBlock(buffer);
            if (scan.Find(buffer, filled, 0, starts) != std::string_view::npos) {
                return MatchVerdict::Found;
            }
        } else if (scan.Find(buffer, filled) != std::string_view::npos) {
            return MatchVerdict::Found;
        }
        carried = std::min(keep, filled);
        if (atCharacterStart) starts.Shift(buffer, filled - carried);
        std::memmove(buffer, buffer + filled - carried, carried);
    }
}

}  // namespace querna
