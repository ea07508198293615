#include <gtest/gtest.h>

#include "platform/Error.h"
#include "search/SearchEngine.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/ScriptedMatchers.h"

namespace querna {
namespace {

using fakes::ScriptedMatchers;

class ContentPassTest : public ::testing::Test {
  protected:
    ContentPassTest() {
        state.Criteria.TypeFilter = "|*.*|";
        state.Criteria.IncludeSubfolders = kTrue;
        window.phrase = "x";
    }
    std::vector<std::string> Search(const std::string& pattern = "") {
        ResultPathList results(rules);
        engine.SearchContents(results, "C:\\R", pattern);
        return results.Paths();
    }

    SearchState state;
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    ScriptedMatchers matchers;
    SearchEngine engine{state, fs, rules, window, &matchers, 50};
};

TEST_F(ContentPassTest, AsksTheMatcherOfEachClassAndKeepsTheWalkersOrder) {
    for (const char* name : {"a.pdf", "b.doc", "c.rtf", "d.XLSX", "e.pptx", "f.txt", "g.sql"}) {
        fs.AddFile(std::string("C:\\R\\") + name);
    }
    matchers.texts = {{"C:\\R\\b.doc", "x"},
                      {"C:\\R\\e.pptx", "x"},
                      {"C:\\R\\f.txt", "y"},
                      {"C:\\R\\g.sql", "x"}};
    EXPECT_EQ(Search(),
              (std::vector<std::string>{"C:\\R\\b.doc", "C:\\R\\e.pptx", "C:\\R\\g.sql"}));
    EXPECT_EQ(matchers.calls,
              (std::vector<std::string>{"word C:\\R\\b.doc x", "excel C:\\R\\d.XLSX x",
                                        "powerpoint C:\\R\\e.pptx x", "text C:\\R\\f.txt x",
                                        "text C:\\R\\g.sql x"}));
    // Candidates without a matcher are still shown and cost their pause.
    const auto panel3 = window.PanelTexts(3);
    EXPECT_EQ(std::count(panel3.begin(), panel3.end(), "C:\\R\\a.pdf"), 2);  // walk + pass
    EXPECT_EQ(window.pauses.size(), 2u + 7u + 7u);  // . .. and 7 files, then 7 candidates
    EXPECT_EQ(state.FoundCount, 3);
    EXPECT_EQ(window.current[1], "3");
}

TEST_F(ContentPassTest, AFileThatCannotBeOpenedIsReportedWhileShownAndThePassGoesOn) {
    for (const char* name : {"a.txt", "b.doc", "c.txt"}) fs.AddFile(std::string("C:\\R\\") + name);
    matchers.texts = {{"C:\\R\\a.txt", "x"}, {"C:\\R\\b.doc", "x"}, {"C:\\R\\c.txt", "x"}};
    matchers.held = {"C:\\R\\a.txt", "C:\\R\\b.doc"};
    std::vector<std::string> shownWhenReported;
    window.onPump = [&](int) {
        if (shownWhenReported.size() < window.unreadable.size())
            shownWhenReported.push_back(window.current[3]);
    };
    EXPECT_EQ(Search(), std::vector<std::string>{"C:\\R\\c.txt"});
    EXPECT_EQ(window.unreadable, (std::vector<std::string>{"C:\\R\\a.txt", "C:\\R\\b.doc"}));
    EXPECT_EQ(shownWhenReported, window.unreadable);
    EXPECT_EQ(window.current[1], "1");
}

TEST_F(ContentPassTest, CountRestartsAfterTheWalkAndPanelOneKeepsTheWalksCount) {
    for (int i = 0; i < 40; ++i) fs.AddFile("C:\\R\\f" + std::to_string(i) + ".txt");
    EXPECT_TRUE(Search("f").empty());
    EXPECT_EQ(state.FoundCount, 0);
    EXPECT_EQ(window.current[1], "40");
}

TEST_F(ContentPassTest, StopDuringTheTenthCandidateKeepsItsVerdictAndExaminesNoMore) {
    for (int i = 0; i < 15; ++i) {
        const std::string path = "C:\\R\\f" + std::string(1, static_cast<char>('a' + i)) + ".txt";
        fs.AddFile(path);
        if (i % 2 == 1) matchers.texts[path] = "x";
    }
    window.onPump = [&](int) {
        if (matchers.calls.size() == 10) state.StopRequested = kTrue;
    };
    const auto found = Search();
    EXPECT_EQ(matchers.calls.size(), 10u);
    EXPECT_EQ(found.size(), 5u);  // the odd ones among the first ten
    EXPECT_EQ(found.back(), "C:\\R\\fj.txt");
}

TEST_F(ContentPassTest, PhraseIsReadAfreshBeforeEachCandidate) {
    fs.AddFile("C:\\R\\a.txt");
    fs.AddFile("C:\\R\\b.txt");
    window.onPump = [&](int) {
        if (!matchers.calls.empty()) window.phrase = "changed";
    };
    Search();
    EXPECT_EQ(matchers.calls,
              (std::vector<std::string>{"text C:\\R\\a.txt x", "text C:\\R\\b.txt changed"}));
}

TEST_F(ContentPassTest, MatcherErrorPropagatesAndEndsThePass) {
    fs.AddFile("C:\\R\\a.doc");
    fs.AddFile("C:\\R\\b.doc");
    fs.AddFile("C:\\R\\c.doc");
    matchers.texts["C:\\R\\a.doc"] = "x";
    matchers.failingPath = "C:\\R\\b.doc";
    ResultPathList results(rules);
    EXPECT_THROW(engine.SearchContents(results, "C:\\R", ""), QuernaError);
    EXPECT_EQ(matchers.calls.size(), 2u);
    EXPECT_EQ(window.current[3], "C:\\R\\b.doc");
}

TEST_F(ContentPassTest, StoppedWalkExaminesNothing) {
    fs.AddFile("C:\\R\\a.txt");
    window.onPump = [&](int) { state.StopRequested = kTrue; };
    EXPECT_TRUE(Search().empty());
    EXPECT_TRUE(matchers.calls.empty());
}

}  // namespace
}  // namespace querna
