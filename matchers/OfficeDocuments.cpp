#include "matchers/OfficeDocuments.h"

#include <cstring>
#include <memory>

#include "matchers/ExcelBinaryText.h"
#include "matchers/PhraseRules.h"
#include "matchers/PowerPointBinaryText.h"
#include "matchers/PresentationText.h"
#include "matchers/SpreadsheetText.h"
#include "matchers/WordBinaryText.h"
#include "matchers/WordprocessingText.h"
#include "matchers/ZipArchive.h"
#include "platform/Error.h"

namespace querna {

namespace {

// A local file header, or the end record of an archive without entries.
constexpr unsigned char kZipSignature[] = {'P', 'K', 3, 4};
constexpr unsigned char kEmptyZipSignature[] = {'P', 'K', 5, 6};
// [MS-CFB] 2.2: the compound file header signature.
constexpr unsigned char kCompoundSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// [MS-OFFCRYPTO] 2.3.4.4: a password-protected Office Open XML document is a
// compound file whose "EncryptedPackage" stream holds the encrypted package.
constexpr char kEncryptedPackage[] = "EncryptedPackage";

constexpr char kCannotOpen[] = "无法打开文件";

void ReadPackageText(OfficeApplication application, ByteSource& source, XmlReaders& xml,
                     TextUnitSink& sink) {
    ZipArchive package(source);
    switch (application) {
        case OfficeApplication::Word:
            ReadWordprocessingText(package, xml, sink);
            return;
        case OfficeApplication::Excel:
            ReadSpreadsheetText(package, xml, sink);
            return;
        case OfficeApplication::PowerPoint:
            ReadPresentationText(package, xml, sink);
            return;
    }
}

void ReadCompoundText(OfficeApplication application, CompoundStorage& storage, TextUnitSink& sink) {
    if (storage.OpenStream(kEncryptedPackage) != nullptr) {
        throw DocumentError(DocumentFault::Encrypted);
    }
    switch (application) {
        case OfficeApplication::Word:
            ReadWordBinaryText(storage, sink);
            return;
        case OfficeApplication::Excel:
            ReadExcelBinaryText(storage, sink);
            return;
        case OfficeApplication::PowerPoint:
            ReadPowerPointBinaryText(storage, sink);
            return;
    }
}

}  // namespace

ContainerKind SniffContainer(ByteSource& source) {
    unsigned char head[sizeof kCompoundSignature] = {};
    const size_t n = source.ReadAt(0, head, sizeof head);
    if (n >= 4 && (std::memcmp(head, kZipSignature, 4) == 0 ||
                   std::memcmp(head, kEmptyZipSignature, 4) == 0)) {
        return ContainerKind::Zip;
    }
    if (n == sizeof head && std::memcmp(head, kCompoundSignature, sizeof head) == 0) {
        return ContainerKind::Compound;
    }
    return ContainerKind::Unknown;
}

void ReadDocumentText(const DocumentServices& services, OfficeApplication application,
                      const std::string& path, std::unique_ptr<ByteSource> source,
                      TextUnitSink& sink) {
    switch (SniffContainer(*source)) {
        case ContainerKind::Zip:
            ReadPackageText(application, *source, services.xml, sink);
            return;
        case ContainerKind::Compound: {
            // The storage reads the file itself; this handle is not needed.
            source.reset();
            const std::unique_ptr<CompoundStorage> storage = services.compoundFiles.Open(path);
            ReadCompoundText(application, *storage, sink);
            return;
        }
        case ContainerKind::Unknown:
            break;
    }
    throw DocumentError(DocumentFault::Damaged);
}

MatchVerdict MatchDocumentWithoutServer(const DocumentServices& services,
                                        OfficeApplication application, const std::string& path,
                                        const std::string& phrase) {
    std::unique_ptr<ByteSource> source = services.files.OpenDocument(path);
    if (source == nullptr) throw QuernaError(DocumentErrorText(path, kCannotOpen));
    try {
        if (application == OfficeApplication::PowerPoint) {
            CodePagePhraseFinder finder(services.codePage, phrase);
            ReadDocumentText(services, application, path, std::move(source), finder);
            return FoundIf(finder.Found());
        }
        const WidthRule width =
            application == OfficeApplication::Excel ? WidthRule::Ignored : WidthRule::Significant;
        UnicodePhraseFinder finder(services.codePage.ToUnicode(phrase), width);
        ReadDocumentText(services, application, path, std::move(source), finder);
        return FoundIf(finder.Found());
    } catch (const DocumentError& error) {
        throw QuernaError(DocumentErrorText(path, error.what()));
    }
}

std::string DocumentErrorText(const std::string& path, const std::string& reason) {
    return "无法读取文档 " + path + "：" + reason;
}

}  // namespace querna
