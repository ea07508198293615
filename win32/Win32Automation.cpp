#include "win32/Win32Automation.h"

#include <windows.h>
// After <windows.h>, which it needs.
#include <oleauto.h>

#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include "win32/CodePage.h"
#include "win32/Handles.h"

namespace querna::win32 {

namespace {

// The one kind of handle this bridge makes: a counted IDispatch reference.
class DispatchHandle final : public AutoHandle {
  public:
    explicit DispatchHandle(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
    IDispatch* Get() const { return dispatch_.Get(); }

  private:
    ComPtr<IDispatch> dispatch_;
};

AutoValue Hold(ComPtr<IDispatch> dispatch) {
    if (!dispatch) return AutoObject{};
    return AutoObject(std::make_shared<DispatchHandle>(std::move(dispatch)));
}

// The IDispatch a value holds, or null for a value without an object.
IDispatch* DispatchOf(const AutoValue& value) {
    const auto* object = std::get_if<AutoObject>(&value);
    if (object == nullptr || !*object) return nullptr;
    const auto* handle = dynamic_cast<const DispatchHandle*>(object->Handle());
    return handle != nullptr ? handle->Get() : nullptr;
}

// BSTRs may hold NULs, so the length comes from the string, not a terminator.
std::string Narrow(BSTR text) {
    return ToCodePageLossy({text, SysStringLen(text)});
}

[[noreturn]] void ThrowStatus(HRESULT status) {
    throw QuernaError(OleErrorText(status));
}

// A server exception: its own description when it gave one, else the text of
// its error code.
[[noreturn]] void ThrowServerException(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn != nullptr) info.pfnDeferredFillIn(&info);
    if (SysStringLen(info.bstrDescription) > 0) throw QuernaError(Narrow(info.bstrDescription));
    ThrowStatus(info.scode != 0 ? info.scode : DISP_E_EXCEPTION);
}

void ToVariant(const AutoValue& value, VARIANT& out) {
    if (const auto* b = std::get_if<bool>(&value)) {
        out.vt = VT_BOOL;
        out.boolVal = *b ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* i = std::get_if<int32_t>(&value)) {
        out.vt = VT_I4;
        out.lVal = *i;
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        const std::wstring wide = FromCodePage(*s);
        out.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (out.bstrVal == nullptr) throw std::bad_alloc();
        out.vt = VT_BSTR;
    } else if (std::holds_alternative<AutoObject>(value)) {
        // The array's VariantClear gives this reference back.
        out.pdispVal = DispatchOf(value);
        if (out.pdispVal != nullptr) out.pdispVal->AddRef();
        out.vt = VT_DISPATCH;
    } else if (std::holds_alternative<NotGiven>(value)) {
        out.vt = VT_ERROR;
        out.scode = DISP_E_PARAMNOTFOUND;
    }
}

// Types the conversions do not take directly are changed to an integer when
// the server's value is numeric, else to text.
AutoValue FromOtherVariant(const VARIANT& value) {
    // VariantChangeType only reads its source; its declaration lacks the const.
    VARIANT* source = const_cast<VARIANT*>(&value);
    Variant changed;
    if (SUCCEEDED(VariantChangeType(changed.Get(), source, 0, VT_I4))) {
        return static_cast<int32_t>(changed->lVal);
    }
    if (SUCCEEDED(VariantChangeType(changed.Get(), source, 0, VT_BSTR))) {
        return Narrow(changed->bstrVal);
    }
    throw QuernaError(kInvalidConversion);
}

AutoValue FromVariant(VARIANT& result) {
    Variant direct;
    if (FAILED(VariantCopyInd(direct.Get(), &result))) throw QuernaError(kInvalidConversion);
    const VARIANT& v = *direct.Get();
    switch (v.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return std::monostate{};
        case VT_BOOL:
            return v.boolVal != VARIANT_FALSE;
        case VT_I1:
            return static_cast<int32_t>(v.cVal);
        case VT_UI1:
            return static_cast<int32_t>(v.bVal);
        case VT_I2:
            return static_cast<int32_t>(v.iVal);
        case VT_UI2:
            return static_cast<int32_t>(v.uiVal);
        case VT_I4:
        case VT_INT:
            return static_cast<int32_t>(v.lVal);
        case VT_UI4:
        case VT_UINT:
            return static_cast<int32_t>(v.ulVal);
        case VT_BSTR:
            return Narrow(v.bstrVal);
        case VT_DISPATCH:
            if (v.pdispVal != nullptr) v.pdispVal->AddRef();
            return Hold(ComPtr<IDispatch>(v.pdispVal));
        case VT_UNKNOWN: {
            ComPtr<IDispatch> dispatch;
            if (v.punkVal != nullptr) {
                v.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put()));
            }
            return Hold(std::move(dispatch));
        }
        default:
            return FromOtherVariant(v);
    }
}

IDispatch* RequireDispatch(const AutoValue& target) {
    IDispatch* dispatch = DispatchOf(target);
    if (dispatch == nullptr) throw QuernaError(kInvalidVariantOperation);
    return dispatch;
}

// How the call is bound: by a name looked up at run time, or by a dispatch id
// taken from the type library.
enum class Binding { Late, Early };

AutoValue Invoke(IDispatch* dispatch, DISPID dispid, LCID lcid, CallKind kind,
                 const std::vector<AutoValue>& args, Binding binding) {
    // Invoke takes the arguments last first.
    VariantArray argv(args.size());
    for (size_t i = 0; i < args.size(); ++i) ToVariant(args[i], argv[args.size() - 1 - i]);

    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{argv.Data(), nullptr, static_cast<UINT>(args.size()), 0};
    WORD flags = static_cast<WORD>(kind);
    // A late-bound call without arguments may be reading a property
    // (Documents, Count, TextFrame): like every late-binding client it asks
    // for a method or a property read, which a server that dispatches through
    // its type library requires for a property.
    if (binding == Binding::Late && kind == CallKind::Method && args.empty()) {
        flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    }
    const bool put = kind == CallKind::PropertyPut;
    if (put) {
        // The value is the last argument, named as the property-put one; an
        // object is assigned as a reference, not by its default value.
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
        if (!args.empty() && HoldsObject(args.back())) flags = DISPATCH_PROPERTYPUTREF;
    }
    Variant result;
    ExcepInfo exception;
    UINT argumentError = 0;
    const HRESULT status =
        dispatch->Invoke(dispid, IID_NULL, lcid, flags, &params, put ? nullptr : result.Get(),
                         exception.Get(), &argumentError);
    if (status == DISP_E_EXCEPTION) ThrowServerException(*exception.Get());
    if (FAILED(status)) ThrowStatus(status);
    return put ? AutoValue{} : FromVariant(*result.Get());
}

GUID ParseGuid(const std::string& text) {
    std::wstring wide = FromCodePage(text);
    GUID guid{};
    const HRESULT status = IIDFromString(wide.c_str(), &guid);
    if (FAILED(status)) ThrowStatus(status);
    return guid;
}

// An application that is not installed: its program identifier is unknown
// (CO_E_CLASSSTRING) or its class is not registered (REGDB_E_CLASSNOTREG).
void ThrowCreationStatus(HRESULT status) {
    if (status == CO_E_CLASSSTRING || status == REGDB_E_CLASSNOTREG) {
        throw ServerAbsentError(OleErrorText(status));
    }
    ThrowStatus(status);
}

// Whether HKEY_CLASSES_ROOT\CLSID\{clsid} names a way to start the class,
// in the 64-bit or the 32-bit view of the registry.
bool ClassHasServer(const CLSID& clsid) {
    wchar_t text[40];
    if (StringFromGUID2(clsid, text, 40) == 0) return false;
    static constexpr const wchar_t* kServerKeys[] = {L"InprocServer32", L"LocalServer32",
                                                     L"LocalServer", L"TreatAs"};
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        for (const wchar_t* server : kServerKeys) {
            const std::wstring name = std::wstring(L"CLSID\\") + text + L"\\" + server;
            RegKey key;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_QUERY_VALUE | view,
                              key.Put()) == ERROR_SUCCESS) {
                return true;
            }
        }
    }
    return false;
}

// The default string of HKEY_CLASSES_ROOT\<key>, if it has one of at most
// 255 characters.
std::optional<std::wstring> ClassesRootString(const std::wstring& key) {
    wchar_t text[256] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text);
}

// The class a program identifier names: its CLSID key, else that of the
// version its CurVer key names (a version-independent identifier).
std::optional<CLSID> RegisteredClassOf(const std::wstring& progId) {
    std::optional<std::wstring> text = ClassesRootString(progId + L"\\CLSID");
    if (!text) {
        const std::optional<std::wstring> version = ClassesRootString(progId + L"\\CurVer");
        if (version && *version != progId) text = ClassesRootString(*version + L"\\CLSID");
    }
    CLSID clsid{};
    if (!text || FAILED(CLSIDFromString(text->c_str(), &clsid))) return std::nullopt;
    return clsid;
}

AutoValue CreateInstance(const CLSID& clsid) {
    // Asked for a class the registry does not know, COM goes on to ask the
    // RPC service for a running server; under Wine that starts the service,
    // which can take seconds. The registry answers the usual case (Office not
    // installed) at once, with the error COM itself would give.
    if (!ClassHasServer(clsid)) ThrowCreationStatus(REGDB_E_CLASSNOTREG);
    ComPtr<IDispatch> dispatch;
    const HRESULT status = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                            reinterpret_cast<void**>(dispatch.Put()));
    if (FAILED(status)) ThrowCreationStatus(status);
    return Hold(std::move(dispatch));
}

}  // namespace

bool IsClassRegistered(const std::string& clsid) {
    return ClassHasServer(ParseGuid(clsid));
}

bool IsProgIdRegistered(const std::string& progId) {
    const std::optional<CLSID> clsid = RegisteredClassOf(FromCodePage(progId));
    return clsid && ClassHasServer(*clsid);
}

std::string OleErrorText(long code) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    const std::unique_ptr<char, decltype(&LocalFree)> owner(buffer, &LocalFree);
    std::string text(buffer != nullptr ? buffer : "", length);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    if (!text.empty()) return text;
    char fallback[32];
    std::snprintf(fallback, sizeof fallback, "OLE error %.8lx", static_cast<unsigned long>(code));
    return fallback;
}

AutoValue Win32Automation::CreateObject(const std::string& progId) {
    const std::wstring wide = FromCodePage(progId);
    CLSID clsid{};
    const HRESULT status = CLSIDFromProgID(wide.c_str(), &clsid);
    if (FAILED(status)) ThrowCreationStatus(status);
    return CreateInstance(clsid);
}

AutoValue Win32Automation::CreateObjectOfClass(const std::string& clsid) {
    return CreateInstance(ParseGuid(clsid));
}

AutoValue Win32Automation::Call(const AutoValue& target, const std::string& name, CallKind kind,
                                const std::vector<AutoValue>& args) {
    IDispatch* dispatch = RequireDispatch(target);
    std::wstring wide = FromCodePage(name);
    LPOLESTR names[] = {wide.data()};
    DISPID dispid = DISPID_UNKNOWN;
    const HRESULT status =
        dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
    if (status == DISP_E_UNKNOWNNAME) throw QuernaError(UnknownMemberText(name));
    if (FAILED(status)) ThrowStatus(status);
    return Invoke(dispatch, dispid, LOCALE_USER_DEFAULT, kind, args, Binding::Late);
}

AutoValue Win32Automation::CallById(const AutoValue& target, int32_t dispid, CallKind kind,
                                    const std::vector<AutoValue>& args) {
    return Invoke(RequireDispatch(target), dispid, 0, kind, args, Binding::Early);
}

AutoValue Win32Automation::QueryInterface(const AutoValue& target, const std::string& iid) {
    const GUID wanted = ParseGuid(iid);
    IDispatch* dispatch = DispatchOf(target);
    if (dispatch == nullptr) throw QuernaError(kInterfaceNotSupported);
    ComPtr<IDispatch> result;
    const HRESULT status = dispatch->QueryInterface(wanted, reinterpret_cast<void**>(result.Put()));
    if (FAILED(status) || !result) throw QuernaError(kInterfaceNotSupported);
    return Hold(std::move(result));
}

}  // namespace querna::win32
