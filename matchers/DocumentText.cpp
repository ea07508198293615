#include "matchers/DocumentText.h"

#include <algorithm>
#include <cstring>

namespace querna {

size_t MemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t count) {
    if (offset >= size_) return 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    std::memcpy(buffer, data_ + offset, n);
    return n;
}

DocumentError::DocumentError(DocumentFault fault)
    : std::runtime_error(DocumentFaultText(fault)), fault_(fault) {}

const char* DocumentFaultText(DocumentFault fault) {
    switch (fault) {
        case DocumentFault::Encrypted: return "文档已加密";
        case DocumentFault::Damaged: return "文档已损坏";
        case DocumentFault::OldFormat: return "不支持的旧格式";
        case DocumentFault::TooLarge: return "文档内容过大";
    }
    return "文档已损坏";
}

}  // namespace querna
