// querna-find.exe: the console companion of the window.
#include <fcntl.h>
#include <io.h>

#include <windows.h>

#include <cstdio>

#include "cli/FindCommand.h"
#include "platform/win32/Handles.h"

int main(int argc, char** argv) {
    // The output is bytes (GBK, CR LF): no text-mode translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A drive without a medium lists nothing; no system box waits for a disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    querna::win32::ComApartment apartment;
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = querna::cli::RunFindCommand(args, stdout, stderr);
    std::fflush(stdout);
    return status;
}
