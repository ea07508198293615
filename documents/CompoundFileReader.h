// Our own reader of compound files, as [MS-CFB] "Compound File Binary File
// Format" describes them: the header, the FAT reached through the DIFAT, the
// mini stream with its mini FAT, and the directory. Versions 3 (512-byte
// sectors) and 4 (4096-byte sectors) are read.
//
// Everything in the file is distrusted: every sector number is checked
// against the file, every chain is followed at most as far as it can be long
// and a sector met twice in one chain is a loop, the directory tree is walked
// as a flat array with a visited mark (so a cycle of siblings ends), and
// allocations never exceed what the file's own size can hold. The FAT and
// mini FAT are read a sector at a time as the chains of the streams opened
// need them, so what a file costs follows what is read of it, not the size
// its header claims (a sparse file may claim gigabytes it does not hold).
#pragma once

#include <memory>
#include <string>

#include "documents/CompoundFile.h"

namespace querna {

class CompoundFileReader final : public CompoundStorage {
  public:
    // Reads the header, allocation tables and directory of the compound file
    // in `file`. Raises DocumentError(Damaged) when they are not well formed.
    explicit CompoundFileReader(std::unique_ptr<ByteSource> file);
    ~CompoundFileReader() override;
    CompoundFileReader(const CompoundFileReader&) = delete;
    CompoundFileReader& operator=(const CompoundFileReader&) = delete;

    // Names are matched without regard to the case of ASCII letters; a path
    // byte is taken as the UTF-16 unit of the same value. A stream keeps what
    // it reads from alive, so it may outlive the reader.
    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override;

    struct Volume;

  private:
    std::shared_ptr<Volume> volume_;
};

}  // namespace querna
