#include "tests/fakeoffice/FakeDispatch.h"

#include <cwchar>
#include <new>

#include "tests/fakeoffice/FakeOfficeIds.h"

namespace querna::fakeoffice {

namespace {

LONG g_liveObjects = 0;

std::wstring FromCodePage(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int count = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), count);
    return wide;
}

std::string ToCodePage(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int count =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), size, bytes.data(), count, nullptr, nullptr);
    return bytes;
}

std::string ReadWholeFile(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail(L"Cannot open " + path);
    std::string bytes;
    char block[4096];
    DWORD read = 0;
    while (ReadFile(file, block, sizeof block, &read, nullptr) && read > 0)
        bytes.append(block, read);
    CloseHandle(file);
    return bytes;
}

// Splits "first rest of line" at the first blank.
void SplitWord(const std::wstring& line, std::wstring& first, std::wstring& rest) {
    const size_t blank = line.find(L' ');
    first = line.substr(0, blank);
    rest = blank == std::wstring::npos ? std::wstring() : line.substr(blank + 1);
}

FailureSwitch ParseFailure(const std::wstring& directive, const std::wstring& rest) {
    FailureSwitch failure;
    std::wstring value;
    SplitWord(rest, failure.member, value);
    if (directive == L"fail") {
        failure.fault.description = value;
    } else {
        const HRESULT code = static_cast<HRESULT>(std::wcstoul(value.c_str(), nullptr, 16));
        if (directive == L"fail-code") failure.fault.scode = code;
        if (directive == L"fail-status") failure.fault.status = code;
    }
    return failure;
}

void AddShape(Fixture& fixture, FixtureShape::Kind kind, const std::wstring& text) {
    if (fixture.slides.empty()) fixture.slides.emplace_back();
    fixture.slides.back().push_back({kind, text});
}

void ParseLine(Fixture& fixture, const std::wstring& line) {
    std::wstring directive;
    std::wstring rest;
    SplitWord(line, directive, rest);
    if (directive == L"text") {
        fixture.paragraphs.push_back(rest);
    } else if (directive == L"sheet" || directive == L"chart") {
        fixture.sheets.push_back({directive == L"sheet", {}});
    } else if (directive == L"cell") {
        if (fixture.sheets.empty()) fixture.sheets.emplace_back();
        fixture.sheets.back().cells.push_back(rest);
    } else if (directive == L"slide") {
        fixture.slides.emplace_back();
    } else if (directive == L"shape") {
        AddShape(fixture, FixtureShape::Text, rest);
    } else if (directive == L"picture") {
        AddShape(fixture, FixtureShape::Picture, L"");
    } else if (directive == L"broken") {
        AddShape(fixture, FixtureShape::Broken, rest);
    } else if (directive.rfind(L"fail", 0) == 0) {
        fixture.failures.push_back(ParseFailure(directive, rest));
    }
}

const wchar_t* ExcelInterfaceName(REFIID iid) {
    if (IsEqualIID(iid, kExcelApplicationIid)) return L"_Application";
    if (IsEqualIID(iid, kExcelWorkbookIid)) return L"_Workbook";
    if (IsEqualIID(iid, kExcelWorksheetIid)) return L"_Worksheet";
    if (IsEqualIID(iid, kExcelRangeIid)) return L"Range";
    return nullptr;
}

std::wstring Describe(const VARIANT& v) {
    if (v.vt == (VT_BYREF | VT_VARIANT)) return L"&" + Describe(*v.pvarVal);
    switch (v.vt) {
        case VT_EMPTY:
            return L"empty";
        case VT_NULL:
            return L"null";
        case VT_BOOL:
            return v.boolVal != VARIANT_FALSE ? L"true" : L"false";
        case VT_I4:
            return std::to_wstring(v.lVal);
        case VT_I2:
            return L"i2:" + std::to_wstring(v.iVal);
        case VT_BSTR:
            return L"\"" + std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) + L"\"";
        case VT_DISPATCH:
            return v.pdispVal != nullptr ? L"object" : L"nothing";
        case VT_ERROR:
            if (v.scode == DISP_E_PARAMNOTFOUND) return L"missing";
            return L"error:" + std::to_wstring(static_cast<unsigned long>(v.scode));
        default:
            return L"vt=" + std::to_wstring(v.vt);
    }
}

bool KindAccepts(FakeDispatch::Kind kind, WORD flags, const DISPPARAMS* params) {
    switch (kind) {
        case FakeDispatch::Kind::Method:
            return (flags & DISPATCH_METHOD) != 0;
        case FakeDispatch::Kind::Get:
            // As a server that dispatches through its type library: a
            // property is read only by a call that asks for a property read.
            return (flags & DISPATCH_PROPERTYGET) != 0;
        case FakeDispatch::Kind::Put:
            return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0 &&
                   params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    }
    return false;
}

HRESULT Report(const Fault& fault, EXCEPINFO* exception) {
    if (fault.status != DISP_E_EXCEPTION) return fault.status;
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(L"FakeOffice");
        if (!fault.description.empty()) {
            exception->bstrDescription = SysAllocString(fault.description.c_str());
        }
        exception->scode = fault.scode;
    }
    return DISP_E_EXCEPTION;
}

}  // namespace

const IID kExcelApplicationIid = {0x000208D5, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kExcelWorkbookIid = {0x000208DA, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kExcelWorksheetIid = {0x000208D8, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kExcelRangeIid = {0x00020846, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

void Fail(const std::wstring& description) {
    throw Fault{DISP_E_EXCEPTION, description, E_FAIL};
}

Fixture ReadFixture(const std::wstring& path) {
    const std::wstring text = FromCodePage(ReadWholeFile(path));
    Fixture fixture;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        ParseLine(fixture, line);
        start = end + 1;
    }
    return fixture;
}

void OpenFixture(Session& session, const std::wstring& path) {
    // The switches stay in force after a failed open, for the calls that follow.
    session.fixture = ReadFixture(path);
    if (const Fault* failure = session.FailureFor(L"Open")) throw *failure;
    session.opened = true;
}

const Fault* Session::FailureFor(const std::wstring& member) const {
    for (const FailureSwitch& failure : fixture.failures) {
        if (Lower(failure.member) == Lower(member)) return &failure.fault;
    }
    return nullptr;
}

void WriteLog(const std::wstring& line) {
    wchar_t path[MAX_PATH];
    const std::wstring variable = FromCodePage(kLogVariable);
    const DWORD length = GetEnvironmentVariableW(variable.c_str(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string bytes = ToCodePage(line) + "\r\n";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring Lower(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

bool ContainsIgnoringCase(const std::wstring& text, const std::wstring& part) {
    return Lower(text).find(Lower(part)) != std::wstring::npos;
}

const VARIANT& CallFrame::Arg(UINT i) const {
    const VARIANT& v = params_->rgvarg[params_->cArgs - 1 - i];
    return v.vt == (VT_BYREF | VT_VARIANT) ? *v.pvarVal : v;
}

std::wstring CallFrame::Text(UINT i) const {
    const VARIANT& v = Arg(i);
    if (v.vt != VT_BSTR) throw Fault{DISP_E_TYPEMISMATCH, L"", 0};
    return std::wstring(v.bstrVal, SysStringLen(v.bstrVal));
}

int32_t CallFrame::Int(UINT i) const {
    VARIANT converted;
    VariantInit(&converted);
    // The source is only read; the declaration lacks the const.
    if (FAILED(VariantChangeType(&converted, const_cast<VARIANT*>(&Arg(i)), 0, VT_I4))) {
        throw Fault{DISP_E_TYPEMISMATCH, L"", 0};
    }
    return converted.lVal;
}

void CallFrame::RequireCount(UINT least, UINT most) const {
    if (Count() < least || Count() > most) throw Fault{DISP_E_BADPARAMCOUNT, L"", 0};
}

void CallFrame::ReturnObject(IDispatch* object) {
    if (result_ == nullptr) {
        if (object != nullptr) object->Release();
        return;
    }
    result_->vt = VT_DISPATCH;
    result_->pdispVal = object;
}

void CallFrame::ReturnBool(bool value) {
    if (result_ == nullptr) return;
    result_->vt = VT_BOOL;
    result_->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void CallFrame::ReturnInt(int32_t value) {
    if (result_ == nullptr) return;
    result_->vt = VT_I4;
    result_->lVal = value;
}

void CallFrame::ReturnText(const std::wstring& value) {
    if (result_ == nullptr) return;
    result_->vt = VT_BSTR;
    result_->bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
}

std::wstring DescribeArguments(const CallFrame& frame) {
    std::wstring text;
    for (UINT i = 0; i < frame.Count(); ++i) {
        if (i > 0) text += L", ";
        text += Describe(frame.Arg(i));
    }
    return text;
}

FakeDispatch::FakeDispatch(const wchar_t* className, std::shared_ptr<Session> session)
    : className_(className), session_(std::move(session)) {
    InterlockedIncrement(&g_liveObjects);
    ++session_->objects;
}

FakeDispatch::~FakeDispatch() {
    InterlockedDecrement(&g_liveObjects);
    --session_->objects;
}

long FakeDispatch::LiveObjects() {
    return g_liveObjects;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    const wchar_t* excelName = ExcelInterfaceName(iid);
    if (excelName != nullptr) WriteLog(std::wstring(className_) + L".QueryInterface " + excelName);
    const IID* extra = ExtraInterface();
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        (extra != nullptr && IsEqualIID(iid, *extra))) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE FakeDispatch::AddRef() {
    return InterlockedIncrement(&references_);
}

ULONG STDMETHODCALLTYPE FakeDispatch::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetTypeInfoCount(UINT* count) {
    if (count != nullptr) *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                                      DISPID* ids) {
    if (count == 0 || names == nullptr || ids == nullptr) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const std::wstring wanted = Lower(names[0]);
    for (const Member& member : Members()) {
        if (Lower(member.name) == wanted) {
            ids[0] = member.id;
            lookedUp_ = member.id;
            lookedUpName_ = names[0];
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

const FakeDispatch::Member* FakeDispatch::FindMember(DISPID id) const {
    for (const Member& member : Members()) {
        if (member.id == id) return &member;
    }
    return nullptr;
}

void FakeDispatch::LogCall(const Member& member, LCID lcid, WORD flags, const CallFrame& frame) {
    const bool byName = lookedUp_ == member.id;
    std::wstring line = std::wstring(className_) + L".";
    line += byName ? lookedUpName_ : L"#" + std::to_wstring(member.id);
    line += L" " + std::to_wstring(flags);
    if (!byName) line += L" @" + std::to_wstring(lcid);
    line += L" (" + DescribeArguments(frame) + L")";
    lookedUp_ = DISPID_UNKNOWN;
    WriteLog(line);
}

HRESULT STDMETHODCALLTYPE FakeDispatch::Invoke(DISPID id, REFIID, LCID lcid, WORD flags,
                                               DISPPARAMS* params, VARIANT* result,
                                               EXCEPINFO* exception, UINT*) {
    const Member* member = FindMember(id);
    if (member == nullptr || params == nullptr) return DISP_E_MEMBERNOTFOUND;
    CallFrame frame(params, result);
    LogCall(*member, lcid, flags, frame);
    if (!KindAccepts(member->kind, flags, params)) return DISP_E_MEMBERNOTFOUND;
    if (result != nullptr) VariantInit(result);
    // Keeps the state alive while the call runs, whatever the call releases.
    const std::shared_ptr<Session> session = session_;
    try {
        if (const Fault* failure = session->FailureFor(member->name)) throw *failure;
        Answer(*member, frame);
        return S_OK;
    } catch (const Fault& fault) {
        return Report(fault, exception);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace querna::fakeoffice
