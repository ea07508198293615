// A forward-only XML pull reader, for the parts of Office Open XML documents.
// The program's is XmlTokenizer; the native tree's tests hold libxml2's
// reader behind the same seam as the oracle it is compared with. Either reads
// its input as it goes, so a part of any size is never held whole.
//
// What arrives is hostile: a reader refuses document type declarations (no
// entity can be declared, so none is expanded), never resolves anything
// outside its input and never opens a network or file resource.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

// Bytes read in order, such as one inflated part of a zip archive.
class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // Reads up to `count` bytes into `buffer`; returns how many, 0 at the end.
    // Raises DocumentError when the bytes cannot be had.
    virtual size_t Read(void* buffer, size_t count) = 0;
};

enum class XmlNode {
    Start,  // an element's start tag; an empty element is a Start and an End
    End,    // an element's end tag
    Text,   // character data: text, CDATA, whitespace
    Done,   // the end of the document
};

class XmlReader {
  public:
    virtual ~XmlReader() = default;
    // Advances to the next node. Raises DocumentError(Damaged) for input that
    // is not well-formed XML or declares a document type, and passes on the
    // DocumentError of its ByteStream.
    virtual XmlNode Next() = 0;
    // The current element's local name and namespace URI (Start and End).
    // Views stay valid until the next call of Next.
    virtual std::u16string_view LocalName() const = 0;
    virtual std::u16string_view NamespaceUri() const = 0;
    // Which of the URIs `known` the current element's namespace is: its
    // index, or known.size() when it is none of them. A reader of documents
    // asks this of every node with one list of the vocabularies it reads;
    // a reader may remember the answer for each namespace declaration, so
    // `known` must be the same array for every call on one reader.
    virtual size_t KnownNamespace(std::span<const std::u16string_view> known) const {
        const std::u16string_view uri = NamespaceUri();
        for (size_t i = 0; i < known.size(); ++i) {
            if (known[i] == uri) return i;
        }
        return known.size();
    }
    // The current Text node's characters; one run of text may come as
    // several Text nodes.
    virtual std::u16string_view Text() const = 0;
    // The value of the current Start element's attribute `localName` in the
    // namespace `namespaceUri` (empty: no namespace); false when it has none.
    virtual bool Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                           std::u16string& value) = 0;
};

class XmlReaders {
  public:
    virtual ~XmlReaders() = default;
    // A reader over `input`, which must outlive it.
    virtual std::unique_ptr<XmlReader> Open(ByteStream& input) = 0;
};

}  // namespace querna
