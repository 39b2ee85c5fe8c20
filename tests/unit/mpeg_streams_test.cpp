// Tests of the program stream and transport stream analysers: the ffmpeg
// fixtures end to end through the test templates, and crafted packs, PES
// packets and PSI sections for the edge cases and the bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "io.h"
#include "mpeg/program_stream.h"
#include "mpeg/transport_stream.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;
using Fields = std::map<std::string, std::string>;

// ---------------------------------------------------------------- helpers

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Bytes bytesOf(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

// Most-significant-bit-first writer for headers.
class Bits {
public:
    Bits& put(uint64_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) bits_.push_back(((value >> i) & 1) != 0);
        return *this;
    }
    std::string bytes() const {
        std::string out((bits_.size() + 7) / 8, '\0');
        for (size_t i = 0; i < bits_.size(); ++i)
            if (bits_[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
        return out;
    }

private:
    std::vector<bool> bits_;
};

std::string be16(unsigned v) { return test::bytes({static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF)}); }
std::string startCode(int id) { return test::bytes({0, 0, 1, id}); }

// Fields of a line; a transport stream line begins with "%04X ", which is
// split off under the name "pid".
Fields lineFields(const std::string& line, bool withPid) {
    if (!withPid) return test::fields(line);
    Fields f = test::fields(line.substr(5));
    f["pid"] = line.substr(0, 4);
    EXPECT_EQ(line[4], ' ') << line;
    return f;
}

void expectFields(const std::string& line, const Fields& expected, bool withPid) {
    const Fields actual = lineFields(line, withPid);
    for (const auto& [name, value] : expected) {
        auto it = actual.find(name);
        ASSERT_NE(it, actual.end()) << name << " missing in " << line;
        EXPECT_EQ(it->second, value) << name << " in " << line;
    }
}

std::unique_ptr<AnalysisRecord> recordFor(const std::filesystem::path& path) { return test::makeRecord(path); }

// ---------------------------------------------------------------- program stream builders

// A pack header with the system clock reference `scr` (MPEG-1: 12 bytes,
// MPEG-2: 14 bytes).
std::string packHeader(uint64_t scr, bool mpeg2) {
    Bits b;
    if (mpeg2)
        b.put(1, 2);
    else
        b.put(2, 4);
    b.put(scr >> 30, 3).put(1, 1).put((scr >> 15) & 0x7FFF, 15).put(1, 1).put(scr & 0x7FFF, 15).put(1, 1);
    if (mpeg2)
        b.put(0, 9).put(1, 1).put(25200, 22).put(3, 2).put(0x1F, 5).put(0, 3);
    else
        b.put(1, 1).put(25200, 22).put(1, 1);
    return startCode(0xBA) + b.bytes();
}

// A sequence header: size, aspect code, frame rate code, bit_rate_value.
std::string sequenceHeader(unsigned width, unsigned height, unsigned aspect, unsigned rate, unsigned bitRateValue) {
    Bits b;
    b.put(width, 12).put(height, 12).put(aspect, 4).put(rate, 4).put(bitRateValue, 18).put(1, 1).put(20, 10);
    b.put(0, 1).put(0, 1).put(0, 1);
    return startCode(0xB3) + b.bytes();
}

// A sequence extension: Main profile (4), Main level (8), progressive.
std::string sequenceExtension() {
    Bits b;
    b.put(1, 4).put(0, 1).put(4, 3).put(8, 4).put(1, 1).put(1, 2).put(0, 2).put(0, 2).put(0, 12).put(1, 1);
    b.put(0, 8).put(0, 1).put(0, 2).put(0, 5);
    return startCode(0xB5) + b.bytes();
}

// A group-of-pictures header with its time code.
std::string groupOfPictures(unsigned hours, unsigned minutes, unsigned seconds, unsigned pictures) {
    Bits b;
    b.put(0, 1).put(hours, 5).put(minutes, 6).put(1, 1).put(seconds, 6).put(pictures, 6).put(1, 1).put(0, 1).put(0, 5);
    return startCode(0xB8) + b.bytes();
}

// MPEG-1 packet: start code, length, three stuffing bytes and 0x0F (no
// time stamps), then the payload.
std::string mpeg1Packet(int streamId, const std::string& payload) {
    const std::string body = test::bytes({0xFF, 0xFF, 0xFF, 0x0F}) + payload;
    return startCode(streamId) + be16(static_cast<unsigned>(body.size())) + body;
}

// MPEG-2 PES packet without time stamps.
std::string mpeg2Packet(int streamId, const std::string& payload) {
    const std::string body = test::bytes({0x80, 0x00, 0x00}) + payload;
    return startCode(streamId) + be16(static_cast<unsigned>(body.size())) + body;
}

// MPEG-1 Layer II, 64 kbit/s, 44.1 kHz, stereo: a header and a zero body.
std::string mp2Frame() { return test::bytes({0xFF, 0xFD, 0x40, 0x00}) + std::string(204, '\0'); }

// The first `count` syncframes of an AC-3 or ADTS fixture, or its first bytes.
std::string fixtureHead(const std::string& name, size_t count) { return readFile(test::fixture(name)).substr(0, count); }

// ---------------------------------------------------------------- fixtures end to end

struct StreamCase {
    const char* file;
    int32_t code;
    const char* label;
    double duration;  // seconds
    const char* extra;  // "" when none
    std::vector<Fields> video;
    std::vector<Fields> audio;
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.file; }

class MpegStreamsFixtures : public ::testing::TestWithParam<StreamCase> {};

TEST_P(MpegStreamsFixtures, DescribeEveryStream) {
    test::useTestData();
    const StreamCase& c = GetParam();
    auto record = test::analyse(test::fixture(c.file));
    EXPECT_EQ(record->formatCode, c.code);
    EXPECT_STREQ(record->formatName, c.label);
    EXPECT_STREQ(record->errorText, "");
    const bool ts = c.code == VESKO_FMT_MPEG2_TS;
    ASSERT_EQ(record->videoCount, static_cast<int32_t>(c.video.size()));
    for (size_t i = 0; i < c.video.size(); ++i) expectFields(record->videoText[i], c.video[i], ts);
    ASSERT_EQ(record->audioCount, static_cast<int32_t>(c.audio.size()));
    for (size_t i = 0; i < c.audio.size(); ++i) expectFields(record->audioText[i], c.audio[i], ts);
    EXPECT_NEAR(record->duration, c.duration, 1e-6);
    if (c.extra[0]) {
        ASSERT_EQ(record->extraCount, 1);
        EXPECT_STREQ(record->extraText[0], c.extra);
    } else {
        EXPECT_EQ(record->extraCount, 0);
    }
}

const Fields kMpeg1Vcd{{"tpl", "MPEG1/2/MPEG1"}, {"codec", "MPEG1"}, {"width", "176"}, {"height", "144"},
                       {"aspect", "1:1"}, {"framerate", "25.00"}, {"bitratek", "1150.00"}, {"bitratemode", "CBR"},
                       {"profile", ""}};
const Fields kMp2Vcd{{"tpl", "MP3/CBR2"}, {"version", "1"}, {"layer", "II"}, {"samplerate", "44100"},
                     {"bitratek", "224.00"}, {"channel", "Stereo"}};
const Fields kDvdVideo{{"tpl", "MPEG1/2/MPEG2"}, {"codec", "MPEG2"}, {"profile", "MP@ML"}, {"width", "176"},
                       {"height", "144"}, {"aspect", "1:1"}, {"framerate", "25.00"}, {"interlace", "Progressive"},
                       {"bitratek", "9000.00"}, {"bitratemode", "CBR"}};
const Fields kAc3Stereo96{{"tpl", "AC3/AUDIO"}, {"codec", "Dolby AC-3"}, {"samplerate", "48000"}, {"channel", "2.0"},
                          {"channelconfig", "2/0"}, {"channelorder", "L+R"}, {"bitratek", "96.00"}};
Fields withPid(Fields f, const char* pid) {
    f["pid"] = pid;
    return f;
}
const Fields kTsMpeg2Video{{"tpl", "MPEG1/2/MPEG2"}, {"codec", "MPEG2"}, {"profile", "MP@ML"}, {"width", "160"},
                           {"height", "120"}, {"aspect", "4:3"}, {"framerate", "25.00"}, {"bitratemode", "VBR"},
                           {"bitratek", "0.00"}};
const Fields kMp2At24k{{"tpl", "MP3/CBR2"}, {"version", "2"}, {"layer", "II"}, {"samplerate", "24000"},
                       {"bitratek", "64.00"}, {"channel", "Stereo"}};
Fields avc(const char* profile) {
    return {{"tpl", "AVC/VIDEO"}, {"codec", "AVC/H.264"}, {"profile", profile}, {"width", "160"}, {"height", "120"},
            {"framerate", "25.00"}, {"interlace", "Progressive"}, {"bitdepth", "8"}};
}

// Play times. Program streams: the clock references of the first and last
// pack headers, which for files this short differ from ffprobe's duration
// on purpose (ffmpeg's muxer starts the clock at 0 and the time stamps half
// a second later, and pads the end): the figures in the comments are
// ffprobe's format duration. Transport streams: first and last video PTS
// in file order, equal to the first and last video packet PTS that ffprobe
// -show_entries packet=pts lists; ffprobe's format duration adds a frame
// and the audio's earlier start.
const StreamCase kCases[] = {
    // SCR 0 .. 49272 (ffprobe 0.211 s).
    {"mpeg1_ps_vcd.mpg", 13, "MPEG1", 49272 / 90000.0, "", {kMpeg1Vcd}, {kMp2Vcd}},
    // SCR 0 .. 115799 (ffprobe 0.891 s). VBR header: the average comes from
    // the bytes after the sequence header, less the 64 kbit/s of audio.
    {"mpeg1_ps_mpeg1video_mp2.mpg", 13, "MPEG1", 115799 / 90000.0, "",
     {{{"tpl", "MPEG1/2/MPEG1"}, {"width", "160"}, {"height", "120"}, {"bitratemode", "VBR"}, {"bitratek", "190.39"}}},
     {{{"tpl", "MP3/CBR2"}, {"samplerate", "44100"}, {"bitratek", "64.00"}, {"layer", "II"}}}},
    // SCR 0 .. 45001 (ffprobe 0.285 s).
    {"mpeg2_ps_dvd_ac3.vob", 16, "MPEG2", 45001 / 90000.0, "", {kDvdVideo}, {kAc3Stereo96}},
    // SCR 0 .. 61779 (ffprobe 0.209 s); LPCM 1 x 16 x 48000 = 768,000 bit/s as ffprobe.
    {"mpeg2_ps_dvd_lpcm.vob", 16, "MPEG2", 61779 / 90000.0, "", {kDvdVideo},
     {{{"tpl", "MPEG1/2/LPCM"}, {"codec", "LinearPCM"}, {"samplerate", "48000"}, {"sampleratek", "48.00"},
       {"bitdepth", "16"}, {"channel", "1"}, {"bitratek", "768.00"}, {"bitrate", "768000.00"}}}},
    // SCR 0 .. 63001 (ffprobe 0.192 s).
    {"mpeg2_ps_dvd_dts.vob", 16, "MPEG2", 63001 / 90000.0, "", {kDvdVideo},
     {{{"tpl", "DTS/AUDIO1"}, {"samplerate", "48000"}, {"channel", "2.0"}, {"bitratek", "768.00"},
       {"endian", "16BitBE"}}}},
    // SCR 0 .. 123001 (ffprobe 0.896 s).
    {"mpeg2_ps_mpeg2video_ac3.vob", 16, "MPEG2", 123001 / 90000.0, "",
     {{{"tpl", "MPEG1/2/MPEG2"}, {"profile", "MP@ML"}, {"width", "160"}, {"aspect", "4:3"}, {"bitratemode", "VBR"}}},
     {kAc3Stereo96}},
    // The last pack header is cut after two clock bytes: the one before it
    // (SCR 105721) ends the play time.
    {"mpeg2_ps_cut_in_pack_header.vob", 16, "MPEG2", 105721 / 90000.0, "",
     {{{"tpl", "MPEG1/2/MPEG2"}, {"profile", "MP@ML"}, {"width", "160"}}}, {kAc3Stereo96}},
    // PTS 129600 .. 172800 (ffprobe 0.540 s).
    {"ts188_mpeg2video_mp2_24k.ts", 17, "MPEG2-TS", 43200 / 90000.0, "188Pct", {withPid(kTsMpeg2Video, "0100")},
     {withPid(kMp2At24k, "0101")}},
    // PTS 133200 .. 172800 (ffprobe 0.541 s). AAC bit rate from the frame
    // lengths of the first PES packet (ffprobe: 185,277 bit/s).
    {"ts188_h264_aac51.ts", 17, "MPEG2-TS", 39600 / 90000.0, "188Pct", {withPid(avc("High@1.1"), "0100")},
     {{{"pid", "0101"}, {"tpl", "AAC/AUDIO1"}, {"profile", "LC"}, {"samplerate", "48000"}, {"channel", "5.1"},
       {"channelconfig", "3/2"}, {"channelorder", "C+L+R+BL+BR+LFE"}, {"bitratek", "182.12"}}}},
    // Two programs: 0x1000 (video 0100, AC-3 0101) and 0x1001 (MP2 0102).
    {"ts188_two_programs.ts", 17, "MPEG2-TS", 43200 / 90000.0, "188Pct", {withPid(kTsMpeg2Video, "0100")},
     {withPid(kAc3Stereo96, "0101"), withPid(kMp2At24k, "0102")}},
    // PTS 126480 .. 169680 (ffprobe 0.525 s).
    {"m2ts192_h264_ac3.m2ts", 17, "MPEG2-TS", 43200 / 90000.0, "192Pct", {withPid(avc("Baseline@1.1"), "1011")},
     {withPid(kAc3Stereo96, "1100")}},
    // PTS 126000 .. 133200 (ffprobe 0.120 s); LPCM 2 x 16 x 48000 as ffprobe.
    {"m2ts192_h264_bdlpcm.m2ts", 17, "MPEG2-TS", 7200 / 90000.0, "192Pct", {withPid(avc("Baseline@1.1"), "1011")},
     {{{"pid", "1100"}, {"tpl", "MPEG2-TS/LPCM"}, {"samplerate", "48000"}, {"sampleratek", "48.00"},
       {"channel", "2.0"}, {"channelconfig", "2/0"}, {"channelorder", "L+R"}, {"bitrate", "1536000.00"}}}},
    // MP2 at 48 kHz is MPEG-1 audio, stream type 0x03, which is not listed.
    {"mpeg2_ts188_mpeg2video_mp2.ts", 17, "MPEG2-TS", 86400 / 90000.0, "188Pct", {withPid(kTsMpeg2Video, "0100")}, {}},
    {"mpeg2_ts192_mpeg2video_ac3.m2ts", 17, "MPEG2-TS", 86400 / 90000.0, "192Pct",
     {withPid(kTsMpeg2Video, "1011")}, {withPid(kAc3Stereo96, "1100")}},
};

INSTANTIATE_TEST_SUITE_P(All, MpegStreamsFixtures, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST(MpegStreamsFixtures, TransportStreamWithoutPat) {
    test::useTestData();
    auto record = test::analyse(test::fixture("ts188_no_pat.ts"));
    EXPECT_EQ(record->formatCode, VESKO_FMT_MPEG2_TS);
    EXPECT_STREQ(record->formatName, "MPEG2-TS");
    EXPECT_EQ(std::string(record->errorText), cp("[MPEG2-TS] PATが見つかりません"));
    EXPECT_EQ(record->videoCount + record->audioCount + record->extraCount, 0);
}

TEST(MpegStreamsFixtures, ShippedTemplates) {
    test::useShippedData();
    auto record = test::analyse(test::fixture("mpeg2_ps_dvd_lpcm.vob"));
    EXPECT_STREQ(record->videoText[0], "MPEG2 MP@ML 176x144 (1:1) 25.00fps Progressive 9000.00kbps(CBR)");
    EXPECT_STREQ(record->audioText[0], "LinearPCM 768.00kbps 48000Hz 16bit 1ch");
    record = test::analyse(test::fixture("m2ts192_h264_bdlpcm.m2ts"));
    EXPECT_STREQ(record->audioText[0], "1100 LinearPCM 1536.00kbps 48000Hz 2.0ch(2/0) L+R");
    test::useTestData();
}

// ---------------------------------------------------------------- 2 GB sparse files

// The fixture at the head and again at the tail of a 2 GiB sparse file:
// only the two windows are read, so the analysis takes milliseconds and
// the play time comes from the tail copy.
void checkSparse(const std::string& fixtureName, const std::string& name, double duration) {
    test::useTestData();
    const std::string content = readFile(test::fixture(fixtureName));
    test::TempDir dir;
    const auto path = dir.write(name, content);
    const uint64_t size = 2ull << 30;
    std::filesystem::resize_file(path, size);
    {
        std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(size - content.size()));
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const auto before = std::chrono::steady_clock::now();
    auto record = test::analyse(path);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_LT(seconds, 0.5) << name;
    std::cout << "[ timing   ] " << name << " (2 GiB sparse): " << seconds * 1000 << " ms\n";
    EXPECT_EQ(record->fileSize, static_cast<int64_t>(size));
    EXPECT_STREQ(record->errorText, "");
    EXPECT_EQ(record->videoCount, 1);
    EXPECT_EQ(record->audioCount, 1);
    EXPECT_NEAR(record->duration, duration, 1e-6);
    std::filesystem::remove(path);
}

TEST(MpegStreamsSparse, TransportStreamOf2GiB) { checkSparse("ts188_mpeg2video_mp2_24k.ts", "big.ts", 0.48); }

TEST(MpegStreamsSparse, ProgramStreamOf2GiB) {
    checkSparse("mpeg1_ps_mpeg1video_mp2.mpg", "big.mpg", 115799 / 90000.0);
}

// ---------------------------------------------------------------- program stream: time

TEST(MpegProgramStreamTime, TimeCodes) {
    struct Case {
        std::string head, tail;
        double frameRate, expected;
    } cases[] = {
        // 00:00:10 picture 5 to 00:01:10 picture 20 at 25 fps: 60 + 15/25.
        {groupOfPictures(0, 0, 10, 5), groupOfPictures(0, 1, 10, 20), 25.0, 60.6},
        // Frame rate 0: the picture term is left out.
        {groupOfPictures(0, 0, 10, 5), groupOfPictures(0, 1, 10, 20), 0.0, 60.0},
        // Hours count.
        {groupOfPictures(1, 0, 0, 0), groupOfPictures(2, 0, 0, 0), 25.0, 3600.0},
        // Not advancing, or going back.
        {groupOfPictures(0, 0, 10, 5), groupOfPictures(0, 0, 10, 5), 25.0, -1.0},
        {groupOfPictures(0, 1, 0, 0), groupOfPictures(0, 0, 59, 0), 25.0, -1.0},
        // A later second whose pictures count below the first's: 1 - 24/25.
        {groupOfPictures(0, 0, 1, 24), groupOfPictures(0, 0, 2, 0), 25.0, 0.04},
        // No time code at all.
        {std::string(64, '\0'), groupOfPictures(0, 0, 1, 0), 25.0, -1.0},
        // The last time code is cut by the window's end: the one before it
        // (00:00:20) is the last complete one.
        {groupOfPictures(0, 0, 0, 0), groupOfPictures(0, 0, 20, 0) + std::string(10, '\0') +
                                           groupOfPictures(0, 0, 40, 0).substr(0, 6),
         25.0, 20.0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(durationFromTimeCodes(bytesOf(c.head), bytesOf(c.tail), c.frameRate), c.expected, 1e-9);
}

TEST(MpegProgramStreamTime, ClockReferences) {
    const uint64_t big = (uint64_t{1} << 33) - 90000;  // every bit field in use
    struct Case {
        std::string head, tail;
        double expected;
    } cases[] = {
        {packHeader(0, false), packHeader(900000, false), 10.0},
        {packHeader(90000, true), packHeader(90000 + 45000, true), 0.5},
        {packHeader(0, true), packHeader(big, true), big / 90000.0},
        {packHeader(big, false), packHeader(big, false), -1.0},
        {packHeader(900000, true), packHeader(90000, true), -1.0},
        {std::string(40, '\0'), packHeader(90000, true), -1.0},
        {packHeader(0, true), std::string(40, '\0'), -1.0},
        // The last pack header in the tail lacks three of its five clock
        // bytes: the complete one before it is used.
        {packHeader(0, true), packHeader(180000, true) + packHeader(900000, true).substr(0, 6), 2.0},
    };
    for (const auto& c : cases) EXPECT_NEAR(durationFromScr(bytesOf(c.head), bytesOf(c.tail)), c.expected, 1e-9);
}

// ---------------------------------------------------------------- program stream: LPCM

TEST(MpegProgramStreamLpcm, HeaderTable) {
    struct Case {
        int quantizationFrequencyChannels;  // the fifth byte
        bool ok;
        uint16_t bitDepth;
        double sampleRate;
        uint16_t channels;
        double bitRate;
    } cases[] = {
        {0x01, true, 16, 48000, 2, 1536000},        // 16-bit 48 kHz stereo
        {0x00, true, 16, 48000, 1, 768000},         // mono
        {0x45, true, 20, 48000, 6, 5760000},        // 20-bit: every bit counts
        {0x97, true, 24, 96000, 8, 18432000},       // 24-bit 96 kHz 8 channels
        {0xC1, false, 0, 0, 0, 0},                  // quantization 3
        {0x21, false, 16, 0, 0, 0},                 // sampling frequency 2
        {0x31, false, 16, 0, 0, 0},                 // sampling frequency 3
    };
    for (const auto& c : cases) {
        LpcmInfo info{};
        const std::string header = test::bytes({0x07, 0x00, 0x04, 0x80, c.quantizationFrequencyChannels, 0x80});
        EXPECT_EQ(parseDvdLpcmHeader(info, bytesOf(header)), c.ok) << c.quantizationFrequencyChannels;
        EXPECT_STREQ(info.codec, "LinearPCM");
        EXPECT_EQ(info.bitDepth, c.bitDepth);
        EXPECT_EQ(info.sampleRate, c.sampleRate);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.bitRate, c.bitRate);
    }
}

TEST(MpegProgramStreamLpcm, DescriptionFillsEveryPlaceholder) {
    test::useTestData();
    LpcmInfo info{};
    ASSERT_TRUE(parseDvdLpcmHeader(info, bytesOf(test::bytes({0, 0, 0, 0, 0x01, 0}))));
    const Fields f = test::fields(describeLpcm(info));
    EXPECT_EQ(f.at("tpl"), "MPEG1/2/LPCM");
    EXPECT_EQ(f.at("codec"), "LinearPCM");
    EXPECT_EQ(f.at("samplerate"), "48000");
    EXPECT_EQ(f.at("sampleratek"), "48.00");
    EXPECT_EQ(f.at("bitdepth"), "16");
    EXPECT_EQ(f.at("channel"), "2");
    EXPECT_EQ(f.at("bitratek"), "1536.00");
    EXPECT_EQ(f.at("bitrate"), "1536000.00");
    char small[12];
    describeLpcm(small, sizeof small, info);
    EXPECT_EQ(std::strlen(small), sizeof small - 1);
}

// ---------------------------------------------------------------- program stream: scans

struct ScanResult {
    bool ok;
    std::unique_ptr<AnalysisRecord> record;
    uint64_t positionAfter;
};

// Writes `content` to a file and scans [start, end) of it with the reader
// placed at `position` first.
ScanResult scan(const std::string& content, bool mpeg2, uint64_t start, uint64_t end, uint64_t position = 0) {
    test::useTestData();
    test::TempDir dir;
    const auto path = dir.write("stream.mpg", content);
    ScanResult r{false, recordFor(path), 0};
    FileReader reader;
    EXPECT_TRUE(reader.open(*r.record));
    reader.seek(static_cast<int64_t>(position), 0);
    r.ok = mpeg2 ? scanMpeg2ProgramStream(reader, *r.record, start, end)
                 : scanMpeg1ProgramStream(reader, *r.record, start, end);
    r.positionAfter = reader.tell();
    return r;
}
ScanResult scanWhole(const std::string& content, bool mpeg2) { return scan(content, mpeg2, 0, content.size()); }

std::string audio(const ScanResult& r, int i) { return i < r.record->audioCount ? r.record->audioText[i] : ""; }

TEST(MpegProgramStreamScan, Mpeg1AudioStreams) {
    const std::string video = packHeader(0, false) + sequenceHeader(160, 120, 1, 3, 500);
    const std::string c0 = mpeg1Packet(0xC0, mp2Frame()), c1 = mpeg1Packet(0xC1, mp2Frame());
    const std::string end = packHeader(90000, false);
    struct Case {
        const char* what;
        std::string body;
        int audioCount;
    } cases[] = {
        // A packet of the second stream right after one of the first: the
        // walk steps to the next packet's start code, so it is seen.
        {"adjacent packets of two streams", c0 + c1, 2},
        // The first packet of a described stream ends the scan.
        {"second packet of stream 0 first", c0 + c0 + c1, 1},
        // A packet whose payload holds no frame header leaves the slot free.
        {"undecodable payload, then a frame", mpeg1Packet(0xC0, std::string(40, '\x11')) + c0, 1},
    };
    for (const auto& c : cases) {
        ScanResult r = scanWhole(video + c.body + end, false);
        ASSERT_TRUE(r.ok) << c.what;
        EXPECT_EQ(r.record->audioCount, c.audioCount) << c.what;
        expectFields(audio(r, 0), {{"tpl", "MP3/CBR2"}, {"layer", "II"}, {"bitratek", "64.00"}, {"samplerate", "44100"}},
                     false);
        // CBR 200,000 bit/s header; play time from the clock references.
        EXPECT_NEAR(r.record->duration, 1.0, 1e-9) << c.what;
    }
}

TEST(MpegProgramStreamScan, Mpeg2SubStreamsShareSlots) {
    const std::string ac3 = fixtureHead("ac3_stereo.ac3", 800);
    const std::string head = packHeader(0, true) + sequenceHeader(176, 144, 2, 3, 0x3FFFF) + sequenceExtension();
    const std::string ac3Packet = mpeg2Packet(0xBD, test::bytes({0x80, 0x01, 0x00, 0x01}) + ac3);
    const std::string mpaPacket = mpeg2Packet(0xC0, mp2Frame());
    const std::string lpcmPacket = mpeg2Packet(0xBD, test::bytes({0xA1, 0x07, 0x00, 0x04, 0x80, 0x01, 0x80}) + std::string(64, '\0'));
    // AC-3 in sub-stream 80 and MPEG audio in C0 both take slot 0: the first
    // met keeps it. LPCM A1 has slot 1.
    ScanResult r = scanWhole(head + ac3Packet + mpaPacket + lpcmPacket + packHeader(180000, true), true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.record->audioCount, 2);
    expectFields(audio(r, 0), {{"tpl", "AC3/AUDIO"}, {"codec", "Dolby AC-3"}, {"bitratek", "128.00"}}, false);
    expectFields(audio(r, 1), {{"tpl", "MPEG1/2/LPCM"}, {"channel", "2"}, {"bitratek", "1536.00"}}, false);
    // VBR header: 2 s from the clock references, the average from the bytes
    // after the sequence header less the audio's 128,000 + 1,536,000 bit/s.
    EXPECT_NEAR(r.record->duration, 2.0, 1e-9);
    const Fields v = test::fields(r.record->videoText[0]);
    EXPECT_EQ(v.at("bitratemode"), "VBR");
    EXPECT_EQ(v.at("profile"), "MP@ML");
    EXPECT_EQ(v.at("bitratek"), "0.00");  // the bytes are far fewer than the audio rates claim: clamped at 0

    r = scanWhole(head + mpaPacket + ac3Packet + packHeader(180000, true), true);
    ASSERT_EQ(r.record->audioCount, 1);
    expectFields(audio(r, 0), {{"tpl", "MP3/CBR2"}}, false);
}

TEST(MpegProgramStreamScan, Mpeg2AdtsAndDts) {
    const std::string adts = fixtureHead("aac_adts_stereo.aac", 1500);
    const std::string dts = fixtureHead("dts_51_16be.dts", 64);
    const std::string head = packHeader(0, true) + sequenceHeader(176, 144, 2, 3, 1000) + sequenceExtension();
    ScanResult r = scanWhole(head + mpeg2Packet(0xC2, adts) +
                                 mpeg2Packet(0xBD, test::bytes({0x89, 0x01, 0x00, 0x01}) + dts) + packHeader(90000, true),
                             true);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.record->audioCount, 2);
    // Slot 1 (DTS 89) comes before slot 2 (AAC in C2).
    expectFields(audio(r, 0), {{"tpl", "DTS/AUDIO1"}, {"channel", "5.1"}}, false);
    const Fields aac = test::fields(audio(r, 1));
    EXPECT_EQ(aac.at("tpl"), "AAC/AUDIO1");
    EXPECT_EQ(aac.at("samplerate"), "44100");
    EXPECT_EQ(aac.at("channel"), "2.0");
    EXPECT_NE(aac.at("bitratek"), "0.00");  // estimated from the frames in the packet
}

TEST(MpegProgramStreamScan, Mpeg2WithoutExtensionUsesTheMpeg1Key) {
    const std::string content = packHeader(0, true) + sequenceHeader(352, 288, 2, 3, 0x3FFFF) +
                                startCode(0xB5) + test::bytes({0x2F, 0, 0, 0, 0, 0}) + packHeader(90000, true);
    ScanResult r = scanWhole(content, true);
    ASSERT_TRUE(r.ok);
    const Fields v = test::fields(r.record->videoText[0]);
    EXPECT_EQ(v.at("tpl"), "MPEG1/2/MPEG1");
    EXPECT_EQ(v.at("codec"), "MPEG2");
    EXPECT_EQ(v.at("profile"), "");
}

TEST(MpegProgramStreamScan, PlayTimeFallbacks) {
    const std::string seq = sequenceHeader(160, 120, 1, 3, 250);  // 100,000 bit/s
    // Clock references that do not advance: the time codes decide.
    ScanResult r = scanWhole(packHeader(900, false) + seq + groupOfPictures(0, 0, 1, 0) + std::string(100, '\0') +
                                 groupOfPictures(0, 0, 4, 0) + packHeader(900, false),
                             false);
    EXPECT_NEAR(r.record->duration, 3.0, 1e-9);
    // Neither clocks nor time codes: bytes after the sequence header x 8 /
    // the header's rate.
    const std::string noTime = std::string(12, '\x55') + seq + std::string(12488, '\0');
    r = scanWhole(noTime, false);
    EXPECT_NEAR(r.record->duration, 12500 * 8 / 100000.0, 1e-9);
    // VBR and nothing else: no play time at all.
    r = scanWhole(sequenceHeader(160, 120, 1, 3, 0x3FFFF) + std::string(100, '\0'), false);
    EXPECT_EQ(r.record->duration, 0.0);
    EXPECT_EQ(test::fields(r.record->videoText[0]).at("bitratek"), "0.00");
}

TEST(MpegProgramStreamScan, RegionsAndFaults) {
    const std::string stream = packHeader(0, false) + sequenceHeader(160, 120, 1, 3, 500) +
                               mpeg1Packet(0xC0, mp2Frame()) + packHeader(90000, false);
    const std::string junk(100, '\x33');

    // A region after junk: the stream alone is analysed, and the reader
    // returns to where it stood.
    ScanResult r = scan(junk + stream + junk, false, junk.size(), junk.size() + stream.size(), 7);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.positionAfter, 7u);
    EXPECT_EQ(r.record->audioCount, 1);
    EXPECT_NEAR(r.record->duration, 1.0, 1e-9);

    // A region whose end is at or before its start is empty.
    for (uint64_t end : {uint64_t{0}, uint64_t{50}, uint64_t{100}}) {
        r = scan(junk + stream, false, 100, end, 3);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG1] シーケンスヘッダが見つかりません"));
        EXPECT_EQ(r.record->videoCount, 0);
        EXPECT_EQ(r.positionAfter, 3u);
    }
    r = scan(junk, true, 0, junk.size());
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2] シーケンスヘッダが見つかりません"));

    // An end beyond the file is the file's end.
    r = scan(stream, false, 0, uint64_t{1} << 40);
    EXPECT_TRUE(r.ok);
    EXPECT_NEAR(r.record->duration, 1.0, 1e-9);

    // An audio packet whose length claims 65,535 bytes while the region ends
    // before its frame: the frame after the region's end is not found.
    const std::string cut = packHeader(0, false) + sequenceHeader(160, 120, 1, 3, 500) +
                            startCode(0xC0) + be16(0xFFFF) + test::bytes({0xFF, 0xFF, 0xFF, 0x0F});
    r = scan(cut + mp2Frame(), false, 0, cut.size());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.record->audioCount, 0);
    r = scan(cut + mp2Frame(), false, 0, cut.size() + 4 + 1);  // the whole header and one byte more
    EXPECT_EQ(r.record->audioCount, 1);

    // Private stream 1 and MPEG-2 audio packets whose header lengths point
    // past the window, and packets cut right after their start code.
    const std::string seq2 = sequenceHeader(160, 120, 1, 3, 500) + sequenceExtension();
    for (const std::string& tail : {startCode(0xBD) + be16(20) + test::bytes({0x80, 0x80, 0xFF}),
                                    startCode(0xBD) + be16(20) + test::bytes({0x80, 0x80, 0x01, 0x00, 0x80}),
                                    startCode(0xC0) + be16(20) + test::bytes({0x80, 0x80, 0xFF, 0xFF}),
                                    startCode(0xC0) + be16(20), startCode(0xBD), startCode(0xBD) + be16(3),
                                    startCode(0xBD) + be16(9) + test::bytes({0x80, 0x00, 0x00, 0x80, 0x0B, 0x77}),
                                    startCode(0xBD) + be16(9) + test::bytes({0x80, 0x00, 0x00, 0x88, 0, 0, 0, 0x7F, 0xFE}),
                                    startCode(0xBD) + be16(9) + test::bytes({0x80, 0x00, 0x00, 0xA0, 0x01})}) {
        r = scanWhole(seq2 + tail, true);
        EXPECT_TRUE(r.ok);
        EXPECT_LE(r.record->audioCount, 1);
    }
    // The LPCM header is described whatever it holds: cut off by the end of
    // the file, its missing bytes read as 0.
    r = scanWhole(seq2 + startCode(0xBD) + be16(9) + test::bytes({0x80, 0x00, 0x00, 0xA0, 0x01}), true);
    ASSERT_EQ(r.record->audioCount, 1);
    EXPECT_EQ(test::fields(audio(r, 0)).at("tpl"), "MPEG1/2/LPCM");
}

TEST(MpegProgramStreamScan, OpenFailure) {
    test::TempDir dir;
    auto record = recordFor(dir.path() / "missing.mpg");
    record->formatCode = VESKO_FMT_MPEG1_PS;
    analyzeMpegProgramStream(*record);
    EXPECT_EQ(std::string(record->errorText), cp("ファイルのオープンに失敗"));
    EXPECT_STREQ(record->formatName, "");
}

// ---------------------------------------------------------------- transport stream builders

// A 188-byte packet; a payload shorter than 184 bytes is preceded by an
// adaptation field of stuffing, as muxers pad the last packet of a PES
// packet. A longer payload is cut.
std::string tsPacket(unsigned pid, bool unitStart, std::string payload, unsigned continuity = 0) {
    std::string p = test::bytes({0x47, static_cast<int>((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F)),
                                 static_cast<int>(pid & 0xFF), 0});
    if (payload.size() >= 184) {
        p[3] = static_cast<char>(0x10 | (continuity & 0xF));
        return p + payload.substr(0, 184);
    }
    p[3] = static_cast<char>(0x30 | (continuity & 0xF));
    const size_t adaptation = 183 - payload.size();  // bytes after the length byte
    p.push_back(static_cast<char>(adaptation));
    if (adaptation > 0) p += test::bytes({0x00}) + std::string(adaptation - 1, '\xFF');
    return p + payload;
}

// A PSI section wrapped with the pointer field 0 for a packet's payload;
// the rest of the packet is filled with 0xFF.
std::string psiPayload(const std::string& section) { return std::string(1, '\0') + section + std::string(183 - section.size(), '\xFF'); }

std::string patSection(const std::vector<std::pair<unsigned, unsigned>>& programs, int sectionLength = -1) {
    std::string entries;
    for (auto [number, pid] : programs) entries += be16(number) + be16(0xE000 | pid);
    const unsigned length = sectionLength >= 0 ? static_cast<unsigned>(sectionLength) : 5 + entries.size() + 4;
    return test::bytes({0x00}) + be16(0xB000 | length) + be16(1) + test::bytes({0xC1, 0, 0}) + entries +
           test::bytes({0x12, 0x34, 0x56, 0x78});
}

struct PmtEntry {
    unsigned type, pid;
    std::string info;
};

std::string pmtSection(const std::vector<PmtEntry>& streams, const std::string& crc = test::bytes({0xA1, 0xB2, 0xC3, 0xD4}),
                       const std::string& programInfo = "", int sectionLength = -1) {
    std::string entries;
    for (const auto& s : streams)
        entries += test::bytes({static_cast<int>(s.type)}) + be16(0xE000 | s.pid) + be16(0xF000 | s.info.size()) + s.info;
    const unsigned length =
        sectionLength >= 0 ? static_cast<unsigned>(sectionLength) : 9 + programInfo.size() + entries.size() + 4;
    return test::bytes({0x02}) + be16(0xB000 | length) + be16(1) + test::bytes({0xC1, 0, 0}) + be16(0xE100) +
           be16(0xF000 | programInfo.size()) + programInfo + entries + crc;
}

std::string ptsBytes(uint64_t pts) {
    Bits b;
    b.put(2, 4).put(pts >> 30, 3).put(1, 1).put((pts >> 15) & 0x7FFF, 15).put(1, 1).put(pts & 0x7FFF, 15).put(1, 1);
    return b.bytes();
}

std::string videoPes(uint64_t pts, const std::string& es) {
    return startCode(0xE0) + be16(0) + test::bytes({0x80, 0x80, 0x05}) + ptsBytes(pts) + es;
}

std::string audioPes(int streamId, const std::string& es) {
    return startCode(streamId) + be16(static_cast<unsigned>(3 + 5 + es.size())) + test::bytes({0x80, 0x80, 0x05}) +
           ptsBytes(90000) + es;
}

// ---------------------------------------------------------------- transport stream: parsing

TEST(MpegTransportStreamParsing, PacketSizeDetection) {
    struct Case {
        const char* what;
        std::vector<std::pair<size_t, uint8_t>> set;
        size_t length;
        int expected;
    } cases[] = {
        {"188 at 0", {{0, 0x47}, {188, 0x47}}, 400, 188},
        {"192: 4 and 196", {{4, 0x47}, {196, 0x47}}, 400, 192},
        {"188 found first at a later offset", {{4, 0x47}, {10, 0x47}, {198, 0x47}}, 400, 188},
        {"none", {{0, 0x47}, {100, 0x47}}, 400, 0},
        {"empty", {}, 0, 0},
        // 196 lies outside: the 192 test needs it, the buffer ends before.
        {"192 test at the end", {{4, 0x47}}, 196, 0},
        {"192 test one byte longer", {{4, 0x47}, {196, 0x47}}, 197, 192},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer(c.length);
        for (auto [at, value] : c.set)
            if (at < buffer.size()) buffer[at] = value;
        EXPECT_EQ(detectTsPacketSize(buffer.data(), buffer.size()), c.expected) << c.what;
    }
    EXPECT_EQ(detectTsPacketSize(nullptr, 1000), 0);
}

TEST(MpegTransportStreamParsing, ProgramAssociationTable) {
    std::vector<std::pair<unsigned, unsigned>> many;
    for (unsigned i = 1; i <= 25; ++i) many.push_back({i, 0x100 + i});
    struct Case {
        const char* what;
        std::string section;
        std::vector<uint16_t> pids;
    } cases[] = {
        {"network PID and two programs", patSection({{0, 0x10}, {1, 0x1000}, {2, 0x1001}}), {0x1000, 0x1001}},
        {"program number 0 names the network PID", patSection({{0, 0x1FFE}, {3, 0x0200}}), {0x0200}},
        {"PID 0x0010 is not a program", patSection({{5, 0x10}, {6, 0x0300}}), {0x0300}},
        {"at most 20 programs", patSection(many), {}},
        {"section_length below the fixed part", patSection({{1, 0x1000}}, 5), {}},
        {"section_length 0", patSection({{1, 0x1000}}, 0), {}},
        // 0xFFF would run to 1,018 entries: only those in the bytes given.
        {"section_length beyond the packet", patSection({{1, 0x1000}, {2, 0x1001}}, 0xFFF), {0x1000, 0x1001}},
        {"table id 2", "\x02" + patSection({{1, 0x1000}}).substr(1), {}},
        {"flags below 0xB000", patSection({{1, 0x1000}}).substr(0, 1) + be16(0x3000 | 13) +
                                    patSection({{1, 0x1000}}).substr(3), {}},
        {"not current", patSection({{1, 0x1000}}).substr(0, 5) + "\xC0" + patSection({{1, 0x1000}}).substr(6), {}},
        {"too short", test::bytes({0x00, 0xB0}), {}},
    };
    for (const auto& c : cases) {
        TsProgramList list{};
        // The section as the packet holds it: padded with 0xFF to 183 bytes,
        // or cut to what fits.
        std::string padded = c.section.size() < 183 ? c.section + std::string(183 - c.section.size(), '\xFF') : c.section;
        if (std::string(c.what) == "too short") padded = c.section;
        if (std::string(c.what) == "section_length beyond the packet") {
            // Real entries fill the packet: the rest repeats program 2.
            padded = c.section.substr(0, 16);
            while (padded.size() < 183) padded += be16(2) + be16(0xE000 | 0x1001);
            padded.resize(183);
        }
        const size_t added = parseTsPat(bytesOf(padded), list);
        if (std::string(c.what) == "at most 20 programs") {
            EXPECT_EQ(added, kTsMaxPrograms);
            EXPECT_EQ(list.pmtPid[19], 0x100 + 20);
            continue;
        }
        if (std::string(c.what) == "section_length beyond the packet") {
            // (183 - 8) / 4 = 43 entries lie in the packet; 20 are kept.
            EXPECT_EQ(added, kTsMaxPrograms) << c.what;
            EXPECT_EQ(list.pmtPid[0], 0x1000);
            continue;
        }
        ASSERT_EQ(added, c.pids.size()) << c.what;
        for (size_t i = 0; i < c.pids.size(); ++i) EXPECT_EQ(list.pmtPid[i], c.pids[i]) << c.what;
    }
}

TEST(MpegTransportStreamParsing, ProgramMapTable) {
    // Types 0x1B, 0x81 and 0x03: the first two are listed.
    TsProgram program{};
    ASSERT_TRUE(parseTsPmt(bytesOf(pmtSection({{0x1B, 0x1011, ""}, {0x81, 0x1100, "\x05\x04" "AC-3"}, {0x03, 0x1101, ""}})),
                           program));
    EXPECT_EQ(program.tableId, 2);
    EXPECT_EQ(program.sectionSyntaxIndicator, 1);
    EXPECT_EQ(program.programNumber, 1);
    EXPECT_EQ(program.currentNextIndicator, 1);
    EXPECT_EQ(program.pcrPid, 0x0100);
    ASSERT_EQ(program.streamCount, 2);
    EXPECT_EQ(program.streamType[0], 0x1B);
    EXPECT_EQ(program.streamPid[0], 0x1011);
    EXPECT_EQ(program.streamType[1], 0x81);
    EXPECT_EQ(program.streamPid[1], 0x1100);
    EXPECT_EQ(program.esInfoLength[1], 6);

    // The last entry ends where the CRC_32 begins; the CRC bytes look like
    // an AVC entry and are never read as one.
    const std::string crcLikeEntry = test::bytes({0x1B, 0xE2, 0x00, 0xF0});
    ASSERT_TRUE(parseTsPmt(bytesOf(pmtSection({{0x02, 0x100, ""}}, crcLikeEntry) + test::bytes({0x00, 0xFF})), program));
    EXPECT_EQ(program.streamCount, 1);

    // Program info is passed over.
    ASSERT_TRUE(parseTsPmt(bytesOf(pmtSection({{0x0F, 0x101, ""}}, test::bytes({1, 2, 3, 4}), std::string(7, '\x0A'))),
                           program));
    EXPECT_EQ(program.programInfoLength, 7);
    EXPECT_EQ(program.streamPid[0], 0x101);

    // More than 20 listed entries: 20 are kept.
    std::vector<PmtEntry> many;
    for (unsigned i = 0; i < 30; ++i) many.push_back({0x04, 0x200 + i, ""});
    ASSERT_TRUE(parseTsPmt(bytesOf(pmtSection(many)), program));
    EXPECT_EQ(program.streamCount, kTsMaxStreams);

    // A section_length beyond the packet: entries are read only where the
    // bytes given hold them (ES_info_length 0xFFF jumps out at once).
    std::string section = pmtSection({{0x1B, 0x100, ""}, {0x04, 0x101, ""}}, "", "", 0xFFF);
    ASSERT_TRUE(parseTsPmt(bytesOf(section), program));
    EXPECT_EQ(program.streamCount, 2);
    section = pmtSection({{0x1B, 0x100, ""}}, "", "", 0xFFF) + test::bytes({0x81, 0xE1, 0x01, 0xFF, 0xFF, 0x81});
    ASSERT_TRUE(parseTsPmt(bytesOf(section), program));
    EXPECT_EQ(program.streamCount, 2);  // the 0x81 entry whose info runs off is listed, nothing after it

    // section_length too small to hold even the CRC, a program_info_length
    // past the end, the wrong table, too few bytes, no listed type.
    EXPECT_FALSE(parseTsPmt(bytesOf(pmtSection({{0x1B, 0x100, ""}}, "", "", 2)), program));
    EXPECT_FALSE(parseTsPmt(bytesOf(pmtSection({{0x1B, 0x100, ""}}, test::bytes({0, 0, 0, 0}), "", -1).substr(0, 10) +
                                    be16(0xFFFF) + std::string(20, '\x1B')),
                            program));
    EXPECT_FALSE(parseTsPmt(bytesOf("\x00" + pmtSection({{0x1B, 0x100, ""}}).substr(1)), program));
    EXPECT_FALSE(parseTsPmt(bytesOf(pmtSection({}).substr(0, 11)), program));
    EXPECT_FALSE(parseTsPmt(bytesOf(pmtSection({{0x03, 0x100, ""}, {0x06, 0x101, ""}})), program));
    EXPECT_EQ(program.streamCount, 0);
}

TEST(MpegTransportStreamParsing, VideoPts) {
    uint64_t pts = 0;
    EXPECT_TRUE(readVideoPts(bytesOf(videoPes(0x1FFFFFFFFull, "")), pts));
    EXPECT_EQ(pts, 0x1FFFFFFFFull);
    EXPECT_TRUE(readVideoPts(bytesOf(videoPes(900000, "")), pts));
    EXPECT_EQ(pts, 900000u);
    std::string pes = videoPes(900000, "");
    pes[7] = static_cast<char>(0xC0);  // PTS and DTS
    EXPECT_TRUE(readVideoPts(bytesOf(pes), pts));
    for (int flags : {0x00, 0x40}) {
        pes[7] = static_cast<char>(flags);
        EXPECT_FALSE(readVideoPts(bytesOf(pes), pts));
    }
    EXPECT_FALSE(readVideoPts(bytesOf(audioPes(0xC0, "")), pts));
    EXPECT_FALSE(readVideoPts(bytesOf(videoPes(900000, "").substr(0, 13)), pts));
    pes = videoPes(900000, "");
    pes[8] = 2;  // header data too short for a PTS
    EXPECT_FALSE(readVideoPts(bytesOf(pes), pts));
}

TEST(MpegTransportStreamParsing, BluRayLpcmHeader) {
    struct Case {
        int assignmentAndRate, bits;
        bool ok;
        double channels;
        const char* config;
        const char* order;
        double sampleRate;
        uint16_t bitsPerSample;
        double bitRate;
    } cases[] = {
        // 5.1 at 48 kHz, 24 bits: six channels of 24 bits are stored.
        {0x91, 0xC0, true, 5.1, "3/2", "C+L+R+BL+BR+LFE", 48000, 24, 6 * 24 * 48000.0},
        {0x31, 0x40, true, 2.0, "2/0", "L+R", 48000, 16, 2 * 16 * 48000.0},
        // Mono and 3/0 are stored as an even number of channels.
        {0x14, 0x40, true, 1.0, "1/0", "C", 96000, 16, 2 * 16 * 96000.0},
        {0x45, 0x80, true, 3.0, "3/0", "C+L+R", 192000, 20, 4 * 24 * 192000.0},
        {0xB1, 0xC0, true, 7.1, "3/4", "C+L+R+SL+SR+BL+BR+LFE", 48000, 24, 8 * 24 * 48000.0},
        {0x21, 0x40, true, 0.0, "0/0", "UnknownChannel(2)", 48000, 16, 0.0},
        {0x32, 0x40, false, 2.0, "2/0", "L+R", 0, 0, 0.0},
        {0x31, 0x00, false, 2.0, "2/0", "L+R", 48000, 0, 0.0},
    };
    for (const auto& c : cases) {
        BdLpcmInfo info{};
        EXPECT_EQ(parseBdLpcmHeader(info, bytesOf(test::bytes({0x03, 0xC0, c.assignmentAndRate, c.bits}))), c.ok);
        EXPECT_STREQ(info.codec, "LinearPCM");
        EXPECT_DOUBLE_EQ(info.channels, c.channels);
        EXPECT_STREQ(info.channelConfig, c.config);
        EXPECT_STREQ(info.channelOrder, c.order);
        EXPECT_EQ(info.sampleRate, c.sampleRate);
        EXPECT_EQ(info.bitsPerSample, c.bitsPerSample);
        EXPECT_EQ(info.bitRate, c.bitRate);
    }
    test::useTestData();
    BdLpcmInfo info{};
    ASSERT_TRUE(parseBdLpcmHeader(info, bytesOf(test::bytes({0x03, 0xC0, 0x91, 0xC0}))));
    const Fields f = test::fields(describeTsLpcm(info));
    EXPECT_EQ(f.at("tpl"), "MPEG2-TS/LPCM");
    EXPECT_EQ(f.at("samplerate"), "48000");
    EXPECT_EQ(f.at("sampleratek"), "48.00");
    EXPECT_EQ(f.at("channel"), "5.1");
    EXPECT_EQ(f.at("channelconfig"), "3/2");
    EXPECT_EQ(f.at("channelorder"), "C+L+R+BL+BR+LFE");
    EXPECT_EQ(f.at("bitrate"), "6912000.00");
    EXPECT_EQ(f.at("bitratek"), "6912.00");
}

// ---------------------------------------------------------------- transport stream: scans

struct TsScan {
    bool ok;
    std::unique_ptr<AnalysisRecord> record;
};

TsScan scanTs(const std::string& content, double presetDuration = -1.0) {
    test::useTestData();
    test::TempDir dir;
    const auto path = dir.write("stream.ts", content);
    TsScan r{false, recordFor(path)};
    r.record->duration = presetDuration;
    FileReader reader;
    EXPECT_TRUE(reader.open(*r.record));
    r.ok = scanMpegTransportStream(reader, *r.record, 0, content.size());
    return r;
}

std::string patPacket(const std::vector<std::pair<unsigned, unsigned>>& programs) {
    return tsPacket(0, true, psiPayload(patSection(programs)));
}
std::string pmtPacket(unsigned pid, const std::vector<PmtEntry>& streams) {
    return tsPacket(pid, true, psiPayload(pmtSection(streams)));
}

TEST(MpegTransportStreamScan, TrueHdAndUnlistedTypes) {
    const std::string ac3 = fixtureHead("ac3_stereo.ac3", 150);
    const std::string ts = patPacket({{0, 0x10}, {1, 0x1000}}) +
                           pmtPacket(0x1000, {{0x83, 0x1100, ""}, {0x81, 0x1101, ""}, {0x03, 0x1102, ""}, {0x84, 0x1103, ""}}) +
                           tsPacket(0x1102, true, audioPes(0xC0, mp2Frame())) +
                           tsPacket(0x1101, true, audioPes(0xBD, ac3)) +
                           tsPacket(0x1100, true, audioPes(0xBD, std::string(100, '\x5A')));
    TsScan r = scanTs(ts);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.record->audioCount, 2);
    expectFields(r.record->audioText[0], {{"pid", "1101"}, {"tpl", "AC3/AUDIO"}, {"codec", "Dolby AC-3"}}, true);
    EXPECT_STREQ(r.record->audioText[1], "1100 Dolby TrueHD");
    EXPECT_EQ(r.record->videoCount, 0);
    ASSERT_EQ(r.record->extraCount, 1);
    EXPECT_STREQ(r.record->extraText[0], "188Pct");
    EXPECT_EQ(r.record->duration, -1.0);  // no video PES: untouched
}

TEST(MpegTransportStreamScan, PlayTimeFromVideoPts) {
    // A sequence header and extension, followed by more of the stream (the
    // search ends 14 bytes before the packet's end).
    const std::string es = sequenceHeader(320, 240, 2, 3, 0x3FFFF) + sequenceExtension() + groupOfPictures(0, 0, 0, 0) +
                           std::string(16, '\0');
    const std::string head = patPacket({{1, 0x100}}) + pmtPacket(0x100, {{0x02, 0x1E0, ""}});
    struct Case {
        uint64_t first, last;
        double expected;
    } cases[] = {
        {900000, 9000000, 90.0},
        {9000000, 900000, 12.5},  // going back: untouched
        {0, 9000000, 12.5},       // a first PTS of 0 does not count
        {900000, 900000, 12.5},
    };
    for (const auto& c : cases) {
        // The video PES starts in a packet whose adaptation field carries
        // stuffing; the last one is followed by packets of another PID.
        const std::string ts = head + tsPacket(0x1E0, true, videoPes(c.first, es)) +
                               tsPacket(0x1E0, true, videoPes(c.last, std::string(20, '\0'))) +
                               tsPacket(0x1FFF, false, std::string(184, '\xFF')) +
                               tsPacket(0x1FFF, false, std::string(184, '\xFF'));
        TsScan r = scanTs(ts, 12.5);
        ASSERT_TRUE(r.ok);
        EXPECT_NEAR(r.record->duration, c.expected, 1e-9) << c.first << " " << c.last;
        ASSERT_EQ(r.record->videoCount, 1);
        expectFields(r.record->videoText[0],
                     {{"pid", "01E0"}, {"tpl", "MPEG1/2/MPEG2"}, {"width", "320"}, {"profile", "MP@ML"}}, true);
    }
}

TEST(MpegTransportStreamScan, SyncSearchAndErrors) {
    // A sequence header and extension, followed by more of the stream (the
    // search ends 14 bytes before the packet's end).
    const std::string es = sequenceHeader(320, 240, 2, 3, 0x3FFFF) + sequenceExtension() + groupOfPictures(0, 0, 0, 0) +
                           std::string(16, '\0');
    const std::string stream = patPacket({{1, 0x100}}) + pmtPacket(0x100, {{0x02, 0x1E0, ""}}) +
                               tsPacket(0x1E0, true, videoPes(900000, es));

    // Junk before the first packet: the walk finds its way in.
    TsScan r = scanTs(std::string(77, '\x11') + stream);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.record->videoCount, 1);

    // 192-byte units.
    std::string m2ts;
    for (size_t i = 0; i < stream.size(); i += 188) m2ts += test::bytes({0, 0, 0, 0}) + stream.substr(i, 188);
    r = scanTs(m2ts);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.record->videoCount, 1);
    EXPECT_STREQ(r.record->extraText[0], "192Pct");

    // A packet with transport_error_indicator set is passed over.
    std::string damaged = stream;
    damaged[1] = static_cast<char>(damaged[1] | 0x80);
    r = scanTs(damaged);
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] PATが見つかりません"));

    r = scanTs(std::string(2000, '\x47').substr(0, 100));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] 検索範囲にLinkHeaderがありません"));
    r = scanTs("");
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] 検索範囲にLinkHeaderがありません"));

    // A PAT whose section_length runs past the packet, and one below the
    // fixed part: clamped, no program from the bytes after the packet.
    r = scanTs(tsPacket(0, true, psiPayload(patSection({{1, 0x100}}, 0xFFF))) + pmtPacket(0x100, {{0x02, 0x1E0, ""}}) +
               tsPacket(0x1E0, true, videoPes(900000, es)));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.record->videoCount, 1);
    r = scanTs(tsPacket(0, true, psiPayload(patSection({{1, 0x100}}, 3))) + stream.substr(188));
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] PATが見つかりません"));

    // A pointer field or an adaptation field length pointing past the packet.
    std::string pointer = tsPacket(0, true, psiPayload(patSection({{1, 0x100}})));
    pointer[4] = static_cast<char>(0xFF);
    r = scanTs(pointer + tsPacket(0x1FFF, false, std::string(184, '\xFF')));
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] PATが見つかりません"));
    std::string adaptation = tsPacket(0, true, "x");
    adaptation[4] = static_cast<char>(0xFF);
    r = scanTs(adaptation + tsPacket(0x1FFF, false, std::string(184, '\xFF')));
    EXPECT_EQ(std::string(r.record->errorText), cp("[MPEG2-TS] PATが見つかりません"));
}

// A head window full of packets that start PES packets of every handled
// type but hold nothing decodable (false ADTS, AC-3 and MPEG audio syncs):
// every packet is tried, in memory, and the whole window takes well under
// a second.
TEST(MpegTransportStreamScan, UndecodablePacketsAcrossTheWindow) {
    std::string junk;
    while (junk.size() < 184) junk += test::bytes({0xFF, 0xF1, 0xFF, 0xFF, 0x0B, 0x77, 0xFF, 0xFF, 0xFF, 0xFE});
    const unsigned pids[] = {0x101, 0x102, 0x103, 0x104, 0x105, 0x106};
    std::string ts = patPacket({{1, 0x100}}) + pmtPacket(0x100, {{0x0F, 0x101, ""}, {0x81, 0x102, ""}, {0x82, 0x103, ""},
                                                                {0x04, 0x104, ""}, {0x02, 0x105, ""}, {0x1B, 0x106, ""}});
    for (size_t i = 0; ts.size() + 188 <= kTransportStreamWindowBytes; ++i) ts += tsPacket(pids[i % 6], true, junk);
    const auto before = std::chrono::steady_clock::now();
    TsScan r = scanTs(ts);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.record->videoCount + r.record->audioCount, 0);
    EXPECT_LT(seconds, 1.0);
    std::cout << "[ timing   ] 4 MB of undecodable packets: " << seconds * 1000 << " ms\n";
}

TEST(MpegTransportStreamScan, RegionAndReaderPosition) {
    // A sequence header and extension, followed by more of the stream (the
    // search ends 14 bytes before the packet's end).
    const std::string es = sequenceHeader(320, 240, 2, 3, 0x3FFFF) + sequenceExtension() + groupOfPictures(0, 0, 0, 0) +
                           std::string(16, '\0');
    const std::string stream = patPacket({{1, 0x100}}) + pmtPacket(0x100, {{0x02, 0x1E0, ""}}) +
                               tsPacket(0x1E0, true, videoPes(900000, es)) + tsPacket(0x1E0, true, videoPes(990000, ""));
    test::useTestData();
    test::TempDir dir;
    const auto path = dir.write("stream.ts", stream);
    auto record = recordFor(path);
    FileReader reader;
    ASSERT_TRUE(reader.open(*record));
    reader.seek(11, 0);
    EXPECT_FALSE(scanMpegTransportStream(reader, *record, 400, 100));  // inverted: empty
    EXPECT_EQ(std::string(record->errorText), cp("[MPEG2-TS] 検索範囲にLinkHeaderがありません"));
    EXPECT_EQ(reader.tell(), 11u);
    record = recordFor(path);
    EXPECT_TRUE(scanMpegTransportStream(reader, *record, 0, uint64_t{1} << 40));  // clamped to the file
    EXPECT_NEAR(record->duration, 1.0, 1e-9);
    EXPECT_EQ(reader.tell(), 11u);
}

}  // namespace
}  // namespace vesko
