#include <gtest/gtest.h>

#include <cstring>

#include "record.h"
#include "render.h"
#include "test_support.h"

namespace vesko {
namespace {

struct Lines {
    std::vector<std::string> video, audio, extra;
};

std::unique_ptr<AnalysisRecord> record(const Lines& lines, const char* label, double duration, int64_t size) {
    auto r = test::makeRecord(std::u16string());
    for (const auto& l : lines.video) addVideoText(*r, l);
    for (const auto& l : lines.audio) addAudioText(*r, l);
    for (const auto& l : lines.extra) addExtraText(*r, l);
    setFormatName(*r, label);
    r->duration = duration;
    r->fileSize = size;
    return r;
}

TEST(Render, SummaryAndReport) {
    struct Case {
        const char* name;
        Lines lines;
        const char* label;
        double duration;
        int64_t size;
        std::string one, full;
    };
    const Case cases[] = {
        {"one video and one audio line", {{"V1"}, {"A1"}, {}}, "RIFF(AVI1.0)", 83.4567, 1234567,
         "RIFF(AVI1.0) V1 A1 00:01:23.456",
         "V1\r\nA1\r\n[RIFF(AVI1.0)] 00:01:23.456 (83.456sec) / 1,234,567Bytes"},
        {"two audio lines", {{}, {"A1", "A2"}, {}}, "", 0.0, 100,
         "[2] A1 00:00:00.000",
         "[Audio][2]\r\nA1\r\nA2\r\n00:00:00.000 (0.000sec) / 100Bytes"},
        {"video and extra without audio", {{"V1", "V2"}, {}, {"E1", "E2"}}, "MKV", -1.0, 5,
         "MKV [2] V1[2] [E1]",
         "[Video][2]\r\nV1\r\nV2\r\n[Extra][2]\r\nE1\r\nE2\r\n[MKV] 5Bytes"},
        {"audio and extra", {{}, {"A1"}, {"ID3v1"}}, "", 3725.9999, 0,
         "A1 [ID3v1] 01:02:05.999",
         "A1\r\nID3v1\r\n01:02:05.999 (3725.999sec) / 0Bytes"},
        {"left empty by a failed analysis", {}, "", 0.0, 0, " 00:00:00.000", "00:00:00.000 (0.000sec) / 0Bytes"},
        {"unknown time", {{"V"}, {}, {}}, "", -1.0, 1000, "V", "V\r\n1,000Bytes"},
    };
    for (const auto& c : cases) {
        auto r = record(c.lines, c.label, c.duration, c.size);
        EXPECT_EQ(test::one(*r), c.one) << c.name;
        EXPECT_EQ(test::full(*r), c.full) << c.name;
        EXPECT_EQ(ConvertOneLen(r.get()), static_cast<int32_t>(c.one.size() + 1)) << c.name;
        EXPECT_EQ(ConvertFullLen(r.get()), static_cast<int32_t>(c.full.size() + 1)) << c.name;
    }
}

TEST(Render, ErrorTextReplacesEverything) {
    auto r = record({{"V"}, {"A"}, {"E"}}, "LABEL", 12.0, 99);
    setErrorText(*r, test::cp("[MPEG2-TS] PATが見つかりません"));
    const std::string error = test::cp("[MPEG2-TS] PATが見つかりません");
    EXPECT_EQ(ConvertOneLen(r.get()), static_cast<int32_t>(error.size()));
    EXPECT_EQ(ConvertFullLen(r.get()), static_cast<int32_t>(error.size()));
    std::vector<char> buffer(error.size() + 1 + 16, 'z');
    std::strcpy(buffer.data(), "old text");
    ConvertOne(r.get(), buffer.data());  // copied over what the buffer held
    EXPECT_EQ(std::string(buffer.data()), error);
    ConvertFull(r.get(), buffer.data());
    EXPECT_EQ(std::string(buffer.data()), error);
}

TEST(Render, AppendsToTheCallersText) {
    auto r = record({{"V"}, {}, {}}, "", -1.0, 1);
    char buffer[64] = "prefix:";
    ConvertOne(r.get(), buffer);
    EXPECT_STREQ(buffer, "prefix:V");
}

TEST(Render, CallerOwnedRecordIsReadWithinItsSlots) {
    auto r = record({{"V"}, {"A"}, {"E"}}, "", -1.0, 1);
    // Counts past the slots and slots without a terminator.
    r->videoCount = 1000;
    r->audioCount = -3;
    r->extraCount = 6;
    for (auto& slot : r->videoText) std::memset(slot, 'v', sizeof slot);
    std::memset(r->formatName, 'F', sizeof r->formatName);
    std::string one = test::one(*r);
    EXPECT_EQ(one, std::string(31, 'F') + " [10] " + std::string(511, 'v') + "[5] [E]");
    std::string full = test::full(*r);
    EXPECT_EQ(static_cast<int32_t>(full.size() + 1), ConvertFullLen(r.get()));
    EXPECT_NE(full.find("[Video][10]\r\n"), std::string::npos);
    EXPECT_NE(full.find("[Extra][5]\r\n"), std::string::npos);
}

TEST(Render, LongLinesKeepTheirLineEnds) {
    auto r = record({{std::string(511, 'a'), std::string(511, 'b')}, {}, {}}, "", -1.0, 1);
    EXPECT_EQ(test::full(*r),
              "[Video][2]\r\n" + std::string(511, 'a') + "\r\n" + std::string(511, 'b') + "\r\n1Bytes");
}

TEST(Record, ListsStopWhenFull) {
    auto r = test::makeRecord(std::u16string());
    for (int i = 0; i < 11; ++i) addVideoText(*r, "v" + std::to_string(i));
    for (int i = 0; i < 6; ++i) addExtraText(*r, "e" + std::to_string(i));
    EXPECT_EQ(r->videoCount, 10);
    EXPECT_STREQ(r->videoText[9], "v9");
    EXPECT_EQ(r->extraCount, 5);
    EXPECT_STREQ(r->extraText[4], "e4");
    addAudioText(*r, std::string(600, 'x'));
    EXPECT_EQ(std::strlen(r->audioText[0]), 511u);
}

}  // namespace
}  // namespace vesko
