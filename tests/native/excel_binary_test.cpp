#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "documents/ExcelBinaryText.h"
#include "documents/ExcelFormulaText.h"
#include "documents/ExcelFunctions.h"
#include "matchers/PhraseRules.h"
#include "tests/native/DocumentTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer's own count of the bytes allocated and not freed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace querna {
namespace {

using testing::CollectingSink;
using testing::FaultOf;
using testing::Le16;
using testing::Le32;
using Units = std::vector<std::u16string>;

std::string Record(uint16_t type, const std::string& data) {
    return Le16(type) + Le16(static_cast<uint16_t>(data.size())) + data;
}
std::string Bof(uint16_t kind, uint16_t version = 0x0600) {
    return Record(0x0809, Le16(version) + Le16(kind) + std::string(12, '\0'));
}
std::string Eof() {
    return Record(0x000A, "");
}
std::string Double(double v) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &v, 8);
    return s;
}
std::string Cell(uint16_t row, uint16_t col) {
    return Le16(row) + Le16(col) + Le16(15);
}
std::string Number(uint16_t row, uint16_t col, double v) {
    return Record(0x0203, Cell(row, col) + Double(v));
}
std::string LabelSst(uint16_t row, uint16_t col, uint32_t i) {
    return Record(0x00FD, Cell(row, col) + Le32(i));
}
// A FORMULA record with a cached number (or, with `special`, the raw 8 bytes).
std::string Formula(uint16_t row, uint16_t col, const std::string& rgce, double cached = 0,
                    const std::string& special = "", const std::string& rgcb = "") {
    const std::string value = special.empty() ? Double(cached) : special;
    return Record(0x0006, Cell(row, col) + value + Le16(0) + Le32(0) +
                              Le16(static_cast<uint16_t>(rgce.size())) + rgce + rgcb);
}
std::string StringResult() {
    return std::string("\x00\x00\x00\x00\x00\x00\xFF\xFF", 8);
}

struct SheetSpec {
    std::string name;
    std::string records;  // between the sheet's BOF and EOF
    uint8_t type = 0;     // BoundSheet8 dt
    uint16_t bofKind = 0x0010;
};

// A workbook stream: globals with `globals` before the sheet list, then the
// sheets' substreams.
std::string Workbook(const std::string& globals, const std::vector<SheetSpec>& sheets) {
    auto boundSheet = [](uint32_t pos, const SheetSpec& s) {
        return Record(0x0085, Le32(pos) + '\0' + static_cast<char>(s.type) +
                                  static_cast<char>(s.name.size()) + '\0' + s.name);
    };
    size_t globalsSize = Bof(5).size() + globals.size() + Eof().size();
    for (const SheetSpec& s : sheets) globalsSize += boundSheet(0, s).size();
    std::string list, bodies;
    for (const SheetSpec& s : sheets) {
        list += boundSheet(static_cast<uint32_t>(globalsSize + bodies.size()), s);
        bodies += Bof(s.bofKind) + s.records + Eof();
    }
    return Bof(5) + globals + list + Eof() + bodies;
}

Units Read(CompoundStorage& storage, size_t stopAfter = 0) {
    CollectingSink sink(stopAfter);
    ReadExcelBinaryText(storage, sink);
    return sink.units;
}
Units ReadStream(const std::string& workbook, size_t stopAfter = 0) {
    testing::StreamStorage storage;
    storage.streams["Workbook"] = workbook;
    return Read(storage, stopAfter);
}

TEST(ExcelBinaryText, ReadsEveryWorksheetsCellsOfTheFixtureInOrder) {
    testing::ImageStorage storage(testing::FixtureBytes("sheets.xls"));
    // LibreOffice stores the boolean constant as a number with a boolean format.
    const Units expected = {
        u"产品名称",
        u"42",
        u"3.5",
        u"-0.25",
        u"Hello World",
        u"123456789",
        u"1E+20",
        u"1",
        u"=SUM(B1:D1)",
        u"=A2&\"后缀\"",
        u"=IF(B1>10,\"big\",\"small\")",
        u"=ROUND(C1*2.5,1)+'My Data'!$B$2",
        u"=AVERAGE(B1:C1,7)",
        u"=-B1^2%",
        u"=Second!A1",
        u"=TRUE",
        u"=B1*2",
        u"=C1*2",
        u"=D1*2",
        u"=1/0",
        u"第二页文字",
        u"한국어 셀",
        u"0.1",
        u"=COUNTIF(A1:B2,\">0\")",
        u"Third sheet",
        u"0.0001",
        u"1.5E-07",
        u"2",
    };
    EXPECT_EQ(Read(storage), expected);
}

TEST(ExcelBinaryText, MapsTheFixtureFaults) {
    testing::ImageStorage empty(testing::FixtureBytes("empty.xls"));
    EXPECT_TRUE(Read(empty).empty());
    testing::ExpectFixtureFaults(
        {
            {"encrypted.xls", DocumentFault::Encrypted},
            {"biff5.xls", DocumentFault::OldFormat},
            {"sheets-truncated.xls", DocumentFault::Damaged},
        },
        [](CompoundStorage& storage) { Read(storage); });
}

TEST(ExcelBinaryText, ReadsSharedStringsSplitAcrossContinueRecords) {
    // String 0: "Hello" with two rich runs and 3 bytes of phonetic data.
    // String 1: 16-bit "中文" then, after the record break, an 8-bit "abc".
    // String 2: starts right at the start of the next CONTINUE record.
    const std::string sst = Le32(3) + Le32(3) + Le16(5) + "\x0C" + Le16(2) + Le32(3) + "Hello" +
                            std::string(8, 'r') + "ext" + Le16(5) + "\x01" +
                            testing::Utf16(u"中文");
    const std::string cont1 = std::string("\x00", 1) + "abc";
    const std::string cont2 = Le16(4) + std::string(1, '\0') + "last";
    const std::string globals = Record(0x00FC, sst) + Record(0x003C, cont1) + Record(0x003C, cont2);
    const std::string cells = LabelSst(0, 0, 1) + LabelSst(0, 1, 0) + LabelSst(1, 0, 2);
    EXPECT_EQ(ReadStream(Workbook(globals, {{"S", cells}})),
              (Units{u"中文abc", u"Hello", u"last"}));
    // A 16-bit character whose bytes a record break splits runs on without
    // a new flags byte.
    const std::string wide = testing::Utf16(u"青禾");
    const std::string split =
        Record(0x00FC, Le32(1) + Le32(1) + Le16(2) + "\x01" + wide.substr(0, 3)) +
        Record(0x003C, wide.substr(3));
    EXPECT_EQ(ReadStream(Workbook(split, {{"S", LabelSst(0, 0, 0)}})), Units{u"青禾"});
}

TEST(ExcelBinaryText, WritesEachKindOfCellAsExcelShowsIt) {
    const std::string label16 =
        Record(0x0204, Cell(0, 0) + Le16(2) + "\x01" + testing::Utf16(u"青禾"));
    const std::string label8 =
        Record(0x0204, Cell(0, 1) + Le16(3) + std::string("\x00", 1) + "abc");
    // RK: integer 7, integer -3 divided by 100, the double 2.5 by its high half.
    const std::string rkInt = Record(0x027E, Cell(1, 0) + Le32((7u << 2) | 2));
    const std::string rkX100 =
        Record(0x027E, Cell(1, 1) + Le32(static_cast<uint32_t>(-3 << 2) | 3));
    const std::string rkFloat = Record(0x027E, Cell(1, 2) + Le32(0x40040000));
    const std::string mulRk = Record(0x00BD, Le16(2) + Le16(0) + Le16(15) + Le32((1u << 2) | 2) +
                                                 Le16(15) + Le32((2u << 2) | 2) + Le16(1));
    const std::string boolean = Record(0x0205, Cell(3, 0) + "\x01" + std::string("\x00", 1));
    const std::string error = Record(0x0205, Cell(3, 1) + "\x07\x01");
    const std::string cells =
        label16 + label8 + rkInt + rkX100 + rkFloat + mulRk + Number(4, 0, 1e-5) + boolean + error;
    EXPECT_EQ(ReadStream(Workbook("", {{"S", cells}})),
              (Units{u"青禾", u"abc", u"7", u"-0.03", u"2.5", u"1", u"2", u"1E-05", u"TRUE",
                     u"#DIV/0!"}));
}

TEST(ExcelBinaryText, RendersSharedFormulasAtEachCellAndFallsBackToCachedValues) {
    // B2 and B3 share "=A<row>*2" through a SHRFMLA written after B2; a
    // formula naming a defined name shows its cached STRING instead.
    const std::string refN =
        std::string("\x4C", 1) + Le16(0) + Le16(0xC000 | 0xFF);  // same row, col-1
    const std::string shared = "\x01" + Le16(1) + Le16(1);       // PtgExp B2
    const std::string shrfmla = Record(0x04BC, Le16(1) + Le16(2) + "\x01\x01" + '\0' + '\x02' +
                                                   Le16(9) + refN + "\x1E" + Le16(2) + "\x05");
    const std::string name = std::string("\x43", 1) + Le32(1);
    const std::string cells = Formula(1, 1, shared, 84) + shrfmla + Formula(2, 1, shared, 10) +
                              Formula(3, 0, name, 0, StringResult()) +
                              Record(0x0207, Le16(6) + std::string("\x00", 1) + "cached") +
                              Formula(4, 0, name, 12.5) +
                              Formula(5, 0, "\x01" + Le16(9) + Le16(9), 3);  // no such share
    EXPECT_EQ(ReadStream(Workbook("", {{"S", cells}})),
              (Units{u"=A2*2", u"=A3*2", u"cached", u"12.5", u"3"}));
    // A sink that takes no plain formula gets none of the shared one's cells.
    testing::StreamStorage storage;
    storage.streams["Workbook"] = Workbook("", {{"S", cells}});
    CollectingSink plainless;
    plainless.takesPlainFormulas = false;
    ReadExcelBinaryText(storage, plainless);
    EXPECT_EQ(plainless.units, (Units{u"cached", u"12.5", u"3"}));
}

// One workbook of every kind of cell, numbers and repeated shared strings
// among them.
std::string EveryKindOfCell() {
    const std::string sst = Record(0x00FC, Le32(4) + Le32(2) + Le16(1) + std::string("\x00", 1) +
                                               "x" + Le16(1) + std::string("\x00", 1) + "y");
    const std::string strings = LabelSst(0, 2, 0) + LabelSst(1, 0, 0) + LabelSst(1, 2, 1);
    const std::string label8 =
        Record(0x0204, Cell(0, 1) + Le16(3) + std::string("\x00", 1) + "abc");
    const std::string rk = Record(0x027E, Cell(1, 1) + Le32(static_cast<uint32_t>(-3 << 2) | 3));
    const std::string mulRk = Record(0x00BD, Le16(2) + Le16(0) + Le16(15) + Le32((1u << 2) | 2) +
                                                 Le16(15) + Le32((2u << 2) | 2) + Le16(1));
    const std::string error = Record(0x0205, Cell(3, 1) + "\x07\x01");
    const std::string name = std::string("\x43", 1) + Le32(1);  // renders nothing: cached value
    const std::string sum = "\x1E" + Le16(2) + "\x1E" + Le16(3) + "\x03";
    return Workbook(sst, {{"S", label8 + strings.substr(0, 14) + rk + strings.substr(14) + mulRk},
                          {"T", Number(4, 0, 1e-5) + LabelSst(4, 1, 1) + error +
                                    Formula(5, 0, name, 12.5) + Formula(6, 0, sum, 5)}});
}

TEST(ExcelBinaryText, LeavesOutNumbersOnlyForASinkThatTakesNone) {
    const std::string workbook = EveryKindOfCell();
    EXPECT_EQ(ReadStream(workbook), (Units{u"abc", u"x", u"-0.03", u"x", u"y", u"1", u"2", u"1E-05",
                                           u"y", u"#DIV/0!", u"12.5", u"=2+3"}));
    testing::StreamStorage storage;
    storage.streams["Workbook"] = workbook;
    CollectingSink numberless;
    numberless.takesNumbers = false;
    ReadExcelBinaryText(storage, numberless);
    EXPECT_EQ(numberless.units, (Units{u"abc", u"x", u"x", u"y", u"y", u"#DIV/0!", u"=2+3"}));
    // A sink that takes no repeats sees each shared string at its first cell.
    CollectingSink once;
    once.takesRepeats = false;
    ReadExcelBinaryText(storage, once);
    EXPECT_EQ(once.units, (Units{u"abc", u"x", u"-0.03", u"y", u"1", u"2", u"1E-05", u"#DIV/0!",
                                 u"12.5", u"=2+3"}));
}

// The finder leaves numbers out where its phrase cannot lie in one: it finds
// what the full text holds, phrase by phrase, in built and fixture workbooks.
TEST(ExcelBinaryText, FindsWhatTheFullTextHoldsWhenNumbersAreLeftOut) {
    const std::vector<std::pair<std::string, std::string>> workbooks = {
        {"built", EveryKindOfCell()},
        {"sheets.xls", ""},
        {"poi_Trend.xls", ""},
    };
    const std::u16string phrases[] = {u"-0.03", u"1e-05", u"12.5",  u"#div/0!",    u"ABC",
                                      u"0.03x", u"=2+3",  u"1E+20", u"－０．２５", u"产品",
                                      u"#num!", u"e+",    u"3 ",    u"Y"};
    for (const auto& [label, stream] : workbooks) {
        for (size_t i = 0; i < std::size(phrases); ++i) {
            const std::u16string& phrase = phrases[i];
            const auto read = [&](TextUnitSink& sink) {
                if (!stream.empty()) {
                    testing::StreamStorage storage;
                    storage.streams["Workbook"] = stream;
                    ReadExcelBinaryText(storage, sink);
                } else {
                    testing::ImageStorage storage(testing::FixtureBytes(label));
                    ReadExcelBinaryText(storage, sink);
                }
            };
            CollectingSink all;
            read(all);
            UnicodePhraseRule rule(phrase, WidthRule::Ignored);
            const bool held = std::any_of(all.units.begin(), all.units.end(), [&](auto& unit) {
                return rule.Prepare(unit) && rule.FindNext(0) != std::u16string::npos;
            });
            UnicodePhraseFinder finder(phrase, WidthRule::Ignored);
            read(finder);
            EXPECT_EQ(finder.Found(), held) << label << ", phrase " << i;
        }
    }
}

TEST(ExcelBinaryText, ReadsOnlyWorksheetsAndSkipsEmbeddedCharts) {
    const std::string chart = Bof(0x0020) + Number(0, 0, 99) + Eof();
    const std::vector<SheetSpec> sheets = {
        {"One", Number(0, 0, 1) + chart + Number(1, 0, 2)},
        {"Chart", Number(0, 0, 3), 2},
        {"Macro", Number(0, 0, 4), 0, 0x0040},
        {"Two", Number(0, 0, 5)},
    };
    EXPECT_EQ(ReadStream(Workbook("", sheets)), (Units{u"1", u"2", u"5"}));
    EXPECT_EQ(ReadStream(Workbook("", sheets), 1), (Units{u"1"}));
}

TEST(ExcelBinaryText, MapsHostileWorkbooksToTheirFaults) {
    const std::string good = Workbook("", {{"S", Number(0, 0, 1)}});
    std::string cutRecord = good;
    cutRecord.resize(cutRecord.size() - 10);
    const struct {
        const char* what;
        std::string workbook;
        DocumentFault fault;
    } cases[] = {
        {"password", Workbook(Record(0x002F, Le16(1)), {}), DocumentFault::Encrypted},
        {"BIFF5 BOF", Bof(5, 0x0500) + Eof(), DocumentFault::OldFormat},
        {"BIFF4 BOF", Record(0x0409, Le16(0) + Le16(0x10)), DocumentFault::OldFormat},
        {"no BOF", Eof(), DocumentFault::Damaged},
        {"empty stream", "", DocumentFault::Damaged},
        {"record cut off", cutRecord, DocumentFault::Damaged},
        {"shared string out of range", Workbook("", {{"S", LabelSst(0, 0, 5)}}),
         DocumentFault::Damaged},
        {"string cut inside its characters",
         Workbook(Record(0x00FC, Le32(1) + Le32(1) + Le16(50) + '\0' + "short"), {}),
         DocumentFault::Damaged},
        {"sheet position past the stream",
         Bof(5) +
             Record(0x0085, Le32(999999) + std::string(2, '\0') + std::string("\x01\x00S", 3)) +
             Eof(),
         DocumentFault::Damaged},
        {"two sheets at one position",
         [] {
             std::string book = Workbook("", {{"A", Number(0, 0, 1)}, {"B", Number(0, 0, 2)}});
             // Point the second BoundSheet8 at the first sheet's substream.
             const size_t first = book.find(std::string("\x85\x00", 2));
             const size_t second = book.find(std::string("\x85\x00", 2), first + 1);
             book.replace(second + 4, 4, book.substr(first + 4, 4));
             return book;
         }(),
         DocumentFault::Damaged},
        {"sheet position inside a record",
         Bof(5) + Record(0x0085, Le32(3) + std::string(2, '\0') + std::string("\x01\x00S", 3)) +
             Eof(),
         DocumentFault::Damaged},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FaultOf([&] { ReadStream(c.workbook); }), c.fault) << c.what;
    }
    testing::StreamStorage old;
    old.streams["Book"] = Bof(5, 0x0500);
    EXPECT_EQ(FaultOf([&] { Read(old); }), DocumentFault::OldFormat);
    testing::StreamStorage none;
    EXPECT_EQ(FaultOf([&] { Read(none); }), DocumentFault::Damaged);
}

// Cells a sink declines are passed over, not left unchecked: a record too
// short for its fields is damage whether or not its value would be shown,
// and a plain formula's STRING record is read as any other formula's.
TEST(ExcelBinaryText, CellsPassedOverAreCheckedAsThoseShown) {
    const std::string plain = "\x1E" + Le16(2) + "\x1E" + Le16(3) + "\x03";
    const std::string cutString = Record(0x0207, Le16(40) + '\0' + "short");
    const struct {
        const char* what;
        std::string cells;
    } cases[] = {
        {"number cut short", Record(0x0203, Cell(0, 0) + Le32(0))},
        {"RK cut short", Record(0x027E, Cell(0, 0) + Le16(0))},
        {"plain formula's result cut short",
         Formula(0, 0, plain, 0, StringResult()) + cutString + Number(1, 0, 1)},
    };
    for (const auto& c : cases) {
        for (const bool takes : {true, false}) {
            testing::StreamStorage storage;
            storage.streams["Workbook"] = Workbook("", {{"S", c.cells}});
            CollectingSink sink;
            sink.takesNumbers = sink.takesPlainFormulas = takes;
            EXPECT_EQ(FaultOf([&] { ReadExcelBinaryText(storage, sink); }), DocumentFault::Damaged)
                << c.what << (takes ? ", taken" : ", passed over");
        }
    }
    // Passed over, a plain formula's cached text shows neither at its own
    // cell nor at the next formula's.
    const std::string name = std::string("\x43", 1) + Le32(1);  // shows its cached value
    const std::string cells =
        Formula(0, 0, plain, 0, StringResult()) + Record(0x0207, Le16(3) + '\0' + "old") +
        Formula(1, 0, name, 0, StringResult()) + Record(0x0207, Le16(3) + '\0' + "new");
    testing::StreamStorage storage;
    storage.streams["Workbook"] = Workbook("", {{"S", cells}});
    CollectingSink sink;
    sink.takesPlainFormulas = false;
    ReadExcelBinaryText(storage, sink);
    EXPECT_EQ(sink.units, (Units{u"new"}));
    EXPECT_EQ(ReadStream(Workbook("", {{"S", cells}})), (Units{u"=2+3", u"new"}));
}

TEST(ExcelBinaryText, ReadsReportedWorkbooksToTheEnd) {
    // Real workbooks from the public test data of Apache POI and NPOI.
    const struct {
        const char* file;
        std::u16string unit;  // one unit the reading must reach
    } cases[] = {
        {"poi_Trend.xls", u"=TREND(testArea,,G2:G10)"},  // a defined name
        {"poi_61116.xls", u"=INDEX(A+B,1,1)"},
        {"poi_49219.xls", u"=MTX|DATA!'INETAS.G.ADET'"},  // a DDE link
        {"poi_StringContinueRecords.xls", u"delete Test_Pack_Result;"},
        {"npoi_optional_label_options.xls", u"45697"},  // after empty labels
    };
    for (const auto& c : cases) {
        testing::ImageStorage storage(testing::FixtureBytes(c.file));
        Units units;
        EXPECT_NO_THROW(units = Read(storage)) << c.file;
        EXPECT_NE(std::find_if(units.begin(), units.end(),
                               [&](const std::u16string& u) {
                                   return u.find(c.unit) != std::u16string::npos;
                               }),
                  units.end())
            << c.file;
    }
}

TEST(ExcelBinaryText, ResolvesNamesLinksAndOtherWorkbooksOfTheGlobals) {
    const std::string name = Record(0x0018, Le16(0) + '\0' + '\x04' + Le16(0) + Le16(0) + Le16(0) +
                                                std::string(4, '\0') + '\0' + "Rate");
    const std::string builtIn = Record(0x0018, Le16(0x20) + '\0' + '\x01' + Le16(0) + Le16(0) +
                                                   Le16(1) + std::string(4, '\0') + '\0' + '\x06');
    const std::string path =
        "\x01\x01"
        "C\x03"
        "dir\x03"
        "Book2.xls";
    const std::string other = Record(0x01AE, Le16(1) + Le16(static_cast<uint16_t>(path.size())) +
                                                 '\0' + path + Le16(5) + '\0' + "Rates");
    const std::string link = Record(0x01AE, Le16(0) + Le16(8) + '\0' +
                                                "MTX\x03"
                                                "DATA");
    const std::string item = Record(0x0023, Le16(0x7FE2) + Le32(0) + '\x06' + '\0' + "INETAS");
    const std::string globals =
        Record(0x01AE, Le16(1) + Le16(0x0401)) + other + link + item +
        // The sheet list's last entry runs on in a CONTINUE record.
        Record(0x0017, Le16(3) + Le16(0) + Le32(0) + Le16(1) + Le32(0) + Le16(2) + Le16(0xFFFE)) +
        Record(0x003C, Le16(0xFFFE)) + name + builtIn;
    const std::string cells =
        Formula(0, 0, "\x23" + Le32(1)) + Formula(0, 1, "\x23" + Le32(2)) +
        Formula(0, 2, "\x5A" + Le16(1) + Le16(0) + Le16(0xC000)) +
        Formula(0, 3, "\x39" + Le16(2) + Le32(1)) +
        // An empty label without its flags byte, then a long result whose
        // characters go on, 16-bit, in a CONTINUE record.
        Record(0x0204, Cell(1, 0) + Le16(0)) + Formula(1, 1, "\x23" + Le32(9), 0, StringResult()) +
        Record(0x0207, Le16(5) + '\0' + "abc") + Record(0x003C, "\x01" + testing::Utf16(u"青禾"));
    EXPECT_EQ(ReadStream(Workbook(globals, {{"S", cells}})),
              (Units{u"=Rate", u"=Print_Area", u"='C:\\dir\\[Book2.xls]Rates'!A1",
                     u"=MTX|DATA!INETAS", u"abc青禾"}));
}

// A workbook whose sheet entries all point into one sheet's nested start
// records: each entry would read the rest of the sheet again.
std::string NestedSheets(uint32_t count, bool innermostFirst) {
    const auto boundSheet = [](uint32_t position) {
        return Record(0x0085, Le32(position) + std::string(2, '\0') + std::string("\x01\x00S", 3));
    };
    const size_t globals = Bof(5).size() + count * boundSheet(0).size() + Eof().size();
    std::vector<std::string> entries;
    std::string nested;
    for (uint32_t i = 0; i < count; ++i) {
        entries.push_back(boundSheet(static_cast<uint32_t>(globals + nested.size())));
        nested += Bof(0x0010);
    }
    if (innermostFirst) std::reverse(entries.begin(), entries.end());
    std::string list;
    for (const std::string& entry : entries) list += entry;
    for (uint32_t i = 0; i < count; ++i) nested += Number(0, 0, i) + Eof();
    return Bof(5) + list + Eof() + nested;
}

// A stream the reader must copy a window at a time (one on disk, or one
// whose sectors are scattered) reads as one it reads where it lies: records
// and a formula's STRING and CONTINUE records across the windows' ends.
TEST(ExcelBinaryText, ReadsACopiedStreamAsOneReadInPlace) {
    class CopiedStorage final : public CompoundStorage {
      public:
        explicit CopiedStorage(const std::string& workbook) : workbook_(workbook) {}
        std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
            if (path != "Workbook") return nullptr;
            class Copied final : public ByteSource {  // ReadAt only: no view
              public:
                explicit Copied(const std::string& bytes) : bytes_(bytes.data(), bytes.size()) {}
                uint64_t Size() const override { return bytes_.Size(); }
                size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
                    return bytes_.ReadAt(offset, buffer, count);
                }

              private:
                MemoryByteSource bytes_;
            };
            return std::make_unique<Copied>(workbook_);
        }

      private:
        const std::string& workbook_;
    };
    const std::string name = std::string("\x43", 1) + Le32(1);  // shows its cached STRING
    std::string cells;
    for (uint16_t row = 0; row < 4000; ++row) {
        cells += Number(row, 0, row) + Formula(row, 1, name, 0, StringResult()) +
                 Record(0x0207, Le16(5) + '\0' + "ab") + Record(0x003C, std::string("\0cde", 4));
    }
    const std::string workbook = Workbook("", {{"S", cells}});
    ASSERT_GT(workbook.size(), 3u * 64 * 1024);
    for (const bool numbers : {true, false}) {
        testing::StreamStorage inPlace;
        inPlace.streams["Workbook"] = workbook;
        CopiedStorage copied(workbook);
        CollectingSink a, b;
        a.takesNumbers = b.takesNumbers = numbers;
        ReadExcelBinaryText(inPlace, a);
        ReadExcelBinaryText(copied, b);
        EXPECT_EQ(a.units.size(), numbers ? 8000u : 4000u);
        EXPECT_EQ(a.units, b.units);
        EXPECT_EQ(b.units.back(), u"abcde");
    }
}

TEST(ExcelBinaryText, RefusesSheetsThatShareRecordsWithoutReadingThemAgain) {
    // Without the refusal this reads about 200 million records.
    EXPECT_EQ(FaultOf([&] { ReadStream(NestedSheets(20000, false)); }), DocumentFault::Damaged);
    EXPECT_EQ(FaultOf([&] { ReadStream(NestedSheets(20000, true)); }), DocumentFault::Damaged);
    // One sheet alone reads its own cells, not those of the sheets it holds.
    EXPECT_EQ(ReadStream(NestedSheets(1, false)), (Units{u"0"}));
}

#if defined(__SANITIZE_ADDRESS__)
// The bytes the program holds on its heap now, as the sanitizer counts them.
size_t HeapBytes() {
    return __sanitizer_get_current_allocated_bytes();
}

TEST(ExcelBinaryText, HoldsManyEmptySharedStringsInAboutTheirOwnBytes) {
    // A million empty strings, three bytes each, in full CONTINUE records.
    constexpr uint32_t kCount = 1000000;
    std::string strings;
    for (uint32_t i = 0; i < kCount; ++i) strings += Le16(0) + '\0';
    std::string globals = Record(0x00FC, Le32(kCount) + Le32(kCount) + strings.substr(0, 8214));
    for (size_t at = 8214; at < strings.size(); at += 8223)
        globals += Record(0x003C, strings.substr(at, 8223));
    const std::string workbook =
        Workbook(globals, {{"S", LabelSst(0, 0, kCount - 1) + Number(1, 0, 7)}});
    testing::StreamStorage storage;
    storage.streams["Workbook"] = workbook;
    struct Sink : TextUnitSink {
        size_t before = HeapBytes(), most = 0;
        bool Unit(std::u16string_view, const UnitPlace&) override {
            most = std::max(most, HeapBytes() - before);
            return false;
        }
    } sink;
    ReadExcelBinaryText(storage, sink);
    // Each string took 32 bytes and more before; now it is a 4-byte end.
    EXPECT_LT(sink.most, strings.size() * 3 / 2);
}
#endif

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
