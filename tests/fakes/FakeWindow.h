// A scripted main window for the search: its controls are plain fields a
// test sets, and it records what the search does to it (status panels, table
// fills and the rows they leave, information boxes, reports) and how it paces
// itself, without sleeping. `onPump` lets a test act from inside a search:
// press Stop, type into a box, start a nested run.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "search/SearchState.h"
#include "search/SearchWindow.h"

namespace querna::fakes {

class FakeWindow final : public SearchWindow {
  public:
    FakeWindow();

    // --- The controls.
    std::string locationText;
    int locationIndex = -1;
    std::vector<std::string> locationItems;
    int typeIndex = -1;
    bool checked[4] = {true, true, true, true};  // chk1 .. chk4
    std::string ignoredFolder;
    std::string name;
    std::string phrase;

    // Builds the location list as the window does for these local disks
    // ("CD" gives ... "本地硬盘(C:;D:;)", "本地磁盘(C:)", "本地磁盘(D:)",
    // "浏览...") and records them in `state`.
    void SetLocalDrives(SearchState& state, const std::string& letters);
    // Appends a folder item, as the window does for a command-line folder.
    void AddFolderItem(const std::string& folder) { locationItems.push_back(folder); }
    // The captions of the window's item table, for these disks.
    void SetLocalDrives(const std::string& letters);
    // The index of the item with this caption; -1 when there is none.
    int ItemIndex(const std::string& caption) const;

    // --- What the search did.
    // The texts shown in one panel (1: count, 3: path), in order.
    std::vector<std::string> PanelTexts(int panel) const;

    std::vector<std::pair<int, std::string>> panels;  // by the panel's place
    std::string current[4];
    int pumps = 0;
    std::vector<int> pauses;
    int phraseReads = 0;
    std::vector<std::string> unreadable;  // files the content pass could not open
    std::vector<std::string> unlistable;  // sub-folders the walk could not list
    std::vector<std::pair<std::string, std::string>> infos;  // text, caption
    struct Fill {
        std::vector<std::string> paths;
        bool empty;
    };
    std::vector<Fill> fills;
    // The table's rows as full paths. It starts with the two blank rows the
    // window holds before its first search.
    std::vector<std::string> rows{"", ""};

    std::function<void(int pump)> onPump;
    // Called by every fill after it is recorded, so that a test can fill a
    // real results table from the paths as the window does.
    std::function<void(const ResultPathList& paths, bool empty)> onFill;

    std::string LocationText() override { return locationText; }
    int LocationIndex() override { return locationIndex; }
    int TypeIndex() override { return typeIndex; }
    bool IsChecked(SearchSwitch box) override { return checked[static_cast<int>(box)]; }
    std::string IgnoredFolderText() override { return ignoredFolder; }
    std::string NameText() override { return name; }
    std::string PhraseText() override {
        ++phraseReads;
        return phrase;
    }
    void SetStatusPanel(StatusPanel which, const std::string& text) override;
    void ShowInfo(const std::string& text, const std::string& caption) override {
        infos.emplace_back(text, caption);
    }
    void ReportUnreadable(const std::string& path) override { unreadable.push_back(path); }
    void ReportUnlistable(const std::string& folder) override { unlistable.push_back(folder); }
    void FillResultTable(const ResultPathList& paths, bool empty) override;
    void ProcessMessages() override {
        ++pumps;
        if (onPump) onPump(pumps);
    }
    void Pause(int milliseconds) override { pauses.push_back(milliseconds); }
};

}  // namespace querna::fakes
