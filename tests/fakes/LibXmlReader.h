// The XML reader seam over libxml2's xmlTextReader, for the native tree's
// tests and fuzz targets: no network (XML_PARSE_NONET), no DTD loaded, no
// entity substituted, and a document type declaration refused outright, as
// XmlLite refuses it with DtdProcessing_Prohibit on Windows.
#pragma once

#include "documents/XmlReader.h"

namespace querna::fakes {

class LibXmlReaders final : public XmlReaders {
  public:
    std::unique_ptr<XmlReader> Open(ByteStream& input) override;
};

}  // namespace querna::fakes
