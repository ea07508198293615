// What the walker's match listing returned of each result travels with it:
// into the result lists, to the result observer, and into the rows built
// from the listing without a second look-up.
#include <gtest/gtest.h>

#include "results/ResultTable.h"
#include "search/SearchEngine.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/ScriptedMatchers.h"

namespace querna {
namespace {

using fakes::FakeFileSystem;

// 2009-03-03 14:07:09 UTC as a file time, and one hour of ticks.
constexpr FileTime k20090303 = 128'805'628'290'000'000;
constexpr FileTime kHour = 36'000'000'000;

class RecordingObserver final : public ResultObserver {
  public:
    void ResultAppended(const std::string& path, const ListedFile& listed) override {
        seen.push_back({path, listed});
    }
    std::vector<std::pair<std::string, ListedFile>> seen;
};

class ListedResultsTest : public ::testing::Test {
  protected:
    ListedResultsTest() {
        state.Criteria.TypeFilter = "|*.*|";
        state.Criteria.IncludeSystem = state.Criteria.IncludeHidden =
            state.Criteria.IncludeSubfolders = kTrue;
        fs.AddFile("C:\\R\\A\\a.txt", "needle", faArchive, k20090303);
        fs.AddFile("C:\\R\\A\\b.doc", "twelve bytes", faReadOnly, k20090303 + kHour);
        fs.AddFile("C:\\R\\r.txt", "", faHidden, k20090303 + 2 * kHour);
        engine.SetResultObserver(&observer);
    }

    SearchState state;
    FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    fakes::ScriptedMatchers matchers;
    SearchEngine engine{state, fs, rules, window, &matchers, 0};
    RecordingObserver observer;
};

TEST_F(ListedResultsTest, WalkHandsOnSizeAttributesAndCreationTimeOfEachResult) {
    ResultPathList results(rules);
    engine.WalkDirectory(results, "C:\\R", "");
    const std::vector<std::pair<std::string, ListedFile>> expected = {
        {"C:\\R\\A\\a.txt", {6, faArchive, k20090303}},
        {"C:\\R\\A\\b.doc", {12, faReadOnly, k20090303 + kHour}},
        {"C:\\R\\r.txt", {0, faHidden, k20090303 + 2 * kHour}},
    };
    ASSERT_EQ(results.Count(), expected.size());
    ASSERT_EQ(observer.seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& [path, listed] = expected[i];
        EXPECT_EQ(results[i], path);
        EXPECT_EQ(observer.seen[i].first, path);
        for (const ListedFile& got : {results.Listed(i), observer.seen[i].second}) {
            EXPECT_EQ(got.size, listed.size) << path;
            EXPECT_EQ(got.attributes, listed.attributes) << path;
            EXPECT_EQ(got.creationTime, listed.creationTime) << path;
        }
    }
}

TEST_F(ListedResultsTest, ObserverHearsOfEachResultOnceAndOfNoCandidate) {
    // A second walk into the same list appends nothing new.
    ResultPathList results(rules);
    engine.WalkDirectory(results, "C:\\R\\A", "");
    engine.WalkDirectory(results, "C:\\R\\A", "");
    EXPECT_EQ(observer.seen.size(), 2u);

    // A content pass: the candidates are gathered silently, the matches told.
    observer.seen.clear();
    matchers.texts = {{"C:\\R\\A\\b.doc", "the needle"}, {"C:\\R\\r.txt", "needle"}};
    window.phrase = "needle";
    ResultPathList found(rules);
    engine.SearchContents(found, "C:\\R", "");
    ASSERT_EQ(observer.seen.size(), 2u);
    EXPECT_EQ(observer.seen[0].first, "C:\\R\\A\\b.doc");
    EXPECT_EQ(observer.seen[0].second.size, 12u);
    EXPECT_EQ(observer.seen[1].first, "C:\\R\\r.txt");
    EXPECT_EQ(found.Listed(1).creationTime, k20090303 + 2 * kHour);
}

TEST(EveryNameWalkTest, PatternThatEveryNameMatchesListsEachFolderOnceWithTheSameResults) {
    struct Case {
        std::string pattern, typeFilter;
        std::vector<std::string> files, expected;
    };
    const Case cases[] = {
        // The ignored name is skipped in the folder listing only: the file
        // named so is found once another file has made the folder count.
        {"",
         "|*.*|",
         {"Debug", "a.doc", "b.txt"},
         {"C:\\R\\S\\s.txt", "C:\\R\\Debug", "C:\\R\\a.doc", "C:\\R\\b.txt"}},
        {"*", "|.DOC|.DOCX|", {"Debug", "a.doc", "b.txt"}, {"C:\\R\\a.doc"}},
        {"**", "|*.*|", {"Debug"}, {"C:\\R\\S\\s.txt"}},
    };
    for (const Case& c : cases) {
        SearchState state;
        state.Criteria.TypeFilter = c.typeFilter;
        state.Criteria.IncludeSubfolders = kTrue;
        state.Criteria.IgnoredFolderName = "Debug";
        FakeFileSystem fs;
        fs.AddFile("C:\\R\\S\\s.txt");
        for (const std::string& file : c.files) fs.AddFile("C:\\R\\" + file);
        fakes::GbkTextRules rules;
        fakes::FakeWindow window;
        SearchEngine engine{state, fs, rules, window, nullptr, 0};
        ResultPathList results(rules);
        engine.WalkDirectory(results, "C:\\R", c.pattern);
        EXPECT_EQ(results.Paths(), c.expected) << c.pattern << c.typeFilter;
        EXPECT_EQ(fs.ListedMasks(), (std::vector<std::string>{"C:\\R\\*.*", "C:\\R\\S\\*.*"}));
    }
}

TEST(ListedRowsTest, RowsComeFromTheListingWithLocalTimeAndTheFilters) {
    FakeFileSystem fs;  // holds no file at all: nothing is looked up or opened
    fs.SetLocalOffset(8 * kHour);
    fakes::GbkTextRules rules;
    const ListedFile huge{(uint64_t{5} << 30) + 7, faArchive, k20090303};
    const ListedFile small{10245, faArchive, 0};
    DateTime evening = 0, nextDay = 0;
    ASSERT_TRUE(ParseDateTime("2009-03-03 22:07:09", evening));
    ASSERT_TRUE(ParseDateTime("2009-03-04 00:00:00", nextDay));
    struct Case {
        ListedFile listed;
        ResultFilters filters;
        std::optional<std::string> size, date;
    };
    const Case cases[] = {
        {huge, {}, "5368709127", "2009-03-03 22:07:09"},  // eight hours east of UTC
        {small, {}, "10245", "1601-01-01 08:00:00"},      // the listing's time, shifted like any
        {huge, {true, "5242879"}, "5368709127", "2009-03-03 22:07:09"},
        {huge, {true, "5242881"}, std::nullopt, std::nullopt},
        {small, {true, "10"}, std::nullopt, std::nullopt},
        {huge, {false, "", true, evening, nextDay}, "5368709127", "2009-03-03 22:07:09"},
        {huge, {false, "", true, evening + 1e-6, nextDay}, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto row =
            BuildListedRow(fs, rules, "C:\\R\\\xB1\xED\\x.final.txt", c.listed, c.filters);
        ASSERT_EQ(row.has_value(), c.size.has_value()) << c.listed.size;
        if (!row) continue;
        EXPECT_EQ(row->name, "x.final.txt");
        EXPECT_EQ(row->size, *c.size);
        EXPECT_EQ(row->type, ".txt");
        EXPECT_EQ(row->date, *c.date);
        EXPECT_EQ(row->folder, "C:\\R\\\xB1\xED\\");
    }
}

}  // namespace
}  // namespace querna
