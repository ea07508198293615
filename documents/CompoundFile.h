// Compound files (the container of the Office 97-2003 documents): the
// streams of one file, by name, read by our own reader
// (documents/CompoundFileReader.h) on every platform.
#pragma once

#include <memory>
#include <string>

#include "documents/DocumentFaults.h"
#include "platform/ByteSource.h"

namespace querna {

// [MS-CFB] 2.2: the first eight bytes of every compound file.
inline constexpr unsigned char kCompoundFileSignature[8] = {0xD0, 0xCF, 0x11, 0xE0,
                                                            0xA1, 0xB1, 0x1A, 0xE1};

class CompoundStorage {
  public:
    virtual ~CompoundStorage() = default;
    // A stream by its path from the root storage, storages separated by '/'
    // ("WordDocument", "1Table", "ObjectPool/_1234/Contents"); null when there
    // is no such stream. Raises DocumentError when the file is damaged.
    virtual std::unique_ptr<ByteSource> OpenStream(const std::string& path) = 0;
};

}  // namespace querna
