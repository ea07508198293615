// The options of querna-find.exe: the window's inputs as command-line options.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "results/FileProperties.h"

namespace querna::cli {

enum class OutputFormat { Paths, Table };

// How text files are read: as the code page, byte for byte (the window's
// rule), or each in the encoding its first bytes show.
enum class TextEncodingOption { Gbk, Auto };

struct FindOptions {
    // A folder, or documents|desktop|templates|cache|ALL; given blank, it is
    // the window's blank location box.
    std::optional<std::string> in;
    std::string name;   // all or part of a file name
    int typeIndex = 4;  // word excel powerpoint text all (the type box's items), wps office
    bool includeSystem = true;
    bool includeHidden = true;
    bool includeSubfolders = true;
    std::string skip;  // the sub-folder name to skip
    int pauseMs = 0;
    OutputFormat format = OutputFormat::Paths;
    TextEncodingOption encoding = TextEncodingOption::Gbk;
    std::optional<std::string> phrase;  // a content search when given
    std::optional<std::string> minKb;   // the size filter's threshold text
    std::optional<DateTime> from, to;   // the date filter's bounds
    // `--hits [N]`: print up to N hits under each matching file (0: all).
    std::optional<size_t> hits;
    bool help = false;
};

// Parses the arguments after the program name. Returns false with a message
// in `error` for an unknown option, a missing or bad value, no --in, or a
// --to earlier than the --from.
bool ParseFindOptions(const std::vector<std::string>& args, FindOptions& options,
                      std::string& error);

// The usage text printed by --help and after a bad option.
const char* FindUsage();

}  // namespace querna::cli
