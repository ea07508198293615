// The content matchers as the content pass sees them: each takes a full path
// and the phrase and returns its verdict. A matcher may throw; the pass does
// not catch.
#pragma once

#include <string>

namespace querna {

// What a matcher learnt of one file. A file that could not be opened is told
// to the user by the content pass, not by the matcher.
enum class MatchVerdict {
    NotFound,    // read, and the phrase is not in it (or could not be read to the end)
    Found,       // holds the phrase
    Unreadable,  // could not be opened
};

constexpr MatchVerdict FoundIf(bool found) {
    return found ? MatchVerdict::Found : MatchVerdict::NotFound;
}

class ContentMatchers {
  public:
    virtual ~ContentMatchers() = default;
    // A whole search starts: what the matchers learnt about the machine in
    // the previous one (such as which Office servers are installed) is
    // learnt afresh.
    virtual void BeginSearch() {}
    virtual MatchVerdict MatchWordDocument(const std::string& path, const std::string& phrase) = 0;
    virtual MatchVerdict MatchExcelWorkbook(const std::string& path, const std::string& phrase) = 0;
    virtual MatchVerdict MatchPowerPointPresentation(const std::string& path,
                                                     const std::string& phrase) = 0;
    virtual MatchVerdict MatchTextFile(const std::string& path, const std::string& phrase) = 0;
    // A WPS Office file, which only the console companion's type filters
    // select; the window's matchers are never asked.
    virtual MatchVerdict MatchWpsDocument(const std::string&, const std::string&) {
        return MatchVerdict::NotFound;
    }
};

}  // namespace querna
