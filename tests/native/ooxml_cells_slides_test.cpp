// The SpreadsheetML and PresentationML readers on hand-made packages, one rule
// each: sheet and slide order, what a cell reads as, shared formulas, which
// shapes count.
#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "documents/ExcelFormulaText.h"
#include "documents/PresentationText.h"
#include "documents/SpreadsheetText.h"
#include "documents/XmlTokenizer.h"
#include "documents/ZipArchive.h"
#include "tests/fakes/CollectingSink.h"
#include "tests/fakes/ZipBuilder.h"

namespace querna {
namespace {

using Units = std::vector<std::u16string>;

constexpr char kRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kDocRel[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr char kSheetNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kSlideNs[] = "http://schemas.openxmlformats.org/presentationml/2006/main";
constexpr char kDrawingNs[] = "http://schemas.openxmlformats.org/drawingml/2006/main";

std::string Rels(const std::vector<std::vector<std::string>>& items) {
    std::string xml = std::string("<Relationships xmlns=\"") + kRelNs + "\">";
    for (const auto& item : items) {
        xml += "<Relationship Id=\"" + item[0] + "\" Type=\"" + kDocRel + "/" + item[1] +
               "\" Target=\"" + item[2] + "\"/>";
    }
    return xml + "</Relationships>";
}

Units Read(void (*reader)(ZipArchive&, XmlReaders&, TextUnitSink&), const std::string& bytes) {
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive package(source);
    XmlTokenizerReaders xml;
    testing::CollectingSink sink;
    reader(package, xml, sink);
    return sink.units;
}

// A workbook whose sheets are listed as `order` (relationship ids), with the
// parts given; rId9 is the shared strings.
std::string Workbook(const std::vector<std::string>& order,
                     const std::vector<std::pair<std::string, std::string>>& sheets,
                     const std::string& sharedStrings = "") {
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.xml"}}));
    std::string workbook =
        std::string("<workbook xmlns=\"") + kSheetNs + "\" xmlns:r=\"" + kDocRel + "\"><sheets>";
    for (const std::string& id : order)
        workbook += "<sheet name=\"" + id + "\" r:id=\"" + id + "\"/>";
    zip.Add("xl/workbook.xml", workbook + "</sheets></workbook>");
    std::vector<std::vector<std::string>> rels;
    for (size_t i = 0; i < sheets.size(); ++i) {
        const std::string part = "worksheets/sheet" + std::to_string(i + 1) + ".xml";
        rels.push_back({sheets[i].first, "worksheet", part});
        zip.Add("xl/" + part, std::string("<worksheet xmlns=\"") + kSheetNs + "\"><sheetData>" +
                                  sheets[i].second + "</sheetData></worksheet>");
    }
    if (!sharedStrings.empty()) {
        rels.push_back({"rId9", "sharedStrings", "sharedStrings.xml"});
        zip.Add("xl/sharedStrings.xml",
                std::string("<sst xmlns=\"") + kSheetNs + "\">" + sharedStrings + "</sst>");
    }
    zip.Add("xl/_rels/workbook.xml.rels", Rels(rels));
    return zip.Build();
}

TEST(SpreadsheetTextTest, CellsReadAsExcelsFindLooksInFormulas) {
    const std::string strings =
        "<si><t>plain</t></si>"
        "<si><r><t>rich </t></r><r><t>text</t></r><rPh><t>phonetic</t></rPh></si>"
        "<si><t>line_x000D__x000A_break</t></si>"
        "<si><r><t>split_x00</t></r><r><t>41_</t></r><r><t>!</t></r></si>";  // an escape in two
                                                                             // runs
    const std::string cells =
        "<row><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c>"
        "<c r=\"E1\" t=\"s\"><v>x</v></c></row>"
        "<row><c r=\"A2\"><v>3.1415926535897931</v></c><c r=\"B2\" t=\"b\"><v>0</v></c>"
        "<c r=\"C2\" t=\"e\"><v>#DIV/0!</v></c><c r=\"D2\" t=\"inlineStr\"><is><r><t>in</t></r>"
        "<r><t>line</t></r></is></c><c r=\"E2\" t=\"str\"><f>A1&amp;\"!\"</f><v>plain!</v></c>"
        "<c r=\"F2\"/><c r=\"G2\" t=\"n\"><f></f><v>5</v></c></row>";
    EXPECT_EQ(Read(ReadSpreadsheetText, Workbook({"rId1"}, {{"rId1", cells}}, strings)),
              (Units{u"plain", u"rich text", u"line\r\nbreak", u"splitA!", u"3.1415926535897931",
                     u"FALSE", u"#DIV/0!", u"inline", u"=A1&\"!\"", u"5"}));
}

TEST(SpreadsheetTextTest, ASinkThatTakesNoRepeatsSeesEachSharedStringOnce) {
    const std::string strings = "<si><t>x</t></si><si><t>y</t></si>";
    const std::string one =
        "<row><c t=\"s\"><v>1</v></c><c t=\"s\"><v>1</v></c><c><v>2</v></c></row>";
    const std::string two = "<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row>";
    const std::string bytes = Workbook({"rA", "rB"}, {{"rA", one}, {"rB", two}}, strings);
    EXPECT_EQ(Read(ReadSpreadsheetText, bytes), (Units{u"y", u"y", u"2", u"x", u"y"}));
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive package(source);
    XmlTokenizerReaders xml;
    testing::CollectingSink once;
    once.takesRepeats = false;
    ReadSpreadsheetText(package, xml, once);
    EXPECT_EQ(once.units, (Units{u"y", u"2", u"x"}));
}

// A sink that takes no numbers and no plain formulas misses only cells whose
// text, folded, holds nothing but a number's characters or could be a plain
// formula's: the two promises a finder declining them relies on.
TEST(SpreadsheetTextTest, ASinkThatTakesNoNumbersOrPlainFormulasMissesOnlyThose) {
    struct Case {
        const char* cell;  // the inside of a <c>
        bool kept;         // by the declining sink
    };
    const Case cases[] = {
        {"<v>12.5</v>", false},
        {"<v>-1.5E-07</v>", false},
        {"<v>12a</v>", true},
        {"<v>1,5</v>", true},
        {"<f>SUM(A1:B1)*2</f><v>1</v>", false},
        {"<f>vlookup(a1,$B$1:C9,2,FALSE)</f><v>1</v>", false},
        {"<f>A1&amp;\"ab\"</f><v>1</v>", false},
        {"<f>STDEV.S(A1:A9)</f><v>1</v>", false},
        {"<f>Sheet2!A1</f><v>1</v>", true},
        {"<f>_xlfn.CONCAT(A1)</f><v>1</v>", true},
        {"<f>A1&amp;\"hello\"</f><v>1</v>", true},
        {"<f>TEXT(A1,\"0.0\")</f><v>1</v>", false},
        {"<f>A1&amp;\"\xE4\xB8\xAD\"</f><v>1</v>", true},
        {"<f>SUMPRODUCTS(A1)</f><v>1</v>", true},
        {"<f>A1\tB1</f><v>1</v>", true},
    };
    std::string cells;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::string kind = cases[i].cell[1] == 'f' ? "" : " t=\"n\"";
        cells += "<row r=\"" + std::to_string(i + 1) + "\"><c r=\"A" + std::to_string(i + 1) +
                 "\"" + kind + ">" + cases[i].cell + "</c></row>";
    }
    cells += "<row><c t=\"b\"><v>1</v></c><c t=\"e\"><v>#NUM!</v></c></row>";
    const std::string bytes = Workbook({"rId1"}, {{"rId1", cells}});
    auto read = [&bytes](bool takes) {
        MemoryByteSource source(bytes.data(), bytes.size());
        ZipArchive package(source);
        XmlTokenizerReaders xml;
        testing::CollectingSink sink;
        sink.takesNumbers = sink.takesPlainFormulas = takes;
        ReadSpreadsheetText(package, xml, sink);
        return sink;
    };
    const testing::CollectingSink all = read(true), declining = read(false);
    ASSERT_EQ(all.units.size(), std::size(cases) + 2);
    Units expected;
    for (size_t i = 0; i < all.units.size(); ++i) {
        const bool kept = i >= std::size(cases) || cases[i].kept;
        if (kept) {
            expected.push_back(all.units[i]);
            continue;
        }
        std::u16string folded = all.units[i];
        for (char16_t& c : folded) c = c >= u'A' && c <= u'Z' ? c + 32 : c;
        const bool number = folded.find_first_not_of(u"0123456789-+.e") == std::u16string::npos;
        EXPECT_TRUE(number || (folded[0] == u'=' && CouldBeInPlainExcelFormula(folded)))
            << cases[i].cell;
    }
    EXPECT_EQ(declining.units, expected);
}

TEST(SpreadsheetTextTest, SheetsAreReadInWorkbookOrderAndOnlyWorksheets) {
    const std::string one = "<row><c r=\"A1\" t=\"inlineStr\"><is><t>one</t></is></c></row>";
    const std::string two = "<row><c r=\"A1\" t=\"inlineStr\"><is><t>two</t></is></c></row>";
    EXPECT_EQ(Read(ReadSpreadsheetText, Workbook({"rB", "rA"}, {{"rA", one}, {"rB", two}})),
              (Units{u"two", u"one"}));
    EXPECT_EQ(Read(ReadSpreadsheetText, Workbook({"rA", "rMissing"}, {{"rA", one}})), Units{u"one"})
        << "a sheet without a worksheet relationship is no worksheet";
}

TEST(SpreadsheetTextTest, SharedFormulasReadAsInEachCellOfTheirRange) {
    const std::string cells =
        "<row><c r=\"B2\"><f t=\"shared\" ref=\"B2:C3\" si=\"0\">A2*$C$1+_xlfn.CONCAT(A2,\"A1\")"
        "</f><v>1</v></c><c r=\"C2\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>"
        "<row><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>1</v></c>"
        "<c r=\"D9\"><f t=\"shared\" si=\"7\"/><v>8</v></c></row>";
    EXPECT_EQ(Read(ReadSpreadsheetText, Workbook({"r"}, {{"r", cells}})),
              (Units{u"=A2*$C$1+CONCAT(A2,\"A1\")", u"=B2*$C$1+CONCAT(B2,\"A1\")",
                     u"=A3*$C$1+CONCAT(A3,\"A1\")", u"8"}));
}

TEST(SpreadsheetTextTest, FormulasMoveTheirRelativeReferencesOnly) {
    struct Case {
        std::u16string formula;
        int rows, columns;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"A1+B2", 1, 1, u"B2+C3"},
        {u"$A$1+A$1+$A1", 2, 3, u"$A$1+D$1+$A3"},
        {u"SUM(A1:A3)", 1, 0, u"SUM(A2:A4)"},
        {u"LOG10(A1)", 1, 0, u"LOG10(A2)"},
        {u"\"A1\"&A1", 1, 0, u"\"A1\"&A2"},
        {u"\"say \"\"A1\"\"\"&A1", 1, 0, u"\"say \"\"A1\"\"\"&A2"},
        {u"'Sheet A1'!A1+'it''s'!B1", 1, 0, u"'Sheet A1'!A2+'it''s'!B2"},
        {u"Table1[[#This Row],[A1]]", 1, 0, u"Table1[[#This Row],[A1]]"},
        {u"Sheet1!B$2", 5, 1, u"Sheet1!C$2"},
        {u"A1", -1, 0, u"#REF!"},
        {u"XFD1", 0, 1, u"#REF!"},
        {u"A1048576", 1, 0, u"#REF!"},
        {u"_xlfn._xlws.SORT(a1:a2)", 0, 0, u"SORT(A1:A2)"},
        {u"1.5E+3*A1", 0, 1, u"1.5E+3*B1"},
        {u"ABCD1+A1", 0, 1, u"ABCD1+B1"},
        {u"TRUE", 1, 1, u"TRUE"},
        {u"Z1", 0, 1, u"AA1"},
        {u"\"unclosed A1", 1, 0, u"\"unclosed A1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormulaAsShown(c.formula, c.rows, c.columns), c.expected);
    }
}

// The units a reading gives, or the fault it ends in.
struct Outcome {
    Units units;
    std::optional<DocumentFault> fault;
    bool operator==(const Outcome&) const = default;
};

Outcome ReadOutcome(void (*reader)(ZipArchive&, XmlReaders&, TextUnitSink&),
                    const std::string& bytes) {
    try {
        return {Read(reader, bytes), std::nullopt};
    } catch (const DocumentError& error) {
        return {{}, error.Fault()};
    }
}

std::string Cells(const std::string& formula, const std::string& shared = "") {
    return "<row><c r=\"B2\"><f" + std::string(shared.empty() ? "" : " t=\"shared\" si=\"0\"") +
           ">" + formula + "</f></c>" + shared + "</row>";
}

TEST(SpreadsheetTextTest, FormulasPastExcelsLimitAreDamaged) {
    const auto sum = [](const std::string& term, size_t count) {
        std::string formula = term;
        for (size_t i = 1; i < count; ++i) formula += "+" + term;
        return formula;
    };
    const std::string dependentBelow = "<c r=\"B3\"><f t=\"shared\" si=\"0\"/></c>";
    const std::string dependentBeside = "<c r=\"C2\"><f t=\"shared\" si=\"0\"/></c>";
    struct Case {
        const char* name;
        std::string cells;
        size_t units;  // when read
        std::optional<DocumentFault> fault;
    };
    const Case cases[] = {
        {"at the limit", Cells(std::string(8192, '1')), 1, std::nullopt},
        {"past the limit", Cells(std::string(8193, '1')), 0, DocumentFault::Damaged},
        {"longer stored than shown", Cells(sum("_xlfn.F(1)", 1000)), 1, std::nullopt},
        {"stored past twice the limit", Cells(sum("_xlfn.F(1)", 2000)), 0, DocumentFault::Damaged},
        {"shared, moved within the limit", Cells(sum("A9", 2731), dependentBeside), 2,
         std::nullopt},
        {"shared, moved past the limit", Cells(sum("A9", 2731), dependentBelow), 0,
         DocumentFault::Damaged},
        {"shared, far past the limit", Cells(sum("A1", 60000), dependentBelow), 0,
         DocumentFault::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = ReadOutcome(ReadSpreadsheetText, Workbook({"r"}, {{"r", c.cells}}));
        EXPECT_EQ(outcome.fault, c.fault);
        EXPECT_EQ(outcome.units.size(), c.units);
    }
}

// A workbook listing the sheets `order`, whose relationships lead to parts
// as `targets` says; each part's one cell holds the part's name.
std::string SheetListing(const std::vector<std::string>& order,
                         const std::vector<std::pair<std::string, std::string>>& targets) {
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", Rels({{"r", "officeDocument", "xl/workbook.xml"}}));
    std::string workbook =
        std::string("<workbook xmlns=\"") + kSheetNs + "\" xmlns:r=\"" + kDocRel + "\"><sheets>";
    for (const std::string& id : order) workbook += "<sheet r:id=\"" + id + "\"/>";
    zip.Add("xl/workbook.xml", workbook + "</sheets></workbook>");
    std::vector<std::vector<std::string>> rels;
    for (const auto& [id, part] : targets) rels.push_back({id, "worksheet", part});
    zip.Add("xl/_rels/workbook.xml.rels", Rels(rels));
    for (const char* part : {"a.xml", "b.xml"}) {
        zip.Add(std::string("xl/") + part,
                std::string("<worksheet xmlns=\"") + kSheetNs +
                    "\"><sheetData><row><c r=\"A1\" t=\"inlineStr\"><is><t>" + part +
                    "</t></is></c></row></sheetData></worksheet>");
    }
    return zip.Build();
}

TEST(SpreadsheetTextTest, APartIsReadOnceAndASheetListedTwiceIsDamaged) {
    std::vector<std::string> many;
    std::vector<std::pair<std::string, std::string>> manyToOne;
    for (int i = 0; i < 5000; ++i) {
        many.push_back("r" + std::to_string(i));
        manyToOne.push_back({many.back(), "a.xml"});
    }
    const Outcome readOnce{{u"a.xml"}, std::nullopt};
    const Outcome damaged{{}, DocumentFault::Damaged};
    struct Case {
        const char* name;
        std::vector<std::string> order;
        std::vector<std::pair<std::string, std::string>> targets;
        Outcome expected;
    };
    const Case cases[] = {
        {"two sheets",
         {"rA", "rB"},
         {{"rA", "a.xml"}, {"rB", "b.xml"}},
         {{u"a.xml", u"b.xml"}, std::nullopt}},
        {"two ids, one part", {"rA", "rB"}, {{"rA", "a.xml"}, {"rB", "a.xml"}}, readOnce},
        {"one part in two letter cases",
         {"rA", "rB"},
         {{"rA", "a.xml"}, {"rB", "A.XML"}},
         readOnce},
        {"five thousand ids, one part", many, manyToOne, readOnce},
        {"one id twice", {"rA", "rA"}, {{"rA", "a.xml"}}, damaged},
        {"one id again later", {"rA", "rB", "rA"}, {{"rA", "a.xml"}, {"rB", "b.xml"}}, damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadOutcome(ReadSpreadsheetText, SheetListing(c.order, c.targets)), c.expected);
    }
}

// Each unit's place: "sheet row column" for a cell, "slide N" for a shape.
std::vector<std::string> Places(void (*reader)(ZipArchive&, XmlReaders&, TextUnitSink&),
                                const std::string& bytes) {
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive package(source);
    XmlTokenizerReaders xml;
    testing::CollectingSink sink;
    reader(package, xml, sink);
    std::vector<std::string> places;
    for (size_t i = 0; i < sink.places.size(); ++i) {
        const UnitPlace& place = sink.places[i];
        places.push_back(place.slide != 0
                             ? "slide " + std::to_string(place.slide)
                             : std::string(sink.sheets[i].begin(), sink.sheets[i].end()) + " " +
                                   std::to_string(place.row) + " " + std::to_string(place.column));
    }
    return places;
}

// A cell without its reference follows the one before it in its row, and a
// row without its number the row before it. A reference or type written with
// character references reads as written plainly.
TEST(SpreadsheetTextTest, EachCellTellsItsSheetAndPlace) {
    const auto cell = [](const std::string& reference, const std::string& type = "inlineStr") {
        return "<c" + reference + " t=\"" + type + "\"><is><t>x</t></is></c>";
    };
    const std::string sheet = "<row r=\"3\">" + cell(" r=\"B3\"") + cell("") +
                              cell(" r=\"E&#51;\"") + cell(" r=\"F3\"", "inline&#83;tr") +
                              "</row><row>" + cell("") + cell(" r=\"AB4\"") +
                              "</row><row r=\"9\">" + cell("") + "</row>";
    const std::string other = "<row>" + cell(" r=\"C1\"") + "</row>";
    EXPECT_EQ(Places(ReadSpreadsheetText, Workbook({"rB", "rA"}, {{"rA", sheet}, {"rB", other}})),
              (std::vector<std::string>{"rB 1 3", "rA 3 2", "rA 3 3", "rA 3 5", "rA 3 6", "rA 4 1",
                                        "rA 4 28", "rA 9 1"}));
}

TEST(SpreadsheetTextTest, EscapesOfStringsAreDecoded) {
    EXPECT_EQ(DecodeEscapes(u"a_x000D_b"), u"a\rb");
    EXPECT_EQ(DecodeEscapes(u"_x005F_x000D_"), u"_x000D_");
    EXPECT_EQ(DecodeEscapes(u"_x00G0_ _x000 _x0041"), u"_x00G0_ _x000 _x0041");
    EXPECT_EQ(DecodeEscapes(u"_x4e2d__x6587_"), u"中文");
}

// A presentation whose slides are listed as `order`, with the shape trees given.
std::string Presentation(const std::vector<std::string>& order,
                         const std::vector<std::pair<std::string, std::string>>& slides) {
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", Rels({{"r", "officeDocument", "ppt/presentation.xml"}}));
    std::string presentation = std::string("<p:presentation xmlns:p=\"") + kSlideNs +
                               "\" xmlns:r=\"" + kDocRel + "\"><p:sldIdLst>";
    for (const std::string& id : order) presentation += "<p:sldId id=\"256\" r:id=\"" + id + "\"/>";
    zip.Add("ppt/presentation.xml", presentation + "</p:sldIdLst></p:presentation>");
    std::vector<std::vector<std::string>> rels = {{"rM", "slideMaster", "slideMasters/m.xml"}};
    for (size_t i = 0; i < slides.size(); ++i) {
        const std::string part = "slides/slide" + std::to_string(i + 1) + ".xml";
        rels.push_back({slides[i].first, "slide", part});
        zip.Add("ppt/" + part,
                std::string("<p:sld xmlns:p=\"") + kSlideNs + "\" xmlns:a=\"" + kDrawingNs +
                    "\" xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
                    "<p:cSld><p:spTree>" +
                    slides[i].second + "</p:spTree></p:cSld></p:sld>");
    }
    zip.Add("ppt/_rels/presentation.xml.rels", Rels(rels));
    return zip.Build();
}

std::string Shape(const std::string& paragraphs) {
    return "<p:sp><p:nvSpPr/><p:txBody><a:bodyPr/>" + paragraphs + "</p:txBody></p:sp>";
}

TEST(PresentationTextTest, OnlyTheSlidesOwnTextShapesCountInSlideOrder) {
    const std::string first =
        Shape(
            "<a:p><a:r><a:t>Title</a:t></a:r></a:p><a:p><a:r><a:t>line</a:t></a:r><a:br/>"
            "<a:r><a:t>two</a:t></a:r><a:fld type=\"slidenum\"><a:t>7</a:t></a:fld></a:p>"
            "<a:p/>") +
        "<p:grpSp>" + Shape("<a:p><a:r><a:t>grouped</a:t></a:r></a:p>") +
        "</p:grpSp>"
        "<p:graphicFrame><a:graphic><a:graphicData><a:tbl><a:tr><a:tc><a:txBody><a:p><a:r>"
        "<a:t>table</a:t></a:r></a:p></a:txBody></a:tc></a:tr></a:tbl></a:graphicData>"
        "</a:graphic></p:graphicFrame>"
        "<p:pic><p:nvPicPr/></p:pic><p:cxnSp/>"
        "<mc:AlternateContent><mc:Choice Requires=\"p14\">" +
        Shape("<a:p><a:r><a:t>chosen</a:t></a:r></a:p>") + "</mc:Choice><mc:Fallback>" +
        Shape("<a:p><a:r><a:t>fallback</a:t></a:r></a:p>") +
        "</mc:Fallback></mc:AlternateContent>"
        "<p:sp><p:nvSpPr/><p:spPr/></p:sp>";
    const std::string second = Shape("<a:p><a:r><a:t>second</a:t></a:r></a:p>");
    EXPECT_EQ(
        Read(ReadPresentationText, Presentation({"s2", "s1"}, {{"s1", first}, {"s2", second}})),
        (Units{u"second", u"Title\rline\vtwo7\r", u"chosen"}));
}

// Slides are numbered in the list's order, an entry leading to no slide
// taking no number.
TEST(PresentationTextTest, EachShapeTellsItsSlideInShowOrder) {
    const std::string one = Shape("<a:p><a:r><a:t>one</a:t></a:r></a:p>");
    const std::string two = Shape("<a:p><a:r><a:t>two</a:t></a:r></a:p>") + one;
    EXPECT_EQ(Places(ReadPresentationText, Presentation({"s2", "sNone", "s3", "s1"},
                                                        {{"s1", one}, {"s2", two}, {"s3", ""}})),
              (std::vector<std::string>{"slide 1", "slide 1", "slide 3"}));
}

TEST(PresentationTextTest, ASlidePartIsReadOnceAndASlideListedTwiceIsDamaged) {
    const std::string shape = Shape("<a:p><a:r><a:t>only</a:t></a:r></a:p>");
    // Two ids lead to one slide part.
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", Rels({{"r", "officeDocument", "ppt/presentation.xml"}}));
    zip.Add("ppt/presentation.xml", std::string("<p:presentation xmlns:p=\"") + kSlideNs +
                                        "\" xmlns:r=\"" + kDocRel +
                                        "\"><p:sldIdLst><p:sldId r:id=\"s1\"/><p:sldId "
                                        "r:id=\"s2\"/></p:sldIdLst></p:presentation>");
    zip.Add("ppt/_rels/presentation.xml.rels",
            Rels({{"s1", "slide", "slides/one.xml"}, {"s2", "slide", "slides/one.xml"}}));
    zip.Add("ppt/slides/one.xml", std::string("<p:sld xmlns:p=\"") + kSlideNs + "\" xmlns:a=\"" +
                                      kDrawingNs + "\"><p:cSld><p:spTree>" + shape +
                                      "</p:spTree></p:cSld></p:sld>");
    EXPECT_EQ(ReadOutcome(ReadPresentationText, zip.Build()), (Outcome{{u"only"}, std::nullopt}));
    EXPECT_EQ(ReadOutcome(ReadPresentationText, Presentation({"s1", "s1"}, {{"s1", shape}})),
              (Outcome{{}, DocumentFault::Damaged}));
}

TEST(PresentationTextTest, BrokenSlidesAreDamaged) {
    const std::string slides[] = {
        "<p:sp><p:txBody><a:p><a:r><a:t>open",
        "<p:sp><p:txBody></p:sp>",
    };
    for (const std::string& slide : slides) {
        try {
            Read(ReadPresentationText, Presentation({"s"}, {{"s", slide}}));
            ADD_FAILURE() << slide;
        } catch (const DocumentError& error) {
            EXPECT_EQ(error.Fault(), DocumentFault::Damaged) << slide;
        }
    }
}

}  // namespace
}  // namespace querna
