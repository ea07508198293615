// The SpreadsheetML and PresentationML readers on hand-made packages, one rule
// each: sheet and slide order, what a cell reads as, shared formulas, which
// shapes count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/PresentationText.h"
#include "documents/SpreadsheetText.h"
#include "documents/ZipArchive.h"
#include "tests/fakes/LibXmlReader.h"
#include "tests/fakes/ZipBuilder.h"

namespace querna {
namespace {

using Units = std::vector<std::u16string>;

constexpr char kRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kDocRel[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr char kSheetNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kSlideNs[] = "http://schemas.openxmlformats.org/presentationml/2006/main";
constexpr char kDrawingNs[] = "http://schemas.openxmlformats.org/drawingml/2006/main";

class Collector final : public TextUnitSink {
  public:
    bool Unit(std::u16string_view text) override {
        units.emplace_back(text);
        return false;
    }
    Units units;
};

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
    fakes::LibXmlReaders xml;
    Collector sink;
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
        "<si><t>line_x000D__x000A_break</t></si>";
    const std::string cells =
        "<row><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
        "<c r=\"C1\" t=\"s\"><v>2</v></c><c r=\"D1\" t=\"s\"><v>3</v></c>"
        "<c r=\"E1\" t=\"s\"><v>x</v></c></row>"
        "<row><c r=\"A2\"><v>3.1415926535897931</v></c><c r=\"B2\" t=\"b\"><v>0</v></c>"
        "<c r=\"C2\" t=\"e\"><v>#DIV/0!</v></c><c r=\"D2\" t=\"inlineStr\"><is><r><t>in</t></r>"
        "<r><t>line</t></r></is></c><c r=\"E2\" t=\"str\"><f>A1&amp;\"!\"</f><v>plain!</v></c>"
        "<c r=\"F2\"/><c r=\"G2\" t=\"n\"><f></f><v>5</v></c></row>";
    EXPECT_EQ(Read(ReadSpreadsheetText, Workbook({"rId1"}, {{"rId1", cells}}, strings)),
              (Units{u"plain", u"rich text", u"line\r\nbreak", u"3.1415926535897931", u"FALSE",
                     u"#DIV/0!", u"inline", u"=A1&\"!\"", u"5"}));
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
