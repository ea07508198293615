#include "platform/win32/Win32TextFileWriter.h"

#include <windows.h>

#include <utility>

namespace querna::win32 {

namespace {

// Owns the handle itself rather than through FileHandle, because Close must
// report what CloseHandle says.
class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE file) : file_(file) {}
    ~Win32OutputFile() override {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
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
        return CloseHandle(file) ? 0 : GetLastError();
    }

private:
    HANDLE file_;
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
    return std::make_unique<Win32OutputFile>(file);
}

}  // namespace querna::win32
