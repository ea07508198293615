// RAII owners for Win32 handles, COM pointers, BSTRs and VARIANTs. Handles of
// every kind share one owner template (UniqueHandle) with a traits type per
// kind; COM pointers are counted references and have an owner of their own.
#pragma once

#include <windows.h>
// after <windows.h>, which it needs
#include <oleauto.h>

#include <utility>
#include <vector>

namespace querna::win32 {

// One owner for every kind of handle: `Traits` names the handle type, the
// value that means "none" (nullptr for most, INVALID_HANDLE_VALUE for
// CreateFile and FindFirstFile) and how the handle is freed:
//
//   struct Traits {
//       using Type = ...;
//       static Type Invalid();
//       static void Free(Type handle);  // called for valid handles only
//   };
//
// Copies are deleted, so a handle is never freed twice; moves are allowed.
template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& o) noexcept : handle_(o.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }

    explicit operator bool() const { return Valid(handle_); }
    Type Get() const { return handle_; }
    // Frees what is held and gives the place for a function to fill in.
    Type* Put() {
        Reset();
        return &handle_;
    }
    // Gives up ownership without freeing.
    Type Release() { return std::exchange(handle_, Traits::Invalid()); }
    // Frees what is held, then holds `handle`.
    void Reset(Type handle = Traits::Invalid()) {
        const Type old = std::exchange(handle_, handle);
        if (Valid(old)) Traits::Free(old);
    }

  private:
    // A null handle is never valid, whatever the kind's own "none" value.
    static bool Valid(Type handle) { return handle != Traits::Invalid() && handle != Type{}; }

    Type handle_ = Traits::Invalid();
};

// A kernel object from CreateFile: INVALID_HANDLE_VALUE on failure.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Free(Type handle) { CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// A FindFirstFile search, closed by FindClose.
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Free(Type handle) { FindClose(handle); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// An open registry key.
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Free(Type key) { RegCloseKey(key); }
};
using RegKey = UniqueHandle<RegKeyTraits>;

// Memory of the COM task allocator (shell item lists, strings it returns).
template <typename Pointer>
struct TaskMemoryTraits {
    using Type = Pointer;
    static Type Invalid() { return nullptr; }
    static void Free(Type memory) { CoTaskMemFree(memory); }
};
template <typename Pointer>
using TaskMemory = UniqueHandle<TaskMemoryTraits<Pointer>>;

// A global memory block (clipboard data until the system takes it).
struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static void Free(Type memory) { GlobalFree(memory); }
};
using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;

// The screen's device context, as GetDC(nullptr) gives it.
struct ScreenDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Free(Type dc) { ReleaseDC(nullptr, dc); }
};
using ScreenDc = UniqueHandle<ScreenDcTraits>;

// An owned COM interface pointer.
template <typename I>
class ComPtr {
  public:
    ComPtr() = default;
    explicit ComPtr(I* p) : p_(p) {}  // takes over one reference
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr& operator=(const ComPtr& o) {
        if (this != &o) {
            if (o.p_) o.p_->AddRef();
            Reset();
            p_ = o.p_;
        }
        return *this;
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o) {
            Reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    I* Get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** Put() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }

  private:
    I* p_ = nullptr;
};

// An owned BSTR.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(BSTR s) : s_(s) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
    BSTR Get() const { return s_; }
    BSTR Release() { return std::exchange(s_, nullptr); }

  private:
    BSTR s_ = nullptr;
};

// A VARIANT cleared on every way out.
class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT* operator->() { return &v_; }

  private:
    VARIANT v_;
};

// The COM apartment of the calling thread (single-threaded), left on exit.
class ComApartment {
  public:
    ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (ok_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool ok_;
};

// The arguments of one dispatch call: a run of VARIANTs, each cleared on every
// way out. The count is fixed at construction.
class VariantArray {
  public:
    explicit VariantArray(size_t count) : items_(count) {
        for (VARIANT& v : items_) VariantInit(&v);
    }
    ~VariantArray() {
        for (VARIANT& v : items_) VariantClear(&v);
    }
    VariantArray(const VariantArray&) = delete;
    VariantArray& operator=(const VariantArray&) = delete;
    VARIANT* Data() { return items_.empty() ? nullptr : items_.data(); }
    VARIANT& operator[](size_t i) { return items_[i]; }
    size_t Size() const { return items_.size(); }

  private:
    std::vector<VARIANT> items_;
};

// The exception information a dispatch call fills in; its strings are freed on
// every way out.
class ExcepInfo {
  public:
    ExcepInfo() = default;
    ~ExcepInfo() {
        SysFreeString(info_.bstrSource);
        SysFreeString(info_.bstrDescription);
        SysFreeString(info_.bstrHelpFile);
    }
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    EXCEPINFO* Get() { return &info_; }
    EXCEPINFO* operator->() { return &info_; }

  private:
    EXCEPINFO info_{};
};

}  // namespace querna::win32
