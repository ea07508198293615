// The encodings a text file may be in when the console companion searches it
// with `--encoding auto`: the phrase, typed in the code page, is found in
// UTF-8 and UTF-16 text as in GBK (and GB18030) text. Each file's encoding is
// decided once from its first bytes, and the phrase is searched in that
// encoding's bytes, so the scan stays one pass.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace querna {

enum class TextEncoding { Gbk, Utf8, Utf16Le, Utf16Be };

// How much of a file's beginning decides its encoding.
constexpr size_t kEncodingSample = size_t{64} << 10;

// A byte-order mark; else the pattern of zero bytes that ASCII characters
// leave in UTF-16; else UTF-8 where the sample is valid UTF-8 holding bytes
// above 0x7F (a sequence cut by the sample's end is taken as valid); else
// the code page (GBK, read as GB18030).
TextEncoding DetectTextEncoding(const unsigned char* data, size_t size);

// `text` as bytes of a Unicode encoding (UTF-8 or UTF-16 in either order);
// in UTF-8 an unpaired surrogate becomes U+FFFD.
std::string EncodeUnicode(std::u16string_view text, TextEncoding encoding);

}  // namespace querna
