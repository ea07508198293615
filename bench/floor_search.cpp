// Floor probe for a text scan with the search: one file read in 1 MiB blocks
// and each block searched with the phrase search at the best level, the last
// bytes of a block kept for the next.  floor_search FILE PHRASE
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "matchers/PhraseScan.h"

int main(int argc, char** argv) {
    if (argc != 3 || argv[2][0] == '\0') return 2;
    const std::string phrase(argv[2]);
    const querna::PhraseScan scan(phrase);
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    constexpr DWORD kBlock = 1 << 20;
    const size_t keep = phrase.size() - 1;
    auto buffer = std::make_unique<unsigned char[]>(keep + kBlock);
    size_t carried = 0;
    DWORD read = 0;
    bool found = false;
    while (!found && ReadFile(file, buffer.get() + carried, kBlock, &read, nullptr) && read > 0) {
        const size_t filled = carried + read;
        found = scan.Find(buffer.get(), filled) != std::string::npos;
        carried = filled < keep ? filled : keep;
        std::memmove(buffer.get(), buffer.get() + filled - carried, carried);
    }
    CloseHandle(file);
    return found ? 0 : 1;
}
