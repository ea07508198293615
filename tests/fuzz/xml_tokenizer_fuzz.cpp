// Our XML tokenizer alone, its input split at random: the first four bytes
// give the sizes of the reads (round and round), the rest is the XML. The
// split reading must give the same nodes and the same fault as a reading of
// the whole; a reading under tiny bounds must end, in a DocumentError at
// worst.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/oracles/XmlTranscript.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace querna;
    if (size < 4) return 0;
    const std::vector<size_t> chunks(data, data + 4);
    const std::string_view xml(reinterpret_cast<const char*>(data) + 4, size - 4);
    const oracles::XmlTranscript whole = oracles::TokenizerTranscript(xml);
    const oracles::XmlTranscript split = oracles::TokenizerTranscript(xml, chunks);
    if (whole.lines != split.lines || whole.fault != split.fault) {
        std::fprintf(stderr, "whole:\n%s\nsplit:\n%s", whole.Describe().c_str(),
                     split.Describe().c_str());
        std::abort();
    }
    XmlLimits tiny;
    tiny.maxDepth = 3;
    tiny.maxNameLength = 6;
    tiny.maxTagLength = 40;
    tiny.maxAttributes = 2;
    tiny.maxScopeLength = 120;
    tiny.maxNamespaces = 3;
    oracles::TokenizerTranscript(xml, chunks, tiny);
    return 0;
}
