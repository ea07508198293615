// Compound files (the container of the Office 97-2003 documents): the
// streams of one file, by name. On Windows the system's structured storage
// reads them; the native tree has a reader of its own for tests and fuzzing.
#pragma once

#include <memory>
#include <string>

#include "platform/ByteSource.h"

namespace querna {

class CompoundStorage {
  public:
    virtual ~CompoundStorage() = default;
    // A stream by its path from the root storage, storages separated by '/'
    // ("WordDocument", "1Table", "ObjectPool/_1234/Contents"); null when there
    // is no such stream. Raises DocumentError when the file is damaged.
    virtual std::unique_ptr<ByteSource> OpenStream(const std::string& path) = 0;
};

class CompoundFiles {
  public:
    virtual ~CompoundFiles() = default;
    // Opens the compound file at `path` for reading, sharing it with other
    // readers. Raises DocumentError(Damaged) when it is not a compound file.
    virtual std::unique_ptr<CompoundStorage> Open(const std::string& path) = 0;
};

}  // namespace querna
