// The shell's "open" of a path: a folder opens in the file manager, a file
// with the program associated with it.
#pragma once

#include <string>

namespace querna {

class Shell {
  public:
    virtual ~Shell() = default;
    // Asks the shell to open `path` with the main window as owner. The outcome
    // is not examined: whatever the system shows on failure is all there is.
    virtual void Open(const std::string& path) = 0;
};

}  // namespace querna
