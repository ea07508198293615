#include "win32/Win32Dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "win32/CodePage.h"
#include "win32/Handles.h"

namespace querna::win32 {

namespace {

DialogTestHook& TestHook() {
    static DialogTestHook hook;
    return hook;
}

// Disables the thread's visible, enabled top-level windows for the life of a
// dialog that has no owner, and afterwards enables them again and activates
// the window that was active before, on every way out.
class ThreadWindowsDisabled {
  public:
    ThreadWindowsDisabled() : active_(GetActiveWindow()) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(this));
        for (HWND window : disabled_) EnableWindow(window, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND window : disabled_) EnableWindow(window, TRUE);
        if (active_ != nullptr && IsWindow(active_)) SetActiveWindow(active_);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

  private:
    static BOOL CALLBACK Collect(HWND window, LPARAM self) {
        if (!IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
        try {
            reinterpret_cast<ThreadWindowsDisabled*>(self)->disabled_.push_back(window);
            return TRUE;
        } catch (...) {
            return FALSE;  // out of memory: leave the rest enabled
        }
    }

    HWND active_;
    std::vector<HWND> disabled_;
};

// An item identifier list from the shell, freed with the task allocator.
using ItemIdList = TaskMemory<LPITEMIDLIST>;

// Parses a shell display name (a path in the system code page) into an item
// list; an empty list when it cannot be parsed.
void ParseDisplayName(const std::string& name, ItemIdList& list) {
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.Put()))) return;
    std::wstring wide = FromCodePage(name);
    if (wide.empty()) return;
    desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, list.Put(), nullptr);
}

bool ShowFolderTree(const std::string& caption, const std::string& root, std::string& folder) {
    ItemIdList rootList;
    if (!root.empty()) ParseDisplayName(root, rootList);
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = nullptr;
    info.pidlRoot = rootList.Get();
    info.pszDisplayName = displayName;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;

    ItemIdList chosen;
    {
        ThreadWindowsDisabled disabled;
        *chosen.Put() = SHBrowseForFolderA(&info);
    }
    if (chosen.Get() == nullptr) return false;
    char path[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(chosen.Get(), path)) return false;
    folder = path;
    return true;
}

}  // namespace

void SetDialogTestHook(DialogTestHook hook) {
    TestHook() = std::move(hook);
}

std::string TitleFromModulePath(std::string_view path) {
    size_t nameStart = 0;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(path[i]);
        if (IsDBCSLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte may have the code of a backslash
        } else if (byte == '\\' || byte == '/' || byte == ':') {
            nameStart = i + 1;
        }
    }
    const std::string_view name = path.substr(nameStart);
    // A GBK trail byte is never below 0x40, so a "." byte is always a dot.
    return std::string(name.substr(0, name.find('.')));
}

std::string ApplicationTitle() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return TitleFromModulePath(std::string_view(path, length));
}

HWND Win32Dialogs::Owner() const {
    HWND active = GetActiveWindow();
    return active != nullptr ? active : appWindow_;
}

void Win32Dialogs::ShowInfo(const std::string& text, const std::string& caption) {
    if (TestHook()) {
        TestHook()({DialogKind::Info, text, caption, Owner()});
        return;
    }
    MessageBoxA(Owner(), text.c_str(), caption.c_str(), MB_ICONINFORMATION);
}

void Win32Dialogs::ShowPlainMessage(const std::string& text) {
    const std::string title = ApplicationTitle();
    if (TestHook()) {
        TestHook()({DialogKind::Plain, text, title, Owner()});
        return;
    }
    MessageBoxA(Owner(), text.c_str(), title.c_str(), MB_OK);
}

void Win32Dialogs::ShowError(const std::string& text) {
    const std::string report = ErrorReportText(text);
    const std::string title = ApplicationTitle();
    if (TestHook()) {
        TestHook()({DialogKind::Error, report, title, Owner()});
        return;
    }
    MessageBoxA(Owner(), report.c_str(), title.c_str(), MB_ICONERROR);
}

bool Win32Dialogs::BrowseForFolder(const std::string& caption, const std::string& root,
                                   std::string& folder) {
    folder.clear();
    if (TestHook()) {
        // The hook stands for the dialog alone; the windows are disabled
        // around it as around the real one.
        DialogAnswer answer;
        {
            ThreadWindowsDisabled disabled;
            answer = TestHook()({DialogKind::Folder, caption, "", nullptr});
        }
        if (answer.confirmed) folder = answer.path;
        return answer.confirmed;
    }
    return ShowFolderTree(caption, root, folder);
}

bool Win32Dialogs::PromptSaveFile(std::string& fileName) {
    if (TestHook()) {
        const DialogAnswer answer = TestHook()({DialogKind::SaveFile, fileName, "", Owner()});
        if (answer.confirmed) fileName = answer.path;
        return answer.confirmed;
    }
    char path[MAX_PATH] = {};
    fileName.copy(path, MAX_PATH - 1);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Owner();
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    // The dialog would otherwise leave the process in the folder it saved to,
    // and whatever is later named relative to the current folder would move.
    dialog.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog)) return false;
    fileName = path;
    return true;
}

}  // namespace querna::win32
