// The sink the document readers' tests hand units to, in the native and the
// Windows trees alike: it keeps every unit and asks to stop after
// `stopAfter` units when that is set.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "documents/DocumentText.h"

namespace querna::testing {

class CollectingSink final : public TextUnitSink {
  public:
    explicit CollectingSink(size_t stopAfter = 0) : stopAfter_(stopAfter) {}
    bool Unit(std::u16string_view text) override {
        units.emplace_back(text);
        return stopAfter_ != 0 && units.size() >= stopAfter_;
    }
    std::vector<std::u16string> units;

  private:
    size_t stopAfter_;
};

}  // namespace querna::testing
