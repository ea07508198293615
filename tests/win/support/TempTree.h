// A real temporary folder tree for tests under Wine, removed with its
// contents (hidden and system files included) when the object goes.
#pragma once

#include <string>

namespace querna::testing {

class TempTree {
  public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The root folder, without a trailing backslash.
    const std::string& Root() const { return root_; }
    // Full path of a relative one ("A\\a.txt").
    std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }

    // Made through the \\?\ form: at any depth, and with names as given.
    void AddFolder(const std::string& relative, unsigned long attributes = 0);
    void AddFile(const std::string& relative, const std::string& content = "",
                 unsigned long attributes = 0);

  private:
    std::string root_;
};

// Removes `folder` and everything in it, through the wide functions and the
// \\?\ form, so that names outside the code page and trees deeper than
// MAX_PATH go as well.
void RemoveFolderTree(const std::string& folder);

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace querna::testing
