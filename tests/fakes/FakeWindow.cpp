#include "tests/fakes/FakeWindow.h"

#include <iterator>

namespace querna::fakes {

namespace {

// The five fixed places at the head of the location list.
const char* const kFixedPlaces[] = {"我的文档", "桌面", "我的电脑", "临时文件", "IE缓存"};

}  // namespace

FakeWindow::FakeWindow() { locationItems.assign(std::begin(kFixedPlaces), std::end(kFixedPlaces)); }

void FakeWindow::SetLocalDrives(SearchState& state, const std::string& letters) {
    locationItems.assign(std::begin(kFixedPlaces), std::end(kFixedPlaces));
    std::string drives;
    for (const char letter : letters) drives += std::string(1, letter) + ":;";
    locationItems.push_back("本地硬盘(" + drives + ")");
    for (const char letter : letters) {
        locationItems.push_back("本地磁盘(" + std::string(1, letter) + ":)");
    }
    locationItems.push_back("浏览...");
    state.LocalDriveCount = static_cast<int32_t>(letters.size());
    state.LocalDriveLetters = letters;
}

int FakeWindow::ItemIndex(const std::string& caption) const {
    for (size_t i = 0; i < locationItems.size(); ++i) {
        if (locationItems[i] == caption) return static_cast<int>(i);
    }
    return -1;
}

std::string FakeWindow::LocationItemText(int index) {
    if (index < 0 || index >= static_cast<int>(locationItems.size())) return {};
    return locationItems[index];
}

void FakeWindow::FillResultTable(const ResultPathList& paths, bool empty) {
    fills.push_back({paths.Paths(), empty});
    if (empty) rows.clear();
    rows.insert(rows.end(), paths.Paths().begin(), paths.Paths().end());
    if (onFill) onFill(paths, empty);
}

}  // namespace querna::fakes
