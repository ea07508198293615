// Our own XML reader for the parts of Office Open XML documents: a streaming
// pull tokenizer behind the XmlReader seam, the same on Windows and in the
// native tree.
//
// It reads XML 1.0 with namespaces in UTF-8 or UTF-16 (either byte order,
// told by a byte-order mark or by the first bytes "<?"); any other encoding
// is refused. The five predefined entities and character references are
// decoded; no other entity exists, because a document type declaration is
// refused outright. Comments, processing instructions and the XML
// declaration are skipped, CDATA sections come as text. Tags must balance,
// attribute values must be quoted and an element may not have the same
// attribute twice. Whatever is not well-formed raises DocumentError(Damaged).
//
// It holds one buffer of the input, which grows only to fit one tag, and
// hands long text in pieces, so a part's memory is bounded by the limits
// below whatever its size; once its buffers have grown to the part's
// largest tag it allocates nothing more.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "documents/DocumentLimits.h"
#include "documents/XmlReader.h"

namespace querna {

// What one part's XML may hold. A part past one of them raises
// DocumentError(TooLarge): it may be well-formed, only more than a reader
// of Office documents follows. Tests make them small.
struct XmlLimits {
    size_t maxDepth = kMaxXmlDepth;
    size_t maxNameLength = kMaxXmlNameLength;
    size_t maxTagLength = kMaxXmlTagLength;
    size_t maxAttributes = kMaxXmlAttributes;
    size_t maxScopeLength = kMaxXmlScopeLength;
    size_t maxNamespaces = kMaxXmlNamespaces;
};

class XmlTokenizer final : public XmlReader {
  public:
    struct Spares;

    // Reads `input`, which must outlive the tokenizer, from its first byte.
    // With `spares` (which must outlive it) the tokenizer takes its buffers
    // from there and leaves them there when it goes, for the next part.
    explicit XmlTokenizer(ByteStream& input, const XmlLimits& limits = {},
                          Spares* spares = nullptr);
    ~XmlTokenizer() override;
    XmlTokenizer(const XmlTokenizer&) = delete;
    XmlTokenizer& operator=(const XmlTokenizer&) = delete;

    XmlNode Next() override;
    std::u16string_view LocalName() const override { return {localName_.data(), localLength_}; }
    std::u16string_view NamespaceUri() const override;
    // Inline for the readers that call the tokenizer directly: once each
    // declaration has its answer, asking costs a load.
    size_t KnownNamespace(std::span<const std::u16string_view> known) const override {
        if (binding_ != kNoBinding && known.data() == knownList_) {
            const size_t answer = bindings_[binding_].known;
            if (answer != kNotAsked) return answer;
        }
        return AskKnownNamespace(known);
    }
    std::u16string_view Text() const override {
        return shortLength_ != 0 ? std::u16string_view(shortText_.data(), shortLength_) : text_;
    }
    bool Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                   std::u16string& value) override;

    // The bytes of the current Start element's attribute `localName` in no
    // namespace, as they stand in the input, where they are its value: plain
    // ASCII without references (as nearly every value of a part is). The view
    // lives until the next call of Next. Encoded: the attribute is there, but
    // only Attribute gives its value.
    enum class Bytes { Absent, Plain, Encoded };
    Bytes AttributeBytes(std::string_view localName, std::string_view& value) const {
        for (const Attr& attribute : attributes_) {
            if (attribute.binding != kNoBinding || !attribute.asciiLocal ||
                attribute.local != localName) {
                continue;
            }
            if (!attribute.plain) return Bytes::Encoded;
            value = attribute.value;
            return Bytes::Plain;
        }
        return Bytes::Absent;
    }

    // The current Start element's attributes in document order, namespace
    // declarations left out; the views live until the next call of Next.
    struct AttributeView {
        std::u16string_view localName, namespaceUri, value;
    };
    size_t AttributeCount() const { return attributes_.size(); }
    AttributeView AttributeAt(size_t index);

  private:
    enum class Encoding { Unknown, Utf8, Utf16Le, Utf16Be };
    enum class RunKind { Text, Attribute, CData };
    struct Span {
        size_t start = 0, length = 0;
    };
    struct QName {  // bytes of a tag in the buffer
        const char* begin;
        size_t length;
        size_t prefixLength;  // 0 when unprefixed
        std::string_view Prefix() const { return {begin, prefixLength}; }
        std::string_view Local() const;
    };
    struct RawAttribute {
        QName name;
        const char* value;
        size_t valueLength;
        bool plain;  // known to be ASCII without references
    };
    struct Binding {
        Span prefix;  // in prefixes_; empty for the default namespace
        Span uri;     // in uris_; empty when the default is undeclared
        // The answer of KnownNamespace for this declaration, once asked.
        mutable size_t known = kNotAsked;
    };
    struct OpenElement {
        size_t name;          // where its qualified name starts in names_; the next one ends it
        size_t prefixLength;  // of that name; 0 when unprefixed
        size_t binding;       // in bindings_; kNoBinding: no namespace
        // bindings_ before the element's declarations; the first of them
        // tells where prefixes_ and uris_ ended before them
        size_t bindings;
    };
    // An attribute as it stands in the buffer, checked but not yet decoded:
    // most attributes of a document are never asked for.
    struct Attr {
        std::string_view local, value;
        size_t binding;                   // kNoBinding: no namespace; or kPendingBinding
        bool plain;                       // ASCII without references: only widened
        bool asciiLocal;                  // the local name is ASCII: only widened
        uint32_t prefixLength;            // the prefix stands before `local`, and a colon
        Span decodedLocal, decodedValue;  // in values_, once AttributeAt asked
    };
    static constexpr size_t kNoBinding = static_cast<size_t>(-1);
    // An attribute's prefix not yet resolved: its tag may declare it further on.
    static constexpr size_t kPendingBinding = static_cast<size_t>(-2);
    static constexpr size_t kNotAsked = static_cast<size_t>(-1);

  public:
    // The buffers one tokenizer hands on to the next. A search reads many
    // small parts one after the other (a presentation has one per slide),
    // and growing a fresh set for each would cost more than the reading.
    struct Spares {
        std::vector<char> buffer;
        std::vector<OpenElement> open;
        std::string names, prefixes;
        std::u16string uris, values, localName, scratch, text;
        std::vector<Binding> bindings;
        std::vector<RawAttribute> rawAttributes;
        std::vector<Attr> attributes;
    };

  private:
    void SwapSpares();

    // Input: encoding, buffer, decoding.
    void Begin();
    void ReadDeclaration();
    bool Ensure(size_t count) { return end_ - pos_ >= count || Fill(count); }
    bool Fill(size_t count);
    bool ReadMore();
    size_t TranscodeUtf16(char* into);
    const char* DecodeRun(const char* p, const char* end, bool more, RunKind kind,
                          std::u16string& out);
    void DecodeValue(const char* p, const char* end, std::u16string& out);
    bool CheckValue(std::string_view value);
    void ReadReference(std::u16string& out);

    // Markup.
    bool ReadText();
    bool ReadCData();
    bool ReadBang();
    void SkipProcessingInstruction();
    void SkipUntil(std::string_view terminator);
    void SkipSpaceOutside();
    size_t TagEnd();
    QName ParseQName(const char*& p, const char* end) const;
    bool ScanName(const char*& p, const char* end, QName& name) const;
    bool ScanStartTag(QName& element, size_t& gt);
    bool ScanEndTag(std::string_view name, size_t& gt) const;
    void ReadStartTag();
    void ReadEndTag();
    void Enter(const QName& element);
    void Declare(const RawAttribute& attribute, size_t firstBinding);
    void AddAttribute(const RawAttribute& attribute);
    // The namespace of a prefix in scope. An unprefixed element is in the
    // default namespace, an unprefixed attribute in none.
    size_t Resolve(std::string_view prefix, bool isElement) const {
        if (prefix.empty() && !isElement) return kNoBinding;
        // Most names of a document share one prefix: the last answer holds
        // while no declaration came or went.
        if (resolvedScope_ == scope_ && prefix.size() == resolvedPrefix_.size()) {
            size_t same = 0;
            while (same < prefix.size() && prefix[same] == resolvedPrefix_[same]) ++same;
            if (same == prefix.size()) return resolvedBinding_;
        }
        return ResolveDeclared(prefix);
    }
    size_t ResolveDeclared(std::string_view prefix) const;
    size_t AskKnownNamespace(std::span<const std::u16string_view> known) const;
    std::u16string_view UriOf(size_t binding) const {
        return binding == kNoBinding ? std::u16string_view() : View(uris_, bindings_[binding].uri);
    }
    bool SameLocalName(const Attr& attribute, std::u16string_view name);
    void Leave();
    void SetLocalName(std::string_view qualifiedName, size_t prefixLength);
    void SetLocalNameBeyond(std::string_view local);
    std::u16string_view View(const std::u16string& pool, Span span) const {
        return std::u16string_view(pool).substr(span.start, span.length);
    }

    ByteStream& input_;
    XmlLimits limits_;
    Spares* spares_;
    Encoding encoding_ = Encoding::Unknown;
    std::vector<char> buffer_;  // decoded UTF-8 bytes; [pos_, end_) unread
    size_t pos_ = 0, end_ = 0;
    size_t fills_ = 0;  // counts refills, which move the buffer
    bool inputEnded_ = false, eof_ = false, brokenUtf16_ = false;
    std::vector<unsigned char> raw_;  // UTF-16 bytes not yet transcoded
    size_t rawLength_ = 0;

    bool rootSeen_ = false, done_ = false, inCData_ = false;
    bool endPending_ = false, closePending_ = false;
    int brackets_ = 0;  // "]" just before, for the "]]>" that text may not hold

    std::vector<OpenElement> open_;
    std::string names_, prefixes_;
    std::u16string uris_;
    std::vector<Binding> bindings_;
    std::vector<RawAttribute> rawAttributes_;
    std::vector<Attr> attributes_;
    std::u16string values_;
    std::u16string localName_;  // holds the current local name, in its first localLength_
    size_t localLength_ = 0;
    size_t localOwner_ = SIZE_MAX;  // where in names_ its element's name starts
    bool asciiNames_ = false;       // the current start tag's names are all ASCII
    size_t binding_ = kNoBinding;   // of the current element
    // The last prefix resolved, and the declarations it was resolved among:
    // scope_ counts every change of them.
    uint64_t scope_ = 0;
    mutable uint64_t resolvedScope_ = UINT64_MAX;
    mutable std::string_view resolvedPrefix_;  // in prefixes_, while scope_ holds
    mutable size_t resolvedBinding_ = kNoBinding;
    mutable const std::u16string_view* knownList_ = nullptr;
    std::u16string scratch_;  // a value checked the long way, a name compared
    bool attributesDecoded_ = false;
    std::u16string text_;
    // Short plain text (most of a part's: a cell's value, a few words) is
    // widened here, the string's fill on resizing spared.
    static constexpr size_t kShortText = 128;
    std::array<char16_t, kShortText> shortText_;
    size_t shortLength_ = 0;
};

// Calls `read` with `reader` as the tokenizer it is, when it is one, else as
// it is. A document reader written as a template over its reader then calls
// the tokenizer directly for every node of a part (the class is final, so
// the calls are neither virtual nor hidden from the inliner), and reads any
// other XmlReader, such as the oracle of the tests, the same way.
template <class Read>
decltype(auto) ReadAsTokenizer(XmlReader& reader, Read&& read) {
    if (auto* tokenizer = dynamic_cast<XmlTokenizer*>(&reader)) return read(*tokenizer);
    return read(reader);
}

// Consumes the rest of the element whose Start was just read, its End
// included; raises DocumentError(Damaged) when the document ends first.
template <class Reader>
void SkipRestOfElement(Reader& reader) {
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                ++depth;
                break;
            case XmlNode::End:
                --depth;
                break;
            case XmlNode::Text:
                break;
            case XmlNode::Done:
                throw DocumentError(DocumentFault::Damaged);
        }
    }
}

class XmlTokenizerReaders final : public XmlReaders {
  public:
    explicit XmlTokenizerReaders(const XmlLimits& limits = {}) : limits_(limits) {}
    std::unique_ptr<XmlReader> Open(ByteStream& input) override {
        return std::make_unique<XmlTokenizer>(input, limits_, &spares_);
    }

  private:
    XmlLimits limits_;
    XmlTokenizer::Spares spares_;
};

}  // namespace querna
