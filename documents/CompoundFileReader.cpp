// Follows [MS-CFB] sections 2.2 (header), 2.3 to 2.5 (FAT, mini FAT, DIFAT)
// and 2.6 (directory entries).
#include "documents/CompoundFileReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_set>
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

// One allocation table (the FAT or the mini FAT), whose 32-bit entries lie in
// sectors of the file. A sector of it is read when a chain first asks for one
// of its entries and kept in the slot its number selects, at most
// kMaxCompoundTableCache bytes of them: a table up to that size is read once
// and no more of it than the streams opened need, and one larger, or one a
// header claims far past what the file holds (a sparse file of gigabytes),
// costs memory for what is read only.
struct AllocationTable {
    uint64_t entryCount = 0;
    // Where each sector of the table lies in the file, as far as it is known:
    // the FAT's are learnt from the DIFAT as its chains go further.
    std::vector<uint32_t> sectors;
    struct Slot {
        uint32_t index = kNoStream;  // the table's sector held, kNoStream when none
        std::unique_ptr<uint32_t[]> entries;
    };
    std::vector<Slot> slots;

    void Size(uint64_t tableSectors, unsigned sectorShift) {
        entryCount = tableSectors << (sectorShift - 2);
        slots.resize(static_cast<size_t>(
            std::min<uint64_t>(tableSectors, kMaxCompoundTableCache >> sectorShift)));
    }
};

struct CompoundFileReader::Volume {
    std::shared_ptr<ByteSource> file;
    uint64_t fileSize = 0;
    unsigned sectorShift = 9;
    uint32_t sectorSize = 512;
    uint32_t sectorCount = 0;  // whole or partial sectors present in the file
    AllocationTable fat;
    AllocationTable miniFat;
    // The DIFAT as far as it has been read: its next sector, how many it may
    // still have, and those read (a loop among them is damage).
    uint32_t fatSectors = 0;
    uint32_t difatNext = kEndOfChain;
    uint32_t difatLeft = 0;
    std::unordered_set<uint32_t> difatRead;
    std::vector<DirectoryEntry> entries;
    std::shared_ptr<ByteSource> miniStream;

    uint64_t SectorOffset(uint32_t sector) const {
        return (static_cast<uint64_t>(sector) + 1) << sectorShift;
    }
    void ReadSector(uint32_t sector, unsigned char* buffer) const {
        if (sector >= sectorCount) ThrowDamaged();
        ReadExactly(*file, SectorOffset(sector), buffer, sectorSize);
    }
    // The sectors of a chain in `table` from `start`. With `toEnd` unset, the
    // chain must reach `needed` sectors and is not followed further; with it,
    // the chain runs to its end mark, within as many sectors as the file
    // holds, and past `most` sectors raises DocumentError(TooLarge). A
    // sector met twice is a loop.
    std::vector<uint32_t> Chain(AllocationTable& table, uint32_t start, uint64_t needed, bool toEnd,
                                uint64_t most = UINT64_MAX);
    // Raises DocumentError(Damaged) when a sector repeats in `chain`. The
    // chain's first sectors are kept sorted in `chainSorted` from one call
    // to the next on the same chain, so that checks made each time it
    // doubles cost n log n together.
    void CheckRepeats(const std::vector<uint32_t>& chain);
    // The entry `index` of `table`, its sector read when not held.
    uint32_t Entry(AllocationTable& table, uint32_t index);
    void LoadTableSector(AllocationTable& table, uint32_t index, AllocationTable::Slot& slot);
    // Reads DIFAT sectors until the FAT's sector `index` is known.
    void LearnFatSector(uint32_t index);
    // Calls `take` with the bytes of `sector`, where they lie in the file
    // when it is held in memory, else read into room on the stack: a table
    // or directory sector costs no allocation.
    template <typename Take>
    void WithSector(uint32_t sector, Take take) const {
        if (sector >= sectorCount) ThrowDamaged();
        const std::span<const unsigned char> view = file->View(SectorOffset(sector), sectorSize);
        if (view.size() == sectorSize) {
            take(view.data());
        } else {
            unsigned char room[4096];
            ReadSector(sector, room);
            take(room);
        }
    }
    void ReadHeader(const unsigned char* header);
    void ReadDirectory(uint32_t firstSector);
    void CheckTree() const;
    void ReadMiniFat(uint32_t firstSector);
    uint32_t Find(uint32_t storage, std::string_view name) const;
    // Room for the walks of CheckTree and Find, and for the checks of Chain,
    // kept from one to the next.
    mutable std::vector<bool> walkVisited;
    mutable std::vector<uint32_t> walkPending;
    std::vector<uint32_t> chainSorted;
};

std::vector<uint32_t> CompoundFileReader::Volume::Chain(AllocationTable& table, uint32_t start,
                                                        uint64_t needed, bool toEnd,
                                                        uint64_t most) {
    std::vector<uint32_t> chain;
    if (!toEnd && needed == 0) return chain;
    // Callers have bounded `needed` by the sectors the file holds, but a
    // sparse file holds many: room is taken as the chain is found, so a
    // size that lies costs nothing before its chain fails.
    chain.reserve(static_cast<size_t>(std::min<uint64_t>(toEnd ? 1 : needed, 4096)));
    chainSorted.clear();
    uint32_t sector = start;
    while (!(toEnd && sector == kEndOfChain)) {
        if (sector >= table.entryCount || (toEnd && chain.size() >= sectorCount)) ThrowDamaged();
        if (toEnd && chain.size() >= most) throw DocumentError(DocumentFault::TooLarge);
        chain.push_back(sector);
        // A loop is found by the time the chain is twice as long as the
        // sectors before its repetition.
        if ((chain.size() & (chain.size() - 1)) == 0) CheckRepeats(chain);
        if (!toEnd && chain.size() == needed) break;
        sector = Entry(table, sector);
    }
    CheckRepeats(chain);
    return chain;
}

void CompoundFileReader::Volume::CheckRepeats(const std::vector<uint32_t>& chain) {
    const auto checked = static_cast<std::ptrdiff_t>(chainSorted.size());
    chainSorted.insert(chainSorted.end(), chain.begin() + checked, chain.end());
    std::sort(chainSorted.begin() + checked, chainSorted.end());
    std::inplace_merge(chainSorted.begin(), chainSorted.begin() + checked, chainSorted.end());
    if (std::adjacent_find(chainSorted.begin(), chainSorted.end()) != chainSorted.end()) {
        ThrowDamaged();
    }
}

uint32_t CompoundFileReader::Volume::Entry(AllocationTable& table, uint32_t index) {
    if (index >= table.entryCount) ThrowDamaged();
    const unsigned shift = sectorShift - 2;
    const uint32_t sector = index >> shift;
    AllocationTable::Slot& slot = table.slots[sector % table.slots.size()];
    if (slot.index != sector) LoadTableSector(table, sector, slot);
    return slot.entries[index & ((1u << shift) - 1)];
}

void CompoundFileReader::Volume::LoadTableSector(AllocationTable& table, uint32_t index,
                                                 AllocationTable::Slot& slot) {
    if (&table == &fat) LearnFatSector(index);
    slot.index = kNoStream;  // until the sector is read whole
    if (!slot.entries) slot.entries.reset(new uint32_t[sectorSize / 4]);
    WithSector(table.sectors[index], [&](const unsigned char* bytes) {
        for (uint32_t i = 0; i < sectorSize / 4; ++i) slot.entries[i] = LoadU32(bytes + 4 * i);
    });
    slot.index = index;
}

void CompoundFileReader::Volume::LearnFatSector(uint32_t index) {
    std::vector<uint32_t>& known = fat.sectors;
    if (index < known.size()) return;
    const size_t perDifat = sectorSize / 4 - 1;
    while (known.size() <= index) {
        if (difatLeft == 0 || !difatRead.insert(difatNext).second) ThrowDamaged();
        --difatLeft;
        WithSector(difatNext, [&](const unsigned char* bytes) {
            for (size_t i = 0; i < perDifat && known.size() < fatSectors; ++i)
                known.push_back(LoadU32(bytes + 4 * i));
            difatNext = LoadU32(bytes + 4 * perDifat);
        });
    }
}

void CompoundFileReader::Volume::ReadHeader(const unsigned char* header) {
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
    fatSectors = LoadU32(header + 44);
    difatNext = LoadU32(header + 68);
    difatLeft = LoadU32(header + 72);
    if (fatSectors > sectorCount || difatLeft > sectorCount) ThrowDamaged();
    // The DIFAT sectors after the header's own list are read only when a
    // chain goes beyond the sectors that list covers.
    for (size_t i = 0; i < kHeaderDifatEntries && fat.sectors.size() < fatSectors; ++i)
        fat.sectors.push_back(LoadU32(header + 76 + 4 * i));
    fat.Size(fatSectors, sectorShift);
}

void CompoundFileReader::Volume::ReadDirectory(uint32_t firstSector) {
    const std::vector<uint32_t> chain =
        Chain(fat, firstSector, 0, true, kMaxCompoundDirectorySize >> sectorShift);
    if (chain.empty()) ThrowDamaged();
    entries.reserve((chain.size() << sectorShift) / kDirectoryEntrySize);
    for (uint32_t sector : chain) {
        WithSector(sector, [&](const unsigned char* bytes) {
            for (size_t at = 0; at < sectorSize; at += kDirectoryEntrySize)
                entries.push_back(ReadEntry(bytes + at, sectorShift));
        });
    }
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
    miniFat.sectors = Chain(fat, firstSector, 0, true);
    miniFat.Size(miniFat.sectors.size(), sectorShift);
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
    volume->ReadHeader(header);
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
    Volume& v = *volume_;
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
    // A stream's size is what its readers bound their reads by: one longer
    // than the file is damaged before anything is read of it.
    const uint64_t needed = (entry.size + v.sectorSize - 1) >> v.sectorShift;
    if (needed > v.sectorCount) ThrowDamaged();
    return std::make_unique<CompoundStream>(v.file, v.Chain(v.fat, entry.start, needed, false),
                                            v.sectorShift, v.sectorSize, entry.size);
}

}  // namespace querna
