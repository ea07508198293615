#include "matchers/TextMatcher.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "matchers/TextEncoding.h"

namespace querna {

namespace {

// Where an occurrence of the phrase may begin in a file's bytes.
enum class Boundary {
    Anywhere,           // a phrase of UTF-8, or one that begins with a single byte
    CodePageCharacter,  // where a character of the code page begins
    Gb18030Character,   // the same, four-byte sequences taken whole
    EvenOffset,         // UTF-16: where a code unit begins
};

// Where the characters of the streamed text begin. A byte below 0x40 is
// always a character of its own in the code page (its trail bytes are 0x40
// and above; in GB18030 0x30-0x39 may also be the second and fourth byte of
// a four-byte sequence), so a position is judged by reading forward from the
// nearest such byte before it, a lead byte taking the bytes after it along.
// Reading resumes from the last position known to begin a character, so
// however many candidates a block holds it is read about twice at most; that
// position is carried from block to block, as the bytes that decide may lie
// in a block already passed.
class CharacterStarts final : public PhraseAcceptor {
  public:
    CharacterStarts(const std::array<bool, 256>& leadBytes, bool gb18030)
        : lead_(leadBytes), gb18030_(gb18030) {}

    // Occurrences in the block `data` count where a character begins;
    // questions about one block come in increasing order of position.
    void SetBlock(const unsigned char* data) { block_ = data; }
    bool Accept(size_t at) override {
        known_ = NextStart(block_, at);
        return known_ == at;
    }

    // data[from, ...) is about to move to the front of the buffer.
    void Shift(const unsigned char* data, size_t from) { known_ = NextStart(data, from) - from; }

  private:
    bool AlwaysSingle(unsigned char byte) const {
        return gb18030_ ? byte < 0x30 || (byte > 0x39 && byte < 0x40) : byte < 0x40;
    }

    // The first position at or after `at` that begins a character. Every
    // byte read lies before `at`, or is the byte at `at` itself.
    size_t NextStart(const unsigned char* data, size_t at) const {
        if (at < known_) return known_;
        size_t i = at;
        while (i > known_ && !AlwaysSingle(data[i - 1])) --i;
        while (i < at) {
            if (!lead_[data[i]]) {
                ++i;
            } else if (gb18030_ && data[i + 1] >= 0x30 && data[i + 1] <= 0x39) {
                i += 4;
            } else {
                i += 2;
            }
        }
        return i;
    }

    const std::array<bool, 256>& lead_;
    bool gb18030_;
    const unsigned char* block_ = nullptr;
    size_t known_ = 0;  // begins a character; the start of the file does
};

// UTF-16: an occurrence counts where it starts on a code unit of the file.
class EvenOffsets final : public PhraseAcceptor {
  public:
    explicit EvenOffsets(const uint64_t& blockOffset) : blockOffset_(blockOffset) {}
    bool Accept(size_t at) override { return (blockOffset_ + at) % 2 == 0; }

  private:
    const uint64_t& blockOffset_;
};

}  // namespace

TextMatcher::TextMatcher(FileSystem& fs, TextRules& rules, size_t blockSize, ScanLevel level)
    : fs_(fs), blockSize_(blockSize), level_(level) {
    for (size_t byte = 0; byte < leadBytes_.size(); ++byte) {
        leadBytes_[byte] = rules.IsLeadByte(static_cast<unsigned char>(byte));
    }
}

void TextMatcher::DetectEncodings(CodePage& codePage) {
    codePage_ = &codePage;
}

// A line runs up to and including its CR, so an occurrence of the phrase lies
// within one line exactly when no CR stands among its first n - 1 bytes. A
// phrase that holds such a CR can never be found; any other phrase is found
// wherever it occurs in the file (in UTF-16 and UTF-8 the phrase's own
// characters are no CR either). The file is thus streamed in blocks, keeping
// the last n - 1 bytes of each block in front of the next one so that an
// occurrence across a block boundary is seen.
MatchVerdict TextMatcher::Match(const std::string& path, const std::string& phrase) {
    std::unique_ptr<ReadableFile> file = fs_.OpenExclusive(path);
    if (!file) return MatchVerdict::Unreadable;
    if (phrase.empty() || std::memchr(phrase.data(), '\r', phrase.size() - 1) != nullptr) {
        return MatchVerdict::NotFound;
    }
    // The phrase in any encoding takes at most twice its code-page bytes.
    const size_t block = std::max(blockSize_, 2 * phrase.size());
    const size_t capacity = 2 * phrase.size() + 3 + block;
    if (capacity_ < capacity) {
        buffer_ = std::make_unique_for_overwrite<unsigned char[]>(capacity);
        capacity_ = capacity;
    }
    unsigned char* const buffer = buffer_.get();
    int64_t read = file->Read(buffer, block);
    if (read <= 0) return MatchVerdict::NotFound;

    std::string encoded = phrase;
    Boundary boundary = leadBytes_[static_cast<unsigned char>(phrase[0])]
                            ? Boundary::CodePageCharacter
                            : Boundary::Anywhere;
    if (codePage_ != nullptr) {
        const TextEncoding encoding = DetectTextEncoding(buffer, static_cast<size_t>(read));
        if (encoding == TextEncoding::Gbk) {
            boundary = Boundary::Gb18030Character;
        } else {
            encoded = EncodeUnicode(codePage_->ToUnicode(phrase), encoding);
            boundary = encoding == TextEncoding::Utf8 ? Boundary::Anywhere : Boundary::EvenOffset;
        }
    }
    if (encoded.empty()) return MatchVerdict::NotFound;

    const PhraseScan scan(encoded, level_);
    CharacterStarts starts(leadBytes_, boundary == Boundary::Gb18030Character);
    uint64_t blockOffset = 0;  // the file offset of buffer[0]
    EvenOffsets evenOffsets(blockOffset);
    PhraseAcceptor* accept = &starts;
    if (boundary == Boundary::EvenOffset) accept = &evenOffsets;
    if (boundary == Boundary::Anywhere) accept = nullptr;
    // Character starts are judged from bytes up to the one after a lead
    // byte, so at least the last three bytes go on with the next block.
    const size_t keep = std::max<size_t>(encoded.size() - 1, accept == &starts ? 3 : 0);
    size_t carried = 0;
    for (;;) {
        const size_t filled = carried + static_cast<size_t>(read);
        starts.SetBlock(buffer);
        const size_t at =
            accept ? scan.Find(buffer, filled, 0, *accept) : scan.Find(buffer, filled);
        if (at != std::string_view::npos) return MatchVerdict::Found;
        carried = std::min(keep, filled);
        if (accept == &starts) starts.Shift(buffer, filled - carried);
        blockOffset += filled - carried;
        std::memmove(buffer, buffer + filled - carried, carried);
        read = file->Read(buffer + carried, block);
        if (read <= 0) return MatchVerdict::NotFound;
    }
}

}  // namespace querna
