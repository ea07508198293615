// Conversions between UTF-16 and the system code page (GBK).
//
// Names and arguments go through ToCodePage, which refuses what the code page
// cannot hold instead of turning it into '?' (which a listing would take for
// a wildcard). The built-in document readers go through Win32CodePage, which
// converts as the automation bridge does for the servers: a character the
// code page lacks becomes '?'.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
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
//
// The PowerPoint rule converts every unit of every presentation, and under
// Wine a call into the system's conversion costs more than the characters
// it converts. Where the code page gives each character its own one or two
// bytes whatever stands around it (every single- and double-byte code
// page), the bytes of each character are learnt from the system once, 256
// characters at a time as they are first met, and units are converted from
// that table. Anything else (UTF-8 as the system code page, surrogates) goes
// through the system's conversion as before.
class Win32CodePage final : public CodePage {
  public:
    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
    void FromUnicode(std::u16string_view text, std::string& out) override;
    const std::array<bool, 256>& LeadBytes() override;

  private:
    // A character's bytes in the order they are written: its first byte in
    // the low half, the second (never 0) in the high half for a character of
    // two; 0 for a character not learnt (only U+0000 is the byte 0).
    struct Table {
        std::array<uint16_t, 0x10000> bytes;
        std::array<uint8_t, 0x100> pageState;  // not yet learnt, learnt, or not learnable
    };
    bool LearnPage(unsigned page);
    bool FromTable(std::u16string_view text, std::string& out);

    bool tableChecked_ = false;
    std::optional<std::array<bool, 256>> leadBytes_;  // asked of the system once
    std::unique_ptr<Table> table_;  // null where the code page is not one of fixed characters
};

}  // namespace querna::win32
