#include "cli/ConsoleServices.h"

#include <exception>

#include "platform/Error.h"
#include "search/Locations.h"

namespace querna::cli {

namespace {

// The C runtime buffers its error stream when it is a pipe or a file: each
// message is written out at once, so that a log shows it when it happened.
void WriteLine(std::FILE* stream, const std::string& text) {
    const std::string line = text + "\r\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

// The type box's item for text files alone.
constexpr int kTextTypeIndex = 3;

}  // namespace

int ConsoleWindow::LocationIndex() {
    return LocationIndexOfKeyword(options_.in.value_or(""));
}

bool ConsoleWindow::IsChecked(SearchSwitch box) {
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

void ConsoleWindow::ShowInfo(const std::string& text, const std::string&) {
    WriteLine(err_, text);
}

void ConsoleWindow::ReportUnreadable(const std::string& path) {
    WriteLine(err_, "无法读取文件: " + path);
    passedOver_ = true;
}

void ConsoleWindow::ReportUnlistable(const std::string& folder) {
    WriteLine(err_, "无法读取目录: " + folder);
    passedOver_ = true;
}

void ConsoleWindow::ProcessMessages() {
    if (!stopAsked_ && (interrupted_.load() || output_.Failed())) {
        stopAsked_ = true;
        state_.StopRequested = kTrue;
        output_.Flush();
    }
    // A search run clears the flag when it starts; the request stands.
    if (stopAsked_) state_.StopRequested = kTrue;
    output_.FlushIfDue();
}

void ConsoleWindow::Pause(int milliseconds) {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

template <typename Match>
MatchVerdict ConsoleMatchers::MatchDocument(const std::string& path, Match match) {
    try {
        return match();
    } catch (const std::exception& error) {
        // The built-in readers' errors name the file already.
        const std::string text = error.what();
        if (text.find(path) != std::string::npos) throw;
        throw QuernaError(path + ": " + text);
    }
}

// No COM: the built-in readers' errors name the file already.
MatchVerdict ConsoleMatchers::MatchWithHits(const std::string& path, const std::string& phrase,
                                            DocumentKind kind, DocumentFault neither) {
    FileHits found;
    const MatchVerdict verdict =
        CollectDocumentHits(*documents_, kind, path, phrase, hits_->limit, found, neither);
    if (verdict == MatchVerdict::Found) hits_->store.Put(path, std::move(found));
    return verdict;
}

MatchVerdict ConsoleMatchers::MatchWordDocument(const std::string& path,
                                                const std::string& phrase) {
    if (hits_) return MatchWithHits(path, phrase, DocumentKind::Word);
    return MatchDocument(path, [&] { return matchers_.MatchWordDocument(path, phrase); });
}

MatchVerdict ConsoleMatchers::MatchExcelWorkbook(const std::string& path,
                                                 const std::string& phrase) {
    if (hits_) return MatchWithHits(path, phrase, DocumentKind::Excel);
    return MatchDocument(path, [&] { return matchers_.MatchExcelWorkbook(path, phrase); });
}

MatchVerdict ConsoleMatchers::MatchPowerPointPresentation(const std::string& path,
                                                          const std::string& phrase) {
    if (hits_) return MatchWithHits(path, phrase, DocumentKind::PowerPoint);
    return MatchDocument(path, [&] { return matchers_.MatchPowerPointPresentation(path, phrase); });
}

MatchVerdict ConsoleMatchers::MatchWpsDocument(const std::string& path, const std::string& phrase) {
    if (hits_) return MatchWithHits(path, phrase, WpsDocumentKind(path), DocumentFault::OldFormat);
    return matchers_.MatchWpsDocument(path, phrase);
}

MatchVerdict ConsoleMatchers::MatchTextFile(const std::string& path, const std::string& phrase) {
    if (!hits_) return matchers_.MatchTextFile(path, phrase);
    FileHits found;
    const MatchVerdict verdict =
        matchers_.Text().CollectHits(path, phrase, hits_->codePage, hits_->limit, found,
                                     documents_ != nullptr ? documents_->stop : nullptr);
    if (verdict == MatchVerdict::Found) hits_->store.Put(path, std::move(found));
    return verdict;
}

FileHits HitStore::Take(const std::string& path) {
    const auto it = hits_.find(path);
    if (it == hits_.end()) return {};
    FileHits hits = std::move(it->second);
    hits_.erase(it);
    return hits;
}

ResultPrinter::ResultPrinter(const FindOptions& options, ConsoleOutput& output, FileSystem& fs,
                             TextRules& rules, SearchWindow& window, HitStore* hits)
    : options_(options), output_(output), fs_(fs), rules_(rules), window_(window), hits_(hits) {
    filters_.sizeOn = options.minKb.has_value();
    filters_.sizeThreshold = options.minKb.value_or("");
    filters_.dateOn = options.from.has_value() || options.to.has_value();
    filters_.from = options.from.value_or(-1e9);
    filters_.to = options.to.value_or(1e9);
    const bool contentSearch = !options.phrase.value_or("").empty();
    holdUntilRootEnds_ = contentSearch && options.typeIndex != kTextTypeIndex;
}

void ResultPrinter::ResultAppended(const std::string& path, const ListedFile& listed) {
    if (!holdUntilRootEnds_) Print(path, listed);
}

void ResultPrinter::FillResultTable(const ResultPathList& paths) {
    if (!holdUntilRootEnds_) return;
    for (size_t i = 0; i < paths.Count(); ++i) Print(paths[i], paths.Listed(i));
}

// Like the window after each added row: messages, then the pause.
void ResultPrinter::Print(const std::string& path, const ListedFile& listed) {
    // A row the filters leave out takes its hits along.
    const FileHits hits = hits_ != nullptr ? hits_->Take(path) : FileHits();
    const std::optional<ResultRow> row = BuildListedRow(fs_, rules_, path, listed, filters_);
    if (!row) return;
    if (options_.format == OutputFormat::Paths) {
        output_.Write(row->folder + row->name + "\r\n");
    } else {
        output_.Write(row->name + "\t" + row->size + "\t" + row->type + "\t" + row->date + "\t" +
                      row->folder + "\r\n");
    }
    for (const PhraseHit& hit : hits.kept)
        output_.Write("\t" + hit.location + "\t" + hit.context + "\r\n");
    if (hits.more > 0) output_.Write("\t……另有 " + std::to_string(hits.more) + " 处\r\n");
    window_.ProcessMessages();
    window_.Pause(options_.pauseMs);
}

int FinishRun(ConsoleOutput& output, std::FILE* err, bool interrupted, int status) {
    if (!output.Flush()) {
        WriteLine(err, WriteFailureText(output.ErrorCode()));
        return 1;
    }
    if (interrupted && status == 0) return 130;
    return status;
}

}  // namespace querna::cli
