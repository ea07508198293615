// Follows [MS-CFB] sections 2.2 (header), 2.3 to 2.5 (FAT, mini FAT, DIFAT)
// and 2.6 (directory entries).
#include "documents/CompoundFileReader.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"

namespace querna {

namespace {

constexpr uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr unsigned kMiniSectorShift = 6;
constexpr uint32_t kMiniSectorSize = 1u << kMiniSectorShift;
// Streams shorter than this live in the mini stream; the header must say so.
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr size_t kDirectoryEntrySize = 128;
constexpr size_t kHeaderDifatEntries = 109;

enum EntryType : uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

struct DirectoryEntry {
    // At most 32 characters, kept in the entry: a directory of many entries
    // costs no allocation for each name.
    char16_t name[32] = {};
    uint8_t nameLength = 0;
    uint8_t type = 0;
    uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
};

// Walks the directory entries reachable from `first` by their left and right
// links, and from storages by their child links too when `intoStorages`. A
// damaged file may link the entries into a cycle: every entry is walked once,
// whatever the links say, and a link out of the directory or back to an entry
// walked already (`visited`, as many as the entries, may mark some
// beforehand) is damage. `pending` is room for the walk. Returns the first
// entry `wanted` holds for; kNoStream when none does.
template <typename Wanted>
uint32_t WalkEntries(const std::vector<DirectoryEntry>& entries, uint32_t first, bool intoStorages,
                     std::vector<bool>& visited, std::vector<uint32_t>& pending, Wanted wanted) {
    pending.assign(1, first);
    while (!pending.empty()) {
        const uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream) continue;
        if (id >= entries.size() || visited[id]) ThrowDamaged();
        visited[id] = true;
        const DirectoryEntry& entry = entries[id];
        if (wanted(entry)) return id;
        pending.push_back(entry.left);
        pending.push_back(entry.right);
        if (intoStorages && entry.type == kStorage) pending.push_back(entry.child);
    }
    return kNoStream;
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? c - u'a' + u'A' : c;
}

bool SameName(const DirectoryEntry& stored, std::string_view wanted) {
    if (stored.nameLength != wanted.size()) return false;
    for (size_t i = 0; i < wanted.size(); ++i) {
        const char16_t w = static_cast<unsigned char>(wanted[i]);
        if (FoldAscii(stored.name[i]) != FoldAscii(w)) return false;
    }
    return true;
}

// A directory entry from its 128 bytes at `p`.
DirectoryEntry ReadEntry(const unsigned char* p, unsigned sectorShift) {
    DirectoryEntry entry;
    const size_t nameBytes = std::min<size_t>(LoadU16(p + 64), 64);
    for (size_t i = 0; i + 1 < nameBytes; i += 2) {
        const char16_t c = LoadU16(p + i);
        if (c == 0) break;
        entry.name[entry.nameLength++] = c;
    }
    entry.type = p[66];
    entry.left = LoadU32(p + 68);
    entry.right = LoadU32(p + 72);
    entry.child = LoadU32(p + 76);
    entry.start = LoadU32(p + 116);
    // Version 3 writers may leave garbage in the high half of the size.
    entry.size = sectorShift == 9 ? LoadU32(p + 120) : LoadU64(p + 120);
    return entry;
}

// The bytes of one stream: unit k of the stream (a sector of the file, or a
// mini sector of the mini stream) lies at base + units[k] * unit bytes of
// its container. Consecutive units are read with one read of the container,
// at most kMaxCompoundRun bytes at a time. Small reads (a record header, a FIB) are
// served from a few blocks of the stream read ahead, so that a reader walking
// records costs no read of the file per record, even when it goes back and
// forth between two places (a slide and the slide list that holds its text).
class CompoundStream final : public ByteSource {
  public:
    CompoundStream(std::shared_ptr<ByteSource> container, std::vector<uint32_t> units,
                   unsigned unitShift, uint64_t base, uint64_t size)
        : container_(std::move(container)),
          units_(std::move(units)),
          unitShift_(unitShift),
          base_(base),
          size_(size) {}

    uint64_t Size() const override { return size_; }

    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_) return 0;
        count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        auto* out = static_cast<unsigned char*>(buffer);
        if (count >= kBlock) {
            if (ReadUnits(offset, out, count) != count) ThrowDamaged();
            return count;
        }
        for (size_t done = 0; done < count;) {
            const uint64_t at = offset + done;
            const Block& block = BlockOf(at);
            const size_t n = static_cast<size_t>(
                std::min<uint64_t>(count - done, block.start + block.filled - at));
            std::memcpy(out + done, block.bytes.get() + (at - block.start), n);
            done += n;
        }
        return count;
    }

    // As far as the stream's units from `offset` follow one another in the
    // container, the container's own view of them.
    std::span<const unsigned char> View(uint64_t offset, size_t count) override {
        if (offset >= size_) return {};
        count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        const uint64_t unit = uint64_t{1} << unitShift_;
        size_t index = static_cast<size_t>(offset >> unitShift_);
        const uint64_t start =
            base_ + (uint64_t{units_.at(index)} << unitShift_) + (offset & (unit - 1));
        size_t n = static_cast<size_t>(std::min<uint64_t>(count, unit - (offset & (unit - 1))));
        while (n < count && index + 1 < units_.size() && units_[index + 1] == units_[index] + 1) {
            ++index;
            n += static_cast<size_t>(std::min<uint64_t>(count - n, unit));
        }
        return container_->View(start, n);
    }

  private:
    static constexpr size_t kBlock = 16 * 1024;
    static constexpr size_t kBlocks = 4;

    struct Block {
        // Allocated on first use, at most the stream's size, and without the
        // fill a vector makes: every read writes the bytes it serves.
        std::unique_ptr<unsigned char[]> bytes;
        uint64_t start = 0;
        size_t filled = 0;
        uint64_t used = 0;  // when it last served a read
    };

    // Reads [offset, offset + count) of the stream, a run of consecutive
    // units at a time; returns how many bytes were read before the container
    // fell short (a file cut off under its stream).
    size_t ReadUnits(uint64_t offset, unsigned char* out, size_t count) {
        const uint64_t unit = uint64_t{1} << unitShift_;
        size_t done = 0;
        while (done < count) {
            const uint64_t at = offset + done;
            size_t index = static_cast<size_t>(at >> unitShift_);
            const uint64_t start =
                base_ + (uint64_t{units_.at(index)} << unitShift_) + (at & (unit - 1));
            size_t n =
                static_cast<size_t>(std::min<uint64_t>(count - done, unit - (at & (unit - 1))));
            while (n < count - done && n < kMaxCompoundRun && index + 1 < units_.size() &&
                   units_[index + 1] == units_[index] + 1) {
                ++index;
                n += static_cast<size_t>(std::min<uint64_t>(count - done - n, unit));
            }
            const size_t got = container_->ReadAt(start, out + done, n);
            done += got;
            if (got != n) break;
        }
        return done;
    }

    // The block that holds `at`, read into the least recently used one when
    // none does: as much of the block as the container holds, and at least
    // the byte at `at`.
    const Block& BlockOf(uint64_t at) {
        Block* oldest = &blocks_[0];
        for (Block& block : blocks_) {
            if (at >= block.start && at < block.start + block.filled) {
                block.used = ++clock_;
                return block;
            }
            if (block.used < oldest->used) oldest = &block;
        }
        Block& block = *oldest;
        block.start = at - at % kBlock;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kBlock, size_ - block.start));
        if (!block.bytes) {
            block.bytes.reset(new unsigned char[std::min<uint64_t>(kBlock, size_)]);
        }
        block.filled = ReadUnits(block.start, block.bytes.get(), wanted);
        if (at >= block.start + block.filled) ThrowDamaged();
        block.used = ++clock_;
        return block;
    }

    std::shared_ptr<ByteSource> container_;
    std::vector<uint32_t> units_;
    unsigned unitShift_;
    uint64_t base_;
    uint64_t size_;
    Block blocks_[kBlocks];
    uint64_t clock_ = 0;
};

}  // namespace

struct CompoundFileReader::Volume {
    std::shared_ptr<ByteSource> file;
    uint64_t fileSize = 0;
    unsigned sectorShift = 9;
    uint32_t sectorSize = 512;
    uint32_t sectorCount = 0;  // whole or partial sectors present in the file
    std::vector<uint32_t> fat;
    std::vector<uint32_t> miniFat;
    std::vector<DirectoryEntry> entries;
    std::shared_ptr<ByteSource> miniStream;

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
    // Calls `take` with the bytes of each sector of `sectors` in turn, where
    // they lie in the file when it is held in memory, else read into room
    // on the stack: a table or directory of a few sectors costs no
    // allocation.
    template <typename Take>
    void ForEachSector(const std::vector<uint32_t>& sectors, Take take) const {
        unsigned char room[4096];
        for (uint32_t sector : sectors) {
            if (sector >= sectorCount) ThrowDamaged();
            const std::span<const unsigned char> view =
                file->View(SectorOffset(sector), sectorSize);
            if (view.size() == sectorSize) {
                take(view.data());
            } else {
                ReadSector(sector, room);
                take(room);
            }
        }
    }
    // Appends the 32-bit entries of the sectors `sectors` to `table`.
    void ReadTable(const std::vector<uint32_t>& sectors, std::vector<uint32_t>& table) const;
    void ReadHeaderAndFat(const unsigned char* header);
    void ReadDirectory(uint32_t firstSector);
    void CheckTree() const;
    void ReadMiniFat(uint32_t firstSector);
    uint32_t Find(uint32_t storage, std::string_view name) const;
    // Room for the walks of CheckTree and Find, and for the sectors met by
    // Chain, kept from one to the next.
    mutable std::vector<bool> walkVisited;
    mutable std::vector<uint32_t> walkPending;
    mutable std::vector<bool> chainVisited;
};

std::vector<uint32_t> CompoundFileReader::Volume::Chain(const std::vector<uint32_t>& table,
                                                        uint32_t start, uint64_t needed,
                                                        bool toEnd) const {
    std::vector<uint32_t> chain;
    // Callers have bounded `needed` by the sectors the file holds.
    if (!toEnd) chain.reserve(static_cast<size_t>(needed));
    std::vector<bool>& visited = chainVisited;
    visited.assign(table.size(), false);
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
    fatSectorList.reserve(fatSectors);
    for (size_t i = 0; i < kHeaderDifatEntries && fatSectorList.size() < fatSectors; ++i)
        fatSectorList.push_back(LoadU32(header + 76 + 4 * i));
    if (fatSectorList.size() < fatSectors) {
        // Most files hold their whole FAT list in the header: the DIFAT's
        // room is taken only where one goes on past it.
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
    }
    ReadTable(fatSectorList, fat);
}

void CompoundFileReader::Volume::ReadTable(const std::vector<uint32_t>& sectors,
                                           std::vector<uint32_t>& table) const {
    // No more sectors lie in the file, which bounds the room taken here.
    const size_t inFile = std::min<size_t>(sectors.size(), sectorCount);
    table.reserve(table.size() + (inFile << sectorShift) / 4);
    ForEachSector(sectors, [&](const unsigned char* bytes) {
        for (size_t i = 0; i < sectorSize; i += 4) table.push_back(LoadU32(bytes + i));
    });
}

void CompoundFileReader::Volume::ReadDirectory(uint32_t firstSector) {
    const std::vector<uint32_t> chain = Chain(fat, firstSector, 0, true);
    if (chain.empty()) ThrowDamaged();
    const size_t inFile = std::min<size_t>(chain.size(), sectorCount);
    entries.reserve((inFile << sectorShift) / kDirectoryEntrySize);
    ForEachSector(chain, [&](const unsigned char* sector) {
        for (size_t at = 0; at < sectorSize; at += kDirectoryEntrySize)
            entries.push_back(ReadEntry(sector + at, sectorShift));
    });
    if (entries[0].type != kRoot) ThrowDamaged();
    CheckTree();
}

// Every entry reachable from the root is reached once: a link out of range or
// a second way to an entry (a cycle) makes the file damaged, even where a
// look-up would not pass by it. Other readers of the same file, which search
// the tree by name, could otherwise go round a cycle for ever.
void CompoundFileReader::Volume::CheckTree() const {
    walkVisited.assign(entries.size(), false);
    walkVisited[0] = true;
    WalkEntries(entries, entries[0].child, true, walkVisited, walkPending,
                [](const DirectoryEntry&) { return false; });
}

void CompoundFileReader::Volume::ReadMiniFat(uint32_t firstSector) {
    if (firstSector == kEndOfChain) return;
    ReadTable(Chain(fat, firstSector, 0, true), miniFat);
}

// Looks `name` up among the children of `storage`. The children form a
// red-black tree by name, but a damaged file may order it wrongly or link it
// into a cycle: every node is visited once, whatever the links say.
uint32_t CompoundFileReader::Volume::Find(uint32_t storage, std::string_view name) const {
    walkVisited.assign(entries.size(), false);
    return WalkEntries(entries, entries[storage].child, false, walkVisited, walkPending,
                       [&](const DirectoryEntry& entry) {
                           return (entry.type == kStorage || entry.type == kStream) &&
                                  SameName(entry, name);
                       });
}

CompoundFileReader::CompoundFileReader(std::unique_ptr<ByteSource> file) {
    auto volume = std::make_shared<Volume>();
    volume->fileSize = file->Size();
    volume->file = std::shared_ptr<ByteSource>(std::move(file));
    unsigned char header[512];
    ReadExactly(*volume->file, 0, header, sizeof header);
    volume->ReadHeaderAndFat(header);
    volume->ReadDirectory(LoadU32(header + 48));
    volume->ReadMiniFat(LoadU32(header + 60));

    const DirectoryEntry& root = volume->entries[0];
    if (root.size > 0) {
        const uint64_t needed = (root.size + volume->sectorSize - 1) >> volume->sectorShift;
        if (needed > volume->sectorCount) ThrowDamaged();
        volume->miniStream = std::make_shared<CompoundStream>(
            volume->file, volume->Chain(volume->fat, root.start, needed, false),
            volume->sectorShift, volume->sectorSize, root.size);
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
        const std::string_view name =
            std::string_view(path).substr(from, slash == std::string::npos ? slash : slash - from);
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
        const uint64_t miniStreamSize = v.miniStream ? v.miniStream->Size() : 0;
        if (needed * kMiniSectorSize > miniStreamSize + kMiniSectorSize - 1) ThrowDamaged();
        return std::make_unique<CompoundStream>(v.miniStream,
                                                v.Chain(v.miniFat, entry.start, needed, false),
                                                kMiniSectorShift, 0, entry.size);
    }
    const uint64_t needed = (entry.size + v.sectorSize - 1) >> v.sectorShift;
    if (needed > v.sectorCount) ThrowDamaged();
    return std::make_unique<CompoundStream>(v.file, v.Chain(v.fat, entry.start, needed, false),
                                            v.sectorShift, v.sectorSize, entry.size);
}

}  // namespace querna
