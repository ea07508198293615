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

    // The first position at or after `at` in the block that begins a
    // character, asked in increasing order as Accept is.
    size_t StartFrom(size_t at) {
        known_ = NextStart(block_, at);
        return known_;
    }

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

// The phrase as the bytes searched for in one file, and where an occurrence
// may begin.
struct EncodedPhrase {
    std::string_view bytes;
    Boundary boundary;
    TextEncoding encoding;  // the file's
};

Boundary BoundaryOf(TextEncoding encoding, bool leadFirst) {
    switch (encoding) {
        case TextEncoding::Gbk:
            return leadFirst ? Boundary::CodePageCharacter : Boundary::Anywhere;
        case TextEncoding::Gb18030:
            return Boundary::Gb18030Character;
        case TextEncoding::Utf8:
            return Boundary::Anywhere;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            break;
    }
    return Boundary::EvenOffset;
}

// Whether a line can hold the phrase at all: a CR ends a line, so one before
// the phrase's last byte keeps it from every line.
bool Searchable(const std::string& phrase) {
    return !phrase.empty() && std::memchr(phrase.data(), '\r', phrase.size() - 1) == nullptr;
}

// The line feeds of the streamed text: the byte 0x0A, or in UTF-16 the code
// unit U+000A starting at an even offset of the file.
class LineFeeds {
  public:
    LineFeeds(TextEncoding encoding, const uint64_t& blockOffset)
        : wide_(encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be),
          bigEndian_(encoding == TextEncoding::Utf16Be),
          blockOffset_(blockOffset) {}

    // Where the first code unit at or after `at` begins.
    size_t Align(size_t at) const { return wide_ ? at + ((blockOffset_ + at) & 1) : at; }

    // The line feeds among the code units that begin in [from, to); the
    // byte after `to` may be read.
    uint64_t Count(const unsigned char* data, size_t from, size_t to) const {
        uint64_t count = 0;
        if (!wide_) {
            for (size_t i = from; i < to; ++i) count += data[i] == '\n';
            return count;
        }
        for (size_t i = Align(from); i < to; i += 2) count += IsFeed(data, i);
        return count;
    }

    // Just after the last line feed that lies wholly in [from, to); `from`
    // when there is none.
    size_t LineStart(const unsigned char* data, size_t from, size_t to) const {
        const size_t width = wide_ ? 2 : 1;
        for (size_t i = to; i >= Align(from) + width; i -= width) {
            if (IsFeed(data, i - width)) return i;
        }
        return from;
    }

    // The first line feed that lies wholly in [from, to); `to` when there is
    // none.
    size_t LineEnd(const unsigned char* data, size_t from, size_t to) const {
        const size_t width = wide_ ? 2 : 1;
        for (size_t i = Align(from); i + width <= to; i += width) {
            if (IsFeed(data, i)) return i;
        }
        return to;
    }

  private:
    bool IsFeed(const unsigned char* data, size_t at) const {
        if (!wide_) return data[at] == '\n';
        return data[at + (bigEndian_ ? 1 : 0)] == '\n' && data[at + (bigEndian_ ? 0 : 1)] == 0;
    }

    bool wide_, bigEndian_;
    const uint64_t& blockOffset_;
};

// Reports the hits of one file as its blocks go by. A hit is reported once
// the context after it is in the buffer; the context before it is kept there
// when the buffer moves on. Past the budget of kept hits, hits are counted
// and nothing else is done for them.
class TextHitScan {
  public:
    // `decoder` reads the file's encoding where it is a code page; the hits'
    // text is written in `output`.
    TextHitScan(const EncodedPhrase& phrase, const std::array<bool, 256>& leadBytes,
                CodePage& decoder, CodePage& output, ScanLevel level, HitLimit limit,
                FileHits& hits)
        : phrase_(phrase),
          scan_(phrase.bytes, level),
          starts_(leadBytes, phrase.boundary == Boundary::Gb18030Character),
          contextStarts_(leadBytes, phrase.boundary == Boundary::Gb18030Character),
          evenOffsets_(blockOffset_),
          feeds_(phrase.encoding, blockOffset_),
          decoder_(decoder),
          output_(output),
          limit_(limit),
          hits_(hits) {
        if (phrase.boundary == Boundary::EvenOffset) accept_ = &evenOffsets_;
        if (phrase.boundary == Boundary::CodePageCharacter ||
            phrase.boundary == Boundary::Gb18030Character) {
            accept_ = &starts_;
        }
    }

    // Reports the hits that begin before `stop` in buffer[0, filled); true
    // once the limit is reached.
    bool Report(const unsigned char* buffer, size_t filled, size_t stop) {
        starts_.SetBlock(buffer);
        contextStarts_.SetBlock(buffer);
        const size_t n = phrase_.bytes.size();
        for (;;) {
            const size_t at = accept_ ? scan_.Find(buffer, filled, from_, *accept_)
                                      : scan_.Find(buffer, filled, from_);
            if (at == std::string_view::npos || at >= stop) break;
            if (hits_.Keeps()) {
                Add(buffer, filled, at);
            } else {
                ++hits_.more;
            }
            from_ = at + n;
            if (limit_.Reached(hits_.Count())) return true;
        }
        from_ = std::max(from_, stop);
        return false;
    }

    // buffer[shift, ...) is about to move to the front of the buffer.
    void Shift(const unsigned char* buffer, size_t shift) {
        // Lines are counted for the hits kept only.
        if (counted_ < shift && hits_.Keeps()) line_ += feeds_.Count(buffer, counted_, shift);
        counted_ = std::max(counted_, shift) - shift;
        from_ -= shift;
        starts_.Shift(buffer, shift);
        contextStarts_.Shift(buffer, shift);
        blockOffset_ += shift;
    }

  private:
    void Add(const unsigned char* buffer, size_t filled, size_t at) {
        const size_t n = phrase_.bytes.size();
        line_ += feeds_.Count(buffer, counted_, at);
        counted_ = at;
        const size_t begin = feeds_.LineStart(
            buffer, CharacterStart(buffer, at > kContextBytes ? at - kContextBytes : 0, at), at);
        const size_t end = feeds_.LineEnd(buffer, at + n, std::min(filled, at + n + kContextBytes));
        std::u16string before = Decode(buffer + begin, at - begin);
        // The byte-order mark is no text of the first line.
        if (blockOffset_ + begin == 0 && !before.empty() && before[0] == 0xFEFF) before.erase(0, 1);
        std::u16string after = Decode(buffer + at + n, end - at - n);
        // The CR of a CR LF ends the line as its LF does.
        if (!after.empty() && after.back() == u'\r') after.pop_back();
        const std::u16string context = HitContext(before, Decode(buffer + at, n), after);
        hits_.Keep({LineLocation(line_), output_.FromUnicode(context)});
    }

    // The first position at or after `at` (and not past `limit`) where a
    // character of the file's encoding begins.
    size_t CharacterStart(const unsigned char* buffer, size_t at, size_t limit) {
        switch (phrase_.encoding) {
            case TextEncoding::Gbk:
            case TextEncoding::Gb18030:
                return std::min(contextStarts_.StartFrom(at), limit);
            case TextEncoding::Utf8:
                while (at < limit && (buffer[at] & 0xC0) == 0x80) ++at;
                return at;
            case TextEncoding::Utf16Le:
            case TextEncoding::Utf16Be:
                break;
        }
        return std::min(feeds_.Align(at), limit);
    }

    std::u16string Decode(const unsigned char* data, size_t size) {
        return DecodeTextBytes({reinterpret_cast<const char*>(data), size}, phrase_.encoding,
                               decoder_);
    }

    const EncodedPhrase& phrase_;
    PhraseScan scan_;
    uint64_t blockOffset_ = 0;  // the file offset of the buffer's first byte
    CharacterStarts starts_, contextStarts_;
    EvenOffsets evenOffsets_;
    LineFeeds feeds_;
    PhraseAcceptor* accept_ = nullptr;
    CodePage& decoder_;
    CodePage& output_;
    HitLimit limit_;
    FileHits& hits_;
    size_t from_ = 0;     // where the search goes on
    size_t counted_ = 0;  // the line feeds before it are counted in line_
    uint64_t line_ = 1;
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
    gb18030_.emplace(codePage);
    formsMade_ = false;
}

unsigned char* TextMatcher::Reserve(size_t capacity, size_t keep) {
    if (capacity_ < capacity) {
        auto grown = std::make_unique_for_overwrite<unsigned char[]>(capacity);
        if (keep > 0) std::memcpy(grown.get(), buffer_.get(), keep);
        buffer_ = std::move(grown);
        capacity_ = capacity;
    }
    return buffer_.get();
}

// The forms are made once for a phrase: a search asks about every file with
// the same phrase, and converting it is a call into the system each time.
std::string_view TextMatcher::PhraseIn(const std::string& phrase, TextEncoding encoding) {
    if (encoding == TextEncoding::Gbk) return phrase;
    if (!formsMade_ || formsOf_ != phrase) {
        const std::u16string unicode = codePage_->ToUnicode(phrase);
        forms_[static_cast<size_t>(TextEncoding::Gb18030)] = gb18030_->FromUnicode(unicode);
        for (const TextEncoding e :
             {TextEncoding::Utf8, TextEncoding::Utf16Le, TextEncoding::Utf16Be}) {
            forms_[static_cast<size_t>(e)] = EncodeUnicode(unicode, e);
        }
        formsOf_ = phrase;
        formsMade_ = true;
    }
    return forms_[static_cast<size_t>(encoding)];
}

// A line runs up to and including its CR, so an occurrence of the phrase lies
// within one line exactly when no CR stands among its first n - 1 bytes. A
// phrase that holds such a CR can never be found; any other phrase is found
// wherever it occurs in the file (in UTF-16, UTF-8 and GB18030 the phrase's
// own characters are no CR either). The file is thus streamed in blocks,
// keeping the last n - 1 bytes (n of the phrase as the file's encoding
// writes it, up to three times its bytes in the code page) of each block in
// front of the next one so that an occurrence across a block boundary is
// seen.
MatchVerdict TextMatcher::Match(const std::string& path, const std::string& phrase,
                                StopCheck* stop) {
    std::unique_ptr<ReadableFile> file = fs_.OpenExclusive(path);
    if (!file) return MatchVerdict::Unreadable;
    if (!Searchable(phrase)) return MatchVerdict::NotFound;
    const size_t block = std::max(blockSize_, 2 * phrase.size());
    int64_t read = file->Read(Reserve(block, 0), block);
    if (read <= 0) return MatchVerdict::NotFound;

    const TextEncoding encoding =
        codePage_ == nullptr ? TextEncoding::Gbk
                             : DetectTextEncoding(buffer_.get(), static_cast<size_t>(read));
    const std::string_view encoded = PhraseIn(phrase, encoding);
    if (encoded.empty()) return MatchVerdict::NotFound;
    const Boundary boundary =
        BoundaryOf(encoding, leadBytes_[static_cast<unsigned char>(phrase[0])]);

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
    unsigned char* const buffer = Reserve(keep + block, static_cast<size_t>(read));
    size_t carried = 0;
    for (;;) {
        const size_t filled = carried + static_cast<size_t>(read);
        starts.SetBlock(buffer);
        const size_t at =
            accept ? scan.Find(buffer, filled, 0, *accept) : scan.Find(buffer, filled);
        if (at != std::string_view::npos) return MatchVerdict::Found;
        if (stop != nullptr && stop->StopNow()) return MatchVerdict::NotFound;
        carried = std::min(keep, filled);
        if (accept == &starts) starts.Shift(buffer, filled - carried);
        blockOffset += filled - carried;
        std::memmove(buffer, buffer + filled - carried, carried);
        read = file->Read(buffer + carried, block);
        if (read <= 0) return MatchVerdict::NotFound;
    }
}

MatchVerdict TextMatcher::CollectHits(const std::string& path, const std::string& phrase,
                                      CodePage& codePage, HitLimit limit, FileHits& hits,
                                      StopCheck* stop) {
    std::unique_ptr<ReadableFile> file = fs_.OpenExclusive(path);
    if (!file) return MatchVerdict::Unreadable;
    if (!Searchable(phrase)) return MatchVerdict::NotFound;
    const size_t block = std::max(blockSize_, 2 * phrase.size());
    int64_t read = file->Read(Reserve(block, 0), block);
    if (read <= 0) return MatchVerdict::NotFound;
    const TextEncoding encoding =
        codePage_ == nullptr ? TextEncoding::Gbk
                             : DetectTextEncoding(buffer_.get(), static_cast<size_t>(read));
    const EncodedPhrase encoded{
        PhraseIn(phrase, encoding),
        BoundaryOf(encoding, leadBytes_[static_cast<unsigned char>(phrase[0])]), encoding};
    if (encoded.bytes.empty()) return MatchVerdict::NotFound;
    // A hit with the context after it; and the context before that.
    const size_t tail = encoded.bytes.size() + kContextBytes;
    const size_t carry = kContextBytes + tail;
    unsigned char* const buffer = Reserve(carry + block, static_cast<size_t>(read));
    CodePage& decoder = encoding == TextEncoding::Gb18030 ? *gb18030_ : codePage;
    TextHitScan scan(encoded, leadBytes_, decoder, codePage, level_, limit, hits);
    const uint64_t first = hits.Count();
    size_t filled = static_cast<size_t>(read);
    for (;;) {
        if (scan.Report(buffer, filled, filled > tail ? filled - tail : 0)) break;
        if (stop != nullptr && stop->StopNow()) break;
        const size_t shift = filled > carry ? filled - carry : 0;
        scan.Shift(buffer, shift);
        std::memmove(buffer, buffer + shift, filled - shift);
        filled -= shift;
        read = file->Read(buffer + filled, block);
        if (read <= 0) {
            scan.Report(buffer, filled, filled);
            break;
        }
        filled += static_cast<size_t>(read);
    }
    return hits.Count() > first ? MatchVerdict::Found : MatchVerdict::NotFound;
}

}  // namespace querna
