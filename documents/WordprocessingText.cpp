#include "documents/WordprocessingText.h"

#include <string>

#include "documents/OoxmlPackage.h"
#include "documents/XmlTokenizer.h"

namespace querna {

namespace {

using ooxml::Ns;
// Names compared as views whose length is known where they are written.
using namespace std::string_view_literals;

// Elements of the body whose text Word's find over the main story does not
// see: text boxes and the drawings and pictures that hold them, embedded
// objects, deleted and moved-away text, field instructions (the field's
// result is read), and the properties of paragraphs and runs (whose tab
// stops are no tab characters). Asked of every element of the body, so the
// length picks the names to compare.
bool IsPassedOver(std::u16string_view name) {
    switch (name.size()) {
        case 3:
            return name == u"pPr"sv || name == u"rPr"sv;
        case 4:
            return name == u"pict"sv;
        case 6:
            return name == u"object"sv || name == u"sectPr"sv;
        case 7:
            return name == u"drawing"sv || name == u"delText"sv;
        case 8:
            return name == u"moveFrom"sv;
        case 9:
            return name == u"instrText"sv;
        case 11:
            return name == u"txbxContent"sv;
        case 12:
            return name == u"delInstrText"sv;
        default:
            return false;
    }
}

// Characters Word puts in a paragraph for run content other than text:
// tabs, line breaks (as vertical tab, like Word's own Range.Text) and
// non-breaking hyphens (Word's character 30).
char16_t SpecialCharacter(std::u16string_view name) {
    if (name == u"tab"sv || name == u"ptab"sv) return u'\t';
    if (name == u"br"sv || name == u"cr"sv) return u'\v';
    if (name == u"noBreakHyphen"sv) return u'\x1E';
    return 0;
}

template <class Reader>
class BodyReader {
  public:
    BodyReader(Reader& reader, TextUnitSink& sink) : reader_(reader), sink_(sink) {}

    // Returns once the document ends or the sink has had enough.
    void Read() {
        for (XmlNode node = reader_.Next(); node != XmlNode::Done; node = reader_.Next()) {
            const bool stopped = node == XmlNode::Start ? OnStart()
                                 : node == XmlNode::End ? OnEnd()
                                                        : OnText();
            if (stopped) return;
        }
    }

  private:
    // These return true once the sink asked to stop, as the sink does.
    bool OnStart() {
        const Ns ns = ooxml::NamespaceOf(reader_);
        const std::u16string_view name = reader_.LocalName();
        if (ns == Ns::Compatibility && name == u"Fallback"sv) {
            // The Choice before it says the same for a newer reader.
            SkipRestOfElement(reader_);
            return false;
        }
        if (ns != Ns::Word) return false;
        if (name == u"body"sv) {
            inBody_ = true;
        } else if (!inBody_) {
            return false;
        } else if (IsPassedOver(name)) {
            SkipRestOfElement(reader_);
        } else if (name == u"tc"sv) {
            // A table cell is one place however many paragraphs it holds; a
            // table nested in it stays inside that place.
            if (cellDepth_++ == 0) ++place_.paragraph;
        } else if (name == u"p"sv) {
            // A paragraph inside another can only come from hostile nesting:
            // what came before it is a unit of its own.
            const bool stopped = inParagraph_ && Emit();
            inParagraph_ = true;
            if (cellDepth_ == 0) ++place_.paragraph;
            return stopped;
        } else if (name == u"r"sv) {
            ++runDepth_;
        } else if (name == u"t"sv) {
            inText_ = true;
        } else if (const char16_t c = SpecialCharacter(name); c != 0 && InRun()) {
            AppendToUnit(paragraph_, c);
        }
        return false;
    }

    bool OnEnd() {
        if (ooxml::NamespaceOf(reader_) != Ns::Word) return false;
        const std::u16string_view name = reader_.LocalName();
        if (name == u"p"sv && inParagraph_) {
            inParagraph_ = false;
            return Emit();
        }
        if (name == u"tc"sv && cellDepth_ > 0) --cellDepth_;
        if (name == u"r"sv && runDepth_ > 0) --runDepth_;
        if (name == u"t"sv) inText_ = false;
        if (name == u"body"sv) inBody_ = false;
        return false;
    }

    bool OnText() {
        if (inText_ && InRun()) AppendToUnit(paragraph_, reader_.Text());
        return false;
    }

    bool InRun() const { return inParagraph_ && runDepth_ > 0; }

    bool Emit() {
        const bool stopped = !paragraph_.empty() && sink_.Unit(paragraph_, place_);
        paragraph_.clear();
        return stopped;
    }

    Reader& reader_;
    TextUnitSink& sink_;
    std::u16string paragraph_;
    UnitPlace place_;
    int cellDepth_ = 0;
    bool inBody_ = false;
    bool inParagraph_ = false;
    bool inText_ = false;
    int runDepth_ = 0;
};

}  // namespace

void ReadWordprocessingText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink) {
    ooxml::PartReader part(package, xml, ooxml::MainPartName(package, xml));
    ooxml::ExpectRoot(part.Xml(), Ns::Word, u"document");
    ReadAsTokenizer(part.Xml(), [&sink](auto& reader) { BodyReader(reader, sink).Read(); });
}

}  // namespace querna
