// Follows [MS-DOC] "Word (.doc) Binary File Format": the Fib (2.5.1) at the
// start of the WordDocument stream, the Clx with its piece table (2.9.38,
// 2.8.35) in the table stream, and the text retrieval of section 2.4.1.
#include "documents/WordBinaryText.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"
#include "documents/UnitBuilder.h"
#include "documents/WordParagraphs.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define QUERNA_WORD_SSE2 1
#else
#define QUERNA_WORD_SSE2 0
#endif

namespace querna {

namespace {

constexpr uint16_t kWordIdent = 0xA5EC;
constexpr uint16_t kWord97Fib = 0x00C1;
constexpr uint16_t kFlagEncrypted = 0x0100;
constexpr uint16_t kFlagTableStream1 = 0x0200;
// Index of fcClx among the 64-bit fc/lcb pairs of FibRgFcLcb97.
constexpr size_t kClxPair = 33;
// Index of fcPlcfBtePapx, the paragraphs' properties.
constexpr size_t kPapxPair = 13;
// Pieces are read this much at a time: large enough that the stream reads
// them straight from the file rather than through its blocks.
constexpr size_t kReadChunk = 64 * 1024;

struct Fib {
    bool tableStream1 = false;
    uint32_t ccpText = 0;
    uint32_t fcClx = 0;
    uint32_t lcbClx = 0;
    uint32_t fcPlcfBtePapx = 0;
    uint32_t lcbPlcfBtePapx = 0;
};

struct Piece {
    uint32_t cpStart, cpEnd;
    uint32_t fc;
    bool compressed;
};

// Old Word versions share the WordDocument stream name but not its layout:
// Word 6 and 95 have an nFib below Word 97's; the identifier alone does not
// tell them apart.
Fib ReadFib(ByteSource& document) {
    const uint64_t available = std::min<uint64_t>(document.Size(), 2048);
    const std::vector<unsigned char> bytes = ReadBlock(document, 0, available, available);
    FieldReader r(bytes);
    const uint16_t ident = r.U16();
    const uint16_t nFib = r.U16();
    if (ident != kWordIdent) {
        // Word for Windows 1 and 2 and Word 6 and 95 used other identifiers;
        // the Asian editions of Word 6 and 95 had identifiers of their own.
        for (uint16_t old : {0xA59B, 0xA5DB, 0xA5DC, 0xA697, 0xA699})
            if (ident == old) throw DocumentError(DocumentFault::OldFormat);
        ThrowDamaged();
    }
    if (nFib < kWord97Fib) throw DocumentError(DocumentFault::OldFormat);
    r.Seek(10);
    const uint16_t flags = r.U16();
    if (flags & kFlagEncrypted) throw DocumentError(DocumentFault::Encrypted);

    Fib fib;
    fib.tableStream1 = (flags & kFlagTableStream1) != 0;
    r.Seek(32);
    const uint16_t csw = r.U16();
    r.Skip(size_t{csw} * 2);
    const uint16_t cslw = r.U16();
    if (cslw < 4) ThrowDamaged();
    const size_t rgLw = r.Position();
    r.Skip(size_t{cslw} * 4);
    const uint16_t cbRgFcLcb = r.U16();
    if (cbRgFcLcb <= kClxPair) ThrowDamaged();
    const size_t rgFcLcb = r.Position();
    r.Seek(rgLw + 12);
    fib.ccpText = r.U32();
    r.Seek(rgFcLcb + kClxPair * 8);
    fib.fcClx = r.U32();
    fib.lcbClx = r.U32();
    r.Seek(rgFcLcb + kPapxPair * 8);
    fib.fcPlcfBtePapx = r.U32();
    fib.lcbPlcfBtePapx = r.U32();
    return fib;
}

std::vector<Piece> ReadPieceTable(ByteSource& table, const Fib& fib) {
    const std::vector<unsigned char> clx = ReadBlock(table, fib.fcClx, fib.lcbClx, kMaxClxSize);
    FieldReader r(clx);
    // Prc entries (clxt 1) carry formatting only; the Pcdt (clxt 2) follows.
    while (true) {
        const uint8_t clxt = r.U8();
        if (clxt == 1) {
            r.Skip(r.U16());
        } else if (clxt == 2) {
            break;
        } else {
            ThrowDamaged();
        }
    }
    const uint32_t lcb = r.U32();
    if (lcb < 4 || lcb > r.Remaining() || (lcb - 4) % 12 != 0) ThrowDamaged();
    const size_t count = (lcb - 4) / 12;
    const unsigned char* cps = r.Bytes(4 * (count + 1));
    const unsigned char* pcds = r.Bytes(8 * count);
    std::vector<Piece> pieces;
    pieces.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint32_t start = LoadU32(cps + 4 * i), end = LoadU32(cps + 4 * (i + 1));
        if (end < start) ThrowDamaged();
        const uint32_t fc = LoadU32(pcds + 8 * i + 2);
        pieces.push_back({start, end, fc & 0x3FFFFFFF, (fc & 0x40000000) != 0});
    }
    return pieces;
}

// 8-bit pieces hold the low byte of the character, except for these bytes,
// which stand for the characters cp1252 puts there.
char16_t DecompressedChar(unsigned char b) {
    static const char16_t k80To9F[32] = {
        0x80,   0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x8E,   0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x9E,   0x0178};
    return (b >= 0x80 && b <= 0x9F) ? k80To9F[b - 0x80] : static_cast<char16_t>(b);
}

// The first character below U+0020 at or after `from`; `count` when none.
// Marks are a few in a paragraph of text: the characters are passed over
// eight a step where the processor has SSE2 (every x86-64 one).
size_t NextControl(const char16_t* chars, size_t from, size_t count) {
    size_t i = from;
#if QUERNA_WORD_SSE2
    const __m128i last = _mm_set1_epi16(0x1F);
    for (; i + 8 <= count; i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + i));
        const __m128i control = _mm_cmpeq_epi16(_mm_subs_epu16(c, last), _mm_setzero_si128());
        if (_mm_movemask_epi8(control) != 0) break;
    }
#endif
    while (i < count && chars[i] >= 0x20) ++i;
    return i;
}

// Splits the character stream into paragraphs and cells and leaves out what
// Word's find does not see.
class WordUnits {
  public:
    WordUnits(TextUnitSink& sink, const WordParagraphRoles& roles) : sink_(sink), roles_(roles) {}

    // True once the sink asked to stop, as the sink says it. `fc`: where the
    // character is stored in the WordDocument stream.
    bool Put(char16_t c, uint64_t fc) {
        switch (c) {
            case 0x13:  // field begin: its code follows
                fieldInCode_.push_back(true);
                ++codeDepth_;
                return false;
            case 0x14:  // field separator: its result follows
                if (!fieldInCode_.empty() && fieldInCode_.back()) {
                    fieldInCode_.back() = false;
                    --codeDepth_;
                }
                return false;
            case 0x15:  // field end
                if (!fieldInCode_.empty()) {
                    if (fieldInCode_.back()) --codeDepth_;
                    fieldInCode_.pop_back();
                }
                return false;
            case 0x0D:    // paragraph mark
            case 0x07: {  // cell or row end mark
                const bool stopped = EndParagraph(c, roles_.RoleAt(fc), unit_);
                unit_.clear();
                return stopped;
            }
            case 0x1F:  // optional hyphen: invisible to find
                return false;
            default:
                if (codeDepth_ == 0) AppendToUnit(unit_, c);
                return false;
        }
    }

    // Puts `count` characters stored from `fc` on, `width` bytes each: runs
    // of plain characters are appended whole, the marks among them go
    // through Put.
    bool PutRun(const char16_t* chars, size_t count, uint64_t fc, unsigned width) {
        size_t plain = 0;
        for (size_t i = NextControl(chars, 0, count); i < count;
             i = NextControl(chars, i + 1, count)) {
            if (!((kMarks >> chars[i]) & 1)) continue;
            const uint64_t at = fc + uint64_t{i} * width;
            bool stopped;
            if ((chars[i] == 0x0D || chars[i] == 0x07) && unit_.empty() && codeDepth_ == 0) {
                // A paragraph that starts and ends within the run goes to
                // the sink where it stands, with no copy into the unit.
                const std::u16string_view text(chars + plain, i - plain);
                CheckUnitLength(text.size());
                stopped = EndParagraph(chars[i], roles_.RoleAt(at), text);
            } else {
                Append(chars + plain, i - plain);
                stopped = Put(chars[i], at);
            }
            if (stopped) return true;
            plain = i + 1;
        }
        Append(chars + plain, count - plain);
        return false;
    }

    // Hands on the unit built so far (text after the last mark, which only
    // a damaged document has, as a place of its own); true once the sink
    // asked to stop.
    bool Flush() {
        if (unit_.empty()) return false;
        place_.paragraph = places_ + 1;
        const bool stopped = sink_.Unit(unit_, place_);
        unit_.clear();
        return stopped;
    }

  private:
    // A paragraph outside tables is a place of its own, empty ones included;
    // the paragraphs of one table cell share its place, which the cell mark
    // closes; a row's end mark is no place. `text`: the paragraph's.
    bool EndParagraph(char16_t mark, ParagraphRole role, std::u16string_view text) {
        if (role == ParagraphRole::Body) {
            ++places_;
            cellOpen_ = false;
        } else if (role == ParagraphRole::InCell) {
            if (!cellOpen_) ++places_;
            cellOpen_ = mark != 0x07;
        }
        if (text.empty()) return false;
        place_.paragraph = std::max<uint32_t>(places_, 1);
        return sink_.Unit(text, place_);
    }

    // The characters below U+0020 that Put treats otherwise than as text.
    static constexpr uint32_t kMarks =
        (1u << 0x07) | (1u << 0x0D) | (1u << 0x13) | (1u << 0x14) | (1u << 0x15) | (1u << 0x1F);

    void Append(const char16_t* chars, size_t count) {
        if (codeDepth_ == 0) AppendToUnit(unit_, std::u16string_view(chars, count));
    }

    TextUnitSink& sink_;
    const WordParagraphRoles& roles_;
    std::u16string unit_;
    std::vector<bool> fieldInCode_;
    size_t codeDepth_ = 0;
    UnitPlace place_;
    uint32_t places_ = 0;  // the places ended so far
    bool cellOpen_ = false;
};

// What reading the pieces reuses from one piece to the next.
// Each read fills them before they are used: they are allocated without the
// fill a vector or string makes, a pass over every character of a document.
struct PieceBuffers {
    unsigned char* Bytes(size_t count) { return Reserve(bytes, byteCount, count); }
    char16_t* Chars(size_t count) { return Reserve(chars, charCount, count); }

  private:
    template <typename T>
    static T* Reserve(std::unique_ptr<T[]>& buffer, size_t& capacity, size_t count) {
        if (count > capacity) {
            buffer.reset(new T[count]);
            capacity = count;
        }
        return buffer.get();
    }

    std::unique_ptr<unsigned char[]> bytes;
    size_t byteCount = 0;
    std::unique_ptr<char16_t[]> chars;
    size_t charCount = 0;
};

// Feeds one piece's characters, as far as the main document reaches; true
// once the sink asked to stop.
bool ReadPiece(ByteSource& document, const Piece& piece, uint32_t ccpText, PieceBuffers& buffers,
               WordUnits& units) {
    const uint32_t count = std::min(piece.cpEnd, ccpText) - piece.cpStart;
    const unsigned width = piece.compressed ? 1 : 2;
    const uint64_t offset = piece.compressed ? piece.fc / 2 : piece.fc;
    const uint64_t bytes = static_cast<uint64_t>(count) * width;
    if (offset > document.Size() || bytes > document.Size() - offset) ThrowDamaged();
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(bytes, kReadChunk));
    // A 16-bit piece is stored as the processor holds its characters when
    // that is little-endian: it is read straight into the characters, with
    // no pass to convert it.
    const bool direct = !piece.compressed && std::endian::native == std::endian::little;
    unsigned char* buffer = direct ? nullptr : buffers.Bytes(chunk);
    char16_t* chars = buffers.Chars(chunk / width);
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(bytes - done, chunk));
        const size_t length = n / width;
        if (direct) {
            ReadExactly(document, offset + done, reinterpret_cast<unsigned char*>(chars), n);
        } else {
            ReadExactly(document, offset + done, buffer, n);
            if (piece.compressed) {
                for (size_t i = 0; i < length; ++i) chars[i] = DecompressedChar(buffer[i]);
            } else {
                for (size_t i = 0; i < length; ++i) chars[i] = LoadU16(&buffer[2 * i]);
            }
        }
        const bool stopped = units.PutRun(chars, length, offset + done, width);
        if (stopped) return true;
        done += n;
    }
    return false;
}

}  // namespace

void ReadWordBinaryText(CompoundStorage& storage, TextUnitSink& sink) {
    const std::unique_ptr<ByteSource> document = storage.OpenStream("WordDocument");
    if (!document) ThrowDamaged();
    const Fib fib = ReadFib(*document);
    const std::unique_ptr<ByteSource> table =
        storage.OpenStream(fib.tableStream1 ? "1Table" : "0Table");
    if (!table) ThrowDamaged();
    const std::vector<Piece> pieces = ReadPieceTable(*table, fib);
    // Pieces of a real document never share text: all of them together fit
    // in the stream. Without this check a few bytes of text could be
    // repeated billions of times.
    uint64_t total = 0;
    for (const Piece& piece : pieces) {
        if (piece.cpStart >= fib.ccpText) continue;
        total += uint64_t{std::min(piece.cpEnd, fib.ccpText) - piece.cpStart} *
                 (piece.compressed ? 1 : 2);
    }
    if (total > document->Size()) ThrowDamaged();
    const WordParagraphRoles roles =
        WordParagraphRoles::Read(*document, *table, fib.fcPlcfBtePapx, fib.lcbPlcfBtePapx);
    WordUnits units(sink, roles);
    PieceBuffers buffers;
    for (const Piece& piece : pieces) {
        if (piece.cpStart >= fib.ccpText) continue;
        const bool stopped = ReadPiece(*document, piece, fib.ccpText, buffers, units);
        if (stopped) return;
    }
    units.Flush();
}

}  // namespace querna
