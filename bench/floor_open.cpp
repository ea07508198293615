// Floor probe for a content search of many small files: one listing per
// folder, and every file opened (sharing nothing), read to its end in 1 MiB
// blocks and closed.  floor_open ROOT
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr DWORD kBlock = 1 << 20;

void ReadAll(const std::string& path, unsigned char* buffer) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD read = 0;
    while (ReadFile(file, buffer, kBlock, &read, nullptr) && read > 0) {
    }
    CloseHandle(file);
}

void Walk(const std::string& dir, unsigned char* buffer) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
                Walk(dir + data.cFileName + "\\", buffer);
            }
        } else {
            ReadAll(dir + data.cFileName, buffer);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string dir(argv[1]);
    if (dir.back() != '\\') dir += '\\';
    auto buffer = std::make_unique<unsigned char[]>(kBlock);
    Walk(dir, buffer.get());
    return 0;
}
