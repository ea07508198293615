#include "matchers/MatcherSet.h"

#include "matchers/TextMatcher.h"

namespace querna {

int32_t MatcherSet::MatchWordDocument(const std::string& path, const std::string& phrase) {
    return querna::MatchWordDocument(automation_, path, phrase);
}

int32_t MatcherSet::MatchExcelWorkbook(const std::string& path, const std::string& phrase) {
    return querna::MatchExcelWorkbook(excel_, path, phrase);
}

int32_t MatcherSet::MatchPowerPointPresentation(const std::string& path,
                                                const std::string& phrase) {
    return querna::MatchPowerPointPresentation(automation_, path, phrase);
}

int32_t MatcherSet::MatchTextFile(const std::string& path, const std::string& phrase) {
    return text_.Match(path, phrase);
}

}  // namespace querna
