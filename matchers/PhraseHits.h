// Where a phrase is: the hits the console companion prints under a matching
// file (`--hits`). A hit is found by the same rule as the match of its
// format (matchers/PhraseRules.h for documents, the text matcher's for text
// files) and shown with its location and a line of context from the unit it
// lies in (a paragraph, cell or shape's text, or a line of a text file).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "documents/DocumentReader.h"
#include "documents/DocumentText.h"
#include "matchers/PhraseRules.h"
#include "matchers/TextEncoding.h"
#include "platform/CodePage.h"

namespace querna {

// One hit, in the code page: "段落 5" and "…text【phrase】text…".
struct PhraseHit {
    std::string location;
    std::string context;
};

// How many hits a file gives when no number is asked for.
constexpr size_t kDefaultHitCount = 3;
// The characters of context shown on each side of a hit.
constexpr size_t kContextCharacters = 30;
// The bytes either side of a hit that hold its context in any encoding (a
// character takes at most four), with room to find a character's start.
constexpr size_t kContextBytes = 4 * kContextCharacters + 8;

// The hits a file may give: `limit` of them, or every one when it is 0.
struct HitLimit {
    size_t limit = kDefaultHitCount;
    bool Reached(size_t count) const { return limit != 0 && count >= limit; }
};

// "…before【hit】after…": the last kContextCharacters characters of `before`
// and the first of `after` (a surrogate pair counting as one), every line
// break (CR, LF, VT, FF, and the Unicode line and paragraph separators)
// shown as a space.
std::u16string HitContext(std::u16string_view before, std::u16string_view hit,
                          std::u16string_view after);

// The location of a unit of a document of `kind`, in the code page: "段落 5",
// "Sheet1!B7", "幻灯片 3".
std::string UnitLocation(DocumentKind kind, const UnitPlace& place, CodePage& codePage);
// "行 12".
std::string LineLocation(uint64_t line);

// A text file's bytes as UTF-16, read in `encoding` (the code page's through
// `codePage`); what names no character becomes U+FFFD.
std::u16string DecodeTextBytes(std::string_view bytes, TextEncoding encoding, CodePage& codePage);

// Collects the hits of `phrase` (bytes of the code page) in a document's
// units by the rule of `kind`'s matcher, in document order, successive hits
// in one unit not overlapping; stops the reading once the limit is reached.
// `leadBytes` tells the code page's lead bytes, where PowerPoint's rule
// compares code-page bytes.
class DocumentHitCollector final : public TextUnitSink {
  public:
    DocumentHitCollector(DocumentKind kind, CodePage& codePage,
                         const std::array<bool, 256>& leadBytes, const std::string& phrase,
                         HitLimit limit);
    bool Unit(std::u16string_view text, const UnitPlace& place) override;

    std::vector<PhraseHit>& Hits() { return hits_; }

  private:
    bool UnicodeUnit(std::u16string_view text, const UnitPlace& place);
    bool CodePageUnit(std::u16string_view text, const UnitPlace& place);
    bool Add(const UnitPlace& place, std::u16string context);

    DocumentKind kind_;
    CodePage& codePage_;
    const std::array<bool, 256>& leadBytes_;
    std::string phrase_;
    UnicodePhraseRule rule_;
    HitLimit limit_;
    std::vector<PhraseHit> hits_;
};

}  // namespace querna
