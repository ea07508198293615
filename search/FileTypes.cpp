#include "search/FileTypes.h"

#include <array>

namespace querna {

namespace {

// Upper-cases every byte from a to z wherever it stands, the second byte of a
// double-byte character included. That is harmless here: the class lists
// hold ASCII extensions only, which an extension with a double-byte
// character can never equal, changed or not.
std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return upper;
}

struct ClassList {
    FileTypeClass type;
    std::string_view list;
};

constexpr std::array<ClassList, 4> kClassLists = {{
    {ftWord, kWordList},
    {ftExcel, kExcelList},
    {ftPowerPoint, kPowerPointList},
    {ftText, kTextList},
}};

}  // namespace

std::string_view TypeClassList(FileTypeClass type) {
    switch (type) {
        case ftWord:
            return kWordList;
        case ftExcel:
            return kExcelList;
        case ftPowerPoint:
            return kPowerPointList;
        case ftText:
            return kTextList;
        case ftAll:
            return kAllFilesList;
        case ftOther:
            break;
    }
    return {};
}

FileTypeClass ClassifyExtension(std::string_view text) {
    const std::string upper = UpperAscii(text);
    const std::string probe = "|" + upper + "|";
    for (const ClassList& c : kClassLists) {
        if (c.list.find(probe) != std::string_view::npos || upper == c.list) return c.type;
    }
    if (kAllFilesList.find(probe) != std::string_view::npos) return ftAll;
    return ftOther;
}

std::string TypeFilterForIndex(int index) {
    if (index >= 0 && index < static_cast<int>(kClassLists.size())) {
        return std::string(kClassLists[index].list);
    }
    return std::string(kAllFilesList);
}

}  // namespace querna
