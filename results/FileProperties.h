// One file's facts for the results table: its directory entry (size,
// attributes, short name, local times) and its creation time as a date-time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"

namespace querna {

// The Windows SYSTEMTIME layout.
struct SystemTime {
    uint16_t year = 0;
    uint16_t month = 0;
    uint16_t dayOfWeek = 0;  // 0 = Sunday
    uint16_t day = 0;
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;
    friend bool operator==(const SystemTime&, const SystemTime&) = default;
};

// Date-time values: OLE Automation dates (days since 1899-12-30, the time of
// day as the fraction).
using DateTime = double;

// The creation time of a file that cannot be opened: 1601-01-01 00:00:00.
constexpr DateTime kFallbackCreationTime = -109205.0;

struct TFileProperty {
    std::string Path;
    int32_t Size = 0;     // the low 32 bits of the size, as the entry's first field
    uint64_t Size64 = 0;  // the full size, for files of 2 GiB and more
    uint32_t Attributes = 0;
    std::string ShortName;  // at most 14 characters
    SystemTime CreationTime;
    SystemTime LastWriteTime;
    SystemTime LastAccessTime;
};

// Splits a file time into calendar parts; false for values of 2^63 and above.
bool FileTimeToSystemTime(FileTime fileTime, SystemTime& parts);

// One file time as local calendar time (the offset in force now).
SystemTime FileTimeToLocalParts(FileSystem& fs, FileTime fileTime);

// Fills `record` from the directory entry of `path`; returns false and leaves
// the record untouched when there is no such entry.
bool ReadFileProperties(FileSystem& fs, const std::string& path, TFileProperty& record);

// The creation time of `path` in local time, milliseconds included;
// kFallbackCreationTime when the file cannot be opened.
DateTime ReadCreationTime(FileSystem& fs, const std::string& path);

DateTime SystemTimeToDateTime(const SystemTime& parts);

// Whether `a` is an earlier moment than `b`. Before 1899-12-30 the day count
// is negative while the time of day still counts forward, so such values do
// not order as numbers: -1.75 (1899-12-29 18:00) is later than -1.25 (06:00).
bool DateTimeEarlier(DateTime a, DateTime b);
SystemTime DateTimeToSystemTime(DateTime value);

// "YYYY-MM-DD HH:MM:SS" (no milliseconds).
std::string FormatDateTime(DateTime value);
// Which moment of the span a date-and-time text names: its first, or its last
// (the end of the second given, or of the day when only a date is given), so
// that an upper bound includes every file the table shows at that time.
enum class DateBound { Start, End };

// Reads "YYYY-MM-DD HH:MM:SS" (or "YYYY-MM-DD"); false when it is not a valid
// date and time.
bool ParseDateTime(const std::string& text, DateTime& value, DateBound bound = DateBound::Start);

}  // namespace querna
