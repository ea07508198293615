// The text of a PowerPoint 97-2003 binary document held in a compound file.
#pragma once

#include "matchers/DocumentText.h"
#include "platform/CompoundFile.h"

namespace querna {

void ReadPowerPointBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
