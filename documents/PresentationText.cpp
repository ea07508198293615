#include "documents/PresentationText.h"

#include <string>
#include <vector>

#include "documents/OoxmlPackage.h"
#include "documents/XmlTokenizer.h"

namespace querna {

namespace {

using ooxml::Ns;

// Whether the reader stands on an element of that vocabulary and local name;
// the name, which the tokenizer hands out inline, is compared first.
template <class Reader>
bool Is(const Reader& reader, Ns ns, std::u16string_view localName) {
    return reader.LocalName() == localName && ooxml::NamespaceOf(reader) == ns;
}

// The text of one shape's text body (p:txBody), consumed up to its end.
template <class Reader>
std::u16string ReadTextBody(Reader& reader) {
    std::u16string text;
    bool inText = false;
    size_t paragraphs = 0;
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                ++depth;
                if (Is(reader, Ns::Compatibility, u"Fallback")) {
                    SkipRestOfElement(reader);
                    --depth;
                } else if (Is(reader, Ns::Drawing, u"p")) {
                    if (paragraphs++ > 0) AppendToUnit(text, u"\r");
                } else if (Is(reader, Ns::Drawing, u"t")) {
                    inText = true;
                } else if (Is(reader, Ns::Drawing, u"br")) {
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
    return text;
}

// One p:sp, consumed up to its end: true when the sink has had enough.
template <class Reader>
bool ReadShape(Reader& reader, TextUnitSink& sink, const UnitPlace& place) {
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                if (depth == 1 && Is(reader, Ns::Presentation, u"txBody")) {
                    const std::u16string text = ReadTextBody(reader);
                    if (!text.empty() && sink.Unit(text, place)) return true;
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
bool ReadShapeTree(Reader& reader, TextUnitSink& sink, const UnitPlace& place);

// mc:AlternateContent: the first Choice is read as part of the tree, the
// other Choices and the Fallback (the same shapes for older readers) are not.
template <class Reader>
bool ReadAlternateContent(Reader& reader, TextUnitSink& sink, const UnitPlace& place) {
    bool chosen = false;
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        if (!chosen && Is(reader, Ns::Compatibility, u"Choice")) {
            chosen = true;
            if (ReadShapeTree(reader, sink, place)) return true;
        } else {
            SkipRestOfElement(reader);
        }
    }
    return false;
}

template <class Reader>
bool ReadShapeTree(Reader& reader, TextUnitSink& sink, const UnitPlace& place) {
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        bool stopped = false;
        if (Is(reader, Ns::Presentation, u"sp")) {
            stopped = ReadShape(reader, sink, place);
        } else if (Is(reader, Ns::Compatibility, u"AlternateContent")) {
            stopped = ReadAlternateContent(reader, sink, place);
        } else {
            SkipRestOfElement(reader);
        }
        if (stopped) return true;
    }
    return false;
}

// One slide part: true when the sink has had enough.
template <class Reader>
bool ReadSlide(Reader& reader, TextUnitSink& sink, const UnitPlace& place) {
    ooxml::ExpectRoot(reader, Ns::Presentation, u"sld");
    bool inCommonData = false;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && Is(reader, Ns::Presentation, u"cSld")) {
            inCommonData = true;
        } else if (node == XmlNode::Start && inCommonData &&
                   Is(reader, Ns::Presentation, u"spTree")) {
            return ReadShapeTree(reader, sink, place);
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
        if (node == XmlNode::Start && Is(reader, Ns::Presentation, u"sldId")) {
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
    UnitPlace place;
    for (const std::string& slide : ooxml::PartsInListOrder(relationships, order, u"slide")) {
        ++place.slide;
        ooxml::PartReader part(package, xml, slide);
        const bool stopped = ReadAsTokenizer(
            part.Xml(), [&](auto& reader) { return ReadSlide(reader, sink, place); });
        if (stopped) return;
    }
}

}  // namespace querna
