#include "documents/OoxmlPackage.h"

#include <array>
#include <unordered_map>
#include <unordered_set>

namespace querna::ooxml {

namespace {

// ECMA-376-1 (transitional, schemas.openxmlformats.org) and its strict
// conformance class (purl.oclc.org); ECMA-376-2 and ECMA-376-3 for the package and
// the compatibility markup. kUris and kVocabularies go together.
constexpr std::array<std::u16string_view, 11> kUris = {
    u"http://schemas.openxmlformats.org/wordprocessingml/2006/main",
    u"http://purl.oclc.org/ooxml/wordprocessingml/main",
    u"http://schemas.openxmlformats.org/spreadsheetml/2006/main",
    u"http://purl.oclc.org/ooxml/spreadsheetml/main",
    u"http://schemas.openxmlformats.org/presentationml/2006/main",
    u"http://purl.oclc.org/ooxml/presentationml/main",
    u"http://schemas.openxmlformats.org/drawingml/2006/main",
    u"http://purl.oclc.org/ooxml/drawingml/main",
    u"http://schemas.openxmlformats.org/package/2006/relationships",
    u"http://schemas.openxmlformats.org/markup-compatibility/2006",
    u"http://purl.oclc.org/ooxml/markup-compatibility/2006",
};
constexpr std::array<Ns, kUris.size() + 1> kVocabularies = {
    Ns::Word,          Ns::Word,          Ns::Sheet,
    Ns::Sheet,         Ns::Presentation,  Ns::Presentation,
    Ns::Drawing,       Ns::Drawing,       Ns::PackageRelationships,
    Ns::Compatibility, Ns::Compatibility, Ns::Other,
};

constexpr std::array<std::u16string_view, 2> kRelationshipNamespaces = {
    u"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    u"http://purl.oclc.org/ooxml/officeDocument/relationships",
};

// Part names are ASCII (non-ASCII characters are percent-encoded in them);
// anything else cannot name a part.
bool ToAscii(std::u16string_view text, std::string& out) {
    out.clear();
    for (char16_t c : text) {
        if (c == 0 || c >= 0x80) return false;
        out += static_cast<char>(c);
    }
    return true;
}

// "word/document.xml" -> "word/_rels/document.xml.rels"; "" -> "_rels/.rels".
std::string RelationshipPartOf(std::string_view partName) {
    const size_t slash = partName.rfind('/');
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::string rels(partName.substr(0, nameStart));
    rels += "_rels/";
    rels += partName.substr(nameStart);
    rels += ".rels";
    return rels;
}

Relationship ReadRelationship(XmlReader& reader, std::string_view partName) {
    Relationship relationship;
    std::u16string target, mode;
    reader.Attribute(u"Id", u"", relationship.id);
    reader.Attribute(u"Type", u"", relationship.type);
    reader.Attribute(u"Target", u"", target);
    reader.Attribute(u"TargetMode", u"", mode);
    std::string ascii;
    if (mode != u"External" && ToAscii(target, ascii)) {
        relationship.target = ResolvePartName(partName, ascii);
    }
    return relationship;
}

}  // namespace

Ns NamespaceOf(const XmlReader& reader) {
    return kVocabularies[reader.KnownNamespace(kUris)];
}

bool Is(const XmlReader& reader, Ns ns, std::u16string_view localName) {
    return reader.LocalName() == localName && NamespaceOf(reader) == ns;
}

void SkipElement(XmlReader& reader) {
    for (size_t depth = 1; depth > 0;) {
        switch (reader.Next()) {
            case XmlNode::Start:
                ++depth;
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
}

std::u16string RelationshipIdOf(XmlReader& reader) {
    std::u16string id;
    for (std::u16string_view uri : kRelationshipNamespaces) {
        if (reader.Attribute(u"id", uri, id)) return id;
    }
    return {};
}

bool IsOfType(const Relationship& relationship, std::u16string_view kind) {
    const std::u16string_view type = relationship.type;
    return type.size() > kind.size() && type.substr(type.size() - kind.size()) == kind &&
           type[type.size() - kind.size() - 1] == u'/';
}

std::vector<Relationship> ReadRelationships(ZipArchive& zip, XmlReaders& xml,
                                            std::string_view partName) {
    std::vector<Relationship> relationships;
    const std::string relsName = RelationshipPartOf(partName);
    if (zip.Find(relsName) == nullptr) return relationships;
    PartReader part(zip, xml, relsName);
    XmlReader& reader = part.Xml();
    ExpectRoot(reader, Ns::PackageRelationships, u"Relationships");
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node != XmlNode::Start) continue;
        if (Is(reader, Ns::PackageRelationships, u"Relationship")) {
            Relationship relationship = ReadRelationship(reader, partName);
            if (!relationship.target.empty()) relationships.push_back(std::move(relationship));
        }
    }
    return relationships;
}

std::vector<std::string> PartsInListOrder(const std::vector<Relationship>& relationships,
                                          const std::vector<std::u16string>& ids,
                                          std::u16string_view kind, std::vector<size_t>* listed) {
    std::unordered_map<std::u16string_view, const Relationship*> byId;
    for (const Relationship& relationship : relationships) {
        byId.try_emplace(relationship.id, &relationship);
    }
    std::unordered_set<std::u16string_view> seen;
    std::unordered_set<std::string> taken;  // part names are case-insensitive
    std::vector<std::string> parts;
    for (size_t i = 0; i < ids.size(); ++i) {
        const std::u16string& id = ids[i];
        // An entry without an id names nothing and repeats nothing.
        if (id.empty()) continue;
        if (!seen.insert(id).second) throw DocumentError(DocumentFault::Damaged);
        const auto it = byId.find(id);
        if (it == byId.end() || !IsOfType(*it->second, kind)) continue;
        std::string key = it->second->target;
        for (char& c : key) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        if (!taken.insert(std::move(key)).second) continue;
        parts.push_back(it->second->target);
        if (listed != nullptr) listed->push_back(i);
    }
    return parts;
}

std::string MainPartName(ZipArchive& zip, XmlReaders& xml) {
    for (const Relationship& relationship : ReadRelationships(zip, xml, "")) {
        if (IsOfType(relationship, u"officeDocument")) return relationship.target;
    }
    throw DocumentError(DocumentFault::Damaged);
}

std::string ResolvePartName(std::string_view sourcePart, std::string_view target) {
    target = target.substr(0, target.find('#'));
    std::string path;
    if (!target.empty() && target.front() == '/') {
        path = target.substr(1);
    } else {
        const size_t slash = sourcePart.rfind('/');
        if (slash != std::string_view::npos) path = sourcePart.substr(0, slash + 1);
        path += target;
    }
    std::vector<std::string_view> segments;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
    }
    std::string resolved;
    for (std::string_view segment : segments) {
        if (!resolved.empty()) resolved += '/';
        resolved += segment;
    }
    return resolved;
}

PartReader::PartReader(ZipArchive& zip, XmlReaders& xml, std::string_view partName) {
    const ZipEntry* entry = zip.Find(partName);
    if (entry == nullptr) throw DocumentError(DocumentFault::Damaged);
    stream_ = zip.Open(*entry);
    reader_ = xml.Open(*stream_);
}

void ExpectRoot(XmlReader& reader, Ns ns, std::u16string_view localName) {
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start) {
            if (!Is(reader, ns, localName)) break;
            return;
        }
    }
    throw DocumentError(DocumentFault::Damaged);
}

}  // namespace querna::ooxml
