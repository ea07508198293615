#include "matchers/MatcherSet.h"

#include "matchers/TextMatcher.h"

namespace querna {

template <typename ServerMatch>
MatchVerdict MatcherSet::Match(Server& server, DocumentKind kind, const std::string& path,
                               const std::string& phrase, ServerMatch&& match) {
    if (documents_ != nullptr && server == Server::Absent) {
        return MatchDocumentWithoutServer(*documents_, kind, path, phrase);
    }
    try {
        const MatchVerdict result = match();
        server = Server::Present;
        return result;
    } catch (const ServerAbsentError&) {
        // Once the server has been had in this search, losing it is an error
        // like any other, as it always was.
        if (documents_ == nullptr || server == Server::Present) throw;
        server = Server::Absent;
    } catch (...) {
        server = Server::Present;  // created, then failed: the server is there
        throw;
    }
    return MatchDocumentWithoutServer(*documents_, kind, path, phrase);
}

void MatcherSet::BeginSearch() {
    wordServer_ = excelServer_ = powerPointServer_ = Server::Unknown;
}

MatchVerdict MatcherSet::MatchWordDocument(const std::string& path, const std::string& phrase) {
    return Match(wordServer_, DocumentKindOf(ftWord), path, phrase,
                 [&] { return querna::MatchWordDocument(automation_, path, phrase); });
}

MatchVerdict MatcherSet::MatchExcelWorkbook(const std::string& path, const std::string& phrase) {
    return Match(excelServer_, DocumentKindOf(ftExcel), path, phrase,
                 [&] { return querna::MatchExcelWorkbook(excel_, path, phrase); });
}

MatchVerdict MatcherSet::MatchPowerPointPresentation(const std::string& path,
                                                     const std::string& phrase) {
    return Match(powerPointServer_, DocumentKindOf(ftPowerPoint), path, phrase,
                 [&] { return querna::MatchPowerPointPresentation(automation_, path, phrase); });
}

MatchVerdict MatcherSet::MatchWpsDocument(const std::string& path, const std::string& phrase) {
    if (documents_ == nullptr) return MatchVerdict::NotFound;
    return querna::MatchWpsDocument(*documents_, path, phrase);
}

MatchVerdict MatcherSet::MatchTextFile(const std::string& path, const std::string& phrase) {
    return text_.Match(path, phrase, documents_ != nullptr ? documents_->stop : nullptr);
}

}  // namespace querna
