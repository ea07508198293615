#include "documents/SpreadsheetText.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "documents/DocumentLimits.h"
#include "documents/ExcelFormulaText.h"
#include "documents/OoxmlPackage.h"
#include "documents/SpreadsheetShared.h"
#include "documents/XmlTokenizer.h"

namespace querna {

namespace {

using ooxml::Ns;
// Names compared as views whose length is known where they are written.
using namespace std::string_view_literals;

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;  // XFD

bool IsAsciiLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsNameChar(char16_t c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == u'_' || c == u'.' || c == u'$' || c == u'\\' ||
           c >= 0x80;
}

struct CellPosition {
    int row = 0;
    int column = 0;
    bool rowFixed = false;
    bool columnFixed = false;
};

// "B7", "$B$7": one to three letters, one to seven digits, each part
// optionally fixed by '$', within the sheet. False for anything else. Read
// from a formula's characters, or from a cell's reference as its bytes stand.
template <class Char>
bool ParseCellReference(std::basic_string_view<Char> text, CellPosition& cell) {
    size_t i = 0;
    cell = {};
    if (i < text.size() && text[i] == '$') {
        cell.columnFixed = true;
        ++i;
    }
    const size_t lettersStart = i;
    while (i < text.size() && IsAsciiLetter(text[i]) && i - lettersStart < 4) {
        const char16_t upper = text[i] >= 'a' ? static_cast<char16_t>(text[i] - 32) : text[i];
        cell.column = cell.column * 26 + (upper - u'A' + 1);
        ++i;
    }
    if (i == lettersStart || i - lettersStart > 3) return false;
    if (i < text.size() && text[i] == '$') {
        cell.rowFixed = true;
        ++i;
    }
    const size_t digitsStart = i;
    while (i < text.size() && IsDigit(text[i]) && i - digitsStart < 8) {
        cell.row = cell.row * 10 + (text[i] - '0');
        ++i;
    }
    return i == text.size() && i > digitsStart && i - digitsStart <= 7 && cell.row >= 1 &&
           cell.row <= kMaxRow && cell.column <= kMaxColumn;
}

void AppendCellReference(const CellPosition& cell, std::u16string& out) {
    AppendColumnLetters(out, static_cast<unsigned>(cell.column), cell.columnFixed);
    AppendRowNumber(out, static_cast<unsigned>(cell.row), cell.rowFixed);
}

// Copies a quoted run ("text" or 'sheet name', the quote doubled inside) or a
// bracketed one ([table column], nested) starting at `i`; returns the
// position after it. References inside are names, not cells: never moved.
size_t CopyQuoted(std::u16string_view formula, size_t i, std::u16string& out) {
    const char16_t open = formula[i];
    if (open == u'[') {
        size_t depth = 0;
        for (; i < formula.size(); ++i) {
            out += formula[i];
            if (formula[i] == u'[') ++depth;
            if (formula[i] == u']' && --depth == 0) return i + 1;
        }
        return i;
    }
    out += formula[i++];
    while (i < formula.size()) {
        const char16_t c = formula[i++];
        out += c;
        if (c != open) continue;
        if (i < formula.size() && formula[i] == open) {
            out += formula[i++];
            continue;
        }
        return i;
    }
    return i;
}

std::u16string_view WithoutFuturePrefixes(std::u16string_view token) {
    if (token.empty() || token[0] != u'_') return token;  // as nearly every token
    for (bool more = true; more;) {
        more = false;
        for (std::u16string_view prefix : {u"_xlfn.", u"_xlws."}) {
            if (token.size() > prefix.size() && token.substr(0, prefix.size()) == prefix) {
                token.remove_prefix(prefix.size());
                more = true;
            }
        }
    }
    return token;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Whether every character of `text` is one a number's text is written with:
// a sink that takes no numbers can find nothing in it.
bool IsNumberText(std::u16string_view text) {
    for (char16_t c : text) {
        if (!IsDigit(c) && c != u'-' && c != u'+' && c != u'.' && c != u'E' && c != u'e') {
            return false;
        }
    }
    return true;
}

// The runs of letters of a plain formula's words (PlainExcelFormulaWords),
// sorted.
const std::vector<std::string>& PlainFormulaWords() {
    static const std::vector<std::string> words = [] {
        std::vector<std::string> runs;
        std::string run;
        for (const char16_t c : PlainExcelFormulaWords()) {
            if (c >= u'a' && c <= u'z') {
                run += static_cast<char>(c);
            } else if (!run.empty()) {
                runs.push_back(run);
                run.clear();
            }
        }
        if (!run.empty()) runs.push_back(run);
        std::sort(runs.begin(), runs.end());
        runs.erase(std::unique(runs.begin(), runs.end()), runs.end());
        return runs;
    }();
    return words;
}

// Whether a run of ASCII letters longer than a column's is a word of a plain
// formula.
bool IsPlainFormulaWord(std::u16string_view letters) {
    constexpr size_t kLongest = 32;  // longer than any function name
    if (letters.size() > kLongest) return false;
    char lower[kLongest];
    for (size_t i = 0; i < letters.size(); ++i) lower[i] = static_cast<char>(letters[i] | 0x20);
    const std::vector<std::string>& words = PlainFormulaWords();
    return std::binary_search(words.begin(), words.end(), std::string_view(lower, letters.size()),
                              [](std::string_view a, std::string_view b) { return a < b; });
}

// Whether a formula as stored reads as a plain one (printable ASCII, every
// run of more than three letters a word of one), so that a sink that takes
// no plain formulas can find nothing in "=" and the formula as shown: moving
// references and dropping future prefixes (which hold a run no plain word
// has) keep both true.
bool IsPlainFormulaText(std::u16string_view formula) {
    size_t run = 0;  // where the run of letters ending here started
    for (size_t i = 0; i < formula.size(); ++i) {
        const char16_t c = formula[i];
        if (static_cast<char16_t>((c | 0x20) - u'a') < 26) continue;  // a letter
        if (c < 0x20 || c > 0x7E) return false;
        if (i - run > 3 && !IsPlainFormulaWord(formula.substr(run, i - run))) return false;
        run = i + 1;
    }
    return formula.size() - run <= 3 || IsPlainFormulaWord(formula.substr(run));
}

// Whether `text` holds a '_', which every escape starts with: asked of every
// shared string, eight characters a step.
bool HasUnderscore(std::u16string_view text) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i underscore = _mm_set1_epi16(u'_');
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(c, underscore)) != 0) return true;
    }
#endif
    for (; i < text.size(); ++i) {
        if (text[i] == u'_') return true;
    }
    return false;
}

// Reads the shared-strings part, its root read, into `strings`.
template <class Reader>
void ReadSharedStrings(Reader& reader, SharedStringTable& strings) {
    bool inItem = false, inText = false;
    std::u16string item;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Text) {
            if (inItem && inText) AppendToUnit(item, reader.Text());
            continue;
        }
        if (ooxml::NamespaceOf(reader) != Ns::Sheet) continue;
        const std::u16string_view name = reader.LocalName();
        if (node == XmlNode::Start && name == u"rPh"sv) {
            SkipRestOfElement(reader);  // phonetic guide text, not the cell's
        } else if (name == u"si"sv) {
            inItem = node == XmlNode::Start;
            if (inItem) continue;
            AppendDecodedEscapes(item, strings.TextFor(item.size()));
            strings.EndString();
            item.clear();
        } else if (name == u"t"sv) {
            inText = node == XmlNode::Start;
        }
    }
}

// The types of cell (its t attribute) read differently from a number's.
enum class CellType { Other, SharedString, InlineString, Boolean };

template <class Char>
CellType CellTypeOf(std::basic_string_view<Char> t) {
    if (t.size() == 1 && t[0] == 's') return CellType::SharedString;
    if (t.size() == 1 && t[0] == 'b') return CellType::Boolean;
    constexpr std::string_view kInline = "inlineStr";
    return std::equal(t.begin(), t.end(), kInline.begin(), kInline.end()) ? CellType::InlineString
                                                                          : CellType::Other;
}

// One cell as it is read: its type, place, formula, value and inline string.
struct Cell {
    CellType type = CellType::Other;
    bool placed = false;  // its reference names a cell of the sheet: `here`
    CellPosition here;
    std::u16string formula, value, inlineText;
    bool hasFormula = false;
    bool sharedFormula = false;
    std::u16string sharedIndex;

    // Empties the cell for the next, its strings keeping their room.
    void Clear() {
        formula.clear(), value.clear(), inlineText.clear();
        sharedIndex.clear();
        hasFormula = sharedFormula = false;
    }
};

struct SharedFormula {
    std::u16string text;
    CellPosition anchor;
};

template <class Reader>
class SheetReader {
  public:
    SheetReader(Reader& reader, const SharedStringTable& strings, std::u16string_view name,
                TextUnitSink& sink, SharedStringsShown& shown)
        : reader_(reader),
          strings_(strings),
          sink_(sink),
          shown_(shown),
          numbers_(sink.TakesNumbers()),
          plainFormulas_(sink.TakesPlainFormulas()) {
        place_.sheet = name;
    }

    // True when the sink has had enough; the root was read.
    bool Read() {
        for (XmlNode node = reader_.Next(); node != XmlNode::Done; node = reader_.Next()) {
            if (node == XmlNode::Text) {
                if (std::u16string* target = Target()) AppendToUnit(*target, reader_.Text());
            } else if (ooxml::NamespaceOf(reader_) == Ns::Sheet) {
                if (node == XmlNode::Start) {
                    OnStart(reader_.LocalName());
                } else if (OnEnd(reader_.LocalName())) {
                    return true;
                }
            }
        }
        return false;
    }

  private:
    enum class Field { None, Formula, Value, InlineText };

    std::u16string* Target() {
        switch (field_) {
            case Field::Formula:
                return &cell_.formula;
            case Field::Value:
                return &cell_.value;
            case Field::InlineText:
                return &cell_.inlineText;
            case Field::None:
                break;
        }
        return nullptr;
    }

    void OnStart(std::u16string_view name) {
        if (name == u"c"sv) {
            cell_.Clear();
            inCell_ = true;
            ReadCellAttributes();
            PlaceCell();
        } else if (name == u"row"sv && !inCell_) {
            PlaceRow();
        } else if (!inCell_) {
            return;
        } else if (name == u"f"sv) {
            cell_.hasFormula = true;
            std::u16string kind;
            cell_.sharedFormula = reader_.Attribute(u"t"sv, u""sv, kind) && kind == u"shared"sv &&
                                  reader_.Attribute(u"si"sv, u""sv, cell_.sharedIndex);
            field_ = Field::Formula;
        } else if (name == u"v"sv) {
            field_ = Field::Value;
        } else if (name == u"rPh"sv) {
            SkipRestOfElement(reader_);
        } else if (name == u"t"sv) {
            field_ = Field::InlineText;
        }
    }

    bool OnEnd(std::u16string_view name) {
        if (name == u"f"sv || name == u"v"sv || name == u"t"sv) field_ = Field::None;
        if (name == u"f"sv) CheckFormulaLength();
        if (name == u"f"sv && cell_.sharedFormula) ResolveSharedFormula();
        if (name != u"c"sv || !inCell_) return false;
        inCell_ = false;
        const std::u16string_view unit = CellText();
        return !unit.empty() && sink_.Unit(unit, place_);
    }

    // The cell's type and reference. The tokenizer gives them as the bytes
    // they stand as, where that is their value: every cell asks for both,
    // and widening them cost more than the rest of a cell's reading.
    void ReadCellAttributes() {
        if constexpr (std::is_same_v<Reader, XmlTokenizer>) {
            std::string_view t, r;
            using Bytes = XmlTokenizer::Bytes;
            if (reader_.AttributeBytes("t", t) != Bytes::Encoded &&
                reader_.AttributeBytes("r", r) != Bytes::Encoded) {
                cell_.type = CellTypeOf(t);
                cell_.placed = ParseCellReference(r, cell_.here);
                return;
            }
        }
        std::u16string& text = attribute_;
        text.clear();
        reader_.Attribute(u"t"sv, u""sv, text);
        cell_.type = CellTypeOf(std::u16string_view(text));
        text.clear();
        reader_.Attribute(u"r"sv, u""sv, text);
        cell_.placed = ParseCellReference(std::u16string_view(text), cell_.here);
    }

    // A row or cell without its reference follows the one before it.
    void PlaceRow() {
        uint32_t row = 0;
        if (reader_.Attribute(u"r"sv, u""sv, attribute_) && attribute_.size() <= 7) {
            for (char16_t c : attribute_) {
                if (!IsDigit(c)) {
                    row = 0;
                    break;
                }
                row = row * 10 + (c - u'0');
            }
        }
        place_.row = row != 0 ? row : place_.row + 1;
        place_.column = 0;
    }

    void PlaceCell() {
        if (cell_.placed) {
            place_.row = static_cast<uint32_t>(cell_.here.row);
            place_.column = static_cast<uint32_t>(cell_.here.column);
        } else {
            place_.row = std::max<uint32_t>(place_.row, 1);
            ++place_.column;
        }
    }

    // A formula past kMaxFormulaLength was not written by Excel, and a shared
    // one would be moved into every cell of its range at that length, so a
    // workbook holding one is refused as damaged, as is a shared formula that
    // grows past it when moved into a cell of its range (Excel fills no such
    // range). Stored, the prefixes of newer functions ("_xlfn.") may make a
    // formula longer than Excel shows it: the stored text may take twice the
    // limit, the text as shown the limit itself.
    void CheckFormulaLength() const {
        const size_t stored = cell_.formula.size();
        if (stored <= kMaxFormulaLength) return;
        if (stored > 2 * kMaxFormulaLength ||
            FormulaAsShown(cell_.formula, 0, 0).size() > kMaxFormulaLength) {
            throw DocumentError(DocumentFault::Damaged);
        }
    }

    // The cell holding a shared formula's text anchors it; the other cells
    // of its range name it by index and read it moved by their offset.
    void ResolveSharedFormula() {
        const CellPosition& here = cell_.here;
        const bool placed = cell_.placed;
        if (!cell_.formula.empty()) {
            if (placed) sharedFormulas_[cell_.sharedIndex] = {cell_.formula, here};
            return;
        }
        const auto it = sharedFormulas_.find(cell_.sharedIndex);
        if (it == sharedFormulas_.end()) return;
        const CellPosition& anchor = it->second.anchor;
        if (placed) {
            moved_.clear();
            AppendFormulaAsShown(it->second.text, here.row - anchor.row,
                                 here.column - anchor.column, moved_);
            cell_.formula.swap(moved_);
        } else {
            cell_.formula = it->second.text;
        }
        // Moved, its references may have grown past what Excel would fill.
        if (cell_.formula.size() > kMaxFormulaLength) throw DocumentError(DocumentFault::Damaged);
    }

    // The cell's unit: a view of the shared string or of the value where the
    // cell holds one as it is, else built in a buffer kept from cell to cell.
    std::u16string_view CellText() {
        if (cell_.hasFormula && !cell_.formula.empty()) {
            if (!plainFormulas_ && IsPlainFormulaText(cell_.formula)) return {};
            text_.assign(1, u'=');
            AppendFormulaAsShown(cell_.formula, 0, 0, text_);
            return text_;
        }
        if (cell_.type == CellType::SharedString) {
            size_t index = 0;
            for (char16_t c : cell_.value) {
                if (!IsDigit(c) || index > kMaxSharedStringCount) return {};
                index = index * 10 + (c - u'0');
            }
            const bool shown = !cell_.value.empty() && strings_.Has(index);
            return shown && shown_.FirstTime(index) ? strings_.At(index) : std::u16string_view();
        }
        if (cell_.type == CellType::InlineString) {
            text_.clear();
            AppendDecodedEscapes(cell_.inlineText, text_);
            return text_;
        }
        if (cell_.type == CellType::Boolean) {
            if (cell_.value == u"1"sv) return u"TRUE";
            if (cell_.value == u"0"sv) return u"FALSE";
        }
        if (!numbers_ && IsNumberText(cell_.value)) return {};
        return cell_.value;
    }

    Reader& reader_;
    const SharedStringTable& strings_;
    TextUnitSink& sink_;
    SharedStringsShown& shown_;
    const bool numbers_;        // whether the sink takes a number's text
    const bool plainFormulas_;  // and a plain formula's
    UnitPlace place_;
    std::u16string attribute_;  // a row's or cell's attribute, decoded
    Cell cell_;
    bool inCell_ = false;
    std::u16string text_;
    std::u16string moved_;  // a shared formula moved into a cell
    Field field_ = Field::None;
    std::unordered_map<std::u16string, SharedFormula> sharedFormulas_;
};

// The relationship ids of the workbook's sheets, in workbook order, and
// their names.
struct SheetList {
    std::vector<std::u16string> ids, names;
};

SheetList ReadSheetOrder(XmlReader& reader) {
    ooxml::ExpectRoot(reader, Ns::Sheet, u"workbook");
    SheetList list;
    for (XmlNode node = reader.Next(); node != XmlNode::Done; node = reader.Next()) {
        if (node == XmlNode::Start && ooxml::Is(reader, Ns::Sheet, u"sheet"sv)) {
            list.ids.push_back(ooxml::RelationshipIdOf(reader));
            reader.Attribute(u"name"sv, u""sv, list.names.emplace_back());
        }
    }
    return list;
}

}  // namespace

std::u16string FormulaAsShown(std::u16string_view formula, int rowOffset, int columnOffset) {
    std::u16string out;
    AppendFormulaAsShown(formula, rowOffset, columnOffset, out);
    return out;
}

void AppendFormulaAsShown(std::u16string_view formula, int rowOffset, int columnOffset,
                          std::u16string& out) {
    size_t i = 0;
    while (i < formula.size()) {
        const char16_t c = formula[i];
        if (c == u'"' || c == u'\'' || c == u'[') {
            i = CopyQuoted(formula, i, out);
            continue;
        }
        if (!IsNameChar(c)) {
            out += c;
            ++i;
            continue;
        }
        size_t end = i;
        while (end < formula.size() && IsNameChar(formula[end])) ++end;
        const std::u16string_view token = formula.substr(i, end - i);
        const bool calls = end < formula.size() && formula[end] == u'(';
        CellPosition cell;
        if (!calls && ParseCellReference(token, cell)) {
            if (!cell.rowFixed) cell.row += rowOffset;
            if (!cell.columnFixed) cell.column += columnOffset;
            const bool inside = cell.row >= 1 && cell.row <= kMaxRow && cell.column >= 1 &&
                                cell.column <= kMaxColumn;
            if (inside) {
                AppendCellReference(cell, out);
            } else {
                out += u"#REF!";
            }
        } else {
            out += WithoutFuturePrefixes(token);
        }
        i = end;
    }
}

std::u16string DecodeEscapes(std::u16string_view text) {
    std::u16string out;
    AppendDecodedEscapes(text, out);
    return out;
}

void AppendDecodedEscapes(std::u16string_view text, std::u16string& out) {
    if (!HasUnderscore(text)) {
        out.append(text);
        return;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            int value = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6 && hex; ++k) {
                const int digit = HexValue(text[k]);
                hex = digit >= 0;
                value = value * 16 + digit;
            }
            if (hex) {
                out += static_cast<char16_t>(value);
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
}

void ReadSpreadsheetText(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink) {
    const std::string workbook = ooxml::MainPartName(package, xml);
    const std::vector<ooxml::Relationship> relationships =
        ooxml::ReadRelationships(package, xml, workbook);
    SheetList order;
    {
        ooxml::PartReader part(package, xml, workbook);
        order = ReadSheetOrder(part.Xml());
    }
    SharedStringTable strings;
    for (const ooxml::Relationship& relationship : relationships) {
        if (ooxml::IsOfType(relationship, u"sharedStrings")) {
            ooxml::PartReader part(package, xml, relationship.target);
            ooxml::ExpectRoot(part.Xml(), Ns::Sheet, u"sst");
            ReadAsTokenizer(part.Xml(),
                            [&strings](auto& reader) { ReadSharedStrings(reader, strings); });
            break;
        }
    }
    SharedStringsShown shown(sink, strings.Size());
    std::vector<size_t> listed;
    const std::vector<std::string_view> sheets =
        ooxml::PartsInListOrder(relationships, order.ids, u"worksheet", &listed);
    for (size_t i = 0; i < sheets.size(); ++i) {
        ooxml::PartReader part(package, xml, sheets[i]);
        ooxml::ExpectRoot(part.Xml(), Ns::Sheet, u"worksheet");
        const std::u16string_view name = order.names[listed[i]];
        const bool stopped = ReadAsTokenizer(part.Xml(), [&](auto& reader) {
            return SheetReader(reader, strings, name, sink, shown).Read();
        });
        if (stopped) return;
    }
}

}  // namespace querna
