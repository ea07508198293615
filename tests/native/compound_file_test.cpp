#include <gtest/gtest.h>

#include <span>

#include "documents/CompoundFileReader.h"
#include "tests/native/CompoundFileImage.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::BuildCompoundFile;
using testing::CompoundFileImage;
using testing::FaultOf;

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

TEST(CompoundFileReader, RefusesALoopingDifatChain) {
    // 150 FAT sectors claimed: 109 from the header, the rest from a DIFAT
    // sector that names itself as the next one.
    CompoundFileImage image = BuildCompoundFile({{"Big", Pattern(512 * 300, 'z')}});
    image.Put32(44, 150);
    image.Put32(68, 5);
    image.Put32(72, 3);
    image.Put32(image.SectorOffset(5) + 508, 5);
    EXPECT_EQ(FaultOf([&] { Open(image.bytes); }), DocumentFault::Damaged);
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
