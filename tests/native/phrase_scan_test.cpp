// The phrase search at every level against std::string_view::find. Built in
// both trees: natively under AddressSanitizer, which catches a read past the
// block, and for Windows, where the AVX2 code runs under MinGW's stack rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <string_view>
#include <vector>

#include "matchers/PhraseScan.h"

namespace querna {
namespace {

constexpr ScanLevel kLevels[] = {ScanLevel::Scalar, ScanLevel::Sse2, ScanLevel::Avx2};

// The block in a heap allocation of exactly its size, so that a read past
// either end is one the sanitizer sees.
size_t FindInExactBlock(const PhraseScan& scan, std::string_view text, size_t from) {
    auto block = std::make_unique<unsigned char[]>(text.size() + (text.empty() ? 1 : 0));
    std::copy(text.begin(), text.end(), block.get());
    return scan.Find(block.get(), text.size(), from);
}

TEST(PhraseScanTest, FindsTheFirstOccurrenceFromTheGivenPosition) {
    struct Case {
        std::string text, phrase;
        size_t from, expected;
    };
    const std::string longText = std::string(100, 'x') + "needle" + std::string(100, 'x');
    const Case cases[] = {
        {"", "ab", 0, std::string_view::npos},
        {"ab", "ab", 0, 0},
        {"ab", "ab", 1, std::string_view::npos},
        {"aab", "ab", 0, 1},
        {longText, "needle", 0, 100},
        {longText, "needle", 100, 100},
        {longText, "needle", 101, std::string_view::npos},
        {longText, "needlex", 0, 100},
        {longText, "needlexy", 0, std::string_view::npos},               // last byte differs
        {longText.substr(0, 105), "needle", 0, std::string_view::npos},  // cut by the end
        {std::string(63, 'a') + "b", "ab", 0, 62},                       // last position of a step
        {std::string(64, 'a') + "b", "ab", 0, 63},                       // first of the rest
        {std::string(200, 'a') + "ab", "ab", 150, 200},
        {"n" + std::string(70, 'e') + "n", "n" + std::string(70, 'e') + "n", 0, 0},
        {std::string(40, '\xB0') + "\xD0\xCE", "\xD0\xCE", 0, 40},  // bytes above 0x7F
        {"x", "x", 0, 0},                                           // one byte: scalar
    };
    for (const ScanLevel level : kLevels) {
        if (!ScanLevelSupported(level)) continue;
        for (const Case& c : cases) {
            const PhraseScan scan(c.phrase, level);
            EXPECT_EQ(FindInExactBlock(scan, c.text, c.from), c.expected)
                << c.phrase << " from " << c.from << " level " << static_cast<int>(level);
        }
    }
}

TEST(PhraseScanTest, OneBytePhrasesAndUnsupportedLevelsUseTheScalarLoop) {
    EXPECT_EQ(PhraseScan("x", ScanLevel::Sse2).Level(), ScanLevel::Scalar);
    for (const ScanLevel level : kLevels) {
        const ScanLevel expected = ScanLevelSupported(level) ? level : ScanLevel::Scalar;
        EXPECT_EQ(PhraseScan("xy", level).Level(), expected);
    }
    EXPECT_TRUE(ScanLevelSupported(BestScanLevel()));
}

TEST(PhraseScanTest, EveryLevelAgreesWithStringFindOnRandomBlocks) {
    std::mt19937 random(77);
    const std::string alphabet = "abc\xB0\xD0";
    for (const ScanLevel level : kLevels) {
        if (!ScanLevelSupported(level)) {
            std::cout << "scan level " << static_cast<int>(level) << " not supported here\n";
            continue;
        }
        for (int round = 0; round < 6000; ++round) {
            std::string text(random() % 300, ' ');
            // Few letters make many candidates that fail late.
            const size_t letters = 1 + random() % alphabet.size();
            for (char& c : text) c = alphabet[random() % letters];
            std::string phrase(1 + random() % 9, ' ');
            for (char& c : phrase) c = alphabet[random() % letters];
            const size_t from = text.empty() ? 0 : random() % (text.size() + 1);
            const PhraseScan scan(phrase, level);
            ASSERT_EQ(FindInExactBlock(scan, text, from), std::string_view(text).find(phrase, from))
                << text << " / " << phrase << " from " << from;
        }
    }
}

// Occurrences count only at positions the acceptor takes; the scan goes on
// past the others, in increasing order, with the filter or the automaton.
class EveryThird final : public PhraseAcceptor {
  public:
    bool Accept(size_t at) override {
        EXPECT_TRUE(asked.empty() || asked.back() < at) << "asked out of order";
        asked.push_back(at);
        return at % 3 == 2;
    }
    std::vector<size_t> asked;
};

size_t ReferenceEveryThird(std::string_view text, std::string_view phrase, size_t from) {
    for (size_t at = text.find(phrase, from); at != std::string_view::npos;
         at = text.find(phrase, at + 1)) {
        if (at % 3 == 2) return at;
    }
    return std::string_view::npos;
}

// Runs of one letter with phrases like a…aba…a make every position a
// candidate that fails late: the scan hands such blocks to the linear
// automaton, which must find exactly what string find finds.
TEST(PhraseScanTest, CandidatesThatFailLateGiveTheSameAnswersThroughTheAutomaton) {
    std::mt19937 random(78);
    for (const ScanLevel level : kLevels) {
        if (!ScanLevelSupported(level)) continue;
        for (int round = 0; round < 60; ++round) {
            const size_t half = 1 + random() % 200;
            std::string phrase = std::string(half, 'a') + "b" + std::string(random() % 200, 'a');
            if (round % 3 == 0) phrase = std::string(half, 'a');  // periodic: many overlaps
            std::string text(20000 + random() % 5000, 'a');
            for (int hole = random() % 4; hole > 0; --hole) text[random() % text.size()] = 'b';
            const size_t from = random() % 100;
            const PhraseScan scan(phrase, level);
            ASSERT_EQ(FindInExactBlock(scan, text, from), std::string_view(text).find(phrase, from))
                << phrase.size() << " level " << static_cast<int>(level);
            EveryThird third;
            ASSERT_EQ(scan.Find(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                from, third),
                      ReferenceEveryThird(text, phrase, from))
                << phrase.size() << " level " << static_cast<int>(level);
        }
    }
}

// 8 MiB of one letter against a 5,000-byte phrase that differs in its
// middle: with the filter alone this is some 10^10 byte comparisons, which
// the test program's time limit would catch.
TEST(PhraseScanTest, ALongPhraseThatFailsLateStaysLinearInTheBlock) {
    const std::string phrase = std::string(2500, 'A') + "B" + std::string(2499, 'A');
    const std::string text(size_t{8} << 20, 'A');
    for (const ScanLevel level : kLevels) {
        if (!ScanLevelSupported(level)) continue;
        const PhraseScan scan(phrase, level);
        EXPECT_EQ(scan.Find(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
                  std::string_view::npos);
    }
}

}  // namespace
}  // namespace querna
