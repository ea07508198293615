// The main window, TForm1: the criteria panel on the left, the results table
// on the right, the status bar below, the results popup menu. It owns the
// search state and wires the search engine, the search run, the table fill and
// the result actions to its controls; each handler is a few lines that call
// one of those operations.
//
// Every handler is entered through one dispatcher that catches whatever it
// throws and shows the standard error report; no exception leaves a window
// procedure. The window itself is the search's window (the inputs it reads,
// the status bar, the boxes, the message pump it is paced by), the view the
// table fill adds rows to, and the rows the popup actions read.
#pragma once

#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <string>

#include "app/LocationList.h"
#include "app/Win32Controls.h"
#include "platform/Clipboard.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/TextFileWriter.h"
#include "platform/TextRules.h"
#include "results/FileProperties.h"
#include "results/ResultActions.h"
#include "results/ResultTable.h"
#include "search/ContentMatchers.h"
#include "search/PumpingStopCheck.h"
#include "search/SearchEngine.h"
#include "search/SearchRun.h"
#include "search/SearchState.h"
#include "search/SearchWindow.h"

// <dlgs.h>, which <windows.h> pulls in, names the common dialogs' edit boxes
// edt1 .. edt16 as macros; the window's own controls keep their names.
#undef edt1
#undef edt2
#undef edt3
#undef edt4

namespace querna {

// The window property through which the location box's edit field finds its
// form when it is subclassed for typing completion.
inline constexpr char kFormProperty[] = "QuernaForm";

// The services the window works with, owned by its creator and alive as long
// as the window. A null shell or clipboard is replaced by the Win32 one, which
// the window makes (with itself as owner) when it is created.
struct FormServices {
    FileSystem& fs;
    TextRules& rules;
    Dialogs& dialogs;
    Registry& registry;
    TextFileWriter& files;
    ContentMatchers* matchers = nullptr;
    Shell* shell = nullptr;
    Clipboard* clipboard = nullptr;
};

class TForm1 final : public SearchWindow, public ResultTableView, public ResultRowsView {
  public:
    // Rows a drop-down list shows when it opens.
    static constexpr int kDropDownRows = 8;

    // Control and menu identifiers (WM_COMMAND, WM_NOTIFY).
    enum Id : int {
        idEdt1 = 101,
        idEdt2,
        idEdt3,
        idEdt4,
        idCbb1,
        idCbb2,
        idChk1,
        idChk2,
        idChk3,
        idChk4,
        idChk5,
        idChk6,
        idDtp1,
        idDtp2,
        idBtn1,
        idButton1,
        idButton2,
        idLv1,
        idStat1,
        idPnl2,
        idPnl3,
        idLabel,
        idN1 = 201,
        idN3,
        idN5,
        idN9,
        idN4,
        idN10,
    };

    // `pauseMs`: the pause after every directory entry, examined candidate and
    // added row of a search (50 in the program; tests pass less).
    TForm1(const FormServices& services, int pauseMs);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Creates the window and its controls, hidden, and runs FormCreate.
    // Throws QuernaError when the window cannot be made.
    void Create(HINSTANCE instance);
    // Shows the window and runs FormShow with `commandLine` (the process's
    // whole command line, program name first).
    void Show(int showCommand, const std::string& commandLine);
    // Dispatches messages until the window is closed; returns the exit code.
    int RunMessageLoop();
    // Keyboard navigation (Tab, arrow keys, access letters) for a message
    // taken from the queue; true when it was handled and must not be
    // dispatched again.
    bool PreTranslateMessage(MSG& message);

    HWND Handle() const { return hwnd_; }
    SearchState& State() { return state_; }
    // What the built-in document readers ask between chunks of a document:
    // the window's messages are pumped, so Stop can be clicked mid-document.
    StopCheck& DocumentStop() { return documentStop_; }
    // The face of the window's fonts (SimSun, or the stand-in chosen).
    const std::string& FontFace() const { return fontFace_; }

    // When shown: the first command-line argument becomes the location;
    // the stop flag is cleared. Public so that tests can give the line.
    void FormShow(const std::string& commandLine);

    // SearchWindow
    std::string LocationText() override;
    int LocationIndex() override;
    int TypeIndex() override;
    bool IsChecked(SearchSwitch box) override;
    std::string IgnoredFolderText() override;
    std::string NameText() override;
    std::string PhraseText() override;
    void SetStatusPanel(StatusPanel panel, const std::string& text) override;
    void ShowInfo(const std::string& text, const std::string& caption) override;
    void ReportUnreadable(const std::string& path) override;
    void ReportUnlistable(const std::string& folder) override;
    void FillResultTable(const ResultPathList& paths, bool empty) override;
    void ProcessMessages() override;
    void Pause(int milliseconds) override;

    std::string LocationItemText(int index);

    // ResultTableView
    void ClearRows() override;
    void AddRow(const ResultRow& row) override;
    ResultFilters ReadFilters() override;

    // ResultRowsView
    int RowCount() override;
    int SelectedRow() override;
    std::string RowName(int row) override;
    std::string RowFolder(int row) override;

    // The controls, named as in the layout.
    HWND pnl3 = nullptr, pnl2 = nullptr;
    HWND lbl1 = nullptr, lbl2 = nullptr, lbl6 = nullptr, lbl7 = nullptr, lbl9 = nullptr,
         lbl10 = nullptr, lbl12 = nullptr, lbl13 = nullptr, lbl14 = nullptr;
    HWND edt1 = nullptr, edt2 = nullptr, edt3 = nullptr, edt4 = nullptr;
    HWND cbb1 = nullptr, cbb2 = nullptr;
    HWND chk1 = nullptr, chk2 = nullptr, chk3 = nullptr, chk4 = nullptr, chk5 = nullptr,
         chk6 = nullptr;
    HWND dtp1 = nullptr, dtp2 = nullptr;
    HWND btn1 = nullptr, Button1 = nullptr, Button2 = nullptr;
    HWND lv1 = nullptr, stat1 = nullptr;
    HMENU pm1 = nullptr;
    HIMAGELIST il1 = nullptr;

  private:
    // Posted once a pick of the location list has been handled, so that the
    // messages still to come for the same pick are recognised as repeats.
    static constexpr UINT kPickHandled = WM_APP + 1;

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK LocationEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void DoCommand(int id, int code);
    LRESULT DoNotify(const NMHDR& header);

    // Runs one handler; whatever it throws goes to the standard error report.
    template <typename Handler>
    void Dispatch(Handler&& handler) noexcept {
        try {
            handler();
        } catch (const std::exception& error) {
            ReportError(error.what());
        } catch (...) {
            ReportError("未知错误");
        }
    }
    void ReportError(const char* text) noexcept;

    // Construction (Form1Controls.cpp).
    void CreateFonts();
    void CreateCriteriaPanel();
    void CreateCriteriaInputs();
    void CreateChecksAndButtons();
    void CreateResultsTable();
    void CreateStatusBar();
    void SetStatusParts();
    void CreatePopupMenu();
    void SetUpLocationBox();
    HWND MakeControl(const char* windowClass, const char* caption, DWORD style, int x, int y,
                     int width, int height, int id, HFONT font, HWND parent, DWORD exStyle = 0);
    void ArrangeControls();

    // Handlers (Form1Handlers.cpp).
    void FormCreate();
    void chk5Click();
    void chk6Click();
    void cbb1Click();
    void btn1Click();
    void Button1Click();
    void Button2Click();
    void N1Click();
    void N3Click();
    void N5Click();
    void N9Click();
    void N4Click();
    void N10Click();

    // The location box (Form1Location.cpp).
    void FillLocationList();
    void AddLocationItem(const LocationEntry& item);
    HWND LocationEdit() const;
    void SetLocationText(const std::string& text);
    void LocationPicked(int code);
    void CompleteLocationTyping();

    // Date pickers: the date comes from the control, the time of day is the
    // picker's own and survives every change of date.
    DateTime PickerValue(int picker);
    void PickerDateChanged(int picker, const NMDATETIMECHANGE& change);
    void ShowResultsMenu(LPARAM position);

    FormServices services_;
    int pauseMs_;
    SearchState state_;
    PumpingStopCheck documentStop_;
    SearchEngine engine_;
    SearchRun run_;
    std::unique_ptr<Shell> ownShell_;
    std::unique_ptr<Clipboard> ownClipboard_;
    std::unique_ptr<ResultActions> actions_;

    HWND hwnd_ = nullptr;
    bool destroyed_ = false;
    std::string fontFace_;
    win32::OwnedFont windowFont_, controlFont_, boldFont_, titleFont_;
    win32::OwnedMenu menu_;
    win32::OwnedImageList images_;
    win32::OwnedIcon bigIcon_, smallIcon_;
    std::array<SystemTime, 2> pickerValues_{};
    // The item a pick of the location list acted on, until the messages of
    // that pick have passed: a pick may be reported both as "selection ended"
    // and as "selection changed", and must open the folder dialog once.
    int pickedIndex_ = -1;
    WNDPROC locationEditProc_ = nullptr;
};

}  // namespace querna
