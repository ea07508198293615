// Locale-aware text rules of the system code page (GBK).
#pragma once

#include <string>
#include <string_view>

namespace querna {

class TextRules {
  public:
    virtual ~TextRules() = default;
    // Compares without regard to case under the user's locale: <0, 0 or >0.
    virtual int CompareText(std::string_view a, std::string_view b) = 0;
    // Upper-cases under the user's locale; the key under which CompareText
    // equal texts are expected to agree.
    virtual std::string FoldCase(std::string_view text) = 0;
    // Whether `byte` starts a double-byte character of the system code page.
    virtual bool IsLeadByte(unsigned char byte) = 0;
};

}  // namespace querna
