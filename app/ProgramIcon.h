// The program's icon, drawn in code. The window draws it at run time and a
// build-time tool (resources/make-icon.cpp) writes it into the executables'
// icon file, so Explorer and the window show the same picture. Platform-free:
// the build also compiles this file for the build machine.
#pragma once

#include <cstdint>
#include <vector>

namespace querna {

// A square picture as 32-bit pixels 0xAARRGGBB (straight alpha), top row
// first; alpha 0 is transparent.
struct Picture {
    int size = 0;
    std::vector<uint32_t> pixels;
};

// The program's icon at `size` pixels: a magnifying glass over a green ear of
// grain. Sizes below 1 give an empty picture.
Picture ProgramIconPicture(int size);

}  // namespace querna
