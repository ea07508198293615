// querna-find.exe: one search with the window's inputs given as options,
// printing what the window would list.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace querna::cli {

// Runs the command with the arguments after the program name, printing the
// results to `out` (written to its handle through a buffer of its own) and
// messages to `err`. Returns the exit status: 0 when the search completed, 1
// when an error ended it or the results could not be written, 2 for bad
// usage, 130 when Ctrl+C stopped it (after printing what was found).
int RunFindCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace querna::cli
