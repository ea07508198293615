#include "win32/Win32Clipboard.h"

#include <cstring>
#include <utility>

#include "platform/Error.h"
#include "win32/Handles.h"

namespace querna::win32 {

namespace {

// Closes the clipboard on every way out of SetText.
class OpenedClipboard {
  public:
    OpenedClipboard() = default;
    ~OpenedClipboard() { CloseClipboard(); }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
};

// Copies `text` and its terminating NUL into `block`; false when it cannot be locked.
bool CopyInto(GlobalMemory& block, const std::string& text) {
    void* target = GlobalLock(block.Get());
    if (target == nullptr) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    GlobalUnlock(block.Get());
    return true;
}

}  // namespace

void Win32Clipboard::SetText(const std::string& text) {
    if (!OpenClipboard(owner_)) throw QuernaError("Cannot open clipboard");
    OpenedClipboard opened;
    EmptyClipboard();
    GlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    if (!block.Get() || !CopyInto(block, text)) return;
    // On success the system owns the memory; on failure the block frees it.
    if (SetClipboardData(CF_TEXT, block.Get()) != nullptr) block.Release();
}

}  // namespace querna::win32
