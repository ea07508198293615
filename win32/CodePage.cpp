#include "win32/CodePage.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace querna::win32 {

namespace {

// The conversion functions count in int. The texts converted here are paths,
// arguments, a phrase and one unit of a document, all bounded far below that.
int CountOf(size_t size) {
    if (size > INT_MAX) throw std::length_error("text too long to convert");
    return static_cast<int>(size);
}

// WideCharToMultiByte with the given flags; nothing when a character had to
// be replaced and `strict` is set.
std::optional<std::string> Narrow(const wchar_t* text, size_t length, DWORD flags, bool strict) {
    if (length == 0) return std::string();
    const int count = CountOf(length);
    BOOL usedDefault = FALSE;
    BOOL* const replaced = strict ? &usedDefault : nullptr;
    const int size = WideCharToMultiByte(CP_ACP, flags, text, count, nullptr, 0, nullptr, replaced);
    if (size <= 0 || usedDefault) return strict ? std::nullopt : std::optional(std::string());
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, flags, text, count, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::optional<std::string> ToCodePage(std::wstring_view text) {
    return Narrow(text.data(), text.size(), WC_NO_BEST_FIT_CHARS, true);
}

std::wstring FromCodePage(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = CountOf(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::u16string Win32CodePage::ToUnicode(std::string_view text) {
    const std::wstring wide = FromCodePage(text);
    return {wide.begin(), wide.end()};
}

std::string ToCodePageLossy(std::wstring_view text) {
    return *Narrow(text.data(), text.size(), 0, false);
}

std::string Win32CodePage::FromUnicode(std::u16string_view text) {
    return ToCodePageLossy({reinterpret_cast<const wchar_t*>(text.data()), text.size()});
}

// One conversion into room for two bytes a unit, the most a double-byte code
// page makes of one, rather than one call to measure and one to convert.
void Win32CodePage::FromUnicode(std::u16string_view text, std::string& out) {
    if (text.empty() || text.size() > INT_MAX / 2) {
        out = FromUnicode(text);
        return;
    }
    out.resize(text.size() * 2);
    const int size = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text.data()),
                                         static_cast<int>(text.size()), out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
    if (size > 0) {
        out.resize(static_cast<size_t>(size));
    } else {
        out = FromUnicode(text);
    }
}

}  // namespace querna::win32
