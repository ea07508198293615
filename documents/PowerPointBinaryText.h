// The slide text of a PowerPoint 97-2003 presentation (.ppt), read without
// PowerPoint.
#pragma once

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"

namespace querna {

// Hands the text of every shape on the slides to `sink`, slide by slide in
// presentation order, one unit per shape with its paragraphs joined by CR:
// placeholder text and the shapes' own text boxes. Masters, layouts, notes,
// pictures, tables and the members of groups are not read. Raises
// DocumentError: Encrypted for a password-protected presentation, OldFormat
// for PowerPoint 95 and older, Damaged when the records do not hold what they
// claim, TooLarge past the reader's bounds.
void ReadPowerPointBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
