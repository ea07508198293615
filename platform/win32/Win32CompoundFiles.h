// Compound files read through Windows' structured storage (ole32's
// StgOpenStorageEx), read-only and shared with other readers.
#pragma once

#include "platform/CompoundFile.h"

namespace querna::win32 {

// Opens with STGM_READ | STGM_SHARE_DENY_WRITE, never for writing. The file's
// structure is first checked by our own reader (matchers/CompoundFileReader),
// and every stream's sector chain before ole32 opens it, because Wine's
// ole32 loops for ever on looping chains and directory cycles. Every
// failure, whether the file is not a compound file, cannot be found or is
// held by a writer, raises DocumentError(Damaged); so does a stream whose
// bytes cannot be read. Streams keep the file open until they are destroyed.
class Win32CompoundFiles final : public CompoundFiles {
  public:
    std::unique_ptr<CompoundStorage> Open(const std::string& path) override;
};

}  // namespace querna::win32
