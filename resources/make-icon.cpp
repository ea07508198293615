// make-icon: writes the executables' icon file, the picture of
// app/ProgramIcon.h at 16, 32 and 48 pixels, for the resource compiler.
// It runs on the build machine during a cross build, so it uses no Windows
// headers and spells the ICO layout out byte by byte (all fields little-endian).
//   make-icon OUTPUT.ico
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/ProgramIcon.h"

namespace {

constexpr int kSizes[] = {16, 32, 48};

void Put16(std::string& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// One image as an icon stores it: a BITMAPINFOHEADER whose height counts the
// colour rows and the mask rows together, the 32-bit BGRA rows bottom-up,
// then the 1-bit AND mask (1 = transparent), each mask row padded to 4
// bytes. Windows draws 32-bit icons by their alpha; the mask is for readers
// that do not. Transparent pixels are black, as a masked image expects.
std::string IconImage(const querna::Picture& picture) {
    const uint32_t size = static_cast<uint32_t>(picture.size);
    const uint32_t maskStride = (size + 31) / 32 * 4;
    std::string image;
    Put32(image, 40);        // biSize
    Put32(image, size);      // biWidth
    Put32(image, size * 2);  // biHeight: colour and mask
    Put16(image, 1);         // biPlanes
    Put16(image, 32);        // biBitCount
    Put32(image, 0);         // biCompression: BI_RGB
    Put32(image, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i) Put32(image, 0);  // resolution and palette: unused
    for (uint32_t row = size; row-- > 0;) {
        for (uint32_t x = 0; x < size; ++x) {
            const uint32_t argb = picture.pixels[row * size + x];
            Put32(image, (argb >> 24) == 0 ? 0 : argb);  // B G R A in memory order
        }
    }
    for (uint32_t row = size; row-- > 0;) {
        std::string mask(maskStride, '\0');
        for (uint32_t x = 0; x < size; ++x) {
            if ((picture.pixels[row * size + x] >> 24) == 0)
                mask[x / 8] |= static_cast<char>(0x80 >> x % 8);
        }
        image += mask;
    }
    return image;
}

// ICONDIR (reserved, type 1 = icon, count), one 16-byte ICONDIRENTRY per
// image, then the images in the same order.
std::string IconFile() {
    std::vector<std::string> images;
    for (int size : kSizes) images.push_back(IconImage(querna::ProgramIconPicture(size)));
    std::string file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        file += static_cast<char>(kSizes[i]);  // width and height; 0 would mean 256
        file += static_cast<char>(kSizes[i]);
        file += '\0';     // no palette
        file += '\0';     // reserved
        Put16(file, 1);   // planes
        Put16(file, 32);  // bits per pixel
        Put32(file, static_cast<uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const std::string& image : images) file += image;
    return file;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icon OUTPUT.ico\n");
        return 2;
    }
    const std::string file = IconFile();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
