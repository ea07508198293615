#include "documents/DocumentReader.h"

#include <cstring>

#include "documents/BinaryFields.h"
#include "documents/CompoundFileReader.h"
#include "documents/DocumentLimits.h"
#include "documents/ExcelBinaryText.h"
#include "documents/PowerPointBinaryText.h"
#include "documents/PresentationText.h"
#include "documents/ReadStop.h"
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

void ReadPackageText(DocumentKind kind, ByteSource& source, XmlReaders& xml, TextUnitSink& sink,
                     StopPoll& poll, ZipBuffers& buffers) {
    ZipArchive package(source, {}, &poll, &buffers);
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
    std::span<const unsigned char> View(uint64_t offset, size_t count) override {
        return source_.View(offset, count);
    }

  private:
    ByteSource& source_;
};

// The file's bytes, each read counted on the poll.
class PolledSource final : public ByteSource {
  public:
    PolledSource(ByteSource& source, StopPoll& poll) : source_(source), poll_(poll) {}
    uint64_t Size() const override { return source_.Size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        const size_t n = source_.ReadAt(offset, buffer, count);
        poll_.Advance(n);
        return n;
    }

  private:
    ByteSource& source_;
    StopPoll& poll_;
};

// The text handed on, counted on the poll: a reader may make much text of
// few bytes (a shared formula moved into many cells).
class PolledSink final : public TextUnitSink {
  public:
    PolledSink(TextUnitSink& sink, StopPoll& poll) : sink_(sink), poll_(poll) {}
    bool Unit(std::u16string_view text, const UnitPlace& place) override {
        if (sink_.Unit(text, place)) return true;
        poll_.Advance(text.size() * sizeof(char16_t));
        return false;
    }
    bool TakesNumbers() const override { return sink_.TakesNumbers(); }
    bool TakesRepeats() const override { return sink_.TakesRepeats(); }
    bool TakesPlainFormulas() const override { return sink_.TakesPlainFormulas(); }

  private:
    TextUnitSink& sink_;
    StopPoll& poll_;
};

void ReadCompoundText(DocumentKind kind, ByteSource& source, TextUnitSink& sink,
                      DocumentBuffers* buffers) {
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
            ReadPowerPointBinaryText(storage, sink,
                                     buffers != nullptr ? &buffers->powerPoint : nullptr);
            return;
    }
}

// Word for Windows 1 and 2, Word for MS-DOS and for the Macintosh, and Excel
// 2 to 4 wrote plain files rather than compound files: they are older
// formats, not damaged ones.
bool IsOldPlainFormat(DocumentKind kind, ByteSource& source) {
    unsigned char head[6] = {};
    if (source.ReadAt(0, head, sizeof head) != sizeof head) return false;
    const auto u16 = [&](size_t at) {
        return static_cast<uint16_t>(head[at] | (head[at + 1] << 8));
    };
    switch (kind) {
        case DocumentKind::Word:
            return u16(0) == 0xA59B || u16(0) == 0xA5DB || u16(0) == 0xBE31 || u16(0) == 0x37FE;
        case DocumentKind::Excel:
            // The BOF record of BIFF2, BIFF3, BIFF4 and a BIFF5 worksheet.
            if (u16(0) == 0x0809) return u16(2) >= 8 && u16(2) <= 20 && u16(4) < 0x0600;
            return (u16(0) == 0x0009 || u16(0) == 0x0209 || u16(0) == 0x0409) && u16(2) >= 4 &&
                   u16(2) <= 20;
        case DocumentKind::PowerPoint:
            return false;
    }
    return false;
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
                      DocumentFault neither, StopCheck* stop, DocumentBuffers* buffers) {
    // What Explorer's "New" menu makes for an Office type where Office is
    // absent: a document without text yet, not a damaged one.
    if (source.Size() == 0) return;
    StopPoll poll(stop);
    PolledSource polled(source, poll);
    PolledSink polledSink(sink, poll);
    try {
        // Each read of the file is a call into the system, which under Wine
        // costs more than reading a small document's records: a document of
        // ordinary size is read with one call, and its readers work in memory.
        DocumentBuffers own;
        DocumentBuffers& lent = buffers != nullptr ? *buffers : own;
        std::vector<unsigned char>& whole = lent.file;
        std::unique_ptr<MemoryByteSource> inMemory;
        if (source.Size() <= kMaxWholeReadSize) {
            whole.resize(static_cast<size_t>(source.Size()));
            ReadExactly(polled, 0, whole.data(), whole.size());
            inMemory = std::make_unique<MemoryByteSource>(whole.data(), whole.size());
        }
        ByteSource& polledSource = inMemory ? static_cast<ByteSource&>(*inMemory) : polled;
        switch (SniffContainer(polledSource)) {
            case ContainerKind::Zip:
                ReadPackageText(kind, polledSource, xml, polledSink, poll, lent.zip);
                return;
            case ContainerKind::Compound:
                ReadCompoundText(kind, polledSource, polledSink, buffers);
                return;
            case ContainerKind::Unknown:
                if (IsOldPlainFormat(kind, source)) throw DocumentError(DocumentFault::OldFormat);
                break;
        }
    } catch (const ReadFailure&) {
        throw DocumentError(DocumentFault::Damaged);
    } catch (const ReadStopped&) {
        return;  // the search is stopping; what was read holds no match
    }
    throw DocumentError(neither);
}

}  // namespace querna
