#include "platform/win32/Win32TextFileWriter.h"

#include <windows.h>

#include <string>
#include <utility>

namespace querna::win32 {

namespace {

// Owns the handle itself rather than through FileHandle, because Close must
// report what CloseHandle says. A file not closed successfully is deleted once
// its handle is gone: deleting by name after closing, rather than opening with
// DELETE access, keeps readers that do not share deletion able to open it
// meanwhile.
class Win32OutputFile final : public OutputFile {
public:
    Win32OutputFile(HANDLE file, std::string path) : file_(file), path_(std::move(path)) {}
    ~Win32OutputFile() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
        if (!kept_) DeleteFileA(path_.c_str());
    }
    Win32OutputFile(const Win32OutputFile&) = delete;
    Win32OutputFile& operator=(const Win32OutputFile&) = delete;

    uint32_t Write(std::string_view bytes, size_t& written) override {
        written = 0;
        if (file_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
        while (written < bytes.size()) {
            const size_t left = bytes.size() - written;
            const DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
            DWORD stored = 0;
            if (!WriteFile(file_, bytes.data() + written, chunk, &stored, nullptr)) {
                return GetLastError();
            }
            if (stored == 0) break;  // nothing more fits: a short write
            written += stored;
        }
        return 0;
    }

    uint32_t Close() override {
        const HANDLE file = std::exchange(file_, INVALID_HANDLE_VALUE);
        if (file == INVALID_HANDLE_VALUE) return 0;
        if (!CloseHandle(file)) return GetLastError();
        kept_ = true;
        return 0;
    }

private:
    HANDLE file_;
    std::string path_;
    bool kept_ = false;
};

}  // namespace

std::unique_ptr<OutputFile> Win32TextFileWriter::Create(const std::string& path,
                                                        uint32_t& error) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32OutputFile>(file, path);
}

}  // namespace querna::win32
