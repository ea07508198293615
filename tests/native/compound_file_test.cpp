#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <span>

#include "documents/CompoundFileReader.h"
#include "tests/native/CompoundFileImage.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::BuildCompoundFile;
using testing::CompoundFileImage;
using testing::FaultOf;
using testing::SparseFile;

std::string ReadAll(ByteSource& source) {
    std::string bytes(source.Size(), '\0');
    EXPECT_EQ(source.ReadAt(0, bytes.data(), bytes.size()), bytes.size());
    return bytes;
}

std::string Pattern(size_t size, char seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(seed + i * 7 + i / 251);
    return s;
}

std::unique_ptr<CompoundFileReader> Open(const std::vector<unsigned char>& bytes) {
    return std::make_unique<CompoundFileReader>(
        std::make_unique<MemoryByteSource>(bytes.data(), bytes.size()));
}

TEST(CompoundFileReader, ReadsStreamsOfEverySizeInBothVersions) {
    const std::vector<std::pair<std::string, std::string>> streams = {
        {"Empty", ""},
        {"Tiny", "abc"},
        {"MiniEdge", Pattern(4095, 'a')},  // the largest stream in the mini stream
        {"Regular", Pattern(4096, 'b')},   // the smallest one in sectors of its own
        {"Large", Pattern(70000, 'c')},
        {"Storage/Inner", Pattern(100, 'd')},
    };
    for (unsigned version : {3u, 4u}) {
        const CompoundFileImage image = BuildCompoundFile(streams, version);
        auto reader = Open(image.bytes);
        for (const auto& [path, data] : streams) {
            auto stream = reader->OpenStream(path);
            ASSERT_TRUE(stream) << path << " v" << version;
            EXPECT_EQ(ReadAll(*stream), data) << path << " v" << version;
        }
    }
}

TEST(CompoundFileReader, ReadsAtAnyOffsetAcrossSectorEnds) {
    const std::string data = Pattern(9000, 'x');
    const CompoundFileImage image = BuildCompoundFile({{"S", data}, {"M", data.substr(0, 300)}});
    auto reader = Open(image.bytes);
    auto big = reader->OpenStream("S");
    auto small = reader->OpenStream("M");
    char buffer[200];
    for (uint64_t offset : {0u, 63u, 64u, 500u, 511u, 512u, 1000u, 8990u}) {
        const size_t n = big->ReadAt(offset, buffer, sizeof buffer);
        EXPECT_EQ(std::string(buffer, n), data.substr(offset, sizeof buffer)) << offset;
        if (offset < 300) {
            const size_t m = small->ReadAt(offset, buffer, sizeof buffer);
            EXPECT_EQ(std::string(buffer, m),
                      data.substr(offset, std::min<size_t>(200, 300 - offset)));
        }
    }
    EXPECT_EQ(big->ReadAt(9000, buffer, 10), 0u);
}

// Moves the sectors of the regular stream `path` so that its chain visits
// them in the order `order` gives (order[k]: where the k-th sector of the
// stream now lies, counted from its first sector).
void Scatter(CompoundFileImage& image, const std::string& path, uint32_t id,
             const std::vector<uint32_t>& order) {
    const uint32_t start = image.startOf.at(path);
    const size_t size = image.sectorSize;
    const std::vector<unsigned char> before = image.bytes;
    for (size_t k = 0; k < order.size(); ++k) {
        std::copy_n(before.begin() + image.SectorOffset(start + k), size,
                    image.bytes.begin() + image.SectorOffset(start + order[k]));
        const bool last = k + 1 == order.size();
        image.Put32(image.FatEntry(start + order[k]), last ? 0xFFFFFFFE : start + order[k + 1]);
    }
    image.Put32(image.DirectoryEntry(id) + 116, start + order[0]);
}

// Sectors out of order, in runs of every length, are read as the chain says,
// whatever the size and offset of each read; a view of the stream in memory
// holds its bytes as far as its sectors run on in the file, and no further.
TEST(CompoundFileReader, ReadsScatteredChainsAtAnyOffsetAndSize) {
    const std::string data = Pattern(512 * 40 + 100, 'g');
    const std::vector<std::vector<uint32_t>> orders = {
        {40, 39, 38, 37, 36, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20,
         19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0},
        {1,  0,  3,  2,  5,  4,  6,  7,  8,  20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
         32, 33, 34, 35, 36, 37, 38, 39, 40, 9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19},
    };
    for (const auto& order : orders) {
        CompoundFileImage image = BuildCompoundFile({{"Big", data}});
        Scatter(image, "Big", 1, order);
        auto stream = Open(image.bytes)->OpenStream("Big");
        EXPECT_EQ(ReadAll(*stream), data);
        std::string buffer(70000, '\0');
        for (uint64_t offset : {0u, 1u, 511u, 512u, 4000u, 9000u, 20479u, 20500u}) {
            for (size_t count : {1u, 8u, 700u, 5000u, 16384u, 20000u}) {
                const size_t n = stream->ReadAt(offset, buffer.data(), count);
                EXPECT_EQ(buffer.substr(0, n), data.substr(offset, count))
                    << offset << " " << count;
                const std::span<const unsigned char> view = stream->View(offset, count);
                EXPECT_FALSE(view.empty()) << offset << " " << count;
                EXPECT_EQ(std::string(view.begin(), view.end()), data.substr(offset, view.size()))
                    << offset << " " << count;
            }
        }
    }
}

// Bytes of a file whose reads stop short at `cut` when they start before it,
// as a file cut off under the reader gives them.
class CutSource final : public ByteSource {
  public:
    CutSource(const std::vector<unsigned char>& bytes, size_t cut) : bytes_(bytes), cut_(cut) {}
    uint64_t Size() const override { return bytes_.size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= bytes_.size()) return 0;
        size_t n = std::min<size_t>(count, bytes_.size() - offset);
        if (offset < cut_) n = std::min<size_t>(n, cut_ - offset);
        std::memcpy(buffer, bytes_.data() + offset, n);
        return n;
    }

  private:
    const std::vector<unsigned char>& bytes_;
    size_t cut_;
};

// Reading ahead never turns a readable byte into damage: when a stream's
// last sectors cannot be read, the bytes before them still can.
TEST(CompoundFileReader, ReadsTheBytesBeforeAnUnreadablePartOfAStream) {
    const std::string data = Pattern(5000, 'k');
    const CompoundFileImage image = BuildCompoundFile({{"Big", data}});
    ASSERT_EQ(image.startOf.at("Big"), 0u);  // the tables lie after Big's sectors
    CompoundFileReader reader(
        std::make_unique<CutSource>(image.bytes, image.SectorOffset(0) + 4700));
    auto stream = reader.OpenStream("Big");
    std::string part(100, '\0');
    EXPECT_EQ(stream->ReadAt(0, part.data(), 100), 100u);
    EXPECT_EQ(part, data.substr(0, 100));
    EXPECT_EQ(stream->ReadAt(4600, part.data(), 100), 100u);
    EXPECT_EQ(part, data.substr(4600, 100));
    EXPECT_EQ(FaultOf([&] { stream->ReadAt(4650, part.data(), 100); }), DocumentFault::Damaged);
}

TEST(CompoundFileReader, FindsNamesWithoutRegardToLetterCaseAndOnlyWhereTheyAre) {
    // 31 characters: the longest name an entry holds with its terminator.
    const std::string longest = "A_stream_name_of_31_characters_";
    auto image =
        BuildCompoundFile({{"WordDocument", "w"}, {"ObjectPool/_1/Contents", "c"}, {longest, "l"}});
    auto reader = Open(image.bytes);
    EXPECT_TRUE(reader->OpenStream("a_STREAM_name_of_31_characters_"));
    EXPECT_FALSE(reader->OpenStream(longest + "x"));
    EXPECT_FALSE(reader->OpenStream(longest.substr(0, 30)));
    EXPECT_TRUE(reader->OpenStream("worddocument"));
    EXPECT_TRUE(reader->OpenStream("objectpool/_1/CONTENTS"));
    EXPECT_FALSE(reader->OpenStream("Contents"));        // not at the root
    EXPECT_FALSE(reader->OpenStream("ObjectPool"));      // a storage, not a stream
    EXPECT_FALSE(reader->OpenStream("WordDocument/x"));  // a stream has no children
    EXPECT_FALSE(reader->OpenStream("WordDocumen"));
    EXPECT_FALSE(reader->OpenStream(""));
}

TEST(CompoundFileReader, StreamsOutliveTheReader) {
    auto image = BuildCompoundFile({{"S", Pattern(5000, 'q')}});
    std::unique_ptr<ByteSource> stream;
    {
        auto reader = Open(image.bytes);
        stream = reader->OpenStream("S");
    }
    EXPECT_EQ(ReadAll(*stream), Pattern(5000, 'q'));
}

// Each case damages one thing of a good file; opening it or reading the
// stream must end in DocumentError(Damaged), never a crash or a hang.
TEST(CompoundFileReader, RefusesDamagedFilesAsDamaged) {
    struct Case {
        const char* what;
        std::function<void(CompoundFileImage&)> damage;
    };
    const Case cases[] = {
        {"signature", [](CompoundFileImage& i) { i.bytes[0] = 'P'; }},
        {"sector shift", [](CompoundFileImage& i) { i.bytes[30] = 10; }},
        {"version 4 with small sectors", [](CompoundFileImage& i) { i.bytes[26] = 4; }},
        {"mini stream cutoff", [](CompoundFileImage& i) { i.Put32(56, 8192); }},
        {"FAT sector count past the file", [](CompoundFileImage& i) { i.Put32(44, 5000); }},
        {"FAT sector out of range", [](CompoundFileImage& i) { i.Put32(76, 4000); }},
        {"directory start out of range", [](CompoundFileImage& i) { i.Put32(48, 4000); }},
        {"stream chain loops",
         [](CompoundFileImage& i) {
             const uint32_t s = i.startOf["Big"];
             i.Put32(i.FatEntry(s + 2), s);
         }},
        {"stream chain ends early",
         [](CompoundFileImage& i) { i.Put32(i.FatEntry(i.startOf["Big"] + 1), 0xFFFFFFFE); }},
        {"stream chain leaves the FAT",
         [](CompoundFileImage& i) { i.Put32(i.FatEntry(i.startOf["Big"]), 0x00FFFFFF); }},
        {"stream larger than the file",
         [](CompoundFileImage& i) { i.Put32(i.DirectoryEntry(1) + 120, 0x7FFFFFFF); }},
        {"mini chain loops",
         [](CompoundFileImage& i) {
             // The mini FAT sits in the sector after Big's and the mini stream's.
             const uint32_t miniFat = i.Get32(60);
             i.Put32(i.SectorOffset(miniFat) + 4 * (i.startOf["Small"] + 1), i.startOf["Small"]);
         }},
        {"directory siblings form a cycle",
         [](CompoundFileImage& i) {
             i.Put32(i.DirectoryEntry(2) + 72, 1);  // Small's right sibling is Big again
         }},
        {"directory link out of range",
         [](CompoundFileImage& i) { i.Put32(i.DirectoryEntry(1) + 72, 9999); }},
        {"root entry is not a root",
         [](CompoundFileImage& i) { i.bytes[i.DirectoryEntry(0) + 66] = 1; }},
        {"truncated in the middle",
         [](CompoundFileImage& i) { i.bytes.resize(i.bytes.size() / 2); }},
        {"only a header", [](CompoundFileImage& i) { i.bytes.resize(512); }},
        {"shorter than a header", [](CompoundFileImage& i) { i.bytes.resize(100); }},
    };
    for (const Case& c : cases) {
        CompoundFileImage image = BuildCompoundFile({{"Big", Pattern(3000 * 4, 'b')},
                                                     {"Small", Pattern(1000, 's')},
                                                     {"Third", Pattern(200, 't')}});
        c.damage(image);
        EXPECT_EQ(FaultOf([&] {
                      auto reader = Open(image.bytes);
                      for (const char* name : {"Big", "Small", "Third", "Missing"}) {
                          if (auto stream = reader->OpenStream(name)) ReadAll(*stream);
                      }
                  }),
                  DocumentFault::Damaged)
            << c.what;
    }
}

// A stream's size is what its readers bound their reads and their room by:
// one that claims more sectors than the file holds is damaged as it is
// opened, before anything is read of it, even where its chain goes on
// through FAT entries past the file's end.
TEST(CompoundFileReader, RefusesAtOpenAStreamLongerThanTheFile) {
    // Makes the chain whose last sector is `last` go on through `extra`
    // sectors past the file, and the entry `id` claim them all.
    auto lengthen = [](CompoundFileImage& i, uint32_t id, uint32_t last, uint32_t extra) {
        const auto inFile = static_cast<uint32_t>(i.bytes.size() / i.sectorSize - 1);
        uint32_t sector = last;
        for (uint32_t next = inFile; next < inFile + extra; sector = next++)
            i.Put32(i.FatEntry(sector), next);
        i.Put32(i.FatEntry(sector), 0xFFFFFFFE);
        const size_t size = i.DirectoryEntry(id) + 120;
        i.Put32(size, i.Get32(size) + extra * i.sectorSize);
    };
    const struct {
        const char* what;
        std::function<void(CompoundFileImage&)> lengthen;
    } cases[] = {
        {"a stream of its own sectors",
         [&](CompoundFileImage& i) { lengthen(i, 1, i.startOf["Big"] + 23, 40); }},
        {"the mini stream",
         [&](CompoundFileImage& i) {
             const uint32_t start = i.Get32(i.DirectoryEntry(0) + 116);
             lengthen(i, 0, start + (i.Get32(i.DirectoryEntry(0) + 120) - 1) / 512, 40);
         }},
    };
    for (const auto& c : cases) {
        CompoundFileImage image =
            BuildCompoundFile({{"Big", Pattern(512 * 24, 'b')}, {"Small", Pattern(1000, 's')}});
        c.lengthen(image);
        EXPECT_EQ(FaultOf([&] {
                      auto reader = Open(image.bytes);
                      reader->OpenStream("Big");
                      reader->OpenStream("Small");
                  }),
                  DocumentFault::Damaged)
            << c.what;
    }
}

// A compound file in a sparse file of 8 GiB, with some data at its start and
// some far into it, whose header claims a FAT of 16 MB through a DIFAT of
// 256 sectors: the DIFAT's second sector names the FAT sector of the stream
// "Far", every other FAT sector it names lies where the file holds nothing.
struct SparseCompoundFile {
    static constexpr uint32_t kDifatSectors = 256;
    static constexpr uint32_t kDifat = 15'000'000;            // its first sector
    static constexpr uint32_t kFarFat = 14'000'000;           // the FAT sector of Far
    static constexpr uint32_t kFarFatIndex = 109 + 127 + 3;   // its place in the FAT
    static constexpr uint32_t kFar = kFarFatIndex * 128 + 5;  // Far's first sector
    static constexpr uint32_t kNothing = 10'000'000;          // a sector nothing was written to

    std::unique_ptr<SparseFile> file = std::make_unique<SparseFile>(uint64_t{8} << 30);
    CompoundFileImage image = BuildCompoundFile(
        {{"WordDocument", Pattern(6000, 'w')}, {"1Table", Pattern(700, 't')}, {"Far", Far()}});
    std::vector<unsigned char> difat = std::vector<unsigned char>(kDifatSectors * 512, 0);

    static std::string Far() { return Pattern(5000, 'f'); }

    SparseCompoundFile() {
        image.Put32(44, 109 + 127 * kDifatSectors);
        for (uint32_t i = 1; i < 109; ++i) image.Put32(76 + 4 * i, kNothing);
        image.Put32(68, kDifat);
        image.Put32(72, kDifatSectors);
        for (uint32_t d = 0; d < kDifatSectors; ++d) {
            for (uint32_t i = 0; i < 127; ++i) PutDifat(d, i, kNothing);
            PutDifat(d, 127, d + 1 < kDifatSectors ? kDifat + d + 1 : 0xFFFFFFFE);
        }
        PutDifat(1, kFarFatIndex - 109 - 127, kFarFat);
        // Far's sectors move to kFar on, chained in the FAT sector kFarFat.
        const uint32_t from = image.startOf.at("Far");
        std::vector<unsigned char> fat(512, 0);
        for (uint32_t k = 0; k < 10; ++k) {
            const uint32_t at = kFar + k;
            file->Write((uint64_t{at} + 1) * 512, &image.bytes[image.SectorOffset(from + k)], 512);
            const uint32_t next = k + 1 < 10 ? at + 1 : 0xFFFFFFFE;
            std::memcpy(&fat[4 * (at % 128)], &next, 4);
        }
        file->Write((uint64_t{kFarFat} + 1) * 512, fat.data(), fat.size());
        image.Put32(image.DirectoryEntry(3) + 116, kFar);
    }
    void PutDifat(uint32_t sector, uint32_t entry, uint32_t value) {
        std::memcpy(&difat[sector * 512 + 4 * entry], &value, 4);
    }
    // The reader of the file as it stands; `bytesRead` counts what it reads.
    std::unique_ptr<CompoundFileReader> Open(uint64_t*& bytesRead) {
        file->Write(0, image.bytes.data(), image.bytes.size());
        file->Write((uint64_t{kDifat} + 1) * 512, difat.data(), difat.size());
        bytesRead = &file->bytesRead;
        return std::make_unique<CompoundFileReader>(std::move(file));
    }
};

// The FAT is read as far as the streams opened need it: a header that claims
// a FAT of gigabytes' worth of sectors costs what is read, not what it claims.
TEST(CompoundFileReader, ReadsTheFatOfASparseFileOnlyWhereItsStreamsLie) {
    SparseCompoundFile sparse;
    uint64_t* bytesRead = nullptr;
    auto reader = sparse.Open(bytesRead);
    const std::pair<const char*, std::string> streams[] = {
        {"WordDocument", Pattern(6000, 'w')},
        {"1Table", Pattern(700, 't')},
        {"Far", SparseCompoundFile::Far()},
    };
    for (const auto& [name, data] : streams) {
        auto stream = reader->OpenStream(name);
        ASSERT_TRUE(stream) << name;
        EXPECT_EQ(ReadAll(*stream), data) << name;
    }
    // The header, directory, mini FAT and mini stream, the streams' own
    // sectors, two FAT sectors and two DIFAT sectors: some 30 sectors, where
    // the claimed FAT alone is 32,621.
    EXPECT_LE(*bytesRead, 64u * 512) << "bytes read";
}

// The DIFAT is checked where a chain needs it: a loop in it, an end before
// the FAT sector wanted, or a FAT sector past the file is damage.
TEST(CompoundFileReader, RefusesADamagedDifatWhereAChainNeedsIt) {
    using Sparse = SparseCompoundFile;
    const struct {
        const char* what;
        std::function<void(Sparse&)> damage;
    } cases[] = {
        {"a DIFAT sector names itself next", [](Sparse& s) { s.PutDifat(0, 127, Sparse::kDifat); }},
        {"the DIFAT ends early", [](Sparse& s) { s.PutDifat(0, 127, 0xFFFFFFFE); }},
        {"the DIFAT claims fewer sectors", [](Sparse& s) { s.image.Put32(72, 1); }},
        {"the DIFAT goes past the file", [](Sparse& s) { s.PutDifat(0, 127, 0x7FFFFFFF); }},
        {"a FAT sector past the file",
         [](Sparse& s) { s.PutDifat(1, Sparse::kFarFatIndex - 236, 0x7FFFFFFF); }},
    };
    for (const auto& c : cases) {
        Sparse sparse;
        c.damage(sparse);
        uint64_t* bytesRead = nullptr;
        auto reader = sparse.Open(bytesRead);
        EXPECT_TRUE(reader->OpenStream("WordDocument")) << c.what;
        EXPECT_EQ(FaultOf([&] { reader->OpenStream("Far"); }), DocumentFault::Damaged) << c.what;
    }
}

// The directory is read whole, so its chain is bounded: a file of 4096-byte
// sectors whose directory runs on through empty sectors of a sparse file is
// read up to 16 MiB of directory and refused as too large past it.
TEST(CompoundFileReader, ReadsADirectoryUpToItsLimitAndNoFurther) {
    const struct {
        uint32_t emptySectors;  // after the directory's own
        std::optional<DocumentFault> fault;
    } cases[] = {{4095, std::nullopt}, {4096, DocumentFault::TooLarge}};
    for (const auto& c : cases) {
        CompoundFileImage image = BuildCompoundFile({{"S", Pattern(100, 's')}}, 4);
        auto file = std::make_unique<SparseFile>(uint64_t{8} << 30);
        // The empty sectors 1024 on, chained in FAT sectors 1 to 5, which lie
        // at 100,001 on.
        constexpr uint32_t kFirst = 1024, kFatAt = 100'000;
        image.Put32(image.FatEntry(image.directorySector), kFirst);
        std::vector<uint32_t> fat(5 * 1024, 0xFFFFFFFF);
        for (uint32_t k = 0; k < c.emptySectors; ++k)
            fat[k] = k + 1 < c.emptySectors ? kFirst + k + 1 : 0xFFFFFFFE;
        image.Put32(44, 6);
        for (uint32_t i = 1; i <= 5; ++i) image.Put32(76 + 4 * i, kFatAt + i);
        file->Write(0, image.bytes.data(), image.bytes.size());
        file->Write((uint64_t{kFatAt} + 2) * 4096, reinterpret_cast<unsigned char*>(fat.data()),
                    fat.size() * 4);
        std::optional<DocumentFault> fault;
        try {
            CompoundFileReader reader(std::move(file));
            auto stream = reader.OpenStream("S");
            ASSERT_TRUE(stream);
            EXPECT_EQ(ReadAll(*stream), Pattern(100, 's'));
        } catch (const DocumentError& error) {
            fault = error.Fault();
        }
        EXPECT_EQ(fault, c.fault) << c.emptySectors;
    }
}

TEST(CompoundFileReader, ReadsTheFixtureDocumentsAndRefusesTheTruncatedOnes) {
    const struct {
        const char* file;
        const char* stream;
        std::string start;
    } cases[] = {
        {"words.doc", "WordDocument", "\xEC\xA5"},
        {"sheets.xls", "Workbook", std::string("\x09\x08\x10\x00\x00\x06", 6)},
        {"slides.ppt", "Current User", std::string("\x00\x00\xF6\x0F", 4)},
    };
    for (const auto& c : cases) {
        testing::ImageStorage storage(testing::FixtureBytes(c.file));
        auto stream = storage.OpenStream(c.stream);
        ASSERT_TRUE(stream) << c.file;
        std::string head(c.start.size(), '\0');
        stream->ReadAt(0, head.data(), head.size());
        EXPECT_EQ(head, c.start) << c.file;
    }
    for (const char* file :
         {"words-truncated.doc", "sheets-truncated.xls", "slides-truncated.ppt"}) {
        EXPECT_EQ(FaultOf([&] { testing::ImageStorage storage(testing::FixtureBytes(file)); }),
                  DocumentFault::Damaged)
            << file;
    }
}

}  // namespace
}  // namespace querna
