#include "tests/fakes/FaultyFileSystem.h"

#include <algorithm>

namespace querna::fakes {

namespace {

std::string Key(const std::string& path) {
    std::string key(path);
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    while (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

std::string MaskFolder(const std::string& mask) {
    const size_t slash = mask.rfind('\\');
    return slash == std::string::npos ? std::string() : mask.substr(0, slash);
}

// A listing whose FindFirstFile failed: refused, as every error but "no
// match" is.
class EmptyListing final : public DirListing {
  public:
    bool Next(DirEntry&) override { return false; }
    bool Refused() const override { return true; }
};

// A listing that can fail at any entry; entries that are gone are left out,
// as a listing taken after they went would leave them out.
class FaultyListing final : public DirListing {
  public:
    FaultyListing(FaultyFileSystem& fs, std::unique_ptr<DirListing> base, std::string mask)
        : fs_(fs), base_(std::move(base)), mask_(std::move(mask)), folder_(MaskFolder(mask_)) {}

    bool Next(DirEntry& entry) override {
        if (ended_) return false;
        if (fs_.Check(CallKind::NextEntry, mask_, folder_)) {
            ended_ = true;  // a failed FindNextFile ends the listing
            return false;
        }
        while (base_->Next(entry)) {
            if (entry.name == "." || entry.name == "..") return true;
            if (!fs_.Unavailable(folder_ + "\\" + entry.name)) return true;
        }
        return false;
    }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<DirListing> base_;
    std::string mask_;
    std::string folder_;
    bool ended_ = false;
};

class FaultyFile final : public ReadableFile {
  public:
    FaultyFile(FaultyFileSystem& fs, std::unique_ptr<ReadableFile> base, std::string path)
        : fs_(fs), base_(std::move(base)), path_(std::move(path)) {}

    int64_t Read(void* buffer, size_t count) override {
        const auto error = fs_.Check(CallKind::Read, path_, path_);
        if (!error) return base_->Read(buffer, count);
        if (*error != FaultError::ShortRead) return -1;
        return base_->Read(buffer, count > 1 ? count / 2 : count);
    }

  private:
    FaultyFileSystem& fs_;
    std::unique_ptr<ReadableFile> base_;
    std::string path_;
};

// A failed Close leaves the wrapped file unclosed, so that it goes the way a
// file that was never closed goes when released.
class FaultyOutputFile final : public OutputFile {
  public:
    FaultyOutputFile(FaultyTextFileWriter& writer, std::unique_ptr<OutputFile> base,
                     std::string path)
        : writer_(writer), base_(std::move(base)), path_(std::move(path)) {}

    uint32_t Write(std::string_view bytes, size_t& written) override {
        written = 0;
        const auto error = writer_.Check(CallKind::Write, path_);
        if (!error) return base_->Write(bytes, written);
        if (*error != FaultError::ShortRead) return SystemErrorCode(*error);
        return base_->Write(bytes.substr(0, bytes.size() / 2), written);
    }

    uint32_t Close() override {
        const auto error = writer_.Check(CallKind::Close, path_);
        if (error && *error != FaultError::ShortRead) return SystemErrorCode(*error);
        return base_->Close();
    }

  private:
    FaultyTextFileWriter& writer_;
    std::unique_ptr<OutputFile> base_;
    std::string path_;
};

}  // namespace

const char* CallKindName(CallKind kind) {
    switch (kind) {
        case CallKind::FolderExists:
            return "folder exists";
        case CallKind::List:
            return "list";
        case CallKind::NextEntry:
            return "next entry";
        case CallKind::FindEntry:
            return "find entry";
        case CallKind::Open:
            return "open";
        case CallKind::Read:
            return "read";
        case CallKind::CreationTime:
            return "creation time";
        case CallKind::FolderId:
            return "folder identity";
        case CallKind::Create:
            return "create";
        case CallKind::Write:
            return "write";
        case CallKind::Close:
            return "close";
    }
    return "?";
}

const char* FaultErrorName(FaultError error) {
    switch (error) {
        case FaultError::AccessDenied:
            return "access denied";
        case FaultError::SharingViolation:
            return "sharing violation";
        case FaultError::FileGone:
            return "file gone";
        case FaultError::DeviceNotReady:
            return "device not ready";
        case FaultError::DiskFull:
            return "disk full";
        case FaultError::ShortRead:
            return "short read";
    }
    return "?";
}

uint32_t SystemErrorCode(FaultError error) {
    switch (error) {
        case FaultError::AccessDenied:
            return 5;  // ERROR_ACCESS_DENIED
        case FaultError::SharingViolation:
            return 32;  // ERROR_SHARING_VIOLATION
        case FaultError::FileGone:
            return 2;  // ERROR_FILE_NOT_FOUND
        case FaultError::DeviceNotReady:
            return 21;  // ERROR_NOT_READY
        case FaultError::DiskFull:
            return 112;  // ERROR_DISK_FULL
        case FaultError::ShortRead:
            return 0;
    }
    return 0;
}

std::optional<FaultError> FaultPlan::Count(CallKind kind) {
    const int n = ++calls_[kind];
    if (!fault_ || fault_->kind != kind || fault_->nth != n) return std::nullopt;
    injected_ = true;
    return fault_->error;
}

int FaultPlan::Calls(CallKind kind) const {
    const auto it = calls_.find(kind);
    return it == calls_.end() ? 0 : it->second;
}

// ---------------------------------------------------------------- file system

bool FaultyFileSystem::Unavailable(const std::string& path) const {
    if (deviceGone_) return true;
    const std::string key = Key(path);
    return std::any_of(gone_.begin(), gone_.end(), [&](const std::string& gone) {
        return key == gone ||
               (key.size() > gone.size() && key.starts_with(gone) && key[gone.size()] == '\\');
    });
}

std::optional<FaultError> FaultyFileSystem::Check(CallKind kind, const std::string& path,
                                                  const std::string& subject) {
    if (const auto error = plan_.Count(kind)) {
        if (*error == FaultError::ShortRead) return error;
        if (*error == FaultError::FileGone) gone_.push_back(Key(subject));
        if (*error == FaultError::DeviceNotReady) deviceGone_ = true;
        plan_.RecordFailure(kind, path);
        return error;
    }
    if (!Unavailable(subject)) return std::nullopt;
    plan_.RecordFailure(kind, path);
    return deviceGone_ ? FaultError::DeviceNotReady : FaultError::FileGone;
}

bool FaultyFileSystem::FolderExists(const std::string& path) {
    return !Check(CallKind::FolderExists, path, path) && base_.FolderExists(path);
}

std::unique_ptr<DirListing> FaultyFileSystem::List(const std::string& mask, uint32_t allowed) {
    if (Check(CallKind::List, mask, MaskFolder(mask))) return std::make_unique<EmptyListing>();
    return std::make_unique<FaultyListing>(*this, base_.List(mask, allowed), mask);
}

bool FaultyFileSystem::FindEntry(const std::string& path, EntryFacts& facts) {
    return !Check(CallKind::FindEntry, path, path) && base_.FindEntry(path, facts);
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenExclusive(const std::string& path) {
    if (Check(CallKind::Open, path, path)) return nullptr;
    std::unique_ptr<ReadableFile> file = base_.OpenExclusive(path);
    if (!file) return nullptr;
    return std::make_unique<FaultyFile>(*this, std::move(file), path);
}

// Documents are opened as text files are: the same fault kind fails both.
std::unique_ptr<ByteSource> FaultyFileSystem::OpenDocument(const std::string& path) {
    if (Check(CallKind::Open, path, path)) return nullptr;
    return base_.OpenDocument(path);
}

bool FaultyFileSystem::ReadCreationTime(const std::string& path, FileTime& creation) {
    return !Check(CallKind::CreationTime, path, path) && base_.ReadCreationTime(path, creation);
}

bool FaultyFileSystem::ReadFolderId(const std::string& path, FolderId& id) {
    return !Check(CallKind::FolderId, path, path) && base_.ReadFolderId(path, id);
}

// ---------------------------------------------------------------- writer

std::optional<FaultError> FaultyTextFileWriter::Check(CallKind kind, const std::string& path) {
    if (const auto error = plan_.Count(kind)) {
        if (*error == FaultError::ShortRead) return error;
        if (*error == FaultError::DeviceNotReady) deviceGone_ = true;
        plan_.RecordFailure(kind, path);
        return error;
    }
    if (!deviceGone_) return std::nullopt;
    plan_.RecordFailure(kind, path);
    return FaultError::DeviceNotReady;
}

std::unique_ptr<OutputFile> FaultyTextFileWriter::Create(const std::string& path, uint32_t& error) {
    const auto fault = Check(CallKind::Create, path);
    if (fault && *fault != FaultError::ShortRead) {
        error = SystemErrorCode(*fault);
        return nullptr;
    }
    std::unique_ptr<OutputFile> file = base_.Create(path, error);
    if (!file) return nullptr;
    return std::make_unique<FaultyOutputFile>(*this, std::move(file), path);
}

}  // namespace querna::fakes
