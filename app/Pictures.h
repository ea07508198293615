// The program's own pictures, drawn in code: the eight 16 x 16 images of the
// location box (see LocationImage) and the window's icon. Nothing is loaded
// from files or resources.
#pragma once

#include <windows.h>
// after <windows.h>, which it needs
#include <commctrl.h>

#include <cstdint>
#include <string_view>
#include <vector>

namespace querna::win32 {

// A square picture as 32-bit pixels 0xAARRGGBB, top row first; alpha 0 is
// transparent.
struct Picture {
    int size = 0;
    std::vector<uint32_t> pixels;
};

// One image of the location box, for an index of LocationImage.
Picture LocationPicture(int index);

// The program's icon at `size` pixels: a magnifying glass over a green ear of
// grain.
Picture ProgramIconPicture(int size);

// A new image list holding the eight location images, with transparency
// masks; the caller destroys it (ImageList_Destroy). Null on failure.
HIMAGELIST CreateLocationImageList();

// A new icon of `size` pixels; the caller destroys it (DestroyIcon). Null on
// failure.
HICON CreateProgramIcon(int size);

}  // namespace querna::win32
