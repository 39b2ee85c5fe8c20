// Tests of the video elementary header decoders: MPEG-1/2 sequence header
// and extension, the MPEG-4 Visual labels and the AVC sequence parameter
// set, on tables of crafted headers, on parameter sets written by x264 and
// on the raw streams of the fixture corpus.
#include "mpeg/video_headers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace vesko {
namespace {

using ByteVector = std::vector<uint8_t>;

ByteVector fromHex(const std::string& hex) {
    ByteVector out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

ByteVector readFixture(const std::string& name) {
    std::ifstream in(test::fixture(name), std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ===================================================================== findCode32

TEST(VideoHeadersFindCode32, Table) {
    struct Case {
        const char* name;
        ByteVector bytes;
        uint32_t code;
        int32_t expected;
    };
    const Case cases[] = {
        {"at the start", {0x00, 0x00, 0x01, 0xB3, 0x10}, 0x000001B3, 0},
        {"in the last four bytes", {0xFF, 0x00, 0x00, 0x00, 0x01, 0xB5}, 0x000001B5, 2},
        {"after a longer run of zeros", {0x00, 0x00, 0x00, 0x00, 0x01, 0xB3}, 0x000001B3, 2},
        {"first of two", {0x00, 0x00, 0x01, 0xB5, 0x00, 0x00, 0x01, 0xB5}, 0x000001B5, 0},
        {"other code only", {0x00, 0x00, 0x01, 0xB8, 0x00, 0x00, 0x01, 0x00}, 0x000001B3, -1},
        {"cut one byte short", {0x00, 0x00, 0x00, 0x01}, 0x000001B3, -1},
        {"three bytes", {0x00, 0x00, 0x01}, 0x00000001, -1},
        {"empty", {}, 0x000001B3, -1},
        {"code with a non-zero first byte", {0x12, 0x47, 0x47, 0x00, 0x10}, 0x47001000, -1},
        {"code with a non-zero first byte, found", {0x12, 0x47, 0x47, 0x00, 0x10, 0x00}, 0x47001000, 2},
    };
    for (const auto& c : cases) {
        // An exactly sized heap copy: a read past the end shows under ASan.
        ByteVector exact(c.bytes);
        EXPECT_EQ(findCode32(exact.data(), exact.size(), c.code), c.expected) << c.name;
    }
    EXPECT_EQ(findCode32(nullptr, 100, 0x000001B3), -1);
}

// ===================================================================== MPEG-1/2

// The 7 bytes after 00 00 01 B3.
ByteVector sequenceHeader(uint32_t width, uint32_t height, uint32_t aspect, uint32_t frameRateCode, uint32_t bitRateValue) {
    uint64_t v = 0;
    v = (v << 12) | (width & 0xFFF);
    v = (v << 12) | (height & 0xFFF);
    v = (v << 4) | (aspect & 0xF);
    v = (v << 4) | (frameRateCode & 0xF);
    v = (v << 18) | (bitRateValue & 0x3FFFF);
    v = (v << 1) | 1;  // marker bit
    v <<= 5;           // first bits of vbv_buffer_size
    ByteVector out(7);
    for (int i = 0; i < 7; ++i) out[i] = static_cast<uint8_t>(v >> (8 * (6 - i)));
    return out;
}

// 00 00 01 B5 and the fields of an extension up to progressive_sequence.
ByteVector sequenceExtension(uint32_t identifier, uint32_t escape, uint32_t profile, uint32_t level, uint32_t progressive) {
    ByteVector out = {0x00, 0x00, 0x01, 0xB5};
    const uint32_t fields = (identifier << 12) | (escape << 11) | (profile << 8) | (level << 4) | (progressive << 3) | 0x2;
    out.push_back(static_cast<uint8_t>(fields >> 8));
    out.push_back(static_cast<uint8_t>(fields));
    out.insert(out.end(), {0x00, 0x01, 0x00});
    return out;
}

TEST(VideoHeadersMpeg, AspectAndFrameRateTables) {
    const char* const aspects[16] = {"forbidden", "1:1",    "4:3",    "16:9 625line",        "0.7615", "0.8055",
                                     "16:9 525line", "0.8935", "4:3 625line CCIR601", "0.9815", "1.0255", "1.0695",
                                     "4:3 525line CCIR601", "1.1575", "1.2015", "reserved"};
    const double rates[16] = {0, 23.976, 24, 25, 29.97, 30, 50, 59.94, 60, 0, 0, 0, 0, 0, 0, 0};
    for (uint32_t code = 0; code < 16; ++code) {
        MpegVideoInfo info{};
        auto bytes = sequenceHeader(720, 576, code, code, 1000);
        parseMpegSequenceHeader(info, bytes.data());
        EXPECT_STREQ(info.aspect, aspects[code]) << code;
        EXPECT_EQ(info.frameRate, rates[code]) << code;  // the decimal values, not 24000/1001
        EXPECT_EQ(info.width, 720u);
        EXPECT_EQ(info.height, 576u);
        EXPECT_STREQ(mpegAspectLabel(code), aspects[code]);
        EXPECT_EQ(mpegFrameRate(code), rates[code]);
    }
    EXPECT_STREQ(mpegAspectLabel(16), "reserved");
}

TEST(VideoHeadersMpeg, SequenceHeaderFields) {
    struct Case {
        uint32_t width, height, bitRateValue;
        double bitRate;
        uint8_t variable;
    };
    const Case cases[] = {
        {4095, 4095, 0x3FFFE, 0x3FFFE * 400.0, 0},  // largest sizes and rate
        {352, 288, 0x3FFFF, 0.0, 1},                // VBR marker
        {176, 144, 1000, 400000.0, 0},
        {16, 16, 0, 0.0, 0},  // a zero rate is not the VBR marker
    };
    for (const auto& c : cases) {
        MpegVideoInfo info{};
        info.bitRate = 123;  // overwritten
        auto bytes = sequenceHeader(c.width, c.height, 3, 3, c.bitRateValue);
        parseMpegSequenceHeader(info, bytes.data());
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.bitRate, c.bitRate) << c.bitRateValue;
        EXPECT_EQ(info.variableBitRate, c.variable) << c.bitRateValue;
    }
}

TEST(VideoHeadersMpeg, SequenceHeaderOverShortSpanReadsZeros) {
    auto full = sequenceHeader(720, 576, 2, 3, 0x3FFFF);
    // Three bytes: the sizes are there, the rest reads as zero.
    ByteVector cut(full.begin(), full.begin() + 3);
    MpegVideoInfo info{};
    parseMpegSequenceHeader(info, Bytes(cut));
    EXPECT_EQ(info.width, 720u);
    EXPECT_EQ(info.height, 576u);
    EXPECT_STREQ(info.aspect, "forbidden");
    EXPECT_EQ(info.frameRate, 0.0);
    EXPECT_EQ(info.variableBitRate, 0);

    MpegVideoInfo empty{};
    parseMpegSequenceHeader(empty, Bytes());
    EXPECT_EQ(empty.width, 0u);
}

TEST(VideoHeadersMpeg, SequenceExtension) {
    struct Case {
        uint32_t identifier, escape, profile, level, progressive;
        bool accepted;
        const char* text;
    };
    const Case cases[] = {
        {1, 0, 4, 8, 0, true, "MP@ML"},
        {1, 0, 4, 8, 1, true, "MP@ML"},
        {1, 0, 1, 4, 1, true, "HP@HL"},
        {1, 0, 5, 8, 0, true, "SP@ML"},
        {1, 0, 2, 6, 0, true, "SSP@HL1440"},
        {1, 0, 3, 10, 0, true, "SNR@LL"},
        {1, 0, 6, 5, 0, true, "UnknownProfile(6)@UnknownLevel(5)"},
        // The escape bit is not looked at: 4:2:2 profile at Main level
        // (escape 1, 000, 0101) has no label.
        {1, 1, 0, 5, 0, true, "UnknownProfile(0)@UnknownLevel(5)"},
        {2, 0, 4, 8, 1, false, nullptr},  // sequence display extension
        {8, 0, 4, 8, 1, false, nullptr},  // picture coding extension
    };
    for (const auto& c : cases) {
        MpegVideoInfo info{};
        std::strcpy(info.profile, "kept");
        info.progressive = 7;
        auto bytes = sequenceExtension(c.identifier, c.escape, c.profile, c.level, c.progressive);
        EXPECT_EQ(parseMpegSequenceExtension(info, bytes.data()), c.accepted) << c.identifier;
        if (c.accepted) {
            EXPECT_STREQ(info.profile, c.text);
            EXPECT_EQ(info.progressive, c.progressive);
        } else {
            EXPECT_STREQ(info.profile, "kept");
            EXPECT_EQ(info.progressive, 7);
        }
    }
}

TEST(VideoHeadersMpeg, SequenceExtensionOverShortSpan) {
    auto bytes = sequenceExtension(1, 0, 4, 8, 1);
    for (size_t n = 0; n <= bytes.size(); ++n) {
        ByteVector cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        MpegVideoInfo info{};
        const bool ok = parseMpegSequenceExtension(info, Bytes(cut));
        EXPECT_EQ(ok, n >= 6) << n;  // progressive_sequence is in the sixth byte
        if (ok) {
            EXPECT_STREQ(info.profile, "MP@ML");
            EXPECT_EQ(info.progressive, 1);
        }
    }
}

TEST(VideoHeadersMpeg, ProfileLevelLabels) {
    const std::map<int, const char*> profiles = {{1, "HP"}, {2, "SSP"}, {3, "SNR"}, {4, "MP"}, {5, "SP"}};
    const std::map<int, const char*> levels = {{4, "HL"}, {6, "HL1440"}, {8, "ML"}, {10, "LL"}};
    for (int p = 0; p < 8; ++p) {
        for (int l = 0; l < 16; ++l) {
            std::string expected = profiles.count(p) ? profiles.at(p) : "UnknownProfile(" + std::to_string(p) + ")";
            expected += "@";
            expected += levels.count(l) ? levels.at(l) : "UnknownLevel(" + std::to_string(l) + ")";
            EXPECT_EQ(formatMpeg2ProfileLevel(p, l), expected);
            char out[64];
            formatMpeg2ProfileLevel(out, sizeof out, p, l);
            EXPECT_EQ(std::string(out), expected);
        }
    }
    char small[6];
    formatMpeg2ProfileLevel(small, sizeof small, 4, 8);  // "MP@ML" exactly fits
    EXPECT_STREQ(small, "MP@ML");
    formatMpeg2ProfileLevel(small, sizeof small, 2, 6);  // truncated, terminated
    EXPECT_STREQ(small, "SSP@H");
}

TEST(VideoHeadersMpeg, DescriptionFillsEveryPlaceholder) {
    test::useTestData();
    struct Case {
        const char* name;
        const char* profile;
        uint8_t progressive;
        double bitRate, averageBitRate;
        uint8_t variable;
        const char* tpl;
        const char* interlace;
        const char* bitRateK;
        const char* bitRateText;
        const char* mode;
    };
    const Case cases[] = {
        {"MPEG-2 CBR", "MP@ML", 1, 400000, 999000, 0, "MPEG1/2/MPEG2", "Progressive", "400.00", "400000.00", "CBR"},
        {"MPEG-2 VBR uses the measured rate", "MP@HL", 0, 0, 5123456, 1, "MPEG1/2/MPEG2", "Interlace", "5123.46",
         "5123456.00", "VBR"},
        {"no extension: MPEG1 key, Interlace", "", 0, 1150000, 0, 0, "MPEG1/2/MPEG1", "Interlace", "1150.00",
         "1150000.00", "CBR"},
        {"VBR without a measured rate", "", 0, 0, 0, 1, "MPEG1/2/MPEG1", "Interlace", "0.00", "0.00", "VBR"},
    };
    for (const auto& c : cases) {
        MpegVideoInfo info{};
        info.width = 720;
        info.height = 480;
        std::strcpy(info.codec, "MPEG2");
        std::strcpy(info.profile, c.profile);
        std::strcpy(info.aspect, "16:9 525line");
        info.progressive = c.progressive;
        info.frameRate = 23.976;
        info.bitRate = c.bitRate;
        info.averageBitRate = c.averageBitRate;
        info.variableBitRate = c.variable;
        auto f = test::fields(describeMpegVideo(info));
        EXPECT_EQ(f["tpl"], c.tpl) << c.name;
        EXPECT_EQ(f["width"], "720");
        EXPECT_EQ(f["height"], "480");
        EXPECT_EQ(f["codec"], "MPEG2");
        EXPECT_EQ(f["profile"], c.profile);
        EXPECT_EQ(f["aspect"], "16:9 525line");
        EXPECT_EQ(f["interlace"], c.interlace) << c.name;
        EXPECT_EQ(f["framerate"], "23.98");
        EXPECT_EQ(f["bitratek"], c.bitRateK) << c.name;
        EXPECT_EQ(f["bitrate"], c.bitRateText) << c.name;
        EXPECT_EQ(f["bitratemode"], c.mode) << c.name;
    }
}

TEST(VideoHeadersMpeg, DescriptionIntoCallerBuffer) {
    test::useTestData();
    MpegVideoInfo info{};
    std::strcpy(info.codec, "MPEG1");
    const std::string whole = describeMpegVideo(info);
    char out[512];
    describeMpegVideo(out, sizeof out, info);
    EXPECT_EQ(std::string(out), whole);

    char small[16];
    std::memset(small, 'x', sizeof small);
    describeMpegVideo(small, sizeof small, info);
    EXPECT_EQ(std::strlen(small), sizeof small - 1);
    EXPECT_EQ(std::string(small), whole.substr(0, sizeof small - 1));

    char untouched = 'x';
    describeMpegVideo(&untouched, 0, info);
    EXPECT_EQ(untouched, 'x');
}

// The raw MPEG video fixtures: the decoders as the program stream analyser
// uses them, checked against ffprobe's reading of the same files.
TEST(VideoHeadersMpeg, FixtureStreams) {
    test::useShippedData();
    struct Case {
        const char* file;
        const char* codec;
        uint32_t width, height;
        const char* aspect;
        double frameRate;
        double bitRate;
        uint8_t variable;
        const char* profile;
        uint8_t progressive;
        const char* line;
    };
    const Case cases[] = {
        {"mpeg2video_176x144_interlaced_cbr_16x9.m2v", "MPEG2", 176, 144, "16:9 625line", 25, 400000, 0, "MP@ML", 0,
         "MPEG2 MP@ML 176x144 (16:9 625line) 25.00fps Interlace 400.00kbps(CBR)"},
        {"mpeg2video_160x120_23976_vbr.m2v", "MPEG2", 160, 120, "4:3", 23.976, 0, 1, "MP@ML", 1,
         "MPEG2 MP@ML 160x120 (4:3) 23.98fps Progressive 0.00kbps(VBR)"},
        {"mpeg1video_160x120_30fps_vbr.m1v", "MPEG1", 160, 120, "1:1", 30, 0, 1, "", 0,
         "MPEG1 160x120 (1:1) 30.00fps 0.00kbps(VBR)"},
    };
    for (const auto& c : cases) {
        const ByteVector file = readFixture(c.file);
        ASSERT_FALSE(file.empty()) << c.file;
        MpegVideoInfo info{};
        std::strcpy(info.codec, c.codec);
        const int32_t s = findCode32(file.data(), file.size(), 0x000001B3);
        ASSERT_EQ(s, 0) << c.file;
        parseMpegSequenceHeader(info, file.data() + s + 4);
        // Every extension start code in turn until a sequence extension.
        size_t from = 0;
        while (from < file.size()) {
            const int32_t e = findCode32(file.data() + from, file.size() - from, 0x000001B5);
            if (e < 0) break;
            const size_t at = from + static_cast<size_t>(e);
            if (parseMpegSequenceExtension(info, Bytes(file).subspan(at))) break;
            from = at + 4;
        }
        EXPECT_EQ(info.width, c.width) << c.file;
        EXPECT_EQ(info.height, c.height) << c.file;
        EXPECT_STREQ(info.aspect, c.aspect) << c.file;
        EXPECT_EQ(info.frameRate, c.frameRate) << c.file;
        EXPECT_EQ(info.bitRate, c.bitRate) << c.file;
        EXPECT_EQ(info.variableBitRate, c.variable) << c.file;
        EXPECT_STREQ(info.profile, c.profile) << c.file;
        EXPECT_EQ(info.progressive, c.progressive) << c.file;
        EXPECT_EQ(describeMpegVideo(info), c.line) << c.file;
    }
}

// ===================================================================== MPEG-4 Visual

TEST(VideoHeadersMpeg4, ProfileLevelLabelsForEveryCode) {
    std::map<int, std::string> table;
    auto row = [&](int first, std::initializer_list<const char*> labels) {
        for (const char* label : labels) table[first++] = label;
    };
    row(0x01, {"Simple@L1", "Simple@L2", "Simple@L3"});
    row(0x08, {"Simple@L0"});
    row(0x11, {"Simple Scalable@L1", "Simple Scalable@L2"});
    row(0x21, {"Core@L1", "Core@L2"});
    row(0x32, {"Main@L2", "Main@L3", "Main@L4"});
    row(0x42, {"N-bit@L2"});
    row(0x51, {"Scalable Texture@L1"});
    row(0x61, {"Simple Face Anim@L1", "Simple Face Anim@L2", "Simple FBA@L1", "Simple FBA@L2"});
    row(0x71, {"Basic Anim Text@L1", "Basic Anim Text@L2"});
    row(0x81, {"Hybrid@L1", "Hybrid@L2"});
    row(0x91, {"Adv RT Simple@L1", "Adv RT Simple@L2", "Adv RT Simple@L3", "Adv RT Simple@L4"});
    row(0xA1, {"Core Scalable@L1", "Core Scalable@L2", "Core Scalable@L3"});
    row(0xB1, {"Adv Coding Efficieny@L1", "Adv Coding Efficieny@L2", "Adv Coding Efficieny@L3",
               "Adv Coding Efficieny@L4"});
    row(0xC1, {"Adv Core Profile@L1", "Adv Core Profile@L2"});
    row(0xD1, {"Adv Scalable Texture@L1", "Adv Scalable Texture@L2", "Adv Scalable Texture@L3"});
    row(0xE1, {"Simple Studio@L1", "Simple Studio@L2", "Simple Studio@L3", "Simple Studio@L4", "Core Studio@L1",
               "Core Studio@L2", "Core Studio@L3", "Core Studio@L4"});
    row(0xF1, {"Adv Simple@L0", "Adv Simple@L1", "Adv Simple@L2", "Adv Simple@L3", "Adv Simple@L4", "Adv Simple@L5",
               "Adv Simple@L3b", "FGS@L0", "FGS@L1", "FGS@L2", "FGS@L3", "FGS@L4", "FGS@L5"});
    ASSERT_EQ(table.size(), 58u);
    for (int code = -1; code <= 256; ++code) {
        const std::string expected =
            table.count(code) ? table[code] : "UnknownProfile(" + std::to_string(code) + ")";
        EXPECT_EQ(formatMpeg4ProfileLevel(code), expected) << code;
    }
    char out[32];
    formatMpeg4ProfileLevel(out, sizeof out, 0xFE);
    EXPECT_STREQ(out, "UnknownProfile(254)");
}

TEST(VideoHeadersMpeg4, AspectLabels) {
    const std::map<int, const char*> cases = {
        {0, "Unspecified"},  {1, "1:1"},       {2, "4:3"},           {3, "16:9 625line"},
        {8, "4:3 625line CCIR601"}, {14, "1.2015"}, {15, "reserved"}, {16, "Unknown(16)"},
        {255, "Unknown(255)"}, {-1, "Unknown(-1)"},
    };
    for (const auto& [code, label] : cases) {
        EXPECT_EQ(formatMpeg4Aspect(code), label) << code;
        char out[32];
        formatMpeg4Aspect(out, sizeof out, code);
        EXPECT_STREQ(out, label);
    }
}

// The raw MPEG-4 Visual fixture: the visual object sequence header carries
// profile_and_level_indication 0x01 (ffprobe: Simple Profile, level 1).
TEST(VideoHeadersMpeg4, FixtureStream) {
    const ByteVector file = readFixture("mpeg4_simple_l1.m4v");
    const int32_t p = findCode32(file.data(), file.size(), 0x000001B0);
    ASSERT_EQ(p, 0);
    EXPECT_EQ(formatMpeg4ProfileLevel(file[static_cast<size_t>(p) + 4]), "Simple@L1");
}

// ===================================================================== AVC labels

TEST(VideoHeadersAvc, ProfileLevelLabels) {
    struct Case {
        int profile, level;
        const char* text;
    };
    const Case cases[] = {
        {66, 10, "Baseline@1"},          {77, 20, "Main@2"},
        {88, 30, "Extended@3"},          {100, 40, "High@4"},
        {110, 50, "High 10@5"},          {122, 11, "High 4:2:2@1.1"},
        {244, 12, "High 4:4:4@1.2"},     {100, 13, "High@1.3"},
        {100, 21, "High@2.1"},           {100, 22, "High@2.2"},
        {100, 31, "High@3.1"},           {100, 32, "High@3.2"},
        {100, 41, "High@4.1"},           {100, 42, "High@4.2"},
        {100, 51, "High@5.1"},           {100, 9, "High@UnknownLevel(9)"},
        {100, 52, "High@UnknownLevel(52)"}, {100, 0, "High@UnknownLevel(0)"},
        {100, 14, "High@UnknownLevel(14)"}, {144, 40, "UnknownProfile(144)@4"},
        {44, 30, "UnknownProfile(44)@3"},    {0, 255, "UnknownProfile(0)@UnknownLevel(255)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatAvcProfileLevel(c.profile, c.level), c.text);
        char out[40];
        formatAvcProfileLevel(out, sizeof out, c.profile, c.level);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(VideoHeadersAvc, SampleAspectLabels) {
    const char* const labels[] = {"Unspecified", "1:1",   "12:11", "10:11",  "16:11", "40:33",
                                  "24:11",       "20:11", "32:11", "80:33",  "18:11", "15:11",
                                  "64:33",       "160:99", "4:3",  "3:2",    "2:1"};
    for (int idc = 0; idc <= 16; ++idc) EXPECT_EQ(formatAvcSampleAspect(idc), labels[idc]) << idc;
    EXPECT_EQ(formatAvcSampleAspect(17), "Unknown(17)");
    EXPECT_EQ(formatAvcSampleAspect(254), "Unknown(254)");
    EXPECT_EQ(formatAvcSampleAspect(255), "Unknown(255)");
    char out[32];
    formatAvcSampleAspect(out, sizeof out, 13);
    EXPECT_STREQ(out, "160:99");
}

// ===================================================================== AVC SPS

// Writes RBSP bits most significant first, and turns them into a NAL unit.
class BitWriter {
public:
    void u(unsigned count, uint64_t value) {
        for (unsigned i = count; i-- > 0;) put(static_cast<unsigned>((value >> i) & 1));
    }
    void ue(uint64_t value) {
        const uint64_t v = value + 1;
        unsigned n = 0;
        while ((v >> (n + 1)) != 0) ++n;
        u(n, 0);
        u(n + 1, v);
    }
    void se(int64_t value) { ue(value > 0 ? 2 * static_cast<uint64_t>(value) - 1 : 2 * static_cast<uint64_t>(-value)); }
    // rbsp_trailing_bits, then emulation prevention (00 00 0x -> 00 00 03 0x).
    size_t bitCount() const { return bits_; }
    ByteVector nal(bool trailing = true) {
        if (trailing) {
            put(1);
            while (bits_ % 8) put(0);
        }
        ByteVector out;
        int zeros = 0;
        for (uint8_t b : bytes_) {
            if (zeros >= 2 && b <= 3) {
                out.push_back(3);
                zeros = 0;
            }
            out.push_back(b);
            zeros = b == 0 ? zeros + 1 : 0;
        }
        return out;
    }

private:
    void put(unsigned bit) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= static_cast<uint8_t>(0x80 >> (bits_ % 8));
        ++bits_;
    }
    ByteVector bytes_;
    size_t bits_ = 0;
};

struct Hrd {
    uint64_t cpbCntMinus1 = 0;
    unsigned bitRateScale = 0;
    uint64_t bitRateValueMinus1 = 0;
    unsigned cbr = 0;
    bool endAfterFirstEntry = false;  // the unit ends inside the entry list
};

// The fields of a sequence parameter set, in the order of H.264 7.3.2.1.1.
struct Sps {
    unsigned profile = 100, constraints = 0, level = 40;
    uint64_t chroma = 1;
    unsigned separatePlanes = 0;
    uint64_t lumaMinus8 = 0, chromaMinus8 = 0;
    int scalingLists = 0;  // 0 = no matrix; otherwise lists sent (8 or 12), each with deltas
    uint64_t pocType = 0;
    uint64_t pocCycle = 0;
    bool endAfterPocCycle = false;
    uint64_t widthMbsMinus1 = 19, heightMapUnitsMinus1 = 14;
    unsigned wideWidthZeros = 0;  // write widthMbsMinus1 with this many leading zeros instead
    unsigned frameMbsOnly = 1;
    bool crop = false;
    uint64_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    bool endBeforeVuiFlag = false;
    bool vui = false;
    int aspectIdc = -1;  // -1: no aspect information
    unsigned sarWidth = 0, sarHeight = 0;
    bool signalType = false, chromaLoc = false;
    bool timing = false;
    uint32_t unitsInTick = 0, timeScale = 0;
    unsigned fixed = 0;
    bool nalHrd = false, vclHrd = false;
    Hrd nal, vcl;
    bool restriction = false;
};

void writeHrd(BitWriter& w, const Hrd& h) {
    w.ue(h.cpbCntMinus1);
    w.u(4, h.bitRateScale);
    w.u(4, 3);
    const uint64_t entries = h.endAfterFirstEntry ? 1 : h.cpbCntMinus1 + 1;
    for (uint64_t i = 0; i < entries; ++i) {
        w.ue(i == 0 ? h.bitRateValueMinus1 : 12345);
        w.ue(777);
        w.u(1, i == 0 ? h.cbr : !h.cbr);
    }
    if (!h.endAfterFirstEntry) w.u(20, 0xABCDE);
}

// `cutBits` receives the number of bits written before the VUI flag when
// the unit ends there.
ByteVector buildSps(const Sps& s, size_t* cutBits = nullptr) {
    BitWriter w;
    w.u(8, 0x67);
    w.u(8, s.profile);
    w.u(8, s.constraints);
    w.u(8, s.level);
    w.ue(0);
    if (s.profile == 100 || s.profile == 110 || s.profile == 122 || s.profile == 244 || s.profile == 44 ||
        s.profile == 83 || s.profile == 86 || s.profile == 118 || s.profile == 128 || s.profile == 134 ||
        s.profile == 144) {
        w.ue(s.chroma);
        if (s.chroma == 3) w.u(1, s.separatePlanes);
        w.ue(s.lumaMinus8);
        w.ue(s.chromaMinus8);
        w.u(1, 0);
        w.u(1, s.scalingLists ? 1 : 0);
        for (int i = 0; i < s.scalingLists; ++i) {
            w.u(1, 1);
            const int size = i < 6 ? 16 : 64;
            // Deltas that wander over the whole range and never reach a
            // next scale of 0, so that every entry is coded.
            int last = 8;
            for (int j = 0; j < size; ++j) {
                const int next = 1 + (j * 37 + i * 11) % 255;
                int delta = next - last;
                if (delta > 127) delta -= 256;
                if (delta < -128) delta += 256;
                w.se(delta);
                last = next;
            }
        }
    }
    w.ue(0);  // log2_max_frame_num_minus4
    w.ue(s.pocType);
    if (s.pocType == 0) {
        w.ue(2);
    } else if (s.pocType == 1) {
        w.u(1, 0);
        w.se(-3);
        w.se(5);
        w.ue(s.pocCycle);
        if (s.endAfterPocCycle) return w.nal();
        for (uint64_t i = 0; i < s.pocCycle; ++i) w.se(static_cast<int64_t>(i % 7) - 3);
    }
    w.ue(4);  // max_num_ref_frames
    w.u(1, 0);
    if (s.wideWidthZeros) {
        w.u(s.wideWidthZeros, 0);
        w.u(1, 1);
        w.u(s.wideWidthZeros, 5);
    } else {
        w.ue(s.widthMbsMinus1);
    }
    w.ue(s.heightMapUnitsMinus1);
    w.u(1, s.frameMbsOnly);
    if (!s.frameMbsOnly) w.u(1, 1);
    w.u(1, 1);
    w.u(1, s.crop ? 1 : 0);
    if (s.crop) {
        w.ue(s.cropLeft);
        w.ue(s.cropRight);
        w.ue(s.cropTop);
        w.ue(s.cropBottom);
    }
    if (s.endBeforeVuiFlag) {
        if (cutBits) *cutBits = w.bitCount();
        return w.nal(false);
    }
    w.u(1, s.vui ? 1 : 0);
    if (s.vui) {
        w.u(1, s.aspectIdc >= 0 ? 1 : 0);
        if (s.aspectIdc >= 0) {
            w.u(8, static_cast<unsigned>(s.aspectIdc));
            if (s.aspectIdc == 255) {
                w.u(16, s.sarWidth);
                w.u(16, s.sarHeight);
            }
        }
        w.u(1, 1);  // overscan info present
        w.u(1, 1);
        w.u(1, s.signalType ? 1 : 0);
        if (s.signalType) {
            w.u(3, 5);
            w.u(1, 1);
            w.u(1, 1);
            w.u(24, 0x010101);
        }
        w.u(1, s.chromaLoc ? 1 : 0);
        if (s.chromaLoc) {
            w.ue(1);
            w.ue(2);
        }
        w.u(1, s.timing ? 1 : 0);
        if (s.timing) {
            w.u(32, s.unitsInTick);
            w.u(32, s.timeScale);
            w.u(1, s.fixed);
        }
        w.u(1, s.nalHrd ? 1 : 0);
        if (s.nalHrd) {
            writeHrd(w, s.nal);
            if (s.nal.endAfterFirstEntry) return w.nal(false);
        }
        w.u(1, s.vclHrd ? 1 : 0);
        if (s.vclHrd) writeHrd(w, s.vcl);
        if (s.nalHrd || s.vclHrd) w.u(1, 0);
        w.u(1, 0);
        w.u(1, s.restriction ? 1 : 0);
        if (s.restriction) {
            w.u(1, 1);
            for (int i = 0; i < 6; ++i) w.ue(static_cast<uint64_t>(i) * 3);
        }
    }
    return w.nal();
}

struct Expected {
    uint32_t width, height;
    uint8_t bitDepth;
    const char* profile;
    const char* aspect;
    uint8_t interlaced;
    double frameRate;
    double bitRate = 0;
    uint8_t fixedFrameRate = 0;
    uint8_t constantBitRate = 0;
};

void expectSps(const ByteVector& nal, const Expected& e, const std::string& name) {
    ByteVector exact(nal);
    AvcVideoInfo info{};
    info.frameCount = 77;  // the container's, left alone
    ASSERT_TRUE(parseAvcSps(exact.data(), exact.size(), info)) << name;
    EXPECT_EQ(info.width, e.width) << name;
    EXPECT_EQ(info.height, e.height) << name;
    EXPECT_EQ(info.bitDepth, e.bitDepth) << name;
    EXPECT_STREQ(info.codec, "AVC/H.264") << name;
    EXPECT_STREQ(info.profile, e.profile) << name;
    EXPECT_STREQ(info.aspect, e.aspect) << name;
    EXPECT_EQ(info.interlaced, e.interlaced) << name;
    EXPECT_DOUBLE_EQ(info.frameRate, e.frameRate) << name;
    EXPECT_EQ(info.frameCount, 77) << name;
    EXPECT_DOUBLE_EQ(info.bitRate, e.bitRate) << name;
    EXPECT_EQ(info.fixedFrameRate, e.fixedFrameRate) << name;
    EXPECT_EQ(info.constantBitRate, e.constantBitRate) << name;
}

// Parameter sets written by x264 (Debian's libx264 through ffmpeg), one
// frame of testsrc each:
//   ffmpeg -f lavfi -i testsrc=size=SIZE:rate=RATE [-vf setsar=SAR] -frames:v 1
//          -pix_fmt FMT -c:v libx264 -preset PRESET [-profile:v PROFILE] -f h264
// The expected values are ffprobe's reading of the same streams.
struct RealSps {
    const char* name;
    const char* hex;
    Expected expected;
};

const RealSps kRealSps[] = {
    // 176x144 rate 15, yuv420p, ultrafast, baseline (constraint_set1: Constrained Baseline)
    {"baseline 176x144", "6742c00ada0b13b0110000030001000003001e0f1226a0",
     {176, 144, 8, "Baseline@1", "1:1", 0, 15.0}},
    // 1920x1080 rate 24000/1001, yuv420p, veryfast, high: 1088 rows cropped by 8
    {"high 1080p", "67640028acd940780227e5c04400000fa40002ee003c60c658",
     {1920, 1080, 8, "High@4", "1:1", 0, 48000.0 / 1001 * 0.5}},
    // 640x360 rate 50, yuv420p10le, ultrafast, high10
    {"high 10 640x360", "676e001fa6cb405017fcb808800000030080000032078c1950",
     {640, 360, 10, "High 10@3.1", "1:1", 0, 50.0}},
    // 100x60 rate 10, yuv444p, ultrafast, high444: coded 112x64, cropped by
    // 12 columns and 4 rows, which 4:4:4 counts in ones
    {"high 4:4:4 100x60", "67f4000a919687278d97011000000300100000030140f1226a",
     {100, 60, 8, "High 4:4:4@1", "1:1", 0, 10.0}},
    // 720x480 rate 30000/1001, setsar 10/11 (aspect_ratio_idc 3), ultrafast
    {"baseline NTSC 10:11", "6742c01eda02d0f6c0c400000fa40003a9803c58ba80",
     {720, 480, 8, "Baseline@3", "10:11", 0, 60000.0 / 1001 * 0.5}},
    // 720x576 rate 25, setsar 16/15 (aspect_ratio_idc 255), veryfast, main
    {"main PAL 16:15", "674d401eeca05a0937fe0020001e20000003002000000641e2c5b2c0",
     {720, 576, 8, "Main@3", "16:15", 0, 25.0}},
    // 1920x1080 rate 25, -flags +ildct+ilme -x264opts tff=1, ultrafast: field
    // pairs of 34 map units (1088 rows) cropped by 2 x 4 rows
    {"main interlaced 1080", "674d4028f403c0227ef011000003000100000300321f162ea0",
     {1920, 1080, 8, "Main@4", "1:1", 1, 25.0}},
};

TEST(VideoHeadersAvcSps, WrittenByX264) {
    for (const auto& c : kRealSps) expectSps(fromHex(c.hex), c.expected, c.name);
}

struct CraftedSps {
    const char* name;
    Sps sps;
    Expected expected;
};

Sps with(std::function<void(Sps&)> change) {
    Sps s;
    change(s);
    return s;
}

TEST(VideoHeadersAvcSps, CraftedCases) {
    const CraftedSps cases[] = {
        {"plain High, no VUI", Sps{}, {320, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"interlaced 1080 with bottom crop 2",
         with([](Sps& s) {
             s.profile = 77;
             s.widthMbsMinus1 = 119;
             s.heightMapUnitsMinus1 = 33;
             s.frameMbsOnly = 0;
             s.crop = true;
             s.cropBottom = 2;
         }),
         {1920, 1080, 8, "Main@4", "Unspecified", 1, 0}},
        {"interlaced 1080 with left crop 1 too",
         with([](Sps& s) {
             s.profile = 77;
             s.widthMbsMinus1 = 119;
             s.heightMapUnitsMinus1 = 33;
             s.frameMbsOnly = 0;
             s.crop = true;
             s.cropLeft = 1;
             s.cropBottom = 2;
         }),
         {1918, 1080, 8, "Main@4", "Unspecified", 1, 0}},
        {"4:2:2 crops rows one by one",
         with([](Sps& s) {
             s.profile = 122;
             s.chroma = 2;
             s.lumaMinus8 = 2;
             s.widthMbsMinus1 = 119;
             s.heightMapUnitsMinus1 = 67;
             s.crop = true;
             s.cropRight = 4;
             s.cropBottom = 8;
         }),
         {1912, 1080, 10, "High 4:2:2@4", "Unspecified", 0, 0}},
        {"4:2:2 interlaced crops in pairs of rows",
         with([](Sps& s) {
             s.profile = 122;
             s.chroma = 2;
             s.widthMbsMinus1 = 119;
             s.heightMapUnitsMinus1 = 33;
             s.frameMbsOnly = 0;
             s.crop = true;
             s.cropBottom = 4;
         }),
         {1920, 1080, 8, "High 4:2:2@4", "Unspecified", 1, 0}},
        {"4:4:4 with separate colour planes crops in ones",
         with([](Sps& s) {
             s.profile = 244;
             s.chroma = 3;
             s.separatePlanes = 1;
             s.crop = true;
             s.cropLeft = 3;
             s.cropTop = 5;
         }),
         {317, 235, 8, "High 4:4:4@4", "Unspecified", 0, 0}},
        {"monochrome crops in ones",
         with([](Sps& s) {
             s.chroma = 0;
             s.crop = true;
             s.cropRight = 1;
             s.cropBottom = 1;
         }),
         {319, 239, 8, "High@4", "Unspecified", 0, 0}},
        {"crop wider than the picture gives 0",
         with([](Sps& s) {
             s.crop = true;
             s.cropLeft = 100000;
         }),
         {0, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"crop offsets above 255 are kept whole",
         with([](Sps& s) {
             s.widthMbsMinus1 = 119;
             s.crop = true;
             s.cropRight = 320;  // 1920 -> 1280
         }),
         {1280, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"eight scaling lists",
         with([](Sps& s) {
             s.scalingLists = 8;
             s.lumaMinus8 = 1;
         }),
         {320, 240, 9, "High@4", "Unspecified", 0, 0}},
        {"twelve scaling lists for 4:4:4",
         with([](Sps& s) {
             s.profile = 244;
             s.chroma = 3;
             s.scalingLists = 12;
         }),
         {320, 240, 8, "High 4:4:4@4", "Unspecified", 0, 0}},
        {"profile 144 reads the chroma fields",
         with([](Sps& s) {
             s.profile = 144;
             s.chroma = 3;
             s.lumaMinus8 = 4;
         }),
         {320, 240, 12, "UnknownProfile(144)@4", "Unspecified", 0, 0}},
        {"multiview profile 134 reads the chroma fields",
         with([](Sps& s) {
             s.profile = 134;
             s.lumaMinus8 = 0;
         }),
         {320, 240, 8, "UnknownProfile(134)@4", "Unspecified", 0, 0}},
        {"Extended profile has none",
         with([](Sps& s) {
             s.profile = 88;
             s.level = 51;
         }),
         {320, 240, 8, "Extended@5.1", "Unspecified", 0, 0}},
        {"level 9", with([](Sps& s) { s.level = 9; }), {320, 240, 8, "High@UnknownLevel(9)", "Unspecified", 0, 0}},
        {"picture order count type 1 with a cycle",
         with([](Sps& s) {
             s.pocType = 1;
             s.pocCycle = 17;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"picture order count type 2", with([](Sps& s) { s.pocType = 2; }),
         {320, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"sample aspect 4:3 as sar_width:sar_height",
         with([](Sps& s) {
             s.vui = true;
             s.aspectIdc = 255;
             s.sarWidth = 4;
             s.sarHeight = 3;
         }),
         {320, 240, 8, "High@4", "4:3", 0, 0}},
        {"aspect_ratio_idc 17 is unknown",
         with([](Sps& s) {
             s.vui = true;
             s.aspectIdc = 17;
         }),
         {320, 240, 8, "High@4", "Unknown(17)", 0, 0}},
        {"VUI without aspect information",
         with([](Sps& s) {
             s.vui = true;
             s.timing = true;
             s.unitsInTick = 1;
             s.timeScale = 50;
             s.fixed = 1;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 25.0, 0, 1}},
        {"timing after signal type and chroma location",
         with([](Sps& s) {
             s.vui = true;
             s.aspectIdc = 1;
             s.signalType = true;
             s.chromaLoc = true;
             s.timing = true;
             s.unitsInTick = 1001;
             s.timeScale = 60000;
         }),
         {320, 240, 8, "High@4", "1:1", 0, 60000.0 / 1001 * 0.5}},
        {"largest tick and scale as unsigned",
         with([](Sps& s) {
             s.vui = true;
             s.timing = true;
             s.unitsInTick = 0x80000000u;
             s.timeScale = 0xFFFFFFFFu;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 4294967295.0 / 2147483648.0 * 0.5}},
        {"zero num_units_in_tick gives no frame rate",
         with([](Sps& s) {
             s.vui = true;
             s.timing = true;
             s.unitsInTick = 0;
             s.timeScale = 50;
             s.fixed = 1;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 0, 0, 1}},
        {"NAL HRD rate from the first entry",
         with([](Sps& s) {
             s.vui = true;
             s.timing = true;
             s.unitsInTick = 1;
             s.timeScale = 48;
             s.nalHrd = true;
             s.nal.cpbCntMinus1 = 2;
             s.nal.bitRateScale = 2;
             s.nal.bitRateValueMinus1 = 999;
             s.nal.cbr = 1;
             s.vclHrd = true;
             s.vcl.bitRateScale = 9;
             s.vcl.bitRateValueMinus1 = 5;
             s.restriction = true;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 24.0, 256000, 0, 1}},
        {"VCL HRD alone gives no rate",
         with([](Sps& s) {
             s.vui = true;
             s.vclHrd = true;
             s.vcl.bitRateScale = 4;
             s.vcl.bitRateValueMinus1 = 99;
             s.vcl.cbr = 1;
             s.restriction = true;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 0}},
        {"largest HRD rate",
         with([](Sps& s) {
             s.vui = true;
             s.nalHrd = true;
             s.nal.bitRateScale = 15;
             s.nal.bitRateValueMinus1 = 0xFFFFFFFEu;
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 0, 2097152.0 * 4294967295.0}},
        {"time stamps that need emulation prevention",
         with([](Sps& s) {
             s.vui = true;
             s.timing = true;
             s.unitsInTick = 0x00000001;  // 00 00 00 01 in the payload
             s.timeScale = 0x00000300;    // 00 00 03 00
         }),
         {320, 240, 8, "High@4", "Unspecified", 0, 384.0}},
    };
    for (const auto& c : cases) expectSps(buildSps(c.sps), c.expected, c.name);
}

// An exp-Golomb code with 40 leading zeros is clamped to 32 bits, and the
// reader still moves on by exactly its 81 bits.
TEST(VideoHeadersAvcSps, LongExpGolombCodeIsClamped) {
    Sps s;
    s.wideWidthZeros = 40;
    s.heightMapUnitsMinus1 = 44;
    s.vui = true;
    s.timing = true;
    s.unitsInTick = 1;
    s.timeScale = 60;
    ByteVector nal = buildSps(s);
    AvcVideoInfo info{};
    ASSERT_TRUE(parseAvcSps(nal.data(), nal.size(), info));
    EXPECT_EQ(info.width, std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(info.height, 720u);
    EXPECT_DOUBLE_EQ(info.frameRate, 30.0);
}

// Loop counts of 2^32 - 2 in a damaged unit: the picture order count cycle
// is capped at 255 entries and the HRD at 32, and both stop at the end of
// the unit, so these come back at once.
TEST(VideoHeadersAvcSps, HugeLoopCountsEndAtOnce) {
    Sps poc;
    poc.pocType = 1;
    poc.pocCycle = 0xFFFFFFFEu;
    poc.endAfterPocCycle = true;
    ByteVector pocNal = buildSps(poc);

    Sps hrd;
    hrd.vui = true;
    hrd.nalHrd = true;
    hrd.nal.cpbCntMinus1 = 0xFFFFFFFEu;
    hrd.nal.bitRateScale = 2;
    hrd.nal.bitRateValueMinus1 = 999;
    hrd.nal.cbr = 1;
    hrd.nal.endAfterFirstEntry = true;
    ByteVector hrdNal = buildSps(hrd);

    const auto start = std::chrono::steady_clock::now();
    AvcVideoInfo info{};
    // The cycle swallows the rest of the unit: its sizes are missing.
    EXPECT_FALSE(parseAvcSps(pocNal.data(), pocNal.size(), info));
    AvcVideoInfo withHrd{};
    ASSERT_TRUE(parseAvcSps(hrdNal.data(), hrdNal.size(), withHrd));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
    EXPECT_EQ(withHrd.width, 320u);
    EXPECT_DOUBLE_EQ(withHrd.bitRate, 256000.0);
    EXPECT_EQ(withHrd.constantBitRate, 1);

    // The standard's largest cycle, 255 entries, is read whole.
    Sps longest;
    longest.pocType = 1;
    longest.pocCycle = 255;
    longest.heightMapUnitsMinus1 = 29;
    ByteVector longestNal = buildSps(longest);
    AvcVideoInfo longestInfo{};
    ASSERT_TRUE(parseAvcSps(longestNal.data(), longestNal.size(), longestInfo));
    EXPECT_EQ(longestInfo.width, 320u);
    EXPECT_EQ(longestInfo.height, 480u);
}

// The unit ends at the next start code, never at bytes beyond it.
TEST(VideoHeadersAvcSps, EndsAtTheNextStartCode) {
    // A unit cut right before vui_parameters_present_flag on a byte
    // boundary (the field structure is varied until the cut falls on one).
    ByteVector base;
    for (unsigned frameMbsOnly = 0; frameMbsOnly < 2 && base.empty(); ++frameMbsOnly) {
        for (uint64_t bottom = 0; bottom < 32 && base.empty(); ++bottom) {
            Sps cut;
            cut.frameMbsOnly = frameMbsOnly;
            cut.crop = true;
            cut.cropBottom = bottom;
            cut.endBeforeVuiFlag = true;
            size_t bits = 0;
            ByteVector unit = buildSps(cut, &bits);
            if (bits % 8 == 0) base = unit;
        }
    }
    ASSERT_FALSE(base.empty());
    AvcVideoInfo alone{};
    EXPECT_FALSE(parseAvcSps(base.data(), base.size(), alone));

    // Followed by a picture parameter set: still cut off. Reading on would
    // take the 00 for a VUI flag of 0.
    ByteVector bytes = base;
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0x68, 0xFF, 0xFF, 0xFF});
    AvcVideoInfo info{};
    EXPECT_FALSE(parseAvcSps(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.width, 0u);

    // 00 00 01 before a byte of NAL type 0 starts no unit: read on.
    bytes = base;
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0x00});
    EXPECT_TRUE(parseAvcSps(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.width, 320u);
}

// Every prefix of a parameter set, in an exactly sized buffer: nothing is
// read past it, a prefix cut before vui_parameters_present_flag leaves the
// record untouched, and once a prefix decodes every longer one does.
TEST(VideoHeadersAvcSps, TruncatedUnits) {
    std::vector<ByteVector> units;
    for (const auto& c : kRealSps) units.push_back(fromHex(c.hex));
    Sps rich;
    rich.scalingLists = 8;
    rich.pocType = 1;
    rich.pocCycle = 5;
    rich.crop = true;
    rich.cropBottom = 3;
    rich.vui = true;
    rich.aspectIdc = 255;
    rich.sarWidth = 64;
    rich.sarHeight = 45;
    rich.timing = true;
    rich.unitsInTick = 1;
    rich.timeScale = 50;
    rich.nalHrd = true;
    rich.nal.cpbCntMinus1 = 3;
    rich.nal.bitRateValueMinus1 = 4000;
    rich.restriction = true;
    units.push_back(buildSps(rich));

    for (const ByteVector& unit : units) {
        AvcVideoInfo whole{};
        ASSERT_TRUE(parseAvcSps(unit.data(), unit.size(), whole));
        bool decoded = false;
        for (size_t n = 0; n <= unit.size(); ++n) {
            ByteVector prefix(unit.begin(), unit.begin() + static_cast<std::ptrdiff_t>(n));
            AvcVideoInfo info;
            std::memset(&info, 0x5A, sizeof info);
            AvcVideoInfo before = info;
            const bool ok = parseAvcSps(prefix.empty() ? nullptr : prefix.data(), prefix.size(), info);
            if (!ok) {
                EXPECT_FALSE(decoded) << "prefix " << n;
                EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0) << "prefix " << n;
            } else {
                decoded = true;
                // The sizes are complete by then.
                EXPECT_EQ(info.width, whole.width) << n;
                EXPECT_EQ(info.height, whole.height) << n;
                EXPECT_STREQ(info.profile, whole.profile) << n;
            }
        }
        EXPECT_TRUE(decoded);
    }
}

TEST(VideoHeadersAvcSps, FindInAnnexBBytes) {
    const ByteVector sps = fromHex(kRealSps[1].hex);  // High 1080p
    struct Case {
        const char* name;
        ByteVector before;
        uint8_t header;  // replaces the unit's NAL header byte 0x67
        ByteVector after;
        bool found;
    };
    const Case cases[] = {
        {"after an access unit delimiter", {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0, 0x00, 0x00, 0x00, 0x01}, 0x67,
         {0x00, 0x00, 0x00, 0x01, 0x68, 0xEE}, true},
        {"at the end of the buffer", {0x47, 0x00, 0x00, 0x01}, 0x67, {}, true},
        {"nal_ref_idc 0", {0x00, 0x00, 0x01}, 0x07, {}, true},
        {"no start code", {0x11, 0x22}, 0x67, {}, false},
        {"start code of a picture parameter set", {0x00, 0x00, 0x01}, 0x68, {}, false},
    };
    for (const auto& c : cases) {
        ByteVector bytes = c.before;
        bytes.push_back(c.header);
        bytes.insert(bytes.end(), sps.begin() + 1, sps.end());
        bytes.insert(bytes.end(), c.after.begin(), c.after.end());
        AvcVideoInfo info{};
        EXPECT_EQ(findAvcSps(bytes.data(), bytes.size(), info), c.found) << c.name;
        if (c.found) {
            EXPECT_EQ(info.width, 1920u) << c.name;
            EXPECT_EQ(info.height, 1080u) << c.name;
            EXPECT_STREQ(info.profile, "High@4") << c.name;
        } else {
            EXPECT_EQ(info.width, 0u) << c.name;
            EXPECT_EQ(info.codec[0], '\0') << c.name;
        }
    }
}

// Buffers that end inside a start code or right after an SPS header: the
// search neither reads past the end nor reports a unit it could not read.
TEST(VideoHeadersAvcSps, FindAtTheEndOfExactBuffers) {
    const ByteVector tails[] = {
        {},
        {0x00},
        {0x00, 0x00},
        {0x00, 0x00, 0x01},
        {0x00, 0x00, 0x01, 0x67},
        {0x00, 0x00, 0x01, 0x67, 0x64},
        {0x00, 0x00, 0x01, 0x67, 0x64, 0x00, 0x28},
        {0x00, 0x00, 0x01, 0x67, 0x64, 0x00, 0x00, 0x03},
        {0xAA, 0x00, 0x00, 0x03},
    };
    for (const auto& t : tails) {
        ByteVector exact(t);
        AvcVideoInfo info{};
        EXPECT_FALSE(findAvcSps(exact.empty() ? nullptr : exact.data(), exact.size(), info)) << exact.size();
        EXPECT_EQ(info.width, 0u);
    }
    // A cut-off unit is passed over for a complete one later on.
    ByteVector bytes = {0x00, 0x00, 0x01, 0x67, 0x64, 0x00, 0x28, 0x00, 0x00, 0x01};
    ByteVector sps = fromHex(kRealSps[0].hex);
    bytes.insert(bytes.end(), sps.begin(), sps.end());
    AvcVideoInfo info{};
    EXPECT_TRUE(findAvcSps(bytes.data(), bytes.size(), info));
    EXPECT_EQ(info.width, 176u);
}

TEST(VideoHeadersAvc, DescriptionFillsEveryPlaceholder) {
    test::useTestData();
    struct Case {
        uint8_t interlaced;
        int32_t frameCount;
        double bitRate;
        const char* interlace;
        const char* frame;
        const char* bitRateK;
        const char* bitRateText;
    };
    const Case cases[] = {
        {0, 0, 0, "Progressive", "0", "0.00", "0.00"},
        {1, 1234, 99968, "Interlace", "1234", "99.97", "99968.00"},
    };
    for (const auto& c : cases) {
        AvcVideoInfo info{};
        info.width = 1920;
        info.height = 1080;
        info.bitDepth = 10;
        std::strcpy(info.codec, "AVC/H.264");
        std::strcpy(info.profile, "High 10@4.1");
        std::strcpy(info.aspect, "16:15");
        info.interlaced = c.interlaced;
        info.frameRate = 30000.0 / 1001;
        info.frameCount = c.frameCount;
        info.bitRate = c.bitRate;
        auto f = test::fields(describeAvcVideo(info));
        EXPECT_EQ(f["tpl"], "AVC/VIDEO");
        EXPECT_EQ(f["width"], "1920");
        EXPECT_EQ(f["height"], "1080");
        EXPECT_EQ(f["bitdepth"], "10");
        EXPECT_EQ(f["codec"], "AVC/H.264");
        EXPECT_EQ(f["profile"], "High 10@4.1");
        EXPECT_EQ(f["aspect"], "16:15");
        EXPECT_EQ(f["interlace"], c.interlace);
        EXPECT_EQ(f["framerate"], "29.97");
        EXPECT_EQ(f["frame"], c.frame);
        EXPECT_EQ(f["bitratek"], c.bitRateK);
        EXPECT_EQ(f["bitrate"], c.bitRateText);

        char out[512];
        describeAvcVideo(out, sizeof out, info);
        EXPECT_EQ(std::string(out), describeAvcVideo(info));
    }
}

// The raw AVC fixtures, checked against ffprobe's reading of the files and
// the shipped template.
TEST(VideoHeadersAvc, FixtureStreams) {
    test::useShippedData();
    struct Case {
        const char* file;
        Expected expected;
        const char* line;
    };
    const Case cases[] = {
        // yuv422p High 4:2:2 level 1.2, 320x180 (coded 320x192, 12 single
        // rows cropped), 25 fps; x264 writes no HRD here
        {"avc_high422_320x180.h264",
         {320, 180, 8, "High 4:2:2@1.2", "1:1", 0, 25.0},
         "AVC/H.264 High 4:2:2@1.2 320x180 (1:1) 25.00fps Progressive 8bit 0.00kbps"},
        // Main level 2.1, interlaced 320x200 (coded 320x224), sample aspect
        // 4:3 (x264 writes aspect_ratio_idc 14), 30000/1001 fps fixed, NAL
        // HRD CBR 64 x 1562 bits per second
        {"avc_main_interlaced_hrd_sar4x3.h264",
         {320, 200, 8, "Main@2.1", "4:3", 1, 60000.0 / 1001 * 0.5, 99968, 1, 1},
         "AVC/H.264 Main@2.1 320x200 (4:3) 29.97fps Interlace 8bit 99.97kbps"},
    };
    for (const auto& c : cases) {
        const ByteVector file = readFixture(c.file);
        ASSERT_FALSE(file.empty()) << c.file;
        AvcVideoInfo info{};
        ASSERT_TRUE(findAvcSps(file.data(), file.size(), info)) << c.file;
        const Expected& e = c.expected;
        EXPECT_EQ(info.width, e.width) << c.file;
        EXPECT_EQ(info.height, e.height) << c.file;
        EXPECT_EQ(info.bitDepth, e.bitDepth) << c.file;
        EXPECT_STREQ(info.profile, e.profile) << c.file;
        EXPECT_STREQ(info.aspect, e.aspect) << c.file;
        EXPECT_EQ(info.interlaced, e.interlaced) << c.file;
        EXPECT_DOUBLE_EQ(info.frameRate, e.frameRate) << c.file;
        EXPECT_DOUBLE_EQ(info.bitRate, e.bitRate) << c.file;
        EXPECT_EQ(info.fixedFrameRate, e.fixedFrameRate) << c.file;
        EXPECT_EQ(info.constantBitRate, e.constantBitRate) << c.file;
        EXPECT_EQ(describeAvcVideo(info), c.line) << c.file;
    }
}

}  // namespace
}  // namespace vesko
