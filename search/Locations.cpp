#include "search/Locations.h"

#include <array>
#include <utility>

namespace querna {

namespace {

using enum LocationKind;

// The places before the disks; the disks and "浏览..." follow them.
const std::array<LocationEntry, 5> kPlaces = {{
    {SpecialFolder, "我的文档", imgDocuments, 0, ShellFolder::Personal, 0, "documents"},
    {SpecialFolder, "桌面", imgDesktop, 0, ShellFolder::Desktop, 0, "desktop"},
    {MyComputer, "我的电脑", imgComputer, 0, ShellFolder::Personal, 0, {}},
    // "临时文件" has always read the Templates value.
    {SpecialFolder, "临时文件", imgOpenFolder, 3, ShellFolder::Templates, 0, "templates"},
    {SpecialFolder, "IE缓存", imgWebFolder, 3, ShellFolder::Cache, 0, "cache"},
}};

// An item of the disks, of "浏览..." or of a command-line folder.
LocationEntry MadeItem(LocationKind kind, std::string caption, int image, int indent) {
    LocationEntry item;
    item.kind = kind;
    item.caption = std::move(caption);
    item.image = image;
    item.indent = indent;
    return item;
}

}  // namespace

std::vector<LocationEntry> BuildLocationItems(std::string_view driveLetters) {
    std::vector<LocationEntry> items(kPlaces.begin(), kPlaces.end());
    std::string driveString;
    for (const char letter : driveLetters) {
        driveString += letter;
        driveString += ":;";
    }
    items.push_back(MadeItem(AllDisks, "本地硬盘(" + driveString + ")", imgDrive, 3));
    for (const char letter : driveLetters) {
        items.push_back(MadeItem(OneDisk, std::string("本地磁盘(") + letter + ":)", imgDrive, 3));
        items.back().drive = letter;
    }
    items.push_back(MadeItem(Browse, std::string(kBrowseCaption), imgOpenFolder, 0));
    return items;
}

std::optional<LocationEntry> LocationItemAt(int index, std::string_view driveLetters) {
    if (index < 0) return std::nullopt;
    std::vector<LocationEntry> items = BuildLocationItems(driveLetters);
    if (index >= static_cast<int>(items.size())) return std::nullopt;
    return std::move(items[static_cast<size_t>(index)]);
}

int LocationIndexOfKeyword(std::string_view keyword) {
    for (size_t i = 0; i < kPlaces.size(); ++i) {
        if (!kPlaces[i].keyword.empty() && kPlaces[i].keyword == keyword) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

LocationEntry CommandLineFolderItem(const std::string& folder) {
    return MadeItem(Folder, folder, imgOpenFolder, 0);
}

}  // namespace querna
