// The zip reader on well-formed and hostile archives: what it reads, and the
// fault each kind of damage, encryption or bomb ends in.
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "documents/CompoundFile.h"
#include "documents/ZipArchive.h"
#include "tests/fakes/ZipBuilder.h"

namespace querna {
namespace {

using fakes::ZipBuilder;

std::string ReadAll(ZipArchive& zip, const std::string& name, size_t chunk = 7) {
    const ZipEntry* entry = zip.Find(name);
    if (entry == nullptr) ADD_FAILURE() << "no entry " << name;
    if (entry == nullptr) return {};
    auto stream = zip.Open(*entry);
    std::string out;
    std::string buffer(chunk, '\0');
    for (size_t n; (n = stream->Read(buffer.data(), buffer.size())) > 0;) out.append(buffer, 0, n);
    return out;
}

// The fault reading the whole of `name` raises, or none.
std::optional<DocumentFault> FaultOf(const std::string& archive, const std::string& name,
                                     const ZipLimits& limits = {}) {
    try {
        MemoryByteSource source(archive.data(), archive.size());
        ZipArchive zip(source, limits);
        if (!name.empty()) ReadAll(zip, name, 4096);
    } catch (const DocumentError& error) {
        return error.Fault();
    }
    return std::nullopt;
}

std::string Patterned(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) text += "<row n=\"" + std::to_string(i) + "\"/>";
    text.resize(size);
    return text;
}

TEST(ZipArchiveTest, ReadsStoredAndDeflatedEntriesByNameWithoutRegardToCase) {
    ZipBuilder builder;
    builder.Add("word/document.xml", Patterned(300000));
    builder.Add("[Content_Types].xml", "<Types/>", false);
    builder.Add("empty.bin", "", true);
    builder.Add("Empty-Stored", "", false);
    for (const bool zip64 : {false, true}) {
        SCOPED_TRACE(zip64 ? "zip64" : "zip32");
        builder.zip64 = zip64;
        const std::string bytes = builder.Build();
        MemoryByteSource source(bytes.data(), bytes.size());
        ZipArchive zip(source);
        ASSERT_EQ(zip.Entries().size(), 4u);
        EXPECT_EQ(ReadAll(zip, "WORD/Document.XML"), Patterned(300000));
        EXPECT_EQ(ReadAll(zip, "[content_types].xml"), "<Types/>");
        EXPECT_EQ(ReadAll(zip, "empty.bin"), "");
        EXPECT_EQ(ReadAll(zip, "empty-stored"), "");
        EXPECT_EQ(zip.Find("word/document.xm"), nullptr);
        EXPECT_EQ(zip.Find("word\\document.xml"), nullptr);
    }
}

// Names are compared without regard to ASCII case wherever they differ, also
// past a long stretch that is equal; of names that repeat, the first entry is
// the one found.
TEST(ZipArchiveTest, FindsNamesWithoutCaseAndTheFirstOfRepeats) {
    ZipBuilder builder;
    builder.Add("ppt/slides/slide1.xml", "1")
        .Add("ppt/slides/slide10.xml", "10")
        .Add("ppt/slides/slide2.xml", "2")
        .Add("PPT/SLIDES/SLIDE2.XML", "2 again")
        .Add("ppt/slides/slidE3.xml", "3", false)
        .Add("ppt/slides/_rels/slide1.xml.rels", "rels")
        .Add("a", "short");
    const std::string bytes = builder.Build();
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive zip(source);
    const std::pair<const char*, const char*> cases[] = {
        // name looked for, content found (null: none)
        {"ppt/slides/slide1.xml", "1"},
        {"PPT/SLIDES/SLIDE10.XML", "10"},
        {"ppt/slides/Slide2.xml", "2"},
        {"ppt/slides/slide3.XML", "3"},
        {"ppt/slides/_RELS/slide1.xml.rels", "rels"},
        {"A", "short"},
        {"ppt/slides/slide3.xm", nullptr},
        {"ppt/slides/slide1.xml.", nullptr},
        {"ppt/slides/slide[.xml", nullptr},
        {"", nullptr},
    };
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        if (content == nullptr) {
            EXPECT_EQ(zip.Find(name), nullptr);
        } else if (zip.Find(name) != nullptr) {
            EXPECT_EQ(ReadAll(zip, name), content);
        } else {
            ADD_FAILURE() << "not found";
        }
    }
}

// Every read is checked against the entry's CRC-32, whatever its length and
// the chunks it comes in: wide blocks are folded at once and the bytes left
// over added after them, and one bit wrong in either is caught.
TEST(ZipArchiveTest, ChecksTheCrcOfEveryLengthInEveryChunking) {
    const size_t sizes[] = {1, 16, 63, 64, 65, 79, 80, 127, 128, 129, 200, 4097, 65553, 300001};
    std::vector<std::string> contents;
    ZipBuilder builder;
    uint32_t seed = 12345;
    for (const size_t size : sizes) {
        std::string data(size, '\0');
        for (char& c : data) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 23);
        const auto crc = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(size)));
        const std::string name = std::to_string(size);
        builder.Add(name, data, size % 2 == 0);
        for (const uint32_t flip : {1u, 1u << 31}) {
            fakes::ZipBuilderEntry bad;
            bad.name = name + "-" + std::to_string(flip);
            bad.data = data;
            bad.declaredCrc = crc ^ flip;
            builder.entries.push_back(bad);
        }
        contents.push_back(std::move(data));
    }
    const std::string archive = builder.Build();
    for (const size_t chunk : {64, 100, 4096, 1 << 20}) {
        SCOPED_TRACE(chunk);
        MemoryByteSource source(archive.data(), archive.size());
        ZipArchive zip(source);
        for (size_t i = 0; i < std::size(sizes); ++i) {
            const std::string name = std::to_string(sizes[i]);
            EXPECT_EQ(ReadAll(zip, name, chunk), contents[i]) << name;
            EXPECT_THROW(ReadAll(zip, name + "-1", chunk), DocumentError) << name;
            EXPECT_THROW(ReadAll(zip, name + "-" + std::to_string(1u << 31), chunk), DocumentError)
                << name;
        }
    }
}

// The archive keeps zlib's state from one entry to the next: an entry opened
// after one left half-read, or one that failed its check, reads whole.
TEST(ZipArchiveTest, ReadsEachEntryWholeAfterOnesLeftOrFailed) {
    ZipBuilder builder;
    builder.Add("a", Patterned(100000)).Add("b", "second").Add("stored", Patterned(900), false);
    fakes::ZipBuilderEntry bad;
    bad.name = "bad";
    bad.data = Patterned(5000);
    bad.declaredCrc = 1;
    builder.entries.push_back(bad);
    const std::string archive = builder.Build();
    MemoryByteSource source(archive.data(), archive.size());
    ZipArchive zip(source);
    {
        const auto left = zip.Open(*zip.Find("a"));
        char start[10];
        EXPECT_EQ(left->Read(start, sizeof start), sizeof start);
    }
    EXPECT_THROW(ReadAll(zip, "bad"), DocumentError);
    EXPECT_EQ(ReadAll(zip, "b"), "second");
    EXPECT_EQ(ReadAll(zip, "stored"), Patterned(900));
    EXPECT_EQ(ReadAll(zip, "a"), Patterned(100000));
    EXPECT_EQ(ReadAll(zip, "b", 1), "second");
}

// Archives read in turn with the same lent buffers: each finds its own
// entries only and reads them whole, also after one that ended in a fault
// with a part half inflated, or one that was no archive at all.
TEST(ZipArchiveTest, BuffersLentInTurnKeepNothingOfTheArchiveBefore) {
    ZipBuilder first;
    first.Add("a/one.xml", Patterned(70000)).Add("shared.xml", "first's");
    ZipBuilder second;
    second.Add("shared.xml", "second's", false).Add("b.xml", Patterned(100));
    ZipBuilder lying;
    fakes::ZipBuilderEntry cut;
    cut.name = "shared.xml";
    cut.data = Patterned(70000);
    cut.declaredSize = 1000;
    lying.entries.push_back(cut);
    using Reads = std::vector<std::pair<std::string, std::optional<std::string>>>;
    struct Step {
        const char* name;
        std::string archive;
        Reads reads;  // name, content (none: no such entry)
        std::optional<DocumentFault> fault;
    };
    const Reads ofFirst = {{"a/one.xml", Patterned(70000)}, {"shared.xml", "first's"}};
    const Step steps[] = {
        {"first", first.Build(), ofFirst, std::nullopt},
        {"a part that inflates past its size",
         lying.Build(),
         {{"shared.xml", ""}},
         DocumentFault::Damaged},
        {"second",
         second.Build(),
         {{"a/one.xml", std::nullopt}, {"shared.xml", "second's"}, {"b.xml", Patterned(100)}},
         std::nullopt},
        {"no archive", "PK\x03\x04 and nothing more", {}, DocumentFault::Damaged},
        {"first again", first.Build(), ofFirst, std::nullopt},
    };
    ZipBuffers buffers;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        std::optional<DocumentFault> fault;
        try {
            MemoryByteSource source(step.archive.data(), step.archive.size());
            ZipArchive zip(source, {}, nullptr, &buffers);
            for (const auto& [name, content] : step.reads) {
                if (content) {
                    EXPECT_EQ(ReadAll(zip, name, 4096), *content) << name;
                } else {
                    EXPECT_EQ(zip.Find(name), nullptr) << name;
                }
            }
        } catch (const DocumentError& error) {
            fault = error.Fault();
        }
        EXPECT_EQ(fault, step.fault);
    }
}

// The end record is the one whose comment ends where the file does, though
// the comment hold the signature, even with a length after it that fits;
// where none ends there (bytes added after the archive), the last that fits.
TEST(ZipArchiveTest, FindsTheEndRecordBehindAComment) {
    // A false end record: one entry in a directory at the file's start,
    // where a local header lies, and no comment.
    const std::string falseRecord("PK\x05\x06\0\0\0\0\x01\0\x01\0\x2E\0\0\0\0\0\0\0\0\0", 22);
    const struct {
        const char* what;
        std::string comment;
        int lengthChange;   // added to the true record's comment length
        std::string after;  // bytes after the comment
        std::optional<DocumentFault> fault;
    } cases[] = {
        {"a signature alone", "a signature: PK\x05\x06 and more", 0, "", std::nullopt},
        {"a false record that fits", "before " + falseRecord + " after", 0, "", std::nullopt},
        {"a false record at the comment's start", falseRecord + " after", 0, "", std::nullopt},
        {"bytes added after the archive", "plain", 0, "added", std::nullopt},
        {"a false record and bytes added", "before " + falseRecord + " after", 0, "added",
         DocumentFault::Damaged},
        {"a comment longer than the file holds", "plain", 1, "", DocumentFault::Damaged},
        {"a false record and a comment longer than the file holds",
         "before " + falseRecord + " after", 1, "", DocumentFault::Damaged},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZipBuilder builder;
        builder.Add("a.xml", "<a/>");
        builder.comment = c.comment;
        std::string bytes = builder.Build();
        const size_t length = bytes.size() - c.comment.size() - 2;
        bytes[length] = static_cast<char>(c.comment.size() + c.lengthChange);
        bytes += c.after;
        EXPECT_EQ(FaultOf(bytes, "a.xml"), c.fault);
    }
}

TEST(ZipArchiveTest, TheFirstOfTwoEntriesWithOneNameIsRead) {
    ZipBuilder builder;
    builder.Add("part.xml", "first").Add("PART.xml", "second");
    const std::string bytes = builder.Build();
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive zip(source);
    EXPECT_EQ(ReadAll(zip, "part.xml"), "first");
}

struct HostileCase {
    const char* name;
    std::function<void(ZipBuilder&)> spoil;
    std::optional<DocumentFault> expected;
};

TEST(ZipArchiveTest, HostileHeadersEndInTheirFault) {
    const std::string data = Patterned(5000);
    const HostileCase cases[] = {
        {"well-formed", [](ZipBuilder&) {}, std::nullopt},
        {"CRC wrong", [](ZipBuilder& z) { z.entries[0].declaredCrc = 0x12345678; },
         DocumentFault::Damaged},
        {"size declared smaller", [&](ZipBuilder& z) { z.entries[0].declaredSize = 4000; },
         DocumentFault::Damaged},
        {"size declared larger", [&](ZipBuilder& z) { z.entries[0].declaredSize = 6000; },
         DocumentFault::Damaged},
        {"stored size declared larger",
         [&](ZipBuilder& z) {
             z.entries[0].deflate = false;
             z.entries[0].declaredSize = 6000;
         },
         DocumentFault::Damaged},
        {"local header outside the file",
         [](ZipBuilder& z) { z.entries[0].localOffset = 0xFFFFFF00u; }, DocumentFault::Damaged},
        {"local header inside but not one", [](ZipBuilder& z) { z.entries[0].localOffset = 3; },
         DocumentFault::Damaged},
        {"bzip2 method", [](ZipBuilder& z) { z.entries[0].method = 12; }, DocumentFault::Damaged},
        {"encrypted flag", [](ZipBuilder& z) { z.entries[0].flags = 0x0001; },
         DocumentFault::Encrypted},
        {"strong encryption flag", [](ZipBuilder& z) { z.entries[0].flags = 0x0041; },
         DocumentFault::Encrypted},
        {"AES method", [](ZipBuilder& z) { z.entries[0].method = 99; }, DocumentFault::Encrypted},
        {"more entries claimed than held", [](ZipBuilder& z) { z.declaredCount = 3; },
         DocumentFault::Damaged},
        {"entry count beyond any directory", [](ZipBuilder& z) { z.declaredCount = 0xFFFE; },
         DocumentFault::Damaged},
        // Refused before anything is reserved for the entries.
        {"an entry count of 2^40", [](ZipBuilder& z) { z.declaredCount = uint64_t{1} << 40; },
         DocumentFault::Damaged},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool zip64 : {false, true}) {
            ZipBuilder builder;
            builder.Add("part.xml", data);
            builder.zip64 = zip64;
            c.spoil(builder);
            EXPECT_EQ(FaultOf(builder.Build(), "part.xml"), c.expected) << (zip64 ? "zip64" : "");
        }
    }
}

TEST(ZipArchiveTest, EveryTruncationIsDamagedNeverARead) {
    ZipBuilder builder;
    builder.Add("a.xml", Patterned(3000)).Add("b.xml", "<b/>", false);
    const std::string whole = builder.Build();
    for (size_t size = 0; size < whole.size(); ++size) {
        const std::string cut = whole.substr(0, size);
        const auto fault = FaultOf(cut, "a.xml");
        ASSERT_TRUE(fault.has_value()) << "cut at " << size;
        EXPECT_EQ(*fault, DocumentFault::Damaged) << "cut at " << size;
    }
    // Bytes before the archive or lost from its middle move every offset.
    EXPECT_EQ(FaultOf("junk" + whole, "a.xml"), DocumentFault::Damaged);
    EXPECT_EQ(FaultOf(whole.substr(0, 40) + whole.substr(60), "a.xml"), DocumentFault::Damaged);
}

TEST(ZipArchiveTest, BombsEndInTooLargeWithinTheLimits) {
    ZipLimits limits;
    limits.maxEntrySize = 1 << 20;
    limits.maxTotalSize = 3 << 20;
    const std::string blanks(4 << 20, ' ');
    {
        SCOPED_TRACE("true size over the limit: refused before inflating");
        ZipBuilder builder;
        builder.Add("bomb.xml", blanks);
        EXPECT_EQ(FaultOf(builder.Build(), "bomb.xml", limits), DocumentFault::TooLarge);
    }
    {
        SCOPED_TRACE("size declared at the limit, data inflating past it");
        ZipBuilder builder;
        builder.Add("bomb.xml", blanks);
        builder.entries[0].declaredSize = limits.maxEntrySize;
        EXPECT_EQ(FaultOf(builder.Build(), "bomb.xml", limits), DocumentFault::TooLarge);
    }
    {
        SCOPED_TRACE("parts each within the limit, together over the total");
        ZipBuilder builder;
        for (int i = 0; i < 4; ++i) builder.Add("p" + std::to_string(i), blanks.substr(0, 900000));
        const std::string bytes = builder.Build();
        MemoryByteSource source(bytes.data(), bytes.size());
        ZipArchive zip(source, limits);
        EXPECT_EQ(ReadAll(zip, "p0", 65536).size(), 900000u);
        EXPECT_EQ(ReadAll(zip, "p1", 65536).size(), 900000u);
        EXPECT_EQ(ReadAll(zip, "p2", 65536).size(), 900000u);
        try {
            ReadAll(zip, "p3", 65536);
            ADD_FAILURE() << "the fourth part was read past the total";
        } catch (const DocumentError& error) {
            EXPECT_EQ(error.Fault(), DocumentFault::TooLarge);
        }
    }
    {
        SCOPED_TRACE("directory over its limit");
        ZipBuilder builder;
        for (int i = 0; i < 100; ++i) builder.Add(std::string(200, 'n') + std::to_string(i), "");
        ZipLimits small;
        small.maxDirectorySize = 4096;
        EXPECT_EQ(FaultOf(builder.Build(), "", small), DocumentFault::TooLarge);
    }
}

TEST(ZipArchiveTest, NotAZipIsDamaged) {
    const std::string compound(reinterpret_cast<const char*>(kCompoundFileSignature),
                               sizeof kCompoundFileSignature);
    for (const std::string& bytes : {std::string(), std::string("PK\x03\x04"),
                                     std::string(100, '\0'), compound + std::string(600, '\0')}) {
        EXPECT_EQ(FaultOf(bytes, ""), DocumentFault::Damaged) << bytes.size();
    }
}

}  // namespace
}  // namespace querna
