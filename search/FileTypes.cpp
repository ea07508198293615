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

// The classes an extension may belong to, in the type box's order.
constexpr std::array<ClassList, 5> kClassLists = {{
    {ftWord, kWordList},
    {ftExcel, kExcelList},
    {ftPowerPoint, kPowerPointList},
    {ftText, kTextList},
    {ftWps, kWpsList},
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
        case ftWps:
            return kWpsList;
        case ftOffice:
            return kOfficeList;
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
    if (upper == kOfficeList) return ftOffice;
    return ftOther;
}

FileTypeClass WpsCounterpart(std::string_view extension) {
    // Writer, spreadsheet and presentation files and their templates: the
    // WPS list split by the application each stands in for.
    static constexpr ClassList kCounterparts[] = {
        {ftWord, "|.WPS|.WPT|"},
        {ftExcel, "|.ET|.ETT|"},
        {ftPowerPoint, "|.DPS|.DPT|"},
    };
    const std::string probe = "|" + UpperAscii(extension) + "|";
    for (const ClassList& c : kCounterparts) {
        if (c.list.find(probe) != std::string_view::npos) return c.type;
    }
    return ftOther;
}

bool TypeClassTakes(FileTypeClass wanted, FileTypeClass file) {
    if (wanted == ftAll) return true;
    if (wanted == ftOffice) {
        return file == ftWord || file == ftExcel || file == ftPowerPoint || file == ftWps;
    }
    return file == wanted;
}

std::string TypeFilterForIndex(int index) {
    if (index >= 0 && index < 4) return std::string(kClassLists[index].list);
    if (index == 5) return std::string(kWpsList);
    if (index == 6) return std::string(kOfficeList);
    return std::string(kAllFilesList);
}

}  // namespace querna
