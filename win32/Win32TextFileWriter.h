// Text files written through kernel32 (CreateFileA, WriteFile).
#pragma once

#include "platform/TextFileWriter.h"

namespace querna::win32 {

class Win32TextFileWriter final : public TextFileWriter {
  public:
    // GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS; the file is deleted again
    // when it is released without a successful Close.
    std::unique_ptr<OutputFile> Create(const std::string& path, uint32_t& error) override;
};

}  // namespace querna::win32
