// Tests of the RealMedia, RealAudio and Flash Video analysers and of the
// RealAudio / RealVideo header decoders they share with Matroska.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "containers/flv.h"
#include "containers/realmedia.h"
#include "io.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders (big-endian) ----

std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be24(uint32_t v) { return static_cast<char>((v >> 16) & 0xFF) + be16(v & 0xFFFF); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }
std::string str8(const std::string& s) { return static_cast<char>(s.size()) + s; }
std::string zeros(size_t n) { return std::string(n, '\0'); }

Bytes asBytes(const std::string& s) { return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

std::vector<std::string> lines(const char (*texts)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(texts[i]);
    return out;
}

std::unique_ptr<AnalysisRecord> analyseAs(const test::TempDir& dir, const std::string& name, const std::string& bytes,
                                          int32_t code) {
    auto record = test::makeRecord(dir.write(name, bytes));
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

// ---- RealAudio headers ----

// ".ra" 0xFD version 3: channels at 8, bytes per minute at 16, data size at
// 18, then title, author, rights, comment, a byte and the FourCC.
std::string ra3(uint16_t channels, uint16_t bytesPerMinute, uint32_t dataSize, const std::string& title = "Tone",
                const std::string& fourcc = "lpcJ") {
    const std::string body = be16(channels) + zeros(6) + be16(bytesPerMinute) + be32(dataSize) + str8(title) + str8("Vesko") +
                             str8("(c)") + str8("") + '\0' + str8(fourcc);
    return std::string(".ra\xFD", 4) + be16(3) + be16(static_cast<uint32_t>(body.size())) + body;
}

// Versions 4 and 5: the common part up to 48, then the version's tail.
std::string ra45(uint16_t version, uint32_t rate, uint16_t bits, uint16_t channels, uint32_t dataSize, uint32_t bytesPerMinute,
                 const std::string& fourcc = "cook") {
    std::string h = std::string(".ra\xFD", 4) + be16(version) + be16(0) + ".ra" + static_cast<char>('0' + version);
    h += be32(0) + be16(version) + be32(70) + be16(3) + be32(0x1F0) + be32(dataSize) + be32(bytesPerMinute);
    h += be32(0) + be16(1) + be16(0x1F0) + be16(0x1F0) + be16(0);
    if (version == 4) h += be16(rate) + be16(0) + be16(bits) + be16(channels) + str8("Int4") + str8(fourcc);
    else h += be32(rate) + be32(rate) + be32(bits) + be16(channels) + "genr" + fourcc;
    return h + std::string("\x01\x00\x07", 3) + str8("") + str8("") + str8("") + str8("");
}

TEST(RealAudioHeader, Layouts) {
    const struct {
        const char* what;
        std::string bytes;
        bool accepted;
        uint16_t version;
        const char* fourcc;
        uint32_t rate;
        uint16_t bits, channels;
        uint32_t bytesPerMinute, dataSize;
    } cases[] = {
        {"version 3", ra3(1, 60000, 120000), true, 3, "lpcJ", 8000, 16, 1, 60000, 120000},
        {"version 3 stereo, longer title", ra3(2, 1200, 240, std::string(40, 't')), true, 3, "lpcJ", 8000, 16, 2, 1200, 240},
        {"version 4", ra45(4, 44100, 16, 2, 1000000, 480000), true, 4, "cook", 44100, 16, 2, 480000, 1000000},
        {"version 5", ra45(5, 22050, 16, 1, 5000, 60000, "sipr"), true, 5, "sipr", 22050, 16, 1, 60000, 5000},
        {"version 6", std::string(".ra\xFD", 4) + be16(6) + std::string(120, '\x7F'), true, 6, "", 0, 0, 0, 0, 0},
        {"LSD:", "LSD:" + zeros(4) + be16(2) + be16(16) + be32(96000), true, 0, "", 96000, 16, 2, 0, 0},
        {"version 0", std::string(".ra\xFD", 4) + be16(0) + zeros(60), false, 0, "", 0, 0, 0, 0, 0},
        {"version 1", std::string(".ra\xFD", 4) + be16(1) + zeros(60), false, 0, "", 0, 0, 0, 0, 0},
        {"version 2", std::string(".ra\xFD", 4) + be16(2) + zeros(60), false, 0, "", 0, 0, 0, 0, 0},
        {"no 0xFD", std::string(".ra\xFE", 4) + be16(4) + zeros(60), false, 0, "", 0, 0, 0, 0, 0},
        {"other", "RIFF" + zeros(60), false, 0, "", 0, 0, 0, 0, 0},
        {"three bytes", ".ra", false, 0, "", 0, 0, 0, 0, 0},
        // Cut short: the fields beyond the bytes read 0, the FourCC stays empty.
        {"version 4 cut at 50", ra45(4, 44100, 16, 2, 1000, 6000).substr(0, 50), true, 4, "", 44100, 0, 0, 6000, 1000},
        {"version 4 cut inside the FourCC", ra45(4, 44100, 16, 2, 1000, 6000).substr(0, 64), true, 4, "", 44100, 16, 2, 6000,
         1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RealAudioHeader h{};
        ASSERT_EQ(parseRealAudioHeader(asBytes(c.bytes), h), c.accepted);
        if (!c.accepted) continue;
        EXPECT_EQ(h.version, c.version);
        EXPECT_STREQ(h.fourcc, c.fourcc);
        EXPECT_EQ(h.sampleRate, c.rate);
        EXPECT_EQ(h.bitsPerSample, c.bits);
        EXPECT_EQ(h.channels, c.channels);
        EXPECT_EQ(h.bytesPerMinute, c.bytesPerMinute);
        EXPECT_EQ(h.dataSize, c.dataSize);
    }
}

TEST(RealAudioHeader, VersionThreeFourccBeyondTheBytesReadIsNotRead) {
    // The texts run past the 128 bytes a stand-alone file is read with: the
    // FourCC would lie outside them.
    const std::string full = ra3(1, 60000, 1000, std::string(120, 'T'));
    for (size_t cut : {size_t{128}, size_t{22}, size_t{23}, full.size() - 1}) {
        SCOPED_TRACE(cut);
        RealAudioHeader h{};
        ASSERT_TRUE(parseRealAudioHeader(asBytes(full.substr(0, cut)), h));
        EXPECT_STREQ(h.fourcc, "");
        EXPECT_EQ(h.sampleRate, 8000u);
    }
    RealAudioHeader h{};
    ASSERT_TRUE(parseRealAudioHeader(asBytes(full), h));
    EXPECT_STREQ(h.fourcc, "lpcJ");
}

TEST(RealAudioHeader, VersionFourAndFiveExtras) {
    RealAudioHeader h{};
    ASSERT_TRUE(parseRealAudioHeader(asBytes(ra45(4, 8000, 16, 1, 10, 20)), h));
    EXPECT_EQ(h.flavor, 3);
    EXPECT_EQ(h.codedFrameSize, 0x1F0u);
    EXPECT_EQ(h.headerSize, 70u);
    EXPECT_STREQ(h.interleaver, "Int4");
    ASSERT_TRUE(parseRealAudioHeader(asBytes(ra45(5, 8000, 16, 1, 10, 20)), h));
    EXPECT_STREQ(h.interleaver, "genr");
}

TEST(RealVideoHeader, FieldsAndTheIntegerFrameRate) {
    const std::string data = be32(34) + "VIDO" + "RV40" + be16(320) + be16(240) + be16(12) + zeros(4) + be32(0x0017F9DB) + zeros(8);
    RealVideoHeader h{};
    ASSERT_TRUE(parseRealVideoHeader(asBytes(data), h));
    EXPECT_STREQ(h.tag, "VIDO");
    EXPECT_STREQ(h.fourcc, "RV40");
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 240);
    EXPECT_EQ(h.bitsPerPixel, 12);
    EXPECT_EQ(h.frameRate, 23);  // 23.976 in 16.16
    EXPECT_FALSE(parseRealVideoHeader(asBytes(data.substr(0, 11)), h));
    ASSERT_TRUE(parseRealVideoHeader(asBytes(data.substr(0, 14)), h));
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, 0);
}

class RealTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    test::TempDir dir;
};

TEST_F(RealTest, CodecNamesByUpperCasedFourcc) {
    EXPECT_EQ(realAudioCodecName("dnet"), "test-ra-DNET");
    EXPECT_EQ(realAudioCodecName("lpcJ"), "test-ra-LPCJ");
    EXPECT_EQ(realVideoCodecName("rv40"), "test-rv-RV40");
    EXPECT_EQ(realVideoCodecName("XY99"), cp("不明XY99"));
    EXPECT_EQ(realAudioCodecName(""), cp("不明"));
    EXPECT_EQ(realAudioCodecName(std::string("\0abc", 4)), cp("不明"));
}

TEST_F(RealTest, DescriptionLines) {
    VideoStreamInfo v{};
    v.width = 320;
    v.height = 240;
    v.bitDepth = 12;
    copyText(v.codec, sizeof v.codec, "RV");
    v.frameRate = 23.976;
    v.bitRate = 450000;
    auto f = test::fields(describeRealVideo(v));
    EXPECT_EQ(f, (std::map<std::string, std::string>{{"tpl", "REAL/VIDEO"}, {"width", "320"}, {"height", "240"},
                                                      {"bitdepth", "12"}, {"codec", "RV"}, {"framerate", "23.00"},
                                                      {"bitratek", "450.00"}, {"bitrate", "450000.00"}}));
    AudioStreamInfo a{};
    copyText(a.codec, sizeof a.codec, "RA");
    a.sampleRate = 44100;
    a.bitDepth = 16;
    a.channels = 2;
    a.bitRate = 64100;
    f = test::fields(describeRealAudio(a));
    EXPECT_EQ(f, (std::map<std::string, std::string>{{"tpl", "REAL/AUDIO"}, {"codec", "RA"}, {"sampleratek", "44.10"},
                                                      {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"},
                                                      {"bitratek", "64.10"}, {"bitrate", "64100.00"}}));
}

// ---- stand-alone RealAudio ----

TEST_F(RealTest, StandAloneFixtures) {
    // ffprobe: v3 2.020 s, v4 and v5 1.024 s (AC-3 at 128 kbit/s, 48 kHz).
    const struct {
        const char* file;
        const char* codec;
        const char* samplerate;
        const char* channel;
        const char* bitrate;
        double duration;
    } cases[] = {
        {"realaudio_v3_lpcj.ra", "test-ra-LPCJ", "8000", "1", "8000.00", 2.02},
        {"realaudio_v4_dnet.ra", "test-ra-DNET", "48000", "2", "128000.00", 1.024},
        {"realaudio_v5_dnet.ra", "test-ra-DNET", "48000", "2", "128000.00", 1.024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        EXPECT_EQ(r->formatCode, VESKO_FMT_REALAUDIO);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "");
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(r->videoCount, 0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "REAL/AUDIO");
        EXPECT_EQ(f["codec"], c.codec);
        EXPECT_EQ(f["samplerate"], c.samplerate);
        EXPECT_EQ(f["bitdepth"], "16");
        EXPECT_EQ(f["channel"], c.channel);
        EXPECT_EQ(f["bitrate"], c.bitrate);
    }
}

TEST_F(RealTest, StandAloneRefusedVersion) {
    auto r = test::analyse(test::fixture("realaudio_v2_refused.ra"));
    EXPECT_EQ(r->formatCode, VESKO_FMT_REALAUDIO);
    EXPECT_EQ(std::string(r->errorText), cp("[RealAudio] 認識できないバージョンです"));
    EXPECT_EQ(r->audioCount, 0);
}

TEST_F(RealTest, StandAlonePlayTimeAndBitRate) {
    // 2,400,000 bytes at 240,000 bytes per minute: 600 s at 32,000 bit/s;
    // the payload itself is not read.
    auto r = analyseAs(dir, "a.ra", ra45(4, 22050, 16, 1, 2400000, 240000, "sipr"), VESKO_FMT_REALAUDIO);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 600.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["codec"], "test-ra-SIPR");
    EXPECT_EQ(f["bitrate"], "32000.00");
    EXPECT_EQ(f["samplerate"], "22050");
}

TEST_F(RealTest, StandAloneVersionThreeIsEightKilohertzSixteenBits) {
    auto r = analyseAs(dir, "a.ra", ra3(2, 12000, 6000, "t", "28_8"), VESKO_FMT_REALAUDIO);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 30.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["codec"], "test-ra-28_8");
    EXPECT_EQ(f["samplerate"], "8000");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["bitrate"], "1600.00");
}

TEST_F(RealTest, StandAloneZeroDivisorsAreArithmeticFaults) {
    const std::string fault = cp("[Exception] 例外終了(118)");
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"no bytes per minute", ra45(4, 44100, 16, 2, 1000, 0)},
        {"no data", ra45(4, 44100, 16, 2, 0, 6000)},
        {"version 6", std::string(".ra\xFD", 4) + be16(6) + std::string(120, '\x7F')},
        {"LSD:", "LSD:" + zeros(4) + be16(2) + be16(16) + be32(96000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyseAs(dir, "a.ra", c.bytes, VESKO_FMT_REALAUDIO);
        EXPECT_EQ(std::string(r->errorText), fault);
        EXPECT_EQ(r->audioCount, 0);
    }
}

TEST_F(RealTest, StandAloneMissingFile) {
    auto r = test::makeRecord(dir.path() / "missing.ra");
    r->formatCode = VESKO_FMT_REALAUDIO;
    analyzeRealAudio(*r);
    EXPECT_EQ(std::string(r->errorText), cp("ファイルのオープンに失敗"));
}

// ---- RealMedia ----

std::string chunk(const std::string& id, const std::string& body, int64_t declared = -1) {
    return id + be32(declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(8 + body.size())) + body;
}

std::string rmf() { return chunk(".RMF", be16(0) + be32(0) + be32(4)); }

std::string prop(uint32_t durationMs, uint16_t version = 0) {
    return chunk("PROP", be16(version) + be32(500000) + be32(400000) + be32(1000) + be32(500) + be32(10) + be32(durationMs) +
                             be32(0) + be32(0) + be32(0) + be16(2) + be16(0));
}

std::string mdprBody(const std::string& mime, const std::string& typeData, uint32_t avgBitRate, uint32_t durationMs,
                     uint16_t version = 0) {
    return be16(version) + be16(0) + be32(avgBitRate) + be32(avgBitRate) + be32(1000) + be32(500) + be32(0) + be32(0) +
           be32(durationMs) + str8("Stream") + str8(mime) + be32(static_cast<uint32_t>(typeData.size())) + typeData;
}

std::string mdpr(const std::string& mime, const std::string& typeData, uint32_t avgBitRate = 64000, uint32_t durationMs = 0,
                 uint16_t version = 0) {
    return chunk("MDPR", mdprBody(mime, typeData, avgBitRate, durationMs, version));
}

std::string rv(const std::string& fourcc, uint16_t w, uint16_t h, uint32_t fps1616) {
    return be32(34) + "VIDO" + fourcc + be16(w) + be16(h) + be16(12) + zeros(4) + be32(fps1616) + zeros(8);
}

std::string dataChunk() { return chunk("DATA", be16(0) + be32(0) + be32(0) + std::string(40, '\x55')); }

std::string indx(uint32_t next) { return chunk("INDX", be16(0) + be32(0) + be16(0) + be32(next)); }

const std::string kVideo = "video/x-pn-realvideo";
const std::string kAudio = "audio/x-pn-realaudio";

TEST_F(RealTest, RealMediaFixtures) {
    // ffprobe: rm_rv10_ac3.rm 1.010 s, rm_rv20_real144.rm 1.000 s.
    const struct {
        const char* file;
        std::map<std::string, std::string> video, audio;
        double duration;
    } cases[] = {
        {"rm_rv10_ac3.rm",
         {{"codec", "test-rv-RV10"}, {"width", "128"}, {"height", "96"}, {"framerate", "10.00"}, {"bitrate", "100000.00"}},
         {{"codec", "test-ra-DNET"}, {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"}, {"bitrate", "96000.00"}},
         1.010},
        {"rm_rv20_real144.rm",
         {{"codec", "test-rv-RV20"}, {"width", "96"}, {"height", "64"}, {"framerate", "10.00"}, {"bitrate", "32000.00"}},
         {{"codec", "test-ra-LPCJ"}, {"samplerate", "8000"}, {"bitdepth", "16"}, {"channel", "1"}, {"bitrate", "8000.00"}},
         1.000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        EXPECT_EQ(r->formatCode, VESKO_FMT_REALMEDIA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RealMedia");
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
        ASSERT_EQ(r->videoCount, 1);
        ASSERT_EQ(r->audioCount, 1);
        auto v = test::fields(r->videoText[0]);
        auto a = test::fields(r->audioText[0]);
        EXPECT_EQ(v["tpl"], "REAL/VIDEO");
        EXPECT_EQ(a["tpl"], "REAL/AUDIO");
        for (const auto& [k, value] : c.video) EXPECT_EQ(v[k], value) << k;
        for (const auto& [k, value] : c.audio) EXPECT_EQ(a[k], value) << k;
    }
}

TEST_F(RealTest, StreamsInChunkOrderAndPlayTimeFromProp) {
    const std::string file = rmf() + prop(90500) + mdpr(kAudio, ra45(4, 44100, 16, 2, 0, 0), 64000, 1000) +
                             mdpr(kVideo, rv("RV40", 320, 240, 0x0017F9DB), 450000, 2000) + dataChunk();
    auto r = analyseAs(dir, "a.rm", file, VESKO_FMT_REALMEDIA);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 90.5);
    ASSERT_EQ(r->videoCount, 1);
    ASSERT_EQ(r->audioCount, 1);
    auto v = test::fields(r->videoText[0]);
    EXPECT_EQ(v["codec"], "test-rv-RV40");
    EXPECT_EQ(v["framerate"], "23.00");
    EXPECT_EQ(v["bitdepth"], "12");
    EXPECT_EQ(v["bitrate"], "450000.00");
    auto a = test::fields(r->audioText[0]);
    EXPECT_EQ(a["codec"], "test-ra-COOK");
    EXPECT_EQ(a["bitrate"], "64000.00");
}

TEST_F(RealTest, PropDurationZeroTakesTheFirstStreamsDuration) {
    const std::string streams = mdpr(kVideo, rv("RV30", 176, 144, 15 << 16), 1, 7250) + mdpr(kAudio, ra3(1, 60000, 0), 1, 9000);
    for (const std::string& props : {prop(0), prop(5000, 1), std::string()}) {
        SCOPED_TRACE(props.size());
        auto r = analyseAs(dir, "a.rm", rmf() + props + streams + dataChunk(), VESKO_FMT_REALMEDIA);
        EXPECT_DOUBLE_EQ(r->duration, 7.25);
        EXPECT_EQ(r->videoCount, 1);
        EXPECT_EQ(r->audioCount, 1);
    }
}

TEST_F(RealTest, MimeTypes) {
    const std::string audioData = ra45(5, 48000, 24, 2, 0, 0, "raac");
    const std::string videoData = rv("RV40", 64, 48, 25 << 16);
    const struct {
        const char* what;
        std::string chunks;
        int video, audio;
        const char* audioCodec;
    } cases[] = {
        {"multirate video", mdpr("video/x-pn-multirate-realvideo", videoData), 1, 0, ""},
        {"multirate audio", mdpr("audio/x-pn-multirate-realaudio", audioData), 0, 1, "test-ra-RAAC"},
        {"lossless", mdpr("audio/x-ralf-mpeg4-generic", audioData), 0, 1, "RealAudio LossLess"},
        {"case ignored", mdpr("AUDIO/X-PN-REALAUDIO", audioData), 0, 1, "test-ra-RAAC"},
        // Compared over the stored type's length: a prefix names every type
        // it begins ("audio/x-" both audio tests, so two lines).
        {"prefix", mdpr("video/x-pn", videoData), 1, 0, ""},
        {"audio prefix", mdpr("audio/x-", audioData), 0, 2, "test-ra-RAAC"},
        {"longer than the known type", mdpr(kAudio + "x", audioData), 0, 0, ""},
        {"other", mdpr("logical-fileinfo", videoData), 0, 0, ""},
        // An empty type names nothing.
        {"empty", mdpr("", audioData), 0, 0, ""},
        {"refused audio header", mdpr(kAudio, std::string(".ra\xFD", 4) + be16(2) + zeros(60)), 0, 0, ""},
        {"version 1 media properties", mdpr(kAudio, audioData, 1, 0, 1), 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyseAs(dir, "a.rm", rmf() + prop(1000) + c.chunks + dataChunk(), VESKO_FMT_REALMEDIA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->videoCount, c.video);
        EXPECT_EQ(r->audioCount, c.audio);
        if (c.audio > 0) {
            auto a = test::fields(r->audioText[0]);
            EXPECT_EQ(a["codec"], c.audioCodec);
            EXPECT_EQ(a["samplerate"], "48000");
            EXPECT_EQ(a["bitdepth"], "24");
        }
    }
}

TEST_F(RealTest, MediaPropertiesLengthsStayInsideTheChunk) {
    // The chunk's size ends inside the stored lengths; the bytes after it
    // belong to the next chunk and are not taken as a MIME type or header.
    const std::string audioData = ra45(4, 44100, 16, 2, 0, 0);
    const std::string body = mdprBody(kAudio, audioData, 1000, 0);
    const size_t mimeAt = 2 + 2 + 28 + 1 + 6;  // the MIME length byte
    const struct {
        const char* what;
        std::string chunks;
        int audio;
        const char* channel;
    } cases[] = {
        {"type data cut: the line reads what the chunk holds",
         chunk("MDPR", body.substr(0, body.size() - audioData.size() + 56)), 1, "2"},
        {"type data cut before the channels", chunk("MDPR", body.substr(0, body.size() - audioData.size() + 50)), 1, "0"},
        {"type length beyond the chunk, next chunk follows",
         chunk("MDPR", body.substr(0, body.size() - audioData.size() + 40)) + prop(1000), 1, "0"},
        {"MIME type cut", chunk("MDPR", body.substr(0, mimeAt + 5)) + prop(1000), 0, ""},
        {"no MIME length", chunk("MDPR", body.substr(0, mimeAt)) + prop(1000), 0, ""},
        {"name cut", chunk("MDPR", body.substr(0, mimeAt - 3)) + prop(1000), 0, ""},
        {"fixed part only", chunk("MDPR", body.substr(0, 10)), 0, ""},
        {"version only", chunk("MDPR", body.substr(0, 2)), 0, ""},
        {"empty", chunk("MDPR", ""), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyseAs(dir, "a.rm", rmf() + c.chunks + dataChunk(), VESKO_FMT_REALMEDIA);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, c.audio);
        if (c.audio) EXPECT_EQ(test::fields(r->audioText[0])["channel"], c.channel);
    }
}

TEST_F(RealTest, ChunkWalkEnds) {
    const std::string audio = mdpr(kAudio, ra45(4, 44100, 16, 2, 0, 0));
    const std::string video = mdpr(kVideo, rv("RV40", 64, 48, 0));
    const struct {
        const char* what;
        std::string bytes;
        int video, audio;
    } cases[] = {
        {"size 0", rmf() + chunk("CONT", "", 0) + audio + dataChunk(), 0, 0},
        {"size 7", rmf() + audio + chunk("CONT", "", 7) + video + dataChunk(), 0, 1},
        {"size past the end", rmf() + audio + chunk("CONT", "abc", 0x7FFFFFFF) + video, 0, 1},
        {"cut chunk header", rmf() + audio + "MDP", 0, 1},
        {"empty file", "", 0, 0},
        // The index chain: 0 ends it, a link forward is followed (over
        // bytes that are no chunk), a link back or to itself ends it.
        {"index 0", rmf() + audio + indx(0) + video + dataChunk(), 0, 1},
        {"index back", rmf() + audio + indx(8) + video + dataChunk(), 0, 1},
        {"index to itself", rmf() + audio + indx(static_cast<uint32_t>(rmf().size() + audio.size())) + video + dataChunk(), 0, 1},
        {"index forward", rmf() + audio + indx(static_cast<uint32_t>(rmf().size() + audio.size() + 20 + 7)) + "garbage" + video +
                              dataChunk(),
         1, 1},
        // After the data chunk the walk ends once a line exists; without
        // one it goes on.
        {"stream after the data", rmf() + dataChunk() + audio + video, 0, 1},
        {"streams only after the data", rmf() + dataChunk() + chunk("CONT", "x") + video, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyseAs(dir, "a.rm", c.bytes, VESKO_FMT_REALMEDIA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RealMedia");
        EXPECT_EQ(r->videoCount, c.video);
        EXPECT_EQ(r->audioCount, c.audio);
    }
}

TEST_F(RealTest, ManyStreamsFillTheRecordAndNoMore) {
    std::string file = rmf();
    for (int i = 0; i < 40; ++i) file += mdpr(kAudio, ra45(4, 8000 + i, 16, 1, 0, 0)) + mdpr(kVideo, rv("RV10", 16, 16, 0));
    auto r = analyseAs(dir, "a.rm", file + dataChunk(), VESKO_FMT_REALMEDIA);
    EXPECT_EQ(r->videoCount, 10);
    EXPECT_EQ(r->audioCount, 10);
    EXPECT_EQ(test::fields(r->audioText[9])["samplerate"], "8009");
}

// ---- Flash Video: AMF ----

std::string amfNumber(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return '\0' + be32(static_cast<uint32_t>(bits >> 32)) + be32(static_cast<uint32_t>(bits));
}
std::string amfString(const std::string& s) { return '\x02' + be16(static_cast<uint32_t>(s.size())) + s; }
std::string amfName(const std::string& s) { return be16(static_cast<uint32_t>(s.size())) + s; }
std::string ecma(const std::vector<std::pair<std::string, std::string>>& props) {
    std::string out = '\x08' + be32(static_cast<uint32_t>(props.size()));
    for (const auto& [name, value] : props) out += amfName(name) + value;
    return out;
}

TEST(Amf, Values) {
    const struct {
        const char* what;
        std::string bytes;
        size_t consumed;
        size_t entries;
        uint8_t type;
        double number;
        const char* text;
    } cases[] = {
        {"number", amfNumber(120.5) + "tail", 9, 1, 1, 120.5, ""},
        {"boolean", std::string("\x01\x01", 2), 2, 1, 1, 1, ""},
        {"string", amfString("Lavf") + "x", 7, 1, 2, 0, "Lavf"},
        {"type 3 read as text", std::string("\x03", 1) + be16(2) + "ab", 5, 1, 2, 0, "ab"},
        {"reference", std::string("\x07", 1) + be16(513), 3, 1, 1, 513, ""},
        {"date", std::string("\x0B", 1) + std::string(10, '\x40'), 11, 1, 1, 0, ""},
        {"long string", std::string("\x0C", 1) + be32(3) + "xyz", 8, 1, 2, 0, "xyz"},
        {"null", std::string("\x05", 1), 1, 0, 0, 0, ""},
        {"ECMA array", ecma({{"a", amfNumber(1)}, {"b", amfNumber(2)}}), 5 + 12 + 12, 2, 1, 1, ""},
        {"strict array: one property", std::string("\x0A", 1) + be32(5) + amfName("n") + amfNumber(7), 5 + 12, 1, 1, 7, ""},
        // Failures: empty text, lengths beyond the bytes, truncated numbers,
        // array properties with an empty name or beyond the bytes.
        {"empty string", amfString(""), 0, 0, 0, 0, ""},
        {"string beyond the bytes", amfString("abcdef").substr(0, 6), 0, 0, 0, 0, ""},
        {"long string beyond the bytes", std::string("\x0C", 1) + be32(0xFFFFFFFF) + "xyz", 0, 0, 0, 0, ""},
        {"number cut", amfNumber(1).substr(0, 8), 0, 0, 0, 0, ""},
        {"boolean cut", std::string("\x01", 1), 0, 0, 0, 0, ""},
        {"date cut", std::string("\x0B", 1) + std::string(9, '\0'), 0, 0, 0, 0, ""},
        {"array with an empty name", ecma({{"", amfNumber(1)}}), 0, 0, 0, 0, ""},
        {"array count beyond the bytes", std::string("\x08", 1) + be32(0xFFFFFFFF) + amfName("a") + amfNumber(3), 0, 1, 1, 3, ""},
        {"empty input", "", 0, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AmfTable table;
        EXPECT_EQ(readAmfValue(asBytes(c.bytes), table), c.consumed);
        ASSERT_EQ(table.count, c.entries);
        if (c.entries == 0) continue;
        EXPECT_EQ(table.entries[0].type, c.type);
        EXPECT_DOUBLE_EQ(table.entries[0].number, c.number);
        EXPECT_STREQ(table.entries[0].text, c.text);
    }
}

TEST(Amf, ArrayPropertiesNameTheirEntries) {
    AmfTable table;
    ASSERT_GT(readAmfValue(asBytes(ecma({{"width", amfNumber(320)}, {"title", amfString("t")}})), table), 0u);
    ASSERT_EQ(table.count, 2u);
    EXPECT_STREQ(table.entries[0].name, "width");
    EXPECT_STREQ(table.entries[1].name, "title");
    EXPECT_STREQ(table.entries[1].text, "t");
}

TEST(Amf, TextsAreCutAt255Bytes) {
    AmfTable table;
    const std::string longText(400, 'q');
    EXPECT_EQ(readAmfValue(asBytes(amfString(longText)), table), 403u);
    EXPECT_EQ(std::string(table.entries[0].text), longText.substr(0, 255));
    ASSERT_GT(readAmfValue(asBytes(ecma({{longText, amfNumber(1)}})), table), 0u);
    EXPECT_EQ(std::string(table.entries[1].name), longText.substr(0, 255));
}

TEST(Amf, NestingIsLimited) {
    // Arrays nested 100,000 deep: the reader gives up instead of recursing.
    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += std::string("\x08", 1) + be32(1) + amfName("n");
    nested += amfNumber(1);
    AmfTable table;
    EXPECT_EQ(readAmfValue(asBytes(nested), table), 0u);
    // Within the limit it reads.
    std::string shallow;
    for (int i = 0; i < 10; ++i) shallow += std::string("\x08", 1) + be32(1) + amfName("n");
    shallow += amfNumber(4);
    AmfTable table2;
    EXPECT_EQ(readAmfValue(asBytes(shallow), table2), shallow.size());
    EXPECT_EQ(table2.count, 1u);
}

TEST(Amf, TableHoldsTwoHundredFiftySixEntries) {
    std::vector<std::pair<std::string, std::string>> props;
    for (int i = 0; i < 300; ++i) props.emplace_back("k" + std::to_string(i), amfNumber(i));
    const std::string bytes = ecma(props);
    AmfTable table;
    EXPECT_EQ(readAmfValue(asBytes(bytes), table), bytes.size());
    EXPECT_EQ(table.count, AmfTable::kCapacity);
    EXPECT_STREQ(table.entries[255].name, "k255");
    EXPECT_DOUBLE_EQ(table.entries[255].number, 255);
}

// ---- Flash Video: files ----

std::string flvHeader(uint8_t version = 1) { return std::string("FLV", 3) + static_cast<char>(version) + std::string("\x05\0\0\0\x09", 5); }

// One tag behind the previous tag size field.
std::string tag(uint8_t type, const std::string& data, uint32_t timestamp = 0, int64_t declared = -1) {
    return be32(0) + static_cast<char>(type) + be24(declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(data.size())) +
           be24(timestamp) + std::string(4, '\0') + data;
}

std::string onMetaData(const std::vector<std::pair<std::string, std::string>>& props) { return amfString("onMetaData") + ecma(props); }

// A Sorenson H.263 picture header: 17-bit start code, version 0, temporal
// reference 0, size code, and the explicit width/height fields.
std::string sorenson(unsigned code, unsigned w = 0, unsigned h = 0) {
    std::string bits = "00000000000000001" + std::string("00000") + std::string(8, '0');
    for (int b = 2; b >= 0; --b) bits += ((code >> b) & 1) ? '1' : '0';
    const int fieldBits = code == 0 ? 8 : 16;
    if (code <= 1) {
        for (int b = fieldBits - 1; b >= 0; --b) bits += ((w >> b) & 1) ? '1' : '0';
        for (int b = fieldBits - 1; b >= 0; --b) bits += ((h >> b) & 1) ? '1' : '0';
    }
    while (bits.size() % 8) bits += '0';
    std::string out(1, '\x12');  // key frame, codec 2
    for (size_t i = 0; i < bits.size(); i += 8) out += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
    return out + std::string(8, '\x5A');
}

std::string avcSequenceHeader(uint8_t profile, uint8_t level) {
    return std::string("\x17\x00\x00\x00\x00\x01", 6) + static_cast<char>(profile) + '\0' + static_cast<char>(level) +
           std::string("\xFF\xE1\x00\x00", 4);
}

class FlvTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes) { return analyseAs(dir, "a.flv", bytes, VESKO_FMT_FLV); }
    test::TempDir dir;
};

TEST_F(FlvTest, Fixtures) {
    // ffprobe durations: 1.025, 1.200, 0.744, 1.016, 1.025 (the metadata's
    // values, which ffprobe reports as well; the renderings cut them to
    // whole milliseconds).
    const struct {
        const char* file;
        std::map<std::string, std::string> video, audio;
        double duration;
    } cases[] = {
        {"flv_flv1_mp3.flv",
         {{"tpl", "FLASHVIDEO/FLV"}, {"codec", "Sorenson H.263"}, {"width", "160"}, {"height", "120"}, {"framerate", "10.00"},
          {"bitratek", "146.48"}, {"profile", ""}},
         {{"tpl", "MP3/CBR2"}, {"samplerate", "44100"}, {"bitrate", "64000.00"}},
         1.024},
        {"flv_h264_aac.flv",
         {{"tpl", "FLASHVIDEO/FLL"}, {"codec", "AVC/H.264"}, {"profile", "High@4"}, {"width", "128"}, {"height", "96"},
          {"framerate", "10.00"}, {"bitrate", "0.00"}},
         {{"tpl", "FLASHVIDEO/AUDIO"}, {"codec", "AAC"}, {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"},
          {"bitrate", "31250.00"}},
         1.2},
        {"flv_adpcm_audio_only.flv",
         {},
         {{"codec", "ADPCM"}, {"samplerate", "11025"}, {"bitdepth", "16"}, {"channel", "1"}, {"bitratek", "125.00"}},
         0.744},
        // No script tag: the last tag's timestamp. Nellymoser 8 kHz says so
        // in its format number; the rate code is not looked at.
        {"flv_nellymoser8k_no_metadata.flv",
         {},
         {{"codec", "Nellymoser(8kHz)"}, {"samplerate", "8000"}, {"channel", "1"}, {"bitrate", "0.00"}},
         1.016},
        // The metadata follows the first video and audio tags: it sets the
        // play time but not the values of the lines already built.
        {"flv_metadata_after_tags.flv",
         {{"codec", "Sorenson H.263"}, {"width", "160"}, {"height", "120"}, {"framerate", "0.00"}, {"bitrate", "0.00"}},
         {{"tpl", "MP3/CBR2"}},
         1.024},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        EXPECT_EQ(r->formatCode, VESKO_FMT_FLV);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "FlashVideo");
        EXPECT_NEAR(r->duration, c.duration, 0.001);
        ASSERT_EQ(r->videoCount, c.video.empty() ? 0 : 1);
        ASSERT_EQ(r->audioCount, 1);
        if (!c.video.empty()) {
            auto v = test::fields(r->videoText[0]);
            for (const auto& [k, value] : c.video) EXPECT_EQ(v[k], value) << k;
        }
        auto a = test::fields(r->audioText[0]);
        for (const auto& [k, value] : c.audio) EXPECT_EQ(a[k], value) << k;
    }
}

TEST_F(FlvTest, MetadataDurationWinsOverTheLastTimestamp) {
    const std::string script = tag(18, onMetaData({{"duration", amfNumber(120.5)}, {"width", amfNumber(640)}}));
    auto r = analyse(flvHeader() + script + tag(8, "\x2E\x00\x00", 0) + tag(8, "\x2E\x00\x00", 99000));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 120.5);
    r = analyse(flvHeader() + tag(8, "\x2E\x00\x00", 0) + tag(8, "\x2E\x00\x00", 99000) + tag(9, "", 123456));
    EXPECT_DOUBLE_EQ(r->duration, 123.456);
}

TEST_F(FlvTest, MetadataValuesFeedTheLines) {
    const std::string script = tag(18, onMetaData({{"duration", amfNumber(10)}, {"width", amfNumber(640.9)},
                                                   {"height", amfNumber(360)}, {"videodatarate", amfNumber(500)},
                                                   {"framerate", amfNumber(29.97)}, {"audiodatarate", amfNumber(96)}}));
    auto r = analyse(flvHeader() + script + tag(9, "\x14" + std::string(10, '\0')) + tag(8, std::string("\xAF\x01", 2)));
    ASSERT_STREQ(r->errorText, "");
    auto v = test::fields(r->videoText[0]);
    EXPECT_EQ(v["tpl"], "FLASHVIDEO/FLV");
    EXPECT_EQ(v["codec"], "On2 VP6");
    EXPECT_EQ(v["width"], "640");
    EXPECT_EQ(v["height"], "360");
    EXPECT_EQ(v["framerate"], "29.97");
    EXPECT_EQ(v["bitrate"], "500000.00");
    EXPECT_EQ(v["bitratek"], "500.00");
    auto a = test::fields(r->audioText[0]);
    EXPECT_EQ(a["codec"], "AAC");
    EXPECT_EQ(a["bitrate"], "96000.00");
    EXPECT_EQ(a["samplerate"], "44100");
    EXPECT_EQ(a["bitdepth"], "16");
    EXPECT_EQ(a["channel"], "2");
}

TEST_F(FlvTest, MetadataNamesAreFoundWhereverTheyOccurAndTheLastWins) {
    // "DURATION" inside a text, then the real array: each occurrence is
    // read; the last number after the name wins. A text value is no number.
    const std::string data = amfString("x") + "DURATION" + amfNumber(5) + onMetaData({{"duration", amfNumber(7.5)}}) + "width" +
                             amfString("wide");
    auto r = analyse(flvHeader() + tag(18, data) + tag(8, "\x2E\x00", 0));
    EXPECT_DOUBLE_EQ(r->duration, 7.5);
    EXPECT_EQ(test::fields(r->audioText[0])["codec"], "MPEG1-LayerIII");
}

TEST_F(FlvTest, SorensonPictureSizes) {
    const struct {
        unsigned code, w, h;
        const char* width;
        const char* height;
    } cases[] = {
        {0, 200, 100, "200", "100"}, {1, 1000, 720, "1000", "720"}, {2, 0, 0, "352", "288"}, {3, 0, 0, "176", "144"},
        {4, 0, 0, "128", "96"},      {5, 0, 0, "320", "240"},       {6, 0, 0, "160", "120"}, {7, 0, 0, "0", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        auto r = analyse(flvHeader() + tag(9, sorenson(c.code, c.w, c.h)));
        ASSERT_STREQ(r->errorText, "");
        auto v = test::fields(r->videoText[0]);
        EXPECT_EQ(v["codec"], "Sorenson H.263");
        EXPECT_EQ(v["width"], c.width);
        EXPECT_EQ(v["height"], c.height);
    }
}

TEST_F(FlvTest, ShortSorensonHeadersLeaveThePictureSizeToTheMetadata) {
    const std::string script = tag(18, onMetaData({{"width", amfNumber(64)}, {"height", amfNumber(48)}}));
    const struct {
        const char* what;
        std::string data;
        const char* width;
    } cases[] = {
        {"code 1 needs nine bytes", sorenson(1, 1000, 720).substr(0, 9), "64"},
        {"code 0 needs seven bytes", sorenson(0, 200, 100).substr(0, 7), "64"},
        {"code 0 with seven bytes", sorenson(0, 200, 100).substr(0, 8), "200"},
        {"code 5 with five bytes", sorenson(5).substr(0, 6), "320"},
        {"four bytes", sorenson(5).substr(0, 5), "64"},
        {"codec byte only", "\x12", "64"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(flvHeader() + script + tag(9, c.data));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(test::fields(r->videoText[0])["width"], c.width);
    }
}

TEST_F(FlvTest, AvcProfileFromTheSequenceHeader) {
    const struct {
        const char* what;
        std::string data;
        const char* tpl;
        const char* profile;
    } cases[] = {
        {"High@4", avcSequenceHeader(100, 40), "FLASHVIDEO/FLL", "High@4"},
        {"Baseline@3.1", avcSequenceHeader(66, 31), "FLASHVIDEO/FLL", "Baseline@3.1"},
        {"eight bytes", avcSequenceHeader(100, 40).substr(0, 8), "FLASHVIDEO/FLV", ""},
        {"a coded picture first", std::string("\x17\x01", 2) + avcSequenceHeader(100, 40).substr(2), "FLASHVIDEO/FLV", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(flvHeader() + tag(9, c.data));
        ASSERT_STREQ(r->errorText, "");
        auto v = test::fields(r->videoText[0]);
        EXPECT_EQ(v["tpl"], c.tpl);
        EXPECT_EQ(v["codec"], "AVC/H.264");
        EXPECT_EQ(v["profile"], c.profile);
    }
}

TEST_F(FlvTest, VideoCodecTexts) {
    const char* expected[16] = {"Unknown(0)",   "Unknown(1)",  "Sorenson H.263", "Screen video", "On2 VP6", "On2 VP6(Alpha Channel)",
                                "Screen video 2", "AVC/H.264", "Unknown(8)",     "Unknown(9)",   "Unknown(10)", "Unknown(11)",
                                "Unknown(12)",  "Unknown(13)", "Unknown(14)",    "Unknown(15)"};
    for (unsigned id = 0; id < 16; ++id) {
        SCOPED_TRACE(id);
        EXPECT_EQ(flashVideoCodecText(id), expected[id]);
        auto r = analyse(flvHeader() + tag(9, std::string(1, static_cast<char>(0x20 | id))));
        EXPECT_EQ(test::fields(r->videoText[0])["codec"], expected[id]);
    }
}

TEST_F(FlvTest, AudioFlags) {
    const struct {
        uint8_t flags;
        const char* codec;
        const char* rate;
        const char* bits;
        const char* channels;
    } cases[] = {
        {0x00, "PCM", "5500", "8", "1"},
        {0x17, "ADPCM", "11025", "16", "2"},
        {0x2F, "MPEG1-LayerIII", "44100", "16", "2"},  // no frame to decode
        {0x36, "LinearPCM", "11025", "16", "1"},
        {0x4F, "Nellymoser(16kHz)", "16000", "16", "1"},
        {0x5F, "Nellymoser(8kHz)", "8000", "16", "1"},
        {0x6D, "Nellymoser", "44100", "8", "2"},
        {0x72, "A-law", "5500", "16", "1"},
        {0x82, "mu-law", "5500", "16", "1"},
        {0x9F, "Unknown(9)", "44100", "16", "2"},
        {0xAF, "AAC", "44100", "16", "2"},
        {0xB2, "Speex", "5500", "16", "1"},
        {0xC0, "Unknown(12)", "5500", "8", "1"},
        {0xD0, "Unknown(13)", "5500", "8", "1"},
        {0xE7, "MPEG1-LayerIII(8kHz)", "8000", "16", "2"},
        {0xF0, "Unknown(15)", "5500", "8", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        auto r = analyse(flvHeader() + tag(8, std::string(1, static_cast<char>(c.flags)) + std::string(20, '\0')));
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        auto a = test::fields(r->audioText[0]);
        EXPECT_EQ(a["tpl"], "FLASHVIDEO/AUDIO");
        EXPECT_EQ(a["codec"], c.codec);
        EXPECT_EQ(a["samplerate"], c.rate);
        EXPECT_EQ(a["bitdepth"], c.bits);
        EXPECT_EQ(a["channel"], c.channels);
    }
}

TEST_F(FlvTest, OnlyTheFirstAudioAndVideoTagsWithDataCount) {
    auto r = analyse(flvHeader() + tag(8, "") + tag(9, "") + tag(8, std::string(1, '\x10')) + tag(9, std::string(1, '\x13')) +
                     tag(8, std::string(1, '\x20')) + tag(9, std::string(1, '\x14')));
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 1);
    ASSERT_EQ(r->videoCount, 1);
    EXPECT_EQ(test::fields(r->audioText[0])["codec"], "ADPCM");
    EXPECT_EQ(test::fields(r->videoText[0])["codec"], "Screen video");
}

TEST_F(FlvTest, WalkStopsAfterElevenTagsOnceTheDurationIsKnown) {
    std::string tags = tag(18, onMetaData({{"duration", amfNumber(3)}}));
    for (int i = 0; i < 10; ++i) tags += tag(1, "x", 100u * i);
    auto r = analyse(flvHeader() + tags + tag(9, std::string(1, '\x14')));
    EXPECT_EQ(std::string(r->errorText), cp("[FlashVideo] 認識できる映像と音声が1ストリームもありません"));
    EXPECT_DOUBLE_EQ(r->duration, 3.0);
    // Without a duration the walk goes on to the end.
    std::string noDuration = tag(18, onMetaData({{"width", amfNumber(3)}}));
    for (int i = 0; i < 10; ++i) noDuration += tag(1, "x", 100u * i);
    r = analyse(flvHeader() + noDuration + tag(9, std::string(1, '\x14'), 2500));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(r->videoCount, 1);
    EXPECT_DOUBLE_EQ(r->duration, 2.5);
}

TEST_F(FlvTest, Refusals) {
    const struct {
        const char* what;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"version 2", flvHeader(2) + tag(8, "\x2E"), cp("[FlashVideo] FlashVideo Version1以外は未対応です")},
        {"version 0", flvHeader(0), cp("[FlashVideo] FlashVideo Version1以外は未対応です")},
        {"no signature", "FLX" + flvHeader().substr(3), cp("[FlashVideo] FlashVideoではありません")},
        {"lower case signature", "flv" + flvHeader().substr(3) + tag(8, "\x2E"), ""},
        {"empty file", "", cp("[FlashVideo] FlashVideoではありません")},
        {"no tags", flvHeader(), cp("[FlashVideo] 認識できる映像と音声が1ストリームもありません")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        EXPECT_EQ(std::string(r->errorText), c.error);
    }
}

TEST_F(FlvTest, BoundedTagWalk) {
    const struct {
        const char* what;
        std::string bytes;
        int audio;
        double duration;
    } cases[] = {
        {"zero sizes", flvHeader() + tag(1, "", 10) + tag(1, "", 20) + tag(8, "\x2E", 30), 1, 0.03},
        {"oversized data size", flvHeader() + tag(8, "\x2E", 40) + tag(18, "abc", 50, 0xFFFFFF), 1, 0.05},
        {"cut tag header", flvHeader() + tag(8, "\x2E", 40) + tag(9, "\x12", 60).substr(0, 10), 1, 0.04},
        {"audio data beyond the end", flvHeader() + tag(8, "\x2E", 70, 5000), 1, 0.07},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->audioCount, c.audio);
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
    }
}

TEST_F(FlvTest, HostileScriptData) {
    // Deep nesting, many names each followed by long arrays, lengths beyond
    // the tag: the tag is read without a crash and the lines still come.
    std::string deep = amfString("onMetaData");
    for (int i = 0; i < 50000; ++i) deep += std::string("\x08", 1) + be32(1) + amfName("duration");
    deep += amfNumber(9);
    std::string many;
    std::string array = std::string("\x08", 1) + be32(2000);
    for (int i = 0; i < 2000; ++i) array += amfName("w") + std::string("\x05", 1);
    for (int i = 0; i < 200; ++i) many += "width" + array;
    const std::string beyond = "duration" + std::string("\x0C", 1) + be32(0x7FFFFFFF) + "abc" + "width" + amfString("x").substr(0, 2);
    for (const std::string& data : {deep, many, beyond}) {
        SCOPED_TRACE(data.size());
        auto r = analyse(flvHeader() + tag(18, data) + tag(8, "\x2E", 0) + tag(9, "\x14", 400));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->audioCount, 1);
        EXPECT_EQ(r->videoCount, 1);
    }
}

}  // namespace
}  // namespace vesko
