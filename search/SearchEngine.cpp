#include "search/SearchEngine.h"

#include <optional>

#include "search/FileTypes.h"
#include "search/PathText.h"

namespace querna {

namespace {

// Keeps a folder on the chain of folders being descended while its walk lasts.
class AncestorGuard {
  public:
    AncestorGuard(std::vector<SearchEngine::Ancestor>& chain, const std::string& dir)
        : chain_(chain) {
        chain_.push_back({dir, std::nullopt});
    }
    ~AncestorGuard() { chain_.pop_back(); }
    AncestorGuard(const AncestorGuard&) = delete;
    AncestorGuard& operator=(const AncestorGuard&) = delete;

  private:
    std::vector<SearchEngine::Ancestor>& chain_;
};

}  // namespace

std::string SearchEngine::NormaliseFolder(const std::string& folder, TextRules& rules) {
    std::string dir(TrimBlanks(folder));
    if (!EndsWithBackslash(dir, rules)) dir += '\\';
    return dir;
}

RootProblem SearchEngine::CheckRoot(const std::string& folder) {
    const std::string dir = NormaliseFolder(folder, rules_);
    if (!fs_.FolderExists(dir)) {
        EntryFacts facts;
        std::string path = dir;
        while (EndsWithBackslash(path, rules_)) path.pop_back();
        const bool isFile =
            !path.empty() && fs_.FindEntry(path, facts) && !(facts.attributes & faDirectory);
        return isFile ? RootProblem::NotAFolder : RootProblem::Missing;
    }
    return fs_.CanList(dir) ? RootProblem::None : RootProblem::Unlistable;
}

uint32_t SearchEngine::ListingAttributes(const SearchCriteria& criteria) {
    uint32_t allowed = faReadOnly | faArchive;
    if (criteria.IncludeHidden) allowed |= faHidden;
    if (criteria.IncludeSystem) allowed |= faSysFile;
    if (criteria.IncludeSubfolders) allowed |= faDirectory;
    return allowed;
}

void SearchEngine::WalkDirectory(ResultPathList& results, const std::string& folder,
                                 const std::string& pattern) {
    std::vector<Ancestor> ancestors;
    Walk(results, folder, pattern, ancestors, observer_);
}

void SearchEngine::AfterEntry() {
    window_.ProcessMessages();
    window_.Pause(pauseMs_);
}

SearchEngine::TypeTest SearchEngine::ReadTypeTest() const {
    const std::string& filter = state_.Criteria.TypeFilter;
    const bool allFiles = filter.find("*.*") != std::string::npos;
    return {allFiles, allFiles ? ftAll : ClassifyExtension(filter)};
}

void SearchEngine::AddCandidate(const std::string& dir, const DirEntry& file, const TypeTest& test,
                                Candidates& candidates) {
    if (file.attributes & faDirectory) return;
    if (test.allFiles ||
        TypeClassTakes(test.wanted, ClassifyExtension(SplitPath(file.name, rules_).extension))) {
        candidates.emplace_back(dir + file.name,
                                ListedFile{file.size, file.attributes, file.creationTime});
    }
}

void SearchEngine::TakeMatchListing(const std::string& dir, const std::string& pattern,
                                    uint32_t allowed, Candidates& candidates) {
    // No file name holds a path separator or a drive colon, and handed to the
    // listing such a pattern would move it into another folder ("\..\..\x"),
    // whose files would then be taken for this folder's.
    if (LastDelimiter(pattern, "\\/:", rules_) != std::string_view::npos) return;
    // No messages are processed during the match listing, so the type filter
    // read here holds for all of it.
    const TypeTest test = ReadTypeTest();
    auto matches = fs_.List(dir + "*" + pattern + "*", allowed);
    DirEntry entry;
    while (matches->Next(entry)) AddCandidate(dir, entry, test, candidates);
}

// A linked folder (a junction or symbolic link) that leads back to a folder
// being walked would make the walk endless; such a link is not entered.
// Identities are read only when a link is met, so plain trees pay nothing.
bool SearchEngine::EntersLoop(const std::string& dir, uint32_t attributes,
                              std::vector<Ancestor>& ancestors) {
    if (!(attributes & faReparsePoint)) return false;
    FolderId target;
    if (!fs_.ReadFolderId(dir, target)) return false;
    for (Ancestor& ancestor : ancestors) {
        if (!ancestor.id) {
            FolderId id;
            if (!fs_.ReadFolderId(ancestor.dir, id)) continue;
            ancestor.id = id;
        }
        if (*ancestor.id == target) return true;
    }
    return false;
}

void SearchEngine::Walk(ResultPathList& results, const std::string& folder,
                        const std::string& pattern, std::vector<Ancestor>& ancestors,
                        ResultObserver* observer) {
    if (state_.StopRequested) return;
    const std::string dir = NormaliseFolder(folder, rules_);
    // A sub-folder that its parent listed but that cannot be listed itself
    // is told to the window. The start folder is not: the search run tells the
    // user about a location it cannot search before walking it, and passes
    // over a disk without a medium in silence.
    const bool subFolder = !ancestors.empty();
    if (!fs_.FolderExists(dir)) {
        if (subFolder) window_.ReportUnlistable(dir);
        return;
    }

    Candidates candidates;
    const uint32_t allowed = ListingAttributes(state_.Criteria);
    bool matchListingTaken = false;
    // A pattern that every name matches ("" or only "*") makes the match
    // listing return just the files of the folder listing, ignored name
    // included; they are kept from it rather than listed a second time, which
    // would cost as much again. The type filter is still read when the match
    // listing would be taken.
    const bool everyName = pattern.find_first_not_of('*') == std::string::npos;
    std::vector<DirEntry> files;
    std::optional<TypeTest> typeTest;
    {
        AncestorGuard onChain(ancestors, dir);
        auto listing = fs_.List(dir + "*.*", allowed);
        if (subFolder && listing->Refused()) window_.ReportUnlistable(dir);
        DirEntry entry;
        std::string path;
        while (listing->Next(entry)) {
            if (state_.StopRequested) return;  // this folder's candidates are dropped
            if (everyName && !(entry.attributes & faDirectory)) files.push_back(entry);
            if (!state_.Criteria.IgnoredFolderName.empty() &&
                entry.name == state_.Criteria.IgnoredFolderName) {
                continue;
            }
            path.assign(dir).append(entry.name);
            window_.SetStatusPanel(StatusPanel::CurrentPath, path);
            if (entry.attributes & faDirectory) {
                if (entry.name != "." && entry.name != "..") {
                    // Named with its backslash, as Windows would drop a blank
                    // that ends the last name of a path.
                    const std::string sub = path + "\\";
                    if (!EntersLoop(sub, entry.attributes, ancestors)) {
                        Walk(results, sub, pattern, ancestors, observer);
                    }
                }
            } else if (!matchListingTaken) {
                matchListingTaken = true;
                if (everyName) {
                    typeTest = ReadTypeTest();
                } else {
                    TakeMatchListing(dir, pattern, allowed, candidates);
                }
            }
            AfterEntry();
        }
    }
    if (typeTest) {
        for (const DirEntry& file : files) AddCandidate(dir, file, *typeTest, candidates);
    }
    AppendCandidates(results, candidates, observer);
}

void SearchEngine::AppendCandidates(ResultPathList& results, const Candidates& candidates,
                                    ResultObserver* observer) {
    for (const auto& [candidate, listed] : candidates) {
        if (results.Append(candidate, listed)) {
            ++state_.FoundCount;
            window_.SetStatusPanel(StatusPanel::FoundCount, std::to_string(state_.FoundCount));
            if (observer != nullptr) observer->ResultAppended(candidate, listed);
        }
    }
}

MatchVerdict SearchEngine::MatchCandidate(const std::string& path, const std::string& phrase) {
    if (matchers_ == nullptr) return MatchVerdict::NotFound;
    switch (ClassifyExtension(SplitPath(path, rules_).extension)) {
        case ftWord:
            return matchers_->MatchWordDocument(path, phrase);
        case ftExcel:
            return matchers_->MatchExcelWorkbook(path, phrase);
        case ftPowerPoint:
            return matchers_->MatchPowerPointPresentation(path, phrase);
        case ftText:
            return matchers_->MatchTextFile(path, phrase);
        case ftWps:
            // Read only where the console companion asked for WPS files: under
            // the all-files filter they stay unread, as in the window.
            if (ReadTypeTest().allFiles) break;
            return matchers_->MatchWpsDocument(path, phrase);
        case ftOther:
        case ftAll:
        case ftOffice:
            break;
    }
    return MatchVerdict::NotFound;
}

void SearchEngine::SearchContents(ResultPathList& results, const std::string& root,
                                  const std::string& pattern) {
    ResultPathList candidates(rules_);
    std::vector<Ancestor> ancestors;
    Walk(candidates, root, pattern, ancestors, nullptr);
    state_.FoundCount = 0;
    for (size_t i = 0; i < candidates.Count(); ++i) {
        if (state_.StopRequested) break;
        const std::string& path = candidates[i];
        window_.SetStatusPanel(StatusPanel::CurrentPath, path);
        const std::string phrase = window_.PhraseText();
        const MatchVerdict verdict = MatchCandidate(path, phrase);
        if (verdict == MatchVerdict::Unreadable) window_.ReportUnreadable(path);
        if (verdict == MatchVerdict::Found) {
            ++state_.FoundCount;
            const bool appended = results.Append(path, candidates.Listed(i));
            window_.SetStatusPanel(StatusPanel::FoundCount, std::to_string(state_.FoundCount));
            if (appended && observer_ != nullptr) {
                observer_->ResultAppended(path, candidates.Listed(i));
            }
        }
        AfterEntry();
    }
}

}  // namespace querna
