#include "documents/DocumentReader.h"

#include <cstring>

#include "documents/CompoundFileReader.h"
#include "documents/ExcelBinaryText.h"
#include "documents/PowerPointBinaryText.h"
#include "documents/PresentationText.h"
#include "documents/SpreadsheetText.h"
#include "documents/WordBinaryText.h"
#include "documents/WordprocessingText.h"
#include "documents/ZipArchive.h"

namespace querna {

namespace {

// A local file header, or the end record of an archive without entries.
constexpr unsigned char kZipSignature[] = {'P', 'K', 3, 4};
constexpr unsigned char kEmptyZipSignature[] = {'P', 'K', 5, 6};

// [MS-OFFCRYPTO] 2.3.4.4: a password-protected Office Open XML document is a
// compound file whose "EncryptedPackage" stream holds the encrypted package.
constexpr char kEncryptedPackage[] = "EncryptedPackage";

void ReadPackageText(DocumentKind kind, ByteSource& source, XmlReaders& xml, TextUnitSink& sink) {
    ZipArchive package(source);
    switch (kind) {
        case DocumentKind::Word:
            ReadWordprocessingText(package, xml, sink);
            return;
        case DocumentKind::Excel:
            ReadSpreadsheetText(package, xml, sink);
            return;
        case DocumentKind::PowerPoint:
            ReadPresentationText(package, xml, sink);
            return;
    }
}

// A view of a source owned elsewhere, for the compound-file reader, which
// owns what it reads from.
class BorrowedSource final : public ByteSource {
  public:
    explicit BorrowedSource(ByteSource& source) : source_(source) {}
    uint64_t Size() const override { return source_.Size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        return source_.ReadAt(offset, buffer, count);
    }

  private:
    ByteSource& source_;
};

void ReadCompoundText(DocumentKind kind, ByteSource& source, TextUnitSink& sink) {
    CompoundFileReader storage(std::make_unique<BorrowedSource>(source));
    if (storage.OpenStream(kEncryptedPackage) != nullptr) {
        throw DocumentError(DocumentFault::Encrypted);
    }
    switch (kind) {
        case DocumentKind::Word:
            ReadWordBinaryText(storage, sink);
            return;
        case DocumentKind::Excel:
            ReadExcelBinaryText(storage, sink);
            return;
        case DocumentKind::PowerPoint:
            ReadPowerPointBinaryText(storage, sink);
            return;
    }
}

}  // namespace

ContainerKind SniffContainer(ByteSource& source) {
    unsigned char head[sizeof kCompoundFileSignature] = {};
    const size_t n = source.ReadAt(0, head, sizeof head);
    if (n >= 4 && (std::memcmp(head, kZipSignature, 4) == 0 ||
                   std::memcmp(head, kEmptyZipSignature, 4) == 0)) {
        return ContainerKind::Zip;
    }
    if (n == sizeof head && std::memcmp(head, kCompoundFileSignature, sizeof head) == 0) {
        return ContainerKind::Compound;
    }
    return ContainerKind::Unknown;
}

void ReadDocumentText(DocumentKind kind, ByteSource& source, XmlReaders& xml, TextUnitSink& sink,
                      DocumentFault neither) {
    try {
        switch (SniffContainer(source)) {
            case ContainerKind::Zip:
                ReadPackageText(kind, source, xml, sink);
                return;
            case ContainerKind::Compound:
                ReadCompoundText(kind, source, sink);
                return;
            case ContainerKind::Unknown:
                break;
        }
    } catch (const ReadFailure&) {
        throw DocumentError(DocumentFault::Damaged);
    }
    throw DocumentError(neither);
}

}  // namespace querna
