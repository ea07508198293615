#include "win32/Win32Drives.h"

#include <windows.h>

namespace querna::win32 {

std::string ReadLocalDriveLetters() {
    std::string letters;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        const UINT type = GetDriveTypeA(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED) letters += letter;
    }
    return letters;
}

}  // namespace querna::win32
