// querna-find.exe: the console companion of the window.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleOutput.h"
#include "cli/FindCommand.h"
#include "win32/CodePage.h"

namespace {

// The arguments in the system code page. The C runtime would turn a
// character the code page cannot hold into '?', which a listing takes for a
// wildcard: such an argument is refused instead.
bool ArgumentsInCodePage(int argc, wchar_t** argv, std::vector<std::string>& args) {
    for (int i = 1; i < argc; ++i) {
        std::optional<std::string> arg = querna::win32::ToCodePage(argv[i]);
        if (!arg) {
            const std::string option = i > 1 && args.back().starts_with("--")
                                           ? args.back()
                                           : "argument " + std::to_string(i);
            const std::string message = "querna-find: " + option +
                                        ": the text holds characters the system code page "
                                        "cannot represent\r\n";
            std::fwrite(message.data(), 1, message.size(), stderr);
            return false;
        }
        args.push_back(std::move(*arg));
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The output is bytes (GBK, CR LF): no text-mode translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A drive without a medium lists nothing; no system box waits for a disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // COM is not entered here: only a search that meets an Office document
    // needs it, and it enters COM then.
    querna::cli::InstallInterruptHandler();
    std::vector<std::string> args;
    if (!ArgumentsInCodePage(argc, argv, args)) return 2;
    int status = querna::cli::RunFindCommand(args, stdout, stderr);
    // The usage text goes through the C runtime, which reports a failed
    // write only through the stream's error flag.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string message = querna::cli::WriteFailureText(GetLastError()) + "\r\n";
        std::fwrite(message.data(), 1, message.size(), stderr);
        status = 1;
    }
    return status;
}
