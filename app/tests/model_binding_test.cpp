// Binding the library by name at run time, and the refusals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "binding.h"
#include "examine.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

// A program folder holding `library` under the name the program loads.
QString programDirWith(const QTemporaryDir& dir, const QString& library) {
    if (!library.isEmpty()) QFile::copy(library, dir.filePath(LibraryBinding::libraryFileName()));
    QFile::copy(test::dataDir() + "FORMAT.INI", dir.filePath("FORMAT.INI"));
    QFile::copy(test::dataDir() + "CODECS.INI", dir.filePath("CODECS.INI"));
    return dir.path();
}

struct RefusalCase {
    const char* library;
    BindStatus status;
    const char* message;
};

TEST(Binding, RefusesUnusableLibraries) {
    const RefusalCase cases[] = {
        {VESKOLITE_TEST_FAKE_NOUNICODE, BindStatus::PreUnicode, "Unicode対応前のVESKO.DLLは使えません"},
        {VESKOLITE_TEST_FAKE_ANSI, BindStatus::Ansi, "ANSI版のVESKO.DLLは使えません"},
        {VESKOLITE_TEST_FAKE_NOVERSION, BindStatus::Broken, "VESKO.DLLが異常です"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        LibraryBinding binding;
        BindOutcome outcome = binding.bind(programDirWith(dir, QString::fromUtf8(c.library)));
        EXPECT_EQ(outcome.status, c.status) << c.library;
        EXPECT_EQ(outcome.message, QString::fromUtf8(c.message));
        EXPECT_FALSE(binding.isBound());
    }
}

TEST(Binding, MissingLibraryIsReportedWithTheSystemErrorCode) {
    QTemporaryDir dir;
    LibraryBinding binding;
    BindOutcome outcome = binding.bind(programDirWith(dir, QString()));
    EXPECT_EQ(outcome.status, BindStatus::LoadFailed);
    EXPECT_TRUE(outcome.message.startsWith(QStringLiteral("VESKO.DLLの読み込みに失敗しました(2)"))) << outcome.message.toStdString();
}

TEST(Binding, LoadsTheLibraryFromTheProgramFolderOnly) {
    QTemporaryDir dir;
    LibraryBinding binding;
    ASSERT_EQ(binding.bind(programDirWith(dir, test::libraryFile())).status, BindStatus::Bound);
    EXPECT_EQ(binding.dllVersion(), VESKO_VERSION);
    EXPECT_TRUE(binding.isUnicode());
    // SetPath points at the program folder: a missing file gets the
    // library's own failure text.
    Examination ex = examineFile(binding, dir.filePath("missing.mp3"), ExamineMode::Adding);
    EXPECT_EQ(ex.formatCode, VESKO_FMT_OPEN_FAILED);
    EXPECT_EQ(ex.summary, QStringLiteral("ファイルのオープンに失敗"));
    binding.unload();
    EXPECT_FALSE(binding.isBound());
}

}  // namespace
