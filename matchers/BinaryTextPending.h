// Stand-ins for the readers of the Office 97-2003 binary formats and of
// compound files, which are built apart and take the place of this file and
// of BinaryTextPending.cpp: until then every binary document reads as an
// unsupported format.
#pragma once

#include "platform/CompoundFile.h"

namespace querna {

class PendingCompoundFiles final : public CompoundFiles {
  public:
    std::unique_ptr<CompoundStorage> Open(const std::string&) override {
        throw DocumentError(DocumentFault::OldFormat);
    }
};

}  // namespace querna
