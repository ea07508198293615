// Builds compound files in memory for the readers' tests: version 3 or 4,
// streams below 4096 bytes in the mini stream, storages for paths with '/'.
// The layout is simple and known, so a test can damage exactly one thing.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "documents/CompoundFile.h"
#include "platform/ByteSource.h"

namespace querna::testing {

struct CompoundFileImage {
    std::vector<unsigned char> bytes;
    unsigned sectorSize = 512;
    uint32_t firstFatSector = 0;
    uint32_t directorySector = 0;
    std::map<std::string, uint32_t> startOf;  // stream path -> first (mini) sector

    size_t SectorOffset(uint32_t sector) const { return (sector + 1) * size_t{sectorSize}; }
    void Put32(size_t offset, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    uint32_t Get32(size_t offset) const {
        return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
               (uint32_t{bytes[offset + 3]} << 24);
    }
    // The FAT entry of `sector` (all FAT sectors are consecutive here).
    size_t FatEntry(uint32_t sector) const {
        return SectorOffset(firstFatSector + sector / (sectorSize / 4)) +
               4 * (sector % (sectorSize / 4));
    }
    // Directory entry `id` (0 is the root).
    size_t DirectoryEntry(uint32_t id) const {
        return SectorOffset(directorySector) + 128 * size_t{id};
    }
};

inline CompoundFileImage BuildCompoundFile(
    const std::vector<std::pair<std::string, std::string>>& streams, unsigned version = 3) {
    constexpr uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kNone = 0xFFFFFFFF;
    CompoundFileImage image;
    image.sectorSize = version == 4 ? 4096 : 512;
    const unsigned ss = image.sectorSize;

    struct Entry {
        std::string name;
        uint8_t type;
        uint32_t child = kNone, right = kNone, start = kEnd;
        uint64_t size = 0;
        std::string data = {};
    };
    std::vector<Entry> entries{{"Root Entry", 5}};
    std::map<std::string, uint32_t> ids{{"", 0}};
    auto link = [&](uint32_t parent, uint32_t id) {
        // Children hang as a right-leaning chain: a valid, if unbalanced, tree.
        uint32_t* slot = &entries[parent].child;
        while (*slot != kNone) slot = &entries[*slot].right;
        *slot = id;
    };
    for (const auto& [path, data] : streams) {
        uint32_t parent = 0;
        size_t from = 0;
        for (size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1) {
            const std::string storage = path.substr(0, slash);
            if (!ids.count(storage)) {
                ids[storage] = static_cast<uint32_t>(entries.size());
                entries.push_back({path.substr(from, slash - from), 1});
                link(parent, ids[storage]);
            }
            parent = ids[storage];
        }
        const uint32_t id = static_cast<uint32_t>(entries.size());
        entries.push_back({path.substr(from), 2});
        entries.back().data = data;
        entries.back().size = data.size();
        link(parent, id);
        ids[path] = id;
    }

    std::vector<std::string> sectors;
    std::vector<uint32_t> fat, miniFat;
    std::string mini;
    auto place = [](const std::string& blob, std::vector<uint32_t>& table, unsigned unit,
                    std::vector<std::string>& out) -> uint32_t {
        if (blob.empty()) return kEnd;
        const uint32_t start = static_cast<uint32_t>(out.size());
        const size_t count = (blob.size() + unit - 1) / unit;
        for (size_t i = 0; i < count; ++i) {
            std::string s = blob.substr(i * unit, unit);
            s.resize(unit, '\0');
            out.push_back(s);
            table.push_back(i + 1 < count ? start + static_cast<uint32_t>(i) + 1 : kEnd);
        }
        return start;
    };
    std::vector<std::string> miniSectors;
    for (Entry& e : entries) {
        if (e.type != 2) continue;
        e.start = e.data.size() < 4096 ? place(e.data, miniFat, 64, miniSectors)
                                       : place(e.data, fat, ss, sectors);
    }
    for (const std::string& s : miniSectors) mini += s;
    entries[0].start = place(mini, fat, ss, sectors);
    entries[0].size = mini.size();
    std::string miniFatBlob;
    for (uint32_t n : miniFat) miniFatBlob.append(reinterpret_cast<const char*>(&n), 4);
    const uint32_t miniFatStart = place(miniFatBlob, fat, ss, sectors);

    std::string directory;
    for (const Entry& e : entries) {
        std::string d(128, '\0');
        for (size_t i = 0; i < e.name.size(); ++i) d[2 * i] = e.name[i];
        d[64] = static_cast<char>(2 * (e.name.size() + 1));
        d[66] = static_cast<char>(e.type);
        d[67] = 1;  // black
        const uint32_t links[3] = {kNone, e.right, e.child};
        std::memcpy(&d[68], links, 12);
        std::memcpy(&d[116], &e.start, 4);
        std::memcpy(&d[120], &e.size, 8);
        directory += d;
    }
    image.directorySector = place(directory, fat, ss, sectors);
    for (const auto& [path, id] : ids)
        if (entries[id].type == 2) image.startOf[path] = entries[id].start;

    const size_t perFat = ss / 4;
    uint32_t fatCount = 1;
    while (fat.size() + fatCount > fatCount * perFat) ++fatCount;
    image.firstFatSector = static_cast<uint32_t>(sectors.size());
    fat.insert(fat.end(), fatCount, 0xFFFFFFFD);
    fat.resize(fatCount * perFat, kFree);
    for (uint32_t i = 0; i < fatCount; ++i)
        sectors.emplace_back(reinterpret_cast<const char*>(&fat[i * perFat]), ss);

    std::vector<unsigned char> header(ss, 0);
    std::memcpy(header.data(), kCompoundFileSignature, 8);
    image.bytes = header;
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&image.bytes[at], &v, 2); };
    put16(24, 0x3E);
    put16(26, static_cast<uint16_t>(version));
    put16(28, 0xFFFE);
    put16(30, version == 4 ? 12 : 9);
    put16(32, 6);
    image.Put32(44, fatCount);
    image.Put32(48, image.directorySector);
    image.Put32(56, 4096);
    image.Put32(60, miniFatStart);
    image.Put32(64, static_cast<uint32_t>((miniFatBlob.size() + ss - 1) / ss));
    image.Put32(68, kEnd);
    for (uint32_t i = 0; i < 109; ++i)
        image.Put32(76 + 4 * i, i < fatCount ? image.firstFatSector + i : kFree);
    for (const std::string& s : sectors) image.bytes.insert(image.bytes.end(), s.begin(), s.end());
    return image;
}

// A file as the file system holds a sparse one: it claims `size` bytes, the
// ranges written hold their bytes (a later write over an earlier one) and
// the rest reads as zeros. It counts the bytes read, so a test can bound
// what a file's claims cost without making the file.
class SparseFile final : public ByteSource {
  public:
    explicit SparseFile(uint64_t size) : size_(size) {}
    void Write(uint64_t offset, const unsigned char* data, size_t count) {
        writes_.emplace_back(offset, std::vector<unsigned char>(data, data + count));
    }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_) return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        auto* out = static_cast<unsigned char*>(buffer);
        std::memset(out, 0, n);
        for (const auto& [at, bytes] : writes_) {
            const uint64_t from = std::max(at, offset);
            const uint64_t to = std::min(at + bytes.size(), offset + n);
            if (from < to) std::memcpy(out + (from - offset), &bytes[from - at], to - from);
        }
        bytesRead += n;
        return n;
    }
    uint64_t bytesRead = 0;

  private:
    uint64_t size_;
    std::vector<std::pair<uint64_t, std::vector<unsigned char>>> writes_;
};

}  // namespace querna::testing
