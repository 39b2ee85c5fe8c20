#include <gtest/gtest.h>

#include "audio/tags.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;

std::string id3v2(int bodySize) {
    std::string h = bytes({'I', 'D', '3', 4, 0, 0, (bodySize >> 21) & 0x7F, (bodySize >> 14) & 0x7F,
                           (bodySize >> 7) & 0x7F, bodySize & 0x7F});
    return h + std::string(static_cast<size_t>(bodySize), '\0');
}

std::string id3v1() { return "TAG" + std::string(125, ' '); }

std::string apeFooter(uint32_t tagSize) {
    std::string f = "APETAGEX" + bytes({0xD0, 0x07, 0, 0});  // version 2000
    for (int i = 0; i < 4; ++i) f.push_back(static_cast<char>(tagSize >> (8 * i)));
    return f + std::string(16, '\0');
}

std::string ape(uint32_t items) { return std::string(items, 'i') + apeFooter(items + 32); }

std::string lyrics3(const std::string& body) {
    std::string block = "LYRICSBEGIN" + body;
    char size[8];
    std::snprintf(size, sizeof size, "%06zu", block.size());
    return block + size + "LYRICS200";
}

const std::string kAudio(1000, '\x55');

struct Scan {
    TagInfo tags{};
    uint64_t position = 0;
    bool atEnd = false;
};

Scan scan(const std::string& content, bool endTags, uint64_t start = 0) {
    test::TempDir dir;
    FileReader reader;
    EXPECT_TRUE(reader.open(*test::makeRecord(dir.write("t.bin", content))));
    reader.seek(static_cast<int64_t>(start), 0);
    Scan s;
    s.tags.scanEndTags = endTags;
    scanTags(reader, s.tags);
    s.position = reader.tell();
    s.atEnd = reader.isAtEnd();
    return s;
}

TEST(TagScan, Layouts) {
    struct Case {
        const char* name;
        std::string content;
        bool endTags;
        std::string summary;
    };
    const Case cases[] = {
        {"none", kAudio, true, ""},
        {"ID3v2, APE, ID3v1", id3v2(100) + kAudio + ape(50) + id3v1(), true, "ID3v1 / ID3v2 / APE"},
        {"end tags not asked for", id3v2(100) + kAudio + ape(50) + id3v1(), false, "ID3v2"},
        {"APE, Lyrics3, ID3v1", kAudio + ape(40) + lyrics3("IND00003110") + id3v1(), true, "ID3v1 / APE / Lyrics3"},
        {"Lyrics3 only", kAudio + lyrics3("LYR00005hello"), true, "Lyrics3"},
        {"TAG inside an APE footer is no ID3v1",
         kAudio + "TAG" + std::string(93, 'a') + apeFooter(32), true, "APE"},
    };
    for (const auto& c : cases) {
        Scan s = scan(c.content, c.endTags);
        EXPECT_EQ(formatTagSummary(s.tags), c.summary) << c.name;
        EXPECT_EQ(s.tags.scanned, 1) << c.name;
        EXPECT_EQ(s.position, 0u) << c.name;  // the reader is left as it was
        EXPECT_FALSE(s.atEnd) << c.name;
    }
}

TEST(TagScan, SizesAndOffsets) {
    const std::string file = id3v2(100) + id3v2(20) + kAudio + ape(50) + lyrics3("LYR00002ab") + id3v1();
    Scan s = scan(file, true);
    EXPECT_EQ(s.tags.id3v2Count, 2u);
    EXPECT_EQ(s.tags.id3v2Size, 110u + 30u);
    EXPECT_EQ(s.tags.id3v2Offset, 0u);
    EXPECT_EQ(s.tags.id3v1Offset, file.size() - 128);
    EXPECT_EQ(s.tags.id3v1Size, 128u);
    const uint64_t lyricsSize = 11 + 10 + 15;  // "LYRICSBEGIN" + body + size + marker
    EXPECT_EQ(s.tags.lyrics3Size, lyricsSize);
    EXPECT_EQ(s.tags.lyrics3Offset, file.size() - 128 - lyricsSize);
    EXPECT_EQ(s.tags.apeSize, 82u);
    EXPECT_EQ(s.tags.apeOffset, s.tags.lyrics3Offset - 32 - 82);
}

TEST(TagScan, ScansFromTheReadersPosition) {
    const std::string file = std::string(64, 'x') + id3v2(10) + kAudio;
    Scan s = scan(file, false, 64);
    EXPECT_EQ(s.tags.hasId3v2, 1);
    EXPECT_EQ(s.tags.id3v2Offset, 64u);
    EXPECT_EQ(s.position, 64u);
}

TEST(TagScan, BrokenMarkersAndSizes) {
    // LYRICS200 without its LYRICSBEGIN: the APE footer is looked for before
    // the place where LYRICSBEGIN was expected.
    std::string lyrics = lyrics3("LYR00002ab");
    lyrics.replace(0, 11, "XXXXXXXXXXX");
    Scan s = scan(kAudio + ape(10) + lyrics, true);
    EXPECT_EQ(s.tags.hasLyrics3, 0);
    EXPECT_EQ(s.tags.hasApe, 1);
    // A Lyrics3 size or an APE size larger than the file must not wrap.
    Scan big = scan(std::string("999999LYRICS200"), true);
    EXPECT_EQ(big.tags.hasLyrics3, 0);
    Scan hugeApe = scan(apeFooter(0xFFFFFFF0u), true);
    EXPECT_EQ(hugeApe.tags.hasApe, 1);
    EXPECT_EQ(hugeApe.tags.apeOffset, 0u);
    // A short file: nothing is found.
    Scan tiny = scan("TAG", true);
    EXPECT_EQ(formatTagSummary(tiny.tags), "");
}

TEST(TagSummary, EveryKindInOrder) {
    TagInfo t{};
    t.hasId3v1 = t.hasId3v2 = t.hasApe = t.hasLyrics3 = t.hasInfoTag = t.hasVorbisComment = t.hasCueSheet = 1;
    t.hasCommentChapters = 1;
    t.commentChapterCount = 12;
    t.hasMetaData = t.hasChapterTrack = 1;
    t.chapterTrackCount = 3;
    EXPECT_EQ(formatTagSummary(t),
              "ID3v1 / ID3v2 / APE / Lyrics3 / INFOTAG / VorbisComment / CueSheet / Chapter(12) / MetaData / "
              "Chapter(3)");
    EXPECT_EQ(formatTagSummary(t, 6), "ID3v1");
}

}  // namespace
}  // namespace vesko
