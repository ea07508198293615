// querna-find.exe end to end on generated trees.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "support/Documents.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"

namespace querna {
namespace {

using querna::testing::ProgramOptions;
using querna::testing::RunProgram;
using querna::testing::RunProgramWide;
using querna::testing::SlowWorkbook;
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
    const auto gbk = RunProgram(
        "querna-find.exe", {"--in", tree.Root(), "--phrase", "\xD6\xD0\xCE\xC4", "--type", "text"});
    EXPECT_EQ(gbk.out, Lines({"\xB1\xED\xB8\xF1.txt"}));
}

TEST_F(FindCliTest, MatcherErrorEndsTheRunWithStatusOneAndNothingListed) {
    // No Word is registered in the test prefix: the damaged Word document,
    // read by the built-in reader, ends the run.
    tree.AddFile("A\\damaged.docx", "not a document");
    const auto result = RunProgram("querna-find.exe", {"--in", tree.Root(), "--phrase", "needle"});
    EXPECT_EQ(result.status, 1u);
    EXPECT_TRUE(result.out.empty()) << result.out;
    EXPECT_FALSE(result.err.empty());
}

TEST_F(FindCliTest, TableFormatPrintsTheFiveCellsOfEachRow) {
    const auto result = RunProgram(
        "querna-find.exe", {"--in", tree.Root(), "--name", "Makefile", "--format", "table"});
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

// Today's local date as YYYY-MM-DD.
std::string Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    return text;
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
        {{"--to", Today()}, Lines({"B\\Makefile"})},  // the whole day
        {{"--from", Today() + " 00:00:00", "--to", Today()}, Lines({"B\\Makefile"})},
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
    const auto result =
        RunProgram("querna-find.exe", {"--in", "templates", "--name", name, "--no-subfolders"});
    DeleteFileA(path.c_str());
    EXPECT_EQ(result.status, 0u) << result.err;
    // The folder is shown as the registry holds it, upper-cased.
    EXPECT_EQ(result.out, CharUpperA(templates) + std::string("\\") + name + "\r\n");
}

TEST_F(FindCliTest, BadUsageGivesStatusTwoAndAMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--in"},
        {"--bogus"},
        {"--in", "x", "--type", "pdf"},
        {"--in", "x", "--pause-ms", "-1"},
        {"--in", "x", "--pause-ms", "10001"},
        {"--in", "x", "--pause-ms", "99999999999"},
        {"--in", "x", "--format", "xml"},
        {"--in", "x", "--from", "2020-13-01"},
        {"--name", "x"},
        {"--in", "x", "--from", "2020-02-01", "--to", "2020-01-31 23:59:59"}};
    for (const auto& args : cases) {
        const auto result = RunProgram("querna-find.exe", args);
        EXPECT_EQ(result.status, 2u) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("usage:"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
    const auto reversed = RunProgram(
        "querna-find.exe", {"--in", "x", "--to", "1850-06-15", "--from", "1850-06-16 00:00:00"});
    EXPECT_EQ(reversed.err.find("querna-find: --to 的时间早于 --from 的时间\r\n"), 0u)
        << reversed.err;
    const auto help = RunProgram("querna-find.exe", {"--help"});
    EXPECT_EQ(help.status, 0u);
    EXPECT_NE(help.out.find("--phrase"), std::string::npos);
}

// Restores a value of the user's shell folders when the test ends.
class ShellFolderValue {
  public:
    explicit ShellFolderValue(const char* name) : name_(name) {
        DWORD size = sizeof saved_;
        had_ = RegGetValueA(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, saved_, &size) ==
               ERROR_SUCCESS;
    }
    ~ShellFolderValue() {
        if (had_)
            RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name_, REG_SZ, saved_, strlen(saved_) + 1);
    }
    void Delete() { RegDeleteKeyValueA(HKEY_CURRENT_USER, kKey, name_); }
    void SetNumber() {
        const DWORD number = 7;
        RegSetKeyValueA(HKEY_CURRENT_USER, kKey, name_, REG_DWORD, &number, sizeof number);
    }

  private:
    static constexpr const char* kKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    const char* name_;
    char saved_[MAX_PATH] = {};
    bool had_ = false;
};

TEST_F(FindCliTest, LocationThatCannotBeSearchedIsNamedAndEndsWithStatusOne) {
    ShellFolderValue cache("Cache");
    struct Case {
        std::string in;
        std::string message;
        bool cacheIsNumber = false;  // else the Cache value is missing
    };
    const Case cases[] = {
        {"", "请选择要搜索的目标目录."},
        {"   ", "请选择要搜索的目标目录."},
        {"cache", "系统没有记录“IE缓存”所在的目录."},
        {"cache", "系统没有记录“IE缓存”所在的目录.", true},
        {tree.Path("nowhere"), "目标目录不存在: " + tree.Path("nowhere\\")},
        {tree.Path("r.txt"), "目标不是目录: " + tree.Path("r.txt\\")},
        {"Q:\\", "目标目录不存在: Q:\\"},
    };
    for (const Case& c : cases) {
        if (c.cacheIsNumber) {
            cache.SetNumber();
        } else {
            cache.Delete();
        }
        const auto result = RunProgram("querna-find.exe", {"--in", c.in, "--name", "x"});
        EXPECT_EQ(result.status, 1u) << c.in;
        EXPECT_EQ(result.err, c.message + "\r\n") << c.in;
        EXPECT_TRUE(result.out.empty()) << c.in;
    }
}

// Sub-folders whose paths pass MAX_PATH, by depth or by long names, are
// searched to the bottom, from a short location or from one that is itself
// that long; the paths are listed as they are, without the \\?\ form.
TEST_F(FindCliTest, DeepTreesAndLongNamesAreSearchedToTheBottom) {
    const std::string root = tree.Root();
    std::string deep = "deep", longNames = "long";
    for (int level = 0; level < 300; ++level) deep += "\\d";
    for (int level = 0; level < 8; ++level) longNames += "\\" + std::string(100, 'n');
    tree.AddFile(deep + "\\bottom-deep.txt", "the bottom needle\r\n");
    tree.AddFile(longNames + "\\bottom-long.txt", "the bottom needle\r\n");
    const std::string deepFile = tree.Path(deep + "\\bottom-deep.txt");
    const std::string longFile = tree.Path(longNames + "\\bottom-long.txt");
    // A location 200 levels down (over 400 characters), spelled three ways;
    // the files are listed below the location as it was given.
    std::string deepMiddle = root + "\\deep";
    for (int level = 0; level < 200; ++level) deepMiddle += "\\d";
    std::string slashes = deepMiddle;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    const std::string dotDot = deepMiddle + "\\..\\d";
    std::string below;
    for (int level = 200; level < 300; ++level) below += "d\\";
    below += "bottom-deep.txt\r\n";
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"--in", root, "--name", "bottom"}, deepFile + "\r\n" + longFile + "\r\n"},
        {{"--in", root, "--phrase", "bottom needle", "--type", "text"},
         deepFile + "\r\n" + longFile + "\r\n"},
        {{"--in", deepMiddle, "--name", "bottom"}, deepMiddle + "\\" + below},
        {{"--in", slashes, "--phrase", "bottom needle", "--type", "text"}, slashes + "\\" + below},
        {{"--in", dotDot, "--name", "bottom"}, dotDot + "\\" + below},
    };
    for (const Case& c : cases) {
        const auto result = RunProgram("querna-find.exe", c.args);
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.expected) << c.args[1].size() << " " << c.args[2];
    }
}

// A sub-folder that cannot be listed, here one removed once its parent was
// listed, is named on the error stream; the search goes on, prints every
// result and ends with status 1.
TEST_F(FindCliTest, SubFolderThatCannotBeListedIsNamedAndEndsWithStatusOne) {
    TempTree small;
    small.AddFile("a\\x.txt");
    small.AddFile("b\\y.txt");
    small.AddFile("z.txt");
    ProgramOptions options;
    // The walk pauses after a's row and after the entry a, so b is still
    // ahead when it is removed.
    options.actOnceOutputHolds = small.Path("a\\x.txt\r\n");
    options.act = [&] {
        DeleteFileA(small.Path("b\\y.txt").c_str());
        RemoveDirectoryA(small.Path("b").c_str());
    };
    const auto result = RunProgram(
        "querna-find.exe", {"--in", small.Root(), "--name", ".txt", "--pause-ms", "300"}, options);
    EXPECT_EQ(result.status, 1u);
    EXPECT_EQ(result.err, "无法读取目录: " + small.Path("b\\") + "\r\n");
    EXPECT_EQ(result.out, small.Path("a\\x.txt") + "\r\n" + small.Path("z.txt") + "\r\n");
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
        const auto result = RunProgram(
            "querna-find.exe", {"--in", tree.Path("\x81\x5C\xBB\x5C") + end, "--name", "x"});
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.out, Lines({"\x81\x5C\xBB\x5C\\x.txt"})) << end;
    }
}

// The name is matched by the folder's listing: a separator in it would move
// that listing into another folder, whose files would be listed as this one's.
TEST_F(FindCliTest, NameHoldingASeparatorMatchesNoFileButATrailByte5CDoes) {
    tree.AddFile("\x81\x5C.txt", "x");  // 乗.txt
    const struct {
        const char* name;
        std::string expected;
    } cases[] = {
        {"\\..\\A\\a", ""},
        {"/../A/a", ""},
        {"A\\a", ""},
        {"C:a", ""},
        {"\x81\x5C", Lines({"\x81\x5C.txt"})},
    };
    for (const auto& c : cases) {
        const auto result = RunProgram("querna-find.exe", {"--in", tree.Root(), "--name", c.name});
        EXPECT_EQ(result.status, 0u) << result.err;
        EXPECT_EQ(result.out, c.expected) << c.name;
    }
}

// The question mark of \\?\ is no wildcard: the files under it are read.
TEST_F(FindCliTest, ExtendedLengthLocationIsSearchedAndRead) {
    const auto result =
        RunProgram("querna-find.exe", {"--in", "\\\\?\\" + tree.Root(), "--phrase", "needle",
                                       "--type", "text", "--skip", "Debug"});
    EXPECT_EQ(result.status, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "\\\\?\\" + tree.Path("A\\a.txt") + "\r\n");
}

// Windows drops the dot that ends "d." inside a path, so the walk cannot
// reach that folder: it is passed over rather than taken for "d". A blank
// that ends a folder's name stays, and that folder is searched.
TEST_F(FindCliTest, FolderEndingInADotIsNotTakenForItsNamesake) {
    tree.AddFile("d\\plain.dat", "x");
    // Made through \\?\, as Windows would not make these names otherwise.
    const std::string root = tree.Root();  // ASCII: the temporary folder
    const std::wstring extended = L"\\\\?\\" + std::wstring(root.begin(), root.end()) + L"\\";
    std::vector<std::wstring> made;
    for (const wchar_t* folder : {L"d.", L"e "}) {
        const std::wstring path = extended + folder;
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        made.push_back(path);
        HANDLE file = CreateFileW((path + L"\\in.dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    const auto result = RunProgram("querna-find.exe", {"--in", tree.Root(), "--name", ".dat"});
    const auto literal =
        RunProgram("querna-find.exe", {"--in", "\\\\?\\" + tree.Root(), "--name", ".dat"});
    for (const std::wstring& folder : made) {
        DeleteFileW((folder + L"\\in.dat").c_str());
        RemoveDirectoryW(folder.c_str());
    }
    EXPECT_EQ(result.status, 0u) << result.err;
    EXPECT_EQ(result.out, Lines({"d\\plain.dat", "e \\in.dat"}));
    // Under \\?\ no name is tidied, and "d." is reached itself.
    EXPECT_EQ(literal.status, 0u) << literal.err;
    for (const char* file : {"d\\plain.dat", "d.\\in.dat", "e \\in.dat"}) {
        EXPECT_NE(literal.out.find("\\\\?\\" + tree.Path(file) + "\r\n"), std::string::npos)
            << file << " in " << literal.out;
    }
    EXPECT_EQ(std::count(literal.out.begin(), literal.out.end(), '\n'), 3);
}

TEST_F(FindCliTest, PauseUpToTenSecondsIsAccepted) {
    for (const char* pause : {"0", "10000"}) {
        const auto result =
            RunProgram("querna-find.exe", {"--in", tree.Root(), "--pause-ms", pause, "--help"});
        EXPECT_EQ(result.status, 0u) << pause << result.err;
    }
}

// The creation time of a file as its directory entry holds it, in local time.
std::string CreationText(const std::string& path) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return "none";
    FindClose(find);
    FILETIME local;
    SYSTEMTIME t;
    FileTimeToLocalFileTime(&data.ftCreationTime, &local);
    FileTimeToSystemTime(&local, &t);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond);
    return text;
}

// A file that cannot be read is named on the error stream, as a folder that
// cannot be listed is; the search goes on and ends with status 1.
TEST_F(FindCliTest, FileHeldOpenShowsItsRealCreationDateAndEndsAPhraseSearchWithStatusOne) {
    const std::string held = tree.Path("A\\a.txt");
    HANDLE file = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const auto table = RunProgram("querna-find.exe",
                                  {"--in", tree.Root(), "--name", "a.txt", "--format", "table"});
    const auto phrase = RunProgram("querna-find.exe",
                                   {"--in", tree.Root(), "--phrase", "needle", "--type", "text"});
    CloseHandle(file);
    EXPECT_EQ(table.status, 0u) << table.err;
    EXPECT_EQ(table.out,
              "a.txt\t13\t.txt\t" + CreationText(held) + "\t" + tree.Path("A\\") + "\r\n");
    EXPECT_EQ(phrase.status, 1u);
    EXPECT_EQ(phrase.out, Lines({"Debug\\skipped.txt"}));
    EXPECT_EQ(phrase.err, "无法读取文件: " + held + "\r\n");
}

TEST_F(FindCliTest, SizesOfFourGibibytesAndMoreComeWholeFromTheListing) {
    const std::string big = tree.Path("B\\sparse.bin");
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = (int64_t{5} << 30) + 7;
    const bool extended = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(extended);
    const struct {
        const char* minKb;
        std::string expected;
    } cases[] = {
        {"5242879", "5368709127"},  // 5,242,880.01 KB; the low 32 bits alone are 1 GiB
        {"5242881", ""},
    };
    for (const auto& c : cases) {
        const auto result = RunProgram(
            "querna-find.exe",
            {"--in", tree.Root(), "--name", "sparse", "--min-kb", c.minKb, "--format", "table"});
        EXPECT_EQ(result.status, 0u) << result.err;
        std::string size;
        if (!result.out.empty()) {
            const size_t at = result.out.find('\t') + 1;
            size = result.out.substr(at, result.out.find('\t', at) - at);
        }
        EXPECT_EQ(size, c.expected) << c.minKb;
    }
}

// No Word is registered in the test prefix: Word documents are read by the
// built-in reader. The empty report.DOCX, as Explorer's "New" menu makes one,
// holds no text; the damaged one ends the search, and the error names it once.
TEST_F(FindCliTest, OfficeErrorNamesTheDocumentOnce) {
    tree.AddFile("B\\broken.docx", "not a document");
    const auto result = RunProgram("querna-find.exe", {"--in", tree.Root(), "--phrase", "needle"});
    EXPECT_EQ(result.status, 1u);
    const std::string path = tree.Path("B\\broken.docx");
    const size_t at = result.err.find(path);
    ASSERT_NE(at, std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(path, at + 1), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(tree.Path("A\\report.DOCX")), std::string::npos) << result.err;
}

TEST_F(FindCliTest, CtrlCStopsTheSearchAndKeepsWhatWasPrinted) {
    TempTree many;
    std::string everything;
    for (int i = 0; i < 40; ++i) {
        const std::string file = "d" + std::to_string(100 + i) + "\\f.txt";
        many.AddFile(file);
        everything += many.Path(file) + "\r\n";
    }
    // Paced so that the search is still going when Ctrl+C arrives, which is
    // as soon as the first row has been printed.
    ProgramOptions interrupt;
    interrupt.interruptOnceOutputHolds = many.Path("d100\\f.txt\r\n");
    const auto result = RunProgram(
        "querna-find.exe", {"--in", many.Root(), "--name", "f", "--pause-ms", "100"}, interrupt);
    EXPECT_EQ(result.status, 130u) << result.err;
    EXPECT_EQ(everything.compare(0, result.out.size(), result.out), 0) << result.out;
    EXPECT_GE(result.out.size(), many.Path("d100\\f.txt\r\n").size());
    EXPECT_LT(result.out.size(), everything.size());
}

// No Excel is registered in the test prefix: the workbook is read by the
// built-in reader, which hears Ctrl+C between chunks of it.
TEST_F(FindCliTest, CtrlCIsHeardInsideALargeDocument) {
    TempTree slow;
    slow.AddFile("a.txt", "needle");
    slow.AddFile("b.xlsx", SlowWorkbook());
    // a.txt, held open, cannot be read: its message on the error stream says
    // that the workbook is being read next, and Ctrl+C is delivered then.
    HANDLE held = CreateFileA(slow.Path("a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    querna::testing::ProgramOptions options;
    options.interruptOnceErrorHolds = slow.Path("a.txt");
    const auto result =
        RunProgram("querna-find.exe", {"--in", slow.Root(), "--phrase", "needle"}, options);
    CloseHandle(held);
    EXPECT_EQ(result.status, 130u) << result.err;
    EXPECT_EQ(result.out, "") << "the workbook's last cell is never reached";
}

// Ctrl+C is heard between the blocks of one large text file: the needle at
// the end of 4 GiB of zeros is never reached.
TEST_F(FindCliTest, CtrlCIsHeardInsideALargeTextFile) {
    TempTree slow;
    slow.AddFile("a.txt", "needle");
    const std::string big = slow.Path("b.txt");
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end;
    end.QuadPart = int64_t{4} << 30;
    DWORD written = 0;
    const bool made = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
                      WriteFile(file, "needle", 6, &written, nullptr) && written == 6;
    CloseHandle(file);
    ASSERT_TRUE(made);
    // a.txt, held open, cannot be read: its message says that the large file
    // is being read next, and Ctrl+C is delivered then.
    HANDLE held = CreateFileA(slow.Path("a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    querna::testing::ProgramOptions options;
    options.interruptOnceErrorHolds = slow.Path("a.txt");
    const auto result = RunProgram(
        "querna-find.exe", {"--in", slow.Root(), "--phrase", "needle", "--type", "text"}, options);
    CloseHandle(held);
    EXPECT_EQ(result.status, 130u) << result.err;
    EXPECT_EQ(result.out, "") << "the needle at the end is never reached";
}

TEST_F(FindCliTest, FailedWriteToStandardOutputEndsWithStatusOneAndAMessage) {
    TempTree sink;
    sink.AddFile("out.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Writes to a handle opened for reading fail, as they do on a full disk.
    HANDLE readOnly =
        CreateFileA(sink.Path("out.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    ProgramOptions toReadOnly;
    toReadOnly.standardOutput = readOnly;
    const std::vector<std::vector<std::string>> cases = {
        {"--in", tree.Root(), "--name", ".txt"},
        {"--in", tree.Root(), "--name", "Makefile", "--format", "table"},
        {"--help"},
    };
    for (const auto& args : cases) {
        const auto result = RunProgram("querna-find.exe", args, toReadOnly);
        EXPECT_EQ(result.status, 1u) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("standard output"), std::string::npos) << result.err;
    }
    CloseHandle(readOnly);
}

// --encoding auto finds the GBK phrase 中文 in UTF-8, UTF-16 and GBK files
// and leaves the window's byte rule as the default. The code page's text is
// read as GB18030: the euro sign, typed as 80, is A2 E3 there.
TEST(FindCliEncodingTest, AutoFindsTheCodePagePhraseInEveryEncoding) {
    TempTree tree;
    tree.AddFile("gbk.txt", "\xD6\xD0\xCE\xC4");
    tree.AddFile("utf8.txt", "\xEF\xBB\xBF\xE4\xB8\xAD\xE6\x96\x87");
    tree.AddFile("utf16le.txt", std::string("\xFF\xFE\x2D\x4E\x87\x65", 6));
    tree.AddFile("utf16be.txt", std::string("\xFE\xFF\x4E\x2D\x65\x87", 6));
    tree.AddFile("xing.txt", "\xD6\xD0\xCE\xC4");  // 形 (D0 CE) inside 中文 is no hit
    tree.AddFile("euro18030.txt", "\xB7\xD1\xD3\xC3 \xA2\xE3\x35\r\n");  // 费用 €5
    tree.AddFile("euro936.txt", "\xB7\xD1\xD3\xC3 \x80\x35\r\n");
    const auto paths = [&](std::initializer_list<const char*> names) {
        std::string text;
        for (const char* n : names) text += tree.Path(n) + "\r\n";
        return text;
    };
    const auto run = [&](const std::string& phrase, std::vector<std::string> more) {
        std::vector<std::string> args = {"--in", tree.Root(), "--phrase", phrase};
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram("querna-find.exe", args);
    };
    const auto autoRun = run("\xD6\xD0\xCE\xC4", {"--encoding", "auto"});
    EXPECT_EQ(autoRun.status, 0u) << autoRun.err;
    EXPECT_EQ(autoRun.out,
              paths({"gbk.txt", "utf16be.txt", "utf16le.txt", "utf8.txt", "xing.txt"}));
    EXPECT_EQ(run("\xD6\xD0\xCE\xC4", {}).out, paths({"gbk.txt", "xing.txt"}));
    EXPECT_EQ(run("\xD0\xCE", {"--encoding", "auto"}).out, "");
    EXPECT_EQ(run("x", {"--encoding", "utf-7"}).status, 2u);
    const auto euro = run("\x80", {"--encoding", "auto", "--hits"});
    EXPECT_EQ(euro.status, 0u) << euro.err;
    EXPECT_EQ(euro.out, paths({"euro18030.txt"}) + "\t行 1\t费用 【€】5\r\n");
    EXPECT_EQ(run("\x80", {"--encoding", "auto"}).out, paths({"euro18030.txt"}));
    EXPECT_EQ(run("\x80", {}).out, paths({"euro936.txt"}));
}

// --type wps reads WPS Office files by content (here fixture documents under
// WPS names); --type office takes them with the Word, Excel and PowerPoint
// classes; an old Kingsoft file is named as an old format.
TEST(FindCliWpsTest, WpsAndOfficeTypesReadWpsFilesByContent) {
    const auto fixture = [](const char* name) {
        return testing::ReadWholeFile(std::string(QUERNA_SOURCE_DIR) + "\\tests\\documents\\" +
                                      name);
    };
    TempTree tree;
    tree.AddFile("a.wps", fixture("lo-word.docx"));
    tree.AddFile("b.et", fixture("sheets.xls"));
    tree.AddFile("c.dps", fixture("lo-powerpoint.pptx"));
    tree.AddFile("d.docx", fixture("lo-word.docx"));
    tree.AddFile("e.txt", "Hello World quarterly report");
    const auto run = [&](const char* type, const char* phrase) {
        return RunProgram("querna-find.exe",
                          {"--in", tree.Root(), "--type", type, "--phrase", phrase});
    };
    EXPECT_EQ(run("wps", "quarterly report").out, tree.Path("a.wps") + "\r\n");
    // Excel's rule takes any case, PowerPoint's only the bytes typed.
    EXPECT_EQ(run("wps", "Hello World").out,
              tree.Path("b.et") + "\r\n" + tree.Path("c.dps") + "\r\n");
    EXPECT_EQ(run("wps", "hello world").out, tree.Path("b.et") + "\r\n");
    EXPECT_EQ(run("office", "quarterly report").out,
              tree.Path("a.wps") + "\r\n" + tree.Path("d.docx") + "\r\n");
    EXPECT_EQ(run("all", "quarterly report").out,
              tree.Path("d.docx") + "\r\n" + tree.Path("e.txt") + "\r\n");

    tree.AddFile("old.wps", "\xFFWPS an old Kingsoft file");
    const auto old = run("wps", "x");
    EXPECT_EQ(old.status, 1u);
    EXPECT_EQ(old.err, "无法读取文档 " + tree.Path("old.wps") + "：不支持的旧格式.\r\n");
}

// --hits prints under each matching path where the phrase is: the line of a
// text file (in its own encoding under --encoding auto), the paragraph of a
// Word document, the cell of a workbook, with the text around each hit.
TEST(FindCliHitsTest, HitsFollowEachMatchingPathInBothFormats) {
    const auto fixture = [](const char* name) {
        return testing::ReadWholeFile(std::string(QUERNA_SOURCE_DIR) + "\\tests\\documents\\" +
                                      name);
    };
    TempTree tree;
    tree.AddFile("a.txt", "第一行\r\n第二行 销售额 与 销售额\r\n销售额");
    tree.AddFile("u.txt", "\xEF\xBB\xBFx\n\xE9\x94\x80\xE5\x94\xAE\xE9\xA2\x9D!\n");
    tree.AddFile("w.docx", fixture("lo-word.docx"));
    tree.AddFile("x.xlsx", fixture("lo-excel.xlsx"));
    tree.AddFile("y.txt", "no phrase here");
    const auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {"--in",   tree.Root(),  "--phrase",
                                         "销售额", "--encoding", "auto"};
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram("querna-find.exe", args);
    };
    const auto paths = run({"--hits"});
    EXPECT_EQ(paths.status, 0u) << paths.err;
    EXPECT_EQ(paths.out, tree.Path("a.txt") + "\r\n" +
                             "\t行 2\t第二行 【销售额】 与 销售额\r\n"
                             "\t行 2\t第二行 销售额 与 【销售额】\r\n"
                             "\t行 3\t【销售额】\r\n" +
                             tree.Path("u.txt") + "\r\n\t行 2\t【销售额】!\r\n" +
                             tree.Path("w.docx") +
                             "\r\n\t段落 1\t第一季度报告：【销售额】上升\r\n" +
                             tree.Path("x.xlsx") + "\r\n\t二月!A1\t【销售额】 Revenue\r\n");
    // In the table each row is followed by its hits, here the first of each.
    const auto table = run({"--hits", "1", "--format", "table", "--type", "text"});
    EXPECT_EQ(table.status, 0u) << table.err;
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = table.out.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(table.out.substr(at, end - at));
    ASSERT_EQ(lines.size(), 4u) << table.out;
    EXPECT_EQ(lines[0].substr(0, 6), "a.txt\t");
    EXPECT_EQ(lines[1], "\t行 2\t第二行 【销售额】 与 销售额");
    EXPECT_EQ(lines[2].substr(0, 6), "u.txt\t");
    EXPECT_EQ(lines[3], "\t行 2\t【销售额】!");

    // A WPS spreadsheet is read as a workbook, by the Excel rule.
    tree.AddFile("v.et", fixture("lo-excel.xlsx"));
    const auto wps = run({"--type", "wps", "--hits"});
    EXPECT_EQ(wps.out, tree.Path("v.et") + "\r\n\t二月!A1\t【销售额】 Revenue\r\n") << wps.err;

    // 200 euro signs, 600 bytes of UTF-8, from 560 bytes before the edge of
    // the first 1 MiB block: listed with and without hits.
    std::string euros;
    for (int i = 0; i < 200; ++i) euros += "\xE2\x82\xAC";
    tree.AddFile("edge\\u.txt", "\xEF\xBB\xBF" + std::string((1 << 20) - 563, 'x') + euros + "\n");
    const auto edge = [&](std::vector<std::string> more) {
        std::vector<std::string> args = {
            "--in", tree.Path("edge"), "--phrase", std::string(200, '\x80'), "--encoding", "auto"};
        args.insert(args.end(), more.begin(), more.end());
        return RunProgram("querna-find.exe", args);
    };
    EXPECT_EQ(edge({}).out, tree.Path("edge\\u.txt") + "\r\n");
    EXPECT_EQ(edge({"--hits"}).out, tree.Path("edge\\u.txt") + "\r\n\t行 1\t" +
                                        std::string(30, 'x') + "【" + std::string(200, '\x80') +
                                        "】\r\n");

    // However many hits a file holds, 2,000 are printed and the rest counted.
    std::string many;
    for (int i = 0; i < 2345; ++i) many += "销售额 ";
    tree.AddFile("many\\m.txt", many);
    const auto counted = RunProgram(
        "querna-find.exe", {"--in", tree.Path("many"), "--phrase", "销售额", "--hits", "0"});
    EXPECT_EQ(counted.status, 0u) << counted.err;
    EXPECT_EQ(std::count(counted.out.begin(), counted.out.end(), '\n'), 1 + 2000 + 1);
    EXPECT_EQ(counted.out.substr(counted.out.rfind("\r\n", counted.out.size() - 3) + 2),
              "\t……另有 345 处\r\n");

    // A document the readers refuse ends the search as without --hits.
    tree.AddFile("z.docx", "PK\x03\x04 not a package");
    const auto refused = run({"--hits", "0", "--type", "word"});
    EXPECT_EQ(refused.status, 1u);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "无法读取文档 " + tree.Path("z.docx") + "：文档已损坏.\r\n");
}

}  // namespace
}  // namespace querna
