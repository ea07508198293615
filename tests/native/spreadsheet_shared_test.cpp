// What the .xlsx and .xls readers share: the cell reference writer both show
// formulas with, and the one bound on shared strings both hold.
#include <gtest/gtest.h>

#include <string>

#include "documents/DocumentLimits.h"
#include "documents/SpreadsheetShared.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::FaultOf;

TEST(CellReferenceWriter, WritesColumnLettersAndRowsAsExcelShowsThem) {
    const struct {
        unsigned column, row;
        bool columnFixed, rowFixed;
        const char16_t* text;
    } cases[] = {
        {1, 1, false, false, u"A1"},
        {26, 7, false, false, u"Z7"},
        {27, 10, true, false, u"$AA10"},
        {52, 1, false, true, u"AZ$1"},
        {702, 65536, true, true, u"$ZZ$65536"},
        {703, 1048576, false, false, u"AAA1048576"},
        {16384, 3, false, false, u"XFD3"},
    };
    for (const auto& c : cases) {
        std::u16string text;
        AppendColumnLetters(text, c.column, c.columnFixed);
        AppendRowNumber(text, c.row, c.rowFixed);
        EXPECT_EQ(text, c.text) << c.column << "," << c.row;
    }
}

TEST(SharedStringTable, KeepsEachStringAndRefusesPastTheOneBound) {
    SharedStringTable table;
    table.Append(u"收入");
    table.EndString();
    table.EndString();  // an empty string is one too
    table.TextFor(3).append(u"abc");
    table.EndString();
    ASSERT_EQ(table.Size(), 3u);
    EXPECT_EQ(table.At(0), u"收入");
    EXPECT_EQ(table.At(1), u"");
    EXPECT_EQ(table.At(2), u"abc");
    EXPECT_FALSE(table.Has(3));

    // The text bound is asked before anything is appended.
    EXPECT_EQ(FaultOf([&] { table.TextFor(kMaxSharedStringText - 4); }), DocumentFault::TooLarge);
    EXPECT_NO_THROW(table.TextFor(kMaxSharedStringText - 5));

    SharedStringTable many;
    for (size_t i = 0; i < kMaxSharedStringCount; ++i) many.EndString();
    EXPECT_EQ(FaultOf([&] { many.EndString(); }), DocumentFault::TooLarge);
    EXPECT_EQ(many.Size(), kMaxSharedStringCount);
}

}  // namespace
}  // namespace querna
