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
    // The console companion's own classes; no item of the window's type box
    // names them, so the window never meets them.
    ftWps = 6,     // WPS Office writer, spreadsheet and presentation files
    ftOffice = 7,  // Word, Excel, PowerPoint and WPS together (a list, never an extension)
};

inline constexpr std::string_view kWordList = "|.DOC|.DOCX|";
inline constexpr std::string_view kExcelList = "|.XLS|.XLSX|";
inline constexpr std::string_view kPowerPointList = "|.PPT|.PPTX|";
inline constexpr std::string_view kTextList =
    "|.TXT|.C|.CPP|.H|.PAS|.JAVA|.XML|.SQL|.ASP|.BAT|.JSP|.PHP|.SH|";
inline constexpr std::string_view kAllFilesList = "|*.*|";
inline constexpr std::string_view kWpsList = "|.WPS|.WPT|.ET|.ETT|.DPS|.DPT|";
inline constexpr std::string_view kOfficeList =
    "|.DOC|.DOCX|.XLS|.XLSX|.PPT|.PPTX|.WPS|.WPT|.ET|.ETT|.DPS|.DPT|";

// The list text of a class (empty for ftOther).
std::string_view TypeClassList(FileTypeClass type);

// Classifies an extension (".doc", dot included; empty for none) or one of the
// list texts of the classes. ASCII letters compare without case.
FileTypeClass ClassifyExtension(std::string_view text);

// The Office class whose documents a WPS Office file is, by its extension
// (".et", dot included): ftWord for .wps and .wpt, ftExcel for .et and .ett,
// ftPowerPoint for .dps and .dpt; ftOther for anything else.
FileTypeClass WpsCounterpart(std::string_view extension);

// Whether a file of class `file` is one the type filter of class `wanted`
// takes (ftAll takes every file).
bool TypeClassTakes(FileTypeClass wanted, FileTypeClass file);

// The type filter that the type box's item `index` stands for: 0 to 3 the
// Word, Excel, PowerPoint and text lists, 5 and 6 the console companion's
// WPS and office lists, "|*.*|" for anything else.
std::string TypeFilterForIndex(int index);

}  // namespace querna
