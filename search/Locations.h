// The places of the location box, in the box's order, each with what it
// stands for. This table is the one home of that knowledge: the window fills
// its box from it, the search run resolves a selected item through it, and
// the console companion finds its named places in it. Adding a place is one
// edit of the table in Locations.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace querna {

enum class LocationKind {
    SpecialFolder,  // a folder of the current user, read from the registry
    MyComputer,     // every local disk
    AllDisks,       // every local disk
    OneDisk,        // the root of one local disk
    Browse,         // opens the folder dialog
    Folder,         // a folder handed over on the command line
};

// The current user's special folders, as the registry's shell folders name them.
enum class ShellFolder { Personal, Desktop, Templates, Cache };

// The pictures of the location box's image list, by index.
enum LocationImage : int {
    imgDocuments = 0,   // folder with a document
    imgPictures = 1,    // folder with a picture
    imgMusic = 2,       // folder with a music note
    imgDesktop = 3,     // the desktop sheet
    imgComputer = 4,    // computer with a monitor
    imgDrive = 5,       // disk drive
    imgOpenFolder = 6,  // open folder
    imgWebFolder = 7,   // folder with a globe
    kLocationImageCount = 8,
};

inline constexpr std::string_view kBrowseCaption = "浏览...";

struct LocationEntry {
    LocationKind kind = LocationKind::Folder;
    std::string caption;
    int image = 0;                               // also the selected and the overlay image
    int indent = 0;                              // in steps of the box's indent
    ShellFolder folder = ShellFolder::Personal;  // for SpecialFolder
    char drive = 0;                              // for OneDisk
    std::string_view keyword;                    // the console companion's name for it, if any
    friend bool operator==(const LocationEntry&, const LocationEntry&) = default;
};

// The items for the local disks `driveLetters` (in letter order, "CDZ"):
//   我的文档, 桌面, 我的电脑, 临时文件, IE缓存, 本地硬盘(C:;D:;) (every local
//   disk), 本地磁盘(X:) one per local disk, 浏览...
std::vector<LocationEntry> BuildLocationItems(std::string_view driveLetters);

// The item at `index` of the list built for `driveLetters`; nothing for no
// item (-1) and for items after the list (a command-line folder).
std::optional<LocationEntry> LocationItemAt(int index, std::string_view driveLetters);

// The index of the item the console companion names `keyword` ("documents",
// "desktop", "templates", "cache"); -1 when none has that name.
int LocationIndexOfKeyword(std::string_view keyword);

// The item a folder handed over on the command line becomes.
LocationEntry CommandLineFolderItem(const std::string& folder);

}  // namespace querna
