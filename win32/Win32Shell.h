// The shell's "open" over shell32.
#pragma once

#include <windows.h>

#include "platform/Shell.h"

namespace querna::win32 {

class Win32Shell final : public Shell {
  public:
    // `owner` is the main window; it owns whatever the shell shows on failure.
    explicit Win32Shell(HWND owner) : owner_(owner) {}
    void Open(const std::string& path) override;

  private:
    HWND owner_;
};

}  // namespace querna::win32
