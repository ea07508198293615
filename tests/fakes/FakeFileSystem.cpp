#include "tests/fakes/FakeFileSystem.h"

#include <algorithm>
#include <cstring>

namespace querna::fakes {

namespace {

// GBK: the second byte of a double-byte character is no letter and no
// backslash, whatever its code (籠 is BB 5C).
bool IsLead(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x81 && byte <= 0xFE;
}

std::string Upper(const std::string& s) {
    std::string u(s);
    for (size_t i = 0; i < u.size(); ++i) {
        if (IsLead(u[i])) {
            ++i;
        } else if (u[i] >= 'a' && u[i] <= 'z') {
            u[i] = static_cast<char>(u[i] - 'a' + 'A');
        }
    }
    return u;
}

size_t LastBackslash(const std::string& path) {
    size_t last = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLead(path[i])) {
            ++i;
        } else if (path[i] == '\\') {
            last = i;
        }
    }
    return last;
}

bool EndsWithBackslash(const std::string& path) {
    return !path.empty() && LastBackslash(path) == path.size() - 1;
}

std::string Parent(const std::string& key) {
    const size_t slash = LastBackslash(key);
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::string LastName(const std::string& path) {
    const size_t slash = LastBackslash(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

class FakeListing final : public DirListing {
  public:
    explicit FakeListing(std::vector<DirEntry> entries, bool refused = false)
        : entries_(std::move(entries)), refused_(refused) {}
    bool Refused() const override { return refused_; }
    bool Next(DirEntry& entry) override {
        if (next_ >= entries_.size()) return false;
        entry = entries_[next_++];
        return true;
    }

  private:
    std::vector<DirEntry> entries_;
    size_t next_ = 0;
    bool refused_;
};

class FakeFile final : public ReadableFile {
  public:
    FakeFile(std::string content, bool failReads, size_t& largest)
        : content_(std::move(content)), failReads_(failReads), largest_(largest) {}
    int64_t Read(void* buffer, size_t count) override {
        if (failReads_) return -1;
        const size_t n = std::min(count, content_.size() - pos_);
        std::memcpy(buffer, content_.data() + pos_, n);
        pos_ += n;
        largest_ = std::max(largest_, count);
        return static_cast<int64_t>(n);
    }

  private:
    std::string content_;
    size_t pos_ = 0;
    bool failReads_;
    size_t& largest_;
};

// A document's bytes, copied when it is opened; reads fail as the contract
// says when the test asks for it.
class FakeDocument final : public ByteSource {
  public:
    FakeDocument(std::string content, bool failReads)
        : content_(std::move(content)),
          bytes_(content_.data(), content_.size()),
          failReads_(failReads) {}
    uint64_t Size() const override { return bytes_.Size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (failReads_) throw ReadFailure();
        return bytes_.ReadAt(offset, buffer, count);
    }

  private:
    std::string content_;
    MemoryByteSource bytes_;
    bool failReads_;
};

}  // namespace

std::string FakeFileSystem::Key(const std::string& path) {
    std::string key = Upper(path);
    while (EndsWithBackslash(key)) key.pop_back();
    return key;
}

FakeFileSystem::Node& FakeFileSystem::Ensure(const std::string& path, uint32_t attributes) {
    const std::string key = Key(path);
    auto it = nodes_.find(key);
    if (it != nodes_.end()) return it->second;
    const std::string parent = Parent(key);
    if (!parent.empty()) {
        const std::string parentPath = path.substr(0, LastBackslash(path));
        Ensure(parentPath, faDirectory).children.push_back(key);
    }
    Node& node = nodes_[key];
    node.name = LastName(path);
    node.attributes = attributes;
    node.id = nextId_++;
    return node;
}

void FakeFileSystem::AddFolder(const std::string& path, uint32_t attributes) {
    Ensure(path, attributes | faDirectory).attributes = attributes | faDirectory;
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& content,
                             uint32_t attributes, FileTime creation) {
    Node& node = Ensure(path, attributes);
    node.attributes = attributes;
    node.content = content;
    node.creation = node.lastAccess = node.lastWrite = creation;
}

void FakeFileSystem::SetSize(const std::string& path, uint64_t size) {
    nodes_.at(Key(path)).size = size;
}

void FakeFileSystem::SetTimes(const std::string& path, FileTime creation, FileTime lastAccess,
                              FileTime lastWrite) {
    Node& node = nodes_.at(Key(path));
    node.creation = creation;
    node.lastAccess = lastAccess;
    node.lastWrite = lastWrite;
}

void FakeFileSystem::AddLink(const std::string& path, const std::string& target) {
    Node& node = Ensure(path, faDirectory | faReparsePoint);
    node.linkTarget = Key(target);
}

void FakeFileSystem::Remove(const std::string& path) {
    const std::string key = Key(path);
    auto parent = nodes_.find(Parent(key));
    if (parent != nodes_.end()) std::erase(parent->second.children, key);
    nodes_.erase(key);
}

FakeFileSystem::Node* FakeFileSystem::Find(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

// Windows takes "." and ".." out of a path before the file system sees it
// ("C:\R\.\A" is "C:\R\A", "C:\R\B\.." is "C:\R"; ".." never leaves the
// drive). Then the path is walked component by component, replacing a link
// by its target, so that "C:\R\loop\A" names "C:\R\A" when loop links to
// C:\R.
FakeFileSystem::Node* FakeFileSystem::Resolve(const std::string& path) {
    if (path.size() >= kLongestPath) return nullptr;
    const std::string key = Key(path);
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= key.size()) {
        size_t slash = start;
        while (slash < key.size() && key[slash] != '\\') slash += IsLead(key[slash]) ? 2 : 1;
        slash = std::min(slash, key.size());
        const std::string part = key.substr(start, slash - start);
        if (part == "..") {
            if (parts.size() > 1) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string current;
    for (const std::string& part : parts) {
        current = current.empty() ? part : current + "\\" + part;
        auto it = nodes_.find(current);
        if (it == nodes_.end()) return nullptr;
        if (!it->second.linkTarget.empty()) current = it->second.linkTarget;
    }
    auto it = nodes_.find(current);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::FolderExists(const std::string& path) {
    const Node* node = Resolve(path);
    return node != nullptr && (node->attributes & faDirectory);
}

std::unique_ptr<DirListing> FakeFileSystem::List(const std::string& mask, uint32_t allowed) {
    listedMasks_.push_back(mask);
    const size_t slash = LastBackslash(mask);
    const std::string folder = mask.substr(0, slash);
    const std::string pattern = mask.substr(slash + 1);
    std::vector<DirEntry> entries;
    const Node* dir = mask.size() < kLongestPath ? Resolve(folder) : nullptr;
    if (dir == nullptr || failedListings_.count(Key(folder))) {
        return std::make_unique<FakeListing>(std::move(entries), dir != nullptr);
    }
    // Like NTFS, every folder but a drive root lists "." and ".." first.
    if (folder.size() > 2 || folder.empty()) {
        for (const char* dot : {".", ".."}) {
            if (MaskMatches(pattern, dot) && EntryAllowed(faDirectory, allowed)) {
                entries.push_back({dot, faDirectory});
            }
        }
    }
    for (const std::string& childKey : dir->children) {
        const Node& child = nodes_.at(childKey);
        if (MaskMatches(pattern, child.name) && EntryAllowed(child.attributes, allowed)) {
            entries.push_back({child.name, child.attributes, child.content.size(), child.creation});
        }
    }
    return std::make_unique<FakeListing>(std::move(entries));
}

bool FakeFileSystem::FindEntry(const std::string& path, EntryFacts& facts) {
    const Node* node = Resolve(path);
    if (node == nullptr) return false;
    facts.size = node->size.value_or(node->content.size());
    facts.attributes = node->attributes;
    facts.creationTime = node->creation;
    facts.lastAccessTime = node->lastAccess;
    facts.lastWriteTime = node->lastWrite;
    return true;
}

std::unique_ptr<ReadableFile> FakeFileSystem::OpenExclusive(const std::string& path) {
    const Node* node = Resolve(path);
    if (node == nullptr || (node->attributes & faDirectory) || locked_.count(Key(path))) {
        return nullptr;
    }
    return std::make_unique<FakeFile>(node->content, failedReads_.count(Key(path)) > 0,
                                      largestRead);
}

std::unique_ptr<ByteSource> FakeFileSystem::OpenDocument(const std::string& path) {
    const Node* node = Resolve(path);
    if (node == nullptr || (node->attributes & faDirectory) || locked_.count(Key(path))) {
        return nullptr;
    }
    return std::make_unique<FakeDocument>(node->content, failedReads_.count(Key(path)) > 0);
}

bool FakeFileSystem::ReadCreationTime(const std::string& path, FileTime& creation) {
    const Node* node = Resolve(path);
    if (node == nullptr || locked_.count(Key(path))) return false;
    creation = node->creation;
    return true;
}

bool FakeFileSystem::ReadFolderId(const std::string& path, FolderId& id) {
    const Node* node = Resolve(path);
    if (node == nullptr || !(node->attributes & faDirectory)) return false;
    id = FolderId{1, node->id};
    return true;
}

bool FakeFileSystem::MaskMatches(const std::string& mask, const std::string& name) {
    const std::string m = Upper(mask), n = Upper(name);
    // Iterative wildcard match with one back-tracking point for the last '*'.
    size_t mi = 0, ni = 0, star = std::string::npos, resume = 0;
    while (ni < n.size()) {
        if (mi < m.size() && (m[mi] == '?' || m[mi] == n[ni])) {
            ++mi;
            ++ni;
        } else if (mi < m.size() && m[mi] == '*') {
            star = mi++;
            resume = ni;
        } else if (star != std::string::npos) {
            mi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (mi < m.size() && m[mi] == '*') ++mi;
    // "*.*" matches names without a dot too, as on Windows.
    if (mi < m.size() && m.compare(mi, std::string::npos, ".*") == 0) return true;
    return mi == m.size();
}

}  // namespace querna::fakes
