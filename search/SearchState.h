// The search settings and the run state, one object owned by the window and
// shared by reference: a nested search sees and changes the same state as the
// search it interrupts.
#pragma once

#include <cstdint>
#include <string>

namespace querna {

// Flags are 32-bit integers: -1 for true, 0 for false; readers test non-zero.
constexpr int32_t kTrue = -1;
constexpr int32_t kFalse = 0;

struct SearchCriteria {
    std::string Location;
    std::string TypeFilter;
    int32_t IncludeSystem = kFalse;
    int32_t IncludeHidden = kFalse;
    int32_t IncludeSubfolders = kFalse;
    int32_t IncludeReadOnly = kFalse;  // kept for the window; no listing depends on it
    std::string IgnoredFolderName;
};

struct SearchState {
    SearchCriteria Criteria;
    int32_t StopRequested = kFalse;
    int32_t FoundCount = 0;
    int32_t LocalDriveCount = 0;
    // The letters of the local disks (removable or fixed), in letter order, as
    // the location list found them: what an all-disks search walks.
    std::string LocalDriveLetters;
};

}  // namespace querna
