// How the built-in readers' text is compared with the phrase, by the rules of
// each application's own search:
// - Word's find and Excel's range find (as the matchers call them): the phrase
//   in Unicode, letter case not significant, a match inside one unit. Excel's
//   find is also told that byte width is not significant, so for Excel
//   full-width ASCII forms match their ASCII letters and signs.
// - PowerPoint's matcher: each shape's text converted to the code page and
//   searched for the phrase's bytes as they are, letter case significant,
//   where a character of the code page begins.
// An empty phrase is never found.
#pragma once

#include <array>
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

// Word's and Excel's rule over one unit at a time: where the folded phrase
// occurs in the folded unit. Folding keeps every character in its place, so
// a position in the folded unit is the same in the unit as it was given.
class UnicodePhraseRule {
  public:
    UnicodePhraseRule(std::u16string_view phrase, WidthRule width);

    // The phrase's length in UTF-16 units; 0 for the empty phrase.
    size_t Length() const { return phrase_.size(); }
    // Whether the phrase could lie in a number's text as Excel writes it.
    bool CouldBeInNumber() const { return couldBeInNumber_; }
    // Whether it could lie in the text of a plain formula of a workbook.
    bool CouldBeInPlainFormula() const { return couldBeInPlainFormula_; }
    // Folds `text` for FindNext; false when it is too short to hold the
    // phrase (or the phrase is empty).
    bool Prepare(std::u16string_view text);
    // The position of the first occurrence at or after `from` in the text
    // last prepared; npos when there is none.
    size_t FindNext(size_t from) const;

  private:
    // Writes the folded `text` to `folded`, which holds text.size() units.
    // False when the folded text cannot hold the phrase: it lacks the
    // phrase's first two folded characters side by side.
    bool Fold(std::u16string_view text, char16_t* folded) const;

    WidthRule width_;
    std::u16string phrase_;
    // The folded phrase's UTF-16 units as bytes, searched for in the folded
    // unit's bytes by the vector search of the text matcher.
    std::optional<PhraseScan> scan_;
    std::u16string folded_;  // its first foldedLength_ units are the prepared text
    size_t foldedLength_ = 0;
    bool mayHold_ = false;  // what Fold said of the prepared text
    // The folded phrase's first two characters (the one twice, for a phrase
    // of one), which Fold looks for.
    char16_t filterFirst_ = 0, filterSecond_ = 0;
    // Asked of each sheet and part: answered once.
    bool couldBeInNumber_ = false, couldBeInPlainFormula_ = false;
};

// Stops the reading at the first unit that holds the phrase.
class UnicodePhraseFinder final : public TextUnitSink {
  public:
    UnicodePhraseFinder(std::u16string_view phrase, WidthRule width) : rule_(phrase, width) {}
    bool Unit(std::u16string_view text, const UnitPlace& place) override;
    bool TakesNumbers() const override { return rule_.CouldBeInNumber(); }
    bool TakesRepeats() const override { return false; }
    bool TakesPlainFormulas() const override { return rule_.CouldBeInPlainFormula(); }
    bool Found() const { return found_; }

  private:
    UnicodePhraseRule rule_;
    bool found_ = false;
};

// Where the characters of a run of the code page's bytes begin, read forward
// from its start one character at a time, a lead byte taking the byte after
// it along. Asked in increasing order of position.
class CodePageCharacters final : public PhraseAcceptor {
  public:
    explicit CodePageCharacters(const std::array<bool, 256>& leadBytes) : lead_(leadBytes) {}

    // Starts on `bytes`, which must outlive the questions about it.
    void Reset(std::string_view bytes) {
        bytes_ = reinterpret_cast<const unsigned char*>(bytes.data());
        next_ = 0;
    }
    // The first position at or after `at` where a character begins: `at`
    // or the one after it, which may lie past the bytes' end. Reads only
    // bytes before `at`.
    size_t StartFrom(size_t at) {
        while (next_ < at) next_ += lead_[bytes_[next_]] ? 2 : 1;
        return next_;
    }
    bool Accept(size_t at) override { return StartFrom(at) == at; }

  private:
    const std::array<bool, 256>& lead_;
    const unsigned char* bytes_ = nullptr;
    size_t next_ = 0;  // where a character begins
};

// PowerPoint's rule over one unit at a time: where the phrase's bytes occur
// in the unit's code-page bytes, beginning where a character begins. A unit's
// bytes are whole characters, converted from its text, so reading them from
// the start tells which bytes begin one: 形 (D0 CE) is not found inside 中文
// (D6 D0 CE C4), nor `r` inside the bytes of 時 (95 72).
class CodePagePhraseRule {
  public:
    // The code page's lead bytes are asked for once; `codePage` must outlive
    // the rule.
    CodePagePhraseRule(CodePage& codePage, std::string_view phrase);

    // The phrase's length in bytes; 0 for the empty phrase.
    size_t Length() const { return scan_ ? scan_->Size() : 0; }
    // Converts `text` for FindNext; false when it cannot hold the phrase
    // (or the phrase is empty).
    bool Prepare(std::u16string_view text);
    // The prepared unit's bytes.
    std::string_view Bytes() const { return bytes_; }
    // The position of the first occurrence at or after `from` in the unit
    // last prepared; npos when there is none. Asked in increasing order of
    // `from` for one unit.
    size_t FindNext(size_t from);

  private:
    CodePage& codePage_;
    std::optional<PhraseScan> scan_;  // none for an empty phrase
    std::string bytes_;               // the unit in the code page
    bool singleBytes_ = false;        // every byte of the unit is a character
    CodePageCharacters starts_;
};

// Stops the reading at the first unit whose code-page bytes hold the phrase.
class CodePagePhraseFinder final : public TextUnitSink {
  public:
    CodePagePhraseFinder(CodePage& codePage, std::string_view phrase) : rule_(codePage, phrase) {}
    bool Unit(std::u16string_view text, const UnitPlace& place) override;
    bool TakesRepeats() const override { return false; }
    bool Found() const { return found_; }

  private:
    CodePagePhraseRule rule_;
    bool found_ = false;
};

}  // namespace querna
