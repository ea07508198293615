#include "tests/oracles/LibXmlReader.h"

#include <libxml/xmlreader.h>

#include <exception>
#include <string>

namespace querna::oracles {

namespace {

// libxml2 hands out UTF-8 that it has already checked.
void AppendUtf16(const xmlChar* utf8, std::u16string& out) {
    out.clear();
    if (utf8 == nullptr) return;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p != 0) {
        uint32_t c = *p++;
        int more = 0;
        if (c >= 0xF0) {
            c &= 0x07;
            more = 3;
        } else if (c >= 0xE0) {
            c &= 0x0F;
            more = 2;
        } else if (c >= 0xC0) {
            c &= 0x1F;
            more = 1;
        }
        for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
}

// libxml2 keeps the '&' of a reference in a namespace name as "&#38;" (so
// that it could write the name again); the name itself has '&'.
void UnescapeAmpersands(std::u16string& uri) {
    for (size_t at = uri.find(u"&#38;"); at != std::u16string::npos;
         at = uri.find(u"&#38;", at + 1)) {
        uri.replace(at, 5, u"&");
    }
}

// What libxml2 writes to stderr outside the structured handler (encoding
// errors) stays out of the test output.
void Silent(void*, const char*, ...) {}

}  // namespace

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        AppendUtf8(out, c);
    }
    return out;
}

LibXmlReader::LibXmlReader(ByteStream& input) : input_(input) {
    reader_ = xmlReaderForIO(&ReadInput, nullptr, this, nullptr, nullptr,
                             XML_PARSE_NONET | XML_PARSE_NOCDATA | XML_PARSE_NOERROR |
                                 XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    if (reader_ == nullptr) throw std::bad_alloc();
    xmlSetGenericErrorFunc(nullptr, &Silent);
    xmlTextReaderSetStructuredErrorHandler(reader_, &OnError, this);
}

LibXmlReader::~LibXmlReader() {
    xmlFreeTextReader(reader_);
}

XmlNode LibXmlReader::Next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        return XmlNode::End;
    }
    for (;;) {
        const int status = xmlTextReaderRead(reader_);
        if (status < 0 || inputError_ || erred_) Fail();
        if (status == 0) return XmlNode::Done;
        switch (xmlTextReaderNodeType(reader_)) {
            case XML_READER_TYPE_ELEMENT:
                TakeNames();
                pendingEnd_ = xmlTextReaderIsEmptyElement(reader_) == 1;
                return XmlNode::Start;
            case XML_READER_TYPE_END_ELEMENT:
                TakeNames();
                return XmlNode::End;
            case XML_READER_TYPE_TEXT:
            case XML_READER_TYPE_CDATA:
            case XML_READER_TYPE_WHITESPACE:
            case XML_READER_TYPE_SIGNIFICANT_WHITESPACE:
                AppendUtf16(xmlTextReaderConstValue(reader_), text_);
                return XmlNode::Text;
            case XML_READER_TYPE_DOCUMENT_TYPE:
                throw DocumentError(DocumentFault::Damaged);
            default:
                break;  // comments, processing instructions, the declaration
        }
    }
}

bool LibXmlReader::Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                             std::u16string& value) {
    const std::string name = ToUtf8(localName);
    const auto* n = reinterpret_cast<const xmlChar*>(name.c_str());
    xmlChar* found = nullptr;
    if (namespaceUri.empty()) {
        found = xmlTextReaderGetAttribute(reader_, n);
    } else {
        const std::string ns = ToUtf8(namespaceUri);
        found =
            xmlTextReaderGetAttributeNs(reader_, n, reinterpret_cast<const xmlChar*>(ns.c_str()));
    }
    if (found == nullptr) return false;
    AppendUtf16(found, value);
    xmlFree(found);
    return true;
}

std::vector<XmlAttributeText> LibXmlReader::Attributes() {
    std::vector<XmlAttributeText> attributes;
    while (xmlTextReaderMoveToNextAttribute(reader_) == 1) {
        if (xmlTextReaderIsNamespaceDecl(reader_) == 1) continue;
        XmlAttributeText attribute;
        AppendUtf16(xmlTextReaderConstLocalName(reader_), attribute.localName);
        AppendUtf16(xmlTextReaderConstNamespaceUri(reader_), attribute.namespaceUri);
        UnescapeAmpersands(attribute.namespaceUri);
        AppendUtf16(xmlTextReaderConstValue(reader_), attribute.value);
        attributes.push_back(std::move(attribute));
    }
    xmlTextReaderMoveToElement(reader_);
    return attributes;
}

int LibXmlReader::ReadInput(void* context, char* buffer, int count) {
    auto* self = static_cast<LibXmlReader*>(context);
    try {
        return static_cast<int>(self->input_.Read(buffer, static_cast<size_t>(count)));
    } catch (...) {
        // No exception may cross libxml2's C frames: kept for Next.
        self->inputError_ = std::current_exception();
        return -1;
    }
}

// Warnings pass; errors, the namespace ones included, refuse the input. A
// namespace name is only ever compared, never resolved: that it is no valid
// URI (an error to libxml2, whose code says warning) refuses nothing.
void LibXmlReader::OnError(void* context, xmlErrorPtr error) {
    if (error == nullptr || error->code == XML_WAR_NS_URI ||
        error->code == XML_WAR_NS_URI_RELATIVE) {
        return;
    }
    if (error->level >= XML_ERR_ERROR) {
        static_cast<LibXmlReader*>(context)->erred_ = true;
    }
}

void LibXmlReader::Fail() {
    if (inputError_) std::rethrow_exception(inputError_);
    throw DocumentError(DocumentFault::Damaged);
}

void LibXmlReader::TakeNames() {
    AppendUtf16(xmlTextReaderConstLocalName(reader_), localName_);
    AppendUtf16(xmlTextReaderConstNamespaceUri(reader_), namespaceUri_);
    UnescapeAmpersands(namespaceUri_);
}

}  // namespace querna::oracles
