// The text of a WordprocessingML document (.docx), ECMA-376-1, 17: the
// main document part's body as Word's find sees it, one unit per paragraph,
// table cells' paragraphs included. Headers, footers, footnotes, endnotes
// and comments live in parts of their own and are not read; text boxes,
// drawings, deleted text and field codes in the body are passed over.
#pragma once

#include "documents/DocumentText.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"

namespace querna {

// Raises DocumentError when the package or its main part cannot be read.
void ReadWordprocessingText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink);

}  // namespace querna
