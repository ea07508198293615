// The XML reader seam over libxml2's xmlTextReader: the oracle our own
// tokenizer is compared with, never a reader of the program. No network
// (XML_PARSE_NONET), no DTD loaded, no entity substituted, a document type
// declaration refused outright; its own size bounds lifted (XML_PARSE_HUGE),
// since the tokenizer's are what is tested. Any error libxml2 reports,
// namespace errors included (an unbound prefix, an attribute twice under two
// prefixes), is a refusal, as the namespace rules make them one; but a
// namespace name that is no valid URI is read, as our tokenizer reads it.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "documents/XmlReader.h"

struct _xmlTextReader;
struct _xmlError;

namespace querna::oracles {

// The oracle's own UTF-8 writing, kept apart from the program's: one code
// point, and UTF-16 text whose surrogate pairs are joined.
void AppendUtf8(std::string& out, uint32_t c);
std::string ToUtf8(std::u16string_view text);

struct XmlAttributeText {
    std::u16string localName, namespaceUri, value;
};

class LibXmlReader final : public XmlReader {
  public:
    explicit LibXmlReader(ByteStream& input);
    ~LibXmlReader() override;
    LibXmlReader(const LibXmlReader&) = delete;
    LibXmlReader& operator=(const LibXmlReader&) = delete;

    XmlNode Next() override;
    std::u16string_view LocalName() const override { return localName_; }
    std::u16string_view NamespaceUri() const override { return namespaceUri_; }
    std::u16string_view Text() const override { return text_; }
    bool Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                   std::u16string& value) override;

    // The current Start element's attributes in document order, namespace
    // declarations left out.
    std::vector<XmlAttributeText> Attributes();

  private:
    static int ReadInput(void* context, char* buffer, int count);
    static void OnError(void* context, _xmlError* error);
    [[noreturn]] void Fail();
    void TakeNames();

    ByteStream& input_;
    _xmlTextReader* reader_ = nullptr;
    std::exception_ptr inputError_;
    bool pendingEnd_ = false;
    bool erred_ = false;
    std::u16string localName_, namespaceUri_, text_;
};

class LibXmlReaders final : public XmlReaders {
  public:
    std::unique_ptr<XmlReader> Open(ByteStream& input) override {
        return std::make_unique<LibXmlReader>(input);
    }
};

}  // namespace querna::oracles
