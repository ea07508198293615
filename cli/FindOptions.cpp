#include "cli/FindOptions.h"

#include <charconv>
#include <climits>
#include <functional>
#include <map>

#include "matchers/PhraseHits.h"

namespace querna::cli {

namespace {

bool ParseInt(const std::string& text, int minimum, int& value, int maximum = INT_MAX) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= minimum && value <= maximum;
}

// Ten seconds after every entry is already more than any pacing needs.
constexpr int kMaxPauseMs = 10000;

// `--hits` takes its number only when one follows: `--hits --type text`
// asks for the default.
bool IsNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

int TypeIndexFor(const std::string& type) {
    static const std::map<std::string, int> kTypes = {{"word", 0},  {"excel", 1}, {"powerpoint", 2},
                                                      {"text", 3},  {"all", 4},   {"wps", 5},
                                                      {"office", 6}};
    auto it = kTypes.find(type);
    return it == kTypes.end() ? -1 : it->second;
}

using ValueSetter = std::function<bool(FindOptions&, const std::string&)>;
using FlagSetter = std::function<void(FindOptions&)>;

const std::map<std::string, ValueSetter>& ValueOptions() {
    static const std::map<std::string, ValueSetter> kOptions = {
        {"--in",
         [](FindOptions& o, const std::string& v) {
             o.in = v;
             return true;
         }},
        {"--name",
         [](FindOptions& o, const std::string& v) {
             o.name = v;
             return true;
         }},
        {"--skip",
         [](FindOptions& o, const std::string& v) {
             o.skip = v;
             return true;
         }},
        {"--phrase",
         [](FindOptions& o, const std::string& v) {
             o.phrase = v;
             return true;
         }},
        {"--type",
         [](FindOptions& o, const std::string& v) {
             o.typeIndex = TypeIndexFor(v);
             return o.typeIndex >= 0;
         }},
        {"--pause-ms", [](FindOptions& o,
                          const std::string& v) { return ParseInt(v, 0, o.pauseMs, kMaxPauseMs); }},
        {"--format",
         [](FindOptions& o, const std::string& v) {
             if (v != "paths" && v != "table") return false;
             o.format = v == "paths" ? OutputFormat::Paths : OutputFormat::Table;
             return true;
         }},
        {"--encoding",
         [](FindOptions& o, const std::string& v) {
             if (v != "gbk" && v != "auto") return false;
             o.encoding = v == "gbk" ? TextEncodingOption::Gbk : TextEncodingOption::Auto;
             return true;
         }},
        {"--min-kb",
         [](FindOptions& o, const std::string& v) {
             int kb = 0;
             if (!ParseInt(v, 0, kb)) return false;
             o.minKb = v;
             return true;
         }},
        {"--from",
         [](FindOptions& o, const std::string& v) {
             DateTime t = 0;
             if (!ParseDateTime(v, t)) return false;
             o.from = t;
             return true;
         }},
        {"--to",
         [](FindOptions& o, const std::string& v) {
             DateTime t = 0;
             if (!ParseDateTime(v, t, DateBound::End)) return false;
             o.to = t;
             return true;
         }},
    };
    return kOptions;
}

const std::map<std::string, FlagSetter>& FlagOptions() {
    static const std::map<std::string, FlagSetter> kFlags = {
        {"--no-system", [](FindOptions& o) { o.includeSystem = false; }},
        {"--no-hidden", [](FindOptions& o) { o.includeHidden = false; }},
        {"--no-subfolders", [](FindOptions& o) { o.includeSubfolders = false; }},
        {"--help", [](FindOptions& o) { o.help = true; }},
    };
    return kFlags;
}

}  // namespace

bool ParseFindOptions(const std::vector<std::string>& args, FindOptions& options,
                      std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--hits") {
            int hits = static_cast<int>(kDefaultHitCount);
            if (i + 1 < args.size() && IsNumber(args[i + 1]) && !ParseInt(args[++i], 0, hits)) {
                error = "bad value for --hits: " + args[i];
                return false;
            }
            options.hits = static_cast<size_t>(hits);
            continue;
        }
        if (auto flag = FlagOptions().find(arg); flag != FlagOptions().end()) {
            flag->second(options);
            continue;
        }
        auto option = ValueOptions().find(arg);
        if (option == ValueOptions().end()) {
            error = "unknown option: " + arg;
            return false;
        }
        if (i + 1 >= args.size()) {
            error = "missing value for " + arg;
            return false;
        }
        if (!option->second(options, args[++i])) {
            error = "bad value for " + arg + ": " + args[i];
            return false;
        }
    }
    if (options.help) return true;
    if (!options.in) {
        error = "--in is required";
        return false;
    }
    // Such a range holds no time at all: the search would list nothing and
    // look as if it had found nothing.
    if (options.from && options.to && DateTimeEarlier(*options.to, *options.from)) {
        error = "--to 的时间早于 --from 的时间";
        return false;
    }
    return true;
}

const char* FindUsage() {
    return "usage: querna-find --in FOLDER|documents|desktop|templates|cache|ALL [options]\r\n"
           "  --name TEXT        all or part of a file name (wildcards * and ? allowed)\r\n"
           "  --phrase TEXT      a word or phrase the files must contain\r\n"
           "  --type word|excel|powerpoint|text|all|wps|office   file type class (default all);\r\n"
           "                     wps: .wps .wpt .et .ett .dps .dpt, read by their content;\r\n"
           "                     office: word, excel, powerpoint and wps together\r\n"
           "  --no-system        do not search system files and folders\r\n"
           "  --no-hidden        do not search hidden files and folders\r\n"
           "  --no-subfolders    search the folder itself only\r\n"
           "  --skip NAME        the name of a sub-folder to skip (case counts)\r\n"
           "  --min-kb N         list only files larger than N KB\r\n"
           "  --from \"YYYY-MM-DD HH:MM:SS\"  created at or after\r\n"
           "  --to \"YYYY-MM-DD HH:MM:SS\"    created at or before (that second, or that day\r\n"
           "                     when only the date is given, included); not before --from\r\n"
           "  --pause-ms N       pause N ms (0 to 10000) after every entry, candidate and row\r\n"
           "                     (default 0)\r\n"
           "  --format paths|table   full paths, or name size type date folder (default paths)\r\n"
           "  --encoding gbk|auto    text files byte for byte in GBK (default), or each in\r\n"
           "                     the encoding its first 64 KB show: UTF-8, UTF-16 LE/BE\r\n"
           "                     (byte-order mark or zero bytes), else GBK/GB18030\r\n"
           "  --hits [N]         under each file that holds the phrase, up to N (default 3,\r\n"
           "                     0 all) lines: a tab, where (行 12, 段落 5, Sheet1!B7,\r\n"
           "                     幻灯片 3), a tab, the text around it with the phrase in\r\n"
           "                     【】; past 2000 in one file the rest are counted in one\r\n"
           "                     line (……另有 N 处); Office and WPS documents are then\r\n"
           "                     read by the built-in readers even where Office is installed\r\n"
           "exit status: 0 search completed, 1 an error ended it, the location, a\r\n"
           "  sub-folder or a file could not be read or the output failed, 2 bad usage,\r\n"
           "  130 stopped by Ctrl+C\r\n";
}

}  // namespace querna::cli
