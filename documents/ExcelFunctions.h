// The worksheet functions a BIFF8 formula calls by their index, with their
// names as Excel writes them.
#pragma once

#include <cstdint>
#include <span>

namespace querna {

struct ExcelFunction {
    uint16_t index;
    int8_t fixedArgs;  // -1: variable, only called through PtgFuncVar
    const char* name;
};

// The function of `index`; null for an index that names none.
const ExcelFunction* FindExcelFunction(uint16_t index);

// Every function, sorted by index.
std::span<const ExcelFunction> ExcelFunctions();

}  // namespace querna
