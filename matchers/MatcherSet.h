// The content matchers the window and the console companion wire into the
// search engine: plain text read through the file system, Word, Excel and
// PowerPoint through the automation bridge. It owns the Excel connections,
// which every Excel match leaves disconnected; the services it is given must
// outlive it.
#pragma once

#include "matchers/OfficeMatchers.h"
#include "matchers/TextMatcher.h"
#include "platform/Automation.h"
#include "platform/Dialogs.h"
#include "platform/FileSystem.h"
#include "search/ContentMatchers.h"

namespace querna {

class MatcherSet final : public ContentMatchers {
public:
    MatcherSet(FileSystem& fs, Dialogs& dialogs, Automation& automation)
        : automation_(automation), excel_(automation), text_(fs, dialogs) {}

    int32_t MatchWordDocument(const std::string& path, const std::string& phrase) override;
    int32_t MatchExcelWorkbook(const std::string& path, const std::string& phrase) override;
    int32_t MatchPowerPointPresentation(const std::string& path,
                                        const std::string& phrase) override;
    int32_t MatchTextFile(const std::string& path, const std::string& phrase) override;

    const ExcelConnection& Excel() const { return excel_; }

private:
    Automation& automation_;
    ExcelConnection excel_;
    TextMatcher text_;
};

}  // namespace querna
