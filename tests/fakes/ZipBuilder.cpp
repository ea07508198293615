#include "tests/fakes/ZipBuilder.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace querna::fakes {

namespace {

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

uint32_t Saturated(uint64_t v, bool zip64) {
    return zip64 || v >= 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<uint32_t>(v);
}

struct Written {
    uint16_t method;
    uint32_t crc;
    uint64_t size;
    uint64_t compressedSize;
    uint64_t offset;
};

std::string Zip64Extra(const Written& w, bool withOffset) {
    std::string extra;
    Put16(extra, 0x0001);
    Put16(extra, withOffset ? 24 : 16);
    Put64(extra, w.size);
    Put64(extra, w.compressedSize);
    if (withOffset) Put64(extra, w.offset);
    return extra;
}

}  // namespace

std::string Deflate(const std::string& data) {
    z_stream zip{};
    if (deflateInit2(&zip, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&zip, data.size()), '\0');
    zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zip.avail_in = static_cast<uInt>(data.size());
    zip.next_out = reinterpret_cast<Bytef*>(out.data());
    zip.avail_out = static_cast<uInt>(out.size());
    deflate(&zip, Z_FINISH);
    out.resize(zip.total_out);
    deflateEnd(&zip);
    return out;
}

std::string ZipBuilder::Build() const {
    std::string out = prefix;
    std::string directory;
    for (const ZipBuilderEntry& e : entries) {
        const std::string body = e.deflate ? Deflate(e.data) : e.data;
        const uint32_t realCrc = static_cast<uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const Written w{e.method.value_or(e.deflate ? 8 : 0), e.declaredCrc.value_or(realCrc),
                        e.declaredSize.value_or(e.data.size()), body.size(),
                        e.localOffset.value_or(out.size())};
        const std::string localExtra = zip64 ? Zip64Extra(w, false) : "";
        Put32(out, 0x04034b50);
        Put16(out, zip64 ? 45 : 20);
        Put16(out, e.flags);
        Put16(out, w.method);
        Put32(out, 0);  // time and date
        Put32(out, w.crc);
        Put32(out, Saturated(w.compressedSize, zip64));
        Put32(out, Saturated(w.size, zip64));
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, static_cast<uint32_t>(localExtra.size()));
        out += e.name + localExtra + body;

        const std::string centralExtra = zip64 ? Zip64Extra(w, true) : "";
        Put32(directory, 0x02014b50);
        Put16(directory, zip64 ? 45 : 20);
        Put16(directory, zip64 ? 45 : 20);
        Put16(directory, e.flags);
        Put16(directory, w.method);
        Put32(directory, 0);
        Put32(directory, w.crc);
        Put32(directory, Saturated(w.compressedSize, zip64));
        Put32(directory, Saturated(w.size, zip64));
        Put16(directory, static_cast<uint32_t>(e.name.size()));
        Put16(directory, static_cast<uint32_t>(centralExtra.size()));
        Put16(directory, 0);  // comment
        Put16(directory, 0);  // disk
        Put16(directory, 0);  // internal attributes
        Put32(directory, 0);  // external attributes
        Put32(directory, Saturated(w.offset, zip64));
        directory += e.name + centralExtra;
    }
    const uint64_t directoryOffset = out.size();
    out += directory;
    const uint64_t count = declaredCount.value_or(entries.size());
    if (zip64) {
        const uint64_t recordOffset = out.size();
        Put32(out, 0x06064b50);
        Put64(out, 44);
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, count);
        Put64(out, count);
        Put64(out, directory.size());
        Put64(out, directoryOffset);
        Put32(out, 0x07064b50);
        Put32(out, 0);
        Put64(out, recordOffset);
        Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    const auto count16 = static_cast<uint32_t>(zip64 ? 0xFFFF : std::min<uint64_t>(count, 0xFFFF));
    Put16(out, count16);
    Put16(out, count16);
    Put32(out, Saturated(directory.size(), zip64));
    Put32(out, Saturated(directoryOffset, zip64));
    Put16(out, static_cast<uint32_t>(comment.size()));
    out += comment;
    return out;
}

}  // namespace querna::fakes
