// Content matchers for tests that read real bytes: text files go through the
// program's plain-text matcher over the file system a test gives it (a fake,
// or a fault-injecting one), Word, Excel and PowerPoint documents through
// ScriptedMatchers, which read nothing.
#pragma once

#include "matchers/TextMatcher.h"
#include "tests/fakes/ScriptedMatchers.h"

namespace querna::fakes {

class FileReadingMatchers final : public ContentMatchers {
  public:
    FileReadingMatchers(FileSystem& fs, TextRules& rules, size_t blockSize = kTextBlockSize)
        : text_(fs, rules, blockSize) {}

    MatchVerdict MatchWordDocument(const std::string& path, const std::string& phrase) override {
        return office.MatchWordDocument(path, phrase);
    }
    MatchVerdict MatchExcelWorkbook(const std::string& path, const std::string& phrase) override {
        return office.MatchExcelWorkbook(path, phrase);
    }
    MatchVerdict MatchPowerPointPresentation(const std::string& path,
                                             const std::string& phrase) override {
        return office.MatchPowerPointPresentation(path, phrase);
    }
    MatchVerdict MatchTextFile(const std::string& path, const std::string& phrase) override {
        return text_.Match(path, phrase);
    }

    ScriptedMatchers office;

  private:
    TextMatcher text_;
};

}  // namespace querna::fakes
