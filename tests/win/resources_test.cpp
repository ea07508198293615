// The executables' resources as Explorer and the Windows loader read them:
// the icon group, the version information and the application manifest.
#include <gtest/gtest.h>
#include <windows.h>
// after <windows.h>, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/ProgramIcon.h"

namespace querna {
namespace {

constexpr const char* kPrograms[] = {"Querna.exe", "querna-find.exe"};

std::string ProgramPath(const std::string& program) {
    const char* binDir = std::getenv("QUERNA_BIN_DIR");
    return std::string(binDir ? binDir : ".") + "\\" + program;
}

// A program loaded as data only: its resources can be read, its code never
// runs.
class ResourceModule {
  public:
    explicit ResourceModule(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceModule() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

    bool Loaded() const { return module_ != nullptr; }

    // The bytes of one resource of any language; empty when there is none.
    std::string Bytes(LPCSTR type, LPCSTR name) const {
        HRSRC found = FindResourceA(module_, name, type);
        if (found == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const void* data = loaded ? LockResource(loaded) : nullptr;
        if (data == nullptr) return {};
        return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
    }

  private:
    HMODULE module_;
};

uint32_t Read32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    if (at + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

uint16_t Read16(const std::string& bytes, size_t at) {
    uint16_t value = 0;
    if (at + 2 <= bytes.size()) std::memcpy(&value, bytes.data() + at, 2);
    return value;
}

// One entry of an RT_GROUP_ICON directory (GRPICONDIRENTRY, 14 packed bytes).
struct GroupEntry {
    int width, height, bitCount;
    uint32_t bytes;
    int id;
};

std::vector<GroupEntry> ReadIconGroup(const std::string& group) {
    std::vector<GroupEntry> entries;
    if (group.size() < 6 || Read16(group, 2) != 1) return entries;  // type 1: icons
    const size_t count = Read16(group, 4);
    for (size_t i = 0; i < count && 6 + 14 * (i + 1) <= group.size(); ++i) {
        const size_t at = 6 + 14 * i;
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(group[at + k]); };
        entries.push_back({byte(0) == 0 ? 256 : byte(0), byte(1) == 0 ? 256 : byte(1),
                           Read16(group, at + 6), Read32(group, at + 8), Read16(group, at + 12)});
    }
    return entries;
}

// Compares an RT_ICON image (BITMAPINFOHEADER, bottom-up BGRA rows, AND mask)
// with the picture the window draws; returns what differs, empty if nothing.
std::string CompareIconImage(const std::string& image, const Picture& picture) {
    const int size = picture.size;
    const size_t maskStride = (size + 31) / 32 * 4;
    const size_t colourBytes = static_cast<size_t>(size) * size * 4;
    if (image.size() < 40 + colourBytes + maskStride * size) return "image too short";
    if (Read32(image, 0) != 40 || static_cast<int>(Read32(image, 4)) != size ||
        static_cast<int>(Read32(image, 8)) != 2 * size || Read16(image, 14) != 32) {
        return "unexpected BITMAPINFOHEADER";
    }
    for (int y = 0; y < size; ++y) {
        const size_t row = static_cast<size_t>(size - 1 - y);  // stored bottom-up
        for (int x = 0; x < size; ++x) {
            const uint32_t want = picture.pixels[y * size + x];
            const bool transparent = (want >> 24) == 0;
            const uint32_t got = Read32(image, 40 + (row * size + x) * 4);
            const bool masked =
                (static_cast<unsigned char>(image[40 + colourBytes + row * maskStride + x / 8]) &
                 (0x80 >> x % 8)) != 0;
            if (got != (transparent ? 0 : want) || masked != transparent) {
                char where[96];
                std::snprintf(where, sizeof where, "pixel (%d, %d): %08X, mask %d", x, y,
                              static_cast<unsigned>(got), masked);
                return where;
            }
        }
    }
    return {};
}

TEST(ResourcesTest, IconGroupHoldsTheWindowIconPictureAt16_32And48) {
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        ResourceModule module(ProgramPath(program));
        ASSERT_TRUE(module.Loaded());
        const auto entries = ReadIconGroup(module.Bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(1)));
        ASSERT_EQ(entries.size(), 3u);
        const int sizes[] = {16, 32, 48};
        for (size_t i = 0; i < entries.size(); ++i) {
            const GroupEntry& entry = entries[i];
            EXPECT_EQ(entry.width, sizes[i]);
            EXPECT_EQ(entry.height, sizes[i]);
            EXPECT_EQ(entry.bitCount, 32);
            const std::string image = module.Bytes(RT_ICON, MAKEINTRESOURCEA(entry.id));
            EXPECT_EQ(image.size(), entry.bytes);
            EXPECT_EQ(CompareIconImage(image, ProgramIconPicture(sizes[i])), "")
                << "size " << sizes[i];
        }
    }
}

// What Explorer does for a file's icon: the first icon group, at the
// system's large and small sizes.
TEST(ResourcesTest, ExplorerExtractsTheIconAtBothSystemSizes) {
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        const std::string path = ProgramPath(program);
        EXPECT_EQ(ExtractIconExA(path.c_str(), -1, nullptr, nullptr, 0), 1u);
        HICON large = nullptr, small = nullptr;
        ASSERT_EQ(ExtractIconExA(path.c_str(), 0, &large, &small, 1), 2u);
        const struct {
            HICON icon;
            int metric;
        } extracted[] = {{large, SM_CXICON}, {small, SM_CXSMICON}};
        for (const auto& [icon, metric] : extracted) {
            ICONINFO info{};
            ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info));
            BITMAP colour{};
            GetObjectA(info.hbmColor, sizeof colour, &colour);
            EXPECT_EQ(colour.bmWidth, GetSystemMetrics(metric));
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
    }
}

std::string VersionString(const std::vector<char>& info, const std::string& key) {
    char* text = nullptr;
    UINT length = 0;
    const std::string path = "\\StringFileInfo\\080404B0\\" + key;
    if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
        text == nullptr) {
        return "<missing>";
    }
    return std::string(text, strnlen(text, length));
}

TEST(ResourcesTest, VersionInformationIsInSimplifiedChineseWithTheProjectVersion) {
    struct Case {
        const char* program;
        const char* description;
    };
    const Case cases[] = {
        {"Querna.exe", "Querna 青禾寻踪 文件查找"},
        {"querna-find.exe", "Querna 青禾寻踪 命令行文件查找"},
    };
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(QUERNA_VERSION_TEXT, "%u.%u.%u", &major, &minor, &patch), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const std::string path = ProgramPath(c.program);
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
        ASSERT_GT(size, 0u);
        std::vector<char> info(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));

        WORD* translation = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        ASSERT_GE(length, 4u);
        EXPECT_EQ(translation[0], 0x0804);  // Simplified Chinese
        EXPECT_EQ(translation[1], 1200);    // Unicode

        const struct {
            const char* key;
            std::string expected;
        } strings[] = {
            {"ProductName", "Querna 青禾寻踪"},   {"FileDescription", c.description},
            {"OriginalFilename", c.program},      {"ProductVersion", QUERNA_VERSION_TEXT},
            {"FileVersion", QUERNA_VERSION_TEXT}, {"CompanyName", "Querna 开发者"},
        };
        for (const auto& [key, expected] : strings) {
            EXPECT_EQ(VersionString(info, key), expected) << key;
        }
        EXPECT_NE(VersionString(info, "LegalCopyright").find("MIT"), std::string::npos);

        VS_FIXEDFILEINFO* fixed = nullptr;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_GE(length, sizeof *fixed);
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, patch));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    }
}

TEST(ResourcesTest, ManifestAsksForCommonControls6AsInvokerOnWindows7To11) {
    const char* required[] = {
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "publicKeyToken=\"6595b64144ccf1df\"",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10 and 11
    };
    // The program's strings are in the system code page: no code page of its
    // own (the element, with or without a namespace prefix), and nothing that
    // would ask for elevation.
    const char* forbidden[] = {"activeCodePage>", "\"requireAdministrator\"",
                               "\"highestAvailable\""};
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        ResourceModule module(ProgramPath(program));
        ASSERT_TRUE(module.Loaded());
        std::string manifest = module.Bytes(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
        ASSERT_FALSE(manifest.empty());
        // The XML may break an element over lines; compare with single spaces.
        std::string flat;
        for (char c : manifest) {
            const bool space = c == ' ' || c == '\r' || c == '\n' || c == '\t';
            if (!space)
                flat += c;
            else if (!flat.empty() && flat.back() != ' ')
                flat += ' ';
        }
        for (const char* text : required) EXPECT_NE(flat.find(text), std::string::npos) << text;
        for (const char* text : forbidden) EXPECT_EQ(flat.find(text), std::string::npos) << text;
    }
}

// The module whose code runs a new Button window. The procedure is read with
// the W function: read through the A one, a Unicode procedure is a thunk.
HMODULE ButtonProcedureModule() {
    HWND button = CreateWindowExA(0, "Button", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (button == nullptr) return nullptr;
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(GetWindowLongPtrW(button, GWLP_WNDPROC)), &module);
    DestroyWindow(button);
    return module;
}

// The loader accepts the manifest, and under it a button is the common
// controls' version-6 button (user32 serves the old ones). Wine's comctl32
// reports 5.81 from DllGetVersion even as version 6, so the version number
// proves nothing here.
TEST(ResourcesTest, ManifestSelectsTheVersion6CommonControls) {
    // This test program has no manifest: its buttons are user32's.
    ASSERT_EQ(ButtonProcedureModule(), GetModuleHandleA("user32.dll"));
    for (const char* program : kPrograms) {
        SCOPED_TRACE(program);
        const std::string path = ProgramPath(program);
        ACTCTXA context{};
        context.cbSize = sizeof context;
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = path.c_str();
        context.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        HANDLE activation = CreateActCtxA(&context);
        ASSERT_NE(activation, INVALID_HANDLE_VALUE) << GetLastError();
        ULONG_PTR cookie = 0;
        ASSERT_TRUE(ActivateActCtx(activation, &cookie));
        HMODULE controls = LoadLibraryA("comctl32.dll");
        const HMODULE buttons = ButtonProcedureModule();
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(activation);
        EXPECT_NE(controls, nullptr);
        EXPECT_EQ(buttons, controls);
        EXPECT_NE(buttons, GetModuleHandleA("user32.dll"));
        if (controls != nullptr) FreeLibrary(controls);
    }
}

}  // namespace
}  // namespace querna
