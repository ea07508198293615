// Typing completion in the location box, over the captions of its items
// (search/Locations.h holds the items themselves).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextRules.h"
#include "search/Locations.h"

namespace querna {

// In-place completion of typed text: `typed` followed by the rest of the
// first caption that begins with it, comparing ASCII letters without case and
// double-byte characters byte for byte. Nothing when `typed` is empty or no
// caption begins with it.
std::optional<std::string> CompleteLocationText(std::string_view typed,
                                                const std::vector<std::string>& captions,
                                                TextRules& rules);

}  // namespace querna
