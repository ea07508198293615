// Finding a phrase in a block of bytes, byte for byte. The plain-text matcher
// spends nearly all of its time here, and MinGW's C runtime memchr/memcmp are
// byte loops, so the search brings its own vector code: a filter on the
// phrase's first and last byte, 16 (SSE2) or 32 (AVX2) positions at a time,
// with every candidate confirmed byte for byte.
//
// Confirming candidates costs up to the phrase's length each, so a phrase
// such as A…ABA…A over a run of A would make the filter quadratic. The scan
// counts the bytes it confirms; once they outgrow the bytes it has passed, it
// finishes the block with the Knuth-Morris-Pratt automaton, which reads each
// byte once. The work of any search thus stays linear in the block and the
// phrase.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace querna {

// How a PhraseScan searches. Scalar is the Boyer-Moore-Horspool loop, used
// for one-byte phrases, off x86 and as the reference the vector code is
// tested against. SSE2 is in every x86-64 processor; AVX2 only where the
// processor and the system support it (BestScanLevel checks at run time).
enum class ScanLevel { Scalar, Sse2, Avx2 };

// The fastest level this processor and system can run.
ScanLevel BestScanLevel();

// Whether `level` can run here.
bool ScanLevelSupported(ScanLevel level);

// Whether an occurrence found at a position counts, asked in increasing order
// of position; the search goes on past one that does not.
class PhraseAcceptor {
  public:
    virtual bool Accept(size_t at) = 0;

  protected:
    ~PhraseAcceptor() = default;
};

class PhraseScan {
  public:
    // `phrase` must not be empty. A level this machine cannot run, and any
    // vector level for a one-byte phrase, falls back to the scalar loop.
    explicit PhraseScan(std::string_view phrase, ScanLevel level = BestScanLevel());

    // The position of the first occurrence of the phrase that starts at or
    // after `from` and lies wholly within data[0, size); npos when there is
    // none. Reads nothing outside data[0, size).
    size_t Find(const unsigned char* data, size_t size, size_t from = 0) const;

    // The same, for the first occurrence that `accept` takes.
    size_t Find(const unsigned char* data, size_t size, size_t from, PhraseAcceptor& accept) const;

    ScanLevel Level() const { return level_; }
    size_t Size() const { return phrase_.size(); }

  private:
    size_t FindScalar(const unsigned char* data, size_t size, size_t from,
                      PhraseAcceptor& accept) const;
    size_t FindLinear(const unsigned char* data, size_t size, size_t from,
                      PhraseAcceptor& accept) const;

    std::string phrase_;
    ScanLevel level_;
    std::array<size_t, 256> skip_{};  // Horspool shifts, scalar level only
    std::vector<uint32_t> border_;    // KMP: the longest proper border of each prefix
};

}  // namespace querna
