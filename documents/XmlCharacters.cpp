#include "documents/XmlCharacters.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QUERNA_XML_SSE2 1
#else
#define QUERNA_XML_SSE2 0
#endif

#include "documents/DocumentFaults.h"

namespace querna::xmlchars {

void Damaged() {
    throw DocumentError(DocumentFault::Damaged);
}

void TooLarge() {
    throw DocumentError(DocumentFault::TooLarge);
}

std::string_view QuotedValue(const char*& p, const char* end) {
    SkipSpace(p, end);
    if (p == end || *p++ != '=') Damaged();
    SkipSpace(p, end);
    if (p == end || (*p != '"' && *p != '\'')) Damaged();
    const char quote = *p++;
    const char* close = FindByte(p, end, quote);
    if (close == nullptr) Damaged();
    const std::string_view value(p, static_cast<size_t>(close - p));
    p = close + 1;
    return value;
}

namespace {

struct CharRange {
    uint32_t first, last;
};

// NameStartChar and the further NameChar of XML 1.0 (fifth edition), beyond
// ASCII.
constexpr CharRange kNameStart[] = {
    {0xC0, 0xD6},     {0xD8, 0xF6},     {0xF8, 0x2FF},    {0x370, 0x37D},
    {0x37F, 0x1FFF},  {0x200C, 0x200D}, {0x2070, 0x218F}, {0x2C00, 0x2FEF},
    {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}, {0x10000, 0xEFFFF},
};
constexpr CharRange kNameMore[] = {{0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};

template <size_t N>
bool InRanges(uint32_t c, const CharRange (&ranges)[N]) {
    for (const CharRange& range : ranges) {
        if (c >= range.first && c <= range.last) return true;
    }
    return false;
}

}  // namespace

bool IsXmlChar(uint32_t c) {
    if (c < 0x20) return c == 0x9 || c == 0xA || c == 0xD;
    return c <= 0xD7FF || (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsNameStartBeyondAscii(uint32_t c) {
    return InRanges(c, kNameStart);
}
bool IsNameCharBeyondAscii(uint32_t c) {
    return InRanges(c, kNameStart) || InRanges(c, kNameMore);
}

size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t& c) {
    const unsigned lead = *p;
    size_t length = 1;
    uint32_t least = 0;
    if (lead < 0x80) {
        c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        Damaged();
    }
    const size_t available = std::min<size_t>(length, static_cast<size_t>(end - p));
    for (size_t i = 1; i < available; ++i) {
        if ((p[i] & 0xC0) != 0x80) Damaged();
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (available < length) return 0;
    if (c < least || !IsXmlChar(c)) Damaged();
    return length;
}

char16_t* PutUtf16(char16_t* out, uint32_t c) {
    if (c < 0x10000) {
        *out++ = static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (c >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
    return out;
}

char* PutUtf8(char* out, uint32_t c) {
    auto put = [&out](uint32_t byte) { *out++ = static_cast<char>(byte); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    }
    return out;
}

#if QUERNA_XML_SSE2
namespace {

__m128i Load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
__m128i Is(__m128i bytes, char c) {
    return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c));
}

}  // namespace
#endif

const char* FindByte(const char* p, const char* end, char byte) {
#if QUERNA_XML_SSE2
    for (; end - p >= 16; p += 16) {
        const int mask = _mm_movemask_epi8(Is(Load(p), byte));
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p) {
        if (*p == byte) return p;
    }
    return nullptr;
}

const char* FindTagMark(const char* p, const char* end) {
#if QUERNA_XML_SSE2
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = Load(p);
        const __m128i marks = _mm_or_si128(_mm_or_si128(Is(bytes, '"'), Is(bytes, '\'')),
                                           _mm_or_si128(Is(bytes, '<'), Is(bytes, '>')));
        const int mask = _mm_movemask_epi8(marks);
        if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p) {
        if (*p == '"' || *p == '\'' || *p == '<' || *p == '>') return p;
    }
    return end;
}

size_t PlainAsciiRun(const char* p, const char* end) {
    const char* start = p;
#if QUERNA_XML_SSE2
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = Load(p);
        // As signed bytes, 0x20 to 0x7F are the ones above 0x1F; the three
        // that text treats apart are taken out.
        const __m128i plain = _mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x1F));
        const __m128i apart =
            _mm_or_si128(_mm_or_si128(Is(bytes, '<'), Is(bytes, '>')), Is(bytes, ']'));
        const int mask = _mm_movemask_epi8(_mm_andnot_si128(apart, plain));
        if (mask != 0xFFFF) return static_cast<size_t>(p - start) + __builtin_ctz(~mask);
    }
#endif
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c >= 0x80 || c == '<' || c == '>' || c == ']') break;
    }
    return static_cast<size_t>(p - start);
}

const char* DecodeReference(const char* p, const char* end, std::u16string& out) {
    const char* q = p + 1;
    if (q < end && *q == '#') {
        const bool hex = ++q < end && *q == 'x';
        q += hex ? 1 : 0;
        const char* digits = q;
        uint32_t value = 0;
        for (; q < end && *q != ';'; ++q) {
            const char c = *q;
            uint32_t digit = 16;
            if (c >= '0' && c <= '9') digit = static_cast<uint32_t>(c - '0');
            if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') digit = (c | 0x20) - 'a' + 10u;
            if (digit >= (hex ? 16u : 10u)) Damaged();
            value = std::min<uint32_t>(value * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (q == end) return nullptr;
        if (q == digits || !IsXmlChar(value)) Damaged();
        char16_t units[2];
        out.append(units, PutUtf16(units, value));
        return q + 1;
    }
    const char* name = q;
    while (q < end && *q != ';') {
        const char c = *q++;
        if (!IsNameChar(static_cast<unsigned char>(c)) || c == ':') Damaged();
    }
    if (q == end) return nullptr;
    static constexpr struct {
        std::string_view name;
        char16_t c;
    } kPredefined[] = {{"lt", u'<'}, {"gt", u'>'}, {"amp", u'&'}, {"apos", u'\''}, {"quot", u'"'}};
    const std::string_view entity(name, static_cast<size_t>(q - name));
    for (const auto& predefined : kPredefined) {
        if (entity == predefined.name) {
            out += predefined.c;
            return q + 1;
        }
    }
    Damaged();
}

}  // namespace querna::xmlchars
