// What a running search needs of the window that runs it.
#pragma once

#include <string>

namespace querna {

// The panels of the status bar that a search writes, by their place in it.
enum class StatusPanel : int {
    FoundCount = 1,   // the count of found files
    CurrentPath = 3,  // the path being examined, then "搜索完成!"
};

class SearchHost {
  public:
    virtual ~SearchHost() = default;
    virtual void SetStatusPanel(StatusPanel panel, const std::string& text) = 0;
    // Processes every window message that is waiting, then returns. Any
    // handler of the window, a nested search included, may run inside.
    virtual void ProcessMessages() = 0;
    // Sleeps the given number of milliseconds (0: not at all).
    virtual void Pause(int milliseconds) = 0;
    // The current text of the phrase box.
    virtual std::string ReadPhrase() = 0;
    // The content pass could not open a candidate: the window shows
    // "打开文件错误", the console companion names the file on its error stream.
    virtual void ReportUnreadable(const std::string& path) = 0;
    // The walk could not list a sub-folder (no permission, gone since its
    // parent listed it, a device), so none of its files was searched; the
    // folder comes with its trailing backslash. The window passes over it in
    // silence; the console companion names it on its error stream and ends
    // with status 1.
    virtual void ReportUnlistable(const std::string& folder) = 0;
};

}  // namespace querna
