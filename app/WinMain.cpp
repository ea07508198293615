// Program start: the GUI thread enters a single-threaded COM apartment (the
// Office matchers need it), the common controls are registered, the Win32
// services are wired into the main window once, and the message loop runs
// until the window is closed. Nothing is saved at the end.
#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <exception>

#include "app/Form1.h"
#include "matchers/MatcherSet.h"
#include "win32/Handles.h"
#include "win32/Win32Dialogs.h"
#include "win32/WindowsServices.h"

namespace {

// The pause after each directory entry, examined file and added row, so the
// window stays responsive while a search runs.
constexpr int kSearchPauseMs = 50;

int RunProgram(HINSTANCE instance, int showCommand, querna::win32::Win32Dialogs& dialogs) {
    using namespace querna;
    win32::WindowsServices services;
    MatcherSet matchers(services.fs, services.rules, services.automation, &services.documents);

    TForm1 form(
        {services.fs, services.rules, dialogs, services.registry, services.files, &matchers},
        kSearchPauseMs);
    // A large document is read in one step of the search: the readers ask
    // the window between its chunks, so that Stop is heard within it.
    services.documents.stop = &form.DocumentStop();
    form.Create(instance);
    dialogs.SetApplicationWindow(form.Handle());
    form.Show(showCommand, GetCommandLineA());
    return form.RunMessageLoop();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // A drive without a medium (an empty floppy or card reader) must simply
    // list nothing, not stop a search with the system's "no disk" box.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    querna::win32::ComApartment apartment;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                       ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    querna::win32::Win32Dialogs dialogs;
    try {
        return RunProgram(instance, showCommand, dialogs);
    } catch (const std::exception& error) {
        dialogs.ShowError(error.what());  // the window could not even be made
    } catch (...) {
        dialogs.ShowError("未知错误");
    }
    return 1;
}
