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

// The middle of a candidate, byte for byte. A plain loop: the bytes between
// the first and the last rarely differ late, and MinGW's memcmp is no faster.
inline bool SameBytes(const unsigned char* a, const unsigned char* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

// The positions the vector loops leave at the end of a block, one at a time
// with the same first-and-last test. `n` is at least 2.
size_t FindRest(const unsigned char* data, size_t size, size_t from, const unsigned char* phrase,
                size_t n) {
    if (size < n) return kNone;
    for (size_t i = from; i <= size - n; ++i) {
        if (data[i] == phrase[0] && data[i + n - 1] == phrase[n - 1] &&
            SameBytes(data + i + 1, phrase + 1, n - 2)) {
            return i;
        }
    }
    return kNone;
}

#if QUERNA_SCAN_X86

// Each step compares the 16 positions i .. i + 15: their first bytes
// data[i, i + 16) and their last bytes data[i + n - 1, i + n + 15).
size_t FindSse2(const unsigned char* data, size_t size, size_t from, const unsigned char* phrase,
                size_t n) {
    const __m128i first = _mm_set1_epi8(static_cast<char>(phrase[0]));
    const __m128i last = _mm_set1_epi8(static_cast<char>(phrase[n - 1]));
    size_t i = from;
    if (size >= n + 15) {
        const size_t end = size - n - 15;  // the last i whose step stays inside
        for (; i <= end; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + n - 1));
            auto mask = static_cast<unsigned>(_mm_movemask_epi8(
                _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
            while (mask != 0) {
                const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
                if (SameBytes(data + i + bit + 1, phrase + 1, n - 2)) return i + bit;
                mask &= mask - 1;
            }
        }
    }
    return FindRest(data, size, i, phrase, n);
}

// The same over 64 positions a step, as two 32-byte halves. Compiled for
// AVX2 by this function's own target, so the rest of the program runs on any
// x86-64 processor; it is only called after the run-time check. Everything it
// holds fits in registers: MinGW does not align the stack to 32 bytes, so a
// spilled 256-bit value would fault (the Windows build also has the
// assembler turn aligned vector moves into unaligned ones).
__attribute__((target("avx2"))) size_t FindAvx2(const unsigned char* data, size_t size, size_t from,
                                                const unsigned char* phrase, size_t n) {
    const __m256i first = _mm256_set1_epi8(static_cast<char>(phrase[0]));
    const __m256i last = _mm256_set1_epi8(static_cast<char>(phrase[n - 1]));
    size_t i = from;
    if (size >= n + 63) {
        const size_t end = size - n - 63;
        for (; i <= end; i += 64) {
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
                if (SameBytes(data + i + bit + 1, phrase + 1, n - 2)) return i + bit;
                mask &= mask - 1;
            }
        }
        // GCC leaves this out before the tail call; without it the caller's
        // SSE code would pay for the dirty upper halves.
        _mm256_zeroupper();
    }
    return FindRest(data, size, i, phrase, n);
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
    if (level_ != ScanLevel::Scalar) return;
    const size_t n = phrase_.size();
    skip_.fill(n);
    for (size_t i = 0; i + 1 < n; ++i) skip_[static_cast<unsigned char>(phrase_[i])] = n - 1 - i;
}

size_t PhraseScan::Find(const unsigned char* data, size_t size, size_t from) const {
    if (from >= size) return kNone;
    [[maybe_unused]] const auto* phrase = reinterpret_cast<const unsigned char*>(phrase_.data());
    switch (level_) {
#if QUERNA_SCAN_X86
        case ScanLevel::Avx2:
            return FindAvx2(data, size, from, phrase, phrase_.size());
        case ScanLevel::Sse2:
            return FindSse2(data, size, from, phrase, phrase_.size());
#endif
        default:
            return FindScalar(data, size, from);
    }
}

// Boyer-Moore-Horspool: the window moves by the shift of its last byte.
size_t PhraseScan::FindScalar(const unsigned char* data, size_t size, size_t from) const {
    const size_t n = phrase_.size();
    if (n == 1) {
        const void* hit =
            std::memchr(data + from, static_cast<unsigned char>(phrase_[0]), size - from);
        return hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - data) : kNone;
    }
    const auto lastByte = static_cast<unsigned char>(phrase_[n - 1]);
    for (size_t pos = from; pos + n <= size;) {
        const unsigned char tail = data[pos + n - 1];
        if (tail == lastByte && std::memcmp(data + pos, phrase_.data(), n - 1) == 0) return pos;
        pos += skip_[tail];
    }
    return kNone;
}

}  // namespace querna
