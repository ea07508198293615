// What a running search needs of the window that runs it.
#pragma once

#include <string>

namespace querna {

class SearchHost {
  public:
    virtual ~SearchHost() = default;
    // Sets the text of one panel of the status bar (1: count, 3: current path).
    virtual void SetStatusPanel(int panel, const std::string& text) = 0;
    // Processes every window message that is waiting, then returns. Any
    // handler of the window, a nested search included, may run inside.
    virtual void ProcessMessages() = 0;
    // Sleeps the given number of milliseconds (0: not at all).
    virtual void Pause(int milliseconds) = 0;
    // The current text of the phrase box.
    virtual std::string ReadPhrase() = 0;
};

}  // namespace querna
