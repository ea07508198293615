// Where the phrase is: the hits of each document format on the fixtures, the
// context window around a hit, the limit, and the hits of text files in each
// encoding against a whole-file reference.
#include <gtest/gtest.h>

#include <optional>
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

class PhraseHitsTest : public ::testing::Test {
  protected:
    std::vector<PhraseHit> DocumentHits(const std::string& file, DocumentKind kind,
                                        const std::string& phrase, size_t limit = 0) {
        const std::string bytes = testing::FixtureBytes(file);
        MemoryByteSource source(bytes.data(), bytes.size());
        XmlTokenizerReaders xml;
        DocumentHitCollector collector(kind, gbk, phrase, {limit});
        ReadDocumentText(kind, source, xml, collector);
        return collector.Hits().kept;
    }

    native::IconvCodePage gbk;
    native::IconvCodePage gb18030{"GB18030"};
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
        DocumentHitCollector collector(DocumentKind::Word, gbk, "目标", {0});
        collector.Unit(c.unit, UnitPlace{.paragraph = 4});
        const std::vector<PhraseHit>& hits = collector.Hits().kept;
        ASSERT_EQ(hits.size(), 1u);
        EXPECT_EQ(hits[0].location, "段落 4");
        EXPECT_EQ(hits[0].context, gbk.FromUnicode(c.context));
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
        DocumentHitCollector collector(DocumentKind::Excel, gbk, "aa", {c.limit});
        bool stopped =
            collector.Unit(u"aaaaa", UnitPlace{.sheet = u"Sheet1", .row = 1, .column = 1});
        if (!stopped) {
            stopped =
                collector.Unit(u"AAｂＡＡaa", UnitPlace{.sheet = u"Sheet1", .row = 2, .column = 2});
        }
        EXPECT_EQ(stopped, c.stopped);
        std::vector<std::string> locations;
        for (const PhraseHit& hit : collector.Hits().kept) locations.push_back(hit.location);
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
        const std::u16string_view view(content);
        for (size_t at = view.find(phrase); at != std::u16string::npos;
             at = view.find(phrase, at + phrase.size())) {
            // The last 30 characters before and the first 30 after, a
            // surrogate pair counting as one.
            const std::u16string context =
                HitContext(view.substr(0, at), phrase, view.substr(at + phrase.size()));
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

const TextForm kGbk{"gbk", false, TextEncoding::Gbk, ""};
const TextForm kGb18030{"gb18030", true, TextEncoding::Gb18030, ""};
const TextForm kUtf8{"utf-8", true, TextEncoding::Utf8, "\xEF\xBB\xBF"};
const TextForm kUtf16Le{"utf-16le", true, TextEncoding::Utf16Le, "\xFF\xFE"};
const TextForm kUtf16Be{"utf-16be", true, TextEncoding::Utf16Be, "\xFE\xFF"};

class TextHitsTest : public PhraseHitsTest {
  protected:
    // `text` as the bytes of a file in `form`, its mark first.
    std::string FileBytes(const std::u16string& text, const TextForm& form) {
        switch (form.encoding) {
            case TextEncoding::Gbk:
                return gbk.FromUnicode(text);
            case TextEncoding::Gb18030:
                return gb18030.FromUnicode(text);
            default:
                return form.mark + EncodeUnicode(text, form.encoding);
        }
    }

    // A matcher of `block`-byte blocks over C:\t.txt holding `content`,
    // deciding each file's encoding where `form` says so.
    TextMatcher& MatcherOver(const std::string& content, const TextForm& form, size_t block) {
        fs.AddFile("C:\\t.txt", content);
        matcher.emplace(fs, rules, block);
        if (form.detect) matcher->DetectEncodings(gbk);
        return *matcher;
    }

    MatchVerdict Hits(TextMatcher& m, const std::u16string& phrase, HitLimit limit,
                      FileHits& hits) {
        return m.CollectHits("C:\\t.txt", gbk.FromUnicode(phrase), gbk, limit, hits);
    }

    fakes::GbkTextRules rules;
    fakes::FakeFileSystem fs;
    std::optional<TextMatcher> matcher;
};

// Streamed in small blocks, the hits, their lines and their contexts are
// those of the whole text, in GBK byte for byte and in every encoding that
// `--encoding auto` reads; the limit takes the first of them.
TEST_F(TextHitsTest, TextFileHitsAgreeWithTheWholeTextInEachEncoding) {
    // The euro sign is 80 in GBK, A2 E3 in GB18030 and three bytes in UTF-8.
    const std::u16string pieces[] = {u"a", u"b", u"销", u"售", u"额", u" ", u"\r\n", u"\n", u"€"};
    std::mt19937 random(7);
    for (const TextForm& form : {kGbk, kGb18030, kUtf8, kUtf16Le, kUtf16Be}) {
        for (const std::u16string phrase : {u"销售", u"ab", u"€€"}) {
            for (int round = 0; round < 20; ++round) {
                std::u16string text;
                const size_t length = random() % 2000;
                for (size_t i = 0; i < length; ++i) text += pieces[random() % std::size(pieces)];
                TextMatcher& m = MatcherOver(FileBytes(text, form), form, 16 + random() % 300);
                const std::vector<PhraseHit> expected = ReferenceTextHits(text, phrase, gbk);
                const size_t limit = round % 4 == 0 ? 2 : 0;
                FileHits hits;
                EXPECT_EQ(Hits(m, phrase, {limit}, hits),
                          expected.empty() ? MatchVerdict::NotFound : MatchVerdict::Found);
                ASSERT_EQ(hits.kept.size(),
                          limit == 0 ? expected.size() : std::min(limit, expected.size()))
                    << form.name << " round " << round;
                EXPECT_EQ(hits.more, 0u);
                for (size_t i = 0; i < hits.kept.size(); ++i) {
                    EXPECT_EQ(hits.kept[i].location, expected[i].location) << form.name << " " << i;
                    EXPECT_EQ(hits.kept[i].context, expected[i].context) << form.name << " " << i;
                }
            }
        }
    }
}

// The phrase as the file's encoding writes it may be three times its bytes
// in the code page (the euro sign, one byte there, is three in UTF-8; a CJK
// character grows from two to three), twice in UTF-16 and in GB18030. A GBK
// phrase holds no supplementary character, but the text around it may, four
// bytes in UTF-16 and in GB18030. Each phrase lies across the first block's
// edge at several offsets: the match and the hits find it whole, with its
// context.
TEST_F(TextHitsTest, PhraseThatGrowsMostInTheFilesEncodingIsFoundAcrossTheBlockEdge) {
    const std::u16string euros(200, u'€');
    std::u16string cjk;
    for (int i = 0; i < 100; ++i) cjk += u"中文";
    const std::u16string supplementary = u"\U00020000\U0002A6D6";
    struct Case {
        const TextForm& form;
        std::u16string before, phrase, after;
    };
    const Case cases[] = {
        {kUtf8, u"", euros, u""},
        {kUtf8, u"前", cjk, u"后"},
        {kUtf8, supplementary, u"a€" + euros, supplementary},
        {kUtf16Le, u"", euros, u""},
        {kUtf16Le, supplementary, u"ab€", supplementary},
        {kUtf16Be, supplementary, euros, u""},
        {kUtf16Be, u"", cjk, supplementary},
        {kGb18030, u"", euros, u""},
        {kGb18030, supplementary, u"售€", supplementary},
    };
    constexpr size_t kBlock = 4096;
    for (const Case& c : cases) {
        const size_t n = FileBytes(c.phrase, c.form).size() - c.form.mark.size();
        const size_t width = c.form.encoding == TextEncoding::Utf8 ? 1 : 2;
        const size_t unit = c.form.encoding == TextEncoding::Gb18030 ? 1 : width;
        const size_t head = FileBytes(c.before, c.form).size();
        // Where the phrase begins: one unit into it is past the edge, half
        // of it, and all but one unit.
        for (const size_t start :
             {kBlock - n + unit, kBlock - n / 2 / unit * unit, kBlock - unit}) {
            // A full block follows, so that the block after the edge is read whole.
            const std::u16string text = std::u16string((start - head) / unit, u'x') + c.before +
                                        c.phrase + c.after + u"\n" + std::u16string(kBlock, u'y');
            const std::string content = FileBytes(text, c.form);
            ASSERT_EQ(content.find(FileBytes(c.phrase, c.form).substr(c.form.mark.size())), start);
            const std::vector<PhraseHit> expected = ReferenceTextHits(text, c.phrase, gbk);
            ASSERT_EQ(expected.size(), 1u);
            TextMatcher& m = MatcherOver(content, c.form, kBlock);
            EXPECT_EQ(m.Match("C:\\t.txt", gbk.FromUnicode(c.phrase)), MatchVerdict::Found)
                << c.form.name << " at " << start;
            FileHits hits;
            EXPECT_EQ(Hits(m, c.phrase, {0}, hits), MatchVerdict::Found)
                << c.form.name << " at " << start;
            ASSERT_EQ(hits.kept.size(), 1u) << c.form.name << " at " << start;
            EXPECT_EQ(hits.kept[0].context, expected[0].context) << c.form.name << " at " << start;
        }
    }
}

// A phrase of a double-byte character is found only where a character
// begins, and in UTF-16 only on a code unit, as the match itself.
TEST_F(TextHitsTest, TextHitsStartOnCharactersOfTheFilesEncoding) {
    // 形 (D0 CE) lies across the bytes of 中文 (D6 D0 CE C4).
    TextMatcher& gbkFile = MatcherOver(gbk.FromUnicode(u"中文\n中文形"), kGb18030, 4096);
    FileHits hits;
    EXPECT_EQ(Hits(gbkFile, u"形", {0}, hits), MatchVerdict::Found);
    ASSERT_EQ(hits.kept.size(), 1u);
    EXPECT_EQ(hits.kept[0].location, "行 2");
    EXPECT_EQ(hits.kept[0].context, "中文【形】");
    // U+0A00 U+0A00 in UTF-16 LE hold the bytes of a line feed at an odd offset.
    TextMatcher& wide = MatcherOver(FileBytes(u"x\u0A00\u0A00A\nA", kUtf16Le), kUtf16Le, 4096);
    hits = {};
    EXPECT_EQ(Hits(wide, u"A", {0}, hits), MatchVerdict::Found);
    ASSERT_EQ(hits.kept.size(), 2u);
    EXPECT_EQ(hits.kept[0].location, "行 1");
    EXPECT_EQ(hits.kept[1].location, "行 2");
}

// Text the encoding decision takes for the code page is read as GB18030: the
// euro sign, typed as 80 (code page 936), is found as A2 E3 there and shown
// as itself, by the match and by the hits; the byte 80, no character of
// GB18030, is not it. Without the decision the file is GBK's bytes.
TEST_F(TextHitsTest, EuroSignIsFoundAsGb18030WritesIt) {
    const std::string gb18030Text =
        "\xB7\xD1\xD3\xC3 \xA2\xE3"
        "5 \x81\x30\x81\x30";  // 费用 €5 and U+0080
    struct Case {
        const TextForm& form;
        std::string content;
        const char* context;  // of the one hit; none when null
    };
    const Case cases[] = {
        {kGb18030, gb18030Text, "费用 【€】5 ?"},
        {kGb18030,
         "\xB7\xD1\xD3\xC3 \x80"
         "5",
         nullptr},
        {kGbk,
         "\xB7\xD1\xD3\xC3 \x80"
         "5",
         "费用 【€】5"},
        {kGbk, gb18030Text, nullptr},
    };
    for (const Case& c : cases) {
        TextMatcher& m = MatcherOver(c.content, c.form, 4096);
        const MatchVerdict expected = c.context ? MatchVerdict::Found : MatchVerdict::NotFound;
        EXPECT_EQ(m.Match("C:\\t.txt", "\x80"), expected) << c.form.name << " " << c.content;
        FileHits hits;
        EXPECT_EQ(Hits(m, u"€", {0}, hits), expected) << c.form.name << " " << c.content;
        if (c.context == nullptr) continue;
        ASSERT_EQ(hits.kept.size(), 1u);
        EXPECT_EQ(hits.kept[0].context, c.context) << c.form.name;
    }
}

// However often the phrase occurs, a file keeps at most kKeptHitCount hits,
// and at most about kKeptHitBytes of their text; the rest are counted. A
// number larger than the budget counts up to that number and stops there.
TEST_F(PhraseHitsTest, HitsPastTheBudgetAreCountedNotKept) {
    struct Case {
        size_t unit;  // characters, every one an a
        std::string phrase;
        size_t limit;
        uint64_t count;
        size_t kept;  // 0: as many as the budget of bytes holds
        bool stopped;
    };
    const Case cases[] = {
        {500'000, "a", 0, 500'000, kKeptHitCount, false},
        {500'000, "a", 3, 3, 3, true},
        {500'000, "a", 5000, 5000, kKeptHitCount, true},
        {500'000, "aaa", 0, 500'000 / 3, kKeptHitCount, false},
        {1'500'000, std::string(1000, 'a'), 0, 1500, 0, false},
    };
    for (const Case& c : cases) {
        DocumentHitCollector collector(DocumentKind::Word, gbk, c.phrase, {c.limit});
        const std::u16string unit(c.unit, u'a');
        EXPECT_EQ(collector.Unit(unit, UnitPlace{.paragraph = 1}), c.stopped);
        const FileHits& hits = collector.Hits();
        EXPECT_EQ(hits.Count(), c.count) << c.phrase.size() << " " << c.limit;
        // 30 characters each side, the hit and 【】.
        const size_t longest = 60 + c.phrase.size() + 4;
        size_t bytes = 0;
        for (const PhraseHit& hit : hits.kept) {
            EXPECT_LE(hit.context.size(), longest);
            bytes += hit.location.size() + hit.context.size();
        }
        if (c.kept != 0) {
            EXPECT_EQ(hits.kept.size(), c.kept) << c.phrase.size() << " " << c.limit;
        } else {
            EXPECT_LT(hits.kept.size(), kKeptHitCount);
            EXPECT_GE(bytes, kKeptHitBytes);
        }
        EXPECT_LT(bytes, kKeptHitBytes + longest + 20);
    }
}

// A text file's hits keep to the same budget, whatever its size and blocks.
TEST_F(TextHitsTest, TextFileHitsPastTheBudgetAreCountedNotKept) {
    const std::string huge(300'000, 'a');
    for (const size_t block : {size_t{1000}, size_t{64} << 10}) {
        TextMatcher& m = MatcherOver(huge + "\n", kGbk, block);
        FileHits hits;
        EXPECT_EQ(Hits(m, u"a", {0}, hits), MatchVerdict::Found);
        EXPECT_EQ(hits.kept.size(), kKeptHitCount) << block;
        EXPECT_EQ(hits.more, huge.size() - kKeptHitCount) << block;
        EXPECT_EQ(hits.kept.back().location, "行 1");
    }
}

// PowerPoint's rule finds the phrase's bytes only where a character of the
// code page begins, and a hit's context holds whole characters only.
TEST_F(PhraseHitsTest, PowerPointHitsBeginWhereCharactersBegin) {
    std::u16string run;
    for (int i = 0; i < 20; ++i) run += u"中";
    struct Case {
        std::u16string unit;
        const char* phrase;
        std::vector<std::string> contexts;
    };
    const Case cases[] = {
        {u"中文", "形", {}},  // D0 CE inside D6 D0 CE C4
        {u"中文形", "形", {"中文【形】"}},
        {u"時", "r", {}},  // the second byte of 時 (95 72)
        {u"時r時", "r", {"時【r】時"}},
        // The context's first character is found by reading from the unit's start.
        {run + u"x" + run + u"形" + run + u"y" + run,
         "形",
         {gbk.FromUnicode(run.substr(0, 9) + u"x" + run + u"【形】" + run + u"y" +
                          run.substr(0, 9))}},
    };
    for (const Case& c : cases) {
        DocumentHitCollector collector(DocumentKind::PowerPoint, gbk, c.phrase, {0});
        collector.Unit(c.unit, UnitPlace{.slide = 2});
        std::vector<std::string> contexts;
        for (const PhraseHit& hit : collector.Hits().kept) contexts.push_back(hit.context);
        EXPECT_EQ(contexts, c.contexts) << c.phrase;
        CodePagePhraseFinder finder(gbk, c.phrase);
        EXPECT_EQ(finder.Unit(c.unit, {}), !c.contexts.empty()) << c.phrase;
    }
}

// Asked between blocks, a stop gives the file up after the block in hand:
// nothing more is read, the match is NotFound and the hits reported before
// it are kept.
TEST_F(TextHitsTest, StopRequestedInsideALargeFileEndsItsScanAfterTheCurrentBlock) {
    struct StopAfter final : StopCheck {
        explicit StopAfter(int asks) : left(asks) {}
        bool StopNow() override { return ++asked, --left <= 0; }
        int left, asked = 0;
    };
    // 100 blocks of 100 bytes: a needle in the first, a needle and the
    // thread in the last. A hit is reported once the block after it is in.
    std::string content(10'000, 'x');
    content.replace(10, 6, "needle");
    content.replace(9980, 13, "needle thread");
    for (const int asks : {2, 5}) {
        TextMatcher& m = MatcherOver(content, kGbk, 100);
        StopAfter stop(asks);
        EXPECT_EQ(m.Match("C:\\t.txt", "thread", &stop), MatchVerdict::NotFound);
        EXPECT_EQ(stop.asked, asks);
        StopAfter hitStop(asks);
        FileHits hits;
        EXPECT_EQ(m.CollectHits("C:\\t.txt", "needle", gbk, {0}, hits, &hitStop),
                  MatchVerdict::Found);
        EXPECT_EQ(hitStop.asked, asks);
        EXPECT_EQ(hits.kept.size(), 1u);
    }
    TextMatcher& m = MatcherOver(content, kGbk, 100);
    StopAfter never(1000);
    EXPECT_EQ(m.Match("C:\\t.txt", "thread", &never), MatchVerdict::Found);
    FileHits hits;
    EXPECT_EQ(m.CollectHits("C:\\t.txt", "needle", gbk, {0}, hits, &never), MatchVerdict::Found);
    EXPECT_EQ(hits.kept.size(), 2u);
}

}  // namespace
}  // namespace querna
