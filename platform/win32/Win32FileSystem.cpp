#include "platform/win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/Handles.h"

namespace querna::win32 {

namespace {

FileTime ToFileTime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The ANSI functions take at most MAX_PATH - 1 characters; a longer path is
// refused here rather than handed to them, so it behaves the same everywhere.
bool PathFits(const std::string& path) { return !path.empty() && path.size() < MAX_PATH; }

class Win32DirListing final : public DirListing {
public:
    Win32DirListing(const std::string& mask, uint32_t allowed) : allowed_(allowed) {
        if (PathFits(mask)) find_ = FindHandle(FindFirstFileA(mask.c_str(), &data_));
        pending_ = static_cast<bool>(find_);
    }

    bool Next(DirEntry& entry) override {
        while (pending_) {
            const WIN32_FIND_DATAA current = data_;
            pending_ = FindNextFileA(find_.Get(), &data_) != 0;
            if (EntryAllowed(current.dwFileAttributes, allowed_)) {
                entry.name = current.cFileName;
                entry.attributes = current.dwFileAttributes;
                return true;
            }
        }
        return false;
    }

private:
    uint32_t allowed_;
    WIN32_FIND_DATAA data_{};
    FindHandle find_;
    bool pending_ = false;
};

class Win32ReadableFile final : public ReadableFile {
public:
    explicit Win32ReadableFile(FileHandle file) : file_(std::move(file)) {}
    int64_t Read(void* buffer, size_t count) override {
        const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD read = 0;
        if (!ReadFile(file_.Get(), buffer, chunk, &read, nullptr)) return -1;
        return read;
    }

private:
    FileHandle file_;
};

// Reads at an offset through ReadFile with an OVERLAPPED position, which on
// a handle opened without FILE_FLAG_OVERLAPPED reads synchronously, so no
// separate seek is needed.
class Win32DocumentFile final : public ByteSource {
public:
    Win32DocumentFile(FileHandle file, uint64_t size) : file_(std::move(file)), size_(size) {}
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        size_t total = 0;
        while (total < count && offset + total < size_) {
            const uint64_t at = offset + total;
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - total, 0x40000000));
            OVERLAPPED position{};
            position.Offset = static_cast<DWORD>(at);
            position.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD read = 0;
            if (!ReadFile(file_.Get(), static_cast<char*>(buffer) + total, chunk, &read,
                          &position)) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                throw DocumentError(DocumentFault::Damaged);
            }
            if (read == 0) break;
            total += read;
        }
        return total;
    }

private:
    FileHandle file_;
    uint64_t size_;
};

}  // namespace

bool Win32FileSystem::FolderExists(const std::string& path) {
    if (!PathFits(path)) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<DirListing> Win32FileSystem::List(const std::string& mask, uint32_t allowed) {
    return std::make_unique<Win32DirListing>(mask, allowed);
}

bool Win32FileSystem::FindEntry(const std::string& path, EntryFacts& facts) {
    if (!PathFits(path)) return false;
    WIN32_FIND_DATAA data{};
    FindHandle find(FindFirstFileA(path.c_str(), &data));
    if (!find) return false;
    facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.attributes = data.dwFileAttributes;
    facts.shortName.assign(data.cAlternateFileName,
                           strnlen(data.cAlternateFileName, sizeof data.cAlternateFileName));
    facts.creationTime = ToFileTime(data.ftCreationTime);
    facts.lastAccessTime = ToFileTime(data.ftLastAccessTime);
    facts.lastWriteTime = ToFileTime(data.ftLastWriteTime);
    return true;
}

std::unique_ptr<ReadableFile> Win32FileSystem::OpenExclusive(const std::string& path) {
    if (!PathFits(path)) return nullptr;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    return std::make_unique<Win32ReadableFile>(std::move(file));
}

std::unique_ptr<ByteSource> Win32FileSystem::OpenDocument(const std::string& path) {
    if (!PathFits(path)) return nullptr;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return nullptr;
    return std::make_unique<Win32DocumentFile>(std::move(file),
                                               static_cast<uint64_t>(size.QuadPart));
}

bool Win32FileSystem::ReadCreationTime(const std::string& path, FileTime& creation) {
    if (!PathFits(path)) return false;
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    FILETIME created{};
    if (!GetFileTime(file.Get(), &created, nullptr, nullptr)) return false;
    creation = ToFileTime(created);
    return true;
}

FileTime Win32FileSystem::FileTimeToLocal(FileTime utc) {
    FILETIME in{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
    FILETIME local{};
    FileTimeToLocalFileTime(&in, &local);
    return ToFileTime(local);
}

bool Win32FileSystem::ReadFolderId(const std::string& path, FolderId& id) {
    if (!PathFits(path)) return false;
    // Backup semantics open folders; following the link gives its target.
    FileHandle folder(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.Get(), &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

int Win32TextRules::CompareText(std::string_view a, std::string_view b) {
    const int result = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                                      static_cast<int>(a.size()), b.data(),
                                      static_cast<int>(b.size()));
    return result - CSTR_EQUAL;
}

std::string Win32TextRules::FoldCase(std::string_view text) {
    std::string upper(text);
    if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

bool Win32TextRules::IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

}  // namespace querna::win32
