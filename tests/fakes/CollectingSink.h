// The sink the document readers' tests hand units to, in the native and the
// Windows trees alike: it keeps every unit and asks to stop after
// `stopAfter` units when that is set, with the place of each.
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
    bool Unit(std::u16string_view text, const UnitPlace& place) override {
        units.emplace_back(text);
        places.push_back(place);
        places.back().sheet = {};
        sheets.emplace_back(place.sheet);
        return stopAfter_ != 0 && units.size() >= stopAfter_;
    }
    bool TakesNumbers() const override { return takesNumbers; }
    bool TakesRepeats() const override { return takesRepeats; }
    bool TakesPlainFormulas() const override { return takesPlainFormulas; }
    // What the sink tells the readers it takes, as a finder would.
    bool takesNumbers = true;
    bool takesPlainFormulas = true;
    bool takesRepeats = true;
    std::vector<std::u16string> units;
    // The places as handed on, their sheet names (views the reader lets go
    // of) kept apart in `sheets`.
    std::vector<UnitPlace> places;
    std::vector<std::u16string> sheets;

  private:
    size_t stopAfter_;
};

}  // namespace querna::testing
