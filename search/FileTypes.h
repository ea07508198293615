// File type classes: the extension lists that also serve as the type filter.
#pragma once

#include <string>
#include <string_view>

namespace querna {

enum FileTypeClass : int {
    ftOther = 0,
    ftWord = 1,
    ftExcel = 2,
    ftPowerPoint = 3,
    ftText = 4,
    ftAll = 5,
};

inline constexpr std::string_view kWordList = "|.DOC|.DOCX|";
inline constexpr std::string_view kExcelList = "|.XLS|.XLSX|";
inline constexpr std::string_view kPowerPointList = "|.PPT|.PPTX|";
inline constexpr std::string_view kTextList =
    "|.TXT|.C|.CPP|.H|.PAS|.JAVA|.XML|.SQL|.ASP|.BAT|.JSP|.PHP|.SH|";
inline constexpr std::string_view kAllFilesList = "|*.*|";

// The list text of a class (empty for ftOther).
std::string_view TypeClassList(FileTypeClass type);

// Classifies an extension (".doc", dot included; empty for none) or one of the
// four list texts of classes 1 to 4. ASCII letters compare without case.
FileTypeClass ClassifyExtension(std::string_view text);

// The type filter that the type box's item `index` stands for ("|*.*|" for
// anything but 0 to 4).
std::string TypeFilterForIndex(int index);

}  // namespace querna
