// Windows' structured storage under the document readers, on the fixture
// documents: the same streams and the same text as our own compound-file
// reader, damaged files refused as damaged, and nothing ever written.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "matchers/CompoundFileReader.h"
#include "matchers/ExcelBinaryText.h"
#include "matchers/PowerPointBinaryText.h"
#include "matchers/WordBinaryText.h"
#include "platform/win32/Win32CompoundFiles.h"
#include "support/TempTree.h"
#include "tests/native/CompoundFileImage.h"

namespace querna {
namespace {

std::string Fixture(const std::string& name) {
    const char* folder = std::getenv("QUERNA_DOCUMENTS_DIR");
    std::string path = std::string(folder ? folder : ".") + "/" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string StreamBytes(ByteSource& source) {
    std::string bytes(static_cast<size_t>(source.Size()), '\0');
    EXPECT_EQ(source.ReadAt(0, bytes.data(), bytes.size()), bytes.size());
    return bytes;
}

class Collect final : public TextUnitSink {
  public:
    bool Unit(std::u16string_view text) override {
        units.emplace_back(text);
        return false;
    }
    std::vector<std::u16string> units;
};

using Reader = void (*)(CompoundStorage&, TextUnitSink&);

std::vector<std::u16string> Units(Reader read, CompoundStorage& storage) {
    Collect sink;
    read(storage, sink);
    return sink.units;
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

TEST(Win32CompoundFiles, GivesTheSameStreamsAndTextAsOurOwnReader) {
    const struct {
        const char* file;
        std::vector<std::string> streams;
        Reader read;
    } cases[] = {
        {"words.doc", {"WordDocument", "1Table", "worddocument"}, ReadWordBinaryText},
        {"sheets.xls", {"Workbook", "\x05SummaryInformation"}, ReadExcelBinaryText},
        {"slides.ppt", {"PowerPoint Document", "Current User"}, ReadPowerPointBinaryText},
        {"empty.doc", {"WordDocument"}, ReadWordBinaryText},
    };
    win32::Win32CompoundFiles files;
    for (const auto& c : cases) {
        const std::string path = Fixture(c.file);
        const std::string bytes = FileBytes(path);
        ASSERT_FALSE(bytes.empty()) << path;
        const FILETIME before = LastWrite(path);
        CompoundFileReader ours(std::make_unique<MemoryByteSource>(bytes.data(), bytes.size()));
        {
            std::unique_ptr<CompoundStorage> theirs = files.Open(path);
            for (const std::string& name : c.streams) {
                auto a = theirs->OpenStream(name);
                auto b = ours.OpenStream(name);
                ASSERT_TRUE(a && b) << c.file << " " << name;
                EXPECT_EQ(StreamBytes(*a), StreamBytes(*b)) << c.file << " " << name;
            }
            EXPECT_FALSE(theirs->OpenStream("NoSuchStream")) << c.file;
            EXPECT_FALSE(theirs->OpenStream("NoSuchStorage/Stream")) << c.file;
            EXPECT_EQ(Units(c.read, *theirs), Units(c.read, ours)) << c.file;
        }
        const FILETIME after = LastWrite(path);
        EXPECT_EQ(CompareFileTime(&before, &after), 0) << c.file;
        EXPECT_EQ(FileBytes(path), bytes) << c.file;
    }
}

TEST(Win32CompoundFiles, ReadsAStreamAfterItsStorageIsGone) {
    win32::Win32CompoundFiles files;
    std::unique_ptr<ByteSource> stream;
    {
        auto storage = files.Open(Fixture("sheets.xls"));
        stream = storage->OpenStream("Workbook");
    }
    ASSERT_TRUE(stream);
    char head[4] = {};
    EXPECT_EQ(stream->ReadAt(0, head, sizeof head), sizeof head);
    EXPECT_EQ(std::string(head, 2), "\x09\x08");
}

TEST(Win32CompoundFiles, RefusesWhatIsNotAReadableCompoundFileAsDamaged) {
    testing::TempTree tree;
    tree.AddFile("plain.doc", "just some text, not a compound file");
    tree.AddFile("empty.xls", "");
    const std::vector<std::string> paths = {
        tree.Path("plain.doc"),          tree.Path("empty.xls"),
        tree.Path("missing.ppt"),        Fixture("words-truncated.doc"),
        Fixture("sheets-truncated.xls"), Fixture("slides-truncated.ppt"),
    };
    const struct {
        const char* name;
        Reader read;
    } readers[] = {{"doc", ReadWordBinaryText},
                   {"xls", ReadExcelBinaryText},
                   {"ppt", ReadPowerPointBinaryText}};
    win32::Win32CompoundFiles files;
    for (const std::string& path : paths) {
        for (const auto& r : readers) {
            bool damaged = false;
            try {
                auto storage = files.Open(path);
                Units(r.read, *storage);
            } catch (const DocumentError& e) {
                damaged = e.Fault() == DocumentFault::Damaged;
            }
            EXPECT_TRUE(damaged) << path << " as " << r.name;
        }
    }
}

// Wine's ole32 goes round looping chains and directory cycles for ever: such
// files must be refused as damaged before it sees them (the test's time limit
// catches a hang).
TEST(Win32CompoundFiles, RefusesLoopingChainsAndDirectoryCyclesWithoutHanging) {
    using querna::testing::BuildCompoundFile;
    using querna::testing::CompoundFileImage;
    const struct {
        const char* what;
        std::function<void(CompoundFileImage&)> damage;
    } cases[] = {
        {"stream chain loops",
         [](CompoundFileImage& i) { i.Put32(i.FatEntry(i.startOf["Big"] + 2), i.startOf["Big"]); }},
        {"mini chain loops",
         [](CompoundFileImage& i) {
             i.Put32(i.SectorOffset(i.Get32(60)) + 4 * (i.startOf["Small"] + 1),
                     i.startOf["Small"]);
         }},
        {"directory siblings form a cycle",
         [](CompoundFileImage& i) { i.Put32(i.DirectoryEntry(2) + 72, 1); }},
        {"directory chain loops",
         [](CompoundFileImage& i) { i.Put32(i.FatEntry(i.directorySector), i.directorySector); }},
        {"stream larger than the file",
         [](CompoundFileImage& i) { i.Put32(i.DirectoryEntry(1) + 120, 0x7FFFFFFF); }},
    };
    win32::Win32CompoundFiles files;
    querna::testing::TempTree tree;
    for (const auto& c : cases) {
        CompoundFileImage image = BuildCompoundFile(
            {{"Big", std::string(12000, 'b')}, {"Small", std::string(1000, 's')}, {"Third", "t"}});
        c.damage(image);
        tree.AddFile("damaged.bin", std::string(image.bytes.begin(), image.bytes.end()));
        bool damaged = false;
        try {
            auto storage = files.Open(tree.Path("damaged.bin"));
            for (const char* name : {"Big", "Small", "Third", "Missing"}) {
                if (auto stream = storage->OpenStream(name)) StreamBytes(*stream);
            }
        } catch (const DocumentError& e) {
            damaged = e.Fault() == DocumentFault::Damaged;
        }
        EXPECT_TRUE(damaged) << c.what;
    }
}

}  // namespace
}  // namespace querna
