// Runs the main window in-process for tests: the window is created with the
// real Win32 services, except for a shell that records instead of opening,
// and every modal box or dialog is answered by a recorder installed as the
// dialogs' test hook. Helpers read and drive the controls through their
// window messages, as a user's clicks and keys would.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "support/TempTree.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32Registry.h"
#include "win32/Win32TextFileWriter.h"
#include "win32/Win32TextRules.h"

namespace querna::testing {

// "淺" in GBK is 0x9C 0x5C: its second byte has the code of a backslash.
inline constexpr char kTrailBackslashChar[] = "淺";
static_assert(sizeof kTrailBackslashChar == 3 && kTrailBackslashChar[1] == '\\');

// Records every box and dialog the program shows and answers the folder and
// save dialogs from a script (cancel when the script is empty).
class DialogRecorder {
  public:
    DialogRecorder();
    ~DialogRecorder();
    DialogRecorder(const DialogRecorder&) = delete;
    DialogRecorder& operator=(const DialogRecorder&) = delete;

    std::vector<win32::DialogCall> calls;
    std::deque<win32::DialogAnswer> answers;
    // Called while a folder dialog is "open", before it answers.
    std::function<void()> whileOpen;
};

class RecordingShell final : public Shell {
  public:
    void Open(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

// The main window and the services it runs on.
class WindowHarness {
  public:
    // `pauseMs`: the search pause; `matchers` the content matchers (none: a
    // phrase search finds nothing).
    explicit WindowHarness(int pauseMs = 0, ContentMatchers* matchers = nullptr,
                           const std::string& commandLine = "Querna.exe");
    ~WindowHarness();

    TForm1& form() { return *form_; }
    DialogRecorder dialogs;
    RecordingShell shell;

  private:
    win32::Win32FileSystem fs_;
    win32::Win32TextRules rules_;
    win32::Win32Dialogs win32Dialogs_;
    win32::Win32Registry registry_;
    win32::Win32TextFileWriter files_;
    std::unique_ptr<TForm1> form_;
};

// Records the row operations a list view receives while it lives: "C" for
// emptying the table, "I" for an inserted row.
class TableLog {
  public:
    explicit TableLog(HWND table);
    ~TableLog();
    TableLog(const TableLog&) = delete;
    TableLog& operator=(const TableLog&) = delete;
    std::string operations;

  private:
    static LRESULT CALLBACK Proc(HWND table, UINT message, WPARAM wParam, LPARAM lParam);
    HWND table_;
    WNDPROC original_;
};

// Content matchers that fail the way a broken document does.
class FailingMatchers final : public ContentMatchers {
  public:
    explicit FailingMatchers(std::function<void()> fail) : fail_(std::move(fail)) {}
    MatchVerdict MatchWordDocument(const std::string&, const std::string&) override {
        return Fail();
    }
    MatchVerdict MatchExcelWorkbook(const std::string&, const std::string&) override {
        return Fail();
    }
    MatchVerdict MatchPowerPointPresentation(const std::string&, const std::string&) override {
        return Fail();
    }
    MatchVerdict MatchTextFile(const std::string&, const std::string&) override { return Fail(); }

  private:
    MatchVerdict Fail() {
        fail_();
        return MatchVerdict::Found;
    }
    std::function<void()> fail_;
};

// A temporary folder tree, removed with its contents. Its name holds the
// time of its making: process ids repeat from one Wine run to the next, so a
// name made of them alone could meet a folder another program left behind.
class WindowTree {
  public:
    WindowTree();
    ~WindowTree();
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;
    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
    // Creates the file and the folders above it; names may hold GBK text.
    void AddFile(const std::string& relative, const std::string& content = "");

  private:
    std::string root_;
};

// A window with a small search pause and a temporary tree to search.
class WindowSearchTest : public ::testing::Test {
  protected:
    explicit WindowSearchTest(ContentMatchers* matchers = nullptr) : harness(1, matchers) {}
    TForm1& form() { return harness.form(); }
    // The Search button with `name` and `phrase` in their boxes and `folder`
    // (the tree when empty) typed in as the location.
    void Search(const std::string& name, const std::string& phrase = "", std::string folder = "");
    // A folder of the tree as the table shows it, with its trailing backslash.
    std::string Folder(const std::string& sub = "") const;

    WindowTree tree;
    WindowHarness harness;
};

// ---- Driving and reading controls

std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
// BM_CLICK: presses a button or toggles a check box, with its notification.
void Click(HWND button);
bool IsChecked(HWND box);
// Picks item `index` of the location box as the user does from its list:
// selection, then the "selection ended" notification to the box's parent.
void PickLocation(TForm1& form, int index);
// The caption of every item of a combo box (plain or extended).
std::vector<std::string> ComboItems(HWND combo);
std::string StatusText(HWND bar, int panel);
// All rows of a list view as cells (name, size, type, date, folder).
std::vector<std::vector<std::string>> TableRows(HWND table);
// The names of the rows, in order.
std::vector<std::string> TableNames(HWND table);
// Sends WM_COMMAND for a menu item as its click does.
void ChooseMenuItem(TForm1& form, int position);
// The text on the clipboard as CF_TEXT; empty when there is none.
std::string ClipboardText();
void PutOnClipboard(HWND owner, const std::string& text);
// Selects one row of a list view, as a click does.
void SelectRow(HWND table, int row);
// The edit box inside the location box.
HWND LocationEdit(TForm1& form);
// One item of the location box.
struct LocationBoxItem {
    std::string caption;
    int image = -1, selectedImage = -1, overlay = -1, indent = -1;
    friend bool operator==(const LocationBoxItem&, const LocationBoxItem&) = default;
};
LocationBoxItem LocationItemOf(TForm1& form, int index);
// Where a control lies inside `parent`'s client area.
RECT RectIn(HWND control, HWND parent);
LOGFONTA FontOf(HWND control);
std::string ClassOf(HWND window);
// A file's creation time in local time, read without the program's code,
// and as the table shows it ("YYYY-MM-DD HH:MM:SS").
SYSTEMTIME LocalCreationTime(const std::string& path);
std::string LocalCreationText(const std::string& path);
// Whether a font face is installed.
bool FaceInstalled(const char* face);
// The letters of the drives whose root is removable or fixed, in order.
std::string LocalDiskLetters();
// The caption and width of every column of a list view.
std::vector<std::pair<std::string, int>> TableColumns(HWND table);
// The captions of a menu's items, "-" for a separator, and "(off)" after
// the caption of an item that is disabled or grayed.
std::vector<std::string> MenuItems(HMENU menu);
// How many characters of a control's caption its own font has no glyph for.
int MissingGlyphs(HWND control);
// Puts a date (its time of day ignored) into a date picker, as the control
// holds a picked date: at midnight.
void SetPickerDate(HWND picker, double date);
// The places of the main window's regions, for layout checks.
struct FormGeometry {
    RECT client, pnl2, pnl3, lv1, stat1, lastPanel;
    int edges[4];
};
FormGeometry MeasureForm(TForm1& form);
// Whether a recorded box is of `kind` with `text` and `caption`.
::testing::AssertionResult IsDialog(const win32::DialogCall& call, win32::DialogKind kind,
                                    const std::string& text, const std::string& caption);
// The default value of a key below HKEY_CLASSES_ROOT; "<missing>" if none.
std::string ClassesRootDefault(const std::string& key);

}  // namespace querna::testing
