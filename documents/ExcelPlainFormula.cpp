// The test of plain formulas: which BIFF8 formulas render to text made only
// of references, numbers, operators and the words of built-in functions, read
// token by token as FormulaRenderer reads them without rendering them.
#include "documents/ExcelPlainFormula.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"
#include "documents/ExcelFunctions.h"

namespace querna {

namespace {

// The operand count a plain token leaves, from `depth` before it; -1 where
// the token is not plain or the renderer would refuse it. Follows
// FormulaRenderer::Token and Operand (ExcelFormulaText.cpp) token by token.
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

}  // namespace querna
