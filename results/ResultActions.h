// The actions of the results table's popup menu: open a found file or its
// folder, copy its name, folder or full path, save the whole list. They work
// on the texts the table holds at the moment of the click (a name edited in
// place included) and need nothing else of the search.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clipboard.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "platform/TextFileWriter.h"

namespace querna {

// The table as the actions read it. Rows are numbered from 0.
class ResultRowsView {
  public:
    virtual ~ResultRowsView() = default;
    virtual int RowCount() = 0;
    // The selected row; -1 when none is (the table selects one at most).
    virtual int SelectedRow() = 0;
    // The row's caption (the name column).
    virtual std::string RowName(int row) = 0;
    // The row's folder cell, ending in a backslash; empty when the row has no
    // folder cell (a blank start-up row whose name was typed in).
    virtual std::string RowFolder(int row) = 0;
};

// The message of a failed save of the list to `path`: the file named, then
// why, in words, for the system error code that creating, writing or closing
// it gave back (0: a write stored less than it was given, the disk is full).
std::string SaveErrorText(const std::string& path, uint32_t systemError);

class ResultActions {
  public:
    ResultActions(ResultRowsView& rows, Shell& shell, Clipboard& clipboard, Dialogs& dialogs,
                  TextFileWriter& files)
        : rows_(rows), shell_(shell), clipboard_(clipboard), dialogs_(dialogs), files_(files) {}

    // The five row actions do nothing unless the table holds a first row with
    // a name and a row is selected.
    void OpenFolder();    // shell "open" of the selected row's folder
    void OpenFile();      // shell "open" of its full path (folder + name)
    void CopyName();      // the name to the clipboard
    void CopyFolder();    // the folder to the clipboard
    void CopyFullPath();  // the full path to the clipboard

    // Writes the full path of every row, first to last, each ended by CR LF,
    // to a file chosen in the save dialog, then confirms. Needs a first row
    // with a name, no selection. A file that cannot be created, written or
    // closed raises QuernaError (SaveErrorText, which names the file) and
    // leaves no file of that name: the partial file is removed.
    void SaveList();

  private:
    // Whether the table holds results at all: a first row with a name.
    bool HasResults();
    // The selected row when the table holds results; -1 otherwise.
    int ActionRow();
    std::string FullPath(int row);
    void WriteLines(OutputFile& file);

    ResultRowsView& rows_;
    Shell& shell_;
    Clipboard& clipboard_;
    Dialogs& dialogs_;
    TextFileWriter& files_;
    // The save dialog proposes the name chosen at its previous use.
    std::string saveFileName_;
};

}  // namespace querna
