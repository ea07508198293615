// The file system over kernel32 (ANSI functions, system code page; the wide
// ones and the \\?\ form for paths past MAX_PATH).
#pragma once

#include "platform/FileSystem.h"

namespace querna::win32 {

class Win32FileSystem final : public FileSystem {
  public:
    bool FolderExists(const std::string& path) override;
    std::unique_ptr<DirListing> List(const std::string& mask, uint32_t allowed) override;
    bool FindEntry(const std::string& path, EntryFacts& facts) override;
    std::unique_ptr<ReadableFile> OpenExclusive(const std::string& path) override;
    std::unique_ptr<ByteSource> OpenDocument(const std::string& path) override;
    bool ReadCreationTime(const std::string& path, FileTime& creation) override;
    FileTime FileTimeToLocal(FileTime utc) override;
    bool ReadFolderId(const std::string& path, FolderId& id) override;
    std::string FullFolderPath(const std::string& folder) override;
};

}  // namespace querna::win32
