// Dialogs that record instead of showing anything.
#pragma once

#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace querna::fakes {

class RecordingDialogs final : public Dialogs {
  public:
    void ShowInfo(const std::string& text, const std::string& caption) override {
        shown.push_back("info:" + caption + ":" + text);
    }
    void ShowPlainMessage(const std::string& text) override { shown.push_back("plain:" + text); }
    void ShowError(const std::string& text) override { shown.push_back("error:" + text); }
    bool BrowseForFolder(const std::string&, const std::string&, std::string& folder) override {
        folder = browseAnswer;
        return !browseAnswer.empty();
    }
    bool PromptSaveFile(std::string& fileName) override {
        if (saveAnswer.empty()) return false;
        fileName = saveAnswer;
        return true;
    }

    std::vector<std::string> shown;
    std::string browseAnswer;
    std::string saveAnswer;
};

}  // namespace querna::fakes
