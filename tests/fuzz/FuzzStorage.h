// Inputs of the document readers' fuzz targets. An input that starts with the
// compound-file signature is read by our compound-file reader; any other input
// is taken as the reader's streams laid end to end, so that the fuzzer can
// reach the record parsers without first building a valid container.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "documents/CompoundFileReader.h"
#include "documents/DocumentText.h"
#include "tests/fuzz/support/FuzzSinks.h"

namespace querna::fuzz {

class RawStreams final : public CompoundStorage {
  public:
    std::map<std::string, std::string> streams;
    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
        const auto it = streams.find(path);
        if (it == streams.end()) return nullptr;
        return std::make_unique<MemoryByteSource>(it->second.data(), it->second.size());
    }
};

inline bool IsCompoundFile(const uint8_t* data, size_t size) {
    return size >= 8 && std::memcmp(data, kCompoundFileSignature, 8) == 0;
}

// Splits a raw input: a 32-bit length, that many bytes for `first`, the rest
// for `second`.
inline RawStreams SplitStreams(const uint8_t* data, size_t size, const std::string& first,
                               const std::string& second) {
    RawStreams raw;
    uint32_t length = 0;
    if (size >= 4) std::memcpy(&length, data, 4);
    const size_t firstSize = size >= 4 ? std::min<size_t>(length, size - 4) : 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    raw.streams[first] = std::string(bytes + (size >= 4 ? 4 : 0), firstSize);
    if (size >= 4) raw.streams[second] = std::string(bytes + 4 + firstSize, size - 4 - firstSize);
    return raw;
}

// Runs `read` over the input as a compound file or as raw streams; a
// DocumentError is a refusal, not a finding.
template <typename Read, typename Raw>
void ReadDocument(const uint8_t* data, size_t size, Read read, Raw raw) {
    CollectingSink sink;
    try {
        if (IsCompoundFile(data, size)) {
            CompoundFileReader reader(std::make_unique<MemoryByteSource>(data, size));
            read(reader, sink);
        } else {
            RawStreams streams = raw(data, size);
            read(streams, sink);
        }
    } catch (const DocumentError&) {
    }
}

}  // namespace querna::fuzz
