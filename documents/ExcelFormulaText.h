// Excel's text for what a BIFF8 workbook stores in binary: numbers, error
// codes and parsed formulas, as Excel's formula bar shows them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace querna {

// The shortest text that reads back as the same double, written the way
// Excel writes numbers: "42", "-0.25", "0.0001", "1E+20", "1.5E-07".
std::u16string ExcelNumberText(double value);
// The same text appended to `out`, with no allocation beyond out's own.
void AppendExcelNumberText(double value, std::u16string& out);

// "#DIV/0!" and the other error values; "#N/A" for an unknown code.
std::u16string ExcelErrorText(uint8_t code);

// One entry of the workbook's EXTERNSHEET list: which workbook (an index into
// its SUPBOOK records) and which sheets a 3-D reference names.
struct ExcelSheetRange {
    uint16_t book;
    int16_t first, last;
};

// One SUPBOOK record with the EXTERNNAME records that follow it: this
// workbook, an add-in's functions, another workbook, or a DDE or OLE link.
struct ExcelSupportingBook {
    enum class Kind : uint8_t { Self, AddIn, Workbook, Link };
    Kind kind = Kind::Self;
    std::u16string path;  // Workbook: its path as Excel writes it; Link: "app|topic"
    std::vector<std::u16string> sheets;
    std::vector<std::u16string> names;
};

// A defined name (NAME record): its text and the sheet it belongs to (0 for
// the whole workbook, else the sheet's position from 1).
struct ExcelDefinedName {
    std::u16string name;
    uint16_t sheet = 0;
};

// What a formula's references are resolved against.
struct ExcelFormulaContext {
    uint16_t row = 0, col = 0;                                // the cell holding the formula
    uint16_t sheet = 0;                                       // its sheet's position from 1
    const std::vector<std::u16string>* sheetNames = nullptr;  // in workbook order
    const std::vector<ExcelSheetRange>* sheetRanges = nullptr;
    const std::vector<ExcelSupportingBook>* books = nullptr;
    const std::vector<ExcelDefinedName>* names = nullptr;
};

// Decompiles a BIFF8 formula ([MS-XLS] 2.5.198.103 Rgce, with the extra data
// of 2.5.198.104 RgbExtra) into "=..." in `out`. Returns false, leaving `out`
// unspecified, when a token cannot be rendered (table references, data
// tables, references that name nothing in the workbook) or the formula is
// malformed.
bool RenderExcelFormula(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                        const ExcelFormulaContext& context, std::u16string& out);

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

// Renders formula after formula as RenderExcelFormula does, keeping the room
// of its buffers from one to the next: a sheet of formula cells then costs no
// allocation per cell.
class ExcelFormulaRenderer {
  public:
    bool Render(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                const ExcelFormulaContext& context, std::u16string& out);

    struct Buffers {
        std::u16string text;
        std::vector<size_t> starts;
        std::u16string scratch;
        std::u16string name;
    };

  private:
    Buffers buffers_;
};

}  // namespace querna
