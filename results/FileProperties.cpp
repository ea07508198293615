#include "results/FileProperties.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

namespace querna {

namespace {

constexpr uint64_t kTicksPerMs = 10'000;
constexpr uint64_t kMsPerDay = 86'400'000;
// Days from 0001-01-01 (proleptic Gregorian) to 1601-01-01 and to 1899-12-30.
constexpr int64_t kDaysTo1601 = 584'388;
constexpr int64_t kDaysTo1899 = 693'593;

bool IsLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// Days since 0001-01-01 of a calendar date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    const int64_t py = y - 1;
    int64_t days = py * 365 + py / 4 - py / 100 + py / 400;
    for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
    return days + d - 1;
}

void CivilFromDays(int64_t days, SystemTime& t) {
    // 400-year cycles of 146097 days, then centuries, 4-year cycles, years.
    int64_t n400 = days / 146'097, rest = days % 146'097;
    int64_t n100 = rest / 36'524;
    if (n100 == 4) n100 = 3;
    rest -= n100 * 36'524;
    const int64_t n4 = rest / 1'461;
    rest -= n4 * 1'461;
    int64_t n1 = rest / 365;
    if (n1 == 4) n1 = 3;
    rest -= n1 * 365;
    const int64_t year = n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1;
    int month = 1;
    while (rest >= DaysInMonth(year, month)) rest -= DaysInMonth(year, month++);
    t.year = static_cast<uint16_t>(year);
    t.month = static_cast<uint16_t>(month);
    t.day = static_cast<uint16_t>(rest + 1);
    t.dayOfWeek = static_cast<uint16_t>((days + 1) % 7);  // 0001-01-01 was a Monday
}

}  // namespace

bool FileTimeToSystemTime(FileTime fileTime, SystemTime& parts) {
    if (fileTime >= (uint64_t{1} << 63)) return false;
    const uint64_t ms = fileTime / kTicksPerMs;
    const uint64_t msOfDay = ms % kMsPerDay;
    CivilFromDays(kDaysTo1601 + static_cast<int64_t>(ms / kMsPerDay), parts);
    parts.hour = static_cast<uint16_t>(msOfDay / 3'600'000);
    parts.minute = static_cast<uint16_t>(msOfDay / 60'000 % 60);
    parts.second = static_cast<uint16_t>(msOfDay / 1'000 % 60);
    parts.milliseconds = static_cast<uint16_t>(msOfDay % 1'000);
    return true;
}

SystemTime FileTimeToLocalParts(FileSystem& fs, FileTime fileTime) {
    SystemTime parts;
    FileTimeToSystemTime(fs.FileTimeToLocal(fileTime), parts);
    return parts;
}

bool ReadFileProperties(FileSystem& fs, const std::string& path, TFileProperty& record) {
    EntryFacts facts;
    if (!fs.FindEntry(path, facts)) return false;
    record.Path = path;
    record.Size = static_cast<int32_t>(static_cast<uint32_t>(facts.size));
    record.Size64 = facts.size;
    record.Attributes = facts.attributes;
    record.ShortName = facts.shortName.substr(0, 14);
    record.CreationTime = FileTimeToLocalParts(fs, facts.creationTime);
    record.LastWriteTime = FileTimeToLocalParts(fs, facts.lastWriteTime);
    record.LastAccessTime = FileTimeToLocalParts(fs, facts.lastAccessTime);
    return true;
}

DateTime ReadCreationTime(FileSystem& fs, const std::string& path) {
    FileTime creation = 0;
    // A file that cannot be opened keeps the zero file time, not shifted to
    // local time: 1601-01-01 00:00:00.
    if (fs.ReadCreationTime(path, creation)) creation = fs.FileTimeToLocal(creation);
    SystemTime parts;
    if (!FileTimeToSystemTime(creation, parts)) return 0.0;
    return SystemTimeToDateTime(parts);
}

// Before 1899-12-30 the day count is negative while the time of day still
// counts forward, so the fraction is subtracted (the OLE date convention).
DateTime SystemTimeToDateTime(const SystemTime& t) {
    const double days = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) - kDaysTo1899);
    const double time =
        (t.hour * 3'600'000.0 + t.minute * 60'000.0 + t.second * 1'000.0 + t.milliseconds) /
        static_cast<double>(kMsPerDay);
    return days >= 0 ? days + time : days - time;
}

bool DateTimeEarlier(DateTime a, DateTime b) {
    // Days plus the time of day, on one line: -1.75 becomes -1 + 0.75.
    const auto timeline = [](DateTime v) {
        const double days = std::trunc(v);
        return v >= 0 ? v : days + (days - v);
    };
    return timeline(a) < timeline(b);
}

SystemTime DateTimeToSystemTime(DateTime value) {
    // Round to the millisecond first so that 0.999... does not show as 59.999 s.
    const double days = std::trunc(value);
    const int64_t msOfDay = std::llround(std::fabs(value - days) * kMsPerDay);
    int64_t dayCount = static_cast<int64_t>(days);
    int64_t ms = msOfDay;
    // The time of day counts forward from midnight on either side of
    // 1899-12-30, so a rounding carry always moves to the next day.
    if (ms >= static_cast<int64_t>(kMsPerDay)) {
        ms -= kMsPerDay;
        dayCount += 1;
    }
    SystemTime t;
    CivilFromDays(dayCount + kDaysTo1899, t);
    t.hour = static_cast<uint16_t>(ms / 3'600'000);
    t.minute = static_cast<uint16_t>(ms / 60'000 % 60);
    t.second = static_cast<uint16_t>(ms / 1'000 % 60);
    t.milliseconds = static_cast<uint16_t>(ms % 1'000);
    return t;
}

std::string FormatDateTime(DateTime value) {
    const SystemTime t = DateTimeToSystemTime(value);
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

bool ParseDateTime(const std::string& text, DateTime& value, DateBound bound) {
    // Exactly "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS": every field all digits.
    static constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != 10 && text.size() != kShape.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return false;
    }
    const auto field = [&](size_t at, size_t width) {
        return static_cast<unsigned>(std::stoul(text.substr(at, width)));
    };
    const unsigned y = field(0, 4), mo = field(5, 2), d = field(8, 2);
    const bool end = bound == DateBound::End;
    const unsigned h = text.size() > 10 ? field(11, 2) : end ? 23 : 0;
    const unsigned mi = text.size() > 10 ? field(14, 2) : end ? 59 : 0;
    const unsigned s = text.size() > 10 ? field(17, 2) : end ? 59 : 0;
    if (y < 1 || mo < 1 || mo > 12 || d < 1 ||
        d > static_cast<unsigned>(DaysInMonth(y, static_cast<int>(mo))) || h > 23 || mi > 59 ||
        s > 59) {
        return false;
    }
    SystemTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    t.milliseconds = end ? 999 : 0;
    value = SystemTimeToDateTime(t);
    return true;
}

}  // namespace querna
