#include <gtest/gtest.h>

#include "results/FileProperties.h"
#include "results/ResultTable.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/GbkTextRules.h"

namespace querna {
namespace {

constexpr FileTime kTicksPerSecond = 10'000'000;
// 2009-03-03 14:07:09 UTC as a file time.
constexpr FileTime k20090303 = 128'805'628'290'000'000;

TEST(FileTimes, SplitIntoCalendarPartsAndDateTimes) {
    struct Case {
        FileTime fileTime;
        SystemTime parts;
        DateTime value;
    };
    const Case cases[] = {
        {0, {1601, 1, 1, 1, 0, 0, 0, 0}, -109205.0},
        {k20090303, {2009, 3, 2, 3, 14, 7, 9, 0}, 39875.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0},
        {k20090303 + 5'620'000,
         {2009, 3, 2, 3, 14, 7, 9, 562},
         39875.0 + (14 * 3600 + 7 * 60 + 9.562) / 86400.0},
        // 1899-12-30 is day 0; 2000-02-29 is a leap day
        {94'353'120'000'000'000, {1899, 12, 6, 30, 0, 0, 0, 0}, 0.0},
        {125'962'560'000'000'000, {2000, 2, 2, 29, 0, 0, 0, 0}, 36585.0},
    };
    for (const Case& c : cases) {
        SystemTime parts;
        ASSERT_TRUE(FileTimeToSystemTime(c.fileTime, parts));
        EXPECT_EQ(parts, c.parts) << c.fileTime;
        EXPECT_NEAR(SystemTimeToDateTime(parts), c.value, 1e-9) << c.fileTime;
        EXPECT_EQ(DateTimeToSystemTime(c.value), c.parts) << c.value;
    }
    SystemTime parts;
    EXPECT_FALSE(FileTimeToSystemTime(FileTime{1} << 63, parts));
}

TEST(FileTimes, FormatAndParseTheTableDateText) {
    EXPECT_EQ(FormatDateTime(-109205.0), "1601-01-01 00:00:00");
    DateTime value = 0;
    ASSERT_TRUE(ParseDateTime("2009-03-03 14:07:09", value));
    EXPECT_EQ(FormatDateTime(value), "2009-03-03 14:07:09");
    // 23:59:59.9996 must not be shown as the next day or as 60 seconds
    EXPECT_EQ(FormatDateTime(value + 0.4 / 86'400'000.0), "2009-03-03 14:07:09");
    // Before 1899-12-30 the time of day still counts forward: rounding up
    // to midnight moves to the next day.
    EXPECT_EQ(FormatDateTime(-1.9999999999), "1899-12-30 00:00:00");
    EXPECT_EQ(FormatDateTime(-1.25), "1899-12-29 06:00:00");
    for (const char* bad : {"2009-02-29 00:00:00", "2009-13-01", "2009-03-03 24:00:00",
                            "2009-03-03 14:07", "yesterday", "", "2010-04-2922:13:48", " 2010-4-9",
                            "2010-04-29 22:13:48 ", "2010/04/29"}) {
        EXPECT_FALSE(ParseDateTime(bad, value)) << bad;
    }
}

class ResultRowsTest : public ::testing::Test {
  protected:
    std::optional<ResultRow> Row(const std::string& path, const ResultFilters& filters = {}) {
        return BuildResultRow(fs, rules, path, filters);
    }
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
};

TEST_F(ResultRowsTest, RowTextsSplitThePathAndShowSizeAndCreationDate) {
    fs.SetLocalOffset(8 * 3600 * kTicksPerSecond);
    fs.AddFile("D:\\docs\\report.final.doc", std::string(1234, 'x'), faArchive, k20090303);
    const auto row = Row("D:\\docs\\report.final.doc");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->name, "report.final.doc");
    EXPECT_EQ(row->size, "1234");
    EXPECT_EQ(row->type, ".doc");
    EXPECT_EQ(row->date, "2009-03-03 22:07:09");
    EXPECT_EQ(row->folder, "D:\\docs\\");
}

TEST_F(ResultRowsTest, FileThatCannotBeOpenedShowsTheFallbackDateButKeepsItsSize) {
    fs.AddFile("D:\\held.txt", "12345", faArchive, k20090303);
    fs.LockFile("D:\\held.txt");
    const auto row = Row("D:\\held.txt");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->date, "1601-01-01 00:00:00");
    EXPECT_EQ(row->size, "5");
}

TEST_F(ResultRowsTest, FileGoneSinceTheSearchIsNotListed) {
    EXPECT_FALSE(Row("D:\\gone.txt"));
}

TEST(SizeFilter, KeepsFilesWhoseRoundedSizeInKbExceedsTheThreshold) {
    struct Case {
        uint64_t size;
        int32_t threshold;
        bool kept;
    };
    const Case cases[] = {
        {10240, 10, false},
        {10245, 10, false},
        {10246, 10, true},
        {0, 0, true},
        {5, -3, true},
        {uint64_t{5} << 30, 5 * 1024 * 1024, false},
        {(uint64_t{5} << 30) + 6, 5 * 1024 * 1024, true},  // 5 GiB: the full size counts
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PassesSizeFilter(c.size, c.threshold), c.kept) << c.size << " / " << c.threshold;
    }
}

TEST(SizeFilter, ThresholdTextIsReadAsAWholeNumber) {
    const std::pair<const char*, int32_t> cases[] = {
        {"10", 10}, {"  12", 12}, {"12a", 12},        {"abc", 0},
        {"", 0},    {"-5", -5},   {"99999999999", 0}, {"2147483647", 2147483647}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ReadSizeThreshold(text), value) << text;
}

class RecordingTable final : public ResultTableView {
  public:
    void ClearRows() override { rows.clear(); }
    void AddRow(const ResultRow& row) override { rows.push_back(row.name); }
    ResultFilters ReadFilters() override {
        ++filterReads;
        return filters;
    }
    std::vector<std::string> rows{"", ""};
    ResultFilters filters;
    int filterReads = 0;
};

TEST(FillResultTable, EmptiesOrAppendsAndPausesOnlyForAddedRows) {
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    fs.AddFile("C:\\a.txt", std::string(2048, 'a'));
    fs.AddFile("C:\\b.txt", "b");
    ResultPathList paths(rules);
    paths.Append("C:\\a.txt");
    paths.Append("C:\\b.txt");
    paths.Append("C:\\gone.txt");
    RecordingTable table;
    table.filters.sizeOn = true;
    table.filters.sizeThreshold = "1";

    FillResultTable(fs, rules, window, table, paths, true, 50);
    EXPECT_EQ(table.rows, std::vector<std::string>{"a.txt"});
    EXPECT_EQ(window.pauses, std::vector<int>{50});
    EXPECT_EQ(table.filterReads, 3);  // read afresh for every path

    table.filters.sizeOn = false;
    FillResultTable(fs, rules, window, table, paths, false, 50);
    EXPECT_EQ(table.rows, (std::vector<std::string>{"a.txt", "a.txt", "b.txt"}));

    ResultPathList none(rules);
    FillResultTable(fs, rules, window, table, none, false, 50);
    EXPECT_EQ(table.rows.size(), 3u);
    FillResultTable(fs, rules, window, table, none, true, 50);
    EXPECT_TRUE(table.rows.empty());
}

TEST(FillResultTable, DateFilterComparesFullDateTimesBothBoundsIncluded) {
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    fs.AddFile("C:\\early.txt", "", faArchive, k20090303 - kTicksPerSecond);
    fs.AddFile("C:\\at-from.txt", "", faArchive, k20090303);
    fs.AddFile("C:\\at-to.txt", "", faArchive, k20090303 + 60 * kTicksPerSecond);
    fs.AddFile("C:\\late.txt", "", faArchive, k20090303 + 61 * kTicksPerSecond);
    ResultPathList paths(rules);
    for (const char* p : {"C:\\early.txt", "C:\\at-from.txt", "C:\\at-to.txt", "C:\\late.txt"}) {
        paths.Append(p);
    }
    RecordingTable table;
    table.filters.dateOn = true;
    ParseDateTime("2009-03-03 14:07:09", table.filters.from);
    ParseDateTime("2009-03-03 14:08:09", table.filters.to);
    FillResultTable(fs, rules, window, table, paths, true, 0);
    EXPECT_EQ(table.rows, (std::vector<std::string>{"at-from.txt", "at-to.txt"}));

    std::swap(table.filters.from, table.filters.to);  // from later than to: nothing
    FillResultTable(fs, rules, window, table, paths, true, 0);
    EXPECT_TRUE(table.rows.empty());
}

}  // namespace
}  // namespace querna
