// The search engine: the directory walker (a name search over one folder
// tree) and the content pass (a phrase search over the walker's candidates).
// It holds references only; the window or the console companion owns the
// state and the platform services and wires them in once.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/TextRules.h"
#include "search/ContentMatchers.h"
#include "search/FileTypes.h"
#include "search/PathText.h"
#include "search/ResultPathList.h"
#include "search/SearchState.h"
#include "search/SearchWindow.h"

namespace querna {

// Why a root folder of a search cannot be searched.
enum class RootProblem {
    None,
    Missing,     // nothing of that name, or a drive that does not exist
    NotAFolder,  // a file
    Unlistable,  // a folder whose listing is refused
};

// Told of each file as it becomes a result of a search: when the walk appends
// it to the caller's list (its folder's whole sub-tree done), or when the
// content pass finds the phrase in it. Candidates gathered for the content
// pass are not results.
class ResultObserver {
  public:
    virtual ~ResultObserver() = default;
    virtual void ResultAppended(const std::string& path, const ListedFile& listed) = 0;
};

class SearchEngine {
  public:
    // `pauseMs` is slept after every directory entry and every candidate that
    // is not skipped (50 in the window, 0 by default in the console companion).
    SearchEngine(SearchState& state, FileSystem& fs, TextRules& rules, SearchWindow& window,
                 ContentMatchers* matchers, int pauseMs)
        : state_(state),
          fs_(fs),
          rules_(rules),
          window_(window),
          matchers_(matchers),
          pauseMs_(pauseMs) {}

    // The observer told of every result from now on; null for none.
    void SetResultObserver(ResultObserver* observer) { observer_ = observer; }

    // Appends to `results`, in post-order of the tree, the files under
    // `folder` whose names contain `pattern` and pass the type filter. Reads
    // the criteria live; returns early when a stop is requested. Never throws
    // in ordinary use: folders that cannot be listed yield nothing, and each
    // one below `folder` is told to the window (SearchWindow::ReportUnlistable).
    void WalkDirectory(ResultPathList& results, const std::string& folder,
                       const std::string& pattern);

    // Gathers candidates with WalkDirectory, then asks the matcher of each
    // candidate's type class whether it holds the phrase (read afresh from the
    // window before each candidate) and appends those that do; one that cannot
    // be opened is reported to the window at once. Matcher errors propagate.
    void SearchContents(ResultPathList& results, const std::string& root,
                        const std::string& pattern);

    // Tells the matchers that a new search starts (ContentMatchers::BeginSearch).
    void BeginSearch() {
        if (matchers_ != nullptr) matchers_->BeginSearch();
    }

    // Trims bytes up to the blank at both ends and ensures a trailing
    // backslash (one that is the second byte of a double-byte character does
    // not count); an empty text becomes "\".
    static std::string NormaliseFolder(const std::string& folder, TextRules& rules);

    // Why a folder cannot be searched, if it cannot.
    RootProblem CheckRoot(const std::string& folder);

    // The folder, without the blanks at its ends, as the file system names it
    // fully (see FileSystem::FullFolderPath).
    std::string FullFolder(const std::string& folder) {
        return fs_.FullFolderPath(std::string(TrimBlanks(folder)));
    }

    // The listing attribute set the criteria ask for.
    static uint32_t ListingAttributes(const SearchCriteria& criteria);

    // A folder of the walk being descended; its identity is read only when a
    // link below it makes it needed.
    struct Ancestor {
        std::string dir;
        std::optional<FolderId> id;
    };

  private:
    // A folder's matches with what its match listing returned of them.
    using Candidates = std::vector<std::pair<std::string, ListedFile>>;
    // The type filter as read at one moment.
    struct TypeTest {
        bool allFiles;
        FileTypeClass wanted;
    };

    void Walk(ResultPathList& results, const std::string& folder, const std::string& pattern,
              std::vector<Ancestor>& ancestors, ResultObserver* observer);
    void TakeMatchListing(const std::string& dir, const std::string& pattern, uint32_t allowed,
                          Candidates& candidates);
    // The end of a folder's walk: its candidates that `results` does not
    // hold yet join it, each counted and told to the observer.
    void AppendCandidates(ResultPathList& results, const Candidates& candidates,
                          ResultObserver* observer);
    TypeTest ReadTypeTest() const;
    // Adds `file` unless it is a directory or fails the type test.
    void AddCandidate(const std::string& dir, const DirEntry& file, const TypeTest& test,
                      Candidates& candidates);
    bool EntersLoop(const std::string& dir, uint32_t attributes, std::vector<Ancestor>& ancestors);
    MatchVerdict MatchCandidate(const std::string& path, const std::string& phrase);
    void AfterEntry();

    SearchState& state_;
    FileSystem& fs_;
    TextRules& rules_;
    SearchWindow& window_;
    ContentMatchers* matchers_;
    int pauseMs_;
    ResultObserver* observer_ = nullptr;
};

}  // namespace querna
