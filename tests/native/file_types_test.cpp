#include <gtest/gtest.h>

#include "search/FileTypes.h"
#include "search/PathText.h"
#include "tests/fakes/GbkTextRules.h"

namespace querna {
namespace {

struct ClassCase {
    const char* text;
    FileTypeClass expected;
};

class ClassifyExtensionTest : public ::testing::TestWithParam<ClassCase> {};

TEST_P(ClassifyExtensionTest, SortsTextIntoItsClass) {
    EXPECT_EQ(ClassifyExtension(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, ClassifyExtensionTest,
    ::testing::Values(
        ClassCase{".DOCX", ftWord}, ClassCase{".Doc", ftWord}, ClassCase{".doc", ftWord},
        ClassCase{".xlsx", ftExcel}, ClassCase{".PPT", ftPowerPoint}, ClassCase{".c", ftText},
        ClassCase{".Java", ftText}, ClassCase{".SH", ftText}, ClassCase{".sql", ftText},
        ClassCase{".gz", ftOther}, ClassCase{"", ftOther}, ClassCase{".", ftOther},
        ClassCase{".bak", ftOther}, ClassCase{".CS", ftOther}, ClassCase{".CC", ftOther},
        ClassCase{".CPPX", ftOther}, ClassCase{".DOCM", ftOther}, ClassCase{".XLSM", ftOther},
        ClassCase{".PPS", ftOther}, ClassCase{".RTF", ftOther}, ClassCase{".HPP", ftOther},
        ClassCase{".\xB1\xED", ftOther},  // a GBK character: bytes unchanged
        ClassCase{"*.*", ftAll}, ClassCase{".wps", ftWps}, ClassCase{".ET", ftWps},
        ClassCase{".dpt", ftWps}, ClassCase{".WPSX", ftOther}));

INSTANTIATE_TEST_SUITE_P(
    FilterTexts, ClassifyExtensionTest,
    ::testing::Values(ClassCase{"|.DOC|.DOCX|", ftWord}, ClassCase{"|.XLS|.XLSX|", ftExcel},
                      ClassCase{"|.PPT|.PPTX|", ftPowerPoint},
                      ClassCase{"|.TXT|.C|.CPP|.H|.PAS|.JAVA|.XML|.SQL|.ASP|.BAT|.JSP|.PHP|.SH|",
                                ftText},
                      ClassCase{kWpsList.data(), ftWps}, ClassCase{kOfficeList.data(), ftOffice},
                      // part of a list together with its bars is no extension
                      ClassCase{"|.DOC|", ftOther}, ClassCase{"DOC", ftOther}));

TEST(WpsCounterpart, NamesTheOfficeClassEachWpsExtensionStandsFor) {
    const ClassCase cases[] = {
        {".wps", ftWord},       {".WPT", ftWord},       {".et", ftExcel},   {".Ett", ftExcel},
        {".DPS", ftPowerPoint}, {".dpt", ftPowerPoint}, {".doc", ftOther},  {".WPSX", ftOther},
        {".E", ftOther},        {"", ftOther},          {"|.ET|", ftOther},
    };
    for (const ClassCase& c : cases) EXPECT_EQ(WpsCounterpart(c.text), c.expected) << c.text;
}

TEST(TypeFilterForIndex, GivesTheListOfEachItemAndAllFilesOtherwise) {
    EXPECT_EQ(TypeFilterForIndex(0), "|.DOC|.DOCX|");
    EXPECT_EQ(TypeFilterForIndex(3), std::string(kTextList));
    EXPECT_EQ(TypeFilterForIndex(4), "|*.*|");
    EXPECT_EQ(TypeFilterForIndex(-1), "|*.*|");
    EXPECT_EQ(TypeFilterForIndex(5), std::string(kWpsList));
    EXPECT_EQ(TypeFilterForIndex(6), std::string(kOfficeList));
    EXPECT_EQ(TypeFilterForIndex(7), "|*.*|");
}

// The office filter takes the four document classes and nothing else; every
// other filter takes its own class only.
TEST(TypeClassTakes, OfficeTakesTheDocumentClassesAndOthersTheirOwn) {
    for (const FileTypeClass file : {ftOther, ftWord, ftExcel, ftPowerPoint, ftText, ftWps}) {
        const bool document = file != ftOther && file != ftText;
        EXPECT_EQ(TypeClassTakes(ftOffice, file), document) << file;
        EXPECT_TRUE(TypeClassTakes(ftAll, file)) << file;
        EXPECT_TRUE(TypeClassTakes(file, file)) << file;
        EXPECT_EQ(TypeClassTakes(ftWps, file), file == ftWps) << file;
    }
}

struct SplitCase {
    std::string path, folder, name, extension;
};

TEST(SplitPath, SeparatesFolderNameAndExtensionHonouringDoubleByteCharacters) {
    fakes::GbkTextRules rules;
    const SplitCase cases[] = {
        {"D:\\docs\\report.final.doc", "D:\\docs\\", "report.final.doc", ".doc"},
        {"D:\\src\\Makefile", "D:\\src\\", "Makefile", ""},
        {"D:\\home\\.profile", "D:\\home\\", ".profile", ".profile"},
        {"D:\\a.b\\noext", "D:\\a.b\\", "noext", ""},
        {"C:name.txt", "C:", "name.txt", ".txt"},
        // 0x95 0x5C is one GBK character whose second byte is a backslash
        {"C:\\d\\x\x95\\y.txt", "C:\\d\\", "x\x95\\y.txt", ".txt"},
        // 0x81 0x2E: a trail byte that looks like a dot starts no extension
        {"C:\\d\\ab\x81.c", "C:\\d\\", "ab\x81.c", ""},
    };
    for (const SplitCase& c : cases) {
        const PathParts parts = SplitPath(c.path, rules);
        EXPECT_EQ(parts.folder, c.folder) << c.path;
        EXPECT_EQ(parts.name, c.name) << c.path;
        EXPECT_EQ(parts.extension, c.extension) << c.path;
    }
}

}  // namespace
}  // namespace querna
