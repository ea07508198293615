// querna-find.exe end to end on generated trees.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace querna {
namespace {

using querna::testing::RunProgram;
using querna::testing::RunProgramWide;
using querna::testing::TempTree;

class FindCliTest : public ::testing::Test {
protected:
    FindCliTest() {
        tree.AddFile("r.txt", "root text\r\n");
        tree.AddFile("A\\a.txt", "needle in A\r\n");
        tree.AddFile("A\\A1\\a1.txt", "nothing here");
        tree.AddFile("A\\report.DOCX", "");
        tree.AddFile("B\\b.txt", "Needle, capital\r\n");
        tree.AddFile("B\\Makefile", std::string(2048, 'm'));
        tree.AddFile("Debug\\skipped.txt", "needle\r");
        tree.AddFile("H\\hidden.txt", "", FILE_ATTRIBUTE_HIDDEN);
        tree.AddFile("\xB1\xED\xB8\xF1.txt", "\xD6\xD0\xCE\xC4\r\n");  // 表格.txt holding 中文
    }

    // The paths format: each full path then CR LF.
    std::string Lines(std::initializer_list<const char*> relative) {
        std::string text;
        for (const char* r : relative) text += tree.Path(r) + "\r\n";
        return text;
    }

    TempTree tree;
};

TEST_F(FindCliTest, NameSearchPrintsThePathsInTheWalkersOrder) {
    struct Case {
        std::vector<std::string> options;
        std::string expected;
    };
    const Case cases[] = {
        {{"--name", ".txt"},
         Lines({"A\\A1\\a1.txt", "A\\a.txt", "B\\b.txt", "Debug\\skipped.txt", "H\\hidden.txt",
                "r.txt", "\xB1\xED\xB8\xF1.txt"})},
        {{"--name", "a", "--type", "word"}, Lines({"A\\report.DOCX"})},
        {{"--name", ".txt", "--skip", "Debug", "--no-hidden"},
         Lines({"A\\A1\\a1.txt", "A\\a.txt", "B\\b.txt", "r.txt", "\xB1\xED\xB8\xF1.txt"})},
        {{"--name", "t", "--no-subfolders"}, Lines({"r.txt", "\xB1\xED\xB8\xF1.txt"})},
        {{"--name", "\xB8\xF1"}, Lines({"\xB1\xED\xB8\xF1.txt"})},
        {{"--name", "Make", "--min-kb", "1"}, Lines({"B\\Makefile"})},
        {{"--name", "Make", "--min-kb", "2"}, ""},
        {{"--name", "nothing-is-called-this"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--in", tree.Root()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto result = RunProgram("querna-find.exe", args);
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.out, c.expected) << ::testing::PrintToString(c.options);
    }
}

TEST_F(FindCliTest, PhraseSearchKeepsTheFilesThatHoldIt) {
    const auto result = RunProgram("querna-find.exe", {"--in", tree.Root(), "--phrase", "needle",
                                                       "--skip", "Debug", "--type", "text"});
    EXPECT_EQ(result.status, 0u) << result.err;
    EXPECT_EQ(result.out, Lines({"A\\a.txt"}));
    const auto gbk = RunProgram("querna-find.exe", {"--in", tree.Root(), "--phrase",
                                                    "\xD6\xD0\xCE\xC4", "--type", "text"});
    EXPECT_EQ(gbk.out, Lines({"\xB1\xED\xB8\xF1.txt"}));
}

TEST_F(FindCliTest, MatcherErrorEndsTheRunWithStatusOneAndNothingListed) {
    // No Word is registered in the test prefix: the Word candidate ends the run.
    const auto result =
        RunProgram("querna-find.exe", {"--in", tree.Root(), "--phrase", "needle"});
    EXPECT_EQ(result.status, 1u);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_FALSE(result.err.empty());
}

TEST_F(FindCliTest, TableFormatPrintsTheFiveCellsOfEachRow) {
    const auto result =
        RunProgram("querna-find.exe", {"--in", tree.Root(), "--name", "Makefile", "--format",
                                       "table"});
    ASSERT_EQ(result.status, 0u) << result.err;
    const std::string prefix = "Makefile\t2048\t\t";
    ASSERT_EQ(result.out.compare(0, prefix.size(), prefix), 0) << result.out;
    const std::string date = result.out.substr(prefix.size(), 19);
    EXPECT_EQ(date.size(), 19u);
    EXPECT_EQ(date[4], '-');
    EXPECT_EQ(date[10], ' ');
    EXPECT_EQ(date[13], ':');
    EXPECT_EQ(result.out.substr(prefix.size() + 19), "\t" + tree.Path("B\\") + "\r\n");
}

TEST_F(FindCliTest, DateFilterBoundsTheCreationTime) {
    struct Case {
        std::vector<std::string> bounds;
        std::string expected;
    };
    const Case cases[] = {
        {{"--from", "2000-01-01 00:00:00", "--to", "2100-01-01 00:00:00"}, Lines({"B\\Makefile"})},
        {{"--from", "2100-01-01 00:00:00"}, ""},
        {{"--to", "2000-01-01"}, ""},
        {{"--from", "1850-06-15 18:00:00"}, Lines({"B\\Makefile"})},
        {{"--to", "1850-06-15 18:00:00"}, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--in", tree.Root(), "--name", "Makefile"};
        args.insert(args.end(), c.bounds.begin(), c.bounds.end());
        const auto result = RunProgram("querna-find.exe", args);
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.out, c.expected) << ::testing::PrintToString(c.bounds);
    }
}

TEST_F(FindCliTest, SpecialPlaceIsReadFromTheUsersShellFolders) {
    // Wine links Desktop and Documents to the Unix home folder; Templates is a
    // folder of the prefix itself.
    char templates[MAX_PATH] = {};
    DWORD size = sizeof templates;
    ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                           "Templates", RRF_RT_REG_SZ, nullptr, templates, &size),
              ERROR_SUCCESS);
    const std::string name = "querna-cli-" + std::to_string(GetCurrentProcessId()) + ".txt";
    const std::string path = std::string(templates) + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    const auto result = RunProgram("querna-find.exe",
                                   {"--in", "templates", "--name", name, "--no-subfolders"});
    DeleteFileA(path.c_str());
    EXPECT_EQ(result.status, 0u) << result.err;
    // The folder is shown as the registry holds it, upper-cased.
    EXPECT_EQ(result.out, CharUpperA(templates) + std::string("\\") + name + "\r\n");
}

TEST_F(FindCliTest, BadUsageGivesStatusTwoAndAMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--in"}, {"--bogus"}, {"--in", "x", "--type", "pdf"}, {"--in", "x", "--pause-ms", "-1"},
        {"--in", "x", "--format", "xml"}, {"--in", "x", "--from", "2020-13-01"}, {"--name", "x"}};
    for (const auto& args : cases) {
        const auto result = RunProgram("querna-find.exe", args);
        EXPECT_EQ(result.status, 2u) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
    const auto help = RunProgram("querna-find.exe", {"--help"});
    EXPECT_EQ(help.status, 0u);
    EXPECT_NE(help.out.find("--phrase"), std::string::npos);
}

// Restores a value of the user's shell folders when the test ends.
class ShellFolderValue {
public:
    explicit ShellFolderValue(const char* name) : name_(name) {
        DWORD size = sizeof saved_;
        had_ = RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, saved_,
                            &size) == ERROR_SUCCESS;
    }
    ~ShellFolderValue() {
        if (had_) RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name_, REG_SZ, saved_, strlen(saved_) + 1);
    }
    void Delete() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, name_); }

private:
    static constexpr const char* kKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const char* name_;
    char saved_[MAX_PATH] = {};
    bool had_ = false;
};

TEST_F(FindCliTest, LocationThatCannotBeSearchedIsNamedAndEndsWithStatusOne) {
    ShellFolderValue cache("Cache");
    cache.Delete();
    struct Case {
        std::string in;
        std::string message;
    };
    const Case cases[] = {
        {"   ", "请选择要搜索的目标目录."},
        {"cache", "系统没有记录“IE缓存”所在的目录."},
        {tree.Path("nowhere"), "目标目录不存在: " + tree.Path("nowhere\\")},
        {tree.Path("r.txt"), "目标不是目录: " + tree.Path("r.txt\\")},
        {"Q:\\", "目标目录不存在: Q:\\"},
    };
    for (const Case& c : cases) {
        const auto result = RunProgram("querna-find.exe", {"--in", c.in, "--name", "x"});
        EXPECT_EQ(result.status, 1u) << c.in;
        EXPECT_EQ(result.err, c.message + "\r\n") << c.in;
        EXPECT_TRUE(result.out.empty()) << c.in;
    }
}

// 한국어 has no GBK form: the C runtime would hand it on as "???", a wildcard.
TEST_F(FindCliTest, ArgumentOutsideTheCodePageIsRefusedWithStatusTwo) {
    const std::wstring korean = L"\xD55C\xAD6D\xC5B4";
    const std::wstring root(tree.Root().begin(), tree.Root().end());
    for (const wchar_t* option : {L"--in", L"--name", L"--phrase", L"--skip"}) {
        std::vector<std::wstring> args = {L"--in", root, L"--name", L"x"};
        if (std::wstring(option) == L"--in") {
            args[1] = root + L"\\" + korean;
        } else {
            args.insert(args.end(), {option, korean});
        }
        const auto result = RunProgramWide("querna-find.exe", args);
        EXPECT_EQ(result.status, 2u) << result.err;
        const std::string name(option, option + wcslen(option));
        EXPECT_NE(result.err.find(name + ": the text holds characters"), std::string::npos)
            << result.err;
        EXPECT_TRUE(result.out.empty());
    }
}

// 籠 is BB 5C: the folder name ends in a byte with the code of a backslash.
TEST_F(FindCliTest, FolderEndingInTrailByte5CIsSearched) {
    tree.AddFile("\x81\x5C\xBB\x5C\\x.txt", "x");  // 乗籠
    for (const char* end : {"", "\\"}) {
        const auto result = RunProgram("querna-find.exe",
                                       {"--in", tree.Path("\x81\x5C\xBB\x5C") + end, "--name", "x"});
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.out, Lines({"\x81\x5C\xBB\x5C\\x.txt"})) << end;
    }
}

}  // namespace
}  // namespace querna
