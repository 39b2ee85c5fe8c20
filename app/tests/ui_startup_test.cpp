// Start-up checks and binding failures: each shows its message, and a
// refused library leaves the settings and the own list as they were.
#include <gtest/gtest.h>

#include <QDir>

#include "settings.h"
#include "ui_support.h"

using namespace vesko::lite;

namespace {

TEST(Startup, MissingFormatIniEndsBeforeAnyWindow) {
    test::Harness harness(test::libraryFile(), /*formatIni=*/false);
    MainWindow* w = harness.start();
    EXPECT_EQ(w, nullptr);
    ASSERT_TRUE(harness.startup.exitCode.has_value());
    EXPECT_EQ(*harness.startup.exitCode, -1);
    ASSERT_EQ(harness.prompter.records.size(), 1);
    EXPECT_EQ(harness.prompter.records[0].kind, QStringLiteral("error"));
    EXPECT_EQ(harness.prompter.records[0].caption, QStringLiteral("エラー"));
    EXPECT_EQ(harness.prompter.records[0].text, QStringLiteral("FORMAT.INIが見つからないので詳細の表示ができません"));
}

TEST(Startup, MissingCodecsIniWarnsAndRuns) {
    test::Harness harness(test::libraryFile(), true, /*codecsIni=*/false);
    MainWindow* w = harness.start();
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(harness.waitIdle());
    EXPECT_FALSE(w->bindingFailed());
    ASSERT_GE(harness.prompter.records.size(), 1);
    EXPECT_EQ(harness.prompter.records[0].kind, QStringLiteral("warning"));
    EXPECT_EQ(harness.prompter.records[0].caption, QStringLiteral("無くても動きますが"));
    EXPECT_EQ(harness.prompter.records[0].text, QStringLiteral("CODECS.INIが見つからないのでCodec名の表示ができません"));
    w->close();
}

struct RefusedCase {
    const char* label;
    QString library;
    QString message;
};

TEST(Startup, RefusedLibraryShowsItsMessageAndLeavesTheSettingsUntouched) {
    const RefusedCase cases[] = {
        {"no Unicode export", QStringLiteral(VESKOLITE_TEST_FAKE_NOUNICODE),
         QStringLiteral("Unicode対応前のVESKO.DLLは使えません")},
        {"Unicode() returns 0", QStringLiteral(VESKOLITE_TEST_FAKE_ANSI),
         QStringLiteral("ANSI版のVESKO.DLLは使えません")},
        {"no GetDllVersion", QStringLiteral(VESKOLITE_TEST_FAKE_NOVERSION), QStringLiteral("VESKO.DLLが異常です")},
        {"no library", QString(), QStringLiteral("VESKO.DLLの読み込みに失敗しました(2)")},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.label);
        test::Harness harness(c.library);
        // Settings that a normal close would rewrite, and an own list that
        // it would save (the list is not to be kept off).
        Settings s;
        s.noSaveList = false;
        s.mainX = 123;
        ASSERT_TRUE(writeSettings(harness.settingsPath(), s));
        {
            // A key the program does not know: a rewritten file would lack it.
            QFile file(harness.settingsPath());
            ASSERT_TRUE(file.open(QIODevice::Append));
            const QString extra = QStringLiteral("Unknown=1\r\n");
            file.write(reinterpret_cast<const char*>(extra.utf16()), extra.size() * 2);
        }
        ASSERT_EQ(writeListFile(harness.ownListPath(), ListFormat::Own, {{"a", "b", "1", "/x/a"}}).status,
                  ListWriteResult::Written);
        const QByteArray settingsBefore = test::readFile(harness.settingsPath());
        const QByteArray listBefore = test::readFile(harness.ownListPath());

        MainWindow* w = harness.start({harness.programDir.filePath("FORMAT.INI")});
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(QTest::qWaitFor([w] { return w->hasStarted() && !w->isVisible(); }, 10000));
        EXPECT_TRUE(w->bindingFailed());
        ASSERT_EQ(harness.prompter.records.size(), 1);
        EXPECT_EQ(harness.prompter.records[0].kind, QStringLiteral("error"));
        EXPECT_EQ(harness.prompter.records[0].caption, QStringLiteral("エラー"));
        EXPECT_TRUE(harness.prompter.records[0].text.startsWith(c.message))
            << harness.prompter.records[0].text.toStdString();
        EXPECT_EQ(w->model().count(), 0);
        EXPECT_EQ(test::readFile(harness.settingsPath()), settingsBefore);
        EXPECT_EQ(test::readFile(harness.ownListPath()), listBefore);
    }
}

}  // namespace

namespace {

TEST(Startup, ArgumentsBecomeAbsoluteWithoutChangingTheCurrentFolder) {
    const QString current = QDir::currentPath();
    const QStringList out = absoluteArguments({"song.mp3", "sub/../clip.avi", "/abs/x.wav", ""});
    EXPECT_EQ(out, (QStringList{current + "/song.mp3", current + "/clip.avi", "/abs/x.wav"}));
    EXPECT_EQ(QDir::currentPath(), current);
}

}  // namespace
