// Office documents on a machine without Office: our XML tokenizer as the
// Windows build compiles it, the code page and the file system as the
// built-in readers use them, and whole searches in
// querna-find.exe and in the window that find exactly the fixture documents
// (tests/documents) that hold the phrase, with no automation server
// registered in the prefix.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "documents/PresentationText.h"
#include "documents/SpreadsheetText.h"
#include "documents/WordprocessingText.h"
#include "documents/XmlTokenizer.h"
#include "documents/ZipArchive.h"
#include "matchers/MatcherSet.h"
#include "matchers/OfficeDocuments.h"
#include "support/Documents.h"
#include "support/RunProgram.h"
#include "support/TempTree.h"
#include "support/office_server.h"
#include "support/window_harness.h"
#include "tests/fakes/CollectingSink.h"
#include "win32/CodePage.h"
#include "win32/Handles.h"
#include "win32/Win32Automation.h"
#include "win32/Win32Dialogs.h"
#include "win32/Win32FileSystem.h"
#include "win32/Win32TextRules.h"
#include "win32/WindowsServices.h"

namespace querna {
namespace {

using Units = std::vector<std::u16string>;
using testing::IsDialog;
using testing::StatusText;
using testing::TableNames;

std::string FixturePath(const std::string& name) {
    std::string path = std::string(QUERNA_SOURCE_DIR) + "/tests/documents/" + name;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string FixtureBytes(const std::string& name) {
    return testing::ReadWholeFile(FixturePath(name));
}

// The documents of this test are read where no Office server is registered.
class NoServers : public ::testing::Environment {
  public:
    void SetUp() override {
        apartment_ = new win32::ComApartment();
        testing::UnregisterFakeOffice();
    }
    void TearDown() override {
        delete apartment_;
        apartment_ = nullptr;
    }

  private:
    win32::ComApartment* apartment_ = nullptr;
};

const auto* const kNoServers = ::testing::AddGlobalTestEnvironment(new NoServers);

TEST(XmlTokenizerOnWindows, ReadsTheFixturesAsTheNativeBuildDoes) {
    struct Case {
        const char* fixture;
        void (*reader)(ZipArchive&, XmlReaders&, TextUnitSink&);
        Units expected;
    };
    const Case cases[] = {
        {"lo-word.docx",
         ReadWordprocessingText,
         {u"第一季度报告：销售额上升", u"Quarterly Report ＦＵＬＬＷＩＤＴＨ Ελλάδα",
          u"안녕하세요 세계", u"第一段结尾", u"第二段开头", u"表格单元甲", u"表格单元乙",
          u"正文段落", u"有批注的段落"}},
        {"py-excel.xlsx",
         ReadSpreadsheetText,
         {u"产品名称", u"42", u"3.25", u"Widget", u"=B1*2", u"TRUE", u"第二张表的内容",
          u"=UPPER(\"mixed Case\")", u"最后一张表"}},
        {"lo-excel.xlsx",
         ReadSpreadsheetText,
         {u"1234.5", u"收入", u"10", u"=SUM(A1:A2)", u"销售额 Revenue", u"1",
          u"=CONCATENATE(\"合计\",A1)", u"한국어 셀"}},
        {"lo-powerpoint.pptx",
         ReadPresentationText,
         {u"季度报告 Hello World\r第二行", u"形状文字", u"안녕 第二页"}},
    };
    win32::Win32FileSystem fs;
    XmlTokenizerReaders xml;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const auto source = fs.OpenDocument(FixturePath(c.fixture));
        ASSERT_NE(source, nullptr);
        ZipArchive package(*source);
        testing::CollectingSink sink;
        c.reader(package, xml, sink);
        EXPECT_EQ(sink.units, c.expected);
    }
}

TEST(Win32CodePage, ConvertsAsTheSystemCodePageDoes) {
    win32::Win32CodePage gbk;
    EXPECT_EQ(gbk.ToUnicode("季度 ab"), u"季度 ab");
    EXPECT_EQ(gbk.FromUnicode(u"季度 ab"), "季度 ab");
    EXPECT_EQ(gbk.FromUnicode(u"ＡＢ"), "\xA3\xC1\xA3\xC2");
    // Spelt out of the assertion, whose text GBK could not hold.
    const std::u16string hangul = u"안녕";
    EXPECT_EQ(gbk.FromUnicode(hangul), "??");
    EXPECT_EQ(gbk.ToUnicode(""), u"");
    // The readers' conversion into a kept buffer gives the system's bytes for
    // every character, and for surrogates alone, in pairs and cut short.
    std::u16string every;
    for (char32_t c = 1; c <= 0xFFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF) every += static_cast<char16_t>(c);
    }
    // Shuffled, one- and two-byte characters fall at every place of the
    // groups the table converts at a time.
    std::u16string shuffled = every;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    const std::u16string units[] = {
        every,     shuffled, u"a\U0001F600b", u"x\xD800y",
        u"\xDC00", u"",      u"中",           std::u16string(u"中a\0b", 4)};
    std::string kept = "left over";
    for (const std::u16string& unit : units) {
        gbk.FromUnicode(unit, kept);
        EXPECT_EQ(kept, win32::ToCodePageLossy(
                            {reinterpret_cast<const wchar_t*>(unit.data()), unit.size()}));
    }
}

TEST(Win32FileSystemDocuments, ReadAtAnyOffsetWhileOthersWrite) {
    testing::TempTree tree;
    std::string content;
    for (int i = 0; i < 100000; ++i) content += static_cast<char>('a' + i % 26);
    tree.AddFile("doc.bin", content);
    win32::Win32FileSystem fs;
    // Another program has the file open for writing, sharing it for reading.
    win32::FileHandle writer(CreateFileA(tree.Path("doc.bin").c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
    ASSERT_TRUE(writer);
    auto source = fs.OpenDocument(tree.Path("doc.bin"));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->Size(), content.size());
    char buffer[10];
    // Reads that go on where the last one ended and reads that jump about
    // give the bytes at their offsets alike.
    const struct {
        uint64_t offset;
        size_t count;
    } reads[] = {{0, 10}, {10, 4}, {5, 3}, {8, 10}, {52, 2}, {18, 10}};
    for (const auto& read : reads) {
        EXPECT_EQ(source->ReadAt(read.offset, buffer, read.count), read.count);
        EXPECT_EQ(std::string(buffer, read.count), content.substr(read.offset, read.count))
            << read.offset;
    }
    EXPECT_EQ(source->ReadAt(99995, buffer, 10), 5u);
    EXPECT_EQ(std::string(buffer, 5), content.substr(99995));
    EXPECT_EQ(source->ReadAt(26, buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(source->ReadAt(200000, buffer, 3), 0u);
    writer.Reset();
    source.reset();
    EXPECT_EQ(fs.OpenDocument(tree.Path("missing.docx")), nullptr);
    win32::FileHandle exclusive(CreateFileA(tree.Path("doc.bin").c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(exclusive);
    EXPECT_EQ(fs.OpenDocument(tree.Path("doc.bin")), nullptr);
}

TEST(Win32AutomationAbsent, AnUnregisteredApplicationIsAbsent) {
    win32::Win32Automation automation;
    EXPECT_THROW(automation.CreateObject("Word.Application"), ServerAbsentError);
    EXPECT_THROW(automation.CreateObjectOfClass("{00024500-0000-0000-C000-000000000046}"),
                 ServerAbsentError);
    try {
        automation.CreateObject("PowerPoint.Application");
    } catch (const ServerAbsentError& error) {
        EXPECT_EQ(std::string(error.what()), win32::OleErrorText(CO_E_CLASSSTRING));
    }
}

// A folder with the fixtures, under names that say what they are.
class OfficeFolder : public ::testing::Test {
  protected:
    OfficeFolder() {
        for (const char* name :
             {"lo-word.docx", "py-word.docx", "lo-empty.docx", "lo-excel.xlsx", "py-excel.xlsx",
              "lo-empty.xlsx", "lo-powerpoint.pptx", "lo-empty.pptx"}) {
            tree.AddFile(std::string("good\\") + name, FixtureBytes(name));
        }
        tree.AddFile("good\\notes.txt", "销售额 in plain text\r\n");
        for (const char* name : {"truncated.docx", "zip-encrypted.docx", "bomb.docx"}) {
            tree.AddFile(std::string("bad\\") + name, FixtureBytes(name));
        }
    }
    std::string Lines(std::initializer_list<const char*> relative) const {
        std::string text;
        for (const char* r : relative) text += tree.Path(r) + "\r\n";
        return text;
    }
    testing::TempTree tree;
};

TEST_F(OfficeFolder, QuernaFindListsExactlyTheDocumentsThatHoldThePhrase) {
    const std::pair<std::string, std::string> cases[] = {
        {"销售额", Lines({"good\\lo-excel.xlsx", "good\\lo-word.docx", "good\\notes.txt"})},
        {"张三", Lines({"good\\py-word.docx"})},
        {"revenue", Lines({"good\\lo-excel.xlsx"})},
        {"Hello World", Lines({"good\\lo-powerpoint.pptx"})},
        {"hello world", ""},
        {"页眉文字", ""},
        {"最后一张表", Lines({"good\\py-excel.xlsx"})},
        {"第二", Lines({"good\\lo-powerpoint.pptx", "good\\lo-word.docx", "good\\py-excel.xlsx"})},
    };
    for (const auto& [phrase, expected] : cases) {
        const auto result =
            testing::RunProgram("querna-find.exe", {"--in", tree.Path("good"), "--phrase", phrase});
        EXPECT_EQ(result.status, 0u) << phrase << ": " << result.err;
        EXPECT_EQ(result.out, expected) << phrase;
    }
}

TEST_F(OfficeFolder, QuernaFindEndsWithTheDocumentErrorAndStatusOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"truncated.docx", "文档已损坏"},
        {"zip-encrypted.docx", "文档已加密"},
        {"bomb.docx", "文档内容过大"},
    };
    for (const auto& [name, reason] : cases) {
        testing::TempTree one;
        one.AddFile(name, FixtureBytes(name));
        const auto result =
            testing::RunProgram("querna-find.exe", {"--in", one.Root(), "--phrase", "x"});
        EXPECT_EQ(result.status, 1u) << name;
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_EQ(result.err,
                  "无法读取文档 " + one.Path(name) + "：" + std::string(reason) + ".\r\n");
    }
}

class WindowWithoutOffice : public testing::WindowSearchTest {
  protected:
    // As the program wires it: the readers ask the window between chunks.
    WindowWithoutOffice() : testing::WindowSearchTest(&matchers) {
        windows.documents.stop = &form().DocumentStop();
    }
    win32::WindowsServices windows;
    MatcherSet matchers{windows.fs, windows.rules, windows.automation, &windows.documents};
};

TEST_F(WindowWithoutOffice, PhraseSearchListsTheDocumentsThatHoldIt) {
    for (const char* name :
         {"lo-word.docx", "py-word.docx", "lo-excel.xlsx", "py-excel.xlsx", "lo-powerpoint.pptx"}) {
        tree.AddFile(name, FixtureBytes(name));
    }
    Search("", "销售额");
    EXPECT_EQ(TableNames(form().lv1), (std::vector<std::string>{"lo-excel.xlsx", "lo-word.docx"}));
    EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");
    EXPECT_TRUE(harness.dialogs.calls.empty());

    tree.AddFile("truncated.docx", FixtureBytes("truncated.docx"));
    Search("", "销售额");
    ASSERT_EQ(harness.dialogs.calls.size(), 1u);
    EXPECT_TRUE(IsDialog(harness.dialogs.calls[0], win32::DialogKind::Error,
                         "无法读取文档 " + tree.Path("truncated.docx") + "：文档已损坏.",
                         "office_without_servers_test"));
    EXPECT_EQ(StatusText(form().stat1, 3), tree.Path("truncated.docx"));
}

// The Stop button the timer below clicks.
HWND stopButton = nullptr;

void CALLBACK ClickStop(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    SendMessageA(stopButton, BM_CLICK, 0, 0);
}

TEST_F(WindowWithoutOffice, StopIsHeardInsideALargeDocument) {
    tree.AddFile("slow.xlsx", testing::SlowWorkbook());
    // Clicked while the workbook, which takes seconds, is being read: only the
    // window's pumping inside the read can deliver the click then.
    stopButton = form().Button2;
    SetTimer(nullptr, 0, 300, &ClickStop);
    Search("", "needle");
    EXPECT_TRUE(TableNames(form().lv1).empty()) << "the workbook's last cell is never reached";
    EXPECT_EQ(StatusText(form().stat1, 3), "搜索完成!");
    EXPECT_TRUE(harness.dialogs.calls.empty());
}

}  // namespace
}  // namespace querna
