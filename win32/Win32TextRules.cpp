#include "win32/Win32TextRules.h"

#include <windows.h>

namespace querna::win32 {

int Win32TextRules::CompareText(std::string_view a, std::string_view b) {
    const int result =
        CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                       b.data(), static_cast<int>(b.size()));
    return result - CSTR_EQUAL;
}

// LCMapStringA is kernel32's: the console companion then never loads user32,
// which costs a noticeable part of its start-up under Wine.
std::string Win32TextRules::FoldCase(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string upper(text.size(), '\0');
    int written =
        LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), size, upper.data(), size);
    if (written == 0) {  // the upper-case form does not fit: ask for its length
        const int needed =
            LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), size, nullptr, 0);
        if (needed <= 0) return std::string(text);
        upper.assign(static_cast<size_t>(needed), '\0');
        written = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, text.data(), size,
                               upper.data(), needed);
        if (written <= 0) return std::string(text);
    }
    upper.resize(static_cast<size_t>(written));
    return upper;
}

bool Win32TextRules::IsLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != 0;
}

}  // namespace querna::win32
