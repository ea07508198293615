// The fake PowerPoint: Application, Presentations, Presentation, Slides,
// Slide, Shapes, Shape, TextFrame and TextRange over a fixture's slides.
// HasTextFrame answers as PowerPoint does, with an MsoTriState integer; every
// call on a broken shape fails with the fixture's description.
#include "tests/fakeoffice/FakeDispatch.h"

namespace querna::fakeoffice {

namespace {

enum : DISPID {
    kVisible = 1,
    kPresentations,
    kQuit,
    kOpen,
    kSlides,
    kCount,
    kItem,
    kShapes,
    kHasTextFrame,
    kTextFrame,
    kTextRange,
    kText,
};

using Kind = FakeDispatch::Kind;
constexpr int32_t kMsoTrue = -1;
constexpr int32_t kMsoFalse = 0;

const FixtureShape& ShapeOf(Session& session, int32_t slide, int32_t shape) {
    return session.fixture.slides[static_cast<size_t>(slide - 1)][static_cast<size_t>(shape - 1)];
}

// One object of a shape's text: the frame or the range in it.
class ShapeText final : public FakeDispatch {
  public:
    ShapeText(std::shared_ptr<Session> session, bool frame, int32_t slide, int32_t shape)
        : FakeDispatch(frame ? L"TextFrame" : L"TextRange", std::move(session)),
          frame_(frame),
          slide_(slide),
          shape_(shape) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> frame = {{L"TextRange", kTextRange, Kind::Get}};
        static const std::vector<Member> range = {{L"Text", kText, Kind::Get}};
        return frame_ ? frame : range;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        if (frame_) {
            frame.ReturnObject(new ShapeText(SharedState(), false, slide_, shape_));
        } else {
            frame.ReturnText(ShapeOf(State(), slide_, shape_).text);
        }
    }

  private:
    bool frame_;
    int32_t slide_;
    int32_t shape_;
};

class Shape final : public FakeDispatch {
  public:
    Shape(std::shared_ptr<Session> session, int32_t slide, int32_t shape)
        : FakeDispatch(L"Shape", std::move(session)), slide_(slide), shape_(shape) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"HasTextFrame", kHasTextFrame, Kind::Get},
            {L"TextFrame", kTextFrame, Kind::Get},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        const FixtureShape& shape = ShapeOf(State(), slide_, shape_);
        if (shape.kind == FixtureShape::Broken) Fail(shape.text);
        const bool hasFrame = shape.kind == FixtureShape::Text;
        if (member.id == kHasTextFrame) {
            frame.ReturnInt(hasFrame ? kMsoTrue : kMsoFalse);
            return;
        }
        if (!hasFrame) Fail(L"This shape does not have a text frame.");
        frame.ReturnObject(new ShapeText(SharedState(), true, slide_, shape_));
    }

  private:
    int32_t slide_;
    int32_t shape_;
};

// A collection: the slides of the presentation, or the shapes of one slide.
class Collection final : public FakeDispatch {
  public:
    Collection(std::shared_ptr<Session> session, int32_t slide)
        : FakeDispatch(slide == 0 ? L"Slides" : L"Shapes", std::move(session)), slide_(slide) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Count", kCount, Kind::Get},
            // Slides.Item and Shapes.Item are methods in PowerPoint's type
            // library (Excel's Sheets.Item is a property).
            {L"Item", kItem, Kind::Method},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override;

  private:
    int32_t Size() {
        const auto& slides = State().fixture.slides;
        if (slide_ == 0) return static_cast<int32_t>(slides.size());
        return static_cast<int32_t>(slides[static_cast<size_t>(slide_ - 1)].size());
    }
    int32_t slide_;  // 0 for the slides
};

class Slide final : public FakeDispatch {
  public:
    Slide(std::shared_ptr<Session> session, int32_t slide)
        : FakeDispatch(L"Slide", std::move(session)), slide_(slide) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Shapes", kShapes, Kind::Get}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        frame.ReturnObject(new Collection(SharedState(), slide_));
    }

  private:
    int32_t slide_;
};

void Collection::Answer(const Member& member, CallFrame& frame) {
    if (member.id == kCount) {
        frame.RequireCount(0, 0);
        frame.ReturnInt(Size());
        return;
    }
    frame.RequireCount(1, 1);
    const int32_t index = frame.Int(0);
    if (index < 1 || index > Size()) Fail(L"Index out of bounds.");
    if (slide_ == 0) {
        frame.ReturnObject(new Slide(SharedState(), index));
    } else {
        frame.ReturnObject(new Shape(SharedState(), slide_, index));
    }
}

class Presentation final : public FakeDispatch {
  public:
    explicit Presentation(std::shared_ptr<Session> session)
        : FakeDispatch(L"Presentation", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Slides", kSlides, Kind::Get}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        frame.ReturnObject(new Collection(SharedState(), 0));
    }
};

class Presentations final : public FakeDispatch {
  public:
    explicit Presentations(std::shared_ptr<Session> session)
        : FakeDispatch(L"Presentations", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Open", kOpen, Kind::Method}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(1, 4);
        OpenFixture(State(), frame.Text(0));
        frame.ReturnObject(new Presentation(SharedState()));
    }
};

class PowerPointApplication final : public FakeApplication {
  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Visible", kVisible, Kind::Put},
            {L"Presentations", kPresentations, Kind::Get},
            {L"Quit", kQuit, Kind::Method},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        if (member.id == kQuit) frame.RequireCount(0, 0);
        if (member.id == kPresentations) {
            frame.RequireCount(0, 0);
            frame.ReturnObject(new Presentations(SharedState()));
        }
    }
};

}  // namespace

IDispatch* NewPowerPointApplication() {
    return new PowerPointApplication();
}

}  // namespace querna::fakeoffice
