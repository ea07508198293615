// TForm1: the location box cbb1 (an extended combo box whose items carry
// images and indents), its list, its pick handling and its typing completion.
#include "app/Form1.h"
#include "win32/Win32Drives.h"

namespace querna {

void TForm1::FillLocationList() {
    SendMessageA(cbb1, CB_RESETCONTENT, 0, 0);
    state_.LocalDriveLetters = win32::ReadLocalDriveLetters();
    state_.LocalDriveCount = static_cast<int32_t>(state_.LocalDriveLetters.size());
    for (const LocationEntry& item : BuildLocationItems(state_.LocalDriveLetters)) {
        AddLocationItem(item);
    }
    // The items' height is known only once there are items with images. The
    // extended box keeps the height it was created with for its inner box,
    // so the inner one is sized itself.
    win32::SetDropDownRows(reinterpret_cast<HWND>(SendMessageA(cbb1, CBEM_GETCOMBOCONTROL, 0, 0)),
                           kDropDownRows);
}

void TForm1::AddLocationItem(const LocationEntry& entry) {
    COMBOBOXEXITEMA item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_OVERLAY | CBEIF_INDENT |
                CBEIF_LPARAM;
    item.iItem = -1;  // at the end
    item.pszText = const_cast<char*>(entry.caption.c_str());
    item.iImage = entry.image;
    item.iSelectedImage = entry.image;
    item.iOverlay = entry.image;
    item.iIndent = entry.indent;
    item.lParam = 0;
    SendMessageA(cbb1, CBEM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

HWND TForm1::LocationEdit() const {
    return reinterpret_cast<HWND>(SendMessageA(cbb1, CBEM_GETEDITCONTROL, 0, 0));
}

void TForm1::SetLocationText(const std::string& text) {
    SetWindowTextA(LocationEdit(), text.c_str());
}

std::string TForm1::LocationText() {
    return win32::WindowText(LocationEdit());
}

int TForm1::LocationIndex() {
    // The box keeps its selection when the user types over the picked
    // caption or a folder is put into the text; the search must then run on
    // the text shown, so an item counts as selected only while it is shown.
    const int index = static_cast<int>(SendMessageA(cbb1, CB_GETCURSEL, 0, 0));
    if (index >= 0 && LocationItemText(index) != LocationText()) return -1;
    return index;
}

std::string TForm1::LocationItemText(int index) {
    return win32::ComboExItemText(cbb1, index);
}

void TForm1::LocationPicked(int code) {
    // While the list is open, moving through it is not yet a pick.
    if (code == CBN_SELCHANGE && SendMessageA(cbb1, CB_GETDROPPEDSTATE, 0, 0)) return;
    const int index = static_cast<int>(SendMessageA(cbb1, CB_GETCURSEL, 0, 0));
    if (index < 0 || index == pickedIndex_) return;
    pickedIndex_ = index;
    Dispatch([&] {
        // The box shows the picked caption before the handler looks at it.
        SetLocationText(LocationItemText(index));
        cbb1Click();
    });
    PostMessageA(hwnd_, kPickHandled, 0, 0);
}

LRESULT CALLBACK TForm1::LocationEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = static_cast<TForm1*>(GetPropA(edit, kFormProperty));
    if (form == nullptr) return DefWindowProcW(edit, message, wParam, lParam);
    const WNDPROC original = form->locationEditProc_;
    if (message == WM_NCDESTROY) {
        RemovePropA(edit, kFormProperty);
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, edit, message, wParam, lParam);
    }
    const LRESULT result = CallWindowProcW(original, edit, message, wParam, lParam);
    // Completion follows a typed character; control characters (Backspace,
    // Ctrl+letters) only edit.
    if (message == WM_CHAR && wParam >= 0x20 && wParam != 0x7F) {
        form->Dispatch([form] { form->CompleteLocationTyping(); });
    }
    return result;
}

void TForm1::CompleteLocationTyping() {
    HWND edit = LocationEdit();
    // The edit control counts positions in UTF-16 units.
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const int length = GetWindowTextLengthW(edit);
    if (start != end || static_cast<int>(end) != length) return;  // typing in the middle

    const std::string typed = win32::WindowText(edit);
    std::vector<std::string> captions;
    const int count = static_cast<int>(SendMessageA(cbb1, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) captions.push_back(LocationItemText(index));
    const std::optional<std::string> completed =
        CompleteLocationText(typed, captions, services_.rules);
    if (!completed || *completed == typed) return;

    SetWindowTextA(edit, completed->c_str());
    // Select the added part, so that the next keystroke replaces it.
    SendMessageA(edit, EM_SETSEL, length, -1);
}

}  // namespace querna
