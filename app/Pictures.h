// The program's own pictures, drawn in code: the eight 16 x 16 images of the
// location box (see LocationImage) and the window's icon (app/ProgramIcon.h),
// made into GDI objects. Nothing is loaded from files or resources.
#pragma once

#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include "app/ProgramIcon.h"

namespace querna::win32 {

// One image of the location box, for an index of LocationImage.
Picture LocationPicture(int index);

// A new image list holding the eight location images, with transparency
// masks; the caller destroys it (ImageList_Destroy). Null on failure.
HIMAGELIST CreateLocationImageList();

// A new icon of `size` pixels; the caller destroys it (DestroyIcon). Null on
// failure.
HICON CreateProgramIcon(int size);

}  // namespace querna::win32
