// The program's modal boxes and dialogs.
#pragma once

#include <string>

namespace querna {

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // The program's own information message: information icon, one OK button.
    virtual void ShowInfo(const std::string& text, const std::string& caption) = 0;
    // The plain message box: no icon, one OK button, captioned with the
    // application's title.
    virtual void ShowPlainMessage(const std::string& text) = 0;
    // The standard error report: error icon, the application's title as
    // caption, "." appended by the rule of ErrorReportText.
    virtual void ShowError(const std::string& text) = 0;
    // The folder-selection dialog; false when cancelled or unavailable.
    virtual bool BrowseForFolder(const std::string& caption, const std::string& root,
                                 std::string& folder) = 0;
    // The save-file dialog; proposes and updates `fileName`. False when cancelled.
    virtual bool PromptSaveFile(std::string& fileName) = 0;
};

// The text the standard error report shows: "." appended when the code of the
// last character is greater than that of "." (a GBK character ends in a byte
// above 0x7F, so it counts as greater too).
inline std::string ErrorReportText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
    return message;
}

}  // namespace querna
