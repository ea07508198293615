#include "matchers/OfficeDocuments.h"

#include <memory>

#include "matchers/PhraseRules.h"
#include "platform/Error.h"

namespace querna {

namespace {

constexpr char kCannotOpen[] = "无法打开文件";

// Opens the document at `path` and hands its bytes to `read`; what cannot be
// opened or read raises QuernaError naming the file.
template <typename Read>
void ReadDocumentAt(const DocumentServices& services, const std::string& path, Read&& read) {
    const std::unique_ptr<ByteSource> source = services.files.OpenDocument(path);
    if (source == nullptr) throw QuernaError(DocumentErrorText(path, kCannotOpen));
    try {
        read(*source);
    } catch (const DocumentError& error) {
        throw QuernaError(DocumentErrorText(path, error.what()));
    }
}

}  // namespace

DocumentKind DocumentKindOf(FileTypeClass type) {
    switch (type) {
        case ftExcel:
            return DocumentKind::Excel;
        case ftPowerPoint:
            return DocumentKind::PowerPoint;
        default:
            return DocumentKind::Word;
    }
}

MatchVerdict MatchDocumentWithoutServer(const DocumentServices& services, DocumentKind kind,
                                        const std::string& path, const std::string& phrase,
                                        DocumentFault neither) {
    bool found = false;
    ReadDocumentAt(services, path, [&](ByteSource& source) {
        if (kind == DocumentKind::PowerPoint) {
            CodePagePhraseFinder finder(services.codePage, phrase);
            ReadDocumentText(kind, source, services.xml, finder, neither, services.stop,
                             services.buffers);
            found = finder.Found();
            return;
        }
        const WidthRule width =
            kind == DocumentKind::Excel ? WidthRule::Ignored : WidthRule::Significant;
        UnicodePhraseFinder finder(services.codePage.ToUnicode(phrase), width);
        ReadDocumentText(kind, source, services.xml, finder, neither, services.stop,
                         services.buffers);
        found = finder.Found();
    });
    return FoundIf(found);
}

MatchVerdict CollectDocumentHits(const DocumentServices& services, DocumentKind kind,
                                 const std::string& path, const std::string& phrase, HitLimit limit,
                                 FileHits& hits, DocumentFault neither) {
    ReadDocumentAt(services, path, [&](ByteSource& source) {
        DocumentHitCollector collector(kind, services.codePage, phrase, limit);
        ReadDocumentText(kind, source, services.xml, collector, neither, services.stop,
                         services.buffers);
        hits = std::move(collector.Hits());
    });
    return FoundIf(hits.Count() > 0);
}

DocumentKind WpsDocumentKind(const std::string& path) {
    // '.' is never the second byte of a double-byte character, and the
    // search took the file for a WPS one by this extension.
    const size_t dot = path.find_last_of('.');
    const std::string_view extension =
        dot == std::string::npos ? std::string_view() : std::string_view(path).substr(dot);
    return DocumentKindOf(WpsCounterpart(extension));
}

MatchVerdict MatchWpsDocument(const DocumentServices& services, const std::string& path,
                              const std::string& phrase) {
    return MatchDocumentWithoutServer(services, WpsDocumentKind(path), path, phrase,
                                      DocumentFault::OldFormat);
}

std::string DocumentErrorText(const std::string& path, const std::string& reason) {
    return "无法读取文档 " + path + "：" + reason;
}

}  // namespace querna
