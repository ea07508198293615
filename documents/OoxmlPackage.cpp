#include "documents/OoxmlPackage.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "documents/XmlCharacters.h"

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

// Text that is ASCII, without NUL, into `out`; false for anything else.
bool ToAscii(std::u16string_view text, std::string& out) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0 || text[i] >= 0x80) return false;
        out[i] = static_cast<char>(text[i]);
    }
    return true;
}

// The ASCII characters a URI holds as they are: all that print but the
// space and <>"{}|\^`, which an IRI may not hold either.
constexpr std::array<bool, 128> kUriCharacters = [] {
    std::array<bool, 128> table{};
    for (unsigned c = 0x21; c < 0x7F; ++c) table[c] = true;
    for (char c : std::string_view("<>\"{}|\\^`")) table[static_cast<unsigned char>(c)] = false;
    return table;
}();

// A relationship's target, an IRI, as the part name it stands for (the
// package's mapping of IRIs to URIs): a character beyond ASCII as the
// percent-encoded bytes of its UTF-8, in upper-case hex, and so an ASCII
// character no URI holds; what is percent-encoded already stays, and the
// archive's look-up compares hex digits without regard to case. False for
// what no part name holds (NUL, a surrogate without its pair).
bool ToPartName(std::u16string_view target, std::string& out) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out.clear();
    for (size_t i = 0; i < target.size(); ++i) {
        uint32_t c = target[i];
        if (c == 0) return false;
        if (c >= 0xD800 && c < 0xE000) {
            const uint32_t low = i + 1 < target.size() ? target[i + 1] : 0;
            if (c >= 0xDC00 || low < 0xDC00 || low >= 0xE000) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        if (c < 0x80 && kUriCharacters[c]) {
            out += static_cast<char>(c);
            continue;
        }
        char bytes[4];
        const char* end = xmlchars::PutUtf8(bytes, c);
        for (const char* b = bytes; b < end; ++b) {
            const auto byte = static_cast<unsigned char>(*b);
            out += {'%', kHex[byte >> 4], kHex[byte & 15]};
        }
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

// Appends the segments of `path` to the resolved name in `out`: ".." drops
// the last one, "." and empty segments none.
void AppendSegments(std::string_view path, std::string& out) {
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (segment == "..") {
            const size_t last = out.rfind('/');
            out.resize(last == std::string::npos ? 0 : last);
        } else if (!segment.empty() && segment != ".") {
            if (!out.empty()) out += '/';
            out += segment;
        }
    }
}

void ResolveInto(std::string_view sourcePart, std::string_view target, std::string& out) {
    out.clear();
    target = target.substr(0, target.find('#'));
    if (target.empty() || target.front() != '/') {
        const size_t slash = sourcePart.rfind('/');
        if (slash != std::string_view::npos) AppendSegments(sourcePart.substr(0, slash), out);
    }
    AppendSegments(target, out);
}

// The last segment of a relationship type URI, when it is ASCII.
void KindOf(std::u16string_view type, std::string& kind) {
    kind.clear();
    const size_t slash = type.rfind(u'/');
    if (slash == std::u16string_view::npos || !ToAscii(type.substr(slash + 1), kind)) {
        kind.clear();
    }
}

// What reading one relationship part needs besides the list it makes: kept
// for the whole part, so its relationships cost no string each.
struct RelationshipScratch {
    std::u16string type, target, mode;
    std::string name, resolved;
};

// The relationship at the reader's Start element; false when it is to be
// left out.
bool ReadRelationship(XmlReader& reader, ZipArchive& zip, std::string_view partName,
                      RelationshipScratch& scratch, Relationship& relationship) {
    relationship.id.clear();
    scratch.type.clear();
    scratch.target.clear();
    scratch.mode.clear();
    reader.Attribute(u"Id", u"", relationship.id);
    reader.Attribute(u"Type", u"", scratch.type);
    reader.Attribute(u"Target", u"", scratch.target);
    reader.Attribute(u"TargetMode", u"", scratch.mode);
    if (scratch.mode == u"External" || !ToPartName(scratch.target, scratch.name)) return false;
    ResolveInto(partName, scratch.name, scratch.resolved);
    if (scratch.resolved.empty()) return false;
    const ZipEntry* part = zip.Find(scratch.resolved);
    relationship.target = part != nullptr ? part->name : std::string_view();
    KindOf(scratch.type, relationship.kind);
    return true;
}

// A part a list leads to, at its position in the list.
struct Chosen {
    std::string_view target;
    size_t position;
};
constexpr size_t kDropped = static_cast<size_t>(-1);

// Marks every part but the first of those that lead to one entry of the
// archive; targets are views of the entry's name, so one entry is one
// address. A target that names no part is kept each time: reading it fails.
void DropRepeatedParts(std::vector<Chosen>& chosen) {
    std::vector<uint32_t> order(chosen.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const auto x = reinterpret_cast<uintptr_t>(chosen[a].target.data());
        const auto y = reinterpret_cast<uintptr_t>(chosen[b].target.data());
        return x != y ? x < y : a < b;
    });
    for (size_t i = 1; i < order.size(); ++i) {
        const Chosen& first = chosen[order[i - 1]];
        Chosen& next = chosen[order[i]];
        if (!next.target.empty() && next.target.data() == first.target.data()) {
            next.position = kDropped;
        }
    }
}

const ZipEntry& PartNamed(const ZipArchive& zip, std::string_view partName) {
    const ZipEntry* entry = zip.Find(partName);
    if (entry == nullptr) throw DocumentError(DocumentFault::Damaged);
    return *entry;
}

}  // namespace

const std::span<const std::u16string_view> kKnownUris = kUris;
const Ns* const kKnownVocabularies = kVocabularies.data();

Ns NamespaceOf(const XmlReader& reader) {
    return kVocabularies[reader.KnownNamespace(kUris)];
}

bool Is(const XmlReader& reader, Ns ns, std::u16string_view localName) {
    return reader.LocalName() == localName && NamespaceOf(reader) == ns;
}

std::u16string RelationshipIdOf(XmlReader& reader) {
    std::u16string id;
    for (std::u16string_view uri : kRelationshipNamespaces) {
        if (reader.Attribute(u"id", uri, id)) return id;
    }
    return {};
}

bool IsOfType(const Relationship& relationship, std::u16string_view kind) {
    const std::string_view have = relationship.kind;
    return !have.empty() && have.size() == kind.size() &&
           std::equal(have.begin(), have.end(), kind.begin(),
                      [](char a, char16_t b) { return static_cast<char16_t>(a) == b; });
}

std::vector<Relationship> ReadRelationships(ZipArchive& zip, XmlReaders& xml,
                                            std::string_view partName) {
    std::vector<Relationship> relationships;
    const std::string relsName = RelationshipPartOf(partName);
    const ZipEntry* rels = zip.Find(relsName);
    if (rels == nullptr) return relationships;
    // Room for the relationships the part's size suggests, as far as a
    // presentation of some dozens of slides needs: a few growths at most.
    relationships.reserve(static_cast<size_t>(std::min<uint64_t>(rels->size / 128, 256)));
    PartReader part(zip, xml, relsName);
    XmlReader& reader = part.Xml();
    ExpectRoot(reader, Ns::PackageRelationships, u"Relationships");
    RelationshipScratch scratch;
    Relationship relationship;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node != XmlNode::Start) continue;
        if (Is(reader, Ns::PackageRelationships, u"Relationship") &&
            ReadRelationship(reader, zip, partName, scratch, relationship)) {
            relationships.push_back(relationship);
        }
    }
    return relationships;
}

std::vector<std::string_view> PartsInListOrder(const std::vector<Relationship>& relationships,
                                               const std::vector<std::u16string>& ids,
                                               std::u16string_view kind,
                                               std::vector<size_t>* listed) {
    // Sorted tables rather than hashed ones: a few allocations for the whole
    // list, and a bound no choice of ids or names can spoil.
    std::vector<std::u16string_view> sortedIds;
    sortedIds.reserve(ids.size());
    for (const std::u16string& id : ids) {
        // An entry without an id names nothing and repeats nothing.
        if (!id.empty()) sortedIds.push_back(id);
    }
    std::sort(sortedIds.begin(), sortedIds.end());
    if (std::adjacent_find(sortedIds.begin(), sortedIds.end()) != sortedIds.end()) {
        throw DocumentError(DocumentFault::Damaged);
    }
    std::vector<uint32_t> byId(relationships.size());
    for (size_t i = 0; i < byId.size(); ++i) byId[i] = static_cast<uint32_t>(i);
    // The first relationship of an id sorts first among its equals.
    std::sort(byId.begin(), byId.end(), [&](uint32_t a, uint32_t b) {
        const int order = relationships[a].id.compare(relationships[b].id);
        return order != 0 ? order < 0 : a < b;
    });
    std::vector<Chosen> chosen;
    chosen.reserve(sortedIds.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].empty()) continue;
        const std::u16string_view id = ids[i];
        const auto it = std::lower_bound(
            byId.begin(), byId.end(), id,
            [&](uint32_t r, std::u16string_view wanted) { return relationships[r].id < wanted; });
        if (it == byId.end() || relationships[*it].id != id) continue;
        if (IsOfType(relationships[*it], kind)) chosen.push_back({relationships[*it].target, i});
    }
    DropRepeatedParts(chosen);
    std::vector<std::string_view> parts;
    parts.reserve(chosen.size());
    for (const Chosen& part : chosen) {
        if (part.position == kDropped) continue;
        parts.push_back(part.target);
        if (listed != nullptr) listed->push_back(part.position);
    }
    return parts;
}

std::string MainPartName(ZipArchive& zip, XmlReaders& xml) {
    for (const Relationship& relationship : ReadRelationships(zip, xml, "")) {
        if (IsOfType(relationship, u"officeDocument")) return std::string(relationship.target);
    }
    throw DocumentError(DocumentFault::Damaged);
}

std::string ResolvePartName(std::string_view sourcePart, std::string_view target) {
    std::string resolved;
    ResolveInto(sourcePart, target, resolved);
    return resolved;
}

PartReader::PartReader(ZipArchive& zip, XmlReaders& xml, std::string_view partName)
    : stream_(zip, PartNamed(zip, partName)), reader_(xml.Open(stream_)) {}

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
