#include "support/TempTree.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>

namespace querna::testing {

namespace {

// Removed through the wide functions with the "\\?\" prefix, so that trees
// deeper than MAX_PATH (which some tests make on purpose) go as well.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(path.c_str());
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring LongPath(const std::string& path) {
    const int size = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
    return L"\\\\?\\" + wide;
}

// The last backslash that is not the second byte of a double-byte character.
size_t LastSeparator(const std::string& path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '\\') {
            last = i;
        }
    }
    return last;
}

}  // namespace

TempTree::TempTree() {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    // Wine reuses process ids: the tick count keeps names of runs apart.
    root_ = std::string(temp) + "querna-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount64()) + "-" + std::to_string(counter++);
    RemoveTree(LongPath(root_));
    if (!CreateDirectoryA(root_.c_str(), nullptr)) throw std::runtime_error("no temp folder");
}

void RemoveFolderTree(const std::string& folder) {
    RemoveTree(LongPath(folder));
}

TempTree::~TempTree() {
    RemoveTree(LongPath(root_));
}

void TempTree::AddFolder(const std::string& relative, unsigned long attributes) {
    const std::string path = Path(relative);
    for (size_t i = root_.size() + 1; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i]))) {
            ++i;  // a trail byte 0x5C is no separator
        } else if (path[i] == '\\') {
            CreateDirectoryW(LongPath(path.substr(0, i)).c_str(), nullptr);
        }
    }
    CreateDirectoryW(LongPath(path).c_str(), nullptr);
    if (attributes) SetFileAttributesW(LongPath(path).c_str(), attributes);
}

void TempTree::AddFile(const std::string& relative, const std::string& content,
                       unsigned long attributes) {
    const size_t slash = LastSeparator(relative);
    if (slash != std::string::npos) AddFolder(relative.substr(0, slash));
    const std::string path = Path(relative);
    HANDLE file = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    if (attributes) SetFileAttributesW(LongPath(path).c_str(), attributes);
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

}  // namespace querna::testing
