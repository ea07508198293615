// What the reader fuzz targets hand their units to: a bounded collector that
// also runs the Word/Excel comparison on every unit, so that the folding is
// exercised on whatever text the readers produce.
#pragma once

#include <string>

#include "documents/DocumentText.h"
#include "matchers/PhraseRules.h"

namespace querna::fuzz {

class CollectingSink final : public TextUnitSink {
  public:
    bool Unit(std::u16string_view text, const UnitPlace& place) override {
        total_ += text.size();
        finder_.Unit(text, place);
        // Stopping early is part of every reader's contract: exercise it.
        return ++units_ >= 100000;
    }

  private:
    UnicodePhraseFinder finder_{
        u"\xFF21"
        u"b\x0130",
        WidthRule::Ignored};
    size_t units_ = 0;
    size_t total_ = 0;
};

}  // namespace querna::fuzz
