#include "search/ResultPathList.h"

namespace querna {

bool ResultPathList::Contains(const std::string& path) {
    auto [first, last] = byFoldedPath_.equal_range(rules_.FoldCase(path));
    for (auto it = first; it != last; ++it) {
        if (rules_.CompareText(paths_[it->second], path) == 0) return true;
    }
    return false;
}

bool ResultPathList::Append(const std::string& path) {
    std::string folded = rules_.FoldCase(path);
    auto [first, last] = byFoldedPath_.equal_range(folded);
    for (auto it = first; it != last; ++it) {
        if (rules_.CompareText(paths_[it->second], path) == 0) return false;
    }
    byFoldedPath_.emplace(std::move(folded), paths_.size());
    paths_.push_back(path);
    return true;
}

}  // namespace querna
