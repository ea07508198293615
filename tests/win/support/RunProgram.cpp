#include "support/RunProgram.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

namespace querna::testing {

namespace {

template <typename String>
String Quote(const String& arg) {
    using Char = typename String::value_type;
    const Char special[] = {' ', '\t', '"', 0};
    if (!arg.empty() && arg.find_first_of(special) == String::npos) return arg;
    String quoted(1, '"');
    size_t backslashes = 0;
    for (Char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + Char('"');
}

std::wstring Widen(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string ProgramPath(const std::string& program) {
    const char* binDir = std::getenv("QUERNA_BIN_DIR");
    return std::string(binDir ? binDir : ".") + "\\" + program;
}

ProgramResult RunCommandLine(const std::wstring& commandLine, const ProgramOptions& options);

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
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
    if (routine == nullptr) throw std::runtime_error("no CtrlRoutine in kernelbase");
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, routine,
                                       reinterpret_cast<void*>(CTRL_C_EVENT), 0, nullptr);
    if (thread == nullptr) throw std::runtime_error("cannot deliver Ctrl+C");
    CloseHandle(thread);
}

}  // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProgramOptions& options) {
    std::string commandLine = Quote(ProgramPath(program));
    for (const std::string& arg : args) commandLine.append(1, ' ').append(Quote(arg));
    return RunCommandLine(Widen(commandLine), options);
}

ProgramResult RunProgramWide(const std::string& program, const std::vector<std::wstring>& args) {
    std::wstring commandLine = Quote(Widen(ProgramPath(program)));
    for (const std::wstring& arg : args) commandLine += L" " + Quote(arg);
    return RunCommandLine(commandLine, {});
}

namespace {

ProgramResult RunCommandLine(const std::wstring& commandLine, const ProgramOptions& options) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = options.standardOutput ? options.standardOutput : outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    const BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        throw std::runtime_error("cannot start a test program");
    }
    // The pipes are read while the child runs, and until its end, rather than
    // until they close: a Wine service started by the child may inherit the
    // write ends and hold them open for as long as it lives.
    ProgramResult result;
    bool interrupted =
        options.interruptOnceOutputHolds.empty() && options.interruptOnceErrorHolds.empty();
    bool acted = !options.act;
    const auto holds = [](const std::string& stream, const std::string& text) {
        return !text.empty() && stream.find(text) != std::string::npos;
    };
    for (;;) {
        const DWORD wait = WaitForSingleObject(process.hProcess, 5);
        ReadAvailable(outRead, result.out);
        ReadAvailable(errRead, result.err);
        if (wait != WAIT_TIMEOUT) break;
        if (!acted && result.out.find(options.actOnceOutputHolds) != std::string::npos) {
            options.act();
            acted = true;
        }
        if (!interrupted && (holds(result.out, options.interruptOnceOutputHolds) ||
                             holds(result.err, options.interruptOnceErrorHolds))) {
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

}  // namespace

}  // namespace querna::testing
