// Conversions between UTF-16 and the system code page (GBK) that refuse what
// the code page cannot hold, instead of turning it into '?' (which a listing
// would take for a wildcard).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace querna::win32 {

// The text in the system code page; nothing when a character of it has no
// exact counterpart there (no best-fit replacements either).
std::optional<std::string> ToCodePage(std::wstring_view text);

// The text in UTF-16.
std::wstring FromCodePage(std::string_view text);

}  // namespace querna::win32
