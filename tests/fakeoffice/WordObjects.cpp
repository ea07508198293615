// The fake Word: Application, Documents, Document, Range and Find, enough for
// opening a fixture and finding text in it (letter case not significant, as
// Word's find does by default).
#include "tests/fakeoffice/FakeDispatch.h"

namespace querna::fakeoffice {

namespace {

enum : DISPID { kVisible = 1, kDocuments, kQuit, kOpen, kSelect, kRange, kClose, kFind, kExecute };

using Kind = FakeDispatch::Kind;

class WordFind final : public FakeDispatch {
  public:
    explicit WordFind(std::shared_ptr<Session> session)
        : FakeDispatch(L"Find", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Execute", kExecute, Kind::Method}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(1, 15);
        const std::wstring sought = frame.Text(0);
        std::wstring text;
        for (const std::wstring& paragraph : State().fixture.paragraphs) text += paragraph + L"\r";
        frame.ReturnBool(!sought.empty() && ContainsIgnoringCase(text, sought));
    }
};

class WordRange final : public FakeDispatch {
  public:
    explicit WordRange(std::shared_ptr<Session> session)
        : FakeDispatch(L"Range", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Find", kFind, Kind::Get}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        frame.ReturnObject(new WordFind(SharedState()));
    }
};

class WordDocument final : public FakeDispatch {
  public:
    explicit WordDocument(std::shared_ptr<Session> session)
        : FakeDispatch(L"Document", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Select", kSelect, Kind::Method},
            {L"Range", kRange, Kind::Method},
            {L"Close", kClose, Kind::Method},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        if (member.id == kSelect) frame.RequireCount(0, 0);
        if (member.id == kClose) frame.RequireCount(0, 3);
        if (member.id == kRange) {
            frame.RequireCount(0, 2);
            frame.ReturnObject(new WordRange(SharedState()));
        }
    }
};

class WordDocuments final : public FakeDispatch {
  public:
    explicit WordDocuments(std::shared_ptr<Session> session)
        : FakeDispatch(L"Documents", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Open", kOpen, Kind::Method}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(1, 16);
        OpenFixture(State(), frame.Text(0));
        frame.ReturnObject(new WordDocument(SharedState()));
    }
};

class WordApplication final : public FakeApplication {
  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Visible", kVisible, Kind::Put},
            {L"Documents", kDocuments, Kind::Get},
            {L"Quit", kQuit, Kind::Method},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        if (member.id == kQuit) frame.RequireCount(0, 3);
        if (member.id == kDocuments) {
            frame.RequireCount(0, 0);
            frame.ReturnObject(new WordDocuments(SharedState()));
        }
    }
};

}  // namespace

IDispatch* NewWordApplication() {
    return new WordApplication();
}

}  // namespace querna::fakeoffice
