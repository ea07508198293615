#include <gtest/gtest.h>

#include <random>

#include "matchers/TextMatcher.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/RecordingHost.h"

namespace querna {
namespace {

using namespace std::string_literals;

// The line test as the window always did it: lines end with, and include,
// their CR; the bytes after the last CR are tested as a last line too.
int32_t ReferenceMatch(const std::string& content, const std::string& phrase) {
    if (phrase.empty()) return -1;
    std::string line;
    for (char c : content) {
        line += c;
        if (c == '\r') {
            if (line.find(phrase) != std::string::npos) return 1;
            line.clear();
        }
    }
    return line.find(phrase) != std::string::npos ? 1 : -1;
}

class TextMatcherTest : public ::testing::Test {
protected:
    int32_t Match(const std::string& content, const std::string& phrase, size_t block = 4096) {
        fs.AddFile("C:\\t.txt", content);
        return MatchTextFile(fs, dialogs, "C:\\t.txt", phrase, block);
    }
    fakes::FakeFileSystem fs;
    fakes::RecordingDialogs dialogs;
};

TEST_F(TextMatcherTest, FindsThePhraseWithinOneLine) {
    struct Case {
        std::string content, phrase;
        int32_t expected;
    };
    const Case cases[] = {
        {"", "abc", -1},
        {"abc\r", "abc", 1},
        {"abc\r", "ABC", -1},                 // case counts
        {"ab\r\ncd\r", "cd", 1},              // the LF starts the next line
        {"ab\r\ncd\r", "\ncd\r", 1},          // a line holds its CR and the LF before it
        {"ab\rcd\r", "b\rc", -1},             // bytes either side of a CR are never joined
        {"ab\rcd\r", "ab\r", 1},              // a CR may end the phrase
        {"x\0y abc\r"s, "abc", 1},            // NUL is an ordinary byte
        {"x\0y abc\r"s, "\0y"s, 1},
        {"abc\r", "", -1},                    // the empty phrase is never found
        {"line one\nline two\n", "two", 1},   // LF-only text: the last line is tested
        {"no line end at all", "end", 1},
        {"\xB1\xED\xB8\xF1\r", "\xB8\xF1", 1},  // GBK bytes compare as they are
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Match(c.content, c.phrase), c.expected) << testing::PrintToString(c.content)
                                                          << " / " << c.phrase;
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TextMatcherTest, FileThatCannotBeOpenedShowsTheMessageAndYieldsZero) {
    fs.AddFile("C:\\held.txt", "abc\r");
    fs.LockFile("C:\\held.txt");
    EXPECT_EQ(MatchTextFile(fs, dialogs, "C:\\held.txt", "abc"), 0);
    EXPECT_EQ(MatchTextFile(fs, dialogs, "C:\\missing.txt", "abc"), 0);
    EXPECT_EQ(dialogs.shown,
              (std::vector<std::string>{"plain:打开文件错误", "plain:打开文件错误"}));
}

TEST_F(TextMatcherTest, FailedReadYieldsMinusOne) {
    fs.AddFile("C:\\bad.txt", "abc\r");
    fs.FailReads("C:\\bad.txt");
    EXPECT_EQ(MatchTextFile(fs, dialogs, "C:\\bad.txt", "abc"), -1);
}

TEST_F(TextMatcherTest, MatchAcrossABlockBoundaryAndLongLinesAreFound) {
    std::string content(10'000, 'x');
    content.replace(4094, 6, "needle");  // straddles the 4096-byte boundary
    EXPECT_EQ(Match(content, "needle"), 1);
    EXPECT_EQ(Match(content, "needles"), -1);
    std::string longLine(50'000, 'y');
    longLine += "tail";
    fs.largestRead = 0;
    EXPECT_EQ(Match(longLine, "ytail", 1024), 1);
    EXPECT_LE(fs.largestRead, 1024u);  // streamed, never read whole
}

TEST_F(TextMatcherTest, StreamingAgreesWithTheLineByLineReferenceOnRandomInput) {
    std::mt19937 random(20261207);
    const std::string alphabet = "ab\r\n\0"s;
    TextMatcher reused(fs, dialogs, 5);  // one buffer for every file
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

}  // namespace
}  // namespace querna
