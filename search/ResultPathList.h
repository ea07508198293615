// An ordered list of full file paths without two entries that are equal when
// compared without regard to case under the user's locale.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/TextRules.h"

namespace querna {

// What the walker's match listing returned of a found file, kept beside its
// path. Paths appended without it hold zeros.
struct ListedFile {
    uint64_t size = 0;
    uint32_t attributes = 0;
    FileTime creationTime = 0;  // UTC
};

class ResultPathList {
  public:
    explicit ResultPathList(TextRules& rules) : rules_(rules) {}

    // Appends `path` unless an equal one (case-insensitive, locale rules) is
    // already held; returns whether it was appended. Amortised constant time:
    // a hash of the case-folded path finds the few entries to confirm with the
    // locale comparison.
    bool Append(const std::string& path, const ListedFile& listed = {});

    const std::vector<std::string>& Paths() const { return paths_; }
    size_t Count() const { return paths_.size(); }
    const std::string& operator[](size_t i) const { return paths_[i]; }
    // What the listing returned of the i-th path.
    const ListedFile& Listed(size_t i) const { return listed_[i]; }

  private:
    // Whether an entry equal to `path` is held under its case-folded key.
    bool Holds(const std::string& folded, const std::string& path);

    TextRules& rules_;
    std::vector<std::string> paths_;
    std::vector<ListedFile> listed_;
    std::unordered_multimap<std::string, size_t> byFoldedPath_;
};

}  // namespace querna
