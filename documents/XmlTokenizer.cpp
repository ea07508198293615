// The XML tokenizer's input (encodings, the declaration, reading ahead) and
// what lies between tags: text, references, CDATA, comments and processing
// instructions. Its tags are XmlTokenizerTags.cpp's.
#include "documents/XmlTokenizer.h"

#include <algorithm>
#include <cstring>

#include "documents/BinaryFields.h"
#include "documents/XmlCharacters.h"

namespace querna {

using namespace xmlchars;

namespace {

// Bytes asked of the input at a time, and the most UTF-16 units one Text
// node carries: a longer run of text comes in several. Inflating copies the
// last 32 KB it made into its window after every call, so the chunk is a
// few times that.
constexpr size_t kChunk = size_t{128} << 10;
constexpr size_t kTextPiece = size_t{16} << 10;

}  // namespace

std::string_view XmlTokenizer::QName::Local() const {
    const size_t skip = prefixLength == 0 ? 0 : prefixLength + 1;
    return {begin + skip, length - skip};
}

XmlTokenizer::XmlTokenizer(ByteStream& input, const XmlLimits& limits, Spares* spares)
    : input_(input), limits_(limits), spares_(spares) {
    if (spares_ != nullptr) {
        SwapSpares();
        open_.clear(), names_.clear(), uris_.clear(), values_.clear(), localName_.clear();
        text_.clear(), bindings_.clear(), rawAttributes_.clear(), attributes_.clear();
    }
    // The prefix xml is bound by definition.
    prefixes_ = "xml";
    uris_ = kXmlNamespace;
    bindings_.push_back({{0, 3}, {0, kXmlNamespace.size()}});
}

XmlTokenizer::~XmlTokenizer() {
    if (spares_ == nullptr) return;
    // A buffer grown for one huge tag is not kept for every part after it.
    if (buffer_.size() > 4 * kChunk) std::vector<char>().swap(buffer_);
    SwapSpares();
}

void XmlTokenizer::SwapSpares() {
    Spares& s = *spares_;
    buffer_.swap(s.buffer), open_.swap(s.open), names_.swap(s.names);
    prefixes_.swap(s.prefixes), uris_.swap(s.uris), values_.swap(s.values);
    localName_.swap(s.localName), scratch_.swap(s.scratch), text_.swap(s.text);
    bindings_.swap(s.bindings), rawAttributes_.swap(s.rawAttributes);
    attributes_.swap(s.attributes);
}

std::u16string_view XmlTokenizer::NamespaceUri() const {
    return UriOf(binding_);
}

// Each declaration remembers its answer: a document's elements are in a
// handful of namespaces, so the URIs are compared once per declaration, not
// once per node.
size_t XmlTokenizer::AskKnownNamespace(std::span<const std::u16string_view> known) const {
    if (binding_ == kNoBinding) return XmlReader::KnownNamespace(known);
    if (known.data() != knownList_) {
        knownList_ = known.data();
        for (const Binding& binding : bindings_) binding.known = kNotAsked;
    }
    const Binding& binding = bindings_[binding_];
    if (binding.known == kNotAsked) binding.known = XmlReader::KnownNamespace(known);
    return binding.known;
}

// Whether the attribute's local name (UTF-8, checked) is `name`.
bool XmlTokenizer::SameLocalName(const Attr& attribute, std::u16string_view name) {
    const std::string_view raw = attribute.local;
    if (attribute.asciiLocal) {
        return raw.size() == name.size() && std::equal(raw.begin(), raw.end(), name.begin());
    }
    scratch_.clear();
    DecodeRun(raw.data(), raw.data() + raw.size(), false, RunKind::CData, scratch_);
    return scratch_ == name;
}

bool XmlTokenizer::Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                             std::u16string& value) {
    for (const Attr& attribute : attributes_) {
        if (SameLocalName(attribute, localName) && UriOf(attribute.binding) == namespaceUri) {
            if (attribute.plain) {
                // Widened in place: assigning from bytes would build a
                // temporary string first, and resizing fills it before.
                value.clear();
                if (value.capacity() < attribute.value.size())
                    value.reserve(attribute.value.size());
                for (const char c : attribute.value) value.push_back(static_cast<unsigned char>(c));
                return true;
            }
            value.clear();
            DecodeValue(attribute.value.data(), attribute.value.data() + attribute.value.size(),
                        value);
            return true;
        }
    }
    return false;
}

XmlTokenizer::AttributeView XmlTokenizer::AttributeAt(size_t index) {
    if (!attributesDecoded_) {
        // Decoded all at once, so that no view handed out moves.
        values_.clear();
        for (Attr& attribute : attributes_) {
            attribute.decodedLocal.start = values_.size();
            DecodeRun(attribute.local.data(), attribute.local.data() + attribute.local.size(),
                      false, RunKind::CData, values_);
            attribute.decodedLocal.length = values_.size() - attribute.decodedLocal.start;
            attribute.decodedValue.start = values_.size();
            DecodeValue(attribute.value.data(), attribute.value.data() + attribute.value.size(),
                        values_);
            attribute.decodedValue.length = values_.size() - attribute.decodedValue.start;
        }
        attributesDecoded_ = true;
    }
    const Attr& attribute = attributes_.at(index);
    return {View(values_, attribute.decodedLocal), UriOf(attribute.binding),
            View(values_, attribute.decodedValue)};
}

// Leaves the element whose End was last handed out, and its declarations.
// Inline in Next, its one caller, which runs it for every element.
[[gnu::always_inline]] inline void XmlTokenizer::Leave() {
    closePending_ = false;
    const OpenElement& open = open_.back();
    names_.resize(open.name);
    // Declarations add to all three at once; most elements make none.
    if (bindings_.size() != open.bindings) {
        ++scope_;
        const Binding& first = bindings_[open.bindings];
        prefixes_.resize(first.prefix.start);
        uris_.resize(first.uri.start);
        bindings_.resize(open.bindings);
    }
    open_.pop_back();
}

XmlNode XmlTokenizer::Next() {
    attributes_.clear();
    attributesDecoded_ = false;
    text_.clear();
    shortLength_ = 0;
    if (closePending_) Leave();
    if (endPending_) {
        endPending_ = false;
        closePending_ = true;
        return XmlNode::End;
    }
    if (encoding_ == Encoding::Unknown) Begin();
    if (inCData_ && ReadCData()) return XmlNode::Text;
    while (!done_) {
        if (!Ensure(1)) {
            if (!rootSeen_ || !open_.empty()) Damaged();
            done_ = true;
            break;
        }
        if (buffer_[pos_] != '<') {
            if (open_.empty()) {
                SkipSpaceOutside();
            } else if (ReadText()) {
                return XmlNode::Text;
            }
            continue;
        }
        brackets_ = 0;
        if (!Ensure(2)) Damaged();
        const char second = buffer_[pos_ + 1];
        if (second == '/') {
            ReadEndTag();
            return XmlNode::End;
        }
        if (second == '?') {
            SkipProcessingInstruction();
        } else if (second == '!') {
            if (ReadBang()) return XmlNode::Text;
        } else {
            ReadStartTag();
            return XmlNode::Start;
        }
    }
    return XmlNode::Done;
}

// The encoding, from a byte-order mark or the first bytes "<?" in UTF-16;
// UTF-8 otherwise. Then the XML declaration, when there is one.
void XmlTokenizer::Begin() {
    unsigned char head[4];
    size_t count = 0;
    while (count < 4 && !inputEnded_) {
        const size_t n = input_.Read(head + count, 4 - count);
        inputEnded_ = n == 0;
        count += n;
    }
    auto starts = [&](std::initializer_list<unsigned char> bytes) {
        return count >= bytes.size() && std::equal(bytes.begin(), bytes.end(), head);
    };
    size_t skip = 0;
    encoding_ = Encoding::Utf8;
    if (starts({0xEF, 0xBB, 0xBF})) {
        skip = 3;
    } else if (starts({0xFE, 0xFF}) || starts({0x00, '<', 0x00, '?'})) {
        encoding_ = Encoding::Utf16Be;
        skip = head[0] == 0xFE ? 2 : 0;
    } else if (starts({0xFF, 0xFE}) || starts({'<', 0x00, '?', 0x00})) {
        encoding_ = Encoding::Utf16Le;
        skip = head[0] == 0xFF ? 2 : 0;
    }
    // A buffer taken over from an earlier part keeps its size: only a new
    // one is filled with zeros.
    if (buffer_.size() < kChunk) buffer_.resize(kChunk);
    if (encoding_ == Encoding::Utf8) {
        std::copy(head + skip, head + count, buffer_.data());
        end_ = count - skip;
    } else {
        raw_.resize(kChunk);
        std::copy(head + skip, head + count, raw_.data());
        rawLength_ = count - skip;
    }
    if (Ensure(6) && std::memcmp(buffer_.data() + pos_, "<?xml", 5) == 0 &&
        IsSpace(buffer_[pos_ + 5])) {
        ReadDeclaration();
    }
}

// <?xml version="1.x" encoding="..." standalone="yes|no"?>, in that order,
// the version required. The encoding may only confirm what the first bytes
// said (UTF-8 in a UTF-16 document is let pass, as it says nothing).
void XmlTokenizer::ReadDeclaration() {
    const size_t gt = TagEnd();
    const char* p = buffer_.data() + pos_ + 5;
    const char* end = buffer_.data() + gt;
    if (end[-1] != '?') Damaged();
    --end;
    auto pseudo = [&](std::string_view name, std::string_view& value) {
        if (static_cast<size_t>(end - p) < name.size() || std::string_view(p, name.size()) != name)
            return false;
        p += name.size();
        value = QuotedValue(p, end);
        return true;
    };
    std::string_view version, encoding, standalone;
    if (!SkipSpace(p, end) || !pseudo("version", version)) Damaged();
    if (version.size() < 2 || version.substr(0, 2) != "1." ||
        version.find_first_not_of("0123456789", 2) != std::string_view::npos) {
        Damaged();
    }
    bool spaced = SkipSpace(p, end);
    if (spaced && pseudo("encoding", encoding)) {
        std::string name(encoding);
        for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        const bool utf8 = name == "utf-8" || name == "utf8";
        const bool utf16 = name == "utf-16" || name == "utf16";
        const bool matches = (name == "utf-16le" && encoding_ == Encoding::Utf16Le) ||
                             (name == "utf-16be" && encoding_ == Encoding::Utf16Be);
        if (!utf8 && !matches && !(utf16 && encoding_ != Encoding::Utf8)) Damaged();
        spaced = SkipSpace(p, end);
    }
    if (spaced && pseudo("standalone", standalone)) {
        if (standalone != "yes" && standalone != "no") Damaged();
        SkipSpace(p, end);
    }
    if (p != end) Damaged();
    pos_ = gt + 1;
}

// Makes `count` bytes available at pos_, moving the unread bytes to the
// front of the buffer and reading more; false when the input ends first.
bool XmlTokenizer::Fill(size_t count) {
    while (end_ - pos_ < count) {
        if (eof_) return false;
        if (pos_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
            end_ -= pos_;
            pos_ = 0;
        }
        if (buffer_.size() - end_ < kChunk) buffer_.resize(end_ + kChunk);
        eof_ = !ReadMore();
        ++fills_;
    }
    return true;
}

// Appends decoded bytes at end_; false at the end of the input.
bool XmlTokenizer::ReadMore() {
    char* into = buffer_.data() + end_;
    if (encoding_ == Encoding::Utf8) {
        if (inputEnded_) return false;
        const size_t n = input_.Read(into, buffer_.size() - end_);
        inputEnded_ = n == 0;
        end_ += n;
        return n > 0;
    }
    // Two bytes of UTF-16 make at most three of UTF-8.
    const size_t wanted = std::min(raw_.size(), (buffer_.size() - end_) / 3 * 2);
    for (;;) {
        if (!inputEnded_ && rawLength_ < wanted) {
            const size_t n = input_.Read(raw_.data() + rawLength_, wanted - rawLength_);
            inputEnded_ = n == 0;
            rawLength_ += n;
        }
        const size_t made = TranscodeUtf16(into);
        end_ += made;
        if (made > 0) return true;
        if (brokenUtf16_) Damaged();
        if (inputEnded_) {
            // A lone high surrogate is damage; an odd last byte, no character
            // at all, is let go, as libxml2 lets it go.
            if (rawLength_ > 1) Damaged();
            return false;
        }
    }
}

// Turns the whole UTF-16 characters of raw_ into UTF-8 at `into`; keeps a
// cut one for the next read. Stops before an unpaired surrogate, which is
// damage once the characters before it are read: so the nodes before it come
// out whatever the size of the reads.
size_t XmlTokenizer::TranscodeUtf16(char* into) {
    const bool little = encoding_ == Encoding::Utf16Le;
    auto unit = [&](size_t i) -> uint32_t {
        return little ? LoadU16(&raw_[i]) : LoadU16Be(&raw_[i]);
    };
    char* out = into;
    size_t i = 0;
    while (i + 2 <= rawLength_) {
        uint32_t c = unit(i);
        size_t length = 2;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 4 > rawLength_) break;
            const uint32_t low = unit(i + 2);
            brokenUtf16_ = low < 0xDC00 || low > 0xDFFF;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            length = 4;
        } else {
            brokenUtf16_ = c >= 0xDC00 && c <= 0xDFFF;
        }
        if (brokenUtf16_) break;
        i += length;
        out = PutUtf8(out, c);
    }
    std::memmove(raw_.data(), raw_.data() + i, rawLength_ - i);
    rawLength_ -= i;
    return static_cast<size_t>(out - into);
}

// Decodes [p, end), which holds no markup and no reference, into `out`:
// checks the characters, turns CR LF and lone CR into LF (into a space in an
// attribute value, as are tab and LF). Stops early only when `more` bytes
// follow and `end` cuts a character or a CR that may precede an LF.
const char* XmlTokenizer::DecodeRun(const char* p, const char* end, bool more, RunKind kind,
                                    std::u16string& out) {
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    const auto* e = reinterpret_cast<const unsigned char*>(end);
    const size_t used = out.size();
    out.resize(used + static_cast<size_t>(e - s));  // never more units than bytes
    char16_t* o = out.data() + used;
    const bool attribute = kind == RunKind::Attribute;
    int brackets = kind == RunKind::Text ? brackets_ : 0;
    auto plainByte = [](unsigned c) {
        return c >= 0x20 && c < 0x80 && c != '>' && c != ']' && c != '<';
    };
    while (s < e) {
        const unsigned c = *s;
        if (plainByte(c)) {
            // Most text is plain ASCII: a run of it is only widened. A lone
            // byte (the space between words of CJK text) is not worth a scan.
            const size_t plain = e - s >= 2 && plainByte(s[1])
                                     ? PlainAsciiRun(reinterpret_cast<const char*>(s), end)
                                     : 1;
            for (size_t i = 0; i < plain; ++i) o[i] = s[i];
            o += plain, s += plain, brackets = 0;
        } else if (c >= 0xE1 && c <= 0xEC && e - s >= 3 && (s[1] & 0xC0) == 0x80 &&
                   (s[2] & 0xC0) == 0x80) {
            // U+1000 to U+CFFF, where CJK text lies: three bytes that can be
            // neither overlong nor a surrogate nor a non-character.
            *o++ = static_cast<char16_t>(((c & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
            s += 3, brackets = 0;
        } else if (c == '\r') {
            if (s + 1 == e && more) break;
            if (s + 1 == e || s[1] != '\n') *o++ = attribute ? u' ' : u'\n';
            ++s, brackets = 0;
        } else if (c == '\n' || c == '\t') {
            *o++ = attribute ? u' ' : static_cast<char16_t>(c), ++s, brackets = 0;
        } else if (c == '<' || c == '>' || c == ']') {
            if (c == '<' && kind != RunKind::CData) Damaged();
            if (c == '>' && kind == RunKind::Text && brackets >= 2) Damaged();
            brackets = c == ']' ? brackets + 1 : 0;
            *o++ = static_cast<char16_t>(c), ++s;
        } else {
            uint32_t decoded = 0;
            const size_t length = DecodeUtf8(s, e, decoded);
            if (length == 0) {
                if (more) break;
                Damaged();
            }
            o = PutUtf16(o, decoded), s += length, brackets = 0;
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    if (kind == RunKind::Text) brackets_ = brackets;
    return reinterpret_cast<const char*>(s);
}

// An attribute value held whole in the buffer, references decoded.
void XmlTokenizer::DecodeValue(const char* p, const char* end, std::u16string& out) {
    while (p < end) {
        const char* amp = FindByte(p, end, '&');
        p = DecodeRun(p, amp != nullptr ? amp : end, false, RunKind::Attribute, out);
        if (amp == nullptr) break;
        p = DecodeReference(amp, end, out);
        if (p == nullptr) Damaged();
    }
}

// The reference at pos_, in text.
void XmlTokenizer::ReadReference(std::u16string& out) {
    const size_t longest = limits_.maxNameLength + 4;
    for (;;) {
        const char* begin = buffer_.data() + pos_;
        const size_t available = std::min(end_ - pos_, longest);
        if (const char* after = DecodeReference(begin, begin + available, out)) {
            pos_ = static_cast<size_t>(after - buffer_.data());
            brackets_ = 0;
            return;
        }
        if (available == longest) TooLarge();
        if (!Fill(end_ - pos_ + 1)) Damaged();
    }
}

// Character data up to the next markup, or kTextPiece units of it. The next
// '<' is looked for once per buffer, so a run of many references costs no
// more than its bytes.
bool XmlTokenizer::ReadText() {
    {
        // Plain ASCII closed by markup within the buffer: one look, then
        // only widened.
        const char* p = buffer_.data() + pos_;
        const char* limit = p + std::min(end_ - pos_, kShortText);
        const char* mark = FindTextMark(p, limit);
        if (mark != limit && *mark == '<') {
            const size_t length = static_cast<size_t>(mark - p);
            for (size_t i = 0; i < length; ++i) shortText_[i] = static_cast<unsigned char>(p[i]);
            shortLength_ = length;
            pos_ += length;
            brackets_ = 0;
            return length != 0;
        }
    }
    while (text_.size() < kTextPiece && (pos_ < end_ || Fill(1))) {
        const size_t fills = fills_;
        const char* base = buffer_.data();
        const char* end = base + end_;
        const char* lt = FindByte(base + pos_, end, '<');
        const char* stop = lt != nullptr ? lt : end;
        bool cut = false;
        while (fills == fills_ && base + pos_ < stop && text_.size() < kTextPiece) {
            const char* p = base + pos_;
            const char* amp = FindByte(p, stop, '&');
            const char* runEnd = amp != nullptr ? amp : stop;
            // A piece's worth at a time: a run of a whole buffer comes in
            // pieces, and more bytes follow the piece's end.
            const bool capped = static_cast<size_t>(runEnd - p) > kTextPiece;
            if (capped) runEnd = p + kTextPiece;
            const bool more = capped || (amp == nullptr && lt == nullptr && !eof_);
            const char* q = DecodeRun(p, runEnd, more, RunKind::Text, text_);
            pos_ = static_cast<size_t>(q - base);
            if (capped) continue;
            cut = q != runEnd;
            if (cut) break;
            if (amp != nullptr) ReadReference(text_);
        }
        if (pos_ < end_ && buffer_[pos_] == '<') break;
        if (cut && !Fill(end_ - pos_ + 1)) Damaged();
    }
    return !text_.empty();
}

// The rest of a CDATA section, as text, in pieces of about kTextPiece units.
bool XmlTokenizer::ReadCData() {
    while (text_.size() < kTextPiece) {
        if (!Ensure(3)) Damaged();  // the input ends inside the section
        const char* begin = buffer_.data() + pos_;
        const size_t available = end_ - pos_;
        // A piece's worth at most is looked at and decoded at once, so that a
        // section of a whole buffer comes in pieces; the last two bytes looked
        // at may only begin the "]]>" that ends the section.
        const size_t span = std::min(available, kTextPiece + 2);
        const size_t close = std::string_view(begin, span).find("]]>");
        if (close != std::string_view::npos) {
            DecodeRun(begin, begin + close, false, RunKind::CData, text_);
            pos_ += close + 3;
            inCData_ = false;
            break;
        }
        if (eof_ && span == available) Damaged();
        const char* q = DecodeRun(begin, begin + span - 2, true, RunKind::CData, text_);
        pos_ = static_cast<size_t>(q - buffer_.data());
        if (span == available) Fill(end_ - pos_ + 1);
    }
    return !text_.empty();
}

// "<!": a comment, skipped; a CDATA section, read as text; anything else
// (a document type declaration above all) refused.
bool XmlTokenizer::ReadBang() {
    if (Ensure(4) && std::memcmp(buffer_.data() + pos_, "<!--", 4) == 0) {
        pos_ += 4;
        SkipUntil("--");
        if (!Ensure(1) || buffer_[pos_] != '>') Damaged();
        ++pos_;
        return false;
    }
    if (open_.empty() || !Ensure(9) || std::memcmp(buffer_.data() + pos_, "<![CDATA[", 9) != 0) {
        Damaged();
    }
    pos_ += 9;
    inCData_ = true;
    return ReadCData();
}

// A processing instruction: its target a name without colon, and not "xml"
// in any case, which only the declaration at the very start may use.
void XmlTokenizer::SkipProcessingInstruction() {
    pos_ += 2;
    size_t length = 0;
    for (;;) {
        if (length > limits_.maxNameLength) TooLarge();
        if (!Ensure(length + 4) && end_ - pos_ <= length) Damaged();
        const auto* s = reinterpret_cast<const unsigned char*>(buffer_.data() + pos_ + length);
        uint32_t c = 0;
        const size_t n =
            DecodeUtf8(s, reinterpret_cast<const unsigned char*>(buffer_.data() + end_), c);
        if (n == 0) Damaged();
        if (!(length == 0 ? IsNameStart(c) : IsNameChar(c)) || c == ':') break;
        length += n;
    }
    const char* target = buffer_.data() + pos_;
    if (length == 0 || (length == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
                        (target[2] | 0x20) == 'l')) {
        Damaged();
    }
    pos_ += length;
    const char next = buffer_[pos_];
    if (next == '?') {
        if (!Ensure(2) || buffer_[pos_ + 1] != '>') Damaged();
        pos_ += 2;
        return;
    }
    if (!IsSpace(next)) Damaged();
    SkipUntil("?>");
}

// Skips characters, checked as it goes, up to and past `terminator`, in
// bounded memory however long the stretch.
void XmlTokenizer::SkipUntil(std::string_view terminator) {
    const size_t lookahead = terminator.size() + 3;
    for (;;) {
        Ensure(lookahead);
        const auto* s = reinterpret_cast<const unsigned char*>(buffer_.data() + pos_);
        const auto* e = reinterpret_cast<const unsigned char*>(buffer_.data() + end_);
        if (s == e) Damaged();
        while (s < e) {
            if (*s == static_cast<unsigned char>(terminator[0]) &&
                static_cast<size_t>(e - s) >= terminator.size() &&
                std::memcmp(s, terminator.data(), terminator.size()) == 0) {
                pos_ = static_cast<size_t>(reinterpret_cast<const char*>(s) - buffer_.data()) +
                       terminator.size();
                return;
            }
            if (static_cast<size_t>(e - s) < lookahead && !eof_) break;
            uint32_t c = 0;
            const size_t n = DecodeUtf8(s, e, c);
            if (n == 0) Damaged();  // cut by the end of the input
            s += n;
        }
        pos_ = static_cast<size_t>(reinterpret_cast<const char*>(s) - buffer_.data());
        if (s == e && eof_) Damaged();
    }
}

// Outside the document element only white space, comments and processing
// instructions may stand.
void XmlTokenizer::SkipSpaceOutside() {
    while (pos_ < end_ && IsSpace(buffer_[pos_])) ++pos_;
    if (pos_ < end_ && buffer_[pos_] != '<') Damaged();
}

// The offset of the '>' that closes the tag at pos_, with the whole tag read
// into the buffer. A '<' outside quotes ends the search: no tag holds one.
size_t XmlTokenizer::TagEnd() {
    size_t i = pos_ + 1;
    char quote = 0;
    for (;;) {
        const size_t limit = std::min(end_, pos_ + limits_.maxTagLength);
        while (i < limit) {
            const char* base = buffer_.data();
            if (quote != 0) {
                const char* close = FindByte(base + i, base + limit, quote);
                i = close == nullptr ? limit : static_cast<size_t>(close - base) + 1;
                quote = close == nullptr ? quote : 0;
                continue;
            }
            i = static_cast<size_t>(FindTagMark(base + i, base + limit) - base);
            if (i == limit) break;
            const char c = buffer_[i++];
            if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i - 1;
            } else if (c == '<') {
                Damaged();
            }
        }
        const size_t scanned = i - pos_;
        if (scanned >= limits_.maxTagLength) TooLarge();
        if (!Fill(scanned + 1)) Damaged();
        i = pos_ + scanned;
    }
}

}  // namespace querna
