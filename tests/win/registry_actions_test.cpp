// The registry, clipboard and text-file layers on the real Windows services:
// the Explorer registration in the prefix's classes root, the shell folders
// of the current user, CF_TEXT on the clipboard, and saved file lists.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <thread>

#include "app/ExplorerRegistration.h"
#include "platform/Error.h"
#include "results/ResultActions.h"
#include "search/SearchRun.h"
#include "support/TempTree.h"
#include "tests/fakes/FakeResultServices.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/RecordingDialogs.h"
#include "win32/Win32Clipboard.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32Registry.h"
#include "win32/Win32TextFileWriter.h"
#include "win32/Win32TextRules.h"

namespace querna {
namespace {

using testing::ReadWholeFile;
using testing::TempTree;

constexpr const char* kScratchKey = "Software\\QuernaRegistryTest";

// The data and type of a key's value; nothing when it cannot be read.
struct StoredValue {
    DWORD type = 0;
    std::string bytes;  // as stored, terminating zero included
};
std::optional<StoredValue> ReadValue(HKEY root, const std::string& key, const char* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(opened, name, nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.resize(size);
        result = RegQueryValueExA(opened, name, nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    }
    RegCloseKey(opened);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool KeyPresent(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

// A registry whose "classes root" is a key the test chose, opened with the
// access the test chose.
class ScratchRootRegistry final : public Registry {
  public:
    explicit ScratchRootRegistry(HKEY root) : root_(root) {}
    std::string ReadCurrentUserString(const std::string&, const std::string&) override {
        return {};
    }
    std::unique_ptr<ClassesRootAccessor> OpenClassesRoot() override {
        return std::make_unique<win32::Win32RegistryAccessor>(root_);
    }

  private:
    HKEY root_;
};

class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() {
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey);
        RegCreateKeyExA(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &scratch, nullptr);
    }
    ~RegistryTest() override {
        RegCloseKey(scratch);
        RegDeleteTreeA(HKEY_CURRENT_USER, kScratchKey);
    }
    std::string Scratch(const std::string& below) const {
        return std::string(kScratchKey) + "\\" + below;
    }

    HKEY scratch = nullptr;
    win32::Win32Registry registry;
};

TEST_F(RegistryTest, RegistrationWritesTheClassesRootTwice) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Directory\\shell\\findext");
    const std::string menu = "青禾寻踪(&M)";
    const std::string programs[] = {"C:\\Program Files\\Querna\\Querna.exe",
                                    "D:\\Moved\\Querna.exe"};
    for (const std::string& program : programs) {
        ASSERT_NO_THROW(RegisterExplorerMenu(registry, program)) << program;

        const auto text = ReadValue(HKEY_CLASSES_ROOT, "Directory\\shell\\findext", "");
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(text->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(text->bytes, std::string("\xC7\xE0\xBA\xCC\xD1\xB0\xD7\xD9(&M)", 13));
        EXPECT_EQ(text->bytes, menu + '\0');

        const auto command = ReadValue(HKEY_CLASSES_ROOT, "Directory\\shell\\findext\\command", "");
        ASSERT_TRUE(command.has_value());
        EXPECT_EQ(command->type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(command->bytes, "\"" + program + "\" \"%1\"" + '\0');
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "Directory\\shell\\findext");
}

TEST_F(RegistryTest, AccessorWorksRelativeToTheKeyOpenedLast) {
    win32::Win32RegistryAccessor keys(scratch);
    EXPECT_FALSE(keys.WriteDefaultString("no key open"));
    EXPECT_FALSE(keys.KeyExists("A"));
    EXPECT_TRUE(keys.CreateKey("A"));
    EXPECT_TRUE(keys.KeyExists("A"));
    ASSERT_TRUE(keys.OpenKey("A"));
    ASSERT_TRUE(keys.OpenKey("B"));  // created below A
    EXPECT_TRUE(keys.WriteDefaultString("in B"));
    EXPECT_FALSE(keys.KeyExists("A"));  // relative to A\B now
    keys.CloseKey();
    EXPECT_TRUE(keys.KeyExists("A"));  // relative to the root again
    EXPECT_TRUE(KeyPresent(HKEY_CURRENT_USER, Scratch("A\\B")));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Scratch("B")));
    const auto value = ReadValue(HKEY_CURRENT_USER, Scratch("A\\B"), "");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->bytes, std::string("in B", 5));
}

TEST_F(RegistryTest, RegistrationWhereNoKeyCanBeCreatedReportsFindextAndWritesNothing) {
    // Below a volatile key the registry refuses to create the lasting keys
    // the registration asks for, as it does for a user without write access.
    HKEY fragile = nullptr;
    ASSERT_EQ(RegCreateKeyExA(scratch, "Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &fragile, nullptr),
              ERROR_SUCCESS);
    ScratchRootRegistry limited(fragile);
    try {
        RegisterExplorerMenu(limited, "C:\\Q.exe");
        ADD_FAILURE() << "no error";
    } catch (const QuernaError& e) {
        EXPECT_STREQ(e.what(), "Failed to create key findext");
    }
    RegCloseKey(fragile);
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Scratch("Volatile\\Directory")));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Scratch("Volatile\\shell")));
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Scratch("Volatile\\findext")));
}

TEST_F(RegistryTest, CurrentUserStringsByType) {
    const std::string data = "c:\\x";
    const auto* bytes = reinterpret_cast<const BYTE*>(data.c_str());
    RegSetValueExA(scratch, "sz", 0, REG_SZ, bytes, static_cast<DWORD>(data.size() + 1));
    RegSetValueExA(scratch, "expand", 0, REG_EXPAND_SZ, bytes, static_cast<DWORD>(data.size() + 1));
    RegSetValueExA(scratch, "unterminated", 0, REG_SZ, bytes, static_cast<DWORD>(data.size()));
    const DWORD number = 7;
    RegSetValueExA(scratch, "number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);

    EXPECT_EQ(registry.ReadCurrentUserString(kScratchKey, "sz"), data);
    EXPECT_EQ(registry.ReadCurrentUserString(kScratchKey, "expand"), data);
    EXPECT_EQ(registry.ReadCurrentUserString(kScratchKey, "unterminated"), data);
    EXPECT_EQ(registry.ReadCurrentUserString(kScratchKey, "missing"), "");
    EXPECT_EQ(registry.ReadCurrentUserString(Scratch("NoSuchKey"), "sz"), "");
    EXPECT_FALSE(KeyPresent(HKEY_CURRENT_USER, Scratch("NoSuchKey")));
    // A number names no folder: it reads as a value that is not there.
    EXPECT_EQ(registry.ReadCurrentUserString(kScratchKey, "number"), "");
}

TEST_F(RegistryTest, ShellFolderOfTheCurrentUserIsReadUpperCased) {
    const char* key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const std::optional<StoredValue> saved = ReadValue(HKEY_CURRENT_USER, key, "Personal");
    HKEY folders = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &folders, nullptr),
              ERROR_SUCCESS);
    const std::string personal = "c:\\users\\q\\我的 docs";
    RegSetValueExA(folders, "Personal", 0, REG_SZ, reinterpret_cast<const BYTE*>(personal.c_str()),
                   static_cast<DWORD>(personal.size() + 1));

    SearchState state;
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    fakes::FakeWindow window;
    SearchEngine engine{state, fs, rules, window, nullptr, 0};
    SearchRun run{state, engine, window, registry, rules};
    const std::string read = run.ReadShellFolder(ShellFolder::Personal);

    if (saved) {
        RegSetValueExA(folders, "Personal", 0, saved->type,
                       reinterpret_cast<const BYTE*>(saved->bytes.data()),
                       static_cast<DWORD>(saved->bytes.size()));
    } else {
        RegDeleteValueA(folders, "Personal");
    }
    RegCloseKey(folders);
    EXPECT_EQ(read, "C:\\USERS\\Q\\我的 DOCS");
}

// ---------------------------------------------------------------- clipboard

// A hidden window to own the clipboard, as the main window does.
class ClipboardTest : public ::testing::Test {
  protected:
    ClipboardTest()
        : owner(CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr)),
          clipboard(owner) {}
    ~ClipboardTest() override { DestroyWindow(owner); }

    // The CF_TEXT bytes on the clipboard up to the terminating NUL, which
    // must be there; nothing when there is no text.
    std::optional<std::string> ClipboardText() {
        if (!OpenClipboard(owner)) return std::nullopt;
        std::optional<std::string> text;
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            const char* bytes = static_cast<const char*>(GlobalLock(data));
            const size_t size = GlobalSize(data);
            const size_t length = strnlen(bytes, size);
            if (length < size) text = std::string(bytes, length);
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    }

    HWND owner;
    win32::Win32Clipboard clipboard;
};

TEST_F(ClipboardTest, CopyActionsPutTheRowsTextsOnTheClipboard) {
    fakes::FakeResultRows table;
    table.rows = {{"a.txt", "D:\\docs\\"}, {"甲.txt", "D:\\文档\\"}};
    fakes::RecordingShell shell;
    fakes::RecordingDialogs dialogs;
    win32::Win32TextFileWriter files;
    ResultActions actions{table, shell, clipboard, dialogs, files};

    struct Case {
        int row;
        void (ResultActions::*action)();
        std::string expected;
    };
    const Case cases[] = {
        {0, &ResultActions::CopyName, "a.txt"},
        {0, &ResultActions::CopyFolder, "D:\\docs\\"},
        {0, &ResultActions::CopyFullPath, "D:\\docs\\a.txt"},
        {1, &ResultActions::CopyFullPath, "D:\\\xCE\xC4\xB5\xB5\\\xBC\xD7.txt"},
    };
    for (const Case& c : cases) {
        table.selected = c.row;
        (actions.*c.action)();
        EXPECT_EQ(ClipboardText(), c.expected);
    }
}

TEST_F(ClipboardTest, ClipboardHeldByAnotherThreadIsReported) {
    clipboard.SetText("before");
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        const BOOL opened = OpenClipboard(nullptr);
        SetEvent(held);
        WaitForSingleObject(release, 10000);
        if (opened) CloseClipboard();
    });
    WaitForSingleObject(held, 10000);
    try {
        clipboard.SetText("after");
        ADD_FAILURE() << "no error";
    } catch (const QuernaError& e) {
        EXPECT_STREQ(e.what(), "Cannot open clipboard");
    }
    SetEvent(release);
    holder.join();
    CloseHandle(held);
    CloseHandle(release);
    EXPECT_EQ(ClipboardText(), "before");
}

// ---------------------------------------------------------------- saved lists

class SaveListTest : public ::testing::Test {
  protected:
    SaveListTest() { table.rows = {{"甲.txt", "D:\\文档\\"}, {"b.txt", "C:\\b\\"}, {"c", "E:\\"}}; }

    TempTree tree;
    fakes::FakeResultRows table;
    fakes::RecordingShell shell;
    fakes::RecordingClipboard clipboard;
    fakes::RecordingDialogs dialogs;
    win32::Win32TextFileWriter files;
    ResultActions actions{table, shell, clipboard, dialogs, files};
};

TEST_F(SaveListTest, SavedFileHoldsGbkLinesEndedByCrLfAndIsReplacedNextTime) {
    dialogs.saveAnswer = tree.Path("list");
    actions.SaveList();
    EXPECT_EQ(ReadWholeFile(tree.Path("list")),
              "D:\\\xCE\xC4\xB5\xB5\\\xBC\xD7.txt\r\nC:\\b\\b.txt\r\nE:\\c\r\n");
    table.rows.resize(1);
    actions.SaveList();
    EXPECT_EQ(ReadWholeFile(tree.Path("list")), "D:\\\xCE\xC4\xB5\xB5\\\xBC\xD7.txt\r\n");
    EXPECT_EQ(dialogs.shown, (std::vector<std::string>(2, "info:提示:文件列表保存成功")));
}

TEST_F(SaveListTest, SaveFailuresGiveTheirMessages) {
    tree.AddFile("locked.txt", "keep");
    HANDLE locked = CreateFileA(tree.Path("locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {tree.Path("Missing\\list.txt"), "文件夹不存在"},
        {tree.Path("locked.txt"), "文件正被其他程序使用"},
        {tree.Path("com1.txt"), "文件名无效或是设备名"},
    };
    for (const Case& c : cases) {
        dialogs.saveAnswer = c.path;
        try {
            actions.SaveList();
            ADD_FAILURE() << c.path << ": no error";
        } catch (const QuernaError& e) {
            EXPECT_EQ(e.what(), "无法写入文件 " + c.path + "：" + c.message) << c.path;
        }
    }
    CloseHandle(locked);
    EXPECT_EQ(ReadWholeFile(tree.Path("locked.txt")), "keep");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SaveListTest, OthersMayReadTheFileWhileItIsWrittenButNotWriteIt) {
    uint32_t error = 1;
    std::unique_ptr<OutputFile> file = files.Create(tree.Path("shared.txt"), error);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(error, 0u);
    size_t written = 0;
    EXPECT_EQ(file->Write("line\r\n", written), 0u);
    EXPECT_EQ(written, 6u);

    HANDLE reader =
        CreateFileA(tree.Path("shared.txt").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    HANDLE writer =
        CreateFileA(tree.Path("shared.txt").c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

    EXPECT_EQ(file->Close(), 0u);
    EXPECT_EQ(ReadWholeFile(tree.Path("shared.txt")), "line\r\n");
}

TEST_F(SaveListTest, FileIsKeptOnlyWhenItsCloseSucceeds) {
    const struct {
        const char* what;
        bool existedBefore;
        bool closed;
    } cases[] = {
        {"closed", false, true},
        {"released unclosed", false, false},
        {"replaced an older file, released unclosed", true, false},
    };
    for (const auto& c : cases) {
        const std::string path = tree.Path("partial.txt");
        if (c.existedBefore) tree.AddFile("partial.txt", "an older list\r\n");
        uint32_t error = 1;
        std::unique_ptr<OutputFile> file = files.Create(path, error);
        ASSERT_NE(file, nullptr) << c.what;
        size_t written = 0;
        EXPECT_EQ(file->Write("half a li", written), 0u);
        if (c.closed) {
            EXPECT_EQ(file->Close(), 0u);
        }
        file.reset();
        EXPECT_EQ(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES, c.closed) << c.what;
        if (c.closed) {
            EXPECT_EQ(ReadWholeFile(path), "half a li");
        }
        DeleteFileA(path.c_str());
    }
}

}  // namespace
}  // namespace querna
