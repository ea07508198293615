#include "support/RunProgram.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

namespace querna::testing {

namespace {

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

// Reads what the pipe holds now, without waiting for more.
void ReadAvailable(HANDLE pipe, std::string& into) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        const DWORD want = available < sizeof buffer ? available : sizeof buffer;
        if (!ReadFile(pipe, buffer, want, &read, nullptr) || read == 0) return;
        into.append(buffer, read);
    }
}

// Ctrl+C as the system sends it: a new thread of the process runs the
// control routine of kernelbase, which is mapped at the same address in every
// process, with the event as its argument.
void DeliverCtrlC(HANDLE process) {
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
    if (routine == nullptr) throw std::runtime_error("no CtrlRoutine in kernelbase");
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine,
                                       reinterpret_cast<void*>(CTRL_C_EVENT), 0, nullptr);
    if (thread == nullptr) throw std::runtime_error("cannot deliver Ctrl+C");
    CloseHandle(thread);
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramOptions& options) {
    const char* binDir = std::getenv("QUERNA_BIN_DIR");
    const std::string path = std::string(binDir ? binDir : ".") + "\\" + program;
    std::string commandLine = Quote(path);
    for (const std::string& arg : args) commandLine += " " + Quote(arg);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = options.standardOutput ? options.standardOutput : outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    const BOOL started = CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("cannot start " + path);
    }
    // The pipes are read while the child runs, and until its end, rather than
    // until they close: a Wine service started by the child may inherit the
    // write ends and hold them open for as long as it lives.
    ProgramResult result;
    bool interrupted = options.interruptOnceOutputHolds.empty();
    for (;;) {
        const DWORD wait = WaitForSingleObject(process.hProcess, 5);
        ReadAvailable(outRead, result.out);
        ReadAvailable(errRead, result.err);
        if (wait != WAIT_TIMEOUT) break;
        if (!interrupted && result.out.find(options.interruptOnceOutputHolds) != std::string::npos) {
            DeliverCtrlC(process.hProcess);
            interrupted = true;
        }
    }
    GetExitCodeProcess(process.hProcess, &result.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

}  // namespace querna::testing
