// Binary Office documents read over the file system's own handle: one open,
// through the same \\?\ form and sharing as every other file, so a file named
// after a device is reached, a document another program holds open for
// writing is read.
#include <gtest/gtest.h>
#include <windows.h>

#include "documents/DocumentReader.h"
#include "matchers/OfficeDocuments.h"
#include "support/TempTree.h"
#include "win32/Handles.h"
#include "win32/WindowsServices.h"

namespace querna {
namespace {

std::string FixtureBytes(const std::string& name) {
    std::string path = std::string(QUERNA_SOURCE_DIR) + "\\tests\\documents\\" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return testing::ReadWholeFile(path);
}

// The file's own path in the \\?\ form, which Windows never takes for a
// device, for the test's writing and holding of files named after devices.
std::wstring LiteralPath(const std::string& path) {
    return L"\\\\?\\" + std::wstring(path.begin(), path.end());
}

win32::FileHandle OpenLiteral(const std::string& path, DWORD access, DWORD disposition) {
    return win32::FileHandle(CreateFileW(LiteralPath(path).c_str(), access,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
}

class BinaryDocuments : public ::testing::Test {
  protected:
    MatchVerdict Match(DocumentKind kind, const std::string& name, const std::string& phrase) {
        return MatchDocumentWithoutServer(windows.documents, kind, tree.Path(name), phrase);
    }

    testing::TempTree tree;
    win32::WindowsServices windows;
};

TEST_F(BinaryDocuments, AreReadUnderDeviceNamesAndWhileAnotherProgramWritesThem) {
    const struct {
        const char* fixture;
        const char* name;
        DocumentKind kind;
        const char* phrase;
    } cases[] = {
        {"words.doc", "aux.doc", DocumentKind::Word, "quick brown"},
        {"sheets.xls", "com1.xls", DocumentKind::Excel, "hello world"},
        {"slides.ppt", "nul.ppt", DocumentKind::PowerPoint, "Title"},
    };
    for (const auto& c : cases) {
        const std::string bytes = FixtureBytes(c.fixture);
        ASSERT_FALSE(bytes.empty()) << c.fixture;
        {
            win32::FileHandle file = OpenLiteral(tree.Path(c.name), GENERIC_WRITE, CREATE_ALWAYS);
            DWORD written = 0;
            ASSERT_TRUE(file && WriteFile(file.Get(), bytes.data(),
                                          static_cast<DWORD>(bytes.size()), &written, nullptr));
        }
        EXPECT_EQ(Match(c.kind, c.name, c.phrase), MatchVerdict::Found) << c.name;
        EXPECT_EQ(Match(c.kind, c.name, "no such phrase"), MatchVerdict::NotFound) << c.name;

        // Office keeps an open document open for reading and writing and
        // lets others read it.
        const win32::FileHandle held =
            OpenLiteral(tree.Path(c.name), GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
        ASSERT_TRUE(held) << c.name;
        EXPECT_EQ(Match(c.kind, c.name, c.phrase), MatchVerdict::Found) << c.name;
    }
}

}  // namespace
}  // namespace querna
