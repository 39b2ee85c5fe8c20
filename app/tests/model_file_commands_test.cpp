// The file commands of the list: copy, move and delete of the selected
// files, the renames, the extension correction and the details copy. The
// list must always say where the files really are.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "list_controller.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

class FileCommandsTest : public ::testing::Test {
protected:
    FileCommandsTest() : controller(model, prompter) {
        controller.setLibrary(&library);
        controller.setCommitInterval(0);
        controller.setPump([] {});
        QDir().mkpath(dir.filePath("dst"));
    }

    QString file(const QString& name, const QByteArray& bytes = "data") {
        return test::writeFile(dir.filePath(name), bytes);
    }
    // Adds the files; the first path ends up at the bottom.
    void add(const QStringList& paths) { controller.analyzeFiles(paths); }
    int rowOf(const QString& caption) const {
        for (int i = 0; i < model.count(); ++i)
            if (model.entry(i).caption == caption) return i;
        return -1;
    }
    QStringList paths() const {
        QStringList out;
        for (const FileEntry& e : model.entries()) out << e.fullPath;
        return out;
    }
    // Every entry names a file that exists, under the entry's caption.
    void expectListMatchesDisk() const {
        for (const FileEntry& e : model.entries()) {
            EXPECT_TRUE(QFileInfo::exists(e.fullPath)) << e.fullPath.toStdString();
            EXPECT_EQ(e.caption, QFileInfo(e.fullPath).fileName());
        }
    }

    QTemporaryDir dir;
    FileListModel model;
    test::RecordingPrompter prompter;
    test::FakeLibrary library;
    ListController controller;
};

// Only the entries whose file really moved take the new path: a skipped
// conflict and a vanished file keep theirs, and only the failure is
// reported.
TEST_F(FileCommandsTest, MoveUpdatesOnlyTheEntriesOfMovedFiles) {
    const QString a = file("a.wav", "A"), b = file("b.wav", "B new"), c = file("c.wav");
    file("dst/b.wav", "B old");
    add({a, b, c, a});  // a twice: both entries follow the file
    QFile::remove(c);
    prompter.conflictAnswers = {{ConflictChoice::Skip, false}};

    const QList<FileOpItem> items =
        controller.moveFiles({rowOf("a.wav"), rowOf("b.wav"), rowOf("c.wav")}, dir.filePath("dst"));
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(paths(), (QStringList{dir.filePath("dst/a.wav"), c, b, dir.filePath("dst/a.wav")}));
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("a.wav"));
    EXPECT_EQ(test::readFile(dir.filePath("dst/b.wav")), "B old");
    EXPECT_EQ(test::readFile(b), "B new");

    ASSERT_EQ(prompter.ofKind("conflict").size(), 1);
    EXPECT_EQ(prompter.ofKind("conflict")[0].caption, QStringLiteral("確認"));
    EXPECT_TRUE(prompter.ofKind("conflict")[0].text.contains(dir.filePath("dst/b.wav")));
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("ファイル移動中のエラー"));
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("c.wav: ファイルが見つかりません")));
    EXPECT_FALSE(errors[0].text.contains(QStringLiteral("b.wav")));
}

TEST_F(FileCommandsTest, MoveCancelledAtAConflictLeavesEveryEntry) {
    const QString a = file("a.wav"), b = file("b.wav");
    file("dst/a.wav", "old");
    add({b, a});  // a, b
    controller.moveFiles({0, 1}, dir.filePath("dst"));  // the default answer is Cancel
    EXPECT_EQ(paths(), (QStringList{a, b}));
    EXPECT_TRUE(QFile::exists(a));
    EXPECT_TRUE(QFile::exists(b));
    EXPECT_TRUE(prompter.ofKind("error").isEmpty());
    expectListMatchesDisk();
}

TEST_F(FileCommandsTest, MoveWithReplaceTakesTheNewPath) {
    const QString a = file("a.wav", "new");
    file("dst/a.wav", "old");
    add({a});
    prompter.conflictAnswers = {{ConflictChoice::Replace, false}};
    controller.moveFiles({0}, dir.filePath("dst"));
    EXPECT_EQ(paths(), QStringList{dir.filePath("dst/a.wav")});
    EXPECT_EQ(test::readFile(dir.filePath("dst/a.wav")), "new");
    expectListMatchesDisk();
}

TEST_F(FileCommandsTest, CopyLeavesTheListAndReportsAFailedDestination) {
    const QString a = file("a.wav");
    const QString notAFolder = file("plain.txt");
    add({a});
    const QList<FileEntry> before = model.entries();
    controller.copyFiles({0}, dir.filePath("dst"));
    EXPECT_EQ(model.entries(), before);
    EXPECT_TRUE(QFile::exists(dir.filePath("dst/a.wav")));
    controller.copyFiles({0}, notAFolder);
    EXPECT_EQ(model.entries(), before);
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("ファイルコピー中のエラー"));
    EXPECT_TRUE(errors[0].text.startsWith(QStringLiteral("次のファイルはコピーできませんでした:")));
}

TEST_F(FileCommandsTest, DeleteAsksThenTrashesAndDropsOnlyTheTrashedEntries) {
    test::ScopedHome home(dir.filePath("h"));
    const QString a = file("a.wav", "A"), b = file("b.wav"), gone = file("gone.wav");
    add({a, b, gone, a});  // a, gone, b, a
    QFile::remove(gone);

    prompter.answer = false;
    EXPECT_TRUE(controller.deleteFiles({0, 1}).isEmpty());
    EXPECT_EQ(model.count(), 4);
    EXPECT_TRUE(QFile::exists(a));
    ASSERT_EQ(prompter.ofKind("confirm").size(), 1);
    EXPECT_EQ(prompter.ofKind("confirm")[0].caption, QStringLiteral("確認"));
    EXPECT_EQ(prompter.ofKind("confirm")[0].text, QStringLiteral("選択してあるファイルを削除します。宜しいですか?"));

    prompter.answer = true;
    controller.deleteFiles({0, 1});
    // Both entries of a leave; the entry of the vanished file stays, named in the message.
    EXPECT_EQ(paths(), (QStringList{gone, b}));
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(test::readFile(home.trash() + "/files/a.wav"), "A");
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("ファイル削除中のエラー"));
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("gone.wav")));
}

TEST_F(FileCommandsTest, DeleteWithoutATrashDeletesNothing) {
    test::ScopedHome home(dir.filePath("h"));
    test::writeFile(home.trash(), "not a folder");
    const QString a = file("a.wav", "keep");
    add({a});
    controller.deleteFiles({0});
    EXPECT_EQ(paths(), QStringList{a});
    EXPECT_EQ(test::readFile(a), "keep");
    EXPECT_EQ(prompter.ofKind("error").size(), 1);
}

struct RenameAnswer {
    const char* what;
    std::optional<QString> answer;
    bool renamed;
    bool refused;  // "ファイル名の変更に失敗しました"
};

TEST_F(FileCommandsTest, ManualRename) {
    const RenameAnswer cases[] = {
        {"cancelled", std::nullopt, false, false},
        {"same name", QStringLiteral("a.wav"), false, false},
        {"new name", QStringLiteral("新しい名前.wav"), true, false},
        {"existing name", QStringLiteral("taken.wav"), false, true},
        {"empty", QStringLiteral(""), false, true},
        {"blank", QStringLiteral("  "), false, true},
        {"separator", QStringLiteral("sub/x.wav"), false, true},
        {"up", QStringLiteral("../x.wav"), false, true},
        {"dot dot", QStringLiteral(".."), false, true},
    };
    for (const RenameAnswer& c : cases) {
        SCOPED_TRACE(c.what);
        model.clear();
        prompter.records.clear();
        prompter.askedInitial.clear();
        QDir(dir.path()).removeRecursively();
        const QString a = file("a.wav", "A");
        file("taken.wav", "T");
        file("sub/keep", "");
        add({a});
        prompter.textAnswers = {c.answer};
        controller.renameEntry(0);

        ASSERT_EQ(prompter.ofKind("ask").size(), 1);
        EXPECT_EQ(prompter.ofKind("ask")[0].caption, QStringLiteral("ファイル名の変更"));
        EXPECT_EQ(prompter.ofKind("ask")[0].text, QStringLiteral("ファイル名"));
        EXPECT_EQ(prompter.askedInitial, QStringList{"a.wav"});
        const QString expectedPath = c.renamed ? dir.filePath(*c.answer) : a;
        EXPECT_EQ(paths(), QStringList{expectedPath});
        EXPECT_EQ(test::readFile(expectedPath), "A");
        EXPECT_EQ(test::readFile(dir.filePath("taken.wav")), "T");
        const auto errors = prompter.ofKind("error");
        EXPECT_EQ(errors.size(), c.refused ? 1 : 0);
        if (!errors.isEmpty()) {
            EXPECT_EQ(errors[0].caption, QStringLiteral("エラー"));
            EXPECT_TRUE(errors[0].text.startsWith(QStringLiteral("ファイル名の変更に失敗しました")));
        }
        expectListMatchesDisk();
    }
}

TEST_F(FileCommandsTest, ManualRenameOfAVanishedFileSaysSo) {
    const QString a = file("a.wav");
    add({a});
    QFile::remove(a);
    prompter.textAnswers = {QStringLiteral("b.wav")};
    controller.renameEntry(0);
    EXPECT_EQ(paths(), QStringList{a});
    ASSERT_EQ(prompter.ofKind("error").size(), 1);
    EXPECT_TRUE(prompter.ofKind("error")[0].text.contains(QStringLiteral("ファイルが見つかりません")));
}

TEST_F(FileCommandsTest, RenameWithDetails) {
    QDir().mkpath(dir.filePath("v1.0"));
    const QString clip = file("clip.avi", "clip");
    const QString bare = file("v1.0/README", "readme");
    const QString clash = file("clash.avi", "mine");
    file("clash [DivX 5 640x480 - MP3].avi", "theirs");
    library.summaryOverride = QStringLiteral("DivX 5 640x480 / MP3");
    add({clip, bare, clash, clip});  // clip, clash, README, clip

    controller.renameWithDetails({0, 1, 2, 3});
    const QString renamed = dir.filePath("clip [DivX 5 640x480 - MP3].avi");
    EXPECT_EQ(paths(), (QStringList{renamed, clash, bare, renamed}));  // the file was renamed once
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("clip [DivX 5 640x480 - MP3].avi"));
    EXPECT_EQ(test::readFile(renamed), "clip");
    EXPECT_EQ(test::readFile(clash), "mine");
    EXPECT_EQ(test::readFile(dir.filePath("clash [DivX 5 640x480 - MP3].avi")), "theirs");
    EXPECT_EQ(test::readFile(bare), "readme");  // no extension in the name: left alone
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("エラー"));
    EXPECT_EQ(errors[0].text, QStringLiteral("ファイル名の変更に失敗しました\r\n\r\nclash.avi → clash [DivX 5 640x480 - "
                                             "MP3].avi: 同じ名前のファイルが既にあります\r\n"));
    expectListMatchesDisk();
}

TEST_F(FileCommandsTest, CopyDetailsReportsTheSelectedFilesAndTheLibrary) {
    EXPECT_FALSE(controller.copyDetails({}, "Title").has_value());  // empty list: nothing
    const QString a = file("a.wav"), b = file("b.wav"), c = file("c.wav");
    add({a, b, c});  // c, b, a
    EXPECT_EQ(controller.copyDetails({}, QStringLiteral("VeskolabLite 130324")),
              QStringLiteral("VeskolabLite 130324 / DLL 130324 Unicode\r\n"));

    library.throwOnInfo << "b.wav";
    const std::optional<QString> text = controller.copyDetails({2, 0, 1}, QStringLiteral("VeskolabLite 130324"));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, QStringLiteral("[c.wav]\r\nレポート c.wav\r\n\r\n[a.wav]\r\nレポート a.wav\r\n\r\n"
                                    "VeskolabLite 130324 / DLL 130324 Unicode\r\n"));
    const auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].caption, QStringLiteral("b.wav"));
    EXPECT_TRUE(errors[0].text.startsWith(QStringLiteral("詳細解析中の例外:\r\n\r\n")));
}

// "拡張子自動リネーム" renames when files are added, re-examined and their
// details copied; the entries follow; an existing file is never replaced,
// and the refusals of one command come in one message.
TEST_F(FileCommandsTest, ExtensionCorrectionRenamesAndTheEntriesFollow) {
    controller.options().checkExt = true;
    library.codes = {{"movie.vob", VESKO_FMT_MPEG1_PS}, {"SONG.MP3", VESKO_FMT_MPEG_AUDIO},
                     {"one.vob", VESKO_FMT_MPEG2_PS},   {"two.vob", VESKO_FMT_MPEG2_PS},
                     {"later.bin", VESKO_FMT_FLAC},     {"copied.bin", VESKO_FMT_AVI}};
    const QString movie = file("movie.vob", "M"), song = file("SONG.MP3");
    const QString one = file("one.vob", "mine 1"), two = file("two.vob", "mine 2");
    file("one.mpg", "theirs 1");
    file("two.mpg", "theirs 2");
    add({movie, song, one, two});
    EXPECT_EQ(paths(), (QStringList{two, one, song, dir.filePath("movie.mpg")}));
    EXPECT_EQ(model.entry(3).caption, QStringLiteral("movie.mpg"));
    EXPECT_EQ(test::readFile(dir.filePath("movie.mpg")), "M");
    EXPECT_EQ(test::readFile(dir.filePath("one.mpg")), "theirs 1");
    EXPECT_EQ(test::readFile(one), "mine 1");
    auto errors = prompter.ofKind("error");
    ASSERT_EQ(errors.size(), 1);  // one message for the batch
    EXPECT_TRUE(errors[0].text.startsWith(QStringLiteral("ファイル名の変更に失敗しました")));
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("one.vob → one.mpg")));
    EXPECT_TRUE(errors[0].text.contains(QStringLiteral("two.vob → two.mpg")));

    // Re-examining: a file added with the option off gets its extension.
    controller.options().checkExt = false;
    const QString later = file("later.bin");
    add({later});
    controller.options().checkExt = true;
    controller.reexamine({0});
    EXPECT_EQ(model.entry(0).fullPath, dir.filePath("later.flac"));
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("later.flac"));

    // Copying details: the entry follows, the report names the new file.
    controller.options().checkExt = false;
    add({file("copied.bin")});
    controller.options().checkExt = true;
    const std::optional<QString> text = controller.copyDetails({0}, QStringLiteral("T"));
    EXPECT_EQ(model.entry(0).fullPath, dir.filePath("copied.avi"));
    EXPECT_EQ(model.entry(0).caption, QStringLiteral("copied.avi"));
    ASSERT_TRUE(text.has_value());
    EXPECT_TRUE(text->startsWith(QStringLiteral("[copied.avi]\r\nレポート copied.avi\r\n"))) << text->toStdString();
    expectListMatchesDisk();
}

}  // namespace
