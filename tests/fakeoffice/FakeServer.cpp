// The in-process server's entry points (exported through fakeoffice.def): one class
// factory per application class, and the count of live objects for the tests.
#include <objbase.h>
#include <windows.h>

#include <string>

#include "tests/fakeoffice/FakeDispatch.h"
#include "tests/fakeoffice/FakeOfficeIds.h"

namespace querna::fakeoffice {

namespace {

using NewApplication = IDispatch* (*)();

bool SameClass(REFCLSID wanted, const char* text) {
    const std::string narrow(text);
    const std::wstring wide(narrow.begin(), narrow.end());
    CLSID clsid{};
    return SUCCEEDED(CLSIDFromString(wide.c_str(), &clsid)) && IsEqualCLSID(wanted, clsid);
}

class ClassFactory final : public IClassFactory {
  public:
    explicit ClassFactory(NewApplication make) : make_(make) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        IDispatch* application = make_();
        const HRESULT status = application->QueryInterface(iid, object);
        application->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    NewApplication make_;
    LONG references_ = 1;
};

}  // namespace

}  // namespace querna::fakeoffice

using namespace querna::fakeoffice;

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    NewApplication make = nullptr;
    if (SameClass(clsid, kWordClass)) make = &NewWordApplication;
    if (SameClass(clsid, kPowerPointClass)) make = &NewPowerPointApplication;
    if (SameClass(clsid, kExcelClass)) make = &NewExcelApplication;
    if (make == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ClassFactory(make);
    const HRESULT status = factory->QueryInterface(iid, object);
    factory->Release();
    return status;
}

// The server stays loaded for the life of the process, so that a test can
// still ask it for its live objects after every object has gone.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}

extern "C" long FakeOfficeLiveObjects() {
    return FakeDispatch::LiveObjects();
}
