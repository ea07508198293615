#include "cli/FindCommand.h"

#include <windows.h>

#include <map>

#include "cli/FindOptions.h"
#include "matchers/BinaryTextPending.h"
#include "matchers/MatcherSet.h"
#include "platform/Error.h"
#include "platform/win32/Win32Automation.h"
#include "platform/win32/Win32CodePage.h"
#include "platform/win32/Win32Drives.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32Registry.h"
#include "platform/win32/XmlLiteReader.h"
#include "results/ResultTable.h"
#include "search/SearchRun.h"

namespace querna::cli {

namespace {

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// No window: no status bar, no messages to process; the pause still paces the
// search so that the engine can be timed with the window's pacing.
class ConsoleHost final : public SearchHost {
public:
    explicit ConsoleHost(std::string phrase) : phrase_(std::move(phrase)) {}
    void SetStatusPanel(int, const std::string&) override {}
    void ProcessMessages() override {}
    void Pause(int milliseconds) override {
        if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
    }
    std::string ReadPhrase() override { return phrase_; }

private:
    std::string phrase_;
};

// Boxes become lines on the error stream; nothing waits for an answer.
class ConsoleDialogs final : public Dialogs {
public:
    explicit ConsoleDialogs(std::FILE* err) : err_(err) {}
    void ShowInfo(const std::string& text, const std::string&) override { Say(text); }
    void ShowPlainMessage(const std::string& text) override { Say(text); }
    void ShowError(const std::string& text) override { Say(ErrorReportText(text)); }
    bool BrowseForFolder(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    bool PromptSaveFile(std::string&) override { return false; }

private:
    void Say(const std::string& text) { Write(err_, text + "\r\n"); }
    std::FILE* err_;
};

// The rows the window would add to its table, printed as they come.
class PrintedTable final : public ResultTableView {
public:
    PrintedTable(const FindOptions& options, std::FILE* out) : options_(options), out_(out) {}
    void ClearRows() override {}
    void AddRow(const ResultRow& row) override {
        if (options_.format == OutputFormat::Paths) {
            Write(out_, row.folder + row.name + "\r\n");
        } else {
            Write(out_, row.name + "\t" + row.size + "\t" + row.type + "\t" + row.date + "\t" +
                            row.folder + "\r\n");
        }
    }
    ResultFilters ReadFilters() override {
        ResultFilters filters;
        filters.sizeOn = options_.minKb.has_value();
        filters.sizeThreshold = options_.minKb.value_or("");
        filters.dateOn = options_.from.has_value() || options_.to.has_value();
        filters.from = options_.from.value_or(-1e9);
        filters.to = options_.to.value_or(1e9);
        return filters;
    }

private:
    const FindOptions& options_;
    std::FILE* out_;
};

// The special places of the location box, by the item that stands for them.
int SpecialLocationIndex(const std::string& in) {
    static const std::map<std::string, int> kPlaces = {
        {"documents", liDocuments}, {"desktop", liDesktop}, {"templates", liTemporary},
        {"cache", liCache}};
    auto it = kPlaces.find(in);
    return it == kPlaces.end() ? -1 : it->second;
}

// The options as the window's inputs.
class OptionWindow final : public SearchWindow {
public:
    OptionWindow(const FindOptions& options, Dialogs& dialogs, ResultTableView& table,
                 FileSystem& fs, TextRules& rules, SearchHost& host)
        : options_(options), dialogs_(dialogs), table_(table), fs_(fs), rules_(rules),
          host_(host) {}
    std::string LocationText() override { return options_.in; }
    int LocationIndex() override { return SpecialLocationIndex(options_.in); }
    std::string LocationItemText(int) override { return {}; }
    int TypeIndex() override { return options_.typeIndex; }
    bool IsChecked(int box) override {
        switch (box) {
            case 1: return options_.includeSystem;
            case 2: return options_.includeHidden;
            case 3: return options_.includeSubfolders;
            default: return true;
        }
    }
    std::string IgnoredFolderText() override { return options_.skip; }
    std::string NameText() override { return options_.name; }
    std::string PhraseText() override { return options_.phrase.value_or(""); }
    void ShowInfo(const std::string& text, const std::string& caption) override {
        dialogs_.ShowInfo(text, caption);
    }
    void FillResultTable(const ResultPathList& paths, bool empty) override {
        querna::FillResultTable(fs_, rules_, host_, table_, paths, empty, options_.pauseMs);
    }

private:
    const FindOptions& options_;
    Dialogs& dialogs_;
    ResultTableView& table_;
    FileSystem& fs_;
    TextRules& rules_;
    SearchHost& host_;
};

}  // namespace

int RunFindCommand(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    FindOptions options;
    std::string error;
    if (!ParseFindOptions(args, options, error)) {
        Write(err, "querna-find: " + error + "\r\n" + FindUsage());
        return 2;
    }
    if (options.help) {
        Write(out, FindUsage());
        return 0;
    }

    win32::Win32FileSystem fs;
    win32::Win32TextRules rules;
    win32::Win32Registry registry;
    win32::Win32Automation automation;
    ConsoleHost host(options.phrase.value_or(""));
    ConsoleDialogs dialogs(err);
    win32::XmlLiteReaders xml;
    win32::Win32CodePage codePage;
    PendingCompoundFiles compoundFiles;
    const DocumentServices documents{fs, xml, codePage, compoundFiles};
    MatcherSet matchers(fs, dialogs, automation, &documents);
    PrintedTable table(options, out);
    OptionWindow window(options, dialogs, table, fs, rules, host);

    SearchState state;
    state.LocalDriveLetters = win32::ReadLocalDriveLetters();
    state.LocalDriveCount = static_cast<int32_t>(state.LocalDriveLetters.size());
    SearchEngine engine(state, fs, rules, host, &matchers, options.pauseMs);
    SearchRun run(state, engine, window, host, registry, rules);
    try {
        run.Run();
    } catch (const std::exception& e) {
        std::fflush(out);
        Write(err, ErrorReportText(e.what()) + "\r\n");
        return 1;
    }
    return 0;
}

}  // namespace querna::cli
