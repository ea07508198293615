// The registry as the program uses it: special folders read from the current
// user's hive, and the Explorer context-menu keys written under the classes
// root.
#pragma once

#include <memory>
#include <string>

namespace querna {

// A walk over the keys of HKEY_CLASSES_ROOT that keeps one key open at a time,
// "the key opened last". Every name is relative to that key, or to the root
// while no key is open. Destroying the accessor closes the key opened last.
class ClassesRootAccessor {
  public:
    virtual ~ClassesRootAccessor() = default;
    // Opens `name`, creating it when missing, with full access. On success
    // the key opened before is closed and the new key becomes the key opened
    // last; on failure nothing changes. Returns whether it succeeded.
    virtual bool OpenKey(const std::string& name) = 0;
    // Whether `name` exists and can be opened for reading. The test opens a
    // key of its own and closes it at once; the key opened last stays.
    virtual bool KeyExists(const std::string& name) = 0;
    // Creates `name` (or finds it) without keeping it open; the key opened
    // last stays. Returns whether it succeeded.
    virtual bool CreateKey(const std::string& name) = 0;
    // Writes the default (unnamed) value of the key opened last as REG_SZ,
    // its terminating zero stored with it. False when it cannot be written,
    // also when no key is open.
    virtual bool WriteDefaultString(const std::string& data) = 0;
    // Closes the key opened last; the root is current again. Never fails.
    virtual void CloseKey() = 0;
};

class Registry {
  public:
    virtual ~Registry() = default;
    // The string value `name` of HKEY_CURRENT_USER\`key`, opened without
    // creating it; empty when the key or the value is missing, or when the
    // value holds no string (a number, binary data): the program then knows
    // no folder by that name, as when it is missing.
    virtual std::string ReadCurrentUserString(const std::string& key, const std::string& name) = 0;
    // A new accessor over HKEY_CLASSES_ROOT with no key open. Never null.
    virtual std::unique_ptr<ClassesRootAccessor> OpenClassesRoot() = 0;
};

}  // namespace querna
