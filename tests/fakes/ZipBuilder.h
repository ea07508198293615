// Writes zip archives in memory for tests and fuzz targets: well-formed ones
// (stored or deflated entries, zip64 records on request) and hostile ones,
// whose headers lie in the ways a test asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace querna::fakes {

struct ZipBuilderEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    uint16_t flags = 0;
    std::optional<uint16_t> method;        // written instead of 0 or 8
    std::optional<uint64_t> declaredSize;  // written instead of the real size
    std::optional<uint32_t> declaredCrc;   // written instead of the real CRC
    std::optional<uint64_t> localOffset;   // written instead of the real offset
};

class ZipBuilder {
  public:
    ZipBuilder& Add(std::string name, std::string data, bool deflate = true) {
        ZipBuilderEntry entry;
        entry.name = std::move(name);
        entry.data = std::move(data);
        entry.deflate = deflate;
        entries.push_back(std::move(entry));
        return *this;
    }
    // The archive's bytes.
    std::string Build() const;

    std::vector<ZipBuilderEntry> entries;
    bool zip64 = false;   // zip64 extra fields for every entry, and zip64 end records
    std::string comment;  // the archive comment after the end record
    std::string prefix;   // bytes before the first entry
    // Entries the end records claim; past 0xFFFF, the zip32 record says
    // 0xFFFF, as it does where a zip64 record holds the count.
    std::optional<uint64_t> declaredCount;
};

// Raw deflate data (no zlib header) of `data`, at the best compression.
std::string Deflate(const std::string& data);

}  // namespace querna::fakes
