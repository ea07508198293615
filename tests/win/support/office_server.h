// Test support for the Office matchers and the automation bridge: registering
// the fake Office server (tests/fakeoffice) in the test prefix, a scratch
// folder for fixture documents and the server's call log, and the count of the
// server's live objects.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/Handles.h"

namespace querna::testing {

// Registers the fake server under the Word and PowerPoint program identifiers
// and Excel's application class. Wine keeps HKEY_CLASSES_ROOT apart from
// HKCU\Software\Classes (COM does not look there), so the keys go under
// HKEY_CLASSES_ROOT itself. Fails the current test when a key cannot be made.
void RegisterFakeOffice();
// Removes what RegisterFakeOffice made.
void UnregisterFakeOffice();

// For one test program: the COM apartment of the test thread and the server's
// registration, both undone when the program ends.
class OfficeEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;

  private:
    win32::ComApartment* apartment_ = nullptr;
};

// Takes the registration away for the life of the object, then restores it.
class FakeOfficeUnregistered {
  public:
    FakeOfficeUnregistered() { UnregisterFakeOffice(); }
    ~FakeOfficeUnregistered() { RegisterFakeOffice(); }
    FakeOfficeUnregistered(const FakeOfficeUnregistered&) = delete;
    FakeOfficeUnregistered& operator=(const FakeOfficeUnregistered&) = delete;
};

// A fresh folder holding the fixtures of one test and the server's call log,
// which it points the server at; both go when it is destroyed.
class OfficeScratch {
  public:
    OfficeScratch();
    ~OfficeScratch();
    OfficeScratch(const OfficeScratch&) = delete;
    OfficeScratch& operator=(const OfficeScratch&) = delete;

    // Writes a fixture (lines in the fake server's format) and returns its path.
    std::string WriteFixture(const std::string& name, const std::string& content);
    // A path in the folder where no file is.
    std::string MissingPath(const std::string& name) const { return folder_ + name; }
    // The lines the server has logged since the start or the last ClearLog.
    std::vector<std::string> Calls() const;
    void ClearLog();

  private:
    std::string folder_;  // with a trailing backslash
    std::string log_;
};

// The server's objects not yet released by their last holder; -1 while the
// server is not loaded.
long FakeOfficeLiveObjects();

// The text of the QuernaError `action` raises; fails the test when it raises
// none.
std::string ErrorOf(const std::function<void()>& action);

}  // namespace querna::testing
