#include "tests/fakes/FakeRegistry.h"

#include "platform/Error.h"

namespace querna::fakes {

// Walks FakeRegistry's classes root the way the Win32 accessor walks the real
// one: names relative to the key opened last, or to the root while none is.
class FakeAccessor final : public ClassesRootAccessor {
  public:
    explicit FakeAccessor(FakeRegistry& registry) : registry_(registry) {
        ++registry_.accessorsAlive;
    }
    ~FakeAccessor() override {
        if (current_) ++registry_.keysLeftOpenAtRelease;
        --registry_.accessorsAlive;
    }

    bool OpenKey(const std::string& name) override {
        const std::string path = Resolve(name);
        const bool ok = !registry_.readOnly && !registry_.failOpen_.count(FakeRegistry::Fold(path));
        if (ok) {
            registry_.AddKey(path);
            current_ = path;
        }
        Log("open " + name, ok);
        return ok;
    }

    bool KeyExists(const std::string& name) override {
        const bool ok = registry_.HasKey(Resolve(name));
        registry_.log.push_back("exists " + name + (ok ? " yes" : " no"));
        return ok;
    }

    bool CreateKey(const std::string& name) override {
        const std::string path = Resolve(name);
        const bool ok =
            !registry_.readOnly && !registry_.failCreate_.count(FakeRegistry::Fold(path));
        if (ok) registry_.AddKey(path);
        Log("create " + name, ok);
        return ok;
    }

    bool WriteDefaultString(const std::string& data) override {
        const bool ok = current_ && !registry_.readOnly &&
                        !registry_.failWrite_.count(FakeRegistry::Fold(*current_));
        if (ok) registry_.defaults_[FakeRegistry::Fold(*current_)] = data;
        Log("write " + current_.value_or("<none>"), ok);
        return ok;
    }

    void CloseKey() override {
        registry_.log.push_back("close " + current_.value_or("<none>"));
        current_.reset();
    }

  private:
    std::string Resolve(const std::string& name) const {
        return current_ ? *current_ + "\\" + name : name;
    }
    void Log(const std::string& what, bool ok) {
        registry_.log.push_back(what + (ok ? " ok" : " failed"));
    }

    FakeRegistry& registry_;
    std::optional<std::string> current_;
};

std::string FakeRegistry::Fold(const std::string& path) {
    std::string folded(path);
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return folded;
}

void FakeRegistry::SetCurrentUserString(const std::string& key, const std::string& name,
                                        const std::string& value) {
    currentUser_[Fold(key) + "|" + name] = {value, true};
}

void FakeRegistry::SetCurrentUserNumber(const std::string& key, const std::string& name) {
    currentUser_[Fold(key) + "|" + name] = {"", false};
}

std::string FakeRegistry::ReadCurrentUserString(const std::string& key, const std::string& name) {
    currentUserReads.push_back(key + "|" + name);
    const auto it = currentUser_.find(Fold(key) + "|" + name);
    if (it == currentUser_.end()) return {};
    if (!it->second.isString) return {};
    return it->second.text;
}

void FakeRegistry::AddKey(const std::string& path) {
    // Creating a key creates the keys above it, as RegCreateKeyEx does.
    std::string prefix;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('\\', start);
        if (slash == std::string::npos) slash = path.size();
        prefix = path.substr(0, slash);
        keys_.insert(Fold(prefix));
        start = slash + 1;
    }
}

bool FakeRegistry::HasKey(const std::string& path) const {
    return keys_.count(Fold(path)) > 0;
}

std::optional<std::string> FakeRegistry::DefaultValue(const std::string& path) const {
    const auto it = defaults_.find(Fold(path));
    if (it == defaults_.end()) return std::nullopt;
    return it->second;
}

std::unique_ptr<ClassesRootAccessor> FakeRegistry::OpenClassesRoot() {
    return std::make_unique<FakeAccessor>(*this);
}

}  // namespace querna::fakes
