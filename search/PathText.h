// Splitting paths into folder, name and extension, honouring the double-byte
// characters of the system code page: the second byte of a GBK character is
// never taken for a backslash, colon or dot.
#pragma once

#include <string>
#include <string_view>

#include "platform/TextRules.h"

namespace querna {

// Position of the last byte of `path` that is one of `delimiters` and is not
// the second byte of a double-byte character; npos when there is none.
size_t LastDelimiter(std::string_view path, std::string_view delimiters, TextRules& rules);

struct PathParts {
    std::string_view folder;     // up to and including the last backslash or colon
    std::string_view name;       // after it
    std::string_view extension;  // from the last dot of the name on; empty if none
};

PathParts SplitPath(std::string_view path, TextRules& rules);

// Whether the last character of `path` is a backslash. The second byte of a
// double-byte character may have the backslash's code (籠 is BB 5C) and is
// not one.
bool EndsWithBackslash(std::string_view path, TextRules& rules);

// `text` without the bytes up to the blank (control characters and spaces) at
// both ends.
std::string_view TrimBlanks(std::string_view text);

}  // namespace querna
