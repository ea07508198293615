// Building one text unit (a paragraph, cell or shape's text) within
// kMaxUnitLength: every reader that builds a unit appends through these, so
// no document can make one grow past the one bound.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "documents/DocumentFaults.h"
#include "documents/DocumentLimits.h"

namespace querna {

// Raises DocumentError(TooLarge) when a unit of `length` would be too long.
inline void CheckUnitLength(size_t length) {
    if (length > kMaxUnitLength) throw DocumentError(DocumentFault::TooLarge);
}

inline void AppendToUnit(std::u16string& unit, std::u16string_view text) {
    if (text.size() > kMaxUnitLength - unit.size()) throw DocumentError(DocumentFault::TooLarge);
    unit.append(text);
}

inline void AppendToUnit(std::u16string& unit, char16_t c) {
    if (unit.size() >= kMaxUnitLength) throw DocumentError(DocumentFault::TooLarge);
    unit.push_back(c);
}

}  // namespace querna
