// The automation bridge: creating Office application objects and calling
// them through their dispatch interfaces, without <windows.h>.
//
// Values cross the bridge as AutoValue. An object reference is held by an
// AutoObject; copies share the one reference, and the object is released when
// the last holder is cleared or destroyed. Strings are bytes in the system code
// page (GBK) on this side; the implementation converts them to and from wide
// strings.
//
// Every failure is raised as QuernaError carrying the text the user sees; the
// bridge catches nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Error.h"

namespace querna {

// What the implementation keeps for one object reference.
class AutoHandle {
  public:
    virtual ~AutoHandle() = default;
};

// A shared, counted reference to an automation object; empty when it holds none.
class AutoObject {
  public:
    AutoObject() = default;
    explicit AutoObject(std::shared_ptr<AutoHandle> handle) : handle_(std::move(handle)) {}
    explicit operator bool() const { return handle_ != nullptr; }
    AutoHandle* Handle() const { return handle_.get(); }
    // Lets go of the reference; the object is released once no holder is left.
    void Clear() { handle_.reset(); }
    // Holders are equal when they share one reference (or both hold none).
    friend bool operator==(const AutoObject& a, const AutoObject& b) {
        return a.handle_ == b.handle_;
    }

  private:
    std::shared_ptr<AutoHandle> handle_;
};

// The marker for an optional argument that is not given (sent as an error
// value holding DISP_E_PARAMNOTFOUND, which servers take as "omitted").
struct NotGiven {
    friend bool operator==(NotGiven, NotGiven) { return true; }
};

// Empty (std::monostate), boolean, 32-bit integer, string, object, or the
// not-given marker.
using AutoValue = std::variant<std::monostate, bool, int32_t, std::string, AutoObject, NotGiven>;

// The kinds of a dispatch call, with the values of the DISPATCH_* flags.
// Properties are read with Method by name; calls by dispatch id may use
// PropertyGet.
enum class CallKind : uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// Raised by CreateObject and CreateObjectOfClass when the class is not
// registered at all (no such program identifier, no such class): the
// application is not installed. Its text is the system's, as for any other
// failure of the bridge.
class ServerAbsentError : public QuernaError {
  public:
    using QuernaError::QuernaError;
};

// The bridge's own error texts.
inline constexpr char kInvalidConversion[] = "Invalid variant type conversion";
inline constexpr char kInvalidVariantOperation[] = "Invalid variant operation";
inline constexpr char kInterfaceNotSupported[] = "Interface not supported";
inline std::string UnknownMemberText(const std::string& name) {
    return "Method '" + name + "' not supported by automation object";
}

// Whether the value holds a live object reference.
inline bool HoldsObject(const AutoValue& value) {
    const auto* object = std::get_if<AutoObject>(&value);
    return object != nullptr && static_cast<bool>(*object);
}

// Conversions of call results. Integers convert to booleans as non-zero; a
// boolean converts to the integer -1 or 0; an empty value to false, 0 or "".
// Anything else that does not convert raises "Invalid variant type conversion".
bool ToBool(const AutoValue& value);
int32_t ToInt(const AutoValue& value);
std::string ToText(const AutoValue& value);

class Automation {
  public:
    virtual ~Automation() = default;

    // Looks the class up from its program identifier ("Word.Application") and
    // creates a new object of it (in-process or local server). Raises
    // ServerAbsentError when the identifier or its class is not registered.
    virtual AutoValue CreateObject(const std::string& progId) = 0;
    // Creates a new object of the class "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    // ServerAbsentError when the class is not registered.
    virtual AutoValue CreateObjectOfClass(const std::string& clsid) = 0;

    // A late-bound call: the name is resolved on every call (unknown names
    // raise "Method '<name>' not supported by automation object"). A property
    // write sends its single value as the property-put argument, by reference
    // when it is an object. A target without an object raises "Invalid variant
    // operation".
    virtual AutoValue Call(const AutoValue& target, const std::string& name, CallKind kind,
                           const std::vector<AutoValue>& args = {}) = 0;

    // A call by dispatch identifier with locale 0 and no name look-up; kinds and
    // errors as for Call.
    virtual AutoValue CallById(const AutoValue& target, int32_t dispid, CallKind kind,
                               const std::vector<AutoValue>& args = {}) = 0;

    // The target's interface "{iid}" as an object, for dual interfaces (those
    // that derive from IDispatch); raises "Interface not supported" when the
    // target does not provide it.
    virtual AutoValue QueryInterface(const AutoValue& target, const std::string& iid) = 0;
};

inline bool ToBool(const AutoValue& value) {
    if (const auto* b = std::get_if<bool>(&value)) return *b;
    if (const auto* i = std::get_if<int32_t>(&value)) return *i != 0;
    if (std::holds_alternative<std::monostate>(value)) return false;
    if (const auto* s = std::get_if<std::string>(&value)) {
        if (*s == "True" || *s == "true" || *s == "TRUE") return true;
        if (*s == "False" || *s == "false" || *s == "FALSE") return false;
        return ToInt(value) != 0;
    }
    throw QuernaError(kInvalidConversion);
}

inline int32_t ToInt(const AutoValue& value) {
    if (const auto* i = std::get_if<int32_t>(&value)) return *i;
    if (const auto* b = std::get_if<bool>(&value)) return *b ? -1 : 0;
    if (std::holds_alternative<std::monostate>(value)) return 0;
    if (const auto* s = std::get_if<std::string>(&value)) {
        // Whole decimal numbers only, as a count or an index would be written.
        size_t pos = 0;
        bool negative = false;
        if (pos < s->size() && ((*s)[pos] == '-' || (*s)[pos] == '+'))
            negative = (*s)[pos++] == '-';
        if (pos == s->size()) throw QuernaError(kInvalidConversion);
        int64_t number = 0;
        for (; pos < s->size(); ++pos) {
            const char c = (*s)[pos];
            if (c < '0' || c > '9') throw QuernaError(kInvalidConversion);
            number = number * 10 + (c - '0');
            if (number > int64_t{INT32_MAX} + 1) throw QuernaError(kInvalidConversion);
        }
        if (negative) number = -number;
        if (number > INT32_MAX) throw QuernaError(kInvalidConversion);
        return static_cast<int32_t>(number);
    }
    throw QuernaError(kInvalidConversion);
}

inline std::string ToText(const AutoValue& value) {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const auto* i = std::get_if<int32_t>(&value)) return std::to_string(*i);
    if (const auto* b = std::get_if<bool>(&value)) return *b ? "True" : "False";
    if (std::holds_alternative<std::monostate>(value)) return {};
    throw QuernaError(kInvalidConversion);
}

}  // namespace querna
