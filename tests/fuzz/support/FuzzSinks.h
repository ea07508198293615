// What the reader fuzz targets hand their units to: a bounded collector that
// also runs the Word/Excel comparison and the hits' context and places on
// every unit, so that the folding and the context windows are exercised on
// whatever text the readers produce.
#pragma once

#include <string>

#include "documents/DocumentText.h"
#include "matchers/PhraseHits.h"
#include "matchers/PhraseRules.h"
#include "native/IconvCodePage.h"

namespace querna::fuzz {

class CollectingSink final : public TextUnitSink {
  public:
    bool Unit(std::u16string_view text, const UnitPlace& place) override {
        total_ += text.size();
        finder_.Unit(text, place);
        hits_.Unit(text, place);
        hits_.Hits() = {};
        // Stopping early is part of every reader's contract: exercise it.
        return ++units_ >= 100000;
    }

  private:
    // Opening the conversions costs more than most inputs: once per run.
    static CodePage& SharedCodePage() {
        static native::IconvCodePage codePage;
        return codePage;
    }

    UnicodePhraseFinder finder_{
        u"\xFF21"
        u"b\x0130",
        WidthRule::Ignored};
    DocumentHitCollector hits_{DocumentKind::Excel, SharedCodePage(), "Ab", {0}};
    size_t units_ = 0;
    size_t total_ = 0;
};

}  // namespace querna::fuzz
