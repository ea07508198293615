// Registers the program in the Explorer context menu of folders: the verb
// "findext" under HKEY_CLASSES_ROOT\Directory\shell, whose command starts the
// program with the folder as its first argument. Platform-free: it reaches the
// registry through the Registry interface only.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace querna {

// The command Explorer runs: the program's path and the folder, each quoted,
// so that paths with blanks arrive as one argument.
std::string ExplorerCommandLine(const std::string& programPath);

// Opens or creates Directory, shell, findext and findext\command below the
// classes root, writing the menu text "青禾寻踪(&M)" as findext's default value
// and ExplorerCommandLine(programPath) as command's. Running it again rewrites
// both values.
//
// An open-or-create that fails is passed over and the steps after it work
// relative to the key opened last before it. A key that can be neither found
// nor created raises QuernaError "Failed to create key <name>"; a value that
// cannot be written raises "Failed to set data for ''" (the default value has
// no name). Either error skips the remaining steps. The key opened last is
// closed on every way out.
void RegisterExplorerMenu(Registry& registry, const std::string& programPath);

}  // namespace querna
