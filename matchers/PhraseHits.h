// Where a phrase is: the hits the console companion prints under a matching
// file (`--hits`). A hit is found by the same rule as the match of its
// format (matchers/PhraseRules.h for documents, the text matcher's for text
// files) and shown with its location and a line of context from the unit it
// lies in (a paragraph, cell or shape's text, or a line of a text file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
    bool Reached(uint64_t count) const { return limit != 0 && count >= limit; }
};

// The most hits of one file kept with their text, and the most bytes of that
// text: past either, hits are only counted. A file holding the phrase
// millions of times thus costs no more memory than one holding it a few
// thousand times.
constexpr size_t kKeptHitCount = 2000;
constexpr size_t kKeptHitBytes = size_t{1} << 20;

// The hits of one file in order: the first ones kept, within the budget
// above, and how many more there were.
struct FileHits {
    std::vector<PhraseHit> kept;
    uint64_t more = 0;
    size_t keptBytes = 0;

    // Whether the next hit is kept; when not, it is only counted in `more`.
    bool Keeps() const {
        return more == 0 && kept.size() < kKeptHitCount && keptBytes < kKeptHitBytes;
    }
    void Keep(PhraseHit hit) {
        keptBytes += hit.location.size() + hit.context.size();
        kept.push_back(std::move(hit));
    }
    uint64_t Count() const { return kept.size() + more; }
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

// A text file's bytes as UTF-16, read in `encoding`: GBK's and GB18030's
// through `codePage`, which must be that one; in UTF-8 what names no
// character becomes U+FFFD.
std::u16string DecodeTextBytes(std::string_view bytes, TextEncoding encoding, CodePage& codePage);

// Collects the hits of `phrase` (bytes of the code page) in a document's
// units by the rule of `kind`'s matcher, in document order, successive hits
// in one unit not overlapping; stops the reading once the limit is reached.
// Past the budget of kept hits the rest are counted, each without its text.
class DocumentHitCollector final : public TextUnitSink {
  public:
    DocumentHitCollector(DocumentKind kind, CodePage& codePage, const std::string& phrase,
                         HitLimit limit);
    bool Unit(std::u16string_view text, const UnitPlace& place) override;

    FileHits& Hits() { return hits_; }

  private:
    bool UnicodeUnit(std::u16string_view text, const UnitPlace& place);
    bool CodePageUnit(std::u16string_view text, const UnitPlace& place);
    // Keeps or counts the next hit; `context` makes its text, asked only for
    // a hit that is kept. True once the limit is reached.
    template <typename Context>
    bool Add(const UnitPlace& place, Context context);

    DocumentKind kind_;
    CodePage& codePage_;
    UnicodePhraseRule rule_;
    CodePagePhraseRule bytesRule_;
    HitLimit limit_;
    FileHits hits_;
};

}  // namespace querna
