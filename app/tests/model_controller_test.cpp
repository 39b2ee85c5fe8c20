// The list operations: batches, stopping, duplicates, nesting, list files
// inside batches, re-examining, sorting, folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>

#include "list_controller.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

class ListControllerTest : public ::testing::Test {
protected:
    ListControllerTest() : controller(model, prompter) {
        controller.setLibrary(&library);
        controller.setCommitInterval(0);  // rows reach the model at once; staging has its own test
        controller.setPump([this] {
            ++pumps;
            if (onPump) onPump();
        });
    }

    QString file(const QString& name, const QByteArray& bytes = "data") { return test::writeFile(dir.filePath(name), bytes); }

    QStringList captions() const {
        QStringList out;
        for (const FileEntry& e : model.entries()) out << e.caption;
        return out;
    }

    QTemporaryDir dir;
    FileListModel model;
    test::RecordingPrompter prompter;
    test::FakeLibrary library;
    ListController controller;
    int pumps = 0;
    std::function<void()> onPump;
};

TEST_F(ListControllerTest, BatchGoesOnTopInReverseOrder) {
    controller.analyzeFiles({file("X")});
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    EXPECT_EQ(captions(), (QStringList{"C", "B", "A", "X"}));
    const FileEntry& c = model.entry(0);
    EXPECT_EQ(c.details, QStringLiteral("詳細 C"));
    EXPECT_EQ(c.sizeText, QStringLiteral("4"));
    EXPECT_EQ(c.fullPath, dir.filePath("C"));
    EXPECT_EQ(pumps, 4);  // once after every file
}

TEST_F(ListControllerTest, ProgressTextWhileRunningAndEmptyAfter) {
    QStringList seen;
    onPump = [&] { seen << controller.progressText(); };
    controller.analyzeFiles({file("A"), file("B")});
    EXPECT_EQ(seen, (QStringList{"詳細解析中...(ESCで中止)", "詳細解析中...(ESCで中止)"}));
    EXPECT_EQ(controller.progressText(), QString());
    EXPECT_FALSE(controller.isBusy());
}

TEST_F(ListControllerTest, StopKeepsTheRowsExaminedSoFar) {
    QStringList paths;
    for (const char* name : {"1", "2", "3", "4", "5"}) paths << file(name);
    onPump = [&] {
        if (pumps == 2) controller.requestStop();
    };
    controller.analyzeFiles(paths);
    EXPECT_EQ(captions(), (QStringList{"2", "1"}));
    EXPECT_EQ(controller.progressText(), QString());
    EXPECT_FALSE(controller.isAnalysisRunning());
    // The next batch runs again.
    controller.analyzeFiles({paths[4]});
    EXPECT_EQ(model.count(), 3);
}

TEST_F(ListControllerTest, NoDuplicatesOptionComparesPathsExactly) {
    const QString lower = file("song.wav");
    const QString upper = file("SONG.wav");
    controller.analyzeFiles({lower, lower});
    EXPECT_EQ(model.count(), 2);  // option off
    model.clear();
    controller.options().noSameFile = true;
    controller.analyzeFiles({lower, upper, lower});
    controller.analyzeFiles({upper});
    EXPECT_EQ(captions(), (QStringList{"SONG.wav", "song.wav"}));
    EXPECT_EQ(model.findByPath(lower), 1);
    EXPECT_EQ(model.findByPath(dir.filePath("Song.wav")), -1);
}

TEST_F(ListControllerTest, FaultEndsTheBatchAfterItsMessage) {
    library.throwOnInfo << "B";
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    EXPECT_EQ(captions(), (QStringList{"A"}));
    ASSERT_EQ(prompter.records.size(), 1);
    EXPECT_EQ(prompter.records[0].kind, QStringLiteral("error"));
    EXPECT_EQ(prompter.records[0].caption, QStringLiteral("B"));
    EXPECT_TRUE(prompter.records[0].text.startsWith(QStringLiteral("詳細解析中(解析,詳細組立)の例外:")));
    EXPECT_FALSE(controller.isBusy());
}

TEST_F(ListControllerTest, UnopenableFilesBecomeRows) {
    controller.analyzeFiles({dir.filePath("missing.wav")});
    ASSERT_EQ(model.count(), 1);
    EXPECT_EQ(model.entry(0).details, QStringLiteral("ファイルのオープンに失敗"));
}

// A drop or a hand-over during a batch runs inside it and does not cancel it.
TEST_F(ListControllerTest, NestedBatchDoesNotCancelTheOuterOne) {
    const QStringList nested{file("N1"), file("N2")};
    QList<bool> busy;
    QObject::connect(&controller, &ListController::busyChanged, [&](bool b) { busy << b; });
    bool once = false;
    onPump = [&] {
        if (once) return;
        once = true;
        controller.analyzeFiles(nested);
        EXPECT_TRUE(controller.isAnalysisRunning());
        EXPECT_EQ(controller.progressText(), QStringLiteral("詳細解析中...(ESCで中止)"));
    };
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    EXPECT_EQ(captions(), (QStringList{"C", "B", "N2", "N1", "A"}));
    EXPECT_EQ(busy, (QList<bool>{true, false}));  // one busy period
    EXPECT_EQ(controller.progressText(), QString());
}

TEST_F(ListControllerTest, StopEndsNestedAndOuterBatches) {
    const QStringList nested{file("N1"), file("N2"), file("N3")};
    bool once = false;
    onPump = [&] {
        if (!once) {
            once = true;
            controller.analyzeFiles(nested);
        } else if (model.count() == 2) {
            controller.requestStop();  // inside the nested batch
        }
    };
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    EXPECT_EQ(captions(), (QStringList{"N1", "A"}));
    EXPECT_FALSE(controller.isBusy());
}

TEST_F(ListControllerTest, PlayListInsideABatchAndTheBatchGoesOn) {
    file("P1");
    file("P2");
    const QString list = file("list.m3u", "#EXTM3U\r\nP1\r\n\r\nP2\r\n");
    controller.analyzeFiles({file("A"), list, file("B")});
    EXPECT_EQ(captions(), (QStringList{"B", "P2", "P1", "A"}));  // the list itself is no row
}

TEST_F(ListControllerTest, ListThatNamesItselfIsReadOnce) {
    file("P1");
    const QString a = file("a.m3u", "P1\r\nb.m3u\r\na.m3u\r\n");
    file("b.m3u", "a.m3u\r\n");
    controller.analyzeFiles({a});
    EXPECT_EQ(captions(), (QStringList{"P1"}));
}

TEST_F(ListControllerTest, OwnListAddsItsRowsAtTheEndWithoutExamining) {
    controller.analyzeFiles({file("X")});
    const QString own = dir.filePath("saved.zvmtl");
    QFile f(own);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("\xFF\xFE", 2);
    const QString line = QStringLiteral("\"sub/a.mp3\",\"stored details\",\"1,234\"\r\n");
    f.write(reinterpret_cast<const char*>(line.utf16()), line.size() * 2);
    f.close();
    library.formatCalls.clear();
    controller.options().noSameFile = true;
    controller.analyzeFiles({own});
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.entry(1), (FileEntry{"a.mp3", "stored details", "1,234", dir.filePath("sub/a.mp3")}));
    EXPECT_EQ(library.formatCalls, QStringList{own});  // the list only
}

TEST_F(ListControllerTest, UnreadableListIsReportedAndTheBatchGoesOn) {
    const QString list = dir.filePath("gone.m3u");
    controller.analyzeFiles({list, file("B")});
    EXPECT_EQ(captions(), (QStringList{"B"}));
    ASSERT_EQ(prompter.records.size(), 1);
    EXPECT_EQ(prompter.records[0].caption, QStringLiteral("gone.m3u"));
}

TEST_F(ListControllerTest, ReexamineAllUpdatesEveryRowWithProgress) {
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    for (const char* name : {"A", "B", "C"}) file(name, "longer content");
    QStringList progress;
    onPump = [&] { progress << controller.progressText(); };
    controller.reexamineAll();
    EXPECT_EQ(progress, (QStringList{"再検査中... 0/3 (ESCで中止)", "再検査中... 1/3 (ESCで中止)",
                                     "再検査中... 2/3 (ESCで中止)"}));
    for (const FileEntry& e : model.entries()) EXPECT_EQ(e.sizeText, QStringLiteral("14"));
    EXPECT_EQ(controller.progressText(), QString());
}

TEST_F(ListControllerTest, ReexamineSurvivesRowsRemovedAndAddedMeanwhile) {
    controller.analyzeFiles({file("A"), file("B"), file("C")});  // C, B, A
    for (const char* name : {"A", "B", "C"}) file(name, "12345678");
    onPump = [&] {
        if (pumps == 4) {  // after the first row (C)
            controller.removeRows({1});                    // B goes
            controller.analyzeFiles({file("D", "1")});     // D on top
        }
    };
    controller.reexamineAll();
    EXPECT_EQ(captions(), (QStringList{"D", "C", "A"}));
    EXPECT_EQ(model.entry(1).sizeText, QStringLiteral("8"));
    EXPECT_EQ(model.entry(2).sizeText, QStringLiteral("8"));
    EXPECT_EQ(library.formatCalls.count(dir.filePath("C")), 2);  // once added, once again: no repeats
}

TEST_F(ListControllerTest, ReexamineSelectedTouchesOnlyThoseRows) {
    controller.analyzeFiles({file("A"), file("B"), file("C")});  // C, B, A
    file("A", "123456");
    file("C", "123456");
    controller.reexamine({2, 0});
    EXPECT_EQ(model.entry(0).sizeText, QStringLiteral("6"));
    EXPECT_EQ(model.entry(1).sizeText, QStringLiteral("4"));
    EXPECT_EQ(model.entry(2).sizeText, QStringLiteral("6"));
}

TEST_F(ListControllerTest, SizesSortAsNumbers) {
    model.append({{"a", "", "1,000", "/a"}, {"b", "", "999", "/b"}, {"c", "", "2", "/c"}, {"d", "", "n/a", "/d"}});
    QItemSelectionModel selection(&model);
    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    controller.sortByColumn(SizeColumn);
    EXPECT_EQ(captions(), (QStringList{"d", "c", "b", "a"}));
    controller.sortByColumn(SizeColumn);  // second click: largest first
    EXPECT_EQ(captions(), (QStringList{"a", "b", "c", "d"}));
    // The selection followed its row.
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(model.entry(selection.selectedRows().first().row()).caption, QStringLiteral("b"));
}

TEST_F(ListControllerTest, TextColumnsSortAscendingFirstAndAnotherColumnStartsOver) {
    model.append({{"b.mp3", "y", "1", "/2"}, {"c.mp3", "x", "1", "/1"}, {"a.mp3", "z", "1", "/3"}});
    controller.sortByColumn(CaptionColumn);
    EXPECT_EQ(captions(), (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    controller.sortByColumn(CaptionColumn);
    EXPECT_EQ(captions(), (QStringList{"c.mp3", "b.mp3", "a.mp3"}));
    controller.sortByColumn(DetailsColumn);
    EXPECT_EQ(captions(), (QStringList{"c.mp3", "b.mp3", "a.mp3"}));
    controller.sortByColumn(CaptionColumn);  // ascending again
    EXPECT_EQ(captions(), (QStringList{"a.mp3", "b.mp3", "c.mp3"}));
    controller.sortByColumn(PathColumn);
    EXPECT_EQ(captions(), (QStringList{"c.mp3", "b.mp3", "a.mp3"}));
}

TEST_F(ListControllerTest, RemoveTakesEachSelectedRowOnce) {
    controller.analyzeFiles({file("A"), file("B"), file("C"), file("D")});  // D C B A
    controller.removeRows({2, 0, 2});
    EXPECT_EQ(captions(), (QStringList{"C", "A"}));
}

TEST_F(ListControllerTest, SavesOnlyTheSelectedRows) {
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    const QString pls = dir.filePath("sel.pls");
    ASSERT_EQ(controller.saveList(pls, ListFormat::Pls, {1}).status, ListWriteResult::Written);
    const QString expected = QStringLiteral("File1=") + dir.filePath("B") + QStringLiteral("\r\n");
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(expected.utf16()), expected.size() * 2);
    EXPECT_EQ(test::readFile(pls), bytes);
}

TEST_F(ListControllerTest, OwnListOnCloseRemovesTheFileForAnEmptyList) {
    const QString own = dir.filePath("VeskoLite_user.zvmtl");
    controller.analyzeFiles({file("A")});
    ASSERT_TRUE(controller.saveOwnListOnClose(own));
    ASSERT_TRUE(QFile::exists(own));
    model.clear();
    ASSERT_TRUE(controller.saveOwnListOnClose(own));
    EXPECT_FALSE(QFile::exists(own));  // a cleared list does not come back
}

TEST_F(ListControllerTest, RowsReachTheModelInGroupsButCountForDuplicatesAtOnce) {
    controller.setCommitInterval(60000);
    controller.options().noSameFile = true;
    const QString a = file("A"), b = file("B");
    QList<int> countsSeen;
    onPump = [&] { countsSeen << model.count(); };
    controller.analyzeFiles({a, b, a, file("C")});
    EXPECT_EQ(countsSeen, (QList<int>{0, 0, 0}));  // nothing shown until the batch ends
    EXPECT_EQ(captions(), (QStringList{"C", "B", "A"}));  // the second A was a duplicate
}

TEST_F(ListControllerTest, NestedBatchCommitsTheOuterRowsFirst) {
    controller.setCommitInterval(60000);
    const QStringList nested{file("N1"), file("N2")};
    bool once = false;
    onPump = [&] {
        if (!once && pumps == 2) {
            once = true;
            controller.analyzeFiles(nested);
        }
    };
    controller.analyzeFiles({file("A"), file("B"), file("C")});
    EXPECT_EQ(captions(), (QStringList{"C", "N2", "N1", "B", "A"}));
}

class FolderTest : public ListControllerTest {};

TEST_F(FolderTest, FilesComeBeforeSubfoldersAndNamesWithoutDotsCount) {
    file("top/b.mp3");
    file("top/a");
    file("top/.hidden");
    file("top/sub/c.mp3");
    file("top/sub/deeper/d");
    file("top/zz/e.wav");
    ASSERT_TRUE(QFile::link(dir.filePath("top"), dir.filePath("top/sub/loop")));  // back up: a loop
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("top/dangling")));
    const QString top = dir.filePath("top");
    auto rel = [&](const QStringList& paths) {
        QStringList out;
        for (const QString& p : paths) out << QDir(top).relativeFilePath(p);
        return out;
    };
    EXPECT_EQ(rel(ListController::enumerateFolder(top, false)), (QStringList{".hidden", "a", "b.mp3", "dangling"}));
    EXPECT_EQ(rel(ListController::enumerateFolder(top, true)),
              (QStringList{".hidden", "a", "b.mp3", "dangling", "sub/c.mp3", "sub/deeper/d", "zz/e.wav"}));
}

TEST_F(FolderTest, AddPathsExpandsFoldersByTheRecursiveOption) {
    file("top/a");
    file("top/sub/b");
    const QString single = file("single");
    controller.addPaths({dir.filePath("top"), single});
    EXPECT_EQ(captions(), (QStringList{"single", "a"}));
    model.clear();
    controller.options().dirRecursive = true;
    controller.addPaths({dir.filePath("top")});
    EXPECT_EQ(captions(), (QStringList{"b", "a"}));
}

}  // namespace
