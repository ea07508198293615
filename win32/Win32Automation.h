// The automation bridge over COM (ole32/oleaut32). The calling thread must
// have entered a single-threaded apartment (ComApartment) before the first
// call, and every object must be released before it leaves it.
//
// Error texts: a failed status or a server exception gives the server's
// description, else the system's text for the code (FormatMessage, its line
// end removed), else "OLE error %.8x"; an unknown member name, a call on a
// value without an object and a refused interface give the bridge's own texts
// (platform/Automation.h).
#pragma once

#include "platform/Automation.h"

namespace querna::win32 {

class Win32Automation final : public Automation {
  public:
    AutoValue CreateObject(const std::string& progId) override;
    AutoValue CreateObjectOfClass(const std::string& clsid) override;
    AutoValue Call(const AutoValue& target, const std::string& name, CallKind kind,
                   const std::vector<AutoValue>& args = {}) override;
    AutoValue CallById(const AutoValue& target, int32_t dispid, CallKind kind,
                       const std::vector<AutoValue>& args = {}) override;
    AutoValue QueryInterface(const AutoValue& target, const std::string& iid) override;
};

// Whether the class "{xxxxxxxx-…}" is registered with a server (in-process,
// local, or a TreatAs redirection) in the 64-bit or the 32-bit registry view.
// Creation asks this first and fails as COM would for a class it does not
// know, without asking the RPC service.
bool IsClassRegistered(const std::string& clsid);
// Whether the program identifier ("Word.Application") names a class in the
// registry and that class is registered as above. Asks nothing of COM.
bool IsProgIdRegistered(const std::string& progId);

// The text of an error raised for a failing status `code` without a server
// description: the system's message for it, else "OLE error %.8x".
std::string OleErrorText(long code);

}  // namespace querna::win32
