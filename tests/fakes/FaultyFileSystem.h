// Fault injection over the file-system seam and the text-file writer, after
// SQLite's test VFS: decorators that pass every call on to the platform they
// wrap, count the calls of each kind, and make the Nth call of one chosen kind
// fail with one chosen error.
//
// The FileSystem seam carries no error codes: a failed call there is a
// listing that yields nothing or ends early, a false, a null file or a read of
// -1. What the error decides is how long the trouble lasts:
//   access denied, sharing violation: that one call fails;
//   file gone: the call fails and what it named (a file, or a folder with all
//              beneath it) is gone from then on;
//   device not ready: the call fails and so does every later call of the
//              decorator (the medium went away);
//   short read: a read hands over fewer bytes than asked for (but at least
//              one) and nothing fails; a write stores fewer bytes than asked
//              for without an error code;
//   disk full: writer only.
// The writer's calls fail with the system error code of the error (5, 32, 2,
// 21, 112). Seeking and closing a read file are not operations of the seam
// (a file closes when released), so they cannot be made to fail.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/TextFileWriter.h"

namespace querna::fakes {

enum class CallKind {
    FolderExists,
    List,
    NextEntry,
    FindEntry,
    Open,
    Read,
    CreationTime,
    FolderId,
    Create,
    Write,
    Close,
};

enum class FaultError {
    AccessDenied,
    SharingViolation,
    FileGone,
    DeviceNotReady,
    DiskFull,
    ShortRead,
};

const char* CallKindName(CallKind kind);
const char* FaultErrorName(FaultError error);
// The Windows error code a writer call fails with (ERROR_ACCESS_DENIED, ...).
uint32_t SystemErrorCode(FaultError error);

// One call that failed: its kind and the path it named (for a listing and
// its entries, the mask).
struct FailedCall {
    CallKind kind;
    std::string path;
};

// The fault to inject and the record of what happened, shared by the two
// decorators (their kinds do not overlap).
class FaultPlan {
  public:
    FaultPlan() = default;
    FaultPlan(CallKind kind, int nth, FaultError error) : fault_(Fault{kind, nth, error}) {}

    // Counts a call of `kind`; the error to fail it with when it is the chosen one.
    std::optional<FaultError> Count(CallKind kind);
    int Calls(CallKind kind) const;
    bool Injected() const { return injected_; }
    // Every call that failed, the injected one and those that followed from it.
    const std::vector<FailedCall>& Failed() const { return failed_; }
    void RecordFailure(CallKind kind, const std::string& path) { failed_.push_back({kind, path}); }

  private:
    struct Fault {
        CallKind kind;
        int nth;
        FaultError error;
    };
    std::optional<Fault> fault_;
    std::map<CallKind, int> calls_;
    bool injected_ = false;
    std::vector<FailedCall> failed_;
};

class FaultyFileSystem final : public FileSystem {
  public:
    FaultyFileSystem(FileSystem& base, FaultPlan& plan) : base_(base), plan_(plan) {}

    bool FolderExists(const std::string& path) override;
    std::unique_ptr<DirListing> List(const std::string& mask, uint32_t allowed) override;
    bool FindEntry(const std::string& path, EntryFacts& facts) override;
    std::unique_ptr<ReadableFile> OpenExclusive(const std::string& path) override;
    bool ReadCreationTime(const std::string& path, FileTime& creation) override;
    std::unique_ptr<ByteSource> OpenDocument(const std::string& path) override;
    // A conversion, not a file-system call: never fails.
    FileTime FileTimeToLocal(FileTime utc) override { return base_.FileTimeToLocal(utc); }
    bool ReadFolderId(const std::string& path, FolderId& id) override;

    // Counts a call of `kind` about `path` and says how it goes: nothing when
    // it goes through, the injected error, or the error an earlier fault left
    // behind (`subject` is gone, or the device is). A failure is recorded; a
    // short read is not one, and is the caller's to carry out. `subject` is
    // what a "file gone" removes: the path, or for a listing its folder.
    std::optional<FaultError> Check(CallKind kind, const std::string& path,
                                    const std::string& subject);
    // Whether `path`, or a folder above it, is gone, or the device is.
    bool Unavailable(const std::string& path) const;

  private:
    FileSystem& base_;
    FaultPlan& plan_;
    std::vector<std::string> gone_;  // upper-cased, without a trailing backslash
    bool deviceGone_ = false;
};

class FaultyTextFileWriter final : public TextFileWriter {
  public:
    FaultyTextFileWriter(TextFileWriter& base, FaultPlan& plan) : base_(base), plan_(plan) {}

    std::unique_ptr<OutputFile> Create(const std::string& path, uint32_t& error) override;

    // Counts a call of `kind` about `path`: the error it fails with now, or
    // nothing. ShortRead on a write stores part of the bytes and is the
    // caller's to carry out.
    std::optional<FaultError> Check(CallKind kind, const std::string& path);

  private:
    TextFileWriter& base_;
    FaultPlan& plan_;
    bool deviceGone_ = false;
};

}  // namespace querna::fakes
