// Tests of the MPEG audio (MP1, MP2, MP3) analyser and decoders.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/mpeg_audio.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;

// ---------------------------------------------------------------------------
// Building blocks
// ---------------------------------------------------------------------------

// Header fields as they stand in the bits: version 0 = MPEG 2.5, 1 reserved,
// 2 = MPEG-2, 3 = MPEG-1; layer 1 = III, 2 = II, 3 = I, 0 reserved.
std::array<uint8_t, 4> header(int versionBits, int layerBits, int rateIndex, int frequencyIndex, int pad = 0,
                              int mode = 0, int extension = 0) {
    return {0xFF, static_cast<uint8_t>(0xE0 | versionBits << 3 | layerBits << 1 | 1),
            static_cast<uint8_t>(rateIndex << 4 | frequencyIndex << 2 | pad << 1),
            static_cast<uint8_t>(mode << 6 | extension << 4)};
}

constexpr int kMpeg1 = 3, kMpeg2 = 2, kMpeg25 = 0;
constexpr int kLayer1 = 3, kLayer2 = 2, kLayer3 = 1;

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void putText(std::vector<uint8_t>& b, size_t at, std::string_view text) {
    std::memcpy(b.data() + at, text.data(), text.size());
}

// A 417-byte MPEG-1 Layer III frame (128 kbit/s, 44.1 kHz, joint stereo,
// mode extension MS) with a Xing/Info header at offset 36.
struct XingFrame {
    std::vector<uint8_t> b = std::vector<uint8_t>(417, 0);
    size_t q = 0;  // where the fields after the optional ones begin

    XingFrame(std::string_view tag, uint32_t flags, uint32_t frames, uint32_t byteCount) {
        auto h = header(kMpeg1, kLayer3, 9, 0, 0, 1, 2);
        std::copy(h.begin(), h.end(), b.begin());
        putText(b, 36, tag);
        put32(b, 40, flags);
        q = 44;
        if (flags & 1) put32(b, q, frames), q += 4;
        if (flags & 2) put32(b, q, byteCount), q += 4;
        if (flags & 4) q += 100;
        if (flags & 8) q += 4;
    }
    // A LAME tag at q: version text, method and revision byte, bit-rate byte, stereo mode.
    XingFrame& lame(std::string_view version, int revisionMethod, int bitRateByte, int stereoMode) {
        putText(b, q, version);
        b[q + 9] = static_cast<uint8_t>(revisionMethod);
        b[q + 20] = static_cast<uint8_t>(bitRateByte);
        b[q + 24] = static_cast<uint8_t>(stereoMode << 2 | 0x43);  // other bits set too
        return *this;
    }
};

MpegAudioInfo parsed(const std::vector<uint8_t>& frame, uint64_t streamBytes = 0) {
    MpegAudioInfo info{};
    info.streamBytes = streamBytes;
    EXPECT_TRUE(parseVbrHeader(info, frame));
    return info;
}

std::map<std::string, std::string> audioFields(const AnalysisRecord& r) {
    EXPECT_EQ(r.audioCount, 1) << r.errorText;
    return test::fields(r.audioText[0]);
}

// The first frame of a fixture (after its ID3v2 tag).
std::vector<uint8_t> firstFrame(const std::string& name, size_t size) {
    auto file = readFile(test::fixture(name));
    EXPECT_GE(file.size(), size);
    return {file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)};
}

// ---------------------------------------------------------------------------
// Header decoder
// ---------------------------------------------------------------------------

TEST(MpegAudioHeader, BitRateTablesOfEveryVersionAndLayer) {
    // ISO/IEC 11172-3 and 13818-3, indexes 1 to 14, kbit/s. MPEG 2.5 uses the
    // MPEG-2 Layer II/III row for every layer.
    const std::array<int, 14> mpeg1Layer1 = {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
    const std::array<int, 14> mpeg1Layer2 = {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    const std::array<int, 14> mpeg1Layer3 = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    const std::array<int, 14> mpeg2Layer1 = {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
    const std::array<int, 14> mpeg2Low = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    struct Row {
        int versionBits, layerBits;
        const std::array<int, 14>& rates;
        int version, layer;
    } rows[] = {
        {kMpeg1, kLayer1, mpeg1Layer1, 1, 1},   {kMpeg1, kLayer2, mpeg1Layer2, 1, 2},
        {kMpeg1, kLayer3, mpeg1Layer3, 1, 3},   {kMpeg2, kLayer1, mpeg2Layer1, 2, 1},
        {kMpeg2, kLayer2, mpeg2Low, 2, 2},      {kMpeg2, kLayer3, mpeg2Low, 2, 3},
        {kMpeg25, kLayer1, mpeg2Low, 25, 1},    {kMpeg25, kLayer2, mpeg2Low, 25, 2},
        {kMpeg25, kLayer3, mpeg2Low, 25, 3},
    };
    for (const auto& row : rows) {
        for (int index = 1; index <= 14; ++index) {
            MpegAudioInfo info{};
            ASSERT_TRUE(decodeMpegAudioHeader(header(row.versionBits, row.layerBits, index, 0), info));
            EXPECT_EQ(info.bitRate, row.rates[index - 1]) << "version " << row.version << " layer " << row.layer
                                                          << " index " << index;
            EXPECT_EQ(info.version, row.version);
            EXPECT_EQ(info.layer, row.layer);
        }
    }
}

TEST(MpegAudioHeader, SamplingFrequencies) {
    struct Row {
        int versionBits;
        std::array<double, 3> rates;
    } rows[] = {{kMpeg1, {44100, 48000, 32000}}, {kMpeg2, {22050, 24000, 16000}}, {kMpeg25, {11025, 12000, 8000}}};
    for (const auto& row : rows)
        for (int index = 0; index < 3; ++index) {
            MpegAudioInfo info{};
            ASSERT_TRUE(decodeMpegAudioHeader(header(row.versionBits, kLayer3, 5, index, 1), info));
            EXPECT_EQ(info.sampleRate, row.rates[index]);
            EXPECT_EQ(info.padding, 1);
        }
}

TEST(MpegAudioHeader, ReservedValuesAndShortInputFailWithoutChangingTheInfo) {
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"version 01", {0xFF, 0xEB, 0x90, 0x64}},
        {"layer 00", {0xFF, 0xF9, 0x90, 0x64}},
        {"bit-rate index 0 (free format)", {0xFF, 0xFB, 0x00, 0x64}},
        {"bit-rate index 15", {0xFF, 0xFB, 0xF0, 0x64}},
        {"sampling-frequency index 3", {0xFF, 0xFB, 0x9C, 0x64}},
        {"three bytes", {0xFF, 0xFB, 0x90}},
        {"nothing", {}},
    };
    for (const auto& row : rows) {
        MpegAudioInfo info{};
        info.version = 7;
        info.bitRate = 7;
        copyText(info.channelMode, sizeof info.channelMode, "before");
        EXPECT_FALSE(decodeMpegAudioHeader(row.bytes, info)) << row.name;
        EXPECT_EQ(info.version, 7) << row.name;
        EXPECT_EQ(info.bitRate, 7) << row.name;
        EXPECT_STREQ(info.channelMode, "before") << row.name;
    }
}

TEST(MpegAudioHeader, ChannelModesAndModeExtensions) {
    struct Row {
        int layerBits, mode, extension;
        const char* channel;
        const char* extensionLabel;
    } rows[] = {
        {kLayer3, 0, 3, "Stereo", ""},        {kLayer3, 2, 3, "DualChannel", ""},
        {kLayer3, 3, 2, "Mono", ""},          {kLayer3, 1, 0, "JointStereo", ""},
        {kLayer3, 1, 1, "JointStereo", "I"},  {kLayer3, 1, 2, "JointStereo", "MS"},
        {kLayer3, 1, 3, "JointStereo", "I+MS"}, {kLayer2, 1, 0, "JointStereo", "4-31"},
        {kLayer2, 1, 1, "JointStereo", "8-31"}, {kLayer2, 1, 2, "JointStereo", "12-31"},
        {kLayer1, 1, 3, "JointStereo", "16-31"}, {kLayer1, 1, 0, "JointStereo", "4-31"},
    };
    for (const auto& row : rows) {
        MpegAudioInfo info{};
        ASSERT_TRUE(decodeMpegAudioHeader(header(kMpeg1, row.layerBits, 4, 0, 0, row.mode, row.extension), info));
        EXPECT_STREQ(info.channelMode, row.channel);
        EXPECT_STREQ(info.modeExtension, row.extensionLabel) << row.layerBits << " " << row.mode << row.extension;
    }
    // Outside joint stereo (and for Layer III extension 0) the label stays as it was.
    MpegAudioInfo info{};
    copyText(info.modeExtension, sizeof info.modeExtension, "MS");
    ASSERT_TRUE(decodeMpegAudioHeader(header(kMpeg1, kLayer3, 4, 0, 0, 0, 2), info));
    EXPECT_STREQ(info.modeExtension, "MS");
    ASSERT_TRUE(decodeMpegAudioHeader(header(kMpeg1, kLayer3, 4, 0, 0, 1, 0), info));
    EXPECT_STREQ(info.modeExtension, "MS");
}

TEST(MpegAudioHeader, FrameLengths) {
    // Layer I: whole 4-byte slots, 12 per 384 samples; Layers II and III: 144
    // bytes per kbit/s over the rate, 72 for Layer III at the low sampling
    // frequencies. The MPEG-2 Layer II rows match the real files:
    // mp2_twolame_24khz_joint.mp2 (384-byte frames) and
    // mp2_ffmpeg_22khz_mono.mp2 (208, then 209 with padding).
    struct Row {
        std::array<uint8_t, 4> bytes;
        uint32_t size;
    } rows[] = {
        {header(kMpeg1, kLayer3, 9, 0), 417},          // 128 kbit/s 44.1 kHz
        {header(kMpeg1, kLayer3, 9, 0, 1), 418},       // padded
        {header(kMpeg1, kLayer3, 14, 2), 1440},        // 320 kbit/s 32 kHz
        {header(kMpeg1, kLayer2, 8, 1), 384},          // 128 kbit/s 48 kHz
        {header(kMpeg1, kLayer2, 14, 2), 1728},        // 384 kbit/s 32 kHz
        {header(kMpeg2, kLayer2, 8, 1), 384},          // 64 kbit/s 24 kHz
        {header(kMpeg2, kLayer2, 4, 0), 208},          // 32 kbit/s 22.05 kHz
        {header(kMpeg2, kLayer2, 4, 0, 1), 209},
        {header(kMpeg2, kLayer3, 8, 0), 208},          // 64 kbit/s 22.05 kHz
        {header(kMpeg25, kLayer3, 2, 2), 144},         // 16 kbit/s 8 kHz
        {header(kMpeg25, kLayer2, 14, 2), 2880},       // 160 kbit/s 8 kHz: the largest frame
        {header(kMpeg1, kLayer1, 12, 0), 416},         // 384 kbit/s 44.1 kHz: 104 slots
        {header(kMpeg1, kLayer1, 12, 0, 1), 420},
        {header(kMpeg1, kLayer1, 1, 0), 32},           // 32 kbit/s 44.1 kHz: 8 slots, not 34 bytes
        {header(kMpeg2, kLayer1, 4, 0), 136},          // 64 kbit/s 22.05 kHz: 34 slots
        {header(kMpeg2, kLayer1, 4, 0, 1), 140},
    };
    for (const auto& row : rows) {
        MpegAudioInfo info{};
        ASSERT_TRUE(decodeMpegAudioHeader(row.bytes, info));
        EXPECT_EQ(mpegAudioFrameSize(info), row.size)
            << "version " << info.version << " layer " << info.layer << " " << info.bitRate << " kbit/s "
            << info.sampleRate << " Hz";
    }
}

// ---------------------------------------------------------------------------
// Sync search
// ---------------------------------------------------------------------------

TEST(MpegAudioSync, Candidates) {
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
        size_t start;
        int32_t expected;
    } rows[] = {
        {"header at 0", {0xFF, 0xFB, 0x90, 0x64, 0}, 0, 0},
        {"fewer than 5 bytes", {0xFF, 0xFB, 0x90, 0x64}, 0, -1},
        {"candidate at length - 4 is not reported", {0, 0xFF, 0xFB, 0x90, 0x64}, 0, -1},
        {"candidate at length - 5", {0, 0xFF, 0xFB, 0x90, 0x64, 0}, 0, 1},
        {"ID3", {0, 'I', 'D', '3', 3, 0}, 0, 1},
        {"id3 in lower case", {'i', 'd', '3', 4, 0}, 0, 0},
        {"first byte not FF", {0xFE, 0xFB, 0x90, 0x64, 0}, 0, -1},
        {"11 sync bits incomplete", {0xFF, 0xDB, 0x90, 0x64, 0}, 0, -1},
        {"reserved version", {0xFF, 0xEB, 0x90, 0x64, 0}, 0, -1},
        {"reserved layer", {0xFF, 0xF9, 0x90, 0x64, 0}, 0, -1},
        {"bit-rate index 15", {0xFF, 0xFB, 0xF0, 0x64, 0}, 0, -1},
        {"reserved sampling frequency", {0xFF, 0xFB, 0x9C, 0x64, 0}, 0, -1},
        {"free format passes", {0xFF, 0xFB, 0x00, 0x64, 0}, 0, 0},
        {"FF FF before a header", {0xFF, 0xFF, 0xFB, 0x90, 0x64, 0}, 0, 1},
        {"start passes over an earlier one", {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0xFF, 0xF3, 0x80, 0xC4, 0}, 1, 6},
        {"start beyond the end", {0xFF, 0xFB, 0x90, 0x64, 0}, 9, -1},
        {"empty", {}, 0, -1},
    };
    for (const auto& row : rows) EXPECT_EQ(findMpegAudioSync(row.bytes, row.start), row.expected) << row.name;
}

// ---------------------------------------------------------------------------
// LAME labels and versions
// ---------------------------------------------------------------------------

TEST(MpegAudioLame, VbrMethodAndStereoModeLabels) {
    const char* methods[16] = {"unknown",      "CBR",          "ABR",          "VBR-OLD/RH",
                               "VBR-NEW/MTRH", "VBR-MT",       "FULL-VBR 4",   "VBR-NEW/MT",
                               "CBR-2PASS",    "ABR-2PASS",    "unknown(0A)",  "unknown(0B)",
                               "unknown(0C)",  "unknown(0D)",  "unknown(0E)",  "reserved"};
    for (unsigned m = 0; m < 16; ++m) EXPECT_EQ(lameVbrMethodLabel(m), methods[m]) << m;
    const char* modes[8] = {"Mono", "Stereo", "DualMono", "JointStereo", "ForcedStereo", "Auto", "IntensityStereo", "Other"};
    for (unsigned s = 0; s < 8; ++s) EXPECT_STREQ(lameStereoModeLabel(s), modes[s]) << s;
}

TEST(MpegAudioLame, VersionsAreComparedAsNumbers) {
    struct Row {
        const char* version;
        bool tag;  // read as 3.90 or later
    } rows[] = {
        {"LAME3.100", true},  // every file of today's encoder: not 3.10
        {"LAME3.99r", true},  {"LAME3.90.", true}, {"LAME3.98 ", true}, {"LAME4.0  ", true},
        {"LAME3.89b", false}, {"LAME3.88 ", false}, {"LAME3.10 ", false}, {"LAME3.12 ", false},
        {"LAMEH3.99", false},  // no number after "LAME"
    };
    for (const auto& row : rows) {
        XingFrame f("Info", 0x0F, 40, 17135);
        f.lame(row.version, 0x11, 128, 3);
        auto info = parsed(f.b);
        EXPECT_STREQ(info.lameVersion, row.version);
        EXPECT_EQ(info.hasLameTag, row.tag) << row.version;
        if (row.tag) {
            EXPECT_STREQ(info.bitRateMode, "CBR") << row.version;
            EXPECT_EQ(info.lameRevision, 1);
            EXPECT_STREQ(info.encoderName, "");
        } else {
            // The older path: an averaged rate and the encoder text.
            EXPECT_STREQ(info.bitRateMode, "VBR") << row.version;
            EXPECT_STREQ(info.encoderName, row.version);
        }
    }
    // A binary byte ends the version text.
    XingFrame f("Info", 0x0F, 40, 17135);
    f.lame("LAME3.99\x01", 0x11, 128, 3);
    auto info = parsed(f.b);
    EXPECT_STREQ(info.lameVersion, "LAME3.99");
    EXPECT_EQ(info.hasLameTag, 1);
}

TEST(MpegAudioLame, MethodsDecideTheRatesShown) {
    struct Row {
        int revisionMethod, bitRateByte, stereoMode;
        const char* mode;
        const char* method;
        uint32_t abr, lame;
        const char* stereo;
    } rows[] = {
        {0x01, 200, 3, "CBR", "CBR", 0, 128, "JointStereo"},  // the header's rate, not the byte
        {0x02, 96, 1, "VBR", "ABR", 96, 0, "Stereo"},
        {0x04, 32, 3, "VBR", "VBR-NEW/MTRH", 0, 32, "JointStereo"},
        {0x13, 64, 0, "VBR", "VBR-OLD/RH", 0, 64, "Mono"},
        {0x08, 160, 4, "VBR", "CBR-2PASS", 0, 160, "ForcedStereo"},
        {0x0C, 48, 7, "VBR", "unknown(0C)", 0, 48, "Other"},
    };
    for (const auto& row : rows) {
        XingFrame f("Xing", 0x0F, 40, 11631);
        f.lame("LAME3.100", row.revisionMethod, row.bitRateByte, row.stereoMode);
        auto info = parsed(f.b);
        EXPECT_EQ(info.hasLameTag, 1);
        EXPECT_STREQ(info.bitRateMode, row.mode) << row.method;
        EXPECT_STREQ(info.lameVbrMethod, row.method);
        EXPECT_EQ(info.lameRevision, row.revisionMethod >> 4);
        EXPECT_EQ(info.lameAbrBitRate, row.abr) << row.method;
        EXPECT_EQ(info.lameBitRate, row.lame) << row.method;
        EXPECT_STREQ(info.lameStereoMode, row.stereo);
    }
}

// ---------------------------------------------------------------------------
// First-frame parse
// ---------------------------------------------------------------------------

double average(double bytes, double frames, double rate, double samples) {
    return bytes / (frames - 1) * 8 * rate / samples * 0.001;
}

TEST(MpegAudioVbr, XingCountsAndTheAverage) {
    // Both counts: the average over frames - 1 (1,001 frames: 1,000 intervals).
    auto both = parsed(XingFrame("Xing", 0x03, 1001, 417000).b, 99);
    EXPECT_EQ(both.hasXing, 1);
    EXPECT_STREQ(both.vbrFormat, "Xing");
    EXPECT_STREQ(both.bitRateMode, "VBR");
    EXPECT_EQ(both.xingFrameCount, 1001u);
    EXPECT_EQ(both.streamBytes, 417000u);
    EXPECT_DOUBLE_EQ(both.bitRate, average(417000, 1001, 44100, 1152));

    // Only one of the counts: no average, the header's rate stands.
    auto framesOnly = parsed(XingFrame("Xing", 0x01, 1001, 0).b, 5000);
    EXPECT_STREQ(framesOnly.bitRateMode, "VBR");
    EXPECT_EQ(framesOnly.bitRate, 128);
    EXPECT_EQ(framesOnly.xingFrameCount, 1001u);
    EXPECT_EQ(framesOnly.streamBytes, 5000u);
    auto bytesOnly = parsed(XingFrame("Xing", 0x02, 0, 417000).b, 5000);
    EXPECT_EQ(bytesOnly.bitRate, 128);
    EXPECT_EQ(bytesOnly.streamBytes, 417000u);
    // A zero byte count is no count.
    auto zeroBytes = parsed(XingFrame("Xing", 0x03, 1001, 0).b, 5000);
    EXPECT_EQ(zeroBytes.bitRate, 128);
    EXPECT_EQ(zeroBytes.streamBytes, 5000u);
    // One frame: no interval to average over.
    EXPECT_EQ(parsed(XingFrame("Xing", 0x03, 1, 417).b).bitRate, 128);

    // "Info" in any case, and no LAME tag: still VBR with an average.
    auto info = parsed(XingFrame("iNFO", 0x0F, 41, 17135).b);
    EXPECT_STREQ(info.vbrFormat, "LAME-Info");
    EXPECT_STREQ(info.bitRateMode, "VBR");
    EXPECT_DOUBLE_EQ(info.bitRate, average(17135, 41, 44100, 1152));
}

TEST(MpegAudioVbr, XingOffsetsAndSamplesPerFrame) {
    // The header sits behind the Layer III side information; the average
    // counts 384 samples per Layer I frame in every version.
    struct Row {
        std::array<uint8_t, 4> head;
        size_t offset;
        double samples;
    } rows[] = {
        {header(kMpeg1, kLayer3, 9, 0, 0, 1, 2), 36, 1152},
        {header(kMpeg1, kLayer3, 9, 0, 0, 3), 21, 1152},
        {header(kMpeg2, kLayer3, 8, 0, 0, 1, 2), 21, 576},
        {header(kMpeg2, kLayer3, 8, 0, 0, 3), 13, 576},
        {header(kMpeg25, kLayer3, 2, 2, 0, 3), 13, 576},
        {header(kMpeg2, kLayer2, 8, 1, 0, 0), 21, 1152},
        {header(kMpeg2, kLayer1, 4, 0, 0, 3), 13, 384},
        {header(kMpeg1, kLayer1, 12, 0, 0, 0), 36, 384},
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> frame(400, 0);
        std::copy(row.head.begin(), row.head.end(), frame.begin());
        putText(frame, row.offset, "Xing");
        put32(frame, row.offset + 4, 3);
        put32(frame, row.offset + 8, 101);
        put32(frame, row.offset + 12, 20000);
        auto info = parsed(frame);
        EXPECT_EQ(info.hasXing, 1) << row.offset;
        EXPECT_DOUBLE_EQ(info.bitRate, average(20000, 101, info.sampleRate, row.samples))
            << "version " << info.version << " layer " << info.layer;

        // One byte further on, the header is not seen.
        std::vector<uint8_t> moved(400, 0);
        std::copy(row.head.begin(), row.head.end(), moved.begin());
        putText(moved, row.offset + 1, "Xing");
        auto plain = parsed(moved, 4000);
        EXPECT_EQ(plain.hasXing, 0);
        EXPECT_STREQ(plain.bitRateMode, "CBR");
        EXPECT_EQ(plain.cbrFrameCount, 4000 / plain.frameSize);
    }
}

TEST(MpegAudioVbr, EncoderNames) {
    // Another encoder's text at q, or just before it; binary bytes end the text.
    XingFrame lavc("Info", 0x0F, 40, 17135);
    putText(lavc.b, lavc.q, "Lavc58.91");
    lavc.b[lavc.q + 9] = 0x01;
    EXPECT_STREQ(parsed(lavc.b).encoderName, "Lavc58.91");

    XingFrame longName("Xing", 0x03, 40, 17135);
    putText(longName.b, longName.q, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_STREQ(parsed(longName.b).encoderName, "ABCDEFGHIJKLMNOPQRST");

    XingFrame before("Xing", 0x08, 0, 0);  // quality only: its 4 bytes stand before q
    putText(before.b, before.q - 4, "GOGO");
    EXPECT_STREQ(parsed(before.b).encoderName, "GOGO");

    XingFrame none("Xing", 0x03, 40, 17135);
    none.b[none.q] = '@' - 1;  // below 'A'
    EXPECT_STREQ(parsed(none.b).encoderName, "");
}

TEST(MpegAudioVbr, Vbri) {
    std::vector<uint8_t> frame(417, 0);
    auto h = header(kMpeg1, kLayer3, 9, 0, 0, 1, 2);
    std::copy(h.begin(), h.end(), frame.begin());
    putText(frame, 36, "vbri");
    frame[44] = 0x01, frame[45] = 0x02;  // quality 258
    put32(frame, 46, 417000);
    put32(frame, 50, 1001);
    auto info = parsed(frame);
    EXPECT_EQ(info.hasVbri, 1);
    EXPECT_EQ(info.hasXing, 0);
    EXPECT_STREQ(info.vbrFormat, "VBRI");
    EXPECT_STREQ(info.bitRateMode, "VBR");
    EXPECT_EQ(info.vbriQuality, 258u);
    EXPECT_EQ(info.vbriFrameCount, 1001u);
    EXPECT_EQ(info.streamBytes, 417000u);
    EXPECT_DOUBLE_EQ(info.bitRate, average(417000, 1001, 44100, 1152));
}

TEST(MpegAudioVbr, LeadingId3v2TagsArePassedOver) {
    XingFrame f("Xing", 0x03, 1001, 417000);
    std::vector<uint8_t> data = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 2, 'x', 'x', 'i', 'd', '3', 4, 0, 0, 0, 0, 0, 0};
    data.insert(data.end(), f.b.begin(), f.b.end());
    auto info = parsed(data);
    EXPECT_EQ(info.hasXing, 1);
    EXPECT_EQ(info.frameSize, 417u);

    // A tag that runs past the bytes, or whose header is cut off: failure.
    MpegAudioInfo failed{};
    std::vector<uint8_t> longTag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0x7F, 0x7F, 0xFF, 0xFB, 0x90, 0x64};
    EXPECT_FALSE(parseVbrHeader(failed, longTag));
    std::vector<uint8_t> cut = {'I', 'D', '3', 3, 0, 0};
    EXPECT_FALSE(parseVbrHeader(failed, cut));
    std::vector<uint8_t> exact = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};  // ends exactly at the end
    EXPECT_FALSE(parseVbrHeader(failed, exact));
}

// Every prefix of a real first frame, in a buffer of exactly that size (the
// sanitizer build catches a read past it): fields are taken only when they
// lie inside.
TEST(MpegAudioVbr, ShortBuffersOfRealFirstFrames) {
    struct Row {
        const char* file;
        size_t frameSize;
        size_t signatureEnd;  // the header is seen from this length on
        size_t framesEnd;     // frame count read from here
        size_t bytesEnd;      // byte count read from here
        size_t lameEnd;       // LAME fields read from here (0: none)
    } rows[] = {
        {"mp3_vbr_v2.mp3", 417, 40, 48, 52, 156 + 25},
        {"mp3_cbr128.mp3", 417, 40, 48, 52, 156 + 25},
        {"mp3_vbri.mp3", 417, 40, 54, 50, 0},
        {"mp3_mpeg2_22khz.mp3", 208, 25, 33, 37, 141 + 25},
    };
    for (const auto& row : rows) {
        const auto whole = firstFrame(row.file, row.frameSize);
        for (size_t length = 0; length <= whole.size(); ++length) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            cut.shrink_to_fit();
            MpegAudioInfo info{};
            info.streamBytes = 1;
            bool ok = parseVbrHeader(info, cut);
            ASSERT_EQ(ok, length >= 4) << row.file << " " << length;
            if (!ok) continue;
            SCOPED_TRACE(std::string(row.file) + " length " + std::to_string(length));
            bool seen = length >= row.signatureEnd;
            EXPECT_EQ(info.hasXing || info.hasVbri, seen);
            uint32_t frames = info.hasVbri ? info.vbriFrameCount : info.xingFrameCount;
            EXPECT_EQ(frames != 0, length >= row.framesEnd);
            EXPECT_EQ(info.streamBytes != 1, length >= row.bytesEnd);
            EXPECT_EQ(info.hasLameTag != 0, row.lameEnd != 0 && length >= row.lameEnd);
            if (!seen) {
                EXPECT_STREQ(info.bitRateMode, "CBR");
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Description line (test templates: name=value|...)
// ---------------------------------------------------------------------------

class MpegAudioDescribe : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
};

MpegAudioInfo decodedInfo(std::array<uint8_t, 4> bytes) {
    MpegAudioInfo info{};
    EXPECT_TRUE(decodeMpegAudioHeader(bytes, info));
    return info;
}

TEST_F(MpegAudioDescribe, KeysAndPlaceholders) {
    // MPEG 2.5 at 8 kHz, no frame count (a container's sample): CBR2.
    auto low = decodedInfo(header(kMpeg25, kLayer3, 2, 2, 0, 3));
    auto f = test::fields(describeMpegAudio(low));
    EXPECT_EQ(f["tpl"], "MP3/CBR2");
    EXPECT_EQ(f["version"], "2.5");
    EXPECT_EQ(f["layer"], "III");
    EXPECT_EQ(f["sampleratek"], "8.00");
    EXPECT_EQ(f["samplerate"], "8000");
    EXPECT_EQ(f["bitratek"], "16.00");
    EXPECT_EQ(f["bitrate"], "16000.00");
    EXPECT_EQ(f["bitratemode"], "CBR");  // empty mode shows as CBR
    EXPECT_EQ(f["channel"], "Mono");

    // With a frame count: CBR1.
    auto layer2 = decodedInfo(header(kMpeg2, kLayer2, 8, 1, 0, 1, 2));
    layer2.cbrFrameCount = 21;
    f = test::fields(describeMpegAudio(layer2));
    EXPECT_EQ(f["tpl"], "MP3/CBR1");
    EXPECT_EQ(f["version"], "2");
    EXPECT_EQ(f["layer"], "II");
    EXPECT_EQ(f["sampleratek"], "24.00");
    EXPECT_EQ(f["channel"], "JointStereo/12-31");
    EXPECT_EQ(f["frame"], "21");

    // Xing without encoder text leaves #encname# as it stands.
    auto xing = parsed(XingFrame("Xing", 0x03, 1001, 417000).b);
    f = test::fields(describeMpegAudio(xing));
    EXPECT_EQ(f["tpl"], "MP3/XING");
    EXPECT_EQ(f["version"], "1");
    EXPECT_EQ(f["layer"], "III");
    EXPECT_EQ(f["channel"], "JointStereo/MS");
    EXPECT_EQ(f["vbrformat"], "Xing");
    EXPECT_EQ(f["frame"], "1001");
    EXPECT_EQ(f["bitratemode"], "VBR");
    EXPECT_EQ(f["encname"], "#encname#");
    EXPECT_EQ(f["bitratek"], format("%.2f", average(417000, 1001, 44100, 1152)));

    // An ABR LAME tag shows the ABR rate.
    XingFrame abr("Xing", 0x0F, 40, 11558);
    abr.lame("LAME3.100", 0x02, 96, 3);
    f = test::fields(describeMpegAudio(parsed(abr.b)));
    EXPECT_EQ(f["tpl"], "MP3/LAME");
    EXPECT_EQ(f["lame-version"], "LAME3.100");
    EXPECT_EQ(f["lame-vbrmode"], "ABR");
    EXPECT_EQ(f["lame-bitratek"], "96");
    EXPECT_EQ(f["lame-bitrate"], "96000");
    EXPECT_EQ(f["lame-channel"], "JointStereo");

    // Layer I, dual channel.
    auto layer1 = decodedInfo(header(kMpeg1, kLayer1, 12, 1, 0, 2, 3));
    f = test::fields(describeMpegAudio(layer1));
    EXPECT_EQ(f["layer"], "I");
    EXPECT_EQ(f["channel"], "DualChannel");
    EXPECT_EQ(f["sampleratek"], "48.00");
}

// ---------------------------------------------------------------------------
// Stream read
// ---------------------------------------------------------------------------

TEST(MpegAudioStream, UnknownRegionSizeGivesNoFrameCountAndNoTime) {
    test::TempDir dir;
    auto path = dir.write("a.mp2", std::string(reinterpret_cast<const char*>(firstFrame("mp2_twolame.mp2", 2000).data()), 2000));
    FileReader reader;
    ASSERT_TRUE(reader.open(*test::makeRecord(path)));
    MpegAudioInfo info{};
    info.computeDuration = 1;
    ASSERT_TRUE(readMpegAudioStream(info, reader));
    EXPECT_EQ(info.tags.scanEndTags, 0);
    EXPECT_EQ(info.cbrFrameCount, 0u);
    EXPECT_EQ(info.duration, 0);
    EXPECT_EQ(info.frameSize, 417u);
    EXPECT_EQ(reader.tell(), 417u);  // the first frame was read
}

TEST(MpegAudioStream, TagSizesLargerThanTheRegionAreClamped) {
    // An APE footer claiming 4 GB before 4 KB of audio: the byte count must
    // not wrap around to a play time of years.
    auto audio = firstFrame("mp2_twolame.mp2", 4000);
    std::string content(audio.begin(), audio.end());
    content += "APETAGEX" + bytes({0xD0, 0x07, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF}) + std::string(16, '\0');
    test::TempDir dir;
    FileReader reader;
    ASSERT_TRUE(reader.open(*test::makeRecord(dir.write("a.mp2", content))));
    MpegAudioInfo info{};
    info.streamBytes = content.size();
    info.computeDuration = 1;
    ASSERT_TRUE(readMpegAudioStream(info, reader));
    EXPECT_EQ(info.tags.hasApe, 1);
    EXPECT_EQ(info.streamBytes, 0u);
    EXPECT_EQ(info.duration, 0);
}

TEST(MpegAudioStream, XingPlayTimeCountsFramesMinusOne) {
    // 1,001 frames at 44.1 kHz: 1,000 x 1152 / 44,100 seconds.
    XingFrame f("Xing", 0x03, 1001, 417000);
    std::string content(f.b.begin(), f.b.end());
    content += std::string(2000, '\0');
    test::TempDir dir;
    FileReader reader;
    ASSERT_TRUE(reader.open(*test::makeRecord(dir.write("x.mp3", content))));
    MpegAudioInfo info{};
    info.streamBytes = content.size();
    info.computeDuration = 1;
    ASSERT_TRUE(readMpegAudioStream(info, reader));
    EXPECT_NEAR(info.duration, 1000 * 1152 / 44100.0, 1e-9);

    // Without computeDuration, no play time.
    FileReader again;
    ASSERT_TRUE(again.open(*test::makeRecord(dir.write("y.mp3", content))));
    MpegAudioInfo quiet{};
    quiet.streamBytes = content.size();
    ASSERT_TRUE(readMpegAudioStream(quiet, again));
    EXPECT_EQ(quiet.duration, 0);
    EXPECT_EQ(quiet.hasXing, 1);
}

// ---------------------------------------------------------------------------
// The file analyser on real files
// ---------------------------------------------------------------------------

// ffprobe's play times of the constant-rate fixtures, from
//   ffprobe -v error -show_entries format=duration -of csv=p=0 FILE
// (ffmpeg 5.1 of Debian 12). mp2_twolame_24khz_joint.mp2 is left out:
// ffprobe drops its first frame (joint stereo, unlike the 20 frames after
// it) and reports 0.96 s for its 21 frames of 0.048 s.
constexpr double kFfprobeCbr128 = 1.044898;
constexpr double kFfprobeId3v2Id3v1 = 1.044898;
constexpr double kFfprobeMpeg2_22k = 1.071020;
constexpr double kFfprobeMpeg25_8k = 1.152000;
constexpr double kFfprobeTwolame = 1.016438;
constexpr double kFfprobeFfmpeg48k = 1.008000;
constexpr double kFfprobeFfmpeg22kMono = 1.044750;
constexpr double kFfprobeLayer1_44k = 0.174083;
constexpr double kFfprobeLayer1Mpeg2 = 0.347500;

class MpegAudioAnalyser : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
};

TEST_F(MpegAudioAnalyser, ConstantRateFixtures) {
    struct Row {
        const char* file;
        std::map<std::string, std::string> expected;
        double ffprobe;
        const char* extra;
    } rows[] = {
        // LAME 3.100 CBR: an Info header with a LAME tag, read as CBR at the
        // header's rate; the Info frame itself is not counted as audio.
        {"mp3_cbr128.mp3",
         {{"tpl", "MP3/LAME"}, {"version", "1"}, {"layer", "III"}, {"samplerate", "44100"},
          {"sampleratek", "44.10"}, {"bitratek", "128.00"}, {"bitrate", "128000.00"}, {"bitratemode", "CBR"},
          {"channel", "JointStereo/MS"}, {"vbrformat", "LAME-Info"}, {"frame", "40"},
          {"lame-version", "LAME3.100"}, {"lame-vbrmode", "CBR"}, {"lame-bitratek", "128"},
          {"lame-bitrate", "128000"}, {"lame-channel", "JointStereo"}},
         kFfprobeCbr128, ""},
        {"mp3_id3v2_id3v1.mp3",
         {{"tpl", "MP3/LAME"}, {"bitratek", "128.00"}, {"bitratemode", "CBR"}, {"frame", "40"},
          {"lame-vbrmode", "CBR"}},
         kFfprobeId3v2Id3v1, "ID3v1 / ID3v2"},
        {"mp3_mpeg2_22khz.mp3",
         {{"tpl", "MP3/LAME"}, {"version", "2"}, {"layer", "III"}, {"samplerate", "22050"},
          {"sampleratek", "22.05"}, {"bitratek", "64.00"}, {"bitratemode", "CBR"}, {"frame", "41"},
          {"lame-bitratek", "64"}},
         kFfprobeMpeg2_22k, ""},
        // lame writes no Info frame into 144-byte frames.
        {"mp3_mpeg25_8khz_mono.mp3",
         {{"tpl", "MP3/CBR1"}, {"version", "2.5"}, {"layer", "III"}, {"samplerate", "8000"},
          {"sampleratek", "8.00"}, {"bitratek", "16.00"}, {"bitratemode", "CBR"}, {"channel", "Mono"},
          {"frame", "16"}},
         kFfprobeMpeg25_8k, ""},
        {"mp2_twolame.mp2",
         {{"tpl", "MP3/CBR1"}, {"version", "1"}, {"layer", "II"}, {"samplerate", "44100"},
          {"bitratek", "128.00"}, {"channel", "Stereo"}, {"frame", "39"}},
         kFfprobeTwolame, ""},
        {"mp2_ffmpeg_48k.mp2",
         {{"tpl", "MP3/CBR1"}, {"version", "1"}, {"layer", "II"}, {"samplerate", "48000"},
          {"bitratek", "128.00"}, {"channel", "Stereo"}, {"frame", "42"}},
         kFfprobeFfmpeg48k, ""},
        // MPEG-2 Layer II: 208-byte frames (144 x 32 / 22.05), 20 of them.
        {"mp2_ffmpeg_22khz_mono.mp2",
         {{"tpl", "MP3/CBR1"}, {"version", "2"}, {"layer", "II"}, {"samplerate", "22050"},
          {"bitratek", "32.00"}, {"channel", "Mono"}, {"frame", "20"}},
         kFfprobeFfmpeg22kMono, ""},
        {"mp1_layer1_44khz_joint.mp1",
         {{"tpl", "MP3/CBR1"}, {"version", "1"}, {"layer", "I"}, {"samplerate", "44100"},
          {"bitratek", "384.00"}, {"channel", "JointStereo/12-31"}, {"frame", "20"}},
         kFfprobeLayer1_44k, ""},
        // 2,780 bytes / 136 = 20 frames (the Part's 24 x 64 / 22.05 = 69 would give 40).
        {"mp1_layer1_mpeg2_22khz_mono.mp1",
         {{"tpl", "MP3/CBR1"}, {"version", "2"}, {"layer", "I"}, {"samplerate", "22050"},
          {"bitratek", "64.00"}, {"channel", "Mono"}, {"frame", "20"}},
         kFfprobeLayer1Mpeg2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        auto r = test::analyse(test::fixture(row.file));
        EXPECT_EQ(r->formatCode, 106);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "");
        auto f = audioFields(*r);
        for (const auto& [name, value] : row.expected) EXPECT_EQ(f[name], value) << name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(test::fixture(row.file))));
        EXPECT_NEAR(r->duration, row.ffprobe, row.ffprobe * 0.01);
        if (*row.extra) {
            ASSERT_EQ(r->extraCount, 1);
            EXPECT_STREQ(r->extraText[0], row.extra);
        } else {
            EXPECT_EQ(r->extraCount, 0) << r->extraText[0];
        }
    }
}

TEST_F(MpegAudioAnalyser, Mpeg2LayerTwoFramesAreTheSizeTwolameWrites) {
    // twolame at 24 kHz and 64 kbit/s: 8,064 bytes in 21 frames of 384 bytes.
    auto r = test::analyse(test::fixture("mp2_twolame_24khz_joint.mp2"));
    auto f = audioFields(*r);
    EXPECT_EQ(f["tpl"], "MP3/CBR1");
    EXPECT_EQ(f["version"], "2");
    EXPECT_EQ(f["layer"], "II");
    EXPECT_EQ(f["samplerate"], "24000");
    EXPECT_EQ(f["bitratek"], "64.00");
    EXPECT_EQ(f["channel"], "JointStereo/4-31");
    EXPECT_EQ(f["frame"], "21");
    EXPECT_NEAR(r->duration, 21 * 1152 / 24000.0, 1e-9);
}

TEST_F(MpegAudioAnalyser, VariableRateFixtures) {
    // The average runs over frame count - 1 intervals, so the play time is
    // (count - 1) x 1152 / rate: 39 frames' worth where ffprobe reports 40
    // (1.044898 s). The byte counts include the header frame.
    struct Row {
        const char* file;
        std::map<std::string, std::string> expected;
        double bytes, frames;
    } rows[] = {
        {"mp3_vbr_v2.mp3",
         {{"tpl", "MP3/LAME"}, {"bitratemode", "VBR"}, {"vbrformat", "Xing"}, {"frame", "40"},
          {"channel", "JointStereo/MS"}, {"lame-version", "LAME3.100"}, {"lame-vbrmode", "VBR-NEW/MTRH"},
          {"lame-bitratek", "32"}, {"lame-bitrate", "32000"}, {"lame-channel", "JointStereo"}},
         11631, 40},
        {"mp3_abr96.mp3",
         {{"tpl", "MP3/LAME"}, {"bitratemode", "VBR"}, {"vbrformat", "Xing"}, {"frame", "40"},
          {"lame-vbrmode", "ABR"}, {"lame-bitratek", "96"}, {"lame-bitrate", "96000"}},
         11558, 40},
        {"mp3_vbri.mp3",
         {{"tpl", "MP3/VBRI"}, {"bitratemode", "VBR"}, {"vbrformat", "VBRI"}, {"frame", "40"},
          {"vbri-qr", "75"}, {"samplerate", "44100"}, {"channel", "JointStereo/MS"}},
         11631, 40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        auto r = test::analyse(test::fixture(row.file));
        auto f = audioFields(*r);
        for (const auto& [name, value] : row.expected) EXPECT_EQ(f[name], value) << name;
        double rate = average(row.bytes, row.frames, 44100, 1152);
        EXPECT_EQ(f["bitratek"], format("%.2f", rate));
        EXPECT_NEAR(r->duration, (row.frames - 1) * 1152 / 44100, 1e-9);
    }
}

TEST_F(MpegAudioAnalyser, AnOldLameTagIsReadAsXing) {
    // mp3_cbr128.mp3 with its version text turned into 3.88: no LAME values,
    // the text goes to #encname#, and the Info header counts as VBR.
    auto data = readFile(test::fixture("mp3_cbr128.mp3"));
    ASSERT_EQ(std::string(data.begin() + 156, data.begin() + 165), "LAME3.100");
    putText(data, 156, "LAME3.88 ");
    test::TempDir dir;
    auto r = test::analyse(dir.write("old.mp3", std::string(data.begin(), data.end())));
    auto f = audioFields(*r);
    EXPECT_EQ(f["tpl"], "MP3/XING");
    EXPECT_EQ(f["vbrformat"], "LAME-Info");
    EXPECT_EQ(f["bitratemode"], "VBR");
    EXPECT_EQ(f["encname"], "LAME3.88 ");
    EXPECT_EQ(f["bitratek"], format("%.2f", average(17135, 40, 44100, 1152)));
}

TEST_F(MpegAudioAnalyser, Failures) {
    struct Row {
        const char* name;
        std::filesystem::path path;
        const char* error;
    } rows[] = {
        {"free format", test::fixture("mp3_freeformat.mp3"), "[MP3] 不正なシーケンスヘッダです"},
        {"no frame", test::fixture("unknown_content.mpga"), "[MP3] シーケンスヘッダが見つかりません"},
        {"missing file", test::fixture("no_such_file.mp3"), "ファイルのオープンに失敗"},
    };
    for (const auto& row : rows) {
        auto r = test::makeRecord(row.path);
        r->formatCode = 106;
        GetFileInfo(r.get());
        EXPECT_EQ(r->errorText, test::cp(row.error)) << row.name;
        EXPECT_EQ(r->audioCount, 0) << row.name;
    }
}

TEST_F(MpegAudioAnalyser, JunkTagsAndHeadersInFront) {
    const auto frames = readFile(test::fixture("mp2_twolame.mp2"));
    const std::string audio(frames.begin(), frames.end());
    auto id3 = [](int body) { return bytes({'I', 'D', '3', 3, 0, 0, 0, 0, 0, body}) + std::string(body, 'x'); };
    test::TempDir dir;

    // Junk before the first frame: reported, and the frame after it read.
    auto junk = test::analyse(dir.write("junk.mp2", std::string(100, '\x11') + audio));
    ASSERT_EQ(junk->extraCount, 1);
    EXPECT_EQ(junk->extraText[0], test::cp("無効なデータが存在します(100)"));
    EXPECT_EQ(audioFields(*junk)["layer"], "II");

    // Two ID3v2 tags back to back.
    auto two = test::analyse(dir.write("two.mp2", id3(20) + id3(30) + audio));
    ASSERT_EQ(two->extraCount, 2);
    EXPECT_EQ(two->extraText[0], test::cp("ID3v2タグが複数存在します(2)"));
    EXPECT_STREQ(two->extraText[1], "ID3v2");
    EXPECT_NEAR(two->duration, frames.size() * 8 / 128000.0, 1e-9);

    // A tag behind junk: the sync search stops at "ID3"; that tag is passed
    // over, not read as a frame header (it would decode as MPEG 2.5 Layer II).
    auto hidden = test::analyse(dir.write("hidden.mp2", id3(20) + std::string(7, '\0') + id3(40) + audio));
    ASSERT_GE(hidden->extraCount, 1);
    EXPECT_EQ(hidden->extraText[0], test::cp("無効なデータが存在します(7)"));
    auto f = audioFields(*hidden);
    EXPECT_EQ(f["version"], "1");
    EXPECT_EQ(f["layer"], "II");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_NEAR(hidden->duration, (frames.size() + 7) * 8 / 128000.0, 1e-9);
}

TEST_F(MpegAudioAnalyser, ShippedTemplatesFillEveryPlaceholder) {
    test::useShippedData();
    for (const char* name : {"mp3_cbr128.mp3", "mp3_vbr_v2.mp3", "mp3_vbri.mp3", "mp2_twolame_24khz_joint.mp2",
                             "mp3_mpeg25_8khz_mono.mp3", "mp1_layer1_44khz_joint.mp1"}) {
        auto r = test::analyse(test::fixture(name));
        ASSERT_EQ(r->audioCount, 1) << name;
        EXPECT_EQ(std::string(r->audioText[0]).find('#'), std::string::npos) << name << ": " << r->audioText[0];
    }
}

}  // namespace
}  // namespace vesko
