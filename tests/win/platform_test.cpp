// The Win32 file system under the engine, on real temporary trees.
#include <gtest/gtest.h>
#include <windows.h>

#include "results/FileProperties.h"
#include "search/SearchEngine.h"
#include "support/TempTree.h"
#include "tests/fakes/FakeWindow.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32TextRules.h"

namespace querna {
namespace {

class Win32WalkTest : public ::testing::Test {
  protected:
    Win32WalkTest() {
        state.Criteria.TypeFilter = "|*.*|";
        state.Criteria.IncludeSystem = state.Criteria.IncludeHidden =
            state.Criteria.IncludeSubfolders = kTrue;
    }
    std::vector<std::string> Walk(const std::string& folder, const std::string& pattern = "") {
        ResultPathList results(rules);
        engine.WalkDirectory(results, folder, pattern);
        return results.Paths();
    }
    std::vector<std::string> Paths(std::initializer_list<const char*> relative) {
        std::vector<std::string> paths;
        for (const char* r : relative) paths.push_back(tree.Path(r));
        return paths;
    }

    querna::testing::TempTree tree;
    SearchState state;
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    fakes::FakeWindow window;
    SearchEngine engine{state, fs, rules, window, nullptr, 0};
};

TEST_F(Win32WalkTest, WalksInPostOrderWhateverTheFolderTextsBlanksAndBackslash) {
    tree.AddFile("r.txt");
    tree.AddFile("A\\a.txt");
    tree.AddFile("A\\A1\\a1.txt");
    tree.AddFile("B\\b.txt");
    const auto expected = Paths({"A\\A1\\a1.txt", "A\\a.txt", "B\\b.txt", "r.txt"});
    for (const std::string& folder : {tree.Root(), "  " + tree.Root() + "  ", tree.Root() + "\\"}) {
        EXPECT_EQ(Walk(folder), expected) << folder;
    }
}

TEST_F(Win32WalkTest, HiddenAndSystemEntriesFollowTheSwitches) {
    tree.AddFolder("HidDir", FILE_ATTRIBUTE_HIDDEN);
    tree.AddFolder("SysDir", FILE_ATTRIBUTE_SYSTEM);
    tree.AddFile("HidDir\\in-hidden.txt");
    tree.AddFile("SysDir\\in-system.txt");
    tree.AddFile("h.txt", "", FILE_ATTRIBUTE_HIDDEN);
    tree.AddFile("s.txt", "", FILE_ATTRIBUTE_SYSTEM);
    tree.AddFile("plain.txt", "", FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Walk(tree.Root()), Paths({"HidDir\\in-hidden.txt", "SysDir\\in-system.txt", "h.txt",
                                        "plain.txt", "s.txt"}));
    state.Criteria.IncludeHidden = kFalse;
    EXPECT_EQ(Walk(tree.Root()), Paths({"SysDir\\in-system.txt", "plain.txt", "s.txt"}));
    state.Criteria.IncludeHidden = kTrue;
    state.Criteria.IncludeSystem = kFalse;
    EXPECT_EQ(Walk(tree.Root()), Paths({"HidDir\\in-hidden.txt", "h.txt", "plain.txt"}));
}

TEST_F(Win32WalkTest, MissingStartFolderLeavesTheListEmptyAndPanelOneUntouched) {
    EXPECT_TRUE(Walk(tree.Path("nowhere")).empty());
    ResultPathList results(rules);
    engine.WalkDirectory(results, tree.Path("nowhere"), "");
    EXPECT_TRUE(window.PanelTexts(1).empty());
}

TEST_F(Win32WalkTest, WildcardsInThePatternKeepTheirMeaning) {
    for (const char* name : {"abc.txt", "aXc.doc", "xABCy.txt", "ac.txt"}) tree.AddFile(name);
    EXPECT_EQ(Walk(tree.Root(), "a?c"), Paths({"abc.txt", "aXc.doc", "xABCy.txt"}));
    EXPECT_EQ(Walk(tree.Root(), "ABC"), Paths({"abc.txt", "xABCy.txt"}));
}

TEST_F(Win32WalkTest, GbkNamesIncludingATrailByteThatLooksLikeABackslash) {
    const std::string table = "\xB1\xED\xB8\xF1.txt";    // 表格.txt
    const std::string trail5c = "\x95\x5C\xC3\xFB.txt";  // a character whose trail byte is '\'
    tree.AddFile("\xD7\xCA\xC1\xCF\\" + table);          // 资料\表格.txt
    tree.AddFile(trail5c);
    EXPECT_EQ(Walk(tree.Root()),
              Paths({"\xD7\xCA\xC1\xCF\\\xB1\xED\xB8\xF1.txt", "\x95\x5C\xC3\xFB.txt"}));
    EXPECT_EQ(Walk(tree.Root(), "\xB8\xF1"), Paths({"\xD7\xCA\xC1\xCF\\\xB1\xED\xB8\xF1.txt"}));
}

TEST_F(Win32WalkTest, FilePropertiesOfAFileHeldOpenWithoutSharing) {
    tree.AddFile("held.txt", std::string(10246, 'x'));
    tree.AddFile("a-rather-long-file-name.text", "x");
    const std::string held = tree.Path("held.txt");
    HANDLE lock = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    TFileProperty record;
    ASSERT_TRUE(ReadFileProperties(fs, held, record));
    EXPECT_EQ(record.Size, 10246);
    EXPECT_EQ(record.Path, held);
    EXPECT_EQ(ReadCreationTime(fs, held), kFallbackCreationTime);
    EXPECT_EQ(FormatDateTime(ReadCreationTime(fs, held)), "1601-01-01 00:00:00");
    CloseHandle(lock);

    const DateTime created = ReadCreationTime(fs, held);
    EXPECT_GT(created, 40000.0);  // some time after 2009
    ASSERT_TRUE(ReadFileProperties(fs, tree.Path("a-rather-long-file-name.text"), record));
    EXPECT_LE(record.ShortName.size(), 14u);
    EXPECT_EQ(record.CreationTime.year, DateTimeToSystemTime(created).year);

    TFileProperty untouched;
    untouched.Size = 77;
    EXPECT_FALSE(ReadFileProperties(fs, tree.Path("gone.txt"), untouched));
    EXPECT_EQ(untouched.Size, 77);
}

// Creates a file through the wide functions, which reach any name.
void CreateWideFile(const std::wstring& path, const std::string& content) {
    HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

std::string ReadAll(FileSystem& fs, const std::string& path) {
    std::string text;
    const auto file = fs.OpenExclusive(path);
    if (!file) return "<cannot open>";
    char buffer[256];
    for (int64_t n; (n = file->Read(buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
}

// Folders deeper than MAX_PATH are reached through their \\?\ form: walked,
// their files read and measured, their identity read for the loop check.
TEST_F(Win32WalkTest, PathsLongerThanMaxPathAreWalkedReadAndIdentified) {
    std::string relative;
    for (int i = 0; i < 30; ++i)
        relative += (i ? "\\" : "") + std::string("folder-number-") + std::to_string(i);
    tree.AddFile(relative + "\\bottom.txt", "at the bottom");
    const std::string full = tree.Path(relative);
    tree.AddFile("near.txt");
    const std::string bottom = full + "\\bottom.txt";
    ASSERT_GT(bottom.size(), 400u);

    EXPECT_EQ(Walk(tree.Root()), (std::vector<std::string>{bottom, tree.Path("near.txt")}));
    EXPECT_EQ(Walk(tree.Root(), "bottom"), std::vector<std::string>{bottom});
    EXPECT_TRUE(window.unlistable.empty());
    EXPECT_EQ(ReadAll(fs, bottom), "at the bottom");
    TFileProperty record;
    ASSERT_TRUE(ReadFileProperties(fs, bottom, record));
    EXPECT_EQ(record.Size, 13);
    EXPECT_NE(ReadCreationTime(fs, bottom), kFallbackCreationTime);
    const auto document = fs.OpenDocument(bottom);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Size(), 13u);
    FolderId direct, extended;
    ASSERT_TRUE(fs.ReadFolderId(full + "\\", direct));
    ASSERT_TRUE(fs.ReadFolderId("\\\\?\\" + full + "\\", extended));
    EXPECT_EQ(direct, extended);
}

// 한국어.txt has no name in GBK: the listing gives its short name, through
// which the size, the date and the contents are those of the real file, not
// of whatever a "???.txt" wildcard would meet first.
TEST_F(Win32WalkTest, NameOutsideTheCodePageIsReachedByItsShortName) {
    tree.AddFile("abc.txt", "decoy");
    const std::wstring root(tree.Root().begin(), tree.Root().end());
    CreateWideFile(root + L"\\\xD55C\xAD6D\xC5B4.txt", "korean text");
    const auto paths = Walk(tree.Root());
    ASSERT_EQ(paths.size(), 2u);
    const std::string reached = paths[0] == tree.Path("abc.txt") ? paths[1] : paths[0];
    EXPECT_EQ(reached.find('?'), std::string::npos) << reached;
    EXPECT_EQ(ReadAll(fs, reached), "korean text");
    TFileProperty record;
    ASSERT_TRUE(ReadFileProperties(fs, reached, record));
    EXPECT_EQ(record.Size, 11);
    EXPECT_NE(ReadCreationTime(fs, reached), kFallbackCreationTime);
    // A path with a wildcard in it is never looked up.
    EXPECT_FALSE(ReadFileProperties(fs, tree.Path("???.txt"), record));
    EXPECT_EQ(fs.OpenExclusive(tree.Path("a?c.txt")), nullptr);
}

// Reserved device names as file names: the file is read, never the device.
TEST_F(Win32WalkTest, DeviceNamedFilesAreTheFilesNotTheDevices) {
    const std::wstring root(tree.Root().begin(), tree.Root().end());
    for (const char* name : {"com1.txt", "aux.txt", "nul.txt", "con", "lpt1.log"}) {
        const std::string content = std::string("inside ") + name;
        CreateWideFile(root + L"\\" + std::wstring(name, name + strlen(name)), content);
        const std::string path = tree.Path(name);
        EXPECT_EQ(ReadAll(fs, path), content) << name;
        TFileProperty record;
        ASSERT_TRUE(ReadFileProperties(fs, path, record)) << name;
        EXPECT_EQ(record.Size, static_cast<int32_t>(content.size())) << name;
        EXPECT_NE(ReadCreationTime(fs, path), kFallbackCreationTime) << name;
    }
}

TEST_F(Win32WalkTest, LocaleComparisonRefusesCaseVariantsOfOnePath) {
    ResultPathList list(rules);
    EXPECT_TRUE(list.Append("C:\\Dir\\File.txt"));
    EXPECT_FALSE(list.Append("c:\\DIR\\file.TXT"));
    EXPECT_TRUE(list.Append("C:\\Dir\\\xB1\xED.txt"));
    EXPECT_FALSE(list.Append("c:\\dir\\\xB1\xED.TXT"));
}

}  // namespace
}  // namespace querna
