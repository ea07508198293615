#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Error.h"
#include "search/SearchEngine.h"
#include "search/SearchRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/ScriptedMatchers.h"

namespace querna {
namespace {

using Paths = std::vector<std::string>;

constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kDone = "搜索完成!";

class SearchRunTest : public ::testing::Test {
  protected:
    SearchRunTest() {
        window.SetLocalDrives(state, "CD");
        window.locationText = "C:\\";
        window.name = "x";
    }

    // Runs the Search button with the item of this caption selected.
    void RunWithItem(const std::string& caption) {
        window.locationIndex = window.ItemIndex(caption);
        ASSERT_GE(window.locationIndex, 0) << caption;
        run.Run();
    }

    bool Listed(const std::string& prefix) const {
        return std::any_of(fs.ListedMasks().begin(), fs.ListedMasks().end(),
                           [&](const std::string& mask) { return mask.starts_with(prefix); });
    }

    int Count(const std::vector<std::string>& texts, const std::string& text) const {
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }

    SearchState state;
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    fakes::ScriptedMatchers matchers;
    fakes::FakeRegistry registry;
    SearchEngine engine{state, fs, rules, window, &matchers, 50};
    SearchRun run{state, engine, window, registry, rules};
};

// ---------------------------------------------------------------- locations

struct LocationCase {
    const char* what;
    const char* drives;  // the local disks
    const char* text;    // the location box's text
    const char* item;    // selected caption; nullptr: none; "<folder>": the
                         // command-line folder item holding `text`
    Paths rows;
    const char* location;  // Criteria.Location after the run
};

class LocationTest : public SearchRunTest, public ::testing::WithParamInterface<LocationCase> {
  protected:
    LocationTest() {
        for (const char* root : {"A:", "B:", "C:", "D:", "E:", "F:", "H:"}) {
            fs.AddFile(std::string(root) + "\\x.txt");
        }
        fs.AddFile("D:\\Work\\Code\\x.txt");
        fs.AddFolder("all");
        for (const char* folder : {"Docs", "Desk", "Tpl", "Cache"}) {
            fs.AddFile(std::string("S:\\") + folder + "\\x.txt");
        }
        registry.SetCurrentUserString(kShellFolders, "Personal", "s:\\docs");
        registry.SetCurrentUserString(kShellFolders, "Desktop", "S:\\Desk");
        registry.SetCurrentUserString(kShellFolders, "Templates", "s:\\tpl");
        registry.SetCurrentUserString(kShellFolders, "Cache", "s:\\cache");
    }
};

TEST_P(LocationTest, SearchesTheRootsTheSelectedItemStandsFor) {
    const LocationCase& c = GetParam();
    window.SetLocalDrives(state, c.drives);
    window.locationText = c.text;
    if (c.item == nullptr) {
        window.locationIndex = -1;
    } else if (std::string(c.item) == "<folder>") {
        window.AddFolderItem(c.text);
        window.locationIndex = static_cast<int>(window.locationItems.size()) - 1;
    } else {
        window.locationIndex = window.ItemIndex(c.item);
        ASSERT_GE(window.locationIndex, 0) << c.item;
    }

    run.Run();

    EXPECT_EQ(window.rows, c.rows);
    EXPECT_EQ(state.Criteria.Location, c.location);
    EXPECT_TRUE(window.infos.empty());
    ASSERT_FALSE(window.fills.empty());
    EXPECT_TRUE(window.fills.front().empty);
    EXPECT_EQ(window.current[3], kDone);
}

INSTANTIATE_TEST_SUITE_P(
    Items, LocationTest,
    ::testing::Values(
        LocationCase{"documents_read_from_registry_upper_cased",
                     "CD",
                     "C:\\",
                     "我的文档",
                     {"S:\\DOCS\\x.txt"},
                     "S:\\DOCS"},
        LocationCase{"desktop", "CD", "C:\\", "桌面", {"S:\\DESK\\x.txt"}, "S:\\DESK"},
        LocationCase{"temporary_files_read_templates",
                     "CD",
                     "C:\\",
                     "临时文件",
                     {"S:\\TPL\\x.txt"},
                     "S:\\TPL"},
        LocationCase{"ie_cache", "CD", "C:\\", "IE缓存", {"S:\\CACHE\\x.txt"}, "S:\\CACHE"},
        LocationCase{"computer_searches_listed_disks_not_counted_letters",
                     "CDH",
                     "C:\\",
                     "我的电脑",
                     {"C:\\x.txt", "D:\\Work\\Code\\x.txt", "D:\\x.txt", "H:\\x.txt"},
                     "H:\\"},
        LocationCase{"all_disks_item",
                     "CDH",
                     "C:\\",
                     "本地硬盘(C:;D:;H:;)",
                     {"C:\\x.txt", "D:\\Work\\Code\\x.txt", "D:\\x.txt", "H:\\x.txt"},
                     "H:\\"},
        LocationCase{"all_disks_with_floppy",
                     "AC",
                     "C:\\",
                     "本地硬盘(A:;C:;)",
                     {"A:\\x.txt", "C:\\x.txt"},
                     "C:\\"},
        LocationCase{
            "disk_d", "CD", "C:\\", "本地磁盘(D:)", {"D:\\Work\\Code\\x.txt", "D:\\x.txt"}, "D:\\"},
        LocationCase{
            "disk_h_beyond_the_count", "CDH", "C:\\", "本地磁盘(H:)", {"H:\\x.txt"}, "H:\\"},
        LocationCase{"disk_a", "AC", "C:\\", "本地磁盘(A:)", {"A:\\x.txt"}, "A:\\"},
        LocationCase{"disk_b", "BC", "C:\\", "本地磁盘(B:)", {"B:\\x.txt"}, "B:\\"},
        LocationCase{"browsed_folder_is_not_reduced_to_a_root",
                     "CD",
                     "D:\\Work\\Code",
                     "浏览...",
                     {"D:\\Work\\Code\\x.txt"},
                     "D:\\Work\\Code"},
        LocationCase{"command_line_folder_item",
                     "CD",
                     "D:\\Work\\Code",
                     "<folder>",
                     {"D:\\Work\\Code\\x.txt"},
                     "D:\\Work\\Code"},
        LocationCase{"typed_folder_without_item",
                     "CD",
                     "D:\\Work\\Code",
                     nullptr,
                     {"D:\\Work\\Code\\x.txt"},
                     "D:\\Work\\Code"},
        LocationCase{"typed_ALL_searches_every_disk",
                     "CD",
                     "ALL",
                     nullptr,
                     {"C:\\x.txt", "D:\\Work\\Code\\x.txt", "D:\\x.txt"},
                     "D:\\"},
        LocationCase{"lower_case_all_is_a_folder_name", "CD", "all", nullptr, {}, "all"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SearchRunTest, AllDisksEmptyTheTableForTheFirstDiskAndAppendTheOthers) {
    window.SetLocalDrives(state, "CDE");
    fs.AddFile("C:\\x1.txt");
    fs.AddFile("E:\\x2.txt");
    RunWithItem("我的电脑");
    ASSERT_EQ(window.fills.size(), 3u);
    EXPECT_TRUE(window.fills[0].empty);
    EXPECT_FALSE(window.fills[1].empty);
    EXPECT_FALSE(window.fills[2].empty);
    EXPECT_TRUE(window.fills[1].paths.empty());
    EXPECT_EQ(window.rows, (Paths{"C:\\x1.txt", "E:\\x2.txt"}));
}

TEST_F(SearchRunTest, AllDisksWithoutLocalDisksWalkNothingAndEmptyTheTable) {
    window.SetLocalDrives(state, "");
    fs.AddFile("C:\\x.txt");
    RunWithItem("我的电脑");
    EXPECT_TRUE(fs.ListedMasks().empty());
    ASSERT_EQ(window.fills.size(), 1u);
    EXPECT_TRUE(window.fills[0].empty);
    EXPECT_TRUE(window.rows.empty());
    EXPECT_EQ(window.current[3], kDone);
}

// ---------------------------------------------------------------- refused locations

// A location that cannot be searched is told to the user and searches
// nothing: no listing, no table fill, no count reset, no completion text.
struct RefusedCase {
    const char* what;
    const char* text;     // the location box's text
    const char* item;     // selected caption, or nullptr for none
    const char* desktop;  // the registry's Desktop value; nullptr: not recorded
    const char* message;
    bool desktopIsNumber = false;  // the Desktop value is recorded, as a number
};

class RefusedLocationTest : public SearchRunTest,
                            public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedLocationTest, TellsTheUserAndSearchesNothing) {
    const RefusedCase& c = GetParam();
    fs.AddFile("C:\\x.txt");
    fs.AddFile("C:\\Data\\notes.txt");
    fs.AddFolder("C:\\Locked");
    fs.AddFile("C:\\Locked\\x.txt");
    fs.FailListing("C:\\Locked");
    if (c.desktop != nullptr) registry.SetCurrentUserString(kShellFolders, "Desktop", c.desktop);
    if (c.desktopIsNumber) registry.SetCurrentUserNumber(kShellFolders, "Desktop");
    state.FoundCount = 7;
    window.locationText = c.text;
    window.locationIndex = c.item == nullptr ? -1 : window.ItemIndex(c.item);

    EXPECT_FALSE(run.Run());

    using Box = std::pair<std::string, std::string>;
    EXPECT_EQ(window.infos, (std::vector<Box>{{c.message, "提示"}}));
    EXPECT_TRUE(fs.ListedMasks().empty());
    EXPECT_TRUE(window.fills.empty());
    EXPECT_EQ(state.FoundCount, 7);
    EXPECT_TRUE(window.panels.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Locations, RefusedLocationTest,
    ::testing::Values(
        RefusedCase{"blank_text", " \t ", nullptr, nullptr, "请选择要搜索的目标目录."},
        RefusedCase{"special_folder_not_recorded", "桌面", "桌面", nullptr,
                    "系统没有记录“桌面”所在的目录."},
        RefusedCase{"special_folder_recorded_blank", "桌面", "桌面", "  ",
                    "系统没有记录“桌面”所在的目录."},
        RefusedCase{"special_folder_recorded_as_a_number", "桌面", "桌面", nullptr,
                    "系统没有记录“桌面”所在的目录.", true},
        RefusedCase{"special_folder_missing", "桌面", "桌面", "C:\\Gone",
                    "目标目录不存在: C:\\GONE\\"},
        RefusedCase{"missing_folder", "C:\\Nowhere", nullptr, nullptr,
                    "目标目录不存在: C:\\Nowhere\\"},
        RefusedCase{"missing_drive", "Q:\\", nullptr, nullptr, "目标目录不存在: Q:\\"},
        RefusedCase{"a_file", "C:\\Data\\notes.txt ", nullptr, nullptr,
                    "目标不是目录: C:\\Data\\notes.txt\\"},
        RefusedCase{"unlistable_folder", "C:\\Locked\\", nullptr, nullptr,
                    "无法读取目标目录: C:\\Locked\\"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SearchRunTest, AllDisksPassSilentlyOverADiskThatCannotBeListed) {
    window.SetLocalDrives(state, "ACD");
    fs.AddFolder("A:");
    fs.FailListing("A:");
    fs.AddFile("C:\\x.txt");
    RunWithItem("我的电脑");
    EXPECT_TRUE(window.infos.empty());
    EXPECT_TRUE(window.unlistable.empty());
    EXPECT_EQ(window.rows, (Paths{"C:\\x.txt"}));
    EXPECT_EQ(window.current[3], kDone);
}

TEST_F(SearchRunTest, ShellFolderUpperCasesAsciiLettersOnly) {
    // 癮 is B0 61 in GBK: its second byte is an "a" that must stay one.
    registry.SetCurrentUserString(kShellFolders, "Personal", "c:\\癮\\my docs");
    registry.SetCurrentUserString(kShellFolders, "Cache", "d:\\ie");
    EXPECT_EQ(run.ReadShellFolder(ShellFolder::Personal), "C:\\癮\\MY DOCS");
    EXPECT_EQ(run.ReadShellFolder(ShellFolder::Cache), "D:\\IE");
    EXPECT_EQ(run.ReadShellFolder(ShellFolder::Desktop), "");
    const std::string key = kShellFolders;
    EXPECT_EQ(registry.currentUserReads,
              (Paths{key + "|Personal", key + "|Cache", key + "|Desktop"}));
}

// ---------------------------------------------------------------- criteria

TEST_F(SearchRunTest, EmptyLocationTextTellsTheUserAndChangesNothing) {
    state.Criteria.Location = "D:\\Earlier\\";
    state.Criteria.TypeFilter = "|.DOC|.DOCX|";
    state.FoundCount = 7;
    fs.AddFile("C:\\x.txt");
    window.locationText = "";
    window.typeIndex = 3;
    window.locationIndex = window.ItemIndex("我的电脑");

    run.Run();

    using Box = std::pair<std::string, std::string>;
    EXPECT_EQ(window.infos, (std::vector<Box>{{"请选择要搜索的目标目录.", "提示"}}));
    EXPECT_EQ(state.Criteria.Location, "D:\\Earlier\\");
    EXPECT_EQ(state.Criteria.TypeFilter, "|.DOC|.DOCX|");
    EXPECT_EQ(state.FoundCount, 7);
    EXPECT_TRUE(window.fills.empty());
    EXPECT_EQ(window.rows, (Paths{"", ""}));
    EXPECT_TRUE(window.panels.empty());
    EXPECT_TRUE(fs.ListedMasks().empty());
}

TEST_F(SearchRunTest, CollectCriteriaCopiesTheInputs) {
    struct Case {
        int typeIndex;
        const char* filter;
    };
    const Case cases[] = {{-1, "|*.*|"},
                          {0, "|.DOC|.DOCX|"},
                          {1, "|.XLS|.XLSX|"},
                          {2, "|.PPT|.PPTX|"},
                          {3, "|.TXT|.C|.CPP|.H|.PAS|.JAVA|.XML|.SQL|.ASP|.BAT|.JSP|.PHP|.SH|"},
                          {4, "|*.*|"},
                          {9, "|*.*|"}};
    for (const Case& c : cases) {
        window.typeIndex = c.typeIndex;
        ASSERT_TRUE(run.CollectCriteria());
        EXPECT_EQ(state.Criteria.TypeFilter, c.filter) << c.typeIndex;
    }

    window.locationText = " D:\\Some Where ";
    window.ignoredFolder = " Skip Me";
    const bool checks[][4] = {{true, false, true, false}, {false, true, false, true}};
    for (const auto& boxes : checks) {
        std::copy(std::begin(boxes), std::end(boxes), window.checked);
        ASSERT_TRUE(run.CollectCriteria());
        const SearchCriteria& got = state.Criteria;
        EXPECT_EQ(got.IncludeSystem, boxes[0] ? kTrue : kFalse);
        EXPECT_EQ(got.IncludeHidden, boxes[1] ? kTrue : kFalse);
        EXPECT_EQ(got.IncludeSubfolders, boxes[2] ? kTrue : kFalse);
        EXPECT_EQ(got.IncludeReadOnly, boxes[3] ? kTrue : kFalse);
    }
    EXPECT_EQ(state.Criteria.Location, " D:\\Some Where ");
    EXPECT_EQ(state.Criteria.IgnoredFolderName, " Skip Me");
    EXPECT_TRUE(window.infos.empty());
}

// ---------------------------------------------------------------- name and phrase

struct BoxesCase {
    const char* what;
    const char* name;
    const char* phrase;
    Paths rows;
    size_t matcherCalls;
    bool walks;  // whether any folder is listed
};

class BoxesTest : public SearchRunTest, public ::testing::WithParamInterface<BoxesCase> {};

TEST_P(BoxesTest, NameWalkOrContentPassByTheBoxes) {
    const BoxesCase& c = GetParam();
    fs.AddFile("C:\\R\\abc.txt");
    fs.AddFile("C:\\R\\abd.txt");
    fs.AddFile("C:\\R\\zzz.txt");
    fs.AddFile("C:\\R\\Locked\\abd-phrase.txt");
    fs.FailListing("C:\\R\\Locked");
    matchers.texts = {{"C:\\R\\abd.txt", "a phrase here"}, {"C:\\R\\zzz.txt", "phrase"}};
    window.locationText = "C:\\R";
    window.name = c.name;
    window.phrase = c.phrase;

    run.Run();

    EXPECT_EQ(window.rows, c.rows);
    EXPECT_EQ(matchers.calls.size(), c.matcherCalls);
    EXPECT_EQ(!fs.ListedMasks().empty(), c.walks);
    ASSERT_EQ(window.fills.size(), 1u);
    EXPECT_TRUE(window.fills[0].empty);
    EXPECT_EQ(window.PanelTexts(1).front(), "0");
    EXPECT_EQ(window.current[3], kDone);
    // The run reads the phrase box twice, the content pass once per file it
    // examines.
    EXPECT_EQ(window.phraseReads, 2 + static_cast<int>(c.matcherCalls));
    // A name walk and a content pass alike tell the folder they could not list.
    EXPECT_EQ(window.unlistable, c.walks ? Paths{"C:\\R\\Locked\\"} : Paths{});
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxesTest,
    ::testing::Values(
        BoxesCase{
            "name_only_walks_by_name", "ab", "", {"C:\\R\\abc.txt", "C:\\R\\abd.txt"}, 0, true},
        BoxesCase{"phrase_only_examines_every_file",
                  "",
                  "phrase",
                  {"C:\\R\\abd.txt", "C:\\R\\zzz.txt"},
                  3,
                  true},
        BoxesCase{
            "name_and_phrase_examine_the_named_files", "ab", "phrase", {"C:\\R\\abd.txt"}, 2, true},
        BoxesCase{"both_empty_walk_nothing_and_empty_the_table", "", "", {}, 0, false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(SearchRunTest, PhraseTypedDuringTheNameWalkAlsoRunsTheContentPass) {
    fs.AddFile("C:\\R\\x1.txt");
    matchers.texts = {{"C:\\R\\x1.txt", "late"}};
    window.locationText = "C:\\R";
    window.onPump = [&](int) { window.phrase = "late"; };
    run.Run();
    EXPECT_EQ(matchers.calls, (Paths{"text C:\\R\\x1.txt late"}));
    EXPECT_EQ(window.rows, (Paths{"C:\\R\\x1.txt"}));
}

TEST_F(SearchRunTest, StartClearsAStopLeftByTheLastRun) {
    fs.AddFile("C:\\x.txt");
    state.StopRequested = kTrue;
    run.Run();
    EXPECT_EQ(window.rows, (Paths{"C:\\x.txt"}));
}

// ---------------------------------------------------------------- counting

TEST_F(SearchRunTest, NameSearchOverAllDisksCountsTheFilesOfAllDisks) {
    fs.AddFile("C:\\x1.txt");
    fs.AddFile("C:\\x2.txt");
    fs.AddFile("D:\\x3.txt");
    state.FoundCount = 9;
    RunWithItem("我的电脑");
    EXPECT_EQ(window.PanelTexts(1), (Paths{"0", "1", "2", "3"}));
    EXPECT_EQ(state.FoundCount, 3);
}

TEST_F(SearchRunTest, PhraseSearchOverAllDisksCountsEachDiskAfresh) {
    fs.AddFile("C:\\x1.txt");
    fs.AddFile("C:\\x2.txt");
    fs.AddFile("D:\\x3.txt");
    matchers.texts = {{"C:\\x1.txt", "p"}, {"C:\\x2.txt", "p"}, {"D:\\x3.txt", "p"}};
    window.phrase = "p";
    RunWithItem("我的电脑");
    EXPECT_EQ(window.rows, (Paths{"C:\\x1.txt", "C:\\x2.txt", "D:\\x3.txt"}));
    EXPECT_EQ(state.FoundCount, 1);
}

// ---------------------------------------------------------------- stop and nesting

TEST_F(SearchRunTest, StopDuringTheFirstDiskKeepsWhatWasFoundAndSkipsTheRest) {
    fs.AddFile("C:\\A\\xa.txt");
    fs.AddFile("C:\\xc.txt");
    fs.AddFile("D:\\xd.txt");
    // Stop as soon as C:\A's file has been counted.
    window.onPump = [&](int) {
        if (state.FoundCount >= 1) state.StopRequested = kTrue;
    };
    RunWithItem("本地硬盘(C:;D:;)");

    EXPECT_EQ(window.rows, (Paths{"C:\\A\\xa.txt"}));
    ASSERT_EQ(window.fills.size(), 2u);
    EXPECT_TRUE(window.fills[1].paths.empty());
    EXPECT_FALSE(Listed("D:"));
    EXPECT_EQ(window.current[3], kDone);
    EXPECT_EQ(state.StopRequested, kTrue);
    EXPECT_EQ(state.Criteria.Location, "D:\\");
}

TEST_F(SearchRunTest, NestedRunCompletesInsideThePumpThenTheFirstResumes) {
    fs.AddFile("C:\\A\\x1.txt");
    fs.AddFile("C:\\x2.txt");
    fs.AddFile("D:\\x3.txt");
    fs.AddFile("E:\\Nested\\x4.txt");
    window.onPump = [&](int) {
        window.onPump = nullptr;
        window.locationIndex = -1;
        window.locationText = "E:\\Nested";
        run.Run();
    };
    RunWithItem("我的电脑");

    ASSERT_EQ(window.fills.size(), 3u);
    EXPECT_EQ(window.fills[0].paths, (Paths{"E:\\Nested\\x4.txt"}));
    EXPECT_TRUE(window.fills[0].empty);
    // The first run kept its own root (C:\) although the nested one rewrote
    // the location, and its first fill replaced the nested run's rows.
    EXPECT_EQ(window.fills[1].paths, (Paths{"C:\\A\\x1.txt", "C:\\x2.txt"}));
    EXPECT_TRUE(window.fills[1].empty);
    EXPECT_EQ(window.rows, (Paths{"C:\\A\\x1.txt", "C:\\x2.txt", "D:\\x3.txt"}));
    EXPECT_EQ(Count(window.PanelTexts(3), kDone), 2);
    EXPECT_EQ(state.Criteria.Location, "D:\\");
}

TEST_F(SearchRunTest, StopPressedInANestedRunStopsTheFirstToo) {
    fs.AddFile("C:\\A\\x1.txt");
    fs.AddFile("C:\\x2.txt");
    fs.AddFile("D:\\x3.txt");
    fs.AddFile("E:\\Nested\\x4.txt");
    bool nested = false;
    window.onPump = [&](int) {
        if (nested) {
            state.StopRequested = kTrue;
            return;
        }
        nested = true;
        window.locationIndex = -1;
        window.locationText = "E:\\Nested";
        run.Run();
    };
    RunWithItem("我的电脑");

    EXPECT_FALSE(Listed("D:"));
    EXPECT_EQ(window.rows, (Paths{}));
    EXPECT_EQ(Count(window.PanelTexts(3), kDone), 2);
}

// ---------------------------------------------------------------- errors

TEST_F(SearchRunTest, MatcherErrorEndsTheRunWithoutFillOrCompletion) {
    fs.AddFile("C:\\R\\a.doc");
    fs.AddFile("C:\\R\\b.xls");
    matchers.failingPath = "C:\\R\\b.xls";
    matchers.failure = "Excel is gone";
    window.locationText = "C:\\R";
    window.name = "";
    window.phrase = "p";

    try {
        run.Run();
        FAIL() << "the matcher's error did not reach the caller";
    } catch (const QuernaError& e) {
        EXPECT_STREQ(e.what(), "Excel is gone");
    }
    EXPECT_TRUE(window.fills.empty());
    EXPECT_EQ(window.rows, (Paths{"", ""}));
    EXPECT_EQ(window.current[3], "C:\\R\\b.xls");
    EXPECT_EQ(Count(window.PanelTexts(3), kDone), 0);
}

TEST_F(SearchRunTest, MatcherErrorOnALaterDiskKeepsEarlierDisksAndSkipsTheRest) {
    window.SetLocalDrives(state, "CDE");
    fs.AddFile("C:\\c.txt");
    fs.AddFile("D:\\d.txt");
    fs.AddFile("E:\\e.txt");
    matchers.texts = {{"C:\\c.txt", "p"}};
    matchers.failingPath = "D:\\d.txt";
    window.name = "";
    window.phrase = "p";

    EXPECT_THROW(RunWithItem("我的电脑"), QuernaError);
    EXPECT_EQ(window.rows, (Paths{"C:\\c.txt"}));
    EXPECT_EQ(window.fills.size(), 1u);
    EXPECT_FALSE(Listed("E:"));
    EXPECT_EQ(Count(window.PanelTexts(3), kDone), 0);
}

}  // namespace
}  // namespace querna
