// Searches, filters, popup actions and the registration button, clicked
// through the main window created in-process under Wine's null display
// driver; modal boxes are answered by the dialogs' test hook.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <optional>
#include <stdexcept>

#include "platform/Error.h"
#include "results/FileProperties.h"
#include "support/TempTree.h"
#include "support/window_harness.h"
#include "tests/fakes/FileReadingMatchers.h"

namespace querna {
namespace {

using namespace querna::testing;
using win32::DialogKind;

// ---------------------------------------------------------------- searches

using WindowSearch = WindowSearchTest;

TEST_F(WindowSearch, NameSearchListsNameSizeTypeCreationDateAndFolder) {
    // Names that are no 8.3 names get a generated short name, which a name
    // search also matches; each kind gets a folder of its own.
    tree.AddFile("plain\\report.final.doc", "12345");
    tree.AddFile("plain\\Makefile", "all:");
    tree.AddFile("plain\\.profile", "");
    tree.AddFile("plain\\other.dat", "zz");
    const std::string gbkName = std::string("x").append(kTrailBackslashChar).append("y.txt");
    tree.AddFile("gbk\\sub\\" + gbkName, "GBK");
    const struct {
        const char* folder;
        std::string pattern;
        std::vector<std::vector<std::string>> rows;  // name, size, type, folder below the tree
    } cases[] = {
        {"plain",
         "i",
         {{".profile", "0", ".profile", "plain"},
          {"Makefile", "4", "", "plain"},
          {"report.final.doc", "5", ".doc", "plain"}}},
        {"gbk", kTrailBackslashChar, {{gbkName, "3", ".txt", "gbk\\sub"}}},
    };
    for (const auto& c : cases) {
        Search(c.pattern, "", tree.Path(c.folder));
        const auto rows = TableRows(form().lv1);
        ASSERT_EQ(rows.size(), c.rows.size()) << ::testing::PrintToString(TableNames(form().lv1));
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::vector<std::string> expected = {c.rows[i][0], c.rows[i][1], c.rows[i][2]};
            EXPECT_EQ(std::vector<std::string>(rows[i].begin(), rows[i].begin() + 3), expected);
            EXPECT_EQ(rows[i][4], Folder(c.rows[i][3])) << rows[i][0];
            EXPECT_EQ(rows[i][3], LocalCreationText(rows[i][4] + rows[i][0])) << rows[i][0];
        }
        EXPECT_EQ(StatusText(form().stat1, 1), std::to_string(c.rows.size()));
        EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");
    }
}

TEST_F(WindowSearch, BothBoxesEmptyEmptiesTheTableAndCompletes) {
    tree.AddFile("a.txt");
    Search("");
    EXPECT_TRUE(TableRows(form().lv1).empty());
    EXPECT_EQ(StatusText(form().stat1, 1), "0");
    EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");
}

TEST_F(WindowSearch, EmptyLocationAsksForOneAndLeavesTheTable) {
    SetText(form().edt1, "a");
    Click(form().btn1);
    ASSERT_EQ(harness.dialogs.calls.size(), 1u);
    EXPECT_TRUE(
        IsDialog(harness.dialogs.calls[0], DialogKind::Info, "请选择要搜索的目标目录.", "提示"));
    EXPECT_EQ(TableRows(form().lv1).size(), 2u);
}

// What cannot be searched is told in a "提示" box before anything changes:
// the earlier rows stay, and the search does not claim to have completed.
TEST_F(WindowSearch, LocationOrTextThatCannotBeSearchedIsToldAndNothingRuns) {
    tree.AddFile("a.txt");
    Search("a");
    ASSERT_EQ(TableRows(form().lv1).size(), 1u);
    SendMessageA(form().stat1, SB_SETTEXTA, 3, reinterpret_cast<LPARAM>(""));
    const struct {
        const char* what;
        std::string folder;
        std::wstring name;
        std::string message;
    } cases[] = {
        {"missing folder", tree.Path("nowhere"), L"a", "目标目录不存在: " + tree.Path("nowhere\\")},
        {"a file", tree.Path("a.txt"), L"a", "目标不是目录: " + tree.Path("a.txt\\")},
        {"blank location", "  ", L"a", "请选择要搜索的目标目录."},
        {"name outside the code page", tree.Root(), L"\xD55C\xAD6D",
         "文件名中有系统代码页不能表示的字符."},
    };
    for (const auto& c : cases) {
        harness.dialogs.calls.clear();
        SetText(LocationEdit(form()), c.folder);
        SetWindowTextW(form().edt1, c.name.c_str());
        Click(form().btn1);
        ASSERT_EQ(harness.dialogs.calls.size(), 1u) << c.what;
        EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], DialogKind::Info, c.message, "提示"))
            << c.what;
        EXPECT_EQ(TableRows(form().lv1).size(), 1u) << c.what;
        EXPECT_EQ(StatusText(form().stat1, 3), "") << c.what;
    }
}

TEST_F(WindowSearch, StopDuringTheWalkKeepsWhatWasFoundAndCompletes) {
    for (const char* file :
         {"A\\a1.txt", "A\\a2.txt", "B\\a3.txt", "B\\a4.txt", "a5.txt", "a6.txt"}) {
        tree.AddFile(file);
    }
    PostMessageA(form().Button2, BM_CLICK, 0, 0);  // pressed while the walk pumps messages
    Search("a");
    EXPECT_LT(TableRows(form().lv1).size(), 6u);
    EXPECT_EQ(form().State().StopRequested, kTrue);
    EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");

    Search("a");  // the next search clears the flag and finds everything
    EXPECT_EQ(TableRows(form().lv1).size(), 6u);
    EXPECT_EQ(form().State().StopRequested, kFalse);
}

TEST_F(WindowSearch, SearchClickedDuringASearchRunsNestedThenTheFirstResumes) {
    for (const char* file : {"A\\a1.txt", "B\\a2.txt", "a3.txt"}) tree.AddFile(file);
    TableLog log(form().lv1);
    PostMessageA(form().btn1, BM_CLICK, 0, 0);  // a second click, seen inside the first walk
    Search("a");
    // The nested run fills the table first; the first one then refills it.
    EXPECT_EQ(log.operations, "CIIICIII");
    EXPECT_EQ(TableNames(form().lv1), (std::vector<std::string>{"a1.txt", "a2.txt", "a3.txt"}));
    // Both runs count into the one shared count: the nested run restarted it
    // and the first run's walk went on counting after it.
    EXPECT_EQ(StatusText(form().stat1, 1), "6");
}

TEST_F(WindowSearch, SizeFilterKeepsFilesAboveTheThresholdInKilobytes) {
    for (const int size : {10240, 10245, 10246, 12293, 12294}) {
        tree.AddFile(std::string("s").append(std::to_string(size)), std::string(size, 'x'));
    }
    const std::vector<std::string> all = {"s10240", "s10245", "s10246", "s12293", "s12294"};
    const struct {
        bool on;
        const char* threshold;
        std::vector<std::string> kept;
    } cases[] = {
        {true, "10", {"s10246", "s12293", "s12294"}},
        {true, "12", {"s12294"}},
        {true, "12a", {"s12294"}},
        {true, "", all},
        {true, "0", all},
        {true, "-3", all},
        {false, "12", all},
    };
    for (const auto& c : cases) {
        if (IsChecked(form().chk5) != c.on) Click(form().chk5);
        SetText(form().edt3, c.threshold);
        Search("s");
        EXPECT_EQ(TableNames(form().lv1), c.kept) << c.threshold << (c.on ? " on" : " off");
    }
}

TEST_F(WindowSearch, DateFilterComparesFullDateTimesWithThePickersTimesOfDay) {
    tree.AddFile("dated.txt", "d");
    const SYSTEMTIME created = LocalCreationTime(tree.Path("dated.txt"));
    const double today =
        SystemTimeToDateTime({created.wYear, created.wMonth, 0, created.wDay, 0, 0, 0, 0});
    const double at =
        SystemTimeToDateTime({created.wYear, created.wMonth, 0, created.wDay, created.wHour,
                              created.wMinute, created.wSecond, created.wMilliseconds});
    const double fromTime = SystemTimeToDateTime({1899, 12, 0, 30, 22, 13, 48, 562});
    const double toTime = SystemTimeToDateTime({1899, 12, 0, 30, 22, 14, 20, 562});
    // Bounds as days relative to the file's creation; the pickers add their times of day.
    const std::pair<int, int> cases[] = {{-1, 1}, {1, 2}, {-2, -1}, {0, 0},
                                         {-1, 0}, {0, 1}, {1, -1}};
    Click(form().chk6);
    for (const auto& [fromDay, toDay] : cases) {
        SetPickerDate(form().dtp1, today + fromDay);
        SetPickerDate(form().dtp2, today + toDay);
        Search("dated");
        const bool kept =
            today + fromDay + fromTime <= at + 1e-9 && at <= today + toDay + toTime + 1e-9;
        EXPECT_EQ(TableRows(form().lv1).size(), kept ? 1u : 0u) << fromDay << ".." << toDay;
    }
}

class WindowSearchErrors : public WindowSearchTest {
  protected:
    WindowSearchErrors() : WindowSearchTest(&matchers) {}
    std::function<void()> fail;
    FailingMatchers matchers{[this] { fail(); }};
};

TEST_F(WindowSearchErrors, ErrorFromAHandlerIsReportedUnderTheProgramTitle) {
    tree.AddFile("broken.txt", "x");
    const struct {
        std::function<void()> fail;
        const char* text;
    } cases[] = {
        {[] { throw QuernaError("无法打开文档"); }, "无法打开文档."},
        {[] { throw std::runtime_error("Server busy."); }, "Server busy."},
        {[] { throw 42; }, "未知错误."},
    };
    for (const auto& c : cases) {
        fail = c.fail;
        harness.dialogs.calls.clear();
        Search("", "phrase");
        ASSERT_EQ(harness.dialogs.calls.size(), 1u) << c.text;
        EXPECT_TRUE(
            IsDialog(harness.dialogs.calls[0], DialogKind::Error, c.text, "window_search_test"));
        // The run ended at the failing file: no completion, the window lives on.
        EXPECT_EQ(StatusText(form().stat1, 3), tree.Path("broken.txt"));
        EXPECT_TRUE(IsWindow(form().Handle()));
    }
}

// The matchers a window reads text files with; a base of its own, so that
// they are made before the window and outlive it.
struct TextFileMatchers {
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    fakes::FileReadingMatchers matchers{fs, rules};
};

class WindowTextSearch : protected TextFileMatchers, public WindowSearchTest {
  protected:
    WindowTextSearch() : WindowSearchTest(&matchers) {}
};

TEST_F(WindowTextSearch, FileHeldOpenShowsThePlainMessageAndTheSearchGoesOn) {
    tree.AddFile("a.txt", "phrase\r\n");
    tree.AddFile("b.txt", "phrase\r\n");
    HANDLE held = CreateFileA(tree.Path("a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    Search("", "phrase");
    CloseHandle(held);
    ASSERT_EQ(harness.dialogs.calls.size(), 1u);
    EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], DialogKind::Plain, "打开文件错误",
                         "window_search_test"));
    EXPECT_EQ(TableNames(form().lv1), std::vector<std::string>{"b.txt"});
    EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");
}

// ---------------------------------------------------------------- popup actions

class WindowActions : public WindowSearchTest {
  protected:
    void Choose(int position) { ChooseMenuItem(form(), position); }
    enum { N1 = 0, N3 = 2, N5 = 4, N9 = 5, N4 = 6, N10 = 7 };  // menu positions
};

TEST_F(WindowActions, NoActionDoesAnythingWithoutResults) {
    tree.AddFile("a.txt");
    for (const bool searched : {false, true}) {
        if (searched) Search("nothing-matches");  // an empty table
        SelectRow(form().lv1, 0);
        PutOnClipboard(form().Handle(), "before");
        for (const int item : {N1, N3, N5, N9, N4, N10}) Choose(item);
        EXPECT_TRUE(harness.shell.opened.empty()) << searched;
        EXPECT_EQ(ClipboardText(), "before") << searched;
        EXPECT_TRUE(harness.dialogs.calls.empty()) << searched;
    }
}

TEST_F(WindowActions, RowActionsWorkOnTheSelectedRowOnly) {
    tree.AddFile("one.txt");
    tree.AddFile("sub\\two.txt");
    Search("o");
    ASSERT_EQ(TableNames(form().lv1), (std::vector<std::string>{"two.txt", "one.txt"}));
    PutOnClipboard(form().Handle(), "before");
    Choose(N5);  // nothing selected yet
    EXPECT_EQ(ClipboardText(), "before");

    SelectRow(form().lv1, 0);
    const std::pair<int, std::string> copies[] = {
        {N5, "two.txt"}, {N9, Folder("sub")}, {N4, Folder("sub") + "two.txt"}};
    for (const auto& [item, text] : copies) {
        Choose(item);
        EXPECT_EQ(ClipboardText(), text);
    }
    Choose(N1);
    Choose(N3);
    EXPECT_EQ(harness.shell.opened,
              (std::vector<std::string>{Folder("sub"), Folder("sub") + "two.txt"}));
}

TEST_F(WindowActions, NameEditedInPlaceIsWhatTheActionsUse) {
    tree.AddFile("old.txt");
    Search("old");
    HWND edit = reinterpret_cast<HWND>(SendMessageA(form().lv1, LVM_EDITLABELA, 0, 0));
    ASSERT_NE(edit, nullptr);
    SetWindowTextA(edit, "new.txt");
    // Enter, through the window's keyboard handling, ends the edit, which the window accepts.
    MSG enter{edit, WM_KEYDOWN, VK_RETURN, 0x001C0001, 0, {}};
    if (!form().PreTranslateMessage(enter)) DispatchMessageA(&enter);
    EXPECT_EQ(TableNames(form().lv1), std::vector<std::string>{"new.txt"});
    SelectRow(form().lv1, 0);
    Choose(N4);
    EXPECT_EQ(ClipboardText(), Folder() + "new.txt");
}

TEST_F(WindowActions, SaveWritesEveryRowAndProposesTheLastNameNextTime) {
    for (const char* file : {"a1.txt", "A\\a2.txt", "a3.txt"}) tree.AddFile(file);
    Search("a");
    const std::string list = tree.Path("list.txt");
    harness.dialogs.answers = {{true, list}, {true, list}};
    Choose(N10);  // no selection needed
    Choose(N10);  // replaces the file without asking
    EXPECT_EQ(ReadWholeFile(list),
              Folder("A") + "a2.txt\r\n" + Folder() + "a1.txt\r\n" + Folder() + "a3.txt\r\n");
    const auto& calls = harness.dialogs.calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(IsDialog(calls[0], DialogKind::SaveFile, "", ""));
    EXPECT_TRUE(IsDialog(calls[1], DialogKind::Info, "文件列表保存成功", "提示"));
    EXPECT_TRUE(IsDialog(calls[2], DialogKind::SaveFile, list, ""));
}

TEST_F(WindowActions, SaveThatCannotCreateTheFileIsReported) {
    tree.AddFile("a.txt");
    Search("a");
    harness.dialogs.answers = {{true, tree.Path("no-such-folder\\list.txt")}};
    Choose(N10);
    ASSERT_EQ(harness.dialogs.calls.size(), 2u);
    EXPECT_TRUE(
        IsDialog(harness.dialogs.calls[1], DialogKind::Error,
                 "无法写入文件 " + tree.Path("no-such-folder\\list.txt") + "：文件夹不存在.",
                 "window_search_test"));
}

// ---------------------------------------------------------------- registration, dialogs

TEST(WindowRegistration, MenuButtonRegistersTheFolderVerbAndConfirms) {
    WindowHarness harness;
    Click(harness.form().Button1);
    char program[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    EXPECT_EQ(ClassesRootDefault("Directory\\shell\\findext"), "青禾寻踪(&M)");
    EXPECT_EQ(ClassesRootDefault("Directory\\shell\\findext\\command"),
              std::string("\"").append(program).append("\" \"%1\""));
    ASSERT_EQ(harness.dialogs.calls.size(), 1u);
    EXPECT_TRUE(
        IsDialog(harness.dialogs.calls[0], DialogKind::Info, "已经加入系统右键菜单！", "提示"));
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Directory\\shell\\findext");
}

// A copy of this test program in a folder the code page cannot name runs the
// case below as its child: the command it would register could start nothing.
TEST(WindowRegistration, ProgramInAFolderOutsideTheCodePageIsRefused) {
    if (GetEnvironmentVariableA("QUERNA_REGISTRATION_CHILD", nullptr, 0) > 0) {
        WindowHarness harness;
        Click(harness.form().Button1);
        ASSERT_EQ(harness.dialogs.calls.size(), 1u);
        EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], DialogKind::Error,
                             "程序文件的路径中有系统代码页不能表示的字符, 无法加入系统右键菜单.",
                             "w"));
        EXPECT_EQ(ClassesRootDefault("Directory\\shell\\findext\\command"), "<missing>");
        return;
    }
    TempTree tree;
    const std::string root = tree.Root();  // ASCII: the temporary folder
    const std::wstring folder = std::wstring(root.begin(), root.end()) + L"\\\xD55C\xAD6D\xC5B4";
    const std::wstring copy = folder + L"\\w.exe";
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(self, copy.c_str(), TRUE));
    std::wstring command =
        L"\"" + copy +
        L"\" --gtest_filter=WindowRegistration.ProgramInAFolderOutsideTheCodePageIsRefused";
    SetEnvironmentVariableA("QUERNA_REGISTRATION_CHILD", "1");
    // The child's case is a part of this one: it writes no report of its own.
    char report[MAX_PATH] = {};
    const bool reporting = GetEnvironmentVariableA("GTEST_OUTPUT", report, MAX_PATH) > 0;
    SetEnvironmentVariableA("GTEST_OUTPUT", nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const bool started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &child);
    SetEnvironmentVariableA("QUERNA_REGISTRATION_CHILD", nullptr);
    if (reporting) SetEnvironmentVariableA("GTEST_OUTPUT", report);
    ASSERT_TRUE(started);
    WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(status, 0u);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Directory\\shell\\findext");
}

}  // namespace
}  // namespace querna
