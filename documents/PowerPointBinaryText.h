// The slide text of a PowerPoint 97-2003 presentation (.ppt), read without
// PowerPoint.
#pragma once

#include <memory>

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"

namespace querna {

// Hands the text of every shape on the slides to `sink`, slide by slide in
// presentation order, one unit per shape with its paragraphs joined by CR:
// placeholder text and the shapes' own text boxes. Masters, layouts, notes,
// pictures, tables and the members of groups are not read. Raises
// DocumentError: Encrypted for a password-protected presentation, OldFormat
// for PowerPoint 95 and older, Damaged when the records do not hold what they
// claim, TooLarge past the reader's bounds.
// `buffers`, when given, lends the room it kept from the presentations read
// before: a presentation's records, slide list and texts are then read with
// no allocation once the room has grown to their size.
class PowerPointBuffers;
void ReadPowerPointBinaryText(CompoundStorage& storage, TextUnitSink& sink,
                              PowerPointBuffers* buffers = nullptr);

// What reading presentations keeps from one to the next, for a caller that
// reads many: under Wine every allocation from the heap is costly.
class PowerPointBuffers {
  public:
    PowerPointBuffers();
    ~PowerPointBuffers();
    PowerPointBuffers(const PowerPointBuffers&) = delete;
    PowerPointBuffers& operator=(const PowerPointBuffers&) = delete;

  private:
    friend void ReadPowerPointBinaryText(CompoundStorage&, TextUnitSink&, PowerPointBuffers*);
    struct State;
    std::unique_ptr<State> state_;  // made at the first presentation read
};

}  // namespace querna
