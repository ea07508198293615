#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "documents/PowerPointBinaryText.h"
#include "tests/native/DocumentTestSupport.h"

namespace querna {
namespace {

using testing::CollectingSink;
using testing::FaultOf;
using testing::Le16;
using testing::Le32;
using testing::Utf16;
using Units = std::vector<std::u16string>;

std::string Atom(uint16_t type, const std::string& body, uint16_t instance = 0) {
    return Le16(static_cast<uint16_t>(instance << 4)) + Le16(type) +
           Le32(static_cast<uint32_t>(body.size())) + body;
}
std::string Container(uint16_t type, const std::string& body, uint16_t instance = 0) {
    return Le16(static_cast<uint16_t>(0x000F | (instance << 4))) + Le16(type) +
           Le32(static_cast<uint32_t>(body.size())) + body;
}
std::string Chars(std::u16string_view text) {
    return Atom(0x0FA0, Utf16(text));
}
std::string Bytes(const std::string& text) {
    return Atom(0x0FA8, text);
}
std::string TextHeader() {
    return Atom(0x0F9F, Le32(1));
}
std::string Shape(const std::string& textbox) {
    std::string body = Atom(0xF00A, std::string(8, '\0'));
    if (!textbox.empty()) body += Container(0xF00D, textbox);
    return Container(0xF004, body);
}
std::string Slide(const std::string& shapes) {
    const std::string group = Container(0xF003, Shape("") + shapes);
    return Container(
        0x03EE,
        Atom(0x03EF, std::string(24, '\0')) +
            Container(0x040C, Container(0xF002, Atom(0xF008, std::string(8, '\0')) + group)));
}

// A presentation stream laid out by hand: records at known offsets, one or
// more user edits each with its persist directory.
struct Presentation {
    std::string stream;
    std::map<uint32_t, uint32_t> pending;  // persist id -> offset, for the next edit
    uint32_t lastEdit = 0;

    uint32_t Add(const std::string& record) {
        const auto at = static_cast<uint32_t>(stream.size());
        stream += record;
        return at;
    }
    uint32_t Persist(uint32_t id, const std::string& record) { return pending[id] = Add(record); }
    // Writes the persist directory and a user edit for what was added since
    // the last edit; returns the edit's offset.
    uint32_t Edit(uint32_t documentId, uint32_t userEditLength = 0x1C) {
        std::string entries;
        for (const auto& [id, offset] : pending) entries += Le32(id | (1u << 20)) + Le32(offset);
        pending.clear();
        return AddEdit(Add(Atom(0x1772, entries)), documentId, userEditLength);
    }
    // A user edit after the last one, naming the persist directory at `directory`.
    uint32_t AddEdit(uint32_t directory, uint32_t documentId, uint32_t userEditLength = 0x1C) {
        lastEdit = Add(UserEdit(directory, documentId, userEditLength, userEditLength));
        return lastEdit;
    }
    // A user edit atom of `fields` bytes that claims `claimed` bytes.
    std::string UserEdit(uint32_t directory, uint32_t documentId, uint32_t fields,
                         uint32_t claimed) const {
        std::string edit = Le32(0) + Le16(0) + '\0' + '\x03' + Le32(lastEdit) + Le32(directory) +
                           Le32(documentId) + Le32(10) + Le16(1) + Le16(0);
        edit.resize(fields, '\0');
        return Le16(0) + Le16(0x0FF5) + Le32(claimed) + edit;
    }
    testing::StreamStorage Storage(uint32_t token = 0xE391C05F, uint8_t major = 3) const {
        const std::string user = "me";
        const std::string body = Le32(0x14) + Le32(token) + Le32(lastEdit) + Le16(2) +
                                 Le16(0x03F4) + static_cast<char>(major) + '\0' + Le16(0) + user;
        testing::StreamStorage storage;
        storage.streams["Current User"] = Atom(0x0FF6, body);
        storage.streams["PowerPoint Document"] = stream;
        return storage;
    }
};

std::string SlideList(uint16_t instance,
                      const std::vector<std::pair<uint32_t, std::string>>& slides) {
    std::string body;
    for (const auto& [id, texts] : slides)
        body += Atom(0x03F3, Le32(id) + std::string(16, '\0')) + texts;
    return Container(0x0FF0, body, instance);
}
std::string Document(const std::string& lists) {
    return Container(0x03E8, Atom(0x03E9, std::string(40, '\0')) + lists);
}

Units Read(CompoundStorage& storage, size_t stopAfter = 0) {
    CollectingSink sink(stopAfter);
    ReadPowerPointBinaryText(storage, sink);
    return sink.units;
}

TEST(PowerPointBinaryText, ReadsTheSlideShapesOfTheFixture) {
    testing::ImageStorage storage(testing::FixtureBytes("slides.ppt"));
    // Not the master's text box, the notes, the grouped shapes or the table.
    const Units expected = {
        u"青禾标题 Title Slide",
        u"第一段 first point\rSecond point 한국어",
        u"Free text box 自由文本\rSecond line",
        u"Rectangle words",
    };
    EXPECT_EQ(Read(storage), expected);
}

TEST(PowerPointBinaryText, MapsTheFixtureFaults) {
    testing::ImageStorage empty(testing::FixtureBytes("empty.ppt"));
    EXPECT_TRUE(Read(empty).empty());
    testing::ExpectFixtureFaults(
        {
            {"encrypted.ppt", DocumentFault::Encrypted},
            {"slides-truncated.ppt", DocumentFault::Damaged},
        },
        [](CompoundStorage& storage) { Read(storage); });
}

TEST(PowerPointBinaryText, ReadsReportedPresentationsOrNamesTheirOldFormat) {
    // Real presentations from the public test data of Apache POI: one saved
    // for both PowerPoint 95 and 97, one of PowerPoint 95 only.
    testing::ImageStorage dual(testing::FixtureBytes("poi_bug56240.ppt"));
    const Units units = Read(dual);
    EXPECT_EQ(units.size(), 192u);
    EXPECT_EQ(units.front(), u"Finanzkrise Teil 4 :\rBetriebsbedingte Kündigung");
    testing::ExpectFixtureFaults({{"poi_PPT95.ppt", DocumentFault::OldFormat}},
                                 [](CompoundStorage& storage) { Read(storage); });
}

// One slide of every kind of shape, a master list and a notes list that must
// not be read, in slide-list order different from the stream's order.
Presentation Sample() {
    Presentation p;
    const std::string shapes =
        Shape(TextHeader() + Chars(u"own text\r第二段")) +
        Shape(TextHeader() + Atom(0x0F9E, Le32(1))) +  // the list's second placeholder text
        Shape(TextHeader() + Atom(0x0F9E, Le32(1))) +  // and again: it is read once
        // 8-bit text is Latin-1; of an odd length, it leaves the records
        // after it at odd offsets, where UTF-16 text is not read in place.
        Shape(TextHeader() + Bytes("caf\xE9s")) +
        Container(0xF003, Shape("") + Shape(TextHeader() + Chars(u"grouped"))) +
        Shape("") +                                   // a picture: no text box
        Shape(TextHeader() + Atom(0x0F9E, Le32(7)));  // a reference to no text
    p.Persist(4, Slide(Shape(TextHeader() + Chars(u"second slide"))));
    p.Persist(3, Slide(shapes));
    p.Persist(5, Slide(Shape(TextHeader() + Chars(u"master text"))));
    const std::string lists =
        SlideList(1, {{5, ""}}) +
        SlideList(0, {{3, TextHeader() + Chars(u"title text") + TextHeader() + Chars(u"body text")},
                      {4, ""}}) +
        SlideList(2, {{5, ""}});
    p.Persist(1, Document(lists));
    p.Edit(1);
    return p;
}

// A presentation with `edits` older edits, each naming a persist directory
// that starts inside the one of the edit after it and runs to the same end:
// each directory holds the entries of all those that start after it.
Presentation OverlappingDirectories(uint32_t edits) {
    Presentation p;
    p.Persist(2, Slide(Shape(TextHeader() + Chars(u"slide"))));
    p.Persist(1, Document(SlideList(0, {{2, ""}})));
    // Read as persist entries, a directory's header is a run of 375 entries
    // (0x17720000: from id 0x20000, 0x177 of them) whose first offset is the
    // directory's length; 374 more offsets end the run.
    constexpr uint32_t kRun = 8 + 374 * 4;
    const auto end = static_cast<uint32_t>(p.stream.size() + edits * kRun);
    std::vector<uint32_t> directories;
    for (uint32_t k = 0; k < edits; ++k) {
        const auto at = static_cast<uint32_t>(p.stream.size());
        directories.push_back(
            p.Add(Le16(0) + Le16(0x1772) + Le32(end - at - 8) + std::string(kRun - 8, '\0')));
    }
    for (auto it = directories.rbegin(); it != directories.rend(); ++it) p.AddEdit(*it, 1);
    p.Edit(1);
    return p;
}

// A chain of `edits` edits: the oldest holds the slide's first text, the
// newest another, and the edits between are empty.
Presentation LongChain(uint32_t edits) {
    Presentation p;
    p.Persist(2, Slide(Shape(TextHeader() + Chars(u"first text"))));
    p.Persist(1, Document(SlideList(0, {{2, ""}})));
    p.Edit(1);
    for (uint32_t i = 2; i < edits; ++i) p.AddEdit(p.Add(Atom(0x1772, "")), 1);
    p.Persist(2, Slide(Shape(TextHeader() + Chars(u"edited text"))));
    p.Edit(1);
    return p;
}

// `slides` slides that all end in one drawing: each slide's first atom
// covers the headers of the slides after it up to the drawing.
Presentation SlidesSharingADrawing(uint32_t slides) {
    Presentation p;
    const std::string drawing = Container(
        0x040C, Container(0xF002, Atom(0xF008, std::string(8, '\0')) +
                                      Container(0xF003, Shape("") + Shape(TextHeader() +
                                                                          Chars(u"shared")))));
    std::vector<std::pair<uint32_t, std::string>> list;
    for (uint32_t k = 0; k < slides; ++k) {
        const uint32_t covered = 16 * (slides - 1 - k);
        const auto length = static_cast<uint32_t>(8 + covered + drawing.size());
        p.Persist(10 + k, Le16(0x000F) + Le16(0x03EE) + Le32(length) + Le16(0) + Le16(0x03EF) +
                              Le32(covered));
        list.push_back({10 + k, ""});
    }
    p.Add(drawing);
    p.Persist(1, Document(SlideList(0, list)));
    p.Edit(1);
    return p;
}

TEST(PowerPointBinaryText, ReadsEachShapesTextOnceInSlideOrder) {
    testing::StreamStorage storage = Sample().Storage();
    EXPECT_EQ(Read(storage), (Units{u"own text\r第二段", u"body text", u"cafés", u"second slide"}));
    EXPECT_EQ(Read(storage, 2), (Units{u"own text\r第二段", u"body text"}));
}

TEST(PowerPointBinaryText, FollowsTheNewestEditsPersistDirectory) {
    Presentation p = Sample();
    // A later save replaced slide 4 and left everything else where it was.
    p.Persist(4, Slide(Shape(TextHeader() + Chars(u"edited slide"))));
    p.Edit(1);
    testing::StreamStorage storage = p.Storage();
    EXPECT_EQ(Read(storage).back(), u"edited slide");
    // As many edits as may be followed: the newest text, however far back
    // the first was saved.
    testing::StreamStorage longest = LongChain(4096).Storage();
    EXPECT_EQ(Read(longest), Units{u"edited text"});
}

// A stream whose bytes from `readable` on cannot be read, as in a file cut
// short under the stream's last sectors.
class CutStream final : public ByteSource {
  public:
    CutStream(const std::string& bytes, size_t readable, uint64_t& bytesRead)
        : bytes_(bytes), readable_(readable), bytesRead_(bytesRead) {}
    uint64_t Size() const override { return bytes_.size(); }
    size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset >= bytes_.size()) return 0;
        count = std::min<size_t>(count, bytes_.size() - offset);
        if (offset + count > readable_) throw DocumentError(DocumentFault::Damaged);
        std::memcpy(buffer, bytes_.data() + offset, count);
        bytesRead_ += count;
        return count;
    }

  private:
    const std::string& bytes_;
    size_t readable_;
    uint64_t& bytesRead_;
};

class CutStorage final : public CompoundStorage {
  public:
    CutStorage(testing::StreamStorage& streams, size_t readable)
        : streams_(streams), readable_(readable) {}
    std::unique_ptr<ByteSource> OpenStream(const std::string& path) override {
        if (path != "PowerPoint Document") return streams_.OpenStream(path);
        return std::make_unique<CutStream>(streams_.streams.at(path), readable_, bytesRead);
    }
    uint64_t bytesRead = 0;  // from the presentation stream

  private:
    testing::StreamStorage& streams_;
    size_t readable_;
};

// The records are read wherever they can be: an unreadable stretch of the
// stream that no record reaches makes no damage, one that a record reaches
// does.
TEST(PowerPointBinaryText, ReadsTheRecordsBeforeAnUnreadableEndOfTheStream) {
    testing::StreamStorage streams = Sample().Storage();
    std::string& stream = streams.streams["PowerPoint Document"];
    const size_t end = stream.size();
    stream += std::string(700, '\xFF');
    CutStorage unreached(streams, end);
    EXPECT_EQ(Read(unreached),
              (Units{u"own text\r第二段", u"body text", u"cafés", u"second slide"}));
    CutStorage reached(streams, end - 4);  // the newest user edit is cut
    EXPECT_EQ(FaultOf([&] { Read(reached); }), DocumentFault::Damaged);
}

// Edits whose atoms each claim the rest of a long stretch: read whole, they
// would cost the stretch once per edit.
TEST(PowerPointBinaryText, ReadsNoMoreOfAUserEditThanItsFields) {
    Presentation p;
    p.Persist(2, Slide(Shape(TextHeader() + Chars(u"slide"))));
    p.Persist(1, Document(SlideList(0, {{2, ""}})));
    constexpr uint32_t kEdits = 64, kStretch = 32 << 10, kEditSize = 8 + 0x1C;
    std::vector<uint32_t> directories;
    for (uint32_t k = 0; k < kEdits; ++k) directories.push_back(p.Add(Atom(0x1772, "")));
    const auto end = static_cast<uint32_t>(p.stream.size() + kEdits * kEditSize + kStretch);
    for (const uint32_t directory : directories) {
        const auto at = static_cast<uint32_t>(p.stream.size());
        p.lastEdit = p.Add(p.UserEdit(directory, 1, 0x1C, end - at - 8));
    }
    p.Add(std::string(kStretch, '\0'));
    p.Edit(1);
    testing::StreamStorage streams = p.Storage();
    std::string& stream = streams.streams["PowerPoint Document"];
    const size_t readable = stream.size();
    stream += std::string(64, '\xFF');  // read a record at a time, as a cut file is
    CutStorage storage(streams, readable);
    EXPECT_EQ(FaultOf([&] { Read(storage); }), DocumentFault::Damaged);  // the edits overlap
    EXPECT_LT(storage.bytesRead, readable);
}

TEST(PowerPointBinaryText, ReadsThePowerPoint97CopyOfADualFormatFile) {
    const Presentation p = Sample();
    testing::StreamStorage dual;
    for (const auto& [name, bytes] : p.Storage().streams)
        dual.streams["PP97_DUALSTORAGE/" + name] = bytes;
    // The PowerPoint 95 copy at the root: its user name, and records of its own.
    dual.streams["Current User"] = Le32(2) + "me";
    dual.streams["PowerPoint Document"] = std::string(64, '\xFF');
    EXPECT_EQ(Read(dual).size(), 4u);
}

TEST(PowerPointBinaryText, RefusesASlideListedTwiceBeforeReadingIt) {
    // One slide of 200 shapes listed 20,000 times: four million shapes to
    // read, unless the list is refused.
    Presentation p;
    std::string shapes;
    for (int i = 0; i < 200; ++i) shapes += Shape(TextHeader() + Chars(u"again"));
    p.Persist(2, Slide(shapes));
    const std::vector<std::pair<uint32_t, std::string>> list(20000, {2, ""});
    p.Persist(1, Document(SlideList(0, list)));
    p.Edit(1);
    testing::StreamStorage storage = p.Storage();
    CollectingSink sink;
    EXPECT_EQ(FaultOf([&] { ReadPowerPointBinaryText(storage, sink); }), DocumentFault::Damaged);
    EXPECT_TRUE(sink.units.empty());

    // Two persist identifiers of one slide record are the same slide.
    Presentation q;
    const uint32_t slide = q.Persist(2, Slide(Shape(TextHeader() + Chars(u"once"))));
    q.pending[3] = slide;
    q.Persist(1, Document(SlideList(0, {{2, ""}, {3, ""}})));
    q.Edit(1);
    testing::StreamStorage twice = q.Storage();
    EXPECT_EQ(FaultOf([&] { Read(twice); }), DocumentFault::Damaged);
}

TEST(PowerPointBinaryText, MapsHostilePresentationsToTheirFaults) {
    const struct {
        const char* what;
        std::function<testing::StreamStorage()> make;
        DocumentFault fault;
    } cases[] = {
        {"encrypted header token", [] { return Sample().Storage(0xF3D1C4DF); },
         DocumentFault::Encrypted},
        {"encryption session in the edit",
         [] {
             Presentation p = Sample();
             p.Edit(1, 0x20);
             return p.Storage();
         },
         DocumentFault::Encrypted},
        {"PowerPoint 95 version", [] { return Sample().Storage(0xE391C05F, 2); },
         DocumentFault::OldFormat},
        {"PowerPoint 95 Current User",
         [] {
             auto s = Sample().Storage();
             s.streams["Current User"] = Le32(5) + "Danie";
             return s;
         },
         DocumentFault::OldFormat},
        {"PowerPoint 4.0 stream",
         [] {
             testing::StreamStorage s;
             s.streams["PP40"] = std::string(100, '\0');
             return s;
         },
         DocumentFault::OldFormat},
        {"unknown header token", [] { return Sample().Storage(0x12345678); },
         DocumentFault::Damaged},
        {"no Current User stream",
         [] {
             auto s = Sample().Storage();
             s.streams.erase("Current User");
             return s;
         },
         DocumentFault::Damaged},
        {"no document stream",
         [] {
             auto s = Sample().Storage();
             s.streams.erase("PowerPoint Document");
             return s;
         },
         DocumentFault::Damaged},
        {"edit chain that loops",
         [] {
             Presentation p = Sample();
             p.lastEdit = p.Edit(1);
             // Point the newest edit's offsetLastEdit at itself.
             p.stream.replace(p.lastEdit + 8 + 8, 4, Le32(p.lastEdit));
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"two edits sharing a persist directory",
         [] {
             Presentation p = Sample();
             const uint32_t first = p.lastEdit;
             p.Edit(1);
             // The newest edit names the older edit's directory as its own.
             p.stream.replace(p.lastEdit + 8 + 12, 4, p.stream.substr(first + 8 + 12, 4));
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"edits naming overlapping persist directories",
         [] { return OverlappingDirectories(64).Storage(); }, DocumentFault::Damaged},
        {"more edits than the limit", [] { return LongChain(4097).Storage(); },
         DocumentFault::Damaged},
        {"slides sharing one drawing", [] { return SlidesSharingADrawing(8).Storage(); },
         DocumentFault::Damaged},
        {"edit offset past the stream",
         [] {
             Presentation p = Sample();
             p.lastEdit = 999999;
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"document persist id missing",
         [] {
             Presentation p = Sample();
             p.Edit(42);
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"document id naming a slide",
         [] {
             Presentation p = Sample();
             p.Edit(3);
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"child record running past its container",
         [] {
             Presentation p;
             // The slide claims 16 bytes; its first child needs 108.
             p.Persist(
                 2, Le16(0x000F) + Le16(0x03EE) + Le32(16) + Atom(0x03EF, std::string(100, '\0')));
             p.Persist(1, Document(SlideList(0, {{2, ""}})));
             p.Edit(1);
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"damaged record after a shape's text",
         [] {
             // The shape's text comes first; the record after it claims 100
             // bytes of the 1 left in its text box.
             Presentation p;
             p.Persist(2, Slide(Shape(Chars(u"text") + Le16(0) + Le16(0x0FA0) + Le32(100) + "x")));
             p.Persist(1, Document(SlideList(0, {{2, ""}})));
             p.Edit(1);
             return p.Storage();
         },
         DocumentFault::Damaged},
        {"record longer than the stream",
         [] {
             Presentation p;
             p.Persist(1, Le16(0x000F) + Le16(0x03E8) + Le32(0x7FFFFFF0));
             p.Edit(1);
             return p.Storage();
         },
         DocumentFault::Damaged},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FaultOf([&] {
                      testing::StreamStorage storage = c.make();
                      Read(storage);
                  }),
                  c.fault)
            << c.what;
    }
}

// A search lends the reader the room it kept from the presentations before:
// whatever they left there (a longer slide list, placeholder texts taken, a
// read stopped or refused midway), each presentation reads as it reads alone.
TEST(PowerPointBinaryText, ReadsEachPresentationAsAloneInTheRoomTheOthersLeft) {
    Presentation edited = Sample();
    edited.Persist(4, Slide(Shape(TextHeader() + Chars(u"edited slide"))));
    edited.Edit(1);
    struct Case {
        std::function<std::unique_ptr<CompoundStorage>()> make;
        size_t stopAfter;
    };
    const auto image = [](const char* name) {
        return
            [name] { return std::make_unique<testing::ImageStorage>(testing::FixtureBytes(name)); };
    };
    const auto streams = [](const Presentation& p) {
        return [p] { return std::make_unique<testing::StreamStorage>(p.Storage()); };
    };
    const Case cases[] = {
        {image("poi_bug56240.ppt"), 0}, {streams(Sample()), 1},
        {image("slides.ppt"), 0},       {image("encrypted.ppt"), 0},
        {streams(Sample()), 0},         {image("slides-truncated.ppt"), 0},
        {streams(edited), 0},           {image("poi_bug56240.ppt"), 3},
        {image("empty.ppt"), 0},
    };
    const auto read = [](const Case& c, PowerPointBuffers* buffers) {
        CollectingSink sink(c.stopAfter);
        try {
            const std::unique_ptr<CompoundStorage> storage = c.make();
            ReadPowerPointBinaryText(*storage, sink, buffers);
        } catch (const DocumentError& e) {
            sink.units.push_back(u"fault " + std::u16string(1, u'0' + static_cast<int>(e.Fault())));
        }
        return sink.units;
    };
    std::vector<Units> alone;
    for (const Case& c : cases) alone.push_back(read(c, nullptr));
    PowerPointBuffers buffers;
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < std::size(cases); ++i) {
            const size_t k = round == 0 ? i : std::size(cases) - 1 - i;
            EXPECT_EQ(read(cases[k], &buffers), alone[k]) << "case " << k;
        }
    }
}

}  // namespace
}  // namespace querna
