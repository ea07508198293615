// Follows [MS-XLS] "Excel Binary File Format (.xls) Structure": the globals
// substream (BOF, FILEPASS, BoundSheet8, SST with its CONTINUE records,
// EXTERNSHEET, SupBook) and each worksheet substream's cell records (LabelSst,
// Label, Number, RK, MulRk, BoolErr, Formula with String, ShrFmla, Array).
#include "documents/ExcelBinaryText.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"
#include "documents/ExcelFormulaText.h"
#include "documents/ExcelRecords.h"
#include "documents/SpreadsheetShared.h"

namespace querna {

namespace {

enum RecordType : uint16_t {
    kFormula = 0x0006,
    kEof = 0x000A,
    kExternSheet = 0x0017,
    kName = 0x0018,
    kExternName = 0x0023,
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

std::u16string Chars(FieldReader& r, size_t cch, bool high) {
    std::u16string text;
    AppendChars(r.Bytes(cch * (high ? 2 : 1)), cch, high, text);
    return text;
}

// XLUnicodeString: 16-bit count, flags, characters. Some writers leave the
// flags byte out of an empty string.
std::u16string LongString(FieldReader& r) {
    const uint16_t cch = r.U16();
    if (cch == 0 && r.Remaining() == 0) return {};
    return Chars(r, cch, (r.U8() & 1) != 0);
}

// The bytes of a record and of the CONTINUE records after it, read as one and
// pulled from the stream only as they are needed. Where a string's characters
// are split, the next part starts with a new flags byte saying whether the
// rest is 8-bit or 16-bit ([MS-XLS] 2.1.4).
class ContinuedRecord {
  public:
    // The parts are read where they lie in the reader's window: a part is
    // left only once it is read to its end, before the next is read.
    ContinuedRecord(ExcelRecordReader& records, const ExcelRecord& first, uint64_t limit)
        : records_(records),
          part_(first.data),
          partSize_(first.size),
          total_(first.size),
          limit_(limit) {}

    // A field split between two parts is read a byte at a time; any other
    // is loaded where it lies.
    uint8_t U8() {
        if (at_ == partSize_) NextPartIfAtEnd();
        return part_[at_++];
    }
    uint16_t U16() {
        if (partSize_ - at_ >= 2) {
            at_ += 2;
            return LoadU16(part_ + at_ - 2);
        }
        const uint8_t low = U8();
        return static_cast<uint16_t>(low | (U8() << 8));
    }
    uint32_t U32() {
        if (partSize_ - at_ >= 4) {
            at_ += 4;
            return LoadU32(part_ + at_ - 4);
        }
        const uint16_t low = U16();
        return low | (static_cast<uint32_t>(U16()) << 16);
    }
    void Skip(uint64_t count) {
        while (count > 0) {
            NextPartIfAtEnd();
            const size_t n = static_cast<size_t>(std::min<uint64_t>(count, partSize_ - at_));
            at_ += n;
            count -= n;
        }
    }
    // Appends `cch` characters to `text`, those of one part at a time.
    void Chars(size_t cch, bool high, std::u16string& text) {
        for (size_t i = 0; i < cch;) {
            if (at_ == partSize_) {
                NextPartIfAtEnd();
                high = (U8() & 1) != 0;
            }
            const size_t width = high ? 2 : 1;
            const size_t n = std::min(cch - i, (partSize_ - at_) / width);
            if (n == 0) {  // a character split between two parts
                text.push_back(high ? U16() : U8());
                ++i;
                continue;
            }
            AppendChars(part_ + at_, n, high, text);
            at_ += n * width;
            i += n;
        }
    }
    bool AtEnd() {
        while (at_ == partSize_) {
            if (!NextPart()) return true;
        }
        return false;
    }

  private:
    bool NextPart() {
        ExcelRecord next;
        if (!records_.Next(next)) return false;
        if (next.type != kContinue) {
            records_.PutBack(next);
            return false;
        }
        total_ += next.size;
        if (total_ > limit_) throw DocumentError(DocumentFault::TooLarge);
        part_ = next.data;
        partSize_ = next.size;
        at_ = 0;
        return true;
    }
    void NextPartIfAtEnd() {
        if (AtEnd()) ThrowDamaged();
    }

    ExcelRecordReader& records_;
    const unsigned char* part_;
    size_t partSize_;
    size_t at_ = 0;
    uint64_t total_;
    uint64_t limit_;
};

struct Sheet {
    uint32_t position;
    uint8_t type;
    std::u16string name;
};

struct Workbook {
    std::vector<Sheet> sheets;
    SharedStringTable sharedStrings;
    std::vector<std::u16string> sheetNames;
    std::vector<ExcelSheetRange> sheetRanges;
    std::vector<ExcelSupportingBook> books;
    std::vector<ExcelDefinedName> names;
};

// `streamSize`: the bytes of the whole stream, which hold at most a third as
// many strings (each has a count and a flags byte at least).
void ReadSharedStrings(ExcelRecordReader& records, const ExcelRecord& sst, uint64_t streamSize,
                       Workbook& book) {
    ContinuedRecord r(records, sst, kMaxSharedStringRecord);
    r.Skip(4);
    const uint32_t unique = r.U32();
    SharedStringTable& strings = book.sharedStrings;
    strings.Reserve(static_cast<size_t>(std::min<uint64_t>(unique, streamSize / 3)));
    for (uint32_t i = 0; i < unique && !r.AtEnd(); ++i) {
        const uint16_t cch = r.U16();
        const uint8_t flags = r.U8();
        const uint16_t runs = (flags & 0x08) ? r.U16() : 0;
        const uint32_t extended = (flags & 0x04) ? r.U32() : 0;
        r.Chars(cch, (flags & 1) != 0, strings.TextFor(cch));
        strings.EndString();
        r.Skip(uint64_t{runs} * 4 + extended);
    }
}

void ReadBof(const ExcelRecord& record, uint16_t expectedType) {
    // BIFF2 to BIFF4 had BOF records of other types; BIFF5 shares this one.
    if (record.type == 0x0009 || record.type == 0x0209 || record.type == 0x0409)
        throw DocumentError(DocumentFault::OldFormat);
    if (record.type != kBof) ThrowDamaged();
    FieldReader r = record.Fields();
    const uint16_t version = r.U16();
    if (version != kBiff8) throw DocumentError(DocumentFault::OldFormat);
    if (r.U16() != expectedType) ThrowDamaged();
}

// A path as SUPBOOK stores it ([MS-XLS] 2.5.277 VirtualPath), written the
// way Excel shows it: "\x01C\x03dir\x03Book.xls" is "C:\dir\Book.xls".
std::u16string BookPath(const std::u16string& raw) {
    std::u16string path;
    const auto separator = [&] {
        if (path.empty() || path.back() != u'\\') path += u'\\';
    };
    for (size_t i = (!raw.empty() && raw[0] == 0x01) ? 1 : 0; i < raw.size(); ++i) {
        switch (raw[i]) {
            case 0x01:  // a drive letter, or '@' for a network share
                if (i + 1 < raw.size()) {
                    if (raw[++i] == u'@') {
                        path += u"\\\\";
                    } else {
                        path += raw[i];
                        path += u':';
                        separator();
                    }
                }
                break;
            case 0x02:  // the root of the workbook's own drive
            case 0x03:  // a directory separator
                separator();
                break;
            case 0x04:  // up one directory
                path += u"..\\";
                break;
            case 0x05:  // a URL follows, after its length
                ++i;
                break;
            case 0x06:  // Excel's start-up, alternate start-up and library folders
            case 0x07:
            case 0x08:
                break;
            default:
                path.push_back(raw[i]);
        }
    }
    return path;
}

ExcelSupportingBook ReadSupBook(FieldReader& r) {
    ExcelSupportingBook book;
    const uint16_t sheets = r.U16();
    const uint16_t cch = r.U16();
    using Kind = ExcelSupportingBook::Kind;
    if (cch == 0x0401) return book;
    if (cch == 0x3A01) {
        book.kind = Kind::AddIn;
        return book;
    }
    const std::u16string raw = cch == 0 ? std::u16string() : Chars(r, cch, (r.U8() & 1) != 0);
    // A DDE or OLE link names its application and topic, split by 0x03.
    const size_t split = raw.find(u'\x03');
    if (split != std::u16string::npos && !raw.empty() && raw[0] >= 0x20) {
        book.kind = Kind::Link;
        book.path = raw.substr(0, split) + u"|" + raw.substr(split + 1);
        return book;
    }
    book.kind = Kind::Workbook;
    book.path = BookPath(raw);
    for (uint16_t i = 0; i < sheets && r.Remaining() >= 2; ++i)
        book.sheets.push_back(LongString(r));
    return book;
}

// The names Excel gives its built-in defined names, by their one-character code.
const char16_t* const kBuiltInNames[] = {
    u"Consolidate_Area", u"Auto_Open",       u"Auto_Close",   u"Extract",        u"Database",
    u"Criteria",         u"Print_Area",      u"Print_Titles", u"Recorder",       u"Data_Form",
    u"Auto_Activate",    u"Auto_Deactivate", u"Sheet_Title",  u"_FilterDatabase"};

// NAME ([MS-XLS] 2.4.150 Lbl): flags, shortcut key, name length, formula
// size, sheet, then the name itself.
ExcelDefinedName ReadName(FieldReader& r) {
    const uint16_t flags = r.U16();
    r.Skip(1);
    const uint8_t cch = r.U8();
    r.Skip(4);
    ExcelDefinedName name;
    name.sheet = r.U16();
    r.Skip(4);
    if (cch == 0) return name;
    name.name = Chars(r, cch, (r.U8() & 1) != 0);
    if ((flags & 0x0020) && name.name.size() == 1 && name.name[0] < std::size(kBuiltInNames))
        name.name = kBuiltInNames[name.name[0]];
    return name;
}

// EXTERNNAME ([MS-XLS] 2.4.106): whatever it names, the name follows six
// bytes of flags and reserved fields.
std::u16string ReadExternName(FieldReader& r) {
    r.Skip(6);
    const uint8_t cch = r.U8();
    if (cch == 0) return {};
    return Chars(r, cch, (r.U8() & 1) != 0);
}

Workbook ReadGlobals(ExcelRecordReader& records, uint64_t streamSize) {
    Workbook book;
    ExcelRecord record;
    if (!records.Next(record)) ThrowDamaged();
    ReadBof(record, 0x0005);
    while (records.Next(record) && record.type != kEof) {
        FieldReader r = record.Fields();
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
                ReadSharedStrings(records, record, streamSize, book);
                break;
            case kSupBook:
                book.books.push_back(ReadSupBook(r));
                break;
            case kExternName:
                if (!book.books.empty()) book.books.back().names.push_back(ReadExternName(r));
                break;
            case kName:
                book.names.push_back(ReadName(r));
                break;
            case kExternSheet: {
                // A workbook linked to many others runs on in CONTINUE records.
                ContinuedRecord list(records, record, kMaxExternSheet);
                const uint16_t count = list.U16();
                for (uint16_t i = 0; i < count && !list.AtEnd(); ++i) {
                    const uint16_t supBook = list.U16();
                    const auto first = static_cast<int16_t>(list.U16());
                    book.sheetRanges.push_back({supBook, first, static_cast<int16_t>(list.U16())});
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
    bool plain = false;  // IsPlainExcelFormula, asked once for all its cells
};

// A formula cell waits for the records that may follow it: its cached string
// (STRING) and, for the first cell of a shared or array formula, the formula
// itself (SHRFMLA, ARRAY). One is kept for the whole sheet, its buffers
// reused from one formula cell to the next.
struct PendingFormula {
    bool waiting = false;
    bool skipped = false;  // a plain formula the sink could find nothing in
    uint16_t row = 0, col = 0;
    std::vector<unsigned char> rgce, rgcb;
    std::u16string cached;
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

class SheetReader {
  public:
    // `sheet`: the sheet's position from 1 among the BoundSheet8 records.
    SheetReader(const Workbook& book, uint16_t sheet, std::u16string_view name, TextUnitSink& sink,
                SharedStringsShown& shown)
        : book_(book),
          sheet_(sheet),
          sink_(sink),
          numbers_(sink.TakesNumbers()),
          plainFormulas_(sink.TakesPlainFormulas()),
          shown_(shown) {
        place_.sheet = name;
    }

    // Reads the substream up to its EOF, or raises Damaged at a record that
    // starts at or after `limit`. True once the sink asked to stop.
    bool Read(ExcelRecordReader& records, uint64_t limit);
    // Where the substream's EOF record ended.
    uint64_t End() const { return end_; }

  private:
    // These return true once the sink asked to stop, as the sink does.
    bool Emit(std::u16string_view text) { return !text.empty() && sink_.Unit(text, place_); }
    // Rows and columns are stored from 0.
    void Place(uint16_t row, uint16_t col) {
        place_.row = uint32_t{row} + 1;
        place_.column = uint32_t{col} + 1;
    }
    // Half the cells of a typical sheet are numbers: callers write their
    // text only for a sink that takes it (numbers_).
    bool EmitNumber(double value) {
        text_.clear();
        AppendExcelNumberText(value, text_);
        return Emit(text_);
    }
    void PlaceAt(const ExcelRecord& cell) { Place(LoadU16(cell.data), LoadU16(cell.data + 2)); }
    bool EmitAt(const ExcelRecord& cell, std::u16string_view text) {
        PlaceAt(cell);
        return Emit(text);
    }
    // Number, RK and shared-string cells are most of a sheet's records, and
    // most of them are passed over: they are read inline, with their sizes
    // checked as any record's fields are.
    bool Cell(const ExcelRecord& record) {
        switch (record.type) {
            case kNumber:
                if (record.size < 6 + 8) ThrowDamaged();
                if (!numbers_) return false;
                PlaceAt(record);
                return EmitNumber(LoadDouble(record.data + 6));
            case kRk:
                if (record.size < 6 + 4) ThrowDamaged();
                if (!numbers_) return false;
                PlaceAt(record);
                return EmitNumber(RkValue(LoadU32(record.data + 6)));
            case kLabelSst: {
                if (record.size < 6 + 4) ThrowDamaged();
                const uint32_t index = LoadU32(record.data + 6);
                if (index >= book_.sharedStrings.Size()) ThrowDamaged();
                return shown_.FirstTime(index) && EmitAt(record, book_.sharedStrings.At(index));
            }
            case kFormula:
                StartFormula(record);
                return false;
            default:
                return OtherCell(record);
        }
    }
    bool OtherCell(ExcelRecord record);
    void StartFormula(ExcelRecord record);
    // Most formulas a finder declines are passed over here, without a call.
    bool FinishFormula() {
        if (!pending_.waiting) return false;
        pending_.waiting = false;
        return !pending_.skipped && FinishPending();
    }
    bool FinishPending();
    void ReadCachedString(ExcelRecordReader& records, ExcelRecord record);
    void KeepSharedFormula(ExcelRecord record);
    bool EmitFormula(const unsigned char* rgce, size_t cce, const unsigned char* rgcb, size_t cb);

    const Workbook& book_;
    uint16_t sheet_;
    TextUnitSink& sink_;
    const bool numbers_;        // whether the sink takes a number's text
    const bool plainFormulas_;  // and a plain formula's
    SharedStringsShown& shown_;
    UnitPlace place_;
    uint64_t end_ = 0;
    PendingFormula pending_;
    std::map<uint32_t, SharedFormula> shared_;
    ExcelFormulaRenderer renderer_;
    PlainFormulaMemo plainMemo_;
    std::u16string text_;  // the text of a cell, its room kept from cell to cell
};

void SheetReader::StartFormula(ExcelRecord record) {
    FieldReader r = record.Fields();
    PendingFormula& f = pending_;
    f.row = r.U16();
    f.col = r.U16();
    r.Skip(2);
    f.waiting = true;
    f.cached.clear();
    const unsigned char* value = r.Bytes(8);
    r.Skip(6);
    const uint16_t cce = r.U16();
    const unsigned char* rgce = r.Bytes(cce);
    const size_t cb = r.Remaining();
    // A quarter of a typical sheet's cells are formulas, most of them plain:
    // such a formula is neither kept nor rendered where the sink could find
    // nothing in it. Its STRING record is still read, as any other's.
    const bool sharedOrArray = cce == 5 && rgce[0] == 0x01;
    f.skipped = !plainFormulas_ && !sharedOrArray && plainMemo_.IsPlain(rgce, cce);
    if (f.skipped) return;
    if (LoadU16(value + 6) != 0xFFFF) {
        if (numbers_) AppendExcelNumberText(LoadDouble(value), f.cached);
    } else if (value[0] == 1) {
        f.cached = value[2] ? u"TRUE" : u"FALSE";
    } else if (value[0] == 2) {
        f.cached = ExcelErrorText(value[2]);
    }
    f.rgce.assign(rgce, rgce + cce);
    const unsigned char* rgcb = r.Bytes(cb);
    f.rgcb.assign(rgcb, rgcb + cb);
}

// The formula's text, or its cached value where the formula cannot be shown.
bool SheetReader::EmitFormula(const unsigned char* rgce, size_t cce, const unsigned char* rgcb,
                              size_t cb) {
    ExcelFormulaContext context;
    context.row = pending_.row;
    context.col = pending_.col;
    context.sheetNames = &book_.sheetNames;
    context.sheetRanges = &book_.sheetRanges;
    context.sheet = sheet_;
    context.books = &book_.books;
    context.names = &book_.names;
    if (renderer_.Render(rgce, cce, rgcb, cb, context, text_)) return Emit(text_);
    return Emit(pending_.cached);
}

bool SheetReader::FinishPending() {
    const PendingFormula& f = pending_;
    Place(f.row, f.col);
    // PtgExp: the formula is shared with, or an array formula anchored at,
    // another cell.
    if (f.rgce.size() == 5 && f.rgce[0] == 0x01) {
        const uint32_t anchor = (uint32_t{LoadU16(&f.rgce[1])} << 16) | LoadU16(&f.rgce[3]);
        const auto it = shared_.find(anchor);
        if (it == shared_.end()) return Emit(f.cached);
        const SharedFormula& s = it->second;
        if (s.rgce.size() > kMaxSharedFormula) return Emit(f.cached);
        if (s.plain && !plainFormulas_) return false;
        return EmitFormula(s.rgce.data(), s.rgce.size(), s.rgcb.data(), s.rgcb.size());
    }
    return EmitFormula(f.rgce.data(), f.rgce.size(), f.rgcb.data(), f.rgcb.size());
}

bool SheetReader::OtherCell(ExcelRecord record) {
    FieldReader r = record.Fields();
    switch (record.type) {
        case kLabel: {
            r.Skip(6);
            const uint16_t cch = r.U16();
            if (cch == 0 && r.Remaining() == 0) return false;  // as LongString reads it
            const bool high = (r.U8() & 1) != 0;
            text_.clear();
            AppendChars(r.Bytes(size_t{cch} * (high ? 2 : 1)), cch, high, text_);
            return EmitAt(record, text_);
        }
        case kMulRk: {
            r.Skip(4);
            if (!numbers_) return false;
            PlaceAt(record);
            while (r.Remaining() >= 8) {
                r.Skip(2);
                const bool stopped = EmitNumber(RkValue(r.U32()));
                if (stopped) return true;
                ++place_.column;
            }
            return false;
        }
        case kBoolErr: {
            r.Skip(6);
            const uint8_t value = r.U8();
            if (r.U8()) return EmitAt(record, ExcelErrorText(value));
            return EmitAt(record, value ? u"TRUE" : u"FALSE");
        }
        default:
            return false;
    }
}

void SheetReader::ReadCachedString(ExcelRecordReader& records, ExcelRecord record) {
    // A long result runs on in CONTINUE records.
    ContinuedRecord r(records, record, kMaxStringRecord);
    const uint16_t cch = r.U16();
    pending_.cached.clear();
    if (cch > 0) r.Chars(cch, (r.U8() & 1) != 0, pending_.cached);
}

void SheetReader::KeepSharedFormula(ExcelRecord record) {
    FieldReader r = record.Fields();
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
    s.plain = IsPlainExcelFormula(rgce, cce);
    shared_[(uint32_t{row} << 16) | col] = std::move(s);
}

bool SheetReader::Read(ExcelRecordReader& records, uint64_t limit) {
    ExcelRecord bof;
    if (!records.Next(bof)) ThrowDamaged();
    ReadBof(bof, kWorksheetBof);
    ExcelRecordCursor cursor(records);
    ExcelRecord record;
    // Embedded charts bring BOF ... EOF substreams of their own.
    int depth = 1;
    bool stopped = false;
    while (!stopped && depth > 0 && cursor.Next(record)) {
        if (record.offset >= limit) ThrowDamaged();
        end_ = record.offset + 4 + record.size;
        // The records that belong to the formula cell before them.
        switch (record.type) {
            case kContinue:
                continue;
            case kString:
                if (!pending_.waiting) break;
                cursor.Release();
                ReadCachedString(records, record);
                cursor.Resume();
                continue;
            case kShrFmla:
            case kArray:
                KeepSharedFormula(record);
                continue;
            default:
                break;
        }
        if (FinishFormula()) {
            stopped = true;
        } else if (record.type == kBof) {
            ++depth;
        } else if (record.type == kEof) {
            --depth;
        } else if (depth == 1) {
            stopped = Cell(record);
        }
    }
    cursor.Release();
    return stopped || FinishFormula();
}

// The substreams already read, start -> end. Sheets of a real workbook never
// share records; a sheet entry pointing into another sheet's records (or
// into nested start records of one) would read them again and again.
class ReadRanges {
  public:
    // The end of the free stretch that starts at `position`; Damaged when
    // `position` lies in a range already read.
    uint64_t LimitAt(uint64_t position) const {
        auto next = ranges_.upper_bound(position);
        if (next != ranges_.begin() && std::prev(next)->second > position) ThrowDamaged();
        return next == ranges_.end() ? UINT64_MAX : next->first;
    }
    void Add(uint64_t start, uint64_t end) { ranges_[start] = std::max(end, start + 1); }

  private:
    std::map<uint64_t, uint64_t> ranges_;
};

}  // namespace

void ReadExcelBinaryText(CompoundStorage& storage, TextUnitSink& sink) {
    std::unique_ptr<ByteSource> stream = storage.OpenStream("Workbook");
    if (!stream) {
        // Excel 5 and 95 wrote their workbooks as a "Book" stream.
        if (storage.OpenStream("Book")) throw DocumentError(DocumentFault::OldFormat);
        ThrowDamaged();
    }
    ExcelRecordReader records(*stream);
    const Workbook book = ReadGlobals(records, stream->Size());
    ReadRanges read;
    SharedStringsShown shown(sink, book.sharedStrings.Size());
    for (size_t i = 0; i < book.sheets.size(); ++i) {
        const Sheet& sheet = book.sheets[i];
        if (sheet.type != 0) continue;  // macro sheets, charts, modules
        const uint64_t limit = read.LimitAt(sheet.position);
        records.Seek(sheet.position);
        ExcelRecord bof;
        if (!records.Next(bof)) ThrowDamaged();
        // Dialog sheets share the worksheet type; other substreams are not cells.
        if (bof.type == kBof && bof.size >= 4 && LoadU16(bof.data + 2) != kWorksheetBof) {
            read.Add(sheet.position, sheet.position + 4 + bof.size);
            continue;
        }
        records.PutBack(bof);
        SheetReader reader(book, static_cast<uint16_t>(std::min<size_t>(i + 1, 0xFFFF)), sheet.name,
                           sink, shown);
        const bool stopped = reader.Read(records, limit);
        read.Add(sheet.position, reader.End());
        if (stopped) return;
    }
}

}  // namespace querna
