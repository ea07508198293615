// The search engine: the directory walker (a name search over one folder
// tree) and the content pass (a phrase search over the walker's candidates).
// It holds references only; the window or the console companion owns the
// state and the platform services and wires them in once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/SearchHost.h"
#include "platform/TextRules.h"
#include "search/ContentMatchers.h"
#include "search/ResultPathList.h"
#include "search/SearchState.h"

namespace querna {

class SearchEngine {
public:
    // `pauseMs` is slept after every directory entry and every candidate that
    // is not skipped (50 in the window, 0 by default in the console companion).
    SearchEngine(SearchState& state, FileSystem& fs, TextRules& rules, SearchHost& host,
                 ContentMatchers* matchers, int pauseMs)
        : state_(state), fs_(fs), rules_(rules), host_(host), matchers_(matchers),
          pauseMs_(pauseMs) {}

    // Appends to `results`, in post-order of the tree, the files under
    // `folder` whose names contain `pattern` and pass the type filter. Reads
    // the criteria live; returns early when a stop is requested. Never throws
    // in ordinary use: folders that cannot be listed yield nothing.
    void WalkDirectory(ResultPathList& results, const std::string& folder,
                       const std::string& pattern);

    // Gathers candidates with WalkDirectory, then asks the matcher of each
    // candidate's type class whether it holds the phrase (read afresh from the
    // host before each candidate) and appends those that do. Matcher errors
    // propagate.
    void SearchContents(ResultPathList& results, const std::string& root,
                        const std::string& pattern);

    // Tells the matchers that a new search starts (ContentMatchers::BeginSearch).
    void BeginSearch() {
        if (matchers_ != nullptr) matchers_->BeginSearch();
    }

    // Trims bytes up to the blank at both ends and ensures a trailing
    // backslash; an empty text becomes "\".
    static std::string NormaliseFolder(const std::string& folder);

    // The listing attribute set the criteria ask for.
    static uint32_t ListingAttributes(const SearchCriteria& criteria);

    // A folder of the walk being descended; its identity is read only when a
    // link below it makes it needed.
    struct Ancestor {
        std::string dir;
        std::optional<FolderId> id;
    };

private:
    void Walk(ResultPathList& results, const std::string& folder, const std::string& pattern,
              std::vector<Ancestor>& ancestors);
    void TakeMatchListing(const std::string& dir, const std::string& pattern, uint32_t allowed,
                          std::vector<std::string>& candidates);
    bool EntersLoop(const std::string& dir, uint32_t attributes, std::vector<Ancestor>& ancestors);
    int32_t MatchCandidate(const std::string& path, const std::string& phrase);
    void AfterEntry();

    SearchState& state_;
    FileSystem& fs_;
    TextRules& rules_;
    SearchHost& host_;
    ContentMatchers* matchers_;
    int pauseMs_;
};

}  // namespace querna
