#include "tests/fakes/FakeWindow.h"

#include "search/Locations.h"

namespace querna::fakes {

FakeWindow::FakeWindow() {
    SetLocalDrives("");
}

void FakeWindow::SetLocalDrives(const std::string& letters) {
    locationItems.clear();
    for (const LocationEntry& item : BuildLocationItems(letters)) {
        locationItems.push_back(item.caption);
    }
}

void FakeWindow::SetLocalDrives(SearchState& state, const std::string& letters) {
    SetLocalDrives(letters);
    state.LocalDriveCount = static_cast<int32_t>(letters.size());
    state.LocalDriveLetters = letters;
}

int FakeWindow::ItemIndex(const std::string& caption) const {
    for (size_t i = 0; i < locationItems.size(); ++i) {
        if (locationItems[i] == caption) return static_cast<int>(i);
    }
    return -1;
}

std::vector<std::string> FakeWindow::PanelTexts(int panel) const {
    std::vector<std::string> texts;
    for (const auto& [p, text] : panels) {
        if (p == panel) texts.push_back(text);
    }
    return texts;
}

void FakeWindow::SetStatusPanel(StatusPanel which, const std::string& text) {
    const int panel = static_cast<int>(which);
    panels.push_back({panel, text});
    if (panel >= 0 && panel < 4) current[panel] = text;
}

void FakeWindow::FillResultTable(const ResultPathList& paths, bool empty) {
    fills.push_back({paths.Paths(), empty});
    if (empty) rows.clear();
    rows.insert(rows.end(), paths.Paths().begin(), paths.Paths().end());
    if (onFill) onFill(paths, empty);
}

}  // namespace querna::fakes
