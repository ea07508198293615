#include "tests/oracles/XmlTranscript.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <regex>

#include "tests/oracles/LibXmlReader.h"

namespace querna::oracles {

namespace {

// UTF-8, with control characters and the backslash escaped, so that a
// difference shows in a test's output.
std::string Printable(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x20 || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

std::string Name(std::u16string_view uri, std::u16string_view local) {
    return "{" + Printable(uri) + "}" + Printable(local);
}

// Reads to the end or to the first fault; `attributes` lists the current
// Start element's attributes as "{uri}name=value".
template <typename ListAttributes>
XmlTranscript Transcribe(XmlReader& reader, ListAttributes attributes) {
    XmlTranscript transcript;
    std::u16string text;
    try {
        for (XmlNode node = reader.Next();; node = reader.Next()) {
            if (node == XmlNode::Text) {
                text += reader.Text();
                continue;
            }
            if (!text.empty()) transcript.lines.push_back("text " + Printable(text));
            text.clear();
            if (node == XmlNode::Done) break;
            const std::string name = Name(reader.NamespaceUri(), reader.LocalName());
            if (node == XmlNode::End) {
                transcript.lines.push_back("</" + name + ">");
                continue;
            }
            std::vector<std::string> listed = attributes();
            std::sort(listed.begin(), listed.end());
            std::string line = "<" + name;
            for (const std::string& attribute : listed) line += " " + attribute;
            transcript.lines.push_back(line + ">");
        }
    } catch (const DocumentError& error) {
        transcript.fault = error.Fault();
    }
    return transcript;
}

std::string Attribute(std::u16string_view uri, std::u16string_view local,
                      std::u16string_view value) {
    return Name(uri, local) + "=\"" + Printable(value) + "\"";
}

}  // namespace

size_t ChunkedStream::Read(void* buffer, size_t count) {
    size_t n = std::min(count, bytes_.size() - pos_);
    if (!sizes_.empty()) n = std::min(n, std::max<size_t>(1, sizes_[next_++ % sizes_.size()]));
    std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::string XmlTranscript::Describe() const {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    if (fault) out += "fault " + std::to_string(static_cast<int>(*fault)) + "\n";
    return out;
}

XmlTranscript TokenizerTranscript(std::string_view bytes, std::vector<size_t> chunks,
                                  const XmlLimits& limits, XmlTokenizer::Spares* spares) {
    ChunkedStream input(bytes, std::move(chunks));
    XmlTokenizer reader(input, limits, spares);
    return Transcribe(reader, [&reader] {
        std::vector<std::string> listed;
        for (size_t i = 0; i < reader.AttributeCount(); ++i) {
            const XmlTokenizer::AttributeView a = reader.AttributeAt(i);
            listed.push_back(Attribute(a.namespaceUri, a.localName, a.value));
        }
        return listed;
    });
}

XmlTranscript LibXmlTranscript(std::string_view bytes) {
    ChunkedStream input(bytes, {});
    LibXmlReader reader(input);
    return Transcribe(reader, [&reader] {
        std::vector<std::string> listed;
        for (const XmlAttributeText& a : reader.Attributes()) {
            listed.push_back(Attribute(a.namespaceUri, a.localName, a.value));
        }
        return listed;
    });
}

bool IsOtherEncoding(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 4);
    if (head == std::string_view("\x4C\x6F\xA7\x94", 4)) return true;  // EBCDIC
    const bool bom = head.substr(0, 2) == "\xFE\xFF" || head.substr(0, 2) == "\xFF\xFE";
    const bool utf16 =
        head == std::string_view("<\0?\0", 4) || head == std::string_view("\0<\0?", 4);
    if (!bom && !utf16 && head.find('\0') != std::string_view::npos) return true;  // UCS-4
    // The declaration, read as ASCII whichever the encoding.
    const size_t mark = bom ? 2 : head.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    std::string start;
    for (char c : bytes.substr(mark, 512)) {
        if (c != '\0') start += c;
    }
    static const std::regex kDeclaration(R"(^<\?xml\s[^>]*?encoding\s*=\s*["']([^"']*)["'])");
    std::smatch match;
    if (!std::regex_search(start, match, kDeclaration)) return false;
    std::string name = match[1];
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name != "utf-8" && name != "utf8" && name != "utf-16" && name != "utf16";
}

// libxml2 2.9 leaves some line ends of a CDATA section as they are (a CR LF
// pair, or a CR alone), where XML turns every one into LF, as we do. Once a
// section's text is joined with the text after it, a CR left at its end and
// an LF that follows look like one pair, so where the input has a CDATA
// section each run of line ends is taken for one LF on both sides.
static XmlTranscript WithLineFeeds(XmlTranscript transcript) {
    static const std::string kCr = "\\x0D", kLf = "\\x0A";
    for (std::string& line : transcript.lines) {
        std::string collapsed;
        for (size_t at = 0; at < line.size();) {
            const bool lineEnd = line.compare(at, 4, kCr) == 0 || line.compare(at, 4, kLf) == 0;
            if (!lineEnd) {
                collapsed += line[at++];
                continue;
            }
            collapsed += kLf;
            while (line.compare(at, 4, kCr) == 0 || line.compare(at, 4, kLf) == 0) at += 4;
        }
        line = std::move(collapsed);
    }
    return transcript;
}

// Whether the input opens a CDATA section, in UTF-8 or in UTF-16 of either
// byte order.
static bool HoldsCdata(std::string_view bytes) {
    static const std::string_view kOpen = "<![CDATA[";
    std::string little, big;
    for (char c : kOpen) {
        little += c;
        little += '\0';
        big += '\0';
        big += c;
    }
    return bytes.find(kOpen) != std::string_view::npos ||
           bytes.find(little) != std::string_view::npos ||
           bytes.find(big) != std::string_view::npos;
}

// Whether bytes that are not UTF-16 hold a sequence that is not UTF-8 (an
// overlong form, an encoded surrogate, a code point past U+10FFFF, a stray or
// missing continuation byte). libxml2 lets some through, in CDATA; a
// document in such bytes is not well-formed, and our refusal stands. Written
// here on its own, not borrowed from the tokenizer it judges.
static bool HoldsMalformedUtf8(std::string_view bytes) {
    if (bytes.size() >= 2 &&
        (bytes.substr(0, 2) == "\xFE\xFF" || bytes.substr(0, 2) == "\xFF\xFE")) {
        return false;
    }
    if (bytes.substr(0, 2) == std::string_view("<\0", 2) ||
        bytes.substr(0, 2) == std::string_view("\0<", 2)) {
        return false;
    }
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const size_t length = lead < 0x80                    ? 1
                              : lead >= 0xC2 && lead <= 0xDF ? 2
                              : lead >= 0xE0 && lead <= 0xEF ? 3
                              : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                             : 0;
        if (length == 0 || i + length > bytes.size()) return true;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return true;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return true;
        i += length;
    }
    return false;
}

std::string CompareWithOracle(std::string_view bytes) {
    XmlTranscript ours = TokenizerTranscript(bytes);
    XmlTranscript theirs = LibXmlTranscript(bytes);
    if (HoldsCdata(bytes)) {
        ours = WithLineFeeds(std::move(ours));
        theirs = WithLineFeeds(std::move(theirs));
    }
    if (ours.fault && theirs.fault) return {};
    if (!ours.fault && !theirs.fault && ours.lines == theirs.lines) return {};
    if (ours.fault == DocumentFault::TooLarge || IsOtherEncoding(bytes)) return {};
    if (ours.fault && HoldsMalformedUtf8(bytes)) return {};
    return "tokenizer:\n" + ours.Describe() + "libxml2:\n" + theirs.Describe();
}

}  // namespace querna::oracles
