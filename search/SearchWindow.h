// What a search needs of the window that runs it: the inputs it reads, the
// status bar, boxes and results table it writes, and the message pump and
// pause that pace it. The window implements it once; the console companion
// puts its options, error stream and printer in the window's place.
#pragma once

#include <string>

#include "search/ResultPathList.h"

namespace querna {

// The panels of the status bar that a search writes, by their place in it.
enum class StatusPanel : int {
    FoundCount = 1,   // the count of found files
    CurrentPath = 3,  // the path being examined, then "搜索完成!"
};

// The check boxes the criteria are read from (chk1 .. chk4).
enum class SearchSwitch { System, Hidden, Subfolders, ReadOnly };

class SearchWindow {
  public:
    virtual ~SearchWindow() = default;

    // --- The inputs. Every read returns the control's state at the moment
    // of the call: the messages processed during a search may change them.
    virtual std::string LocationText() = 0;  // text of cbb1
    // The selected item of cbb1, whose items are BuildLocationItems of the
    // local disks (then a command-line folder, if any); -1 for none.
    virtual int LocationIndex() = 0;
    virtual int TypeIndex() = 0;  // selected item of cbb2; -1 for none
    virtual bool IsChecked(SearchSwitch box) = 0;
    virtual std::string IgnoredFolderText() = 0;  // edt4
    virtual std::string NameText() = 0;           // edt1
    // The phrase box (edt2). The run reads it to choose a name walk or a
    // content pass, and the content pass again before each candidate, so a
    // phrase typed while the search runs applies from the next file on.
    virtual std::string PhraseText() = 0;

    // --- What the search shows.
    virtual void SetStatusPanel(StatusPanel panel, const std::string& text) = 0;
    virtual void ShowInfo(const std::string& text, const std::string& caption) = 0;
    // The content pass could not open a candidate: the window shows
    // "打开文件错误", the console companion names the file on its error stream.
    virtual void ReportUnreadable(const std::string& path) = 0;
    // The walk could not list a sub-folder (no permission, gone since its
    // parent listed it, a device), so none of its files was searched; the
    // folder comes with its trailing backslash. The window passes over it in
    // silence; the console companion names it on its error stream and ends
    // with status 1.
    virtual void ReportUnlistable(const std::string& folder) = 0;
    // Adds the rows of `paths` to the results table, emptying it first when
    // `empty` is set (see FillResultTable).
    virtual void FillResultTable(const ResultPathList& paths, bool empty) = 0;

    // --- Pacing.
    // Processes every window message that is waiting, then returns. Any
    // handler of the window, a nested search included, may run inside.
    virtual void ProcessMessages() = 0;
    // Sleeps the given number of milliseconds (0: not at all).
    virtual void Pause(int milliseconds) = 0;
};

}  // namespace querna
