#include <gtest/gtest.h>

#include <iostream>
#include <random>

#include "matchers/TextEncoding.h"
#include "matchers/TextMatcher.h"
#include "native/IconvCodePage.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/GbkTextRules.h"

namespace querna {
namespace {

using namespace std::string_literals;

constexpr MatchVerdict kFound = MatchVerdict::Found;
constexpr MatchVerdict kNotFound = MatchVerdict::NotFound;

bool IsGbkLead(char c) {
    return static_cast<unsigned char>(c) >= 0x81 && c != '\xFF';
}

// Whether content[at] begins a character, reading every character from the
// start of the text.
bool BeginsCharacter(const std::string& content, size_t at) {
    size_t i = 0;
    while (i < at) i += IsGbkLead(content[i]) ? 2 : 1;
    return i == at;
}

// The line test as the window always did it: lines end with, and include,
// their CR; the bytes after the last CR are tested as a last line too. An
// occurrence of a phrase that begins with a lead byte counts only where a
// character begins.
MatchVerdict ReferenceMatch(const std::string& content, const std::string& phrase) {
    if (phrase.empty()) return kNotFound;
    const auto lineHolds = [&](size_t begin, size_t end) {
        const std::string line = content.substr(begin, end - begin);
        for (size_t at = line.find(phrase); at != std::string::npos;
             at = line.find(phrase, at + 1)) {
            if (!IsGbkLead(phrase[0]) || BeginsCharacter(content, begin + at)) return true;
        }
        return false;
    };
    size_t begin = 0;
    for (size_t i = 0; i < content.size(); ++i) {
        if (content[i] != '\r') continue;
        if (lineHolds(begin, i + 1)) return kFound;
        begin = i + 1;
    }
    return lineHolds(begin, content.size()) ? kFound : kNotFound;
}

class TextMatcherTest : public ::testing::Test {
  protected:
    MatchVerdict Match(const std::string& content, const std::string& phrase, size_t block = 4096,
                       ScanLevel level = BestScanLevel()) {
        fs.AddFile("C:\\t.txt", content);
        return MatchTextFile(fs, rules, "C:\\t.txt", phrase, block, level);
    }
    fakes::FakeFileSystem fs;
    fakes::GbkTextRules rules;
};

TEST_F(TextMatcherTest, FindsThePhraseWithinOneLine) {
    struct Case {
        std::string content, phrase;
        MatchVerdict expected;
    };
    const Case cases[] = {
        {"", "abc", kNotFound},
        {"abc\r", "abc", kFound},
        {"abc\r", "ABC", kNotFound},       // case counts
        {"ab\r\ncd\r", "cd", kFound},      // the LF starts the next line
        {"ab\r\ncd\r", "\ncd\r", kFound},  // a line holds its CR and the LF before it
        {"ab\rcd\r", "b\rc", kNotFound},   // bytes either side of a CR are never joined
        {"ab\rcd\r", "ab\r", kFound},      // a CR may end the phrase
        {"x\0y abc\r"s, "abc", kFound},    // NUL is an ordinary byte
        {"x\0y abc\r"s, "\0y"s, kFound},
        {"abc\r", "", kNotFound},                 // the empty phrase is never found
        {"line one\nline two\n", "two", kFound},  // LF-only text: the last line is tested
        {"no line end at all", "end", kFound},
        {"\xB1\xED\xB8\xF1\r", "\xB8\xF1", kFound},  // GBK bytes compare as they are
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Match(c.content, c.phrase), c.expected)
            << testing::PrintToString(c.content) << " / " << c.phrase;
    }
}

TEST_F(TextMatcherTest, FileThatCannotBeOpenedIsUnreadable) {
    fs.AddFile("C:\\held.txt", "abc\r");
    fs.LockFile("C:\\held.txt");
    EXPECT_EQ(MatchTextFile(fs, rules, "C:\\held.txt", "abc"), MatchVerdict::Unreadable);
    EXPECT_EQ(MatchTextFile(fs, rules, "C:\\missing.txt", "abc"), MatchVerdict::Unreadable);
}

TEST_F(TextMatcherTest, FailedReadIsNotFound) {
    fs.AddFile("C:\\bad.txt", "abc\r");
    fs.FailReads("C:\\bad.txt");
    EXPECT_EQ(MatchTextFile(fs, rules, "C:\\bad.txt", "abc"), kNotFound);
}

TEST_F(TextMatcherTest, MatchAcrossABlockBoundaryAndLongLinesAreFound) {
    std::string content(10'000, 'x');
    content.replace(4094, 6, "needle");  // straddles the 4096-byte boundary
    EXPECT_EQ(Match(content, "needle"), kFound);
    EXPECT_EQ(Match(content, "needles"), kNotFound);
    std::string longLine(50'000, 'y');
    longLine += "tail";
    fs.largestRead = 0;
    EXPECT_EQ(Match(longLine, "ytail", 1024), kFound);
    EXPECT_LE(fs.largestRead, 1024u);  // streamed, never read whole
}

TEST_F(TextMatcherTest, StreamingAgreesWithTheLineByLineReferenceOnRandomInput) {
    std::mt19937 random(20261207);
    const std::string alphabet = "ab\r\n\0"s;
    TextMatcher reused(fs, rules, 5);  // one buffer for every file
    for (int round = 0; round < 2000; ++round) {
        std::string content(random() % 200, ' ');
        for (char& c : content) c = alphabet[random() % alphabet.size()];
        std::string phrase(1 + random() % 4, ' ');
        for (char& c : phrase) c = alphabet[random() % alphabet.size()];
        const size_t block = 1 + random() % 16;
        ASSERT_EQ(Match(content, phrase, block), ReferenceMatch(content, phrase))
            << testing::PrintToString(content) << " / " << testing::PrintToString(phrase)
            << " block " << block;
        ASSERT_EQ(reused.Match("C:\\t.txt", phrase), ReferenceMatch(content, phrase));
    }
}

TEST_F(TextMatcherTest, PhraseBeginningWithADoubleByteCharacterIsFoundOnlyWhereACharacterBegins) {
    struct Case {
        std::string content, phrase;
        MatchVerdict expected;
    };
    const Case cases[] = {
        {"\xD6\xD0\xCE\xC4\r", "\xD0\xCE", kNotFound},       // 形 is not in 中文
        {"\xD6\xD0\xCE\xC4\r", "\xD6\xD0", kFound},          // 中
        {"\xD6\xD0\xCE\xC4\r", "\xCE\xC4", kFound},          // 文
        {"x\xD6\xD0\xCE\xC4", "\xD0\xCE", kNotFound},        // after a single-byte letter too
        {"\xD6\xD0 \xD0\xCE\r", "\xD0\xCE", kFound},         // a blank resets the reading
        {"\xD6\xD0\xCE\xC4\xD0\xCE\r", "\xD0\xCE", kFound},  // a later true occurrence counts
        {"\xD6\xD0\xCE\xC4\r\xD0\xCE", "\xD0\xCE", kFound},  // in the tail after the last CR
        {"\x81\x30\xD0\xCE", "\xD0\xCE", kFound},            // a byte below 0x40 is a character
        {"\xD6\xD0\xCE", "\xD0", kNotFound},                 // a lone lead byte as the phrase
        {"\xD6\xD0\xD0", "\xD0", kFound},
        {"\xE4\xB8\xAD"
         "abc\r",
         "abc", kFound},  // ASCII phrase in UTF-8 text
        {"\xE4\xB8\xAD"
         "abc\r",
         "\xB8\xAD"
         "abc",
         kNotFound},                 // mid-character in GBK reading
        {"@\xCE", "@\xCE", kFound},  // single-byte start: bytes as they are
        {"\xD6@\xCE", "@\xCE", kFound},
    };
    for (const Case& c : cases) {
        for (const ScanLevel level : {ScanLevel::Scalar, ScanLevel::Sse2, ScanLevel::Avx2}) {
            if (!ScanLevelSupported(level)) continue;
            EXPECT_EQ(Match(c.content, c.phrase, 4096, level), c.expected)
                << testing::PrintToString(c.content) << " / " << testing::PrintToString(c.phrase)
                << " level " << static_cast<int>(level);
        }
    }
}

TEST_F(TextMatcherTest, DoubleByteRuleReadsBackIntoEarlierBlocks) {
    // 4,001 or 4,000 lead bytes without a byte below 0x40: whether the final
    // D0 CE begins a character is decided by the first byte of the file,
    // thousands of bytes and many blocks back.
    const std::string offBeat = std::string(4001, '\xB0') + "\xD0\xCE";
    const std::string onBeat = std::string(4000, '\xB0') + "\xD0\xCE";
    for (const size_t block : {1, 2, 3, 7, 64, 333, 4096, 8192}) {
        for (const ScanLevel level : {ScanLevel::Scalar, ScanLevel::Sse2, ScanLevel::Avx2}) {
            if (!ScanLevelSupported(level)) continue;
            EXPECT_EQ(Match(offBeat, "\xD0\xCE", block, level), kNotFound) << block;
            EXPECT_EQ(Match(onBeat, "\xD0\xCE", block, level), kFound) << block;
            EXPECT_EQ(Match(offBeat, "\xB0\xD0\xCE", block, level), kFound) << block;
        }
    }
}

TEST_F(TextMatcherTest, EveryScanLevelAgreesWithTheReferenceOnRandomDoubleByteText) {
    // Lead bytes, bytes that can only trail, line ends and bytes below 0x40.
    const std::string alphabet =
        "\xB0\xD0\xCE\x81\xFE"
        "a@\x7F\r\n\0 "s;
    std::mt19937 random(20240229);
    for (const ScanLevel level : {ScanLevel::Scalar, ScanLevel::Sse2, ScanLevel::Avx2}) {
        if (!ScanLevelSupported(level)) {
            std::cout << "scan level " << static_cast<int>(level) << " not supported here\n";
            continue;
        }
        TextMatcher reused(fs, rules, 48, level);
        for (int round = 0; round < 1500; ++round) {
            // Long enough for the vector loops, with blocks small and large.
            std::string content(random() % 700, ' ');
            for (char& c : content) c = alphabet[random() % (round % 3 == 0 ? 5 : alphabet.size())];
            std::string phrase(1 + random() % 5, ' ');
            for (char& c : phrase) c = alphabet[random() % alphabet.size()];
            if (round % 4 == 0 && content.size() > 8) {
                phrase = content.substr(random() % (content.size() - 6), 2 + random() % 4);
            }
            const size_t block = 1 + random() % (round % 2 ? 24 : 400);
            const MatchVerdict expected = ReferenceMatch(content, phrase);
            ASSERT_EQ(Match(content, phrase, block, level), expected)
                << testing::PrintToString(content) << " / " << testing::PrintToString(phrase)
                << " block " << block << " level " << static_cast<int>(level);
            ASSERT_EQ(reused.Match("C:\\t.txt", phrase), expected);
        }
    }
}

// `--encoding auto`: the GBK phrase in each file's own encoding, every
// occurrence on a character boundary of that encoding, at every block size
// (a block of 5 bytes puts a boundary inside nearly every character).
TEST_F(TextMatcherTest, AutoEncodingFindsTheCodePagePhraseInEachFilesEncoding) {
    const std::string zhongwenGbk = "\xD6\xD0\xCE\xC4";  // 中文
    const std::string zhongwenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
    const std::string zhongwenLe = "\x2D\x4E\x87\x65"s;  // U+4E2D U+6587
    const std::string zhongwenBe = "\x4E\x2D\x65\x87"s;
    const std::string le = "h\0i\0 \0"s + zhongwenLe + "!\0"s;
    struct Case {
        const char* what;
        std::string content, phrase;
        MatchVerdict expected;
    };
    const Case cases[] = {
        {"UTF-8 without a mark", "search " + zhongwenUtf8 + " text", zhongwenGbk, kFound},
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + zhongwenUtf8, zhongwenGbk, kFound},
        {"UTF-8: an ASCII phrase", "\xEF\xBB\xBFsee " + zhongwenUtf8, "see", kFound},
        {"UTF-16 LE with a mark", "\xFF\xFE"s + zhongwenLe, zhongwenGbk, kFound},
        {"UTF-16 BE with a mark", "\xFE\xFF"s + zhongwenBe, zhongwenGbk, kFound},
        {"UTF-16 LE told by its zeros", le + le, zhongwenGbk, kFound},
        {"UTF-16: an ASCII phrase", "\xFF\xFE"s + "a\0b\0c\0"s, "bc", kFound},
        {"UTF-16: the units' bytes at an odd offset", "\xFF\xFE\0a\0b\0\0"s, "ab", kNotFound},
        {"UTF-16: 不 (4E0D) holds a CR byte", "\xFF\xFE\x0D\x4E"s, "\xB2\xBB", kFound},
        {"GBK: the phrase itself", "x" + zhongwenGbk, zhongwenGbk, kFound},
        {"GBK: 形 inside 中文", zhongwenGbk, "\xD0\xCE", kNotFound},
        {"GBK: r inside 時", "\x95\x72", "r", kNotFound},
        {"GBK: r after 時", "\x95\x72r", "r", kFound},
        {"GB18030: a digit inside a four-byte character", "\x81\x39\xEE\x39", "9", kNotFound},
        {"GB18030: the digit after it",
         "\x81\x39\xEE\x39"
         "9",
         "9", kFound},
        {"GB18030: 中 after a four-byte character", "\x81\x30\x81\x30\xD6\xD0", "\xD6\xD0", kFound},
        {"invalid UTF-8 is the code page", "\xD6\xD0\xCE\xC4 \xE4\xB8", zhongwenGbk, kFound},
    };
    native::IconvCodePage codePage;
    for (const size_t block : {size_t{5}, size_t{4096}}) {
        for (const Case& c : cases) {
            fs.AddFile("C:\\t.txt", c.content);
            TextMatcher matcher(fs, rules, block);
            matcher.DetectEncodings(codePage);
            EXPECT_EQ(matcher.Match("C:\\t.txt", c.phrase), c.expected)
                << c.what << ", block " << block;
        }
    }
    // Without detection the window's byte rule stands: `r` is found in 時.
    EXPECT_EQ(Match("\x95\x72", "r"), kFound);
}

TEST(TextEncodingTest, TheFirstBytesDecideTheEncoding) {
    const std::pair<std::string, TextEncoding> cases[] = {
        {"plain ASCII", TextEncoding::Gb18030},
        {"\xD6\xD0\xCE\xC4", TextEncoding::Gb18030},
        {"\xE4\xB8\xAD", TextEncoding::Utf8},
        {"\xE4\xB8", TextEncoding::Utf8},         // cut by the sample's end
        {"\xC0\xAF", TextEncoding::Gb18030},      // an overlong form is no UTF-8
        {"\xED\xA0\x80", TextEncoding::Gb18030},  // nor is a surrogate
        {"\xEF\xBB\xBF", TextEncoding::Utf8},
        {"\xFF\xFEx", TextEncoding::Utf16Le},
        {"\xFE\xFFx", TextEncoding::Utf16Be},
        {"a\0b\0c\0d\0"s, TextEncoding::Utf16Le},
        {"\0a\0b\0c\0d"s, TextEncoding::Utf16Be},
        {"\0\0\0\0\0\0"s, TextEncoding::Gb18030},  // zeros on both sides: binary
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(
            DetectTextEncoding(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
            expected)
            << bytes;
    }
}

// GB18030 through the code page agrees with iconv's GB18030 on every
// character of GBK, both ways, on the single bytes, and on supplementary
// characters; a four-byte sequence of a BMP character GBK lacks shows as the
// code page shows that character.
TEST(TextEncodingTest, Gb18030ThroughTheCodePageAgreesWithIconv) {
    native::IconvCodePage gbk, iconv("GB18030");
    Gb18030CodePage gb18030(gbk);
    const auto hex = [](const std::string& bytes) {
        std::string text;
        for (const char c : bytes) text += std::to_string(static_cast<unsigned char>(c)) + " ";
        return text;
    };
    size_t characters = 0;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string c = gbk.ToUnicode(code);
            if (trail == 0x7F || c.size() != 1 || c[0] == u'?') continue;
            const std::string bytes = iconv.FromUnicode(c);
            ASSERT_EQ(gb18030.FromUnicode(c), bytes) << hex(code);
            ASSERT_EQ(gb18030.ToUnicode(bytes), iconv.ToUnicode(bytes)) << hex(code);
            ++characters;
        }
    }
    EXPECT_GT(characters, 21000u);
    for (unsigned byte = 0; byte < 0x100; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(gbk.FromUnicode(gb18030.ToUnicode(single)),
                  gbk.FromUnicode(iconv.ToUnicode(single)))
            << byte;
    }
    EXPECT_EQ(gb18030.FromUnicode(u"€"), "\xA2\xE3");
    const std::u16string others[] = {u"\U00010000", u"\U00020000", u"\U0010FFFF", u"\u0080",
                                     u"\u0100",     u"\u0E01",     u"\u3400",     u"\uFFFD"};
    for (const std::u16string& c : others) {
        const std::string bytes = iconv.FromUnicode(c);
        ASSERT_EQ(bytes.size(), 4u) << hex(bytes);
        EXPECT_EQ(gbk.FromUnicode(gb18030.ToUnicode(bytes)), gbk.FromUnicode(c)) << hex(bytes);
        if (c.size() == 2) EXPECT_EQ(gb18030.ToUnicode(bytes), c) << hex(bytes);
    }
    const std::u16string mixed = u"a€中\U00020000b文€";
    EXPECT_EQ(gb18030.ToUnicode(iconv.FromUnicode(mixed)), mixed);
}

}  // namespace
}  // namespace querna
