// Documents made for the tests under Wine, which no fixture holds.
#pragma once

#include <string>

namespace querna::testing {

// A workbook that takes seconds to read: a formula of Excel's full length
// shared by 30,000 cells, each of which reads as all of it; "needle" is in
// its last cell only.
std::string SlowWorkbook();

}  // namespace querna::testing
