// Floor probe for a name search: one listing per folder, the names that
// contain a text (ASCII letters without case) printed as full paths through
// one buffer.  floor_list ROOT TEXT
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

bool Contains(const char* name, const std::string& upperText) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper.find(upperText) != std::string::npos;
}

void Walk(const std::string& dir, const std::string& upperText, std::string& out) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dir + "*.*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
                Walk(dir + data.cFileName + "\\", upperText, out);
            }
        } else if (Contains(data.cFileName, upperText)) {
            out.append(dir).append(data.cFileName).append("\r\n");
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::string text(argv[2]);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string dir(argv[1]);
    if (dir.back() != '\\') dir += '\\';
    std::string out;
    Walk(dir, text, out);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
    return 0;
}
