#include "win32/Win32TextFileWriter.h"

#include <windows.h>

#include <string>
#include <utility>

#include "win32/Handles.h"

namespace querna::win32 {

namespace {

// Close reports what CloseHandle says, so it takes the handle back from its
// owner. A file not closed successfully is deleted once its handle is gone:
// deleting by name after closing, rather than opening with DELETE access,
// keeps readers that do not share deletion able to open it meanwhile.
class Win32OutputFile final : public OutputFile {
  public:
    Win32OutputFile(FileHandle file, std::string path)
        : file_(std::move(file)), path_(std::move(path)) {}
    ~Win32OutputFile() override {
        file_.Reset();
        if (!kept_) DeleteFileA(path_.c_str());
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    uint32_t Write(std::string_view bytes, size_t& written) override {
        written = 0;
        if (!file_) return ERROR_INVALID_HANDLE;
        while (written < bytes.size()) {
            const size_t left = bytes.size() - written;
            const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
            DWORD stored = 0;
            if (!WriteFile(file_.Get(), bytes.data() + written, chunk, &stored, nullptr)) {
                return GetLastError();
            }
            if (stored == 0) break;  // nothing more fits: a short write
            written += stored;
        }
        return 0;
    }

    uint32_t Close() override {
        if (!file_) return 0;
        if (!CloseHandle(file_.Release())) return GetLastError();
        kept_ = true;
        return 0;
    }

  private:
    FileHandle file_;
    std::string path_;
    bool kept_ = false;
};

}  // namespace

std::unique_ptr<OutputFile> Win32TextFileWriter::Create(const std::string& path, uint32_t& error) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return nullptr;
    }
    // Windows takes "nul", "con", "aux" and the like, with any extension and
    // in any folder, for its devices: the list would go nowhere and the save
    // would still be confirmed. Only a file on a disk holds the list.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = ERROR_INVALID_NAME;
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32OutputFile>(std::move(file), path);
}

}  // namespace querna::win32
