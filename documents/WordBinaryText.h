// The text of a Word 97-2003 document (.doc), read without Word.
#pragma once

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"

namespace querna {

// Hands the main document's text (body paragraphs and table cells; not
// headers, footers, footnotes, comments or text boxes) to `sink`, one unit per
// paragraph or table cell, as Word's own find sees it: field codes are left
// out and their results kept. Raises DocumentError: OldFormat for Word 6/95
// and older, Encrypted for a password-protected document, Damaged when the
// streams do not hold what they claim, TooLarge past the reader's bounds.
void ReadWordBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
