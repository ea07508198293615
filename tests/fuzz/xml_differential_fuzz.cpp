// Our XML tokenizer against libxml2 on the same bytes: the same nodes (names
// and namespaces, attributes, the text between tags) or a refusal by both.
// Where we refuse by design what libxml2 reads (our size bounds, encodings
// other than UTF-8 and UTF-16, malformed UTF-8) the difference is allowed: see
// tests/oracles/XmlTranscript.h. Any other difference aborts with both
// transcripts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/oracles/XmlTranscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string difference =
        querna::oracles::CompareWithOracle({reinterpret_cast<const char*>(data), size});
    if (!difference.empty()) {
        std::fprintf(stderr, "%s", difference.c_str());
        std::abort();
    }
    return 0;
}
