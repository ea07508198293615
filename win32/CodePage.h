// Conversions between UTF-16 and the system code page (GBK).
//
// Names and arguments go through ToCodePage, which refuses what the code page
// cannot hold instead of turning it into '?' (which a listing would take for
// a wildcard). The built-in document readers go through Win32CodePage, which
// converts as the automation bridge does for the servers: a character the
// code page lacks becomes '?'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace querna::win32 {

// The text in the system code page; nothing when a character of it has no
// exact counterpart there (no best-fit replacements either).
std::optional<std::string> ToCodePage(std::wstring_view text);

// The text in UTF-16; a byte sequence that names no character becomes a
// replacement character.
std::wstring FromCodePage(std::string_view text);

// The text in the system code page as the automation bridge converts for the
// servers: a character the code page lacks becomes '?'.
std::string ToCodePageLossy(std::wstring_view text);

// The system code page (CP_ACP) for the document readers.
class Win32CodePage final : public CodePage {
  public:
    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
    void FromUnicode(std::u16string_view text, std::string& out) override;
};

}  // namespace querna::win32
