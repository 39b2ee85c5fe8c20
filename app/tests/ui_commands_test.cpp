// The file, settings and help commands of the window offscreen, driven
// through its menus on copies of fixture files, with the real library; the
// screenshots of the About dialog and the application dialog.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "launch.h"
#include "settings.h"
#include "ui_support.h"

using namespace vesko::lite;

namespace {

// The command-line tool's output for files: "--full" reports, or the
// one-line summaries (path, TAB, summary).
QString cli(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(VESKOLITE_TEST_CLI), QStringList{"--data", test::dataDir()} + arguments);
    tool.waitForFinished(60000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QString summaryOf(const QString& path) { return cli({path}).section(u'\t', 1).trimmed(); }

// Opens a menu of the window and presses an item's accelerator letter.
void pickFromMenu(MainWindow* w, const char* menu, char letter) {
    auto* m = w->findChild<QMenu*>(QString::fromLatin1(menu));
    ASSERT_NE(m, nullptr) << menu;
    m->popup(w->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitFor([m] { return m->isVisible(); }, 2000));
    QTest::keyClick(m, static_cast<Qt::Key>(letter));
}

// Runs `inspect` on the modal dialog that `open` shows, then closes it.
void withModalDialog(const std::function<void()>& open, const std::function<void(QDialog*)>& inspect) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000);
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        seen = dialog != nullptr;
        if (dialog) {
            inspect(dialog);
            if (dialog->isVisible()) dialog->reject();
        }
    });
    open();
    EXPECT_TRUE(seen) << "no dialog was shown";
}

// A screenshot for the documentation: into $VESKOLITE_DOCS_DIR when set,
// else beside the tests.
void saveShot(QWidget* widget, const QString& name) {
    const QString folder = qEnvironmentVariableIsSet("VESKOLITE_DOCS_DIR") ? qEnvironmentVariable("VESKOLITE_DOCS_DIR")
                                                                            : QStringLiteral(VESKOLITE_TEST_BINARY_DIR);
    widget->adjustSize();
    QTest::qWait(50);
    const QImage shot = widget->grab().toImage();
    EXPECT_GT(shot.width(), 100);
    EXPECT_TRUE(shot.save(QDir(folder).filePath(name))) << folder.toStdString();
}

QStringList labelTexts(QWidget* w) {
    QStringList out;
    for (QLabel* l : w->findChildren<QLabel*>()) out << l->text();
    return out;
}

void selectRows(MainWindow* w, const QList<int>& rows) {
    w->view()->clearSelection();
    for (int row : rows)
        w->view()->selectionModel()->select(w->model().index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!rows.isEmpty())
        w->view()->selectionModel()->setCurrentIndex(w->model().index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

class FixtureWindow : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"avi_xvid_mp3.avi", "mp3_cbr128.mp3", "flac_16bit.flac"}) {
            const QString to = media.filePath(QString::fromLatin1(name));
            ASSERT_TRUE(QFile::copy(test::fixturesDir() + name, to)) << name;
            files << to;
        }
        const QString japanese = media.filePath(QStringLiteral("日本語の曲.mp3"));
        ASSERT_TRUE(QFile::copy(test::fixturesDir() + "mp3_vbr_v2.mp3", japanese));
        files << japanese;
        w = harness.start(files);  // rows: 日本語の曲.mp3, flac, mp3, avi
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(harness.waitIdle());
        ASSERT_EQ(w->model().count(), 4);
        w->activateWindow();
        w->view()->setFocus();
    }
    int rowOf(const QString& caption) const {
        for (int i = 0; i < w->model().count(); ++i)
            if (w->model().entry(i).caption == caption) return i;
        return -1;
    }

    QTemporaryDir media;
    QStringList files;
    test::Harness harness;
    MainWindow* w = nullptr;
};

// "詳細のコピー": the reports of the selected files in list order, as the
// command-line tool gives them, and the footer.
TEST_F(FixtureWindow, CopyDetailsThroughTheMenuAndTheShortcut) {
    selectRows(w, {rowOf("avi_xvid_mp3.avi"), rowOf(QStringLiteral("日本語の曲.mp3"))});
    QGuiApplication::clipboard()->clear();
    pickFromMenu(w, "M_Edit", 'P');
    const QString copied = QGuiApplication::clipboard()->text();
    const QString footer = QStringLiteral("VeskolabLite 130324 / DLL 130324 Unicode\r\n");
    ASSERT_TRUE(copied.endsWith(footer)) << copied.toStdString();
    QString reports = copied.left(copied.size() - footer.size());
    EXPECT_TRUE(reports.startsWith(QStringLiteral("[日本語の曲.mp3]\r\n"))) << reports.toStdString();
    reports.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    EXPECT_EQ(reports, cli({"--full", files[3], files[0]}));
    EXPECT_TRUE(harness.prompter.records.isEmpty());

    // Ctrl+C in the list reaches the command, not the list's own copy.
    selectRows(w, {rowOf("mp3_cbr128.mp3")});
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(w->view(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("[mp3_cbr128.mp3]\r\n")));

    // Nothing selected: the footer alone.
    w->view()->clearSelection();
    w->findChild<QAction*>("S2_CopyStat")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), footer);
}

TEST_F(FixtureWindow, CopyDetailsWithTheExtensionOptionRenamesAndTheRowFollows) {
    // An MPEG-1 program stream named .vob: the option names it .mpg.
    const QString vob = media.filePath("movie.vob");
    ASSERT_TRUE(QFile::copy(test::fixturesDir() + "mpeg1_ps_mpeg1video_mp2.mpg", vob));
    w->controller().analyzeFiles({vob});
    ASSERT_EQ(w->model().entry(0).caption, QStringLiteral("movie.vob"));
    w->findChild<QAction*>("S_CheckExt")->trigger();
    selectRows(w, {0});
    pickFromMenu(w, "M_Edit", 'P');
    EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("[movie.mpg]\r\n")));
    EXPECT_EQ(w->model().entry(0).caption, QStringLiteral("movie.mpg"));
    EXPECT_EQ(w->model().entry(0).fullPath, media.filePath("movie.mpg"));
    EXPECT_FALSE(QFile::exists(vob));
    EXPECT_TRUE(QFile::exists(media.filePath("movie.mpg")));
}

// "詳細付リネーム": the one-line summary, with "/" made "-", before the
// extension; the row follows the new name.
TEST_F(FixtureWindow, RenameWithDetailsThroughTheMenu) {
    const QString avi = files[0];
    const QString details = summaryOf(avi);
    ASSERT_FALSE(details.isEmpty());
    EXPECT_EQ(w->model().entry(rowOf("avi_xvid_mp3.avi")).details, details);
    QString bracketed = details;
    for (QChar& c : bracketed)
        if (QStringLiteral("\\/:*?\"<>|").contains(c)) c = u'-';
    const QString expected = media.filePath(QStringLiteral("avi_xvid_mp3 [") + bracketed + QStringLiteral("].avi"));

    selectRows(w, {rowOf("avi_xvid_mp3.avi")});
    pickFromMenu(w, "M_Edit", 'R');
    EXPECT_TRUE(harness.prompter.records.isEmpty());
    EXPECT_FALSE(QFile::exists(avi));
    EXPECT_TRUE(QFile::exists(expected)) << expected.toStdString();
    const int row = rowOf(QFileInfo(expected).fileName());
    ASSERT_GE(row, 0);
    EXPECT_EQ(w->model().entry(row).fullPath, expected);
    EXPECT_EQ(w->model().entry(row).details, details);
}

TEST_F(FixtureWindow, RenameAndMoveThroughThePopupMenu) {
    // F2: a name that exists is refused and nothing changes.
    const int mp3 = rowOf("mp3_cbr128.mp3");
    selectRows(w, {mp3});
    harness.prompter.textAnswers = {QStringLiteral("flac_16bit.flac")};
    QTest::keyClick(w->view(), Qt::Key_F2);
    ASSERT_EQ(harness.prompter.ofKind("error").size(), 1);
    EXPECT_TRUE(harness.prompter.ofKind("error")[0].text.startsWith(QStringLiteral("ファイル名の変更に失敗しました")));
    EXPECT_EQ(w->model().entry(mp3).fullPath, files[1]);
    harness.prompter.textAnswers = {QStringLiteral("renamed.mp3")};
    w->findChild<QAction*>("S2_Rename")->trigger();
    EXPECT_EQ(w->model().entry(mp3).fullPath, media.filePath("renamed.mp3"));

    // Move through the pop-up menu into a folder chosen in the dialog.
    QTemporaryDir target;
    QStringList titles;
    w->setFolderChooser([&](const QString& title, const QString&) {
        titles << title;
        return target.path();
    });
    selectRows(w, {rowOf("renamed.mp3"), rowOf("flac_16bit.flac")});
    w->popupMenu()->popup(w->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->popupMenu()->isVisible(); }, 2000));
    QTest::keyClick(w->popupMenu(), Qt::Key_M);
    EXPECT_EQ(titles, QStringList{"移動先のフォルダを選択"});
    EXPECT_EQ(w->model().entry(rowOf("renamed.mp3")).fullPath, target.filePath("renamed.mp3"));
    EXPECT_EQ(w->model().entry(rowOf("flac_16bit.flac")).fullPath, target.filePath("flac_16bit.flac"));
    for (const FileEntry& e : w->model().entries()) EXPECT_TRUE(QFile::exists(e.fullPath)) << e.fullPath.toStdString();

    // Copy: the list stays; the dialog opens on the last folder.
    QString initial;
    w->setFolderChooser([&](const QString& title, const QString& start) {
        titles << title;
        initial = start;
        return media.path();
    });
    selectRows(w, {rowOf("renamed.mp3")});
    const QList<FileEntry> before = w->model().entries();
    w->findChild<QAction*>("S_CopyFile")->trigger();
    EXPECT_EQ(titles.last(), QStringLiteral("コピー先のフォルダを選択"));
    EXPECT_EQ(initial, target.path());
    EXPECT_EQ(w->model().entries(), before);
    EXPECT_TRUE(QFile::exists(media.filePath("renamed.mp3")));
}

TEST_F(FixtureWindow, DeleteThroughTheMenuGoesToTheTrash) {
    test::ScopedHome home(media.filePath("h"));
    selectRows(w, {rowOf("flac_16bit.flac")});
    harness.prompter.answer = false;
    pickFromMenu(w, "M_File", 'D');
    EXPECT_EQ(w->model().count(), 4);
    harness.prompter.answer = true;
    pickFromMenu(w, "M_File", 'D');
    EXPECT_EQ(w->model().count(), 3);
    EXPECT_EQ(rowOf("flac_16bit.flac"), -1);
    EXPECT_FALSE(QFile::exists(files[2]));
    EXPECT_TRUE(QFile::exists(home.trash() + "/files/flac_16bit.flac"));
    EXPECT_EQ(w->statusText(0), QStringLiteral("3"));
}

TEST_F(FixtureWindow, EditingKeysAndSearch) {
    // Rows: 日本語の曲.mp3, flac_16bit.flac, mp3_cbr128.mp3, avi_xvid_mp3.avi
    selectRows(w, {rowOf("mp3_cbr128.mp3")});
    QTest::keyClick(w->view(), Qt::Key_Up, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(w->model().entry(0).caption, QStringLiteral("mp3_cbr128.mp3"));
    QTest::keyClick(w->view(), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(w->model().entry(1).caption, QStringLiteral("mp3_cbr128.mp3"));

    harness.prompter.textAnswers = {QStringLiteral("AVI")};
    QTest::keyClick(w->view(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(w->view()->currentIndex().row(), rowOf("avi_xvid_mp3.avi"));
    QTest::keyClick(w->view(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w->selectedRows().size(), 4);
    w->findChild<QAction*>("S_InverseSelect")->trigger();
    EXPECT_TRUE(w->selectedRows().isEmpty());
}

class StubLauncher : public Launcher {
public:
    bool startProgram(const QString& program, const QStringList& arguments, QString*) override {
        started << (QStringList{program} + arguments);
        return true;
    }
    bool openFile(const QString& file, QString*) override {
        opened << file;
        return true;
    }
    QList<QStringList> started;
    QStringList opened;
};

// The application dialog: an empty title is refused; OK stores the slot and
// names both menu items; the slot launches on double-click, Enter and the
// pop-up menu. The screenshot shows it filled in.
TEST_F(FixtureWindow, ApplicationSlotsDialogAndLaunch) {
    StubLauncher launcher;
    w->setLauncher(&launcher);
    w->findChild<QAction*>("S_App3")->trigger();
    EXPECT_EQ(w->checkedSlot(), 2);

    withModalDialog([&] { pickFromMenu(w, "S_App", 'O'); },
                    [&](QDialog* d) {
                        EXPECT_EQ(d->objectName(), QStringLiteral("TVKR_APPSEL"));
                        EXPECT_EQ(d->windowTitle(), QStringLiteral("起動するアプリの選択"));
                        auto field = [d](const char* name) { return d->findChild<QLineEdit*>(name); };
                        ASSERT_NE(field("E_AppCaption"), nullptr);
                        EXPECT_EQ(field("E_AppCaption")->text(), QStringLiteral("未設定2"));
                        for (const char* f : {"E_AppName", "E_AppCmdlFront", "E_AppCmdlBack"})
                            EXPECT_EQ(field(f)->text(), QString()) << f;
                        field("E_AppCaption")->clear();
                        d->findChild<QPushButton*>("B_Ok")->click();
                        EXPECT_TRUE(d->isVisible());
                        ASSERT_EQ(harness.prompter.ofKind("error").size(), 1);
                        EXPECT_EQ(harness.prompter.ofKind("error")[0].text, QStringLiteral("タイトルを指定してください"));
                        field("E_AppCaption")->setText(QStringLiteral("プレーヤー"));
                        field("E_AppName")->setText(QStringLiteral("/usr/bin/player"));
                        field("E_AppCmdlFront")->setText(QStringLiteral("--fullscreen"));
                        field("E_AppCmdlBack")->setText(QStringLiteral("--loop"));
                        saveShot(d, QStringLiteral("veskolite-apps.png"));
                        d->findChild<QPushButton*>("B_Ok")->click();
                        EXPECT_FALSE(d->isVisible());
                    });
    EXPECT_EQ(w->findChild<QAction*>("S_App3")->text(), QStringLiteral("プレーヤー"));
    EXPECT_EQ(w->findChild<QAction*>("S2_App3")->text(), QStringLiteral("プレーヤー"));

    const int row = rowOf(QStringLiteral("日本語の曲.mp3"));
    selectRows(w, {row});
    const QStringList expected{"/usr/bin/player", "--fullscreen", files[3], "--loop"};
    QTest::keyClick(w->view(), Qt::Key_Return);
    EXPECT_EQ(launcher.started.size(), 1) << "Enter";
    const QRect cell = w->view()->visualRect(w->model().index(row, 0));
    QTest::mouseClick(w->view()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(w->view()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(launcher.started.size(), 2) << "double-click";
    w->findChild<QAction*>("S2_App3")->trigger();
    EXPECT_EQ(launcher.started, (QList<QStringList>{expected, expected, expected}));
    w->findChild<QAction*>("S2_App1")->trigger();  // no program: the desktop's application
    EXPECT_EQ(launcher.opened, QStringList{files[3]});
}

TEST_F(FixtureWindow, AboutDialogShowsTheTitleAndTheLibrary) {
    withModalDialog([&] { pickFromMenu(w, "M_Help", 'A'); },
                    [&](QDialog* d) {
                        EXPECT_EQ(d->objectName(), QStringLiteral("TVKR_ABOUT"));
                        EXPECT_EQ(d->windowTitle(), QStringLiteral("バージョン情報"));
                        const QStringList texts = labelTexts(d);
                        EXPECT_TRUE(texts.contains(QStringLiteral("VeskolabLite 130324"))) << texts.join(u'|').toStdString();
                        EXPECT_TRUE(texts.contains(QStringLiteral("DLL 130324 Unicode")));
                        EXPECT_EQ(d->pos(), w->frameGeometry().topLeft());
                        saveShot(d, QStringLiteral("veskolite-about.png"));
                    });
}

TEST_F(FixtureWindow, ReadmeAndHistoryOpenWithTheDesktopOrSayTheyAreMissing) {
    QList<QUrl> opened;
    w->setUrlOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    pickFromMenu(w, "M_Help", 'R');
    ASSERT_EQ(harness.prompter.ofKind("error").size(), 1);
    EXPECT_TRUE(harness.prompter.ofKind("error")[0].text.startsWith(QStringLiteral("README.TXTが見つかりません")));
    test::writeFile(harness.programDir.filePath("README.TXT"), "read me");
    test::writeFile(harness.programDir.filePath("HISTORY.TXT"), "history");
    pickFromMenu(w, "M_Help", 'R');
    pickFromMenu(w, "M_Help", 'H');
    EXPECT_EQ(opened, (QList<QUrl>{QUrl::fromLocalFile(harness.programDir.filePath("README.TXT")),
                                   QUrl::fromLocalFile(harness.programDir.filePath("HISTORY.TXT"))}));
}

TEST(WindowSettings, FirstStartDefaultsAndWhatClosingKeeps) {
    test::Harness harness;
    {
        MainWindow* w = harness.start();
        ASSERT_TRUE(harness.waitIdle());
        EXPECT_EQ(w->size(), QSize(480, 250));
        EXPECT_EQ(w->view()->columnWidth(0), 150);
        EXPECT_EQ(w->view()->columnWidth(3), 120);
        EXPECT_EQ(w->view()->font().family(), QStringLiteral("Tahoma"));
        EXPECT_EQ(w->view()->font().pointSize(), 8);
        EXPECT_TRUE(w->findChild<QAction*>("S_NoSaveList")->isChecked());
        EXPECT_FALSE(w->findChild<QAction*>("S_CheckExt")->isChecked());
        EXPECT_EQ(w->checkedSlot(), 0);
        EXPECT_EQ(w->findChild<QAction*>("S_App1")->text(), QStringLiteral("未設定0"));
        EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

        // Always on top, and back: the window stays shown.
        QTest::keyClick(w, Qt::Key_T, Qt::ControlModifier);
        EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(w->isVisible());
        w->findChild<QAction*>("S_App4")->trigger();
        w->findChild<QAction*>("S_CheckExt")->trigger();
        w->close();
    }
    Settings written = readSettings(harness.settingsPath());
    EXPECT_EQ(written.mainW, 480);
    EXPECT_EQ(written.mainH, 250);
    EXPECT_EQ(written.columns, (std::array<int, 4>{150, 200, 100, 120}));
    EXPECT_EQ(written.fontName, QStringLiteral("Tahoma"));
    EXPECT_EQ(written.fontSize, 8);
    EXPECT_EQ(written.appSelected, 3);
    EXPECT_TRUE(written.alwaysOnTop);
    EXPECT_TRUE(written.checkExt);
    EXPECT_TRUE(written.noSaveList);
    EXPECT_EQ(written.apps, Settings::defaultApps());

    harness.startup = {};
    MainWindow* again = harness.start();
    ASSERT_TRUE(harness.waitIdle());
    EXPECT_EQ(again->checkedSlot(), 3);
    EXPECT_TRUE(again->findChild<QAction*>("S_App4")->isChecked());
    EXPECT_TRUE(again->findChild<QAction*>("S_CheckExt")->isChecked());
    EXPECT_TRUE(again->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    again->close();
}

}  // namespace
