// A SearchHost that records what a search shows and how it paces itself,
// without sleeping. A test may hook the message pump to act "from inside" a
// search: press Stop, change the criteria, start a nested search.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/SearchHost.h"

namespace querna::fakes {

class RecordingHost : public SearchHost {
  public:
    // Recorded by the panel's place in the status bar (1: count, 3: path).
    void SetStatusPanel(StatusPanel which, const std::string& text) override {
        const int panel = static_cast<int>(which);
        panels.push_back({panel, text});
        if (panel >= 0 && panel < 4) current[panel] = text;
    }
    void ProcessMessages() override {
        ++pumps;
        if (onPump) onPump(pumps);
    }
    void Pause(int milliseconds) override { pauses.push_back(milliseconds); }
    std::string ReadPhrase() override {
        ++phraseReads;
        return phrase;
    }
    void ReportUnreadable(const std::string& path) override { unreadable.push_back(path); }
    void ReportUnlistable(const std::string& folder) override { unlistable.push_back(folder); }

    // The texts shown in one panel, in order.
    std::vector<std::string> PanelTexts(int panel) const {
        std::vector<std::string> texts;
        for (const auto& [p, text] : panels) {
            if (p == panel) texts.push_back(text);
        }
        return texts;
    }

    std::vector<std::pair<int, std::string>> panels;
    std::string current[4];
    int pumps = 0;
    std::vector<int> pauses;
    std::string phrase;
    int phraseReads = 0;
    std::vector<std::string> unreadable;  // files the content pass could not open
    std::vector<std::string> unlistable;  // sub-folders the walk could not list
    std::function<void(int pump)> onPump;
};

// Dialogs that record instead of showing anything.
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
