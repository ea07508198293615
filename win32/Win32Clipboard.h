// The clipboard over user32, as CF_TEXT in the system code page.
#pragma once

#include <windows.h>

#include "platform/Clipboard.h"

namespace querna::win32 {

class Win32Clipboard final : public Clipboard {
  public:
    // `owner` becomes the clipboard's owner: SetClipboardData needs an owner
    // window once the clipboard has been emptied, so it must be a real window.
    explicit Win32Clipboard(HWND owner) : owner_(owner) {}
    void SetText(const std::string& text) override;

  private:
    HWND owner_;
};

}  // namespace querna::win32
