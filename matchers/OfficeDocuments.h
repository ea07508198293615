// The Office documents read without Office: where an application's
// automation server is absent, its documents are read by the built-in
// readers and compared with the phrase by that application's own rules
// (matchers/PhraseRules.h).
//
// The file's bytes decide which reader, not its extension: a zip archive is
// an Office Open XML package; a compound file holding "EncryptedPackage" is
// a password-protected Office Open XML document; any other compound file is a
// 97-2003 binary document. Anything else cannot be read.
#pragma once

#include <cstdint>
#include <string>

#include "matchers/DocumentText.h"
#include "platform/CodePage.h"
#include "platform/CompoundFile.h"
#include "platform/FileSystem.h"
#include "platform/XmlReader.h"
#include "search/ContentMatchers.h"

namespace querna {

enum class OfficeApplication { Word, Excel, PowerPoint };

// The services the readers need; all must outlive their use.
struct DocumentServices {
    FileSystem& files;
    XmlReaders& xml;
    CodePage& codePage;
    CompoundFiles& compoundFiles;
};

enum class ContainerKind { Zip, Compound, Unknown };

// Looks at the first bytes of `source`.
ContainerKind SniffContainer(ByteSource& source);

// The text of the document at `path`, whose bytes `source` holds, as
// `application` sees it, handed to `sink`. `source` is released before the
// compound-file reader opens the path. Raises DocumentError.
void ReadDocumentText(const DocumentServices& services, OfficeApplication application,
                      const std::string& path, std::unique_ptr<ByteSource> source,
                      TextUnitSink& sink);

// Whether the document at `path` holds `phrase` (bytes of the code page) by
// the rules of `application`'s matcher: Found or NotFound. A document that
// cannot be read raises QuernaError with DocumentErrorText.
MatchVerdict MatchDocumentWithoutServer(const DocumentServices& services,
                                        OfficeApplication application, const std::string& path,
                                        const std::string& phrase);

// "无法读取文档 <path>：<reason>".
std::string DocumentErrorText(const std::string& path, const std::string& reason);

}  // namespace querna
