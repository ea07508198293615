#include <gtest/gtest.h>

#include <functional>

#include "search/FileTypes.h"
#include "search/SearchEngine.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"

namespace querna {
namespace {

using fakes::FakeFileSystem;

class WalkerTest : public ::testing::Test {
  protected:
    WalkerTest() {
        state.Criteria.TypeFilter = "|*.*|";
        state.Criteria.IncludeSystem = kTrue;
        state.Criteria.IncludeHidden = kTrue;
        state.Criteria.IncludeSubfolders = kTrue;
    }

    std::vector<std::string> Walk(const std::string& folder, const std::string& pattern = "") {
        ResultPathList results(rules);
        engine.WalkDirectory(results, folder, pattern);
        return results.Paths();
    }

    // The tree R: sub-folders A and B; A holds A1; r.txt, a.txt, a1.txt, b.txt.
    void AddTreeR() {
        fs.AddFolder("C:\\R");
        fs.AddFolder("C:\\R\\A");
        fs.AddFolder("C:\\R\\A\\A1");
        fs.AddFolder("C:\\R\\B");
        fs.AddFile("C:\\R\\r.txt");
        fs.AddFile("C:\\R\\A\\a.txt");
        fs.AddFile("C:\\R\\A\\A1\\a1.txt");
        fs.AddFile("C:\\R\\B\\b.txt");
    }

    SearchState state;
    FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    SearchEngine engine{state, fs, rules, window, nullptr, 50};
};

TEST_F(WalkerTest, ListsFilesInPostOrderOfTheTree) {
    AddTreeR();
    EXPECT_EQ(Walk("C:\\R"), (std::vector<std::string>{"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt",
                                                       "C:\\R\\B\\b.txt", "C:\\R\\r.txt"}));
    EXPECT_EQ(state.FoundCount, 4);
    EXPECT_EQ(window.current[1], "4");
}

TEST_F(WalkerTest, FolderTextIsTrimmedAndGetsOneTrailingBackslash) {
    fs.AddFile("C:\\Data\\x.txt");
    for (const char* folder : {"C:\\Data", "  C:\\Data \t", "C:\\Data\\"}) {
        EXPECT_EQ(Walk(folder), std::vector<std::string>{"C:\\Data\\x.txt"}) << folder;
    }
    EXPECT_EQ(SearchEngine::NormaliseFolder("", rules), "\\");
}

// 籠 is BB 5C in GBK: its second byte has the code of a backslash.
TEST_F(WalkerTest, FolderEndingInTrailByte5CIsNotTakenAsEndingInABackslash) {
    fs.AddFile("Z:\\p\\乗籠\\x.txt");
    const struct {
        const char* folder;
        const char* normalised;
    } cases[] = {
        {"Z:\\p\\乗籠", "Z:\\p\\乗籠\\"},
        {"Z:\\p\\乗籠\\", "Z:\\p\\乗籠\\"},
        {"Z:\\p\\乗籠 ", "Z:\\p\\乗籠\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SearchEngine::NormaliseFolder(c.folder, rules), c.normalised) << c.folder;
        EXPECT_EQ(Walk(c.folder), std::vector<std::string>{"Z:\\p\\乗籠\\x.txt"}) << c.folder;
    }
}

TEST_F(WalkerTest, MissingStartFolderAddsNothingAndLeavesTheCountAlone) {
    state.FoundCount = 7;
    EXPECT_TRUE(Walk("C:\\Nowhere").empty());
    EXPECT_EQ(state.FoundCount, 7);
    EXPECT_TRUE(window.panels.empty());
}

TEST_F(WalkerTest, AttributeSwitchesDecideWhatIsListed) {
    fs.AddFolder("C:\\R\\Hid", faDirectory | faHidden);
    fs.AddFolder("C:\\R\\Sys", faDirectory | faSysFile);
    fs.AddFolder("C:\\R\\HidSys", faDirectory | faHidden | faSysFile);
    fs.AddFile("C:\\R\\Hid\\in-hidden.txt");
    fs.AddFile("C:\\R\\Sys\\in-system.txt");
    fs.AddFile("C:\\R\\HidSys\\in-both.txt");
    fs.AddFile("C:\\R\\h.txt", "", faArchive | faHidden);
    fs.AddFile("C:\\R\\s.txt", "", faArchive | faSysFile);
    fs.AddFile("C:\\R\\ro.txt", "", faReadOnly);
    fs.AddFile("C:\\R\\n.txt", "", 0);
    struct Case {
        int32_t system, hidden, subfolders;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {kTrue,
         kTrue,
         kTrue,
         {"C:\\R\\Hid\\in-hidden.txt", "C:\\R\\Sys\\in-system.txt", "C:\\R\\HidSys\\in-both.txt",
          "C:\\R\\h.txt", "C:\\R\\s.txt", "C:\\R\\ro.txt", "C:\\R\\n.txt"}},
        {kFalse,
         kTrue,
         kTrue,
         {"C:\\R\\Hid\\in-hidden.txt", "C:\\R\\h.txt", "C:\\R\\ro.txt", "C:\\R\\n.txt"}},
        {kTrue,
         kFalse,
         kTrue,
         {"C:\\R\\Sys\\in-system.txt", "C:\\R\\s.txt", "C:\\R\\ro.txt", "C:\\R\\n.txt"}},
        {kTrue, kTrue, kFalse, {"C:\\R\\h.txt", "C:\\R\\s.txt", "C:\\R\\ro.txt", "C:\\R\\n.txt"}},
        {kFalse, kFalse, kFalse, {"C:\\R\\ro.txt", "C:\\R\\n.txt"}},
    };
    for (const Case& c : cases) {
        state.Criteria.IncludeSystem = c.system;
        state.Criteria.IncludeHidden = c.hidden;
        state.Criteria.IncludeSubfolders = c.subfolders;
        EXPECT_EQ(Walk("C:\\R"), c.expected) << c.system << " " << c.hidden << " " << c.subfolders;
    }
}

TEST_F(WalkerTest, WithoutSubfoldersDotEntriesAreNeverShown) {
    AddTreeR();
    state.Criteria.IncludeSubfolders = kFalse;
    EXPECT_EQ(Walk("C:\\R"), std::vector<std::string>{"C:\\R\\r.txt"});
    for (const std::string& text : window.PanelTexts(3)) {
        EXPECT_NE(text, "C:\\R\\.");
        EXPECT_NE(text, "C:\\R\\..");
    }
}

TEST_F(WalkerTest, IgnoredNameSkipsExactlyThatEntryCaseCounting) {
    fs.AddFile("C:\\R\\Debug\\in-debug.txt");
    fs.AddFile("C:\\S\\debug\\in-lower.txt");
    fs.AddFile("C:\\R\\Debug.txt");
    state.Criteria.IgnoredFolderName = "Debug";
    EXPECT_EQ(Walk("C:\\R"), std::vector<std::string>{"C:\\R\\Debug.txt"});
    for (const std::string& text : window.PanelTexts(3)) EXPECT_NE(text, "C:\\R\\Debug");
    EXPECT_EQ(Walk("C:\\S"), std::vector<std::string>{"C:\\S\\debug\\in-lower.txt"});
}

TEST_F(WalkerTest, FileNamedLikeTheIgnoredNameIsFoundThroughAnotherFilesMatchListing) {
    fs.AddFile("C:\\R\\Debug");
    fs.AddFile("C:\\R\\other");
    state.Criteria.IgnoredFolderName = "Debug";
    EXPECT_EQ(Walk("C:\\R", "e"), (std::vector<std::string>{"C:\\R\\Debug", "C:\\R\\other"}));
}

TEST_F(WalkerTest, FolderWhoseOnlyFileIsTheIgnoredNameContributesNothing) {
    fs.AddFile("C:\\R\\Debug");
    state.Criteria.IgnoredFolderName = "Debug";
    EXPECT_TRUE(Walk("C:\\R").empty());
    EXPECT_EQ(window.PanelTexts(3), (std::vector<std::string>{"C:\\R\\.", "C:\\R\\.."}));
    EXPECT_EQ(fs.ListedMasks(), std::vector<std::string>{"C:\\R\\*.*"});
}

TEST_F(WalkerTest, TakesTheMatchListingOncePerFolder) {
    fs.AddFile("C:\\R\\one.txt");
    fs.AddFile("C:\\R\\two.txt");
    fs.AddFile("C:\\R\\three.txt");
    Walk("C:\\R", "o");
    EXPECT_EQ(fs.ListedMasks(), (std::vector<std::string>{"C:\\R\\*.*", "C:\\R\\*o*"}));
}

TEST_F(WalkerTest, PatternAndTypeFilterDecideTheMatches) {
    for (const char* name :
         {"xABCy.txt", "abc.txt", "aXc.doc", "b.DOCX", "c.docm", "d.txt", "Makefile"}) {
        fs.AddFile(std::string("C:\\R\\") + name);
    }
    struct Case {
        std::string filter, pattern;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"|*.*|", "abc", {"xABCy.txt", "abc.txt"}},
        {"|*.*|", "a?c", {"xABCy.txt", "abc.txt", "aXc.doc"}},
        {"|*.*|", "", {"xABCy.txt", "abc.txt", "aXc.doc", "b.DOCX", "c.docm", "d.txt", "Makefile"}},
        {"|.DOC|.DOCX|", "", {"aXc.doc", "b.DOCX"}},
        {std::string(kTextList), "", {"xABCy.txt", "abc.txt", "d.txt"}},
    };
    for (const Case& c : cases) {
        state.Criteria.TypeFilter = c.filter;
        std::vector<std::string> expected;
        for (const std::string& name : c.names) expected.push_back("C:\\R\\" + name);
        EXPECT_EQ(Walk("C:\\R", c.pattern), expected) << c.filter << " / " << c.pattern;
    }
}

TEST_F(WalkerTest, PausesOnceForEveryEntryThatIsNotSkipped) {
    AddTreeR();
    state.Criteria.IgnoredFolderName = "B";
    Walk("C:\\R");
    // R: . .. A B(skipped) r.txt = 4; A: . .. A1 a.txt = 4; A1: . .. a1.txt = 3
    EXPECT_EQ(window.pauses, std::vector<int>(11, 50));
    EXPECT_EQ(window.pumps, 11);
}

TEST_F(WalkerTest, StopFromInsideAPumpKeepsWhatWasAppendedAndDropsOpenFolders) {
    AddTreeR();
    fs.AddFile("C:\\R\\B\\b2.txt");
    // Stop while B is being listed: A's files are already appended.
    window.onPump = [&](int) {
        if (window.current[3] == "C:\\R\\B\\b.txt") state.StopRequested = kTrue;
    };
    EXPECT_EQ(Walk("C:\\R"), (std::vector<std::string>{"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt"}));
    // B returns at its next entry; R returns at its next entry (r.txt) without
    // showing it.
    EXPECT_EQ(window.current[3], "C:\\R\\B\\b.txt");
}

TEST_F(WalkerTest, CriteriaChangedDuringAPumpApplyFromTheNextFolder) {
    fs.AddFile("C:\\R\\A\\a.txt");
    fs.AddFile("C:\\R\\A\\a.doc");
    fs.AddFile("C:\\R\\B\\b.txt");
    fs.AddFile("C:\\R\\B\\b.doc");
    window.onPump = [&](int) {
        if (window.current[3] == "C:\\R\\A\\a.doc") state.Criteria.TypeFilter = "|.DOC|.DOCX|";
    };
    // A's match listing was taken under the all-files filter; B's under Word.
    EXPECT_EQ(Walk("C:\\R"),
              (std::vector<std::string>{"C:\\R\\A\\a.txt", "C:\\R\\A\\a.doc", "C:\\R\\B\\b.doc"}));
}

// A sub-folder whose files could not be searched is told to the window; the
// start folder is the run's to tell, and a link loop is no fault.
TEST_F(WalkerTest, SubFoldersThatCannotBeListedAreToldAndLinkLoopsAreNot) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> found;
        std::vector<std::string> told;
    };
    const Case cases[] = {
        {"listing refused",
         [&] { fs.FailListing("C:\\R\\A"); },
         {"C:\\R\\B\\b.txt", "C:\\R\\r.txt"},
         {"C:\\R\\A\\"}},
        {"gone once its parent listed it",
         [&] {
             window.onPump = [&](int) {
                 if (window.current[3] == "C:\\R\\A\\a.txt") fs.Remove("C:\\R\\B");
             };
         },
         {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt", "C:\\R\\r.txt"},
         {"C:\\R\\B\\"}},
        {"link back to the start",
         [&] { fs.AddLink("C:\\R\\B\\loop", "C:\\R"); },
         {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt", "C:\\R\\B\\b.txt", "C:\\R\\r.txt"},
         {}},
        {"start folder refused", [&] { fs.FailListing("C:\\R"); }, {}, {}},
        {"start folder missing", [&] { fs.Remove("C:\\R"); }, {}, {}},
    };
    for (const Case& c : cases) {
        fs = FakeFileSystem();
        window = fakes::FakeWindow();
        AddTreeR();
        c.arrange();
        EXPECT_EQ(Walk("C:\\R"), c.found) << c.what;
        EXPECT_EQ(window.unlistable, c.told) << c.what;
    }
}

TEST_F(WalkerTest, LinkToAFolderOutsideTheWalkIsFollowed) {
    fs.AddFile("C:\\Elsewhere\\e.txt");
    fs.AddLink("C:\\R\\to-elsewhere", "C:\\Elsewhere");
    EXPECT_EQ(Walk("C:\\R"), std::vector<std::string>{"C:\\R\\to-elsewhere\\e.txt"});
}

TEST(ResultPathList, RefusesPathsEqualWithoutRegardToCase) {
    fakes::GbkTextRules rules;
    ResultPathList list(rules);
    EXPECT_TRUE(list.Append("C:\\Dir\\File.TXT"));
    EXPECT_FALSE(list.Append("c:\\dir\\file.txt"));
    EXPECT_TRUE(list.Append("C:\\Dir\\File2.TXT"));
    // Double-byte characters are compared on their bytes: 0xB1 0xED is no 0xB1 0xCD.
    EXPECT_TRUE(list.Append("C:\\\xB1\xED"));
    EXPECT_TRUE(list.Append("C:\\\xB1\xCD"));
    EXPECT_FALSE(list.Append("C:\\\xB1\xED"));
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_FALSE(list.Append("C:\\DIR\\FILE2.txt"));
}

}  // namespace
}  // namespace querna
