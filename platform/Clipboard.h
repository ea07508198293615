// The clipboard, as plain text in the system code page.
#pragma once

#include <string>

namespace querna {

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Empties the clipboard and puts `text` on it as CF_TEXT (terminating NUL
    // included). Raises QuernaError "Cannot open clipboard" when another
    // program holds the clipboard; a failure after it was opened leaves the
    // clipboard empty and is not reported.
    virtual void SetText(const std::string& text) = 0;
};

}  // namespace querna
