#include "search/PathText.h"

namespace querna {

size_t LastDelimiter(std::string_view path, std::string_view delimiters, TextRules& rules) {
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (rules.IsLeadByte(byte) && i + 1 < path.size()) {
            ++i;  // the trail byte may look like '\\', ':' or '.', but is not one
            continue;
        }
        if (delimiters.find(path[i]) != std::string_view::npos) last = i;
    }
    return last;
}

PathParts SplitPath(std::string_view path, TextRules& rules) {
    PathParts parts;
    const size_t slash = LastDelimiter(path, "\\:", rules);
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    parts.folder = path.substr(0, nameStart);
    parts.name = path.substr(nameStart);
    const size_t dot = LastDelimiter(path, "\\:.", rules);
    if (dot != std::string_view::npos && path[dot] == '.' && dot >= nameStart) {
        parts.extension = path.substr(dot);
    }
    return parts;
}

bool EndsWithBackslash(std::string_view path, TextRules& rules) {
    return !path.empty() && LastDelimiter(path, "\\", rules) == path.size() - 1;
}

std::string_view TrimBlanks(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return text.substr(begin, end - begin);
}

}  // namespace querna
