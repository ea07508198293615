#include "results/ResultActions.h"

#include "platform/Error.h"

namespace querna {

namespace {

// Windows error codes the save explains in words; every other one is
// numbered.
constexpr uint32_t kShortWrite = 0;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kTooManyOpenFiles = 4;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kHandleDiskFull = 39;
constexpr uint32_t kDiskFull = 112;
constexpr uint32_t kInvalidName = 123;

std::string SaveErrorReason(uint32_t systemError) {
    switch (systemError) {
        case kShortWrite:
        case kHandleDiskFull:
        case kDiskFull:
            return "磁盘空间不足";
        case kFileNotFound:
            return "找不到文件";
        case kPathNotFound:
            return "文件夹不存在";
        case kTooManyOpenFiles:
            return "打开的文件过多";
        case kAccessDenied:
            return "拒绝访问";
        case kSharingViolation:
            return "文件正被其他程序使用";
        case kInvalidName:
            // Also what a device's name ("com1.txt", "nul") gives: the list
            // would reach the device rather than a file.
            return "文件名无效或是设备名";
        default:
            return "系统错误 " + std::to_string(systemError);
    }
}

}  // namespace

std::string SaveErrorText(const std::string& path, uint32_t systemError) {
    return "无法写入文件 " + path + "：" + SaveErrorReason(systemError);
}

bool ResultActions::HasResults() {
    return rows_.RowCount() >= 1 && !rows_.RowName(0).empty();
}

int ResultActions::ActionRow() {
    if (!HasResults()) return -1;
    const int row = rows_.SelectedRow();
    return row >= 0 && row < rows_.RowCount() ? row : -1;
}

std::string ResultActions::FullPath(int row) {
    return rows_.RowFolder(row) + rows_.RowName(row);
}

void ResultActions::OpenFolder() {
    const int row = ActionRow();
    if (row >= 0) shell_.Open(rows_.RowFolder(row));
}

void ResultActions::OpenFile() {
    const int row = ActionRow();
    if (row >= 0) shell_.Open(FullPath(row));
}

void ResultActions::CopyName() {
    const int row = ActionRow();
    if (row >= 0) clipboard_.SetText(rows_.RowName(row));
}

void ResultActions::CopyFolder() {
    const int row = ActionRow();
    if (row >= 0) clipboard_.SetText(rows_.RowFolder(row));
}

void ResultActions::CopyFullPath() {
    const int row = ActionRow();
    if (row >= 0) clipboard_.SetText(FullPath(row));
}

void ResultActions::WriteLines(OutputFile& file) {
    std::string line;
    const int count = rows_.RowCount();
    for (int row = 0; row < count; ++row) {
        line = FullPath(row);
        line += "\r\n";
        size_t written = 0;
        if (const uint32_t error = file.Write(line, written)) {
            throw QuernaError(SaveErrorText(saveFileName_, error));
        }
        if (written < line.size()) throw QuernaError(SaveErrorText(saveFileName_, kShortWrite));
    }
}

void ResultActions::SaveList() {
    if (!HasResults()) return;
    if (!dialogs_.PromptSaveFile(saveFileName_)) return;
    uint32_t error = 0;
    const std::unique_ptr<OutputFile> file = files_.Create(saveFileName_, error);
    if (!file) throw QuernaError(SaveErrorText(saveFileName_, error));
    // On a failed write or close the error passes `file`, which then removes
    // the partial file (see OutputFile).
    WriteLines(*file);
    if (const uint32_t closeError = file->Close()) {
        throw QuernaError(SaveErrorText(saveFileName_, closeError));
    }
    dialogs_.ShowInfo("文件列表保存成功", "提示");
}

}  // namespace querna
