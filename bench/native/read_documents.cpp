// A profiling driver for the built-in document readers: reads each file given
// through ReadDocumentText and the phrase finder of its application's rule,
// as querna-find does for a document whose server is absent, so that
// callgrind or perf see the readers' own costs without Wine around them.
//   read_documents word|excel|powerpoint PHRASE [--repeat N] FILE...
// Prints how many documents held the phrase and how many could not be read.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "documents/DocumentReader.h"
#include "documents/XmlTokenizer.h"
#include "matchers/PhraseRules.h"
#include "native/IconvCodePage.h"

namespace {

using namespace querna;

bool ReadWhole(const char* path, std::vector<char>& bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return read;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "read_documents word|excel|powerpoint PHRASE [--repeat N] FILE...\n");
        return 2;
    }
    const std::string kindName = argv[1];
    const DocumentKind kind = kindName == "excel"        ? DocumentKind::Excel
                              : kindName == "powerpoint" ? DocumentKind::PowerPoint
                                                         : DocumentKind::Word;
    const std::string phrase = argv[2];
    int first = 3, repeat = 1;
    if (std::string(argv[3]) == "--repeat" && argc > 5) {
        repeat = std::atoi(argv[4]);
        first = 5;
    }
    native::IconvCodePage codePage;
    XmlTokenizerReaders xml;
    const std::u16string unicodePhrase = codePage.ToUnicode(phrase);
    const WidthRule width =
        kind == DocumentKind::Excel ? WidthRule::Ignored : WidthRule::Significant;
    DocumentBuffers buffers;
    int found = 0, failed = 0;
    std::vector<char> bytes;
    for (int round = 0; round < repeat; ++round) {
        for (int i = first; i < argc; ++i) {
            if (!ReadWhole(argv[i], bytes)) {
                ++failed;
                continue;
            }
            MemoryByteSource source(bytes.data(), bytes.size());
            try {
                if (kind == DocumentKind::PowerPoint) {
                    CodePagePhraseFinder finder(codePage, phrase);
                    ReadDocumentText(kind, source, xml, finder, DocumentFault::Damaged, nullptr,
                                     &buffers);
                    found += finder.Found();
                } else {
                    UnicodePhraseFinder finder(unicodePhrase, width);
                    ReadDocumentText(kind, source, xml, finder, DocumentFault::Damaged, nullptr,
                                     &buffers);
                    found += finder.Found();
                }
            } catch (const DocumentError&) {
                ++failed;
            }
        }
    }
    std::printf("%d found, %d unreadable\n", found, failed);
    return 0;
}
