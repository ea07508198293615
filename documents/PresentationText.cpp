#include "documents/PresentationText.h"

#include <string>
#include <vector>

#include "documents/OoxmlPackage.h"
#include "documents/XmlTokenizer.h"

namespace querna {

namespace {

using ooxml::Ns;
// Names compared as views whose length is known where they are written.
using namespace std::string_view_literals;

// Whether the reader stands on an element of that vocabulary and local name;
// the name, which the tokenizer hands out inline, is compared first.
template <class Reader>
bool Is(const Reader& reader, Ns ns, std::u16string_view localName) {
    return reader.LocalName() == localName && ooxml::NamespaceOf(reader) == ns;
}

// Where a slide's shapes go: the sink, the slide's place, and the buffer each
// shape's text is built in, kept from shape to shape and slide to slide.
struct SlideOutput {
    TextUnitSink& sink;
    UnitPlace place;
    std::u16string text;
};

// The text of one shape's text body (p:txBody), consumed up to its end, into
// `text`.
template <class Reader>
void ReadTextBody(Reader& reader, std::u16string& text) {
    text.clear();
    bool inText = false;
    size_t paragraphs = 0;
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                ++depth;
                if (Is(reader, Ns::Compatibility, u"Fallback"sv)) {
                    SkipRestOfElement(reader);
                    --depth;
                } else if (Is(reader, Ns::Drawing, u"p"sv)) {
                    if (paragraphs++ > 0) AppendToUnit(text, u"\r");
                } else if (Is(reader, Ns::Drawing, u"t"sv)) {
                    inText = true;
                } else if (Is(reader, Ns::Drawing, u"br"sv)) {
                    AppendToUnit(text, u"\v");
                }
                break;
            case XmlNode::End:
                --depth;
                inText = false;
                break;
            case XmlNode::Text:
                if (inText) AppendToUnit(text, reader.Text());
                break;
            case XmlNode::Done:
                throw DocumentError(DocumentFault::Damaged);
        }
    }
}

// One p:sp, consumed up to its end: true when the sink has had enough.
template <class Reader>
bool ReadShape(Reader& reader, SlideOutput& out) {
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                if (depth == 1 && Is(reader, Ns::Presentation, u"txBody"sv)) {
                    ReadTextBody(reader, out.text);
                    if (!out.text.empty() && out.sink.Unit(out.text, out.place)) return true;
                } else {
                    ++depth;
                }
                break;
            case XmlNode::End:
                --depth;
                break;
            case XmlNode::Text:
                break;
            case XmlNode::Done:
                throw DocumentError(DocumentFault::Damaged);
        }
    }
    return false;
}

// The children of a shape tree (or of the Choice of an mc:AlternateContent
// inside one), consumed up to the container's end: true when the sink has
// had enough. Only shapes of the tree itself count; a group's members do not.
template <class Reader>
bool ReadShapeTree(Reader& reader, SlideOutput& out);

// mc:AlternateContent: the first Choice is read as part of the tree, the
// other Choices and the Fallback (the same shapes for older readers) are not.
template <class Reader>
bool ReadAlternateContent(Reader& reader, SlideOutput& out) {
    bool chosen = false;
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        if (!chosen && Is(reader, Ns::Compatibility, u"Choice"sv)) {
            chosen = true;
            if (ReadShapeTree(reader, out)) return true;
        } else {
            SkipRestOfElement(reader);
        }
    }
    return false;
}

template <class Reader>
bool ReadShapeTree(Reader& reader, SlideOutput& out) {
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        bool stopped = false;
        if (Is(reader, Ns::Presentation, u"sp"sv)) {
            stopped = ReadShape(reader, out);
        } else if (Is(reader, Ns::Compatibility, u"AlternateContent"sv)) {
            stopped = ReadAlternateContent(reader, out);
        } else {
            SkipRestOfElement(reader);
        }
        if (stopped) return true;
    }
    return false;
}

// One slide part: true when the sink has had enough.
template <class Reader>
bool ReadSlide(Reader& reader, SlideOutput& out) {
    ooxml::ExpectRoot(reader, Ns::Presentation, u"sld");
    bool inCommonData = false;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && Is(reader, Ns::Presentation, u"cSld"sv)) {
            inCommonData = true;
        } else if (node == XmlNode::Start && inCommonData &&
                   Is(reader, Ns::Presentation, u"spTree"sv)) {
            return ReadShapeTree(reader, out);
        } else if (node == XmlNode::Start && inCommonData) {
            SkipRestOfElement(reader);
        }
    }
    return false;
}

// The relationship ids of the slides, in presentation order.
std::vector<std::u16string> ReadSlideOrder(XmlReader& reader) {
    ooxml::ExpectRoot(reader, Ns::Presentation, u"presentation");
    std::vector<std::u16string> ids;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && Is(reader, Ns::Presentation, u"sldId"sv)) {
            ids.push_back(ooxml::RelationshipIdOf(reader));
        }
    }
    return ids;
}

}  // namespace

void ReadPresentationText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink) {
    const std::string presentation = ooxml::MainPartName(package, xml);
    const std::vector<ooxml::Relationship> relationships =
        ooxml::ReadRelationships(package, xml, presentation);
    std::vector<std::u16string> order;
    {
        ooxml::PartReader part(package, xml, presentation);
        order = ReadSlideOrder(part.Xml());
    }
    // Slides are numbered as the list shows them, an entry that leads to
    // no slide taking no number.
    SlideOutput out{sink, {}, {}};
    for (std::string_view slide : ooxml::PartsInListOrder(relationships, order, u"slide")) {
        ++out.place.slide;
        ooxml::PartReader part(package, xml, slide);
        const bool stopped =
            ReadAsTokenizer(part.Xml(), [&](auto& reader) { return ReadSlide(reader, out); });
        if (stopped) return;
    }
}

}  // namespace querna
