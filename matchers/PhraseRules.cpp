#include "matchers/PhraseRules.h"

#include <algorithm>
#include <cstdint>

#include "documents/ExcelFormulaText.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#define QUERNA_FOLD_SSE2 1
#else
#define QUERNA_FOLD_SSE2 0
#endif

namespace querna {

namespace {

bool Between(char16_t c, char16_t first, char16_t last) {
    return c >= first && c <= last;
}

// Latin Extended-A pairs its letters upper then lower, from an even code
// point in some runs and from an odd one in others.
char16_t FoldLatinExtendedA(char16_t c) {
    if (c == 0x130) return u'i';  // capital I with dot above
    if (c == 0x178) return 0xFF;  // capital Y with diaeresis pairs with Latin-1
    const bool evenRun = Between(c, 0x100, 0x137) || Between(c, 0x14A, 0x177);
    const bool oddRun = Between(c, 0x139, 0x148) || Between(c, 0x179, 0x17E);
    if ((evenRun && c % 2 == 0) || (oddRun && c % 2 == 1)) return static_cast<char16_t>(c + 1);
    return c;
}

char16_t FoldGreekAndCyrillic(char16_t c) {
    if (c == 0x386) return 0x3AC;
    if (Between(c, 0x388, 0x38A)) return static_cast<char16_t>(c + 37);
    if (c == 0x38C) return 0x3CC;
    if (Between(c, 0x38E, 0x38F)) return static_cast<char16_t>(c + 63);
    if (Between(c, 0x391, 0x3A9) && c != 0x3A2) return static_cast<char16_t>(c + 32);
    if (Between(c, 0x400, 0x40F)) return static_cast<char16_t>(c + 80);
    if (Between(c, 0x410, 0x42F)) return static_cast<char16_t>(c + 32);
    return c;
}

}  // namespace

char16_t FoldLetterCase(char16_t c) {
    if (c < 0x80) return Between(c, u'A', u'Z') ? static_cast<char16_t>(c + 32) : c;
    if (Between(c, 0xC0, 0xDE) && c != 0xD7) return static_cast<char16_t>(c + 32);
    if (Between(c, 0x100, 0x17F)) return FoldLatinExtendedA(c);
    if (Between(c, 0x386, 0x42F)) return FoldGreekAndCyrillic(c);
    if (Between(c, 0xFF21, 0xFF3A)) return static_cast<char16_t>(c + 32);
    return c;
}

char16_t FoldWidth(char16_t c) {
    if (Between(c, 0xFF01, 0xFF5E)) return static_cast<char16_t>(c - 0xFEE0);
    if (c == 0x3000) return u' ';
    return c;
}

namespace {

// A match of UTF-16 units in their bytes starts on a unit, at an even byte.
class WholeUnits final : public PhraseAcceptor {
  public:
    bool Accept(size_t at) override { return at % 2 == 0; }
};

std::string_view Bytes(std::u16string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t)};
}

}  // namespace

UnicodePhraseRule::UnicodePhraseRule(std::u16string_view phrase, WidthRule width) : width_(width) {
    phrase_.resize(phrase.size());
    Fold(phrase, phrase_.data());
    if (!phrase_.empty()) {
        scan_.emplace(Bytes(phrase_));
        filterFirst_ = phrase_[0];
        filterSecond_ = phrase_.size() > 1 ? phrase_[1] : phrase_[0];
    }
    // The folded characters of every text ExcelNumberText writes.
    constexpr std::u16string_view kNumberCharacters = u"0123456789-+.e#num!";
    couldBeInNumber_ = std::all_of(phrase_.begin(), phrase_.end(), [&](char16_t c) {
        return kNumberCharacters.find(c) != std::u16string_view::npos;
    });
    couldBeInPlainFormula_ = CouldBeInPlainExcelFormula(phrase_);
}

bool UnicodePhraseRule::Fold(std::u16string_view text, char16_t* folded) const {
    const char16_t* in = text.data();
    // Most characters of a document are ASCII or CJK: ASCII folds to its
    // lower case, and from U+0430 to U+FF00 only the ideographic space folds
    // at all. One pass, eight characters a step, folds those and notes
    // whether any other character is there; only then does a second pass
    // apply the full rules.
    //
    // The same pass looks for the phrase's first two folded characters side
    // by side (its one character, for a phrase of one): most units lack them,
    // and those need no search at all. What the pass folds is final only
    // when no other character is there; otherwise the search is made.
    const char16_t first = filterFirst_, second = filterSecond_;
    const bool single = phrase_.size() < 2;
    size_t i = 0;
    bool others = false;
    bool pair = false;
    bool afterFirst = false;  // the character before i folded to `first`
#if QUERNA_FOLD_SSE2
    // Eight characters a step: SSE2 is in every x86-64 processor.
    const __m128i zero = _mm_setzero_si128();
    const __m128i firsts = _mm_set1_epi16(static_cast<short>(first));
    const __m128i seconds = _mm_set1_epi16(static_cast<short>(single ? first : second));
    __m128i flagged = zero;
    unsigned pairs = 0, carry = 0;
    // Folds the eight characters from `at`. Two mask bits a character: a
    // first at lane k and a second at lane k + 1, or a first ending the step
    // before (`carry`) and a second starting this one.
    const auto step = [&](size_t at, unsigned carryIn) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
        auto within = [&](int from, int to) {  // from <= c <= to, unsigned
            const __m128i offset = _mm_sub_epi16(c, _mm_set1_epi16(static_cast<short>(from)));
            return _mm_cmpeq_epi16(
                _mm_subs_epu16(offset, _mm_set1_epi16(static_cast<short>(to - from))), zero);
        };
        const __m128i upper = _mm_and_si128(within(u'A', u'Z'), _mm_set1_epi16(32));
        const __m128i f = _mm_add_epi16(c, upper);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(folded + at), f);
        const auto isFirst = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(f, firsts)));
        const auto isSecond = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(f, seconds)));
        pairs |= single ? isFirst : (isFirst & (isSecond >> 2)) | (carryIn & isSecond);
        flagged = _mm_or_si128(flagged, within(0x80, 0x42F));
        flagged = _mm_or_si128(flagged, _mm_subs_epu16(c, _mm_set1_epi16(-256)));  // > U+FF00
        flagged = _mm_or_si128(flagged, _mm_cmpeq_epi16(c, _mm_set1_epi16(0x3000)));
        return isFirst >> 14;
    };
    for (; i + 8 <= text.size(); i += 8) carry = step(i, carry);
    // The last few characters of a unit of eight or more: one more step over
    // the last eight, which folds some again from the same characters. Every
    // pair that ends in it and starts before it was seen by the steps before.
    if (i < text.size() && text.size() >= 8) {
        step(text.size() - 8, 0);
        i = text.size();
    }
    others = _mm_movemask_epi8(_mm_cmpeq_epi16(flagged, zero)) != 0xFFFF;
    pair = pairs != 0;
    afterFirst = carry != 0;
#endif
    for (; i < text.size(); ++i) {
        const unsigned c = in[i];
        const unsigned upper = static_cast<uint16_t>(c - u'A') < 26u;
        const auto f = static_cast<char16_t>(c + (upper << 5));
        folded[i] = f;
        pair = pair || (single ? f == first : afterFirst && f == second);
        afterFirst = f == first;
        others = others || (c >= 0x80 && (c < 0x430 || c > 0xFF00 || c == 0x3000));
    }
    if (!others) return pair;
    const bool ignoreWidth = width_ == WidthRule::Ignored;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = in[i];
        if (c >= 0x80) folded[i] = FoldLetterCase(ignoreWidth ? FoldWidth(c) : c);
    }
    return true;
}

bool UnicodePhraseRule::Prepare(std::u16string_view text) {
    if (phrase_.empty() || text.size() < phrase_.size()) return false;
    // The buffer only grows: growing a string fills it first, a pass over
    // the unit that folding would then overwrite.
    if (folded_.size() < text.size()) folded_.resize(text.size());
    mayHold_ = Fold(text, folded_.data());
    foldedLength_ = text.size();
    return true;
}

size_t UnicodePhraseRule::FindNext(size_t from) const {
    if (!scan_ || !mayHold_ || from > foldedLength_ || foldedLength_ - from < phrase_.size())
        return std::string::npos;
    const std::string_view bytes = Bytes(std::u16string_view(folded_.data(), foldedLength_));
    WholeUnits wholeUnits;
    const size_t at = scan_->Find(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size(), 2 * from, wholeUnits);
    return at == std::string::npos ? at : at / 2;
}

bool UnicodePhraseFinder::Unit(std::u16string_view text, const UnitPlace&) {
    found_ = rule_.Prepare(text) && rule_.FindNext(0) != std::string::npos;
    return found_;
}

CodePagePhraseRule::CodePagePhraseRule(CodePage& codePage, std::string_view phrase)
    : codePage_(codePage), starts_(codePage.LeadBytes()) {
    if (!phrase.empty()) scan_.emplace(phrase);
}

namespace {

// Narrows the ASCII characters that begin `text` into `bytes`, eight a step
// where SSE2 is there; the count narrowed, which is text.size() for an ASCII unit.
size_t NarrowAscii(std::u16string_view text, char* bytes) {
    const char16_t* in = text.data();
    size_t i = 0;
#if QUERNA_FOLD_SSE2
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        // Each unit above U+007F has a bit of 0xFF80 set.
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(c, _mm_set1_epi16(-128)),
                                              _mm_setzero_si128())) != 0xFFFF) {
            break;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes + i), _mm_packus_epi16(c, c));
    }
#endif
    for (; i < text.size() && in[i] < 0x80; ++i) bytes[i] = static_cast<char>(in[i]);
    return i;
}

}  // namespace

bool CodePagePhraseRule::Prepare(std::u16string_view text) {
    if (!scan_) return false;
    // Many of a presentation's units are ASCII, and the code page keeps
    // ASCII as it is: those units are their own bytes, with no conversion,
    // and each byte is a character. Any other unit is converted whole once
    // its first other character is met.
    bytes_.resize(text.size());
    singleBytes_ = NarrowAscii(text, bytes_.data()) == text.size();
    if (!singleBytes_) codePage_.FromUnicode(text, bytes_);
    starts_.Reset(bytes_);
    return bytes_.size() >= scan_->Size();
}

size_t CodePagePhraseRule::FindNext(size_t from) {
    if (!scan_) return std::string::npos;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
    if (singleBytes_) return scan_->Find(data, bytes_.size(), from);
    return scan_->Find(data, bytes_.size(), from, starts_);
}

bool CodePagePhraseFinder::Unit(std::u16string_view text, const UnitPlace&) {
    found_ = rule_.Prepare(text) && rule_.FindNext(0) != std::string::npos;
    return found_;
}

}  // namespace querna
