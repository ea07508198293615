#include "platform/win32/Win32TextFileWriter.h"

#include <windows.h>

#include <utility>

#include "platform/win32/Handles.h"

namespace querna::win32 {

namespace {

// Close reports what CloseHandle says, so it takes the handle back from its
// owner; a file never closed is closed by the owner on destruction.
class Win32OutputFile final : public OutputFile {
public:
    explicit Win32OutputFile(FileHandle file) : file_(std::move(file)) {}

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
        return CloseHandle(file_.Release()) ? 0 : GetLastError();
    }

private:
    FileHandle file_;
};

}  // namespace

std::unique_ptr<OutputFile> Win32TextFileWriter::Create(const std::string& path,
                                                        uint32_t& error) {
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        return nullptr;
    }
    error = 0;
    return std::make_unique<Win32OutputFile>(std::move(file));
}

}  // namespace querna::win32
