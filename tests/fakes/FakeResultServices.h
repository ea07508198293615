// Fakes for the results popup actions: a table of rows, a shell and a
// clipboard that record what they were asked, and an in-memory file writer
// that can fail at creation, at the Nth write (with an error code or by
// storing less than asked) or at closing. Like the Win32 writer, it keeps a
// file only when it was closed without an error: a file released unclosed,
// or whose close failed, is removed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/Error.h"
#include "platform/Shell.h"
#include "platform/TextFileWriter.h"
#include "results/ResultActions.h"

namespace querna::fakes {

class FakeResultRows final : public ResultRowsView {
  public:
    struct Row {
        std::string name;
        std::optional<std::string> folder;  // nothing: the row has no folder cell
    };
    std::vector<Row> rows;
    int selected = -1;

    int RowCount() override { return static_cast<int>(rows.size()); }
    int SelectedRow() override { return selected; }
    std::string RowName(int row) override { return rows.at(row).name; }
    std::string RowFolder(int row) override { return rows.at(row).folder.value_or(""); }
};

class RecordingShell final : public Shell {
  public:
    void Open(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

class RecordingClipboard final : public Clipboard {
  public:
    void SetText(const std::string& text) override {
        if (busy) throw QuernaError("Cannot open clipboard");
        texts.push_back(text);
    }
    std::vector<std::string> texts;
    bool busy = false;  // another program holds the clipboard
};

class FakeTextFileWriter final : public TextFileWriter {
  public:
    // Files as they stand: created, replaced, written so far; a file whose
    // writing did not end in a successful close is no longer here.
    std::map<std::string, std::string> files;
    std::vector<std::string> created;  // every path Create was asked for

    uint32_t createError = 0;    // Create fails with this code when not 0
    int failingWrite = 0;        // the Nth Write (from 1) fails ...
    uint32_t writeError = 0;     // ... with this code, or, when 0,
    size_t shortWriteBytes = 0;  // ... stores only this many bytes
    uint32_t closeError = 0;     // Close reports this code
    int openFiles = 0;           // files created and not yet closed

    std::unique_ptr<OutputFile> Create(const std::string& path, uint32_t& error) override;

  private:
    friend class FakeOutputFile;
    int writes_ = 0;
};

}  // namespace querna::fakes
