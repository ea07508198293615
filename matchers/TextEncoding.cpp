#include "matchers/TextEncoding.h"

#include <algorithm>
#include <cstdint>

#include "documents/XmlCharacters.h"

namespace querna {

namespace {

// The length of the UTF-8 sequence at data[0, size): 0 when it is not a
// valid one (overlong forms, surrogates and code points past U+10FFFF
// included), or the bytes left when the sample ends inside it.
size_t Utf8SequenceLength(const unsigned char* data, size_t size) {
    const unsigned char lead = data[0];
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if (i == size) return size;
        const unsigned char byte = data[i];
        if (i == 1 ? (byte < low || byte > high) : (byte < 0x80 || byte > 0xBF)) return 0;
    }
    return length;
}

bool IsUtf8WithHighBytes(const unsigned char* data, size_t size) {
    bool high = false;
    for (size_t i = 0; i < size;) {
        if (data[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t length = Utf8SequenceLength(data + i, size - i);
        if (length == 0) return false;
        high = true;
        i += length;
    }
    return high;
}

// UTF-16 text of the Latin letters, digits and punctuation that most text
// holds has a zero in every other byte: after the character's low byte in
// little-endian order, before it in big-endian.
TextEncoding Utf16ByZeros(const unsigned char* data, size_t size) {
    size_t even = 0, odd = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        even += data[i] == 0;
        odd += data[i + 1] == 0;
    }
    const size_t units = size / 2;
    if (units < 2) return TextEncoding::Gb18030;
    if (odd * 4 >= units && even * 8 <= odd) return TextEncoding::Utf16Le;
    if (even * 4 >= units && odd * 8 <= even) return TextEncoding::Utf16Be;
    return TextEncoding::Gb18030;
}

void PutUtf8(std::string& out, uint32_t c) {
    char bytes[4];
    out.append(bytes, xmlchars::PutUtf8(bytes, c));
}

}  // namespace

TextEncoding DetectTextEncoding(const unsigned char* data, size_t size) {
    size = std::min(size, kEncodingSample);
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        return TextEncoding::Utf8;
    }
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return TextEncoding::Utf16Le;
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return TextEncoding::Utf16Be;
    const TextEncoding byZeros = Utf16ByZeros(data, size);
    if (byZeros != TextEncoding::Gb18030) return byZeros;
    return IsUtf8WithHighBytes(data, size) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

std::string EncodeUnicode(std::u16string_view text, TextEncoding encoding) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
            const auto low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            out += encoding == TextEncoding::Utf16Le ? low : high;
            out += encoding == TextEncoding::Utf16Le ? high : low;
            continue;
        }
        uint32_t c = unit;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        PutUtf8(out, c);
    }
    return out;
}

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEuroSign = 0x20AC;

// The four-byte sequence at data[0, 4) as a character: a supplementary one
// (first byte 90 to E3) as its surrogate pair, any other as U+FFFD.
void PutFourByteCharacter(const unsigned char* data, std::u16string& out) {
    const auto linear = [](unsigned a, unsigned b, unsigned c, unsigned d) {
        return (((a - 0x81) * 10 + (b - 0x30)) * 126 + (c - 0x81)) * 10 + (d - 0x30);
    };
    const bool valid = data[2] >= 0x81 && data[2] <= 0xFE && data[3] >= 0x30 && data[3] <= 0x39;
    const uint32_t c = linear(data[0], data[1], data[2], data[3]);
    const uint32_t first = linear(0x90, 0x30, 0x81, 0x30);  // U+10000
    if (!valid || c < first || c - first > 0xFFFFF) {
        out += kReplacement;
        return;
    }
    const uint32_t offset = c - first;
    out += static_cast<char16_t>(0xD800 + (offset >> 10));
    out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
}

}  // namespace

// Runs of single bytes and two-byte characters go to the code page as they
// are, in one call each; a context or a phrase holds few of the others.
std::u16string Gb18030CodePage::ToUnicode(std::string_view text) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    std::u16string out;
    size_t run = 0;  // where the bytes not yet converted begin
    size_t i = 0;
    const auto putApart = [&](size_t length, auto put) {
        if (i > run) out += codePage_.ToUnicode(text.substr(run, i - run));
        put();
        i = std::min(size, i + length);
        run = i;
    };
    while (i < size) {
        const unsigned char byte = data[i];
        if (byte < 0x80) {
            ++i;
        } else if (byte == 0x80 || byte == 0xFF || i + 1 == size) {
            putApart(1, [&] { out += kReplacement; });
        } else if (data[i + 1] >= 0x30 && data[i + 1] <= 0x39) {
            putApart(4, [&] {
                if (i + 4 <= size) {
                    PutFourByteCharacter(data + i, out);
                } else {
                    out += kReplacement;
                }
            });
        } else if (byte == 0xA2 && data[i + 1] == 0xE3) {
            putApart(2, [&] { out += kEuroSign; });
        } else {
            i += 2;
        }
    }
    if (size > run) out += codePage_.ToUnicode(text.substr(run));
    return out;
}

std::string Gb18030CodePage::FromUnicode(std::u16string_view text) {
    const std::string bytes = codePage_.FromUnicode(text);
    const std::array<bool, 256>& lead = codePage_.LeadBytes();
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (lead[byte] && i + 1 < bytes.size()) {
            out.append(bytes, i++, 2);
        } else if (byte == 0x80) {
            out += "\xA2\xE3";
        } else {
            out += bytes[i];
        }
    }
    return out;
}

const std::array<bool, 256>& Gb18030CodePage::LeadBytes() {
    static const std::array<bool, 256> lead = [] {
        std::array<bool, 256> bytes{};
        for (size_t byte = 0x81; byte <= 0xFE; ++byte) bytes[byte] = true;
        return bytes;
    }();
    return lead;
}

}  // namespace querna
