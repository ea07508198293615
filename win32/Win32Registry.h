// The registry over advapi32 (ANSI functions, system code page).
#pragma once

#include <windows.h>

#include "platform/Registry.h"
#include "win32/Handles.h"

namespace querna::win32 {

// Keeps one key open below `root` at a time, as ClassesRootAccessor says.
// `root` is not owned and never closed (normally HKEY_CLASSES_ROOT; tests pass
// a scratch key of their own).
class Win32RegistryAccessor final : public ClassesRootAccessor {
  public:
    explicit Win32RegistryAccessor(HKEY root) : root_(root) {}
    bool OpenKey(const std::string& name) override;
    bool KeyExists(const std::string& name) override;
    bool CreateKey(const std::string& name) override;
    bool WriteDefaultString(const std::string& data) override;
    void CloseKey() override;

  private:
    // Names are relative to the key opened last, or to the root while none is.
    HKEY Base() const { return current_ ? current_.Get() : root_; }

    HKEY root_;
    RegKey current_;
};

class Win32Registry final : public Registry {
  public:
    std::string ReadCurrentUserString(const std::string& key, const std::string& name) override;
    std::unique_ptr<ClassesRootAccessor> OpenClassesRoot() override;
};

}  // namespace querna::win32
