// The cells of an Excel 97-2003 workbook (.xls, BIFF8), read without Excel.
#pragma once

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"

namespace querna {

// Hands every worksheet's cells to `sink`, worksheet by worksheet in workbook
// order, one unit per cell: a formula cell's formula as Excel shows it
// ("=SUM(A1:B2)"), or its cached value where the formula holds what cannot be
// written back; any other cell's value as text (shared and inline strings,
// numbers in their shortest form, TRUE/FALSE, error values). Chart and macro
// sheets are passed over. Raises DocumentError: OldFormat for BIFF5 and older,
// Encrypted for a password-protected workbook, Damaged when the records do
// not hold what they claim, TooLarge past the reader's bounds.
void ReadExcelBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
