// TForm1: creation, the window procedure, the dispatcher and the layout.
#include "app/Form1.h"

#include <windowsx.h>

#include <algorithm>
#include <cctype>
#include <string_view>
#include <utility>

#include "app/Pictures.h"
#include "platform/Error.h"
#include "search/PathText.h"
#include "win32/CodePage.h"
#include "win32/Win32Clipboard.h"
#include "win32/Win32Shell.h"

namespace querna {

namespace {

constexpr const char* kFormClass = "TForm1";
constexpr const char* kFormCaption = "Querna 青禾寻踪";

// The stored place and outer size of the window.
constexpr int kFormLeft = 209, kFormTop = 125, kFormWidth = 930, kFormHeight = 588;
// The criteria panel's width and the status bar's height; the results table
// takes the rest.
constexpr int kCriteriaWidth = 285;
constexpr int kStatusHeight = 19;

// The caption an in-place edit of the table ended with; none when the edit
// was cancelled or its text is outside the code page.
std::optional<std::string> EditedCaption(const NMHDR& header) {
    if (header.code == LVN_ENDLABELEDITA) {
        const char* text = reinterpret_cast<const NMLVDISPINFOA&>(header).item.pszText;
        if (text == nullptr) return std::nullopt;
        return std::string(text);
    }
    const wchar_t* text = reinterpret_cast<const NMLVDISPINFOW&>(header).item.pszText;
    if (text == nullptr) return std::nullopt;
    return win32::ToCodePage(text);
}

// Whether `name` is a device's: Windows gives CON, PRN, AUX, NUL, COM1-9 and
// LPT1-9 to its devices whatever extension follows.
bool IsDeviceName(std::string_view name) {
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

// Whether `name`, joined to a folder, names a file of that folder and no other
// object: not "." or "..", not ending in a dot or a blank (Windows drops
// them, reaching another file), no separator, wildcard or control character,
// no device's name. The scan steps over double-byte characters, whose second
// byte may have the code of a backslash or '|'.
bool IsFileName(const std::string& name, TextRules& rules) {
    if (name.empty() || name.back() == '.' || name.back() == ' ' || IsDeviceName(name)) {
        return false;
    }
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
    }
    return LastDelimiter(name, "\\/:*?\"<>|", rules) == std::string_view::npos;
}

}  // namespace

TForm1::TForm1(const FormServices& services, int pauseMs)
    : services_(services),
      pauseMs_(pauseMs),
      documentStop_(state_, *this, [] { return static_cast<int64_t>(GetTickCount64()); }),
      engine_(state_, services.fs, services.rules, *this, services.matchers, pauseMs),
      run_(state_, engine_, *this, services.registry, services.rules) {}

TForm1::~TForm1() {
    // The controls go before the fonts, image list and icons they use.
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void TForm1::Create(HINSTANCE instance) {
    win32::RegisterControlClasses(instance);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExA(instance, kFormClass, &windowClass)) {
        windowClass.lpfnWndProc = &TForm1::WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kFormClass;
        RegisterClassExA(&windowClass);
    }
    CreateFonts();
    images_ = win32::OwnedImageList(win32::CreateLocationImageList());
    il1 = images_.Get();
    bigIcon_ = win32::OwnedIcon(win32::CreateProgramIcon(GetSystemMetrics(SM_CXICON)));
    smallIcon_ = win32::OwnedIcon(win32::CreateProgramIcon(GetSystemMetrics(SM_CXSMICON)));

    CreateWindowExA(0, kFormClass, kFormCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, kFormLeft,
                    kFormTop, kFormWidth, kFormHeight, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) throw QuernaError("Error creating window TForm1");
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));

    // Creation order is tab order: the criteria panel comes before the table.
    CreateCriteriaPanel();
    CreateResultsTable();
    CreateStatusBar();
    CreatePopupMenu();
    ArrangeControls();

    if (services_.shell == nullptr) {
        ownShell_ = std::make_unique<win32::Win32Shell>(hwnd_);
        services_.shell = ownShell_.get();
    }
    if (services_.clipboard == nullptr) {
        ownClipboard_ = std::make_unique<win32::Win32Clipboard>(hwnd_);
        services_.clipboard = ownClipboard_.get();
    }
    actions_ = std::make_unique<ResultActions>(*this, *services_.shell, *services_.clipboard,
                                               services_.dialogs, services_.files);
    Dispatch([this] { FormCreate(); });
}

void TForm1::Show(int showCommand, const std::string& commandLine) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    Dispatch([&] { FormShow(commandLine); });
}

int TForm1::RunMessageLoop() {
    MSG message{};
    while (!destroyed_ && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (!PreTranslateMessage(message)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return 0;
}

bool TForm1::PreTranslateMessage(MSG& message) {
    return hwnd_ != nullptr && !destroyed_ && IsDialogMessageA(hwnd_, &message);
}

void TForm1::ReportError(const char* text) noexcept {
    try {
        services_.dialogs.ShowError(text);
    } catch (...) {
        // Not even the report could be shown; the window carries on.
        MessageBeep(MB_ICONERROR);
    }
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created =
            static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        created->hwnd_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return form->HandleMessage(message, wParam, lParam);
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            ArrangeControls();
            return 0;
        case WM_COMMAND:
            DoCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return DoNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != lv1) break;
            ShowResultsMenu(lParam);
            return 0;
        case kPickHandled:
            pickedIndex_ = -1;
            return 0;
        case WM_DESTROY:
            // A search still running below us must not go on walking for a
            // window that is gone.
            destroyed_ = true;
            state_.StopRequested = kTrue;
            return 0;
        case WM_NCDESTROY: {
            HWND window = hwnd_;
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            return DefWindowProcA(window, message, wParam, lParam);
        }
        default:
            break;
    }
    return DefWindowProcA(hwnd_, message, wParam, lParam);
}

void TForm1::DoCommand(int id, int code) {
    if (id == idCbb1) {
        if (code == CBN_SELENDOK || code == CBN_SELCHANGE) LocationPicked(code);
        return;
    }
    // A button reports its click, and a menu item its choice, with code 0.
    if (code != BN_CLICKED) return;
    using Handler = void (TForm1::*)();
    static constexpr std::pair<int, Handler> kClickHandlers[] = {
        {idBtn1, &TForm1::btn1Click},       {idButton1, &TForm1::Button1Click},
        {idButton2, &TForm1::Button2Click}, {idChk5, &TForm1::chk5Click},
        {idChk6, &TForm1::chk6Click},       {idN1, &TForm1::N1Click},
        {idN3, &TForm1::N3Click},           {idN5, &TForm1::N5Click},
        {idN9, &TForm1::N9Click},           {idN4, &TForm1::N4Click},
        {idN10, &TForm1::N10Click},
    };
    for (const auto& [clickId, handler] : kClickHandlers) {
        if (clickId == id) {
            Dispatch([this, handler = handler] { (this->*handler)(); });
            return;
        }
    }
}

LRESULT TForm1::DoNotify(const NMHDR& header) {
    if (header.hwndFrom == lv1 &&
        (header.code == LVN_ENDLABELEDITA || header.code == LVN_ENDLABELEDITW)) {
        // The actions join the caption to the row's folder: a caption no file
        // can bear ("..\other.exe", "sub\x", "") would have them open, copy
        // or save another path than the row's, or none. Such an edit is
        // refused and the row keeps its name.
        const std::optional<std::string> caption = EditedCaption(header);
        return caption && IsFileName(*caption, services_.rules);
    }
    if (header.code == DTN_DATETIMECHANGE && (header.hwndFrom == dtp1 || header.hwndFrom == dtp2)) {
        const auto& change = reinterpret_cast<const NMDATETIMECHANGE&>(header);
        Dispatch([&] { PickerDateChanged(header.hwndFrom == dtp1 ? 0 : 1, change); });
    }
    return 0;
}

void TForm1::ArrangeControls() {
    if (hwnd_ == nullptr || stat1 == nullptr) return;
    RECT area{};
    GetClientRect(hwnd_, &area);
    const int width = area.right;
    const int above = std::max(0, static_cast<int>(area.bottom) - kStatusHeight);
    // Only the table and the status bar's last panel grow with the window;
    // the criteria panel keeps its width and its inner panel its size.
    MoveWindow(stat1, 0, above, width, kStatusHeight, TRUE);
    SetStatusParts();
    MoveWindow(pnl3, 0, 0, kCriteriaWidth, above, TRUE);
    MoveWindow(lv1, kCriteriaWidth, 0, std::max(0, width - kCriteriaWidth), above, TRUE);
}

void TForm1::ShowResultsMenu(LPARAM position) {
    POINT at{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // Opened from the keyboard: show it at the table's corner.
        RECT table{};
        GetWindowRect(lv1, &table);
        at = {table.left + 8, table.top + 8};
    }
    TrackPopupMenu(pm1, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
}

}  // namespace querna
