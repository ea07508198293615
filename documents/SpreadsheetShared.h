// What the .xlsx and .xls readers share: the workbook's shared strings and
// the way a cell reference is written ("$B$7"), so that the two formats hold
// the same bounds and show references alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "documents/DocumentText.h"

namespace querna {

// The shared strings of a workbook, end to end in one buffer: a workbook may
// hold millions of them, most short or empty. Past kMaxSharedStringText
// characters or kMaxSharedStringCount strings it raises
// DocumentError(TooLarge) rather than taking the memory.
class SharedStringTable {
  public:
    size_t Size() const { return ends_.size(); }
    bool Has(size_t index) const { return index < ends_.size(); }
    std::u16string_view At(size_t index) const {
        const size_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::u16string_view(text_).substr(begin, ends_[index] - begin);
    }
    void Reserve(size_t count) { ends_.reserve(count); }
    // The buffer the string being added grows in, with room checked for
    // `more` characters; EndString closes the string.
    std::u16string& TextFor(size_t more);
    void Append(std::u16string_view text) { TextFor(text.size()).append(text); }
    void EndString();

  private:
    std::u16string text_;
    std::vector<uint32_t> ends_;
};

// Whether a cell is the first of its document to show a shared string, for
// a sink that takes no repeats (TextUnitSink::TakesRepeats); for any other
// sink every cell is a first.
class SharedStringsShown {
  public:
    SharedStringsShown(const TextUnitSink& sink, size_t count)
        : shown_(sink.TakesRepeats() ? 0 : count, 0) {}
    // `index` is below the table's count.
    bool FirstTime(size_t index) {
        if (shown_.empty()) return true;
        const bool first = shown_[index] == 0;
        shown_[index] = 1;
        return first;
    }

  private:
    // A byte each, not a bit: a workbook's cells ask this of every string
    // cell, and a bit's address cost more than the room it saves.
    std::vector<unsigned char> shown_;
};

// Appends the column letters of `column` (1 for A, 28 for AB), after '$'
// when `fixed`. Nothing for column 0.
void AppendColumnLetters(std::u16string& out, unsigned column, bool fixed);
// Appends the row number `row` (from 1), after '$' when `fixed`.
void AppendRowNumber(std::u16string& out, unsigned row, bool fixed);

}  // namespace querna
