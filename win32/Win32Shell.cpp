#include "win32/Win32Shell.h"

#include <shellapi.h>

namespace querna::win32 {

void Win32Shell::Open(const std::string& path) {
    // The result is deliberately ignored: the shell reports its own failures.
    ShellExecuteA(owner_, "open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace querna::win32
