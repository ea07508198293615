// Which BIFF8 formulas are plain: made only of what a finder can tell cannot
// hold its phrase, so that a sheet's formulas need not be rendered for it.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace querna {

// Whether the formula renders, and is made only of cell references,
// numbers, operators, built-in functions, TRUE, FALSE and error values: its
// text then holds no string, name, sheet or path of the workbook, only
// printable ASCII whose runs of letters are at most three column letters or
// lie within those words. Cheaper than rendering: it only counts operands.
// False for a formula that is not plain or would not render (its cached
// value then stands), and for one of more than kMaxFormulaText / 8 bytes.
bool IsPlainExcelFormula(const unsigned char* rgce, size_t cce);

// IsPlainExcelFormula with a memory of the last formula it tested and of
// which of its bytes the test read: the tokens, function numbers and jumps,
// not the references and numbers they carry. A formula of the same length
// that agrees on those bytes is tested alike, so it has the same answer
// without a test of its own: a column of formulas written one by one
// differs only in its references.
class PlainFormulaMemo {
  public:
    bool IsPlain(const unsigned char* rgce, size_t cce);

  private:
    static constexpr size_t kBytes = 64;  // longer formulas are tested each time
    std::array<unsigned char, kBytes> bytes_{};
    std::array<unsigned char, kBytes> read_{};  // 0xFF where the test read the byte
    size_t length_ = kBytes + 1;                // none remembered yet
    bool plain_ = false;
};

// The words of a plain formula's text beyond references, numbers and
// operators (built-in function names, TRUE, FALSE, the error values), in
// lower case, apart by spaces. A plain formula's every run of more than
// three letters lies in one of them.
std::u16string_view PlainExcelFormulaWords();

// Whether `folded` (letters in lower case) could lie in the text of a plain
// formula, written as Excel writes it and folded alike.
bool CouldBeInPlainExcelFormula(std::u16string_view folded);

}  // namespace querna
