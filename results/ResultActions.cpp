#include "results/ResultActions.h"

#include "platform/Error.h"

namespace querna {

namespace {

// Windows error codes the save names by text; every other one is numbered.
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kTooManyOpenFiles = 4;
constexpr uint32_t kAccessDenied = 5;

}  // namespace

std::string SaveErrorText(uint32_t systemError) {
    switch (systemError) {
        case kFileNotFound:
            return "File not found";
        case kPathNotFound:
            return "Invalid filename";
        case kTooManyOpenFiles:
            return "Too many open files";
        case kAccessDenied:
            return "File access denied";
        default:
            return "I/O error " + std::to_string(systemError);
    }
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
            throw QuernaError(SaveErrorText(error));
        }
        if (written < line.size()) throw QuernaError("Disk full");
    }
}

void ResultActions::SaveList() {
    if (!HasResults()) return;
    if (!dialogs_.PromptSaveFile(saveFileName_)) return;
    uint32_t error = 0;
    const std::unique_ptr<OutputFile> file = files_.Create(saveFileName_, error);
    if (!file) throw QuernaError(SaveErrorText(error));
    // On a failed write or close the error passes `file`, which then removes
    // the partial file (see OutputFile).
    WriteLines(*file);
    if (const uint32_t closeError = file->Close()) throw QuernaError(SaveErrorText(closeError));
    dialogs_.ShowInfo("文件列表保存成功", "提示");
}

}  // namespace querna
