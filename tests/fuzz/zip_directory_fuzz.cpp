// The zip reader over hostile bytes: its directory, then every entry inflated
// to the end. Whatever it reads may raise DocumentError, nothing else.
#include <cstddef>
#include <cstdint>

#include "documents/ZipArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    MemoryByteSource source(data, size);
    try {
        ZipLimits limits;
        limits.maxEntrySize = 4u << 20;
        limits.maxTotalSize = 16u << 20;
        ZipArchive zip(source, limits);
        char buffer[4096];
        for (const ZipEntry& entry : zip.Entries()) {
            try {
                zip.Find(entry.name);
                auto stream = zip.Open(entry);
                while (stream->Read(buffer, sizeof buffer) > 0) {
                }
            } catch (const DocumentError&) {
                // One broken entry; the others are still read.
            }
        }
    } catch (const DocumentError&) {
    }
    return 0;
}
