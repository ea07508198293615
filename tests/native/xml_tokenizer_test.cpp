// Our XML tokenizer: every XML part of the fixture documents and a table of
// edge cases read as libxml2 reads them (or refused by both, where we refuse
// by design); the same nodes wherever the input's reads split it; and the
// hostile parts that used to defeat the system's reader, in bounded pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "documents/XmlCharacters.h"
#include "documents/XmlTokenizer.h"
#include "documents/ZipArchive.h"
#include "tests/native/DocumentTestSupport.h"
#include "tests/oracles/XmlTranscript.h"

namespace querna {
namespace {

using oracles::CompareWithOracle;
using oracles::TokenizerTranscript;
using Lines = std::vector<std::string>;

struct Part {
    std::string name, bytes;
};

// The XML parts of every fixture package that opens and inflates.
std::vector<Part> FixtureParts() {
    std::vector<Part> parts;
    for (const auto& file : std::filesystem::directory_iterator(QUERNA_DOCUMENTS_DIR)) {
        const std::string name = file.path().filename().string();
        const std::string extension = file.path().extension().string();
        if (extension != ".docx" && extension != ".xlsx" && extension != ".pptx") continue;
        const std::string bytes = testing::FixtureBytes(name);
        MemoryByteSource source(bytes.data(), bytes.size());
        try {
            ZipArchive zip(source);
            for (const ZipEntry& entry : zip.Entries()) {
                if (!entry.name.ends_with(".xml") && !entry.name.ends_with(".rels")) continue;
                std::unique_ptr<ByteStream> stream = zip.Open(entry);
                std::string inflated;
                char chunk[4096];
                while (const size_t n = stream->Read(chunk, sizeof chunk))
                    inflated.append(chunk, n);
                parts.push_back({name + "/" + std::string(entry.name), std::move(inflated)});
            }
        } catch (const DocumentError&) {
            // encrypted, truncated or a bomb: the zip tests read those
        }
    }
    return parts;
}

// The same text in UTF-16 with a byte-order mark, its declaration saying so.
std::string ToUtf16(std::string_view utf8, bool bigEndian) {
    std::u16string units;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
        i += length;
        if (c >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + ((c - 0x10000) & 0x3FF);
        }
        units += static_cast<char16_t>(c);
    }
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : units) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

std::string DeclaredUtf16(std::string xml) {
    const size_t declared = xml.find("encoding=\"UTF-8\"");
    if (declared != std::string::npos) xml.replace(declared, 16, "encoding=\"UTF-16\"");
    return xml;
}

TEST(XmlTokenizer, ReadsEveryFixturePartAsLibXmlDoes) {
    const std::vector<Part> parts = FixtureParts();
    ASSERT_GT(parts.size(), 50u);
    for (const Part& part : parts) {
        EXPECT_FALSE(TokenizerTranscript(part.bytes).fault) << part.name;
        EXPECT_EQ(CompareWithOracle(part.bytes), "") << part.name;
        const std::string utf16 = ToUtf16(DeclaredUtf16(part.bytes), part.bytes.size() % 2 == 0);
        EXPECT_EQ(TokenizerTranscript(utf16).lines, TokenizerTranscript(part.bytes).lines)
            << part.name << " in UTF-16";
    }
}

TEST(XmlTokenizer, GivesTheSameNodesWhereverTheInputIsSplit) {
    std::vector<std::string> inputs;
    for (const Part& part : FixtureParts()) {
        if (part.bytes.size() < 3000) inputs.push_back(part.bytes);
        if (inputs.size() == 6) break;
    }
    inputs.push_back("<a xmlns='u'>x&amp;y&#x4E2D;\r\n<![CDATA[<c>]]]]><!-- -->&#65;\r</a>");
    inputs.push_back(ToUtf16(
        "<?xml version='1.0' encoding='UTF-16'?><a>\xF0\x9F\x98\x80\xE4\xB8\xAD</a>", true));
    // A lone surrogate after a start tag: damage, but only after the start tag
    // whatever the reads.
    inputs.push_back(std::string("\xFF\xFE<\0a\0>\0\x00\xDC<\0/\0a\0>\0", 16));
    for (const std::string& bytes : inputs) {
        const oracles::XmlTranscript whole = TokenizerTranscript(bytes);
        EXPECT_EQ(TokenizerTranscript(bytes, {1}).Describe(), whole.Describe()) << bytes;
        for (size_t split = 1; split < bytes.size(); ++split) {
            ASSERT_EQ(TokenizerTranscript(bytes, {split, SIZE_MAX}).Describe(), whole.Describe())
                << "split at " << split << " of " << bytes;
        }
    }
}

// Short plain text is read in one look and long or marked text the careful
// way; element names are widened where they are asked for. Around each
// edge between the two the nodes stay libxml2's, wherever the input splits.
TEST(XmlTokenizer, ReadsTextAndNamesAlikeEitherSideOfTheShortCuts) {
    const std::string longest(128, 'x');
    const std::string inputs[] = {
        "<a>" + longest.substr(1) + "</a>",
        "<a>" + longest + "</a>",
        "<a>" + longest + "y</a>",
        "<a>12.5]</a>",
        "<a>12.5&amp;</a>",
        "<a>12.5\r\n</a>",
        "<a>12.5\xE4\xB8\xAD</a>",
        "<a>x]]&gt;</a>",
        "<a>\x7F</a>",
        "<\xC3\xA9><a/>t</\xC3\xA9>",
        "<a><bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb>t</bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb><c/></a>",
        "<p:a xmlns:p='u'><p:\xC3\xA9/><b>t</b></p:a>",
    };
    for (const std::string& bytes : inputs) {
        EXPECT_EQ(CompareWithOracle(bytes), "") << bytes;
        const oracles::XmlTranscript whole = TokenizerTranscript(bytes);
        EXPECT_FALSE(whole.fault) << bytes;
        for (size_t split = 1; split < bytes.size(); ++split) {
            ASSERT_EQ(TokenizerTranscript(bytes, {split, SIZE_MAX}).Describe(), whole.Describe())
                << "split at " << split << " of " << bytes;
        }
    }
}

struct EdgeCase {
    const char* name;
    std::string xml;
    std::optional<DocumentFault> fault;
};

const EdgeCase kEdgeCases[] = {
    {"declaration and space around",
     "\xEF\xBB\xBF<?xml version='1.0' standalone='yes'?>\n<a/>\n",
     {}},
    {"entities and references", "<a>&lt;&gt;&amp;&apos;&quot;&#9;&#x10FFFF;&#xD7FF;</a>", {}},
    {"attribute normalised", "<a b=' x\ty\r\nz&#10;&amp; '/>", {}},
    {"line ends", "<a>1\r\n2\r3\n</a>", {}},
    {"cdata", "<a><![CDATA[<b>&amp;]]]]>\r\n</a>", {}},
    {"namespace name no URI", "<a xmlns:p='http://x[y' p:b='1'/>", {}},
    {"references in a namespace name", "<a xmlns='u&amp;v&#38;w&#65;'/>", {}},
    {"comment and instruction", "<!--c--><?pi x?><a><!-- - --><?pi?></a><!--e-->", {}},
    {"default namespace and scope", "<a xmlns='u'><b xmlns=''><c/></b><d/></a>", {}},
    {"prefix redeclared", "<p:a xmlns:p='u'><p:b xmlns:p='v' p:x='1' x='2'/><p:c/></p:a>", {}},
    {"prefix declared after its use",
     "<a p:x='1' y='2' xmlns:p='u'><p:b q:z='3' xmlns:q='v'/></a>",
     {}},
    {"xml prefix predefined", "<a xml:lang='zh'/>", {}},
    {"names beyond ASCII", "<\xE4\xB8\xAD \xC3\xA9-\xC2\xB7='1'/>", {}},
    {"names ending where siblings stood",
     "<r><a:x xmlns:a='A'/><y>t</y><zz><y/>u</zz><q></q></r>",
     {}},
    {"space before a tag's close", "<a ><b c = \"'\" ></b ></a\t>", {}},
    {"values taken as they stand or decoded", "<a b='x\ty' c='&#20013;' d='\xE4\xB8\xAD'/>", {}},
    {"document type", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", DocumentFault::Damaged},
    {"undeclared entity", "<a>&nbsp;</a>", DocumentFault::Damaged},
    {"reference to a surrogate", "<a>&#xD800;</a>", DocumentFault::Damaged},
    {"reference past U+10FFFF", "<a>&#x110000;</a>", DocumentFault::Damaged},
    {"reference to a control", "<a>&#1;</a>", DocumentFault::Damaged},
    {"reference unterminated", "<a>&amp</a>", DocumentFault::Damaged},
    {"raw control character", "<a>\x01</a>", DocumentFault::Damaged},
    {"encoded surrogate", "<a>\xED\xA0\x80</a>", DocumentFault::Damaged},
    {"overlong UTF-8", "<a>\xC0\xBC</a>", DocumentFault::Damaged},
    {"cdata end in text", "<a>]]></a>", DocumentFault::Damaged},
    {"tags crossed", "<a><b></a></b>", DocumentFault::Damaged},
    {"unclosed", "<a><b/>", DocumentFault::Damaged},
    {"two roots", "<a/><b/>", DocumentFault::Damaged},
    {"text after the root", "<a/>x", DocumentFault::Damaged},
    {"no root", "<!-- -->", DocumentFault::Damaged},
    {"attribute unquoted", "<a b=1/>", DocumentFault::Damaged},
    {"attribute twice", "<a b='1' b='2'/>", DocumentFault::Damaged},
    {"attribute twice by namespace", "<a xmlns:p='u' xmlns:q='u' p:b='1' q:b='2'/>",
     DocumentFault::Damaged},
    {"attributes run together", "<a b='1'c='2'/>", DocumentFault::Damaged},
    {"attribute prefix undeclared", "<a xmlns:p='u' q:b='1'/>", DocumentFault::Damaged},
    {"attribute without a value", "<a b/>", DocumentFault::Damaged},
    {"slash apart from the close", "<a/ >", DocumentFault::Damaged},
    {"end tag longer than its start", "<a></ab>", DocumentFault::Damaged},
    {"end tag shorter than its start", "<ab></a>", DocumentFault::Damaged},
    {"lt in attribute", "<a b='<'/>", DocumentFault::Damaged},
    {"prefix unbound", "<p:a/>", DocumentFault::Damaged},
    {"prefix undeclared", "<a xmlns:p=''/>", DocumentFault::Damaged},
    {"xml prefix rebound", "<a xmlns:xml='u'/>", DocumentFault::Damaged},
    {"declaration twice", "<a xmlns:p='u' xmlns:p='u'/>", DocumentFault::Damaged},
    {"declaration not first", " <?xml version='1.0'?><a/>", DocumentFault::Damaged},
    {"declaration without version", "<?xml encoding='UTF-8'?><a/>", DocumentFault::Damaged},
    {"double hyphen in comment", "<a><!-- a -- b --></a>", DocumentFault::Damaged},
    {"colon in instruction", "<a><?p:i?></a>", DocumentFault::Damaged},
    {"UTF-16 declared in UTF-8", "<?xml version='1.0' encoding='UTF-16'?><a/>",
     DocumentFault::Damaged},
    {"other encoding", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>",
     DocumentFault::Damaged},
    {"UCS-4", std::string("\0\0\0<\0\0\0a\0\0\0/\0\0\0>", 16), DocumentFault::Damaged},
    {"odd UTF-16 byte", std::string("\xFF\xFE<\0a\0/\0>\0\0", 11), {}},
    {"lone surrogate", std::string("\xFF\xFE<\0a\0>\0\x00\xD8<\0/\0a\0>\0", 18),
     DocumentFault::Damaged},
};

TEST(XmlTokenizer, ReadsOrRefusesTheEdgeCasesAsLibXmlDoes) {
    for (const EdgeCase& edge : kEdgeCases) {
        EXPECT_EQ(TokenizerTranscript(edge.xml).fault, edge.fault) << edge.name;
        EXPECT_EQ(CompareWithOracle(edge.xml), "") << edge.name;
    }
}

TEST(XmlTokenizer, ResolvesNamespacesByUriWhateverThePrefix) {
    const std::string xml =
        "<w:d xmlns:w='W' xmlns='D'><x:p xmlns:x='W' a='1' w:b='2' xml:c='3'/>"
        "<p xmlns:w='V'><w:p/></p></w:d>";
    const Lines expected = {
        "<{W}d>",  "<{W}p {W}b=\"2\" {http://www.w3.org/XML/1998/namespace}c=\"3\" {}a=\"1\">",
        "</{W}p>", "<{D}p>",
        "<{V}p>",  "</{V}p>",
        "</{D}p>", "</{W}d>",
    };
    EXPECT_EQ(TokenizerTranscript(xml).lines, expected);
}

// The tokenizers of one factory hand their buffers on from part to part:
// each part, read after all the others (the edge cases that fail half-way
// among them), reads as a fresh tokenizer reads it.
TEST(XmlTokenizer, ReadsEachPartAsAFreshTokenizerAfterTheOthers) {
    std::vector<std::string> parts;
    for (const EdgeCase& edge : kEdgeCases) parts.push_back(edge.xml);
    for (Part& part : FixtureParts()) parts.push_back(std::move(part.bytes));
    XmlTokenizer::Spares spares;
    for (const std::string& part : parts) {
        EXPECT_EQ(TokenizerTranscript(part, {}, {}, &spares).Describe(),
                  TokenizerTranscript(part).Describe())
            << part.substr(0, 80);
    }
}

// The answer is remembered per declaration: it must follow a prefix
// redeclared and undone, the default namespace, and a change of list.
TEST(XmlTokenizer, TellsKnownNamespacesAsTheirUrisSayThroughRedeclarations) {
    const std::u16string_view first[] = {u"W", u"V"};
    const std::u16string_view second[] = {u"V", u"D", u"W"};
    const std::string xml =
        "<w:d xmlns:w='W' xmlns='D'><w:p xmlns:w='V'><w:r/><x xmlns='W'><w:t/></x></w:p>"
        "<w:p/><p/><y xmlns=''><w:r xmlns:w='W'/></y></w:d>";
    oracles::ChunkedStream input(xml, {});
    XmlTokenizer reader(input);
    size_t nodes = 0;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next(), ++nodes) {
        using Known = std::span<const std::u16string_view>;
        for (const Known known : {Known(first), Known(second)}) {
            const auto at = std::find(known.begin(), known.end(), reader.NamespaceUri());
            EXPECT_EQ(reader.KnownNamespace(known), static_cast<size_t>(at - known.begin()))
                << "node " << nodes;
        }
    }
    EXPECT_EQ(nodes, 18u);
}

// The scans that find markup sixteen bytes a step find what a byte loop
// finds, wherever the byte stands from the start of a block.
TEST(XmlTokenizer, ScansFindWhatAByteLoopFinds) {
    const char stops[] = {'<', '>', ']', '"', '\'', '&', '\x1F', '\t', '\x80', '\xFF', '\x7F'};
    for (size_t length = 0; length <= 40; ++length) {
        for (size_t at = 0; at <= length; ++at) {
            for (const char stop : stops) {
                std::string text(length, 'a');
                if (at < length) text[at] = stop;
                const char* begin = text.data();
                const char* end = begin + text.size();
                const char* found = std::find(begin, end, stop);
                EXPECT_EQ(xmlchars::FindByte(begin, end, stop), found == end ? nullptr : found);
                const char* mark = std::find_if(begin, end, [](char c) {
                    return c == '"' || c == '\'' || c == '<' || c == '>';
                });
                EXPECT_EQ(xmlchars::FindTagMark(begin, end), mark);
                const char* apart = std::find_if(begin, end, [](char c) {
                    const auto u = static_cast<unsigned char>(c);
                    return u < 0x20 || u >= 0x80 || c == '<' || c == '>' || c == ']';
                });
                EXPECT_EQ(xmlchars::PlainAsciiRun(begin, end), static_cast<size_t>(apart - begin))
                    << length << " " << at << " " << int{stop};
                for (const char quote : {'"', '\''}) {
                    const char* valueMark = std::find_if(begin, end, [quote](char c) {
                        const auto u = static_cast<unsigned char>(c);
                        return u < 0x20 || u >= 0x80 || c == '<' || c == '&' || c == quote;
                    });
                    EXPECT_EQ(xmlchars::FindValueMark(begin, end, quote), valueMark)
                        << length << " " << at << " " << int{stop};
                }
            }
        }
    }
}

TEST(XmlTokenizer, AnswersAttributesByLocalNameAndNamespace) {
    oracles::ChunkedStream input(
        "<r xmlns='urn:a' xmlns:b='urn:b'><e b:id='1' id='2' c:k='3' v='&#65;' w='\xE4\xB8\xAD' "
        "xmlns:c='urn:c'/></r>",
        {});
    XmlTokenizer reader(input);
    ASSERT_EQ(reader.Next(), XmlNode::Start);
    ASSERT_EQ(reader.Next(), XmlNode::Start);
    std::u16string value;
    EXPECT_TRUE(reader.Attribute(u"id", u"urn:b", value) && value == u"1");
    EXPECT_TRUE(reader.Attribute(u"id", u"", value) && value == u"2");
    EXPECT_TRUE(reader.Attribute(u"k", u"urn:c", value) && value == u"3") << "declared after";
    EXPECT_FALSE(reader.Attribute(u"id", u"urn:a", value)) << "no default namespace";
    EXPECT_FALSE(reader.Attribute(u"b", u"", value)) << "declarations are no attributes";
    // The bytes of a value in no namespace, where they are its value.
    using Bytes = XmlTokenizer::Bytes;
    const struct {
        std::string_view name;
        Bytes kind;
        std::string_view bytes;
    } raw[] = {{"id", Bytes::Plain, "2"}, {"v", Bytes::Encoded, ""}, {"w", Bytes::Encoded, ""},
               {"k", Bytes::Absent, ""},  {"b", Bytes::Absent, ""},  {"c", Bytes::Absent, ""}};
    for (const auto& r : raw) {
        std::string_view bytes;
        EXPECT_EQ(reader.AttributeBytes(r.name, bytes), r.kind) << r.name;
        if (r.kind == Bytes::Plain) EXPECT_EQ(bytes, r.bytes) << r.name;
    }
    ASSERT_EQ(reader.Next(), XmlNode::End);
    EXPECT_EQ(reader.LocalName(), u"e");
    EXPECT_EQ(reader.NamespaceUri(), u"urn:a");
    EXPECT_FALSE(reader.Attribute(u"id", u"", value));
}

// Bytes, then the fault of a broken archive at their end.
class FailingStream final : public ByteStream {
  public:
    FailingStream(std::string bytes, DocumentFault fault)
        : bytes_(std::move(bytes)), fault_(fault) {}
    size_t Read(void* buffer, size_t count) override {
        if (pos_ == bytes_.size()) throw DocumentError(fault_);
        const size_t n = std::min(count, bytes_.size() - pos_);
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }

  private:
    std::string bytes_;
    DocumentFault fault_;
    size_t pos_ = 0;
};

TEST(XmlTokenizer, PassesOnTheFaultOfItsInput) {
    for (const DocumentFault fault :
         {DocumentFault::Encrypted, DocumentFault::TooLarge, DocumentFault::Damaged}) {
        for (const std::string& xml : {std::string("<d>"), "<d>" + std::string(100000, 'x')}) {
            FailingStream input(xml, fault);
            XmlTokenizer reader(input);
            EXPECT_EQ(testing::FaultOf([&reader] {
                          while (reader.Next() != XmlNode::Done) {
                          }
                      }),
                      fault);
        }
    }
}

TEST(XmlTokenizer, RefusesWhatPassesItsBoundsAsTooLarge) {
    XmlLimits limits;
    limits.maxDepth = 4;
    limits.maxNameLength = 8;
    limits.maxTagLength = 64;
    limits.maxAttributes = 3;
    limits.maxScopeLength = 200;  // the predefined xml prefix takes 75
    limits.maxNamespaces = 3;     // xml and two more
    const struct {
        const char* name;
        std::string xml;
    } cases[] = {
        {"depth", "<a><a><a><a><a/></a></a></a></a>"},
        {"name", "<abcdefghi/>"},
        {"reference", "<a>&#00000000065;</a>"},
        {"tag", "<a b='" + std::string(64, 'x') + "'/>"},
        {"tag, not well-formed either", "<a b='1'c='" + std::string(64, 'x') + "'/>"},
        {"attributes", "<a b='' c='' d='' e=''/>"},
        {"namespaces", "<a xmlns:b='b'><c xmlns:d='d'><e xmlns:f='f'/></c></a>"},
        {"scope",
         "<a xmlns='" + std::string(60, 'u') + "'><b xmlns='" + std::string(60, 'v') + "'/></a>"},
    };
    for (const auto& tested : cases) {
        EXPECT_EQ(TokenizerTranscript(tested.xml, {}, limits).fault, DocumentFault::TooLarge)
            << tested.name;
    }
    EXPECT_FALSE(TokenizerTranscript("<a><a><a><a/></a></a></a>", {}, limits).fault);
}

// Reads `xml` to its end; the total of its text and its largest Text node.
std::pair<size_t, size_t> TextSizes(const std::string& xml) {
    oracles::ChunkedStream input(xml, {});
    XmlTokenizer reader(input);
    size_t total = 0, largest = 0;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node != XmlNode::Text) continue;
        total += reader.Text().size();
        largest = std::max(largest, reader.Text().size());
    }
    return {total, largest};
}

TEST(XmlTokenizer, HandsHugeRunsOnInBoundedPieces) {
    std::string entities = "<a>";
    for (int i = 0; i < 1'000'000; ++i) entities += "&amp;";
    entities += "</a>";
    const std::string comment = "<a><!--" + std::string(1 << 20, 'c') + "-->x</a>";
    std::string utf16Run = "<a>";
    for (int i = 0; i < 500'000; ++i) utf16Run += "\xE4\xB8\xAD";  // U+4E2D
    utf16Run += "</a>";
    const std::string cdata = "<a><![CDATA[" + std::string(1 << 20, 'd') + "]]></a>";
    const struct {
        const char* name;
        std::string xml;
        size_t text;
    } cases[] = {
        {"a million references", entities, 1'000'000},
        {"a 1 MB comment", comment, 1},
        {"a long UTF-16 run", ToUtf16(utf16Run, false), 500'000},
        {"a 1 MB CDATA section", cdata, 1 << 20},
        {"a 1 MB run of text", "<a>" + std::string(1 << 20, 't') + "</a>", 1 << 20},
    };
    for (const auto& hostile : cases) {
        const auto [total, largest] = TextSizes(hostile.xml);
        EXPECT_EQ(total, hostile.text) << hostile.name;
        EXPECT_LE(largest, size_t{64} << 10) << hostile.name;
    }
}

}  // namespace
}  // namespace querna
