// The function table Ftab of [MS-XLS] "Excel Binary File Format (.xls)
// Structure" (2.5.198.17): the worksheet functions a formula calls by index.
#include "documents/ExcelFunctions.h"

#include <array>
#include <cstddef>
#include <iterator>

namespace querna {

namespace {

// The worksheet functions of Ftab, sorted by index.
// clang-format off
constexpr ExcelFunction kFunctions[] = {
    {0, -1, "COUNT"}, {1, -1, "IF"}, {2, 1, "ISNA"},
    {3, 1, "ISERROR"}, {4, -1, "SUM"}, {5, -1, "AVERAGE"},
    {6, -1, "MIN"}, {7, -1, "MAX"}, {8, -1, "ROW"},
    {9, -1, "COLUMN"}, {10, 0, "NA"}, {11, -1, "NPV"},
    {12, -1, "STDEV"}, {13, -1, "DOLLAR"}, {14, -1, "FIXED"},
    {15, 1, "SIN"}, {16, 1, "COS"}, {17, 1, "TAN"},
    {18, 1, "ATAN"}, {19, 0, "PI"}, {20, 1, "SQRT"},
    {21, 1, "EXP"}, {22, 1, "LN"}, {23, 1, "LOG10"},
    {24, 1, "ABS"}, {25, 1, "INT"}, {26, 1, "SIGN"},
    {27, 2, "ROUND"}, {28, -1, "LOOKUP"}, {29, -1, "INDEX"},
    {30, 2, "REPT"}, {31, 3, "MID"}, {32, 1, "LEN"},
    {33, 1, "VALUE"}, {34, 0, "TRUE"}, {35, 0, "FALSE"},
    {36, -1, "AND"}, {37, -1, "OR"}, {38, 1, "NOT"},
    {39, 2, "MOD"}, {40, 3, "DCOUNT"}, {41, 3, "DSUM"},
    {42, 3, "DAVERAGE"}, {43, 3, "DMIN"}, {44, 3, "DMAX"},
    {45, 3, "DSTDEV"}, {46, -1, "VAR"}, {47, 3, "DVAR"},
    {48, 2, "TEXT"}, {49, -1, "LINEST"}, {50, -1, "TREND"},
    {51, -1, "LOGEST"}, {52, -1, "GROWTH"}, {56, -1, "PV"},
    {57, -1, "FV"}, {58, -1, "NPER"}, {59, -1, "PMT"},
    {60, -1, "RATE"}, {61, 3, "MIRR"}, {62, -1, "IRR"},
    {63, 0, "RAND"}, {64, -1, "MATCH"}, {65, 3, "DATE"},
    {66, 3, "TIME"}, {67, 1, "DAY"}, {68, 1, "MONTH"},
    {69, 1, "YEAR"}, {70, -1, "WEEKDAY"}, {71, 1, "HOUR"},
    {72, 1, "MINUTE"}, {73, 1, "SECOND"}, {74, 0, "NOW"},
    {75, 1, "AREAS"}, {76, 1, "ROWS"}, {77, 1, "COLUMNS"},
    {78, -1, "OFFSET"}, {82, -1, "SEARCH"}, {83, 1, "TRANSPOSE"},
    {86, 1, "TYPE"}, {97, 2, "ATAN2"}, {98, 1, "ASIN"},
    {99, 1, "ACOS"}, {100, -1, "CHOOSE"}, {101, -1, "HLOOKUP"},
    {102, -1, "VLOOKUP"}, {105, 1, "ISREF"}, {109, -1, "LOG"},
    {111, 1, "CHAR"}, {112, 1, "LOWER"}, {113, 1, "UPPER"},
    {114, 1, "PROPER"}, {115, -1, "LEFT"}, {116, -1, "RIGHT"},
    {117, 2, "EXACT"}, {118, 1, "TRIM"}, {119, 4, "REPLACE"},
    {120, -1, "SUBSTITUTE"}, {121, 1, "CODE"}, {124, -1, "FIND"},
    {125, -1, "CELL"}, {126, 1, "ISERR"}, {127, 1, "ISTEXT"},
    {128, 1, "ISNUMBER"}, {129, 1, "ISBLANK"}, {130, 1, "T"},
    {131, 1, "N"}, {140, 1, "DATEVALUE"}, {141, 1, "TIMEVALUE"},
    {142, 3, "SLN"}, {143, 4, "SYD"}, {144, -1, "DDB"},
    {148, -1, "INDIRECT"}, {162, 1, "CLEAN"}, {163, 1, "MDETERM"},
    {164, 1, "MINVERSE"}, {165, 2, "MMULT"}, {167, -1, "IPMT"},
    {168, -1, "PPMT"}, {169, -1, "COUNTA"}, {183, -1, "PRODUCT"},
    {184, 1, "FACT"}, {189, 3, "DPRODUCT"}, {190, 1, "ISNONTEXT"},
    {193, -1, "STDEVP"}, {194, -1, "VARP"}, {195, 3, "DSTDEVP"},
    {196, 3, "DVARP"}, {197, -1, "TRUNC"}, {198, 1, "ISLOGICAL"},
    {199, 3, "DCOUNTA"}, {205, -1, "FINDB"}, {206, -1, "SEARCHB"},
    {207, 4, "REPLACEB"}, {208, -1, "LEFTB"}, {209, -1, "RIGHTB"},
    {210, 3, "MIDB"}, {211, 1, "LENB"}, {212, 2, "ROUNDUP"},
    {213, 2, "ROUNDDOWN"}, {214, 1, "ASC"}, {215, 1, "DBCS"},
    {216, -1, "RANK"}, {219, -1, "ADDRESS"}, {220, -1, "DAYS360"},
    {221, 0, "TODAY"}, {222, -1, "VDB"}, {227, -1, "MEDIAN"},
    {228, -1, "SUMPRODUCT"}, {229, 1, "SINH"}, {230, 1, "COSH"},
    {231, 1, "TANH"}, {232, 1, "ASINH"}, {233, 1, "ACOSH"},
    {234, 1, "ATANH"}, {235, 3, "DGET"}, {244, 1, "INFO"},
    {247, -1, "DB"}, {252, 2, "FREQUENCY"}, {261, 1, "ERROR.TYPE"},
    {269, -1, "AVEDEV"}, {270, -1, "BETADIST"}, {271, 1, "GAMMALN"},
    {272, -1, "BETAINV"}, {273, 4, "BINOMDIST"}, {274, 2, "CHIDIST"},
    {275, 2, "CHIINV"}, {276, 2, "COMBIN"}, {277, 3, "CONFIDENCE"},
    {278, 3, "CRITBINOM"}, {279, 1, "EVEN"}, {280, 3, "EXPONDIST"},
    {281, 3, "FDIST"}, {282, 3, "FINV"}, {283, 1, "FISHER"},
    {284, 1, "FISHERINV"}, {285, 2, "FLOOR"}, {286, 4, "GAMMADIST"},
    {287, 3, "GAMMAINV"}, {288, 2, "CEILING"}, {289, 4, "HYPGEOMDIST"},
    {290, 3, "LOGNORMDIST"}, {291, 3, "LOGINV"}, {292, 3, "NEGBINOMDIST"},
    {293, 4, "NORMDIST"}, {294, 1, "NORMSDIST"}, {295, 3, "NORMINV"},
    {296, 1, "NORMSINV"}, {297, 3, "STANDARDIZE"}, {298, 1, "ODD"},
    {299, 2, "PERMUT"}, {300, 3, "POISSON"}, {301, 3, "TDIST"},
    {302, 4, "WEIBULL"}, {303, 2, "SUMXMY2"}, {304, 2, "SUMX2MY2"},
    {305, 2, "SUMX2PY2"}, {306, 2, "CHITEST"}, {307, 2, "CORREL"},
    {308, 2, "COVAR"}, {309, 3, "FORECAST"}, {310, 2, "FTEST"},
    {311, 2, "INTERCEPT"}, {312, 2, "PEARSON"}, {313, 2, "RSQ"},
    {314, 2, "STEYX"}, {315, 2, "SLOPE"}, {316, 4, "TTEST"},
    {317, -1, "PROB"}, {318, -1, "DEVSQ"}, {319, -1, "GEOMEAN"},
    {320, -1, "HARMEAN"}, {321, -1, "SUMSQ"}, {322, -1, "KURT"},
    {323, -1, "SKEW"}, {324, -1, "ZTEST"}, {325, 2, "LARGE"},
    {326, 2, "SMALL"}, {327, 2, "QUARTILE"}, {328, 2, "PERCENTILE"},
    {329, -1, "PERCENTRANK"}, {330, -1, "MODE"}, {331, 2, "TRIMMEAN"},
    {332, 2, "TINV"}, {336, -1, "CONCATENATE"}, {337, 2, "POWER"},
    {342, 1, "RADIANS"}, {343, 1, "DEGREES"}, {344, -1, "SUBTOTAL"},
    {345, -1, "SUMIF"}, {346, 2, "COUNTIF"}, {347, 1, "COUNTBLANK"},
    {350, 4, "ISPMT"}, {351, 3, "DATEDIF"}, {352, 1, "DATESTRING"},
    {353, 2, "NUMBERSTRING"}, {354, -1, "ROMAN"}, {358, -1, "GETPIVOTDATA"},
    {359, -1, "HYPERLINK"}, {360, 1, "PHONETIC"}, {361, -1, "AVERAGEA"},
    {362, -1, "MAXA"}, {363, -1, "MINA"}, {364, -1, "STDEVPA"},
    {365, -1, "VARPA"}, {366, -1, "STDEVA"}, {367, -1, "VARA"},
};
// clang-format on

}  // namespace

namespace {

// Each index's place in kFunctions, -1 where the index names none: a formula
// cell looks up a function or two, and a workbook holds thousands of them.
constexpr size_t kIndexCount = std::end(kFunctions)[-1].index + 1;
constexpr auto kPlaces = [] {
    std::array<int16_t, kIndexCount> places{};
    places.fill(-1);
    for (size_t i = 0; i < std::size(kFunctions); ++i) {
        places[kFunctions[i].index] = static_cast<int16_t>(i);
    }
    return places;
}();

}  // namespace

const ExcelFunction* FindExcelFunction(uint16_t index) {
    if (index >= kIndexCount || kPlaces[index] < 0) return nullptr;
    return &kFunctions[kPlaces[index]];
}

std::span<const ExcelFunction> ExcelFunctions() {
    return kFunctions;
}

}  // namespace querna
