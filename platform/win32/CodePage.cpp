#include "platform/win32/CodePage.h"

#include <windows.h>

namespace querna::win32 {

std::optional<std::string> ToCodePage(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr,
                                         0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return std::nullopt;
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), length, converted.data(), size,
                        nullptr, nullptr);
    return converted;
}

std::wstring FromCodePage(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring converted(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), length, converted.data(), size);
    return converted;
}

}  // namespace querna::win32
