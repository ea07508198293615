#include "win32/Win32Registry.h"

#include <cstring>

#include "platform/Error.h"

namespace querna::win32 {

namespace {

// Creates or opens `name` below `base` with full access.
LONG CreateOrOpen(HKEY base, const std::string& name, RegKey& key) {
    return RegCreateKeyExA(base, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key.Put(), nullptr);
}

}  // namespace

bool Win32RegistryAccessor::OpenKey(const std::string& name) {
    RegKey opened;
    if (CreateOrOpen(Base(), name, opened) != ERROR_SUCCESS) return false;
    current_ = std::move(opened);  // closes the key opened before
    return true;
}

bool Win32RegistryAccessor::KeyExists(const std::string& name) {
    RegKey probe;
    return RegOpenKeyExA(Base(), name.c_str(), 0, KEY_READ, probe.Put()) == ERROR_SUCCESS;
}

bool Win32RegistryAccessor::CreateKey(const std::string& name) {
    RegKey created;
    return CreateOrOpen(Base(), name, created) == ERROR_SUCCESS;
}

bool Win32RegistryAccessor::WriteDefaultString(const std::string& data) {
    // Without an open key the write would land in the root itself; refuse it.
    if (!current_) return false;
    const auto* bytes = reinterpret_cast<const BYTE*>(data.c_str());
    return RegSetValueExA(current_.Get(), "", 0, REG_SZ, bytes,
                          static_cast<DWORD>(data.size() + 1)) == ERROR_SUCCESS;
}

void Win32RegistryAccessor::CloseKey() {
    current_.Reset();
}

std::string Win32Registry::ReadCurrentUserString(const std::string& key, const std::string& name) {
    RegKey opened;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        size == 0) {
        return {};
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
    // The value may grow between the two queries; ask again with the new size.
    std::string data;
    LONG result = ERROR_MORE_DATA;
    while (result == ERROR_MORE_DATA) {
        data.resize(size + 1);
        result = RegQueryValueExA(opened.Get(), name.c_str(), nullptr, &type,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
    }
    if (result != ERROR_SUCCESS) return {};
    // The stored data may or may not carry its terminating zero.
    data.resize(strnlen(data.data(), size));
    return data;
}

std::unique_ptr<ClassesRootAccessor> Win32Registry::OpenClassesRoot() {
    return std::make_unique<Win32RegistryAccessor>(HKEY_CLASSES_ROOT);
}

}  // namespace querna::win32
