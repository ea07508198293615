// What the document readers' tests share: fixture files, a storage of
// streams held in memory, a sink that collects units as UTF-8, and the fault
// a reading ends in.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "documents/CompoundFile.h"
#include "documents/CompoundFileReader.h"
#include "documents/DocumentText.h"
#include "tests/fakes/CollectingSink.h"

namespace querna::testing {

#ifndef QUERNA_DOCUMENTS_DIR
#error "QUERNA_DOCUMENTS_DIR names the folder of the fixture documents"
#endif

inline std::string FixtureBytes(const std::string& name) {
    std::ifstream in(std::string(QUERNA_DOCUMENTS_DIR) + "/" + name, std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A compound file read by our own reader from bytes that it keeps alive.
class ImageStorage final : public CompoundStorage {
  public:
    explicit ImageStorage(std::string bytes)
        : bytes_(std::make_shared<std::string>(std::move(bytes))),
          reader_(std::make_unique<MemoryByteSource>(bytes_->data(), bytes_->size())) {}
    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
        return reader_.OpenStream(path);
    }

  private:
    std::shared_ptr<std::string> bytes_;
    CompoundFileReader reader_;
};

// Streams given directly, for records a test writes byte by byte.
class StreamStorage final : public CompoundStorage {
  public:
    std::map<std::string, std::string> streams;
    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
        const auto it = streams.find(path);
        if (it == streams.end()) return nullptr;
        return std::make_unique<MemoryByteSource>(it->second.data(), it->second.size());
    }
};

// The fault `action` ends in; a failure of the test when it ends without one.
inline DocumentFault FaultOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DocumentError& e) {
        return e.Fault();
    }
    ADD_FAILURE() << "no DocumentError raised";
    return DocumentFault::TooLarge;
}

struct FixtureFault {
    const char* file;
    DocumentFault fault;
};

// Reads each fixture through `read` and expects it to end in its fault.
inline void ExpectFixtureFaults(const std::vector<FixtureFault>& cases,
                                const std::function<void(CompoundStorage&)>& read) {
    for (const FixtureFault& c : cases) {
        EXPECT_EQ(FaultOf([&] {
                      ImageStorage storage(FixtureBytes(c.file));
                      read(storage);
                  }),
                  c.fault)
            << c.file;
    }
}

// Little-endian bytes for hand-written records.
inline std::string Le16(uint16_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8)};
}
inline std::string Le32(uint32_t v) {
    return Le16(static_cast<uint16_t>(v)) + Le16(static_cast<uint16_t>(v >> 16));
}
inline std::string Utf16(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out += Le16(c);
    return out;
}

}  // namespace querna::testing
