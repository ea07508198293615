#include <gtest/gtest.h>

#include <deque>

#include "platform/Error.h"
#include "results/ResultActions.h"
#include "tests/fakes/FakeResultServices.h"

namespace querna {
namespace {

using Paths = std::vector<std::string>;
using Row = fakes::FakeResultRows::Row;

// A save dialog that records the name it proposes and answers from a script
// (an empty answer cancels); information boxes are recorded.
class ScriptedDialogs final : public Dialogs {
  public:
    void ShowInfo(const std::string& text, const std::string& caption) override {
        infos.push_back(caption + ":" + text);
    }
    void ShowPlainMessage(const std::string& text) override { infos.push_back("plain:" + text); }
    void ShowError(const std::string& text) override { infos.push_back("error:" + text); }
    bool BrowseForFolder(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    bool PromptSaveFile(std::string& fileName) override {
        proposed.push_back(fileName);
        if (answers.empty() || answers.front().empty()) return false;
        fileName = answers.front();
        answers.pop_front();
        return true;
    }

    std::deque<std::string> answers;
    Paths proposed;
    Paths infos;
};

class ResultActionsTest : public ::testing::Test {
  protected:
    void SetRows(std::vector<Row> rows, int selected) {
        table.rows = std::move(rows);
        table.selected = selected;
    }
    void ThreeRows(int selected) {
        SetRows({{"b.txt", "C:\\b\\"}, {"a.txt", "D:\\docs\\"}, {"c", "E:\\"}}, selected);
    }
    bool NothingHappened() const {
        return shell.opened.empty() && clipboard.texts.empty() && files.created.empty() &&
               dialogs.infos.empty() && dialogs.proposed.empty();
    }

    fakes::FakeResultRows table;
    fakes::RecordingShell shell;
    fakes::RecordingClipboard clipboard;
    ScriptedDialogs dialogs;
    fakes::FakeTextFileWriter files;
    ResultActions actions{table, shell, clipboard, dialogs, files};
};

using Action = void (ResultActions::*)();
struct NamedAction {
    const char* name;
    Action action;
};
const NamedAction kRowActions[] = {{"OpenFolder", &ResultActions::OpenFolder},
                                   {"OpenFile", &ResultActions::OpenFile},
                                   {"CopyName", &ResultActions::CopyName},
                                   {"CopyFolder", &ResultActions::CopyFolder},
                                   {"CopyFullPath", &ResultActions::CopyFullPath}};

TEST_F(ResultActionsTest, GuardsLeaveEveryActionWithoutEffect) {
    struct Case {
        const char* what;
        std::vector<Row> rows;
        int selected;
    };
    const Case cases[] = {
        {"empty table", {}, -1},
        {"blank start-up rows", {{"", std::nullopt}, {"", std::nullopt}}, -1},
        {"blank start-up rows, one selected", {{"", std::nullopt}, {"", std::nullopt}}, 1},
        {"first row blank, named second row selected", {{"", std::nullopt}, {"a", "C:\\"}}, 1},
        {"first row with a folder but no name", {{"", "C:\\"}}, 0},
    };
    for (const Case& c : cases) {
        for (const NamedAction& a : kRowActions) {
            SetRows(c.rows, c.selected);
            (actions.*a.action)();
            EXPECT_TRUE(NothingHappened()) << c.what << ", " << a.name;
        }
        dialogs.answers = {"C:\\list.txt"};
        actions.SaveList();
        EXPECT_TRUE(NothingHappened()) << c.what << ", SaveList";
    }
}

TEST_F(ResultActionsTest, RowActionsNeedASelectedRowButSavingDoesNot) {
    for (const int selected : {-1, 3, 7}) {
        for (const NamedAction& a : kRowActions) {
            ThreeRows(selected);
            (actions.*a.action)();
            EXPECT_TRUE(NothingHappened()) << selected << ", " << a.name;
        }
    }
    dialogs.answers = {"C:\\list.txt"};
    actions.SaveList();
    EXPECT_EQ(files.files["C:\\list.txt"], "C:\\b\\b.txt\r\nD:\\docs\\a.txt\r\nE:\\c\r\n");
}

TEST_F(ResultActionsTest, RowActionsUseTheSelectedRowsTexts) {
    struct Case {
        Action action;
        Paths opened;
        Paths copied;
    };
    const Case cases[] = {
        {&ResultActions::OpenFolder, {"D:\\docs\\"}, {}},
        {&ResultActions::OpenFile, {"D:\\docs\\a.txt"}, {}},
        {&ResultActions::CopyName, {}, {"a.txt"}},
        {&ResultActions::CopyFolder, {}, {"D:\\docs\\"}},
        {&ResultActions::CopyFullPath, {}, {"D:\\docs\\a.txt"}},
    };
    for (const Case& c : cases) {
        shell.opened.clear();
        clipboard.texts.clear();
        ThreeRows(1);
        (actions.*c.action)();
        EXPECT_EQ(shell.opened, c.opened);
        EXPECT_EQ(clipboard.texts, c.copied);
        EXPECT_TRUE(dialogs.infos.empty());
    }
}

TEST_F(ResultActionsTest, RowWithoutFolderCellCountsAsEmptyFolder) {
    SetRows({{"typed name", std::nullopt}, {"", std::nullopt}}, 0);
    actions.CopyFolder();
    actions.CopyFullPath();
    actions.OpenFile();
    EXPECT_EQ(clipboard.texts, (Paths{"", "typed name"}));
    EXPECT_EQ(shell.opened, (Paths{"typed name"}));
}

TEST_F(ResultActionsTest, ClipboardHeldByAnotherProgramIsReported) {
    ThreeRows(0);
    clipboard.busy = true;
    EXPECT_THROW(actions.CopyName(), QuernaError);
}

// ---------------------------------------------------------------- save list

TEST_F(ResultActionsTest, SaveWritesEveryFullPathWithCrLfAndConfirms) {
    SetRows({{"甲.txt", "D:\\文档\\"}, {"typed", std::nullopt}, {"b.txt", "C:\\b\\"}}, 2);
    dialogs.answers = {"C:\\out"};
    actions.SaveList();
    EXPECT_EQ(files.created, (Paths{"C:\\out"}));
    EXPECT_EQ(files.files["C:\\out"], "D:\\文档\\甲.txt\r\ntyped\r\nC:\\b\\b.txt\r\n");
    EXPECT_EQ(files.openFiles, 0);
    EXPECT_EQ(dialogs.infos, (Paths{"提示:文件列表保存成功"}));
}

TEST_F(ResultActionsTest, SaveAgainProposesTheLastNameAndReplacesTheFile) {
    ThreeRows(-1);
    dialogs.answers = {"C:\\list.txt", "C:\\list.txt"};
    actions.SaveList();
    table.rows.pop_back();
    actions.SaveList();
    EXPECT_EQ(dialogs.proposed, (Paths{"", "C:\\list.txt"}));
    EXPECT_EQ(files.files["C:\\list.txt"], "C:\\b\\b.txt\r\nD:\\docs\\a.txt\r\n");
    EXPECT_EQ(dialogs.infos.size(), 2u);
}

TEST_F(ResultActionsTest, CancelledSaveDialogWritesNothing) {
    ThreeRows(0);
    dialogs.answers = {""};
    actions.SaveList();
    EXPECT_EQ(dialogs.proposed.size(), 1u);
    EXPECT_TRUE(files.created.empty());
    EXPECT_TRUE(dialogs.infos.empty());
}

TEST_F(ResultActionsTest, SaveFailuresAreReportedAndLeaveNoFile) {
    struct Case {
        const char* what;
        uint32_t createError;
        int failingWrite;
        uint32_t writeError;
        size_t shortWriteBytes;
        uint32_t closeError;
        const char* reason;  // after the name of the file
    };
    const Case cases[] = {
        {"missing file", 2, 0, 0, 0, 0, "找不到文件"},
        {"missing folder", 3, 0, 0, 0, 0, "文件夹不存在"},
        {"no handles left", 4, 0, 0, 0, 0, "打开的文件过多"},
        {"access denied", 5, 0, 0, 0, 0, "拒绝访问"},
        {"sharing violation", 32, 0, 0, 0, 0, "文件正被其他程序使用"},
        {"a device's name", 123, 0, 0, 0, 0, "文件名无效或是设备名"},
        {"unexplained code", 1117, 0, 0, 0, 0, "系统错误 1117"},
        {"second write fails", 0, 2, 112, 0, 0, "磁盘空间不足"},
        {"second write stores 3 bytes", 0, 2, 0, 3, 0, "磁盘空间不足"},
        {"first write stores nothing", 0, 1, 0, 0, 0, "磁盘空间不足"},
        {"close fails", 0, 0, 0, 0, 5, "拒绝访问"},
    };
    for (const Case& c : cases) {
        fakes::FakeTextFileWriter writer;
        writer.createError = c.createError;
        writer.failingWrite = c.failingWrite;
        writer.writeError = c.writeError;
        writer.shortWriteBytes = c.shortWriteBytes;
        writer.closeError = c.closeError;
        ResultActions saving{table, shell, clipboard, dialogs, writer};
        ThreeRows(0);
        dialogs.answers = {"C:\\list.txt"};
        dialogs.infos.clear();

        try {
            saving.SaveList();
            ADD_FAILURE() << c.what << ": no error";
        } catch (const QuernaError& e) {
            EXPECT_EQ(e.what(), "无法写入文件 C:\\list.txt：" + std::string(c.reason)) << c.what;
        }
        EXPECT_TRUE(dialogs.infos.empty()) << c.what;
        EXPECT_EQ(writer.openFiles, 0) << c.what;
        EXPECT_TRUE(writer.files.empty()) << c.what;
    }
}

}  // namespace
}  // namespace querna
