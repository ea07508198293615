// Runs a program of the build tree as a child process and collects its exit
// status and the bytes it wrote to stdout and stderr.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace querna::testing {

struct ProgramResult {
    unsigned long status = 0;
    std::string out;
    std::string err;
};

// What a test may change about the child's run.
struct ProgramOptions {
    // An inheritable handle the child writes its standard output to, instead
    // of the pipe; `out` then stays empty.
    void* standardOutput = nullptr;
    // Once the child's standard output holds this text, Ctrl+C is delivered
    // to the child as the system delivers it: a thread of the child runs the
    // system's control routine, which calls the child's handlers.
    std::string interruptOnceOutputHolds;
    // The same, once the child's standard error holds this text.
    std::string interruptOnceErrorHolds;
    // Once the child's standard output holds `actOnceOutputHolds`, `act` runs
    // in the test's own process while the child goes on: a test changes the
    // tree under a running search this way.
    std::string actOnceOutputHolds;
    std::function<void()> act;
};

// `program` is a file name in the build tree (QUERNA_BIN_DIR); arguments are
// quoted as needed.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramOptions& options = {});
// The same with UTF-16 arguments, which may hold what the code page cannot.
ProgramResult RunProgramWide(const std::string& program, const std::vector<std::wstring>& args);

}  // namespace querna::testing
