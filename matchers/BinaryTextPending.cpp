// See BinaryTextPending.h.
#include "matchers/BinaryTextPending.h"

#include "matchers/ExcelBinaryText.h"
#include "matchers/PowerPointBinaryText.h"
#include "matchers/WordBinaryText.h"

namespace querna {

void ReadWordBinaryText(CompoundStorage&, TextUnitSink&) {
    throw DocumentError(DocumentFault::OldFormat);
}

void ReadExcelBinaryText(CompoundStorage&, TextUnitSink&) {
    throw DocumentError(DocumentFault::OldFormat);
}

void ReadPowerPointBinaryText(CompoundStorage&, TextUnitSink&) {
    throw DocumentError(DocumentFault::OldFormat);
}

}  // namespace querna
