#include "search/ResultPathList.h"

namespace querna {

bool ResultPathList::Holds(const std::string& folded, const std::string& path) {
    auto [first, last] = byFoldedPath_.equal_range(folded);
    for (auto it = first; it != last; ++it) {
        if (rules_.CompareText(paths_[it->second], path) == 0) return true;
    }
    return false;
}

bool ResultPathList::Append(const std::string& path, const ListedFile& listed) {
    std::string folded = rules_.FoldCase(path);
    if (Holds(folded, path)) return false;
    byFoldedPath_.emplace(std::move(folded), paths_.size());
    paths_.push_back(path);
    listed_.push_back(listed);
    return true;
}

}  // namespace querna
