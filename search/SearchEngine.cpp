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
        const bool isFile = !path.empty() && fs_.FindEntry(path, facts) &&
                            !(facts.attributes & faDirectory);
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
    Walk(results, folder, pattern, ancestors);
}

void SearchEngine::AfterEntry() {
    host_.ProcessMessages();
    host_.Pause(pauseMs_);
}

void SearchEngine::TakeMatchListing(const std::string& dir, const std::string& pattern,
                                    uint32_t allowed, std::vector<std::string>& candidates) {
    // No messages are processed during the match listing, so the type filter
    // read here holds for all of it.
    const std::string& filter = state_.Criteria.TypeFilter;
    const bool allFiles = filter.find("*.*") != std::string::npos;
    const FileTypeClass wanted = allFiles ? ftAll : ClassifyExtension(filter);
    auto matches = fs_.List(dir + "*" + pattern + "*", allowed);
    DirEntry entry;
    while (matches->Next(entry)) {
        if (entry.attributes & faDirectory) continue;
        if (allFiles || ClassifyExtension(SplitPath(entry.name, rules_).extension) == wanted) {
            candidates.push_back(dir + entry.name);
        }
    }
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
                        const std::string& pattern, std::vector<Ancestor>& ancestors) {
    if (state_.StopRequested) return;
    const std::string dir = NormaliseFolder(folder, rules_);
    if (!fs_.FolderExists(dir)) return;

    std::vector<std::string> candidates;
    const uint32_t allowed = ListingAttributes(state_.Criteria);
    bool matchListingTaken = false;
    {
        AncestorGuard onChain(ancestors, dir);
        auto listing = fs_.List(dir + "*.*", allowed);
        DirEntry entry;
        std::string path;
        while (listing->Next(entry)) {
            if (state_.StopRequested) return;  // this folder's candidates are dropped
            if (!state_.Criteria.IgnoredFolderName.empty() &&
                entry.name == state_.Criteria.IgnoredFolderName) {
                continue;
            }
            path.assign(dir).append(entry.name);
            host_.SetStatusPanel(3, path);
            if (entry.attributes & faDirectory) {
                if (entry.name != "." && entry.name != ".." &&
                    !EntersLoop(path, entry.attributes, ancestors)) {
                    Walk(results, path + "\\", pattern, ancestors);
                }
            } else if (!matchListingTaken) {
                matchListingTaken = true;
                TakeMatchListing(dir, pattern, allowed, candidates);
            }
            AfterEntry();
        }
    }

    for (const std::string& candidate : candidates) {
        if (results.Append(candidate)) {
            ++state_.FoundCount;
            host_.SetStatusPanel(1, std::to_string(state_.FoundCount));
        }
    }
}

int32_t SearchEngine::MatchCandidate(const std::string& path, const std::string& phrase) {
    if (matchers_ == nullptr) return 0;
    switch (ClassifyExtension(SplitPath(path, rules_).extension)) {
        case ftWord: return matchers_->MatchWordDocument(path, phrase);
        case ftExcel: return matchers_->MatchExcelWorkbook(path, phrase);
        case ftPowerPoint: return matchers_->MatchPowerPointPresentation(path, phrase);
        case ftText: return matchers_->MatchTextFile(path, phrase);
        case ftOther:
        case ftAll: break;
    }
    return 0;
}

void SearchEngine::SearchContents(ResultPathList& results, const std::string& root,
                                  const std::string& pattern) {
    ResultPathList candidates(rules_);
    WalkDirectory(candidates, root, pattern);
    state_.FoundCount = 0;
    for (const std::string& path : candidates.Paths()) {
        if (state_.StopRequested) break;
        host_.SetStatusPanel(3, path);
        const std::string phrase = host_.ReadPhrase();
        if (MatchCandidate(path, phrase) > 0) {
            ++state_.FoundCount;
            results.Append(path);
            host_.SetStatusPanel(1, std::to_string(state_.FoundCount));
        }
        AfterEntry();
    }
}

}  // namespace querna
