#include "matchers/PhraseScan.h"

#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUERNA_SCAN_X86 1
#else
#define QUERNA_SCAN_X86 0
#endif

namespace querna {

namespace {

constexpr size_t kNone = std::string_view::npos;

// Confirms the candidates of one search, counting what that costs, and asks
// the acceptor about each whole occurrence.
class Confirmer {
  public:
    Confirmer(const unsigned char* phrase, size_t n, size_t from, PhraseAcceptor& accept)
        : phrase_(phrase), n_(n), from_(from), accept_(accept) {}

    // Whether data[at, at + n) is the phrase and counts; its first and last
    // bytes are known to be the phrase's. A plain loop: the middle bytes
    // rarely differ late, and MinGW's memcmp is no faster.
    bool Confirm(const unsigned char* data, size_t at) {
        size_t i = 1;
        while (i + 1 < n_ && data[at + i] == phrase_[i]) ++i;
        spent_ += i;
        return i + 1 >= n_ && accept_.Accept(at);
    }

    // Whether confirming has cost more than the bytes passed up to `at` pay
    // for: then the rest of the block is left to the linear automaton.
    bool OverBudget(size_t at) const { return spent_ > 2 * (at - from_) + 4 * n_ + 4096; }

  private:
    const unsigned char* phrase_;
    size_t n_;
    size_t from_;
    PhraseAcceptor& accept_;
    size_t spent_ = 0;
};

// Where a filtered search ended: at an occurrence that counts (or kNone), or
// at the position from which the linear automaton must go on.
struct FilterResult {
    size_t at;
    bool linear;
};

// The positions the vector loops leave at the end of a block, one at a time
// with the same first-and-last test. `n` is at least 2.
FilterResult FindRest(const unsigned char* data, size_t size, size_t from,
                      const unsigned char* phrase, size_t n, Confirmer& confirm) {
    if (size < n) return {kNone, false};
    for (size_t i = from; i <= size - n; ++i) {
        if (confirm.OverBudget(i)) return {i, true};
        if (data[i] == phrase[0] && data[i + n - 1] == phrase[n - 1] && confirm.Confirm(data, i)) {
            return {i, false};
        }
    }
    return {kNone, false};
}

#if QUERNA_SCAN_X86

// Each step compares the 16 positions i .. i + 15: their first bytes
// data[i, i + 16) and their last bytes data[i + n - 1, i + n + 15).
FilterResult FindSse2(const unsigned char* data, size_t size, size_t from,
                      const unsigned char* phrase, size_t n, Confirmer& confirm) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(phrase[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(phrase[n - 1]));
    size_t i = from;
    if (size >= n + 15) {
        const size_t end = size - n - 15;  // the last i whose step stays inside
        for (; i <= end; i += 16) {
            if (confirm.OverBudget(i)) return {i, true};
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            while (mask != 0) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                if (confirm.Confirm(data, i + bit)) return {i + bit, false};
                mask &= mask - 1;
            }
        }
    }
    return FindRest(data, size, i, phrase, n, confirm);
}

// The same over 64 positions a step, as two 32-byte halves. Compiled for
// AVX2 by this function's own target, so the rest of the program runs on any
// x86-64 processor; it is only called after the run-time check. Everything it
// holds fits in registers: MinGW does not align the stack to 32 bytes, so a
// spilled 256-bit value would fault (the Windows build also has the
// assembler turn aligned vector moves into unaligned ones).
__attribute__((target("avx2"))) FilterResult FindAvx2(const unsigned char* data, size_t size,
                                                      size_t from, const unsigned char* phrase,
                                                      size_t n, Confirmer& confirm) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(phrase[0]));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(phrase[n - 1]));
    size_t i = from;
    if (size >= n + 63) {
        const size_t end = size - n - 63;
        for (; i <= end; i += 64) {
            if (confirm.OverBudget(i)) {
                _mm256_zeroupper();
                return {i, true};
            }
            const auto* at = reinterpret_cast<const __m256i*>(data + i);
            const auto* tail = reinterpret_cast<const __m256i*>(data + i + n - 1);
            const __m256i low = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(at), first),
                                                 _mm256_cmpeq_epi8(_mm256_loadu_si256(tail), last));
            const __m256i high =
                _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_loadu_si256(at + 1), first),
                                 _mm256_cmpeq_epi8(_mm256_loadu_si256(tail + 1), last));
            uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(low)) |
                            uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(high))} << 32;
            while (mask != 0) {
                const auto bit = static_cast<size_t>(__builtin_ctzll(mask));
                if (confirm.Confirm(data, i + bit)) {
                    _mm256_zeroupper();
                    return {i + bit, false};
                }
                mask &= mask - 1;
            }
        }
        // GCC leaves this out before the tail call; without it the caller's
        // SSE code would pay for the dirty upper halves.
        _mm256_zeroupper();
    }
    // Up to 63 positions are left: 16 at a time before one at a time, for
    // short blocks (a document's paragraphs and cells) are mostly tail.
    return FindSse2(data, size, i, phrase, n, confirm);
}

bool CpuHasAvx2() {
    // libgcc's check includes the system's consent (XGETBV): a processor with
    // AVX2 under a system that does not save the 256-bit registers says no.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#endif

}  // namespace

bool ScanLevelSupported(ScanLevel level) {
#if QUERNA_SCAN_X86
    static const bool avx2 = CpuHasAvx2();
    return level != ScanLevel::Avx2 || avx2;
#else
    return level == ScanLevel::Scalar;
#endif
}

ScanLevel BestScanLevel() {
    if (ScanLevelSupported(ScanLevel::Avx2)) return ScanLevel::Avx2;
    if (ScanLevelSupported(ScanLevel::Sse2)) return ScanLevel::Sse2;
    return ScanLevel::Scalar;
}

PhraseScan::PhraseScan(std::string_view phrase, ScanLevel level)
    : phrase_(phrase),
      level_(phrase.size() < 2 || !ScanLevelSupported(level) ? ScanLevel::Scalar : level) {
    const size_t n = phrase_.size();
    border_.assign(n + 1, 0);
    for (size_t q = 1, k = 0; q < n; ++q) {
        while (k > 0 && phrase_[q] != phrase_[k]) k = border_[k];
        if (phrase_[q] == phrase_[k]) ++k;
        border_[q + 1] = static_cast<uint32_t>(k);
    }
    if (level_ != ScanLevel::Scalar) return;
    skip_.fill(n);
    for (size_t i = 0; i + 1 < n; ++i) skip_[static_cast<unsigned char>(phrase_[i])] = n - 1 - i;
}

size_t PhraseScan::Find(const unsigned char* data, size_t size, size_t from) const {
    struct : PhraseAcceptor {
        bool Accept(size_t) override { return true; }
    } any;
    return Find(data, size, from, any);
}

size_t PhraseScan::Find(const unsigned char* data, size_t size, size_t from,
                        PhraseAcceptor& accept) const {
    if (from >= size) return kNone;
    [[maybe_unused]] const auto* phrase = reinterpret_cast<const unsigned char*>(phrase_.data());
    [[maybe_unused]] const size_t n = phrase_.size();
    [[maybe_unused]] FilterResult result{kNone, false};
    switch (level_) {
#if QUERNA_SCAN_X86
        case ScanLevel::Avx2: {
            Confirmer confirm(phrase, n, from, accept);
            result = FindAvx2(data, size, from, phrase, n, confirm);
            break;
        }
        case ScanLevel::Sse2: {
            Confirmer confirm(phrase, n, from, accept);
            result = FindSse2(data, size, from, phrase, n, confirm);
            break;
        }
#endif
        default:
            return FindScalar(data, size, from, accept);
    }
    return result.linear ? FindLinear(data, size, result.at, accept) : result.at;
}

// Boyer-Moore-Horspool: the window moves by the shift of its last byte.
size_t PhraseScan::FindScalar(const unsigned char* data, size_t size, size_t from,
                              PhraseAcceptor& accept) const {
    const size_t n = phrase_.size();
    if (n == 1) {
        const auto byte = static_cast<unsigned char>(phrase_[0]);
        for (size_t at = from; at < size; ++at) {
            const void* hit = std::memchr(data + at, byte, size - at);
            if (hit == nullptr) return kNone;
            at = static_cast<size_t>(static_cast<const unsigned char*>(hit) - data);
            if (accept.Accept(at)) return at;
        }
        return kNone;
    }
    const auto* phrase = reinterpret_cast<const unsigned char*>(phrase_.data());
    Confirmer confirm(phrase, n, from, accept);
    for (size_t pos = from; pos + n <= size;) {
        if (confirm.OverBudget(pos)) return FindLinear(data, size, pos, accept);
        const unsigned char tail = data[pos + n - 1];
        if (tail == phrase[n - 1] && data[pos] == phrase[0] && confirm.Confirm(data, pos)) {
            return pos;
        }
        pos += skip_[tail];
    }
    return kNone;
}

// Knuth-Morris-Pratt: each byte is read once, and after an occurrence that
// does not count the automaton goes on from the phrase's longest border.
size_t PhraseScan::FindLinear(const unsigned char* data, size_t size, size_t from,
                              PhraseAcceptor& accept) const {
    const size_t n = phrase_.size();
    const auto* phrase = reinterpret_cast<const unsigned char*>(phrase_.data());
    size_t q = 0;
    for (size_t i = from; i < size; ++i) {
        while (q > 0 && data[i] != phrase[q]) q = border_[q];
        if (data[i] == phrase[q]) ++q;
        if (q == n) {
            const size_t at = i + 1 - n;
            if (accept.Accept(at)) return at;
            q = border_[n];
        }
    }
    return kNone;
}

}  // namespace querna
