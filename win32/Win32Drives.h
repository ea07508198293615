// The local disks: the drive letters whose root reports the type removable or
// fixed, in letter order ("CDZ").
#pragma once

#include <string>

namespace querna::win32 {

std::string ReadLocalDriveLetters();

}  // namespace querna::win32
