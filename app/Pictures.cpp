#include "app/Pictures.h"

#include <array>
#include <string_view>
#include <vector>

#include "search/Locations.h"

namespace querna::win32 {

namespace {

// ---- The 16 x 16 images, as maps of palette letters ("." is transparent).

uint32_t PaletteColour(char letter) {
    switch (letter) {
        case 'o':
            return 0xFFA07818;  // folder outline
        case 'h':
            return 0xFFFFF2B8;  // folder highlight
        case 'y':
            return 0xFFF8D470;  // folder
        case 'Y':
            return 0xFFE0AE3C;  // folder shade
        case 'k':
            return 0xFF404048;  // dark outline
        case 'w':
            return 0xFFFFFFFF;
        case 'l':
            return 0xFF8890A8;  // lines of text
        case 'g':
            return 0xFFC8C8C8;
        case 'G':
            return 0xFF808080;
        case 'b':
            return 0xFF2858B8;  // blue
        case 'B':
            return 0xFF98C8F0;  // light blue
        case 'n':
            return 0xFF38A038;  // green
        case 's':
            return 0xFFF0A020;  // sun
        case 'p':
            return 0xFFF0C830;  // pencil
        case 'P':
            return 0xFFC89818;  // pencil shade
        case 'r':
            return 0xFFD04040;  // eraser
        case 't':
            return 0xFFE8C8A0;  // wood of the pencil tip
        default:
            return 0;
    }
}

using Map = std::array<std::string_view, 16>;

constexpr Map kFolder = {
    "................", "................", "................", ".oooo...........",
    "ohhhho..........", "ohyyyhooooooooo.", "ohyyyyyyyyyyyyyo", "ohyyyyyyyyyyyyYo",
    "ohyyyyyyyyyyyyYo", "ohyyyyyyyyyyyyYo", "ohyyyyyyyyyyyyYo", "ohyyyyyyyyyyyyYo",
    "ohyyyyyyyyyyyyYo", "oYYYYYYYYYYYYYYo", "oooooooooooooooo", "................",
};

// Emblems drawn over the folder's front, 7 x 7 at column 8, row 7.
using Emblem = std::array<std::string_view, 7>;
constexpr Emblem kDocumentEmblem = {"kkkkk..", "kwwwkk.", "kwlllwk", "kwwwwwk",
                                    "kwllllk", "kwwwwwk", "kkkkkkk"};
constexpr Emblem kPictureEmblem = {"kkkkkkk", "kBBBBsk", "kBBBBBk", "kBnBBBk",
                                   "knnnBnk", "knnnnnk", "kkkkkkk"};
constexpr Emblem kMusicEmblem = {"..bbbbb", "..bbbbb", "..b...b", "..b...b",
                                 "bbb.bbb", "bbbbbbb", ".b...b."};
constexpr Emblem kGlobeEmblem = {"..bbb..", ".bBnBb.", "bnnBBBb", "bBnnBnb",
                                 "bBBnnnb", ".bBBnb.", "..bbb.."};

constexpr Map kDesktop = {
    "..............rr", ".bbbbbbbbbbbb.rr", ".bwwwwwwwwwwbpP.", ".bwllllllllwpP..",
    ".bwwwwwwwwwpPb..", ".bwlllllllpPwb..", ".bwwwwwwwpPwwb..", ".bwllllllPllwb..",
    ".bwwwwwtpwwwwb..", ".bwllllttllwwb..", ".bwwwwkwwwwwwb..", ".bwlllllllllwb..",
    ".bwwwwwwwwwwwb..", ".bbbbbbbbbbbbb..", "................", "................",
};

constexpr Map kComputer = {
    "................", ".kkkkkkkkkkkkkk.", ".kggggggggggggk.", ".kgbbbbbbbbbbgk.",
    ".kgbBBbbbbbbbgk.", ".kgbBbbbbbbbbgk.", ".kgbbbbbbbbbbgk.", ".kgbbbbbbbbbbgk.",
    ".kgbbbbbbbbbbgk.", ".kggggggggggggk.", ".kkkkkkkkkkkkkk.", "......kggk......",
    "....kkkkkkkk....", "..kggggggggggk..", "..kkkkkkkkkkkk..", "................",
};

constexpr Map kDrive = {
    "................", "................", "................", "................",
    "................", "..kkkkkkkkkkkk..", ".kwwwwwwwwwwwwk.", "kwggggggggggggGk",
    "kggggggggggggGGk", "kgGGGGGGggggnnGk", "kggggggggggggGGk", "kGGGGGGGGGGGGGGk",
    ".kkkkkkkkkkkkkk.", "................", "................", "................",
};

constexpr Map kOpenFolder = {
    "................", "................", "................", ".oooo...........",
    "oYYYYo..........", "oYYYYYoooooooo..", "oYYYYYYYYYYYYo..", "oYYooooooooooooo",
    "oYohyyyyyyyyyyo.", "oYohyyyyyyyyyyo.", "oohyyyyyyyyyyo..", "oohyyyyyyyyyyo..",
    "ohyyyyyyyyyyyo..", "ohyyyyyyyyyyyo..", "oooooooooooooo..", "................",
};

Picture FromMap(const Map& map) {
    Picture picture{16, std::vector<uint32_t>(16 * 16)};
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) picture.pixels[y * 16 + x] = PaletteColour(map[y][x]);
    }
    return picture;
}

Picture FolderWith(const Emblem& emblem) {
    Picture picture = FromMap(kFolder);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            if (emblem[y][x] != '.')
                picture.pixels[(y + 7) * 16 + x + 8] = PaletteColour(emblem[y][x]);
        }
    }
    return picture;
}

// ---- Conversion to GDI objects.

// A top-down 32-bit DIB section holding the picture's pixels.
HBITMAP ColourBitmap(const Picture& picture) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.size;
    info.bmiHeader.biHeight = -picture.size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr) return nullptr;
    auto* target = static_cast<uint32_t*>(bits);
    // Transparent pixels are black, as a masked image expects.
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        target[i] = (picture.pixels[i] >> 24) == 0 ? 0 : picture.pixels[i];
    }
    return bitmap;
}

// A monochrome mask: 1 where the picture is transparent.
HBITMAP MaskBitmap(const Picture& picture) {
    const int stride = ((picture.size + 15) / 16) * 2;  // rows are WORD-aligned
    std::vector<BYTE> bits(static_cast<size_t>(stride) * picture.size, 0);
    for (int y = 0; y < picture.size; ++y) {
        for (int x = 0; x < picture.size; ++x) {
            if ((picture.pixels[y * picture.size + x] >> 24) == 0) {
                bits[y * stride + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
            }
        }
    }
    return CreateBitmap(picture.size, picture.size, 1, 1, bits.data());
}

}  // namespace

Picture LocationPicture(int index) {
    switch (index) {
        case imgDocuments:
            return FolderWith(kDocumentEmblem);
        case imgPictures:
            return FolderWith(kPictureEmblem);
        case imgMusic:
            return FolderWith(kMusicEmblem);
        case imgDesktop:
            return FromMap(kDesktop);
        case imgComputer:
            return FromMap(kComputer);
        case imgDrive:
            return FromMap(kDrive);
        case imgOpenFolder:
            return FromMap(kOpenFolder);
        case imgWebFolder:
            return FolderWith(kGlobeEmblem);
        default:
            return FromMap(kFolder);
    }
}

HIMAGELIST CreateLocationImageList() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, kLocationImageCount, 0);
    if (list == nullptr) return nullptr;
    for (int index = 0; index < kLocationImageCount; ++index) {
        const Picture picture = LocationPicture(index);
        HBITMAP colour = ColourBitmap(picture);
        HBITMAP mask = MaskBitmap(picture);
        ImageList_Add(list, colour, mask);  // the list keeps copies
        DeleteObject(colour);
        DeleteObject(mask);
    }
    return list;
}

HICON CreateProgramIcon(int size) {
    const Picture picture = ProgramIconPicture(size);
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = ColourBitmap(picture);
    info.hbmMask = MaskBitmap(picture);
    HICON icon = (info.hbmColor && info.hbmMask) ? CreateIconIndirect(&info) : nullptr;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return icon;
}

}  // namespace querna::win32
