// One whole search, as the Search button runs it: collect the criteria,
// resolve the location into root folders, run a name walk or a content pass
// under each, fill the results table from each root's list, report completion.
#pragma once

#include <string>

#include "platform/Registry.h"
#include "platform/SearchHost.h"
#include "search/ResultPathList.h"
#include "search/SearchEngine.h"
#include "search/SearchState.h"

namespace querna {

// What the run reads of the window's inputs and does to the window. Every
// read returns the control's state at the moment of the call.
class SearchWindow {
public:
    virtual ~SearchWindow() = default;
    virtual std::string LocationText() = 0;            // text of cbb1
    virtual int LocationIndex() = 0;                    // selected item of cbb1; -1 for none
    virtual std::string LocationItemText(int index) = 0;  // caption of one item of cbb1
    virtual int TypeIndex() = 0;                        // selected item of cbb2; -1 for none
    virtual bool IsChecked(int box) = 0;                // chk1 .. chk4, by number 1 .. 4
    virtual std::string IgnoredFolderText() = 0;        // edt4
    virtual std::string NameText() = 0;                 // edt1
    virtual std::string PhraseText() = 0;               // edt2
    virtual void ShowInfo(const std::string& text, const std::string& caption) = 0;
    // Adds the rows of `paths` to the results table, emptying it first when
    // `empty` is set (see FillResultTable).
    virtual void FillResultTable(const ResultPathList& paths, bool empty) = 0;
};

// Location list indices with a meaning of their own.
enum LocationItem : int {
    liDocuments = 0,
    liDesktop = 1,
    liComputer = 2,
    liTemporary = 3,
    liCache = 4,
    liAllDisks = 5,
};

class SearchRun {
public:
    SearchRun(SearchState& state, SearchEngine& engine, SearchWindow& window, SearchHost& host,
              Registry& registry, TextRules& rules);

    // The Search button: the whole run. Matcher errors propagate (the run is
    // abandoned; the caller shows the error report).
    void Run();

    // Copies the window's inputs into the criteria. Returns false, after
    // telling the user, when the location text is empty.
    bool CollectCriteria();

    // A special folder of the current user (1 Personal, 2 Desktop,
    // 3 Templates, 4 Cache), upper-cased; empty when it is not recorded.
    std::string ReadShellFolder(int which);

private:
    SearchState& state_;
    SearchEngine& engine_;
    SearchWindow& window_;
    SearchHost& host_;
    Registry& registry_;
    TextRules& rules_;
};

}  // namespace querna
