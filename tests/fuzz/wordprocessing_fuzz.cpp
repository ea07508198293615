// The WordprocessingText reader over hostile packages: see support/FuzzPackage.h for
// the input. Whatever it reads may raise DocumentError, nothing else.
#include <cstddef>
#include <cstdint>

#include "documents/WordprocessingText.h"
#include "tests/fuzz/support/FuzzPackage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    querna::fuzz::ReadFuzzPackage(data, size, querna::ReadWordprocessingText);
    return 0;
}
