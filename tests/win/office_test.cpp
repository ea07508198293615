// The Word, Excel and PowerPoint matchers against the fake Office server: the
// verdicts, the exact calls each matcher makes, the clean-up on every way out
// and the errors that leave a matcher.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "matchers/MatcherSet.h"
#include "matchers/OfficeMatchers.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"
#include "support/office_server.h"
#include "win32/Win32Automation.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32TextRules.h"

namespace querna {
namespace {

using testing::ErrorOf;

const auto* const kOfficeEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing::OfficeEnvironment);

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Missing(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += ", missing";
    return text;
}

bool Contains(const std::vector<std::string>& calls, const std::string& line) {
    for (const std::string& call : calls) {
        if (call == line) return true;
    }
    return false;
}

int CountOf(const std::vector<std::string>& calls, const std::string& prefix) {
    int count = 0;
    for (const std::string& call : calls) count += call.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

std::vector<std::string> LastTwo(const std::vector<std::string>& calls) {
    if (calls.size() < 2) return calls;
    return {calls.end() - 2, calls.end()};
}

class OfficeMatcherTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_LE(testing::FakeOfficeLiveObjects(), 0) << "an object was not released";
    }

    testing::OfficeScratch scratch_;
    win32::Win32Automation automation_;
};

// --- Word ---

struct WordCase {
    const char* name;
    std::string fixture;
    std::string phrase;
    bool found;
};

TEST_F(OfficeMatcherTest, WordFindsThePhraseThenClosesWithoutSavingAndQuits) {
    const WordCase cases[] = {
        {"phrase in the second paragraph", "text 第一季度报告\ntext 销售额上升\n", "销售额", 1},
        {"phrase absent", "text 第一季度报告\n", "利润", 0},
        {"empty document", "", "报告", 0},
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        const std::string path = scratch_.WriteFixture("季度报告.doc", c.fixture);
        EXPECT_EQ(MatchWordDocument(automation_, path, c.phrase), FoundIf(c.found));
        const std::vector<std::string> expected = {
            "+Application",
            "Application.visible 4 (false)",
            "Application.Documents 3 ()",
            "Documents.Open 1 (" + Quoted(path) + ")",
            "Document.Select 3 ()",
            "Document.Range 3 ()",
            "Range.Find 3 ()",
            "Find.Execute 1 (" + Quoted(c.phrase) + Missing(10) + ")",
            "Document.Close 1 (false)",
            "Application.Quit 1 (false)",
            "-Application",
        };
        EXPECT_EQ(scratch_.Calls(), expected);
    }
}

struct WordFailureCase {
    const char* name;
    std::string fixture;
    std::string error;
    bool closes;  // whether a document was opened, and so is closed
};

TEST_F(OfficeMatcherTest, WordCleansUpOnEveryWayOutAndTheLastCleanUpErrorWins) {
    const WordFailureCase cases[] = {
        {"open refused: nothing to close", "fail Open 文档已损坏\n", "文档已损坏", false},
        {"find fails", "text a\nfail Execute 查找失败\n", "查找失败", true},
        {"close fails after find failed", "fail Execute 查找失败\nfail Close 关闭失败\n",
         "关闭失败", true},
        {"quit fails after a clean run", "text a\nfail Quit 退出失败\n", "退出失败", true},
        {"quit fails after close failed", "fail Close 关闭失败\nfail Quit 退出失败\n", "退出失败",
         true},
        {"quit fails after open was refused", "fail Open 打不开\nfail Quit 退出失败\n", "退出失败",
         false},
    };
    for (const WordFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        const std::string path = scratch_.WriteFixture("a.doc", c.fixture);
        EXPECT_EQ(ErrorOf([&] { MatchWordDocument(automation_, path, "a"); }), c.error);
        const std::vector<std::string> calls = scratch_.Calls();
        EXPECT_EQ(Contains(calls, "Document.Close 1 (false)"), c.closes);
        const std::vector<std::string> ending = {"Application.Quit 1 (false)", "-Application"};
        EXPECT_EQ(LastTwo(calls), ending);
    }
}

// --- PowerPoint ---

struct PowerPointCase {
    const char* name;
    std::string fixture;
    std::string phrase;
    bool found;
};

TEST_F(OfficeMatcherTest, PowerPointLooksForThePhraseInTheTextOfShapes) {
    const PowerPointCase cases[] = {
        {"text of a shape", "slide\nshape 本季度销售额上升\n", "销售额", 1},
        {"same letter case", "slide\nshape Annual Report\n", "Annual Report", 1},
        {"other letter case", "slide\nshape Annual Report\n", "annual report", 0},
        {"empty phrase", "slide\nshape anything\n", "", 0},
        {"no slides", "", "needle", 0},
        {"shape without text frame passed over", "slide\npicture\nshape needle\n", "needle", 1},
        {"slide without shapes passed over", "slide\nslide\nshape needle\n", "needle", 1},
        {"error in a shape abandons the rest of its slide",
         "slide\nbroken 形状损坏\nshape needle\n", "needle", 0},
        {"error reading a text is dropped too", "slide\nshape needle\nfail TextRange 读取失败\n",
         "needle", 0},
        {"the next slide is still examined",
         "slide\nbroken 形状损坏\nshape other\nslide\nshape needle\n", "needle", 1},
        {"phrase split over two shapes", "slide\nshape nee\nshape dle\n", "needle", 0},
    };
    for (const PowerPointCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        const std::string path = scratch_.WriteFixture("deck.ppt", c.fixture);
        EXPECT_EQ(MatchPowerPointPresentation(automation_, path, c.phrase), FoundIf(c.found));
        const std::vector<std::string> ending = {"Application.Quit 3 ()", "-Application"};
        EXPECT_EQ(LastTwo(scratch_.Calls()), ending);
    }
}

// The walk from the presentation to one slide's shapes, as sent each time.
std::vector<std::string> ToShapes(int slide) {
    return {"Presentation.slides 3 ()", "Slides.item 1 (" + std::to_string(slide) + ")",
            "Slide.shapes 3 ()"};
}

void Append(std::vector<std::string>& calls, const std::vector<std::string>& more) {
    calls.insert(calls.end(), more.begin(), more.end());
}

TEST_F(OfficeMatcherTest, PowerPointWalksFromThePresentationForEveryAccess) {
    // Slide 1: a picture, a broken shape, a shape never reached; slide 2
    // empty; slide 3 holds the phrase.
    const std::string path = scratch_.WriteFixture(
        "演示.ppt",
        "slide\npicture\nbroken 坏形状\nshape unread\nslide\nslide\nshape the needle\n");
    EXPECT_EQ(MatchPowerPointPresentation(automation_, path, "needle"), MatchVerdict::Found);

    std::vector<std::string> expected = {
        "+Application",
        "Application.visible 4 (true)",
        "Application.Presentations 3 ()",
        "Presentations.Open 1 (" + Quoted(path) + ")",
        "Presentation.slides 3 ()",
        "Slides.Count 3 ()",
    };
    for (int slide = 1; slide <= 3; ++slide) {
        Append(expected, ToShapes(slide));
        expected.push_back("Shapes.count 3 ()");
        const int examined = slide == 1 ? 2 : slide == 3 ? 1 : 0;
        for (int shape = 1; shape <= examined; ++shape) {
            Append(expected, ToShapes(slide));
            Append(expected,
                   {"Shapes.item 1 (" + std::to_string(shape) + ")", "Shape.HasTextFrame 3 ()"});
        }
    }
    Append(expected, ToShapes(3));
    Append(expected, {"Shapes.item 1 (1)", "Shape.TextFrame 3 ()", "TextFrame.TextRange 3 ()",
                      "TextRange.text 3 ()", "Application.Quit 3 ()", "-Application"});
    EXPECT_EQ(scratch_.Calls(), expected);
}

struct FailureCase {
    const char* name;
    std::string fixture;
    std::string error;
};

TEST_F(OfficeMatcherTest, PowerPointErrorsOutsideAShapeLeaveAfterQuit) {
    const FailureCase cases[] = {
        {"open refused", "fail Open 无法打开演示文稿\n", "无法打开演示文稿"},
        {"slide count fails", "slide\nshape a\nfail Count 计数失败\n", "计数失败"},
        {"slide item fails", "slide\nshape a\nfail Item 取项失败\n", "取项失败"},
        {"quit fails after a match", "slide\nshape needle\nfail Quit 退出失败\n", "退出失败"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        const std::string path = scratch_.WriteFixture("deck.ppt", c.fixture);
        EXPECT_EQ(ErrorOf([&] { MatchPowerPointPresentation(automation_, path, "needle"); }),
                  c.error);
        const std::vector<std::string> ending = {"Application.Quit 3 ()", "-Application"};
        EXPECT_EQ(LastTwo(scratch_.Calls()), ending);
    }
}

// --- Excel ---

// Excel's dispatch ids as the fake server logs them.
const std::string kDisplayAlerts = "#343", kWorkbooks = "#572", kOpen = "#1923", kActivate = "#304",
                  kActiveWorkbook = "#308", kSaved = "#298", kWorksheets = "#494", kCount = "#118",
                  kItem = "#170", kCells = "#238", kFind = "#398", kQuit = "#302";

std::vector<std::string> SearchSheet(int index, const std::string& phrase) {
    return {
        "Workbook." + kWorksheets + " 2 @0 ()",
        "Sheets." + kItem + " 2 @0 (" + std::to_string(index) + ")",
        "Worksheet.QueryInterface _Worksheet",
        "Worksheet." + kActivate + " 1 @0 ()",
        "Worksheet." + kCells + " 2 @0 ()",
        "Range.QueryInterface Range",
        "Range." + kFind + " 1 @0 (" + Quoted(phrase) +
            ", missing, -4123, 2, 1, 1, false, false, false)",
    };
}

TEST_F(OfficeMatcherTest, ExcelSearchesSheetByDispatchIdAndStopsAtTheFirstCellFound) {
    ExcelConnection excel(automation_);
    const std::string path = scratch_.WriteFixture(
        "账目.xls", "sheet\ncell alpha\nsheet\ncell 本月目标\nsheet\ncell 目标 again\n");
    EXPECT_EQ(MatchExcelWorkbook(excel, path, "目标"), MatchVerdict::Found);
    EXPECT_FALSE(excel.Connected());

    std::vector<std::string> expected = {
        "+Application",
        "Application.QueryInterface _Application",
        "Application." + kDisplayAlerts + " 4 @0 (false)",
        "Application." + kWorkbooks + " 2 @0 ()",
        "Workbooks." + kOpen + " 1 @0 (" + Quoted(path) + Missing(14) + ")",
        "Workbook.QueryInterface _Workbook",
        "Workbook." + kActivate + " 1 @0 ()",
        "Application." + kActiveWorkbook + " 2 @0 ()",
        "Workbook." + kSaved + " 4 @0 (true)",
        "Workbook." + kWorksheets + " 2 @0 ()",
        "Sheets." + kCount + " 2 @0 ()",
    };
    Append(expected, SearchSheet(1, "目标"));
    Append(expected, SearchSheet(2, "目标"));
    Append(expected, {"Application." + kQuit + " 1 @0 ()", "-Application"});
    EXPECT_EQ(scratch_.Calls(), expected);
}

struct ExcelCase {
    const char* name;
    std::string fixture;
    std::string phrase;
    bool found;
    int searches;
};

TEST_F(OfficeMatcherTest, ExcelVerdictsAndTheSheetsSearched) {
    const ExcelCase cases[] = {
        {"phrase on the second of three sheets", "sheet\ncell a\nsheet\ncell 目标\nsheet\ncell b\n",
         "目标", 1, 2},
        {"phrase on no sheet", "sheet\ncell a\nsheet\ncell b\nsheet\ncell c\n", "目标", 0, 3},
        {"workbook without sheets", "", "目标", 0, 0},
        {"letter case not significant", "sheet\ncell Annual Report\n", "annual", 1, 1},
    };
    for (const ExcelCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        ExcelConnection excel(automation_);
        const std::string path = scratch_.WriteFixture("book.xls", c.fixture);
        EXPECT_EQ(MatchExcelWorkbook(excel, path, c.phrase), FoundIf(c.found));
        EXPECT_FALSE(excel.Connected());
        const std::vector<std::string> calls = scratch_.Calls();
        EXPECT_EQ(CountOf(calls, "Range." + kFind), c.searches);
        const std::vector<std::string> ending = {"Application." + kQuit + " 1 @0 ()",
                                                 "-Application"};
        EXPECT_EQ(LastTwo(calls), ending);
    }
}

TEST_F(OfficeMatcherTest, ExcelGivesEveryWorkbookAnInstanceOfItsOwn) {
    ExcelConnection excel(automation_);
    const std::string first = scratch_.WriteFixture("first.xls", "sheet\ncell 目标\n");
    const std::string second = scratch_.WriteFixture("second.xls", "sheet\ncell other\n");
    EXPECT_EQ(MatchExcelWorkbook(excel, first, "目标"), MatchVerdict::Found);
    EXPECT_FALSE(excel.Connected());
    EXPECT_EQ(testing::FakeOfficeLiveObjects(), 0);
    EXPECT_EQ(MatchExcelWorkbook(excel, second, "目标"), MatchVerdict::NotFound);
    EXPECT_FALSE(excel.Connected());

    // Each file: made, opened, told to quit and freed before the next is made.
    std::vector<std::string> lifecycle;
    for (const std::string& call : scratch_.Calls()) {
        if (call == "+Application" || call == "-Application" ||
            call.rfind("Workbooks." + kOpen, 0) == 0 ||
            call.rfind("Application." + kQuit, 0) == 0) {
            lifecycle.push_back(call);
        }
    }
    const std::vector<std::string> expected = {
        "+Application",
        "Workbooks." + kOpen + " 1 @0 (" + Quoted(first) + Missing(14) + ")",
        "Application." + kQuit + " 1 @0 ()",
        "-Application",
        "+Application",
        "Workbooks." + kOpen + " 1 @0 (" + Quoted(second) + Missing(14) + ")",
        "Application." + kQuit + " 1 @0 ()",
        "-Application",
    };
    EXPECT_EQ(lifecycle, expected);
}

TEST_F(OfficeMatcherTest, ExcelErrorsLeaveAfterQuitWithEveryConnectionClosed) {
    const FailureCase cases[] = {
        {"open refused", "fail Open 无法打开工作簿\n", "无法打开工作簿"},
        {"first sheet is not a worksheet", "chart\nsheet\ncell 目标\n", "Interface not supported"},
        {"range search fails", "sheet\ncell a\nfail Find 查找失败\n", "查找失败"},
        {"quit fails after open was refused", "fail Open 打不开\nfail Quit 退出失败\n", "退出失败"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_.ClearLog();
        ExcelConnection excel(automation_);
        const std::string path = scratch_.WriteFixture("book.xls", c.fixture);
        EXPECT_EQ(ErrorOf([&] { MatchExcelWorkbook(excel, path, "目标"); }), c.error);
        EXPECT_FALSE(excel.Connected());
        const std::vector<std::string> ending = {"Application." + kQuit + " 1 @0 ()",
                                                 "-Application"};
        EXPECT_EQ(LastTwo(scratch_.Calls()), ending);
    }
}

TEST_F(OfficeMatcherTest, ExcelLetsGoOfEveryObjectBeforeItsApplicationQuits) {
    // An Excel told to quit while a workbook, sheet or range is still held
    // stays running; the fake logs such a quit.
    const std::pair<const char*, const char*> cases[] = {
        {"found on the second sheet", "sheet\ncell a\nsheet\ncell 目标\n"},
        {"found nowhere", "sheet\ncell a\n"},
        {"open refused", "fail Open 打不开\n"},
        {"a chart sheet first", "chart\nsheet\ncell 目标\n"},
        {"range search fails", "sheet\ncell a\nfail Find 查找失败\n"},
    };
    for (const auto& [name, fixture] : cases) {
        SCOPED_TRACE(name);
        scratch_.ClearLog();
        ExcelConnection excel(automation_);
        const std::string path = scratch_.WriteFixture("book.xls", fixture);
        try {
            MatchExcelWorkbook(excel, path, "目标");
        } catch (const QuernaError&) {
        }
        const std::vector<std::string> calls = scratch_.Calls();
        EXPECT_EQ(CountOf(calls, "Application." + kQuit), 1);
        EXPECT_EQ(CountOf(calls, "Application.Quit while"), 0);
    }
}

// --- All three, and the set the search engine uses ---

TEST_F(OfficeMatcherTest, AnUnregisteredServerGivesTheSystemTextForItsCode) {
    const std::string path = scratch_.WriteFixture("any.doc", "text 目标\n");
    ExcelConnection excel(automation_);
    struct Case {
        const char* name;
        std::function<void()> match;
        long status;
    };
    const Case cases[] = {
        {"Word", [&] { MatchWordDocument(automation_, path, "目标"); }, CO_E_CLASSSTRING},
        {"PowerPoint", [&] { MatchPowerPointPresentation(automation_, path, "目标"); },
         CO_E_CLASSSTRING},
        {"Excel", [&] { MatchExcelWorkbook(excel, path, "目标"); }, REGDB_E_CLASSNOTREG},
    };
    const testing::FakeOfficeUnregistered unregistered;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ErrorOf(c.match), win32::OleErrorText(c.status));
    }
    EXPECT_FALSE(excel.Connected());
    EXPECT_TRUE(scratch_.Calls().empty());
}

TEST_F(OfficeMatcherTest, MatcherSetSendsEachKindOfFileToItsOwnMatcher) {
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    MatcherSet matchers(fs, rules, automation_);
    const std::string word = scratch_.WriteFixture("w.doc", "text 目标\n");
    const std::string excel = scratch_.WriteFixture("x.xls", "sheet\ncell 目标\n");
    const std::string slides = scratch_.WriteFixture("p.ppt", "slide\nshape 目标\n");
    const std::string text = scratch_.WriteFixture("t.txt", "前言\r目标\r");

    EXPECT_EQ(matchers.MatchWordDocument(word, "目标"), MatchVerdict::Found);
    EXPECT_TRUE(Contains(scratch_.Calls(), "Documents.Open 1 (" + Quoted(word) + ")"));
    scratch_.ClearLog();
    EXPECT_EQ(matchers.MatchExcelWorkbook(excel, "目标"), MatchVerdict::Found);
    EXPECT_EQ(CountOf(scratch_.Calls(), "Workbooks." + kOpen + " 1 @0 (" + Quoted(excel)), 1);
    EXPECT_FALSE(matchers.Excel().Connected());
    scratch_.ClearLog();
    EXPECT_EQ(matchers.MatchPowerPointPresentation(slides, "目标"), MatchVerdict::Found);
    EXPECT_TRUE(Contains(scratch_.Calls(), "Presentations.Open 1 (" + Quoted(slides) + ")"));
    scratch_.ClearLog();
    EXPECT_EQ(matchers.MatchTextFile(text, "目标"), MatchVerdict::Found);
    EXPECT_TRUE(scratch_.Calls().empty());
}

// With --hits querna-find reads Office documents by the built-in readers
// even where Office is installed, as the server tells no place; without it
// the server is asked as ever.
TEST(OfficeHitsTest, HitsReadDocumentsByTheBuiltInReadersWhereOfficeIsInstalled) {
    testing::OfficeScratch scratch;
    const std::string path = scratch.WriteFixture(
        "report.docx", testing::ReadWholeFile(std::string(QUERNA_SOURCE_DIR) +
                                              "\\tests\\documents\\lo-word.docx"));
    std::string folder = scratch.MissingPath("");
    folder.pop_back();
    const std::vector<std::string> args = {"--in", folder, "--phrase", "销售额", "--type", "word"};
    std::vector<std::string> withHits = args;
    withHits.push_back("--hits");
    const auto hits = testing::RunProgram("querna-find.exe", withHits);
    EXPECT_EQ(hits.status, 0u) << hits.err;
    EXPECT_EQ(hits.out, path + "\r\n\t段落 1\t第一季度报告：【销售额】上升\r\n");
    EXPECT_TRUE(scratch.Calls().empty());
    testing::RunProgram("querna-find.exe", args);
    EXPECT_FALSE(scratch.Calls().empty());
}

}  // namespace
}  // namespace querna
