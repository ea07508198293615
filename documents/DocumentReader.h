// The one way into the built-in document readers: the file's bytes decide
// which container is read, not its extension. A zip archive is an Office Open
// XML package; a compound file holding "EncryptedPackage" is a
// password-protected Office Open XML document; any other compound file is a
// 97-2003 binary document. Anything else cannot be read.
#pragma once

#include <memory>
#include <vector>

#include "documents/DocumentText.h"
#include "documents/PowerPointBinaryText.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"
#include "platform/ByteSource.h"
#include "platform/StopCheck.h"

namespace querna {

// Which application's documents a file is read as: the type class of its
// extension names the kind, and the kind names the format reader.
enum class DocumentKind { Word, Excel, PowerPoint };

enum class ContainerKind { Zip, Compound, Unknown };

// Looks at the first bytes of `source`.
ContainerKind SniffContainer(ByteSource& source);

// What reading keeps from one document to the next, for a caller that reads
// many: the bytes of the file, the zip reader's room and the PowerPoint
// reader's. Under Wine a block of that size, freed and taken again for every
// document, costs its pages anew each time.
struct DocumentBuffers {
    std::vector<unsigned char> file;
    ZipBuffers zip;
    PowerPointBuffers powerPoint;
};

// Hands the text of the document in `source`, read as a document of `kind`,
// to `sink`. A compound file is read over the same source, which is opened
// once. A file of no bytes holds no text. Raises DocumentError, a failed read
// of `source` as Damaged, and a file in neither container as `neither` says.
// `stop`, when given, is asked between chunks of the document; when it says
// stop, the read ends quietly where it is. `buffers`, when given, lends its
// room to this read.
void ReadDocumentText(DocumentKind kind, ByteSource& source, XmlReaders& xml, TextUnitSink& sink,
                      DocumentFault neither = DocumentFault::Damaged, StopCheck* stop = nullptr,
                      DocumentBuffers* buffers = nullptr);

}  // namespace querna
