// The Excel 97 reader: a compound file, or the Workbook stream itself.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "documents/ExcelBinaryText.h"
#include "matchers/PhraseRules.h"
#include "tests/fuzz/FuzzStorage.h"

namespace {

using namespace querna;

// Keeps every unit, as the reader hands it on to a sink that takes all.
class KeepingSink final : public TextUnitSink {
  public:
    bool Unit(std::u16string_view text, const UnitPlace&) override {
        units.emplace_back(text);
        return false;
    }
    std::vector<std::u16string> units;
};

// Reads the input with `sink`; false where the reader refused it.
bool ReadWith(const uint8_t* data, size_t size, TextUnitSink& sink) {
    try {
        if (fuzz::IsCompoundFile(data, size)) {
            CompoundFileReader reader(std::make_unique<MemoryByteSource>(data, size));
            ReadExcelBinaryText(reader, sink);
        } else {
            fuzz::RawStreams raw;
            raw.streams["Workbook"] = std::string(reinterpret_cast<const char*>(data), size);
            ReadExcelBinaryText(raw, sink);
        }
        return true;
    } catch (const DocumentError&) {
        return false;
    }
}

// A finder leaves out the units its phrase cannot lie in (numbers, plain
// formulas, shared strings it has searched): it must still find its phrase
// exactly where the full text holds it.
void CheckFinders(const uint8_t* data, size_t size) {
    KeepingSink all;
    if (!ReadWith(data, size, all)) return;
    for (const char16_t* phrase : {u"absent", u"1", u"sum(", u"a", u"后缀"}) {
        UnicodePhraseRule rule(phrase, WidthRule::Ignored);
        const bool held = std::any_of(all.units.begin(), all.units.end(), [&](const auto& unit) {
            return rule.Prepare(unit) && rule.FindNext(0) != std::u16string::npos;
        });
        UnicodePhraseFinder finder(phrase, WidthRule::Ignored);
        ReadWith(data, size, finder);
        if (finder.Found() != held) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ReadDocument(data, size, ReadExcelBinaryText, [](const uint8_t* d, size_t n) {
        fuzz::RawStreams raw;
        raw.streams["Workbook"] = std::string(reinterpret_cast<const char*>(d), n);
        return raw;
    });
    CheckFinders(data, size);
    return 0;
}
