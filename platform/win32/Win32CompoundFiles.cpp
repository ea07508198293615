#include "platform/win32/Win32CompoundFiles.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "matchers/CompoundFileReader.h"
#include "platform/win32/CodePage.h"
#include "platform/win32/Handles.h"

namespace querna::win32 {

namespace {

[[noreturn]] void ThrowDamaged() {
    throw DocumentError(DocumentFault::Damaged);
}

// Stream and storage names are plain ASCII or control characters such as
// "\x05SummaryInformation": each byte is the UTF-16 unit of the same value.
std::wstring ElementName(const std::string& name) {
    std::wstring wide;
    for (unsigned char c : name) wide.push_back(c);
    return wide;
}

// The file's bytes for our own reader, shared with other readers and writers
// (Word may hold a document open while it is searched).
class FileSource final : public ByteSource {
  public:
    explicit FileSource(const std::string& path)
        : file_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size;
        if (!file_ || !GetFileSizeEx(file_.Get(), &size)) ThrowDamaged();
        size_ = static_cast<uint64_t>(size.QuadPart);
    }
    uint64_t Size() const override { return size_; }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        auto* out = static_cast<unsigned char*>(buffer);
        size_t done = 0;
        while (done < count && offset + done < size_) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + done);
            at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
            DWORD got = 0;
            const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
            if (!ReadFile(file_.Get(), out + done, want, &got, &at)) ThrowDamaged();
            if (got == 0) break;
            done += got;
        }
        return done;
    }

  private:
    FileHandle file_;
    uint64_t size_ = 0;
};

class StorageStream final : public ByteSource {
  public:
    StorageStream(ComPtr<IStorage> root, ComPtr<IStream> stream)
        : root_(std::move(root)), stream_(std::move(stream)) {
        STATSTG stat{};
        if (FAILED(stream_->Stat(&stat, STATFLAG_NONAME))) ThrowDamaged();
        size_ = stat.cbSize.QuadPart;
    }

    uint64_t Size() const override { return size_; }

    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= size_) return 0;
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (FAILED(stream_->Seek(to, STREAM_SEEK_SET, nullptr))) ThrowDamaged();
        auto* out = static_cast<unsigned char*>(buffer);
        size_t done = 0;
        while (done < count) {
            const ULONG want = static_cast<ULONG>(std::min<size_t>(count - done, 1u << 30));
            ULONG got = 0;
            if (FAILED(stream_->Read(out + done, want, &got))) ThrowDamaged();
            if (got == 0) break;
            done += got;
        }
        return done;
    }

  private:
    ComPtr<IStorage> root_;  // a stream outlives its storage only with it
    ComPtr<IStream> stream_;
    uint64_t size_ = 0;
};

class Win32Storage final : public CompoundStorage {
  public:
    Win32Storage(ComPtr<IStorage> root, std::unique_ptr<CompoundFileReader> check)
        : root_(std::move(root)), check_(std::move(check)) {}

    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
        // Our reader walks the stream's chain first: ole32 as Wine has it
        // follows a looping chain for ever.
        if (!check_->OpenStream(path)) return nullptr;
        // Storages and streams below the root can only be opened exclusively.
        constexpr DWORD kChildMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
        ComPtr<IStorage> storage = root_;
        size_t from = 0;
        for (size_t slash; (slash = path.find('/', from)) != std::string::npos; from = slash + 1) {
            ComPtr<IStorage> child;
            const HRESULT hr =
                storage->OpenStorage(ElementName(path.substr(from, slash - from)).c_str(), nullptr,
                                     kChildMode, nullptr, 0, child.Put());
            if (hr == STG_E_FILENOTFOUND || hr == STG_E_PATHNOTFOUND) return nullptr;
            if (FAILED(hr)) ThrowDamaged();
            storage = std::move(child);
        }
        ComPtr<IStream> stream;
        const HRESULT hr = storage->OpenStream(ElementName(path.substr(from)).c_str(), nullptr,
                                               kChildMode, 0, stream.Put());
        if (hr == STG_E_FILENOTFOUND || hr == STG_E_PATHNOTFOUND) return nullptr;
        if (FAILED(hr)) ThrowDamaged();
        return std::make_unique<StorageStream>(root_, std::move(stream));
    }

  private:
    ComPtr<IStorage> root_;
    std::unique_ptr<CompoundFileReader> check_;
};

}  // namespace

std::unique_ptr<CompoundStorage> Win32CompoundFiles::Open(const std::string& path) {
    // Only a file whose header, allocation tables and directory our own
    // reader accepts is handed to ole32: Wine's implementation hangs on
    // looping sector chains and directory cycles.
    auto check = std::make_unique<CompoundFileReader>(std::make_unique<FileSource>(path));
    ComPtr<IStorage> root;
    const std::wstring wide = FromCodePage(path);
    const HRESULT hr =
        StgOpenStorageEx(wide.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_STORAGE, 0,
                         nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(root.Put()));
    if (FAILED(hr) || !root) ThrowDamaged();
    return std::make_unique<Win32Storage>(std::move(root), std::move(check));
}

}  // namespace querna::win32
