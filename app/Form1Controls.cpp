// TForm1: the controls, their places, captions, fonts and defaults.
#include <algorithm>

#include "app/Form1.h"
#include "platform/Error.h"

namespace querna {

namespace {

// The inner criteria panel: its place inside the outer one and its size.
constexpr int kCriteriaInset = 15;
constexpr int kCriteriaPanelWidth = 255, kCriteriaPanelHeight = 514;
// The left edge of the criteria inputs and the width of most of them.
constexpr int kLeft = 16;
constexpr int kWide = 218;
constexpr int kEditHeight = 20;
constexpr int kCheckHeight = 17;

enum class Face { Control, Bold, Title, Window };

struct LabelLayout {
    HWND TForm1::*member;
    const char* caption;
    int x, y, width;
    Face face;
};

// Labels take no focus, so their order among the controls does not matter.
constexpr LabelLayout kLabels[] = {
    {&TForm1::lbl2, "按下面任何或所有标准进行搜索。", kLeft, 15, 230, Face::Title},
    {&TForm1::lbl1, "查找什么？全部或部分文件名(&O):", kLeft, 37, kWide, Face::Control},
    {&TForm1::lbl6, "文件中的一个词或词组(&W):", kLeft, 82, kWide, Face::Control},
    {&TForm1::lbl7, "选择文件目录，在这里寻找(&L):", kLeft, 127, kWide, Face::Control},
    {&TForm1::lbl13, "文件类型或扩展名(&E)", kLeft, 174, kWide, Face::Control},
    {&TForm1::lbl9, "从：", 36, 242, 24, Face::Control},
    {&TForm1::lbl10, "至：", 36, 266, 24, Face::Control},
    {&TForm1::lbl12, "KB计算(列出大于此值的文件)", 90, 296, 162, Face::Control},
    {&TForm1::lbl14, "搜索中忽略的子目录名:", kLeft, 441, 140, Face::Control},
};

struct InputLayout {
    HWND TForm1::*member;
    const char* windowClass;
    const char* caption;
    DWORD style;
    int x, y, width, height;
    int id;
    Face face;
};

constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCheck = WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDropDown = WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
constexpr DWORD kPicker = WS_TABSTOP | DTS_SHORTDATEFORMAT;

// The inputs in tab order, which is their creation order.
constexpr InputLayout kInputs[] = {
    {&TForm1::edt1, "EDIT", "", kEdit, kLeft, 52, kWide, kEditHeight, TForm1::idEdt1,
     Face::Control},
    {&TForm1::edt2, "EDIT", "", kEdit, kLeft, 97, kWide, kEditHeight, TForm1::idEdt2,
     Face::Control},
    {&TForm1::dtp1, DATETIMEPICK_CLASSA, "", kPicker, 60, 238, 174, 21, TForm1::idDtp1,
     Face::Control},
    {&TForm1::dtp2, DATETIMEPICK_CLASSA, "", kPicker, 60, 262, 174, 21, TForm1::idDtp2,
     Face::Control},
    {&TForm1::edt3, "EDIT", "", kEdit, kLeft, 315, 203, kEditHeight, TForm1::idEdt3, Face::Control},
    {&TForm1::chk1, "BUTTON", "搜索系统文件夹(&Y)", kCheck, kLeft, 344, 200, kCheckHeight,
     TForm1::idChk1, Face::Bold},
    {&TForm1::chk2, "BUTTON", "搜索隐藏的文件和文件夹", kCheck, kLeft, 367, 200, kCheckHeight,
     TForm1::idChk2, Face::Bold},
    {&TForm1::chk3, "BUTTON", "搜索子文件夹(&U)", kCheck, kLeft, 389, 200, kCheckHeight,
     TForm1::idChk3, Face::Bold},
    {&TForm1::chk4, "BUTTON", "搜索只读文件(&C)", kCheck, kLeft, 412, 140, kCheckHeight,
     TForm1::idChk4, Face::Control},
    {&TForm1::cbb2, "COMBOBOX", "", kDropDown, kLeft, 190, kWide, 200, TForm1::idCbb2,
     Face::Control},
    {&TForm1::edt4, "EDIT", "", kEdit, kLeft, 456, 124, kEditHeight, TForm1::idEdt4, Face::Control},
    {&TForm1::btn1, "BUTTON", "搜索(&F)", kButton, 166, 423, 68, 53, TForm1::idBtn1, Face::Window},
    {&TForm1::cbb1, WC_COMBOBOXEXA, "", kDropDown & ~CBS_AUTOHSCROLL, kLeft, 144, kWide, 200,
     TForm1::idCbb1, Face::Control},
    {&TForm1::chk5, "BUTTON", "文件大小", kCheck, kLeft, 294, 72, kCheckHeight, TForm1::idChk5,
     Face::Control},
    {&TForm1::chk6, "BUTTON", "文件日期", kCheck, kLeft, 216, 100, kCheckHeight, TForm1::idChk6,
     Face::Control},
    {&TForm1::Button1, "BUTTON", "加入系统右键菜单", kButton, kLeft, 488, 121, 19,
     TForm1::idButton1, Face::Control},
    {&TForm1::Button2, "BUTTON", "停止搜索", kButton, 165, 483, 69, 27, TForm1::idButton2,
     Face::Window},
};

constexpr const char* kTypeItems[] = {
    "Microsoft Word(*.doc,*.docx)",
    "Microsoft Excel(*.xls,*.xlsx)",
    "Microsoft PowerPoint(*.ppt,*.pptx)",
    "Text File (*.txt)",
    "All File (*.*)",
};

struct ColumnLayout {
    const char* caption;
    int width;
};

constexpr ColumnLayout kColumns[] = {
    {"名称", 260}, {"大小(B)", 90}, {"类型", 70}, {"修改日期", 200}, {"文件路径", 260},
};

// The right edges of the first three status panels; the last one runs to the
// end of the bar.
constexpr int kStatusEdges[] = {70, 130, 220};

// The date pickers' stored values, times of day included.
constexpr SystemTime kPickerStart[] = {
    {2010, 4, 4, 29, 22, 13, 48, 562},
    {2010, 4, 4, 29, 22, 14, 20, 562},
};

SYSTEMTIME ToSystemTime(const SystemTime& t) {
    return {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, t.second, t.milliseconds};
}

}  // namespace

void TForm1::CreateFonts() {
    fontFace_ = win32::ChooseInterfaceFace();
    windowFont_ = win32::CreateInterfaceFont(fontFace_, 14, false);
    controlFont_ = win32::CreateInterfaceFont(fontFace_, 12, false);
    boldFont_ = win32::CreateInterfaceFont(fontFace_, 12, true);
    titleFont_ = win32::CreateInterfaceFont(fontFace_, 13, true);
}

HWND TForm1::MakeControl(const char* windowClass, const char* caption, DWORD style, int x, int y,
                         int width, int height, int id, HFONT font, HWND parent, DWORD exStyle) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
    HWND control = CreateWindowExA(
        exStyle, windowClass, caption, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (control == nullptr) throw QuernaError(std::string("Error creating window ") + windowClass);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void TForm1::CreateCriteriaPanel() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(hwnd_, GWLP_HINSTANCE));
    // The outer panel shows the desktop's colour around the white inner one.
    pnl3 = CreateWindowExA(WS_EX_CONTROLPARENT, win32::kPanelClass, "",
                           WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | win32::kPanelLowered, 0, 0,
                           285, 400, hwnd_, reinterpret_cast<HMENU>(idPnl3), instance,
                           GetSysColorBrush(COLOR_BACKGROUND));
    pnl2 = CreateWindowExA(WS_EX_CONTROLPARENT, win32::kPanelClass, "",
                           WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, kCriteriaInset, kCriteriaInset,
                           kCriteriaPanelWidth, kCriteriaPanelHeight, pnl3,
                           reinterpret_cast<HMENU>(idPnl2), instance, GetStockObject(WHITE_BRUSH));
    if (pnl3 == nullptr || pnl2 == nullptr) throw QuernaError("Error creating window QuernaPanel");
    CreateCriteriaInputs();
}

void TForm1::CreateCriteriaInputs() {
    const auto font = [this](Face face) {
        switch (face) {
            case Face::Bold:
                return boldFont_.Get();
            case Face::Title:
                return titleFont_.Get();
            case Face::Window:
                return windowFont_.Get();
            case Face::Control:
                break;
        }
        return controlFont_.Get();
    };
    for (const LabelLayout& label : kLabels) {
        this->*label.member =
            MakeControl(win32::kLabelClass, label.caption, SS_LEFT, label.x, label.y, label.width,
                        14, idLabel, font(label.face), pnl2);
    }
    for (const InputLayout& input : kInputs) {
        const bool framed = input.windowClass == std::string_view("EDIT");
        this->*input.member = MakeControl(input.windowClass, input.caption, input.style, input.x,
                                          input.y, input.width, input.height, input.id,
                                          font(input.face), pnl2, framed ? WS_EX_CLIENTEDGE : 0);
    }
    for (HWND box : {chk1, chk2, chk3, chk4}) SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    for (const char* item : kTypeItems) {
        SendMessageA(cbb2, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    win32::SetDropDownRows(cbb2, kDropDownRows);
    for (int picker = 0; picker < 2; ++picker) {
        HWND control = picker == 0 ? dtp1 : dtp2;
        pickerValues_[picker] = kPickerStart[picker];
        const SYSTEMTIME start = ToSystemTime(kPickerStart[picker]);
        SendMessageA(control, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>("yyyy-MM-dd"));
        SendMessageA(control, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&start));
    }
    SetUpLocationBox();
}

void TForm1::SetUpLocationBox() {
    SendMessageA(cbb1, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(il1));
    // Typing completes the text in place (CompleteLocationTyping). The edit
    // field is a Unicode window and stays one: a procedure set through the
    // ANSI call would make it an ANSI window, and text put into it (pasted,
    // or sent by another program) that the code page cannot hold would turn
    // into '?' before the search could refuse it.
    HWND edit = LocationEdit();
    SetPropA(edit, kFormProperty, this);
    locationEditProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::LocationEditProc)));
}

void TForm1::CreateResultsTable() {
    lv1 = MakeControl(WC_LISTVIEWA, "", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_EDITLABELS,
                      285, 0, 400, 400, idLv1, controlFont_.Get(), hwnd_, WS_EX_CLIENTEDGE);
    SendMessageA(lv1, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    int index = 0;
    for (const ColumnLayout& layout : kColumns) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = LVCFMT_LEFT;
        column.cx = layout.width;
        column.pszText = const_cast<char*>(layout.caption);
        SendMessageA(lv1, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&column));
    }
    // Two blank rows until the first search empties the table.
    for (int row = 0; row < 2; ++row) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>("");
        SendMessageA(lv1, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
}

void TForm1::CreateStatusBar() {
    // Placed by ArrangeControls rather than by itself, so that it keeps its height.
    stat1 = MakeControl(STATUSCLASSNAMEA, "", SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN, 0,
                        0, 400, 19, idStat1, controlFont_.Get(), hwnd_);
    SetStatusParts();
    SendMessageA(stat1, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("已找到目标："));
    SendMessageA(stat1, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>("正在查找文件："));
}

void TForm1::SetStatusParts() {
    // Given as the bar's width rather than as "to the end" (-1), and again
    // after every resize: a bar that does not place itself does not stretch
    // its last panel either.
    RECT bar{};
    GetClientRect(stat1, &bar);
    const int edges[] = {kStatusEdges[0], kStatusEdges[1], kStatusEdges[2],
                         std::max(static_cast<int>(bar.right), kStatusEdges[2])};
    SendMessageA(stat1, SB_SETPARTS, std::size(edges), reinterpret_cast<LPARAM>(edges));
}

void TForm1::CreatePopupMenu() {
    menu_ = win32::OwnedMenu(::CreatePopupMenu());
    pm1 = menu_.Get();
    if (pm1 == nullptr) throw QuernaError("Error creating menu");
    AppendMenuA(pm1, MF_STRING, idN1, "打开所在的文件夹");
    AppendMenuA(pm1, MF_SEPARATOR, 0, nullptr);  // N2
    AppendMenuA(pm1, MF_STRING, idN3, "打开");
    AppendMenuA(pm1, MF_SEPARATOR, 0, nullptr);  // N8
    AppendMenuA(pm1, MF_STRING, idN5, "复制文件名");
    AppendMenuA(pm1, MF_STRING, idN9, "复制路径");
    AppendMenuA(pm1, MF_STRING, idN4, "复制全路径");
    AppendMenuA(pm1, MF_STRING, idN10, "保存文件列表");
}

}  // namespace querna
