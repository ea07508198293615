// Our XML tokenizer beside its oracle, libxml2: each reading written down as
// one transcript, so that tests and fuzz targets can require the same nodes
// from both, or from one reader whatever the chunks its input comes in.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "documents/XmlTokenizer.h"

namespace querna::oracles {

// Bytes handed out in pieces: each Read returns at most the next of `sizes`
// (used round and round), or everything asked when `sizes` is empty.
class ChunkedStream final : public ByteStream {
  public:
    ChunkedStream(std::string_view bytes, std::vector<size_t> sizes)
        : bytes_(bytes), sizes_(std::move(sizes)) {}
    size_t Read(void* buffer, size_t count) override;

  private:
    std::string_view bytes_;
    std::vector<size_t> sizes_;
    size_t pos_ = 0, next_ = 0;
};

// A reading: one line per Start ("<{uri}name {uri}attr=value ...>"), End
// ("</{uri}name>") and run of text between them (the Text nodes joined), in
// UTF-8; then the fault it ended in, if any.
struct XmlTranscript {
    std::vector<std::string> lines;
    std::optional<DocumentFault> fault;
    std::string Describe() const;
};

// With `spares`, the tokenizer takes and leaves its buffers there, as the
// tokenizers of one factory do.
XmlTranscript TokenizerTranscript(std::string_view bytes, std::vector<size_t> chunks = {},
                                  const XmlLimits& limits = {},
                                  XmlTokenizer::Spares* spares = nullptr);
XmlTranscript LibXmlTranscript(std::string_view bytes);

// Empty when both readers agree on `bytes`; else what differs. Where we
// refuse what libxml2 reads the refusal stands, by design, when it is
// TooLarge (our bounds), the input is in an encoding we do not read (see
// IsOtherEncoding), or its bytes are not well-formed UTF-8 (libxml2 lets some
// such bytes through in CDATA). Where the input has a CDATA section, a run of
// line ends counts as one LF on both sides (libxml2 leaves some CRs of a
// section as they are). Any other difference is a fault of one of them.
std::string CompareWithOracle(std::string_view bytes);

// Whether the input is, or says it is, in an encoding other than UTF-8 and
// UTF-16: UCS-4 or EBCDIC by its first bytes (libxml2 detects them, we do
// not), or a declaration naming another encoding or another byte order than
// its first bytes.
bool IsOtherEncoding(std::string_view bytes);

}  // namespace querna::oracles
