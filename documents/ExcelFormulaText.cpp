// Formulas as [MS-XLS] "Excel Binary File Format (.xls) Structure" stores
// them: parsed tokens in reverse Polish order (2.5.198 Ptg structures), the
// function table Ftab (2.5.198.17), and the shared-formula relative
// references of PtgRefN and PtgAreaN.
#include "documents/ExcelFormulaText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"
#include "documents/ExcelFunctions.h"
#include "documents/SpreadsheetShared.h"

namespace querna {

namespace {

void AppendAscii(std::u16string& out, const char* text) {
    while (*text) out.push_back(static_cast<unsigned char>(*text++));
}

void AppendDecimal(std::u16string& out, uint64_t n) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    for (const char* p = digits; p < result.ptr; ++p) out.push_back(static_cast<char16_t>(*p));
}

// A row or column of a reference: its number and whether it is relative.
struct RefPart {
    unsigned value;
    bool relative;
};

void AppendRow(std::u16string& out, RefPart row) {
    AppendRowNumber(out, row.value + 1, !row.relative);
}
void AppendColumn(std::u16string& out, RefPart col) {
    AppendColumnLetters(out, col.value + 1, !col.relative);
}

// Whether Excel writes the sheet name quoted in a reference.
bool NeedsQuotes(const std::u16string& name) {
    if (name.empty() || (name[0] >= u'0' && name[0] <= u'9')) return true;
    for (char16_t c : name) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'_' || c == u'.' || c >= 0x80;
        if (!plain || c == 0x3000) return true;
    }
    return false;
}

// `text` between single quotes, each quote inside doubled.
void AppendSingleQuoted(std::u16string& out, std::u16string_view text) {
    out += u'\'';
    for (char16_t c : text) {
        out += c;
        if (c == u'\'') out += c;
    }
    out += u'\'';
}

// A DDE link's topic or item as Excel writes it: quoted unless it is one word.
void AppendLinkPart(std::u16string& out, const std::u16string& text) {
    const bool word = !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || (c >= 0x80 && c != 0x3000);
    });
    if (word) {
        out += text;
    } else {
        AppendSingleQuoted(out, text);
    }
}

// A string constant in double quotes, its own quotes doubled.
void AppendQuoted(std::u16string& out, const unsigned char* chars, size_t cch, bool high) {
    out += u'"';
    for (size_t i = 0; i < cch; ++i) {
        const char16_t c = high ? LoadU16(chars + 2 * i) : chars[i];
        out += c;
        if (c == u'"') out += c;
    }
    out += u'"';
}

// Turns the tokens back into text with a stack of operands. The operands are
// texts laid end to end in one buffer, which keeps its room from formula to
// formula: a sheet of formula cells costs no allocation per cell.
class FormulaRenderer {
  public:
    FormulaRenderer(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                    const ExcelFormulaContext& context, ExcelFormulaRenderer::Buffers& buffers)
        : tokens_(rgce, cce),
          extra_(rgcb, cb),
          context_(context),
          text_(buffers.text),
          starts_(buffers.starts),
          scratch_(buffers.scratch),
          name_(buffers.name) {
        text_.clear();
        starts_.clear();
    }

    bool Render(std::u16string& out) {
        // The operands lie end to end in text_: its length is all of theirs.
        while (tokens_.Remaining() > 0) {
            if (!Token(tokens_.U8()) || text_.size() > kMaxFormulaText) return false;
        }
        if (starts_.size() != 1) return false;
        out.assign(u"=");
        out.append(text_);
        return true;
    }

  private:
    // A new operand on top of the stack: its text is what is appended to
    // the returned buffer until the next operand.
    std::u16string& Push() {
        starts_.push_back(text_.size());
        return text_;
    }
    void Push(std::u16string_view text) { Push().append(text); }
    // Replaces the top `count` operands by one: `before`, the operands
    // separated by `separator`, `after`. False when there are not that many.
    bool Join(size_t count, std::u16string_view before, std::u16string_view separator,
              std::u16string_view after) {
        if (count > starts_.size()) return false;
        const size_t first = starts_.size() - count;
        const size_t from = count > 0 ? starts_[first] : text_.size();
        scratch_.assign(before);
        for (size_t i = first; i < starts_.size(); ++i) {
            if (i > first) scratch_.append(separator);
            const size_t end = i + 1 < starts_.size() ? starts_[i + 1] : text_.size();
            scratch_.append(text_, starts_[i], end - starts_[i]);
        }
        scratch_.append(after);
        starts_.resize(first);
        text_.resize(from);
        Push().append(scratch_);
        return true;
    }
    bool Binary(const char16_t* op) { return Join(2, u"", op, u""); }
    bool Wrap(const char16_t* before, const char16_t* after) { return Join(1, before, u"", after); }
    bool Call(const char* name, size_t args) {
        name_.clear();
        AppendAscii(name_, name);
        name_ += u'(';
        return Join(args, name_, u",", u")");
    }
    // An add-in or macro function: its name is the first of its arguments.
    bool CallNamedByFirst(size_t args) {
        if (args == 0 || args > starts_.size()) return false;
        const size_t first = starts_.size() - args;
        const size_t start = starts_[first];
        const size_t end = first + 1 < starts_.size() ? starts_[first + 1] : text_.size();
        name_.assign(text_, start, end - start);
        name_ += u'(';
        text_.erase(start, end - start);
        starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(first));
        for (size_t i = first; i < starts_.size(); ++i) starts_[i] -= end - start;
        return Join(args - 1, name_, u",", u")");
    }

    bool Token(uint8_t ptg);
    bool Operand(uint8_t base);
    bool Function(uint8_t base);
    bool SheetOperand(uint8_t base);
    bool ArrayConstant();
    bool AppendSheetPrefix(uint16_t ixti, std::u16string& out) const;
    bool DefinedName(uint32_t index);
    bool ExternalName(uint16_t ixti, uint32_t index);
    void AppendCell(std::u16string& out, uint16_t rw, uint16_t col, bool shared) const;
    void AppendArea(std::u16string& out, uint16_t rw1, uint16_t rw2, uint16_t c1, uint16_t c2,
                    bool shared) const;

    FieldReader tokens_;
    FieldReader extra_;
    const ExcelFormulaContext& context_;
    std::u16string& text_;         // the operands, end to end
    std::vector<size_t>& starts_;  // where each operand starts in text_
    std::u16string& scratch_;      // an operand being joined
    std::u16string& name_;         // a function's name and its parenthesis
};

bool FormulaRenderer::Token(uint8_t ptg) {
    static const char16_t* const kBinary[] = {u"+", u"-",  u"*", u"/",  u"^", u"&", u"<", u"<=",
                                              u"=", u">=", u">", u"<>", u" ", u",", u":"};
    if (ptg >= 0x03 && ptg <= 0x11) return Binary(kBinary[ptg - 0x03]);
    switch (ptg) {
        case 0x12:
            return Wrap(u"+", u"");
        case 0x13:
            return Wrap(u"-", u"");
        case 0x14:
            return Wrap(u"", u"%");
        case 0x15:
            return Wrap(u"(", u")");
        case 0x16:
            Push();
            return true;
        case 0x17: {
            const uint8_t cch = tokens_.U8();
            const bool high = (tokens_.U8() & 1) != 0;
            const unsigned char* chars = tokens_.Bytes(size_t{cch} * (high ? 2 : 1));
            AppendQuoted(Push(), chars, cch, high);
            return true;
        }
        case 0x19: {  // PtgAttr: evaluation hints, except the optimised SUM
            const uint8_t kind = tokens_.U8();
            const uint16_t data = tokens_.U16();
            if (kind & 0x04) tokens_.Skip((size_t{data} + 1) * 2);  // CHOOSE jump table
            if (kind & 0x10) return Call("SUM", 1);
            return true;
        }
        case 0x1C:
            Push(ExcelErrorText(tokens_.U8()));
            return true;
        case 0x1D:
            Push(tokens_.U8() ? u"TRUE" : u"FALSE");
            return true;
        case 0x1E: {
            const uint16_t n = tokens_.U16();
            AppendDecimal(Push(), n);
            return true;
        }
        case 0x1F: {
            const double value = tokens_.Double();
            AppendExcelNumberText(value, Push());
            return true;
        }
        default:
            break;
    }
    if (ptg < 0x20 || ptg >= 0x80) return false;  // PtgExp, PtgTbl, extended tokens
    return Operand(static_cast<uint8_t>((ptg & 0x1F) | 0x20));
}

void FormulaRenderer::AppendCell(std::u16string& out, uint16_t rw, uint16_t col,
                                 bool shared) const {
    RefPart row{rw, (col & 0x4000) != 0}, column{col & 0x3FFFu, (col & 0x8000) != 0};
    if (shared && row.relative) row.value = (context_.row + static_cast<int16_t>(rw)) & 0xFFFF;
    if (shared && column.relative)
        column.value = (context_.col + static_cast<int8_t>(col & 0xFF)) & 0xFF;
    AppendColumn(out, column);
    AppendRow(out, row);
}

void FormulaRenderer::AppendArea(std::u16string& out, uint16_t rw1, uint16_t rw2, uint16_t c1,
                                 uint16_t c2, bool shared) const {
    // Whole columns and whole rows are written without the other half.
    if (!shared && rw1 == 0 && rw2 == 0xFFFF) {
        AppendColumn(out, {c1 & 0x3FFFu, (c1 & 0x8000) != 0});
        out += u':';
        AppendColumn(out, {c2 & 0x3FFFu, (c2 & 0x8000) != 0});
    } else if (!shared && (c1 & 0x3FFF) == 0 && (c2 & 0x3FFF) == 0xFF) {
        AppendRow(out, {rw1, (c1 & 0x4000) != 0});
        out += u':';
        AppendRow(out, {rw2, (c2 & 0x4000) != 0});
    } else {
        AppendCell(out, rw1, c1, shared);
        out += u':';
        AppendCell(out, rw2, c2, shared);
    }
}

bool FormulaRenderer::AppendSheetPrefix(uint16_t ixti, std::u16string& out) const {
    if (!context_.sheetRanges || !context_.sheetNames || !context_.books) return false;
    if (ixti >= context_.sheetRanges->size()) return false;
    const ExcelSheetRange& range = (*context_.sheetRanges)[ixti];
    if (range.book >= context_.books->size()) return false;
    const ExcelSupportingBook& book = (*context_.books)[range.book];
    using Kind = ExcelSupportingBook::Kind;
    if (book.kind != Kind::Self && book.kind != Kind::Workbook) return false;
    const auto& names = book.kind == Kind::Self ? *context_.sheetNames : book.sheets;
    if (range.first < 0 || range.last < range.first ||
        static_cast<size_t>(range.last) >= names.size())
        return false;
    const std::u16string& first = names[range.first];
    const std::u16string& last = names[range.last];
    name_.clear();
    if (book.kind == Kind::Workbook) {
        // Another workbook: 'C:\dir\[Book.xls]Sheet1'!A1, as Excel shows a
        // reference to a workbook that is not open.
        const size_t slash = book.path.find_last_of(u"\\/");
        const size_t file = slash == std::u16string::npos ? 0 : slash + 1;
        name_.append(book.path, 0, file);
        name_ += u'[';
        name_.append(book.path, file);
        name_ += u']';
    }
    name_ += first;
    if (range.last != range.first) {
        name_ += u':';
        name_ += last;
    }
    if (book.kind == Kind::Workbook || NeedsQuotes(first) || NeedsQuotes(last)) {
        AppendSingleQuoted(out, name_);
    } else {
        out += name_;
    }
    out += u'!';
    return true;
}

// PtgName: a name of this workbook, by its position from 1 among the NAME
// records; a sheet's own name is written with its sheet from other sheets.
bool FormulaRenderer::DefinedName(uint32_t index) {
    if (!context_.names || index == 0 || index > context_.names->size()) return false;
    const ExcelDefinedName& name = (*context_.names)[index - 1];
    std::u16string& out = Push();
    if (name.sheet != 0 && name.sheet != context_.sheet && context_.sheetNames &&
        name.sheet <= context_.sheetNames->size()) {
        const std::u16string& sheet = (*context_.sheetNames)[name.sheet - 1];
        if (NeedsQuotes(sheet)) {
            AppendSingleQuoted(out, sheet);
        } else {
            out += sheet;
        }
        out += u'!';
    }
    out += name.name;
    return true;
}

// PtgNameX: a name of the workbook an EXTERNSHEET entry leads to; this
// workbook's own names, an add-in function, another workbook's name
// ('C:\dir\Book.xls'!Rate) or a DDE item (MTX|DATA!'INETAS.G.ADET').
bool FormulaRenderer::ExternalName(uint16_t ixti, uint32_t index) {
    if (!context_.sheetRanges || !context_.books || ixti >= context_.sheetRanges->size())
        return false;
    const uint16_t b = (*context_.sheetRanges)[ixti].book;
    if (b >= context_.books->size()) return false;
    const ExcelSupportingBook& book = (*context_.books)[b];
    using Kind = ExcelSupportingBook::Kind;
    if (book.kind == Kind::Self) return DefinedName(index);
    if (index == 0 || index > book.names.size()) return false;
    const std::u16string& name = book.names[index - 1];
    std::u16string& out = Push();
    switch (book.kind) {
        case Kind::AddIn:
            out += name;
            break;
        case Kind::Workbook:
            AppendSingleQuoted(out, book.path);
            out += u'!';
            out += name;
            break;
        default:
            out += book.path;
            out += u'!';
            AppendLinkPart(out, name);
            break;
    }
    return true;
}

bool FormulaRenderer::Function(uint8_t base) {
    if (base == 0x21) {  // PtgFunc: a fixed number of arguments
        const ExcelFunction* f = FindExcelFunction(tokens_.U16());
        if (!f || f->fixedArgs < 0) return false;
        return Call(f->name, static_cast<size_t>(f->fixedArgs));
    }
    const uint8_t args = tokens_.U8() & 0x7F;  // PtgFuncVar
    const uint16_t tab = tokens_.U16();
    if (tab == 0xFF) return CallNamedByFirst(args);
    // Macro commands are not rendered.
    const ExcelFunction* f = (tab & 0x8000) ? nullptr : FindExcelFunction(tab);
    if (!f) return false;
    return Call(f->name, args);
}

// PtgRef3d, PtgArea3d and their #REF! forms: sheet-qualified references.
bool FormulaRenderer::SheetOperand(uint8_t base) {
    std::u16string& out = Push();
    if (!AppendSheetPrefix(tokens_.U16(), out)) return false;
    const uint16_t rw1 = tokens_.U16();
    if (base == 0x3A) {
        AppendCell(out, rw1, tokens_.U16(), false);
    } else if (base == 0x3B) {
        const uint16_t rw2 = tokens_.U16(), c1 = tokens_.U16(), c2 = tokens_.U16();
        AppendArea(out, rw1, rw2, c1, c2, false);
    } else {
        tokens_.Skip(base == 0x3C ? 2 : 6);
        out += u"#REF!";
    }
    return true;
}

bool FormulaRenderer::Operand(uint8_t base) {
    switch (base) {
        case 0x20:
            tokens_.Skip(7);
            return ArrayConstant();
        case 0x21:
        case 0x22:
            return Function(base);
        case 0x24:
        case 0x2C: {  // PtgRef, and PtgRefN of shared formulas
            const uint16_t rw = tokens_.U16(), col = tokens_.U16();
            AppendCell(Push(), rw, col, base == 0x2C);
            return true;
        }
        case 0x25:
        case 0x2D: {  // PtgArea, PtgAreaN
            const uint16_t rw1 = tokens_.U16(), rw2 = tokens_.U16();
            const uint16_t c1 = tokens_.U16(), c2 = tokens_.U16();
            AppendArea(Push(), rw1, rw2, c1, c2, base == 0x2D);
            return true;
        }
        case 0x23:
            return DefinedName(tokens_.U32());
        case 0x39: {
            const uint16_t ixti = tokens_.U16();
            return ExternalName(ixti, tokens_.U32());
        }
        case 0x26:  // PtgMemArea: the areas it caches sit in the extra data
            tokens_.Skip(6);
            extra_.Skip(size_t{extra_.U16()} * 8);
            return true;
        case 0x27:
        case 0x28:
            tokens_.Skip(6);
            return true;
        case 0x29:
        case 0x2E:
        case 0x2F:
            tokens_.Skip(2);
            return true;
        case 0x2A:
            tokens_.Skip(4);
            Push(u"#REF!");
            return true;
        case 0x2B:
            tokens_.Skip(8);
            Push(u"#REF!");
            return true;
        case 0x3A:
        case 0x3B:
        case 0x3C:
        case 0x3D:
            return SheetOperand(base);
        default:
            return false;  // tables, data tables, and the rest
    }
}

bool FormulaRenderer::ArrayConstant() {
    const unsigned cols = extra_.U8() + 1u;
    const unsigned rows = extra_.U16() + 1u;
    std::u16string& text = Push();
    text += u'{';
    for (unsigned r = 0; r < rows; ++r) {
        for (unsigned c = 0; c < cols; ++c) {
            if (c > 0) text += u',';
            switch (extra_.U8()) {
                case 0x00:
                    extra_.Skip(8);
                    break;
                case 0x01:
                    AppendExcelNumberText(extra_.Double(), text);
                    break;
                case 0x02: {
                    const uint16_t cch = extra_.U16();
                    const bool high = (extra_.U8() & 1) != 0;
                    const unsigned char* chars = extra_.Bytes(size_t{cch} * (high ? 2 : 1));
                    AppendQuoted(text, chars, cch, high);
                    break;
                }
                case 0x04:
                    text += extra_.U8() ? u"TRUE" : u"FALSE";
                    extra_.Skip(7);
                    break;
                case 0x10:
                    text += ExcelErrorText(extra_.U8());
                    extra_.Skip(7);
                    break;
                default:
                    return false;
            }
        }
        if (r + 1 < rows) text += u';';
    }
    text += u'}';
    return true;
}

}  // namespace

namespace {

// The shortest decimal digits that read back as a finite, non-zero double,
// with its decimal exponent and sign, in fixed buffers: a sheet has a number
// in most cells.
struct ShortestDigits {
    explicit ShortestDigits(double value) {
        char sci[40];
        const auto result =
            std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
        const char* e = std::find(sci, result.ptr, 'e');
        negative = sci[0] == '-';
        for (const char* p = sci + (negative ? 1 : 0); p < e && count < sizeof digits; ++p)
            if (*p != '.') digits[count++] = *p;
        std::from_chars(e + (e[1] == '+' ? 2 : 1), result.ptr, exponent);
    }

    char digits[24];
    size_t count = 0;
    int exponent = 0;
    bool negative = false;
};

// The digits laid out as Excel writes them into `text` (64 bytes at least):
// plain decimals for exponents from -5 to 14, scientific with "E" otherwise.
// Returns the length.
size_t LayOutDigits(const ShortestDigits& d, char* text) {
    size_t n = 0;
    const char* digits = d.digits;
    const size_t count = d.count;
    const int exponent = d.exponent;
    auto put = [&](const char* from, size_t length) {
        std::memcpy(text + n, from, length);
        n += length;
    };
    auto zeros = [&](size_t length) {
        std::memset(text + n, '0', length);
        n += length;
    };
    if (d.negative) put("-", 1);
    if (exponent > -5 && exponent < 15) {
        if (exponent < 0) {
            put("0.", 2);
            zeros(static_cast<size_t>(-exponent - 1));
            put(digits, count);
        } else if (count <= static_cast<size_t>(exponent) + 1) {
            put(digits, count);
            zeros(exponent + 1 - count);
        } else {
            put(digits, exponent + 1);
            put(".", 1);
            put(digits + exponent + 1, count - exponent - 1);
        }
    } else {
        put(digits, 1);
        if (count > 1) {
            put(".", 1);
            put(digits + 1, count - 1);
        }
        const int magnitude = exponent < 0 ? -exponent : exponent;
        put(exponent < 0 ? "E-" : "E+", 2);
        if (magnitude < 10) put("0", 1);
        n = static_cast<size_t>(std::to_chars(text + n, text + 64, magnitude).ptr - text);
    }
    return n;
}

}  // namespace

void AppendExcelNumberText(double value, std::u16string& out) {
    if (!std::isfinite(value)) {
        out += u"#NUM!";
        return;
    }
    if (value == 0) {
        out += u'0';
        return;
    }
    char text[64];
    size_t n = 0;
    // Whole numbers below 1E+15 are written plain, with all their digits:
    // those of the integer, which is faster to get than the shortest digits
    // of a double (most numbers of a sheet are whole).
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        n = static_cast<size_t>(
            std::to_chars(text, text + sizeof text, static_cast<int64_t>(value)).ptr - text);
    } else {
        n = LayOutDigits(ShortestDigits(value), text);
    }
    for (size_t i = 0; i < n; ++i) out.push_back(static_cast<unsigned char>(text[i]));
}

std::u16string ExcelNumberText(double value) {
    std::u16string text;
    AppendExcelNumberText(value, text);
    return text;
}

std::u16string ExcelErrorText(uint8_t code) {
    switch (code) {
        case 0x00:
            return u"#NULL!";
        case 0x07:
            return u"#DIV/0!";
        case 0x0F:
            return u"#VALUE!";
        case 0x17:
            return u"#REF!";
        case 0x1D:
            return u"#NAME?";
        case 0x24:
            return u"#NUM!";
        case 0x2B:
            return u"#GETTING_DATA";
        default:
            return u"#N/A";
    }
}

namespace {

// The operand count a plain token leaves, from `depth` before it; -1 where
// the token is not plain or the renderer would refuse it. Follows
// FormulaRenderer::Token and Operand token by token.
// A formula's tokens read without exceptions, a plain formula being tested
// at every formula cell: a read past the end gives zeros and marks the
// formula broken. `read`, when given, gets 0xFF at the place (from `begin`)
// of each byte the test reads: the bytes its answer depends on.
struct PlainTokens {
    const unsigned char* begin;
    const unsigned char* at;
    const unsigned char* end;
    unsigned char* read = nullptr;
    bool broken = false;

    bool Skip(size_t n) {
        if (static_cast<size_t>(end - at) < n) {
            broken = true;
            at = end;
            return false;
        }
        at += n;
        return true;
    }
    uint8_t U8() { return Skip(1) ? *Marked(at - 1, 1) : 0; }
    uint16_t U16() { return Skip(2) ? LoadU16(Marked(at - 2, 2)) : 0; }
    const unsigned char* Marked(const unsigned char* p, size_t n) {
        if (read != nullptr) {
            for (size_t i = 0; i < n; ++i) read[p - begin + i] = 0xFF;
        }
        return p;
    }
};

int PlainToken(PlainTokens& tokens, uint8_t ptg, int depth) {
    if (ptg >= 0x03 && ptg <= 0x11) return depth >= 2 ? depth - 1 : -1;  // binary operators
    switch (ptg) {
        case 0x12:
        case 0x13:
        case 0x14:
        case 0x15:
            return depth >= 1 ? depth : -1;
        case 0x16:
            return depth + 1;
        case 0x19: {
            const uint8_t kind = tokens.U8();
            const uint16_t data = tokens.U16();
            if (kind & 0x04) tokens.Skip((size_t{data} + 1) * 2);
            return (kind & 0x10) && depth < 1 ? -1 : depth;
        }
        case 0x1C:
        case 0x1D:
            tokens.Skip(1);
            return depth + 1;
        case 0x1E:
            tokens.Skip(2);
            return depth + 1;
        case 0x1F:
            tokens.Skip(8);
            return depth + 1;
        default:
            break;
    }
    if (ptg < 0x20 || ptg >= 0x80) return -1;
    switch ((ptg & 0x1F) | 0x20) {
        case 0x21: {
            const ExcelFunction* f = FindExcelFunction(tokens.U16());
            if (!f || f->fixedArgs < 0 || depth < f->fixedArgs) return -1;
            return depth - f->fixedArgs + 1;
        }
        case 0x22: {
            const int args = tokens.U8() & 0x7F;
            const uint16_t tab = tokens.U16();
            if (tab == 0xFF || (tab & 0x8000) || !FindExcelFunction(tab) || depth < args) return -1;
            return depth - args + 1;
        }
        case 0x24:
        case 0x2C:
            tokens.Skip(4);
            return depth + 1;
        case 0x25:
        case 0x2D:
            tokens.Skip(8);
            return depth + 1;
        case 0x27:
        case 0x28:
            tokens.Skip(6);
            return depth;
        case 0x29:
        case 0x2E:
        case 0x2F:
            tokens.Skip(2);
            return depth;
        case 0x2A:
            tokens.Skip(4);
            return depth + 1;
        case 0x2B:
            tokens.Skip(8);
            return depth + 1;
        default:
            return -1;  // strings, arrays, names, sheets, and what does not render
    }
}

bool IsPlainFormula(const unsigned char* rgce, size_t cce, unsigned char* read) {
    // No plain token writes more than seven characters a byte (an error
    // value of two bytes and the comma before it), so a formula this short
    // stays within kMaxFormulaText.
    if (cce > kMaxFormulaText / 8) return false;
    PlainTokens tokens{rgce, rgce, rgce + cce, read};
    int depth = 0;
    while (tokens.at < tokens.end) {
        depth = PlainToken(tokens, tokens.U8(), depth);
        if (depth < 0 || tokens.broken) return false;
    }
    return depth == 1;
}

}  // namespace

bool IsPlainExcelFormula(const unsigned char* rgce, size_t cce) {
    return IsPlainFormula(rgce, cce, nullptr);
}

bool PlainFormulaMemo::IsPlain(const unsigned char* rgce, size_t cce) {
    if (cce > kBytes) return IsPlainExcelFormula(rgce, cce);
    if (cce == length_) {
        // Eight bytes a step, then the few left.
        uint64_t differ = 0;
        size_t i = 0;
        for (; i + 8 <= cce; i += 8) {
            uint64_t now, then, read;
            std::memcpy(&now, rgce + i, 8);
            std::memcpy(&then, bytes_.data() + i, 8);
            std::memcpy(&read, read_.data() + i, 8);
            differ |= (now ^ then) & read;
        }
        for (; i < cce; ++i) differ |= (rgce[i] ^ bytes_[i]) & read_[i];
        if (differ == 0) return plain_;
    }
    std::fill_n(read_.begin(), cce, 0);
    plain_ = IsPlainFormula(rgce, cce, read_.data());
    std::copy_n(rgce, cce, bytes_.begin());
    length_ = cce;
    return plain_;
}

std::u16string_view PlainExcelFormulaWords() {
    static const std::u16string words = [] {
        std::u16string all =
            u"sum true false #null! #div/0! #value! #ref! #name? #num! #n/a "
            u"#getting_data";
        for (const ExcelFunction& f : ExcelFunctions()) {
            all += u' ';
            for (const char* c = f.name; *c; ++c)
                all += static_cast<char16_t>(*c >= 'A' && *c <= 'Z' ? *c + 32 : *c);
        }
        return all;
    }();
    return words;
}

namespace {

bool CouldBeInWords(std::u16string_view folded) {
    const std::u16string_view words = PlainExcelFormulaWords();
    size_t run = 0;  // where the run of letters ending here started
    for (size_t i = 0; i <= folded.size(); ++i) {
        const char16_t c = i < folded.size() ? folded[i] : u' ';
        if (c < 0x20 || c > 0x7E) return false;
        if (c >= u'a' && c <= u'z') continue;
        // Three letters or fewer may be a column's; a longer run lies in a word.
        if (i - run > 3 && words.find(folded.substr(run, i - run)) == std::u16string_view::npos)
            return false;
        run = i + 1;
    }
    return true;
}

}  // namespace

bool CouldBeInPlainExcelFormula(std::u16string_view folded) {
    // Each workbook of a search asks again of the same phrase.
    thread_local std::u16string lastAsked;
    thread_local bool lastAnswer = false;
    if (!lastAsked.empty() && folded == lastAsked) return lastAnswer;
    lastAnswer = CouldBeInWords(folded);
    lastAsked = folded;
    return lastAnswer;
}

bool ExcelFormulaRenderer::Render(const unsigned char* rgce, size_t cce, const unsigned char* rgcb,
                                  size_t cb, const ExcelFormulaContext& context,
                                  std::u16string& out) {
    FormulaRenderer renderer(rgce, cce, rgcb, cb, context, buffers_);
    try {
        return renderer.Render(out);
    } catch (const DocumentError&) {
        // A token that runs past the formula's bytes: show the cached value.
        return false;
    }
}

bool RenderExcelFormula(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                        const ExcelFormulaContext& context, std::u16string& out) {
    ExcelFormulaRenderer renderer;
    return renderer.Render(rgce, cce, rgcb, cb, context, out);
}

}  // namespace querna
