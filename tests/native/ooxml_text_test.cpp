// The Office Open XML readers: the units they hand on from real documents
// (tests/documents, made by LibreOffice, python-docx and openpyxl) and from
// hand-made packages that probe one rule each, and the faults of hostile
// packages.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "documents/OoxmlPackage.h"
#include "documents/PresentationText.h"
#include "documents/SpreadsheetText.h"
#include "documents/WordprocessingText.h"
#include "documents/XmlTokenizer.h"
#include "documents/ZipArchive.h"
#include "tests/fakes/CollectingSink.h"
#include "tests/fakes/ZipBuilder.h"

namespace querna {
namespace {

using Units = std::vector<std::u16string>;
using Reader = std::function<void(ZipArchive&, XmlReaders&, TextUnitSink&)>;

std::string Fixture(const std::string& name) {
    std::ifstream file(std::string(QUERNA_SOURCE_DIR) + "/tests/documents/" + name,
                       std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A reader of the seam that is no XmlTokenizer, though it reads through one:
// the readers call the tokenizer directly when they have one, and must read
// any other XmlReader (libxml2's, in the oracle tests) alike.
class ForwardingReader final : public XmlReader {
  public:
    explicit ForwardingReader(std::unique_ptr<XmlReader> inner) : inner_(std::move(inner)) {}
    XmlNode Next() override { return inner_->Next(); }
    std::u16string_view LocalName() const override { return inner_->LocalName(); }
    std::u16string_view NamespaceUri() const override { return inner_->NamespaceUri(); }
    std::u16string_view Text() const override { return inner_->Text(); }
    bool Attribute(std::u16string_view localName, std::u16string_view namespaceUri,
                   std::u16string& value) override {
        return inner_->Attribute(localName, namespaceUri, value);
    }

  private:
    std::unique_ptr<XmlReader> inner_;
};

class ForwardingReaders final : public XmlReaders {
  public:
    std::unique_ptr<XmlReader> Open(ByteStream& input) override {
        return std::make_unique<ForwardingReader>(tokenizers_.Open(input));
    }

  private:
    XmlTokenizerReaders tokenizers_;
};

Units Read(const Reader& reader, const std::string& bytes, size_t stopAfter = 0,
           bool forwarded = false) {
    MemoryByteSource source(bytes.data(), bytes.size());
    ZipArchive package(source);
    XmlTokenizerReaders tokenizers;
    ForwardingReaders forwarding;
    XmlReaders& xml = forwarded ? static_cast<XmlReaders&>(forwarding) : tokenizers;
    testing::CollectingSink sink(stopAfter);
    reader(package, xml, sink);
    return sink.units;
}

std::optional<DocumentFault> FaultOf(const Reader& reader, const std::string& bytes) {
    try {
        Read(reader, bytes);
    } catch (const DocumentError& error) {
        return error.Fault();
    }
    return std::nullopt;
}

constexpr char kWordNs[] = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr char kRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr char kDocRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Relationships(const std::string& items) {
    return std::string("<?xml version=\"1.0\"?><Relationships xmlns=\"") + kRelNs + "\">" + items +
           "</Relationships>";
}

std::string Relationship(const std::string& id, const std::string& kind,
                         const std::string& target) {
    return "<Relationship Id=\"" + id + "\" Type=\"" + kDocRelNs + "/" + kind + "\" Target=\"" +
           target + "\"/>";
}

std::string WordPackage(const std::string& body, const std::string& ns = kWordNs,
                        const std::string& target = "word/document.xml") {
    fakes::ZipBuilder zip;
    zip.Add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", target)));
    zip.Add("word/document.xml", "<?xml version=\"1.0\"?><w:document xmlns:w=\"" + ns +
                                     "\" xmlns:mc=\"http://schemas.openxmlformats.org/"
                                     "markup-compatibility/2006\"><w:body>" +
                                     body + "</w:body></w:document>");
    return zip.Build();
}

struct FixtureCase {
    const char* fixture;
    Reader reader;
    Units expected;
};

TEST(OoxmlTextTest, RealDocumentsGiveTheTextTheirApplicationSearches) {
    const FixtureCase cases[] = {
        {"lo-word.docx",
         ReadWordprocessingText,
         {u"第一季度报告：销售额上升", u"Quarterly Report ＦＵＬＬＷＩＤＴＨ Ελλάδα",
          u"안녕하세요 세계", u"第一段结尾", u"第二段开头", u"表格单元甲", u"表格单元乙",
          u"正文段落", u"有批注的段落"}},
        {"py-word.docx",
         ReadWordprocessingText,
         {u"项目计划书", u"本项目旨在改进文件搜索。", u"Milestone ONE reached", u"负责人", u"张三",
          u"预算", u"¥12,000", u"日本語のテキスト"}},
        {"lo-empty.docx", ReadWordprocessingText, {}},
        {"lo-excel.xlsx",
         ReadSpreadsheetText,
         {u"1234.5", u"收入", u"10", u"=SUM(A1:A2)", u"销售额 Revenue", u"1",
          u"=CONCATENATE(\"合计\",A1)", u"한국어 셀"}},
        {"py-excel.xlsx",
         ReadSpreadsheetText,
         {u"产品名称", u"42", u"3.25", u"Widget", u"=B1*2", u"TRUE", u"第二张表的内容",
          u"=UPPER(\"mixed Case\")", u"最后一张表"}},
        {"lo-empty.xlsx", ReadSpreadsheetText, {}},
        {"lo-powerpoint.pptx",
         ReadPresentationText,
         {u"季度报告 Hello World\r第二行", u"形状文字", u"안녕 第二页"}},
        {"lo-empty.pptx", ReadPresentationText, {}},
    };
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.fixture);
        EXPECT_EQ(Read(c.reader, Fixture(c.fixture)), c.expected);
    }
}

TEST(OoxmlTextTest, AnyReaderOfTheSeamGivesTheTokenizersUnitsAndFaults) {
    const std::string passedOver = WordPackage(
        "<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t></w:r></w:p>"
        "<w:p><w:pPr><w:rPr><w:t>no</w:t></w:rPr></w:pPr><w:r><w:drawing><w:t>no</w:t>"
        "</w:drawing><w:t>c</w:t></w:r></w:p><w:tbl><w:tr><w:tc><w:p><w:r><w:t>d</w:t></w:r>"
        "</w:p></w:tc></w:tr></w:tbl>");
    const struct {
        const char* name;
        Reader reader;
        std::string bytes;
    } cases[] = {
        {"lo-word.docx", ReadWordprocessingText, Fixture("lo-word.docx")},
        {"py-word.docx", ReadWordprocessingText, Fixture("py-word.docx")},
        {"truncated.docx", ReadWordprocessingText, Fixture("truncated.docx")},
        {"passed-over elements", ReadWordprocessingText, passedOver},
        {"lo-excel.xlsx", ReadSpreadsheetText, Fixture("lo-excel.xlsx")},
        {"py-excel.xlsx", ReadSpreadsheetText, Fixture("py-excel.xlsx")},
        {"lo-powerpoint.pptx", ReadPresentationText, Fixture("lo-powerpoint.pptx")},
    };
    auto outcome = [](const Reader& reader, const std::string& bytes, size_t stopAfter,
                      bool forwarded) -> std::pair<Units, std::optional<DocumentFault>> {
        try {
            return {Read(reader, bytes, stopAfter, forwarded), std::nullopt};
        } catch (const DocumentError& error) {
            return {{}, error.Fault()};
        }
    };
    for (const auto& c : cases) {
        for (size_t stopAfter : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + ", stop after " + std::to_string(stopAfter));
            const auto direct = outcome(c.reader, c.bytes, stopAfter, false);
            EXPECT_TRUE(!direct.first.empty() || direct.second.has_value());
            EXPECT_EQ(outcome(c.reader, c.bytes, stopAfter, true), direct);
        }
    }
}

TEST(OoxmlTextTest, WordReadsRunsAsWordsFindSeesThem) {
    struct Case {
        const char* name;
        std::string body;
        Units expected;
    };
    const Case cases[] = {
        {"tabs, breaks and hyphens in runs",
         "<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:cr/>"
         "<w:noBreakHyphen/><w:t xml:space=\"preserve\"> d </w:t></w:r></w:p>",
         {u"a\tb\vc\v\x1E d "}},
        {"tab stops of paragraph properties are no text",
         "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"1\"/></w:tabs></w:pPr>"
         "<w:r><w:rPr><w:b/></w:rPr><w:t>x</w:t></w:r></w:p>",
         {u"x"}},
        {"deleted text, moved-away text and field codes are passed over",
         "<w:p><w:r><w:t>kept</w:t></w:r><w:del><w:r><w:delText>gone</w:delText></w:r></w:del>"
         "<w:moveFrom><w:r><w:t>moved</w:t></w:r></w:moveFrom>"
         "<w:ins><w:r><w:t>+new</w:t></w:r></w:ins>"
         "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
         "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>7</w:t></w:r></w:p>",
         {u"kept+new7"}},
        {"embedded objects, deleted field codes and section properties hold no text",
         "<w:p><w:r><w:t>a</w:t><w:object><w:t>obj</w:t></w:object>"
         "<w:delInstrText><w:t>code</w:t></w:delInstrText><w:t>b</w:t></w:r></w:p>"
         "<w:sectPr><w:p><w:r><w:t>sect</w:t></w:r></w:p></w:sectPr>",
         {u"ab"}},
        {"hyperlinks, content controls and simple fields are read through",
         "<w:sdt><w:sdtContent><w:p><w:hyperlink><w:r><w:t>link</w:t></w:r></w:hyperlink>"
         "<w:fldSimple w:instr=\"DATE\"><w:r><w:t>today</w:t></w:r></w:fldSimple></w:p>"
         "</w:sdtContent></w:sdt>",
         {u"linktoday"}},
        {"text boxes, also in a choice, and the fallback are passed over",
         "<w:p><w:r><w:t>body</w:t></w:r><w:r><mc:AlternateContent><mc:Choice Requires=\"wps\">"
         "<w:drawing><w:txbxContent><w:p><w:r><w:t>box</w:t></w:r></w:p></w:txbxContent>"
         "</w:drawing></mc:Choice><mc:Fallback><w:pict><w:p><w:r><w:t>old</w:t></w:r></w:p>"
         "</w:pict></mc:Fallback></mc:AlternateContent></w:r><w:r><w:t>end</w:t></w:r></w:p>",
         {u"bodyend"}},
        {"table cells are paragraphs of their own, nested tables too",
         "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>a</w:t></w:r></w:p><w:p><w:r><w:t>b</w:t></w:r>"
         "</w:p></w:tc><w:tc><w:tbl><w:tr><w:tc><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc></w:tr>"
         "</w:tbl></w:tc></w:tr></w:tbl>",
         {u"a", u"b", u"c"}},
        {"a paragraph inside a paragraph ends the outer one's unit",
         "<w:p><w:r><w:t>outer</w:t></w:r><w:customXml><w:p><w:r><w:t>inner</w:t></w:r></w:p>"
         "</w:customXml><w:r><w:t>tail</w:t></w:r></w:p>",
         {u"outer", u"inner"}},
        {"text outside runs and empty paragraphs give nothing",
         "<w:p>stray<w:t>loose</w:t></w:p><w:p/><w:p><w:r/></w:p>",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(ReadWordprocessingText, WordPackage(c.body)), c.expected);
    }
}

TEST(OoxmlTextTest, PackagesAreFoundThroughTheirRelationships) {
    const std::string body = "<w:p><w:r><w:t>found</w:t></w:r></w:p>";
    const Units found = {u"found"};
    EXPECT_EQ(Read(ReadWordprocessingText,
                   WordPackage(body, "http://purl.oclc.org/ooxml/wordprocessingml/main")),
              found)
        << "strict namespaces";
    EXPECT_EQ(Read(ReadWordprocessingText, WordPackage(body, kWordNs, "/word/document.xml")),
              found);
    EXPECT_EQ(Read(ReadWordprocessingText, WordPackage(body, kWordNs, "./x/../word/document.xml")),
              found);
    EXPECT_EQ(Read(ReadWordprocessingText, WordPackage(body, kWordNs, "WORD/DOCUMENT.XML")), found);
    EXPECT_EQ(ooxml::ResolvePartName("ppt/presentation.xml", "slides/slide1.xml#frag"),
              "ppt/slides/slide1.xml");
    EXPECT_EQ(ooxml::ResolvePartName("ppt/slides/slide1.xml", "../../../../media/x.png"),
              "media/x.png");
    EXPECT_EQ(ooxml::ResolvePartName("", ".."), "");
    EXPECT_EQ(ooxml::ResolvePartName("a/b/c.xml", "../d//./e.xml"), "a/d/e.xml");
    EXPECT_EQ(ooxml::ResolvePartName("a/b.xml", "/x/../y.xml"), "y.xml");
    EXPECT_EQ(ooxml::ResolvePartName("a/b.xml", "#only-a-fragment"), "a");
}

// A target is an IRI and a part name its URI: a character beyond ASCII, or
// one no URI holds, stands for the percent-encoded bytes of its UTF-8, and
// names compare without regard to ASCII case, the hex digits' too.
TEST(OoxmlTextTest, TargetsBeyondAsciiLeadToTheirPercentEncodedParts) {
    const struct {
        const char* target;  // as the relationship part's UTF-8 holds it
        const char* stored;  // the part's name in the archive
        bool found;
    } cases[] = {
        {"word/\xE6\x96\x87.xml", "word/%E6%96%87.xml", true},
        {"word/%E6%96%87.xml", "word/%E6%96%87.xml", true},
        {"word/%e6%96%87.xml", "word/%E6%96%87.xml", true},
        {"/word/\xE6\x96\x87.xml", "word/%e6%96%87.xml", true},
        {"word/\xF0\x9F\x98\x80 \xC3\xA9.xml", "word/%F0%9F%98%80%20%C3%A9.xml", true},
        {"word/a{b}.xml", "word/a%7Bb%7D.xml", true},
        {"word/\xE6\x96\x87.xml", "word/%E6%96%88.xml", false},
        {"word/\xE6\x96\x87.xml", "word/\xE6\x96\x87.xml", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        fakes::ZipBuilder zip;
        zip.Add("_rels/.rels", Relationships(Relationship("rId1", "officeDocument", c.target)));
        zip.Add(c.stored, "<w:document xmlns:w=\"" + std::string(kWordNs) +
                              "\"><w:body><w:p><w:r><w:t>found</w:t></w:r></w:p>"
                              "</w:body></w:document>");
        const std::string package = zip.Build();
        if (c.found) {
            EXPECT_EQ(Read(ReadWordprocessingText, package), Units{u"found"});
        } else {
            EXPECT_EQ(FaultOf(ReadWordprocessingText, package), DocumentFault::Damaged);
        }
    }
}

// The main part is the target of the first officeDocument relationship that
// leads into the package, whatever the prefix of its type; a type that only
// resembles it leads nowhere, and a first one whose part is missing makes the
// package damaged rather than passing to the next.
TEST(OoxmlTextTest, TheMainPartIsTheFirstOfficeDocumentRelationshipsTarget) {
    const auto item = [](const std::string& type, const std::string& target,
                         const std::string& extra = "") {
        return "<Relationship Id=\"r\" Type=\"" + type + "\" Target=\"" + target + "\"" + extra +
               "/>";
    };
    const std::string officeDocument = std::string(kDocRelNs) + "/officeDocument";
    const std::string main = item(officeDocument, "word/document.xml");
    const Units found = {u"found"};
    struct Case {
        const char* name;
        std::string items;
        std::optional<Units> expected;  // none: damaged
    };
    const Case cases[] = {
        {"transitional", main, found},
        {"strict",
         item("http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
              "word/document.xml"),
         found},
        {"a type of one segment", item("officeDocument", "word/document.xml"), std::nullopt},
        {"a type that ends alike", item(officeDocument + "s", "word/document.xml"), std::nullopt},
        {"a type not in ASCII", item(officeDocument + "\xC3\xA9", "word/document.xml"),
         std::nullopt},
        {"an external one first", item(officeDocument, "x.xml", " TargetMode=\"External\"") + main,
         found},
        {"one that resolves to nothing first", item(officeDocument, "..") + main, found},
        {"one not in ASCII whose part is missing first",
         item(officeDocument, "w\xC3\xB6rd/document.xml") + main, std::nullopt},
        {"one whose part is missing first", item(officeDocument, "word/missing.xml") + main,
         std::nullopt},
        {"another type first", item(std::string(kDocRelNs) + "/styles", "word/styles.xml") + main,
         found},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakes::ZipBuilder zip;
        zip.Add("_rels/.rels", Relationships(c.items));
        zip.Add("word/styles.xml", "<styles/>");
        zip.Add("word/document.xml", "<w:document xmlns:w=\"" + std::string(kWordNs) +
                                         "\"><w:body><w:p><w:r><w:t>found</w:t></w:r></w:p>"
                                         "</w:body></w:document>");
        const std::string package = zip.Build();
        if (c.expected) {
            EXPECT_EQ(Read(ReadWordprocessingText, package), *c.expected);
        } else {
            EXPECT_EQ(FaultOf(ReadWordprocessingText, package), DocumentFault::Damaged);
        }
    }
}

TEST(OoxmlTextTest, HostilePackagesEndInTheirFault) {
    const std::string p = "<w:p><w:r><w:t>x</w:t></w:r></w:p>";
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<w:sdt>";
    struct Case {
        const char* name;
        std::string package;
        std::optional<DocumentFault> expected;
    };
    fakes::ZipBuilder noRels;
    noRels.Add("word/document.xml", "<w:document xmlns:w=\"" + std::string(kWordNs) + "\"/>");
    fakes::ZipBuilder noMainPart;
    noMainPart.Add("_rels/.rels", Relationships(Relationship("r", "styles", "word/styles.xml")));
    fakes::ZipBuilder missingPart;
    missingPart.Add("_rels/.rels",
                    Relationships(Relationship("r", "officeDocument", "word/document.xml")));
    fakes::ZipBuilder external;
    external.Add("_rels/.rels",
                 Relationships("<Relationship Id=\"r\" Type=\"" + std::string(kDocRelNs) +
                               "/officeDocument\" Target=\"file:///etc/passwd\" "
                               "TargetMode=\"External\"/>"));
    const Case cases[] = {
        {"well-formed", WordPackage(p), std::nullopt},
        {"document type declared",
         [&] {
             fakes::ZipBuilder zip;
             zip.Add("_rels/.rels",
                     Relationships(Relationship("r", "officeDocument", "word/document.xml")));
             zip.Add("word/document.xml",
                     "<?xml version=\"1.0\"?><!DOCTYPE w:document [<!ENTITY e \"x\">]>"
                     "<w:document xmlns:w=\"" +
                         std::string(kWordNs) +
                         "\"><w:body>"
                         "<w:p><w:r><w:t>&e;</w:t></w:r></w:p></w:body></w:document>");
             return zip.Build();
         }(),
         DocumentFault::Damaged},
        {"external entity",
         [&] {
             fakes::ZipBuilder zip;
             zip.Add("_rels/.rels",
                     Relationships(Relationship("r", "officeDocument", "word/document.xml")));
             zip.Add("word/document.xml",
                     "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY e SYSTEM \"/etc/passwd\">]>"
                     "<w:document xmlns:w=\"" +
                         std::string(kWordNs) +
                         "\"><w:body>"
                         "<w:p><w:r><w:t>&e;</w:t></w:r></w:p></w:body></w:document>");
             return zip.Build();
         }(),
         DocumentFault::Damaged},
        {"not well-formed", WordPackage("<w:p><w:r><w:t>x</w:r></w:p>"), DocumentFault::Damaged},
        {"nesting beyond any document", WordPackage(deep), DocumentFault::TooLarge},
        {"no package relationships", noRels.Build(), DocumentFault::Damaged},
        {"no main part relationship", noMainPart.Build(), DocumentFault::Damaged},
        {"main part missing", missingPart.Build(), DocumentFault::Damaged},
        {"main part outside the package", external.Build(), DocumentFault::Damaged},
        {"a paragraph past the unit bound",
         WordPackage("<w:p><w:r><w:t>" + std::string(kMaxUnitLength / 2 + 1, 'a') + "</w:t><w:t>" +
                     std::string(kMaxUnitLength / 2, 'b') + "</w:t></w:r></w:p>"),
         DocumentFault::TooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FaultOf(ReadWordprocessingText, c.package), c.expected);
    }
    EXPECT_EQ(FaultOf(ReadSpreadsheetText, WordPackage(p)), DocumentFault::Damaged)
        << "a Word document given to Excel";
    EXPECT_EQ(FaultOf(ReadPresentationText, WordPackage(p)), DocumentFault::Damaged)
        << "a Word document given to PowerPoint";
}

TEST(OoxmlTextTest, FixturesOfTheBrokenKindEndInTheirFault) {
    EXPECT_EQ(FaultOf(ReadWordprocessingText, Fixture("truncated.docx")), DocumentFault::Damaged);
    EXPECT_EQ(FaultOf(ReadWordprocessingText, Fixture("zip-encrypted.docx")),
              DocumentFault::Encrypted);
    EXPECT_EQ(FaultOf(ReadWordprocessingText, Fixture("bomb.docx")), DocumentFault::TooLarge);
    EXPECT_EQ(FaultOf(ReadWordprocessingText, Fixture("encrypted.docx")), DocumentFault::Damaged)
        << "a compound file is no zip";
}

TEST(OoxmlTextTest, ReadingStopsAtTheUnitTheSinkWanted) {
    // Far after the first paragraph (beyond what a parser reads ahead) the
    // document is broken: a reader that stops when told never gets there.
    const std::string filler = "<w:p><w:r><w:t>" + std::string(200000, 'f') + "</w:t></w:r></w:p>";
    const std::string broken =
        WordPackage("<w:p><w:r><w:t>first</w:t></w:r></w:p>" + filler + "<w:p><oops>");
    EXPECT_EQ(Read(ReadWordprocessingText, broken, 1), Units{u"first"});
    EXPECT_EQ(FaultOf(ReadWordprocessingText, broken), DocumentFault::Damaged);
    EXPECT_EQ(Read(ReadSpreadsheetText, Fixture("lo-excel.xlsx"), 2), (Units{u"1234.5", u"收入"}));
    EXPECT_EQ(Read(ReadPresentationText, Fixture("lo-powerpoint.pptx"), 1),
              Units{u"季度报告 Hello World\r第二行"});
}

}  // namespace
}  // namespace querna
