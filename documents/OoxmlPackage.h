// What the three Office Open XML readers share: the package structure of
// ECMA-376-2 (Open Packaging Conventions: parts in a zip archive, found
// through relationship parts), the namespaces of ECMA-376-1 in both its
// transitional and its strict form.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "documents/UnitBuilder.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"

namespace querna::ooxml {

// The vocabularies the readers look at; everything else is Other.
enum class Ns {
    Other,
    Word,          // WordprocessingML main
    Sheet,         // SpreadsheetML main
    Presentation,  // PresentationML main
    Drawing,       // DrawingML main
    PackageRelationships,
    Compatibility,  // Markup Compatibility (mc:AlternateContent)
};

// The vocabulary of the element the reader stands on; asked of every node,
// it costs a look-up, not a comparison of URIs.
Ns NamespaceOf(const XmlReader& reader);
// The same for a reader called as the class it is (the tokenizer, in the
// readers written over their reader): no virtual call per node.
extern const std::span<const std::u16string_view> kKnownUris;
extern const Ns* const kKnownVocabularies;  // one per URI, then Other
template <class Reader>
Ns NamespaceOf(const Reader& reader) {
    return kKnownVocabularies[reader.KnownNamespace(kKnownUris)];
}

// Whether the reader stands on an element of that vocabulary and local name.
bool Is(const XmlReader& reader, Ns ns, std::u16string_view localName);

// The attribute r:id (officeDocument relationships namespace, transitional or
// strict) of the current Start element; empty when it has none.
std::u16string RelationshipIdOf(XmlReader& reader);

// One relationship, as a reader needs it. Reading a package's relationships
// makes no string per relationship beyond its id: the target is the name the
// archive's directory holds, the type only its last segment.
struct Relationship {
    std::u16string id;
    // The last segment of the type URI ("officeDocument", "worksheet",
    // "slide"): the prefixes differ between the two conformance classes, the
    // last segment does not. Empty for a type without one that can name a
    // kind (no '/', or characters that are not ASCII).
    std::string kind;
    // The part it leads to, as the archive names it: a view of the archive's
    // directory, valid while the archive is. Empty when the package has no
    // such part; reading it then fails as a missing part does.
    std::string_view target;
};

// Whether the relationship's type is `kind` ("officeDocument", "worksheet",
// "slide").
bool IsOfType(const Relationship& relationship, std::u16string_view kind);

// The relationships of the part `partName` (of the package itself when
// empty), external targets left out; none when its relationship part is
// missing.
std::vector<Relationship> ReadRelationships(ZipArchive& zip, XmlReaders& xml,
                                            std::string_view partName);

// The parts a list of relationship ids leads to (a workbook's sheets, a
// presentation's slides), in list order, through the relationships of type
// `kind` (the first of each id). The ids are looked up in a table made once,
// so a list costs its length and a logarithm. An id that leads nowhere or to
// another type is left out, and a part that two ids lead to is read once, at
// its first place. Raises DocumentError(Damaged) when one id is listed twice:
// no application writes such a list. `listed`, when given, receives each
// part's position in `ids`. The names view the archive's directory, as the
// relationships' targets do.
std::vector<std::string_view> PartsInListOrder(const std::vector<Relationship>& relationships,
                                               const std::vector<std::u16string>& ids,
                                               std::u16string_view kind,
                                               std::vector<size_t>* listed = nullptr);

// The package's main part, the target of its officeDocument relationship.
// Raises DocumentError(Damaged) when there is none.
std::string MainPartName(ZipArchive& zip, XmlReaders& xml);

// Resolves a relationship target against the part that holds it (URI
// reference rules: a leading '/' starts at the package root, "." and ".."
// segments are resolved, a fragment is dropped). Empty when nothing is left.
std::string ResolvePartName(std::string_view sourcePart, std::string_view target);

// One part opened for reading as XML. Raises DocumentError(Damaged) when the
// package has no such part.
class PartReader {
  public:
    PartReader(ZipArchive& zip, XmlReaders& xml, std::string_view partName);
    XmlReader& Xml() { return *reader_; }

  private:
    ZipEntryStream stream_;
    std::unique_ptr<XmlReader> reader_;
};

// Reads up to and including the Start of the document element; raises
// DocumentError(Damaged) when it is not `localName` of `ns`.
void ExpectRoot(XmlReader& reader, Ns ns, std::u16string_view localName);

}  // namespace querna::ooxml
