// Follows [MS-XLS] "Excel Binary File Format (.xls) Structure": the globals
// substream (BOF, FILEPASS, BoundSheet8, SST with its CONTINUE records,
// EXTERNSHEET, SupBook) and each worksheet substream's cell records (LabelSst,
// Label, Number, RK, MulRk, BoolErr, Formula with String, ShrFmla, Array).
#include "documents/ExcelBinaryText.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "documents/BinaryFields.h"
#include "documents/ExcelFormulaText.h"
#include "documents/ExcelRecords.h"

namespace querna {

namespace {

enum RecordType : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kExternSheet = 0x0017,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kSupBook = 0x01AE,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kArray = 0x0221,
    kRk = 0x027E,
    kShrFmla = 0x04BC,
    kBof = 0x0809,
};

constexpr uint16_t kBiff8 = 0x0600;
constexpr uint16_t kWorksheetBof = 0x0010;
// The shared strings of a real workbook take a few megabytes at most.
constexpr uint64_t kMaxSharedStrings = 256u << 20;
// A shared formula is rendered again at every cell that uses it; Excel's own
// formulas stay far below this many bytes of tokens.
constexpr size_t kMaxSharedFormula = 4096;

std::u16string Chars(FieldReader& r, size_t cch, bool high) {
    const unsigned char* p = r.Bytes(cch * (high ? 2 : 1));
    std::u16string text;
    text.reserve(cch);
    for (size_t i = 0; i < cch; ++i) text.push_back(high ? LoadU16(p + 2 * i) : p[i]);
    return text;
}

// XLUnicodeString: 16-bit count, flags, characters.
std::u16string LongString(FieldReader& r) {
    const uint16_t cch = r.U16();
    return Chars(r, cch, (r.U8() & 1) != 0);
}

// The bytes of a record and of the CONTINUE records after it, read as one.
// Where a string's characters are split, the next part starts with a new
// flags byte saying whether the rest is 8-bit or 16-bit ([MS-XLS] 2.1.4).
class ContinuedBytes {
  public:
    explicit ContinuedBytes(std::vector<std::vector<unsigned char>> parts)
        : parts_(std::move(parts)) {}

    uint8_t U8() {
        NextPartIfAtEnd();
        return parts_[part_][at_++];
    }
    uint16_t U16() {
        const uint8_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32() {
        const uint16_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    void Skip(uint64_t count) {
        while (count > 0) {
            NextPartIfAtEnd();
            const size_t n =
                static_cast<size_t>(std::min<uint64_t>(count, parts_[part_].size() - at_));
            at_ += n;
            count -= n;
        }
    }
    std::u16string Chars(size_t cch, bool high) {
        std::u16string text;
        while (text.size() < cch) {
            if (at_ == parts_[part_].size()) {
                NextPartIfAtEnd();
                high = (U8() & 1) != 0;
            }
            text.push_back(high ? U16() : U8());
        }
        return text;
    }
    bool AtEnd() const { return part_ + 1 >= parts_.size() && at_ == parts_[part_].size(); }

  private:
    void NextPartIfAtEnd() {
        while (at_ == parts_[part_].size()) {
            if (part_ + 1 >= parts_.size()) ThrowDamaged();
            ++part_;
            at_ = 0;
        }
    }

    std::vector<std::vector<unsigned char>> parts_;
    size_t part_ = 0, at_ = 0;
};

struct Sheet {
    uint32_t position;
    uint8_t type;
    std::u16string name;
};

struct Workbook {
    std::vector<Sheet> sheets;
    std::vector<std::u16string> sharedStrings;
    std::vector<std::u16string> sheetNames;
    std::vector<ExcelSheetRange> sheetRanges;
    std::vector<bool> bookIsSelf;
};

void ReadSharedStrings(ExcelRecordReader& records, ExcelRecord& sst, Workbook& book) {
    std::vector<std::vector<unsigned char>> parts;
    uint64_t total = sst.data.size();
    parts.push_back(std::move(sst.data));
    ExcelRecord next;
    while (records.Next(next)) {
        if (next.type != kContinue) {
            records.PutBack(next);
            break;
        }
        total += next.data.size();
        if (total > kMaxSharedStrings) throw DocumentError(DocumentFault::TooLarge);
        parts.push_back(std::move(next.data));
    }
    ContinuedBytes r(std::move(parts));
    r.Skip(4);
    const uint32_t unique = r.U32();
    for (uint32_t i = 0; i < unique && !r.AtEnd(); ++i) {
        const uint16_t cch = r.U16();
        const uint8_t flags = r.U8();
        const uint16_t runs = (flags & 0x08) ? r.U16() : 0;
        const uint32_t extended = (flags & 0x04) ? r.U32() : 0;
        book.sharedStrings.push_back(r.Chars(cch, (flags & 1) != 0));
        r.Skip(uint64_t{runs} * 4 + extended);
    }
}

void ReadBof(const ExcelRecord& record, uint16_t expectedType) {
    // BIFF2 to BIFF4 had BOF records of other types; BIFF5 shares this one.
    if (record.type == 0x0009 || record.type == 0x0209 || record.type == 0x0409)
        throw DocumentError(DocumentFault::OldFormat);
    if (record.type != kBof) ThrowDamaged();
    FieldReader r(record.data);
    const uint16_t version = r.U16();
    if (version != kBiff8) throw DocumentError(DocumentFault::OldFormat);
    if (r.U16() != expectedType) ThrowDamaged();
}

Workbook ReadGlobals(ExcelRecordReader& records) {
    Workbook book;
    ExcelRecord record;
    if (!records.Next(record)) ThrowDamaged();
    ReadBof(record, 0x0005);
    while (records.Next(record) && record.type != kEof) {
        FieldReader r(record.data);
        switch (record.type) {
            case kFilePass:
                throw DocumentError(DocumentFault::Encrypted);
            case kBoundSheet: {
                Sheet sheet;
                sheet.position = r.U32();
                r.Skip(1);
                sheet.type = r.U8();
                const uint8_t cch = r.U8();
                sheet.name = Chars(r, cch, (r.U8() & 1) != 0);
                book.sheetNames.push_back(sheet.name);
                book.sheets.push_back(std::move(sheet));
                break;
            }
            case kSst:
                ReadSharedStrings(records, record, book);
                break;
            case kSupBook: {
                r.Skip(2);
                book.bookIsSelf.push_back(r.U16() == 0x0401);
                break;
            }
            case kExternSheet: {
                const uint16_t count = r.U16();
                for (uint16_t i = 0; i < count && r.Remaining() >= 6; ++i) {
                    const uint16_t supBook = r.U16();
                    const auto first = static_cast<int16_t>(r.U16());
                    book.sheetRanges.push_back({supBook, first, static_cast<int16_t>(r.U16())});
                }
                break;
            }
            default:
                break;
        }
    }
    return book;
}

struct SharedFormula {
    std::vector<unsigned char> rgce, rgcb;
};

// A formula cell waits for the records that may follow it: its cached string
// (STRING) and, for the first cell of a shared or array formula, the formula
// itself (SHRFMLA, ARRAY).
struct PendingFormula {
    uint16_t row, col;
    std::vector<unsigned char> rgce, rgcb;
    std::u16string cached;
};

class SheetReader {
  public:
    SheetReader(const Workbook& book, TextUnitSink& sink) : book_(book), sink_(sink) {}

    // False once the sink asked to stop.
    bool Read(ExcelRecordReader& records);

  private:
    bool Emit(const std::u16string& text) {
        if (text.empty()) return true;
        return !sink_.Unit(text);
    }
    bool Cell(const ExcelRecord& record);
    void StartFormula(FieldReader& r, uint16_t row, uint16_t col);
    bool FinishFormula();
    std::u16string Render(const PendingFormula& f, const unsigned char* rgce, size_t cce,
                          const unsigned char* rgcb, size_t cb) const;

    const Workbook& book_;
    TextUnitSink& sink_;
    std::optional<PendingFormula> pending_;
    std::map<uint32_t, SharedFormula> shared_;
};

double RkValue(uint32_t rk) {
    double value;
    if (rk & 0x02) {
        value = static_cast<double>(static_cast<int32_t>(rk) >> 2);
    } else {
        const uint64_t bits = static_cast<uint64_t>(rk & 0xFFFFFFFC) << 32;
        unsigned char raw[8];
        for (int i = 0; i < 8; ++i) raw[i] = static_cast<unsigned char>(bits >> (8 * i));
        value = LoadDouble(raw);
    }
    return (rk & 0x01) ? value / 100 : value;
}

void SheetReader::StartFormula(FieldReader& r, uint16_t row, uint16_t col) {
    PendingFormula f{row, col, {}, {}, {}};
    const unsigned char* value = r.Bytes(8);
    if (LoadU16(value + 6) != 0xFFFF) {
        f.cached = ExcelNumberText(LoadDouble(value));
    } else if (value[0] == 1) {
        f.cached = value[2] ? u"TRUE" : u"FALSE";
    } else if (value[0] == 2) {
        f.cached = ExcelErrorText(value[2]);
    }
    r.Skip(6);
    const uint16_t cce = r.U16();
    const unsigned char* rgce = r.Bytes(cce);
    f.rgce.assign(rgce, rgce + cce);
    const size_t cb = r.Remaining();
    const unsigned char* rgcb = r.Bytes(cb);
    f.rgcb.assign(rgcb, rgcb + cb);
    pending_ = std::move(f);
}

std::u16string SheetReader::Render(const PendingFormula& f, const unsigned char* rgce, size_t cce,
                                   const unsigned char* rgcb, size_t cb) const {
    ExcelFormulaContext context;
    context.row = f.row;
    context.col = f.col;
    context.sheetNames = &book_.sheetNames;
    context.sheetRanges = &book_.sheetRanges;
    context.bookIsSelf = &book_.bookIsSelf;
    std::u16string text;
    if (RenderExcelFormula(rgce, cce, rgcb, cb, context, text)) return text;
    return f.cached;
}

bool SheetReader::FinishFormula() {
    if (!pending_) return true;
    const PendingFormula f = std::move(*pending_);
    pending_.reset();
    // PtgExp: the formula is shared with, or an array formula anchored at,
    // another cell.
    if (f.rgce.size() == 5 && f.rgce[0] == 0x01) {
        const uint32_t anchor = (uint32_t{LoadU16(&f.rgce[1])} << 16) | LoadU16(&f.rgce[3]);
        const auto it = shared_.find(anchor);
        if (it == shared_.end()) return Emit(f.cached);
        const SharedFormula& s = it->second;
        if (s.rgce.size() > kMaxSharedFormula) return Emit(f.cached);
        return Emit(Render(f, s.rgce.data(), s.rgce.size(), s.rgcb.data(), s.rgcb.size()));
    }
    return Emit(Render(f, f.rgce.data(), f.rgce.size(), f.rgcb.data(), f.rgcb.size()));
}

bool SheetReader::Cell(const ExcelRecord& record) {
    FieldReader r(record.data);
    switch (record.type) {
        case kLabelSst: {
            r.Skip(6);
            const uint32_t index = r.U32();
            if (index >= book_.sharedStrings.size()) ThrowDamaged();
            return Emit(book_.sharedStrings[index]);
        }
        case kLabel:
            r.Skip(6);
            return Emit(LongString(r));
        case kNumber:
            r.Skip(6);
            return Emit(ExcelNumberText(r.Double()));
        case kRk:
            r.Skip(6);
            return Emit(ExcelNumberText(RkValue(r.U32())));
        case kMulRk: {
            r.Skip(4);
            while (r.Remaining() >= 8) {
                r.Skip(2);
                if (!Emit(ExcelNumberText(RkValue(r.U32())))) return false;
            }
            return true;
        }
        case kBoolErr: {
            r.Skip(6);
            const uint8_t value = r.U8();
            if (r.U8()) return Emit(ExcelErrorText(value));
            return Emit(value ? u"TRUE" : u"FALSE");
        }
        case kFormula: {
            const uint16_t row = r.U16(), col = r.U16();
            r.Skip(2);
            StartFormula(r, row, col);
            return true;
        }
        default:
            return true;
    }
}

bool SheetReader::Read(ExcelRecordReader& records) {
    ExcelRecord record;
    if (!records.Next(record)) ThrowDamaged();
    ReadBof(record, kWorksheetBof);
    // Embedded charts bring BOF ... EOF substreams of their own.
    int depth = 1;
    while (depth > 0 && records.Next(record)) {
        if (record.type == kString && pending_) {
            FieldReader r(record.data);
            pending_->cached = LongString(r);
            continue;
        }
        if (record.type == kShrFmla || record.type == kArray) {
            FieldReader r(record.data);
            const uint16_t row = r.U16();
            r.Skip(2);
            const uint16_t col = r.U8();
            r.Skip(record.type == kShrFmla ? 3 : 7);
            const uint16_t cce = r.U16();
            SharedFormula s;
            const unsigned char* rgce = r.Bytes(cce);
            s.rgce.assign(rgce, rgce + cce);
            const size_t cb = r.Remaining();
            const unsigned char* rgcb = r.Bytes(cb);
            s.rgcb.assign(rgcb, rgcb + cb);
            shared_[(uint32_t{row} << 16) | col] = std::move(s);
            continue;
        }
        if (record.type == kContinue) continue;
        if (!FinishFormula()) return false;
        if (record.type == kBof) {
            ++depth;
        } else if (record.type == kEof) {
            --depth;
        } else if (depth == 1 && !Cell(record)) {
            return false;
        }
    }
    return FinishFormula();
}

}  // namespace

void ReadExcelBinaryText(CompoundStorage& storage, TextUnitSink& sink) {
    std::unique_ptr<ByteSource> stream = storage.OpenStream("Workbook");
    if (!stream) {
        // Excel 5 and 95 wrote their workbooks as a "Book" stream.
        if (storage.OpenStream("Book")) throw DocumentError(DocumentFault::OldFormat);
        ThrowDamaged();
    }
    ExcelRecordReader records(*stream);
    const Workbook book = ReadGlobals(records);
    // Two sheets at one position would read the same cells twice over.
    std::set<uint32_t> positions;
    for (const Sheet& sheet : book.sheets) {
        if (sheet.type != 0) continue;  // macro sheets, charts, modules
        if (!positions.insert(sheet.position).second) ThrowDamaged();
        records.Seek(sheet.position);
        ExcelRecord bof;
        if (!records.Next(bof)) ThrowDamaged();
        // Dialog sheets share the worksheet type; other substreams are not cells.
        if (bof.type == kBof && bof.data.size() >= 4 && LoadU16(&bof.data[2]) != kWorksheetBof)
            continue;
        records.PutBack(bof);
        SheetReader reader(book, sink);
        if (!reader.Read(records)) return;
    }
}

}  // namespace querna
