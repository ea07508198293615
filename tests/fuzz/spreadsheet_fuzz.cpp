// The SpreadsheetText reader over hostile packages: see support/FuzzPackage.h for
// the input. Whatever it reads may raise DocumentError, nothing else.
#include <cstddef>
#include <cstdint>

#include "matchers/SpreadsheetText.h"
#include "tests/fakes/LibXmlReader.h"
#include "tests/fuzz/support/FuzzPackage.h"
#include "tests/fuzz/support/FuzzSinks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    const std::string bytes = fuzz::PackageFromFuzzInput(data, size);
    MemoryByteSource source(bytes.data(), bytes.size());
    fakes::LibXmlReaders xml;
    fuzz::CollectingSink sink;
    try {
        ZipLimits limits;
        limits.maxEntrySize = 8u << 20;
        limits.maxTotalSize = 32u << 20;
        ZipArchive package(source, limits);
        ReadSpreadsheetText(package, xml, sink);
    } catch (const DocumentError&) {
    }
    return 0;
}
