#include "results/ResultTable.h"

#include <cstdio>
#include <cstdlib>

#include "search/PathText.h"

namespace querna {

int32_t ReadSizeThreshold(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return 0;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return 0;
    return static_cast<int32_t>(value);
}

bool PassesSizeFilter(uint64_t size, int32_t thresholdKb) {
    if (thresholdKb <= 0) return true;
    char kbText[64];
    std::snprintf(kbText, sizeof kbText, "%8.2f", static_cast<double>(size) / 1024.0);
    return std::strtod(kbText, nullptr) > thresholdKb;
}

namespace {

// The row of a file of `size` bytes created at `date`, unless a filter drops it.
std::optional<ResultRow> FilteredRow(TextRules& rules, const std::string& path, uint64_t size,
                                     DateTime date, const ResultFilters& filters) {
    if (filters.sizeOn && !PassesSizeFilter(size, ReadSizeThreshold(filters.sizeThreshold))) {
        return std::nullopt;
    }
    if (filters.dateOn &&
        (DateTimeEarlier(date, filters.from) || DateTimeEarlier(filters.to, date))) {
        return std::nullopt;
    }

    const PathParts parts = SplitPath(path, rules);
    ResultRow row;
    row.name = parts.name;
    row.size = std::to_string(size);
    row.type = parts.extension;
    row.date = FormatDateTime(date);
    row.folder = parts.folder;
    return row;
}

}  // namespace

std::optional<ResultRow> BuildResultRow(FileSystem& fs, TextRules& rules, const std::string& path,
                                        const ResultFilters& filters) {
    TFileProperty record;
    if (!ReadFileProperties(fs, path, record)) return std::nullopt;
    return FilteredRow(rules, path, record.Size64, ReadCreationTime(fs, path), filters);
}

std::optional<ResultRow> BuildListedRow(FileSystem& fs, TextRules& rules, const std::string& path,
                                        const ListedFile& listed, const ResultFilters& filters) {
    SystemTime parts;
    const DateTime date = FileTimeToSystemTime(fs.FileTimeToLocal(listed.creationTime), parts)
                              ? SystemTimeToDateTime(parts)
                              : 0.0;
    return FilteredRow(rules, path, listed.size, date, filters);
}

void FillResultTable(FileSystem& fs, TextRules& rules, SearchWindow& window, ResultTableView& view,
                     const ResultPathList& paths, bool empty, int pauseMs) {
    if (empty) view.ClearRows();
    const size_t count = paths.Count();
    for (size_t i = 0; i < count; ++i) {
        std::optional<ResultRow> row = BuildResultRow(fs, rules, paths[i], view.ReadFilters());
        if (!row) continue;
        view.AddRow(*row);
        window.ProcessMessages();
        window.Pause(pauseMs);
    }
}

}  // namespace querna
