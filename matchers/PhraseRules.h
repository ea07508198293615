// How the built-in readers' text is compared with the phrase, by the rules of
// each application's own search:
// - Word's find and Excel's range find (as the matchers call them): the phrase
//   in Unicode, letter case not significant, a match inside one unit. Excel's
//   find is also told that byte width is not significant, so for Excel
//   full-width ASCII forms match their ASCII letters and signs.
// - PowerPoint's matcher: each shape's text converted to the code page and
//   searched for the phrase's bytes as they are, letter case significant.
// An empty phrase is never found.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "documents/DocumentText.h"
#include "matchers/PhraseScan.h"
#include "platform/CodePage.h"

namespace querna {

// The lower-case form of a letter of Latin (ASCII, Latin-1, Latin
// Extended-A), Greek, Cyrillic and the full-width Latin letters; any other
// character as it is.
char16_t FoldLetterCase(char16_t c);

// The ASCII form of a full-width ASCII character (U+FF01 to U+FF5E) and of the
// ideographic space; any other character as it is.
char16_t FoldWidth(char16_t c);

enum class WidthRule { Significant, Ignored };

// Stops the reading at the first unit that holds the phrase.
class UnicodePhraseFinder final : public TextUnitSink {
  public:
    UnicodePhraseFinder(std::u16string_view phrase, WidthRule width);
    bool Unit(std::u16string_view text) override;
    bool Found() const { return found_; }

  private:
    void Fold(std::u16string_view text, std::u16string& out) const;

    WidthRule width_;
    std::u16string phrase_;
    // The folded phrase's UTF-16 units as bytes, searched for in the folded
    // unit's bytes by the vector search of the text matcher.
    std::optional<PhraseScan> scan_;
    std::u16string folded_;
    bool found_ = false;
};

// Stops the reading at the first unit whose code-page bytes hold the phrase.
class CodePagePhraseFinder final : public TextUnitSink {
  public:
    CodePagePhraseFinder(CodePage& codePage, std::string phrase)
        : codePage_(codePage), phrase_(std::move(phrase)) {}
    bool Unit(std::u16string_view text) override;
    bool Found() const { return found_; }

  private:
    CodePage& codePage_;
    std::string phrase_;
    bool found_ = false;
};

}  // namespace querna
