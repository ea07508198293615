// The text of a Word 97-2003 binary document held in a compound file.
#pragma once

#include "matchers/DocumentText.h"
#include "platform/CompoundFile.h"

namespace querna {

void ReadWordBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
