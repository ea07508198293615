// The machinery of the fake Office server: one IDispatch base class that
// resolves member names without regard to case, checks the call kind, writes
// every call it receives to the call log, applies the failure switches of the
// opened fixture and turns failures into EXCEPINFO; the per-application state
// (Session) with the fixture the application opened.
//
// Call log lines (system code page):
//   +Application / -Application           an application object made / freed
//   Class.Member KIND (ARG, ...)          a call after a name look-up
//   Class.#DISPID KIND @LCID (ARG, ...)   a call by dispatch id alone
//   Class.QueryInterface NAME             a request for one of Excel's interfaces
//   Application.Quit while N ... held     Excel told to quit while N of its other
//                                         objects are still held (a real Excel
//                                         would stay running)
// KIND is the number of the DISPATCH_* flags; ARG is true, false, a number,
// "text", missing (the not-given marker), empty, object, or &ARG by reference.
#pragma once

#include <windows.h>
// After <windows.h>, which it needs.
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

namespace querna::fakeoffice {

// A failure the fake reports: a server exception (status DISP_E_EXCEPTION,
// with a description and/or an scode) or a bare failing status.
struct Fault {
    HRESULT status = DISP_E_EXCEPTION;
    std::wstring description;
    HRESULT scode = E_FAIL;
};

[[noreturn]] void Fail(const std::wstring& description);

// A failure switch of a fixture: calls of `member` fail with `fault`.
struct FailureSwitch {
    std::wstring member;
    Fault fault;
};

// One PowerPoint shape of a fixture.
struct FixtureShape {
    enum Kind { Text, Picture, Broken } kind = Text;
    std::wstring text;  // the text, or the failure description of a broken shape
};

// One Excel sheet of a fixture.
struct FixtureSheet {
    bool worksheet = true;  // false for a chart sheet
    std::vector<std::wstring> cells;
};

// A fixture document (see ReadFixture for its format).
struct Fixture {
    std::vector<std::wstring> paragraphs;
    std::vector<FixtureSheet> sheets;
    std::vector<std::vector<FixtureShape>> slides;
    std::vector<FailureSwitch> failures;
};

// Reads a fixture file: lines of "directive rest", in the system code page.
//   text T | sheet | chart | cell T | slide | shape T | picture | broken D
//   fail MEMBER D | fail-code MEMBER HEX | fail-status MEMBER HEX
// A file that cannot be read raises a Fault.
Fixture ReadFixture(const std::wstring& path);

// The state of one application object, shared by everything it hands out.
struct Session {
    Fixture fixture;
    bool opened = false;
    bool saved = false;
    int objects = 0;  // the live objects that share this session
    const Fault* FailureFor(const std::wstring& member) const;
};

void WriteLog(const std::wstring& line);
std::wstring Lower(std::wstring text);
bool ContainsIgnoringCase(const std::wstring& text, const std::wstring& part);

// The arguments and result of one Invoke.
class CallFrame {
  public:
    CallFrame(DISPPARAMS* params, VARIANT* result) : params_(params), result_(result) {}
    UINT Count() const { return params_->cArgs; }
    // The i-th argument in call order, by reference resolved.
    const VARIANT& Arg(UINT i) const;
    std::wstring Text(UINT i) const;
    int32_t Int(UINT i) const;
    void RequireCount(UINT least, UINT most) const;
    void ReturnObject(IDispatch* object);  // takes over one reference; null is "nothing"
    void ReturnBool(bool value);
    void ReturnInt(int32_t value);
    void ReturnText(const std::wstring& value);

  private:
    DISPPARAMS* params_;
    VARIANT* result_;
};

std::wstring DescribeArguments(const CallFrame& frame);

class FakeDispatch : public IDispatch {
  public:
    enum class Kind { Method, Get, Put };
    struct Member {
        const wchar_t* name;
        DISPID id;
        Kind kind;
    };

    FakeDispatch(const wchar_t* className, std::shared_ptr<Session> session);
    virtual ~FakeDispatch();
    FakeDispatch(const FakeDispatch&) = delete;
    FakeDispatch& operator=(const FakeDispatch&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    static long LiveObjects();

  protected:
    virtual const std::vector<Member>& Members() const = 0;
    // Carries out one accepted call; failures are thrown as Fault.
    virtual void Answer(const Member& member, CallFrame& frame) = 0;
    // The one Excel interface this object provides besides IDispatch, if any.
    virtual const IID* ExtraInterface() const { return nullptr; }

    const wchar_t* ClassName() const { return className_; }
    Session& State() { return *session_; }
    const std::shared_ptr<Session>& SharedState() const { return session_; }

  private:
    const Member* FindMember(DISPID id) const;
    void LogCall(const Member& member, LCID lcid, WORD flags, const CallFrame& frame);

    const wchar_t* className_;
    std::shared_ptr<Session> session_;
    LONG references_ = 1;
    // The dispatch id of the last name look-up, which the next Invoke consumes;
    // it tells a call by name from a call by id in the log.
    DISPID lookedUp_ = DISPID_UNKNOWN;
    std::wstring lookedUpName_;
};

// An application object; its making and freeing are logged, so that a test can
// see a fresh instance per file and that the last reference went.
class FakeApplication : public FakeDispatch {
  public:
    FakeApplication() : FakeDispatch(L"Application", std::make_shared<Session>()) {
        WriteLog(L"+Application");
    }
    ~FakeApplication() override { WriteLog(L"-Application"); }
};

// Loads the fixture a document path names into the session; a missing file, or
// a fixture that makes "Open" fail, raises a Fault.
void OpenFixture(Session& session, const std::wstring& path);

// The applications, each with one reference for the caller.
IDispatch* NewWordApplication();
IDispatch* NewPowerPointApplication();
IDispatch* NewExcelApplication();

// Excel's interfaces the fake answers QueryInterface for.
extern const IID kExcelApplicationIid;
extern const IID kExcelWorkbookIid;
extern const IID kExcelWorksheetIid;
extern const IID kExcelRangeIid;

}  // namespace querna::fakeoffice
