#include "documents/ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUERNA_FOLDED_CRC 1
#endif

#include "documents/BinaryFields.h"

namespace querna {

namespace {

// Record signatures and sizes (APPNOTE.TXT 4.3.7, 4.3.12, 4.3.14 - 4.3.16).
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kZip64ExtraId = 0x0001;

// General purpose flags (4.4.4): bit 0 encrypted, bit 6 strong encryption.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodAes = 99;  // WinZip AES (APPNOTE 4.4.5, appendix E)

constexpr size_t kInputChunk = 64 * 1024;
// What lent buffers keep of each table: a directory of thousands of entries.
constexpr size_t kKeptRoom = 1024 * 1024;

[[noreturn]] void Fail(DocumentFault fault) {
    throw DocumentError(fault);
}

unsigned char UpperAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Orders names as their upper-cased bytes would be ordered, without making
// them: negative, zero or positive as strcmp. Names of one package share long
// prefixes ("ppt/slides/slide") in the same case, and bytes that are equal
// are equal without case too, so equal stretches are passed eight at a time.
int CompareWithoutCase(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < common) {
        for (uint64_t x, y; i + 8 <= common; i += 8) {
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y) break;
        }
        while (i < common && a[i] == b[i]) ++i;
        if (i == common) break;
        const unsigned char x = UpperAscii(a[i]), y = UpperAscii(b[i]);
        if (x != y) return x < y ? -1 : 1;
        ++i;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Where the central directory is, as the end records tell it.
struct DirectoryLocation {
    uint64_t entries = 0;
    uint64_t size = 0;
    uint64_t offset = 0;
    uint64_t end = 0;  // where the records after the directory start
};

// Finds the end of central directory record. Nearly every archive ends with
// the record and no comment, which one small read tells; only the others
// have their tail searched, from its end back, for the record whose comment
// ends where the file does: the comment may itself hold the signature, with
// a length after it that fits in the bytes left. Where no record's comment
// ends there (bytes added after the archive), the last one whose comment
// fits is taken.
uint64_t FindEndRecord(ByteSource& source, unsigned char (&record)[kEndSize]) {
    const uint64_t size = source.Size();
    if (size < kEndSize) Fail(DocumentFault::Damaged);
    ReadExactly(source, size - kEndSize, record, kEndSize);
    if (LoadU32(record) == kEndSignature && LoadU16(record + 20) == 0) return size - kEndSize;
    const uint64_t tailSize = std::min<uint64_t>(size, kEndSize + kMaxCommentSize);
    std::vector<unsigned char> tail(static_cast<size_t>(tailSize));
    ReadExactly(source, size - tailSize, tail.data(), tail.size());
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t found = kNone;
    for (size_t p = tail.size() - kEndSize + 1; p-- > 0;) {
        if (LoadU32(&tail[p]) != kEndSignature) continue;
        const size_t end = p + kEndSize + LoadU16(&tail[p + 20]);
        if (end == tail.size()) {
            found = p;
            break;
        }
        if (end < tail.size() && found == kNone) found = p;
    }
    if (found == kNone) Fail(DocumentFault::Damaged);
    std::memcpy(record, &tail[found], kEndSize);
    return size - tailSize + found;
}

DirectoryLocation ReadZip64End(ByteSource& source, uint64_t endPos) {
    if (endPos < kZip64LocatorSize) Fail(DocumentFault::Damaged);
    unsigned char locator[kZip64LocatorSize];
    ReadExactly(source, endPos - kZip64LocatorSize, locator, sizeof locator);
    if (LoadU32(locator) != kZip64LocatorSignature || LoadU32(locator + 4) != 0 ||
        LoadU32(locator + 16) > 1) {
        Fail(DocumentFault::Damaged);
    }
    const uint64_t recordPos = LoadU64(locator + 8);
    const uint64_t limit = endPos - kZip64LocatorSize;
    if (recordPos > limit || limit - recordPos < kZip64EndSize) Fail(DocumentFault::Damaged);
    unsigned char record[kZip64EndSize];
    ReadExactly(source, recordPos, record, sizeof record);
    if (LoadU32(record) != kZip64EndSignature || LoadU32(record + 16) != 0 ||
        LoadU32(record + 20) != 0) {
        Fail(DocumentFault::Damaged);
    }
    return {LoadU64(record + 32), LoadU64(record + 40), LoadU64(record + 48), recordPos};
}

DirectoryLocation LocateDirectory(ByteSource& source) {
    unsigned char record[kEndSize];
    const uint64_t endPos = FindEndRecord(source, record);
    const unsigned char* r = record;
    const uint16_t disk = LoadU16(r + 4), directoryDisk = LoadU16(r + 6);
    const uint16_t entries = LoadU16(r + 10);
    const uint32_t size = LoadU32(r + 12), offset = LoadU32(r + 16);
    if (disk == 0xFFFF || directoryDisk == 0xFFFF || entries == 0xFFFF || size == 0xFFFFFFFF ||
        offset == 0xFFFFFFFF) {
        return ReadZip64End(source, endPos);
    }
    // Archives split over several disks are not documents.
    if (disk != 0 || directoryDisk != 0) Fail(DocumentFault::Damaged);
    return {entries, size, offset, endPos};
}

// Replaces the fields saturated at 0xFFFF... by their zip64 values (4.5.3):
// in this order, and only those that are saturated.
void ApplyZip64Extra(const unsigned char* extra, size_t extraSize, ZipEntry& entry,
                     bool sizeSaturated, bool compressedSaturated, bool offsetSaturated) {
    size_t pos = 0;
    while (pos + 4 <= extraSize) {
        const uint16_t id = LoadU16(extra + pos);
        const size_t dataSize = LoadU16(extra + pos + 2);
        pos += 4;
        if (dataSize > extraSize - pos) Fail(DocumentFault::Damaged);
        if (id == kZip64ExtraId) {
            const unsigned char* data = extra + pos;
            size_t used = 0;
            auto next = [&](uint64_t& field) {
                if (used + 8 > dataSize) Fail(DocumentFault::Damaged);
                field = LoadU64(data + used);
                used += 8;
            };
            if (sizeSaturated) next(entry.size);
            if (compressedSaturated) next(entry.compressedSize);
            if (offsetSaturated) next(entry.localHeaderOffset);
            return;
        }
        pos += dataSize;
    }
    if (sizeSaturated || compressedSaturated || offsetSaturated) Fail(DocumentFault::Damaged);
}

// Parses the central header at `pos`; returns the position after it.
size_t ParseCentralHeader(const std::vector<unsigned char>& directory, size_t pos,
                          ZipEntry& entry) {
    if (directory.size() - pos < kCentralHeaderSize) Fail(DocumentFault::Damaged);
    const unsigned char* h = directory.data() + pos;
    if (LoadU32(h) != kCentralHeaderSignature) Fail(DocumentFault::Damaged);
    const size_t nameSize = LoadU16(h + 28), extraSize = LoadU16(h + 30),
                 commentSize = LoadU16(h + 32);
    const size_t total = kCentralHeaderSize + nameSize + extraSize + commentSize;
    if (directory.size() - pos < total) Fail(DocumentFault::Damaged);
    entry.flags = LoadU16(h + 8);
    entry.method = LoadU16(h + 10);
    entry.crc = LoadU32(h + 16);
    entry.compressedSize = LoadU32(h + 20);
    entry.size = LoadU32(h + 24);
    entry.localHeaderOffset = LoadU32(h + 42);
    entry.name = {reinterpret_cast<const char*>(h + kCentralHeaderSize), nameSize};
    ApplyZip64Extra(h + kCentralHeaderSize + nameSize, extraSize, entry, entry.size == 0xFFFFFFFF,
                    entry.compressedSize == 0xFFFFFFFF, entry.localHeaderOffset == 0xFFFFFFFF);
    return pos + total;
}

#ifdef QUERNA_FOLDED_CRC
// The CRC-32 of zip (the reflected polynomial 0x104C11DB7) by carry-less
// multiplication, after Intel's "Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ Instruction" (2009): the bytes are folded 64 at a time into
// four 128-bit lanes, the lanes into one, and that is reduced to 32 bits. It
// costs a fraction of zlib's table-driven CRC per byte, which otherwise comes
// close to the cost of inflating. The constants are powers of x modulo the
// polynomial, as that paper derives them.
#define QUERNA_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

QUERNA_CLMUL_TARGET inline __m128i FoldInto(__m128i lane, __m128i keys, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, keys, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, keys, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

QUERNA_CLMUL_TARGET inline __m128i Load128(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Takes and returns the CRC's register (the inverted value); `size` is a
// multiple of 16 and at least 64.
QUERNA_CLMUL_TARGET uint32_t FoldedCrc(uint32_t crc, const unsigned char* p, size_t size) {
    const __m128i by64 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
    const __m128i by16 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
    const __m128i by4 = _mm_set_epi64x(0, 0x163cd6124);
    const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    __m128i a = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i b = Load128(p + 16), c = Load128(p + 32), d = Load128(p + 48);
    size_t at = 64;
    for (; at + 64 <= size; at += 64) {
        a = FoldInto(a, by64, Load128(p + at));
        b = FoldInto(b, by64, Load128(p + at + 16));
        c = FoldInto(c, by64, Load128(p + at + 32));
        d = FoldInto(d, by64, Load128(p + at + 48));
    }
    a = FoldInto(FoldInto(FoldInto(a, by16, b), by16, c), by16, d);
    for (; at < size; at += 16) a = FoldInto(a, by16, Load128(p + at));
    // 128 bits to 64, to 32 and then the Barrett reduction.
    a = _mm_xor_si128(_mm_srli_si128(a, 8), _mm_clmulepi64_si128(a, by16, 0x10));
    a = _mm_xor_si128(_mm_srli_si128(a, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(a, low32), by4, 0x00));
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(a, low32), barrett, 0x10), low32);
    t = _mm_clmulepi64_si128(t, barrett, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(a, t), 1));
}

bool CanFoldCrc() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}
#endif

// zlib's crc32 continued over `size` more bytes.
uLong UpdateCrc(uLong crc, const unsigned char* p, size_t size) {
#ifdef QUERNA_FOLDED_CRC
    if (size >= 64 && CanFoldCrc()) {
        const size_t folded = size & ~size_t{15};
        crc = ~FoldedCrc(~static_cast<uint32_t>(crc), p, folded) & 0xFFFFFFFFu;
        p += folded;
        size -= folded;
    }
#endif
    return crc32(crc, p, static_cast<uInt>(size));
}

}  // namespace

// The stream's output is capped one byte past the declared size, so a lying
// header is caught without inflating on.
ZipEntryStream::ZipEntryStream(ZipArchive& archive, const ZipEntry& entry)
    : archive_(archive),
      entry_(entry),
      inputPos_(archive.DataOffset(entry)),
      inputLeft_(entry.compressedSize) {
    if (entry.method == kMethodDeflated) {
        inflater_ = archive.TakeInflater();
        inflating_ = true;
        if (inflater_->input == nullptr) {
            inflater_->input.reset(new unsigned char[kInputChunk]);
        }
    }
}

ZipEntryStream::~ZipEntryStream() {
    if (inflating_) archive_.KeepInflater(std::move(inflater_));
}

size_t ZipEntryStream::Read(void* buffer, size_t count) {
    if (finished_ || count == 0) return 0;
    const uint64_t allowed = entry_.size - produced_ + 1;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count, allowed));
    const size_t got = inflating_ ? Inflate(buffer, want) : Copy(buffer, want);
    Account(buffer, got);
    if (finished_) Finish();
    return got;
}

size_t ZipEntryStream::Copy(void* buffer, size_t count) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, inputLeft_));
    ReadExactly(archive_.source_, inputPos_, buffer, n);
    inputPos_ += n;
    inputLeft_ -= n;
    finished_ = inputLeft_ == 0;
    return n;
}

size_t ZipEntryStream::Inflate(void* buffer, size_t count) {
    z_stream& zip = inflater_->zip;
    zip.next_out = static_cast<Bytef*>(buffer);
    zip.avail_out = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
    const uInt before = zip.avail_out;
    while (zip.avail_out == before) {
        if (zip.avail_in == 0 && inputLeft_ > 0) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kInputChunk, inputLeft_));
            ReadExactly(archive_.source_, inputPos_, inflater_->input.get(), n);
            inputPos_ += n;
            inputLeft_ -= n;
            zip.next_in = inflater_->input.get();
            zip.avail_in = static_cast<uInt>(n);
        }
        // With all input taken, inflate may still hold output for a small
        // buffer; only a call that makes no progress at all means the data
        // ends too soon.
        const int status = inflate(&zip, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            finished_ = true;
            break;
        }
        if (status == Z_MEM_ERROR) throw std::bad_alloc();
        if (status == Z_BUF_ERROR && zip.avail_in == 0 && inputLeft_ == 0) {
            Fail(DocumentFault::Damaged);
        }
        if (status != Z_OK && status != Z_BUF_ERROR) Fail(DocumentFault::Damaged);
    }
    return before - zip.avail_out;
}

void ZipEntryStream::Account(const void* buffer, size_t count) {
    produced_ += count;
    if (produced_ > entry_.size) {
        Fail(produced_ > archive_.limits_.maxEntrySize ? DocumentFault::TooLarge
                                                       : DocumentFault::Damaged);
    }
    archive_.Charge(count);
    if (archive_.limits_.checkCrc && count > 0) {
        crc_ = UpdateCrc(crc_, static_cast<const unsigned char*>(buffer), count);
    }
}

void ZipEntryStream::Finish() {
    if (produced_ != entry_.size) Fail(DocumentFault::Damaged);
    if (archive_.limits_.checkCrc && crc_ != entry_.crc) Fail(DocumentFault::Damaged);
}

ZipArchive::ZipArchive(ByteSource& source, const ZipLimits& limits, StopPoll* poll,
                       ZipBuffers* buffers)
    : source_(source), limits_(limits), poll_(poll), buffers_(buffers) {
    Borrow();
    try {
        ReadDirectory();
    } catch (...) {
        GiveBack();
        throw;
    }
}

ZipArchive::~ZipArchive() {
    GiveBack();
}

ZipBuffers::ZipBuffers() = default;
ZipBuffers::~ZipBuffers() = default;

void ZipArchive::Borrow() {
    if (buffers_ == nullptr) return;
    directory_.swap(buffers_->directory);
    entries_.swap(buffers_->entries);
    byName_.swap(buffers_->byName);
    spareInflater_ = std::move(buffers_->inflater);
}

void ZipArchive::GiveBack() {
    if (buffers_ == nullptr) return;
    // A hostile directory may have grown the room far past any document's;
    // that much is given back to the heap, not kept for the next.
    if (directory_.capacity() <= kKeptRoom) directory_.swap(buffers_->directory);
    if (entries_.capacity() * sizeof(ZipEntry) <= kKeptRoom) entries_.swap(buffers_->entries);
    if (byName_.capacity() * sizeof(uint32_t) <= kKeptRoom) byName_.swap(buffers_->byName);
    if (spareInflater_ != nullptr) buffers_->inflater = std::move(spareInflater_);
    buffers_ = nullptr;
}

ZipArchive::Inflater::~Inflater() {
    if (ready) inflateEnd(&zip);
}

std::unique_ptr<ZipArchive::Inflater> ZipArchive::TakeInflater() {
    std::unique_ptr<Inflater> inflater = std::move(spareInflater_);
    if (inflater != nullptr) {
        if (inflateReset(&inflater->zip) != Z_OK) throw std::bad_alloc();
        // The reset keeps what the last entry left unread of its input.
        inflater->zip.next_in = nullptr;
        inflater->zip.avail_in = 0;
        return inflater;
    }
    inflater = std::make_unique<Inflater>();
    // Negative window bits: raw deflate data, no zlib header.
    if (inflateInit2(&inflater->zip, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    inflater->ready = true;
    return inflater;
}

void ZipArchive::KeepInflater(std::unique_ptr<Inflater> inflater) {
    if (spareInflater_ == nullptr) spareInflater_ = std::move(inflater);
}

void ZipArchive::ReadDirectory() {
    const DirectoryLocation where = LocateDirectory(source_);
    if (where.size > limits_.maxDirectorySize) Fail(DocumentFault::TooLarge);
    if (where.offset > where.end || where.size > where.end - where.offset) {
        Fail(DocumentFault::Damaged);
    }
    // Every entry takes at least a fixed-size header: a count beyond what the
    // directory can hold is a lie, caught before anything is reserved for it.
    if (where.entries > where.size / kCentralHeaderSize) Fail(DocumentFault::Damaged);
    directory_.resize(static_cast<size_t>(where.size));
    ReadExactly(source_, where.offset, directory_.data(), directory_.size());
    entries_.resize(static_cast<size_t>(where.entries));
    size_t pos = 0;
    for (ZipEntry& entry : entries_) pos = ParseCentralHeader(directory_, pos, entry);
    IndexNames();
}

void ZipArchive::IndexNames() {
    // The count fits: a directory within its limit holds far fewer entries.
    byName_.resize(entries_.size());
    for (size_t i = 0; i < byName_.size(); ++i) byName_[i] = static_cast<uint32_t>(i);
    std::sort(byName_.begin(), byName_.end(), [this](uint32_t a, uint32_t b) {
        const int order = CompareWithoutCase(entries_[a].name, entries_[b].name);
        return order != 0 ? order < 0 : a < b;
    });
}

void ZipArchive::Charge(uint64_t bytes) {
    inflated_ += bytes;
    if (inflated_ > limits_.maxTotalSize) Fail(DocumentFault::TooLarge);
    if (poll_ != nullptr) poll_->Advance(bytes);
}

const ZipEntry* ZipArchive::Find(std::string_view name) const {
    if (name.empty()) return nullptr;
    // The first of equal names sorts first: its index is the smallest.
    const auto it = std::lower_bound(
        byName_.begin(), byName_.end(), name, [this](uint32_t index, std::string_view wanted) {
            return CompareWithoutCase(entries_[index].name, wanted) < 0;
        });
    if (it == byName_.end() || CompareWithoutCase(entries_[*it].name, name) != 0) return nullptr;
    return &entries_[*it];
}

std::unique_ptr<ByteStream> ZipArchive::Open(const ZipEntry& entry) {
    return std::make_unique<ZipEntryStream>(*this, entry);
}

uint64_t ZipArchive::DataOffset(const ZipEntry& entry) {
    if ((entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) || entry.method == kMethodAes) {
        Fail(DocumentFault::Encrypted);
    }
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) {
        Fail(DocumentFault::Damaged);
    }
    if (entry.size > limits_.maxEntrySize) Fail(DocumentFault::TooLarge);
    if (entry.method == kMethodStored && entry.compressedSize != entry.size) {
        Fail(DocumentFault::Damaged);
    }
    const uint64_t size = source_.Size();
    if (entry.localHeaderOffset > size || size - entry.localHeaderOffset < kLocalHeaderSize) {
        Fail(DocumentFault::Damaged);
    }
    unsigned char header[kLocalHeaderSize];
    ReadExactly(source_, entry.localHeaderOffset, header, sizeof header);
    if (LoadU32(header) != kLocalHeaderSignature) Fail(DocumentFault::Damaged);
    if (LoadU16(header + 6) & (kFlagEncrypted | kFlagStrongEncryption)) {
        Fail(DocumentFault::Encrypted);
    }
    const uint64_t dataOffset =
        entry.localHeaderOffset + kLocalHeaderSize + LoadU16(header + 26) + LoadU16(header + 28);
    if (dataOffset > size || size - dataOffset < entry.compressedSize) {
        Fail(DocumentFault::Damaged);
    }
    return dataOffset;
}

}  // namespace querna
