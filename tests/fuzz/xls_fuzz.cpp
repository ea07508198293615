// The Excel 97 reader: a compound file, or the Workbook stream itself.
#include "documents/ExcelBinaryText.h"
#include "tests/fuzz/FuzzStorage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    fuzz::ReadDocument(data, size, ReadExcelBinaryText, [](const uint8_t* d, size_t n) {
        fuzz::RawStreams raw;
        raw.streams["Workbook"] = std::string(reinterpret_cast<const char*>(d), n);
        return raw;
    });
    return 0;
}
