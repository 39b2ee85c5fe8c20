// examineFile: the per-file sequence, with the real library and a fake.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "binding.h"
#include "examine.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

// A path of exactly `units` UTF-16 units inside `dir`, with the file made.
QString pathOfLength(const QTemporaryDir& dir, qsizetype units) {
    QString path = dir.path() + u'/';
    while (path.size() + 101 < units) path += QString(100, u'd') + u'/';
    path += QString(units - path.size(), u'f');
    test::writeFile(path, "some bytes that no analyser knows about, long enough to identify");
    return path;
}

TEST(ExamineFile, ConvertsTheRealLibrarysTextAndSize) {
    QTemporaryDir dir;
    QFile::copy(test::libraryFile(), dir.filePath(LibraryBinding::libraryFileName()));
    QFile::copy(test::dataDir() + "FORMAT.INI", dir.filePath("FORMAT.INI"));
    LibraryBinding binding;
    ASSERT_EQ(binding.bind(dir.path()).status, BindStatus::Bound);

    const QString path = test::writeFile(dir.filePath("unknown.bin"), QByteArray(1234, 'Z'));
    Examination ex = examineFile(binding, path, ExamineMode::Adding);
    EXPECT_FALSE(ex.failed);
    EXPECT_EQ(ex.fileName, path);
    EXPECT_EQ(ex.sizeText, QStringLiteral("1,234"));
    EXPECT_TRUE(ex.summary.startsWith(QStringLiteral("未対応形式"))) << ex.summary.toStdString();
}

TEST(ExamineFile, PathsLongerThanTheRecordNeverReachTheLibrary) {
    QTemporaryDir dir;
    test::FakeLibrary library;
    const QString fits = pathOfLength(dir, 255);
    const QString tooLong = pathOfLength(dir, 256);

    Examination ok = examineFile(library, fits, ExamineMode::Adding);
    EXPECT_EQ(ok.formatCode, VESKO_FMT_WAVE);
    EXPECT_EQ(ok.fileName, fits);
    ASSERT_EQ(library.formatCalls.size(), 1);
    EXPECT_EQ(library.formatCalls.first(), fits);

    Examination refused = examineFile(library, tooLong, ExamineMode::Adding);
    EXPECT_EQ(library.formatCalls.size(), 1);  // no call on a cut name
    EXPECT_FALSE(refused.failed);
    EXPECT_EQ(refused.formatCode, VESKO_FMT_OPEN_FAILED);
    EXPECT_EQ(refused.fileName, tooLong);
    EXPECT_EQ(refused.summary, QStringLiteral("ファイルのオープンに失敗"));
    EXPECT_EQ(refused.sizeText, QStringLiteral("0"));
}

TEST(ExamineFile, SummaryBufferIsSizedByConvertOneLen) {
    QTemporaryDir dir;
    test::FakeLibrary library;
    library.summaryOverride = QString(700, u'あ');  // 1,400 bytes in code page 932
    Examination ex = examineFile(library, test::writeFile(dir.filePath("a.wav"), "x"), ExamineMode::Adding);
    EXPECT_EQ(ex.summary, library.summaryOverride);
}

TEST(ExamineFile, FaultsAreReportedWithTheStep) {
    QTemporaryDir dir;
    test::FakeLibrary library;
    library.throwOnFormat << "format.wav";
    library.throwOnInfo << "info.wav";
    Examination a = examineFile(library, test::writeFile(dir.filePath("format.wav"), "x"), ExamineMode::Adding);
    EXPECT_TRUE(a.failed);
    EXPECT_EQ(a.failure, QStringLiteral("詳細解析中(ファイル種別判定)の例外:\r\n\r\nidentification fault"));
    Examination b = examineFile(library, test::writeFile(dir.filePath("info.wav"), "x"), ExamineMode::Adding);
    EXPECT_TRUE(b.failed);
    EXPECT_EQ(b.failure, QStringLiteral("詳細解析中(解析,詳細組立)の例外:\r\n\r\nanalysis fault"));
}

TEST(ExamineFile, ListFilesStopAfterIdentificationWhenAdding) {
    QTemporaryDir dir;
    test::FakeLibrary library;
    const QString list = test::writeFile(dir.filePath("songs.m3u"), "a.mp3\r\n");
    Examination adding = examineFile(library, list, ExamineMode::Adding);
    EXPECT_TRUE(adding.isListFile);
    EXPECT_EQ(adding.formatCode, VESKO_FMT_LIST_M3U);
    Examination again = examineFile(library, list, ExamineMode::Reexamining);
    EXPECT_FALSE(again.isListFile);
    EXPECT_EQ(again.summary, QStringLiteral("詳細 songs.m3u"));
}

// Every fixture: the program's details are the command-line tool's summary
// (which converts with iconv), so the code page 932 decoding is the same.
TEST(ExamineFile, MatchesTheCommandLineToolOnEveryFixture) {
    QTemporaryDir dir;
    QFile::copy(test::libraryFile(), dir.filePath(LibraryBinding::libraryFileName()));
    QFile::copy(test::dataDir() + "FORMAT.INI", dir.filePath("FORMAT.INI"));
    QFile::copy(test::dataDir() + "CODECS.INI", dir.filePath("CODECS.INI"));
    LibraryBinding binding;
    ASSERT_EQ(binding.bind(dir.path()).status, BindStatus::Bound);

    QProcess cli;
    cli.start(QStringLiteral(VESKOLITE_TEST_CLI), {QStringLiteral("--data"), dir.path(), test::fixturesDir()});
    ASSERT_TRUE(cli.waitForFinished(60000));
    const QStringList lines = QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 10);
    int compared = 0;
    for (const QString& line : lines) {
        const qsizetype tab = line.indexOf(u'\t');
        ASSERT_GT(tab, 0);
        const QString path = QDir::cleanPath(line.left(tab));
        Examination ex = examineFile(binding, path, ExamineMode::Reexamining);
        EXPECT_EQ(ex.summary, line.mid(tab + 1)) << path.toStdString();
        ++compared;
    }
    EXPECT_EQ(compared, lines.size());
}

}  // namespace
