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

namespace querna {

namespace {

std::u16string Widen(const char* text) {
    std::u16string out;
    while (*text) out.push_back(static_cast<unsigned char>(*text++));
    return out;
}

struct FunctionInfo {
    uint16_t index;
    int8_t fixedArgs;  // -1: variable, only called through PtgFuncVar
    const char* name;
};

// The worksheet functions of Ftab, sorted by index.
// clang-format off
constexpr FunctionInfo kFunctions[] = {
    {0, -1, "COUNT"}, {1, -1, "IF"}, {2, 1, "ISNA"},
    {3, 1, "ISERROR"}, {4, -1, "SUM"}, {5, -1, "AVERAGE"},
    {6, -1, "MIN"}, {7, -1, "MAX"}, {8, -1, "ROW"},
    {9, -1, "COLUMN"}, {10, 0, "NA"}, {11, -1, "NPV"},
    {12, -1, "STDEV"}, {13, -1, "DOLLAR"}, {14, -1, "FIXED"},
    {15, 1, "SIN"}, {16, 1, "COS"}, {17, 1, "TAN"},
    {18, 1, "ATAN"}, {19, 0, "PI"}, {20, 1, "SQRT"},
    {21, 1, "EXP"}, {22, 1, "LN"}, {23, 1, "LOG10"},
    {24, 1, "ABS"}, {25, 1, "INT"}, {26, 1, "SIGN"},
    {27, 2, "ROUND"}, {28, -1, "LOOKUP"}, {29, -1, "INDEX"},
    {30, 2, "REPT"}, {31, 3, "MID"}, {32, 1, "LEN"},
    {33, 1, "VALUE"}, {34, 0, "TRUE"}, {35, 0, "FALSE"},
    {36, -1, "AND"}, {37, -1, "OR"}, {38, 1, "NOT"},
    {39, 2, "MOD"}, {40, 3, "DCOUNT"}, {41, 3, "DSUM"},
    {42, 3, "DAVERAGE"}, {43, 3, "DMIN"}, {44, 3, "DMAX"},
    {45, 3, "DSTDEV"}, {46, -1, "VAR"}, {47, 3, "DVAR"},
    {48, 2, "TEXT"}, {49, -1, "LINEST"}, {50, -1, "TREND"},
    {51, -1, "LOGEST"}, {52, -1, "GROWTH"}, {56, -1, "PV"},
    {57, -1, "FV"}, {58, -1, "NPER"}, {59, -1, "PMT"},
    {60, -1, "RATE"}, {61, 3, "MIRR"}, {62, -1, "IRR"},
    {63, 0, "RAND"}, {64, -1, "MATCH"}, {65, 3, "DATE"},
    {66, 3, "TIME"}, {67, 1, "DAY"}, {68, 1, "MONTH"},
    {69, 1, "YEAR"}, {70, -1, "WEEKDAY"}, {71, 1, "HOUR"},
    {72, 1, "MINUTE"}, {73, 1, "SECOND"}, {74, 0, "NOW"},
    {75, 1, "AREAS"}, {76, 1, "ROWS"}, {77, 1, "COLUMNS"},
    {78, -1, "OFFSET"}, {82, -1, "SEARCH"}, {83, 1, "TRANSPOSE"},
    {86, 1, "TYPE"}, {97, 2, "ATAN2"}, {98, 1, "ASIN"},
    {99, 1, "ACOS"}, {100, -1, "CHOOSE"}, {101, -1, "HLOOKUP"},
    {102, -1, "VLOOKUP"}, {105, 1, "ISREF"}, {109, -1, "LOG"},
    {111, 1, "CHAR"}, {112, 1, "LOWER"}, {113, 1, "UPPER"},
    {114, 1, "PROPER"}, {115, -1, "LEFT"}, {116, -1, "RIGHT"},
    {117, 2, "EXACT"}, {118, 1, "TRIM"}, {119, 4, "REPLACE"},
    {120, -1, "SUBSTITUTE"}, {121, 1, "CODE"}, {124, -1, "FIND"},
    {125, -1, "CELL"}, {126, 1, "ISERR"}, {127, 1, "ISTEXT"},
    {128, 1, "ISNUMBER"}, {129, 1, "ISBLANK"}, {130, 1, "T"},
    {131, 1, "N"}, {140, 1, "DATEVALUE"}, {141, 1, "TIMEVALUE"},
    {142, 3, "SLN"}, {143, 4, "SYD"}, {144, -1, "DDB"},
    {148, -1, "INDIRECT"}, {162, 1, "CLEAN"}, {163, 1, "MDETERM"},
    {164, 1, "MINVERSE"}, {165, 2, "MMULT"}, {167, -1, "IPMT"},
    {168, -1, "PPMT"}, {169, -1, "COUNTA"}, {183, -1, "PRODUCT"},
    {184, 1, "FACT"}, {189, 3, "DPRODUCT"}, {190, 1, "ISNONTEXT"},
    {193, -1, "STDEVP"}, {194, -1, "VARP"}, {195, 3, "DSTDEVP"},
    {196, 3, "DVARP"}, {197, -1, "TRUNC"}, {198, 1, "ISLOGICAL"},
    {199, 3, "DCOUNTA"}, {205, -1, "FINDB"}, {206, -1, "SEARCHB"},
    {207, 4, "REPLACEB"}, {208, -1, "LEFTB"}, {209, -1, "RIGHTB"},
    {210, 3, "MIDB"}, {211, 1, "LENB"}, {212, 2, "ROUNDUP"},
    {213, 2, "ROUNDDOWN"}, {214, 1, "ASC"}, {215, 1, "DBCS"},
    {216, -1, "RANK"}, {219, -1, "ADDRESS"}, {220, -1, "DAYS360"},
    {221, 0, "TODAY"}, {222, -1, "VDB"}, {227, -1, "MEDIAN"},
    {228, -1, "SUMPRODUCT"}, {229, 1, "SINH"}, {230, 1, "COSH"},
    {231, 1, "TANH"}, {232, 1, "ASINH"}, {233, 1, "ACOSH"},
    {234, 1, "ATANH"}, {235, 3, "DGET"}, {244, 1, "INFO"},
    {247, -1, "DB"}, {252, 2, "FREQUENCY"}, {261, 1, "ERROR.TYPE"},
    {269, -1, "AVEDEV"}, {270, -1, "BETADIST"}, {271, 1, "GAMMALN"},
    {272, -1, "BETAINV"}, {273, 4, "BINOMDIST"}, {274, 2, "CHIDIST"},
    {275, 2, "CHIINV"}, {276, 2, "COMBIN"}, {277, 3, "CONFIDENCE"},
    {278, 3, "CRITBINOM"}, {279, 1, "EVEN"}, {280, 3, "EXPONDIST"},
    {281, 3, "FDIST"}, {282, 3, "FINV"}, {283, 1, "FISHER"},
    {284, 1, "FISHERINV"}, {285, 2, "FLOOR"}, {286, 4, "GAMMADIST"},
    {287, 3, "GAMMAINV"}, {288, 2, "CEILING"}, {289, 4, "HYPGEOMDIST"},
    {290, 3, "LOGNORMDIST"}, {291, 3, "LOGINV"}, {292, 3, "NEGBINOMDIST"},
    {293, 4, "NORMDIST"}, {294, 1, "NORMSDIST"}, {295, 3, "NORMINV"},
    {296, 1, "NORMSINV"}, {297, 3, "STANDARDIZE"}, {298, 1, "ODD"},
    {299, 2, "PERMUT"}, {300, 3, "POISSON"}, {301, 3, "TDIST"},
    {302, 4, "WEIBULL"}, {303, 2, "SUMXMY2"}, {304, 2, "SUMX2MY2"},
    {305, 2, "SUMX2PY2"}, {306, 2, "CHITEST"}, {307, 2, "CORREL"},
    {308, 2, "COVAR"}, {309, 3, "FORECAST"}, {310, 2, "FTEST"},
    {311, 2, "INTERCEPT"}, {312, 2, "PEARSON"}, {313, 2, "RSQ"},
    {314, 2, "STEYX"}, {315, 2, "SLOPE"}, {316, 4, "TTEST"},
    {317, -1, "PROB"}, {318, -1, "DEVSQ"}, {319, -1, "GEOMEAN"},
    {320, -1, "HARMEAN"}, {321, -1, "SUMSQ"}, {322, -1, "KURT"},
    {323, -1, "SKEW"}, {324, -1, "ZTEST"}, {325, 2, "LARGE"},
    {326, 2, "SMALL"}, {327, 2, "QUARTILE"}, {328, 2, "PERCENTILE"},
    {329, -1, "PERCENTRANK"}, {330, -1, "MODE"}, {331, 2, "TRIMMEAN"},
    {332, 2, "TINV"}, {336, -1, "CONCATENATE"}, {337, 2, "POWER"},
    {342, 1, "RADIANS"}, {343, 1, "DEGREES"}, {344, -1, "SUBTOTAL"},
    {345, -1, "SUMIF"}, {346, 2, "COUNTIF"}, {347, 1, "COUNTBLANK"},
    {350, 4, "ISPMT"}, {351, 3, "DATEDIF"}, {352, 1, "DATESTRING"},
    {353, 2, "NUMBERSTRING"}, {354, -1, "ROMAN"}, {358, -1, "GETPIVOTDATA"},
    {359, -1, "HYPERLINK"}, {360, 1, "PHONETIC"}, {361, -1, "AVERAGEA"},
    {362, -1, "MAXA"}, {363, -1, "MINA"}, {364, -1, "STDEVPA"},
    {365, -1, "VARPA"}, {366, -1, "STDEVA"}, {367, -1, "VARA"},
};
// clang-format on

const FunctionInfo* FindFunction(uint16_t index) {
    const auto* end = std::end(kFunctions);
    const auto* it =
        std::lower_bound(std::begin(kFunctions), end, index,
                         [](const FunctionInfo& f, uint16_t i) { return f.index < i; });
    return (it != end && it->index == index) ? it : nullptr;
}

std::u16string ColumnLetters(unsigned col) {
    std::u16string letters;
    for (unsigned n = col + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char16_t>(u'A' + (n - 1) % 26));
    return letters;
}

std::u16string Decimal(uint64_t n) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, n);
    return std::u16string(digits, result.ptr);
}

// A row or column of a reference: its number and whether it is relative.
struct RefPart {
    unsigned value;
    bool relative;
};

std::u16string RowText(RefPart row) {
    std::u16string text(row.relative ? u"" : u"$");
    text += Decimal(row.value + 1);
    return text;
}
std::u16string ColText(RefPart col) {
    std::u16string text(col.relative ? u"" : u"$");
    text += ColumnLetters(col.value);
    return text;
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
std::u16string SingleQuoted(const std::u16string& text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        out.push_back(c);
        if (c == u'\'') out.push_back(c);
    }
    return out + u"'";
}

// A DDE link's topic or item as Excel writes it: quoted unless it is one word.
std::u16string LinkPart(const std::u16string& text) {
    const bool word = !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || (c >= 0x80 && c != 0x3000);
    });
    return word ? text : SingleQuoted(text);
}

// Excel shows formulas of at most 8,192 characters. Long names and paths of
// other workbooks could make a few bytes of tokens render to far more; past
// this many characters the formula is not rendered.
constexpr size_t kMaxFormulaText = 4 * 8192;

class FormulaRenderer {
  public:
    FormulaRenderer(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                    const ExcelFormulaContext& context)
        : tokens_(rgce, cce), extra_(rgcb, cb), context_(context) {}

    bool Render(std::u16string& out) {
        while (tokens_.Remaining() > 0) {
            if (!Token(tokens_.U8()) || stackChars_ > kMaxFormulaText) return false;
        }
        if (stack_.size() != 1) return false;
        out = u"=" + stack_.back();
        return true;
    }

  private:
    void Push(std::u16string value) {
        stackChars_ += value.size();
        stack_.push_back(std::move(value));
    }
    bool Pop(std::u16string& value) {
        if (stack_.empty()) return false;
        value = std::move(stack_.back());
        stack_.pop_back();
        stackChars_ -= value.size();
        return true;
    }
    bool Binary(const char16_t* op) {
        std::u16string left, right;
        if (!Pop(right) || !Pop(left)) return false;
        Push(left + op + right);
        return true;
    }
    bool Wrap(const char16_t* before, const char16_t* after) {
        std::u16string value;
        if (!Pop(value)) return false;
        Push(before + value + after);
        return true;
    }
    bool Call(const std::u16string& name, size_t args) {
        if (args > stack_.size()) return false;
        std::u16string text = name + u"(";
        for (size_t i = stack_.size() - args; i < stack_.size(); ++i) {
            if (i > stack_.size() - args) text += u",";
            text += stack_[i];
            stackChars_ -= stack_[i].size();
        }
        stack_.resize(stack_.size() - args);
        Push(text + u")");
        return true;
    }

    bool Token(uint8_t ptg);
    bool Operand(uint8_t base);
    bool Function(uint8_t base);
    bool SheetOperand(uint8_t base);
    bool ArrayConstant();
    std::u16string String(uint16_t cch);
    bool SheetPrefix(uint16_t ixti, std::u16string& prefix) const;
    bool DefinedName(uint32_t index);
    bool ExternalName(uint16_t ixti, uint32_t index);
    std::u16string Cell(uint16_t rw, uint16_t col, bool shared) const;
    std::u16string Area(uint16_t rw1, uint16_t rw2, uint16_t c1, uint16_t c2, bool shared) const;

    FieldReader tokens_;
    FieldReader extra_;
    const ExcelFormulaContext& context_;
    std::vector<std::u16string> stack_;
    size_t stackChars_ = 0;  // all the characters on the stack
};

std::u16string FormulaRenderer::String(uint16_t cch) {
    const bool high = (tokens_.U8() & 1) != 0;
    const unsigned char* chars = tokens_.Bytes(size_t{cch} * (high ? 2 : 1));
    std::u16string text;
    for (uint16_t i = 0; i < cch; ++i) text.push_back(high ? LoadU16(chars + 2 * i) : chars[i]);
    return text;
}

std::u16string Quoted(const std::u16string& text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        out.push_back(c);
        if (c == u'"') out.push_back(c);
    }
    return out + u"\"";
}

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
            Push({});
            return true;
        case 0x17:
            Push(Quoted(String(tokens_.U8())));
            return true;
        case 0x19: {  // PtgAttr: evaluation hints, except the optimised SUM
            const uint8_t kind = tokens_.U8();
            const uint16_t data = tokens_.U16();
            if (kind & 0x04) tokens_.Skip((size_t{data} + 1) * 2);  // CHOOSE jump table
            if (kind & 0x10) return Call(u"SUM", 1);
            return true;
        }
        case 0x1C:
            Push(ExcelErrorText(tokens_.U8()));
            return true;
        case 0x1D:
            Push(tokens_.U8() ? u"TRUE" : u"FALSE");
            return true;
        case 0x1E:
            Push(Decimal(tokens_.U16()));
            return true;
        case 0x1F:
            Push(ExcelNumberText(tokens_.Double()));
            return true;
        default:
            break;
    }
    if (ptg < 0x20 || ptg >= 0x80) return false;  // PtgExp, PtgTbl, extended tokens
    return Operand(static_cast<uint8_t>((ptg & 0x1F) | 0x20));
}

std::u16string FormulaRenderer::Cell(uint16_t rw, uint16_t col, bool shared) const {
    RefPart row{rw, (col & 0x4000) != 0}, column{col & 0x3FFFu, (col & 0x8000) != 0};
    if (shared && row.relative) row.value = (context_.row + static_cast<int16_t>(rw)) & 0xFFFF;
    if (shared && column.relative)
        column.value = (context_.col + static_cast<int8_t>(col & 0xFF)) & 0xFF;
    return ColText(column) + RowText(row);
}

std::u16string FormulaRenderer::Area(uint16_t rw1, uint16_t rw2, uint16_t c1, uint16_t c2,
                                     bool shared) const {
    // Whole columns and whole rows are written without the other half.
    if (!shared && rw1 == 0 && rw2 == 0xFFFF) {
        return ColText({c1 & 0x3FFFu, (c1 & 0x8000) != 0}) + u":" +
               ColText({c2 & 0x3FFFu, (c2 & 0x8000) != 0});
    }
    if (!shared && (c1 & 0x3FFF) == 0 && (c2 & 0x3FFF) == 0xFF) {
        return RowText({rw1, (c1 & 0x4000) != 0}) + u":" + RowText({rw2, (c2 & 0x4000) != 0});
    }
    return Cell(rw1, c1, shared) + u":" + Cell(rw2, c2, shared);
}

bool FormulaRenderer::SheetPrefix(uint16_t ixti, std::u16string& prefix) const {
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
    std::u16string name = first;
    if (range.last != range.first) name += u":" + last;
    if (book.kind == Kind::Workbook) {
        // Another workbook: 'C:\dir\[Book.xls]Sheet1'!A1, as Excel shows a
        // reference to a workbook that is not open.
        const size_t slash = book.path.find_last_of(u"\\/");
        const size_t file = slash == std::u16string::npos ? 0 : slash + 1;
        name = book.path.substr(0, file) + u"[" + book.path.substr(file) + u"]" + name;
        prefix = SingleQuoted(name);
    } else {
        prefix = NeedsQuotes(first) || NeedsQuotes(last) ? SingleQuoted(name) : name;
    }
    prefix += u"!";
    return true;
}

// PtgName: a name of this workbook, by its position from 1 among the NAME
// records; a sheet's own name is written with its sheet from other sheets.
bool FormulaRenderer::DefinedName(uint32_t index) {
    if (!context_.names || index == 0 || index > context_.names->size()) return false;
    const ExcelDefinedName& name = (*context_.names)[index - 1];
    std::u16string text;
    if (name.sheet != 0 && name.sheet != context_.sheet && context_.sheetNames &&
        name.sheet <= context_.sheetNames->size()) {
        const std::u16string& sheet = (*context_.sheetNames)[name.sheet - 1];
        text = (NeedsQuotes(sheet) ? SingleQuoted(sheet) : sheet) + u"!";
    }
    Push(text + name.name);
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
    switch (book.kind) {
        case Kind::AddIn:
            Push(name);
            break;
        case Kind::Workbook:
            Push(SingleQuoted(book.path) + u"!" + name);
            break;
        default:
            Push(book.path + u"!" + LinkPart(name));
            break;
    }
    return true;
}

bool FormulaRenderer::Function(uint8_t base) {
    if (base == 0x21) {  // PtgFunc: a fixed number of arguments
        const FunctionInfo* f = FindFunction(tokens_.U16());
        if (!f || f->fixedArgs < 0) return false;
        return Call(Widen(f->name), static_cast<size_t>(f->fixedArgs));
    }
    const uint8_t args = tokens_.U8() & 0x7F;  // PtgFuncVar
    const uint16_t tab = tokens_.U16();
    if (tab == 0xFF) {
        // An add-in or macro function: its name is the first argument.
        if (args == 0 || args > stack_.size()) return false;
        const size_t first = stack_.size() - args;
        const std::u16string name = std::move(stack_[first]);
        stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(first));
        stackChars_ -= name.size();
        return Call(name, args - 1u);
    }
    // Macro commands are not rendered.
    const FunctionInfo* f = (tab & 0x8000) ? nullptr : FindFunction(tab);
    if (!f) return false;
    return Call(Widen(f->name), args);
}

// PtgRef3d, PtgArea3d and their #REF! forms: sheet-qualified references.
bool FormulaRenderer::SheetOperand(uint8_t base) {
    std::u16string prefix;
    if (!SheetPrefix(tokens_.U16(), prefix)) return false;
    const uint16_t rw1 = tokens_.U16();
    if (base == 0x3A) {
        Push(prefix + Cell(rw1, tokens_.U16(), false));
    } else if (base == 0x3B) {
        const uint16_t rw2 = tokens_.U16(), c1 = tokens_.U16(), c2 = tokens_.U16();
        Push(prefix + Area(rw1, rw2, c1, c2, false));
    } else {
        tokens_.Skip(base == 0x3C ? 2 : 6);
        Push(prefix + u"#REF!");
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
            Push(Cell(rw, col, base == 0x2C));
            return true;
        }
        case 0x25:
        case 0x2D: {  // PtgArea, PtgAreaN
            const uint16_t rw1 = tokens_.U16(), rw2 = tokens_.U16();
            const uint16_t c1 = tokens_.U16(), c2 = tokens_.U16();
            Push(Area(rw1, rw2, c1, c2, base == 0x2D));
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
    std::u16string text = u"{";
    for (unsigned r = 0; r < rows; ++r) {
        for (unsigned c = 0; c < cols; ++c) {
            if (c > 0) text += u",";
            switch (extra_.U8()) {
                case 0x00:
                    extra_.Skip(8);
                    break;
                case 0x01:
                    text += ExcelNumberText(extra_.Double());
                    break;
                case 0x02: {
                    const uint16_t cch = extra_.U16();
                    const bool high = (extra_.U8() & 1) != 0;
                    const unsigned char* chars = extra_.Bytes(size_t{cch} * (high ? 2 : 1));
                    std::u16string s;
                    for (uint16_t i = 0; i < cch; ++i)
                        s.push_back(high ? LoadU16(chars + 2 * i) : chars[i]);
                    text += Quoted(s);
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
        if (r + 1 < rows) text += u";";
    }
    Push(text + u"}");
    return true;
}

}  // namespace

std::u16string ExcelNumberText(double value) {
    if (!std::isfinite(value)) return u"#NUM!";
    if (value == 0) return u"0";
    // The shortest round-trip digits, then laid out as Excel does: plain
    // decimals for exponents from -5 to 14, scientific with "E" otherwise.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string sci(buffer, result.ptr);
    const size_t e = sci.find('e');
    const bool negative = sci[0] == '-';
    std::string digits;
    for (size_t i = negative ? 1 : 0; i < e; ++i)
        if (sci[i] != '.') digits.push_back(sci[i]);
    const int exponent = std::stoi(sci.substr(e + 1));
    std::string text = negative ? "-" : "";
    if (exponent > -5 && exponent < 15) {
        if (exponent < 0) {
            text += "0.";
            text.append(static_cast<size_t>(-exponent - 1), '0');
            text += digits;
        } else if (digits.size() <= static_cast<size_t>(exponent) + 1) {
            text += digits;
            text.append(exponent + 1 - digits.size(), '0');
        } else {
            text.append(digits, 0, exponent + 1);
            text += '.';
            text.append(digits, exponent + 1);
        }
    } else {
        text += digits.substr(0, 1);
        if (digits.size() > 1) {
            text += '.';
            text.append(digits, 1);
        }
        const int magnitude = exponent < 0 ? -exponent : exponent;
        text += exponent < 0 ? "E-" : "E+";
        if (magnitude < 10) text += "0";
        text += std::to_string(magnitude);
    }
    return Widen(text.c_str());
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

bool RenderExcelFormula(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb,
                        const ExcelFormulaContext& context, std::u16string& out) {
    FormulaRenderer renderer(rgce, cce, rgcb, cb, context);
    try {
        return renderer.Render(out);
    } catch (const DocumentError&) {
        // A token that runs past the formula's bytes: show the cached value.
        return false;
    }
}

}  // namespace querna
