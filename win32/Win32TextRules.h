// The text rules of the user's locale and the system code page, over
// kernel32: case-insensitive comparison, upper-casing, lead bytes.
#pragma once

#include "platform/TextRules.h"

namespace querna::win32 {

class Win32TextRules final : public TextRules {
  public:
    int CompareText(std::string_view a, std::string_view b) override;
    std::string FoldCase(std::string_view text) override;
    bool IsLeadByte(unsigned char byte) override;
};

}  // namespace querna::win32
