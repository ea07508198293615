// Follows [MS-PPT] "PowerPoint (.ppt) Binary File Format": the Current User
// stream's CurrentUserAtom (2.3.2), the chain of UserEditAtoms with their
// PersistDirectoryAtoms (2.3.3 to 2.3.6), the DocumentContainer's slide list
// (SlideListWithTextContainer, SlidePersistAtom), and each SlideContainer's
// drawing ([MS-ODRAW] OfficeArtSpgrContainer, OfficeArtSpContainer) with its
// OfficeArtClientTextbox (TextCharsAtom, TextBytesAtom, OutlineTextRefAtom).
#include "documents/PowerPointBinaryText.h"

#include <algorithm>
#include <bit>
#include <string>
#include <string_view>
#include <vector>

#include "documents/BinaryFields.h"
#include "documents/DocumentLimits.h"
#include "documents/UnitBuilder.h"

namespace querna {

namespace {

enum RecordType : uint16_t {
    kDocument = 0x03E8,
    kSlide = 0x03EE,
    kSlidePersist = 0x03F3,
    kDrawing = 0x040C,
    kOutlineTextRef = 0x0F9E,
    kTextHeader = 0x0F9F,
    kTextChars = 0x0FA0,
    kTextBytes = 0x0FA8,
    kSlideListWithText = 0x0FF0,
    kUserEdit = 0x0FF5,
    kCurrentUser = 0x0FF6,
    kPersistDirectory = 0x1772,
    kDrawingGroup = 0xF002,
    kShapeGroup = 0xF003,
    kShape = 0xF004,
    kClientTextbox = 0xF00D,
};

constexpr uint32_t kPlainToken = 0xE391C05F;
constexpr uint32_t kEncryptedToken = 0xF3D1C4DF;

struct Record {
    uint16_t instance = 0;
    uint16_t type = 0;
    uint64_t body = 0;  // where the record's body starts
    uint32_t length = 0;
    uint64_t End() const { return body + length; }
};

// The records of a stream. `units`, when given, holds the whole stream, and a
// record header is then loaded from it rather than read: a slide walks its
// headers several times over, and a read of the stream for each costs more
// than the text they lead to.
class RecordStream {
  public:
    explicit RecordStream(ByteSource& stream, const char16_t* units = nullptr)
        : stream_(stream), units_(units), size_(stream.Size()) {}

    Record At(uint64_t offset) const {
        unsigned char copy[8];
        const unsigned char* header = copy;
        if (units_ != nullptr && offset <= size_ && size_ - offset >= sizeof copy) {
            header = reinterpret_cast<const unsigned char*>(units_) + offset;
        } else {
            ReadExactly(stream_, offset, copy, sizeof copy);
        }
        Record r;
        r.instance = LoadU16(header) >> 4;
        r.type = LoadU16(header + 2);
        r.length = LoadU32(header + 4);
        r.body = offset + 8;
        if (r.length > size_ - std::min(r.body, size_)) ThrowDamaged();
        return r;
    }
    std::vector<unsigned char> Body(const Record& r) const {
        return ReadBlock(stream_, r.body, r.length, kMaxPowerPointAtom);
    }
    // The body of `r` into `bytes`, whose room is kept from one record to the next.
    void Body(const Record& r, std::vector<unsigned char>& bytes) const {
        ReadBlock(stream_, r.body, r.length, kMaxPowerPointAtom, bytes);
    }
    // The text of a TextCharsAtom where it lies in the whole stream, which
    // is held as UTF-16 units: the text of nearly every atom starts at an
    // even offset and is neither copied nor widened. False where it cannot
    // be had so (a body at an odd offset, a stream read a record at a time).
    bool TextInPlace(const Record& r, std::u16string_view& text) const {
        if constexpr (std::endian::native != std::endian::little) return false;
        // At has checked that the body lies inside the stream, which is no
        // larger than an atom may be.
        static_assert(kMaxWholeReadSize <= kMaxPowerPointAtom);
        if (units_ == nullptr || r.type != kTextChars || r.body % 2 != 0) return false;
        text = std::u16string_view(units_ + r.body / 2, r.length / 2);
        return true;
    }

  private:
    ByteSource& stream_;
    const char16_t* units_;
    uint64_t size_;
};

// The whole of `stream`, as UTF-16 units (the last one half filled for a
// stream of an odd size), when it is of a size read whole anyway; nothing
// when it is larger, or cannot be read to its end (a file cut short), and is
// then read a record at a time, so that what lies before the cut is still
// read. `units` keeps its room from one presentation to the next.
void WholeStream(ByteSource& stream, std::vector<char16_t>& units) {
    units.clear();
    if (stream.Size() > kMaxWholeReadSize) return;
    const auto size = static_cast<size_t>(stream.Size());
    units.resize((size + 1) / 2);
    try {
        if (stream.ReadAt(0, units.data(), size) == size) return;
    } catch (const DocumentError&) {
    }
    units.clear();
}

// The records directly inside a parent, one at a time. Each must end inside
// the parent, and all of them are checked before the first is given: a
// damaged record anywhere among them makes the parent damaged, whatever the
// reader would have taken from its siblings.
class Children {
  public:
    Children(const RecordStream& records, const Record& parent)
        : records_(records), at_(parent.body), end_(parent.End()) {
        Record child;
        while (Next(child)) {
        }
        at_ = parent.body;
    }
    bool Next(Record& child) {
        if (at_ + 8 > end_) return false;
        child = records_.At(at_);
        if (child.End() > end_) ThrowDamaged();
        at_ = child.End();
        return true;
    }

  private:
    const RecordStream& records_;
    uint64_t at_, end_;
};

// Appends the text of a text atom to `text`, through `bytes`; both keep their
// room from one atom to the next.
void AppendAtomText(const RecordStream& records, const Record& atom,
                    std::vector<unsigned char>& bytes, std::u16string& text) {
    records.Body(atom, bytes);
    const bool wide = atom.type == kTextChars;
    AppendChars(bytes.data(), wide ? bytes.size() / 2 : bytes.size(), wide, text);
}

// Where a presentation keeps its streams: at the root, or, in the files that
// PowerPoint 97 saved for both PowerPoint 95 and 97, the PowerPoint 97 copy
// in a storage of its own beside the PowerPoint 95 one.
constexpr const char* kStreamFolders[] = {"", "PP97_DUALSTORAGE/"};

// The Current User stream of PowerPoint 95 and earlier: a 32-bit length and
// the user's name, nothing else.
bool IsOldCurrentUser(const std::vector<unsigned char>& bytes, uint64_t size) {
    return bytes.size() >= 4 && LoadU32(bytes.data()) == size - 4;
}

// The offset of the newest user edit, from the Current User stream in
// `folder`; 0 when that stream is not PowerPoint 97's.
uint32_t ReadCurrentUser(CompoundStorage& storage, const std::string& folder) {
    const std::unique_ptr<ByteSource> stream = storage.OpenStream(folder + "Current User");
    if (!stream) return 0;
    const uint64_t size = std::min<uint64_t>(stream->Size(), 4096);
    const std::vector<unsigned char> bytes = ReadBlock(*stream, 0, size, size);
    if (IsOldCurrentUser(bytes, stream->Size())) return 0;
    FieldReader r(bytes);
    r.Skip(2);
    if (r.U16() != kCurrentUser) ThrowDamaged();
    r.Skip(8);
    const uint32_t token = r.U32();
    if (token == kEncryptedToken) throw DocumentError(DocumentFault::Encrypted);
    if (token != kPlainToken) ThrowDamaged();
    const uint32_t offset = r.U32();
    r.Skip(4);
    if (r.U8() != 3) throw DocumentError(DocumentFault::OldFormat);
    return offset;
}

// The folder whose streams hold the PowerPoint 97 presentation, with the
// offset of its newest edit. PowerPoint 4.0 ("PP40") and 95 presentations
// are an older format.
std::string PresentationFolder(CompoundStorage& storage, uint32_t& currentEdit) {
    for (const char* folder : kStreamFolders) {
        currentEdit = ReadCurrentUser(storage, folder);
        if (currentEdit != 0) return folder;
    }
    const std::unique_ptr<ByteSource> root = storage.OpenStream("Current User");
    if (storage.OpenStream("PP40")) throw DocumentError(DocumentFault::OldFormat);
    if (root) {
        const uint64_t size = std::min<uint64_t>(root->Size(), 4096);
        if (IsOldCurrentUser(ReadBlock(*root, 0, size, size), root->Size()))
            throw DocumentError(DocumentFault::OldFormat);
    }
    ThrowDamaged();
}

// persist identifier -> offset in the stream, the newest edit's where edits
// disagree: a sorted array rather than a tree, its room kept from one
// presentation to the next.
struct PersistIndex {
    struct Entry {
        uint32_t id;
        uint32_t order;  // the entry's place in the walk, newest edit first
        uint32_t offset;
        bool operator<(const Entry& other) const {
            return id != other.id ? id < other.id : order < other.order;
        }
    };
    std::vector<Entry> entries;
    uint32_t documentId = 0;

    void Clear() {
        entries.clear();
        documentId = 0;
    }
    void Add(uint32_t id, uint32_t offset) {
        entries.push_back({id, static_cast<uint32_t>(entries.size()), offset});
    }
    // Orders the entries for Offset, keeping the newest of each identifier.
    void Finish() {
        std::sort(entries.begin(), entries.end());
        entries.erase(std::unique(entries.begin(), entries.end(),
                                  [](const Entry& a, const Entry& b) { return a.id == b.id; }),
                      entries.end());
    }
    uint64_t Offset(uint32_t id) const {
        const auto it = std::lower_bound(entries.begin(), entries.end(), Entry{id, 0, 0});
        if (it == entries.end() || it->id != id) ThrowDamaged();
        return it->offset;
    }
};

// A stretch [start, end) of the stream that a record takes.
struct Extent {
    uint64_t start, end;
    bool operator<(const Extent& other) const { return start < other.start; }
};
Extent ExtentOf(const Record& r) {
    return {r.body - 8, r.End()};
}

// Whether no two of `extents` share a byte; sorts them.
bool Disjoint(std::vector<Extent>& extents) {
    std::sort(extents.begin(), extents.end());
    for (size_t i = 1; i < extents.size(); ++i) {
        if (extents[i].start < extents[i - 1].end) return false;
    }
    return true;
}

// What reading the edits reuses from one presentation to the next.
struct EditBuffers {
    std::vector<Extent> extents;
    std::vector<Record> directories;
    std::vector<unsigned char> body;
};

// The user edit's fields are 0x1C bytes, 0x20 with the encryption session
// reference; the atom is read no further, whatever length it claims.
constexpr uint32_t kUserEditFields = 0x20;

// Follows the edits back from the newest, gathering their persist
// directories, newest first, into buffers.directories.
void WalkEdits(const RecordStream& records, uint32_t editOffset, EditBuffers& buffers,
               PersistIndex& index) {
    std::vector<Record>& directories = buffers.directories;
    std::vector<Extent>& extents = buffers.extents;
    directories.clear();
    extents.clear();
    std::vector<unsigned char>& body = buffers.body;
    // A chain that loops runs into the limit.
    while (true) {
        if (directories.size() == kMaxPowerPointEdits) ThrowDamaged();
        Record edit = records.At(editOffset);
        if (edit.type != kUserEdit) ThrowDamaged();
        extents.push_back(ExtentOf(edit));
        edit.length = std::min(edit.length, kUserEditFields);
        records.Body(edit, body);
        FieldReader r(body);
        r.Skip(8);
        const uint32_t previous = r.U32();
        const uint32_t directoryOffset = r.U32();
        const uint32_t document = r.U32();
        if (directories.empty()) {
            // Only encrypted presentations carry the encryption session reference.
            if (body.size() >= kUserEditFields) throw DocumentError(DocumentFault::Encrypted);
            index.documentId = document;
        }
        const Record directory = records.At(directoryOffset);
        if (directory.type != kPersistDirectory) ThrowDamaged();
        extents.push_back(ExtentOf(directory));
        directories.push_back(directory);
        if (previous == 0) return;
        editOffset = previous;
    }
}

void ReadPersistIndex(const RecordStream& records, uint32_t editOffset, EditBuffers& buffers,
                      PersistIndex& index) {
    index.Clear();
    WalkEdits(records, editOffset, buffers, index);
    // Saved edits and directories never share bytes. Two edits naming one
    // directory, or directories that overlap, would have the same entries
    // read once for each edit: as many times over as the chain is long.
    // Apart, the directories hold at most one entry per 4 bytes of the stream.
    if (!Disjoint(buffers.extents)) ThrowDamaged();
    std::vector<unsigned char>& body = buffers.body;
    for (const Record& directory : buffers.directories) {
        records.Body(directory, body);
        FieldReader e(body);
        while (e.Remaining() >= 4) {
            const uint32_t head = e.U32();
            const uint32_t first = head & 0xFFFFF, count = head >> 20;
            for (uint32_t i = 0; i < count; ++i) index.Add(first + i, e.U32());
        }
    }
    index.Finish();
}

// Where a text lies: in the stream (`inPlace`), or in SlideList::text; and
// whether a shape took it: each placeholder text belongs to one shape.
struct TextSpan {
    const char16_t* inPlace = nullptr;
    size_t start = 0, length = 0;
    bool used = false;
};

// One slide of the slide list: where its container is and the placeholder
// texts that the list keeps for it, by OutlineTextRefAtom index: those are
// SlideList::spans[firstText, firstText + texts).
struct SlideEntry {
    uint32_t persistId;
    size_t firstText = 0, texts = 0;
};

// The slides, and the placeholder texts of them all laid end to end; the
// room of each is kept from one presentation to the next.
struct SlideList {
    std::vector<SlideEntry> slides;
    std::vector<TextSpan> spans;
    std::u16string text;

    void Clear() {
        slides.clear();
        spans.clear();
        text.clear();
    }
};

void ReadSlideList(const RecordStream& records, const Record& document,
                   std::vector<unsigned char>& body, SlideList& list) {
    list.Clear();
    std::vector<SlideEntry>& slides = list.slides;
    Record holder, r;
    for (Children holders(records, document); holders.Next(holder);) {
        if (holder.type != kSlideListWithText || holder.instance != 0) continue;
        for (Children items(records, holder); items.Next(r);) {
            if (r.type == kSlidePersist) {
                records.Body(r, body);
                if (body.size() < 4) ThrowDamaged();
                slides.push_back({LoadU32(body.data()), list.spans.size(), 0});
            } else if (slides.empty()) {
                continue;
            } else if (r.type == kTextHeader) {
                list.spans.emplace_back();
                ++slides.back().texts;
            } else if ((r.type == kTextChars || r.type == kTextBytes) && slides.back().texts > 0) {
                TextSpan& span = list.spans.back();
                std::u16string_view text;
                if (records.TextInPlace(r, text)) {
                    span.inPlace = text.data();
                    span.start = 0;
                    span.length = text.size();
                    continue;
                }
                span.inPlace = nullptr;
                span.start = list.text.size();
                AppendAtomText(records, r, body, list.text);
                span.length = list.text.size() - span.start;
            }
        }
    }
}

// What reading the shapes of a slide reuses from one shape to the next.
struct ShapeBuffers {
    std::vector<unsigned char> bytes;
    std::u16string text;
};

// The text of one shape's client text box: its own text atom's, read into
// `buffers`, or the slide list's placeholder text it refers to. False when
// it has none.
bool ShapeText(const RecordStream& records, const Record& shape, SlideList& list,
               const SlideEntry& slide, ShapeBuffers& buffers, std::u16string_view& text) {
    Record part, atom;
    for (Children parts(records, shape); parts.Next(part);) {
        if (part.type != kClientTextbox) continue;
        for (Children atoms(records, part); atoms.Next(atom);) {
            if (atom.type == kTextChars || atom.type == kTextBytes) {
                if (records.TextInPlace(atom, text)) return true;
                buffers.text.clear();
                AppendAtomText(records, atom, buffers.bytes, buffers.text);
                text = buffers.text;
                return true;
            }
            if (atom.type == kOutlineTextRef) {
                records.Body(atom, buffers.bytes);
                if (buffers.bytes.size() < 4) ThrowDamaged();
                const uint32_t i = LoadU32(buffers.bytes.data());
                // A second reference to the same text would repeat it.
                if (i >= slide.texts) return false;
                TextSpan& span = list.spans[slide.firstText + i];
                if (span.used) return false;
                span.used = true;
                text = span.inPlace != nullptr
                           ? std::u16string_view(span.inPlace, span.length)
                           : std::u16string_view(list.text).substr(span.start, span.length);
                return true;
            }
        }
    }
    return false;
}

// True once the sink asked to stop.
bool ReadSlide(const RecordStream& records, const Record& container, SlideList& list,
               const SlideEntry& slide, ShapeBuffers& buffers, TextUnitSink& sink,
               const UnitPlace& place) {
    Record drawing, group, top, shape;
    for (Children drawings(records, container); drawings.Next(drawing);) {
        if (drawing.type != kDrawing) continue;
        for (Children groups(records, drawing); groups.Next(group);) {
            if (group.type != kDrawingGroup) continue;
            for (Children tops(records, group); tops.Next(top);) {
                if (top.type != kShapeGroup) continue;
                // Only the shapes directly on the slide: nested groups (and
                // tables, which are groups) are passed over.
                for (Children shapes(records, top); shapes.Next(shape);) {
                    if (shape.type != kShape) continue;
                    std::u16string_view text;
                    if (!ShapeText(records, shape, list, slide, buffers, text) || text.empty())
                        continue;
                    CheckUnitLength(text.size());
                    if (sink.Unit(text, place)) return true;
                }
            }
        }
    }
    return false;
}

}  // namespace

struct PowerPointBuffers::State {
    std::vector<char16_t> stream;
    EditBuffers edits;
    PersistIndex index;
    SlideList list;
    std::vector<Extent> listed;
    ShapeBuffers shapes;
};

PowerPointBuffers::PowerPointBuffers() = default;
PowerPointBuffers::~PowerPointBuffers() = default;

void ReadPowerPointBinaryText(CompoundStorage& storage, TextUnitSink& sink,
                              PowerPointBuffers* buffers) {
    PowerPointBuffers own;
    std::unique_ptr<PowerPointBuffers::State>& kept = (buffers != nullptr ? buffers : &own)->state_;
    if (!kept) kept = std::make_unique<PowerPointBuffers::State>();
    PowerPointBuffers::State& state = *kept;
    uint32_t currentEdit = 0;
    const std::string folder = PresentationFolder(storage, currentEdit);
    const std::unique_ptr<ByteSource> stream = storage.OpenStream(folder + "PowerPoint Document");
    if (!stream) ThrowDamaged();
    std::vector<char16_t>& whole = state.stream;
    WholeStream(*stream, whole);
    MemoryByteSource inMemory(whole.data(), whole.empty() ? 0 : stream->Size());
    const RecordStream records =
        whole.empty() ? RecordStream(*stream) : RecordStream(inMemory, whole.data());
    PersistIndex& index = state.index;
    ReadPersistIndex(records, currentEdit, state.edits, index);
    const Record document = records.At(index.Offset(index.documentId));
    if (document.type != kDocument) ThrowDamaged();
    SlideList& list = state.list;
    ReadSlideList(records, document, state.edits.body, list);
    // A slide listed twice, by one persist identifier or by two that lead to
    // the same record, or slides whose records overlap, would have the same
    // shapes read once for each: saved lists never do it.
    std::vector<Extent>& listed = state.listed;
    listed.clear();
    for (const SlideEntry& slide : list.slides) {
        const Record container = records.At(index.Offset(slide.persistId));
        if (container.type != kSlide) ThrowDamaged();
        listed.push_back(ExtentOf(container));
    }
    if (!Disjoint(listed)) ThrowDamaged();
    UnitPlace place;
    for (const SlideEntry& slide : list.slides) {
        ++place.slide;  // the list holds the slides in show order
        const Record container = records.At(index.Offset(slide.persistId));
        const bool stopped = ReadSlide(records, container, list, slide, state.shapes, sink, place);
        if (stopped) return;
    }
}

}  // namespace querna
