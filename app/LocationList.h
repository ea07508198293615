// The items of the location box: where a search can run. Their order is read
// by the search run (search/SearchRun.h, LocationItem), so it is fixed:
//   0 我的文档, 1 桌面, 2 我的电脑, 3 临时文件, 4 IE缓存,
//   5 本地硬盘(C:;D:;) (every local disk), 6.. 本地磁盘(X:) one per local disk,
//   then 浏览... (opens the folder dialog), then a command-line folder if any.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextRules.h"

namespace querna {

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
    std::string caption;
    int image = 0;   // also the selected and the overlay image
    int indent = 0;  // in steps of the box's indent
    friend bool operator==(const LocationEntry&, const LocationEntry&) = default;
};

// The items for the local disks `driveLetters` (in letter order, "CDZ").
std::vector<LocationEntry> BuildLocationItems(std::string_view driveLetters);

// The item a folder handed over on the command line becomes.
LocationEntry CommandLineFolderItem(const std::string& folder);

// In-place completion of typed text: `typed` followed by the rest of the
// first caption that begins with it, comparing ASCII letters without case and
// double-byte characters byte for byte. Nothing when `typed` is empty or no
// caption begins with it.
std::optional<std::string> CompleteLocationText(std::string_view typed,
                                                const std::vector<std::string>& captions,
                                                TextRules& rules);

}  // namespace querna
