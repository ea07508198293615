#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "app/ExplorerRegistration.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "tests/fakes/FakeRegistry.h"

namespace querna {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kFindext = "Directory\\shell\\findext";
constexpr const char* kCommand = "Directory\\shell\\findext\\command";
constexpr const char* kProgram = "D:\\Tools\\app.exe";
constexpr const char* kExpectedMenuText = "青禾寻踪(&M)";

class ExplorerRegistrationTest : public ::testing::Test {
  protected:
    // Registers and returns the error's text; nothing when none was raised.
    std::optional<std::string> Register(const std::string& program = kProgram) {
        try {
            RegisterExplorerMenu(registry, program);
        } catch (const QuernaError& e) {
            return e.what();
        }
        return std::nullopt;
    }

    void ExpectKeyOpenedLastClosed() {
        ASSERT_FALSE(registry.log.empty());
        EXPECT_TRUE(registry.log.back().starts_with("close ")) << registry.log.back();
        EXPECT_EQ(registry.keysLeftOpenAtRelease, 0);
        EXPECT_EQ(registry.accessorsAlive, 0);
    }

    fakes::FakeRegistry registry;
};

TEST_F(ExplorerRegistrationTest, FirstRegistrationWritesTheVerbAndItsCommand) {
    EXPECT_EQ(Register(), std::nullopt);

    EXPECT_EQ(registry.log,
              (Lines{"open Directory ok", "open shell ok", "exists findext no", "create findext ok",
                     "open findext ok", "write Directory\\shell\\findext ok", "exists command no",
                     "create command ok", "open command ok",
                     "write Directory\\shell\\findext\\command ok",
                     "close Directory\\shell\\findext\\command"}));
    EXPECT_EQ(registry.KeyCount(), 4u);
    EXPECT_EQ(registry.DefaultValue("Directory"), std::nullopt);
    EXPECT_EQ(registry.DefaultValue("Directory\\shell"), std::nullopt);
    EXPECT_EQ(registry.DefaultValue(kFindext), kExpectedMenuText);
    EXPECT_EQ(registry.DefaultValue(kCommand), "\"D:\\Tools\\app.exe\" \"%1\"");
    ExpectKeyOpenedLastClosed();
}

TEST_F(ExplorerRegistrationTest, RegisteringAgainReusesTheKeysAndFollowsTheProgram) {
    ASSERT_EQ(Register(), std::nullopt);
    registry.log.clear();
    EXPECT_EQ(Register("C:\\Program Files\\Moved Here\\app.exe"), std::nullopt);

    EXPECT_EQ(registry.KeyCount(), 4u);
    EXPECT_EQ(std::count(registry.log.begin(), registry.log.end(), "exists findext yes"), 1);
    EXPECT_EQ(std::count(registry.log.begin(), registry.log.end(), "exists command yes"), 1);
    EXPECT_EQ(std::count_if(registry.log.begin(), registry.log.end(),
                            [](const std::string& line) { return line.starts_with("create"); }),
              0);
    EXPECT_EQ(registry.DefaultValue(kFindext), kExpectedMenuText);
    // Blanks in the path stay inside the quotes.
    EXPECT_EQ(registry.DefaultValue(kCommand), "\"C:\\Program Files\\Moved Here\\app.exe\" \"%1\"");
    ExpectKeyOpenedLastClosed();
}

TEST_F(ExplorerRegistrationTest, FailuresAreReportedOrPassedOverStepByStep) {
    struct Case {
        const char* what;
        void (*inject)(fakes::FakeRegistry&);
        std::optional<std::string> error;
        std::optional<std::string> report;  // as the standard error report shows it
        std::vector<std::pair<std::string, std::string>> values;  // key, default value
    };
    const std::string command = "\"D:\\Tools\\app.exe\" \"%1\"";
    const Case cases[] = {
        {"no write access",
         [](fakes::FakeRegistry& r) { r.readOnly = true; },
         "Failed to create key findext",
         "Failed to create key findext.",
         {}},
        {"findext cannot be created",
         [](fakes::FakeRegistry& r) { r.FailCreate(kFindext); },
         "Failed to create key findext",
         "Failed to create key findext.",
         {}},
        {"command cannot be created",
         [](fakes::FakeRegistry& r) { r.FailCreate(kCommand); },
         "Failed to create key command",
         "Failed to create key command.",
         {{kFindext, kExpectedMenuText}}},
        {"menu text cannot be written",
         [](fakes::FakeRegistry& r) { r.FailWrite(kFindext); },
         "Failed to set data for ''",
         "Failed to set data for ''",
         {}},
        {"command cannot be written",
         [](fakes::FakeRegistry& r) { r.FailWrite(kCommand); },
         "Failed to set data for ''",
         "Failed to set data for ''",
         {{kFindext, kExpectedMenuText}}},
        // A failed open-or-create is silent; the next names are relative to
        // the key opened before it.
        {"Directory cannot be opened",
         [](fakes::FakeRegistry& r) { r.FailOpen("Directory"); },
         std::nullopt,
         std::nullopt,
         {{"shell\\findext", kExpectedMenuText}, {"shell\\findext\\command", command}}},
        {"existing findext cannot be opened",
         [](fakes::FakeRegistry& r) {
             r.AddKey(kFindext);
             r.FailOpen(kFindext);
         },
         std::nullopt,
         std::nullopt,
         {{"Directory\\shell\\command", command}}},
    };
    for (const Case& c : cases) {
        registry = fakes::FakeRegistry();
        c.inject(registry);
        const std::optional<std::string> error = Register();
        EXPECT_EQ(error, c.error) << c.what;
        if (error) {
            EXPECT_EQ(ErrorReportText(*error), c.report) << c.what;
        }
        for (const auto& [key, value] : c.values) {
            EXPECT_EQ(registry.DefaultValue(key), value) << c.what << ": " << key;
        }
        size_t written = 0;
        for (const std::string& line : registry.log) {
            if (line.starts_with("write ") && line.ends_with(" ok")) ++written;
        }
        EXPECT_EQ(written, c.values.size()) << c.what;
        ExpectKeyOpenedLastClosed();
    }
}

TEST_F(ExplorerRegistrationTest, ErrorStopsTheRemainingSteps) {
    registry.FailCreate(kFindext);
    ASSERT_TRUE(Register().has_value());
    EXPECT_EQ(registry.log, (Lines{"open Directory ok", "open shell ok", "exists findext no",
                                   "create findext failed", "close Directory\\shell"}));
    EXPECT_FALSE(registry.HasKey(kCommand));
}

}  // namespace
}  // namespace querna
