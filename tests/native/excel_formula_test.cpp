// The formula side of the .xls reader: numbers and formulas rendered back
// to the text Excel shows, the test of plain formulas, the function table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "documents/ExcelFormulaText.h"
#include "documents/ExcelFunctions.h"
#include "matchers/PhraseRules.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::Le16;
using testing::Le32;

std::string Double(double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
}

TEST(ExcelNumberText, WritesTheShortestRoundTripFormExcelUses) {
    const struct {
        double value;
        const char16_t* text;
    } cases[] = {
        {0, u"0"},
        {42, u"42"},
        {-0.25, u"-0.25"},
        {0.1, u"0.1"},
        {0.1 + 0.2, u"0.30000000000000004"},
        {1.0 / 3, u"0.3333333333333333"},
        {123456789012345, u"123456789012345"},
        {-999999999999999, u"-999999999999999"},
        {-7, u"-7"},
        {1e14, u"100000000000000"},
        {4503599627370497, u"4.503599627370497E+15"},
        {1e15, u"1E+15"},
        {1e20, u"1E+20"},
        {-1.5e100, u"-1.5E+100"},
        {0.0001, u"0.0001"},
        {1e-5, u"1E-05"},
        {1.5e-7, u"1.5E-07"},
        {2.5e-300, u"2.5E-300"},
        {std::numeric_limits<double>::quiet_NaN(), u"#NUM!"},
        {std::numeric_limits<double>::infinity(), u"#NUM!"},
    };
    for (const auto& c : cases) EXPECT_EQ(ExcelNumberText(c.value), c.text) << c.value;
}

std::string Ref(uint16_t row, uint16_t col) {
    return "\x24" + Le16(row) + Le16(col);
}
std::string Int(uint16_t v) {
    return "\x1E" + Le16(v);
}
std::string Num(double v) {
    return "\x1F" + Double(v);
}
std::string Str8(const std::string& s) {
    return "\x17" + std::string(1, static_cast<char>(s.size())) + '\0' + s;
}
std::string FuncVar(uint8_t args, uint16_t index) {
    return "\x42" + std::string(1, static_cast<char>(args)) + Le16(index);
}
std::string Func(uint16_t index) {
    return "\x41" + Le16(index);
}
constexpr uint16_t kRel = 0xC000;  // relative row and column

TEST(ExcelFormulaText, DecompilesTheCommonTokens) {
    const std::vector<std::u16string> names = {u"Sheet1", u"My Data", u"数据"};
    std::vector<ExcelSheetRange> ranges = {{0, 0, 0}, {0, 1, 1}, {0, 2, 2}, {1, 0, 0}, {0, 0, 2}};
    using Kind = ExcelSupportingBook::Kind;
    const std::vector<ExcelSupportingBook> books = {
        {Kind::Self, u"", {}, {}},
        {Kind::AddIn, u"", {}, {u"EDATE"}},
        {Kind::Workbook, u"C:\\dir\\Book2.xls", {u"Rates"}, {u"Rate"}},
        {Kind::Link, u"MTX|DATA", {}, {u"INETAS.G.ADET", u"PLAIN"}},
        {Kind::Workbook, std::u16string(12000, u'x'), {}, {u"N"}},
    };
    const std::vector<ExcelDefinedName> defined = {{u"testArea", 0}, {u"Local", 2}};
    ranges.push_back({2, 0, 0});    // 5: another workbook's sheet
    ranges.push_back({3, -2, -2});  // 6: a DDE link
    ranges.push_back({4, -2, -2});  // 7: a workbook of a very long path
    const std::string longName = "\x39" + Le16(7) + Le32(1);
    const std::u16string longText = u"'" + books[4].path + u"'!N";
    const std::u16string twoLong = u"=" + longText + u"+" + longText;
    ExcelFormulaContext context;
    context.row = 5;
    context.col = 3;
    context.sheet = 1;
    context.sheetNames = &names;
    context.sheetRanges = &ranges;
    context.books = &books;
    context.names = &defined;
    const std::string area = "\x25" + Le16(0) + Le16(1) + Le16(kRel) + Le16(kRel | 1);
    const struct {
        std::string rgce;
        std::string rgcb;
        const char16_t* text;  // null: not renderable
    } cases[] = {
        {Ref(0, kRel), "", u"=A1"},
        {Ref(1, 1), "", u"=$B$2"},
        {Ref(2, 0x4002), "", u"=$C3"},
        {Ref(0, 0x8000 | 27), "", u"=AB$1"},
        {"\x25" + Le16(0) + Le16(0xFFFF) + Le16(kRel) + Le16(kRel | 1), "", u"=A:B"},
        {"\x25" + Le16(2) + Le16(4) + Le16(kRel) + Le16(kRel | 0xFF), "", u"=3:5"},
        {Int(1) + Num(2.5) + "\x03", "", u"=1+2.5"},
        {Int(1) + Int(2) + "\x0A" + Int(3) + "\x0B", "", u"=1<=2=3"},
        {Int(1) + Int(2) + "\x09" + Int(3) + "\x0C" + Int(4) + "\x0E", "", u"=1<2>=3<>4"},
        {Str8("a\"b"), "", u"=\"a\"\"b\""},
        {"\x17\x02\x01" + testing::Utf16(u"中文"), "", u"=\"中文\""},
        {Int(5) + "\x13" + "\x15" + "\x14", "", u"=(-5)%"},
        {std::string("\x1D\x01\x1C\x07", 4) + "\x0B", "", u"=TRUE=#DIV/0!"},
        {Int(2) + Func(20), "", u"=SQRT(2)"},
        {Int(1) + Int(2) + Func(27), "", u"=ROUND(1,2)"},
        {Func(74), "", u"=NOW()"},
        {Ref(0, kRel) + Ref(1, kRel | 1) + FuncVar(2, 4), "", u"=SUM(A1,B2)"},
        {area + "\x19\x10" + Le16(0), "", u"=SUM(A1:B2)"},
        {Ref(0, kRel) + Int(1) + "\x0D" + "\x19\x02" + Le16(6) + Str8("x") + "\x19\x08" + Le16(4) +
             Str8("y") + "\x19\x08" + Le16(3) + FuncVar(3, 1),
         "", u"=IF(A1>1,\"x\",\"y\")"},
        {Int(1) + std::string("\x16", 1) + FuncVar(2, 1), "", u"=IF(1,)"},
        {area + Ref(2, kRel | 2) + "\x0F", "", u"=A1:B2 C3"},
        {area + Ref(2, kRel | 2) + "\x10", "", u"=A1:B2,C3"},
        {"\x5A" + Le16(2) + Le16(0) + Le16(kRel), "", u"=数据!A1"},
        {"\x5A" + Le16(1) + Le16(0) + Le16(kRel), "", u"='My Data'!A1"},
        {"\x5B" + Le16(0) + Le16(0) + Le16(1) + Le16(kRel) + Le16(kRel | 1), "", u"=Sheet1!A1:B2"},
        {"\x5B" + Le16(4) + Le16(0) + Le16(1) + Le16(1) + Le16(1), "", u"=Sheet1:数据!$B$1:$B$2"},
        {"\x5C" + Le16(0) + Le32(0), "", u"=Sheet1!#REF!"},
        {"\x2A" + Le32(0), "", u"=#REF!"},
        {"\x4C" + Le16(0xFFFF) + Le16(kRel | 1), "", u"=E5"},  // shared: one row up, one right
        {"\x4D" + Le16(0) + Le16(1) + Le16(kRel | 0xFE) + Le16(0x4002), "", u"=B6:$C7"},
        {"\x60" + std::string(7, '\0'),
         std::string("\x01", 1) + Le16(1) + "\x01" + Double(1) + "\x02" + Le16(1) + '\0' + "a" +
             "\x04\x01" + std::string(7, '\0') + "\x10\x2A" + std::string(7, '\0'),
         u"={1,\"a\";TRUE,#N/A}"},
        {"\x26" + Le32(0) + Le16(7) + area + "\x19\x10" + Le16(0), Le16(1) + std::string(8, '\0'),
         u"=SUM(A1:B2)"},
        {"\x23" + Le32(1), "", u"=testArea"},
        {Ref(0, kRel) + "\x23" + Le32(2) + "\x03", "", u"=A1+'My Data'!Local"},
        {"\x39" + Le16(0) + Le32(1), "", u"=testArea"},  // this workbook's own name
        {"\x59" + Le16(3) + Le32(1) + Ref(0, kRel) + FuncVar(2, 0xFF), "", u"=EDATE(A1)"},
        {"\x39" + Le16(5) + Le32(1), "", u"='C:\\dir\\Book2.xls'!Rate"},
        {"\x5A" + Le16(5) + Le16(0) + Le16(kRel), "", u"='C:\\dir\\[Book2.xls]Rates'!A1"},
        {"\x39" + Le16(6) + Le32(1), "", u"=MTX|DATA!'INETAS.G.ADET'"},
        {"\x39" + Le16(6) + Le32(2), "", u"=MTX|DATA!PLAIN"},
        {"\x23" + Le32(3), "", nullptr},            // no such name
        {"\x39" + Le16(6) + Le32(3), "", nullptr},  // no such DDE item
        {"\x39" + Le16(9) + Le32(1), "", nullptr},  // no such EXTERNSHEET entry
        {longName + longName + "\x03", "", twoLong.c_str()},
        {longName + longName + "\x03" + longName + "\x03", "", nullptr},  // past Excel's length
        {FuncVar(0, 0xFF), "", nullptr},                         // add-in call without a name
        {"\x01" + Le16(0) + Le16(0), "", nullptr},               // PtgExp alone
        {"\x5A" + Le16(3) + Le16(0) + Le16(kRel), "", nullptr},  // an add-in's sheet
        {"\x5A" + Le16(9) + Le16(0) + Le16(kRel), "", nullptr},  // no such EXTERNSHEET entry
        {Int(1) + Func(400), "", nullptr},                       // unknown function
        {Int(1) + Func(4), "", nullptr},                         // SUM takes no fixed count
        {Int(1) + Int(2), "", nullptr},                          // two values left
        {"\x03", "", nullptr},                                   // operator without operands
        {"\x1F\x00\x00", "", nullptr},                           // number cut off
        {"\x60" + std::string(7, '\0'), "", nullptr},            // array without its values
        {"\xFF", "", nullptr},
    };
    // One renderer for all the cases in turn, as a sheet's cells use it: what
    // a formula leaves behind, rendered or refused, never reaches the next.
    ExcelFormulaRenderer reused;
    for (const auto& c : cases) {
        std::u16string again;
        const bool renderedAgain = reused.Render(
            reinterpret_cast<const unsigned char*>(c.rgce.data()), c.rgce.size(),
            reinterpret_cast<const unsigned char*>(c.rgcb.data()), c.rgcb.size(), context, again);
        EXPECT_EQ(renderedAgain, c.text != nullptr) << ::testing::PrintToString(c.rgce);
        if (c.text) {
            EXPECT_EQ(again, c.text) << ::testing::PrintToString(c.rgce);
        }
    }
    for (const auto& c : cases) {
        std::u16string text;
        const bool rendered = RenderExcelFormula(
            reinterpret_cast<const unsigned char*>(c.rgce.data()), c.rgce.size(),
            reinterpret_cast<const unsigned char*>(c.rgcb.data()), c.rgcb.size(), context, text);
        if (c.text) {
            EXPECT_TRUE(rendered) << ::testing::PrintToString(c.rgce);
            EXPECT_EQ(text, c.text) << ::testing::PrintToString(c.rgce);
        } else {
            EXPECT_FALSE(rendered) << ::testing::PrintToString(c.rgce);
        }
    }
}

// A plain formula renders, and its text as a finder folds it passes the
// test a finder makes of its phrase: so leaving out plain formulas never
// hides a phrase that lies in one. Token sequences drawn from plain tokens,
// others, and broken ones.
TEST(ExcelFormulaText, APlainFormulaRendersToTextOfItsKnownWords) {
    const std::string tokens[] = {Ref(3, 2 | kRel),
                                  "\x25" + Le16(0) + Le16(65535) + Le16(0x3FFF) + Le16(kRel | 3),
                                  "\x4C" + Le16(0xFFFF) + Le16(kRel | 0x80),
                                  "\x03",
                                  "\x0A",
                                  "\x11",
                                  "\x12",
                                  "\x14",
                                  "\x15",
                                  "\x16",
                                  std::string("\x19\x10\x00\x00", 4),
                                  "\x19\x04" + Le16(1) + Le32(0),
                                  "\x1C\x2B",
                                  "\x1D\x01",
                                  Int(65535),
                                  Num(-1.5e-300),
                                  Num(std::nan("")),
                                  Func(20),
                                  Func(19),
                                  Func(999),
                                  FuncVar(2, 4),
                                  FuncVar(127, 336),
                                  FuncVar(1, 0x8001),
                                  FuncVar(2, 0xFF),
                                  Str8("absent"),
                                  "\x43" + Le32(1),
                                  "\x2A" + Le32(0),
                                  "\x2B" + Le32(0) + Le32(0),
                                  "\x27" + Le32(0) + Le16(0),
                                  "\x29" + Le16(0),
                                  "\x3A" + Le16(0) + Le16(1) + Le16(1),
                                  "\x20" + std::string(7, '\0'),
                                  "\x24\x01",
                                  "\x18"};
    const std::vector<std::u16string> names = {u"Sheet1"};
    const std::vector<ExcelSheetRange> ranges = {{0, 0, 0}};
    const std::vector<ExcelSupportingBook> books = {{}};
    const std::vector<ExcelDefinedName> defined = {{u"Rate", 0}};
    ExcelFormulaContext context;
    context.row = 65535;
    context.col = 255;
    context.sheetNames = &names;
    context.sheetRanges = &ranges;
    context.books = &books;
    context.names = &defined;
    std::mt19937 random(7);
    size_t plain = 0;
    PlainFormulaMemo memo;
    for (int round = 0; round < 20000; ++round) {
        std::string rgce;
        for (size_t n = 1 + random() % 8; n > 0; --n) rgce += tokens[random() % std::size(tokens)];
        // The memo answers as the test does, for the formula and then for it
        // with one byte changed: an operand the test passes over, or a byte
        // the test reads.
        std::string changed = rgce;
        changed[random() % changed.size()] ^= static_cast<char>(1 + random() % 255);
        for (const std::string* formula : {&rgce, &changed}) {
            const auto* b = reinterpret_cast<const unsigned char*>(formula->data());
            EXPECT_EQ(memo.IsPlain(b, formula->size()), IsPlainExcelFormula(b, formula->size()))
                << round;
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(rgce.data());
        if (!IsPlainExcelFormula(bytes, rgce.size())) continue;
        ++plain;
        std::u16string text;
        ASSERT_TRUE(RenderExcelFormula(bytes, rgce.size(), nullptr, 0, context, text)) << round;
        for (char16_t& c : text) c = FoldLetterCase(c);
        EXPECT_TRUE(CouldBeInPlainExcelFormula(text)) << round;
    }
    EXPECT_GT(plain, 1000u);
}

TEST(ExcelFormulaText, TellsWhichPhrasesCouldLieInAPlainFormula) {
    const std::pair<std::u16string, bool> cases[] = {
        {u"=sum(a1:b2)*2", true}, {u"normsdist(", true}, {u"xfd", true},
        {u"#getting_data", true}, {u"1e+20", true},      {u"absent-phrase", false},
        {u"sumz", false},         {u"产品", false},      {u"a\tb", false},
    };
    for (const auto& [folded, could] : cases)
        EXPECT_EQ(CouldBeInPlainExcelFormula(folded), could) << static_cast<int>(folded.size());
}

// Every index of the function table finds its own entry, and an index
// between, past or far beyond the table's finds none.
TEST(ExcelFunctions, EachIndexFindsItsEntryAndNoOtherIndexFindsOne) {
    uint16_t expected = 0;
    for (const ExcelFunction& function : ExcelFunctions()) {
        for (; expected < function.index; ++expected) {
            EXPECT_EQ(FindExcelFunction(expected), nullptr) << expected;
        }
        EXPECT_EQ(FindExcelFunction(function.index), &function) << function.name;
        expected = function.index + 1;
    }
    for (const uint16_t beyond : {expected, uint16_t{0x17F}, uint16_t{0xFFFF}}) {
        EXPECT_EQ(FindExcelFunction(beyond), nullptr) << beyond;
    }
}

}  // namespace
}  // namespace querna
