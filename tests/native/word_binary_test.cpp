#include <gtest/gtest.h>

#include <functional>

#include "documents/WordBinaryText.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::CollectingSink;
using testing::FaultOf;
using testing::Le16;
using testing::Le32;
using Units = std::vector<std::u16string>;

struct Piece {
    std::string bytes;  // 8-bit characters, or UTF-16LE when not compressed
    bool compressed;
};

// A Word 97 document as the reader sees it: the FIB, the pieces' text from
// offset 1024 of the WordDocument stream, and a Clx in the table stream.
struct WordImage {
    std::vector<Piece> pieces;
    int64_t ccpText = -1;  // all characters when negative
    uint16_t ident = 0xA5EC;
    uint16_t nFib = 0x00C1;
    uint16_t flags = 0x0200;  // the table stream is 1Table
    uint16_t cslw = 22;
    std::string clxOverride;
    int64_t lcbClxOverride = -1;
    std::string tableName = {};  // where the table stream is put, when set

    testing::StreamStorage Storage() const {
        std::string text;
        std::string cps = Le32(0), pcds;
        uint32_t cp = 0;
        for (const Piece& p : pieces) {
            const uint32_t offset = 1024 + static_cast<uint32_t>(text.size());
            text += p.bytes;
            cp += static_cast<uint32_t>(p.compressed ? p.bytes.size() : p.bytes.size() / 2);
            cps += Le32(cp);
            pcds += Le16(0) + Le32(p.compressed ? (offset * 2) | 0x40000000 : offset) + Le16(0);
        }
        // A Prc of formatting comes first, as Word writes after edits.
        std::string clx = "\x01" + Le16(2) + "ab" + "\x02" +
                          Le32(static_cast<uint32_t>(cps.size() + pcds.size())) + cps + pcds;
        if (!clxOverride.empty()) clx = clxOverride;
        std::string fib(1024, '\0');
        auto put = [&](size_t at, const std::string& bytes) {
            fib.replace(at, bytes.size(), bytes);
        };
        put(0, Le16(ident) + Le16(nFib));
        put(10, Le16(flags));
        put(32, Le16(14));
        put(62, Le16(cslw));
        const size_t rgLw = 64, rgFcLcb = 64 + size_t{cslw} * 4 + 2;
        put(rgLw + 12, Le32(static_cast<uint32_t>(ccpText < 0 ? cp : ccpText)));
        put(rgFcLcb - 2, Le16(93));
        put(rgFcLcb + 33 * 8, Le32(16) + Le32(static_cast<uint32_t>(
                                             lcbClxOverride < 0 ? clx.size() : lcbClxOverride)));
        testing::StreamStorage storage;
        storage.streams["WordDocument"] = fib + text;
        const std::string table = (flags & 0x0200) ? "1Table" : "0Table";
        storage.streams[tableName.empty() ? table : tableName] = std::string(16, '\0') + clx;
        return storage;
    }
};

Piece Narrow(const std::string& bytes) {
    return {bytes, true};
}
Piece Wide(std::u16string_view text) {
    return {testing::Utf16(text), false};
}

Units Read(CompoundStorage& storage, size_t stopAfter = 0) {
    CollectingSink sink(stopAfter);
    ReadWordBinaryText(storage, sink);
    return sink.units;
}
Units Read(const WordImage& image, size_t stopAfter = 0) {
    testing::StreamStorage storage = image.Storage();
    return Read(storage, stopAfter);
}

TEST(WordBinaryText, ReadsTheBodyParagraphsAndCellsOfTheFixture) {
    testing::ImageStorage storage(testing::FixtureBytes("words.doc"));
    // Headers, footers, the footnote, the comment and the text box stay out;
    // the hyperlink field shows its result only. The footnote and comment
    // references and the frame anchor remain as the characters Word's find
    // sees there.
    const Units expected = {
        u"The Quick Brown Fox jumps over the lazy dog.",
        u"青禾寻踪全文检索测试段落",
        u"Mixed 中文 and 한국어 text with 😀 emoji",
        u"甲单元格",
        u"CellTwo",
        u"第二行",
        u"Last cell",
        u"See LinkText end",
        u"Footnote anchor\x02 here",
        u"Commented\x05 words",
        u"\x08"
        u"After the frame",
        u"Last paragraph 结束",
    };
    EXPECT_EQ(Read(storage), expected);
}

TEST(WordBinaryText, MapsTheFixtureFaults) {
    testing::ImageStorage empty(testing::FixtureBytes("empty.doc"));
    EXPECT_TRUE(Read(empty).empty());
    testing::ExpectFixtureFaults(
        {
            {"encrypted.doc", DocumentFault::Encrypted},
            {"word6.doc", DocumentFault::OldFormat},
            {"words-truncated.doc", DocumentFault::Damaged},
        },
        [](CompoundStorage& storage) { Read(storage); });
}

TEST(WordBinaryText, SplitsAndFiltersTheTextAsWordsFindSeesIt) {
    const struct {
        const char* what;
        std::vector<Piece> pieces;
        Units expected;
    } cases[] = {
        {"paragraph and cell marks end units; empty ones are dropped",
         {Narrow("a\rb\x07"
                 "c\x07\x07"
                 "d")},
         {u"a", u"b", u"c", u"d"}},
        {"8-bit pieces map 0x80-0x9F as cp1252 does",
         {Narrow("caf\xE9 \x93q\x94 \x85 \x80 \x9F")},
         {u"café “q” … \x80 Ÿ"}},
        {"16-bit pieces hold UTF-16, surrogates included", {Wide(u"青禾 \U0001F600")}, {u"青禾 😀"}},
        {"a field's code is dropped and its result kept",
         {Narrow("See \x13 HYPERLINK \"http://x/\" \x14Link\x15 end")},
         {u"See Link end"}},
        {"nested fields: everything inside a code is dropped",
         {Narrow("\x13 IF \x13 PAGE \x14"
                 "1\x15 = 1 \x14yes\x15!")},
         {u"yes!"}},
        {"a field without separator shows nothing", {Narrow("a\x13 TC entry \x15z")}, {u"az"}},
        {"stray separators and ends are ignored",
         {Narrow("a\x14"
                 "b\x15"
                 "c")},
         {u"abc"}},
        {"optional hyphens are invisible", {Narrow("co\x1Fop")}, {u"coop"}},
        {"pieces of both widths join into one paragraph",
         {Narrow("ab"), Wide(u"中c\r"), Narrow("next")},
         {u"ab中c", u"next"}},
        // Pieces are read 64 KiB at a time: what a mark or a field starts in
        // one read ends in the next.
        {"paragraphs and fields run on across the reads of a piece",
         {Wide(std::u16string(32760, u'x') + u"\x13 CODE \x14RES\x15y\rz"),
          Narrow(std::string(65530, 'n') + "\x13 C \x14R\x15m\r")},
         {std::u16string(32760, u'x') + u"RESy", u"z" + std::u16string(65530, u'n') + u"Rm"}},
    };
    for (const auto& c : cases) {
        WordImage image;
        image.pieces = c.pieces;
        EXPECT_EQ(Read(image), c.expected) << c.what;
    }
}

// A paragraph whole within one read goes to the sink where it stands; one
// that runs over pieces is built up in the unit. Both give the same units
// at the same places.
TEST(WordBinaryText, GivesTheSameUnitsWhereverThePiecesSplitTheText) {
    const std::string texts[] = {
        "one\rtwo\r\rthree",
        "a\x07"
        "b\x07\x07\rlast\r",
        "See \x13 HYPERLINK \x14Link\x15 end\rco\x1Fop\r\x13 C \x15\rz\r",
    };
    for (const std::string& text : texts) {
        WordImage whole, perCharacter;
        whole.pieces = {Narrow(text)};
        for (char c : text) perCharacter.pieces.push_back(Narrow(std::string(1, c)));
        testing::StreamStorage wholeStorage = whole.Storage(),
                               splitStorage = perCharacter.Storage();
        CollectingSink fromWhole, fromSplit;
        ReadWordBinaryText(wholeStorage, fromWhole);
        ReadWordBinaryText(splitStorage, fromSplit);
        EXPECT_EQ(fromWhole.units, fromSplit.units) << text;
        ASSERT_EQ(fromWhole.places.size(), fromSplit.places.size()) << text;
        for (size_t i = 0; i < fromWhole.places.size(); ++i)
            EXPECT_EQ(fromWhole.places[i].paragraph, fromSplit.places[i].paragraph) << text;
        EXPECT_FALSE(fromWhole.units.empty());
    }
}

TEST(WordBinaryText, ReadsOnlyTheMainDocumentsCharacters) {
    WordImage image;
    image.pieces = {Narrow("body\r"), Wide(u"more\rfootnote text\r")};
    image.ccpText = 10;  // "body\r" and "more\r"
    EXPECT_EQ(Read(image), (Units{u"body", u"more"}));
    image.ccpText = 7;  // the main text ends inside the second piece
    EXPECT_EQ(Read(image), (Units{u"body", u"mo"}));
}

TEST(WordBinaryText, StopsAsSoonAsTheSinkAsks) {
    WordImage image;
    image.pieces = {Narrow("one\rtwo\r"), Narrow("three\r")};
    EXPECT_EQ(Read(image, 1), (Units{u"one"}));
    EXPECT_EQ(Read(image, 3), (Units{u"one", u"two", u"three"}));
}

TEST(WordBinaryText, MapsHostileStreamsToTheirFaults) {
    const struct {
        const char* what;
        std::function<void(WordImage&)> change;
        DocumentFault fault;
    } cases[] = {
        {"unknown identifier", [](WordImage& w) { w.ident = 0x1234; }, DocumentFault::Damaged},
        {"Word 1 identifier", [](WordImage& w) { w.ident = 0xA59B; }, DocumentFault::OldFormat},
        {"Word 2 identifier", [](WordImage& w) { w.ident = 0xA5DB; }, DocumentFault::OldFormat},
        {"Word 6 identifier", [](WordImage& w) { w.ident = 0xA5DC; }, DocumentFault::OldFormat},
        {"Word 6/95 Asian identifiers", [](WordImage& w) { w.ident = 0xA697; },
         DocumentFault::OldFormat},
        {"", [](WordImage& w) { w.ident = 0xA699; }, DocumentFault::OldFormat},
        {"Word 95 nFib", [](WordImage& w) { w.nFib = 0x0068; }, DocumentFault::OldFormat},
        {"encrypted flag", [](WordImage& w) { w.flags |= 0x0100; }, DocumentFault::Encrypted},
        {"table stream missing", [](WordImage& w) { w.tableName = "0Table"; },
         DocumentFault::Damaged},
        {"FibRgLw too short", [](WordImage& w) { w.cslw = 2; }, DocumentFault::Damaged},
        {"Clx beyond the table stream", [](WordImage& w) { w.lcbClxOverride = 100000; },
         DocumentFault::Damaged},
        {"Clx past the reader's bound", [](WordImage& w) { w.lcbClxOverride = 0x7FFFFFFF; },
         DocumentFault::TooLarge},
        {"unknown Clx entry", [](WordImage& w) { w.clxOverride = "\x07xyz"; },
         DocumentFault::Damaged},
        {"Prc running past the Clx", [](WordImage& w) { w.clxOverride = "\x01" + Le16(500); },
         DocumentFault::Damaged},
        {"no piece table", [](WordImage& w) { w.clxOverride = "\x01" + Le16(0); },
         DocumentFault::Damaged},
        {"PlcPcd of a wrong size",
         [](WordImage& w) { w.clxOverride = "\x02" + Le32(9) + std::string(9, '\0'); },
         DocumentFault::Damaged},
        {"character positions going backwards",
         [](WordImage& w) {
             w.clxOverride = "\x02" + Le32(16) + Le32(5) + Le32(2) + Le16(0) +
                             Le32((1024 * 2) | 0x40000000) + Le16(0);
         },
         DocumentFault::Damaged},
        {"pieces repeating the same text past the stream's size",
         [](WordImage& w) {
             std::string cps, pcds;
             for (uint32_t i = 0; i <= 400; ++i) cps += Le32(i * 5);
             for (uint32_t i = 0; i < 400; ++i)
                 pcds += Le16(0) + Le32((1024 * 2) | 0x40000000) + Le16(0);
             w.clxOverride =
                 "\x02" + Le32(static_cast<uint32_t>(cps.size() + pcds.size())) + cps + pcds;
             w.ccpText = 2000;
         },
         DocumentFault::Damaged},
        {"piece past the end of the stream",
         [](WordImage& w) {
             w.clxOverride =
                 "\x02" + Le32(16) + Le32(0) + Le32(50) + Le16(0) + Le32(1000000) + Le16(0);
         },
         DocumentFault::Damaged},
    };
    for (const auto& c : cases) {
        WordImage image;
        image.pieces = {Narrow("text\r")};
        c.change(image);
        EXPECT_EQ(FaultOf([&] { Read(image); }), c.fault) << c.what;
    }
    testing::StreamStorage none;
    EXPECT_EQ(FaultOf([&] { Read(none); }), DocumentFault::Damaged);
    WordImage tiny;
    tiny.pieces = {Narrow("x")};
    testing::StreamStorage shortFib = tiny.Storage();
    shortFib.streams["WordDocument"].resize(100);
    EXPECT_EQ(FaultOf([&] { Read(shortFib); }), DocumentFault::Damaged);
}

}  // namespace
}  // namespace querna
