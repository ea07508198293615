// Floor probe for the Office Open XML readers: one listing of a folder, and
// every file read whole into memory, its central directory walked, the parts
// the reader of the format reads inflated in 64 KiB pieces, and each piece
// scanned for the phrase (the last bytes of a piece kept for the next).
//   floor_zip docx|xlsx|pptx FOLDER PHRASE
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "matchers/PhraseScan.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t U16(const Bytes& b, size_t at) {
    return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0;
}
uint32_t U32(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? U16(b, at) | (U16(b, at + 2) << 16) : 0;
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

bool Wanted(const std::string& format, const std::string& name) {
    auto under = [&](const char* folder) {
        const size_t n = std::strlen(folder);
        return name.compare(0, n, folder) == 0 && name.find('/', n) == std::string::npos &&
               name.size() > 4 && name.compare(name.size() - 4, 4, ".xml") == 0;
    };
    if (format == "docx") return name == "word/document.xml";
    if (format == "xlsx") return name == "xl/sharedStrings.xml" || under("xl/worksheets/");
    return under("ppt/slides/");
}

bool ScanPart(const Bytes& file, size_t local, uint32_t method, uint32_t packed,
              const querna::PhraseScan& scan, Bytes& out) {
    const size_t data = local + 30 + U16(file, local + 26) + U16(file, local + 28);
    if (data + packed > file.size()) return false;
    if (method == 0) return scan.Find(&file[data], packed) != std::string::npos;
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(&file[data]);
    z.avail_in = packed;
    const size_t keep = scan.Size() - 1;
    size_t carried = 0;
    bool found = false;
    int status = Z_OK;
    while (!found && status == Z_OK) {
        z.next_out = out.data() + carried;
        z.avail_out = static_cast<uInt>(out.size() - carried);
        status = inflate(&z, Z_NO_FLUSH);
        const size_t filled = out.size() - z.avail_out;
        found = scan.Find(out.data(), filled) != std::string::npos;
        carried = filled < keep ? filled : keep;
        std::memmove(out.data(), out.data() + filled - carried, carried);
    }
    inflateEnd(&z);
    return found;
}

bool Scan(const std::string& path, const std::string& format, const querna::PhraseScan& scan,
          Bytes& file, Bytes& out) {
    if (!ReadWhole(path, file) || file.size() < 22) return false;
    size_t end = file.size() - 22;
    while (end > 0 && U32(file, end) != 0x06054B50) --end;
    const uint32_t entries = U16(file, end + 10);
    size_t at = U32(file, end + 16);
    bool found = false;
    for (uint32_t i = 0; i < entries && U32(file, at) == 0x02014B50 && !found; ++i) {
        const uint32_t nameLength = U16(file, at + 28);
        if (at + 46 + nameLength > file.size()) break;
        const std::string name(reinterpret_cast<const char*>(&file[at + 46]), nameLength);
        if (Wanted(format, name))
            found = ScanPart(file, U32(file, at + 42), U16(file, at + 10), U32(file, at + 20), scan,
                             out);
        at += 46 + nameLength + U16(file, at + 30) + U16(file, at + 32);
    }
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || argv[3][0] == '\0') return 2;
    const std::string format(argv[1]);
    if (format != "docx" && format != "xlsx" && format != "pptx") return 2;
    const querna::PhraseScan scan(argv[3]);
    std::string dir(argv[2]);
    if (dir.back() != '\\') dir += '\\';
    Bytes file, out(64 * 1024 + scan.Size());
    int found = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found += Scan(dir + data.cFileName, format, scan, file, out);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return found > 0 ? 0 : 1;
}
