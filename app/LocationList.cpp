#include "app/LocationList.h"

namespace querna {

namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether `text` begins with `prefix`, walking character by character so that
// the trail byte of a double-byte character is never folded as a letter.
bool BeginsWith(std::string_view text, std::string_view prefix, TextRules& rules) {
    if (prefix.size() > text.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (rules.IsLeadByte(static_cast<unsigned char>(prefix[i]))) {
            if (i + 1 >= prefix.size() || prefix[i] != text[i] || prefix[i + 1] != text[i + 1]) {
                return false;
            }
            ++i;
        } else if (FoldAscii(prefix[i]) != FoldAscii(text[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> CompleteLocationText(std::string_view typed,
                                                const std::vector<std::string>& captions,
                                                TextRules& rules) {
    if (typed.empty()) return std::nullopt;
    for (const std::string& caption : captions) {
        if (BeginsWith(caption, typed, rules)) {
            return std::string(typed) + caption.substr(typed.size());
        }
    }
    return std::nullopt;
}

}  // namespace querna
