#include "tests/fuzz/support/FuzzPackage.h"

#include <string_view>

#include "documents/XmlTokenizer.h"
#include "tests/fakes/ZipBuilder.h"
#include "tests/fuzz/support/FuzzSinks.h"

namespace querna::fuzz {

std::string PackageFromFuzzInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.substr(0, 2) == "PK") return std::string(input);
    constexpr std::string_view kMarker = "@@@@ ";
    fakes::ZipBuilder zip;
    size_t pos = input.find(kMarker);
    while (pos != std::string_view::npos) {
        const size_t nameStart = pos + kMarker.size();
        const size_t lineEnd = input.find('\n', nameStart);
        if (lineEnd == std::string_view::npos) break;
        const size_t next = input.find(std::string("\n") + std::string(kMarker), lineEnd);
        const size_t contentEnd = next == std::string_view::npos ? input.size() : next;
        zip.Add(std::string(input.substr(nameStart, lineEnd - nameStart)),
                std::string(input.substr(lineEnd + 1, contentEnd - lineEnd - 1)), false);
        pos = next == std::string_view::npos ? next : next + 1;
    }
    return zip.Build();
}

void ReadFuzzPackage(const uint8_t* data, size_t size, PackageReader read) {
    const std::string bytes = PackageFromFuzzInput(data, size);
    MemoryByteSource source(bytes.data(), bytes.size());
    XmlTokenizerReaders xml;
    CollectingSink sink;
    try {
        ZipLimits limits;
        limits.maxEntrySize = 8u << 20;
        limits.maxTotalSize = 32u << 20;
        ZipArchive package(source, limits);
        read(package, xml, sink);
    } catch (const DocumentError&) {
    }
}

}  // namespace querna::fuzz
