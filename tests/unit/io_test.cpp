#include <gtest/gtest.h>

#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::TempDir;

struct OpenReader {
    TempDir dir;
    FileReader reader;
    explicit OpenReader(const std::string& content) {
        auto record = test::makeRecord(dir.write("f.bin", content));
        EXPECT_TRUE(reader.open(*record));
    }
};

TEST(FileReader, OpensRegularFilesOnly) {
    TempDir dir;
    auto file = dir.write("a.bin", "abc");
    FileReader reader;
    EXPECT_TRUE(reader.open(*test::makeRecord(file)));
    EXPECT_EQ(reader.size, 3u);
    EXPECT_EQ(reader.tell(), 0u);
    EXPECT_FALSE(reader.isAtEnd());
    EXPECT_TRUE(reader.close());

    EXPECT_FALSE(reader.open(*test::makeRecord(dir.path())));                   // a folder
    EXPECT_FALSE(reader.open(*test::makeRecord(dir.path() / "missing.bin")));  // no file
    EXPECT_FALSE(reader.open(*test::makeRecord(std::u16string())));            // no name
}

TEST(FileReader, NameMustEndWithinTheRecord) {
    TempDir dir;
    auto file = dir.write("a.bin", "abc");
    auto record = test::makeRecord(file);
    for (auto& unit : record->fileName) unit = u'a';  // 256 units, no terminator
    FileReader reader;
    EXPECT_FALSE(reader.open(*record));
}

TEST(FileReader, SeekSetsAtEndAgainstTheSize) {
    OpenReader f("0123456789");
    struct Case {
        int64_t offset;
        int origin;
        uint64_t position;
        bool atEnd;
    };
    const Case cases[] = {
        {10, 0, 10, true},  {9, 0, 9, false},  {-1, 2, 9, false}, {0, 2, 10, true},
        {3, 0, 3, false},   {-20, 1, static_cast<uint64_t>(-17), true},  // before the start: huge position
        {5, 7, static_cast<uint64_t>(-17), true},  // an unknown origin leaves the position
    };
    for (const auto& c : cases) {
        f.reader.seek(c.offset, c.origin);
        EXPECT_EQ(f.reader.tell(), c.position) << c.offset << " origin " << c.origin;
        EXPECT_EQ(f.reader.isAtEnd(), c.atEnd) << c.offset << " origin " << c.origin;
    }
}

TEST(FileReader, PeekReadAndShortRead) {
    OpenReader f("0123456789");
    char buffer[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    f.reader.seek(2, 0);
    EXPECT_EQ(f.reader.read(buffer, 3, false), 3u);
    EXPECT_EQ(std::string(buffer, 3), "234");
    EXPECT_EQ(f.reader.tell(), 2u);
    EXPECT_FALSE(f.reader.isAtEnd());

    EXPECT_EQ(f.reader.read(buffer, 3, true), 3u);
    EXPECT_EQ(f.reader.tell(), 5u);

    f.reader.seek(8, 0);
    EXPECT_EQ(f.reader.read(buffer, 8, true), 2u);  // only two bytes left
    EXPECT_EQ(std::string(buffer, 8), "894xxxxx");  // the rest of the buffer is untouched
    EXPECT_TRUE(f.reader.isAtEnd());
    EXPECT_EQ(f.reader.read(buffer, 4, true), 0u);

    f.reader.rewind();
    EXPECT_EQ(f.reader.readByte(), '0');
    EXPECT_EQ(f.reader.tell(), 1u);
    f.reader.seek(-5, 1);  // far before the start
    EXPECT_EQ(f.reader.read(buffer, 4, true), 0u);
    EXPECT_TRUE(f.reader.isAtEnd());
}

TEST(FileReader, SkipLeadingId3v2UsesTheSizeBytesAsTheyStand) {
    // size bytes 00 00 02 01: 2 * 128 + 1 = 257, plus the 10-byte header
    std::string file = test::bytes({'I', 'D', '3', 3, 0, 0, 0, 0, 2, 1});
    file.resize(400, 'x');
    OpenReader f(file);
    EXPECT_EQ(f.reader.skipLeadingId3v2(), 267u);
    EXPECT_EQ(f.reader.tell(), 267u);
    EXPECT_FALSE(f.reader.isAtEnd());
}

TEST(FileReader, ReadSmallFileIsBounded) {
    TempDir dir;
    auto file = dir.write("big.txt", std::string(1000, 'a'));
    std::string out;
    ASSERT_TRUE(readSmallFile(utf8ToUtf16(file.string()), out, 100));
    EXPECT_EQ(out.size(), 100u);
    EXPECT_FALSE(readSmallFile(utf8ToUtf16((dir.path() / "none").string()), out, 100));
}

TEST(TextConversion, RoundTripsThroughCodePage932) {
    const std::string utf8 = "ファイルのオープンに失敗";
    std::string sjis = utf8ToCp932(utf8);
    EXPECT_EQ(sjis, test::bytes({0x83, 0x74, 0x83, 0x40, 0x83, 0x43, 0x83, 0x8B, 0x82, 0xCC, 0x83, 0x49,
                                 0x81, 0x5B, 0x83, 0x76, 0x83, 0x93, 0x82, 0xC9, 0x8E, 0xB8, 0x94, 0x73}));
    EXPECT_EQ(cp932ToUtf8(sjis), utf8);
    EXPECT_EQ(cp932ToUtf8("\x81"), "?");  // a lone lead byte
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("a\xC3\xA9\xF0\x9F\x8E\xB5")), "a\xC3\xA9\xF0\x9F\x8E\xB5");
}

}  // namespace
}  // namespace vesko
