// The main window offscreen: the real start-up with the real library on a
// folder of fixture files, the menus, keys, sorting, dropping and closing.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <map>

#include "library_text.h"
#include "list_save_dialog.h"
#include "settings.h"
#include "ui_support.h"

using namespace vesko::lite;

namespace {

// The command-line tool's summaries for a folder (path -> summary).
std::map<QString, QString> cliSummaries(const QString& dataDir, const QString& folder) {
    QProcess cli;
    cli.start(QStringLiteral(VESKOLITE_TEST_CLI), {QStringLiteral("--data"), dataDir, folder});
    cli.waitForFinished(60000);
    std::map<QString, QString> out;
    for (const QString& line : QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        out[QDir::cleanPath(line.section(u'\t', 0, 0))] = line.section(u'\t', 1);
    return out;
}

// One fixture per file type (list files left out, files the library
// analyses preferred), and one with a Japanese name.
QStringList copyFixtures(const QString& folder, int limit) {
    QDir().mkpath(folder);
    static const QStringList lists{"pls", "m3u", "m3u8", "lst", "zpl", "bsl", "zvmtl"};
    const auto known = cliSummaries(test::dataDir(), test::fixturesDir());
    auto analysed = [&](const QFileInfo& info) {
        auto it = known.find(QDir::cleanPath(info.absoluteFilePath()));
        return it != known.end() && !it->second.startsWith(QStringLiteral("未対応形式")) &&
               !it->second.startsWith(u'[');
    };
    std::map<QString, QFileInfo> firstOfType;
    const QFileInfoList all = QDir(test::fixturesDir()).entryInfoList(QDir::Files, QDir::Name);
    for (bool preferAnalysed : {true, false}) {
        if (!preferAnalysed && firstOfType.size() >= 6) break;
        for (const QFileInfo& info : all) {
            const QString suffix = info.suffix().toLower();
            if (lists.contains(suffix) || firstOfType.count(suffix) || (preferAnalysed && !analysed(info))) continue;
            if (static_cast<int>(firstOfType.size()) < limit) firstOfType.emplace(suffix, info);
        }
    }
    QStringList copied;
    for (const auto& [suffix, info] : firstOfType) {
        QFile::copy(info.absoluteFilePath(), folder + u'/' + info.fileName());
        copied << info.fileName();
    }
    if (firstOfType.count("mp3")) {
        QFile::copy(firstOfType["mp3"].absoluteFilePath(), folder + QStringLiteral("/日本語の名前.mp3"));
        copied << QStringLiteral("日本語の名前.mp3");
    }
    return copied;
}

// Settings for a roomy window. A key the program does not know is added:
// a settings file written by the program lacks it.
void writeViewSettings(const QString& path, bool noSaveList = true) {
    Settings s;
    s.mainW = 1000;
    s.mainH = 420;
    s.columns = {220, 470, 80, 210};
    s.noSaveList = noSaveList;
    writeSettings(path, s);
    QFile file(path);
    file.open(QIODevice::Append);
    const QString extra = QStringLiteral("Unknown=1\r\n");
    file.write(reinterpret_cast<const char*>(extra.utf16()), extra.size() * 2);
}

QStringList captions(MainWindow& w) {
    QStringList out;
    for (const FileEntry& e : w.model().entries()) out << e.caption;
    return out;
}

TEST(Window, ListsAFolderOfFixturesWithRowsStatusBarAndScreenshot) {
    QTemporaryDir media;
    const QString folder = media.filePath(QStringLiteral("メディア"));
    QStringList names = copyFixtures(folder, 16);
    ASSERT_GE(names.size(), 3);
    std::sort(names.begin(), names.end());  // enumeration order

    test::Harness harness;
    writeViewSettings(harness.settingsPath());
    MainWindow* w = harness.start({folder});
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), QStringLiteral("TVKR_MAIN"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("VeskolabLite 130324"));
    ASSERT_TRUE(harness.waitIdle());
    EXPECT_FALSE(w->bindingFailed());
    EXPECT_TRUE(harness.prompter.records.isEmpty());

    // Each file a row, the last one on top; details as the tool prints them.
    const auto summaries = cliSummaries(harness.programDir.path(), folder);
    ASSERT_EQ(w->model().count(), names.size());
    for (int row = 0; row < w->model().count(); ++row) {
        const QString name = names[names.size() - 1 - row];
        const FileEntry& e = w->model().entry(row);
        const QString path = folder + u'/' + name;
        EXPECT_EQ(e.caption, name);
        EXPECT_EQ(e.fullPath, path);
        EXPECT_EQ(e.sizeText, groupThousands(QFileInfo(path).size()));
        ASSERT_TRUE(summaries.count(path)) << path.toStdString();
        EXPECT_EQ(e.details, summaries.at(path)) << name.toStdString();
    }
    EXPECT_EQ(w->statusText(0), QString::number(names.size()));
    const QModelIndex focused = w->view()->currentIndex();
    EXPECT_EQ(w->statusText(1), focused.isValid() ? QString::number(focused.row() + 1) : QString());
    EXPECT_EQ(w->statusText(2), QString());
    w->view()->setCurrentIndex(w->model().index(2, 0));
    EXPECT_EQ(w->statusText(1), QStringLiteral("3"));

    // The column headings, and a font that has Japanese.
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(w->model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), FileListModel::columnTitle(c));
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
        << "no Japanese font: install fonts-ipafont-gothic (tools/install-deps.sh)";

    w->view()->selectRow(1);
    w->view()->selectionModel()->select(w->model().index(4, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::qWait(100);
    const QImage shot = w->grab().toImage();
    EXPECT_EQ(shot.width(), w->width());
    const QString target = qEnvironmentVariableIsSet("VESKOLITE_SCREENSHOT")
                               ? qEnvironmentVariable("VESKOLITE_SCREENSHOT")
                               : QStringLiteral(VESKOLITE_TEST_BINARY_DIR "veskolite.png");
    EXPECT_TRUE(shot.save(target));

    w->close();
    EXPECT_FALSE(w->isVisible());
}

struct MenuItem {
    const char* name;
    const char* caption;
    QKeySequence key;
    bool enabled;
};

TEST(Window, MenusCaptionsShortcutsAndOneItemPerAccelerator) {
    test::Harness harness;
    MainWindow* w = harness.start();
    ASSERT_TRUE(harness.waitIdle());

    QStringList titles;
    for (QAction* a : w->menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"ファイル(&F)", "リスト編集(&L)", "検索(&S)", "動作(&O)", "ヘルプ(&H)"}));

    const MenuItem items[] = {
        {"S_Open", "開く(&O)", QKeySequence("Ctrl+O"), true},
        {"S_OpenFolder", "フォルダを開く(&F)", {}, true},
        {"S_Property", "プロパティ(&P)", {}, true},
        {"S_Save", "リストの保存(&A)", QKeySequence("Ctrl+S"), true},
        {"S_SaveSelected", "選択範囲のリスト保存(&E)", QKeySequence("Ctrl+E"), true},
        {"S_CopyFile", "選択ファイルのコピー(&C)", {}, true},
        {"S_MoveFile", "選択ファイルを移動(&M)", {}, true},
        {"S_DeleteFile", "選択ファイルを削除(&D)", {}, true},
        {"S_Exit", "閉じる(&X)", {}, true},
        {"S_Up", "一つ上へ(&U)", QKeySequence("Alt+Up"), true},
        {"S_Down", "一つ下へ(&D)", QKeySequence("Alt+Down"), true},
        {"S_Top", "先頭へ(&T)", QKeySequence("Ctrl+Alt+Up"), true},
        {"S_Bottom", "最下段へ(&B)", QKeySequence("Ctrl+Alt+Down"), true},
        {"S_Delete", "削除(&E)", QKeySequence(Qt::Key_Delete), true},
        {"S_Clear", "クリア(&C)", QKeySequence("Ctrl+Del"), true},
        {"S_Shaffle", "シャッフル(&S)", {}, true},
        {"S_Reload", "再検査(&X)", QKeySequence("F5"), true},
        {"S_ReloadALL", "全ファイル再検査(&A)", QKeySequence("Ctrl+F5"), true},
        {"S_CopyStat", "詳細のコピー(&P)", QKeySequence("Ctrl+C"), true},
        {"S_Rename", "リネーム(&F)", QKeySequence("F2"), true},
        {"S_StatusRename", "詳細付リネーム(&R)", QKeySequence("Ctrl+R"), true},
        {"S_AllSelect", "全て選択(&L)", QKeySequence("Ctrl+A"), true},
        {"S_InverseSelect", "選択の切り替え(&I)", {}, true},
        {"S_SearchName", "検索(&F)", QKeySequence("Ctrl+F"), true},
        {"S_SearchNext", "次の候補(&N)", QKeySequence("F3"), true},
        {"S_SearchPrev", "前の候補(&P)", QKeySequence("Shift+F3"), true},
        {"S_AlwaysOnTop", "常に最前面に表示(&T)", QKeySequence("Ctrl+T"), true},
        {"S_NoSaveList", "リストを保存しない(&N)", {}, true},
        {"S_CheckExt", "拡張子自動リネーム(&E)", {}, true},
        {"S_NoSameFile", "同じファイルは複数登録をしない(&D)", {}, true},
        {"S_DirRecursive", "フォルダ読込時にサブフォルダも検索(&S)", {}, true},
        {"S_Font", "表示フォント(&F)", {}, true},
        {"S_App1", "未設定0", {}, true},
        {"S_App5", "未設定4", {}, true},
        {"S_AppSetting", "設定(&O)", {}, true},
        {"S_Exec", "実行(&X)", {}, false},
        {"S_About", "バージョン情報(&A)", {}, true},
        {"S_Readme", "Readme.txt参照(&R)", {}, true},
        {"S_History", "History.txt参照(&H)", {}, true},
        {"S2_Up", "一つ上へ(&U)", {}, true},
        {"S2_Delete", "削除(&E)", {}, true},
        {"S2_Reload", "再検査(&X)", {}, true},
        {"S2_CopyStat", "詳細のコピー(&P)", {}, true},
        {"S2_DeleteFile", "選択ファイルを削除(&K)", {}, true},
        {"S2_StatusRename", "詳細付リネーム(&R)", {}, true},
        {"S2_Property", "プロパティ(&O)", {}, true},
        {"S2_App1", "未設定0", {}, true},
        {"S2_App5", "未設定4", {}, true},
    };
    for (const MenuItem& item : items) {
        auto* a = w->findChild<QAction*>(QString::fromLatin1(item.name));
        ASSERT_NE(a, nullptr) << item.name;
        EXPECT_EQ(a->text(), QString::fromUtf8(item.caption)) << item.name;
        EXPECT_EQ(a->shortcut(), item.key) << item.name;
        EXPECT_EQ(a->isEnabled(), item.enabled) << item.name;
    }
    EXPECT_TRUE(w->findChild<QAction*>("S_NoSaveList")->isChecked());  // on by default
    EXPECT_TRUE(w->findChild<QAction*>("S_App1")->isChecked());

    // Every accelerator letter leads to one item of its menu.
    static const QRegularExpression mnemonic(QStringLiteral("&(\\w)"));
    for (QMenu* menu : w->findChildren<QMenu*>()) {
        QStringList letters;
        for (QAction* a : menu->actions()) {
            auto m = mnemonic.match(a->text());
            if (m.hasMatch()) letters << m.captured(1).toUpper();
        }
        QStringList unique = letters;
        unique.removeDuplicates();
        EXPECT_EQ(letters.size(), unique.size()) << menu->title().toStdString() << menu->objectName().toStdString()
                                                 << ": " << letters.join(u' ').toStdString();
    }
    // No key is bound twice (it would reach neither item).
    QStringList keys;
    for (QAction* a : w->findChildren<QAction*>())
        if (!a->shortcut().isEmpty()) keys << a->shortcut().toString();
    QStringList uniqueKeys = keys;
    uniqueKeys.removeDuplicates();
    EXPECT_EQ(keys.size(), uniqueKeys.size()) << keys.join(u' ').toStdString();
}

TEST(Window, DeleteKeyRemovesTheSelectedRowOnce) {
    QTemporaryDir media;
    QStringList files;
    for (const char* n : {"a.bin", "b.bin", "c.bin", "d.bin"})
        files << test::writeFile(media.filePath(n), QByteArray(64, 'x'));
    test::Harness harness;
    MainWindow* w = harness.start(files);
    ASSERT_TRUE(harness.waitIdle());
    ASSERT_EQ(captions(*w), (QStringList{"d.bin", "c.bin", "b.bin", "a.bin"}));
    w->activateWindow();
    w->view()->setFocus();
    w->view()->setCurrentIndex(w->model().index(1, 0));
    w->view()->selectRow(1);
    QTest::keyClick(w->view(), Qt::Key_Delete);
    EXPECT_EQ(captions(*w), (QStringList{"d.bin", "b.bin", "a.bin"}));
    EXPECT_EQ(w->statusText(0), QStringLiteral("3"));
}

// Counts the files examined: the loop pumps once after each.
struct PumpCounter {
    explicit PumpCounter(MainWindow* w) {
        w->controller().setPump([this] {
            ++examined;
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        });
    }
    int examined = 0;
};

TEST(Window, EscapeAsksAndStopsTheBatch) {
    QTemporaryDir media;
    QStringList files;
    for (int i = 0; i < 2000; ++i)
        files << test::writeFile(media.filePath(QStringLiteral("f%1.bin").arg(i, 4, 10, QChar(u'0'))), "abcdefgh");
    test::Harness harness;
    MainWindow* w = harness.start(files);
    PumpCounter counter(w);
    int examinedWhenAsked = -1;
    harness.prompter.onConfirm = [&](const QString&, const QString&) {
        examinedWhenAsked = counter.examined;
        return true;
    };
    // ESC once the batch is under way.
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, w, [&] {
        if (w->controller().isAnalysisRunning() && counter.examined >= 20) {
            poke.stop();
            QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    poke.start(1);
    ASSERT_TRUE(harness.waitIdle());
    ASSERT_EQ(harness.prompter.records.size(), 1);
    EXPECT_EQ(harness.prompter.records[0].kind, QStringLiteral("confirm"));
    EXPECT_EQ(harness.prompter.records[0].caption, QStringLiteral("確認"));
    EXPECT_EQ(harness.prompter.records[0].text,
              QStringLiteral("現在解析中のファイルを最後に解析を中止します。よろしいですか?"));
    // The rows examined before the answer stay; no file follows.
    EXPECT_GE(examinedWhenAsked, 20);
    EXPECT_EQ(w->model().count(), examinedWhenAsked);
    EXPECT_EQ(counter.examined, examinedWhenAsked);
    EXPECT_EQ(w->statusText(2), QString());
    EXPECT_EQ(w->statusText(0), QString::number(w->model().count()));
}

TEST(Window, HeadingClicksSortBySizeNumerically) {
    QTemporaryDir media;
    QStringList files;
    for (auto [name, size] : {std::pair{"mid.bin", 999}, {"big.bin", 1000}, {"small.bin", 50}})
        files << test::writeFile(media.filePath(name), QByteArray(size, 'q'));
    test::Harness harness;
    MainWindow* w = harness.start(files);
    ASSERT_TRUE(harness.waitIdle());
    QHeaderView* header = w->view()->horizontalHeader();
    const QPoint sizeHeading(header->sectionViewportPosition(SizeColumn) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeading);
    EXPECT_EQ(captions(*w), (QStringList{"small.bin", "mid.bin", "big.bin"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, sizeHeading);
    EXPECT_EQ(captions(*w), (QStringList{"big.bin", "mid.bin", "small.bin"}));
    EXPECT_EQ(w->model().entry(0).sizeText, QStringLiteral("1,000"));
}

TEST(Window, ClosingDuringABatchWaitsForItThenSavesAndUnloads) {
    QTemporaryDir media;
    QStringList files;
    for (int i = 0; i < 2000; ++i) files << test::writeFile(media.filePath(QStringLiteral("f%1.bin").arg(i)), "1234");
    test::Harness harness;
    writeViewSettings(harness.settingsPath(), /*noSaveList=*/false);
    const QByteArray settingsBefore = test::readFile(harness.settingsPath());
    MainWindow* w = harness.start(files);
    PumpCounter counter(w);

    bool boundAtClose = false, visibleAfterClose = false;
    int rowsAtClose = 0;
    QTimer poke;
    QObject::connect(&poke, &QTimer::timeout, w, [&] {
        if (w->controller().isAnalysisRunning() && counter.examined >= 10) {
            poke.stop();
            rowsAtClose = counter.examined;
            w->close();  // inside the batch's event pump
            boundAtClose = w->binding().isBound();
            visibleAfterClose = w->isVisible();
        }
    });
    poke.start(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rowsAtClose > 0 && !w->isVisible(); }, 60000));
    EXPECT_TRUE(boundAtClose);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_FALSE(w->binding().isBound());
    EXPECT_FALSE(w->controller().isBusy());
    const int rows = w->model().count();
    EXPECT_EQ(rows, rowsAtClose);  // the loop stopped after the file it was on
    EXPECT_LT(rows, 2000);

    // The own list holds exactly the rows; the settings were written.
    ListReadResult saved = readListFile(harness.ownListPath(), ListFormat::Own);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(saved.entries, w->model().entries());
    EXPECT_NE(test::readFile(harness.settingsPath()), settingsBefore);
}

TEST(Window, OwnListIsLoadedAtStartAndSavedOnlyWhenAllowed) {
    test::Harness harness;
    const QList<FileEntry> stored{{"x.mp3", "stored one", "1,000", harness.programDir.filePath("music/x.mp3")},
                                  {"y.mp3", "stored two", "2", "/elsewhere/y.mp3"}};
    ASSERT_EQ(writeListFile(harness.ownListPath(), ListFormat::Own, stored).status, ListWriteResult::Written);
    const QByteArray listBefore = test::readFile(harness.ownListPath());

    MainWindow* w = harness.start();
    ASSERT_TRUE(harness.waitIdle());
    EXPECT_EQ(w->model().entries(), stored);  // as stored, not examined again
    EXPECT_EQ(w->statusText(0), QStringLiteral("2"));
    w->controller().removeRows({0});
    w->close();  // "リストを保存しない" is on by default
    EXPECT_EQ(test::readFile(harness.ownListPath()), listBefore);
    EXPECT_TRUE(QFile::exists(harness.settingsPath()));
}

TEST(Window, DroppedFilesAndFoldersAreAdded) {
    QTemporaryDir media;
    const QString one = test::writeFile(media.filePath("one.bin"), "1");
    test::writeFile(media.filePath("folder/two.bin"), "22");
    test::writeFile(media.filePath("folder/sub/three.bin"), "333");
    test::Harness harness;
    MainWindow* w = harness.start();
    ASSERT_TRUE(harness.waitIdle());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(one), QUrl::fromLocalFile(media.filePath("folder"))});
    const QPoint at = w->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(w, &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->model().count() == 2 && w->isIdle(); }, 10000));
    EXPECT_EQ(captions(*w), (QStringList{"two.bin", "one.bin"}));  // subfolders off
}

TEST(Window, PropertiesWithoutAFileManagerShowOurOwnDialog) {
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // no desktop: no file manager to ask
    QTemporaryDir media;
    const QString file = test::writeFile(media.filePath("props.bin"), QByteArray(1234, 'p'));
    test::Harness harness;
    MainWindow* w = harness.start({file});
    ASSERT_TRUE(harness.waitIdle());
    w->findChild<QAction*>("S_Property")->trigger();  // nothing focused: nothing happens
    EXPECT_EQ(w->findChild<QDialog*>("TVKR_PROPERTIES"), nullptr);
    w->view()->setCurrentIndex(w->model().index(0, 0));
    w->findChild<QAction*>("S_Property")->trigger();
    auto* dialog = w->findChild<QDialog*>("TVKR_PROPERTIES");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("props.bin のプロパティ"));
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("1,234 バイト"))) << texts.join(u'|').toStdString();
    dialog->close();
}

// A list in an 8-bit encoding that cannot carry a name: the entry is named,
// ".m3u8" is offered, and nothing turns into "?".
TEST(Window, SavingNamesUnwritableEntriesAndOffersM3u8) {
    QTemporaryDir media;
    const QString plain = test::writeFile(media.filePath("plain.bin"), "1");
    const QString japanese = test::writeFile(media.filePath(QStringLiteral("曲.bin")), "2");
    test::Harness harness;
    MainWindow* w = harness.start({plain, japanese});
    ASSERT_TRUE(harness.waitIdle());
    w->controller().setEightBitEncoder([](const QString& text, QByteArray& out) {
        QStringEncoder latin1(QStringConverter::Latin1);  // an 8-bit code page without Japanese
        out = latin1.encode(text);
        return !latin1.hasError();
    });
    QList<std::pair<ListFormat, QString>> offers;
    w->setSavePathChooser([&](ListFormat offered, const QString& suggested) {
        offers.append({offered, suggested});
        if (offers.size() == 1) return std::optional(std::make_pair(media.filePath("list.m3u"), ListFormat::M3u));
        return std::optional(std::make_pair(media.filePath(suggested), offered));
    });
    w->saveList(false);

    ASSERT_EQ(offers.size(), 2);
    EXPECT_EQ(offers[0].first, ListFormat::Own);  // the dialog opens on the own list's filter
    EXPECT_EQ(offers[1], std::make_pair(ListFormat::M3u8, QStringLiteral("list.m3u8")));
    ASSERT_EQ(harness.prompter.records.size(), 1);
    EXPECT_EQ(harness.prompter.records[0].caption, QStringLiteral("*.m3uの書込時エラー"));
    EXPECT_TRUE(harness.prompter.records[0].text.contains(japanese));
    EXPECT_FALSE(harness.prompter.records[0].text.contains(plain));
    EXPECT_FALSE(QFile::exists(media.filePath("list.m3u")));
    EXPECT_EQ(test::readFile(media.filePath("list.m3u8")), QByteArray("\xEF\xBB\xBF") + QStringLiteral("曲.bin\r\nplain.bin\r\n").toUtf8());
}

TEST(Window, SaveDialogExtensionFollowsTheFilter) {
    ListSaveDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("名前を付けて保存"));
    EXPECT_EQ(dialog.nameFilters(),
              (QStringList{"Veskolab (*.zvmtl)", "Media Player Classic (*.pls)", "DV (*.lst)", "Zoom Player (*.zpl)",
                           "BSPlayer (*.bsl)", "WinAMP (*.m3u)", "WinAMP (*.m3u8)"}));
    EXPECT_EQ(dialog.format(), ListFormat::Own);
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("zvmtl"));
    emit dialog.filterSelected(QStringLiteral("WinAMP (*.m3u8)"));
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("m3u8"));
    dialog.selectFormat(ListFormat::Bsl);
    EXPECT_EQ(dialog.format(), ListFormat::Bsl);
    EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("bsl"));
}

}  // namespace
