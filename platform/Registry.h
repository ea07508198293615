// The registry as the program uses it: special folders read from the current
// user's hive, and the Explorer context-menu keys written under the classes
// root.
#pragma once

#include <string>

namespace querna {

class Registry {
public:
    virtual ~Registry() = default;
    // The string value `name` of HKEY_CURRENT_USER\`key`, opened without
    // creating it; empty when the key or the value is missing.
    virtual std::string ReadCurrentUserString(const std::string& key, const std::string& name) = 0;
};

}  // namespace querna
