// Tests of the analysers of audio formats with small fixed headers: Monkey's
// Audio, TTA, OptimFROG, Musepack SV7, TwinVQ, Shockwave Audio and Sun/NeXT
// audio.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "audio/small_audio.h"
#include "io.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

Bytes asBytes(const std::string& s) { return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> lines(const char (*texts)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(texts[i]);
    return out;
}

// An ID3v2.3 tag with `size` bytes of (empty) frame data.
std::string id3v2(uint32_t size) {
    return std::string("ID3\x03\x00\x00", 6) + static_cast<char>((size >> 21) & 0x7F) + static_cast<char>((size >> 14) & 0x7F) +
           static_cast<char>((size >> 7) & 0x7F) + static_cast<char>(size & 0x7F) + std::string(size, '\0');
}

std::string id3v1() { return "TAG" + std::string(125, ' '); }

// An APEv2 tag (header, one item, footer); the footer's size counts the
// item and the footer, not the header.
std::string apeTag() {
    const std::string item = le32(5) + le32(0) + std::string("Title\0Vesko", 11);
    auto frame = [&](uint32_t flags) {
        return std::string("APETAGEX") + le32(2000) + le32(static_cast<uint32_t>(item.size() + 32)) + le32(1) + le32(flags) +
               std::string(8, '\0');
    };
    return frame(0xA0000000) + item + frame(0x80000000);
}
constexpr uint32_t kApeTagHeaderBytes = 32;

std::unique_ptr<AnalysisRecord> analyseAs(const test::TempDir& dir, const std::string& name, const std::string& bytes,
                                          int32_t code) {
    auto record = test::makeRecord(dir.write(name, bytes));
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

std::string exception(int code) { return cp("[Exception] 例外終了(" + std::to_string(code) + ")"); }

// ---- format builders ----

// Monkey's Audio from version 3.98: the 52-byte descriptor, then the header.
std::string apeDescriptorHeader(uint16_t version, uint16_t level, uint32_t blocksPerFrame, uint32_t finalBlocks,
                                uint32_t frames, uint16_t bits, uint16_t channels, uint32_t rate) {
    return "MAC " + le16(version) + le16(0) + le32(52) + le32(24) + std::string(36, '\0') + le16(level) + le16(0) +
           le32(blocksPerFrame) + le32(finalBlocks) + le32(frames) + le16(bits) + le16(channels) + le32(rate);
}

// Monkey's Audio before version 3.98: one 32-byte header.
std::string apeOldHeader(uint16_t version, uint16_t level, uint16_t flags, uint16_t channels, uint32_t rate,
                         uint32_t headerBytes, uint32_t frames, uint32_t finalBlocks) {
    return "MAC " + le16(version) + le16(level) + le16(flags) + le16(channels) + le32(rate) + le32(headerBytes) + le32(0) +
           le32(frames) + le32(finalBlocks);
}

// TTA1 (26 bytes as the analyser counts them).
std::string tta1(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t samples) {
    return "TTA1" + le16(1) + le16(channels) + le16(bits) + le32(rate) + le32(samples) + le32(0x12345678) + le32(0);
}

std::string chunkLe(const std::string& id, const std::string& data) { return id + le32(static_cast<uint32_t>(data.size())) + data; }
std::string chunkBe(const std::string& id, const std::string& data) { return id + be32(static_cast<uint32_t>(data.size())) + data; }

// An "OFR " chunk body of 15 bytes: samples over all channels (48 bits),
// sample type, channels less one, rate, encoder, compression byte.
std::string ofrBody(uint64_t samples, uint8_t type, uint8_t channelByte, uint32_t rate, uint8_t compression) {
    return le32(static_cast<uint32_t>(samples)) + le16(static_cast<uint32_t>(samples >> 32)) + static_cast<char>(type) +
           static_cast<char>(channelByte) + le32(rate) + le16(4520) + static_cast<char>(compression);
}

// A Musepack SV7 header of 30 bytes.
std::string mpcHeader(uint8_t versionByte, uint32_t frames, bool intensity, bool midSide, uint32_t rateIndex,
                      uint32_t lastFrameSamples) {
    const uint32_t flags = (intensity ? 0x80000000u : 0) | (midSide ? 0x40000000u : 0) | (rateIndex << 16) | 0x7FFF;
    return std::string("MP+") + static_cast<char>(versionByte) + le32(frames) + le32(flags) + le32(0) + le32(0) +
           le32(0x80000000u | (lastFrameSamples << 20)) + std::string(6, '\0');
}

// TwinVQ: "TWIN", version, header size, the chunks, and a DATA chunk.
std::string twinVq(const std::string& chunks, const std::string& version = "97012000", const std::string& data = std::string(1000, 'd')) {
    return "TWIN" + version + be32(static_cast<uint32_t>(chunks.size())) + chunks + chunkBe("DATA", data);
}
std::string comm(uint32_t channelMode, uint32_t kbps, uint32_t code) {
    return chunkBe("COMM", be32(channelMode) + be32(kbps) + be32(code) + be32(0));
}

// A Sun/NeXT header of 32 bytes.
std::string auHeader(uint32_t dataSize, uint32_t encoding, uint32_t rate, uint32_t channels, uint32_t offset = 32) {
    return ".snd" + be32(offset) + be32(dataSize) + be32(encoding) + be32(rate) + be32(channels) + std::string(8, '\0');
}

class SmallAudioTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    test::TempDir dir;
};

// ======================================================================
// Monkey's Audio
// ======================================================================

TEST(ApeHeader, BlocksPerFrameOfTheOldLayout) {
    const struct {
        uint16_t version, level;
        uint32_t expected;
    } cases[] = {
        {3970, 2000, 294912}, {3950, 1000, 294912}, {3949, 2000, 73728}, {3900, 5000, 73728}, {3899, 4000, 73728},
        {3899, 3000, 9216},   {3800, 4000, 73728},  {3800, 5000, 9216},  {3799, 4000, 9216},  {3600, 2000, 9216},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(apeBlocksPerFrame(c.version, c.level), c.expected);
    }
}

TEST(ApeHeader, CompressionNames) {
    const std::map<uint16_t, std::string> names = {{0, "Unknown"},      {1000, "Fast"},   {2000, "Normal"},
                                                   {3000, "High"},      {4000, "Extra-High"}, {5000, "Insane"},
                                                   {1500, "Invalid"},   {6000, "Invalid"}};
    for (const auto& [level, name] : names) EXPECT_EQ(apeCompressionName(level), name) << level;
}

TEST(ApeHeader, DescriptorLayout) {
    // Version 3.99, 100 frames of 294,912 blocks, 1,000 in the last.
    ApeInfo info{};
    decodeApeHeader(asBytes(apeDescriptorHeader(3990, 3000, 294912, 1000, 100, 16, 2, 44100)), info);
    EXPECT_EQ(info.totalBlocks, 29197288u);
    EXPECT_NEAR(info.duration, 662.07, 0.005);
    EXPECT_EQ(info.sampleRate, 44100u);
    EXPECT_EQ(info.bitDepth, 16);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.totalFrames, 100u);
    EXPECT_STREQ(info.compressionName, "High");
}

TEST(ApeHeader, OldLayoutBitDepthFromTheFlags) {
    const struct {
        uint16_t flags, bits;
    } cases[] = {{0x0000, 16}, {0x0001, 8}, {0x0008, 24}, {0x0009, 24}, {0x0002, 16}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        ApeInfo info{};
        decodeApeHeader(asBytes(apeOldHeader(3970, 2000, c.flags, 2, 44100, 44, 2, 100)), info);
        EXPECT_EQ(info.bitDepth, c.bits);
        EXPECT_EQ(info.totalBlocks, 294912u + 100);
    }
}

TEST(ApeHeader, CountsPastThirtyTwoBitsStayWhole) {
    // 8 channels of 24 bits and 20,000 frames: 5.9e9 blocks and 1.4e11 PCM
    // bytes, both past 2^32. Without a stored WAVE header the bit rate is
    // the stream's bytes over the play time.
    ApeInfo info{};
    info.computeDuration = 1;
    info.streamBytes = 40000000000ull;
    decodeApeHeader(asBytes(apeDescriptorHeader(3990, 2000, 294912, 294912, 20000, 24, 8, 48000)), info);
    EXPECT_EQ(info.totalBlocks, 20000ull * 294912);
    EXPECT_DOUBLE_EQ(info.duration, 20000.0 * 294912 / 48000);
    EXPECT_NEAR(info.bitRate, 40000000000.0 * 8 / info.duration, 1e-6 * info.bitRate);
}

TEST(ApeHeader, NoFramesHoldNoBlocks) {
    ApeInfo info{};
    info.computeDuration = 1;
    info.streamBytes = 1000;
    decodeApeHeader(asBytes(apeDescriptorHeader(3990, 2000, 294912, 0, 0, 16, 2, 44100)), info);
    EXPECT_EQ(info.totalBlocks, 0u);
    EXPECT_EQ(info.duration, 0.0);
    EXPECT_EQ(info.bitRate, 0.0);
}

TEST_F(SmallAudioTest, ApeBitRateScalesThePcmRateByTheStoredBytes) {
    // Old layout with a 44-byte stored WAVE header: 44,100 blocks of 16-bit
    // stereo (176,400 PCM bytes) stored in 32 + 44 + 17,600 bytes.
    const std::string bytes = apeOldHeader(3970, 2000, 0, 2, 44100, 44, 1, 44100) + std::string(44 + 17600, 'a');
    auto r = analyseAs(dir, "a.ape", bytes, VESKO_FMT_MONKEYS_AUDIO);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 1.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["tpl"], "APE/AUDIO");
    const double expected = 44100.0 * 2 * 16 * bytes.size() / (176400 + 44);
    EXPECT_EQ(f["bitrate"], format("%.2f", expected));
    EXPECT_EQ(f["comptype"], "Normal");
    EXPECT_EQ(f["frame"], "1");
}

TEST_F(SmallAudioTest, ApeTagsAndTheByteCount) {
    // An APE tag is no audio; an ID3v1 tag stays in the count; leading ID3v2
    // tags are passed over (the header follows them) and are no audio.
    const std::string audio = apeDescriptorHeader(3990, 2000, 73728, 44100, 1, 16, 2, 44100) + std::string(8000 - 76, 'x');
    const struct {
        const char* what;
        std::string bytes;
        double streamBytes;
        std::vector<std::string> extra;
    } cases[] = {
        {"none", audio, 8000, {}},
        {"APE: the size its footer gives", audio + apeTag(), 8000 + kApeTagHeaderBytes, {"APE"}},
        {"ID3v1", audio + id3v1(), 8000 + 128, {"ID3v1"}},
        {"ID3v2", id3v2(500) + audio, 8000, {"ID3v2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = dir.write("t.ape", c.bytes);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_MONKEYS_AUDIO);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["samplerate"], "44100");
        EXPECT_EQ(f["bitrate"], format("%.2f", c.streamBytes * 8));
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(SmallAudioTest, ApeSampleRateZeroIsAnArithmeticFault) {
    auto r = analyseAs(dir, "z.ape", apeDescriptorHeader(3990, 2000, 73728, 1, 1, 16, 2, 0), VESKO_FMT_MONKEYS_AUDIO);
    EXPECT_EQ(std::string(r->errorText), exception(114));
}

TEST_F(SmallAudioTest, ApeFixtures) {
    const struct {
        const char* file;
        std::map<std::string, std::string> audio;
        std::vector<std::string> extra;
        double duration;  // the header's, equal to ffprobe's
    } cases[] = {
        {"ape_v399.ape",
         {{"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"}, {"comptype", "Normal"}, {"frame", "1"}},
         {"APE"},
         0.5},
        {"ape_v397_old_header.ape",
         {{"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"}, {"comptype", "High"}, {"frame", "1"}},
         {},
         0.5},
        {"ape_v380_extra_high.ape",
         {{"samplerate", "22050"}, {"sampleratek", "22.05"}, {"bitdepth", "8"}, {"channel", "1"}, {"comptype", "Extra-High"},
          {"frame", "2"}},
         {"ID3v1"},
         74728.0 / 22050},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_MONKEYS_AUDIO);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        for (const auto& [name, value] : c.audio) EXPECT_EQ(f[name], value) << name;
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

// ======================================================================
// TTA
// ======================================================================

TEST(TtaHeader, Layouts) {
    const struct {
        std::string header;
        uint16_t version, channels, bits;
        uint32_t rate, samples;
        uint64_t headerBytes;
    } cases[] = {
        {std::string("TTA\x01", 4) + le16(2) + le16(16) + le32(44100) + le32(88200), 1, 2, 16, 44100, 88200, 16},
        {std::string("TTA\x03", 4) + le16(1) + le16(8) + le32(8000) + le32(4000), 1, 1, 8, 8000, 4000, 16},
        {tta1(6, 24, 96000, 960000), 3, 6, 24, 96000, 960000, 26},
        {"TTA2" + le16(1) + le16(0) + le16(2) + le16(16) + le32(48000) + le32(48000), 2, 2, 16, 48000, 48000, 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        TtaInfo info{};
        info.streamBytes = 100000;
        info.computeDuration = 1;
        ASSERT_TRUE(readTtaHeader(asBytes(c.header), info));
        EXPECT_EQ(info.version, c.version);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.bitDepth, c.bits);
        EXPECT_EQ(info.sampleRate, c.rate);
        EXPECT_EQ(info.sampleCount, c.samples);
        EXPECT_EQ(info.streamBytes, 100000 - c.headerBytes);
        EXPECT_DOUBLE_EQ(info.duration, static_cast<double>(c.samples) / c.rate);
        EXPECT_DOUBLE_EQ(info.bitRate, (100000.0 - c.headerBytes) * 8 / info.duration);
    }
}

TEST(TtaHeader, UnknownVersionBytesFail) {
    for (char version : {'\0', '\x04', '3', '0', 'A'}) {
        SCOPED_TRACE(static_cast<int>(version));
        TtaInfo info{};
        EXPECT_FALSE(readTtaHeader(asBytes(std::string("TTA") + version + std::string(22, '\x01')), info));
        EXPECT_EQ(std::string(info.message), cp("[TTA] 不正/未対応バージョンのTTAです"));
    }
}

TEST(TtaHeader, NoSamplesNoBitRate) {
    TtaInfo info{};
    info.streamBytes = 5000;
    info.computeDuration = 1;
    ASSERT_TRUE(readTtaHeader(asBytes(tta1(2, 16, 44100, 0)), info));
    EXPECT_EQ(info.duration, 0.0);
    EXPECT_EQ(info.bitRate, 0.0);
}

TEST_F(SmallAudioTest, TtaTagsAreNoAudio) {
    // 44,100 samples at 44.1 kHz (1 s); the header's 26 bytes and every tag
    // are taken off the byte count.
    const std::string audio = tta1(2, 16, 44100, 44100) + std::string(4000, 'z');
    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> extra;
    } cases[] = {
        {"none", audio, {}},
        {"ID3v2, ID3v1", id3v2(100) + audio + id3v1(), {"ID3v1 / ID3v2"}},
        {"APE", audio + apeTag().substr(32), {"APE"}},  // the tag without its header: the footer counts it all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = test::analyse(dir.write("t.tta", c.bytes));
        ASSERT_EQ(r->formatCode, VESKO_FMT_TTA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "TTA/AUDIO");
        EXPECT_EQ(f["version"], "3");
        EXPECT_EQ(f["bitrate"], "32000.00");  // 4,000 bytes in 1 s
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(SmallAudioTest, TtaUnknownVersionIsTheErrorText) {
    auto r = analyseAs(dir, "v.tta", "TTA9" + std::string(40, '\0'), VESKO_FMT_TTA);
    EXPECT_EQ(std::string(r->errorText), cp("[TTA] 不正/未対応バージョンのTTAです"));
    EXPECT_EQ(r->audioCount, 0);
}

TEST_F(SmallAudioTest, TtaFixtures) {
    const struct {
        const char* file;
        std::map<std::string, std::string> audio;
        std::vector<std::string> extra;
        double duration;  // ffprobe's
    } cases[] = {
        // ffmpeg's encoder stores 24 bits for its 16-bit source.
        {"tta_ffmpeg.tta", {{"version", "3"}, {"samplerate", "44100"}, {"bitdepth", "24"}, {"channel", "2"}}, {}, 0.25},
        {"tta_ffmpeg_apetag.tta", {{"version", "3"}, {"samplerate", "8000"}, {"bitdepth", "16"}, {"channel", "1"}}, {"APE"}, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_TTA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        auto f = test::fields(r->audioText[0]);
        for (const auto& [name, value] : c.audio) EXPECT_EQ(f[name], value) << name;
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
    // The APE tag (59 bytes by its footer) and the header are no audio.
    const auto path = test::fixture("tta_ffmpeg_apetag.tta");
    auto r = test::analyse(path);
    const double bytes = static_cast<double>(std::filesystem::file_size(path)) - 59 - 26;
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], format("%.2f", bytes * 8 / 0.5));
}

// ======================================================================
// OptimFROG
// ======================================================================

class OptimFrogTest : public SmallAudioTest {
protected:
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes, const std::string& name = "a.ofr") {
        return analyseAs(dir, name, bytes, VESKO_FMT_OPTIMFROG);
    }
};

TEST_F(OptimFrogTest, CompressionAndSpeedModes) {
    const char* const modes[] = {"Fast", "Normal", "High", "Extra", "Best", "Ultra", "Insane", "Highnew", "Extranew", "Bestnew"};
    const char* const speeds[] = {"1x", "2x", "4x"};
    for (int mode = 0; mode < 32; ++mode) {
        for (int speed = 0; speed < 8; ++speed) {
            SCOPED_TRACE(mode * 8 + speed);
            auto r = analyse(chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, static_cast<uint8_t>(mode << 3 | speed))) +
                             chunkLe("COMP", std::string(100, 'c')));
            if (mode > 9) {
                EXPECT_EQ(std::string(r->errorText), cp("[OFR] 不明な圧縮モード(" + std::to_string(mode) + ")"));
            } else if (speed > 2) {
                EXPECT_EQ(std::string(r->errorText), cp("[OFR] 不明な速度モード(" + std::to_string(speed) + ")"));
            } else {
                ASSERT_STREQ(r->errorText, "");
                auto f = test::fields(r->audioText[0]);
                EXPECT_EQ(f["comptype"], modes[mode]);
                EXPECT_EQ(f["compspeed"], speeds[speed]);
            }
        }
    }
}

TEST_F(OptimFrogTest, SampleTypes) {
    const std::map<uint8_t, std::string> depths = {{0, "8"},  {1, "8"},  {2, "16"}, {3, "16"}, {4, "24"},
                                                   {5, "24"}, {6, "32"}, {10, "32"}, {11, "0"}};
    for (const auto& [type, depth] : depths) {
        auto r = analyse(chunkLe("OFR ", ofrBody(88200, type, 1, 44100, 8)));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(test::fields(r->audioText[0])["bitdepth"], depth) << static_cast<int>(type);
    }
}

TEST_F(OptimFrogTest, PlayTimeAndBitRateFromTheCompressedChunks) {
    // 88,200 samples over two channels at 44.1 kHz: 1 s. The audio runs from
    // the first COMP chunk to the first TAIL chunk (their headers' offsets).
    const std::string head = chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, 8)) + chunkLe("HEAD", std::string(44, 'h'));
    const std::string comp = chunkLe("COMP", std::string(992, 'c')) + chunkLe("comp", std::string(992, 'c'));
    const struct {
        const char* what;
        std::string bytes;
        double audioBytes;
    } cases[] = {
        {"COMP to TAIL", head + comp + chunkLe("TAIL", "") + chunkLe("MD5 ", std::string(16, 'm')), 2000},
        {"no TAIL: to the end of the file", head + comp + chunkLe("APET", std::string(40, 'a')), 2000 + 48},
        {"second TAIL ignored", head + comp + chunkLe("TAIL", "") + chunkLe("TAIL", ""), 2000},
        {"no COMP: from the start", chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, 8)) + chunkLe("TAIL", ""), 23},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "OPTIMFROG/AUDIO");
        EXPECT_EQ(f["bitrate"], format("%.2f", c.audioBytes * 8));
        EXPECT_EQ(f["channel"], "2");
        EXPECT_EQ(f["samplerate"], "44100");
        EXPECT_EQ(f["hybrid"], "SingleStream");
    }
}

TEST_F(OptimFrogTest, ChunkLengthDecidesWhatIsRead) {
    // 12 bytes: the channel byte is the count, no compression byte. Longer:
    // the count is stored less one, and the compression byte at 14 is read
    // only when the chunk holds it (not from the next chunk's bytes).
    const std::string body = ofrBody(88200, 3, 2, 44100, (1 << 3) | 1);
    const struct {
        size_t length;
        const char* channels;
        const char* comptype;
        const char* speed;
    } cases[] = {
        {12, "2", "", ""},
        {13, "3", "", ""},
        {14, "3", "", ""},
        {15, "3", "Normal", "2x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        auto r = analyse(chunkLe("OFR ", body.substr(0, c.length)) + chunkLe("COMP", std::string(8, 'H')));
        ASSERT_STREQ(r->errorText, "");
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["channel"], c.channels);
        EXPECT_EQ(f["comptype"], c.comptype);
        EXPECT_EQ(f["compspeed"], c.speed);
        // Also when the file ends right after the chunk's bytes.
        auto cut = analyse(chunkLe("OFR ", body.substr(0, c.length)));
        ASSERT_STREQ(cut->errorText, "");
        EXPECT_EQ(test::fields(cut->audioText[0])["comptype"], c.comptype);
    }
}

TEST_F(OptimFrogTest, BoundedWalks) {
    const std::string ofr = chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, 8));
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"zero-size chunks", ofr + chunkLe("HEAD", "") + chunkLe("COMP", "") + chunkLe("XXXX", "")},
        {"size past the end", ofr + "COMP" + le32(0xFFFFFFFF) + "abc"},
        {"cut inside a chunk header", ofr + "COM"},
        {"many empty chunks", ofr + [] {
             std::string s;
             for (int i = 0; i < 5000; ++i) s += chunkLe("JUNK", "");
             return s;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
    }
}

TEST_F(OptimFrogTest, ParametersMissingAreAnArithmeticFault) {
    // No "OFR " chunk of at least 12 bytes: no channels and no sample rate.
    for (const std::string& bytes : {chunkLe("OFR ", std::string(11, '\x01')), std::string("OFR ") + le32(15)}) {
        auto r = analyse(bytes);
        EXPECT_EQ(std::string(r->errorText), exception(125));
    }
}

TEST_F(OptimFrogTest, CorrectionFileBesideMakesDualStream) {
    const std::string bytes = chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, 8)) + chunkLe("COMP", std::string(100, 'c'));
    const struct {
        const char* file;
        const char* correction;
        const char* mode;
    } cases[] = {
        {"song.ofr", "song.ofc", "DualStream"},
        {"song.ofr", nullptr, "SingleStream"},
        {"song.v1.ofr", "song.v1.ofc", "DualStream"},
        {"song.v1.ofr", "song.ofc", "SingleStream"},
        {"noext", "noext.ofc", "DualStream"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + (c.correction ? c.correction : "-"));
        test::TempDir local;
        if (c.correction) local.write(c.correction, "x");
        auto r = analyseAs(local, c.file, bytes, VESKO_FMT_OPTIMFROG);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(test::fields(r->audioText[0])["hybrid"], c.mode);
    }
    // A "." in a folder name is no extension.
    test::TempDir local;
    std::filesystem::create_directory(local.path() / "album.v2");
    local.write("album.v2/track", bytes);
    local.write("album.ofc", "x");
    auto record = test::makeRecord(local.path() / "album.v2" / "track");
    record->formatCode = VESKO_FMT_OPTIMFROG;
    GetFileInfo(record.get());
    ASSERT_STREQ(record->errorText, "");
    EXPECT_EQ(test::fields(record->audioText[0])["hybrid"], "SingleStream");
    local.write("album.v2/track.ofc", "x");
    GetFileInfo(record.get());
    EXPECT_EQ(test::fields(record->audioText[1])["hybrid"], "DualStream");
}

TEST_F(OptimFrogTest, Fixtures) {
    auto r = test::analyse(test::fixture("optimfrog_v5.ofr"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_OPTIMFROG);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 1.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["hybrid"], "SingleStream");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["comptype"], "Normal");
    EXPECT_EQ(f["compspeed"], "1x");
    EXPECT_EQ(f["bitrate"], "48064.00");  // the COMP chunk: 8 + 6,000 bytes
    EXPECT_EQ(r->extraCount, 0);

    r = test::analyse(test::fixture("optimfrog_12_byte_header.ofr"));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 0.5);
    f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["samplerate"], "48000");
    EXPECT_EQ(f["bitdepth"], "24");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["comptype"], "");
    EXPECT_EQ(f["compspeed"], "");
    EXPECT_EQ(f["bitrate"], "48128.00");  // no TAIL: COMP to the end of the file, 3,008 bytes

    r = test::analyse(test::fixture("optimfrog_old_star_riff.ofr"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_OPTIMFROG);
    EXPECT_EQ(std::string(r->errorText), cp("[OFR] v4.21以下のヘッダは未対応です"));
    EXPECT_EQ(r->audioCount, 0);
}

// ======================================================================
// Musepack SV7
// ======================================================================

TEST(MusePackHeader, VersionStereoModeAndSampleRate) {
    const struct {
        uint8_t versionByte;
        bool intensity, midSide;
        uint32_t rateIndex;
        const char* version;
        const char* channel;
        const char* rate;
    } cases[] = {
        {0x17, true, true, 0, "7.1", "Stereo/I+MS", "44100"},
        {0x07, false, true, 1, "7.0", "Stereo/MS", "48000"},
        {0x27, true, false, 2, "7.2", "Stereo/I", "37800"},
        {0x07, false, false, 3, "7.0", "Stereo", "32000"},
    };
    test::useTestData();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        MpcInfo info{};
        decodeMpcHeader(asBytes(mpcHeader(c.versionByte, 10, c.intensity, c.midSide, c.rateIndex, 100)), info);
        info.channels = 2;
        auto f = test::fields(describeMusePack(info));
        EXPECT_EQ(f["version"], c.version);
        EXPECT_EQ(f["channel"], c.channel);
        EXPECT_EQ(f["samplerate"], c.rate);
    }
}

TEST(MusePackHeader, TotalSamples) {
    const struct {
        uint32_t frames, last;
        uint64_t samples;
    } cases[] = {
        {1000, 500, 1151348},
        {1, 1152, 1152},
        {1, 0, 0},
        {0, 500, 0},  // no frames: nothing, not 2^32 less a frame
        {0xFFFFFFFF, 1, 4294967294ull * 1152 + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        MpcInfo info{};
        info.computeDuration = 1;
        info.streamBytes = 1000;
        decodeMpcHeader(asBytes(mpcHeader(0x17, c.frames, false, false, 0, c.last)), info);
        EXPECT_EQ(info.totalSamples, c.samples);
        EXPECT_DOUBLE_EQ(info.duration, c.samples / 44100.0);
        EXPECT_EQ(info.bitRate, c.samples ? 8000 / info.duration : 0.0);
    }
}

TEST_F(SmallAudioTest, MusePackPlayTimeAndBitRate) {
    // 1,000 frames, 500 samples in the last: 26.107 s; the bit rate covers
    // the file less the 30-byte header.
    const std::string bytes = mpcHeader(0x17, 1000, true, true, 0, 500) + std::string(20000, 'm');
    auto r = analyseAs(dir, "a.mpc", bytes, VESKO_FMT_MUSEPACK);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_NEAR(r->duration, 26.107, 0.001);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["tpl"], "MUSEPACK/AUDIO");
    EXPECT_EQ(f["version"], "7.1");
    EXPECT_EQ(f["channel"], "Stereo/I+MS");
    EXPECT_EQ(f["bitrate"], format("%.2f", 20000.0 * 8 / (1151348 / 44100.0)));
}

TEST_F(SmallAudioTest, MusePackFixture) {
    // The header's gapless field puts 324 samples in the last of 39 frames:
    // 44,100 samples, 1 s. ffprobe counts whole frames (1.0188 s).
    const auto path = test::fixture("musepack_sv7.mpc");
    auto r = test::analyse(path);
    ASSERT_EQ(r->formatCode, VESKO_FMT_MUSEPACK);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 1.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["version"], "7.1");
    EXPECT_EQ(f["channel"], "Stereo/MS");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["sampleratek"], "44.10");
    EXPECT_EQ(f["bitrate"], format("%.2f", (std::filesystem::file_size(path) - 30) * 8.0));
}

// ======================================================================
// TwinVQ
// ======================================================================

class TwinVqTest : public SmallAudioTest {
protected:
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes) { return analyseAs(dir, "a.vqf", bytes, VESKO_FMT_TWINVQ); }
};

TEST_F(TwinVqTest, CommChunk) {
    // Channel mode 1, 48 kbit/s, code 44: 2 channels, 48,000 bit/s, 44.1 kHz;
    // the play time is the file's bits over the bit rate.
    const std::string bytes = twinVq(comm(1, 48, 44) + chunkBe("NAME", "tone"));
    auto r = analyse(bytes);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, bytes.size() * 8 / 48000.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["tpl"], "VQ/AUDIO");
    EXPECT_EQ(f["codec"], "test-vq-97012000");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["bitrate"], "48000.00");
    EXPECT_EQ(f["bitratek"], "48.00");
    EXPECT_EQ(f["samplerate"], "44100");
}

TEST_F(TwinVqTest, SamplingCodes) {
    const std::map<uint32_t, std::string> rates = {{11, "11025"}, {16, "16000"}, {22, "22050"}, {44, "44100"}};
    for (uint32_t code : {0u, 8u, 11u, 16u, 22u, 32u, 44u, 48u}) {
        SCOPED_TRACE(code);
        auto r = analyse(twinVq(comm(0, 20, code)));
        if (rates.count(code)) {
            ASSERT_STREQ(r->errorText, "");
            EXPECT_EQ(test::fields(r->audioText[0])["samplerate"], rates.at(code));
        } else {
            EXPECT_EQ(std::string(r->errorText), cp("[VQ] 不明なサンプリングレート(" + std::to_string(code) + ")"));
        }
    }
}

TEST_F(TwinVqTest, LargeBitRatesStayWhole) {
    // kbit/s times 1,000 does not fit 32 bits.
    auto r = analyse(twinVq(comm(0, 0xFFFFFFFF, 22)));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], "4294967295000.00");
    r = analyse(twinVq(comm(0xFFFFFFFF, 3000000, 22)));
    ASSERT_STREQ(r->errorText, "");
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["bitrate"], "3000000000.00");
    EXPECT_EQ(f["channel"], "4294967296");
}

TEST_F(TwinVqTest, ShortCommChunks) {
    // The three values need 12 bytes; a shorter chunk is passed over, also
    // when the file ends inside it.
    const std::string full = be32(1) + be32(48) + be32(44) + be32(7);
    const struct {
        const char* what;
        std::string bytes;
        const char* channel;
    } cases[] = {
        {"12 bytes", twinVq(chunkBe("COMM", full.substr(0, 12))), "2"},
        {"11 bytes, then a full one", twinVq(chunkBe("COMM", full.substr(0, 11)) + comm(0, 48, 44)), "1"},
        {"cut by the end of the file", "TWIN97012000" + be32(24) + "COMM" + be32(16) + full.substr(0, 10), "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(test::fields(r->audioText[0])["channel"], c.channel);
    }
}

TEST_F(TwinVqTest, BoundedWalks) {
    // Sizes are unsigned: a size with the top bit set ends the walk rather
    // than stepping back.
    const struct {
        const char* what;
        std::string bytes;
        const char* channel;
    } cases[] = {
        {"huge size", "TWIN97012000" + be32(0) + "NAME" + be32(0xFFFFFFF8) + comm(1, 48, 44), "0"},
        {"zero sizes", twinVq(chunkBe("NAME", "") + chunkBe("AUTH", "") + comm(1, 48, 44)), "2"},
        {"no DATA", "TWIN97012000" + be32(0) + comm(1, 48, 44) + chunkBe("NAME", "x"), "2"},
        {"cut chunk header", "TWIN97012000" + be32(0) + comm(1, 48, 44) + "NA", "2"},
        {"chunks after DATA are not read", twinVq("") + comm(1, 48, 44), "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(test::fields(r->audioText[0])["channel"], c.channel);
    }
}

TEST_F(TwinVqTest, FailuresAndFaults) {
    auto r = analyse("TWIX97012000" + std::string(40, '\0'));
    EXPECT_EQ(std::string(r->errorText), cp("[VQ] TwinVQファイルではありません"));
    r = analyse("TW");
    EXPECT_EQ(std::string(r->errorText), cp("[VQ] TwinVQファイルではありません"));
    r = analyse(twinVq(comm(1, 0, 44)));  // a bit rate of 0
    EXPECT_EQ(std::string(r->errorText), exception(126));
    // A version that CODECS.INI does not know gets the lookup's failure text.
    r = analyse(twinVq(comm(1, 48, 44), "00052200"));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(test::fields(r->audioText[0])["codec"], cp("不明00052200"));
}

TEST_F(TwinVqTest, Fixture) {
    const auto path = test::fixture("twinvq_48k.vqf");
    auto r = test::analyse(path);
    ASSERT_EQ(r->formatCode, VESKO_FMT_TWINVQ);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, std::filesystem::file_size(path) * 8 / 48000.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["codec"], "test-vq-97012000");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["bitratek"], "48.00");
}

// ======================================================================
// Shockwave Audio
// ======================================================================

class ShockwaveTest : public SmallAudioTest {
protected:
    // The MPEG audio frames of the fixture (after its 4 + 60 header bytes).
    std::string frames() { return readFile(test::fixture("shockwave_audio_macrz.swa")).substr(64); }
    std::string header(uint32_t length) {
        std::string h(length, '\0');
        if (length >= 37) h.replace(32, 5, "MACRZ");
        return be32(length) + h;
    }
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes) {
        return analyseAs(dir, "a.swa", bytes, VESKO_FMT_SHOCKWAVE_AUDIO);
    }
};

TEST_F(ShockwaveTest, Fixture) {
    const auto path = test::fixture("shockwave_audio_macrz.swa");
    auto r = test::analyse(path);
    ASSERT_EQ(r->formatCode, VESKO_FMT_SHOCKWAVE_AUDIO);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_STREQ(r->formatName, "Shockwave Audio");
    // The frames are mp3_cbr128.mp3's, whose Info frame gives 40 frames:
    // ffprobe has 1.044898 s for that file (for the .swa, where the Info
    // frame follows 64 bytes it takes for junk, it counts bytes: 1.0709 s).
    // The 64 header bytes and the Info frame are no audio.
    EXPECT_NEAR(r->duration, 1.044898, 1.044898 * 0.001);
    ASSERT_EQ(r->audioCount, 1);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["version"], "1");
    EXPECT_EQ(f["layer"], "III");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["bitratek"], "128.00");
    EXPECT_EQ(r->extraCount, 0);  // frames follow the header directly: no junk message
}

TEST_F(ShockwaveTest, WhatLiesBetweenHeaderAndFrames) {
    const std::string mp3 = frames();
    const struct {
        const char* what;
        std::string bytes;
        std::vector<std::string> extra;
    } cases[] = {
        {"header of 60 bytes", header(60) + mp3, {}},
        {"header of 200 bytes", header(200) + mp3, {}},
        {"junk before the frames: no message", header(60) + std::string(100, '\0') + mp3, {}},
        {"ID3v2 after the header", header(60) + id3v2(300) + mp3, {"ID3v2"}},
        {"ID3v1 at the end", header(60) + mp3 + id3v1(), {"ID3v1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "Shockwave Audio");
        EXPECT_EQ(test::fields(r->audioText[0])["samplerate"], "44100");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(ShockwaveTest, Failures) {
    const std::string notFound = cp("[ShockwaveAudio-MP3] シーケンスヘッダが見つかりません");
    const struct {
        const char* what;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"no frames", header(60) + std::string(3000, '\0'), notFound},
        {"frames beyond 2,048 bytes", header(60) + std::string(2100, '\0') + frames(), notFound},
        {"header length past the end", be32(0xFFFFFFFF) + std::string(60, '\0') + frames(), notFound},
        {"shorter than the length field", std::string(2, '\0'), notFound},
        // A free-format header is a sync candidate but no frame.
        {"undecodable frame header", header(60) + std::string("\xFF\xFB\x00\x00", 4) + std::string(100, '\0'),
         cp("[ShockwaveAudio-MP3] 不正なシーケンスヘッダです")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        EXPECT_EQ(std::string(r->errorText), c.error);
        EXPECT_EQ(r->audioCount, 0);
    }
}

// ======================================================================
// Sun/NeXT audio
// ======================================================================

TEST(AuHeader, BitDepthByEncoding) {
    const std::map<uint32_t, uint32_t> depths = {{1, 8},   {2, 8},   {11, 8},  {27, 8},  {3, 16},  {12, 16}, {18, 16},
                                                 {19, 16}, {20, 16}, {4, 24},  {13, 24}, {5, 32},  {6, 32},  {14, 32},
                                                 {7, 64},  {23, 4},  {25, 3},  {26, 5},  {0, 8},   {24, 8},  {200, 8}};
    for (const auto& [encoding, depth] : depths) EXPECT_EQ(auBitDepth(encoding), depth) << encoding;
}

TEST(AuHeader, PlayTimeAndBitRate) {
    test::useTestData();
    const struct {
        const char* what;
        std::string header;
        uint64_t fileBytes;
        double duration, bitRate;
        uint32_t rate;
        const char* codec;
    } cases[] = {
        {"16-bit stereo 44.1 kHz", auHeader(1764000, 3, 44100, 2), 1764032, 10.0, 1411200, 44100, "test-au-03"},
        {"data size 0: 1 s", auHeader(0, 3, 44100, 2), 32, 1.0, 0, 44100, "test-au-03"},
        {"G.723 3-bit", auHeader(3000, 25, 8000, 1), 3032, 1.0, 24000, 8000, "不明19"},
        // The whole 32-bit field: 96 kHz does not wrap to 30,464 Hz.
        {"96 kHz", auHeader(576000, 3, 96000, 3), 576032, 1.0, 4608000, 96000, "test-au-03"},
        // Not known (a pipe): the file's bytes after the data offset.
        {"size not known", auHeader(0xFFFFFFFF, 1, 8000, 1), 8032, 1.0, 64000, 8000, "test-au-01"},
        {"size not known, annotation", auHeader(0xFFFFFFFF, 1, 8000, 1, 48), 8048, 1.0, 64000, 8000, "test-au-01"},
        {"size not known, offset past the end", auHeader(0xFFFFFFFF, 1, 8000, 1, 100000), 8032, 1.0, 0, 8000, "test-au-01"},
        // No byte rate: the play time is not known.
        {"sample rate 0", auHeader(8000, 1, 0, 1), 8032, -1.0, 0, 0, "test-au-01"},
        {"no channels", auHeader(8000, 1, 8000, 0), 8032, -1.0, 0, 8000, "test-au-01"},
        {"channel field past a byte", auHeader(16000, 1, 8000, 256), 16032, 16000.0 / (8000 * 256), 16384000, 8000, "test-au-01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AuInfo info{};
        info.fileBytes = c.fileBytes;
        decodeAuHeader(asBytes(c.header), info);
        EXPECT_DOUBLE_EQ(info.duration, c.duration);
        EXPECT_DOUBLE_EQ(info.bitRate, c.bitRate);
        EXPECT_EQ(info.sampleRate, c.rate);
        EXPECT_EQ(std::string(info.codec), cp(c.codec));
    }
}

TEST_F(SmallAudioTest, AuShortAndEmptyFiles) {
    for (const std::string& bytes : {std::string(".snd"), std::string(".snd") + be32(32) + be32(100), std::string(".snd") + std::string(28, '\0')}) {
        SCOPED_TRACE(bytes.size());
        auto r = analyseAs(dir, "a.au", bytes, VESKO_FMT_SUN_AUDIO);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->duration, -1.0);
        EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], "0.00");
    }
}

TEST_F(SmallAudioTest, AuFixtures) {
    const struct {
        const char* file;
        std::map<std::string, std::string> audio;
        double duration;  // ffprobe's
    } cases[] = {
        {"au_pcm16.au",
         {{"codec", "test-au-03"}, {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"}, {"bitrate", "1411200.00"}},
         0.25},
        {"au_sox_ulaw.au",
         {{"codec", "test-au-01"}, {"samplerate", "8000"}, {"sampleratek", "8.00"}, {"bitdepth", "8"}, {"channel", "1"},
          {"bitrate", "64000.00"}},
         0.5},
        {"au_ffmpeg_pipe_unknown_size.au",
         {{"codec", "test-au-1B"}, {"samplerate", "8000"}, {"bitdepth", "8"}, {"channel", "1"}, {"bitratek", "64.00"}},
         0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_SUN_AUDIO);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "AU/AUDIO");
        for (const auto& [name, value] : c.audio) EXPECT_EQ(f[name], value) << name;
    }
}

// ======================================================================
// All seven
// ======================================================================

TEST_F(SmallAudioTest, LeadingId3v2TagIsPassedOverAsIdentificationDoes) {
    // Identification finds each format's marker after a leading ID3v2 tag;
    // the analysers read their headers there, not in the tag.
    const std::string swaFrames = readFile(test::fixture("shockwave_audio_macrz.swa"));
    const struct {
        const char* name;
        int32_t code;
        std::string bytes;
        const char* field;
        const char* value;
    } cases[] = {
        {"a.ape", VESKO_FMT_MONKEYS_AUDIO, apeDescriptorHeader(3990, 2000, 73728, 44100, 1, 16, 2, 44100) + std::string(500, 'a'),
         "samplerate", "44100"},
        {"a.tta", VESKO_FMT_TTA, tta1(2, 16, 44100, 44100) + std::string(500, 't'), "samplerate", "44100"},
        {"a.ofr", VESKO_FMT_OPTIMFROG, chunkLe("OFR ", ofrBody(88200, 3, 1, 44100, 8)) + chunkLe("COMP", std::string(500, 'c')),
         "samplerate", "44100"},
        {"a.mpc", VESKO_FMT_MUSEPACK, mpcHeader(0x17, 39, false, true, 1, 100) + std::string(500, 'm'), "samplerate", "48000"},
        {"a.vqf", VESKO_FMT_TWINVQ, twinVq(comm(1, 48, 22)), "samplerate", "22050"},
        {"a.swa", VESKO_FMT_SHOCKWAVE_AUDIO, swaFrames, "samplerate", "44100"},
        {"a.au", VESKO_FMT_SUN_AUDIO, auHeader(8000, 1, 8000, 1) + std::string(8000, 'u'), "samplerate", "8000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto plain = test::analyse(dir.write(c.name, c.bytes));
        const auto tagged = test::analyse(dir.write(std::string("id3_") + c.name, id3v2(200) + c.bytes));
        for (const auto* r : {plain.get(), tagged.get()}) {
            ASSERT_EQ(r->formatCode, c.code);
            ASSERT_STREQ(r->errorText, "");
            ASSERT_EQ(r->audioCount, 1);
            EXPECT_EQ(test::fields(r->audioText[0])[c.field], c.value);
        }
        // The tag is no audio: the same play time.
        EXPECT_NEAR(tagged->duration, plain->duration, 1e-9);
    }
}

TEST_F(SmallAudioTest, FilesThatCannotBeOpened) {
    const int32_t codes[] = {VESKO_FMT_MONKEYS_AUDIO, VESKO_FMT_TTA,   VESKO_FMT_OPTIMFROG,       VESKO_FMT_MUSEPACK,
                             VESKO_FMT_TWINVQ,        VESKO_FMT_SHOCKWAVE_AUDIO, VESKO_FMT_SUN_AUDIO};
    for (int32_t code : codes) {
        SCOPED_TRACE(code);
        auto record = test::makeRecord(dir.path() / "missing.bin");
        record->formatCode = code;
        GetFileInfo(record.get());
        EXPECT_EQ(std::string(record->errorText), cp("ファイルのオープンに失敗"));
    }
}

TEST_F(SmallAudioTest, EmptyAndTinyFilesEndCleanly) {
    // Whatever the result, no crash and an ending: an error text, or a line.
    const int32_t codes[] = {VESKO_FMT_MONKEYS_AUDIO, VESKO_FMT_TTA,   VESKO_FMT_OPTIMFROG,       VESKO_FMT_MUSEPACK,
                             VESKO_FMT_TWINVQ,        VESKO_FMT_SHOCKWAVE_AUDIO, VESKO_FMT_SUN_AUDIO};
    for (int32_t code : codes) {
        for (const std::string& bytes : {std::string(), std::string("M"), std::string(7, '\xFF')}) {
            SCOPED_TRACE(std::to_string(code) + "/" + std::to_string(bytes.size()));
            auto r = analyseAs(dir, "tiny.bin", bytes, code);
            EXPECT_TRUE(r->errorText[0] != '\0' || r->audioCount == 1);
        }
    }
}

}  // namespace
}  // namespace vesko
