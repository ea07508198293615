// The system code page through MultiByteToWideChar / WideCharToMultiByte
// (CP_ACP), the conversions the automation bridge makes for the servers.
#pragma once

#include "platform/CodePage.h"

namespace querna::win32 {

class Win32CodePage final : public CodePage {
  public:
    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
};

}  // namespace querna::win32
