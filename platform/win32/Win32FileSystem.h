// The file system and text rules over kernel32 (ANSI functions, system code
// page).
#pragma once

#include "platform/FileSystem.h"
#include "platform/TextRules.h"

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

class Win32TextRules final : public TextRules {
  public:
    int CompareText(std::string_view a, std::string_view b) override;
    std::string FoldCase(std::string_view text) override;
    bool IsLeadByte(unsigned char byte) override;
};

}  // namespace querna::win32
