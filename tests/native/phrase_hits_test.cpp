// Where the phrase is: the hits of each document format on the fixtures, the
// context window around a hit, the limit, and the hits of text files in each
// encoding against a whole-file reference.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "documents/DocumentReader.h"
#include "documents/XmlTokenizer.h"
#include "matchers/PhraseHits.h"
#include "matchers/TextEncoding.h"
#include "matchers/TextMatcher.h"
#include "native/IconvCodePage.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

std::array<bool, 256> GbkLeadBytes() {
    fakes::GbkTextRules rules;
    std::array<bool, 256> lead{};
    for (size_t b = 0; b < lead.size(); ++b) lead[b] = rules.IsLeadByte(static_cast<uint8_t>(b));
    return lead;
}

class PhraseHitsTest : public ::testing::Test {
  protected:
    std::vector<PhraseHit> DocumentHits(const std::string& file, DocumentKind kind,
                                        const std::string& phrase, size_t limit = 0) {
        const std::string bytes = testing::FixtureBytes(file);
        MemoryByteSource source(bytes.data(), bytes.size());
        XmlTokenizerReaders xml;
        DocumentHitCollector collector(kind, gbk, lead, phrase, {limit});
        ReadDocumentText(kind, source, xml, collector);
        return collector.Hits();
    }

    native::IconvCodePage gbk;
    const std::array<bool, 256> lead = GbkLeadBytes();
};

// The strings below are GBK in the program, as querna-find prints them.
TEST_F(PhraseHitsTest, FirstHitOfEachFormatTellsItsPlaceAndShowsItsUnit) {
    struct Case {
        const char* file;
        DocumentKind kind;
        const char* phrase;
        const char* location;
        const char* context;
    };
    const Case cases[] = {
        {"lo-word.docx", DocumentKind::Word, "销售额", "段落 1", "第一季度报告：【销售额】上升"},
        {"lo-word.docx", DocumentKind::Word, "QUARTERLY", "段落 2",
         "【Quarterly】 Report ＦＵＬＬＷＩＤＴＨ Ελλ?δα"},
        // Each cell of the table is one paragraph, the one after it the next.
        {"lo-word.docx", DocumentKind::Word, "单元乙", "段落 7", "表格【单元乙】"},
        {"lo-word.docx", DocumentKind::Word, "正文", "段落 8", "【正文】段落"},
        {"py-word.docx", DocumentKind::Word, "日本語", "段落 8", "【日本語】のテキスト"},
        {"words.doc", DocumentKind::Word, "寻踪", "段落 2", "青禾【寻踪】全文检索测试段落"},
        // The paragraph properties tell the cells and the rows' end marks.
        {"words.doc", DocumentKind::Word, "last CELL", "段落 7", "【Last cell】"},
        {"words.doc", DocumentKind::Word, "LinkText", "段落 8", "See 【LinkText】 end"},
        {"lo-excel.xlsx", DocumentKind::Excel, "ＲＥＶＥＮＵＥ", "二月!A1", "销售额 【Revenue】"},
        {"lo-excel.xlsx", DocumentKind::Excel, "sum(", "一月!B2", "=【SUM(】A1:A2)"},
        {"py-excel.xlsx", DocumentKind::Excel, "最后", "第三!B5", "【最后】一张表"},
        {"sheets.xls", DocumentKind::Excel, "后缀", "销售!B3", "=A2&\"【后缀】\""},
        {"sheets.xls", DocumentKind::Excel, "0.0001", "My Data!B1", "【0.0001】"},
        // A shape's paragraphs are joined by CR, shown as a space.
        {"lo-powerpoint.pptx", DocumentKind::PowerPoint, "第二行", "幻灯片 1",
         "季度报告 Hello World 【第二行】"},
        {"lo-powerpoint.pptx", DocumentKind::PowerPoint, "第二页", "幻灯片 2", "?? 【第二页】"},
        {"slides.ppt", DocumentKind::PowerPoint, "自由", "幻灯片 2",
         "Free text box 【自由】文本 Second line"},
    };
    for (const Case& c : cases) {
        const std::vector<PhraseHit> hits = DocumentHits(c.file, c.kind, c.phrase, 1);
        ASSERT_EQ(hits.size(), 1u) << c.file << " " << c.phrase;
        EXPECT_EQ(hits[0].location, c.location) << c.file << " " << c.phrase;
        EXPECT_EQ(hits[0].context, c.context) << c.file << " " << c.phrase;
    }
}

// A hit is a hit by its format's rule only: PowerPoint's bytes keep their
// case and width, Word's width counts.
TEST_F(PhraseHitsTest, HitsFollowEachFormatsMatchingRule) {
    EXPECT_TRUE(DocumentHits("lo-powerpoint.pptx", DocumentKind::PowerPoint, "hello").empty());
    EXPECT_EQ(DocumentHits("lo-powerpoint.pptx", DocumentKind::PowerPoint, "Hello").size(), 1u);
    EXPECT_TRUE(DocumentHits("lo-word.docx", DocumentKind::Word, "FULLWIDTH").empty());
    EXPECT_EQ(DocumentHits("lo-word.docx", DocumentKind::Word, "ｆｕｌｌ").size(), 1u);
}

TEST_F(PhraseHitsTest, ContextShowsThirtyCharactersEachSideWithinTheUnit) {
    const std::u16string a30(30, u'甲'), b30(30, u'乙');
    std::u16string pairs;  // 31 characters of two units each
    for (int i = 0; i < 31; ++i) pairs += u"😀";
    struct Case {
        std::u16string unit;
        std::u16string context;
    };
    const Case cases[] = {
        {u"目标", u"【目标】"},
        {u"丙" + a30 + u"目标" + b30 + u"丁", a30 + u"【目标】" + b30},
        {u"x" + pairs + u"目标", pairs.substr(2) + u"【目标】"},
        {u"目标" + pairs, u"【目标】" + pairs.substr(0, 60)},
        {u"a\rb\vc\nd\x2029目标\f", u"a b c d 【目标】 "},
    };
    for (const Case& c : cases) {
        DocumentHitCollector collector(DocumentKind::Word, gbk, lead, "目标", {0});
        collector.Unit(c.unit, UnitPlace{.paragraph = 4});
        ASSERT_EQ(collector.Hits().size(), 1u);
        EXPECT_EQ(collector.Hits()[0].location, "段落 4");
        EXPECT_EQ(collector.Hits()[0].context, gbk.FromUnicode(c.context));
    }
}

// 0 gives every hit; N stops the reading at the Nth. Hits in one unit do not
// overlap.
TEST_F(PhraseHitsTest, LimitTakesTheFirstHitsInOrderAndZeroTakesAll) {
    const struct {
        size_t limit;
        std::vector<std::string> locations;
        bool stopped;
    } cases[] = {
        {0, {"Sheet1!A1", "Sheet1!A1", "Sheet1!B2", "Sheet1!B2", "Sheet1!B2"}, false},
        {3, {"Sheet1!A1", "Sheet1!A1", "Sheet1!B2"}, true},
        {1, {"Sheet1!A1"}, true},
    };
    for (const auto& c : cases) {
        DocumentHitCollector collector(DocumentKind::Excel, gbk, lead, "aa", {c.limit});
        bool stopped =
            collector.Unit(u"aaaaa", UnitPlace{.sheet = u"Sheet1", .row = 1, .column = 1});
        if (!stopped) {
            stopped =
                collector.Unit(u"AAｂＡＡaa", UnitPlace{.sheet = u"Sheet1", .row = 2, .column = 2});
        }
        EXPECT_EQ(stopped, c.stopped);
        std::vector<std::string> locations;
        for (const PhraseHit& hit : collector.Hits()) locations.push_back(hit.location);
        EXPECT_EQ(locations, c.locations) << c.limit;
    }
}

// What each hit of a text file should be, from the whole text decoded at
// once: lines end at LF, and a CR before the LF is no part of the line.
std::vector<PhraseHit> ReferenceTextHits(const std::u16string& text, const std::u16string& phrase,
                                         CodePage& codePage) {
    std::vector<PhraseHit> hits;
    size_t begin = 0;
    for (uint64_t line = 1; begin <= text.size(); ++line) {
        size_t end = text.find(u'\n', begin);
        if (end == std::u16string::npos) end = text.size();
        std::u16string content = text.substr(begin, end - begin);
        if (!content.empty() && content.back() == u'\r') content.pop_back();
        for (size_t at = content.find(phrase); at != std::u16string::npos;
             at = content.find(phrase, at + phrase.size())) {
            const size_t from = at > 30 ? at - 30 : 0;
            const std::u16string context = content.substr(from, at - from) + u"【" + phrase +
                                           u"】" + content.substr(at + phrase.size(), 30);
            hits.push_back({LineLocation(line), codePage.FromUnicode(context)});
        }
        begin = end + 1;
    }
    return hits;
}

struct TextForm {
    const char* name;
    bool detect;
    TextEncoding encoding;
    std::string mark;
};

std::string Encode(const std::u16string& text, const TextForm& form, CodePage& codePage) {
    if (form.encoding == TextEncoding::Gbk) return codePage.FromUnicode(text);
    return form.mark + EncodeUnicode(text, form.encoding);
}

// Streamed in small blocks, the hits, their lines and their contexts are
// those of the whole text, in GBK byte for byte and in every encoding that
// `--encoding auto` reads; the limit takes the first of them.
TEST_F(PhraseHitsTest, TextFileHitsAgreeWithTheWholeTextInEachEncoding) {
    const TextForm forms[] = {
        {"gbk", false, TextEncoding::Gbk, ""},
        {"gb18030", true, TextEncoding::Gbk, ""},
        {"utf-8", true, TextEncoding::Utf8, "\xEF\xBB\xBF"},
        {"utf-16le", true, TextEncoding::Utf16Le, "\xFF\xFE"},
        {"utf-16be", true, TextEncoding::Utf16Be, "\xFE\xFF"},
    };
    const std::u16string pieces[] = {u"a", u"b", u"销", u"售", u"额", u" ", u"\r\n", u"\n"};
    std::mt19937 random(7);
    fakes::GbkTextRules rules;
    for (const TextForm& form : forms) {
        for (const std::u16string phrase : {u"销售", u"ab"}) {
            for (int round = 0; round < 20; ++round) {
                std::u16string text;
                const size_t length = random() % 2000;
                for (size_t i = 0; i < length; ++i) text += pieces[random() % 8];
                fakes::FakeFileSystem fs;
                fs.AddFile("C:\\t.txt", Encode(text, form, gbk));
                TextMatcher matcher(fs, rules, 16 + random() % 300);
                if (form.detect) matcher.DetectEncodings(gbk);
                const std::vector<PhraseHit> expected = ReferenceTextHits(text, phrase, gbk);
                const size_t limit = round % 4 == 0 ? 2 : 0;
                std::vector<PhraseHit> hits;
                const MatchVerdict verdict =
                    matcher.CollectHits("C:\\t.txt", gbk.FromUnicode(phrase), gbk, {limit}, hits);
                EXPECT_EQ(verdict, expected.empty() ? MatchVerdict::NotFound : MatchVerdict::Found);
                ASSERT_EQ(hits.size(),
                          limit == 0 ? expected.size() : std::min(limit, expected.size()))
                    << form.name << " round " << round;
                for (size_t i = 0; i < hits.size(); ++i) {
                    EXPECT_EQ(hits[i].location, expected[i].location) << form.name << " " << i;
                    EXPECT_EQ(hits[i].context, expected[i].context) << form.name << " " << i;
                }
            }
        }
    }
}

// A phrase of a double-byte character is found only where a character
// begins, and in UTF-16 only on a code unit, as the match itself.
TEST_F(PhraseHitsTest, TextHitsStartOnCharactersOfTheFilesEncoding) {
    fakes::GbkTextRules rules;
    fakes::FakeFileSystem fs;
    // 形 (D0 CE) lies across the bytes of 中文 (D6 D0 CE C4).
    fs.AddFile("C:\\gbk.txt", gbk.FromUnicode(u"中文\n中文形"));
    // U+0A00 U+0A00 in UTF-16 LE hold the bytes of a line feed at an odd offset.
    fs.AddFile("C:\\wide.txt",
               "\xFF\xFE" + EncodeUnicode(u"x\u0A00\u0A00A\nA", TextEncoding::Utf16Le));
    TextMatcher matcher(fs, rules);
    matcher.DetectEncodings(gbk);
    std::vector<PhraseHit> hits;
    EXPECT_EQ(matcher.CollectHits("C:\\gbk.txt", "形", gbk, {0}, hits), MatchVerdict::Found);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].location, "行 2");
    EXPECT_EQ(hits[0].context, "中文【形】");
    hits.clear();
    EXPECT_EQ(matcher.CollectHits("C:\\wide.txt", "A", gbk, {0}, hits), MatchVerdict::Found);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].location, "行 1");
    EXPECT_EQ(hits[1].location, "行 2");
}

}  // namespace
}  // namespace querna
