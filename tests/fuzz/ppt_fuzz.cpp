// The PowerPoint 97 reader: a compound file, or the Current User stream
// (after a 32-bit length) followed by the PowerPoint Document stream. The
// reader's room is kept from one input to the next, as a search keeps it from
// one presentation to the next: each input is also read after whatever the
// inputs before it left there.
#include "documents/PowerPointBinaryText.h"
#include "tests/fuzz/FuzzStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    static PowerPointBuffers buffers;
    const auto read = [](CompoundStorage& storage, TextUnitSink& sink) {
        ReadPowerPointBinaryText(storage, sink, &buffers);
    };
    fuzz::ReadDocument(data, size, read, [](const uint8_t* d, size_t n) {
        return fuzz::SplitStreams(d, n, "Current User", "PowerPoint Document");
    });
    return 0;
}
