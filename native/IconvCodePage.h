// Code page 936 without the platform, through glibc's iconv GBK tables. Bytes
// that name no character become U+003F, characters GBK lacks become '?' (one
// per UTF-16 unit, as WideCharToMultiByte makes them).
#pragma once

#include "platform/CodePage.h"

namespace querna::native {

class IconvCodePage final : public CodePage {
  public:
    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
    using CodePage::FromUnicode;
};

}  // namespace querna::native
