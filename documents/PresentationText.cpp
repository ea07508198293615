#include "documents/PresentationText.h"

#include <string>
#include <vector>

#include "documents/OoxmlPackage.h"

namespace querna {

namespace {

using ooxml::Ns;

// The text of one shape's text body (p:txBody), consumed up to its end.
std::u16string ReadTextBody(XmlReader& reader) {
    std::u16string text;
    bool inText = false;
    size_t paragraphs = 0;
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                ++depth;
                if (ooxml::Is(reader, Ns::Compatibility, u"Fallback")) {
                    ooxml::SkipElement(reader);
                    --depth;
                } else if (ooxml::Is(reader, Ns::Drawing, u"p")) {
                    if (paragraphs++ > 0) AppendToUnit(text, u"\r");
                } else if (ooxml::Is(reader, Ns::Drawing, u"t")) {
                    inText = true;
                } else if (ooxml::Is(reader, Ns::Drawing, u"br")) {
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
bool ReadShape(XmlReader& reader, TextUnitSink& sink, const UnitPlace& place) {
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                if (depth == 1 && ooxml::Is(reader, Ns::Presentation, u"txBody")) {
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
bool ReadShapeTree(XmlReader& reader, TextUnitSink& sink, const UnitPlace& place);

// mc:AlternateContent: the first Choice is read as part of the tree, the
// other Choices and the Fallback (the same shapes for older readers) are not.
bool ReadAlternateContent(XmlReader& reader, TextUnitSink& sink, const UnitPlace& place) {
    bool chosen = false;
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        if (!chosen && ooxml::Is(reader, Ns::Compatibility, u"Choice")) {
            chosen = true;
            if (ReadShapeTree(reader, sink, place)) return true;
        } else {
            ooxml::SkipElement(reader);
        }
    }
    return false;
}

bool ReadShapeTree(XmlReader& reader, TextUnitSink& sink, const UnitPlace& place) {
    for (XmlNode node = reader.Next(); node != XmlNode::End; node = reader.Next()) {
        if (node == XmlNode::Done) throw DocumentError(DocumentFault::Damaged);
        if (node != XmlNode::Start) continue;
        bool stopped = false;
        if (ooxml::Is(reader, Ns::Presentation, u"sp")) {
            stopped = ReadShape(reader, sink, place);
        } else if (ooxml::Is(reader, Ns::Compatibility, u"AlternateContent")) {
            stopped = ReadAlternateContent(reader, sink, place);
        } else {
            ooxml::SkipElement(reader);
        }
        if (stopped) return true;
    }
    return false;
}

// One slide part: true when the sink has had enough.
bool ReadSlide(XmlReader& reader, TextUnitSink& sink, const UnitPlace& place) {
    ooxml::ExpectRoot(reader, Ns::Presentation, u"sld");
    bool inCommonData = false;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && ooxml::Is(reader, Ns::Presentation, u"cSld")) {
            inCommonData = true;
        } else if (node == XmlNode::Start && inCommonData &&
                   ooxml::Is(reader, Ns::Presentation, u"spTree")) {
            return ReadShapeTree(reader, sink, place);
        } else if (node == XmlNode::Start && inCommonData) {
            ooxml::SkipElement(reader);
        }
    }
    return false;
}

// The relationship ids of the slides, in presentation order.
std::vector<std::u16string> ReadSlideOrder(XmlReader& reader) {
    ooxml::ExpectRoot(reader, Ns::Presentation, u"presentation");
    std::vector<std::u16string> ids;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && ooxml::Is(reader, Ns::Presentation, u"sldId")) {
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
        if (ReadSlide(part.Xml(), sink, place)) return;
    }
}

}  // namespace querna
