// The encodings a text file may be in when the console companion searches it
// with `--encoding auto`: the phrase, typed in the code page, is found in
// UTF-8, UTF-16 and GB18030 text. Each file's encoding is decided once from
// its first bytes, and the phrase is searched in that encoding's bytes, so
// the scan stays one pass. Without that decision files are the code page's
// bytes (Gbk), as the window reads them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/CodePage.h"

namespace querna {

enum class TextEncoding { Gbk, Gb18030, Utf8, Utf16Le, Utf16Be };

// How much of a file's beginning decides its encoding.
constexpr size_t kEncodingSample = size_t{64} << 10;

// A byte-order mark; else the pattern of zero bytes that ASCII characters
// leave in UTF-16; else UTF-8 where the sample is valid UTF-8 holding bytes
// above 0x7F (a sequence cut by the sample's end is taken as valid); else
// the code page, read as GB18030 (its superset: nearly every character of
// GBK keeps its bytes there; the euro sign, 80 in code page 936, is A2 E3).
TextEncoding DetectTextEncoding(const unsigned char* data, size_t size);

// `text` as bytes of a Unicode encoding (UTF-8 or UTF-16 in either order);
// in UTF-8 an unpaired surrogate becomes U+FFFD.
std::string EncodeUnicode(std::u16string_view text, TextEncoding encoding);

// GB18030 through the code page's own conversions (code page 936, GBK).
// Every character of GBK keeps its bytes in GB18030 but the euro sign, the
// byte 80 in code page 936, which GB18030 writes A2 E3; the characters GBK
// lacks take four bytes there. So text converts through the code page with
// the euro sign and the four-byte sequences taken apart: a supplementary
// character's sequence reads as that character, any other four-byte
// sequence (a character the code page lacks, which it would write as '?')
// and the bytes that begin no character as U+FFFD; a character the code
// page lacks is written '?', as the code page writes it. A phrase typed in
// the code page thus converts exactly, and a file's text reads back as the
// code page can show it. (Windows knows GB18030 as code page 54936, but Wine
// has no such code page; this one is the same under both.)
class Gb18030CodePage final : public CodePage {
  public:
    // `codePage` must outlive this one.
    explicit Gb18030CodePage(CodePage& codePage) : codePage_(codePage) {}

    std::u16string ToUnicode(std::string_view text) override;
    std::string FromUnicode(std::u16string_view text) override;
    using CodePage::FromUnicode;
    // 81 to FE, whether the second byte makes a character of two or four.
    const std::array<bool, 256>& LeadBytes() override;

  private:
    CodePage& codePage_;
};

}  // namespace querna
