// What the built-in document readers hand on. A reader never writes anything
// and never reads outside the bytes it is given; whatever it cannot read
// raises DocumentError (platform/ByteSource.h) with the reason.
#pragma once

#include <cstdint>
#include <string_view>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

// Where a unit stands in its document, kept up to date by the reader as it
// goes, so that telling it costs nothing: only the fields of the unit's
// format are set, the others stay 0 (or empty).
struct UnitPlace {
    // Word: the paragraph of the main text, counted from 1 as Word shows
    // them (empty ones included, a table cell counting as one).
    uint32_t paragraph = 0;
    // PowerPoint: the slide, counted from 1 in show order.
    uint32_t slide = 0;
    // Excel: the sheet's name (a view of the reader's own copy, valid while
    // the unit is handed on) and the cell's row and column, from 1.
    std::u16string_view sheet;
    uint32_t row = 0;
    uint32_t column = 0;
};

// Receives the searchable text of a document as units in document order: one
// Word paragraph or table cell, one Excel cell's formula or value, one
// PowerPoint shape's text (its paragraphs joined by CR). A match never spans
// two units. Returning true stops the reading: the reader returns at once.
class TextUnitSink {
  public:
    virtual ~TextUnitSink() = default;
    virtual bool Unit(std::u16string_view text, const UnitPlace& place) = 0;

    // Whether the sink could take anything from a unit that is only a
    // number's text as Excel writes it (ExcelNumberText: digits, "-", "+",
    // ".", "E", or "#NUM!"). A finder whose phrase holds a character no such
    // text holds says no, and the readers then leave those units out rather
    // than write their text for nothing; by default every unit is handed on.
    virtual bool TakesNumbers() const { return true; }
    // Likewise for a formula made only of cell references, numbers,
    // operators and built-in functions (IsPlainExcelFormula in
    // documents/ExcelFormulaText.h): printable ASCII of a few known words.
    virtual bool TakesPlainFormulas() const { return true; }
    // Whether the sink needs a unit again whose text it was handed before in
    // this document. A finder's answer cannot change on seeing the same text
    // twice, and the readers then hand a workbook's shared string on at its
    // first cell only; a sink that keeps every cell's place says yes.
    virtual bool TakesRepeats() const { return true; }
};

}  // namespace querna
