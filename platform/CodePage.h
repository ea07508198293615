// Conversions between the system code page (GBK) and UTF-16, for the built-in
// document readers: Office Open XML text is Unicode, the phrase and the
// PowerPoint matcher's comparison are in the code page. The console
// companion also reads text files through one for GB18030.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace querna {

class CodePage {
  public:
    virtual ~CodePage() = default;
    // Bytes of the code page as UTF-16; a byte sequence that names no
    // character becomes a replacement character.
    virtual std::u16string ToUnicode(std::string_view text) = 0;
    // UTF-16 as bytes of the code page; a character the code page lacks
    // becomes '?', as the system's own conversion makes it.
    virtual std::string FromUnicode(std::u16string_view text) = 0;
    // The same into `out`, whose room is kept from one call to the next: the
    // PowerPoint rule converts every unit of every document.
    virtual void FromUnicode(std::u16string_view text, std::string& out) {
        out = FromUnicode(text);
    }
    // Which bytes begin a character of two bytes or more, so that a run of
    // the code page's bytes can be read character by character.
    virtual const std::array<bool, 256>& LeadBytes() = 0;
};

}  // namespace querna
