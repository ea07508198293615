// The Office documents read without Office: where an application's
// automation server is absent, its documents are read by the built-in
// readers (documents/DocumentReader.h) and compared with the phrase by that
// application's own rules (matchers/PhraseRules.h).
#pragma once

#include <string>

#include "documents/DocumentReader.h"
#include "matchers/PhraseHits.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/StopCheck.h"
#include "search/ContentMatchers.h"
#include "search/FileTypes.h"

namespace querna {

// The services the readers need; all must outlive their use.
struct DocumentServices {
    FileSystem& files;
    XmlReaders& xml;
    CodePage& codePage;
    // Asked between chunks of a document whether the search is stopping;
    // null: a document is always read to its end.
    StopCheck* stop = nullptr;
    // Lent to every read, so that its room serves one document after
    // another; null: each read takes its own.
    DocumentBuffers* buffers = nullptr;
};

// The reader a type class's documents are read by: Excel's and PowerPoint's
// for theirs, Word's for every other class (the server-less readers are
// asked only for Office and WPS documents).
DocumentKind DocumentKindOf(FileTypeClass type);

// Whether the document at `path` holds `phrase` (bytes of the code page) by
// the rules of the matcher of `kind`: Found or NotFound. A document that
// cannot be read raises QuernaError with DocumentErrorText; one in neither
// container is as `neither` says. One given up because the search is
// stopping is NotFound.
MatchVerdict MatchDocumentWithoutServer(const DocumentServices& services, DocumentKind kind,
                                        const std::string& path, const std::string& phrase,
                                        DocumentFault neither = DocumentFault::Damaged);

// MatchDocumentWithoutServer's verdict, found by the same rule, with the
// document's hits in `hits` up to `limit` (past the budget of kept
// hits, only counted); the reading stops once the limit is reached. Raises
// as MatchDocumentWithoutServer does.
MatchVerdict CollectDocumentHits(const DocumentServices& services, DocumentKind kind,
                                 const std::string& path, const std::string& phrase, HitLimit limit,
                                 FileHits& hits, DocumentFault neither = DocumentFault::Damaged);

// The reader of a WPS file, by the extension ending `path`.
DocumentKind WpsDocumentKind(const std::string& path);

// WPS Office files are Office documents under other extensions, read by
// content: .wps and .wpt by the Word rule, .et and .ett by Excel's, .dps and
// .dpt by PowerPoint's. A file in neither container is one of Kingsoft's own
// older formats, which are not read.
MatchVerdict MatchWpsDocument(const DocumentServices& services, const std::string& path,
                              const std::string& phrase);

// "无法读取文档 <path>：<reason>".
std::string DocumentErrorText(const std::string& path, const std::string& reason);

}  // namespace querna
