// Floor probe for the Office 97-2003 readers: one listing of a folder, and
// every file read whole into memory, its FAT (from the header's list), mini
// FAT and directory walked, the streams the reader of the format reads copied
// out sector by sector, and the copies scanned for the phrase as UTF-16.
//   floor_compound doc|xls|ppt FOLDER PHRASE
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "matchers/PhraseScan.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t U32(const Bytes& b, size_t at) {
    if (at + 4 > b.size()) return 0xFFFFFFFF;
    uint32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

bool ReadWhole(const std::string& path, Bytes& file) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    file.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    const bool ok = ReadFile(h, file.data(), static_cast<DWORD>(file.size()), &read, nullptr);
    CloseHandle(h);
    return ok && read == file.size();
}

// Appends the chain from `start` of `unit`-byte pieces of `from` (pieces
// numbered from `base`) until `size` bytes are copied.
void CopyChain(const Bytes& from, const std::vector<uint32_t>& table, uint32_t start, size_t unit,
               size_t base, uint64_t size, Bytes& out) {
    out.clear();
    for (uint32_t s = start; out.size() < size && s < table.size(); s = table[s]) {
        const size_t at = (s + base) * unit;
        if (at + unit > from.size()) break;
        out.insert(out.end(), from.begin() + at, from.begin() + at + unit);
    }
    if (out.size() > size) out.resize(size);
}

bool Scan(const std::string& path, const std::vector<std::wstring>& names,
          const querna::PhraseScan& scan, Bytes& file, Bytes& stream, Bytes& mini) {
    if (!ReadWhole(path, file) || file.size() < 512) return false;
    std::vector<uint32_t> fat, miniFat;
    const uint32_t fatSectors = U32(file, 44);
    for (uint32_t i = 0; i < fatSectors && i < 109; ++i) {
        const size_t at = (size_t{U32(file, 76 + 4 * i)} + 1) * 512;
        for (size_t j = 0; j < 128; ++j) fat.push_back(U32(file, at + 4 * j));
    }
    Bytes directory, table;
    CopyChain(file, fat, U32(file, 48), 512, 1, file.size(), directory);
    CopyChain(file, fat, U32(file, 60), 512, 1, file.size(), table);
    for (size_t i = 0; i + 4 <= table.size(); i += 4) miniFat.push_back(U32(table, i));
    CopyChain(file, fat, U32(directory, 116), 512, 1, U32(directory, 120), mini);
    bool found = false;
    for (size_t e = 128; e + 128 <= directory.size(); e += 128) {
        const size_t length = directory[e + 64] / 2;
        if (length == 0) continue;
        const std::wstring name(reinterpret_cast<const wchar_t*>(&directory[e]), length - 1);
        bool wanted = false;
        for (const std::wstring& n : names) wanted = wanted || n == name;
        if (!wanted) continue;
        const uint32_t start = U32(directory, e + 116), size = U32(directory, e + 120);
        if (size < 4096) {
            CopyChain(mini, miniFat, start, 64, 0, size, stream);
        } else {
            CopyChain(file, fat, start, 512, 1, size, stream);
        }
        found = found || scan.Find(stream.data(), stream.size()) != std::string::npos;
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || argv[3][0] == '\0') return 2;
    const std::string format(argv[1]);
    std::vector<std::wstring> names;
    if (format == "doc") names = {L"WordDocument", L"1Table", L"0Table"};
    if (format == "xls") names = {L"Workbook"};
    if (format == "ppt") names = {L"Current User", L"PowerPoint Document"};
    if (names.empty()) return 2;
    std::string utf16;
    for (const char* p = argv[3]; *p; ++p) utf16 += std::string{*p, '\0'};
    const querna::PhraseScan scan(utf16);
    std::string dir(argv[2]);
    if (dir.back() != '\\') dir += '\\';
    Bytes file, stream, mini;
    int found = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found += Scan(dir + data.cFileName, names, scan, file, stream, mini);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return found > 0 ? 0 : 1;
}
