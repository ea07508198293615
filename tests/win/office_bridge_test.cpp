// The automation bridge over COM against the fake Office server: what it
// sends, what it gives back, how long it holds objects and the texts of its
// errors. Also the value conversions the matchers rely on.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/office_server.h"
#include "win32/Win32Automation.h"

namespace querna {
namespace {

using testing::ErrorOf;

const auto* const kOfficeEnvironment =
    ::testing::AddGlobalTestEnvironment(new testing::OfficeEnvironment);

constexpr CallKind kMethod = CallKind::Method;
constexpr CallKind kPut = CallKind::PropertyPut;
constexpr char kExcelClass[] = "{00024500-0000-0000-C000-000000000046}";
constexpr char kExcelApplicationIid[] = "{000208D5-0000-0000-C000-000000000046}";
constexpr char kExcelWorkbookIid[] = "{000208DA-0000-0000-C000-000000000046}";

class BridgeTest : public ::testing::Test {
  protected:
    void TearDown() override {
        application_ = AutoValue{};
        EXPECT_LE(testing::FakeOfficeLiveObjects(), 0) << "an object was not released";
    }

    // Word's application and a document opened from a fixture.
    AutoValue OpenDocument(const std::string& fixture) {
        application_ = automation_.CreateObject("Word.Application");
        const AutoValue documents = automation_.Call(application_, "Documents", kMethod);
        const std::string path = scratch_.WriteFixture("doc.txt", fixture);
        return automation_.Call(documents, "Open", kMethod, {path});
    }

    std::string LastCall() const {
        const std::vector<std::string> calls = scratch_.Calls();
        return calls.empty() ? std::string() : calls.back();
    }

    testing::OfficeScratch scratch_;
    win32::Win32Automation automation_;
    AutoValue application_;
};

TEST(OleErrorTextTest, IsTheSystemMessageWithoutItsLineEndElseTheCode) {
    const std::string denied = win32::OleErrorText(E_ACCESSDENIED);
    EXPECT_FALSE(denied.empty());
    EXPECT_EQ(denied.rfind("OLE error", 0), std::string::npos) << denied;
    EXPECT_NE(denied.back(), '\n');
    EXPECT_NE(denied.back(), '\r');
    EXPECT_EQ(win32::OleErrorText(static_cast<long>(0x8BADF00D)), "OLE error 8badf00d");
}

TEST_F(BridgeTest, FailuresCarryTheServersDescriptionElseTheTextOfTheCode) {
    struct Case {
        const char* fixture;
        std::string expected;
    };
    const Case cases[] = {
        {"fail Select 服务器的说明", "服务器的说明"},
        {"fail-code Select 80070005", win32::OleErrorText(E_ACCESSDENIED)},
        {"fail-code Select a0001234", "OLE error a0001234"},
        {"fail-status Select 80070005", win32::OleErrorText(E_ACCESSDENIED)},
        {"fail-status Select 8badf00d", "OLE error 8badf00d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        const AutoValue document = OpenDocument(c.fixture);
        EXPECT_EQ(ErrorOf([&] { automation_.Call(document, "Select", kMethod); }), c.expected);
    }
}

TEST_F(BridgeTest, AnUnknownNameIsRefusedBeforeAnyCall) {
    application_ = automation_.CreateObject("Word.Application");
    for (const std::string name : {"Frobnicate", "打开"}) {
        scratch_.ClearLog();
        EXPECT_EQ(ErrorOf([&] { automation_.Call(application_, name, kMethod); }),
                  "Method '" + name + "' not supported by automation object");
        EXPECT_TRUE(scratch_.Calls().empty());
    }
}

TEST_F(BridgeTest, CallsOnValuesWithoutAnObjectAreInvalidOperations) {
    const AutoValue targets[] = {AutoValue{},
                                 AutoValue{7},
                                 AutoValue{true},
                                 AutoValue{std::string("Word.Application")},
                                 AutoValue{AutoObject{}},
                                 AutoValue{NotGiven{}}};
    for (const AutoValue& target : targets) {
        SCOPED_TRACE(target.index());
        EXPECT_EQ(ErrorOf([&] { automation_.Call(target, "Quit", kMethod); }),
                  "Invalid variant operation");
        EXPECT_EQ(ErrorOf([&] { automation_.CallById(target, 0x12e, kMethod); }),
                  "Invalid variant operation");
    }
}

TEST_F(BridgeTest, QueryInterfaceIsACheckedConversion) {
    application_ = automation_.CreateObjectOfClass(kExcelClass);
    EXPECT_TRUE(HoldsObject(automation_.QueryInterface(application_, kExcelApplicationIid)));
    EXPECT_EQ(ErrorOf([&] { automation_.QueryInterface(application_, kExcelWorkbookIid); }),
              "Interface not supported");
    EXPECT_EQ(ErrorOf([&] { automation_.QueryInterface(AutoValue{}, kExcelWorkbookIid); }),
              "Interface not supported");
}

TEST_F(BridgeTest, ArgumentsArriveInOrderWithTheirTypes) {
    const AutoValue document = OpenDocument("text 中文");
    const AutoValue find =
        automation_.Call(automation_.Call(document, "Range", kMethod), "Find", kMethod);
    const AutoValue found = automation_.Call(
        find, "Execute", kMethod,
        {std::string("中文"), NotGiven{}, AutoValue{}, -4123, true, false, application_});
    EXPECT_TRUE(ToBool(found));
    EXPECT_EQ(LastCall(), "Find.Execute 1 (\"中文\", missing, empty, -4123, true, false, object)");
}

TEST_F(BridgeTest, PropertyWritesSendTheValueAsThePutArgumentAndObjectsByReference) {
    const AutoValue document = OpenDocument("");
    automation_.Call(application_, "Visible", kPut, {false});
    EXPECT_EQ(LastCall(), "Application.Visible 4 (false)");
    automation_.Call(application_, "Visible", kPut, {document});
    EXPECT_EQ(LastCall(), "Application.Visible 8 (object)");
}

TEST_F(BridgeTest, NamesAreLookedUpOnEveryCallAsGiven) {
    application_ = automation_.CreateObject("Word.Application");
    automation_.Call(application_, "documents", kMethod);
    automation_.Call(application_, "DOCUMENTS", kMethod);
    const std::vector<std::string> expected = {"+Application", "Application.documents 3 ()",
                                               "Application.DOCUMENTS 3 ()"};
    EXPECT_EQ(scratch_.Calls(), expected);
}

TEST_F(BridgeTest, CallsByIdUseLocaleZeroAndNoName) {
    application_ = automation_.CreateObjectOfClass(kExcelClass);
    const AutoValue workbooks = automation_.CallById(application_, 0x23c, CallKind::PropertyGet);
    EXPECT_TRUE(HoldsObject(workbooks));
    EXPECT_EQ(LastCall(), "Application.#572 2 @0 ()");
}

TEST_F(BridgeTest, ResultsComeBackAsTextIntegersAndObjects) {
    application_ = automation_.CreateObject("PowerPoint.Application");
    const AutoValue presentations = automation_.Call(application_, "Presentations", kMethod);
    const std::string path = scratch_.WriteFixture("中文.ppt", "slide\nshape 第一行\nslide\n");
    const AutoValue presentation = automation_.Call(presentations, "Open", kMethod, {path});
    const AutoValue slides = automation_.Call(presentation, "Slides", kMethod);
    EXPECT_EQ(automation_.Call(slides, "Count", kMethod), AutoValue{2});
    const AutoValue shapes =
        automation_.Call(automation_.Call(slides, "Item", kMethod, {1}), "Shapes", kMethod);
    const AutoValue shape = automation_.Call(shapes, "Item", kMethod, {1});
    // PowerPoint's MsoTriState: -1 for true.
    const AutoValue hasFrame = automation_.Call(shape, "HasTextFrame", kMethod);
    EXPECT_EQ(hasFrame, AutoValue{-1});
    EXPECT_TRUE(ToBool(hasFrame));
    const AutoValue range =
        automation_.Call(automation_.Call(shape, "TextFrame", kMethod), "TextRange", kMethod);
    EXPECT_EQ(automation_.Call(range, "Text", kMethod), AutoValue{std::string("第一行")});
}

TEST_F(BridgeTest, ObjectsAreReleasedWhenTheirLastHolderLetsGo) {
    AutoValue first = automation_.CreateObject("Word.Application");
    AutoValue copy = first;
    EXPECT_EQ(testing::FakeOfficeLiveObjects(), 1);
    first = AutoValue{};
    EXPECT_EQ(testing::FakeOfficeLiveObjects(), 1);
    automation_.Call(copy, "Documents", kMethod);
    std::get<AutoObject>(copy).Clear();
    EXPECT_EQ(testing::FakeOfficeLiveObjects(), 0);
    EXPECT_EQ(LastCall(), "-Application");
}

TEST_F(BridgeTest, CreationFailuresGiveTheSystemTextForTheCode) {
    EXPECT_EQ(ErrorOf([&] { automation_.CreateObject("Querna.NoSuchServer"); }),
              win32::OleErrorText(CO_E_CLASSSTRING));
    EXPECT_EQ(
        ErrorOf([&] { automation_.CreateObjectOfClass("{6B1D7C9E-0000-4000-8000-00000000BEEF}"); }),
        win32::OleErrorText(REGDB_E_CLASSNOTREG));
}

// A class is created only where the registry names a server for it, in
// either view; anything else fails as COM fails for an unknown class, before
// COM is asked.
struct RegistrationCase {
    const wchar_t* subkey;  // under the class's key; null for no key at all
    REGSAM view;
    bool registered;
};

TEST(ClassRegistrationTest, AServerInEitherViewRegistersAClass) {
    const wchar_t kClassKey[] = L"CLSID\\{6B1D7C9E-0000-4000-8000-00000000C0DE}";
    const std::string clsid = "{6B1D7C9E-0000-4000-8000-00000000C0DE}";
    const RegistrationCase cases[] = {
        {nullptr, KEY_WOW64_64KEY, false},          {L"", KEY_WOW64_64KEY, false},
        {L"ProgID", KEY_WOW64_64KEY, false},        {L"InprocServer32", KEY_WOW64_64KEY, true},
        {L"LocalServer32", KEY_WOW64_64KEY, true},  {L"LocalServer", KEY_WOW64_64KEY, true},
        {L"TreatAs", KEY_WOW64_64KEY, true},        {L"LocalServer32", KEY_WOW64_32KEY, true},
        {L"InprocServer32", KEY_WOW64_32KEY, true}, {L"ProgID", KEY_WOW64_32KEY, false},
    };
    for (const RegistrationCase& c : cases) {
        SCOPED_TRACE(c.subkey == nullptr ? L"(none)" : c.subkey);
        if (c.subkey != nullptr) {
            std::wstring name = kClassKey;
            if (*c.subkey != L'\0') name += std::wstring(L"\\") + c.subkey;
            HKEY key = nullptr;
            ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS | c.view, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegCloseKey(key);
        }
        EXPECT_EQ(win32::IsClassRegistered(clsid), c.registered);
        if (!c.registered) {
            win32::Win32Automation automation;
            EXPECT_EQ(ErrorOf([&] { automation.CreateObjectOfClass(clsid); }),
                      win32::OleErrorText(REGDB_E_CLASSNOTREG));
        }
        for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            HKEY classes = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_ALL_ACCESS | view, &classes) ==
                ERROR_SUCCESS) {
                RegDeleteTreeW(classes, kClassKey + 6);
                RegCloseKey(classes);
            }
        }
    }
}

// --- Value conversions ---

struct ConversionCase {
    AutoValue value;
    bool asBool;
    int32_t asInt;
    std::string asText;
};

TEST(AutoValueTest, ConversionsFollowTheVariantRules) {
    const ConversionCase cases[] = {
        {AutoValue{}, false, 0, ""},
        {AutoValue{true}, true, -1, "True"},
        {AutoValue{false}, false, 0, "False"},
        {AutoValue{0}, false, 0, "0"},
        {AutoValue{-1}, true, -1, "-1"},
        {AutoValue{std::string("42")}, true, 42, "42"},
        {AutoValue{std::string("-7")}, true, -7, "-7"},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.asText);
        EXPECT_EQ(ToBool(c.value), c.asBool);
        EXPECT_EQ(ToInt(c.value), c.asInt);
        EXPECT_EQ(ToText(c.value), c.asText);
    }
}

TEST(AutoValueTest, TextNamingATruthValueConvertsToBoolean) {
    const std::pair<const char*, bool> cases[] = {
        {"True", true}, {"true", true}, {"FALSE", false}, {"False", false}, {"0", false}};
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ToBool(AutoValue{std::string(text)}), expected);
    }
}

TEST(AutoValueTest, ValuesThatDoNotConvertAreRefused) {
    const AutoValue cases[] = {AutoValue{std::string("abc")}, AutoValue{std::string("")},
                               AutoValue{std::string("99999999999")}, AutoValue{NotGiven{}},
                               AutoValue{AutoObject{}}};
    for (const AutoValue& value : cases) {
        SCOPED_TRACE(value.index());
        EXPECT_EQ(ErrorOf([&] { ToInt(value); }), "Invalid variant type conversion");
    }
    EXPECT_EQ(ErrorOf([&] { ToText(AutoValue{NotGiven{}}); }), "Invalid variant type conversion");
    EXPECT_EQ(ErrorOf([&] { ToBool(AutoValue{AutoObject{}}); }), "Invalid variant type conversion");
    EXPECT_FALSE(HoldsObject(AutoValue{AutoObject{}}));
}

}  // namespace
}  // namespace querna
