// Follows [MS-CFB] sections 2.2 (header), 2.3 to 2.5 (FAT, mini FAT, DIFAT)
// and 2.6 (directory entries).
#include "documents/CompoundFileReader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "documents/BinaryFields.h"

namespace querna {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMiniSectorSize = 64;
// Streams shorter than this live in the mini stream; the header must say so.
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr size_t kDirectoryEntrySize = 128;
constexpr size_t kHeaderDifatEntries = 109;

enum EntryType : uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

struct DirectoryEntry {
    std::u16string name;
    uint8_t type = 0;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
};

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
}

bool SameName(const std::u16string& stored, const std::string& wanted) {
    if (stored.size() != wanted.size()) return false;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const char16_t w = static_cast<unsigned char>(wanted[i]);
        if (FoldAscii(stored[i]) != FoldAscii(w)) return false;
    }
    return true;
}

}  // namespace

struct CompoundFileReader::Volume {
    std::unique_ptr<ByteSource> file;
    uint64_t fileSize = 0;
    unsigned sectorShift = 9;
    uint32_t sectorSize = 512;
    uint32_t sectorCount = 0;  // whole or partial sectors present in the file
    std::vector<uint32_t> fat;
    std::vector<uint32_t> miniFat;
    std::vector<DirectoryEntry> entries;
    std::vector<uint32_t> miniStreamSectors;
    uint64_t miniStreamSize = 0;

    uint64_t SectorOffset(uint32_t sector) const {
        return (static_cast<uint64_t>(sector) + 1) << sectorShift;
    }
    void ReadSector(uint32_t sector, unsigned char* buffer) const {
        if (sector >= sectorCount) ThrowDamaged();
        ReadExactly(*file, SectorOffset(sector), buffer, sectorSize);
    }
    // The sectors of a chain in `table` from `start`. With `needed` set, the
    // chain must reach that many sectors and is not followed further; without
    // it, the chain runs to its end mark. A sector met twice is a loop.
    std::vector<uint32_t> Chain(const std::vector<uint32_t>& table, uint32_t start, uint64_t needed,
                                bool toEnd) const;
    void ReadHeaderAndFat(const unsigned char* header);
    void ReadDirectory(uint32_t firstSector);
    void CheckTree() const;
    void ReadMiniFat(uint32_t firstSector);
    uint32_t Find(uint32_t storage, const std::string& name) const;
};

std::vector<uint32_t> CompoundFileReader::Volume::Chain(const std::vector<uint32_t>& table,
                                                        uint32_t start, uint64_t needed,
                                                        bool toEnd) const {
    std::vector<uint32_t> chain;
    std::vector<bool> visited(table.size());
    uint32_t sector = start;
    while (toEnd || chain.size() < needed) {
        if (sector == kEndOfChain && toEnd) break;
        if (sector >= table.size() || visited[sector]) ThrowDamaged();
        visited[sector] = true;
        chain.push_back(sector);
        sector = table[sector];
    }
    return chain;
}

void CompoundFileReader::Volume::ReadHeaderAndFat(const unsigned char* header) {
    if (std::memcmp(header, kCompoundFileSignature, sizeof kCompoundFileSignature) != 0) {
        ThrowDamaged();
    }
    const uint16_t major = LoadU16(header + 26);
    sectorShift = LoadU16(header + 30);
    if (LoadU16(header + 28) != 0xFFFE || LoadU16(header + 32) != 6) ThrowDamaged();
    if (!((major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12))) ThrowDamaged();
    if (LoadU32(header + 56) != kMiniStreamCutoff) ThrowDamaged();
    sectorSize = 1u << sectorShift;
    if (fileSize < sectorSize) ThrowDamaged();
    const uint64_t sectors = (fileSize - sectorSize + sectorSize - 1) >> sectorShift;
    sectorCount = static_cast<uint32_t>(std::min<uint64_t>(sectors, kMaxRegularSector));

    // Every FAT sector is a sector of the file, so a count past that is a lie.
    const uint32_t fatSectors = LoadU32(header + 44);
    uint32_t difatSector = LoadU32(header + 68);
    const uint32_t difatSectors = LoadU32(header + 72);
    if (fatSectors > sectorCount || difatSectors > sectorCount) ThrowDamaged();

    std::vector<uint32_t> fatSectorList;
    for (size_t i = 0; i < kHeaderDifatEntries && fatSectorList.size() < fatSectors; ++i)
        fatSectorList.push_back(LoadU32(header + 76 + 4 * i));
    std::vector<unsigned char> buffer(sectorSize);
    std::vector<bool> visited(sectorCount);
    const size_t perDifat = sectorSize / 4 - 1;
    for (uint32_t n = 0; n < difatSectors && fatSectorList.size() < fatSectors; ++n) {
        if (difatSector >= sectorCount || visited[difatSector]) ThrowDamaged();
        visited[difatSector] = true;
        ReadSector(difatSector, buffer.data());
        for (size_t i = 0; i < perDifat && fatSectorList.size() < fatSectors; ++i)
            fatSectorList.push_back(LoadU32(buffer.data() + 4 * i));
        difatSector = LoadU32(buffer.data() + 4 * perDifat);
    }
    if (fatSectorList.size() < fatSectors) ThrowDamaged();

    fat.reserve(static_cast<size_t>(fatSectors) * (sectorSize / 4));
    for (uint32_t sector : fatSectorList) {
        ReadSector(sector, buffer.data());
        for (size_t i = 0; i < sectorSize / 4; ++i) fat.push_back(LoadU32(buffer.data() + 4 * i));
    }
}

void CompoundFileReader::Volume::ReadDirectory(uint32_t firstSector) {
    const std::vector<uint32_t> chain = Chain(fat, firstSector, 0, true);
    if (chain.empty()) ThrowDamaged();
    std::vector<unsigned char> buffer(sectorSize);
    for (uint32_t sector : chain) {
        ReadSector(sector, buffer.data());
        for (size_t at = 0; at + kDirectoryEntrySize <= sectorSize; at += kDirectoryEntrySize) {
            const unsigned char* p = buffer.data() + at;
            DirectoryEntry entry;
            const size_t nameBytes = std::min<size_t>(LoadU16(p + 64), 64);
            for (size_t i = 0; i + 1 < nameBytes; i += 2) {
                const char16_t c = LoadU16(p + i);
                if (c == 0) break;
                entry.name.push_back(c);
            }
            entry.type = p[66];
            entry.left = LoadU32(p + 68);
            entry.right = LoadU32(p + 72);
            entry.child = LoadU32(p + 76);
            entry.start = LoadU32(p + 116);
            // Version 3 writers may leave garbage in the high half of the size.
            entry.size = sectorShift == 9 ? LoadU32(p + 120) : LoadU64(p + 120);
            entries.push_back(std::move(entry));
        }
    }
    if (entries[0].type != kRoot) ThrowDamaged();
    CheckTree();
}

// Every entry reachable from the root is reached once: a link out of range or
// a second way to an entry (a cycle) makes the file damaged, even where a
// look-up would not pass by it. Other readers of the same file, which search
// the tree by name, could otherwise go round a cycle for ever.
void CompoundFileReader::Volume::CheckTree() const {
    std::vector<bool> visited(entries.size());
    visited[0] = true;
    std::vector<uint32_t> pending{entries[0].child};
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (id >= entries.size() || visited[id]) ThrowDamaged();
        visited[id] = true;
        const DirectoryEntry& entry = entries[id];
        pending.push_back(entry.left);
        pending.push_back(entry.right);
        if (entry.type == kStorage) pending.push_back(entry.child);
    }
}

void CompoundFileReader::Volume::ReadMiniFat(uint32_t firstSector) {
    if (firstSector == kEndOfChain) return;
    std::vector<unsigned char> buffer(sectorSize);
    for (uint32_t sector : Chain(fat, firstSector, 0, true)) {
        ReadSector(sector, buffer.data());
        for (size_t i = 0; i < sectorSize / 4; ++i)
            miniFat.push_back(LoadU32(buffer.data() + 4 * i));
    }
}

// Looks `name` up among the children of `storage`. The children form a
// red-black tree by name, but a damaged file may order it wrongly or link it
// into a cycle: every node is visited once, whatever the links say.
uint32_t CompoundFileReader::Volume::Find(uint32_t storage, const std::string& name) const {
    std::vector<bool> visited(entries.size());
    std::vector<uint32_t> pending{entries[storage].child};
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (id >= entries.size() || visited[id]) ThrowDamaged();
        visited[id] = true;
        const DirectoryEntry& entry = entries[id];
        if ((entry.type == kStorage || entry.type == kStream) && SameName(entry.name, name))
            return id;
        pending.push_back(entry.left);
        pending.push_back(entry.right);
    }
    return kNoStream;
}

namespace {

// One stream's bytes: its sectors in the file, or its mini sectors in the
// mini stream.
class CompoundStream final : public ByteSource {
  public:
    CompoundStream(std::shared_ptr<const CompoundFileReader::Volume> volume,
                   std::vector<uint32_t> sectors, bool mini, uint64_t size)
        : volume_(std::move(volume)), sectors_(std::move(sectors)), mini_(mini), size_(size) {}

    uint64_t Size() const override { return size_; }

    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_) return 0;
        count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        const uint32_t unit = mini_ ? kMiniSectorSize : volume_->sectorSize;
        auto* out = static_cast<unsigned char*>(buffer);
        size_t done = 0;
        while (done < count) {
            const uint64_t at = offset + done;
            const uint64_t index = at / unit;
            const uint32_t within = static_cast<uint32_t>(at % unit);
            const size_t n = std::min<size_t>(count - done, unit - within);
            ReadExactly(*volume_->file, FileOffset(sectors_.at(index), within, n), out + done, n);
            done += n;
        }
        return done;
    }

  private:
    uint64_t FileOffset(uint32_t sector, uint32_t within, size_t n) const {
        const CompoundFileReader::Volume& v = *volume_;
        if (!mini_) return v.SectorOffset(sector) + within;
        // A mini sector never straddles two sectors of the mini stream.
        const uint64_t inMini = static_cast<uint64_t>(sector) * kMiniSectorSize + within;
        if (inMini + n > v.miniStreamSize) ThrowDamaged();
        const uint64_t index = inMini >> v.sectorShift;
        if (index >= v.miniStreamSectors.size()) ThrowDamaged();
        return v.SectorOffset(v.miniStreamSectors[index]) + (inMini & (v.sectorSize - 1));
    }

    std::shared_ptr<const CompoundFileReader::Volume> volume_;
    std::vector<uint32_t> sectors_;
    bool mini_;
    uint64_t size_;
};

}  // namespace

CompoundFileReader::CompoundFileReader(std::unique_ptr<ByteSource> file) {
    auto volume = std::make_shared<Volume>();
    volume->fileSize = file->Size();
    volume->file = std::move(file);
    unsigned char header[512];
    ReadExactly(*volume->file, 0, header, sizeof header);
    volume->ReadHeaderAndFat(header);
    volume->ReadDirectory(LoadU32(header + 48));
    volume->ReadMiniFat(LoadU32(header + 60));

    const DirectoryEntry& root = volume->entries[0];
    if (root.size > 0) {
        const uint64_t needed = (root.size + volume->sectorSize - 1) >> volume->sectorShift;
        if (needed > volume->sectorCount) ThrowDamaged();
        volume->miniStreamSectors = volume->Chain(volume->fat, root.start, needed, false);
        volume->miniStreamSize = root.size;
    }
    volume_ = std::move(volume);
}

CompoundFileReader::~CompoundFileReader() = default;

std::unique_ptr<ByteSource> CompoundFileReader::OpenStream(const std::string& path) {
    const Volume& v = *volume_;
    uint32_t id = 0;
    size_t from = 0;
    while (true) {
        const size_t slash = path.find('/', from);
        const std::string name =
            path.substr(from, slash == std::string::npos ? slash : slash - from);
        id = v.Find(id, name);
        if (id == kNoStream) return nullptr;
        if (slash == std::string::npos) break;
        if (v.entries[id].type != kStorage) return nullptr;
        from = slash + 1;
    }
    const DirectoryEntry& entry = v.entries[id];
    if (entry.type != kStream) return nullptr;
    if (entry.size < kMiniStreamCutoff) {
        const uint64_t needed = (entry.size + kMiniSectorSize - 1) / kMiniSectorSize;
        if (needed * kMiniSectorSize > v.miniStreamSize + kMiniSectorSize - 1) ThrowDamaged();
        return std::make_unique<CompoundStream>(
            volume_, v.Chain(v.miniFat, entry.start, needed, false), true, entry.size);
    }
    const uint64_t needed = (entry.size + v.sectorSize - 1) >> v.sectorShift;
    if (needed > v.sectorCount) ThrowDamaged();
    return std::make_unique<CompoundStream>(volume_, v.Chain(v.fat, entry.start, needed, false),
                                            false, entry.size);
}

}  // namespace querna
