#include "platform/win32/Win32CodePage.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace querna::win32 {

namespace {

// The conversion functions count in int. The texts converted here are a
// phrase and one unit of a document, which the readers bound far below that.
int CountOf(size_t size) {
    if (size > INT_MAX) throw std::length_error("text too long to convert");
    return static_cast<int>(size);
}

}  // namespace

std::u16string Win32CodePage::ToUnicode(std::string_view text) {
    if (text.empty()) return {};
    const int size = CountOf(text.size());
    const int count = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::u16string wide(static_cast<size_t>(count), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(wide.data()),
                        count);
    return wide;
}

std::string Win32CodePage::FromUnicode(std::u16string_view text) {
    if (text.empty()) return {};
    const int size = CountOf(text.size());
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int count = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, size, narrow.data(), count, nullptr, nullptr);
    return narrow;
}

}  // namespace querna::win32
