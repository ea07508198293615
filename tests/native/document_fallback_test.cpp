// Office documents where Office is absent: the comparison rules of each
// application, the reader chosen by a file's bytes, the errors that name the
// file, and the matcher set's decision, once per search, to read an
// application's documents itself.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "documents/CompoundFile.h"
#include "documents/DocumentReader.h"
#include "documents/XmlTokenizer.h"
#include "matchers/MatcherSet.h"
#include "matchers/OfficeDocuments.h"
#include "matchers/PhraseRules.h"
#include "native/IconvCodePage.h"
#include "search/PumpingStopCheck.h"
#include "search/SearchEngine.h"
#include "tests/fakes/CollectingSink.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/ZipBuilder.h"

namespace querna {
namespace {

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(QUERNA_SOURCE_DIR) + "/tests/documents/" + name,
                       std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(PhraseRulesTest, LetterCaseFoldsForLatinGreekCyrillicAndFullWidth) {
    const std::pair<char16_t, char16_t> cases[] = {
        {u'A', u'a'},     {u'z', u'z'},     {u'@', u'@'},   {u'[', u'['},   {0xC0, 0xE0},
        {0xD7, 0xD7},     {0xDE, 0xFE},     {0xDF, 0xDF},   {0x100, 0x101}, {0x101, 0x101},
        {0x130, u'i'},    {0x139, 0x13A},   {0x178, 0xFF},  {0x17D, 0x17E}, {0x391, 0x3B1},
        {0x3A2, 0x3A2},   {0x386, 0x3AC},   {0x401, 0x451}, {0x42F, 0x44F}, {0xFF21, 0xFF41},
        {0xFF3A, 0xFF5A}, {0xFF3B, 0xFF3B}, {u'中', u'中'},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(static_cast<int>(FoldLetterCase(in)), static_cast<int>(out))
            << std::hex << static_cast<int>(in);
    }
    EXPECT_EQ(FoldWidth(0xFF21), u'A');
    EXPECT_EQ(FoldWidth(0xFF01), u'!');
    EXPECT_EQ(FoldWidth(0x3000), u' ');
    EXPECT_EQ(FoldWidth(u'中'), u'中');
}

// The finders fold a unit with shortcuts for the common characters; every
// UTF-16 unit must still fold as the rules say, in both width rules: a unit
// holding one character is found by the phrase of its folded form and not by
// a character that folds otherwise.
TEST(PhraseRulesTest, FindersFoldEveryCharacterAsTheRulesSay) {
    for (WidthRule width : {WidthRule::Significant, WidthRule::Ignored}) {
        auto fold = [&](char16_t c) {
            return FoldLetterCase(width == WidthRule::Ignored ? FoldWidth(c) : c);
        };
        for (uint32_t code = 1; code <= 0xFFFF; ++code) {
            const auto c = static_cast<char16_t>(code);
            const std::u16string unit(1, c);
            UnicodePhraseFinder same(std::u16string(1, fold(c)), width);
            EXPECT_TRUE(same.Unit(unit, {})) << std::hex << code;
            const auto other = static_cast<char16_t>(code == 0xFFFF ? 1 : code + 1);
            if (fold(other) == fold(c)) continue;
            UnicodePhraseFinder different(std::u16string(1, other), width);
            EXPECT_FALSE(different.Unit(unit, {})) << std::hex << code;
        }
    }
}

TEST(PhraseRulesTest, EachApplicationComparesByItsOwnRules) {
    struct Case {
        std::u16string unit;
        std::u16string phrase;
        bool word, excel;
    };
    const Case cases[] = {
        {u"Quarterly Report", u"quarterly REPORT", true, true},
        {u"ＦＵＬＬ width", u"ｆｕｌｌ", true, true},
        {u"ＦＵＬＬ width", u"full", false, true},  // byte width counts for Word only
        {u"Revenue", u"ＲＥＶ", false, true},
        {u"销售额上升", u"销售额", true, true},
        {u"Straße", u"STRASSE", false, false},  // no expansion, as the applications do
        {u"ab", u"abc", false, false},
        {u"anything", u"", false, false},  // the empty phrase is never found
        // 中 is U+4E2D; U+2D41 U+4E4E hold its two bytes across two characters.
        {u"\u2D41\u4E4E", u"中", false, false},
        {u"\u2D41\u4E4E中", u"中", true, true},
    };
    for (const Case& c : cases) {
        UnicodePhraseFinder word(c.phrase, WidthRule::Significant);
        UnicodePhraseFinder excel(c.phrase, WidthRule::Ignored);
        EXPECT_EQ(word.Unit(c.unit, {}), c.word);
        EXPECT_EQ(word.Found(), c.word);
        EXPECT_EQ(excel.Unit(c.unit, {}), c.excel);
    }
    native::IconvCodePage gbk;
    struct BytesCase {
        std::u16string unit;
        std::string phrase;
        bool found;
    };
    const BytesCase bytesCases[] = {
        {u"季度报告 Hello", "Hello", true},
        {u"季度报告 Hello", "hello", false},  // case counts
        {u"季度报告", "季度", true},
        {u"안녕 第二页", "?? 第", true},  // what the code page lacks becomes '?'
        {u"abc", "", false},
        // Only where a character begins: 形 (D0 CE) lies across 中文 (D6 D0 CE C4),
        // r is the second byte of 時 (95 72).
        {u"中文", "形", false},
        {u"中文形", "形", true},
        {u"時", "r", false},
        {u"時 r", "r", true},
    };
    for (const BytesCase& c : bytesCases) {
        CodePagePhraseFinder finder(gbk, c.phrase);
        EXPECT_EQ(finder.Unit(c.unit, {}), c.found) << c.phrase;
    }
}

// A unit is folded eight characters a step, the phrase of a few characters
// one at a time: wherever a character stands in the unit, it must fold as the
// rules fold it alone, for Word and for Excel.
TEST(PhraseRulesTest, LongUnitsFoldEveryCharacterAsItFoldsAlone) {
    const char16_t characters[] = {u'A',   u'Z',   u'@',   u'[',   u'a',   0x7F,   0x80,
                                   0xC0,   0x178,  0x42F,  0x430,  0x2FFF, 0x3000, 0x3001,
                                   0x4E2D, 0xFF00, 0xFF01, 0xFF21, 0xFF5E, 0xFF5F, 0xFFFF};
    for (const char16_t c : characters) {
        for (const size_t at : {0, 7, 8, 15, 16}) {
            std::u16string unit(17, u'x');
            unit[at] = c;
            for (const WidthRule width : {WidthRule::Significant, WidthRule::Ignored}) {
                const char16_t alone =
                    FoldLetterCase(width == WidthRule::Ignored ? FoldWidth(c) : c);
                std::u16string phrase(1, alone);
                if (at > 0) phrase.insert(phrase.begin(), u'x');
                if (at < 16) phrase += u'x';
                UnicodePhraseFinder finder(phrase, width);
                EXPECT_TRUE(finder.Unit(unit, {})) << std::hex << int{c} << " at " << at;
            }
        }
    }
}

// Folding also tells which units lack the phrase's first two characters side
// by side, and those are not searched: wherever the pair stands (within one
// step of eight characters, across two, in the tail after the last step),
// and whatever else the unit holds, a finder answers as folding each
// character alone and searching the whole unit does.
TEST(PhraseRulesTest, FindersAnswerAsAWholeSearchOfTheFoldedUnit) {
    const char16_t alphabet[] = {u'a', u'B', u'b', u'x', 0xC0, 0xE0, u'中', 0xFF41, 0x3000, u' '};
    const std::u16string phrases[] = {u"ab", u"a", u"B", u"ba", u"aa", u"xAb", u"中a", u"à"};
    uint32_t seed = 12345;
    auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
    std::vector<std::u16string> units;
    for (size_t length = 0; length <= 40; ++length) {
        for (int n = 0; n < 60; ++n) {
            std::u16string unit;
            // Mostly filler, so that most units hold no pair at all.
            for (size_t i = 0; i < length; ++i)
                unit += next() % 4 == 0 ? alphabet[next() % std::size(alphabet)] : u'x';
            units.push_back(unit);
        }
    }
    for (const WidthRule width : {WidthRule::Significant, WidthRule::Ignored}) {
        auto fold = [&](std::u16string text) {
            for (char16_t& c : text)
                c = FoldLetterCase(width == WidthRule::Ignored ? FoldWidth(c) : c);
            return text;
        };
        for (const std::u16string& phrase : phrases) {
            UnicodePhraseFinder finder(phrase, width);
            for (const std::u16string& unit : units) {
                const bool whole = fold(unit).find(fold(phrase)) != std::u16string::npos;
                EXPECT_EQ(finder.Unit(unit, {}), whole);
            }
        }
    }
}

// The PowerPoint rule converts only the units beyond ASCII: an ASCII unit is
// searched as its own bytes, and the bytes of one unit are not left for the
// next. Whatever the path, a finder answers as the whole conversion does.
TEST(PhraseRulesTest, CodePageFinderAnswersAsTheConversionForEachUnitInTurn) {
    native::IconvCodePage gbk;
    const std::u16string units[] = {
        u"季度报告 Hello world",
        u"Hello",
        u"ab\u00E9cd",
        u"hello wor",
        u"x季度",
        u"\u00A0Hello",
        u"",
        u"Hello\x80",
        u"Hello",
        u"\U0001F600o",
        // Eight and more ASCII characters before the first other one, or none.
        u"Hello wo季度 lo w Hello",
        u"Hello wor\x80 Hello",
        u"lo wHello world, Hello again!",
    };
    const std::string phrases[] = {"Hello", "季度", "?", "lo w", "o", "\xA8\xA6", "Hello\x80"};
    for (const std::string& phrase : phrases) {
        CodePagePhraseFinder finder(gbk, phrase);
        for (const std::u16string& unit : units) {
            const bool converted = gbk.FromUnicode(unit).find(phrase) != std::string::npos;
            EXPECT_EQ(finder.Unit(unit, {}), converted) << phrase << " in unit of " << unit.size();
        }
    }
}

// Creating any object fails as `failure` says, counted per program
// identifier or class; nothing else is ever called.
class FakeAutomation final : public Automation {
  public:
    enum class Failure { Absent, Refused };
    Failure failure = Failure::Absent;
    std::map<std::string, int> created;

    AutoValue CreateObject(const std::string& progId) override { return Fail(progId); }
    AutoValue CreateObjectOfClass(const std::string& clsid) override { return Fail(clsid); }
    AutoValue Call(const AutoValue&, const std::string&, CallKind,
                   const std::vector<AutoValue>&) override {
        throw QuernaError(kInvalidVariantOperation);
    }
    AutoValue CallById(const AutoValue&, int32_t, CallKind,
                       const std::vector<AutoValue>&) override {
        throw QuernaError(kInvalidVariantOperation);
    }
    AutoValue QueryInterface(const AutoValue&, const std::string&) override {
        throw QuernaError(kInterfaceNotSupported);
    }

  private:
    AutoValue Fail(const std::string& name) {
        ++created[name];
        if (failure == Failure::Absent) throw ServerAbsentError("OLE error 800401f3");
        throw QuernaError("服务器拒绝");
    }
};

constexpr char kExcelClass[] = "{00024500-0000-0000-C000-000000000046}";

class DocumentFallbackTest : public ::testing::Test {
  protected:
    DocumentFallbackTest() {
        for (const char* name : {"lo-word.docx", "py-word.docx", "lo-empty.docx", "lo-excel.xlsx",
                                 "py-excel.xlsx", "lo-powerpoint.pptx", "truncated.docx",
                                 "zip-encrypted.docx", "bomb.docx", "encrypted.docx"}) {
            fs.AddFile(std::string("C:\\d\\") + name, Fixture(name));
        }
    }
    static std::string Path(const std::string& name) { return "C:\\d\\" + name; }

    // A phrase search of every file under `root`, as the content pass runs it.
    std::vector<std::string> Search(const std::string& root, const std::string& phrase) {
        state.Criteria.TypeFilter = "|*.*|";
        window.phrase = phrase;
        ResultPathList results(rules);
        engine.SearchContents(results, root, "");
        return results.Paths();
    }

    fakes::FakeFileSystem fs;
    native::IconvCodePage codePage;
    XmlTokenizerReaders xml;
    SearchState state;
    fakes::FakeWindow window;
    // Every check finds the window's last pump long enough ago to pump again.
    int64_t clock = 0;
    PumpingStopCheck stop{state, window,
                          [this] { return clock += PumpingStopCheck::kPumpIntervalMs; }};
    DocumentServices services{fs, xml, codePage, &stop};
    FakeAutomation automation;
    fakes::GbkTextRules rules;
    MatcherSet matchers{fs, rules, automation, &services};
    SearchEngine engine{state, fs, rules, window, &matchers, 0};
};

TEST_F(DocumentFallbackTest, FindsExactlyTheDocumentsThatHoldThePhrase) {
    enum Kind { Word, Excel, PowerPoint };
    struct Case {
        Kind kind;
        const char* fixture;
        std::string phrase;  // GBK bytes, as typed
        bool found;
    };
    const Case cases[] = {
        {Word, "lo-word.docx", "销售额上升", 1},
        {Word, "lo-word.docx", "quarterly report", 1},
        {Word, "lo-word.docx", "\xA3\xE6\xA3\xF5\xA3\xEC\xA3\xEC", 1},  // ｆｕｌｌ
        {Word, "lo-word.docx", "FULLWIDTH", 0},
        {Word, "lo-word.docx", "ΕΛΛ", 1},
        {Word, "lo-word.docx", "表格单元乙", 1},
        {Word, "lo-word.docx", "甲表格", 0},      // across two cells
        {Word, "lo-word.docx", "结尾第二", 0},    // across two paragraphs
        {Word, "lo-word.docx", "页眉文字", 0},    // header
        {Word, "lo-word.docx", "页脚文字", 0},    // footer
        {Word, "lo-word.docx", "脚注文字", 0},    // footnote
        {Word, "lo-word.docx", "文本框文字", 0},  // text box
        {Word, "lo-word.docx", "批注文字", 0},    // comment
        {Word, "py-word.docx", "milestone one", 1},
        {Word, "py-word.docx", "张三", 1},
        {Word, "py-word.docx", "页眉不应被找到", 0},
        {Word, "lo-empty.docx", "a", 0},
        {Word, "lo-word.docx", "", 0},
        {Excel, "lo-excel.xlsx", "revenue", 1},
        {Excel, "lo-excel.xlsx", "\xA3\xD2\xA3\xE5\xA3\xD6", 1},  // ＲｅＶ
        {Excel, "lo-excel.xlsx", "sum(a1:a2)", 1},
        {Excel, "lo-excel.xlsx", "1244.5", 0},  // a formula's value is not looked in
        {Excel, "lo-excel.xlsx", "合计", 1},
        {Excel, "lo-excel.xlsx", "合计销售额", 0},
        {Excel, "lo-excel.xlsx", "收入10", 0},  // across two cells
        {Excel, "py-excel.xlsx", "最后一张表", 1},
        {Excel, "py-excel.xlsx", "true", 1},
        {Excel, "py-excel.xlsx", "MIXED CASE", 1},
        {Excel, "py-excel.xlsx", "图表", 0},  // a chart sheet's name is no cell
        {PowerPoint, "lo-powerpoint.pptx", "Hello World", 1},
        {PowerPoint, "lo-powerpoint.pptx", "hello world", 0},
        {PowerPoint, "lo-powerpoint.pptx", "World\r第二行", 1},
        {PowerPoint, "lo-powerpoint.pptx", "形状文字", 1},
        {PowerPoint, "lo-powerpoint.pptx", "?? 第二页", 1},
        {PowerPoint, "lo-powerpoint.pptx", "组合文字", 0},  // group member
        {PowerPoint, "lo-powerpoint.pptx", "表格文字", 0},  // table
        {PowerPoint, "lo-powerpoint.pptx", "备注文字", 0},  // notes
        {PowerPoint, "lo-powerpoint.pptx", "母版文字", 0},  // master
        {PowerPoint, "lo-powerpoint.pptx", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " / " + c.phrase);
        const std::string path = Path(c.fixture);
        switch (c.kind) {
            case Word:
                EXPECT_EQ(matchers.MatchWordDocument(path, c.phrase), FoundIf(c.found));
                break;
            case Excel:
                EXPECT_EQ(matchers.MatchExcelWorkbook(path, c.phrase), FoundIf(c.found));
                break;
            case PowerPoint:
                EXPECT_EQ(matchers.MatchPowerPointPresentation(path, c.phrase), FoundIf(c.found));
                break;
        }
    }
}

TEST_F(DocumentFallbackTest, TheServerIsTriedOncePerApplicationPerSearch) {
    matchers.BeginSearch();
    EXPECT_EQ(matchers.MatchWordDocument(Path("lo-word.docx"), "销售额"), MatchVerdict::Found);
    EXPECT_EQ(matchers.MatchWordDocument(Path("py-word.docx"), "张三"), MatchVerdict::Found);
    EXPECT_EQ(matchers.MatchExcelWorkbook(Path("lo-excel.xlsx"), "收入"), MatchVerdict::Found);
    EXPECT_EQ(matchers.MatchExcelWorkbook(Path("py-excel.xlsx"), "收入"), MatchVerdict::NotFound);
    EXPECT_EQ(matchers.MatchPowerPointPresentation(Path("lo-powerpoint.pptx"), "形状"),
              MatchVerdict::Found);
    const std::map<std::string, int> once = {
        {"Word.Application", 1}, {kExcelClass, 1}, {"PowerPoint.Application", 1}};
    EXPECT_EQ(automation.created, once);
    matchers.BeginSearch();
    EXPECT_EQ(matchers.MatchWordDocument(Path("lo-word.docx"), "销售额"), MatchVerdict::Found);
    EXPECT_EQ(automation.created["Word.Application"], 2) << "a new search asks again";
}

TEST_F(DocumentFallbackTest, AServerThatIsThereKeepsItsErrors) {
    automation.failure = FakeAutomation::Failure::Refused;
    matchers.BeginSearch();
    for (int i = 1; i <= 2; ++i) {
        try {
            matchers.MatchWordDocument(Path("lo-word.docx"), "销售额");
            ADD_FAILURE() << "no error";
        } catch (const QuernaError& error) {
            EXPECT_STREQ(error.what(), "服务器拒绝");
        }
        EXPECT_EQ(automation.created["Word.Application"], i);
    }
    // Found there once, the server's later absence is an error like any other.
    automation.failure = FakeAutomation::Failure::Absent;
    EXPECT_THROW(matchers.MatchWordDocument(Path("lo-word.docx"), "销售额"), ServerAbsentError);
}

TEST_F(DocumentFallbackTest, WithoutDocumentServicesAnAbsentServerIsAnErrorAsEver) {
    MatcherSet plain(fs, rules, automation);
    plain.BeginSearch();
    EXPECT_THROW(plain.MatchWordDocument(Path("lo-word.docx"), "销售额"), ServerAbsentError);
    EXPECT_THROW(plain.MatchWordDocument(Path("lo-word.docx"), "销售额"), ServerAbsentError);
    EXPECT_THROW(plain.MatchExcelWorkbook(Path("lo-excel.xlsx"), "收入"), ServerAbsentError);
    EXPECT_EQ(automation.created["Word.Application"], 2);
}

TEST_F(DocumentFallbackTest, UnreadableDocumentsGiveAnErrorNamingTheFileAndWhy) {
    fs.AddFile("C:\\d\\locked.docx", Fixture("lo-word.docx"));
    fs.LockFile("C:\\d\\locked.docx");
    fs.AddFile("C:\\d\\failing.docx", Fixture("lo-word.docx"));
    fs.FailReads("C:\\d\\failing.docx");
    fs.AddFile("C:\\d\\text.docx", "{\\rtf1 not a package}");
    const std::pair<const char*, const char*> cases[] = {
        {"truncated.docx", "文档已损坏"}, {"zip-encrypted.docx", "文档已加密"},
        {"bomb.docx", "文档内容过大"},    {"encrypted.docx", "文档已加密"},
        {"locked.docx", "无法打开文件"},  {"failing.docx", "文档已损坏"},
        {"text.docx", "文档已损坏"},      {"missing.docx", "无法打开文件"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        try {
            matchers.MatchWordDocument(Path(name), "销售额");
            ADD_FAILURE() << "no error";
        } catch (const QuernaError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "无法读取文档 " + Path(name) + "：" + std::string(reason));
        }
    }
    EXPECT_THROW(matchers.MatchExcelWorkbook(Path("lo-word.docx"), "x"), QuernaError)
        << "a Word document named as a workbook";
}

// WPS files are Office documents under other names, read by content with the
// rule their extension names; a file in neither container is an older
// Kingsoft format.
TEST_F(DocumentFallbackTest, WpsFilesAreReadByContentUnderTheirOwnRule) {
    const struct {
        const char* fixture;
        const char* name;
        std::string phrase;
        MatchVerdict expected;
    } cases[] = {
        {"lo-word.docx", "w.wps", "QUARTERLY REPORT", MatchVerdict::Found},  // Word: any case
        {"words.doc", "w.WPT", "quick brown", MatchVerdict::Found},
        {"lo-excel.xlsx", "s.et", "\xA3\xD2\xA3\xE5\xA3\xD6",
         MatchVerdict::Found},  // Excel: any width
        {"sheets.xls", "s.ett", "hello world", MatchVerdict::Found},
        {"lo-powerpoint.pptx", "p.dps", "Hello World", MatchVerdict::Found},
        {"lo-powerpoint.pptx", "p.dpt", "hello world", MatchVerdict::NotFound},  // byte for byte
    };
    for (const auto& c : cases) {
        fs.AddFile(Path(c.name), Fixture(c.fixture));
        EXPECT_EQ(matchers.MatchWpsDocument(Path(c.name), c.phrase), c.expected) << c.name;
    }
    fs.AddFile(Path("old.wps"), "\xFFWPS old Kingsoft writer file");
    try {
        matchers.MatchWpsDocument(Path("old.wps"), "x");
        ADD_FAILURE() << "an old Kingsoft file was read";
    } catch (const QuernaError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "无法读取文档 " + Path("old.wps") + "：不支持的旧格式");
    }
    EXPECT_TRUE(automation.created.empty()) << "WPS files never ask for a server";
}

TEST_F(DocumentFallbackTest, EmptyOfficeFilesHoldNoTextAndTheSearchGoesOn) {
    // What Explorer's "New" menu makes where Office is absent.
    for (const char* name : {"a.docx", "b.xlsx", "c.pptx", "d.doc", "e.xls", "f.ppt"}) {
        fs.AddFile(std::string("C:\\new\\") + name, "");
    }
    fs.AddFile("C:\\new\\z.txt", "x");
    EXPECT_EQ(Search("C:\\new", "x"), std::vector<std::string>{"C:\\new\\z.txt"});
    EXPECT_EQ(window.phraseReads, 7) << "every file examined";
    EXPECT_EQ(matchers.MatchExcelWorkbook("C:\\new\\b.xlsx", "x"), MatchVerdict::NotFound);
}

// A Word document holding some strides of the readers' stop checks in text,
// "needle" only in its last paragraph.
std::string LargeDocument() {
    std::string body;
    for (int i = 0; i < 8000; ++i) {
        body += "<w:p><w:r><w:t>" + std::string(100, 'f') + "</w:t></w:r></w:p>";
    }
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels",
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"r\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "relationships/officeDocument\" Target=\"document.xml\"/></Relationships>");
    zip.Add("document.xml",
            "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
            "<w:body>" +
                body + "<w:p><w:r><w:t>needle</w:t></w:r></w:p></w:body></w:document>");
    return zip.Build();
}

TEST_F(DocumentFallbackTest, StopIsHeardInsideALargeDocumentAndEndsTheSearch) {
    const std::string document = LargeDocument();
    for (const int stopAtCheck : {0, 1, 2}) {  // 0: nobody presses Stop
        SCOPED_TRACE(stopAtCheck);
        const std::string root = "C:\\large" + std::to_string(stopAtCheck);
        fs.AddFile(root + "\\a.docx", document);
        fs.AddFile(root + "\\z.txt", "needle");
        state.StopRequested = kFalse;
        window.phraseReads = 0;
        // Stop is pressed at a chosen pump while the document is being read.
        int checks = 0;
        window.onPump = [&](int) {
            if (window.phraseReads == 1 && ++checks == stopAtCheck) state.StopRequested = kTrue;
        };
        const std::vector<std::string> found = Search(root, "needle");
        if (stopAtCheck == 0) {
            EXPECT_EQ(found, (std::vector<std::string>{root + "\\a.docx", root + "\\z.txt"}));
        } else {
            EXPECT_TRUE(found.empty()) << "the document's end is never reached";
            EXPECT_EQ(window.phraseReads, 1) << "no file is examined after the stop";
        }
    }
}

TEST(DocumentSniffTest, TheFirstBytesTellTheContainer) {
    const std::string compound(reinterpret_cast<const char*>(kCompoundFileSignature),
                               sizeof kCompoundFileSignature);
    const std::pair<std::string, ContainerKind> cases[] = {
        {"PK\x03\x04rest", ContainerKind::Zip},
        {std::string("PK\x05\x06") + std::string(18, '\0'), ContainerKind::Zip},
        {compound, ContainerKind::Compound},
        {compound.substr(0, 7), ContainerKind::Unknown},
        {"PK", ContainerKind::Unknown},
        {"", ContainerKind::Unknown},
        {"{\\rtf1", ContainerKind::Unknown},
    };
    for (const auto& [bytes, kind] : cases) {
        MemoryByteSource source(bytes.data(), bytes.size());
        EXPECT_EQ(SniffContainer(source), kind) << bytes.size();
    }
}

TEST(DocumentReaderTest, OlderFormatsAreNamedOldWhateverTheirContainer) {
    const auto plain = [](std::initializer_list<int> head) {
        std::string bytes;
        for (int b : head) bytes.push_back(static_cast<char>(b));
        return bytes + std::string(64, '\0');
    };
    const struct {
        const char* what;
        DocumentKind kind;
        std::string bytes;
        DocumentFault fault;
    } cases[] = {
        {"Word 2 (Apache POI's test data)", DocumentKind::Word, Fixture("poi_word2.doc"),
         DocumentFault::OldFormat},
        {"Word for Windows 1", DocumentKind::Word, plain({0x9B, 0xA5, 0x21, 0x00}),
         DocumentFault::OldFormat},
        {"Word for MS-DOS", DocumentKind::Word, plain({0x31, 0xBE, 0, 0, 0, 0xAB}),
         DocumentFault::OldFormat},
        {"PowerPoint 95 (Apache POI's test data)", DocumentKind::PowerPoint,
         Fixture("poi_PPT95.ppt"), DocumentFault::OldFormat},
        {"BIFF2", DocumentKind::Excel, plain({0x09, 0x00, 0x04, 0x00, 0x02, 0x00, 0x10, 0x00}),
         DocumentFault::OldFormat},
        {"BIFF3", DocumentKind::Excel, plain({0x09, 0x02, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00}),
         DocumentFault::OldFormat},
        {"BIFF4", DocumentKind::Excel, plain({0x09, 0x04, 0x06, 0x00, 0x00, 0x00, 0x10, 0x00}),
         DocumentFault::OldFormat},
        {"BIFF5 worksheet", DocumentKind::Excel, plain({0x09, 0x08, 0x08, 0x00, 0x00, 0x05, 0x10}),
         DocumentFault::OldFormat},
        {"BIFF8 records outside a compound file", DocumentKind::Excel,
         plain({0x09, 0x08, 0x10, 0x00, 0x00, 0x06, 0x05, 0x00}), DocumentFault::Damaged},
        {"Word 2 bytes named as a workbook", DocumentKind::Excel, plain({0xDB, 0xA5, 0x2D, 0x00}),
         DocumentFault::Damaged},
        {"plain text", DocumentKind::Word, "not a document at all", DocumentFault::Damaged},
    };
    for (const auto& c : cases) {
        MemoryByteSource source(c.bytes.data(), c.bytes.size());
        XmlTokenizerReaders xml;
        testing::CollectingSink sink;
        try {
            ReadDocumentText(c.kind, source, xml, sink);
            ADD_FAILURE() << c.what << ": read";
        } catch (const DocumentError& e) {
            EXPECT_EQ(e.Fault(), c.fault) << c.what;
        }
    }
}

// A search lends one file buffer and one factory's tokenizer buffers to every
// document: each, read after larger and smaller ones and after one that
// failed, gives the units it gives read alone.
TEST(DocumentReaderTest, DocumentsReadOneAfterAnotherGiveTheirUnitsAsAlone) {
    const std::pair<const char*, DocumentKind> files[] = {
        {"words.doc", DocumentKind::Word},
        {"lo-word.docx", DocumentKind::Word},
        {"truncated.docx", DocumentKind::Word},
        {"sheets.xls", DocumentKind::Excel},
        {"lo-excel.xlsx", DocumentKind::Excel},
        {"slides.ppt", DocumentKind::PowerPoint},
        {"lo-powerpoint.pptx", DocumentKind::PowerPoint},
        {"py-word.docx", DocumentKind::Word},
    };
    auto read = [](const std::string& bytes, DocumentKind kind, XmlReaders& xml,
                   DocumentBuffers* buffers) {
        MemoryByteSource source(bytes.data(), bytes.size());
        testing::CollectingSink sink;
        try {
            ReadDocumentText(kind, source, xml, sink, DocumentFault::Damaged, nullptr, buffers);
        } catch (const DocumentError& e) {
            sink.units.push_back(u"fault " + std::u16string(1, u'0' + static_cast<int>(e.Fault())));
        }
        return sink.units;
    };
    XmlTokenizerReaders shared;
    DocumentBuffers buffers;
    for (int round = 0; round < 2; ++round) {
        for (const auto& [file, kind] : files) {
            const std::string bytes = Fixture(file);
            XmlTokenizerReaders alone;
            EXPECT_EQ(read(bytes, kind, shared, &buffers), read(bytes, kind, alone, nullptr))
                << file;
        }
    }
}

}  // namespace
}  // namespace querna
