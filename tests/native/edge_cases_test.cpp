// Cases a fake without the platform's quirks lets through: "." and ".." in
// listings and paths, links back into the walk, sizes of 4 GiB and more,
// three distinct file times under a time-zone offset, the last day of a leap
// year, the bounds of the date text, dates before 1899 with a time of day, a
// table of one row, and a phrase emptied between two files.
#include <gtest/gtest.h>

#include <algorithm>

#include "results/FileProperties.h"
#include "results/ResultActions.h"
#include "results/ResultTable.h"
#include "search/SearchEngine.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeResultServices.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/FileReadingMatchers.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/RecordingDialogs.h"

namespace querna {
namespace {

using fakes::FakeFileSystem;
using Paths = std::vector<std::string>;

constexpr FileTime kTicksPerSecond = 10'000'000;
constexpr FileTime kTicksPerDay = 86'400 * kTicksPerSecond;
constexpr FileTime k20090303 = 128'805'628'290'000'000;  // 2009-03-03 14:07:09 UTC

// ---------------------------------------------------------------- walker

struct WalkResult {
    Paths found;
    Paths masks;
    bool runaway = false;
};

// A walk that cannot go round for ever: after far more entries than the
// tree holds, it is stopped and marked as a runaway.
WalkResult WalkTree(FakeFileSystem& fs, const std::string& folder) {
    SearchState state;
    state.Criteria.TypeFilter = "|*.*|";
    state.Criteria.IncludeSubfolders = kTrue;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    WalkResult result;
    window.onPump = [&](int pumps) {
        if (pumps > 500) {
            result.runaway = true;
            state.StopRequested = kTrue;
        }
    };
    SearchEngine engine(state, fs, rules, window, nullptr, 50);
    ResultPathList found(rules);
    engine.WalkDirectory(found, folder, "");
    result.found = found.Paths();
    result.masks = fs.ListedMasks();
    return result;
}

TEST(WalkerEdges, NeverDescendsIntoDotEntries) {
    FakeFileSystem fs;
    fs.AddFile("C:\\R\\A\\a.txt");
    fs.AddFile("C:\\R\\r.txt");
    fs.AddFile("C:\\top.txt");
    // As on Windows, "." and ".." in a path name the folder and its parent:
    // a walk that followed them would go round, or climb out of its tree.
    ASSERT_TRUE(fs.FolderExists("C:\\R\\A\\.\\"));
    ASSERT_TRUE(fs.FolderExists("C:\\R\\A\\..\\"));
    const struct {
        const char* folder;
        Paths expected;
    } cases[] = {
        {"C:\\R", {"C:\\R\\A\\a.txt", "C:\\R\\r.txt"}},
        {"C:\\R\\A", {"C:\\R\\A\\a.txt"}},
        {"C:\\", {"C:\\R\\A\\a.txt", "C:\\R\\r.txt", "C:\\top.txt"}},  // a root lists no dots
    };
    for (const auto& c : cases) {
        const WalkResult walk = WalkTree(fs, c.folder);
        EXPECT_FALSE(walk.runaway) << c.folder;
        EXPECT_EQ(walk.found, c.expected) << c.folder;
        for (const std::string& mask : walk.masks) {
            EXPECT_EQ(mask.find("\\.\\"), std::string::npos) << mask;
            EXPECT_EQ(mask.find("\\..\\"), std::string::npos) << mask;
        }
    }
}

TEST(WalkerEdges, LinksBackIntoTheWalkAreNotEnteredOthersAreFollowed) {
    const Paths tree = {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt", "C:\\R\\r.txt"};
    const struct {
        const char* what;
        const char* link;
        const char* target;
        Paths extra;  // files reached through the link, before the tree's own
    } cases[] = {
        {"to the folder being listed", "C:\\R\\self", "C:\\R", {}},
        {"to the folder being listed, below the start", "C:\\R\\A\\again", "C:\\R\\A", {}},
        {"to the parent of the folder being listed", "C:\\R\\A\\up", "C:\\R", {}},
        {"from deep down to the start folder", "C:\\R\\A\\A1\\top", "C:\\R", {}},
        {"to a sibling, followed",
         "C:\\R\\B\\toA",
         "C:\\R\\A",
         {"C:\\R\\B\\toA\\A1\\a1.txt", "C:\\R\\B\\toA\\a.txt"}},
    };
    for (const auto& c : cases) {
        FakeFileSystem fs;
        for (const std::string& file : tree) fs.AddFile(file);
        fs.AddLink(c.link, c.target);
        Paths expected = {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\a.txt"};
        expected.insert(expected.end(), c.extra.begin(), c.extra.end());
        expected.push_back("C:\\R\\r.txt");
        const WalkResult walk = WalkTree(fs, "C:\\R");
        EXPECT_FALSE(walk.runaway) << c.what;
        EXPECT_EQ(walk.found, expected) << c.what;
    }
}

// ---------------------------------------------------------------- sizes, times

ResultFilters SizeFilter(const char* threshold) {
    ResultFilters filters;
    filters.sizeOn = threshold[0] != '\0';
    filters.sizeThreshold = threshold;
    return filters;
}

TEST(LargeFiles, SizesOf4GiBAndMoreInTheSizeColumnAndTheSizeFilter) {
    const struct {
        uint64_t size;
        const char* threshold;  // KB; empty: no size filter
        bool kept;
    } cases[] = {
        {0xFFFF'FFFF, "", true},
        {uint64_t{1} << 32, "", true},
        {uint64_t{1} << 32, "4194304", false},        // 4194304.00 KB is not more
        {(uint64_t{1} << 32) + 5, "4194304", false},  // 4194304.0049 shows as .00
        {(uint64_t{1} << 32) + 6, "4194304", true},   // 4194304.0059 shows as .01
        {(uint64_t{1} << 32) + 100, "1", true},       // its low half is 100 bytes
        {uint64_t{6} << 30, "1", true},               // its low half is 2 GiB
        {(uint64_t{5} << 30) + 6, "5242880", true},
    };
    fakes::GbkTextRules rules;
    for (const auto& c : cases) {
        FakeFileSystem fs;
        fs.AddFile("D:\\big.iso", "only a little content");
        fs.SetSize("D:\\big.iso", c.size);
        const auto row = BuildResultRow(fs, rules, "D:\\big.iso", SizeFilter(c.threshold));
        EXPECT_EQ(row.has_value(), c.kept) << c.size << " / " << c.threshold;
        if (row) {
            EXPECT_EQ(row->size, std::to_string(c.size));
        }
    }
}

TEST(FileTimes, ThreeTimesReachTheirOwnFieldsAndTheDateColumnShowsCreation) {
    FakeFileSystem fs;
    fs.SetLocalOffset(FakeFileSystem::kChinaStandardTime);
    fs.AddFile("D:\\t.txt");
    fs.SetTimes("D:\\t.txt", k20090303, k20090303 + kTicksPerDay, k20090303 + 2 * kTicksPerDay);
    TFileProperty record;
    ASSERT_TRUE(ReadFileProperties(fs, "D:\\t.txt", record));
    EXPECT_EQ(record.CreationTime, (SystemTime{2009, 3, 2, 3, 22, 7, 9, 0}));
    EXPECT_EQ(record.LastAccessTime, (SystemTime{2009, 3, 3, 4, 22, 7, 9, 0}));
    EXPECT_EQ(record.LastWriteTime, (SystemTime{2009, 3, 4, 5, 22, 7, 9, 0}));
    fakes::GbkTextRules rules;
    const auto row = BuildResultRow(fs, rules, "D:\\t.txt", {});
    ASSERT_TRUE(row);
    EXPECT_EQ(row->date, "2009-03-03 22:07:09");
}

TEST(FileTimes, FallbackDateStaysUnshiftedWhateverTheOffset) {
    const int64_t hour = FakeFileSystem::kHour;
    const struct {
        int64_t offset;
        const char* openable;  // the same time, for a file that opens
    } cases[] = {
        {8 * hour, "2009-03-03 22:07:09"},
        {-5 * hour, "2009-03-03 09:07:09"},
        {13 * hour, "2009-03-04 03:07:09"},
        {-12 * hour, "2009-03-03 02:07:09"},
    };
    fakes::GbkTextRules rules;
    for (const auto& c : cases) {
        FakeFileSystem fs;
        fs.SetLocalOffset(c.offset);
        fs.AddFile("D:\\held.txt", "", faArchive, k20090303);
        fs.AddFile("D:\\free.txt", "", faArchive, k20090303);
        fs.LockFile("D:\\held.txt");
        EXPECT_EQ(ReadCreationTime(fs, "D:\\held.txt"), kFallbackCreationTime) << c.offset;
        EXPECT_EQ(BuildResultRow(fs, rules, "D:\\held.txt", {})->date, "1601-01-01 00:00:00");
        EXPECT_EQ(BuildResultRow(fs, rules, "D:\\free.txt", {})->date, c.openable);
    }
}

ResultFilters DateFilter(const char* from, const char* to) {
    ResultFilters filters;
    filters.dateOn = true;
    EXPECT_TRUE(ParseDateTime(from, filters.from)) << from;
    EXPECT_TRUE(ParseDateTime(to, filters.to)) << to;
    return filters;
}

TEST(Dates, LastDayOfALeapYearInTheDateColumnAndTheDateFilter) {
    FakeFileSystem fs;
    fs.SetLocalOffset(FakeFileSystem::kChinaStandardTime);
    const struct {
        const char* path;
        FileTime utc;
        const char* shown;
        bool inLastDay;  // kept by the filter from 2024-12-31 00:00:00 to 23:59:59
    } cases[] = {
        {"D:\\eve.txt", 133'800'480'000'000'000, "2024-12-31 00:00:00", true},
        {"D:\\last.txt", 133'801'343'990'000'000, "2024-12-31 23:59:59", true},
        {"D:\\new.txt", 133'801'344'000'000'000, "2025-01-01 00:00:00", false},
        {"D:\\y2000.txt", 126'227'376'000'000'000, "2000-12-31 20:00:00", false},
        {"D:\\leap.txt", 133'536'096'000'000'000, "2024-02-29 00:00:00", false},
    };
    fakes::GbkTextRules rules;
    const ResultFilters lastDay = DateFilter("2024-12-31 00:00:00", "2024-12-31 23:59:59");
    for (const auto& c : cases) {
        fs.AddFile(c.path, "", faArchive, c.utc);
        const auto row = BuildResultRow(fs, rules, c.path, {});
        ASSERT_TRUE(row) << c.path;
        EXPECT_EQ(row->date, c.shown);
        EXPECT_EQ(BuildResultRow(fs, rules, c.path, lastDay).has_value(), c.inLastDay) << c.path;
    }
}

TEST(Dates, DateTextRefusesMinutesAndSecondsOutOfRange) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"2009-03-03 14:59:59", true},  {"2009-03-03 00:00:00", true},
        {"2024-12-31 23:59:59", true},  {"2024-02-29", true},
        {"2009-03-03 14:60:00", false}, {"2009-03-03 14:07:60", false},
        {"2009-03-03 14:99:00", false}, {"2009-03-03 14:07:99", false},
        {"2024-12-32", false},          {"2023-02-29", false},
    };
    for (const auto& c : cases) {
        DateTime value = 0;
        ASSERT_EQ(ParseDateTime(c.text, value), c.valid) << c.text;
        if (c.valid && std::string(c.text).size() > 10) {
            EXPECT_EQ(FormatDateTime(value), c.text);
        }
    }
}

TEST(Dates, BoundsBefore1899WithATimeOfDayCompareAsTimes) {
    FakeFileSystem fs;
    const struct {
        const char* path;
        FileTime utc;
    } files[] = {
        {"D:\\early.txt", 78'719'687'990'000'000},    // 1850-06-15 17:59:59
        {"D:\\at.txt", 78'719'688'000'000'000},       // 1850-06-15 18:00:00
        {"D:\\evening.txt", 78'719'760'000'000'000},  // 1850-06-15 20:00:00
        {"D:\\morning.txt", 78'720'120'000'000'000},  // 1850-06-16 06:00:00
    };
    for (const auto& f : files) fs.AddFile(f.path, "", faArchive, f.utc);
    const struct {
        const char* from;
        const char* to;
        Paths kept;
    } cases[] = {
        {"1850-06-15 18:00:00",
         "2009-03-03 14:07:09",
         {"D:\\at.txt", "D:\\evening.txt", "D:\\morning.txt"}},
        {"1800-01-01 00:00:00", "1850-06-15 18:00:00", {"D:\\early.txt", "D:\\at.txt"}},
        {"1850-06-15 19:00:00", "1850-06-16 05:00:00", {"D:\\evening.txt"}},
    };
    fakes::GbkTextRules rules;
    for (const auto& c : cases) {
        const ResultFilters filters = DateFilter(c.from, c.to);
        EXPECT_EQ(FormatDateTime(filters.from), c.from);
        Paths kept;
        for (const auto& f : files) {
            if (BuildResultRow(fs, rules, f.path, filters)) kept.push_back(f.path);
        }
        EXPECT_EQ(kept, c.kept) << c.from << " .. " << c.to;
    }
}

// An upper bound names the last moment of its second, or of its day when it
// is a date alone: a file the table shows at that time is kept.
TEST(Dates, UpperBoundIncludesTheSecondOrTheDayItNames) {
    FakeFileSystem fs;
    fs.AddFile("D:\\late.txt", "", faArchive, 132'331'464'007'000'000);  // 2020-05-05 10:00:00.700
    fs.AddFile("D:\\early.txt", "", faArchive, 78'719'687'995'000'000);  // 1850-06-15 17:59:59.500
    const struct {
        const char* to;
        DateBound bound;
        Paths kept;
    } cases[] = {
        {"2020-05-05 10:00:00", DateBound::End, {"D:\\late.txt", "D:\\early.txt"}},
        {"2020-05-05", DateBound::End, {"D:\\late.txt", "D:\\early.txt"}},
        {"2020-05-05 09:59:59", DateBound::End, {"D:\\early.txt"}},
        {"2020-05-04", DateBound::End, {"D:\\early.txt"}},
        {"2020-05-05 10:00:00", DateBound::Start, {"D:\\early.txt"}},
        {"1850-06-15 17:59:59", DateBound::End, {"D:\\early.txt"}},
        {"1850-06-15", DateBound::End, {"D:\\early.txt"}},
        {"1850-06-15 17:59:59", DateBound::Start, {}},
        {"1850-06-14", DateBound::End, {}},
    };
    fakes::GbkTextRules rules;
    for (const auto& c : cases) {
        ResultFilters filters;
        filters.dateOn = true;
        ASSERT_TRUE(ParseDateTime("1601-01-01", filters.from));
        ASSERT_TRUE(ParseDateTime(c.to, filters.to, c.bound)) << c.to;
        Paths kept;
        for (const char* path : {"D:\\late.txt", "D:\\early.txt"}) {
            if (BuildResultRow(fs, rules, path, filters)) kept.push_back(path);
        }
        EXPECT_EQ(kept, c.kept) << c.to << (c.bound == DateBound::End ? " (end)" : " (start)");
    }
}

// ---------------------------------------------------------------- one row

TEST(OneRowTable, EveryActionActsOnTheOnlyRow) {
    using Action = void (ResultActions::*)();
    const struct {
        const char* what;
        Action action;
        Paths opened, copied, saved;
    } cases[] = {
        {"open folder", &ResultActions::OpenFolder, {"D:\\docs\\"}, {}, {}},
        {"open", &ResultActions::OpenFile, {"D:\\docs\\a.txt"}, {}, {}},
        {"copy name", &ResultActions::CopyName, {}, {"a.txt"}, {}},
        {"copy folder", &ResultActions::CopyFolder, {}, {"D:\\docs\\"}, {}},
        {"copy full path", &ResultActions::CopyFullPath, {}, {"D:\\docs\\a.txt"}, {}},
        {"save", &ResultActions::SaveList, {}, {}, {"D:\\docs\\a.txt\r\n"}},
    };
    for (const auto& c : cases) {
        fakes::FakeResultRows table;
        table.rows = {{"a.txt", "D:\\docs\\"}};
        table.selected = 0;
        fakes::RecordingShell shell;
        fakes::RecordingClipboard clipboard;
        fakes::RecordingDialogs dialogs;
        dialogs.saveAnswer = "C:\\list.txt";
        fakes::FakeTextFileWriter files;
        ResultActions actions(table, shell, clipboard, dialogs, files);
        (actions.*c.action)();
        EXPECT_EQ(shell.opened, c.opened) << c.what;
        EXPECT_EQ(clipboard.texts, c.copied) << c.what;
        Paths saved;
        for (const auto& [path, content] : files.files) saved.push_back(content);
        EXPECT_EQ(saved, c.saved) << c.what;
    }
}

// ---------------------------------------------------------------- empty phrase

TEST(EmptyPhrase, ReadFreshBetweenFilesItIsNeverFoundAndNothingPastItIsRead) {
    FakeFileSystem fs;
    // One matcher for every file, as in a search, with blocks smaller than a
    // line; the phrase changes from file to file as the phrase box does.
    fakes::GbkTextRules rules;
    TextMatcher matcher(fs, rules, 4);
    const struct {
        const char* content;
        const char* phrase;
        bool found;
    } cases[] = {
        {"a long needle line\r", "needle", true},
        {"needle\r", "", false},
        {"x\r", "x", true},
        {"", "", false},
        {"\r\r\r", "", false},
        {"needle", "needle", true},
    };
    for (const auto& c : cases) {
        fs.AddFile("C:\\f.txt", c.content);
        // A copy without spare capacity: any read past the phrase is a read
        // outside its buffer.
        const std::string phrase(c.phrase);
        EXPECT_EQ(matcher.Match("C:\\f.txt", phrase), FoundIf(c.found))
            << c.content << "/" << c.phrase;
    }

    SearchState state;
    state.Criteria.TypeFilter = "|*.*|";
    fakes::FakeWindow window;
    fakes::FileReadingMatchers matchers(fs, rules, 4);
    window.phrase = "needle";
    window.onPump = [&](int) {
        if (window.phraseReads > 0) window.phrase.clear();  // emptied after the first candidate
    };
    fs.AddFile("C:\\P\\a.txt", "needle\r");
    fs.AddFile("C:\\P\\b.txt", "needle\r");
    SearchEngine engine(state, fs, rules, window, &matchers, 0);
    ResultPathList found(rules);
    engine.SearchContents(found, "C:\\P", "");
    EXPECT_EQ(found.Paths(), Paths{"C:\\P\\a.txt"});
    EXPECT_EQ(window.phraseReads, 2);
    EXPECT_TRUE(window.unreadable.empty());
}

}  // namespace
}  // namespace querna
