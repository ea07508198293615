// Small helpers of the main window over user32, gdi32 and comctl32: owners of
// GDI and menu handles (on the one handle owner of win32/Handles.h), the panel and label
// window classes, the choice of the interface font, and text access to controls.
#pragma once

#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <string>

#include "win32/Handles.h"

namespace querna::win32 {

// Owners of the window's GDI objects, menu, image list and icons.
template <typename Handle, auto Destroy>
struct GuiHandleTraits {
    using Type = Handle;
    static Type Invalid() { return nullptr; }
    static void Free(Type handle) { Destroy(handle); }
};

using OwnedFont = UniqueHandle<GuiHandleTraits<HFONT, &DeleteObject>>;
using OwnedMenu = UniqueHandle<GuiHandleTraits<HMENU, &DestroyMenu>>;
using OwnedImageList = UniqueHandle<GuiHandleTraits<HIMAGELIST, &ImageList_Destroy>>;
using OwnedIcon = UniqueHandle<GuiHandleTraits<HICON, &DestroyIcon>>;

// The face the window's texts are drawn in: SimSun where it is installed,
// else the first installed face of a list of Chinese interface fonts, else
// any face with GB2312 characters.
std::string ChooseInterfaceFace();

// A font of `face`, `pixels` high (character height), regular or bold.
OwnedFont CreateInterfaceFont(const std::string& face, int pixels, bool bold);

// The class of the window's panels ("QuernaPanel"): a plain container painted
// with the brush given at creation (as lpParam: an HBRUSH the panel does not
// own), optionally with a lowered outer bevel (style kPanelLowered). It hands
// commands and notifications of its children on to its parent, and gives
// static and check-box children its own background.
inline constexpr const char* kPanelClass = "QuernaPanel";
inline constexpr DWORD kPanelLowered = 0x0001;

// The class of the window's labels ("QuernaLabel"): a static text control
// that keyboard navigation passes over, so that an access letter shown in a
// label's caption does nothing (no label is tied to an input).
inline constexpr const char* kLabelClass = "QuernaLabel";

// Registers both classes once per process; later calls do nothing.
void RegisterControlClasses(HINSTANCE instance);

// Gives a drop-down combo box (plain or extended) room for `rows` rows of
// its current item height when its list opens: the height a combo box is
// given covers its closed field and its list together.
void SetDropDownRows(HWND combo, int rows);

// The text of any window (GetWindowTextA), in the system code page.
std::string WindowText(HWND window);

// Whether every character of the window's text has a counterpart in the
// system code page (pasted text may hold any Unicode character).
bool TextFitsCodePage(HWND window);

// The text of one cell of a report-view list view (column 0 is the caption).
std::string ListViewCellText(HWND table, int row, int column);

// The caption of one item of an extended combo box; empty when there is none.
std::string ComboExItemText(HWND combo, int index);

}  // namespace querna::win32
