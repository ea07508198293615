// The automation bridge as the console companion uses it: COM is entered
// only when a class about to be created is registered. Under Wine entering
// an apartment starts the desktop process, and that starts the RPC service,
// which can take seconds; where Office is absent (the usual case) the
// registry answers at once and a search never enters COM at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Automation.h"
#include "win32/Handles.h"
#include "win32/Win32Automation.h"

namespace querna::cli {

class ComOnDemand final : public Automation {
  public:
    explicit ComOnDemand(Automation& automation) : automation_(automation) {}

    // Raises ServerAbsentError with COM's own text for an unknown identifier
    // or class, without entering COM.
    AutoValue CreateObject(const std::string& progId) override {
        if (!win32::IsProgIdRegistered(progId)) Absent(CO_E_CLASSSTRING);
        Enter();
        return automation_.CreateObject(progId);
    }
    AutoValue CreateObjectOfClass(const std::string& clsid) override {
        if (!win32::IsClassRegistered(clsid)) Absent(REGDB_E_CLASSNOTREG);
        Enter();
        return automation_.CreateObjectOfClass(clsid);
    }
    AutoValue Call(const AutoValue& target, const std::string& name, CallKind kind,
                   const std::vector<AutoValue>& args = {}) override {
        return automation_.Call(target, name, kind, args);
    }
    AutoValue CallById(const AutoValue& target, int32_t dispid, CallKind kind,
                       const std::vector<AutoValue>& args = {}) override {
        return automation_.CallById(target, dispid, kind, args);
    }
    AutoValue QueryInterface(const AutoValue& target, const std::string& iid) override {
        return automation_.QueryInterface(target, iid);
    }

    // Whether COM has been entered.
    bool Entered() const { return apartment_.has_value(); }

  private:
    void Enter() {
        if (!apartment_) apartment_.emplace();
    }
    [[noreturn]] static void Absent(long status) {
        throw ServerAbsentError(win32::OleErrorText(status));
    }

    Automation& automation_;
    std::optional<win32::ComApartment> apartment_;
};

}  // namespace querna::cli
