#include "search/SearchRun.h"

#include <array>
#include <optional>

#include "search/FileTypes.h"

namespace querna {

namespace {

// Where Windows records the current user's special folders.
constexpr const char* kShellFoldersKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::array<const char*, 4> kShellFolderValues = {"Personal", "Desktop", "Templates",
                                                           "Cache"};

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

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string DriveRoot(char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    return {letter, ':', '\\'};
}

// The drive a per-disk item names: its caption ends "(" letter ":)". The letter
// is read from the caption rather than counted, so that every local disk,
// A: and B: included, searches its own root.
std::optional<char> ItemDriveLetter(const std::string& caption) {
    const size_t end = caption.rfind(":)");
    if (end == std::string::npos || end == 0 || !IsAsciiLetter(caption[end - 1])) {
        return std::nullopt;
    }
    return caption[end - 1];
}

int32_t Flag(bool checked) { return checked ? kTrue : kFalse; }

}  // namespace

bool SearchRun::CollectCriteria() {
    const std::string location = window_.LocationText();
    if (location.empty()) {
        window_.ShowInfo("请选择要搜索的目标目录.", "提示");
        return false;
    }
    SearchCriteria& criteria = state_.Criteria;
    criteria.Location = location;
    criteria.TypeFilter = TypeFilterForIndex(window_.TypeIndex());
    criteria.IncludeSystem = Flag(window_.IsChecked(1));
    criteria.IncludeHidden = Flag(window_.IsChecked(2));
    criteria.IncludeSubfolders = Flag(window_.IsChecked(3));
    criteria.IncludeReadOnly = Flag(window_.IsChecked(4));
    criteria.IgnoredFolderName = window_.IgnoredFolderText();
    return true;
}

std::string SearchRun::ReadShellFolder(int which) {
    if (which < 1 || which > static_cast<int>(kShellFolderValues.size())) return {};
    return UpperAscii(
        registry_.ReadCurrentUserString(kShellFoldersKey, kShellFolderValues[which - 1]), rules_);
}

void SearchRun::ResolveLocation() {
    const int index = window_.LocationIndex();
    std::string& location = state_.Criteria.Location;
    switch (index) {
        case liDocuments: location = ReadShellFolder(1); return;
        case liDesktop: location = ReadShellFolder(2); return;
        case liComputer: location = kAllDrives; return;
        case liTemporary: location = ReadShellFolder(3); return;
        case liCache: location = ReadShellFolder(4); return;
        case liAllDisks: location = kAllDrives; return;
        default: break;
    }
    // The items after the per-disk ones ("浏览...", a command-line folder) and
    // no item at all leave the location text as typed or put there.
    if (index > liAllDisks && index <= liAllDisks + state_.LocalDriveCount) {
        if (const auto letter = ItemDriveLetter(window_.LocationItemText(index))) {
            location = DriveRoot(*letter);
        }
    }
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

void SearchRun::Run() {
    state_.StopRequested = kFalse;
    if (!CollectCriteria()) return;
    state_.FoundCount = 0;
    host_.SetStatusPanel(1, "0");
    engine_.BeginSearch();
    ResolveLocation();
    if (state_.Criteria.Location == kAllDrives) {
        SearchDrives();
    } else {
        SearchRoot(state_.Criteria.Location, true);
    }
    host_.SetStatusPanel(3, "搜索完成!");
}

}  // namespace querna
