// The Word 97 reader: a compound file, or the WordDocument stream (after a
// 32-bit length) followed by the table stream.
#include "documents/WordBinaryText.h"
#include "tests/fuzz/FuzzStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    fuzz::ReadDocument(data, size, ReadWordBinaryText, [](const uint8_t* d, size_t n) {
        fuzz::RawStreams raw = fuzz::SplitStreams(d, n, "WordDocument", "1Table");
        if (raw.streams.count("1Table")) raw.streams["0Table"] = raw.streams["1Table"];
        return raw;
    });
    return 0;
}
