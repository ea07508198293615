// Floor probe for a text scan: one file read in 1 MiB blocks, nothing done
// with the bytes.  floor_read FILE
#include <windows.h>

#include <memory>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    constexpr DWORD kBlock = 1 << 20;
    auto buffer = std::make_unique<unsigned char[]>(kBlock);
    DWORD read = 0;
    unsigned long long total = 0;
    while (ReadFile(file, buffer.get(), kBlock, &read, nullptr) && read > 0) total += read;
    CloseHandle(file);
    return total == 0;
}
