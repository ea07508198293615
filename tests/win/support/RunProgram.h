// Runs a program of the build tree as a child process and collects its exit
// status and the bytes it wrote to stdout and stderr.
#pragma once

#include <string>
#include <vector>

namespace querna::testing {

struct ProgramResult {
    unsigned long status = 0;
    std::string out;
    std::string err;
};

// `program` is a file name in the build tree (QUERNA_BIN_DIR); arguments are
// quoted as needed.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// The same with UTF-16 arguments, which may hold what the code page cannot.
ProgramResult RunProgramWide(const std::string& program, const std::vector<std::wstring>& args);

}  // namespace querna::testing
