// What querna-find.exe puts where the window would be: the search's window
// made of the options, the error stream and the printer of the results, and
// the content matchers as the console runs them.
#pragma once

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cli/ComOnDemand.h"
#include "cli/ConsoleOutput.h"
#include "cli/FindOptions.h"
#include "matchers/MatcherSet.h"
#include "matchers/PhraseHits.h"
#include "platform/StopCheck.h"
#include "results/ResultTable.h"
#include "search/SearchEngine.h"
#include "search/SearchState.h"
#include "search/SearchWindow.h"
#include "win32/Handles.h"

namespace querna::cli {

// The hits of the files matched so far, kept until their rows are printed;
// each file's within the budget of kept hits.
class HitStore {
  public:
    void Put(const std::string& path, FileHits hits) { hits_[path] = std::move(hits); }
    // The hits of `path`, no longer kept.
    FileHits Take(const std::string& path);

  private:
    std::unordered_map<std::string, FileHits> hits_;
};

// The window's matchers, with what the console adds: COM is entered only when
// an Office application the registry knows is about to be asked for a
// document (under Wine that starts a desktop process and the RPC service,
// which cost start-up time and keep inherited output pipes open), and an
// error from a document names the file.
class ConsoleMatchers final : public ContentMatchers {
  public:
    ConsoleMatchers(FileSystem& fs, TextRules& rules, Automation& automation,
                    const DocumentServices* documents = nullptr)
        : documents_(documents),
          automation_(automation),
          matchers_(fs, rules, automation_, documents) {}

    MatchVerdict MatchWordDocument(const std::string& path, const std::string& phrase) override;
    MatchVerdict MatchExcelWorkbook(const std::string& path, const std::string& phrase) override;
    MatchVerdict MatchPowerPointPresentation(const std::string& path,
                                             const std::string& phrase) override;
    MatchVerdict MatchTextFile(const std::string& path, const std::string& phrase) override;
    // No COM: WPS files are read by the built-in readers, whose errors name
    // the file.
    MatchVerdict MatchWpsDocument(const std::string& path, const std::string& phrase) override;

    // Text files in UTF-8, UTF-16 and GB18030 too (`--encoding auto`).
    void DetectTextEncodings(CodePage& codePage) { matchers_.Text().DetectEncodings(codePage); }

    // From now on each file that matches leaves its hits in `store`, up to
    // `limit`; documents are then read by the built-in readers (the
    // automation servers tell no place), so the document services must have
    // been given. `codePage` decodes text files for their context.
    void CollectHits(HitLimit limit, CodePage& codePage, HitStore& store) {
        hits_.emplace(HitMode{limit, codePage, store});
    }

    // Whether COM has been entered.
    bool ComStarted() const { return automation_.Entered(); }

  private:
    template <typename Match>
    MatchVerdict MatchDocument(const std::string& path, Match match);
    MatchVerdict MatchWithHits(const std::string& path, const std::string& phrase,
                               DocumentKind kind, DocumentFault neither = DocumentFault::Damaged);

    struct HitMode {
        HitLimit limit;
        CodePage& codePage;
        HitStore& store;
    };

    const DocumentServices* documents_;
    std::optional<HitMode> hits_;
    // Declared before the matchers: the apartment it enters is left after
    // they have let go of every object.
    ComOnDemand automation_;
    MatcherSet matchers_;
};

// Prints the rows the window would list, built from what the walker's listing
// returned (no second look-up per file), with the size and date filters.
//
// A row is printed as soon as its file is a final result, so an interrupted
// search keeps what it printed: a name search's files as the walk appends
// them. In a content search an error from an Office document ends the run
// without listing the current root's matches (as the window shows none), so
// while Office documents can be candidates a root's matches are printed when
// its pass has ended; a search of text files alone prints each match at once.
class ResultPrinter final : public ResultObserver {
  public:
    // `window` paces the printing as the window's table fill is paced; with
    // `hits`, each row is followed by the hits its file left there.
    ResultPrinter(const FindOptions& options, ConsoleOutput& output, FileSystem& fs,
                  TextRules& rules, SearchWindow& window, HitStore* hits = nullptr);

    void ResultAppended(const std::string& path, const ListedFile& listed) override;
    // The end of one root's search, where the window fills its table.
    void FillResultTable(const ResultPathList& paths);

  private:
    void Print(const std::string& path, const ListedFile& listed);

    const FindOptions& options_;
    ConsoleOutput& output_;
    FileSystem& fs_;
    TextRules& rules_;
    SearchWindow& window_;
    HitStore* hits_;
    ResultFilters filters_;
    bool holdUntilRootEnds_;
};

// No window: the options are its inputs and the results table is the
// printer; boxes become lines on the error stream, nothing waits for an
// answer, and there is no status bar. Its message pump is where an interrupt
// becomes the stop request (as the Stop button's click would, between two
// entries) and where the output is flushed on its timer. The pause still
// paces the search, so that the engine can be timed with the window's pacing.
// A file that cannot be opened is named on `err` (the window's box cannot say
// more than "打开文件错误", but a line in a log must), and so is a sub-folder
// that cannot be listed, which the window passes over in silence: a script
// must not take a search that missed part of the tree for a complete one, so
// either ends the run with 1.
// Inside one large document the readers ask it whether to stop, and it
// answers from the Ctrl+C flag. Given `hits`, each printed row is followed by
// the hits its file left there.
class ConsoleWindow final : public SearchWindow, public StopCheck {
  public:
    ConsoleWindow(const FindOptions& options, SearchState& state, ConsoleOutput& output,
                  FileSystem& fs, TextRules& rules, std::FILE* err,
                  const std::atomic<bool>& interrupted, HitStore* hits = nullptr)
        : options_(options),
          state_(state),
          output_(output),
          err_(err),
          interrupted_(interrupted),
          printer_(options, output, fs, rules, *this, hits) {}

    std::string LocationText() override { return options_.in.value_or(""); }
    // A named place ("cache") stands for its item of the location box.
    int LocationIndex() override;
    int TypeIndex() override { return options_.typeIndex; }
    bool IsChecked(SearchSwitch box) override;
    std::string IgnoredFolderText() override { return options_.skip; }
    std::string NameText() override { return options_.name; }
    std::string PhraseText() override { return options_.phrase.value_or(""); }
    void SetStatusPanel(StatusPanel, const std::string&) override {}
    void ShowInfo(const std::string& text, const std::string& caption) override;
    void ReportUnreadable(const std::string& path) override;
    void ReportUnlistable(const std::string& folder) override;
    void FillResultTable(const ResultPathList& paths, bool) override {
        printer_.FillResultTable(paths);
    }
    void ProcessMessages() override;
    void Pause(int milliseconds) override;
    bool StopNow() override { return interrupted_.load(); }

    // The printer, to be told of each result as the search finds it.
    ResultObserver& Printer() { return printer_; }
    // Whether a file could not be read or a sub-folder listed: the run then
    // ends with 1.
    bool PassedOver() const { return passedOver_; }

  private:
    const FindOptions& options_;
    SearchState& state_;
    ConsoleOutput& output_;
    std::FILE* err_;
    const std::atomic<bool>& interrupted_;
    ResultPrinter printer_;
    bool stopAsked_ = false;
    bool passedOver_ = false;
};

// The end of a run: writes out what is buffered and gives the exit status. A
// failed write to standard output gives 1 after a message on `err`; then an
// interrupt gives 130; otherwise `status` stands.
int FinishRun(ConsoleOutput& output, std::FILE* err, bool interrupted, int status);

}  // namespace querna::cli
