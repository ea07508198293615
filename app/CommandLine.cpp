#include "app/CommandLine.h"

namespace querna {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> pieces;
    size_t i = 0;
    while (true) {
        while (i < line.size() && static_cast<unsigned char>(line[i]) <= ' ') ++i;
        if (i >= line.size()) break;
        std::string piece;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && static_cast<unsigned char>(c) <= ' ') {
                break;
            } else {
                piece += c;
            }
        }
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

std::optional<std::string> FirstArgument(std::string_view line) {
    std::vector<std::string> pieces = SplitCommandLine(line);
    // An empty first argument ("") counts as none: it names no folder.
    if (pieces.size() < 2 || pieces[1].empty()) return std::nullopt;
    return std::move(pieces[1]);
}

}  // namespace querna
