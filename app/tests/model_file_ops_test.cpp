// The file operations on real files in a temporary folder: copies, moves,
// renames and the trash, with the failures that must leave every file as
// it was.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

#include "file_ops.h"
#include "platform.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

class FileOpsTest : public ::testing::Test {
public:
    FileOpsTest() { QDir(root.path()).mkpath("dst"); }
    QString src(const QString& name, const QByteArray& bytes = "source bytes") {
        return test::writeFile(root.filePath("src/" + name), bytes);
    }
    QString dst() const { return root.filePath("dst"); }
    QString inDst(const QString& name) const { return root.filePath("dst/" + name); }
    // Names the operations may leave behind in a folder by mistake.
    static QStringList leftovers(const QString& folder) {
        return QDir(folder).entryList({".veskolite-*"}, QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir root;
};

TEST_F(FileOpsTest, CopyKeepsBytesTimeAndPermissionsAndTheSource) {
    const QByteArray bytes(3 * 1024 * 1024 + 17, 'c');
    const QString a = src("a.bin", bytes);
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'000'000'000);
    {
        QFile f(a);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QFile::setPermissions(a, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);

    const QList<FileOpItem> items = transferFiles(TransferKind::Copy, dst(), {a}, {});
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].status, FileOpStatus::Done) << items[0].error.toStdString();
    EXPECT_EQ(items[0].target, inDst("a.bin"));
    EXPECT_EQ(test::readFile(inDst("a.bin")), bytes);
    EXPECT_EQ(test::readFile(a), bytes);
    EXPECT_EQ(QFileInfo(inDst("a.bin")).lastModified(), old);
    EXPECT_EQ(QFileInfo(inDst("a.bin")).permissions() & 0x0FFF, QFileInfo(a).permissions() & 0x0FFF);
    EXPECT_TRUE(leftovers(dst()).isEmpty());
}

TEST_F(FileOpsTest, MoveTakesTheFileAndLeavesNothingBehind) {
    const QString a = src("a.bin", "aaa");
    const QList<FileOpItem> items = transferFiles(TransferKind::Move, dst(), {a, a}, {});
    ASSERT_EQ(items.size(), 1);  // the same path twice is one file
    EXPECT_EQ(items[0].status, FileOpStatus::Done);
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(test::readFile(inDst("a.bin")), "aaa");
}

struct ConflictCase {
    TransferKind kind;
    ConflictChoice choice;
    const char* expectedAtDestination;  // content of dst/a.txt afterwards
    bool sourceStays;                   // src/a.txt still there
    bool otherFileHandled;              // b.txt (no conflict, after a.txt) copied or moved
};

TEST_F(FileOpsTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
    const ConflictCase cases[] = {
        {TransferKind::Copy, ConflictChoice::Replace, "new", true, true},
        {TransferKind::Copy, ConflictChoice::Skip, "old", true, true},
        {TransferKind::Copy, ConflictChoice::Cancel, "old", true, false},
        {TransferKind::Move, ConflictChoice::Replace, "new", false, true},
        {TransferKind::Move, ConflictChoice::Skip, "old", true, true},
        {TransferKind::Move, ConflictChoice::Cancel, "old", true, false},
    };
    for (const ConflictCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.kind == TransferKind::Copy ? "copy" : "move") << " choice "
                                        << static_cast<int>(c.choice));
        QDir(root.filePath("src")).removeRecursively();
        QDir(dst()).removeRecursively();
        QDir().mkpath(dst());
        const QString a = src("a.txt", "new");
        const QString b = src("b.txt", "bbb");
        test::writeFile(inDst("a.txt"), "old");

        QStringList asked;
        TransferHooks hooks;
        hooks.askConflict = [&](const QString& source, const QString& target) {
            asked << source + " -> " + target;
            return ConflictAnswer{c.choice, false};
        };
        const QList<FileOpItem> items = transferFiles(c.kind, dst(), {a, b}, hooks);
        EXPECT_EQ(asked, QStringList{a + " -> " + inDst("a.txt")});
        EXPECT_EQ(test::readFile(inDst("a.txt")), QByteArray(c.expectedAtDestination));
        EXPECT_EQ(QFile::exists(a), c.sourceStays);
        if (c.sourceStays) { EXPECT_EQ(test::readFile(a), "new"); }
        EXPECT_EQ(QFile::exists(inDst("b.txt")), c.otherFileHandled);
        EXPECT_EQ(QFile::exists(b), c.kind == TransferKind::Copy || !c.otherFileHandled);
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[1].status, c.otherFileHandled ? FileOpStatus::Done : FileOpStatus::NotAttempted);
        EXPECT_TRUE(leftovers(dst()).isEmpty());
    }
}

TEST_F(FileOpsTest, AnAnswerForAllIsNotAskedAgain) {
    QStringList paths;
    for (const char* n : {"1.txt", "2.txt", "3.txt"}) {
        paths << src(n, "new");
        test::writeFile(inDst(n), "old");
    }
    int questions = 0;
    TransferHooks hooks;
    hooks.askConflict = [&](const QString&, const QString&) {
        ++questions;
        return ConflictAnswer{ConflictChoice::Skip, true};
    };
    const QList<FileOpItem> items = transferFiles(TransferKind::Copy, dst(), paths, hooks);
    EXPECT_EQ(questions, 1);
    for (const FileOpItem& item : items) EXPECT_EQ(item.status, FileOpStatus::Skipped);
    for (const char* n : {"1.txt", "2.txt", "3.txt"}) EXPECT_EQ(test::readFile(inDst(n)), "old");
}

struct FailureCase {
    const char* what;
    TransferKind kind;
    std::function<QString(FileOpsTest&)> prepare;  // returns the folder to use
    const char* error;                             // expected reason, or "" for any
};

// Each failure leaves the source, and whatever was at the destination, as
// it was; no question is asked.
TEST_F(FileOpsTest, FailuresLeaveTheFilesAsTheyWere) {
    const FailureCase cases[] = {
        {"destination is a file", TransferKind::Copy,
         [](FileOpsTest& t) { return test::writeFile(t.root.filePath("plainfile"), "not a folder"); },
         "フォルダが見つかりません"},
        {"destination is a file", TransferKind::Move,
         [](FileOpsTest& t) { return test::writeFile(t.root.filePath("plainfile"), "not a folder"); },
         "フォルダが見つかりません"},
        {"destination folder missing", TransferKind::Move, [](FileOpsTest& t) { return t.root.filePath("nowhere"); },
         "フォルダが見つかりません"},
        {"a folder has the name", TransferKind::Copy,
         [](FileOpsTest& t) {
             QDir().mkpath(t.inDst("a.txt"));
             return t.dst();
         },
         "同じ名前のフォルダがあります"},
        {"a folder has the name", TransferKind::Move,
         [](FileOpsTest& t) {
             QDir().mkpath(t.inDst("a.txt"));
             return t.dst();
         },
         "同じ名前のフォルダがあります"},
        {"copy onto itself", TransferKind::Copy, [](FileOpsTest& t) { return t.root.filePath("src"); },
         "コピー元とコピー先が同じファイルです"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(root.path()).removeRecursively();
        QDir().mkpath(dst());
        const QString a = src("a.txt", "keep me");
        const QString folder = c.prepare(*this);
        const QByteArray folderBytes = test::readFile(folder);
        bool asked = false;
        TransferHooks hooks;
        hooks.askConflict = [&](const QString&, const QString&) {
            asked = true;
            return ConflictAnswer{ConflictChoice::Replace, false};
        };
        const QList<FileOpItem> items = transferFiles(c.kind, folder, {a}, hooks);
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].status, FileOpStatus::Failed);
        EXPECT_EQ(items[0].error, QString::fromUtf8(c.error));
        EXPECT_FALSE(asked);
        EXPECT_EQ(test::readFile(a), "keep me");
        EXPECT_EQ(test::readFile(folder), folderBytes);
    }
}

TEST_F(FileOpsTest, AVanishedFileIsReportedAndTheOthersGoOn) {
    const QString gone = root.filePath("src/gone.txt");
    const QString b = src("b.txt");
    for (TransferKind kind : {TransferKind::Copy, TransferKind::Move}) {
        const QList<FileOpItem> items = transferFiles(kind, dst(), {gone, b}, {});
        ASSERT_EQ(items.size(), 2);
        EXPECT_EQ(items[0].status, FileOpStatus::Failed);
        EXPECT_EQ(items[0].error, sourceMissingText());
        EXPECT_FALSE(QFile::exists(inDst("gone.txt")));
    }
    EXPECT_TRUE(QFile::exists(inDst("b.txt")));
}

TEST_F(FileOpsTest, MovingIntoItsOwnFolderChangesNothing) {
    const QString a = src("a.txt", "same");
    const QList<FileOpItem> items = transferFiles(TransferKind::Move, root.filePath("src"), {a}, {});
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].status, FileOpStatus::Done);
    EXPECT_EQ(items[0].target, a);
    EXPECT_EQ(test::readFile(a), "same");
}

// Permissions stop writes only for ordinary users: as root the test has
// nothing to show.
TEST_F(FileOpsTest, ReadOnlyDestination) {
    const QString a = src("a.txt", "keep me");
    ASSERT_EQ(::chmod(QFile::encodeName(dst()).constData(), 0555), 0);
    QFile probe(inDst("probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        probe.remove();
        ::chmod(QFile::encodeName(dst()).constData(), 0755);
        GTEST_SKIP() << "permissions do not stop writes here (running as root); "
                        "the destination-is-a-file case covers a refused destination";
    }
    for (TransferKind kind : {TransferKind::Copy, TransferKind::Move}) {
        const QList<FileOpItem> items = transferFiles(kind, dst(), {a}, {});
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items[0].status, FileOpStatus::Failed);
        EXPECT_FALSE(items[0].error.isEmpty());
        EXPECT_EQ(test::readFile(a), "keep me");
        EXPECT_TRUE(QDir(dst()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    }
    ::chmod(QFile::encodeName(dst()).constData(), 0755);
}

TEST_F(FileOpsTest, StoppingDuringALongCopyLeavesNoPartialFile) {
    const QString big = src("big.bin", QByteArray(20 * 1024 * 1024, 'b'));
    const QString next = src("next.bin");
    int calls = 0;
    TransferHooks hooks;
    hooks.keepGoing = [&] { return ++calls < 2; };  // stop during the big file
    const QList<FileOpItem> items = transferFiles(TransferKind::Copy, dst(), {big, next}, hooks);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].status, FileOpStatus::NotAttempted);
    EXPECT_EQ(items[1].status, FileOpStatus::NotAttempted);
    EXPECT_TRUE(QDir(dst()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

// A move to another file system is a copy and a removal.
TEST_F(FileOpsTest, MoveToAnotherFileSystem) {
    struct stat here {}, there {};
    const QString shm = QStringLiteral("/dev/shm");
    if (::stat(QFile::encodeName(root.path()).constData(), &here) != 0 ||
        ::stat(QFile::encodeName(shm).constData(), &there) != 0 || here.st_dev == there.st_dev ||
        ::access(QFile::encodeName(shm).constData(), W_OK) != 0)
        GTEST_SKIP() << "no second writable file system (/dev/shm) here";
    QTemporaryDir other(shm + "/veskolite-test-XXXXXX");
    ASSERT_TRUE(other.isValid());
    const QString a = src("a.bin", QByteArray(100000, 'x'));
    test::writeFile(other.filePath("b.bin"), "old");
    const QString b = src("b.bin", "new");
    TransferHooks hooks;
    hooks.askConflict = [](const QString&, const QString&) { return ConflictAnswer{ConflictChoice::Skip, false}; };
    const QList<FileOpItem> items = transferFiles(TransferKind::Move, other.path(), {a, b}, hooks);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].status, FileOpStatus::Done) << items[0].error.toStdString();
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(test::readFile(other.filePath("a.bin")), QByteArray(100000, 'x'));
    EXPECT_EQ(items[1].status, FileOpStatus::Skipped);
    EXPECT_EQ(test::readFile(other.filePath("b.bin")), "old");
    EXPECT_EQ(test::readFile(b), "new");
    EXPECT_TRUE(leftovers(other.path()).isEmpty());
}

struct RenameCase {
    const char* what;
    const char* from;  // under src/ ("" = the file made below)
    const char* to;
    FileOpStatus status;
    const char* error;
};

TEST_F(FileOpsTest, RenameNeverReplacesAnExistingFile) {
    const RenameCase cases[] = {
        {"free name", "a.txt", "b.txt", FileOpStatus::Done, ""},
        {"existing name", "a.txt", "taken.txt", FileOpStatus::Failed, "同じ名前のファイルが既にあります"},
        {"existing folder", "a.txt", "folder", FileOpStatus::Failed, ""},
        {"letter case only", "a.txt", "A.txt", FileOpStatus::Done, ""},
        {"vanished", "gone.txt", "b.txt", FileOpStatus::Failed, "ファイルが見つかりません"},
        {"missing folder", "a.txt", "nowhere/b.txt", FileOpStatus::Failed, ""},
    };
    for (const RenameCase& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(root.path()).removeRecursively();
        src("a.txt", "aaa");
        src("taken.txt", "precious");
        QDir().mkpath(root.filePath("src/folder/inner"));
        const QString from = root.filePath(QStringLiteral("src/") + c.from);
        const QString to = root.filePath(QStringLiteral("src/") + c.to);
        const FileOpItem item = renameFile(from, to);
        EXPECT_EQ(item.status, c.status);
        if (*c.error) { EXPECT_EQ(item.error, QString::fromUtf8(c.error)); }
        if (c.status == FileOpStatus::Failed) { EXPECT_FALSE(item.error.isEmpty()); }
        EXPECT_EQ(test::readFile(root.filePath("src/taken.txt")), "precious");
        EXPECT_TRUE(QFileInfo(root.filePath("src/folder/inner")).isDir());
        if (c.status == FileOpStatus::Done) {
            EXPECT_EQ(test::readFile(to), "aaa");
            if (from.compare(to, Qt::CaseInsensitive) != 0) { EXPECT_FALSE(QFile::exists(from)); }
        } else if (QString::fromUtf8(c.from) == u"a.txt") {
            EXPECT_EQ(test::readFile(from), "aaa");
        }
    }
}

TEST_F(FileOpsTest, FoldersAreRenamedWithoutReplacingEither) {
    QDir().mkpath(root.filePath("one/x"));
    QDir().mkpath(root.filePath("two"));  // empty: rename(2) would replace it
    EXPECT_EQ(platform::renameNoReplace(root.filePath("one"), root.filePath("two")).status,
              platform::RenameStatus::TargetExists);
    EXPECT_TRUE(QFileInfo(root.filePath("one/x")).isDir());
    EXPECT_EQ(platform::renameNoReplace(root.filePath("one"), root.filePath("three")).status,
              platform::RenameStatus::Renamed);
    EXPECT_TRUE(QFileInfo(root.filePath("three/x")).isDir());
}

// A home of its own for the trash, on the same file system as the files.
class TrashTest : public FileOpsTest {
protected:
    QString trash() const { return home.trash(); }
    test::ScopedHome home{root.filePath("h")};
};

TEST_F(TrashTest, FilesGoToTheTrashWithTheirInformation) {
    const QString a = src("a.txt", "trash me");
    const QString gone = root.filePath("src/gone.txt");
    // $XDG_DATA_HOME does not exist yet: it is made.
    const QList<FileOpItem> items = trashFiles({a, gone, a});
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].status, FileOpStatus::Done);
    EXPECT_FALSE(QFile::exists(a));
    EXPECT_EQ(items[0].target, trash() + "/files/a.txt");
    EXPECT_EQ(test::readFile(trash() + "/files/a.txt"), "trash me");
    const QByteArray info = test::readFile(trash() + "/info/a.txt.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]")) << info.constData();
    EXPECT_TRUE(info.contains("Path=")) << info.constData();
    EXPECT_EQ(items[1].status, FileOpStatus::Failed);
    EXPECT_EQ(items[1].error, sourceMissingText());
    EXPECT_TRUE(QDir(home.currentFolder()).isEmpty());
}

// No trash can be made: the file stays where it was (never deleted for
// good), and nothing is left in the current folder.
TEST_F(TrashTest, WithoutAUsableTrashTheFileStays) {
    test::writeFile(trash(), "a file where the trash folder should be");
    const QString a = src("a.txt", "keep me");
    const QList<FileOpItem> items = trashFiles({a});
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].status, FileOpStatus::Failed);
    EXPECT_FALSE(items[0].error.isEmpty());
    EXPECT_EQ(test::readFile(a), "keep me");
    EXPECT_TRUE(QDir(home.currentFolder()).isEmpty())
        << QDir(home.currentFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).join(u' ').toStdString();
}

TEST(FailureText, NamesEachFailedFileOnceAndCountsTheRest) {
    QList<FileOpItem> items;
    for (int i = 0; i < 12; ++i)
        items.append({QStringLiteral("/d/f%1.mp3").arg(i), QStringLiteral("/e/g%1.mp3").arg(i),
                      i == 5 ? FileOpStatus::Done : FileOpStatus::Failed, QStringLiteral("reason %1").arg(i)});
    const QString text = describeFailures(items, true, 10);
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], QStringLiteral("f0.mp3 → g0.mp3: reason 0"));
    EXPECT_FALSE(text.contains(QStringLiteral("f5.mp3")));
    EXPECT_EQ(lines[10], QStringLiteral("ほか1件"));
    EXPECT_EQ(describeFailures({}, false), QString());
}

}  // namespace
