// The text of a PresentationML presentation (.pptx), ECMA-376-1, 19:
// the slides in presentation order, and on each only the slide's own shapes
// with a text body (p:sp directly in the shape tree), one unit per shape, its
// paragraphs joined by CR and line breaks given as vertical tab, as
// PowerPoint's TextRange.Text gives them. Layouts, masters, notes, pictures,
// tables and other graphic frames, and the members of groups are not read.
#pragma once

#include "documents/DocumentText.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"

namespace querna {

// Raises DocumentError when the package, the presentation or a slide cannot
// be read.
void ReadPresentationText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink);

}  // namespace querna
