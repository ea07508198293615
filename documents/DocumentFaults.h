// How reading a document fails, and the reason as the user reads it. Every
// built-in reader raises DocumentError for whatever it cannot read; the
// matcher that called it turns that into the message naming the file.
#pragma once

#include <stdexcept>

namespace querna {

// Why a document could not be read.
enum class DocumentFault {
    Encrypted,  // protected by a password
    Damaged,    // not a well-formed container or document of its kind
    OldFormat,  // an older format this program does not read (Word 6/95, BIFF5, ...)
    TooLarge,   // a part inflates or grows past what a reader allows
};

// The reason as the user reads it (GBK), e.g. "文档已加密".
inline const char* DocumentFaultText(DocumentFault fault) {
    switch (fault) {
        case DocumentFault::Encrypted:
            return "文档已加密";
        case DocumentFault::Damaged:
            return "文档已损坏";
        case DocumentFault::OldFormat:
            return "不支持的旧格式";
        case DocumentFault::TooLarge:
            return "文档内容过大";
    }
    return "文档已损坏";
}

class DocumentError : public std::runtime_error {
  public:
    explicit DocumentError(DocumentFault fault)
        : std::runtime_error(DocumentFaultText(fault)), fault_(fault) {}
    DocumentFault Fault() const { return fault_; }

  private:
    DocumentFault fault_;
};

}  // namespace querna
