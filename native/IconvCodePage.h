// A code page without the platform, through glibc's iconv tables: GBK (code
// page 936) unless another of iconv's names is given, such as "GB18030".
// Bytes that name no character become U+003F, characters the code page lacks
// become '?' (one per UTF-16 unit, as WideCharToMultiByte makes them).
#pragma once

#include <string>
#include <utility>

#include "platform/CodePage.h"

namespace querna::native {

class IconvCodePage final : public CodePage {
  public:
    explicit IconvCodePage(std::string charset = "GBK") : charset_(std::move(charset)) {}

    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
    using CodePage::FromUnicode;
    const std::array<bool, 256>& LeadBytes() override;

  private:
    std::string charset_;
    bool leadBytesKnown_ = false;
    std::array<bool, 256> leadBytes_{};
};

}  // namespace querna::native
