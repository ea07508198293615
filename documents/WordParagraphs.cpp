#include "documents/WordParagraphs.h"

#include <algorithm>

#include "documents/BinaryFields.h"
#include "documents/DocumentFaults.h"

namespace querna {

namespace {

// A PapxFkp is one page of the WordDocument stream; its count of
// paragraphs is its last byte.
constexpr size_t kPageSize = 512;
constexpr size_t kCountAt = kPageSize - 1;
constexpr size_t kBxPapSize = 13;
// [MS-DOC] 2.6.2: the paragraph sprms that place a paragraph in a table.
constexpr uint16_t kSprmPFInTable = 0x2416;
constexpr uint16_t kSprmPFTtp = 0x2417;
constexpr uint16_t kSprmPItap = 0x6649;
// Sprms whose operand is not sized by its first byte (2.2.5.1, 2.6.4).
constexpr uint16_t kSprmTDefTable = 0xD608;
constexpr uint16_t kSprmPChgTabs = 0xC615;

// The size of the operand of `sprm` at the reader's position (which moves
// past a size field); false when it cannot be told.
bool OperandSize(uint16_t sprm, FieldReader& r, size_t& size) {
    static constexpr size_t kBySpra[8] = {1, 1, 2, 4, 2, 2, 0, 3};
    size = kBySpra[sprm >> 13];
    if (size != 0) return true;
    if (sprm == kSprmTDefTable) {
        const uint16_t cb = r.U16();  // counts itself less one byte
        size = cb > 0 ? cb - 1u : 0u;
        return true;
    }
    size = r.U8();
    return !(sprm == kSprmPChgTabs && size == 255);
}

// The role a grpprl gives its paragraph, read up to an operand it cannot
// size.
ParagraphRole RoleOf(FieldReader r) {
    bool inTable = false, rowEnd = false;
    size_t size = 0;
    while (r.Remaining() >= 2) {
        const uint16_t sprm = r.U16();
        if (!OperandSize(sprm, r, size) || size > r.Remaining()) break;
        const unsigned char* operand = r.Bytes(size);
        if (sprm == kSprmPFInTable) inTable = operand[0] != 0;
        if (sprm == kSprmPFTtp) rowEnd = operand[0] != 0;
        if (sprm == kSprmPItap) inTable = LoadU32(operand) != 0;
    }
    if (rowEnd) return ParagraphRole::RowEnd;
    return inTable ? ParagraphRole::InCell : ParagraphRole::Body;
}

// The role of the paragraph whose PapxInFkp is at `at` words of `page`.
ParagraphRole RoleInPage(const unsigned char* page, size_t at) {
    if (at == 0) return ParagraphRole::Body;  // no properties of its own
    at *= 2;
    if (at + 1 >= kCountAt) return ParagraphRole::Body;
    size_t length = size_t{page[at++]} * 2;
    if (length == 0) {
        length = size_t{page[at++]} * 2;
    } else {
        --length;
    }
    // The grpprl follows the paragraph's style index.
    if (length < 2 || at + length > kCountAt) return ParagraphRole::Body;
    return RoleOf(FieldReader(page + at + 2, length - 2));
}

}  // namespace

WordParagraphRoles WordParagraphRoles::Read(ByteSource& document, ByteSource& table, uint32_t fc,
                                            uint32_t lcb) {
    WordParagraphRoles roles;
    const uint64_t pages = document.Size() / kPageSize;
    if (lcb < 4 || (lcb - 4) % 8 != 0 || (lcb - 4) / 8 > pages) return roles;
    const size_t count = (lcb - 4) / 8;
    try {
        const std::vector<unsigned char> plc = ReadBlock(table, fc, lcb, lcb);
        std::vector<bool> seen(static_cast<size_t>(pages));
        unsigned char page[kPageSize];
        for (size_t i = 0; i < count; ++i) {
            const uint32_t pn = LoadU32(&plc[4 * (count + 1) + 4 * i]) & 0x3FFFFF;
            if (pn >= pages || seen[pn]) return {};
            seen[pn] = true;
            ReadExactly(document, uint64_t{pn} * kPageSize, page, kPageSize);
            const size_t paragraphs = page[kCountAt];
            const size_t bxs = 4 * (paragraphs + 1);
            if (bxs + kBxPapSize * paragraphs > kCountAt) return {};
            for (size_t k = 0; k < paragraphs; ++k) {
                const uint32_t start = LoadU32(page + 4 * k), end = LoadU32(page + 4 * k + 4);
                const ParagraphRole role = RoleInPage(page, page[bxs + kBxPapSize * k]);
                if (end > start) roles.runs_.push_back({start, end, role});
            }
        }
    } catch (const DocumentError&) {
        return {};
    }
    std::sort(roles.runs_.begin(), roles.runs_.end(),
              [](const Run& a, const Run& b) { return a.start < b.start; });
    return roles;
}

ParagraphRole WordParagraphRoles::RoleAt(uint64_t fc) const {
    const auto next = std::upper_bound(runs_.begin(), runs_.end(), fc,
                                       [](uint64_t at, const Run& run) { return at < run.start; });
    if (next == runs_.begin() || fc >= std::prev(next)->end) return ParagraphRole::Body;
    return std::prev(next)->role;
}

}  // namespace querna
