// The compound-file reader on arbitrary bytes: open, look streams up by the
// names the readers use and read each one whole.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/fuzz/FuzzStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    try {
        CompoundFileReader reader(std::make_unique<MemoryByteSource>(data, size));
        for (const char* name :
             {"WordDocument", "1Table", "0Table", "Workbook", "Book", "Current User",
              "PowerPoint Document", "ObjectPool/_1/Contents", "\x05SummaryInformation"}) {
            auto stream = reader.OpenStream(name);
            if (!stream) continue;
            std::vector<unsigned char> buffer(4096);
            for (uint64_t at = 0; at < stream->Size(); at += buffer.size())
                stream->ReadAt(at, buffer.data(), buffer.size());
        }
    } catch (const DocumentError&) {
    }
    return 0;
}
