// The characters of XML 1.0 as the XML tokenizer reads them: which code
// points XML allows in text and in names, UTF-8 decoded and written, UTF-16
// written, and the references to characters and predefined entities. What is
// not allowed raises DocumentError(Damaged).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace querna::xmlchars {

// Raise DocumentError(Damaged) and DocumentError(TooLarge).
[[noreturn]] void Damaged();
[[noreturn]] void TooLarge();

// The namespaces bound in every document, to the prefixes xml and xmlns.
inline constexpr std::u16string_view kXmlNamespace = u"http://www.w3.org/XML/1998/namespace";
inline constexpr std::u16string_view kXmlnsNamespace = u"http://www.w3.org/2000/xmlns/";

inline bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Skips white space; whether there was any.
inline bool SkipSpace(const char*& p, const char* end) {
    const char* start = p;
    while (p < end && IsSpace(*p)) ++p;
    return p != start;
}

// The `= "value"` after an attribute's or a declaration's name, either quote
// allowed, white space around the '='; `p` moves past the closing quote.
std::string_view QuotedValue(const char*& p, const char* end);

// Char of XML 1.0: no C0 control but tab and line ends, no surrogate, no
// U+FFFE or U+FFFF.
bool IsXmlChar(uint32_t c);

bool IsNameStartBeyondAscii(uint32_t c);
bool IsNameCharBeyondAscii(uint32_t c);

// ASCII bytes that may start a name (1) or go on with one (2).
inline constexpr std::array<unsigned char, 128> kAsciiName = [] {
    std::array<unsigned char, 128> table{};
    for (unsigned c = 0; c < 128; ++c) {
        const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
        const bool more = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
        table[c] = static_cast<unsigned char>((start ? 1 : 0) | (more ? 2 : 0));
    }
    return table;
}();

// Bytes that go on with a name and are neither the colon nor beyond ASCII.
inline constexpr std::array<bool, 256> kAsciiNameMore = [] {
    std::array<bool, 256> table{};
    for (unsigned c = 0; c < 128; ++c) table[c] = (kAsciiName[c] & 2) != 0 && c != ':';
    return table;
}();

// NameStartChar and NameChar of XML 1.0 (fifth edition); the colon is dealt
// with by the callers, as namespaces ask.
inline bool IsNameStart(uint32_t c) {
    return c < 0x80 ? (kAsciiName[c] & 1) != 0 : IsNameStartBeyondAscii(c);
}
inline bool IsNameChar(uint32_t c) {
    return c < 0x80 ? (kAsciiName[c] & 2) != 0 : IsNameCharBeyondAscii(c);
}

// Decodes the UTF-8 character at `p`: its length, or 0 when `end` cuts it.
// Raises for malformed UTF-8 (overlong forms and encoded surrogates
// included) and for characters XML does not allow.
size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, uint32_t& c);

// Write `c` and return the end of what they wrote.
char16_t* PutUtf16(char16_t* out, uint32_t c);
char* PutUtf8(char* out, uint32_t c);

// The first byte `byte` in [p, end), or null. Our own, sixteen bytes a step:
// MinGW's C runtime memchr is a byte loop, and the tokenizer looks for '<',
// '&' and quotes in every byte it reads.
const char* FindByte(const char* p, const char* end, char byte);

// The first of '"', '\'', '<' and '>' in [p, end), or `end`: what ends the
// unquoted stretch of a tag.
const char* FindTagMark(const char* p, const char* end);

// How many bytes from `p` (up to `end`) are ASCII characters that text takes
// as they are: 0x20 to 0x7F but '<', '>' and ']'.
size_t PlainAsciiRun(const char* p, const char* end);

// The first byte from `p` (or `end`) that is one of `marks`, below 0x20 or
// beyond ASCII: where a run that can be taken as it is ends.
template <size_t N>
inline const char* FindPlainEnd(const char* p, const char* end, const char (&marks)[N]) {
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i plain = _mm_cmpgt_epi8(bytes, _mm_set1_epi8(0x1F));
        __m128i apart = _mm_setzero_si128();
        for (const char mark : marks) {
            apart = _mm_or_si128(apart, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(mark)));
        }
        const int mask = _mm_movemask_epi8(_mm_andnot_si128(apart, plain));
        if (mask != 0xFFFF) return p + __builtin_ctz(~static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c >= 0x80) break;
        bool marked = false;
        for (const char mark : marks) marked = marked || *p == mark;
        if (marked) break;
    }
    return p;
}

// The first byte from `p` (or `end`) that ends an attribute value quoted by
// `quote` or that its value cannot take as it is: the quote, '<', '&', and
// whatever is below 0x20 or beyond ASCII. So one look finds the end of a
// value and tells whether it needs decoding.
inline const char* FindValueMark(const char* p, const char* end, char quote) {
    const char marks[] = {'<', '&', quote};
    return FindPlainEnd(p, end, marks);
}

// The first byte from `p` (or `end`) that text cannot take as it is: '<',
// '&', '>', ']', and whatever is below 0x20 or beyond ASCII. When it is '<',
// the text before it is plain ASCII, to be widened and nothing more.
inline const char* FindTextMark(const char* p, const char* end) {
    static constexpr char kMarks[] = {'<', '&', '>', ']'};
    return FindPlainEnd(p, end, kMarks);
}

// Decodes the entity or character reference at `p` ("&...;") into `out`;
// returns what follows it, or null when `end` comes first. Raises for any
// entity but the five predefined ones (none can be declared) and for a
// reference to a character XML does not allow.
const char* DecodeReference(const char* p, const char* end, std::u16string& out);

}  // namespace querna::xmlchars
