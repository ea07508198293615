#include "platform/win32/Win32CompoundFiles.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/win32/Handles.h"

namespace querna::win32 {

namespace {

[[noreturn]] void ThrowDamaged() {
    throw DocumentError(DocumentFault::Damaged);
}

std::wstring Widen(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// Stream and storage names are plain ASCII or control characters such as
// "\x05SummaryInformation": each byte is the UTF-16 unit of the same value.
std::wstring ElementName(const std::string& name) {
    std::wstring wide;
    for (unsigned char c : name) wide.push_back(c);
    return wide;
}

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
    explicit Win32Storage(ComPtr<IStorage> root) : root_(std::move(root)) {}

    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
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
};

}  // namespace

std::unique_ptr<CompoundStorage> Win32CompoundFiles::Open(const std::string& path) {
    ComPtr<IStorage> root;
    const std::wstring wide = Widen(path, CP_ACP);
    const HRESULT hr =
        StgOpenStorageEx(wide.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, STGFMT_STORAGE, 0,
                         nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(root.Put()));
    if (FAILED(hr) || !root) ThrowDamaged();
    return std::make_unique<Win32Storage>(std::move(root));
}

}  // namespace querna::win32
