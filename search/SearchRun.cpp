#include "search/SearchRun.h"

#include <optional>

#include "search/FileTypes.h"
#include "search/PathText.h"

namespace querna {

namespace {

// Where Windows records the current user's special folders.
constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* ShellFolderValue(ShellFolder which) {
    switch (which) {
        case ShellFolder::Personal:
            return "Personal";
        case ShellFolder::Desktop:
            return "Desktop";
        case ShellFolder::Templates:
            return "Templates";
        case ShellFolder::Cache:
            return "Cache";
    }
    return "Personal";
}

// The location that stands for every local disk.
constexpr const char* kAllDrives = "ALL";

// Upper-cases the ASCII letters a to z. The second byte of a double-byte
// character can fall in that range too, but is not a letter: changing it would
// name another character, and so another folder.
std::string UpperAscii(std::string text, TextRules& rules) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (rules.IsLeadByte(byte)) {
            ++i;
        } else if (byte >= 'a' && byte <= 'z') {
            text[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
    return text;
}

std::string DriveRoot(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    return {letter, ':', '\\'};
}

int32_t Flag(bool checked) {
    return checked ? kTrue : kFalse;
}

}  // namespace

bool SearchRun::CollectCriteria() {
    const std::string location = window_.LocationText();
    // A blank text would trim to nothing, and nothing names the current
    // drive's root: that is never what the user meant.
    if (TrimBlanks(location).empty()) {
        window_.ShowInfo("请选择要搜索的目标目录.", "提示");
        return false;
    }
    SearchCriteria& criteria = state_.Criteria;
    criteria.Location = location;
    criteria.TypeFilter = TypeFilterForIndex(window_.TypeIndex());
    criteria.IncludeSystem = Flag(window_.IsChecked(SearchSwitch::System));
    criteria.IncludeHidden = Flag(window_.IsChecked(SearchSwitch::Hidden));
    criteria.IncludeSubfolders = Flag(window_.IsChecked(SearchSwitch::Subfolders));
    criteria.IncludeReadOnly = Flag(window_.IsChecked(SearchSwitch::ReadOnly));
    criteria.IgnoredFolderName = window_.IgnoredFolderText();
    return true;
}

std::string SearchRun::ReadShellFolder(ShellFolder which) {
    return UpperAscii(registry_.ReadCurrentUserString(kShellFoldersKey, ShellFolderValue(which)),
                      rules_);
}

// The location text, as collected, becomes the root in one step: the item of
// the location box decides what the text stands for, a folder is made full
// (a relative one would give the table relative folders, so that its rows,
// the saved list and the actions would depend on the current folder when
// used), and only then is it checked. Criteria.Location is written once,
// before the check, as the window's messages name it.
std::optional<SearchRun::Root> SearchRun::ResolveRoot() {
    std::string folder = state_.Criteria.Location;
    // No item, "浏览..." and a command-line folder leave the location text as
    // typed or put there.
    if (const std::optional<LocationEntry> item =
            LocationItemAt(window_.LocationIndex(), state_.LocalDriveLetters)) {
        switch (item->kind) {
            case LocationKind::SpecialFolder:
                folder = ReadShellFolder(item->folder);
                if (TrimBlanks(folder).empty()) {
                    window_.ShowInfo("系统没有记录“" + item->caption + "”所在的目录.", "提示");
                    return std::nullopt;
                }
                break;
            case LocationKind::MyComputer:
            case LocationKind::AllDisks:
                state_.Criteria.Location = kAllDrives;
                return Root{true, {}};
            case LocationKind::OneDisk:
                folder = DriveRoot(item->drive);
                break;
            case LocationKind::Browse:
            case LocationKind::Folder:
                break;
        }
    }
    if (folder == kAllDrives) {
        state_.Criteria.Location = kAllDrives;
        return Root{true, {}};
    }
    folder = engine_.FullFolder(folder);
    state_.Criteria.Location = folder;
    const char* problem = nullptr;
    switch (engine_.CheckRoot(folder)) {
        case RootProblem::None:
            return Root{false, folder};
        case RootProblem::Missing:
            problem = "目标目录不存在: ";
            break;
        case RootProblem::NotAFolder:
            problem = "目标不是目录: ";
            break;
        case RootProblem::Unlistable:
            problem = "无法读取目标目录: ";
            break;
    }
    window_.ShowInfo(problem + SearchEngine::NormaliseFolder(folder, rules_), "提示");
    return std::nullopt;
}

void SearchRun::SearchRoot(std::string root, bool emptyTable) {
    ResultPathList found(rules_);
    // The boxes are read afresh each time: the messages processed during the
    // walk may have changed them.
    if (window_.PhraseText().empty()) {
        const std::string name = window_.NameText();
        if (!name.empty()) engine_.WalkDirectory(found, root, name);
    }
    if (!window_.PhraseText().empty()) engine_.SearchContents(found, root, window_.NameText());
    window_.FillResultTable(found, emptyTable);
}

void SearchRun::SearchDrives() {
    const std::string letters = state_.LocalDriveLetters;
    if (letters.empty()) {
        window_.FillResultTable(ResultPathList(rules_), true);
        return;
    }
    bool first = true;
    for (const char letter : letters) {
        const std::string root = DriveRoot(letter);
        state_.Criteria.Location = root;
        SearchRoot(root, first);
        first = false;
    }
}

bool SearchRun::Run() {
    state_.StopRequested = kFalse;
    if (!CollectCriteria()) return false;
    const std::optional<Root> root = ResolveRoot();
    if (!root) return false;
    state_.FoundCount = 0;
    window_.SetStatusPanel(StatusPanel::FoundCount, "0");
    engine_.BeginSearch();
    if (root->allDrives) {
        SearchDrives();
    } else {
        SearchRoot(root->folder, true);
    }
    window_.SetStatusPanel(StatusPanel::CurrentPath, "搜索完成!");
    return true;
}

}  // namespace querna
