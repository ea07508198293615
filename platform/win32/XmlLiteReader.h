// The XML reader seam over Windows' XmlLite (xmllite.dll): document type
// declarations prohibited (DtdProcessing_Prohibit), no resolver, so nothing
// outside the input is ever read, and the element depth bounded.
#pragma once

#include "documents/XmlReader.h"

namespace querna::win32 {

class XmlLiteReaders final : public XmlReaders {
  public:
    // Raises QuernaError when xmllite.dll cannot be loaded.
    std::unique_ptr<XmlReader> Open(ByteStream& input) override;
};

}  // namespace querna::win32
