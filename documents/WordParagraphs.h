// Which paragraphs of a Word 97 document stand in a table, from their
// properties ([MS-DOC] 2.8.7 PlcBtePapx, 2.9.178 PapxFkp): the character
// stream alone cannot tell a paragraph inside a table cell from one before
// the table, nor the mark ending a row from an empty cell.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ByteSource.h"

namespace querna {

enum class ParagraphRole : uint8_t {
    Body,    // a paragraph of its own
    InCell,  // a paragraph of a table cell, nested tables included
    RowEnd,  // the mark that ends a table row, no text of its own
};

class WordParagraphRoles {
  public:
    // Reads the PlcBtePapx at [fc, fc + lcb) of `table` and the pages it
    // names in `document`. Properties that cannot be read leave every
    // paragraph a Body one: the text is read as it always was. The pages
    // read are at most the document's own, each once.
    static WordParagraphRoles Read(ByteSource& document, ByteSource& table, uint32_t fc,
                                   uint32_t lcb);

    // The role of the paragraph whose text holds the byte at `fc` of the
    // WordDocument stream.
    ParagraphRole RoleAt(uint64_t fc) const;

  private:
    struct Run {
        uint32_t start, end;
        ParagraphRole role;
    };
    std::vector<Run> runs_;  // sorted, not overlapping
};

}  // namespace querna
