// querna-find.exe: the console companion of the window.
#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <cstdio>

#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleOutput.h"
#include "cli/FindCommand.h"

int main(int argc, char** argv) {
    // The output is bytes (GBK, CR LF): no text-mode translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A drive without a medium lists nothing; no system box waits for a disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // COM is not entered here: only a search that meets an Office document
    // needs it, and it enters COM then.
    querna::cli::InstallInterruptHandler();
    std::vector<std::string> args(argv + 1, argv + argc);
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
