// querna-find.exe: the console companion of the window.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "cli/FindCommand.h"
#include "platform/win32/Handles.h"

int main(int argc, char** argv) {
    // The output is bytes (GBK, CR LF): no text-mode translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    querna::win32::ComApartment apartment;
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = querna::cli::RunFindCommand(args, stdout, stderr);
    std::fflush(stdout);
    return status;
}
