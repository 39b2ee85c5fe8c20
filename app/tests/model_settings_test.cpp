// The settings file and where the user's files go.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "list_files.h"
#include "settings.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

TEST(Settings, MissingFileGivesTheDefaults) {
    QTemporaryDir dir;
    Settings s = readSettings(dir.filePath("none.ini"));
    EXPECT_EQ(s.mainX, 300);
    EXPECT_EQ(s.mainY, 300);
    EXPECT_EQ(s.mainW, 480);
    EXPECT_EQ(s.mainH, 250);
    EXPECT_EQ(s.columns, (std::array<int, 4>{150, 200, 100, 120}));
    EXPECT_TRUE(s.noSaveList);
    EXPECT_FALSE(s.noSameFile);
    EXPECT_FALSE(s.dirRecursive);
    EXPECT_EQ(s.fontName, QStringLiteral("Tahoma"));
    EXPECT_EQ(s.fontSize, 8);
    EXPECT_EQ(s.appSelected, 0);
    EXPECT_EQ(s.apps[0].caption, QStringLiteral("未設定0"));
    EXPECT_EQ(s.apps[4].caption, QStringLiteral("未設定4"));
}

TEST(Settings, WrittenAsUtf16InTheDocumentedKeyOrderAndReadBack) {
    QTemporaryDir dir;
    Settings s;
    s.mainX = 10;
    s.mainW = 900;
    s.columns = {1, 2, 3, 4};
    s.noSaveList = false;
    s.noSameFile = true;
    s.dir = QStringLiteral("/home/taro/音楽");
    s.apps[2] = {"プレーヤー", "/usr/bin/player", "-a", "-b"};
    s.appSelected = 2;
    const QString path = dir.filePath("VeskoLite_taro.ini");
    ASSERT_TRUE(writeSettings(path, s));

    const QByteArray bytes = test::readFile(path);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QStringList lines = decodeListText(bytes, ListFormat::Own).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QStringList keys;
    for (const QString& line : lines.mid(1)) keys << line.section(u'=', 0, 0);
    QStringList expected{"MainX", "MainY", "MainW", "MainH", "MainColumn0", "MainColumn1", "MainColumn2",
                         "MainColumn3", "Dir", "AlwaysOnTop", "CheckExt", "NoSaveList", "NoSameFile",
                         "DirRecursive", "FontName", "FontSize", "FontStyleBold", "FontStyleItalic",
                         "FontStyleUnderline", "FontStyleStrikeOut"};
    for (int i = 0; i < 5; ++i)
        expected << QStringLiteral("AppCaption%1").arg(i) << QStringLiteral("AppName%1").arg(i)
                 << QStringLiteral("AppCmdlFront%1").arg(i) << QStringLiteral("AppCmdlBack%1").arg(i);
    expected << "AppSelected";
    EXPECT_EQ(lines.first(), QStringLiteral("[Main]"));
    EXPECT_EQ(keys, expected);

    Settings back = readSettings(path);
    EXPECT_EQ(back.mainX, 10);
    EXPECT_EQ(back.mainW, 900);
    EXPECT_EQ(back.columns, (std::array<int, 4>{1, 2, 3, 4}));
    EXPECT_FALSE(back.noSaveList);
    EXPECT_TRUE(back.noSameFile);
    EXPECT_EQ(back.dir, s.dir);
    EXPECT_EQ(back.apps[2].caption, QStringLiteral("プレーヤー"));
    EXPECT_EQ(back.apps[2].optionsAfter, QStringLiteral("-b"));
    EXPECT_EQ(back.appSelected, 2);
}

// Every key away from its default survives a write and a read.
TEST(Settings, EveryKeyIsWrittenAndReadBack) {
    Settings s;
    s.mainX = -20;
    s.mainY = 40;
    s.mainW = 1024;
    s.mainH = 768;
    s.columns = {11, 22, 33, 44};
    s.checkExt = true;
    s.noSaveList = false;
    s.alwaysOnTop = true;
    s.noSameFile = true;
    s.dirRecursive = true;
    s.fontName = QStringLiteral("IPAGothic");
    s.fontSize = 13;
    s.fontBold = s.fontItalic = s.fontUnderline = s.fontStrikeOut = true;
    s.appSelected = 4;
    for (int i = 0; i < 5; ++i)
        s.apps[static_cast<size_t>(i)] = {QStringLiteral("アプリ%1 = x").arg(i), QStringLiteral("/opt/app%1").arg(i),
                                          QStringLiteral("--front %1").arg(i), QStringLiteral("--back=\"%1\"").arg(i)};
    s.dir = QStringLiteral("/home/taro/音楽");
    ASSERT_NE(s, Settings());
    QTemporaryDir dir;
    const QString path = dir.filePath("VeskoLite_taro.ini");
    ASSERT_TRUE(writeSettings(path, s));
    EXPECT_EQ(readSettings(path), s);
    // Written in one step: nothing but the file is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VeskoLite_taro.ini"});
}

TEST(Settings, ValuesThatAreNotUnderstoodKeepTheDefaults) {
    QTemporaryDir dir;
    const QString path = test::writeFile(dir.filePath("s.ini"),
                                         "[Main]\nMainX=abc\nAppSelected=9\nCheckExt=yes\nNoSaveList=\nFontSize=\n");
    EXPECT_EQ(readSettings(path), Settings());
}

TEST(Settings, AFailedWriteSaysSo) {
    QTemporaryDir dir;
    const QString notAFolder = test::writeFile(dir.filePath("file"), "x");
    QString error;
    EXPECT_FALSE(writeSettings(notAFolder + "/s.ini", Settings(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Settings, KeysIgnoreLetterCaseAndOtherSections) {
    QTemporaryDir dir;
    const QString path = test::writeFile(dir.filePath("s.ini"), "[Other]\nMainX=1\n[main]\nmainx=42\nNOSAMEFILE=1\n");
    Settings s = readSettings(path);
    EXPECT_EQ(s.mainX, 42);
    EXPECT_TRUE(s.noSameFile);
}

TEST(AppPaths, BesideTheProgramOrInTheConfigurationFolder) {
    AppPaths beside = resolveAppPaths("/opt/vl", "taro", true, "/home/taro/.config/VeskoLite");
    EXPECT_EQ(beside.ownListPath, QStringLiteral("/opt/vl/VeskoLite_taro.zvmtl"));
    EXPECT_EQ(beside.settingsPath, QStringLiteral("/opt/vl/VeskoLite_taro.ini"));
    AppPaths installed = resolveAppPaths("/usr/lib/veskolite", "taro", false, "/home/taro/.config/VeskoLite");
    EXPECT_EQ(installed.programDir, QStringLiteral("/usr/lib/veskolite"));
    EXPECT_EQ(installed.ownListPath, QStringLiteral("/home/taro/.config/VeskoLite/VeskoLite_taro.zvmtl"));
    AppPaths nameless = resolveAppPaths("/opt/vl", "", true, "/x");
    EXPECT_EQ(nameless.settingsPath, QStringLiteral("/opt/vl/VeskoLite.ini"));
}

}  // namespace
