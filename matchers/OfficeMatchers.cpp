#include "matchers/OfficeMatchers.h"

#include <exception>
#include <utility>
#include <vector>

namespace querna {

namespace {

constexpr CallKind kMethod = CallKind::Method;
constexpr CallKind kGet = CallKind::PropertyGet;
constexpr CallKind kPut = CallKind::PropertyPut;

// Excel's application class and the dual interfaces the workbook matcher holds
// its objects through.
constexpr char kExcelApplicationClass[] = "{00024500-0000-0000-C000-000000000046}";
constexpr char kExcelApplicationIid[] = "{000208D5-0000-0000-C000-000000000046}";
constexpr char kExcelWorkbookIid[] = "{000208DA-0000-0000-C000-000000000046}";
constexpr char kExcelWorksheetIid[] = "{000208D8-0000-0000-C000-000000000046}";
constexpr char kExcelRangeIid[] = "{00020846-0000-0000-C000-000000000046}";

// Dispatch identifiers of Excel's object model (its type library), so that no
// name has to be looked up.
constexpr int32_t kDisplayAlerts = 0x157;   // _Application.DisplayAlerts
constexpr int32_t kWorkbooks = 0x23c;       // _Application.Workbooks
constexpr int32_t kActiveWorkbook = 0x134;  // _Application.ActiveWorkbook
constexpr int32_t kQuit = 0x12e;            // _Application.Quit
constexpr int32_t kOpen = 0x783;            // Workbooks.Open, fifteen arguments
constexpr int32_t kActivate = 0x130;        // _Workbook.Activate, _Worksheet.Activate
constexpr int32_t kSaved = 0x12a;           // _Workbook.Saved
constexpr int32_t kWorksheets = 0x1ee;      // _Workbook.Worksheets
constexpr int32_t kCount = 0x76;            // Sheets.Count
constexpr int32_t kItem = 0xaa;             // Sheets.Item
constexpr int32_t kCells = 0xee;            // _Worksheet.Cells
constexpr int32_t kFind = 0x18e;            // Range.Find

// Range.Find settings: look in formulas, match any part of a cell, by rows,
// forwards.
constexpr int32_t kXlFormulas = -4123;
constexpr int32_t kXlPart = 2;
constexpr int32_t kXlByRows = 1;
constexpr int32_t kXlNext = 1;

// Runs the steps of a matcher and of its clean-up in turn. An error raised by
// a step replaces any raised before it; the last one is rethrown once every
// step has run. Nothing is thrown from a destructor, so a clean-up error can
// never meet another error in flight.
class StepRunner {
  public:
    template <typename Step>
    void Run(Step&& step) {
        try {
            step();
        } catch (...) {
            error_ = std::current_exception();
        }
    }
    void RethrowPending() const {
        if (error_) std::rethrow_exception(error_);
    }

  private:
    std::exception_ptr error_;
};

// --- Word ---

bool FindInDocument(Automation& automation, const AutoValue& document, const std::string& phrase) {
    automation.Call(document, "Select", kMethod);
    const AutoValue range = automation.Call(document, "Range", kMethod);
    const AutoValue find = automation.Call(range, "Find", kMethod);
    // The text sought, then Word's ten find options as not given, so that
    // Word's own settings govern them.
    std::vector<AutoValue> args(11, NotGiven{});
    args[0] = phrase;
    return ToBool(automation.Call(find, "Execute", kMethod, args));
}

// --- PowerPoint ---

// Every access walks again from the presentation; nothing of a slide or shape
// is kept from one access to the next.
AutoValue SlideShapes(Automation& automation, const AutoValue& presentation, int32_t slide) {
    const AutoValue slides = automation.Call(presentation, "slides", kMethod);
    const AutoValue item = automation.Call(slides, "item", kMethod, {slide});
    return automation.Call(item, "shapes", kMethod);
}

AutoValue SlideShape(Automation& automation, const AutoValue& presentation, int32_t slide,
                     int32_t shape) {
    return automation.Call(SlideShapes(automation, presentation, slide), "item", kMethod, {shape});
}

bool ShapeHoldsPhrase(Automation& automation, const AutoValue& presentation, int32_t slide,
                      int32_t shape, const std::string& phrase) {
    const AutoValue hasFrame = automation.Call(SlideShape(automation, presentation, slide, shape),
                                               "HasTextFrame", kMethod);
    if (!ToBool(hasFrame)) return false;
    const AutoValue frame =
        automation.Call(SlideShape(automation, presentation, slide, shape), "TextFrame", kMethod);
    const AutoValue range = automation.Call(frame, "TextRange", kMethod);
    const std::string text = ToText(automation.Call(range, "text", kMethod));
    return !phrase.empty() && text.find(phrase) != std::string::npos;
}

bool ExaminePresentation(Automation& automation, const AutoValue& application,
                         const std::string& path, const std::string& phrase) {
    automation.Call(application, "visible", kPut, {true});
    const AutoValue presentations = automation.Call(application, "Presentations", kMethod);
    const AutoValue presentation = automation.Call(presentations, "Open", kMethod, {path});
    // The collections are temporaries: none is held while shapes are examined.
    const int32_t slideCount =
        ToInt(automation.Call(automation.Call(presentation, "slides", kMethod), "Count", kMethod));
    for (int32_t slide = 1; slide <= slideCount; ++slide) {
        const int32_t shapeCount =
            ToInt(automation.Call(SlideShapes(automation, presentation, slide), "count", kMethod));
        for (int32_t shape = 1; shape <= shapeCount; ++shape) {
            try {
                if (ShapeHoldsPhrase(automation, presentation, slide, shape, phrase)) return true;
            } catch (const std::exception&) {
                // A shape that cannot be read gives up on the rest of its
                // slide only; the search goes on with the next slide.
                break;
            }
        }
    }
    return false;
}

// --- Excel ---

void OpenWorkbook(ExcelConnection& excel, const std::string& path) {
    Automation& automation = excel.Bridge();
    std::vector<AutoValue> args(15, NotGiven{});
    args[0] = path;
    const AutoValue workbooks = automation.CallById(excel.Application(), kWorkbooks, kGet);
    const AutoValue opened = automation.CallById(workbooks, kOpen, kMethod, args);
    excel.ConnectWorkbook(automation.QueryInterface(opened, kExcelWorkbookIid));
    automation.CallById(excel.Workbook(), kActivate, kMethod);
}

bool WorksheetHoldsPhrase(ExcelConnection& excel, int32_t index, const std::string& phrase) {
    Automation& automation = excel.Bridge();
    const AutoValue sheets = automation.CallById(excel.Workbook(), kWorksheets, kGet);
    const AutoValue item = automation.CallById(sheets, kItem, kGet, {index});
    excel.ConnectWorksheet(automation.QueryInterface(item, kExcelWorksheetIid));
    automation.CallById(excel.Worksheet(), kActivate, kMethod);
    const AutoValue cells = automation.QueryInterface(
        automation.CallById(excel.Worksheet(), kCells, kGet), kExcelRangeIid);
    const AutoValue found = automation.CallById(
        cells, kFind, kMethod,
        {phrase, NotGiven{}, kXlFormulas, kXlPart, kXlByRows, kXlNext, false, false, false});
    return HoldsObject(found);
}

bool ExamineWorkbook(ExcelConnection& excel, const std::string& path, const std::string& phrase) {
    Automation& automation = excel.Bridge();
    excel.SetAutoQuit(true);
    excel.ConnectApplication();
    // No prompt of Excel's may wait for an answer while the search runs.
    automation.CallById(excel.Application(), kDisplayAlerts, kPut, {false});
    OpenWorkbook(excel, path);
    // Marked unchanged, so that quitting never stops at a save prompt.
    const AutoValue active = automation.CallById(excel.Application(), kActiveWorkbook, kGet);
    automation.CallById(active, kSaved, kPut, {true});
    const AutoValue sheets = automation.CallById(excel.Workbook(), kWorksheets, kGet);
    const int32_t count = ToInt(automation.CallById(sheets, kCount, kGet));
    for (int32_t index = 1; index <= count; ++index) {
        if (WorksheetHoldsPhrase(excel, index, phrase)) return true;
    }
    return false;
}

}  // namespace

MatchVerdict MatchWordDocument(Automation& automation, const std::string& path,
                               const std::string& phrase) {
    AutoValue application = automation.CreateObject("Word.Application");
    AutoValue document;
    bool found = false;
    StepRunner steps;
    steps.Run([&] {
        automation.Call(application, "visible", kPut, {false});
        const AutoValue documents = automation.Call(application, "Documents", kMethod);
        document = automation.Call(documents, "Open", kMethod, {path});
        found = FindInDocument(automation, document, phrase);
    });
    // Save-changes is false for both: the search never writes a document back.
    if (HoldsObject(document)) {
        steps.Run([&] { automation.Call(document, "Close", kMethod, {false}); });
    }
    steps.Run([&] { automation.Call(application, "Quit", kMethod, {false}); });
    document = AutoValue{};
    application = AutoValue{};
    steps.RethrowPending();
    return FoundIf(found);
}

MatchVerdict MatchPowerPointPresentation(Automation& automation, const std::string& path,
                                         const std::string& phrase) {
    AutoValue application = automation.CreateObject("PowerPoint.Application");
    bool found = false;
    StepRunner steps;
    steps.Run([&] { found = ExaminePresentation(automation, application, path, phrase); });
    steps.Run([&] { automation.Call(application, "Quit", kMethod); });
    application = AutoValue{};
    steps.RethrowPending();
    return FoundIf(found);
}

void ExcelConnection::ConnectApplication() {
    if (HoldsObject(application_)) return;
    const AutoValue instance = automation_.CreateObjectOfClass(kExcelApplicationClass);
    application_ = automation_.QueryInterface(instance, kExcelApplicationIid);
}

void ExcelConnection::ConnectWorkbook(AutoValue workbook) {
    DisconnectWorkbook();
    workbook_ = std::move(workbook);
}

void ExcelConnection::ConnectWorksheet(AutoValue worksheet) {
    DisconnectWorksheet();
    worksheet_ = std::move(worksheet);
}

void ExcelConnection::DisconnectApplication() {
    // Let go first: the connection is closed even when the instance refuses to
    // quit, and the reference goes when `instance` does.
    const AutoValue instance = std::exchange(application_, AutoValue{});
    if (autoQuit_ && HoldsObject(instance)) automation_.CallById(instance, kQuit, kMethod);
}

MatchVerdict MatchExcelWorkbook(ExcelConnection& excel, const std::string& path,
                                const std::string& phrase) {
    bool found = false;
    StepRunner steps;
    steps.Run([&] { found = ExamineWorkbook(excel, path, phrase); });
    steps.Run([&] { excel.DisconnectWorksheet(); });
    steps.Run([&] { excel.DisconnectWorkbook(); });
    steps.Run([&] { excel.DisconnectApplication(); });
    steps.RethrowPending();
    return FoundIf(found);
}

}  // namespace querna
