// The seven list formats: bytes written, and what reading gives back.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "list_files.h"
#include "test_support.h"

using namespace vesko::lite;

namespace {

QByteArray utf16(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

class ListFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        lists = dir.filePath("lists");
        QDir().mkpath(lists);
        inFolder = {"a.mp3", "MPEG1 Layer3 128kbps", "1,234", dir.filePath("lists/a.mp3")};
        inSub = {"b.ogg", "Vorbis", "12", dir.filePath("lists/sub/b.ogg")};
        outside = {"c.wav", "PCM", "999", dir.filePath("other/c.wav")};
    }
    QString list(const QString& name) const { return lists + u'/' + name; }

    QTemporaryDir dir;
    QString lists;
    FileEntry inFolder, inSub, outside;
};

TEST_F(ListFilesTest, EveryFormatReadsBackWhatItWrote) {
    const QList<FileEntry> entries{inFolder, inSub, outside};
    const QStringList paths{inFolder.fullPath, inSub.fullPath, outside.fullPath};
    for (int f = 1; f <= 7; ++f) {
        const auto format = static_cast<ListFormat>(f);
        const QString path = list("all." + listExtension(format));
        ASSERT_EQ(writeListFile(path, format, entries).status, ListWriteResult::Written) << f;
        ListReadResult read = readListFile(path, format);
        ASSERT_TRUE(read.ok) << f;
        if (format == ListFormat::Own) {
            EXPECT_EQ(read.entries, entries);
            EXPECT_TRUE(read.paths.isEmpty());
        } else {
            EXPECT_EQ(read.paths, paths) << f;
        }
    }
}

TEST_F(ListFilesTest, BytesOfEachFormat) {
    const QList<FileEntry> entries{inFolder, outside};
    const QString a = inFolder.fullPath, c = outside.fullPath;
    struct Case {
        ListFormat format;
        QByteArray bytes;
    };
    const Case cases[] = {
        {ListFormat::Own, utf16("\"a.mp3\",\"MPEG1 Layer3 128kbps\",\"1,234\"\r\n\"../other/c.wav\",\"PCM\",\"999\"\r\n")},
        {ListFormat::Pls, utf16("File1=" + a + "\r\nFile2=" + c + "\r\n")},
        {ListFormat::Lst, (a + "\r\n" + c + "\r\n").toUtf8()},
        {ListFormat::Zpl, utf16("nm=" + a + "\r\ndr=0\r\nbr!\r\nnm=" + c + "\r\ndr=0\r\nbr!\r\n")},
        {ListFormat::Bsl, (a + "\r\n" + c + "\r\n").toUtf8()},
        {ListFormat::M3u, QByteArray("a.mp3\r\n../other/c.wav\r\n")},
        {ListFormat::M3u8, QByteArray("\xEF\xBB\xBF" "a.mp3\r\n../other/c.wav\r\n")},
    };
    for (const Case& c_ : cases) {
        const QString path = list("bytes." + listExtension(c_.format));
        ASSERT_EQ(writeListFile(path, c_.format, entries).status, ListWriteResult::Written);
        EXPECT_EQ(test::readFile(path), c_.bytes) << listExtension(c_.format).toStdString();
    }
}

TEST_F(ListFilesTest, OwnListSeparatorInDetailsAndLineBreaks) {
    // The generic analyser prints raw bytes: the details may hold "," and
    // the separator itself; a line break must not split the entry.
    FileEntry raw{"x.bin", "未対応形式 [22 2C 22] : \",\" and \"", "40", dir.filePath("lists/x.bin")};
    FileEntry broken{"y.bin", "line one\r\nline two\nthree", "41", dir.filePath("lists/y.bin")};
    const QString path = list("own.zvmtl");
    ASSERT_EQ(writeListFile(path, ListFormat::Own, {raw, broken}).status, ListWriteResult::Written);
    ListReadResult read = readListFile(path, ListFormat::Own);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.entries.size(), 2);
    EXPECT_EQ(read.entries[0], raw);
    EXPECT_EQ(read.entries[1].details, QStringLiteral("line one line two three"));
    EXPECT_EQ(read.entries[1].sizeText, QStringLiteral("41"));
}

TEST_F(ListFilesTest, OwnListEntriesResolveAgainstTheListFolderNotTheCurrentOne) {
    const QString before = QDir::currentPath();
    const QString path = list("own.zvmtl");
    test::writeFile(path, utf16("\"sub/deep/x.mp3\",\"d\",\"1\"\r\n\"/abs/y.mp3\",\"e\",\"2\"\r\n"));
    ListReadResult read = readListFile(path, ListFormat::Own);
    ASSERT_EQ(read.entries.size(), 2);
    EXPECT_EQ(read.entries[0], (FileEntry{"x.mp3", "d", "1", dir.filePath("lists/sub/deep/x.mp3")}));
    EXPECT_EQ(read.entries[1].fullPath, QStringLiteral("/abs/y.mp3"));
    EXPECT_EQ(QDir::currentPath(), before);
}

TEST_F(ListFilesTest, M3uSkipsCommentsAndEmptyLines) {
    const QString path = list("p.m3u");
    test::writeFile(path, "#EXTM3U\r\n#EXTINF:123,Title\r\n\r\nsong.mp3\n../up.mp3\r\n/abs/z.mp3\r\n");
    ListReadResult read = readListFile(path, ListFormat::M3u);
    EXPECT_EQ(read.paths, (QStringList{list("song.mp3"), dir.filePath("up.mp3"), "/abs/z.mp3"}));
}

TEST_F(ListFilesTest, PlsTakesOnlyFileEntries) {
    const QString path = list("p.pls");
    test::writeFile(path, "[playlist]\r\nFile1=one.mp3\r\nTitle1=Song=Title\r\nLength1=123\r\nfile2=/x/two.mp3\r\n"
                          "NumberOfEntries=2\r\nVersion=2\r\n");  // another player's list: 8-bit text
    ListReadResult read = readListFile(path, ListFormat::Pls);
    EXPECT_EQ(read.paths, (QStringList{list("one.mp3"), "/x/two.mp3"}));
}

TEST_F(ListFilesTest, ZplTakesOnlyNameLines) {
    const QString path = list("p.zpl");
    test::writeFile(path, utf16("nm=/m/one.mp3\r\ndr=0\r\nbr!\r\nnm=two.mp3\r\ndr=0\r\nbr!\r\n"));
    EXPECT_EQ(readListFile(path, ListFormat::Zpl).paths, (QStringList{"/m/one.mp3", list("two.mp3")}));
}

TEST_F(ListFilesTest, EightBitListsAreDecodedByMarkThenUtf8ThenCodePage932) {
    const QString name = QStringLiteral("曲.mp3");
    struct Case {
        const char* label;
        QByteArray bytes;
    };
    QStringEncoder utf16le(QStringConverter::Utf16LE);
    const Case cases[] = {
        {"utf-8", name.toUtf8() + "\r\n"},
        {"utf-8 with mark", "\xEF\xBB\xBF" + name.toUtf8() + "\r\n"},
        {"utf-16 with mark", "\xFF\xFE" + QByteArray(utf16le.encode(name + "\r\n"))},
        {"code page 932", test::cp932(name) + "\r\n"},
    };
    for (const Case& c : cases) {
        const QString path = list("enc.lst");
        test::writeFile(path, c.bytes);
        EXPECT_EQ(readListFile(path, ListFormat::Lst).paths, QStringList{list(name)}) << c.label;
    }
}

TEST_F(ListFilesTest, EntriesTheEncodingCannotCarryAreNamedAndNothingIsWritten) {
    FileEntry japanese{"曲.mp3", "", "1", dir.filePath("lists/曲.mp3")};
    EightBitEncoder latin1 = [](const QString& text, QByteArray& out) {
        QStringEncoder encoder(QStringConverter::Latin1);
        out = encoder.encode(text);
        return !encoder.hasError();
    };
    for (ListFormat format : {ListFormat::Lst, ListFormat::Bsl, ListFormat::M3u}) {
        const QString path = list("x." + listExtension(format));
        test::writeFile(path, "old");
        ListWriteResult result = writeListFile(path, format, {inFolder, japanese}, latin1);
        EXPECT_EQ(result.status, ListWriteResult::Unwritable);
        EXPECT_EQ(result.unwritable, QStringList{japanese.fullPath});
        EXPECT_EQ(test::readFile(path), QByteArray("old"));  // never a "?" in its place
    }
    // UTF-8 (".m3u8", and the 8-bit lists on Linux) carries it.
    EXPECT_EQ(writeListFile(list("x.m3u8"), ListFormat::M3u8, {japanese}).status, ListWriteResult::Written);
    EXPECT_EQ(readListFile(list("x.m3u8"), ListFormat::M3u8).paths, QStringList{japanese.fullPath});
    EXPECT_EQ(writeListFile(list("y.m3u"), ListFormat::M3u, {japanese}).status, ListWriteResult::Written);
}

TEST_F(ListFilesTest, PathsWithLineBreaksCannotBeWrittenInAnyFormat) {
    FileEntry odd{"a\nb", "", "1", dir.filePath("lists/a\nb")};
    for (int f = 1; f <= 7; ++f) {
        ListWriteResult result = writeListFile(list("odd"), static_cast<ListFormat>(f), {inFolder, odd});
        EXPECT_EQ(result.status, ListWriteResult::Unwritable) << f;
        EXPECT_EQ(result.unwritable, QStringList{odd.fullPath});
    }
}

TEST_F(ListFilesTest, EmptyListWritesNothing) {
    const QString path = list("keep.zvmtl");
    test::writeFile(path, "previous content");
    EXPECT_EQ(writeListFile(path, ListFormat::Own, {}).status, ListWriteResult::NothingToWrite);
    EXPECT_EQ(test::readFile(path), QByteArray("previous content"));
}

// A write that fails half-way (here: the file size limit) leaves the old
// list as it was.
TEST_F(ListFilesTest, FailedWriteLeavesTheOldFile) {
    const QString path = list("big.m3u8");
    test::writeFile(path, "old list\r\n");
    QList<FileEntry> many;
    for (int i = 0; i < 2000; ++i)
        many << FileEntry{"f", "", "1", dir.filePath(QStringLiteral("lists/file-%1.mp3").arg(i))};

    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ListWriteResult result = writeListFile(path, ListFormat::M3u8, many);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result.status, ListWriteResult::Failed);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_EQ(test::readFile(path), QByteArray("old list\r\n"));
    EXPECT_EQ(QDir(lists).entryList(QDir::Files), QStringList{"big.m3u8"});  // no temporary file left
}

TEST(ListFormats, FiltersCaptionsAndCodes) {
    EXPECT_EQ(listFormatForCode(VESKO_FMT_LIST_ZVMTL), ListFormat::Own);
    EXPECT_EQ(listFormatForCode(VESKO_FMT_LIST_M3U8), ListFormat::M3u8);
    EXPECT_EQ(listFilterText(ListFormat::Bsl), QStringLiteral("BSPlayer (*.bsl)"));
    EXPECT_EQ(listWriteErrorCaption(ListFormat::Lst), QStringLiteral("*.lst,*.bslの書込時エラー"));
    EXPECT_EQ(listWriteErrorCaption(ListFormat::Bsl), QStringLiteral("*.lst,*.bslの書込時エラー"));
    EXPECT_EQ(listExtension(ListFormat::Own), QStringLiteral("zvmtl"));
}

}  // namespace
