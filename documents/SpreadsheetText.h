// The cells of a SpreadsheetML workbook (.xlsx), ECMA-376-1, 18: every
// worksheet in workbook order (chart and dialog sheets are no worksheets),
// one unit per cell as Excel's find looks in formulas: "=" and the formula
// where the cell has one, else its value as text (shared and inline strings,
// numbers as stored, TRUE or FALSE).
#pragma once

#include <string>
#include <string_view>

#include "documents/DocumentText.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"

namespace querna {

// Raises DocumentError when the package, its workbook, shared strings or a
// worksheet cannot be read.
void ReadSpreadsheetText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink);

// A shared formula as it reads in another cell of its range: its relative
// references (those without '$') moved by the offset from the cell that
// holds the formula's text (ECMA-376-1, 18.3.1.40). References moved out
// of the sheet become "#REF!". Function names marked with Excel's future
// prefixes ("_xlfn.", "_xlws.") read without them, as Excel shows them.
std::u16string FormulaAsShown(std::u16string_view formula, int rowOffset, int columnOffset);
// The same appended to `out`, whose room the reader keeps from cell to cell.
void AppendFormulaAsShown(std::u16string_view formula, int rowOffset, int columnOffset,
                          std::u16string& out);

// Decodes the "_xHHHH_" escapes of SpreadsheetML strings (22.9.2.19).
std::u16string DecodeEscapes(std::u16string_view text);
// The same appended to `out`; never longer than `text`.
void AppendDecodedEscapes(std::u16string_view text, std::u16string& out);

}  // namespace querna
