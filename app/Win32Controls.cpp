#include "app/Win32Controls.h"

#include <array>
#include <cstring>

#include "win32/CodePage.h"

namespace querna::win32 {

namespace {

// Faces that draw the window's captions, best first. SimSun is the window's
// own face; the others stand in where it is missing (WenQuanYi on Wine).
// The "Sharp" WenQuanYi face carries hand-tuned bitmaps for small sizes, as
// SimSun does; the outline faces lose thin strokes at 12 pixels.
constexpr std::array<const char*, 14> kPreferredFaces = {
    "宋体",
    "SimSun",
    "新宋体",
    "NSimSun",
    "微软雅黑",
    "Microsoft YaHei",
    "文泉驿点阵正黑",
    "WenQuanYi Zen Hei Sharp",
    "文泉驿正黑",
    "WenQuanYi Zen Hei",
    "文泉驿微米黑",
    "WenQuanYi Micro Hei",
    "Noto Sans CJK SC",
    "Droid Sans Fallback",
};

int CALLBACK NoteFace(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM found) {
    // Vertical variants ("@face") lay text sideways.
    if (font->lfFaceName[0] == '@') return 1;
    *reinterpret_cast<std::string*>(found) = font->lfFaceName;
    return 0;
}

// The first face enumerated for `face` (any when empty) that has `charset`.
std::string FindFace(HDC dc, const char* face, BYTE charset) {
    LOGFONTA query{};
    query.lfCharSet = charset;
    if (face != nullptr) std::strncpy(query.lfFaceName, face, LF_FACESIZE - 1);
    std::string found;
    EnumFontFamiliesExA(dc, &query, &NoteFace, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_ERASEBKGND: {
            RECT area;
            GetClientRect(window, &area);
            const auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrA(window, GWLP_USERDATA));
            FillRect(reinterpret_cast<HDC>(wParam), &area, brush);
            if (GetWindowLongPtrA(window, GWL_STYLE) & kPanelLowered) {
                DrawEdge(reinterpret_cast<HDC>(wParam), &area, BDR_SUNKENOUTER, BF_RECT);
            }
            return 1;
        }
        case WM_CTLCOLORSTATIC: {
            // Labels and check boxes take the panel's colour; brushes here are
            // solid, so their colour is the text background.
            const auto brush = reinterpret_cast<HBRUSH>(GetWindowLongPtrA(window, GWLP_USERDATA));
            LOGBRUSH info{};
            GetObjectA(brush, sizeof info, &info);
            SetBkColor(reinterpret_cast<HDC>(wParam), info.lbColor);
            return reinterpret_cast<LRESULT>(brush);
        }
        case WM_COMMAND:
        case WM_NOTIFY:
            return SendMessageA(GetParent(window), message, wParam, lParam);
        case WM_SIZE:
            InvalidateRect(window, nullptr, TRUE);  // the bevel follows the edge
            break;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

WNDPROC& StaticProc() {
    static WNDPROC proc = nullptr;  // the system's STATIC procedure, read once
    return proc;
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Keyboard navigation treats a control answering DLGC_STATIC as a label
    // that moves the focus on to the next input; answering nothing opts out.
    if (message == WM_GETDLGCODE) return 0;
    return CallWindowProcA(StaticProc(), window, message, wParam, lParam);
}

}  // namespace

std::string ChooseInterfaceFace() {
    const ScreenDc screen(GetDC(nullptr));
    std::string chosen;
    for (const char* face : kPreferredFaces) {
        if (!FindFace(screen.Get(), face, DEFAULT_CHARSET).empty()) {
            chosen = face;
            break;
        }
    }
    if (chosen.empty()) chosen = FindFace(screen.Get(), nullptr, GB2312_CHARSET);
    return chosen.empty() ? "宋体" : chosen;
}

OwnedFont CreateInterfaceFont(const std::string& face, int pixels, bool bold) {
    LOGFONTA font{};
    font.lfHeight = -pixels;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    std::strncpy(font.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return OwnedFont(CreateFontIndirectA(&font));
}

void RegisterControlClasses(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExA(instance, kPanelClass, &existing)) {
        WNDCLASSEXA panel{};
        panel.cbSize = sizeof panel;
        panel.lpfnWndProc = &PanelProc;
        panel.hInstance = instance;
        panel.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        panel.lpszClassName = kPanelClass;
        RegisterClassExA(&panel);
    }
    if (!GetClassInfoExA(instance, kLabelClass, &existing)) {
        WNDCLASSEXA label{};
        label.cbSize = sizeof label;
        GetClassInfoExA(nullptr, "STATIC", &label);
        StaticProc() = label.lpfnWndProc;
        label.cbSize = sizeof label;
        label.lpfnWndProc = &LabelProc;
        label.hInstance = instance;
        label.lpszClassName = kLabelClass;
        RegisterClassExA(&label);
    }
}

void SetDropDownRows(HWND combo, int rows) {
    RECT closed{};
    GetWindowRect(combo, &closed);
    const int field = closed.bottom - closed.top;
    const int item = static_cast<int>(SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0));
    SetWindowPos(combo, nullptr, 0, 0, closed.right - closed.left, field + rows * item + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

bool TextFitsCodePage(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return true;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return ToCodePage(text).has_value();
}

std::string ListViewCellText(HWND table, int row, int column) {
    char text[1024] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(table, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::string ComboExItemText(HWND combo, int index) {
    char text[MAX_PATH + 1] = {};
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (!SendMessageA(combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return text;
}

}  // namespace querna::win32
