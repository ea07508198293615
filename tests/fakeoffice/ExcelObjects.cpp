// The fake Excel, answering by the dispatch ids of Excel's type library (and
// by name): Application, Workbooks, Workbook, Sheets, Worksheet (or a chart
// sheet, which refuses _Worksheet) and Range. Range.Find looks for a cell that
// holds the text, letter case not significant, and gives the cell or nothing.
#include "tests/fakeoffice/FakeDispatch.h"

namespace querna::fakeoffice {

namespace {

enum : DISPID {
    kDisplayAlerts = 0x157,
    kWorkbooks = 0x23c,
    kActiveWorkbook = 0x134,
    kQuit = 0x12e,
    kOpen = 0x783,
    kActivate = 0x130,
    kSaved = 0x12a,
    kWorksheets = 0x1ee,
    kCount = 0x76,
    kItem = 0xaa,
    kCells = 0xee,
    kFind = 0x18e,
};

using Kind = FakeDispatch::Kind;

class Range final : public FakeDispatch {
  public:
    // The cells of one sheet (1-based), or one found cell of it.
    Range(std::shared_ptr<Session> session, int32_t sheet)
        : FakeDispatch(L"Range", std::move(session)), sheet_(sheet) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Find", kFind, Kind::Method}};
        return members;
    }
    const IID* ExtraInterface() const override { return &kExcelRangeIid; }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(1, 9);
        const std::wstring sought = frame.Text(0);
        const auto& cells = State().fixture.sheets[static_cast<size_t>(sheet_ - 1)].cells;
        for (const std::wstring& cell : cells) {
            if (ContainsIgnoringCase(cell, sought)) {
                frame.ReturnObject(new Range(SharedState(), sheet_));
                return;
            }
        }
        frame.ReturnObject(nullptr);
    }

  private:
    int32_t sheet_;
};

class Sheet final : public FakeDispatch {
  public:
    Sheet(std::shared_ptr<Session> session, int32_t sheet, bool worksheet)
        : FakeDispatch(worksheet ? L"Worksheet" : L"Chart", std::move(session)),
          sheet_(sheet),
          worksheet_(worksheet) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> worksheet = {
            {L"Activate", kActivate, Kind::Method},
            {L"Cells", kCells, Kind::Get},
        };
        static const std::vector<Member> chart = {{L"Activate", kActivate, Kind::Method}};
        return worksheet_ ? worksheet : chart;
    }
    const IID* ExtraInterface() const override {
        return worksheet_ ? &kExcelWorksheetIid : nullptr;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        frame.RequireCount(0, 0);
        if (member.id == kCells) frame.ReturnObject(new Range(SharedState(), sheet_));
    }

  private:
    int32_t sheet_;
    bool worksheet_;
};

class Sheets final : public FakeDispatch {
  public:
    explicit Sheets(std::shared_ptr<Session> session)
        : FakeDispatch(L"Sheets", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Count", kCount, Kind::Get},
            {L"Item", kItem, Kind::Get},
        };
        return members;
    }
    void Answer(const Member& member, CallFrame& frame) override {
        const auto& sheets = State().fixture.sheets;
        const auto count = static_cast<int32_t>(sheets.size());
        if (member.id == kCount) {
            frame.RequireCount(0, 0);
            frame.ReturnInt(count);
            return;
        }
        frame.RequireCount(1, 1);
        const int32_t index = frame.Int(0);
        if (index < 1 || index > count) Fail(L"Subscript out of range");
        const bool worksheet = sheets[static_cast<size_t>(index - 1)].worksheet;
        frame.ReturnObject(new Sheet(SharedState(), index, worksheet));
    }
};

class Workbook final : public FakeDispatch {
  public:
    explicit Workbook(std::shared_ptr<Session> session)
        : FakeDispatch(L"Workbook", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"Activate", kActivate, Kind::Method},
            {L"Saved", kSaved, Kind::Put},
            {L"Worksheets", kWorksheets, Kind::Get},
        };
        return members;
    }
    const IID* ExtraInterface() const override { return &kExcelWorkbookIid; }
    void Answer(const Member& member, CallFrame& frame) override {
        if (member.id == kSaved) {
            State().saved = frame.Int(0) != 0;
            return;
        }
        frame.RequireCount(0, 0);
        if (member.id == kWorksheets) frame.ReturnObject(new Sheets(SharedState()));
    }
};

class Workbooks final : public FakeDispatch {
  public:
    explicit Workbooks(std::shared_ptr<Session> session)
        : FakeDispatch(L"Workbooks", std::move(session)) {}

  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {{L"Open", kOpen, Kind::Method}};
        return members;
    }
    void Answer(const Member&, CallFrame& frame) override {
        frame.RequireCount(1, 15);
        OpenFixture(State(), frame.Text(0));
        frame.ReturnObject(new Workbook(SharedState()));
    }
};

class ExcelApplication final : public FakeApplication {
  protected:
    const std::vector<Member>& Members() const override {
        static const std::vector<Member> members = {
            {L"DisplayAlerts", kDisplayAlerts, Kind::Put},
            {L"Workbooks", kWorkbooks, Kind::Get},
            {L"ActiveWorkbook", kActiveWorkbook, Kind::Get},
            {L"Quit", kQuit, Kind::Method},
        };
        return members;
    }
    const IID* ExtraInterface() const override { return &kExcelApplicationIid; }
    void Answer(const Member& member, CallFrame& frame) override {
        if (member.id == kDisplayAlerts) {
            frame.Int(0);
            return;
        }
        frame.RequireCount(0, 0);
        if (member.id == kQuit && State().objects > 1) {
            WriteLog(L"Application.Quit while " + std::to_wstring(State().objects - 1) +
                     L" other objects are held");
        }
        if (member.id == kWorkbooks) frame.ReturnObject(new Workbooks(SharedState()));
        if (member.id == kActiveWorkbook) {
            frame.ReturnObject(State().opened ? new Workbook(SharedState()) : nullptr);
        }
    }
};

}  // namespace

IDispatch* NewExcelApplication() {
    return new ExcelApplication();
}

}  // namespace querna::fakeoffice
