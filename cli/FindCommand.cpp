#include "cli/FindCommand.h"

#include <io.h>
#include <windows.h>

#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleOutput.h"
#include "cli/ConsoleServices.h"
#include "cli/FindOptions.h"
#include "platform/Error.h"
#include "results/ResultTable.h"
#include "search/Locations.h"
#include "search/SearchRun.h"
#include "win32/Win32Drives.h"
#include "win32/WindowsServices.h"

namespace querna::cli {

namespace {

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// The options as the window's inputs.
class OptionWindow final : public SearchWindow {
  public:
    OptionWindow(const FindOptions& options, Dialogs& dialogs, ResultPrinter& printer)
        : options_(options), dialogs_(dialogs), printer_(printer) {}
    std::string LocationText() override { return options_.in.value_or(""); }
    // A named place ("cache") stands for its item of the location box.
    int LocationIndex() override { return LocationIndexOfKeyword(options_.in.value_or("")); }
    int TypeIndex() override { return options_.typeIndex; }
    bool IsChecked(SearchSwitch box) override {
        switch (box) {
            case SearchSwitch::System:
                return options_.includeSystem;
            case SearchSwitch::Hidden:
                return options_.includeHidden;
            case SearchSwitch::Subfolders:
                return options_.includeSubfolders;
            case SearchSwitch::ReadOnly:
                return true;
        }
        return true;
    }
    std::string IgnoredFolderText() override { return options_.skip; }
    std::string NameText() override { return options_.name; }
    std::string PhraseText() override { return options_.phrase.value_or(""); }
    void ShowInfo(const std::string& text, const std::string& caption) override {
        dialogs_.ShowInfo(text, caption);
    }
    void FillResultTable(const ResultPathList& paths, bool) override {
        printer_.FillResultTable(paths);
    }

  private:
    const FindOptions& options_;
    Dialogs& dialogs_;
    ResultPrinter& printer_;
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

    win32::WindowsServices services;
    win32::Win32FileSystem& fs = services.fs;
    win32::Win32TextRules& rules = services.rules;
    ConsoleOutput output(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out))));
    SearchState state;
    ConsoleHost host(options.phrase.value_or(""), state, output, err, InterruptFlag());
    ConsoleDialogs dialogs(err);
    // Ctrl+C is heard between the chunks of a large document too.
    services.documents.stop = &host;
    ConsoleMatchers matchers(fs, rules, services.automation, &services.documents);
    if (options.encoding == TextEncodingOption::Auto)
        matchers.DetectTextEncodings(services.codePage);
    ResultPrinter printer(options, output, fs, rules, host);
    OptionWindow window(options, dialogs, printer);

    // Only the all-disks search walks the drive list; asking each letter for
    // its drive type costs tens of milliseconds under Wine.
    if (options.in.value_or("") == "ALL") {
        state.LocalDriveLetters = win32::ReadLocalDriveLetters();
        state.LocalDriveCount = static_cast<int32_t>(state.LocalDriveLetters.size());
    }
    SearchEngine engine(state, fs, rules, host, &matchers, options.pauseMs);
    engine.SetResultObserver(&printer);
    SearchRun run(state, engine, window, host, services.registry, rules);
    int status = 0;
    try {
        // A refused location has been told on the error stream.
        if (!run.Run()) status = 1;
    } catch (const std::exception& e) {
        output.Flush();
        Write(err, ErrorReportText(e.what()) + "\r\n");
        status = 1;
    }
    status = FinishRun(output, err, InterruptFlag().load(), status);
    // Every result has been printed; a folder that could not be searched
    // still makes the search incomplete.
    if (status == 0 && host.FolderPassedOver()) status = 1;
    return status;
}

}  // namespace querna::cli
