#include "matchers/PhraseHits.h"

#include <algorithm>

#include "documents/SpreadsheetShared.h"

namespace querna {

namespace {

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

bool IsLineBreak(char16_t c) {
    return c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// Where the last `count` characters of `text` begin.
size_t TailStart(std::u16string_view text, size_t count) {
    size_t i = text.size();
    for (size_t n = 0; i > 0 && n < count; ++n) {
        --i;
        if (i > 0 && IsLowSurrogate(text[i]) && IsHighSurrogate(text[i - 1])) --i;
    }
    return i;
}

// Where the first `count` characters of `text` end.
size_t HeadEnd(std::u16string_view text, size_t count) {
    size_t i = 0;
    for (size_t n = 0; i < text.size() && n < count; ++n) {
        const bool pair =
            IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        i += pair ? 2 : 1;
    }
    return i;
}

// UTF-16 units enough for kContextCharacters characters, pairs included.
constexpr size_t kContextUnits = 2 * kContextCharacters + 2;

// The length of the valid UTF-8 sequence at data[0, size), or 0.
size_t Utf8Length(const unsigned char* data, size_t size, uint32_t& c) {
    const unsigned char lead = data[0];
    size_t length = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (length > size) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((data[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (data[i] & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

std::u16string DecodeUtf8(std::string_view bytes) {
    std::u16string out;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t c = 0;
        const size_t length = Utf8Length(data + i, bytes.size() - i, c);
        if (length == 0) {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

}  // namespace

std::u16string HitContext(std::u16string_view before, std::u16string_view hit,
                          std::u16string_view after) {
    std::u16string out(before.substr(TailStart(before, kContextCharacters)));
    out += u'\x3010';  // 【
    out += hit;
    out += u'\x3011';  // 】
    out += after.substr(0, HeadEnd(after, kContextCharacters));
    for (char16_t& c : out) {
        if (IsLineBreak(c)) c = u' ';
    }
    return out;
}

std::string UnitLocation(DocumentKind kind, const UnitPlace& place, CodePage& codePage) {
    switch (kind) {
        case DocumentKind::Word:
            return "段落 " + std::to_string(place.paragraph);
        case DocumentKind::PowerPoint:
            return "幻灯片 " + std::to_string(place.slide);
        case DocumentKind::Excel:
            break;
    }
    std::u16string cell(place.sheet);
    cell += u'!';
    AppendColumnLetters(cell, place.column, false);
    AppendRowNumber(cell, place.row, false);
    return codePage.FromUnicode(cell);
}

std::string LineLocation(uint64_t line) {
    return "行 " + std::to_string(line);
}

std::u16string DecodeTextBytes(std::string_view bytes, TextEncoding encoding, CodePage& codePage) {
    switch (encoding) {
        case TextEncoding::Gbk:
        case TextEncoding::Gb18030:
            return codePage.ToUnicode(bytes);
        case TextEncoding::Utf8:
            return DecodeUtf8(bytes);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            break;
    }
    const unsigned first = encoding == TextEncoding::Utf16Le ? 0 : 1;
    std::u16string out(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i + first]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1 - first]);
        out[i] = static_cast<char16_t>(low | (high << 8));
    }
    return out;
}

DocumentHitCollector::DocumentHitCollector(DocumentKind kind, CodePage& codePage,
                                           const std::string& phrase, HitLimit limit)
    : kind_(kind),
      codePage_(codePage),
      rule_(kind == DocumentKind::PowerPoint ? std::u16string() : codePage.ToUnicode(phrase),
            kind == DocumentKind::Excel ? WidthRule::Ignored : WidthRule::Significant),
      bytesRule_(codePage, kind == DocumentKind::PowerPoint ? phrase : std::string()),
      limit_(limit) {}

bool DocumentHitCollector::Unit(std::u16string_view text, const UnitPlace& place) {
    return kind_ == DocumentKind::PowerPoint ? CodePageUnit(text, place) : UnicodeUnit(text, place);
}

bool DocumentHitCollector::UnicodeUnit(std::u16string_view text, const UnitPlace& place) {
    if (!rule_.Prepare(text)) return false;
    const size_t n = rule_.Length();
    for (size_t at = rule_.FindNext(0); at != std::string::npos; at = rule_.FindNext(at + n)) {
        const bool reached = Add(place, [&] {
            const size_t from = at > kContextUnits ? at - kContextUnits : 0;
            return HitContext(text.substr(from, at - from), text.substr(at, n),
                              text.substr(at + n, kContextUnits));
        });
        if (reached) return true;
    }
    return false;
}

// PowerPoint's rule compares the unit's code-page bytes, so a hit is a run of
// whole characters of those bytes; its context is read back from the bytes
// around it, from the first character that begins within kContextUnits
// bytes before it (hits come in order, so that walk crosses the unit once)
// to at most kContextUnits bytes after it, cut where a character ends.
bool DocumentHitCollector::CodePageUnit(std::u16string_view text, const UnitPlace& place) {
    if (!bytesRule_.Prepare(text)) return false;
    const std::string_view view = bytesRule_.Bytes();
    const size_t n = bytesRule_.Length();
    CodePageCharacters starts(codePage_.LeadBytes());
    starts.Reset(view);
    CodePageCharacters ends(codePage_.LeadBytes());
    ends.Reset(view);
    for (size_t at = bytesRule_.FindNext(0); at != std::string::npos;
         at = bytesRule_.FindNext(at + n)) {
        const bool reached = Add(place, [&] {
            const size_t want = at > kContextUnits ? at - kContextUnits : 0;
            const size_t from = std::min(starts.StartFrom(want), at);
            size_t to = std::min(at + n + kContextUnits, view.size());
            // A character that the cut would halve is left out whole.
            if (to > at + n && ends.StartFrom(to) > to) --to;
            return HitContext(codePage_.ToUnicode(view.substr(from, at - from)),
                              codePage_.ToUnicode(view.substr(at, n)),
                              codePage_.ToUnicode(view.substr(at + n, to - at - n)));
        });
        if (reached) return true;
    }
    return false;
}

template <typename Context>
bool DocumentHitCollector::Add(const UnitPlace& place, Context context) {
    if (hits_.Keeps()) {
        hits_.Keep({UnitLocation(kind_, place, codePage_), codePage_.FromUnicode(context())});
    } else {
        ++hits_.more;
    }
    return limit_.Reached(hits_.Count());
}

}  // namespace querna
