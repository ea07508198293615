// The content matchers as the content pass sees them: each takes a full path
// and the phrase and returns a verdict, greater than 0 meaning found. A matcher
// may throw; the pass does not catch.
#pragma once

#include <cstdint>
#include <string>

namespace querna {

class ContentMatchers {
  public:
    virtual ~ContentMatchers() = default;
    // A whole search starts: what the matchers learnt about the machine in
    // the previous one (such as which Office servers are installed) is
    // learnt afresh.
    virtual void BeginSearch() {}
    virtual int32_t MatchWordDocument(const std::string& path, const std::string& phrase) = 0;
    virtual int32_t MatchExcelWorkbook(const std::string& path, const std::string& phrase) = 0;
    virtual int32_t MatchPowerPointPresentation(const std::string& path,
                                                const std::string& phrase) = 0;
    virtual int32_t MatchTextFile(const std::string& path, const std::string& phrase) = 0;
};

}  // namespace querna
