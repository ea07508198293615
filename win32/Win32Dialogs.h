// The program's modal boxes and dialogs over user32, shell32 and comdlg32
// (ANSI functions, system code page).
//
// Every box is captioned, where the program does not give a caption itself,
// with the application's title: the program file's name up to its first ".".
//
// A process-wide test hook can take the place of every box and dialog, so that
// tests running the window in-process never block on a modal loop. It is the
// one piece of global state of the platform layer, and only tests set it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "platform/Dialogs.h"

namespace querna::win32 {

enum class DialogKind {
    Info,      // ShowInfo
    Plain,     // ShowPlainMessage
    Error,     // ShowError
    Folder,    // BrowseForFolder: text is the instruction above the tree
    SaveFile,  // PromptSaveFile: text is the proposed file name
};

// What a box would have shown, as the hook receives it.
struct DialogCall {
    DialogKind kind = DialogKind::Info;
    std::string text;
    std::string caption;  // empty for the folder and save dialogs
    HWND owner = nullptr;
};

// The hook's answer: for the folder and save dialogs, whether the user
// confirmed and the path chosen; ignored for the message boxes.
struct DialogAnswer {
    bool confirmed = false;
    std::string path;
};

using DialogTestHook = std::function<DialogAnswer(const DialogCall&)>;

// Installs `hook` in place of every box and dialog of the process; an empty
// function restores the real ones.
void SetDialogTestHook(DialogTestHook hook);

// The title for a program file path: its name after the last backslash,
// colon or slash (honouring GBK double-byte characters), up to its first ".".
std::string TitleFromModulePath(std::string_view path);

// The running program's title.
std::string ApplicationTitle();

class Win32Dialogs final : public Dialogs {
  public:
    // `appWindow` owns the boxes shown while no window of the thread is
    // active; it may be set later, once the main window exists.
    explicit Win32Dialogs(HWND appWindow = nullptr) : appWindow_(appWindow) {}
    void SetApplicationWindow(HWND window) { appWindow_ = window; }

    // Owner: the thread's active window, else the application's window.
    void ShowInfo(const std::string& text, const std::string& caption) override;
    void ShowPlainMessage(const std::string& text) override;
    void ShowError(const std::string& text) override;
    // SHBrowseForFolderA with no owner and BIF_RETURNONLYFSDIRS; the thread's
    // other windows are disabled while it is open and the window active before
    // is activated again afterwards. An empty root starts at the desktop.
    bool BrowseForFolder(const std::string& caption, const std::string& root,
                         std::string& folder) override;
    // GetSaveFileNameA proposing `fileName`: no filter, no default extension,
    // no question before replacing a file.
    bool PromptSaveFile(std::string& fileName) override;

  private:
    HWND Owner() const;

    HWND appWindow_;
};

}  // namespace querna::win32
