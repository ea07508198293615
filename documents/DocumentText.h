// What the built-in document readers hand on. A reader never writes anything
// and never reads outside the bytes it is given; whatever it cannot read
// raises DocumentError (platform/ByteSource.h) with the reason.
#pragma once

#include <string_view>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

// Receives the searchable text of a document as units in document order: one
// Word paragraph or table cell, one Excel cell's formula or value, one
// PowerPoint shape's text (its paragraphs joined by CR). A match never spans
// two units. Returning true stops the reading: the reader returns at once.
class TextUnitSink {
  public:
    virtual ~TextUnitSink() = default;
    virtual bool Unit(std::u16string_view text) = 0;
};

}  // namespace querna
