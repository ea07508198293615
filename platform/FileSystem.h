// The file-system services the search engine, the file properties and the
// plain-text matcher need. One Win32 implementation (win32) and an
// in-memory fake for tests (tests/fakes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ByteSource.h"

namespace querna {

// Attribute bits as the file system reports them.
enum : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeId = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faReparsePoint = 0x400,
};

// The attributes a listing filters on; every other bit is always allowed.
constexpr uint32_t kSpecialAttributes = faHidden | faSysFile | faVolumeId | faDirectory;

// A listing returns an entry only when every special attribute it carries is
// in `allowed`; entries with none (normal, archive, read-only) always pass.
constexpr bool EntryAllowed(uint32_t attributes, uint32_t allowed) {
    return (attributes & kSpecialAttributes & ~allowed) == 0;
}

// A FILETIME as one number: 100 ns intervals since 1601-01-01 00:00:00.
using FileTime = uint64_t;

// One entry of a listing, with the facts the listing returns anyway: the
// console companion builds its rows from them without looking each file up.
struct DirEntry {
    std::string name;  // the long name, as the listing returns it
    uint32_t attributes = 0;
    uint64_t size = 0;
    FileTime creationTime = 0;  // UTC
};

// One open directory listing. Closes itself when destroyed.
class DirListing {
  public:
    virtual ~DirListing() = default;
    // Fills `entry` with the next allowed entry; false when there is none.
    virtual bool Next(DirEntry& entry) = 0;
    // Whether the folder refused to be listed (as opposed to holding no
    // entry the mask and the attributes allow).
    virtual bool Refused() const { return false; }
};

// The facts of one directory entry, as a lookup of its path reports them.
struct EntryFacts {
    uint64_t size = 0;
    uint32_t attributes = 0;
    std::string shortName;  // empty when the file system keeps no separate one
    FileTime creationTime = 0;
    FileTime lastAccessTime = 0;
    FileTime lastWriteTime = 0;
};

// A file opened for reading. Closes itself when destroyed.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;
    // Reads up to `count` bytes; returns the count read (0 at the end), or -1
    // when the read fails.
    virtual int64_t Read(void* buffer, size_t count) = 0;
};

// Identifies a folder independently of the path that reached it (volume and
// file index), so that a walk can notice a link back to one of its ancestors.
struct FolderId {
    uint64_t volume = 0;
    uint64_t index = 0;
    friend bool operator==(const FolderId&, const FolderId&) = default;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    virtual bool FolderExists(const std::string& path) = 0;

    // Starts a listing of `mask` (a folder path followed by a wildcard mask)
    // that yields only entries allowed by `allowed` (see EntryAllowed). A
    // listing that cannot be taken yields nothing. Never returns null.
    virtual std::unique_ptr<DirListing> List(const std::string& mask, uint32_t allowed) = 0;

    // Whether the existing folder `dir` (with its trailing backslash) can be
    // listed, by taking a listing of it.
    virtual bool CanList(const std::string& dir) {
        return !List(dir + "*", kSpecialAttributes)->Refused();
    }

    // Looks up the directory entry of `path` (no kind of entry excluded).
    virtual bool FindEntry(const std::string& path, EntryFacts& facts) = 0;

    // Opens an existing file for reading, sharing nothing with other openers.
    // Null when it cannot be opened.
    virtual std::unique_ptr<ReadableFile> OpenExclusive(const std::string& path) = 0;

    // Opens an existing file for reading at any offset, sharing it with other
    // readers and writers, as a document reader needs it. Null when it cannot
    // be opened; a read that fails raises DocumentError(Damaged).
    virtual std::unique_ptr<ByteSource> OpenDocument(const std::string& path) = 0;

    // Opens an existing file for reading (others may read and write it) and
    // reads its creation time. False when it cannot be opened.
    virtual bool ReadCreationTime(const std::string& path, FileTime& creation) = 0;

    // Converts a UTC file time to local file time with the offset in force now.
    virtual FileTime FileTimeToLocal(FileTime utc) = 0;

    // The identity of an existing folder; false when it cannot be had.
    virtual bool ReadFolderId(const std::string& path, FolderId& id) = 0;

    // A folder path (without blanks at its ends) that does not name its place
    // fully ("sub", ".\sub", "C:sub", "\sub") made full from the current
    // folder; any other path, or one that cannot be made full, as it is.
    virtual std::string FullFolderPath(const std::string& folder) { return folder; }
};

}  // namespace querna
