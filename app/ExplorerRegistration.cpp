#include "app/ExplorerRegistration.h"

#include "platform/Error.h"

namespace querna {

namespace {

constexpr const char* kMenuText = "青禾寻踪(&M)";

// Closes the key opened last when the registration is left, error or not.
class CloseOnExit {
  public:
    explicit CloseOnExit(ClassesRootAccessor& keys) : keys_(keys) {}
    ~CloseOnExit() { keys_.CloseKey(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

  private:
    ClassesRootAccessor& keys_;
};

void EnsureKey(ClassesRootAccessor& keys, const std::string& name) {
    if (!keys.KeyExists(name) && !keys.CreateKey(name)) {
        throw QuernaError("Failed to create key " + name);
    }
}

// Opens `name` and writes its default value; a failed open is passed over.
void WriteKeyDefault(ClassesRootAccessor& keys, const std::string& name, const std::string& data) {
    if (keys.OpenKey(name) && !keys.WriteDefaultString(data)) {
        throw QuernaError("Failed to set data for ''");
    }
}

}  // namespace

std::string ExplorerCommandLine(const std::string& programPath) {
    return "\"" + programPath + "\" \"%1\"";
}

void RegisterExplorerMenu(Registry& registry, const std::string& programPath) {
    const std::unique_ptr<ClassesRootAccessor> keys = registry.OpenClassesRoot();
    CloseOnExit closer(*keys);
    // Neither result is looked at: a failure leaves the next name relative to
    // the key opened before, and the creation below reports it.
    keys->OpenKey("Directory");
    keys->OpenKey("shell");
    EnsureKey(*keys, "findext");
    WriteKeyDefault(*keys, "findext", kMenuText);
    EnsureKey(*keys, "command");
    WriteKeyDefault(*keys, "command", ExplorerCommandLine(programPath));
}

}  // namespace querna
