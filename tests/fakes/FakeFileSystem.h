// An in-memory file tree for tests. Entries keep the order in which the test
// adds them (that is the listing order), carry the attributes the test sets,
// and the masks follow the Windows wildcard rules. It behaves as Windows does
// where that can hide faults: folders other than a drive root list "." and
// ".." first, "." and ".." inside a path name the folder itself and its
// parent, paths beyond the longest a Windows path can be (reached through
// the \\?\ form past MAX_PATH) are refused, a file has three
// distinct times and may be 4 GiB or larger. Faults can be injected: a folder
// whose listings fail, a file that cannot be opened or read.
#pragma once

#include <map>
#include <optional>
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
    // The size the directory entry reports, whatever the content (a test of a
    // 5 GiB file needs no 5 GiB of memory); reads still see the content.
    void SetSize(const std::string& path, uint64_t size);
    // Three distinct times; AddFile gives all three the creation time.
    void SetTimes(const std::string& path, FileTime creation, FileTime lastAccess,
                  FileTime lastWrite);

    void FailListing(const std::string& folder) { failedListings_.insert(Key(folder)); }
    void LockFile(const std::string& path) { locked_.insert(Key(path)); }
    void FailReads(const std::string& path) { failedReads_.insert(Key(path)); }
    // The time-zone offset FileTimeToLocal adds, in 100 ns ticks (0 unless set;
    // kChinaStandardTime is the offset of the GBK machines the program targets).
    void SetLocalOffset(int64_t ticks) { localOffset_ = ticks; }
    static constexpr int64_t kHour = 36'000'000'000;
    static constexpr int64_t kChinaStandardTime = 8 * kHour;
    // No Windows path, in its \\?\ form, is longer.
    static constexpr size_t kLongestPath = 32767;

    // Every mask listed, in order, for tests of how often a folder is listed.
    const std::vector<std::string>& ListedMasks() const { return listedMasks_; }
    // Bytes handed out per Read call at most (to test streaming).
    size_t largestRead = 0;

    bool FolderExists(const std::string& path) override;
    std::unique_ptr<DirListing> List(const std::string& mask, uint32_t allowed) override;
    // Not recorded among the listed masks: it is no step of a walk.
    bool CanList(const std::string& dir) override {
        return FolderExists(dir) && !failedListings_.count(Key(dir));
    }
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
        FileTime creation = 0, lastAccess = 0, lastWrite = 0;
        std::optional<uint64_t> size;       // the entry's size when not the content's
        std::vector<std::string> children;  // keys, in listing order
        std::string linkTarget;             // key of the target folder, for links
        uint64_t id = 0;
    };

    static std::string Key(const std::string& path);
    Node* Find(const std::string& path);
    // Follows links in every component, after taking "." and ".." out of the
    // path as Windows does before the file system sees it; null for a path
    // that names nothing or is too long.
    Node* Resolve(const std::string& path);
    Node& Ensure(const std::string& path, uint32_t attributes);

    std::map<std::string, Node> nodes_;
    std::set<std::string> failedListings_, locked_, failedReads_;
    std::vector<std::string> listedMasks_;
    int64_t localOffset_ = 0;
    uint64_t nextId_ = 1;
};

}  // namespace querna::fakes
