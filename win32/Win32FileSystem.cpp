#include "win32/Win32FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "win32/CodePage.h"
#include "win32/Handles.h"

namespace querna::win32 {

namespace {

FileTime ToFileTime(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The ANSI functions take at most MAX_PATH - 1 characters; a longer path is
// handed to the wide functions in its \\?\ form instead.
bool PathFits(const std::string& path) {
    return !path.empty() && path.size() < MAX_PATH;
}

// No Windows path, \\?\ form included, is longer than this.
constexpr size_t kLongestPath = 32767;

bool PathUsable(const std::string& path) {
    return !path.empty() && path.size() < kLongestPath;
}

// The position after the last backslash that is not the second byte of a
// double-byte character; 0 when there is none.
size_t NameStart(const std::string& path) {
    size_t start = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
        } else if (path[i] == '\\') {
            start = i + 1;
        }
    }
    return start;
}

// The \\?\ form of a full path; one in the \\?\ or \\.\ form already as it is.
std::wstring ExtendedForm(const std::wstring& full) {
    if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) return full;
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The full form of `path` (current folder applied, "." and ".." resolved,
// '/' made a backslash); GetFullPathNameW is not held to MAX_PATH. Empty when
// it fails or the path is longer than any Windows path.
std::wstring FullPathW(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(full.size());
        const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (length == 0 || length > 32768) return {};
        if (length < size) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // the size asked for, its terminating zero included
    }
}

// The \\?\ form of a file's full path. Windows maps a last component such as
// "com1.txt", "aux.txt" or "nul.txt" to a device; in this form the name
// reaches the file of that name instead. Only the folder part is made full
// (resolving "." and ".." and relative folders): doing so to the whole path
// would turn the device names into "\\.\COM1". The form also reaches files
// whose paths are longer than MAX_PATH.
std::wstring FileOnlyPath(const std::string& path) {
    const size_t nameStart = NameStart(path);
    std::string folder = path.substr(0, nameStart);
    if (folder.empty()) folder = ".\\";
    std::wstring whole = FullPathW(FromCodePage(folder));
    if (whole.empty()) return FromCodePage(path);
    if (whole.back() != L'\\') whole += L'\\';
    whole += FromCodePage(std::string_view(path).substr(nameStart));
    return ExtendedForm(whole);
}

// The \\?\ form of a folder path too long for the ANSI functions; empty when
// it has none. Sub-folders deep in a tree, or with long names, are reached
// this way like a location given in that form.
std::wstring LongFolderPath(const std::string& path) {
    if (path.starts_with("\\\\?\\")) return FromCodePage(path);
    const std::wstring full = FullPathW(FromCodePage(path));
    if (full.empty() || full.starts_with(L"\\\\.\\")) return {};
    return ExtendedForm(full);
}

// A folder path as the wide functions take it: as it is while it fits the
// ANSI limit (so that short paths keep the meaning Windows gives them), in
// its \\?\ form beyond it; empty when it cannot be named at all.
std::wstring FolderPathW(const std::string& path) {
    if (PathFits(path)) return FromCodePage(path);
    if (!PathUsable(path)) return {};
    return LongFolderPath(path);
}

// A listing mask (a folder path, then a wildcard mask) as FindFirstFileW
// takes it. Only the folder part of a long one is made full: the wildcards
// must reach the listing as they are.
std::wstring MaskPathW(const std::string& mask) {
    if (PathFits(mask)) return FromCodePage(mask);
    const size_t nameStart = NameStart(mask);
    std::wstring folder = FolderPathW(mask.substr(0, nameStart));
    if (folder.empty()) return {};
    if (folder.back() != L'\\') folder += L'\\';
    return folder + FromCodePage(std::string_view(mask).substr(nameStart));
}

// A name the listing gives in the system code page. A long name that the code
// page cannot hold is reached by its short (8.3) name, which is plain ASCII;
// without one the entry cannot be named at all and is passed over. The
// system's own conversion would put '?' in its place, a wildcard that could
// name another file.
bool EntryName(const WIN32_FIND_DATAW& data, std::string& name) {
    if (auto converted = ToCodePage(data.cFileName)) {
        name = std::move(*converted);
        return true;
    }
    if (data.cAlternateFileName[0] == L'\0') return false;
    auto shortName = ToCodePage(data.cAlternateFileName);
    if (!shortName) return false;
    name = std::move(*shortName);
    return true;
}

// A folder whose name ends in a dot (made through \\?\ paths, or by another
// system on a shared disk) cannot be reached through the paths the walk
// builds: Windows drops the dot that ends a folder inside a path, so "d.\"
// would list "d\" and its files would be taken for that folder's. It is
// passed over, except under a \\?\ location, where no name is tidied. A
// blank at the end of a folder inside a path is kept.
bool UnreachableFolder(const WIN32_FIND_DATAW& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") return false;
    return !name.empty() && name.back() == L'.';
}

class Win32DirListing final : public DirListing {
  public:
    Win32DirListing(const std::string& mask, uint32_t allowed)
        : allowed_(allowed), literal_(mask.starts_with("\\\\?\\")) {
        const std::wstring wide = MaskPathW(mask);
        if (!wide.empty()) find_ = FindHandle(FindFirstFileW(wide.c_str(), &data_));
        pending_ = static_cast<bool>(find_);
        // No match is an empty listing; anything else (access denied, no
        // medium, a path too long even for the \\?\ form) is a folder that
        // could not be listed.
        if (!pending_) {
            const DWORD error = wide.empty() ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
            refused_ = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        }
    }

    bool Refused() const override { return refused_; }

    bool Next(DirEntry& entry) override {
        while (pending_) {
            const WIN32_FIND_DATAW current = data_;
            pending_ = FindNextFileW(find_.Get(), &data_) != 0;
            if (EntryAllowed(current.dwFileAttributes, allowed_) &&
                !(UnreachableFolder(current) && !literal_) && EntryName(current, entry.name)) {
                entry.attributes = current.dwFileAttributes;
                entry.size =
                    (static_cast<uint64_t>(current.nFileSizeHigh) << 32) | current.nFileSizeLow;
                entry.creationTime = ToFileTime(current.ftCreationTime);
                return true;
            }
        }
        return false;
    }

  private:
    uint32_t allowed_;
    // Under a \\?\ location no name is tidied: every folder can be reached.
    // A long path that the walk builds is tidied when it is made full, so
    // under it a folder ending in a dot is passed over as under a short one.
    bool literal_;
    WIN32_FIND_DATAW data_{};
    FindHandle find_;
    bool pending_ = false;
    bool refused_ = false;
};

// The path names a wildcard: a look-up through it could find another file.
// The question mark of the \\?\ prefix is none.
bool HasWildcard(const std::string& path) {
    const size_t from = path.starts_with("\\\\?\\") ? 4 : 0;
    return path.find_first_of("*?", from) != std::string::npos;
}

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

class EmptyFile final : public ReadableFile {
  public:
    int64_t Read(void*, size_t) override { return 0; }
};

// Reads at an offset through ReadFile. A read that starts where the handle
// stands (the whole document from its start, the usual case) goes without a
// position: under Wine a positioned read costs a seek and one more call into
// the Wine server than a plain one. Any other offset goes in an OVERLAPPED
// position, which on a handle opened without FILE_FLAG_OVERLAPPED reads
// synchronously and leaves the handle after what it read, like a plain read.
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
            const bool ok = ReadFile(file_.Get(), static_cast<char*>(buffer) + total, chunk, &read,
                                     at == handleAt_ ? nullptr : &position);
            // Where a failed read leaves the handle is not known: the next
            // read names its position.
            handleAt_ = ok ? at + read : kUnknown;
            if (!ok) {
                if (GetLastError() == ERROR_HANDLE_EOF) break;
                throw ReadFailure();
            }
            if (read == 0) break;
            total += read;
        }
        return total;
    }

  private:
    static constexpr uint64_t kUnknown = ~uint64_t{0};
    FileHandle file_;
    uint64_t size_;
    uint64_t handleAt_ = 0;  // a handle just opened stands at the start
};

}  // namespace

bool Win32FileSystem::FolderExists(const std::string& path) {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (PathFits(path)) {
        attributes = GetFileAttributesA(path.c_str());
    } else if (const std::wstring extended = FolderPathW(path); !extended.empty()) {
        attributes = GetFileAttributesW(extended.c_str());
    }
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<DirListing> Win32FileSystem::List(const std::string& mask, uint32_t allowed) {
    return std::make_unique<Win32DirListing>(mask, allowed);
}

bool Win32FileSystem::FindEntry(const std::string& path, EntryFacts& facts) {
    if (!PathUsable(path) || HasWildcard(path)) return false;
    WIN32_FIND_DATAW data{};
    FindHandle find(FindFirstFileW(FileOnlyPath(path).c_str(), &data));
    if (!find) return false;
    facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.attributes = data.dwFileAttributes;
    facts.shortName = ToCodePage(data.cAlternateFileName).value_or("");
    facts.creationTime = ToFileTime(data.ftCreationTime);
    facts.lastAccessTime = ToFileTime(data.ftLastAccessTime);
    facts.lastWriteTime = ToFileTime(data.ftLastWriteTime);
    return true;
}

std::unique_ptr<ReadableFile> Win32FileSystem::OpenExclusive(const std::string& path) {
    if (!PathUsable(path) || HasWildcard(path)) return nullptr;
    FileHandle file(CreateFileW(FileOnlyPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    // A pipe or a device could block a read forever: only disk files are
    // read, anything else reads as empty.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return std::make_unique<EmptyFile>();
    return std::make_unique<Win32ReadableFile>(std::move(file));
}

std::unique_ptr<ByteSource> Win32FileSystem::OpenDocument(const std::string& path) {
    if (!PathUsable(path) || HasWildcard(path)) return nullptr;
    FileHandle file(CreateFileW(FileOnlyPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK) return nullptr;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) return nullptr;
    return std::make_unique<Win32DocumentFile>(std::move(file),
                                               static_cast<uint64_t>(size.QuadPart));
}

bool Win32FileSystem::ReadCreationTime(const std::string& path, FileTime& creation) {
    if (!PathUsable(path) || HasWildcard(path)) return false;
    FileHandle file(CreateFileW(FileOnlyPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.Get()) != FILE_TYPE_DISK) return false;
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
    const std::wstring wide = FolderPathW(path);
    if (wide.empty()) return false;
    // Backup semantics open folders; following the link gives its target.
    FileHandle folder(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.Get(), &info)) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::string Win32FileSystem::FullFolderPath(const std::string& folder) {
    const auto isSlash = [](char c) { return c == '\\' || c == '/'; };
    // Full already: a UNC or \\?\ path, a drive and its root, or a drive
    // alone, which the search takes for its root.
    if (folder.empty() || (folder.size() >= 2 && isSlash(folder[0]) && isSlash(folder[1])) ||
        (folder.size() >= 2 && folder[1] == ':' && (folder.size() == 2 || isSlash(folder[2])))) {
        return folder;
    }
    const std::wstring full = FullPathW(FromCodePage(folder));
    if (full.empty()) return folder;
    return ToCodePage(full).value_or(folder);
}

}  // namespace querna::win32
