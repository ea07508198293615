// A whole search — the run, its name walk or content pass, the table fill and
// a save of the list — repeated once for every single fault: each call of the
// file system and of the file writer, by call number, failing with each error
// that call can meet. Every run must end, keep every file the fault did not
// touch, write nothing but the list, and report a failed save without leaving
// a half-written list behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "platform/Error.h"
#include "results/ResultActions.h"
#include "results/ResultTable.h"
#include "search/SearchRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeResultServices.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/FaultyFileSystem.h"
#include "tests/fakes/FileReadingMatchers.h"
#include "tests/fakes/GbkTextRules.h"
#include "tests/fakes/RecordingDialogs.h"

namespace querna {
namespace {

using fakes::CallKind;
using fakes::FaultError;
using fakes::FaultPlan;
using Paths = std::vector<std::string>;

constexpr const char* kListPath = "C:\\Lists\\found.txt";
constexpr const char* kOldList = "the list saved last time\r\n";
constexpr FileTime k2009 = 128'805'628'290'000'000;  // 2009-03-03 14:07:09
// Far more message pumps than the tree can cost: a run that gets there is
// going round in circles.
constexpr int kPumpBudget = 2'000;

// The searched tree: nested folders, a hidden one, a link back to the root
// (never entered) and one to a folder outside (followed), text files that
// hold the phrase in one line, across a read block or not at all, and a Word
// document that holds it.
void BuildTree(fakes::FakeFileSystem& fs) {
    const std::pair<const char*, const char*> files[] = {
        {"C:\\R\\A\\A1\\a1.txt", "first needle\r\n"},
        {"C:\\R\\A\\A1\\deep.doc", ""},
        {"C:\\R\\A\\a.txt", "nothing here\r\n"},
        {"C:\\R\\A\\a2.txt", "line\r\nand a needle again\r\n"},
        {"C:\\R\\B\\b.txt", "needle\r"},
        {"C:\\R\\B\\notes.log", "needle, but no text file"},
        {"C:\\R\\H\\h.txt", "hidden needle"},
        {"C:\\Out\\o.txt", "needle outside"},
        {"C:\\R\\r.txt", "root: needle"},
    };
    for (const auto& [path, content] : files) fs.AddFile(path, content, faArchive, k2009);
    fs.AddFolder("C:\\R\\H", faDirectory | faHidden);
    fs.AddLink("C:\\R\\B\\loop", "C:\\R");
    fs.AddLink("C:\\R\\out", "C:\\Out");
}

struct Scenario {
    const char* what;
    std::string name;    // the name box
    std::string phrase;  // the phrase box
    Paths expected;      // the rows of a run without faults, in order
};

const Scenario kScenarios[] = {
    {"name search",
     ".",
     "",
     {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\A1\\deep.doc", "C:\\R\\A\\a.txt", "C:\\R\\A\\a2.txt",
      "C:\\R\\B\\b.txt", "C:\\R\\B\\notes.log", "C:\\R\\H\\h.txt", "C:\\R\\out\\o.txt",
      "C:\\R\\r.txt"}},
    {"phrase search",
     "",
     "needle",
     {"C:\\R\\A\\A1\\a1.txt", "C:\\R\\A\\A1\\deep.doc", "C:\\R\\A\\a2.txt", "C:\\R\\B\\b.txt",
      "C:\\R\\H\\h.txt", "C:\\R\\out\\o.txt", "C:\\R\\r.txt"}},
};

// The errors each kind of call can meet.
struct KindErrors {
    CallKind kind;
    std::vector<FaultError> errors;
};
const KindErrors kFaults[] = {
    {CallKind::FolderExists,
     {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady}},
    {CallKind::List, {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady}},
    {CallKind::NextEntry,
     {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady}},
    {CallKind::FolderId,
     {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady}},
    {CallKind::Open,
     {FaultError::AccessDenied, FaultError::SharingViolation, FaultError::FileGone,
      FaultError::DeviceNotReady}},
    {CallKind::Read,
     {FaultError::SharingViolation, FaultError::FileGone, FaultError::DeviceNotReady,
      FaultError::ShortRead}},
    {CallKind::FindEntry,
     {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady}},
    {CallKind::CreationTime,
     {FaultError::AccessDenied, FaultError::SharingViolation, FaultError::FileGone,
      FaultError::DeviceNotReady}},
    {CallKind::Create,
     {FaultError::AccessDenied, FaultError::SharingViolation, FaultError::FileGone,
      FaultError::DeviceNotReady, FaultError::DiskFull}},
    {CallKind::Write,
     {FaultError::AccessDenied, FaultError::FileGone, FaultError::DeviceNotReady,
      FaultError::DiskFull, FaultError::ShortRead}},
    {CallKind::Close, {FaultError::DeviceNotReady, FaultError::DiskFull}},
};

bool IsWriterKind(CallKind kind) {
    return kind == CallKind::Create || kind == CallKind::Write || kind == CallKind::Close;
}

bool Under(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() + 1 && path.starts_with(folder) &&
           path[folder.size()] == '\\';
}

// Whether a failed call could cost the search this file. A listing that fails
// loses what it would have listed: for the walk's listing ("*.*") the whole
// tree below its folder, for a match listing the folder's own files. A folder
// identity that cannot be read can only make a walk enter a link once more.
bool Touches(const fakes::FailedCall& call, const std::string& file) {
    if (call.kind == CallKind::FolderId) return false;
    if (call.kind == CallKind::List || call.kind == CallKind::NextEntry) {
        const size_t slash = call.path.rfind('\\');
        const std::string folder = call.path.substr(0, slash);
        // "*" is the check that the start folder can be listed at all.
        const std::string mask = call.path.substr(slash + 1);
        if (mask == "*.*" || mask == "*") return Under(file, folder);
        return Under(file, folder) && file.find('\\', folder.size() + 1) == std::string::npos;
    }
    std::string path = call.path;
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return file == path || Under(file, path);
}

// The table as the window keeps it: full paths, filled by the real fill.
class RecordingTable final : public ResultTableView {
  public:
    void ClearRows() override { rows.clear(); }
    void AddRow(const ResultRow& row) override { rows.push_back(row); }
    ResultFilters ReadFilters() override {
        // A file whose creation time cannot be read shows 1601 and is dropped.
        ResultFilters filters;
        filters.dateOn = true;
        ParseDateTime("1900-01-01", filters.from);
        ParseDateTime("9999-12-31", filters.to);
        return filters;
    }
    std::vector<ResultRow> rows;
};

// Everything one search needs, made afresh for every run.
struct Rig {
    explicit Rig(FaultPlan plan_) : plan(std::move(plan_)) {
        BuildTree(base);
        baseWriter.files[kListPath] = kOldList;
        window.locationText = "C:\\R";
        window.onPump = [this](int pumps) {
            if (pumps > kPumpBudget) {
                runaway = true;
                state.StopRequested = kTrue;
            }
        };
        window.onFill = [this](const ResultPathList& paths, bool empty) {
            FillResultTable(fs, rules, window, table, paths, empty, 50);
        };
        matchers.office.texts["C:\\R\\A\\A1\\deep.doc"] = "a needle in a Word document";
    }

    fakes::FakeFileSystem base;
    FaultPlan plan;
    fakes::FaultyFileSystem fs{base, plan};
    fakes::FakeTextFileWriter baseWriter;
    fakes::FaultyTextFileWriter writer{baseWriter, plan};
    SearchState state;
    fakes::GbkTextRules rules;
    fakes::FakeWindow window;
    fakes::RecordingDialogs dialogs;
    // Small blocks: every text file takes several reads, each a call to fail.
    fakes::FileReadingMatchers matchers{fs, rules, 8};
    fakes::FakeRegistry registry;
    SearchEngine engine{state, fs, rules, window, &matchers, 50};
    SearchRun run{state, engine, window, registry, rules};
    RecordingTable table;
    bool runaway = false;
};

struct Outcome {
    FaultPlan plan;  // the calls made, and those that failed
    Paths rows;
    std::optional<std::string> saveError;  // the message of a failed save
    std::vector<std::string> problems;     // broken promises; empty when it survived
};

std::string ContentOf(FileSystem& fs, const std::string& path) {
    std::string content;
    const std::unique_ptr<ReadableFile> file = fs.OpenExclusive(path);
    char buffer[64];
    for (int64_t n = 0; file && (n = file->Read(buffer, sizeof buffer)) > 0;) {
        content.append(buffer, static_cast<size_t>(n));
    }
    return content;
}

// The save of the list: reported when it fails, never leaving part of a list.
void SaveAndCheck(Rig& rig, Outcome& outcome) {
    fakes::FakeResultRows rows;
    std::string lines;
    for (const ResultRow& row : rig.table.rows) {
        rows.rows.push_back({row.name, row.folder});
        lines += row.folder + row.name + "\r\n";
    }
    fakes::RecordingShell shell;
    fakes::RecordingClipboard clipboard;
    rig.dialogs.saveAnswer = kListPath;
    ResultActions actions(rows, shell, clipboard, rig.dialogs, rig.writer);
    const size_t shownBefore = rig.dialogs.shown.size();
    try {
        actions.SaveList();
    } catch (const QuernaError& e) {
        outcome.saveError = e.what();
    }
    auto& files = rig.baseWriter.files;
    const bool saved = rig.dialogs.shown.size() == shownBefore + 1 &&
                       rig.dialogs.shown.back() == "info:提示:文件列表保存成功";
    if (outcome.saveError) {
        if (saved) outcome.problems.push_back("a failed save was confirmed");
        if (files.count(kListPath) && files[kListPath] != kOldList) {
            outcome.problems.push_back("a failed save left a partial list");
        }
    } else if (!rows.rows.empty() && (!saved || files[kListPath] != lines)) {
        outcome.problems.push_back("the saved list is not the table");
    }
    if (rig.baseWriter.openFiles != 0) outcome.problems.push_back("the list was left open");
    for (const std::string& created : rig.baseWriter.created) {
        if (created != kListPath) outcome.problems.push_back("wrote " + created);
    }
}

// What the search found, against what it had to find: every file that no
// failed call touched, nothing twice, nothing that is not there, and an open
// error shown for every file that could not be opened.
void CheckFound(const Scenario& scenario, Rig& rig, Outcome& outcome) {
    const auto& failed = rig.plan.Failed();
    const std::set<std::string> found(outcome.rows.begin(), outcome.rows.end());
    if (found.size() != outcome.rows.size()) outcome.problems.push_back("a row came twice");
    for (const std::string& file : scenario.expected) {
        const bool touched = std::any_of(failed.begin(), failed.end(),
                                         [&](const auto& call) { return Touches(call, file); });
        if (!touched && !found.count(file)) outcome.problems.push_back("lost " + file);
    }
    const bool idFailed = std::any_of(failed.begin(), failed.end(), [](const auto& call) {
        return call.kind == CallKind::FolderId;
    });
    for (const std::string& row : outcome.rows) {
        const bool expected = std::find(scenario.expected.begin(), scenario.expected.end(), row) !=
                              scenario.expected.end();
        EntryFacts facts;
        const bool real = rig.base.FindEntry(row, facts) && !(facts.attributes & faDirectory);
        if (!expected && !(idFailed && real)) outcome.problems.push_back("invented " + row);
    }
    const auto opens = std::count_if(failed.begin(), failed.end(),
                                     [](const auto& call) { return call.kind == CallKind::Open; });
    if (rig.window.unreadable.size() != static_cast<size_t>(opens)) {
        outcome.problems.push_back("open-error reports do not match");
    }
    // A sub-folder that its walk found gone is told; one whose "*.*" listing
    // failed may be (the name search's match listing has that mask too);
    // nothing else is. The start folder is the run's to tell.
    std::set<std::string> must, may;
    for (const auto& call : failed) {
        if (call.kind == CallKind::FolderExists) must.insert(call.path);
        if (call.kind == CallKind::List && call.path.ends_with("\\*.*")) {
            may.insert(call.path.substr(0, call.path.size() - 3));
        }
    }
    must.erase("C:\\R\\");
    const auto& told = rig.window.unlistable;
    const bool allTold = std::all_of(must.begin(), must.end(), [&](const std::string& dir) {
        return std::count(told.begin(), told.end(), dir) == 1;
    });
    const bool onlyThose = std::all_of(told.begin(), told.end(), [&](const std::string& dir) {
        return must.count(dir) || may.count(dir);
    });
    if (!allTold || !onlyThose)
        outcome.problems.push_back("unlistable-folder reports do not match");
}

Outcome RunOnce(const Scenario& scenario, FaultPlan plan) {
    Rig rig(std::move(plan));
    rig.window.name = scenario.name;
    rig.window.phrase = scenario.phrase;
    Outcome outcome;
    bool refused = false;
    try {
        refused = !rig.run.Run();
    } catch (const std::exception& e) {
        outcome.problems.push_back(std::string("the search raised ") + e.what());
    }
    if (rig.runaway) outcome.problems.push_back("the search did not end");
    // A fault on the root itself may make it unsearchable: then the user is
    // told so, and the search must not claim to have completed.
    if (refused) {
        if (rig.window.infos.empty() || rig.window.infos.back().second != "提示") {
            outcome.problems.push_back("refused without a message");
        }
        if (!rig.window.current[3].empty()) outcome.problems.push_back("refused yet completed");
    } else if (rig.window.current[3] != "搜索完成!") {
        outcome.problems.push_back("no completion text");
    }
    for (const ResultRow& row : rig.table.rows) outcome.rows.push_back(row.folder + row.name);
    SaveAndCheck(rig, outcome);
    CheckFound(scenario, rig, outcome);
    fakes::FakeFileSystem pristine;
    BuildTree(pristine);
    for (const std::string& file : scenario.expected) {
        if (ContentOf(rig.base, file) != ContentOf(pristine, file)) {
            outcome.problems.push_back("changed " + file);
        }
    }
    outcome.plan = rig.plan;
    return outcome;
}

// What one faulty run must show besides the promises every run keeps: a
// writer fault is reported with its own message; a short read loses nothing.
std::vector<std::string> ProblemsOf(const Outcome& outcome, const Scenario& scenario, CallKind kind,
                                    FaultError error) {
    std::vector<std::string> problems = outcome.problems;
    if (IsWriterKind(kind)) {
        const std::string message = SaveErrorText(
            kListPath, error == FaultError::ShortRead ? 0 : fakes::SystemErrorCode(error));
        if (outcome.saveError != message) {
            problems.push_back("the save said " + outcome.saveError.value_or("nothing") + ", not " +
                               message);
        }
    } else if (error == FaultError::ShortRead && outcome.rows != scenario.expected) {
        problems.push_back("a short read lost a file");
    }
    return problems;
}

TEST(FaultInjection, EverySingleFaultLeavesTheUntouchedFilesFoundAndNoPartialList) {
    int injected = 0, survived = 0;
    std::map<CallKind, int> callsOfKind;
    for (const Scenario& scenario : kScenarios) {
        // A run without faults finds exactly the expected files and counts
        // the calls that the faulty runs then fail one by one.
        const Outcome clean = RunOnce(scenario, FaultPlan());
        ASSERT_TRUE(clean.problems.empty()) << scenario.what << ": " << clean.problems.front();
        ASSERT_EQ(clean.rows, scenario.expected) << scenario.what;
        ASSERT_FALSE(clean.saveError) << *clean.saveError;

        for (const KindErrors& faults : kFaults) {
            const int calls = clean.plan.Calls(faults.kind);
            callsOfKind[faults.kind] += calls;
            for (int nth = 1; nth <= calls; ++nth) {
                for (const FaultError error : faults.errors) {
                    const Outcome outcome = RunOnce(scenario, FaultPlan(faults.kind, nth, error));
                    ++injected;
                    const auto problems = ProblemsOf(outcome, scenario, faults.kind, error);
                    if (problems.empty()) {
                        ++survived;
                        continue;
                    }
                    ADD_FAILURE() << scenario.what << ", " << fakes::CallKindName(faults.kind)
                                  << " #" << nth << " " << fakes::FaultErrorName(error) << ": "
                                  << problems.front();
                }
            }
        }
    }
    for (const KindErrors& faults : kFaults) {
        EXPECT_GT(callsOfKind[faults.kind], 0) << fakes::CallKindName(faults.kind) << " never ran";
    }
    std::printf("fault injection: %d faults injected, %d survived\n", injected, survived);
    EXPECT_EQ(survived, injected);
    EXPECT_GT(injected, 200);
}

}  // namespace
}  // namespace querna
