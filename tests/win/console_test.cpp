// The console companion's own machinery in-process: the buffered output, the
// stand-in window's stop path, the matchers' lazy COM and file names, the
// printer's rows from the listing, and what the program imports.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/ConsoleOutput.h"
#include "cli/ConsoleServices.h"
#include "platform/Error.h"
#include "support/TempTree.h"
#include "support/office_server.h"
#include "win32/Win32Automation.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32TextRules.h"

namespace querna {
namespace {

using namespace querna::cli;
using querna::testing::TempTree;

// An anonymous pipe whose read end the test drains.
class Pipe {
  public:
    Pipe() { CreatePipe(&read_, &write_, nullptr, 1 << 20); }
    ~Pipe() {
        CloseHandle(read_);
        CloseHandle(write_);
    }
    HANDLE WriteEnd() const { return write_; }
    // Everything written so far.
    std::string Drain() {
        std::string text;
        DWORD available = 0;
        while (PeekNamedPipe(read_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (!ReadFile(read_, chunk.data(), available, &read, nullptr)) break;
            text.append(chunk, 0, read);
        }
        return text;
    }

  private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
};

TEST(ConsoleOutputTest, BytesWaitUntilTheirTimeIsUpOrTheBufferIsFull) {
    struct Step {
        uint64_t now;
        const char* write;  // null: only the timer is looked at
        const char* expectWritten;
    };
    const Step steps[] = {
        {0, "ab", ""},
        {150, "cd", ""},
        {199, nullptr, ""},  // the oldest byte decides
        {200, nullptr, "abcd"},
        {250, "ef", ""},
        {300, "ghij", ""},                     // 6 of 8 bytes held
        {310, "klm", "efghij"},                // would not fit: out first
        {320, "0123456789", "klm0123456789"},  // longer than the buffer
        {330, nullptr, ""},
    };
    Pipe pipe;
    uint64_t now = 0;
    ConsoleOutput output(pipe.WriteEnd(), 8, [&] { return now; });
    for (const Step& step : steps) {
        now = step.now;
        if (step.write) {
            output.Write(step.write);
        } else {
            output.FlushIfDue();
        }
        EXPECT_EQ(pipe.Drain(), step.expectWritten) << "at " << step.now;
    }
    output.Write("tail");
    EXPECT_TRUE(output.Flush());
    EXPECT_EQ(pipe.Drain(), "tail");
}

TEST(ConsoleOutputTest, FailedWriteIsReportedAndLaterOutputDropped) {
    TempTree tree;
    tree.AddFile("out.txt", "before");
    HANDLE readOnly = CreateFileA(tree.Path("out.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    {
        ConsoleOutput output(readOnly);
        output.Write("row\r\n");
        EXPECT_FALSE(output.Failed());  // still in the buffer
        EXPECT_FALSE(output.Flush());
        EXPECT_TRUE(output.Failed());
        EXPECT_EQ(output.ErrorCode(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        output.Write("more\r\n");
        EXPECT_FALSE(output.Flush());
    }
    CloseHandle(readOnly);
    EXPECT_EQ(querna::testing::ReadWholeFile(tree.Path("out.txt")), "before");
    const std::string message = WriteFailureText(ERROR_DISK_FULL);
    EXPECT_EQ(message.rfind("querna-find: ", 0), 0u) << message;
    EXPECT_GT(message.size(), std::string("querna-find: ").size() + 10);
}

TEST(ConsoleWindowTest, InterruptBecomesTheStopRequestAndFlushesTheOutput) {
    Pipe pipe;
    uint64_t now = 0;
    ConsoleOutput output(pipe.WriteEnd(), 1024, [&] { return now; });
    SearchState state;
    std::atomic<bool> interrupted{false};
    FindOptions options;
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    ConsoleWindow window(options, state, output, fs, rules, stderr, interrupted);

    output.Write("found\r\n");
    window.ProcessMessages();
    EXPECT_EQ(state.StopRequested, kFalse);
    EXPECT_EQ(pipe.Drain(), "");
    interrupted = true;
    window.ProcessMessages();
    EXPECT_NE(state.StopRequested, kFalse);
    EXPECT_EQ(pipe.Drain(), "found\r\n");  // not waiting for the timer
    state.StopRequested = kFalse;          // as a search run does when it starts
    window.ProcessMessages();
    EXPECT_NE(state.StopRequested, kFalse);
}

// Reads what a console message stream received.
std::string ReadStream(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    char buffer[512];
    size_t read;
    while ((read = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, read);
    return text;
}

TEST(ConsoleMatchersTest, ComStartsWithTheFirstRegisteredOfficeDocumentAndErrorsNameTheFile) {
    TempTree tree;
    tree.AddFile("t.txt", "phrase\r\n");
    tree.AddFile("held.txt", "phrase\r\n");
    tree.AddFile("d.doc", "");
    std::FILE* err = std::fopen(tree.Path("err.log").c_str(), "w+b");
    ASSERT_NE(err, nullptr);
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    win32::Win32Automation automation;
    ConsoleMatchers matchers(fs, rules, automation);
    SearchState state;
    Pipe pipe;
    ConsoleOutput output(pipe.WriteEnd(), 1024, [] { return uint64_t{0}; });
    std::atomic<bool> interrupted{false};
    FindOptions options;
    ConsoleWindow window(options, state, output, fs, rules, err, interrupted);

    EXPECT_EQ(matchers.MatchTextFile(tree.Path("t.txt"), "phrase"), MatchVerdict::Found);
    HANDLE held = CreateFileA(tree.Path("held.txt").c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(matchers.MatchTextFile(tree.Path("held.txt"), "phrase"), MatchVerdict::Unreadable);
    CloseHandle(held);
    window.ReportUnreadable(tree.Path("held.txt"));
    EXPECT_FALSE(matchers.ComStarted());
    // No Word in the test prefix: the error escapes, naming the document.
    try {
        matchers.MatchWordDocument(tree.Path("d.doc"), "phrase");
        ADD_FAILURE() << "no error from a missing Word";
    } catch (const QuernaError& error) {
        EXPECT_EQ(std::string(error.what()).rfind(tree.Path("d.doc") + ": ", 0), 0u)
            << error.what();
    }
    // The registry knows no Word: COM is not entered to learn that.
    EXPECT_FALSE(matchers.ComStarted());
    EXPECT_TRUE(window.PassedOver());
    EXPECT_EQ(ReadStream(err), "无法读取文件: " + tree.Path("held.txt") + "\r\n");
    std::fclose(err);

    // With a Word registered, COM is entered for its first document.
    testing::RegisterFakeOffice();
    {
        testing::OfficeScratch scratch;
        ConsoleMatchers registered(fs, rules, automation);
        const std::string path = scratch.WriteFixture("d.doc", "text phrase\n");
        EXPECT_EQ(registered.MatchWordDocument(path, "phrase"), MatchVerdict::Found);
        EXPECT_TRUE(registered.ComStarted());
    }
    testing::UnregisterFakeOffice();
}

class ResultPrinterTest : public ::testing::Test {
  protected:
    // What printing the two results gives, as the walk or pass appends them
    // and then at the end of the root.
    std::pair<std::string, std::string> Print(const FindOptions& options) {
        Pipe pipe;
        ConsoleOutput output(pipe.WriteEnd(), 1024, [] { return uint64_t{0}; });
        SearchState state;
        std::atomic<bool> interrupted{false};
        ConsoleWindow window(options, state, output, fs, rules, stderr, interrupted);
        ResultPathList paths(rules);
        for (const auto& [path, listed] : results) {
            paths.Append(path, listed);
            window.Printer().ResultAppended(path, listed);
        }
        output.Flush();
        const std::string appended = pipe.Drain();
        window.FillResultTable(paths, true);
        output.Flush();
        return {appended, pipe.Drain()};
    }

    static constexpr uint64_t kCreated = 133'000'000'000'000'000;  // in June 2022
    static constexpr uint64_t kFiveGiB = uint64_t{5} << 30;
    std::vector<std::pair<std::string, ListedFile>> results = {
        {"C:\\data\\huge.bin", {kFiveGiB, FILE_ATTRIBUTE_ARCHIVE, kCreated}},
        {"C:\\data\\small.txt", {10245, FILE_ATTRIBUTE_READONLY, kCreated + 864'000'000'000}},
    };
    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
};

TEST_F(ResultPrinterTest, ContentMatchesWaitForTheRootsEndWhileOfficeDocumentsMayFollow) {
    struct Case {
        std::optional<std::string> phrase;
        int typeIndex;
        bool printedAtOnce;
    };
    const Case cases[] = {
        {std::nullopt, 4, true},  // a name search
        {"", 4, true},            // an empty phrase is a name search too
        {"needle", 3, true},      // text files alone
        {"needle", 4, false},     // all types: a document may still fail the run
        {"needle", 0, false},
    };
    const std::string paths = "C:\\data\\huge.bin\r\nC:\\data\\small.txt\r\n";
    for (const Case& c : cases) {
        FindOptions options;
        options.phrase = c.phrase;
        options.typeIndex = c.typeIndex;
        const auto [appended, atEnd] = Print(options);
        EXPECT_EQ(appended, c.printedAtOnce ? paths : "") << c.typeIndex;
        EXPECT_EQ(atEnd, c.printedAtOnce ? "" : paths) << c.typeIndex;
    }
}

// The console companion folds case with kernel32's LCMapStringA where the
// window used user32's CharUpperBuffA; the keys must stay the same.
TEST(Win32TextRulesTest, FoldCaseAgreesWithCharUpperBuff) {
    const std::string texts[] = {
        "",
        "abc XYZ 019 _-.",
        "C:\\Data\\report.final.doc",
        "\xB1\xED\xB8\xF1.txt",  // 表格: GBK, no letters
        "\xD6\xD0\xCE\xC4"
        "abc",               // 中文 then ASCII
        "\x81\x61\x81\x7A",  // trail bytes in the range of a to z
        "\xA3\xE1\xA3\xE2",  // full-width a b
        "\xA6\xC1\xA6\xC2",  // Greek small alpha beta
        "\xA7\xD1",          // Cyrillic small a
    };
    win32::Win32TextRules rules;
    for (const std::string& text : texts) {
        std::string expected = text;
        if (!expected.empty()) CharUpperBuffA(expected.data(), static_cast<DWORD>(expected.size()));
        EXPECT_EQ(rules.FoldCase(text), expected) << ::testing::PrintToString(text);
    }
}

// The DLLs a program imports at start-up, read from its import directory.
std::vector<std::string> ImportedDlls(const std::string& program) {
    std::vector<std::string> names;
    HMODULE image = LoadLibraryExA(program.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (image == nullptr) return names;
    const auto* base = reinterpret_cast<const BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.Size != 0 && entry->Name != 0; ++entry) {
        std::string name(reinterpret_cast<const char*>(base + entry->Name));
        CharLowerBuffA(name.data(), static_cast<DWORD>(name.size()));
        names.push_back(name);
    }
    FreeLibrary(image);
    std::sort(names.begin(), names.end());
    return names;
}

// COM, the automation runtime and the registry are loaded on their first
// call; the matchers' and locations' tests show that those calls work.
TEST(ConsoleProgramTest, LoadsOnlyKernel32AndTheCRuntimeAtStartUp) {
    const char* binDir = std::getenv("QUERNA_BIN_DIR");
    // No user32, whose loading costs start-up time under Wine, and nothing
    // that brings it along (ole32 does).
    EXPECT_EQ(ImportedDlls(std::string(binDir ? binDir : ".") + "\\querna-find.exe"),
              (std::vector<std::string>{"kernel32.dll", "msvcrt.dll"}));
}

}  // namespace
}  // namespace querna
