// The main window, created in-process under Wine's null display driver and
// driven through its controls; modal boxes are answered by the dialogs' test
// hook, which records their text and caption.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <optional>
#include <stdexcept>
#include <tuple>

#include "app/CommandLine.h"
#include "app/LocationList.h"
#include "platform/Error.h"
#include "results/FileProperties.h"
#include "support/window_harness.h"

namespace querna {
namespace {

using namespace querna::testing;
using win32::DialogKind;

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

// ---------------------------------------------------------------- layout

TEST(WindowLayout, WindowHasItsCaptionPlaceSizeIconAndButtonFaceBackground) {
    WindowHarness harness;
    HWND window = harness.form().Handle();
    EXPECT_EQ(Text(window), "Querna 青禾寻踪");
    RECT outer{};
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 209);
    EXPECT_EQ(outer.top, 125);
    EXPECT_EQ(Width(outer), 930);
    EXPECT_EQ(Height(outer), 588);
    const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), COLOR_BTNFACE + 1);
    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageA(window, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST(WindowLayout, CriteriaControlsHaveTheirClassCaptionPlaceAndFont) {
    const struct {
        HWND TForm1::*member;
        const char* windowClass;
        const char* caption;
        int left, top, width, fontPixels;
        bool bold;
    } cases[] = {
        {&TForm1::lbl2, "QuernaLabel", "按下面任何或所有标准进行搜索。", 16, 15, 230, 13, true},
        {&TForm1::lbl1, "QuernaLabel", "查找什么？全部或部分文件名(&O):", 16, 37, 218, 12, false},
        {&TForm1::edt1, "Edit", "", 16, 52, 218, 12, false},
        {&TForm1::lbl6, "QuernaLabel", "文件中的一个词或词组(&W):", 16, 82, 218, 12, false},
        {&TForm1::edt2, "Edit", "", 16, 97, 218, 12, false},
        {&TForm1::lbl7, "QuernaLabel", "选择文件目录，在这里寻找(&L):", 16, 127, 218, 12, false},
        {&TForm1::cbb1, "ComboBoxEx32", "", 16, 144, 218, 12, false},
        {&TForm1::lbl13, "QuernaLabel", "文件类型或扩展名(&E)", 16, 174, 218, 12, false},
        {&TForm1::cbb2, "ComboBox", "", 16, 190, 218, 12, false},
        {&TForm1::chk6, "Button", "文件日期", 16, 216, 100, 12, false},
        {&TForm1::lbl9, "QuernaLabel", "从：", 36, 242, 24, 12, false},
        {&TForm1::dtp1, "SysDateTimePick32", "2010-04-29", 60, 238, 174, 12, false},
        {&TForm1::lbl10, "QuernaLabel", "至：", 36, 266, 24, 12, false},
        {&TForm1::dtp2, "SysDateTimePick32", "2010-04-29", 60, 262, 174, 12, false},
        {&TForm1::chk5, "Button", "文件大小", 16, 294, 72, 12, false},
        {&TForm1::lbl12, "QuernaLabel", "KB计算(列出大于此值的文件)", 90, 296, 162, 12, false},
        {&TForm1::edt3, "Edit", "", 16, 315, 203, 12, false},
        {&TForm1::chk1, "Button", "搜索系统文件夹(&Y)", 16, 344, 200, 12, true},
        {&TForm1::chk2, "Button", "搜索隐藏的文件和文件夹", 16, 367, 200, 12, true},
        {&TForm1::chk3, "Button", "搜索子文件夹(&U)", 16, 389, 200, 12, true},
        {&TForm1::chk4, "Button", "搜索只读文件(&C)", 16, 412, 140, 12, false},
        {&TForm1::btn1, "Button", "搜索(&F)", 166, 423, 68, 14, false},
        {&TForm1::lbl14, "QuernaLabel", "搜索中忽略的子目录名:", 16, 441, 140, 12, false},
        {&TForm1::edt4, "Edit", "", 16, 456, 124, 12, false},
        {&TForm1::Button2, "Button", "停止搜索", 165, 483, 69, 14, false},
        {&TForm1::Button1, "Button", "加入系统右键菜单", 16, 488, 121, 12, false},
    };
    WindowHarness harness;
    TForm1& form = harness.form();
    for (const auto& c : cases) {
        HWND control = form.*c.member;
        const std::string name = std::string(c.windowClass) + " at " + std::to_string(c.top);
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(GetParent(control), form.pnl2) << name;
        EXPECT_STRCASEEQ(ClassOf(control).c_str(), c.windowClass) << name;
        EXPECT_EQ(c.member == &TForm1::cbb1 ? form.LocationText() : Text(control), c.caption)
            << name;
        const RECT place = RectIn(control, form.pnl2);
        EXPECT_EQ(place.left, c.left) << name;
        EXPECT_EQ(place.top, c.top) << name;
        EXPECT_EQ(Width(place), c.width) << name;
        const LOGFONTA font = FontOf(control);
        EXPECT_EQ(font.lfHeight, -c.fontPixels) << name;
        EXPECT_EQ(font.lfWeight, c.bold ? FW_BOLD : FW_NORMAL) << name;
        EXPECT_STREQ(font.lfFaceName, form.FontFace().c_str()) << name;
    }
    EXPECT_EQ(Height(RectIn(form.btn1, form.pnl2)), 53);
    EXPECT_EQ(Height(RectIn(form.Button2, form.pnl2)), 27);
    EXPECT_EQ(Height(RectIn(form.Button1, form.pnl2)), 19);
}

TEST(WindowLayout, InputsStartWithTheirDefaults) {
    WindowHarness harness;
    TForm1& form = harness.form();
    for (HWND edit : {form.edt1, form.edt2, form.edt3, form.edt4, form.cbb2})
        EXPECT_EQ(Text(edit), "");
    EXPECT_EQ(form.LocationText(), "");
    EXPECT_EQ(form.LocationIndex(), -1);
    EXPECT_EQ(form.TypeIndex(), -1);
    for (HWND box : {form.chk1, form.chk2, form.chk3, form.chk4}) EXPECT_TRUE(IsChecked(box));
    for (HWND box : {form.chk5, form.chk6}) EXPECT_FALSE(IsChecked(box));
    for (HWND input : {form.dtp1, form.dtp2, form.edt3}) EXPECT_FALSE(IsWindowEnabled(input));
    for (HWND input : {form.edt1, form.edt2, form.cbb1, form.cbb2, form.edt4, form.btn1,
                       form.Button1, form.Button2, form.chk5, form.chk6}) {
        EXPECT_TRUE(IsWindowEnabled(input));
    }
    EXPECT_EQ(form.State().StopRequested, kFalse);
    const ResultFilters filters = form.ReadFilters();
    EXPECT_FALSE(filters.sizeOn);
    EXPECT_FALSE(filters.dateOn);
    EXPECT_NEAR(filters.from, SystemTimeToDateTime({2010, 4, 0, 29, 22, 13, 48, 562}), 1e-9);
    EXPECT_NEAR(filters.to, SystemTimeToDateTime({2010, 4, 0, 29, 22, 14, 20, 562}), 1e-9);
}

TEST(WindowLayout, TabVisitsTheInputsInLayoutOrderThenTheTable) {
    WindowHarness harness;
    TForm1& form = harness.form();
    Click(form.chk5);  // disabled inputs take no focus
    Click(form.chk6);
    const std::vector<std::pair<HWND, const char*>> order = {
        {form.edt1, "edt1"},       {form.edt2, "edt2"},       {form.dtp1, "dtp1"},
        {form.dtp2, "dtp2"},       {form.edt3, "edt3"},       {form.chk1, "chk1"},
        {form.chk2, "chk2"},       {form.chk3, "chk3"},       {form.chk4, "chk4"},
        {form.cbb2, "cbb2"},       {form.edt4, "edt4"},       {form.btn1, "btn1"},
        {form.cbb1, "cbb1"},       {form.chk5, "chk5"},       {form.chk6, "chk6"},
        {form.Button1, "Button1"}, {form.Button2, "Button2"}, {form.lv1, "lv1"},
        {form.edt1, "edt1 again"},
    };
    for (size_t i = 1; i < order.size(); ++i) {
        EXPECT_EQ(GetNextDlgTabItem(form.Handle(), order[i - 1].first, FALSE), order[i].first)
            << "after " << order[i - 1].second << " expected " << order[i].second;
    }
}

TEST(WindowLayout, ListsTableStatusBarMenuAndImagesAreSetUp) {
    WindowHarness harness;
    TForm1& form = harness.form();
    EXPECT_EQ(ComboItems(form.cbb2),
              (std::vector<std::string>{
                  "Microsoft Word(*.doc,*.docx)", "Microsoft Excel(*.xls,*.xlsx)",
                  "Microsoft PowerPoint(*.ppt,*.pptx)", "Text File (*.txt)", "All File (*.*)"}));
    // Both drop-down lists open eight rows high.
    HWND location = reinterpret_cast<HWND>(SendMessageA(form.cbb1, CBEM_GETCOMBOCONTROL, 0, 0));
    for (HWND combo : {location, form.cbb2}) {
        RECT dropped{};
        SendMessageA(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
        EXPECT_EQ(Height(dropped), 8 * SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0) + 2);
    }
    EXPECT_EQ(
        TableColumns(form.lv1),
        (std::vector<std::pair<std::string, int>>{
            {"名称", 260}, {"大小(B)", 90}, {"类型", 70}, {"修改日期", 200}, {"文件路径", 260}}));
    const LONG_PTR style = GetWindowLongPtrA(form.lv1, GWL_STYLE);
    EXPECT_EQ(style & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_EDITLABELS),
              LVS_REPORT | LVS_SINGLESEL | LVS_EDITLABELS);
    const LRESULT extended = SendMessageA(form.lv1, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), LVS_EX_GRIDLINES);
    EXPECT_EQ(TableRows(form.lv1),
              std::vector<std::vector<std::string>>(2, std::vector<std::string>(5)));

    int edges[8] = {};
    ASSERT_EQ(SendMessageA(form.stat1, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 4);
    EXPECT_EQ(std::vector<int>(edges, edges + 3), (std::vector<int>{70, 130, 220}));
    const std::string texts[] = {"已找到目标：", "", "正在查找文件：", ""};
    for (int panel = 0; panel < 4; ++panel) EXPECT_EQ(StatusText(form.stat1, panel), texts[panel]);
    EXPECT_EQ(Height(RectIn(form.stat1, form.Handle())), 19);

    EXPECT_EQ(MenuItems(form.pm1),
              (std::vector<std::string>{"打开所在的文件夹", "-", "打开", "-", "复制文件名",
                                        "复制路径", "复制全路径", "保存文件列表"}));

    EXPECT_EQ(ImageList_GetImageCount(form.il1), 8);
    int width = 0, height = 0;
    ImageList_GetIconSize(form.il1, &width, &height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
    EXPECT_EQ(SendMessageA(form.cbb1, CBEM_GETIMAGELIST, 0, 0),
              reinterpret_cast<LRESULT>(form.il1));
}

TEST(WindowLayout, FontDrawsEveryCaptionAndIsSimSunWhereInstalled) {
    WindowHarness harness;
    TForm1& form = harness.form();
    if (FaceInstalled("SimSun")) {
        EXPECT_TRUE(form.FontFace() == "SimSun" || form.FontFace() == "宋体");
    }
    for (HWND control : {form.lbl1, form.lbl2, form.lbl6, form.lbl7, form.lbl12, form.lbl14,
                         form.chk2, form.btn1, form.Button1, form.Button2}) {
        EXPECT_EQ(MissingGlyphs(control), 0) << Text(control);
    }
}

TEST(WindowLayout, PanelsFrameTheCriteriaAndOnlyTheTableGrowsWithTheWindow) {
    WindowHarness harness;
    TForm1& form = harness.form();
    const FormGeometry before = MeasureForm(form);
    EXPECT_EQ(before.pnl3.left, 0);
    EXPECT_EQ(Width(before.pnl3), 285);
    EXPECT_EQ(before.pnl3.bottom, before.client.bottom - 19);
    const RECT inner{15, 15, 15 + 255, 15 + 514};
    EXPECT_TRUE(EqualRect(&before.pnl2, &inner));
    EXPECT_EQ(before.lv1.left, 285);
    EXPECT_EQ(before.lv1.right, before.client.right);
    EXPECT_EQ(before.lv1.bottom, before.stat1.top);
    EXPECT_EQ(before.stat1.bottom, before.client.bottom);

    // The null driver's screen is small: make room by moving to its corner.
    SetWindowPos(form.Handle(), nullptr, 0, 0, 930 + 60, 588 + 40, SWP_NOZORDER);
    const FormGeometry after = MeasureForm(form);
    const int wider = Width(after.client) - Width(before.client);
    const int taller = Height(after.client) - Height(before.client);
    ASSERT_GT(wider, 0);
    ASSERT_GT(taller, 0);
    EXPECT_TRUE(EqualRect(&after.pnl2, &before.pnl2));
    EXPECT_EQ(Width(after.pnl3), Width(before.pnl3));
    EXPECT_EQ(Height(after.pnl3), Height(before.pnl3) + taller);
    EXPECT_EQ(Width(after.lv1), Width(before.lv1) + wider);
    EXPECT_EQ(Height(after.lv1), Height(before.lv1) + taller);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(after.edges[i], before.edges[i]) << i;
    EXPECT_EQ(Width(after.lastPanel), Width(before.lastPanel) + wider);
}

// ---------------------------------------------------------------- start-up

TEST(CommandLine, SplitsAtBlanksOutsideQuotesAndDropsTheQuotes) {
    const struct {
        const char* line;
        std::vector<std::string> pieces;
    } cases[] = {
        {"", {}},
        {"Querna.exe", {"Querna.exe"}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"C:\\Q R\\Querna.exe\"  \"D:\\My Files\"\tx",
         {"C:\\Q R\\Querna.exe", "D:\\My Files", "x"}},
        {"a b\"c d\"e f", {"a", "bc de", "f"}},
        {"a \"unclosed rest", {"a", "unclosed rest"}},
        {"a 表\\格", {"a", "表\\格"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.pieces) << c.line;
}

TEST(WindowStart, FirstArgumentBecomesTheLocationAndTheLastItemAndTheStopFlagClears) {
    const struct {
        const char* line;
        std::optional<std::string> folder;
    } cases[] = {
        {"Querna.exe", std::nullopt},
        {"\"C:\\Program Files\\Querna.exe\" \"C:\\My Files\\a b\"", "C:\\My Files\\a b"},
        {"Querna.exe D:\\first E:\\second \"F:\\third\"", "D:\\first"},
        {"Querna.exe \"\" D:\\after-empty", std::nullopt},
        {"Querna.exe not-even-a-folder.txt", "not-even-a-folder.txt"},
    };
    for (const auto& c : cases) {
        WindowHarness harness;
        TForm1& form = harness.form();
        form.State().StopRequested = kTrue;
        form.FormShow(c.line);
        EXPECT_EQ(form.State().StopRequested, kFalse) << c.line;
        EXPECT_EQ(form.LocationIndex(), -1) << c.line;
        const std::vector<std::string> items = ComboItems(form.cbb1);
        const size_t fixed = BuildLocationItems(form.State().LocalDriveLetters).size();
        EXPECT_EQ(form.LocationText(), c.folder.value_or("")) << c.line;
        ASSERT_EQ(items.size(), fixed + (c.folder ? 1 : 0)) << c.line;
        if (!c.folder) {
            EXPECT_EQ(items.back(), "浏览...");
            continue;
        }
        EXPECT_TRUE(LocationItemOf(form, static_cast<int>(fixed)) ==
                    (LocationBoxItem{*c.folder, 6, 6, 6, 0}));
    }
}

// ---------------------------------------------------------------- location box

TEST(LocationList, ItemsFollowTheLocalDisks) {
    const struct {
        const char* letters;
        std::vector<std::string> disks;
    } cases[] = {
        {"", {"本地硬盘()"}},
        {"CD", {"本地硬盘(C:;D:;)", "本地磁盘(C:)", "本地磁盘(D:)"}},
        {"AC", {"本地硬盘(A:;C:;)", "本地磁盘(A:)", "本地磁盘(C:)"}},
    };
    for (const auto& c : cases) {
        using Item = std::tuple<std::string, int, int>;  // caption, image, indent
        std::vector<Item> expected = {{"我的文档", 0, 0},
                                      {"桌面", 3, 0},
                                      {"我的电脑", 4, 0},
                                      {"临时文件", 6, 3},
                                      {"IE缓存", 7, 3}};
        for (const std::string& disk : c.disks) expected.push_back({disk, 5, 3});
        expected.push_back({"浏览...", 6, 0});
        std::vector<Item> built;
        for (const LocationEntry& item : BuildLocationItems(c.letters)) {
            built.emplace_back(item.caption, item.image, item.indent);
        }
        EXPECT_EQ(built, expected) << c.letters;
    }
}

TEST(LocationList, WindowListsTheLocalDisksOfThisMachine) {
    const std::string letters = LocalDiskLetters();
    std::string driveString;
    for (const char letter : letters) driveString += std::string{letter} + ":;";
    ASSERT_FALSE(letters.empty()) << "a Wine prefix has at least drive C:";
    WindowHarness harness;
    TForm1& form = harness.form();
    EXPECT_EQ(form.State().LocalDriveLetters, letters);
    EXPECT_EQ(form.State().LocalDriveCount, static_cast<int>(letters.size()));
    std::vector<std::string> expected = {"我的文档", "桌面",   "我的电脑",
                                         "临时文件", "IE缓存", "本地硬盘(" + driveString + ")"};
    for (const char letter : letters) expected.push_back(std::string("本地磁盘(") + letter + ":)");
    expected.push_back("浏览...");
    EXPECT_EQ(ComboItems(form.cbb1), expected);
    for (int index = 0; index < static_cast<int>(expected.size()); ++index) {
        const LocationBoxItem item = LocationItemOf(form, index);
        EXPECT_EQ(item.selectedImage, item.image) << index;
        EXPECT_EQ(item.overlay, item.image) << index;
    }
    EXPECT_EQ(LocationItemOf(form, 6).image, 5);
    EXPECT_EQ(LocationItemOf(form, 6).indent, 3);
}

TEST(LocationPicker, PickingBrowseAsksForAFolderWithTheOtherWindowsDisabled) {
    const struct {
        bool confirmed;
        const char* chosen;
        const char* text;
    } cases[] = {{false, "", "浏览..."},
                 {true, "D:\\", "D:\\"},
                 {true, "C:\\users\\Public", "C:\\users\\Public"}};
    for (const auto& c : cases) {
        WindowHarness harness;
        TForm1& form = harness.form();
        bool enabledWhileOpen = true;
        harness.dialogs.whileOpen = [&] { enabledWhileOpen = IsWindowEnabled(form.Handle()); };
        harness.dialogs.answers.push_back({c.confirmed, c.chosen});
        PickLocation(form, static_cast<int>(ComboItems(form.cbb1).size()) - 1);
        ASSERT_EQ(harness.dialogs.calls.size(), 1u) << c.text;
        EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], DialogKind::Folder, "选择搜索文件夹", ""));
        EXPECT_FALSE(enabledWhileOpen);
        EXPECT_TRUE(IsWindowEnabled(form.Handle()));
        EXPECT_EQ(GetActiveWindow(), form.Handle());
        EXPECT_EQ(form.LocationText(), c.text);
        // A chosen folder is searched as it is, not as the item picked.
        EXPECT_EQ(form.LocationIndex(),
                  c.confirmed ? -1 : static_cast<int>(ComboItems(form.cbb1).size()) - 1);
    }
}

TEST(LocationPicker, PickedItemShowsItsCaptionAndCountsAsSelectedWhileShown) {
    WindowHarness harness;
    TForm1& form = harness.form();
    const std::vector<std::string> items = ComboItems(form.cbb1);
    for (int index = 0; index + 1 < static_cast<int>(items.size()); ++index) {
        PickLocation(form, index);
        form.ProcessMessages();
        EXPECT_EQ(form.LocationText(), items[index]);
        EXPECT_EQ(form.LocationIndex(), index);
    }
    EXPECT_TRUE(harness.dialogs.calls.empty());
    PickLocation(form, 6);
    SetText(form.cbb1, "D:\\Work");  // typed over the picked disk: the text is searched
    EXPECT_EQ(form.LocationIndex(), -1);
    SetText(form.cbb1, items[6]);
    EXPECT_EQ(form.LocationIndex(), 6);
}

TEST(LocationPicker, OnePickReportedTwiceOpensTheDialogOnce) {
    WindowHarness harness;
    TForm1& form = harness.form();
    const auto notify = [&](WORD code) {
        SendMessageA(form.pnl2, WM_COMMAND, MAKEWPARAM(TForm1::idCbb1, code),
                     reinterpret_cast<LPARAM>(form.cbb1));
    };
    SendMessageA(form.cbb1, CB_SETCURSEL, ComboItems(form.cbb1).size() - 1, 0);
    notify(CBN_SELENDOK);
    notify(CBN_SELCHANGE);
    EXPECT_EQ(harness.dialogs.calls.size(), 1u);
    form.ProcessMessages();  // the pick is over
    notify(CBN_SELCHANGE);
    EXPECT_EQ(harness.dialogs.calls.size(), 2u);
}

TEST(LocationPicker, TypingCompletesTheTextFromTheFirstMatchingItem) {
    const struct {
        const char* typed;
        const char* text;
        int selectedFrom, selectedTo;  // UTF-16 positions
    } cases[] = {{"I", "IE缓存", 1, 4},
                 {"i", "iE缓存", 1, 4},
                 {"IE", "IE缓存", 2, 4},
                 {"Q", "Q", 1, 1},
                 {"IEX", "IEX", 3, 3}};
    for (const auto& c : cases) {
        WindowHarness harness;
        HWND edit = LocationEdit(harness.form());
        SetFocus(edit);
        for (const char* key = c.typed; *key != 0; ++key) SendMessageA(edit, WM_CHAR, *key, 0);
        EXPECT_EQ(harness.form().LocationText(), c.text) << c.typed;
        DWORD from = 0, to = 0;
        SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                     reinterpret_cast<LPARAM>(&to));
        EXPECT_EQ(static_cast<int>(from), c.selectedFrom) << c.typed;
        EXPECT_EQ(static_cast<int>(to), c.selectedTo) << c.typed;
    }
}

TEST(LocationPicker, CompletionComparesDoubleByteCharactersWhole) {
    win32::Win32TextRules rules;
    const std::vector<std::string> captions = {"我的文档", "桌面", "本地磁盘(C:)", "IE缓存"};
    EXPECT_EQ(CompleteLocationText("本地", captions, rules), "本地磁盘(C:)");
    EXPECT_EQ(CompleteLocationText("ie", captions, rules), "ie缓存");
    EXPECT_EQ(CompleteLocationText("", captions, rules), std::nullopt);
    // "丄" (0x81 0x41) and "乤" (0x81 0x61) differ only in a trail byte that
    // has the code of a letter: it must not be compared without case.
    EXPECT_EQ(CompleteLocationText("丄", {"丄x"}, rules), "丄x");
    EXPECT_EQ(CompleteLocationText("乤", {"丄x"}, rules), std::nullopt);
}

// ---------------------------------------------------------------- inputs

TEST(WindowInputs, DateAndSizeInputsFollowTheirCheckBoxesAndKeepTheirValues) {
    WindowHarness harness;
    TForm1& form = harness.form();
    SetText(form.edt3, "25");
    const ResultFilters before = form.ReadFilters();
    for (const bool checked : {true, false, true}) {
        Click(form.chk6);
        EXPECT_EQ(IsWindowEnabled(form.dtp1) != 0, checked);
        EXPECT_EQ(IsWindowEnabled(form.dtp2) != 0, checked);
        EXPECT_EQ(IsWindowEnabled(form.edt3) != 0, !checked);  // chk6 leaves it alone
        Click(form.chk5);
        EXPECT_EQ(IsWindowEnabled(form.edt3) != 0, checked);
    }
    const ResultFilters after = form.ReadFilters();
    EXPECT_EQ(after.from, before.from);
    EXPECT_EQ(after.to, before.to);
    EXPECT_EQ(after.sizeThreshold, "25");
    EXPECT_TRUE(after.sizeOn && after.dateOn);
}

TEST(WindowInputs, AccessLettersPressButtonsAndToggleBoxesWhileLabelsDoNothing) {
    const struct {
        char letter;
        HWND TForm1::*toggled;  // null: nothing changes and the focus stays
    } cases[] = {{'y', &TForm1::chk1}, {'u', &TForm1::chk3}, {'c', &TForm1::chk4}, {'o', nullptr},
                 {'w', nullptr},       {'l', nullptr},       {'e', nullptr}};
    for (const auto& c : cases) {
        WindowHarness harness;
        TForm1& form = harness.form();
        SetFocus(form.edt4);
        MSG key{form.edt4, WM_SYSCHAR, static_cast<WPARAM>(c.letter), 0x20000001, 0, {}};
        EXPECT_TRUE(form.PreTranslateMessage(key)) << c.letter;
        for (HWND TForm1::*box : {&TForm1::chk1, &TForm1::chk2, &TForm1::chk3, &TForm1::chk4}) {
            EXPECT_EQ(IsChecked(form.*box), box != c.toggled) << c.letter;
        }
        if (c.toggled == nullptr) {
            EXPECT_EQ(GetFocus(), form.edt4) << c.letter;
        }
    }
    WindowHarness harness;  // Alt+F presses the Search button
    MSG key{harness.form().edt1, WM_SYSCHAR, 'f', 0x20000001, 0, {}};
    harness.form().PreTranslateMessage(key);
    ASSERT_EQ(harness.dialogs.calls.size(), 1u);
    EXPECT_TRUE(
        IsDialog(harness.dialogs.calls[0], DialogKind::Info, "请选择要搜索的目标目录.", "提示"));
}

TEST(WindowInputs, PickingADateKeepsThePickersTimeOfDay) {
    WindowHarness harness;
    TForm1& form = harness.form();
    const struct {
        HWND picker;
        int id;
        SystemTime expected;
    } cases[] = {
        {form.dtp1, TForm1::idDtp1, {2011, 2, 0, 3, 22, 13, 48, 562}},
        {form.dtp2, TForm1::idDtp2, {2012, 12, 0, 31, 22, 14, 20, 562}},
    };
    for (const auto& c : cases) {
        // The user's pick: the control takes the date, at midnight, and tells its parent.
        NMDATETIMECHANGE change{{c.picker, static_cast<UINT_PTR>(c.id), DTN_DATETIMECHANGE},
                                GDT_VALID,
                                {c.expected.year, c.expected.month, 0, c.expected.day, 0, 0, 0, 0}};
        SendMessageA(c.picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&change.st));
        SendMessageA(form.pnl2, WM_NOTIFY, c.id, reinterpret_cast<LPARAM>(&change));
        SYSTEMTIME held{};
        SendMessageA(c.picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&held));
        EXPECT_EQ(held.wDay, c.expected.day);
        EXPECT_EQ(held.wHour * 3600 + held.wMinute * 60 + held.wSecond,
                  c.expected.hour * 3600 + c.expected.minute * 60 + c.expected.second);
    }
    const ResultFilters filters = form.ReadFilters();
    EXPECT_NEAR(filters.from, SystemTimeToDateTime(cases[0].expected), 1e-9);
    EXPECT_NEAR(filters.to, SystemTimeToDateTime(cases[1].expected), 1e-9);
}

TEST(Win32Dialogs, TitleIsTheProgramFileNameUpToItsFirstDot) {
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\Querna.exe", "Querna"},
        {"C:\\v1.2\\my.tool.exe", "my"},
        {"Z:/unix/style/prog.exe", "prog"},
        {"noext", "noext"},
        {std::string("C:\\x\\").append(kTrailBackslashChar).append(".exe"), kTrailBackslashChar},
    };
    for (const auto& [path, title] : cases)
        EXPECT_EQ(win32::TitleFromModulePath(path), title) << path;
    EXPECT_EQ(win32::ApplicationTitle(), "window_test");
}

TEST(Win32Dialogs, BoxesAreOwnedByTheActiveWindowElseTheApplicationWindow) {
    WindowHarness harness;
    HWND form = harness.form().Handle();
    win32::Win32Dialogs dialogs(form);
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetActiveWindow(other);
    dialogs.ShowInfo("信息", "提示");
    ShowWindow(other, SW_HIDE);
    ShowWindow(form, SW_HIDE);
    SetActiveWindow(nullptr);
    ASSERT_EQ(GetActiveWindow(), nullptr);
    dialogs.ShowInfo("无主", "提示");
    dialogs.ShowPlainMessage("打开文件错误");
    dialogs.ShowError("出错了");
    DestroyWindow(other);

    const struct {
        DialogKind kind;
        const char* text;
        const char* caption;
        HWND owner;
    } expected[] = {
        {DialogKind::Info, "信息", "提示", other},
        {DialogKind::Info, "无主", "提示", form},
        {DialogKind::Plain, "打开文件错误", "window_test", form},
        {DialogKind::Error, "出错了.", "window_test", form},
    };
    const auto& calls = harness.dialogs.calls;
    ASSERT_EQ(calls.size(), std::size(expected));
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_TRUE(IsDialog(calls[i], expected[i].kind, expected[i].text, expected[i].caption))
            << i;
        EXPECT_EQ(calls[i].owner, expected[i].owner) << i;
    }
}

}  // namespace
}  // namespace querna
