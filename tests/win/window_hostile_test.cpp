// What a careless or mischievous user can put into the main window: relative
// and garbled locations, names no file can bear, device names as the saved
// list, a close in the middle of a search. The window is created in-process
// under Wine's null display driver; modal boxes are answered by the test hook.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <functional>

#include "support/window_harness.h"

namespace querna {
namespace {

using namespace querna::testing;
using win32::DialogKind;

std::wstring Wide(const std::string& ansi) {
    std::wstring wide(ansi.size(), L'\0');
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return wide;
}

// Restores the process's current folder (and its drive's) when it ends.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& folder) {
        GetCurrentDirectoryA(MAX_PATH, saved_);
        SetCurrentDirectoryA(folder.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryA(saved_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

  private:
    char saved_[MAX_PATH] = {};
};

using WindowHostile = WindowSearchTest;

TEST_F(WindowHostile, RelativeLocationIsSearchedAndListedAsItsFullPath) {
    tree.AddFile("sub\\a.txt");
    const std::string drive = tree.Root().substr(0, 2);
    const std::string rooted = tree.Root().substr(2) + "\\sub";
    const char* other = "C:\\windows";
    for (const std::string& typed : {std::string("sub"), std::string(".\\sub"),
                                     std::string("  sub\\ "), drive + "sub", rooted}) {
        {
            CurrentFolder here(tree.Root());
            Search("a", "", typed);
        }
        // The current folder changes after the search.
        CurrentFolder elsewhere(other);
        const auto rows = TableRows(form().lv1);
        ASSERT_EQ(rows.size(), 1u) << typed;
        EXPECT_EQ(rows[0][4], Folder("sub")) << typed;
        SelectRow(form().lv1, 0);
        ChooseMenuItem(form(), 6);  // copy the full path
        EXPECT_EQ(ClipboardText(), Folder("sub") + "a.txt") << typed;
    }
}

// Text that the code page cannot hold comes out of the box as '?': a folder
// so named is reported missing although it exists, and a skipped name so
// garbled matches nothing and skips nothing. Both are refused up front.
TEST_F(WindowHostile, LocationOrSkippedNameOutsideTheCodePageIsRefused) {
    const std::wstring korean = L"\xD55C\xAD6D";
    tree.AddFile("a.txt");
    ASSERT_TRUE(CreateDirectoryW((Wide(tree.Root()) + L"\\" + korean).c_str(), nullptr));
    Search("a");
    ASSERT_EQ(TableNames(form().lv1), std::vector<std::string>{"a.txt"});
    const struct {
        const char* what;
        std::wstring location, skipped;
        const char* message;
    } cases[] = {
        {"location", Wide(tree.Root()) + L"\\" + korean, L"",
         "文件目录中有系统代码页不能表示的字符."},
        {"skipped name", Wide(tree.Root()), korean, "忽略的子目录名中有系统代码页不能表示的字符."},
    };
    for (const auto& c : cases) {
        harness.dialogs.calls.clear();
        SendMessageA(form().stat1, SB_SETTEXTA, 3, reinterpret_cast<LPARAM>(""));
        SetText(form().edt1, "a");
        SetWindowTextW(LocationEdit(form()), c.location.c_str());
        SetWindowTextW(form().edt4, c.skipped.c_str());
        Click(form().btn1);
        ASSERT_EQ(harness.dialogs.calls.size(), 1u) << c.what;
        EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], DialogKind::Info, c.message, "提示"))
            << c.what;
        EXPECT_EQ(TableNames(form().lv1), std::vector<std::string>{"a.txt"}) << c.what;
        EXPECT_EQ(StatusText(form().stat1, 3), "") << c.what;
    }
}

// Windows takes these names, in any folder and with any extension, for its
// devices: the list would be written nowhere.
TEST_F(WindowHostile, SavingToADeviceNameIsAnErrorNotASuccess) {
    tree.AddFile("a.txt");
    Search("a");
    for (const char* name : {"nul.txt", "aux.log", "NUL", "com1.txt"}) {
        harness.dialogs.calls.clear();
        harness.dialogs.answers = {{true, tree.Path(name)}};
        ChooseMenuItem(form(), 7);  // save the list
        ASSERT_EQ(harness.dialogs.calls.size(), 2u) << name;
        EXPECT_TRUE(IsDialog(harness.dialogs.calls[1], DialogKind::Error,
                             "无法写入文件 " + tree.Path(name) + "：文件名无效或是设备名.",
                             "window_hostile_test"))
            << name;
    }
}

// The actions join the edited name to the row's folder: a name that no file
// can bear would have them open or copy another path than the row's.
TEST_F(WindowHostile, InPlaceNameThatNoFileCanBearIsRefused) {
    tree.AddFile("old.txt");
    Search("old");
    const std::string trailBackslash = std::string("x").append(kTrailBackslashChar).append(".txt");
    const struct {
        std::string typed;
        bool kept;
    } cases[] = {
        {"..\\setup.exe", false}, {"sub\\old.txt", false}, {"", false},
        {"c:old.txt", false},     {"a/b.txt", false},      {"*.txt", false},
        {"a|b.txt", false},       {"..", false},           {".", false},
        {"new.txt.", false},      {"new.txt ", false},     {"nul", false},
        {"Com1.txt", false},      {"lpt9", false},         {"new.txt", true},
        {"com10.txt", true},      {"console.txt", true},   {trailBackslash, true},
    };
    std::string name = "old.txt";
    for (const auto& c : cases) {
        HWND edit = reinterpret_cast<HWND>(SendMessageA(form().lv1, LVM_EDITLABELA, 0, 0));
        ASSERT_NE(edit, nullptr) << c.typed;
        SetWindowTextA(edit, c.typed.c_str());
        MSG enter{edit, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
        if (!form().PreTranslateMessage(enter)) DispatchMessageA(&enter);
        if (c.kept) name = c.typed;
        EXPECT_EQ(TableNames(form().lv1), std::vector<std::string>{name}) << c.typed;
        SelectRow(form().lv1, 0);
        ChooseMenuItem(form(), 6);  // copy the full path
        EXPECT_EQ(ClipboardText(), Folder() + name) << c.typed;
    }
}

// Counts the files examined and, at the first, does what the test asks.
class ProbingMatchers final : public ContentMatchers {
  public:
    MatchVerdict MatchWordDocument(const std::string&, const std::string&) override {
        return Examine();
    }
    MatchVerdict MatchExcelWorkbook(const std::string&, const std::string&) override {
        return Examine();
    }
    MatchVerdict MatchPowerPointPresentation(const std::string&, const std::string&) override {
        return Examine();
    }
    MatchVerdict MatchTextFile(const std::string&, const std::string&) override {
        return Examine();
    }
    int examined = 0;
    std::function<void()> atFirst;

  private:
    MatchVerdict Examine() {
        if (++examined == 1 && atFirst) atFirst();
        return MatchVerdict::Found;
    }
};

// Closing the window in the middle of a search ends it: nothing more is
// examined, no box appears for a window that is gone, nothing crashes.
TEST(WindowClosedDuringSearch, SearchEndsQuietly) {
    WindowTree tree;
    for (const char* file : {"A\\a1.txt", "B\\a2.txt", "a3.txt"}) tree.AddFile(file, "x");
    ProbingMatchers matchers;
    for (const bool contentPass : {false, true}) {
        WindowHarness window(1, &matchers);
        TForm1& form = window.form();
        matchers.examined = 0;
        if (contentPass) {
            matchers.atFirst = [&form] { SendMessageA(form.Handle(), WM_CLOSE, 0, 0); };
        } else {
            PostMessageA(form.Handle(), WM_CLOSE, 0, 0);  // seen inside the walk
        }
        SetText(form.edt1, contentPass ? "" : "a");
        SetText(form.edt2, contentPass ? "x" : "");
        SetText(LocationEdit(form), tree.Root());
        Click(form.btn1);
        EXPECT_FALSE(IsWindow(form.Handle())) << contentPass;
        EXPECT_TRUE(window.dialogs.calls.empty()) << contentPass;
        // The pass examined no file after the one during which it closed.
        if (contentPass) {
            EXPECT_EQ(matchers.examined, 1);
        }
    }
}

}  // namespace
}  // namespace querna
