// An in-memory registry for tests: string values under HKEY_CURRENT_USER,
// and a key tree under HKEY_CLASSES_ROOT that ClassesRootAccessor walks.
// Key names compare without case, as in the real registry. Faults can be
// injected per key, or for the whole classes root (a user without write
// access), and every accessor call is logged so a test can assert the order.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace querna::fakes {

class FakeRegistry final : public Registry {
  public:
    // --- HKEY_CURRENT_USER
    void SetCurrentUserString(const std::string& key, const std::string& name,
                              const std::string& value);
    // A value of a non-string type (a number): it reads as no string.
    void SetCurrentUserNumber(const std::string& key, const std::string& name);
    std::vector<std::string> currentUserReads;  // "key|name" per read

    // --- HKEY_CLASSES_ROOT; paths are relative to the root, "A\\B".
    void AddKey(const std::string& path);
    bool HasKey(const std::string& path) const;
    // The default value of a key; nothing when it was never written.
    std::optional<std::string> DefaultValue(const std::string& path) const;
    size_t KeyCount() const { return keys_.size(); }

    // Open-or-create of this key fails (CreateKey is not affected).
    void FailOpen(const std::string& path) { failOpen_.insert(Fold(path)); }
    // Creating this key without opening it fails.
    void FailCreate(const std::string& path) { failCreate_.insert(Fold(path)); }
    // Writing the default value of this key fails.
    void FailWrite(const std::string& path) { failWrite_.insert(Fold(path)); }
    // No write access at all: every open-or-create, create and write fails.
    bool readOnly = false;

    // One line per accessor call: "open Directory ok", "exists shell\\x no",
    // "create findext ok", "write Directory\\shell\\findext ok", "close ...".
    // Names are logged as passed, paths of the key they resolved to.
    std::vector<std::string> log;
    int accessorsAlive = 0;
    // Keys an accessor still held open when it was destroyed.
    int keysLeftOpenAtRelease = 0;

    std::string ReadCurrentUserString(const std::string& key, const std::string& name) override;
    std::unique_ptr<ClassesRootAccessor> OpenClassesRoot() override;

  private:
    friend class FakeAccessor;
    static std::string Fold(const std::string& path);

    struct UserValue {
        std::string text;
        bool isString = true;
    };
    std::map<std::string, UserValue> currentUser_;  // Fold(key) + "|" + name
    std::set<std::string> keys_;                    // folded paths
    std::map<std::string, std::string> defaults_;   // folded path -> data
    std::set<std::string> failOpen_, failCreate_, failWrite_;
};

}  // namespace querna::fakes
