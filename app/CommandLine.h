// The program's command line, split the way the window reads its arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace querna {

// Splits a whole command line (the program's own name first) into its pieces:
// pieces are separated by bytes up to the blank that stand outside double
// quotes, and the quotes themselves are removed, so "C:\My Files" is one
// piece. An unclosed quote runs to the end of the line. GBK text splits
// safely: no trail byte has the code of a blank or of a quote.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The first argument after the program's name, if there is one and it is
// not empty.
std::optional<std::string> FirstArgument(std::string_view line);

}  // namespace querna
