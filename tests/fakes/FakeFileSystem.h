// An in-memory file tree for tests. Entries keep the order in which the test
// adds them (that is the listing order), carry the attributes the test sets,
// and the masks follow the Windows wildcard rules. Faults can be injected: a
// folder whose listings fail, a file that cannot be opened or read.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace querna::fakes {

class FakeFileSystem final : public FileSystem {
public:
    // Paths use backslashes; folders are created as needed. `path` is the full
    // path without a trailing backslash ("C:\\R\\A").
    void AddFolder(const std::string& path, uint32_t attributes = faDirectory);
    void AddFile(const std::string& path, const std::string& content = "",
                 uint32_t attributes = faArchive, FileTime creation = 0);
    // A link folder: listed with the reparse-point attribute, its contents are
    // those of `target`, and it has the identity of `target`.
    void AddLink(const std::string& path, const std::string& target);
    void Remove(const std::string& path);

    void FailListing(const std::string& folder) { failedListings_.insert(Key(folder)); }
    void LockFile(const std::string& path) { locked_.insert(Key(path)); }
    void FailReads(const std::string& path) { failedReads_.insert(Key(path)); }
    void SetLocalOffset(int64_t ticks) { localOffset_ = ticks; }

    // Every mask listed, in order, for tests of how often a folder is listed.
    const std::vector<std::string>& ListedMasks() const { return listedMasks_; }
    // Bytes handed out per Read call at most (to test streaming).
    size_t largestRead = 0;

    bool FolderExists(const std::string& path) override;
    std::unique_ptr<DirListing> List(const std::string& mask, uint32_t allowed) override;
    bool FindEntry(const std::string& path, EntryFacts& facts) override;
    std::unique_ptr<ReadableFile> OpenExclusive(const std::string& path) override;
    std::unique_ptr<ByteSource> OpenDocument(const std::string& path) override;
    bool ReadCreationTime(const std::string& path, FileTime& creation) override;
    FileTime FileTimeToLocal(FileTime utc) override { return utc + localOffset_; }
    bool ReadFolderId(const std::string& path, FolderId& id) override;

    // Windows wildcard match: '*' any run, '?' one character, ASCII letters
    // compared without case.
    static bool MaskMatches(const std::string& mask, const std::string& name);

private:
    struct Node {
        std::string name;
        uint32_t attributes = 0;
        std::string content;
        FileTime creation = 0;
        std::vector<std::string> children;  // keys, in listing order
        std::string linkTarget;             // key of the target folder, for links
        uint64_t id = 0;
    };

    static std::string Key(const std::string& path);
    Node* Find(const std::string& path);
    Node* Resolve(const std::string& path);  // follows links in every component
    Node& Ensure(const std::string& path, uint32_t attributes);

    std::map<std::string, Node> nodes_;
    std::set<std::string> failedListings_, locked_, failedReads_;
    std::vector<std::string> listedMasks_;
    int64_t localOffset_ = 0;
    uint64_t nextId_ = 1;
};

}  // namespace querna::fakes
