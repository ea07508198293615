// The PowerPoint 97 reader: a compound file, or the Current User stream
// (after a 32-bit length) followed by the PowerPoint Document stream.
#include "documents/PowerPointBinaryText.h"
#include "tests/fuzz/FuzzStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    fuzz::ReadDocument(data, size, ReadPowerPointBinaryText, [](const uint8_t* d, size_t n) {
        return fuzz::SplitStreams(d, n, "Current User", "PowerPoint Document");
    });
    return 0;
}
