#include "support/window_harness.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "results/FileProperties.h"
#include "support/TempTree.h"

namespace querna::testing {

DialogRecorder::DialogRecorder() {
    win32::SetDialogTestHook([this](const win32::DialogCall& call) {
        calls.push_back(call);
        if (call.kind == win32::DialogKind::Folder && whileOpen) whileOpen();
        if (call.kind != win32::DialogKind::Folder && call.kind != win32::DialogKind::SaveFile) {
            return win32::DialogAnswer{};
        }
        if (answers.empty()) return win32::DialogAnswer{};
        win32::DialogAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    });
}

DialogRecorder::~DialogRecorder() {
    win32::SetDialogTestHook({});
}

WindowHarness::WindowHarness(int pauseMs, ContentMatchers* matchers,
                             const std::string& commandLine) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES |
                                                       ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    FormServices services{fs_, rules_, win32Dialogs_, registry_, files_, matchers, &shell, nullptr};
    form_ = std::make_unique<TForm1>(services, pauseMs);
    form_->Create(GetModuleHandleA(nullptr));
    win32Dialogs_.SetApplicationWindow(form_->Handle());
    form_->Show(SW_SHOWNORMAL, commandLine);
}

WindowHarness::~WindowHarness() {
    form_.reset();
    // Nothing of this window may reach the next test through the queue.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
}

TableLog::TableLog(HWND table) : table_(table) {
    SetPropA(table, "QuernaTableLog", this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(table, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TableLog::Proc)));
}

TableLog::~TableLog() {
    SetWindowLongPtrA(table_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropA(table_, "QuernaTableLog");
}

LRESULT CALLBACK TableLog::Proc(HWND table, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* log = static_cast<TableLog*>(GetPropA(table, "QuernaTableLog"));
    if (message == LVM_DELETEALLITEMS) log->operations += 'C';
    if (message == LVM_INSERTITEMA || message == LVM_INSERTITEMW) log->operations += 'I';
    return CallWindowProcA(log->original_, table, message, wParam, lParam);
}

WindowTree::WindowTree() {
    static int made = 0;
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    root_ = std::string(temp) + "querna-window-" + std::to_string(GetTickCount64()) + "-" +
            std::to_string(made++);
    if (!CreateDirectoryA(root_.c_str(), nullptr)) throw std::runtime_error("no folder " + root_);
}

WindowTree::~WindowTree() {
    RemoveFolderTree(root_);
}

void WindowTree::AddFile(const std::string& relative, const std::string& content) {
    for (size_t i = 0; i < relative.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(relative[i]))) {
            ++i;  // a trail byte may have the code of a backslash
        } else if (relative[i] == '\\') {
            CreateDirectoryA(Path(relative.substr(0, i)).c_str(), nullptr);
        }
    }
    HANDLE file = CreateFileA(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + relative);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

void WindowSearchTest::Search(const std::string& name, const std::string& phrase,
                              std::string folder) {
    SetText(form().edt1, name);
    SetText(form().edt2, phrase);
    SetText(LocationEdit(form()), folder.empty() ? tree.Root() : folder);
    Click(form().btn1);
}

std::string WindowSearchTest::Folder(const std::string& sub) const {
    return tree.Root() + "\\" + (sub.empty() ? "" : sub + "\\");
}

std::string Text(HWND window) {
    return win32::WindowText(window);
}

void SetText(HWND window, const std::string& text) {
    SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND button) {
    SendMessageA(button, BM_CLICK, 0, 0);
}

bool IsChecked(HWND box) {
    return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void PickLocation(TForm1& form, int index) {
    SendMessageA(form.cbb1, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(form.cbb1), WM_COMMAND, MAKEWPARAM(TForm1::idCbb1, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(form.cbb1));
}

std::vector<std::string> ComboItems(HWND combo) {
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        std::string text = win32::ComboExItemText(combo, index);
        if (text.empty()) {  // a plain combo box
            char plain[MAX_PATH + 1] = {};
            SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(plain));
            text = plain;
        }
        items.push_back(text);
    }
    return items;
}

std::string StatusText(HWND bar, int panel) {
    char text[1024] = {};
    SendMessageA(bar, SB_GETTEXTA, panel, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::vector<std::string>> TableRows(HWND table) {
    std::vector<std::vector<std::string>> rows;
    const int count = static_cast<int>(SendMessageA(table, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> cells;
        for (int column = 0; column < 5; ++column) {
            cells.push_back(win32::ListViewCellText(table, row, column));
        }
        rows.push_back(cells);
    }
    return rows;
}

std::vector<std::string> TableNames(HWND table) {
    std::vector<std::string> names;
    for (const auto& row : TableRows(table)) names.push_back(row[0]);
    return names;
}

void ChooseMenuItem(TForm1& form, int position) {
    const UINT id = GetMenuItemID(form.pm1, position);
    SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

std::string ClipboardText() {
    if (!OpenClipboard(nullptr)) return {};
    std::string text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const auto* bytes = static_cast<const char*>(GlobalLock(data))) {
            text = bytes;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

}  // namespace querna::testing

namespace querna::testing {

void PutOnClipboard(HWND owner, const std::string& text) {
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
}

void SelectRow(HWND table, int row) {
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(table, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

HWND LocationEdit(TForm1& form) {
    return reinterpret_cast<HWND>(SendMessageA(form.cbb1, CBEM_GETEDITCONTROL, 0, 0));
}

LocationBoxItem LocationItemOf(TForm1& form, int index) {
    char text[MAX_PATH + 1] = {};
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_OVERLAY | CBEIF_INDENT;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (!SendMessageA(form.cbb1, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return {text, item.iImage, item.iSelectedImage, item.iOverlay, item.iIndent};
}

RECT RectIn(HWND control, HWND parent) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LOGFONTA FontOf(HWND control) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font,
               &font);
    return font;
}

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

SYSTEMTIME LocalCreationTime(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME created{}, local{};
    GetFileTime(file, &created, nullptr, nullptr);
    CloseHandle(file);
    FileTimeToLocalFileTime(&created, &local);
    SYSTEMTIME parts{};
    FileTimeToSystemTime(&local, &parts);
    return parts;
}

std::string LocalCreationText(const std::string& path) {
    const SYSTEMTIME t = LocalCreationTime(path);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

bool FaceInstalled(const char* face) {
    HDC screen = GetDC(nullptr);
    LOGFONTA query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExA(
        screen, &query,
        [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM seen) {
            *reinterpret_cast<bool*>(seen) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

std::string LocalDiskLetters() {
    std::string letters;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', 0};
        const UINT type = GetDriveTypeA(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED) letters += letter;
    }
    return letters;
}

std::vector<std::pair<std::string, int>> TableColumns(HWND table) {
    std::vector<std::pair<std::string, int>> columns;
    for (int index = 0;; ++index) {
        char caption[64] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption;
        column.cchTextMax = sizeof caption;
        if (!SendMessageA(table, LVM_GETCOLUMNA, index, reinterpret_cast<LPARAM>(&column))) break;
        columns.emplace_back(caption, column.cx);
    }
    return columns;
}

std::vector<std::string> MenuItems(HMENU menu) {
    std::vector<std::string> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
        char text[64] = {};
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        if (state & MF_SEPARATOR) {
            items.push_back("-");
        } else {
            items.push_back(std::string(text) + (state & (MF_GRAYED | MF_DISABLED) ? "(off)" : ""));
        }
    }
    return items;
}

int MissingGlyphs(HWND control) {
    wchar_t text[256] = {};
    const int length = GetWindowTextW(control, text, 256);
    HDC screen = GetDC(nullptr);
    HGDIOBJ old =
        SelectObject(screen, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
    WORD glyphs[256] = {};
    GetGlyphIndicesW(screen, text, length, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    int missing = 0;
    for (int i = 0; i < length; ++i) missing += glyphs[i] == 0xFFFF;
    return missing;
}

void SetPickerDate(HWND picker, double date) {
    const SystemTime parts = DateTimeToSystemTime(date);
    const SYSTEMTIME value{parts.year, parts.month, 0, parts.day, 0, 0, 0, 0};
    SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&value));
}

FormGeometry MeasureForm(TForm1& form) {
    FormGeometry m{};
    GetClientRect(form.Handle(), &m.client);
    m.pnl2 = RectIn(form.pnl2, form.pnl3);
    m.pnl3 = RectIn(form.pnl3, form.Handle());
    m.lv1 = RectIn(form.lv1, form.Handle());
    m.stat1 = RectIn(form.stat1, form.Handle());
    SendMessageA(form.stat1, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(m.edges));
    SendMessageA(form.stat1, SB_GETRECT, 3, reinterpret_cast<LPARAM>(&m.lastPanel));
    return m;
}

::testing::AssertionResult IsDialog(const win32::DialogCall& call, win32::DialogKind kind,
                                    const std::string& text, const std::string& caption) {
    if (call.kind == kind && call.text == text && call.caption == caption) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "box of kind " << static_cast<int>(call.kind) << " \""
                                         << call.text << "\" captioned \"" << call.caption << "\"";
}

std::string ClassesRootDefault(const std::string& key) {
    char data[1024] = {};
    LONG size = sizeof data;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), data, &size) != ERROR_SUCCESS) {
        return "<missing>";
    }
    return data;
}

}  // namespace querna::testing
