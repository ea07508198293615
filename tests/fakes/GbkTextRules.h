// The text rules of code page 936 without the platform: GBK lead bytes are
// 0x81 to 0xFE, and case folding touches ASCII letters only (as the system
// does for GBK text).
#pragma once

#include "platform/TextRules.h"

namespace querna::fakes {

class GbkTextRules final : public TextRules {
  public:
    int CompareText(std::string_view a, std::string_view b) override {
        const std::string fa = FoldCase(a), fb = FoldCase(b);
        return fa < fb ? -1 : (fa == fb ? 0 : 1);
    }
    std::string FoldCase(std::string_view text) override {
        std::string upper(text);
        for (size_t i = 0; i < upper.size(); ++i) {
            const auto c = static_cast<unsigned char>(upper[i]);
            if (IsLeadByte(c)) {
                ++i;  // the trail byte is no letter
            } else if (c >= 'a' && c <= 'z') {
                upper[i] = static_cast<char>(c - 'a' + 'A');
            }
        }
        return upper;
    }
    bool IsLeadByte(unsigned char byte) override { return byte >= 0x81 && byte <= 0xFE; }
};

}  // namespace querna::fakes
