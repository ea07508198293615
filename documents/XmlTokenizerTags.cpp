// The tags of the XML tokenizer: qualified names, start tags with their
// attributes and namespace declarations, the scope of those declarations, and
// end tags. The input, text and the rest of the markup are XmlTokenizer.cpp's.
#include <algorithm>
#include <cstring>

#include "documents/XmlCharacters.h"
#include "documents/XmlTokenizer.h"

namespace querna {

using namespace xmlchars;

namespace {

// Takes the character at `p` when it may start (or go on with) a name, the
// colon apart: whether it did.
bool TakeNameChar(const char*& p, const char* end, bool start) {
    if (p == end) return false;
    const auto* s = reinterpret_cast<const unsigned char*>(p);
    if (*s < 0x80) {
        const bool taken = start ? (kAsciiName[*s] & 1) != 0 && *s != ':' : kAsciiNameMore[*s];
        p += taken ? 1 : 0;
        return taken;
    }
    uint32_t c = 0;
    const size_t n = DecodeUtf8(s, reinterpret_cast<const unsigned char*>(end), c);
    if (n == 0 || !(start ? IsNameStart(c) : IsNameChar(c))) return false;
    p += n;
    return true;
}

}  // namespace

// A qualified name: one or two names joined by a colon. The ASCII that goes
// on with a name is passed over by table, which is nearly all of a tag.
XmlTokenizer::QName XmlTokenizer::ParseQName(const char*& p, const char* end) const {
    const char* begin = p;
    const char* colon = nullptr;
    for (;;) {
        if (!TakeNameChar(p, end, true)) Damaged();
        for (;;) {
            while (p < end && kAsciiNameMore[static_cast<unsigned char>(*p)]) ++p;
            if (p == end || static_cast<unsigned char>(*p) < 0x80) break;
            if (!TakeNameChar(p, end, false)) break;
        }
        if (p == end || *p != ':') break;
        if (colon != nullptr) Damaged();
        colon = p++;
    }
    const size_t length = static_cast<size_t>(p - begin);
    if (length > limits_.maxNameLength) TooLarge();
    return {begin, length, colon != nullptr ? static_cast<size_t>(colon - begin) : 0};
}

// A name of ASCII characters, read where it stands: false, with nothing
// raised, for anything else (a name beyond ASCII, one the buffer cuts, one
// past the limit), which ParseQName then reads the careful way.
// Inline: it is asked of every name of every tag, and a call costs as much as
// most names.
[[gnu::always_inline]] inline bool XmlTokenizer::ScanName(const char*& p, const char* end,
                                                          QName& name) const {
    auto starts = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x80 && (kAsciiName[u] & 1) != 0 && c != ':';
    };
    const char* begin = p;
    const char* colon = nullptr;
    const char* q = p;
    for (;;) {
        if (q == end || !starts(*q)) return false;
        // A table beats a vector scan here: most names are a few bytes.
        for (++q; q < end && kAsciiNameMore[static_cast<unsigned char>(*q)];) ++q;
        if (q == end || static_cast<unsigned char>(*q) >= 0x80) return false;
        if (*q != ':') break;
        if (colon != nullptr) return false;
        colon = q++;
    }
    const size_t length = static_cast<size_t>(q - begin);
    if (length > limits_.maxNameLength) return false;
    name = {begin, length, colon != nullptr ? static_cast<size_t>(colon - begin) : 0};
    p = q;
    return true;
}

// A start tag read in one pass where it stands in the buffer, its end found
// as its attributes are: the way nearly every tag of a part is read. False,
// with nothing raised, for a tag this pass does not take whole (cut by the
// buffer, past a limit, with a name beyond ASCII, or not well-formed):
// TagEnd and ParseQName then read it and say what is wrong with it. What
// this pass takes, they would take alike.
bool XmlTokenizer::ScanStartTag(QName& element, size_t& gt) {
    const char* base = buffer_.data();
    const char* p = base + pos_ + 1;
    const char* end = base + std::min(end_, pos_ + limits_.maxTagLength);
    auto skipSpace = [&p, end] {
        const char* start = p;
        while (p < end && IsSpace(*p)) ++p;
        return p != start;
    };
    rawAttributes_.clear();
    if (!ScanName(p, end, element)) return false;
    for (;;) {
        const bool spaced = skipSpace();
        if (p == end) return false;
        if (*p == '>' || (*p == '/' && end - p >= 2 && p[1] == '>')) {
            endPending_ = *p == '/';
            gt = static_cast<size_t>(p - base) + (endPending_ ? 1 : 0);
            return true;
        }
        QName name;
        if (!spaced || !ScanName(p, end, name)) return false;
        skipSpace();
        if (p == end || *p++ != '=') return false;
        skipSpace();
        if (p == end || (*p != '"' && *p != '\'')) return false;
        const char quote = *p++;
        const char* close = FindValueMark(p, end, quote);
        const bool plain = close != end && *close == quote;
        if (!plain) close = FindByte(close, end, quote);
        if (close == nullptr || rawAttributes_.size() >= limits_.maxAttributes) return false;
        rawAttributes_.push_back({name, p, static_cast<size_t>(close - p), plain});
        p = close + 1;
    }
}

// Opens the element: its namespace declarations, then its name and
// attributes resolved in their scope. Inline in ReadStartTag, its one caller:
// it runs for every element of a part.
[[gnu::always_inline]] inline void XmlTokenizer::Enter(const QName& element) {
    const size_t nameStart = names_.size(), firstBinding = bindings_.size();
    names_.append(element.begin, element.length);
    // One pass: a declaration is made when met; a prefixed attribute's
    // namespace waits until all of them are, for one may come after it.
    bool pending = false;
    for (const RawAttribute& attribute : rawAttributes_) {
        const QName& name = attribute.name;
        const std::string_view first =
            name.prefixLength == 0 ? std::string_view(name.begin, name.length) : name.Prefix();
        if (first == "xmlns") {
            Declare(attribute, firstBinding);
        } else {
            pending = pending || name.prefixLength != 0;
            AddAttribute(attribute);
        }
    }
    if (pending) {
        for (Attr& attribute : attributes_) {
            if (attribute.binding != kPendingBinding) continue;
            attribute.binding = Resolve(
                {attribute.local.data() - attribute.prefixLength - 1, attribute.prefixLength},
                false);
        }
    }
    // Names hold no references, so equal bytes are equal names.
    for (size_t i = 0; i < attributes_.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            const Attr &a = attributes_[i], &b = attributes_[j];
            if (a.local == b.local && UriOf(a.binding) == UriOf(b.binding)) Damaged();
        }
    }
    const size_t binding = Resolve(element.Prefix(), true);
    if (names_.size() + prefixes_.size() + 2 * uris_.size() > limits_.maxScopeLength ||
        bindings_.size() > limits_.maxNamespaces) {
        TooLarge();
    }
    open_.push_back({nameStart, element.prefixLength, binding, firstBinding});
    binding_ = binding;
    SetLocalName(std::string_view(element.begin, element.length), element.prefixLength);
    localOwner_ = nameStart;
}

[[gnu::always_inline]] inline void XmlTokenizer::AddAttribute(const RawAttribute& attribute) {
    const std::string_view value(attribute.value, attribute.valueLength);
    const bool plain = attribute.plain || CheckValue(value);
    const std::string_view local = attribute.name.Local();
    bool ascii = true;
    if (!asciiNames_) {
        for (char c : local) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    const auto prefixLength = static_cast<uint32_t>(attribute.name.prefixLength);
    attributes_.push_back({local,
                           value,
                           prefixLength == 0 ? kNoBinding : kPendingBinding,
                           plain,
                           ascii,
                           prefixLength,
                           {},
                           {}});
}

void XmlTokenizer::ReadStartTag() {
    if (rootSeen_ && open_.empty()) Damaged();  // a second document element
    if (open_.size() >= limits_.maxDepth) TooLarge();
    QName element;
    size_t gt = 0;
    asciiNames_ = ScanStartTag(element, gt);
    if (!asciiNames_) {
        gt = TagEnd();
        const char* p = buffer_.data() + pos_ + 1;
        const char* end = buffer_.data() + gt;
        element = ParseQName(p, end);
        rawAttributes_.clear();
        for (;;) {
            const bool spaced = SkipSpace(p, end);
            if (p == end) break;
            if (*p == '/' && p + 1 == end) {
                endPending_ = true;
                break;
            }
            if (!spaced) Damaged();  // attributes stand apart
            const QName name = ParseQName(p, end);
            const std::string_view value = QuotedValue(p, end);
            if (rawAttributes_.size() >= limits_.maxAttributes) TooLarge();
            rawAttributes_.push_back({name, value.data(), value.size(), false});
        }
    }
    Enter(element);
    pos_ = gt + 1;
    rootSeen_ = true;
}

void XmlTokenizer::Declare(const RawAttribute& attribute, size_t firstBinding) {
    const std::string_view prefix =
        attribute.name.prefixLength == 0 ? std::string_view() : attribute.name.Local();
    const size_t start = uris_.size();
    DecodeValue(attribute.value, attribute.value + attribute.valueLength, uris_);
    const std::u16string_view uri = std::u16string_view(uris_).substr(start);
    // The prefix xml and its namespace belong together; xmlns and its
    // namespace are never declared; a prefix cannot be undeclared.
    if (prefix == "xmlns" || uri == kXmlnsNamespace) Damaged();
    if ((prefix == "xml") != (uri == kXmlNamespace)) Damaged();
    if (!prefix.empty() && uri.empty()) Damaged();
    for (size_t i = firstBinding; i < bindings_.size(); ++i) {
        const Span declared = bindings_[i].prefix;
        if (std::string_view(prefixes_).substr(declared.start, declared.length) == prefix) {
            Damaged();
        }
    }
    bindings_.push_back({{prefixes_.size(), prefix.size()}, {start, uri.size()}});
    ++scope_;
    prefixes_.append(prefix);
}

// Refuses a value that is not well-formed, as decoding it would: a value of
// plain ASCII characters is passed over byte by byte, anything else is
// decoded the long way into scratch.
bool XmlTokenizer::CheckValue(std::string_view value) {
    const char* p = value.data();
    const char* end = p + value.size();
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c >= 0x80 || c == '<' || c == '&') break;
        ++p;
    }
    if (p == end) return true;
    scratch_.clear();
    DecodeValue(p, end, scratch_);
    return false;
}

// The namespace of a prefix in scope, looked for among the declarations.
size_t XmlTokenizer::ResolveDeclared(std::string_view prefix) const {
    for (size_t i = bindings_.size(); i-- > 0;) {
        const Span declared = bindings_[i].prefix;
        if (std::string_view(prefixes_).substr(declared.start, declared.length) == prefix) {
            resolvedScope_ = scope_;
            resolvedPrefix_ = std::string_view(prefixes_).substr(declared.start, declared.length);
            resolvedBinding_ = i;
            return i;
        }
    }
    if (!prefix.empty()) Damaged();  // a prefix never declared
    return kNoBinding;
}

void XmlTokenizer::ReadEndTag() {
    if (open_.empty()) Damaged();
    const OpenElement& open = open_.back();
    const std::string_view name = std::string_view(names_).substr(open.name);
    size_t gt = 0;
    if (!ScanEndTag(name, gt)) {
        gt = TagEnd();
        const char* p = buffer_.data() + pos_ + 2;
        const char* end = buffer_.data() + gt;
        if (static_cast<size_t>(end - p) < name.size() ||
            std::string_view(p, name.size()) != name) {
            Damaged();
        }
        p += name.size();
        SkipSpace(p, end);
        if (p != end) Damaged();
    }
    pos_ = gt + 1;
    binding_ = open.binding;
    // An element with no child element ends with its own name still in
    // localName_: only the element opened at that place in names_ can have
    // put it there since.
    if (localOwner_ != open.name) {
        SetLocalName(name, open.prefixLength);
        localOwner_ = open.name;
    }
    closePending_ = true;
}

// The end tag of `name` where it stands in the buffer, in one pass: false,
// with nothing raised, when the buffer cuts it or it is not that simple;
// TagEnd then reads it.
[[gnu::always_inline]] inline bool XmlTokenizer::ScanEndTag(std::string_view name,
                                                            size_t& gt) const {
    const char* base = buffer_.data();
    const char* p = base + pos_ + 2;
    const char* end = base + std::min(end_, pos_ + limits_.maxTagLength);
    if (static_cast<size_t>(end - p) <= name.size()) return false;
    // Compared here, not by memcmp: most names are a few bytes, shorter
    // than the call.
    for (size_t i = 0; i < name.size(); ++i) {
        if (p[i] != name[i]) return false;
    }
    p += name.size();
    while (p < end && IsSpace(*p)) ++p;
    if (p == end || *p != '>') return false;
    gt = static_cast<size_t>(p - base);
    return true;
}

// The name was checked when its tag was read: an ASCII name (as every name
// of Office's vocabularies is) is only widened, here where it is asked for
// rather than through a call that costs as much as the widening.
[[gnu::always_inline]] inline void XmlTokenizer::SetLocalName(std::string_view qualifiedName,
                                                              size_t prefixLength) {
    const std::string_view local =
        prefixLength == 0 ? qualifiedName : qualifiedName.substr(prefixLength + 1);
    if (local.size() > localName_.size()) {
        SetLocalNameBeyond(local);
        return;
    }
    unsigned beyond = 0;
    for (size_t i = 0; i < local.size(); ++i) {
        const auto c = static_cast<unsigned char>(local[i]);
        beyond |= c;
        localName_[i] = c;
    }
    localLength_ = local.size();
    if (beyond >= 0x80) SetLocalNameBeyond(local);
}

// A name longer than any before, or one beyond ASCII.
void XmlTokenizer::SetLocalNameBeyond(std::string_view local) {
    bool ascii = true;
    for (char c : local) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        localName_.resize(local.size());
        for (size_t i = 0; i < local.size(); ++i)
            localName_[i] = static_cast<unsigned char>(local[i]);
        localLength_ = local.size();
        return;
    }
    // The room kept for widened names is left as it was.
    const size_t room = localName_.size();
    localName_.clear();
    DecodeRun(local.data(), local.data() + local.size(), false, RunKind::CData, localName_);
    localLength_ = localName_.size();
    if (localName_.size() < room) localName_.resize(room);
}

}  // namespace querna
