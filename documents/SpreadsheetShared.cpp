#include "documents/SpreadsheetShared.h"

#include <charconv>

#include "documents/DocumentFaults.h"
#include "documents/DocumentLimits.h"

namespace querna {

std::u16string& SharedStringTable::TextFor(size_t more) {
    if (more > kMaxSharedStringText - text_.size()) throw DocumentError(DocumentFault::TooLarge);
    return text_;
}

void SharedStringTable::EndString() {
    if (ends_.size() >= kMaxSharedStringCount) throw DocumentError(DocumentFault::TooLarge);
    ends_.push_back(static_cast<uint32_t>(text_.size()));
}

void AppendColumnLetters(std::u16string& out, unsigned column, bool fixed) {
    if (fixed) out += u'$';
    char16_t letters[8];
    size_t n = 0;
    for (unsigned v = column; v > 0 && n < 8; v = (v - 1) / 26)
        letters[n++] = static_cast<char16_t>(u'A' + (v - 1) % 26);
    while (n > 0) out += letters[--n];
}

void AppendRowNumber(std::u16string& out, unsigned row, bool fixed) {
    if (fixed) out += u'$';
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, row);
    for (const char* p = digits; p < result.ptr; ++p) out.push_back(static_cast<char16_t>(*p));
}

}  // namespace querna
