// Turns a list of found paths into the rows of the results table: name, size,
// type, creation date and folder, with the optional size and date filters.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/TextRules.h"
#include "results/FileProperties.h"
#include "search/ResultPathList.h"
#include "search/SearchWindow.h"

namespace querna {

struct ResultRow {
    std::string name;    // after the last backslash or colon
    std::string size;    // bytes, decimal, no grouping
    std::string type;    // from the last dot of the name on; empty if none
    std::string date;    // creation time, "YYYY-MM-DD HH:MM:SS"
    std::string folder;  // up to and including the last backslash or colon
};

struct ResultFilters {
    bool sizeOn = false;
    std::string sizeThreshold;  // the threshold box's text, in KB
    bool dateOn = false;
    DateTime from = 0;
    DateTime to = 0;
};

// The table that rows are added to, and the filter inputs beside it. The
// filters are read afresh for every path, so a change made while the table
// fills applies to the paths that follow.
class ResultTableView {
  public:
    virtual ~ResultTableView() = default;
    virtual void ClearRows() = 0;
    virtual void AddRow(const ResultRow& row) = 0;
    virtual ResultFilters ReadFilters() = 0;
};

// The threshold box's text as a whole number: leading blanks, an optional sign
// and the digits up to the first other character count ("12a" is 12, "abc" is
// 0). Text whose number lies outside the 32-bit range gives 0 (no filter).
int32_t ReadSizeThreshold(const std::string& text);

// Whether a file of `size` bytes passes a size threshold of `thresholdKb`: its
// size in KB, rounded to two decimals as "%8.2f" shows it, must exceed it.
bool PassesSizeFilter(uint64_t size, int32_t thresholdKb);

// The row of one path, or nothing when a filter drops it or the file has gone
// since the search (its entry can no longer be read).
std::optional<ResultRow> BuildResultRow(FileSystem& fs, TextRules& rules, const std::string& path,
                                        const ResultFilters& filters);

// The row of one path from what the walker's listing returned of it: no
// look-up and no open, so a file that cannot be opened shows its real
// creation time. Nothing when a filter drops it.
std::optional<ResultRow> BuildListedRow(FileSystem& fs, TextRules& rules, const std::string& path,
                                        const ListedFile& listed, const ResultFilters& filters);

// Adds the rows of `paths` to `view` (emptying it first when `empty` is set),
// processing the window's messages and pausing `pauseMs` after every row added; dropped
// paths cost no pause. Runs to the end of the list whatever the stop flag says.
void FillResultTable(FileSystem& fs, TextRules& rules, SearchWindow& window, ResultTableView& view,
                     const ResultPathList& paths, bool empty, int pauseMs);

}  // namespace querna
