// The text of a Excel 97-2003 binary document held in a compound file.
#pragma once

#include "matchers/DocumentText.h"
#include "platform/CompoundFile.h"

namespace querna {

void ReadExcelBinaryText(CompoundStorage& storage, TextUnitSink& sink);

}  // namespace querna
