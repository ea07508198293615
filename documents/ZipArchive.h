// A zip archive read through a ByteSource: the container of the Office Open
// XML documents. Follows PKWARE's .ZIP file format note (APPNOTE.TXT, 6.3):
// the end of central directory record, its zip64 record and locator, the
// central directory, local headers, and entries stored (method 0) or deflated
// (method 8, inflated by zlib).
//
// Everything read is checked against the source's size before it is used; a
// lie in a header raises DocumentError(Damaged), never a read outside the
// bytes. An entry inflates as it is read and never past the limit below:
// a zip bomb ends in DocumentError(TooLarge) after at most that many bytes.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "documents/DocumentFaults.h"
#include "documents/DocumentLimits.h"
#include "documents/ReadStop.h"
#include "documents/XmlReader.h"
#include "platform/ByteSource.h"

namespace querna {

struct ZipLimits {
    // What one entry may inflate to.
    uint64_t maxEntrySize = kMaxZipEntrySize;
    // What all entries opened from one archive may inflate to together.
    uint64_t maxTotalSize = kMaxZipTotalSize;
    // The central directory is read whole; it may be no larger than this.
    uint64_t maxDirectorySize = kMaxZipDirectorySize;
    // Whether an entry's CRC-32 is checked at its end.
    bool checkCrc = true;
};

struct ZipEntry {
    // As stored (OOXML part names are ASCII), in the archive's copy of its
    // central directory: valid while the archive is.
    std::string_view name;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t size = 0;
    uint64_t localHeaderOffset = 0;
};

struct ZipBuffers;

class ZipArchive {
  public:
    // Reads the central directory of `source`, which must outlive the
    // archive. Raises DocumentError(Damaged) when it is not a zip archive or
    // is broken, DocumentError(TooLarge) past the directory limit. Every byte
    // inflated is counted on `poll` when one is given (which must outlive
    // the archive), so that a stop is seen inside a large part. `buffers`,
    // when given, lends its room to this archive until it goes.
    explicit ZipArchive(ByteSource& source, const ZipLimits& limits = {}, StopPoll* poll = nullptr,
                        ZipBuffers* buffers = nullptr);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    const std::vector<ZipEntry>& Entries() const { return entries_; }

    // The entry of that name, compared without regard to ASCII case (part
    // names of a package are case-insensitive); the first one when names
    // repeat. Null when there is none; no part has an empty name.
    const ZipEntry* Find(std::string_view name) const;

    // The entry's bytes, inflated as they are read. Raises
    // DocumentError(Encrypted) for an encrypted entry and (Damaged) for an
    // unknown method or a local header that does not fit; reading raises
    // (Damaged) for broken data or a wrong CRC and (TooLarge) past the limits.
    // The stream must not outlive the archive. A ZipEntryStream made in place
    // does the same without the allocation.
    std::unique_ptr<ByteStream> Open(const ZipEntry& entry);

  private:
    friend class ZipEntryStream;
    friend struct ZipBuffers;
    // zlib's state and window with an input buffer: the archive keeps the
    // one its last entry used for the next, as a presentation opens one
    // entry per slide.
    struct Inflater {
        z_stream zip{};
        // Taken once at its full size and never filled: only the bytes read
        // into it are touched.
        std::unique_ptr<unsigned char[]> input;
        bool ready = false;
        Inflater() = default;
        Inflater(const Inflater&) = delete;
        Inflater& operator=(const Inflater&) = delete;
        ~Inflater();
    };
    std::unique_ptr<Inflater> TakeInflater();
    void KeepInflater(std::unique_ptr<Inflater> inflater);
    void Borrow();
    void GiveBack();
    void ReadDirectory();
    void IndexNames();
    uint64_t DataOffset(const ZipEntry& entry);
    void Charge(uint64_t bytes);

    ByteSource& source_;
    ZipLimits limits_;
    // The central directory as read: the entries' names are views of it.
    std::vector<unsigned char> directory_;
    std::vector<ZipEntry> entries_;
    // Entry indices ordered by name without regard to ASCII case, then by
    // index: a look-up is a binary search, and the table costs no allocation
    // per entry. A sort, unlike a hash table, keeps its bound whatever names
    // a hostile directory chooses.
    std::vector<uint32_t> byName_;
    uint64_t inflated_ = 0;
    StopPoll* poll_;
    std::unique_ptr<Inflater> spareInflater_;
    ZipBuffers* buffers_;
};

// What reading one archive leaves for the next, for a caller that reads many
// one after another: the room of the central directory and its index, and
// zlib's state with its window and input. Under Wine a block freed and taken
// again for every document costs its pages anew. Each archive overwrites
// what it uses, so nothing of one is seen by the next; room beyond what
// ordinary documents need is not kept.
struct ZipBuffers {
    ZipBuffers();
    ~ZipBuffers();
    ZipBuffers(const ZipBuffers&) = delete;
    ZipBuffers& operator=(const ZipBuffers&) = delete;

  private:
    friend class ZipArchive;
    std::vector<unsigned char> directory;
    std::vector<ZipEntry> entries;
    std::vector<uint32_t> byName;
    std::unique_ptr<ZipArchive::Inflater> inflater;
};

// One entry's bytes, as ZipArchive::Open gives them: read straight from the
// source when stored, through zlib when deflated. A reader that opens one
// part after another (a presentation opens one per slide) holds one in place.
// Raises as ZipArchive::Open does; must not outlive the archive.
class ZipEntryStream final : public ByteStream {
  public:
    ZipEntryStream(ZipArchive& archive, const ZipEntry& entry);
    ~ZipEntryStream() override;
    ZipEntryStream(const ZipEntryStream&) = delete;
    ZipEntryStream& operator=(const ZipEntryStream&) = delete;

    size_t Read(void* buffer, size_t count) override;

  private:
    size_t Copy(void* buffer, size_t count);
    size_t Inflate(void* buffer, size_t count);
    void Account(const void* buffer, size_t count);
    void Finish();

    ZipArchive& archive_;
    ZipEntry entry_;
    uint64_t inputPos_;
    uint64_t inputLeft_;
    uint64_t produced_ = 0;
    uLong crc_ = 0;
    bool inflating_ = false;
    bool finished_ = false;
    std::unique_ptr<ZipArchive::Inflater> inflater_;
};

}  // namespace querna
