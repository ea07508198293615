// One whole search, as the Search button runs it: collect the criteria,
// resolve the location into root folders, run a name walk or a content pass
// under each, fill the results table from each root's list, report completion.
#pragma once

#include <optional>
#include <string>

#include "platform/Registry.h"
#include "search/Locations.h"
#include "search/ResultPathList.h"
#include "search/SearchEngine.h"
#include "search/SearchState.h"
#include "search/SearchWindow.h"

namespace querna {

// Holds references only, and no state of its own between calls: a second
// Run started from inside the first one's message processing (the Search
// button is never disabled) is a complete nested search over the same state,
// after which the first resumes with its own roots and lists.
class SearchRun {
  public:
    SearchRun(SearchState& state, SearchEngine& engine, SearchWindow& window, Registry& registry,
              TextRules& rules)
        : state_(state), engine_(engine), window_(window), registry_(registry), rules_(rules) {}

    // The Search button: clears the stop flag, collects the criteria (an
    // empty or blank location text ends the run there), resolves the location,
    // shows "0" in status panel 1, searches each root and fills the table from
    // it, and shows "搜索完成!" in status panel 3.
    //
    // A location that cannot be searched ends the run before anything
    // changes, with a "提示" box that names it: a special folder the registry
    // does not record, and a single folder that is missing, is a file, lies on
    // a drive that does not exist or cannot be listed. A disk of the all-disks
    // search that cannot be listed (a drive without a medium) stays silent.
    //
    // Location by the selected item: the special folders read from the
    // registry; "我的电脑" and the all-disks item search the drives of
    // SearchState::LocalDriveLetters in order (the first empties the table,
    // the others append), as does the text "ALL" left by any other item; a
    // per-disk item searches the root of the drive its caption names; no item,
    // "浏览..." or a command-line folder search the location text as it is.
    //
    // Matcher errors propagate: the run is abandoned with no fill for the
    // current root and no completion text; the caller shows the error report.
    // Returns false when the search was refused (the user has been told why).
    bool Run();

    // Copies the window's inputs into the criteria. When the location text is
    // empty or blank it tells the user, changes nothing and returns false.
    bool CollectCriteria();

    // A special folder of the current user, ASCII letters upper-cased; empty
    // when it is not recorded.
    std::string ReadShellFolder(ShellFolder which);

  private:
    // Where the run searches: every local disk, or one full folder.
    struct Root {
        bool allDrives;
        std::string folder;
    };
    // The collected location text resolved, for the selected item of the
    // location box, into the root it stands for, and checked. Nothing, after
    // telling the user, when a special folder is not recorded or the folder
    // cannot be searched.
    std::optional<Root> ResolveRoot();
    // One root: a name walk or a content pass into a fresh list, then the
    // table fill (emptying the table first when `emptyTable`). The root is
    // taken by value: a nested run rewrites Criteria.Location meanwhile.
    void SearchRoot(std::string root, bool emptyTable);
    // Every local disk in letter order, the first one emptying the table.
    void SearchDrives();

    SearchState& state_;
    SearchEngine& engine_;
    SearchWindow& window_;
    Registry& registry_;
    TextRules& rules_;
};

}  // namespace querna
