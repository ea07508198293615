#include "cli/FindCommand.h"

#include <io.h>
#include <windows.h>

#include "cli/ConsoleInterrupt.h"
#include "cli/ConsoleOutput.h"
#include "cli/ConsoleServices.h"
#include "cli/FindOptions.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "search/SearchRun.h"
#include "win32/Win32Drives.h"
#include "win32/WindowsServices.h"

namespace querna::cli {

namespace {

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

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
    HitStore hits;
    ConsoleWindow window(options, state, output, fs, rules, err, InterruptFlag(),
                         options.hits ? &hits : nullptr);
    // Ctrl+C is heard between the chunks of a large document too.
    services.documents.stop = &window;
    ConsoleMatchers matchers(fs, rules, services.automation, &services.documents);
    if (options.encoding == TextEncodingOption::Auto)
        matchers.DetectTextEncodings(services.codePage);
    if (options.hits) matchers.CollectHits({*options.hits}, services.codePage, hits);

    // Only the all-disks search walks the drive list; asking each letter for
    // its drive type costs tens of milliseconds under Wine.
    if (options.in.value_or("") == "ALL") {
        state.LocalDriveLetters = win32::ReadLocalDriveLetters();
        state.LocalDriveCount = static_cast<int32_t>(state.LocalDriveLetters.size());
    }
    SearchEngine engine(state, fs, rules, window, &matchers, options.pauseMs);
    engine.SetResultObserver(&window.Printer());
    SearchRun run(state, engine, window, services.registry, rules);
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
    // Every result has been printed; a file or folder that could not be
    // searched still makes the search incomplete.
    if (status == 0 && window.PassedOver()) status = 1;
    return status;
}

}  // namespace querna::cli
