// The content matchers the window and the console companion wire into the
// search engine: plain text read through the file system, Word, Excel and
// PowerPoint through the automation bridge. It owns the Excel connections,
// which every Excel match leaves disconnected; the services it is given must
// outlive it.
//
// Given the document services, it falls back on the built-in readers
// (matchers/OfficeDocuments.h) for an application whose automation server is
// absent: the first document of that application in a search tries the
// server as ever; when creating it fails because its class is not registered,
// that document and every later one of the application in the same search are
// read without it. Where the server exists nothing changes.
#pragma once

#include "matchers/OfficeDocuments.h"
#include "matchers/OfficeMatchers.h"
#include "matchers/TextMatcher.h"
#include "platform/Automation.h"
#include "platform/FileSystem.h"
#include "platform/TextRules.h"
#include "search/ContentMatchers.h"

namespace querna {

class MatcherSet final : public ContentMatchers {
  public:
    MatcherSet(FileSystem& fs, TextRules& rules, Automation& automation,
               const DocumentServices* documents = nullptr)
        : automation_(automation), excel_(automation), text_(fs, rules), documents_(documents) {}

    void BeginSearch() override;
    MatchVerdict MatchWordDocument(const std::string& path, const std::string& phrase) override;
    MatchVerdict MatchExcelWorkbook(const std::string& path, const std::string& phrase) override;
    MatchVerdict MatchPowerPointPresentation(const std::string& path,
                                             const std::string& phrase) override;
    MatchVerdict MatchTextFile(const std::string& path, const std::string& phrase) override;
    // Read by the built-in readers, with or without Office.
    MatchVerdict MatchWpsDocument(const std::string& path, const std::string& phrase) override;

    const ExcelConnection& Excel() const { return excel_; }
    TextMatcher& Text() { return text_; }

  private:
    // What this search has learnt of one application's server.
    enum class Server { Unknown, Present, Absent };

    template <typename ServerMatch>
    MatchVerdict Match(Server& server, DocumentKind kind, const std::string& path,
                       const std::string& phrase, ServerMatch&& match);

    Automation& automation_;
    ExcelConnection excel_;
    TextMatcher text_;
    const DocumentServices* documents_;
    Server wordServer_ = Server::Unknown;
    Server excelServer_ = Server::Unknown;
    Server powerPointServer_ = Server::Unknown;
};

}  // namespace querna
