// Content matchers for tests: a file holds the phrase when the text the test
// gave it contains the phrase. Every call is logged; one path can be made to
// raise an error, as an automation failure in a real matcher would.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "search/ContentMatchers.h"

namespace querna::fakes {

class ScriptedMatchers final : public ContentMatchers {
  public:
    MatchVerdict MatchWordDocument(const std::string& path, const std::string& phrase) override {
        return Match("word", path, phrase);
    }
    MatchVerdict MatchExcelWorkbook(const std::string& path, const std::string& phrase) override {
        return Match("excel", path, phrase);
    }
    MatchVerdict MatchPowerPointPresentation(const std::string& path,
                                             const std::string& phrase) override {
        return Match("powerpoint", path, phrase);
    }
    MatchVerdict MatchTextFile(const std::string& path, const std::string& phrase) override {
        return Match("text", path, phrase);
    }

    std::map<std::string, std::string> texts;  // path -> what the document says
    std::set<std::string> held;                // cannot be opened: Unreadable
    std::string failingPath;                   // raises `failure` when asked about
    std::string failure = "Automation error";
    std::vector<std::string> calls;  // "kind path phrase"

  private:
    MatchVerdict Match(const char* kind, const std::string& path, const std::string& phrase) {
        calls.push_back(std::string(kind) + " " + path + " " + phrase);
        if (path == failingPath) throw QuernaError(failure);
        if (held.count(path)) return MatchVerdict::Unreadable;
        const auto it = texts.find(path);
        return FoundIf(it != texts.end() && it->second.find(phrase) != std::string::npos);
    }
};

}  // namespace querna::fakes
