#include "matchers/OfficeDocuments.h"

#include <memory>

#include "matchers/PhraseRules.h"
#include "platform/Error.h"

namespace querna {

namespace {

constexpr char kCannotOpen[] = "无法打开文件";

}  // namespace

MatchVerdict MatchDocumentWithoutServer(const DocumentServices& services, DocumentKind kind,
                                        const std::string& path, const std::string& phrase) {
    const std::unique_ptr<ByteSource> source = services.files.OpenDocument(path);
    if (source == nullptr) throw QuernaError(DocumentErrorText(path, kCannotOpen));
    try {
        if (kind == DocumentKind::PowerPoint) {
            CodePagePhraseFinder finder(services.codePage, phrase);
            ReadDocumentText(kind, *source, services.xml, finder);
            return FoundIf(finder.Found());
        }
        const WidthRule width =
            kind == DocumentKind::Excel ? WidthRule::Ignored : WidthRule::Significant;
        UnicodePhraseFinder finder(services.codePage.ToUnicode(phrase), width);
        ReadDocumentText(kind, *source, services.xml, finder);
        return FoundIf(finder.Found());
    } catch (const DocumentError& error) {
        throw QuernaError(DocumentErrorText(path, error.what()));
    }
}

std::string DocumentErrorText(const std::string& path, const std::string& reason) {
    return "无法读取文档 " + path + "：" + reason;
}

}  // namespace querna
