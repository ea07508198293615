// The Office document matchers: whether a Word document, an Excel workbook or
// a PowerPoint presentation holds the phrase, asked of the applications' own
// automation servers. Each answers Found or NotFound.
//
// Every examined file gets an application object of its own, which is told to
// quit before the matcher returns, on every way out. Errors are not caught
// (except inside one PowerPoint shape): they leave the matcher after its
// clean-up. Every clean-up step runs even when an earlier one failed; an error
// raised in the clean-up replaces the one being handled, the last raised wins.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Automation.h"
#include "search/ContentMatchers.h"

namespace querna {

// Word, late-bound by name: opens the document, runs Word's find over its whole
// range with Word's own find options, closes the document without saving and
// quits. A document that failed to open is not closed; Word still quits.
MatchVerdict MatchWordDocument(Automation& automation, const std::string& path,
                               const std::string& phrase);

// PowerPoint, late-bound by name: reads the text of every shape with a text
// frame, slide by slide, and looks for the phrase in it byte for byte, letter
// case significant; an empty phrase is never found. An error while one shape
// is examined is dropped and ends that slide only.
MatchVerdict MatchPowerPointPresentation(Automation& automation, const std::string& path,
                                         const std::string& phrase);

// The three connections to Excel that the window keeps for the workbook
// matcher: the application, the workbook and the worksheet being searched.
// Each holds at most one object. Connecting the application always creates a
// new instance of Excel's application class; disconnecting it tells that
// instance to quit first when AutoQuit is set, and lets go of it even when
// quitting fails. Destruction releases what is held without quitting.
class ExcelConnection {
  public:
    explicit ExcelConnection(Automation& automation) : automation_(automation) {}
    ExcelConnection(const ExcelConnection&) = delete;
    ExcelConnection& operator=(const ExcelConnection&) = delete;

    Automation& Bridge() const { return automation_; }
    void SetAutoQuit(bool autoQuit) { autoQuit_ = autoQuit; }
    bool AutoQuit() const { return autoQuit_; }

    // Creates the instance when none is held; does nothing otherwise.
    void ConnectApplication();
    // Let go of what they hold, then hold the given object.
    void ConnectWorkbook(AutoValue workbook);
    void ConnectWorksheet(AutoValue worksheet);
    void DisconnectWorksheet() { worksheet_ = AutoValue{}; }
    void DisconnectWorkbook() { workbook_ = AutoValue{}; }
    void DisconnectApplication();

    const AutoValue& Application() const { return application_; }
    const AutoValue& Workbook() const { return workbook_; }
    const AutoValue& Worksheet() const { return worksheet_; }
    bool Connected() const {
        return HoldsObject(application_) || HoldsObject(workbook_) || HoldsObject(worksheet_);
    }

  private:
    Automation& automation_;
    bool autoQuit_ = false;
    AutoValue application_;
    AutoValue workbook_;
    AutoValue worksheet_;
};

// Excel, by dispatch identifier with locale 0: connects a new application,
// opens the workbook and asks Excel's range search, worksheet by worksheet in
// order from the first, for a cell holding the phrase (any part of a cell,
// letter case not significant); stops at the first worksheet that gives one.
// Leaves all three connections disconnected on every way out.
MatchVerdict MatchExcelWorkbook(ExcelConnection& excel, const std::string& path,
                                const std::string& phrase);

}  // namespace querna
