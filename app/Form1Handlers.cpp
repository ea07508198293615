// TForm1: the event handlers, and the window as the search's window, the
// table fill's view and the popup actions' rows.
#include "app/CommandLine.h"
#include "app/ExplorerRegistration.h"
#include "app/Form1.h"
#include "platform/Error.h"
#include "win32/CodePage.h"

namespace querna {

namespace {

bool Checked(HWND box) {
    return SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// The running program's full path, whole: the ANSI call would cut a long
// one at MAX_PATH. Nothing when it cannot be had.
std::optional<std::wstring> ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(path.size());
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0) return std::nullopt;
        if (length < size) {
            path.resize(length);
            return path;
        }
        if (size >= 32768) return std::nullopt;  // longer than any Windows path
        path.resize(path.size() * 2);
    }
}

void SetCellText(HWND table, int row, int column, const std::string& text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text.c_str());
    SendMessageA(table, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

// ---- Handlers

void TForm1::FormCreate() {
    // Dates are shown as "YYYY-MM-DD HH:MM:SS" by the table fill's own
    // formatting, so no process-wide format needs setting here.
    FillLocationList();
    chk6Click();
    chk5Click();
}

void TForm1::FormShow(const std::string& commandLine) {
    if (const std::optional<std::string> folder = FirstArgument(commandLine)) {
        AddLocationItem(CommandLineFolderItem(*folder));
        SetLocationText(*folder);
    }
    state_.StopRequested = kFalse;
}

void TForm1::chk5Click() {
    EnableWindow(edt3, Checked(chk5));
}

void TForm1::chk6Click() {
    EnableWindow(dtp1, Checked(chk6));
    EnableWindow(dtp2, Checked(chk6));
}

void TForm1::cbb1Click() {
    if (LocationText() != kBrowseCaption) return;
    std::string folder;
    if (services_.dialogs.BrowseForFolder("选择搜索文件夹", "", folder)) SetLocationText(folder);
}

void TForm1::btn1Click() {
    // Text the code page cannot hold would reach the search as '?', which a
    // listing takes for a wildcard: such text is refused before anything starts.
    // A location so garbled would be reported missing although it exists, and
    // a skipped name so garbled would match no entry and skip nothing.
    const std::pair<HWND, const char*> boxes[] = {{edt1, "文件名"},
                                                  {edt2, "要查找的内容"},
                                                  {LocationEdit(), "文件目录"},
                                                  {edt4, "忽略的子目录名"}};
    for (const auto& [box, what] : boxes) {
        if (!win32::TextFitsCodePage(box)) {
            ShowInfo(std::string(what) + "中有系统代码页不能表示的字符.", "提示");
            return;
        }
    }
    run_.Run();
}

void TForm1::Button2Click() {
    state_.StopRequested = kTrue;
}

void TForm1::Button1Click() {
    // The command is registered in the code page: a path it cannot hold would
    // be registered with '?' in it and start nothing.
    const std::optional<std::wstring> path = ModuleFileName();
    if (!path) throw QuernaError("无法取得程序文件的路径, 无法加入系统右键菜单");
    const std::optional<std::string> program = win32::ToCodePage(*path);
    if (!program) {
        throw QuernaError("程序文件的路径中有系统代码页不能表示的字符, 无法加入系统右键菜单");
    }
    RegisterExplorerMenu(services_.registry, *program);
    ShowInfo("已经加入系统右键菜单！", "提示");
}

void TForm1::N1Click() {
    actions_->OpenFolder();
}
void TForm1::N3Click() {
    actions_->OpenFile();
}
void TForm1::N5Click() {
    actions_->CopyName();
}
void TForm1::N9Click() {
    actions_->CopyFolder();
}
void TForm1::N4Click() {
    actions_->CopyFullPath();
}
void TForm1::N10Click() {
    actions_->SaveList();
}

// ---- Date pickers

DateTime TForm1::PickerValue(int picker) {
    SYSTEMTIME shown{};
    SystemTime value = pickerValues_[picker];
    if (SendMessageA(picker == 0 ? dtp1 : dtp2, DTM_GETSYSTEMTIME, 0,
                     reinterpret_cast<LPARAM>(&shown)) == GDT_VALID) {
        value.year = shown.wYear;
        value.month = shown.wMonth;
        value.day = shown.wDay;
    }
    return SystemTimeToDateTime(value);
}

void TForm1::PickerDateChanged(int picker, const NMDATETIMECHANGE& change) {
    if (change.dwFlags != GDT_VALID) return;
    SystemTime& value = pickerValues_[picker];
    value.year = change.st.wYear;
    value.month = change.st.wMonth;
    value.dayOfWeek = change.st.wDayOfWeek;
    value.day = change.st.wDay;
    // The picker shows dates only; it holds on to its own time of day.
    const SYSTEMTIME full{value.year, value.month,  value.dayOfWeek, value.day,
                          value.hour, value.minute, value.second,    value.milliseconds};
    SendMessageA(picker == 0 ? dtp1 : dtp2, DTM_SETSYSTEMTIME, GDT_VALID,
                 reinterpret_cast<LPARAM>(&full));
}

// ---- SearchWindow

int TForm1::TypeIndex() {
    return static_cast<int>(SendMessageA(cbb2, CB_GETCURSEL, 0, 0));
}

bool TForm1::IsChecked(SearchSwitch box) {
    switch (box) {
        case SearchSwitch::System:
            return Checked(chk1);
        case SearchSwitch::Hidden:
            return Checked(chk2);
        case SearchSwitch::Subfolders:
            return Checked(chk3);
        case SearchSwitch::ReadOnly:
            return Checked(chk4);
    }
    return false;
}

std::string TForm1::IgnoredFolderText() {
    return win32::WindowText(edt4);
}
std::string TForm1::NameText() {
    return win32::WindowText(edt1);
}
std::string TForm1::PhraseText() {
    return win32::WindowText(edt2);
}

void TForm1::SetStatusPanel(StatusPanel panel, const std::string& text) {
    SendMessageA(stat1, SB_SETTEXTA, static_cast<WPARAM>(panel),
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void TForm1::ShowInfo(const std::string& text, const std::string& caption) {
    services_.dialogs.ShowInfo(text, caption);
}

// The box cannot name the file: the status bar shows it at this moment.
void TForm1::ReportUnreadable(const std::string&) {
    services_.dialogs.ShowPlainMessage("打开文件错误");
}

// A box per folder would stop a search of a whole disk at every folder the
// user may not read; the window passes over them as it always has.
void TForm1::ReportUnlistable(const std::string&) {}

void TForm1::FillResultTable(const ResultPathList& paths, bool empty) {
    querna::FillResultTable(services_.fs, services_.rules, *this, *this, paths, empty, pauseMs_);
}

void TForm1::ProcessMessages() {
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Leave it for the loop that owns the program's end.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!PreTranslateMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void TForm1::Pause(int milliseconds) {
    // Once the window is gone there is nobody left to wait for.
    if (milliseconds > 0 && !destroyed_) Sleep(static_cast<DWORD>(milliseconds));
}

// ---- ResultTableView

void TForm1::ClearRows() {
    SendMessageA(lv1, LVM_DELETEALLITEMS, 0, 0);
}

void TForm1::AddRow(const ResultRow& row) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount();
    item.pszText = const_cast<char*>(row.name.c_str());
    const int index =
        static_cast<int>(SendMessageA(lv1, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) return;
    SetCellText(lv1, index, 1, row.size);
    SetCellText(lv1, index, 2, row.type);
    SetCellText(lv1, index, 3, row.date);
    SetCellText(lv1, index, 4, row.folder);
}

ResultFilters TForm1::ReadFilters() {
    ResultFilters filters;
    filters.sizeOn = Checked(chk5);
    filters.sizeThreshold = win32::WindowText(edt3);
    filters.dateOn = Checked(chk6);
    filters.from = PickerValue(0);
    filters.to = PickerValue(1);
    return filters;
}

// ---- ResultRowsView

int TForm1::RowCount() {
    return static_cast<int>(SendMessageA(lv1, LVM_GETITEMCOUNT, 0, 0));
}

int TForm1::SelectedRow() {
    return static_cast<int>(
        SendMessageA(lv1, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

std::string TForm1::RowName(int row) {
    return win32::ListViewCellText(lv1, row, 0);
}
std::string TForm1::RowFolder(int row) {
    return win32::ListViewCellText(lv1, row, 4);
}

}  // namespace querna
