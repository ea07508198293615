// The plain-text matcher: whether a file holds the phrase, byte for byte and
// case-sensitive, within one line (a line ends with, and includes, its CR;
// the bytes after the last CR form a last line).
//
// A phrase that begins with a double-byte character of the code page is only
// found where a character begins: an occurrence that starts on the second
// byte of a double-byte character (形 D0 CE inside 中文 D6 D0 CE C4) is not
// one. A phrase that begins with a single-byte character is found wherever
// its bytes occur, so that an ASCII phrase is still found in UTF-8 text.
//
// With DetectEncodings (the console companion's `--encoding auto`) each
// file's encoding is decided from its first bytes (matchers/TextEncoding.h):
// in UTF-8, UTF-16 and GB18030 text the phrase is searched as that
// encoding's bytes; in GB18030 every occurrence must begin where a character
// begins, a four-byte sequence being one character, so that neither 形
// inside 中文 nor `r` inside the bytes of 時 is taken for the phrase.
//
// The file is streamed in blocks; between two blocks the stop check, when
// one is given, is asked whether to give the file up, so that Stop and
// Ctrl+C are heard inside one large file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "matchers/PhraseHits.h"
#include "matchers/PhraseScan.h"
#include "matchers/TextEncoding.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/StopCheck.h"
#include "platform/TextRules.h"
#include "search/ContentMatchers.h"

namespace querna {

// The size of the blocks the file is streamed in.
constexpr size_t kTextBlockSize = size_t{1} << 20;

// Streams files through one block buffer, kept from file to file so that a
// search over many small files pays for it once. The lead bytes of the code
// page are read from `rules` once, when the matcher is made.
class TextMatcher {
  public:
    TextMatcher(FileSystem& fs, TextRules& rules, size_t blockSize = kTextBlockSize,
                ScanLevel level = BestScanLevel());

    // Found when a line of the file holds the phrase; NotFound when none does
    // (also for an empty file, an empty phrase, a failed read, and a file
    // given up because `stop` said so); Unreadable when the file cannot be
    // opened (it is opened sharing nothing).
    MatchVerdict Match(const std::string& path, const std::string& phrase,
                       StopCheck* stop = nullptr);

    // Decides each file's encoding from now on; `codePage`, which converts
    // the phrase (and GB18030 text, through Gb18030CodePage), must outlive
    // the matcher.
    void DetectEncodings(CodePage& codePage);

    // Match's verdict, found by the same rule, with the file's hits added to
    // `hits` up to `limit` (past the budget of kept hits, only counted):
    // each line counted from 1 as the line feeds (in UTF-16 the line-feed
    // code unit) end them, with the context that line holds around the hit,
    // decoded from the file's encoding and written in `codePage`. Stops
    // reading once the limit is reached; a file given up because `stop` said
    // so keeps the hits found before.
    MatchVerdict CollectHits(const std::string& path, const std::string& phrase, CodePage& codePage,
                             HitLimit limit, FileHits& hits, StopCheck* stop = nullptr);

    // Which bytes of the code page begin a double-byte character.
    const std::array<bool, 256>& LeadBytes() const { return leadBytes_; }

  private:
    // The buffer with room for `capacity` bytes, its first `keep` bytes kept.
    unsigned char* Reserve(size_t capacity, size_t keep);
    // `phrase` as the bytes of a file in `encoding`.
    std::string_view PhraseIn(const std::string& phrase, TextEncoding encoding);

    FileSystem& fs_;
    size_t blockSize_;
    ScanLevel level_;
    std::array<bool, 256> leadBytes_{};
    CodePage* codePage_ = nullptr;
    std::optional<Gb18030CodePage> gb18030_;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t capacity_ = 0;
    // The phrase in each encoding, by TextEncoding, made once for the
    // phrase a search asks every file about.
    std::string formsOf_;
    std::array<std::string, 5> forms_;
    bool formsMade_ = false;
};

// One file with a matcher of its own.
inline MatchVerdict MatchTextFile(FileSystem& fs, TextRules& rules, const std::string& path,
                                  const std::string& phrase, size_t blockSize = kTextBlockSize,
                                  ScanLevel level = BestScanLevel()) {
    return TextMatcher(fs, rules, blockSize, level).Match(path, phrase);
}

}  // namespace querna
