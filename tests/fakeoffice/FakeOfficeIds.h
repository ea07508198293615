// What the fake Office server and the tests that register and drive it agree
// on: its file name, its classes, the environment variable naming its call log
// and the function that counts its live objects.
#pragma once

namespace querna::fakeoffice {

constexpr char kDllName[] = "fakeoffice.dll";

// Word and PowerPoint are reached by program identifier, so their classes are
// our own; Excel is reached by its application class, so the fake takes that.
constexpr char kWordProgId[] = "Word.Application";
constexpr char kWordClass[] = "{5A8F0C11-3E2B-4C7D-9A61-0F1E2D3C4B01}";
constexpr char kPowerPointProgId[] = "PowerPoint.Application";
constexpr char kPowerPointClass[] = "{5A8F0C11-3E2B-4C7D-9A61-0F1E2D3C4B02}";
constexpr char kExcelClass[] = "{00024500-0000-0000-C000-000000000046}";

// When set, every call the server receives is appended to this file, one line
// each, in the system code page.
constexpr char kLogVariable[] = "QUERNA_FAKEOFFICE_LOG";

// Exported: `long FakeOfficeLiveObjects()`, the number of objects not yet
// released by their last holder.
constexpr char kLiveObjectsExport[] = "FakeOfficeLiveObjects";
using LiveObjectsFunction = long (*)();

}  // namespace querna::fakeoffice
