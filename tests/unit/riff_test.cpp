// Tests of the RIFF analyser (AVI, WAVE) and the stream-header decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "containers/riff_streams.h"
#include "io.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders of RIFF bytes ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }

// A chunk with its pad byte when the size is odd.
std::string chunk(const std::string& id, const std::string& data) {
    return id + le32(static_cast<uint32_t>(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}
// A chunk whose size field says `size`, whatever follows.
std::string chunkHeader(const std::string& id, uint32_t size) { return id + le32(size); }
std::string list(const std::string& type, const std::string& body) { return chunk("LIST", type + body); }
std::string riff(const std::string& form, const std::string& body) { return "RIFF" + le32(static_cast<uint32_t>(4 + body.size())) + form + body; }

// "strh" data: type, handler, flags, priority + language, initial frames,
// scale, rate, start, length, buffer size, quality, sample size, frame.
std::string strh(const std::string& type, const std::string& handler, uint32_t scale, uint32_t rate, uint32_t length) {
    return chunk("strh", type + handler + le32(0) + le32(0) + le32(0) + le32(scale) + le32(rate) + le32(0) + le32(length) +
                             le32(0) + le32(0xFFFFFFFF) + le32(0) + std::string(8, '\0'));
}
std::string bitmapStrf(int32_t width, int32_t height, uint16_t bits, const std::string& compression) {
    return chunk("strf", le32(40) + le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)) + le16(1) +
                             le16(bits) + compression + le32(0) + std::string(16, '\0'));
}
std::string waveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avgBytes, uint16_t align, uint16_t bits) {
    return le16(tag) + le16(channels) + le32(rate) + le32(avgBytes) + le16(align) + le16(bits);
}
std::string avih(uint32_t microsecondsPerFrame) { return chunk("avih", le32(microsecondsPerFrame) + std::string(52, '\0')); }

std::string videoStrl(const std::string& handler, uint32_t scale = 1, uint32_t rate = 10, uint32_t length = 5,
                      const std::string& compression = "") {
    return list("strl", strh("vids", handler, scale, rate, length) +
                            bitmapStrf(160, 120, 24, compression.empty() ? handler : compression));
}
std::string audioStrl(uint16_t tag, uint32_t avgBytes = 8000) {
    return list("strl", strh("auds", std::string(4, '\0'), 1152, 44100, 20) +
                            chunk("strf", waveFormat(tag, 2, 44100, avgBytes, 1152, 0) + le16(0)));
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The frames of a real stream, to put into crafted chunks.
// Its first frame (417 bytes) is LAME's Info frame; the ones after it are
// plain CBR frames.
std::string mp3Frames() { return fileBytes(test::fixture("mp3_cbr128.mp3")).substr(417, 4000); }

// The RIFF analyser on a file, whatever identification would make of it
// (files under 40 bytes, for one, are not identified).
std::unique_ptr<AnalysisRecord> analyseAsRiff(const std::filesystem::path& path, int32_t code) {
    auto record = test::makeRecord(path);
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

// The RIFF analyser on crafted bytes, as AVI (".avi") or WAVE (".wav").
std::unique_ptr<AnalysisRecord> analyseBytes(const test::TempDir& dir, const std::string& name, const std::string& bytes) {
    const bool avi = name.size() >= 4 && name.compare(name.size() - 4, 4, ".avi") == 0;
    return analyseAsRiff(dir.write(name, bytes), avi ? VESKO_FMT_AVI : VESKO_FMT_WAVE);
}

std::map<std::string, std::string> videoFields(const AnalysisRecord& r) { return test::fields(r.videoText[0]); }
std::map<std::string, std::string> audioFields(const AnalysisRecord& r, int i = 0) { return test::fields(r.audioText[i]); }

Bytes asBytes(const std::string& s) { return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

class RiffTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    test::TempDir dir;
};

// ---- header decoders ----

TEST(RiffHeaders, WaveFormatFieldsAndShortChunks) {
    const std::string full = waveFormat(0xFFFE, 6, 48000, 288000, 12, 16) + le16(22) + std::string(22, 'x');
    WaveFormat f = parseWaveFormat(asBytes(full));
    EXPECT_EQ(f.formatTag, 0xFFFE);
    EXPECT_EQ(f.channels, 6);
    EXPECT_EQ(f.samplesPerSecond, 48000u);
    EXPECT_EQ(f.averageBytesPerSecond, 288000u);
    EXPECT_EQ(f.blockAlign, 12);
    EXPECT_EQ(f.bitsPerSample, 16);

    // A chunk of 9 bytes: the byte rate and what follows are not there.
    f = parseWaveFormat(asBytes(full.substr(0, 9)));
    EXPECT_EQ(f.samplesPerSecond, 48000u);
    EXPECT_EQ(f.averageBytesPerSecond, 0u);
    EXPECT_EQ(f.bitsPerSample, 0);
    f = parseWaveFormat(Bytes());
    EXPECT_EQ(f.formatTag, 0);
}

TEST(RiffHeaders, BitmapHeaderKeepsTheSignOfTheHeight) {
    const std::string data = bitmapStrf(320, -240, 32, "XVID").substr(8);
    BitmapHeader h = parseBitmapHeader(asBytes(data));
    EXPECT_EQ(h.width, 320);
    EXPECT_EQ(h.height, -240);
    EXPECT_EQ(h.bitCount, 32);
    EXPECT_STREQ(h.compression, "XVID");
    h = parseBitmapHeader(asBytes(data.substr(0, 18)));
    EXPECT_EQ(h.height, -240);
    EXPECT_EQ(std::string(h.compression, 4), std::string("XV\0\0", 4));
}

TEST(RiffHeaders, StreamHeaderFieldsAndShortChunks) {
    const std::string data = strh("vids", "DX50", 1001, 30000, 1234).substr(8);
    AviStreamHeader h = parseAviStreamHeader(asBytes(data));
    EXPECT_STREQ(h.type, "vids");
    EXPECT_STREQ(h.handler, "DX50");
    EXPECT_EQ(h.scale, 1001u);
    EXPECT_EQ(h.rate, 30000u);
    EXPECT_EQ(h.length, 1234u);
    h = parseAviStreamHeader(asBytes(data.substr(0, 30)));
    EXPECT_EQ(h.rate, 30000u);
    EXPECT_EQ(h.length, 0u);
}

TEST(RiffHeaders, FourccKeyTurnsBytesOutside32To122IntoSpaces) {
    const struct {
        std::string in;
        std::string key;
    } cases[] = {
        {"XVID", "XVID"},
        {"xvid", "xvid"},
        {std::string("\0\0\0\0", 4), "    "},  // BI_RGB
        {std::string("\x01\0\0\0", 4), "    "},  // BI_RLE8
        {"z{ \x1F", "z   "},                      // 122 kept, 123 and 31 not
        {"AB", "AB  "},
        {"\x80\xFF" "ab", "  ab"},
    };
    for (const auto& c : cases) EXPECT_EQ(fourccKey(asBytes(c.in)), c.key) << c.in;
}

TEST(RiffHeaders, VideoCodecKeyPrefersTheHandlerWhenBothAgree) {
    EXPECT_EQ(aviVideoCodecKey("xvid", "XVID"), "xvid");
    EXPECT_EQ(aviVideoCodecKey("DIVX", "DX50"), "DX50");
    EXPECT_EQ(aviVideoCodecKey(std::string("\0\0\0\0", 4), "MJPG"), "MJPG");
    EXPECT_EQ(aviVideoCodecKey(std::string("\0\0\0\0", 4), std::string("\0\0\0\0", 4)), "    ");
}

TEST(RiffHeaders, ProbedFormatTags) {
    for (uint16_t tag : {0x0001, 0x0008, 0x0050, 0x0055, 0x2000, 0x2001}) EXPECT_TRUE(isProbedFormatTag(tag)) << tag;
    for (uint16_t tag : {0x0000, 0x0002, 0x0011, 0x00FF, 0x0161, 0x2002, 0xFFFE}) EXPECT_FALSE(isProbedFormatTag(tag)) << tag;
}

TEST_F(RiffTest, CodecNamesFromCodecsIni) {
    const struct {
        uint16_t tag;
        const char* name;
    } tags[] = {
        {0x0001, "test-wav-0001"}, {0x0002, "test-wav-0002"}, {0x0055, "test-wav-0055"},
        {0x00FF, "test-wav-00FF"}, {0x2001, "test-wav-2001"}, {0xFFFE, "test-wav-FFFE"},
    };
    for (const auto& t : tags) EXPECT_EQ(audioCodecName(t.tag), t.name) << t.tag;
    // Four upper-case hexadecimal digits; the failure text when missing.
    EXPECT_EQ(audioCodecName(0xabcd), cp("不明ABCD"));
    EXPECT_EQ(audioCodecName(0x0001, 8), "test-wa");

    EXPECT_EQ(videoCodecName("dx50"), "DivX 5 test-avi-DX50");
    EXPECT_EQ(videoCodecName("    "), "test-avi-four-spaces");
    EXPECT_EQ(videoCodecName("WXYZ"), cp("不明WXYZ"));
}

// ---- description lines ----

TEST_F(RiffTest, VideoLineFillsEveryPlaceholder) {
    VideoStreamInfo v{};
    v.width = 640;
    v.height = -480;
    v.bitDepth = 24;
    std::strcpy(v.codec, "Some codec");
    v.frameRate = 29.97002997;
    v.frameCount = 1800;
    v.bitRate = 1234567.891;
    auto f = test::fields(describeRiffVideo(v));
    EXPECT_EQ(f["tpl"], "RIFF/VIDEO");
    EXPECT_EQ(f["width"], "640");
    EXPECT_EQ(f["height"], "-480");
    EXPECT_EQ(f["bitdepth"], "24");
    EXPECT_EQ(f["codec"], "Some codec");
    EXPECT_EQ(f["framerate"], "29.97");
    EXPECT_EQ(f["frame"], "1800");
    EXPECT_EQ(f["bitratek"], "1234.57");
    EXPECT_EQ(f["bitrate"], "1234567.89");

    char small[16];
    describeRiffVideo(small, sizeof small, v);
    EXPECT_EQ(std::string(small), describeRiffVideo(v).substr(0, 15));
}

TEST_F(RiffTest, AudioLineFillsEveryPlaceholder) {
    AudioStreamInfo a = audioStreamInfo(parseWaveFormat(asBytes(waveFormat(1, 2, 44100, 176400, 4, 16))), "PCM name");
    auto f = test::fields(describeRiffAudio(a));
    EXPECT_EQ(f["tpl"], "RIFF/AUDIO");
    EXPECT_EQ(f["codec"], "PCM name");
    EXPECT_EQ(f["sampleratek"], "44.10");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["bitratek"], "1411.20");
    EXPECT_EQ(f["bitrate"], "1411200.00");

    // The largest rate a header can hold is not cut to 32 signed bits.
    a = audioStreamInfo(parseWaveFormat(asBytes(waveFormat(1, 1, 0xFFFFFFFF, 0xFFFFFFFF, 1, 8))), "x");
    f = test::fields(describeRiffAudio(a));
    EXPECT_EQ(f["samplerate"], "4294967295");
    EXPECT_EQ(f["bitrate"], "34359738360.00");
}

// ---- audio payload probe ----

TEST_F(RiffTest, ProbeDecodesTheFirstFrameByFormatTag) {
    const std::string mp3 = mp3Frames();
    const std::string ac3 = fileBytes(test::fixture("ac3_stereo.ac3")).substr(0, 4096);
    const std::string dts = fileBytes(test::fixture("dts_stereo_44k.dts")).substr(0, 4096);
    const std::string junk(700, '\x55');
    const struct {
        const char* name;
        std::string bytes;
        uint16_t tag;
        const char* tpl;  // nullptr: the probe fails
    } cases[] = {
        {"MP3 as 0x0055", mp3, 0x0055, "MP3/CBR2"},
        {"MP3 as 0x0050", mp3, 0x0050, "MP3/CBR2"},
        {"MP3 behind junk", junk + mp3, 0x0055, "MP3/CBR2"},
        {"AC-3 as 0x2000", ac3, 0x2000, "AC3/AUDIO"},
        {"AC-3 behind junk", junk + ac3, 0x2000, "AC3/AUDIO"},
        {"DTS as 0x2001", dts, 0x2001, "DTS/AUDIO1"},
        {"DTS as PCM 0x0001", dts, 0x0001, "DTS/AUDIO1"},
        {"DTS as 0x0008", dts, 0x0008, "DTS/AUDIO1"},
        {"MP3 as AC-3", mp3, 0x2000, nullptr},
        {"AC-3 as MP3", ac3.substr(0, 200), 0x0055, nullptr},
        {"plain PCM", std::string(4096, '\0'), 0x0001, nullptr},
        {"tag without decoder", mp3, 0x00FF, nullptr},
        {"three bytes of a header", mp3.substr(0, 3), 0x0055, nullptr},
        {"AC-3 sync without room", ac3.substr(0, 5), 0x2000, nullptr},
        {"empty", "", 0x0055, nullptr},
    };
    for (const auto& c : cases) {
        std::string line = "untouched";
        const bool ok = probeAudioPayload(asBytes(c.bytes), c.tag, line);
        EXPECT_EQ(ok, c.tpl != nullptr) << c.name;
        if (c.tpl)
            EXPECT_EQ(test::fields(line)["tpl"], c.tpl) << c.name;
        else
            EXPECT_EQ(line, "untouched") << c.name;
    }
    std::string line;
    ASSERT_TRUE(probeAudioPayload(asBytes(ac3), 0x2000, line));
    EXPECT_EQ(test::fields(line)["codec"], "Dolby AC-3");
}

TEST_F(RiffTest, ProbeIntoABufferLeavesTheReaderWhereItWas) {
    const std::string mp3 = mp3Frames();
    FileReader reader;
    ASSERT_TRUE(reader.openPath(utf8ToUtf16(test::fixture("mp3_cbr128.mp3").string())));
    reader.seek(123, 0);
    char out[512] = "untouched";
    EXPECT_TRUE(probeAudioPayload(reinterpret_cast<const uint8_t*>(mp3.data()), mp3.size(), 0x0055, out, sizeof out, &reader));
    EXPECT_EQ(test::fields(out)["tpl"], "MP3/CBR2");
    EXPECT_EQ(reader.tell(), 123u);
    char none[8] = "same";
    EXPECT_FALSE(probeAudioPayload(reinterpret_cast<const uint8_t*>(mp3.data()), mp3.size(), 0x0002, none, sizeof none, &reader));
    EXPECT_STREQ(none, "same");
    EXPECT_FALSE(probeAudioPayload(nullptr, 100, 0x0055, none, sizeof none));
}

// ---- DivX and XviD version strings ----

std::string detectDivx(const std::string& data, bool* found = nullptr) {
    char out[256] = "untouched";
    const bool ok = detectDivxVersion(out, sizeof out, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    if (found) *found = ok;
    return out;
}

std::string detectXvid(const std::string& data, bool* found = nullptr) {
    char out[256] = "untouched";
    const bool ok = detectXvidVersion(out, sizeof out, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    if (found) *found = ok;
    return out;
}

TEST_F(RiffTest, DivxVersionByTheLongestKeyFound) {
    const std::string ud = test::bytes({0, 0, 1, 0xB2});
    const std::string vop = test::bytes({0, 0, 1, 0xB6, 0x10, 0x20});
    const struct {
        const char* name;
        std::string data;
        bool found;
        std::string text;
    } cases[] = {
        {"15 characters", ud + "DivX500Build413" + vop, true, "test-divx15-DivX500Build413"},
        {"12 characters", ud + "DivX503b1393p" + vop, true, "test-divx12-DivX503b1393"},
        {"11 characters", ud + "DivX501b450p" + vop, true, "test-divx11-DivX501b450"},
        {"any case", ud + "DIVX503b1393p" + vop, true, "test-divx12-DivX503b1393"},
        {"none known", ud + "DivX612b2816p" + vop, true, std::string("Divx 5.x(DivX612b281/DivX612b2816/DivX612b2816p") + ")"},
        {"no string", ud + "Lavc60.31.102" + vop, false, "untouched"},
        // 15 bytes: too short to search; 16: "DivX" at offset 0 is searched.
        {"15 bytes", "DivX503b1393pxx", false, "untouched"},
        {"16 bytes", "DivX503b1393pxxx", true, "test-divx12-DivX503b1393"},
        // The last offset searched is length - 16.
        {"at length - 16", std::string(10, 'x') + "DivX503b1393pxxx", true, "test-divx12-DivX503b1393"},
        {"at length - 15", std::string(10, 'x') + "DivX503b1393pxx", false, "untouched"},
        {"empty", "", false, "untouched"},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(detectDivx(c.data, &found), c.text) << c.name;
        EXPECT_EQ(found, c.found) << c.name;
    }
    EXPECT_FALSE(detectDivxVersion(nullptr, 0, nullptr, 100));
}

TEST_F(RiffTest, XvidVersionByBuild) {
    const struct {
        const char* name;
        std::string data;
        bool found;
        std::string text;
    } cases[] = {
        {"known build", test::bytes({0, 0, 1, 0xB2}) + "XviD0069" + test::bytes({0, 0, 1, 0xB6}), true, "test-xvid-XviD0069"},
        {"other known build", "XviD0046\n", true, "test-xvid-XviD0046"},
        {"unknown build", "..XviD0123..", true, "XviD MPEG4(XviD0123)"},
        {"case matters", "..xvid0069..", false, "untouched"},
        {"8 bytes", "XviD0069", false, "untouched"},
        {"9 bytes", "XviD0069.", true, "test-xvid-XviD0069"},
        {"at length - 8", ".XviD0069", false, "untouched"},
    };
    for (const auto& c : cases) {
        bool found = !c.found;
        EXPECT_EQ(detectXvid(c.data, &found), c.text) << c.name;
        EXPECT_EQ(found, c.found) << c.name;
    }
}

// ---- fixtures end to end ----

// The bytes of every LIST movi of an AVI file (found by their type), the
// total the analyser's bit rate is built from.
uint64_t moviBytes(const std::string& file) {
    uint64_t total = 0;
    for (size_t p = file.find("movi"); p != std::string::npos; p = file.find("movi", p + 4))
        if (p >= 8 && file.compare(p - 8, 4, "LIST") == 0)
            total += static_cast<uint8_t>(file[p - 4]) | static_cast<uint8_t>(file[p - 3]) << 8 |
                     static_cast<uint8_t>(file[p - 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(file[p - 1])) << 24;
    return total;
}

TEST_F(RiffTest, AviFixtures) {
    const struct {
        const char* file;
        const char* label;
        const char* videoCodec;
        int width, height;
        const char* frames;
        // The play time is the video stream's (length / (rate / scale)),
        // which ffprobe gives as that stream's duration; its format duration
        // is the longest stream's: 0.512 s for the AC-3 files, 0.731429 s for
        // the H.264 + MP3 ones, where the audio runs longer.
        double duration;
        double audioBytesPerSecond; // of the audio stream header
        const char* audioTpl;
        const char* audioCodec;     // RIFF/AUDIO lines: the CODECS.INI name
        const char* sampleRate;
        const char* channels;       // as the template shows them
    } cases[] = {
        {"avi_xvid_mp3.avi", "RIFF(AVI1.0)", "test-xvid-XviD0069", 128, 96, "6", 0.6, 8000, "MP3/CBR2", nullptr, "44100", "JointStereo"},
        {"avi_audio_first_xvid_mp3.avi", "RIFF(AVI1.0)", "test-xvid-XviD0069", 128, 96, "6", 0.6, 8000, "MP3/CBR2", nullptr, "44100",
         "JointStereo"},
        {"avi_dx50_ac3.avi", "RIFF(AVI1.0)", "DivX 5 test-avi-DX50", 128, 96, "5", 0.5, 12000, "AC3/AUDIO", nullptr, "48000", "2.0"},
        {"avi_dx50_divx503_userdata.avi", "RIFF(AVI1.0)", "test-divx12-DivX503b1393", 128, 96, "5", 0.5, 12000, "AC3/AUDIO", nullptr,
         "48000", "2.0"},
        {"avi_msmpeg4v3_pcm16.avi", "RIFF(AVI1.0)", "test-avi-MP43", 128, 96, "5", 0.5, 44100, "RIFF/AUDIO", "test-wav-0001", "22050",
         "1"},
        {"avi_mjpeg_pcm8.avi", "RIFF(AVI1.0)", "test-avi-MJPG", 64, 48, "5", 0.5, 11025, "RIFF/AUDIO", "test-wav-0001", "11025", "1"},
        {"avi_h264_mp3.avi", "RIFF(AVI1.0)", "test-avi-H264", 128, 96, "5", 0.5, 8000, "MP3/CBR2", nullptr, "44100", "JointStereo"},
        {"avi_opendml_avix.avi", "RIFF(AVI2.0)", "test-avi-H264", 128, 96, "5", 0.5, 8000, "MP3/CBR2", nullptr, "44100", "JointStereo"},
        {"avi_mpeg4_mp3.avi", "RIFF(AVI1.0)", "test-avi-FMP4", 160, 120, "11", 1.1, 8000, "MP3/CBR2", nullptr, "44100", "JointStereo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_AVI);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, c.label);
        ASSERT_EQ(r->videoCount, 1);
        auto v = videoFields(*r);
        EXPECT_EQ(v["codec"], c.videoCodec);
        EXPECT_EQ(v["width"], std::to_string(c.width));
        EXPECT_EQ(v["height"], std::to_string(c.height));
        EXPECT_EQ(v["bitdepth"], "24");
        EXPECT_EQ(v["framerate"], "10.00");
        EXPECT_EQ(v["frame"], c.frames);
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        // All "movi" bytes over the play time, less the audio streams' rates.
        const double bitRate = moviBytes(fileBytes(path)) * 8.0 / c.duration - c.audioBytesPerSecond * 8;
        EXPECT_NEAR(std::stod(v["bitrate"]), bitRate, 0.01);
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));

        ASSERT_EQ(r->audioCount, 1);
        auto a = audioFields(*r);
        EXPECT_EQ(a["tpl"], c.audioTpl);
        EXPECT_EQ(a["samplerate"], c.sampleRate);
        EXPECT_EQ(a["channel"], c.channels);
        if (c.audioCodec) {
            EXPECT_EQ(a["codec"], c.audioCodec);
            EXPECT_NEAR(std::stod(a["bitrate"]), c.audioBytesPerSecond * 8, 0.01);
        }
        EXPECT_EQ(r->extraCount, 0);
    }
}

TEST_F(RiffTest, AviPayloadLinesCarryTheDecodedValues) {
    auto r = test::analyse(test::fixture("avi_xvid_mp3.avi"));
    auto a = audioFields(*r);
    EXPECT_EQ(a["version"], "1");
    EXPECT_EQ(a["layer"], "III");
    EXPECT_EQ(a["bitratek"], "64.00");

    r = test::analyse(test::fixture("avi_dx50_ac3.avi"));
    a = audioFields(*r);
    EXPECT_EQ(a["codec"], "Dolby AC-3");
    EXPECT_EQ(a["bitratek"], "96.00");
    EXPECT_EQ(a["channelorder"], "L+R");

    r = test::analyse(test::fixture("avi_mjpeg_pcm8.avi"));
    a = audioFields(*r);
    EXPECT_EQ(a["bitdepth"], "8");
    EXPECT_EQ(a["bitrate"], "88200.00");
}

TEST_F(RiffTest, WaveFixtures) {
    const struct {
        const char* file;
        const char* tpl;
        const char* codec;  // RIFF/AUDIO lines
        const char* sampleRate;
        const char* bitDepth;  // RIFF/AUDIO and DTS lines
        const char* channels;
        const char* bitRate;
        double duration;
        const char* extra;
    } cases[] = {
        {"wav_pcm16_stereo.wav", "RIFF/AUDIO", "test-wav-0001", "44100", "16", "2", "1411200.00", 0.25, nullptr},
        {"wav_pcm8_mono.wav", "RIFF/AUDIO", "test-wav-0001", "8000", "8", "1", "64000.00", 0.5, nullptr},
        // ffprobe: 0.504853 s from the "fact" sample count. The play time
        // here is the data size over the header's byte rate, and ffmpeg
        // writes 16,000 bytes/s for MS ADPCM whatever the block layout:
        // 11,264 / 16,000 = 0.704 s, differing on purpose.
        {"wav_adpcm_ms.wav", "RIFF/AUDIO", "test-wav-0002", "22050", "4", "2", "128000.00", 0.704, nullptr},
        {"wav_info_list.wav", "RIFF/AUDIO", "test-wav-0001", "8000", "16", "1", "128000.00", 0.25, "INFOTAG"},
        // ffprobe: 1.025057 s from the "fact" sample count, which leaves out
        // the encoder's delay and padding; the data size over the byte rate
        // (8,359 / 8,000) counts every frame: 1.0449 s.
        {"wav_mp3_payload.wav", "MP3/CBR2", nullptr, "44100", nullptr, "JointStereo", "64000.00", 1.0449, nullptr},
        {"wav_ac3_payload.wav", "AC3/AUDIO", nullptr, "48000", nullptr, "2.0", "96000.00", 0.512, nullptr},
        // ffprobe: 0.104490 s.
        {"wav_dts_in_pcm.wav", "DTS/AUDIO1", nullptr, "44100", "16", "2.0", "1411200.00", 0.10449, nullptr},
        {"riff_form_lowercase_wave.wav", "RIFF/AUDIO", "test-wav-0001", "44100", "16", "2", "1411200.00", 0.25, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_WAVE);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RIFF(WAVE)");
        EXPECT_EQ(r->videoCount, 0);
        ASSERT_EQ(r->audioCount, 1);
        auto a = audioFields(*r);
        EXPECT_EQ(a["tpl"], c.tpl);
        if (c.codec) {
            EXPECT_EQ(a["codec"], c.codec);
        }
        EXPECT_EQ(a["samplerate"], c.sampleRate);
        if (c.bitDepth) {
            EXPECT_EQ(a["bitdepth"], c.bitDepth);
        }
        EXPECT_EQ(a["channel"], c.channels);
        EXPECT_EQ(a["bitrate"], c.bitRate);
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        if (c.extra) {
            ASSERT_EQ(r->extraCount, 1);
            EXPECT_STREQ(r->extraText[0], c.extra);
        } else {
            EXPECT_EQ(r->extraCount, 0);
        }
    }
}

TEST_F(RiffTest, WaveBehindAnId3v2TagIsAnalysedAsWithout) {
    const std::string wav = fileBytes(test::fixture("wav_pcm16_stereo.wav"));
    const std::string body = "TIT2" + std::string("\0\0\0\x06\0\0", 6) + std::string("\0title", 6) + std::string(20, '\0');
    const std::string tag = std::string("ID3\x03\0\0\0\0\0", 9) + static_cast<char>(body.size()) + body;
    auto plain = test::analyse(test::fixture("wav_pcm16_stereo.wav"));
    auto tagged = analyseBytes(dir, "tagged.wav", tag + wav);
    ASSERT_EQ(tagged->formatCode, VESKO_FMT_WAVE);
    EXPECT_STREQ(tagged->errorText, "");
    EXPECT_STREQ(tagged->formatName, "RIFF(WAVE)");
    ASSERT_EQ(tagged->audioCount, 1);
    EXPECT_STREQ(tagged->audioText[0], plain->audioText[0]);
    EXPECT_DOUBLE_EQ(tagged->duration, plain->duration);
}

TEST_F(RiffTest, WaveLabelsByChunk) {
    const std::string fmt = chunk("fmt ", waveFormat(1, 1, 8000, 16000, 2, 16));
    const std::string data = chunk("data", std::string(1600, '\0'));
    const struct {
        const char* name;
        std::string extra;
        const char* label;
    } cases[] = {
        {"bext", chunk("bext", std::string(602, '\0')), "RIFF(WAVE-BWF)"},
        {"iXML", chunk("iXML", "<BWFXML/>"), "RIFF(WAVE-BWF)"},
        {"2DX9", chunk("2DX9", std::string(24, '\0')), "RIFF(WAVE-IIDX)"},
        {"SD9 prefix", chunk("SD9\x01", std::string(32, '\0')), "RIFF(WAVE-IIDX)"},
        {"fact", chunk("fact", le32(800)), "RIFF(WAVE)"},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "label.wav", riff("WAVE", fmt + c.extra + data));
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_STREQ(r->formatName, c.label) << c.name;
        ASSERT_EQ(r->audioCount, 1) << c.name;
        EXPECT_EQ(audioFields(*r)["samplerate"], "8000") << c.name;
        EXPECT_DOUBLE_EQ(r->duration, 0.1) << c.name;
    }
}

// ---- chunk walk faults ----

TEST_F(RiffTest, WaveChunkSizesNeverDerailTheWalk) {
    const std::string fmt = chunk("fmt ", waveFormat(1, 1, 8000, 16000, 2, 16));
    const std::string data = chunk("data", std::string(1600, '\0'));
    const struct {
        const char* name;
        std::string bytes;
        double duration;
        int extra;
    } cases[] = {
        // An odd LIST (padded) before the data: the walk steps over the pad.
        {"odd chunk and pad", riff("WAVE", fmt + list("INFO", chunk("INAM", "abc")) + data), 0.1, 1},
        {"zero-size chunks", riff("WAVE", fmt + chunk("fact", "") + chunk("cue ", "") + data), 0.1, 0},
        // Sizes that run past the end end the walk: no data chunk is met.
        {"LIST past the end", riff("WAVE", fmt + chunkHeader("LIST", 0xFFFFFFF0) + "INFO" + data), 0.0, 1},
        {"fact past the end", riff("WAVE", fmt + chunkHeader("fact", 0xFFFFFFFF) + data), 0.0, 0},
        // A data chunk larger than the file gives the declared time.
        {"data past the end", riff("WAVE", fmt + chunkHeader("data", 160000) + std::string(100, '\0')), 10.0, 0},
        {"unknown chunks", riff("WAVE", chunk("JUNK", std::string(37, 'j')) + fmt + chunk("PEAK", "peak") + data), 0.1, 0},
        {"truncated size", riff("WAVE", fmt + "da"), 0.0, 0},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "walk.wav", c.bytes);
        EXPECT_STREQ(r->errorText, "") << c.name;
        ASSERT_EQ(r->audioCount, 1) << c.name;
        EXPECT_EQ(audioFields(*r)["samplerate"], "8000") << c.name;
        EXPECT_DOUBLE_EQ(r->duration, c.duration) << c.name;
        EXPECT_EQ(r->extraCount, c.extra) << c.name;
    }
}

TEST_F(RiffTest, ArithmeticFaultsTheFormatLeavesToTheDivision) {
    const std::string exception12 = cp("[Exception] 例外終了(12)");
    const std::string exception101 = cp("[Exception] 例外終了(101)");
    const std::string movi = list("movi", chunk("00dc", "x"));
    auto avi = [&](uint32_t scale, uint32_t rate) {
        return riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD", scale, rate, 5)) + movi);
    };
    const struct {
        const char* name;
        const char* file;
        std::string bytes;
        std::string error;
    } cases[] = {
        {"rate 0", "a.avi", avi(1, 0), exception12},
        {"scale 0", "a.avi", avi(0, 10), exception12},
        {"rate and scale set", "a.avi", avi(1, 10), ""},
        {"WAVE byte rate 0", "a.wav", riff("WAVE", chunk("fmt ", waveFormat(1, 1, 8000, 0, 2, 16)) + chunk("data", "abcd")), exception101},
        {"WAVE without fmt", "a.wav", riff("WAVE", chunk("data", "abcd")), exception101},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, c.file, c.bytes);
        EXPECT_EQ(std::string(r->errorText), c.error) << c.name;
    }
}

TEST_F(RiffTest, UnknownStreamTypeEndsTheAnalysisWithItsMessage) {
    const std::string bytes = riff("AVI ", list("hdrl", avih(40000) + audioStrl(0x00FF) +
                                                            list("strl", strh("txts", "    ", 1, 1, 1) + chunk("strf", ""))) +
                                               list("INFO", chunk("INAM", "name")) + list("movi", chunk("01wb", "x")));
    auto r = analyseBytes(dir, "text.avi", bytes);
    EXPECT_EQ(std::string(r->errorText), cp("[RIFF-AVI] strhの中に未確認のfccType(txts : 56bytes)"));
    EXPECT_EQ(r->audioCount, 1);  // added before, kept, not rendered
    EXPECT_EQ(r->videoCount, 0);
    EXPECT_EQ(r->extraCount, 0);
    EXPECT_STREQ(r->formatName, "RIFF(AVI1.0)");
}

TEST_F(RiffTest, NotRiffAndUnknownForms) {
    auto r = analyseAsRiff(dir.write("x.wav", "RIFX" + le32(4) + "WAVE"), VESKO_FMT_WAVE);
    EXPECT_EQ(std::string(r->errorText), cp("[RIFF] RIFF/AIFFフォーマットではありません"));
    EXPECT_STREQ(r->formatName, "RIFF");

    r = analyseAsRiff(test::fixture("riff_unknown_form_abcd.bin"), VESKO_FMT_AVI);
    EXPECT_EQ(std::string(r->errorText), cp("[RIFF] 非対応のフォーマット(ABCD)"));
    EXPECT_EQ(r->extraCount, 0);

    for (const std::string& bytes : {std::string(), std::string("RIFF"), std::string("RIFF\x10\0\0\0AV", 10)}) {
        r = analyseAsRiff(dir.write("short.avi", bytes), VESKO_FMT_AVI);
        EXPECT_NE(std::string(r->errorText), "") << bytes.size();
        EXPECT_EQ(r->videoCount, 0);
    }
}

TEST_F(RiffTest, AviLabelsByList) {
    const std::string streams = avih(40000) + videoStrl("ABCD");
    const std::string movi = list("movi", chunk("00dc", "frame"));
    const struct {
        const char* name;
        std::string bytes;
        const char* label;
    } cases[] = {
        {"AVI 1.0", riff("AVI ", list("hdrl", streams) + movi), "RIFF(AVI1.0)"},
        {"odml", riff("AVI ", list("hdrl", streams + list("odml", chunk("dmlh", le32(5) + std::string(244, '\0')))) + movi),
         "RIFF(AVI2.0)"},
        {"DXDT", riff("AVI ", list("hdrl", streams) + list("DXDT", chunk("JUNK", "menu")) + movi), "RIFF(DivXMedia)"},
        {"goog", riff("AVI ", list("hdrl", streams) + list("goog", chunk("JUNK", "data")) + movi), "RIFF(GoogleVideo)"},
        // DV type 1 keeps its label when an odml list follows.
        {"iavs + odml",
         riff("AVI ", list("hdrl", avih(33367) + list("strl", strh("iavs", "dvsd", 1001, 30000, 300) + chunk("strf", std::string(32, 'd'))) +
                                       list("odml", chunk("dmlh", le32(300)))) +
                          movi),
         "RIFF(DV Type1)"},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "label.avi", c.bytes);
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_STREQ(r->formatName, c.label) << c.name;
        EXPECT_EQ(r->videoCount, 1) << c.name;
    }
    auto r = analyseBytes(dir, "dv.avi", cases[4].bytes);
    auto v = videoFields(*r);
    EXPECT_EQ(v["codec"], cp("不明dvsd"));
    EXPECT_EQ(v["width"], "720");
    EXPECT_EQ(v["height"], "480");
    EXPECT_EQ(v["bitdepth"], "0");
    EXPECT_EQ(v["frame"], "300");
    EXPECT_NEAR(r->duration, 10.01, 1e-9);
}

TEST_F(RiffTest, AudioOnlyAviHasOneEmptyVideoLine) {
    const std::string mp3 = mp3Frames();
    const std::string bytes =
        riff("AVI ", list("hdrl", avih(0) + audioStrl(0x0055, 16000)) + list("movi", chunk("00wb", mp3.substr(0, 1000))));
    auto r = analyseBytes(dir, "audio.avi", bytes);
    EXPECT_STREQ(r->errorText, "");
    ASSERT_EQ(r->videoCount, 1);
    auto v = videoFields(*r);
    EXPECT_EQ(v["codec"], "");
    EXPECT_EQ(v["width"], "0");
    EXPECT_EQ(v["framerate"], "0.00");
    EXPECT_EQ(v["bitrate"], "0.00");
    EXPECT_EQ(r->duration, 0.0);
    // "00wb" is the first stream, the audio stream: its line is the probe's.
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(audioFields(*r)["tpl"], "MP3/CBR2");
}

TEST_F(RiffTest, AudioChunksGoToTheirOwnStream) {
    const std::string mp3 = mp3Frames();
    const std::string hdrl = list("hdrl", avih(100000) + videoStrl("ABCD") + audioStrl(0x0055) + audioStrl(0x0055));
    const struct {
        const char* name;
        std::string movi;
        const char* first;
        const char* second;
    } cases[] = {
        // Stream 1 is the first audio stream: its line only is rewritten.
        {"stream 1", chunk("01wb", mp3) + chunk("02wb", "no frame here"), "MP3/CBR2", "RIFF/AUDIO"},
        {"stream 2", chunk("01wb", "no frame here") + chunk("02wb", mp3), "RIFF/AUDIO", "MP3/CBR2"},
        {"both", chunk("01wb", mp3) + chunk("02wb", mp3), "MP3/CBR2", "MP3/CBR2"},
        // Stream 0 is the video stream: audio bytes labelled as its own
        // touch no audio line; nor do those of an undeclared stream.
        {"video stream", chunk("00wb", mp3) + chunk("07wb", mp3) + chunk("03wb", mp3), "RIFF/AUDIO", "RIFF/AUDIO"},
        {"empty chunks first", chunk("01wb", "") + chunk("01wb", mp3) + chunk("02wb", ""), "MP3/CBR2", "RIFF/AUDIO"},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "two.avi", riff("AVI ", hdrl + list("movi", c.movi)));
        EXPECT_STREQ(r->errorText, "") << c.name;
        ASSERT_EQ(r->audioCount, 2) << c.name;
        EXPECT_EQ(audioFields(*r, 0)["tpl"], c.first) << c.name;
        EXPECT_EQ(audioFields(*r, 1)["tpl"], c.second) << c.name;
    }
}

TEST_F(RiffTest, AudioMappedFirstIsProbedAndItsVideoSearched) {
    // ffmpeg -map audio first: "00wb" audio, "01dc" video.
    auto r = test::analyse(test::fixture("avi_audio_first_xvid_mp3.avi"));
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(audioFields(*r)["tpl"], "MP3/CBR2");
    EXPECT_EQ(videoFields(*r)["codec"], "test-xvid-XviD0069");
}

std::string mpeg4Frame(const std::string& userData) {
    return test::bytes({0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9}) + (userData.empty() ? "" : test::bytes({0, 0, 1, 0xB2}) + userData) +
           test::bytes({0, 0, 1, 0xB6, 0x10, 0x20, 0x30}) + std::string(40, '\x5A');
}

TEST_F(RiffTest, VersionSearchInTheFirstFrames) {
    const std::string hdrl = list("hdrl", avih(100000) + videoStrl("DX50"));
    const std::string none = mpeg4Frame("");
    const struct {
        const char* name;
        std::string movi;
        const char* codec;
    } cases[] = {
        {"first frame", chunk("00dc", mpeg4Frame("DivX503b1393p")), "test-divx12-DivX503b1393"},
        {"third frame", chunk("00dc", none) + chunk("00dc", none) + chunk("00dc", mpeg4Frame("DivX503b1393p")),
         "test-divx12-DivX503b1393"},
        {"fourth frame is not searched",
         chunk("00dc", none) + chunk("00dc", none) + chunk("00dc", none) + chunk("00dc", mpeg4Frame("DivX503b1393p")),
         "DivX 5 test-avi-DX50"},
        {"empty frames do not count",
         chunk("00dc", "") + chunk("00db", "") + chunk("00dc", none) + chunk("00dc", none) + chunk("00dc", mpeg4Frame("DivX501b450p")),
         "test-divx11-DivX501b450"},
        // A DivX string named as XviD: the XviD string decides; without one
        // the DivX name stays.
        {"DivX named XviD", chunk("00dc", mpeg4Frame("DivX999b000p") + mpeg4Frame("XviD0046")), "test-xvid-XviD0046"},
        {"DivX named XviD alone", chunk("00dc", mpeg4Frame("DivX999b000p")), "XviD test-divx11-DivX999b000"},
        {"unknown DivX", chunk("00dc", mpeg4Frame("DivX612b2816p")), "Divx 5.x(DivX612b281/DivX612b2816/DivX612b2816p)"},
        // A chunk size far beyond the file: the read is bounded, the walk ends.
        {"huge frame", chunkHeader("00dc", 0xFFFFFFF0) + mpeg4Frame("DivX503b1393p"), "test-divx12-DivX503b1393"},
        {"huge frame without string", chunkHeader("00dc", 0x7FFFFFFF) + none, "DivX 5 test-avi-DX50"},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "divx.avi", riff("AVI ", hdrl + list("movi", c.movi)));
        EXPECT_STREQ(r->errorText, "") << c.name;
        ASSERT_EQ(r->videoCount, 1) << c.name;
        EXPECT_EQ(videoFields(*r)["codec"], c.codec) << c.name;
    }

    // XviD-named streams search for the XviD string only.
    const std::string xvid = list("hdrl", avih(100000) + videoStrl("XVID"));
    auto r = analyseBytes(dir, "xvid.avi", riff("AVI ", xvid + list("movi", chunk("00dc", mpeg4Frame("XviD0123")))));
    EXPECT_EQ(videoFields(*r)["codec"], "XviD MPEG4(XviD0123)");
    r = analyseBytes(dir, "xvid.avi", riff("AVI ", xvid + list("movi", chunk("00dc", mpeg4Frame("DivX503b1393p")))));
    EXPECT_EQ(videoFields(*r)["codec"], "XviD test-avi-XVID");
}

TEST_F(RiffTest, AviChunkSizesNeverDerailTheWalk) {
    const std::string mp3 = mp3Frames();
    const std::string movi = list("movi", chunk("00dc", "frame") + chunk("01wb", mp3));
    const struct {
        const char* name;
        std::string bytes;
        int audioLines;
        const char* audioTpl;
    } cases[] = {
        {"plain", riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD") + audioStrl(0x0055)) + movi), 1, "MP3/CBR2"},
        // strn of odd size, padded: the next stream header is still found.
        {"odd strn", riff("AVI ", list("hdrl", avih(100000) + list("strl", strh("vids", "ABCD", 1, 10, 5) +
                                                                             bitmapStrf(160, 120, 24, "ABCD") + chunk("strn", "odd")) +
                                                    audioStrl(0x0055)) +
                                      movi),
         1, "MP3/CBR2"},
        {"zero-size JUNK",
         riff("AVI ", list("hdrl", avih(100000) + chunk("JUNK", "") + videoStrl("ABCD") + chunk("JUNK", "") + audioStrl(0x0055)) + movi),
         1, "MP3/CBR2"},
        // A size beyond the file ends the walk before the audio stream.
        {"JUNK past the end", riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD") + chunkHeader("JUNK", 0xFFFFFFF8) +
                                                             audioStrl(0x0055)) +
                                               movi),
         0, nullptr},
        {"audio chunk past the end",
         riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD") + audioStrl(0x0055)) + "LIST" + le32(100) + "movi" +
                          chunkHeader("01wb", 0xFFFFFFFF) + mp3),
         1, "MP3/CBR2"},
        {"unknown bytes between chunks",
         riff("AVI ", list("hdrl", avih(100000) + "garbage!" + videoStrl("ABCD") + "\x01\x02\x03" + audioStrl(0x0055)) + movi), 1,
         "MP3/CBR2"},
        {"truncated in strf", riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD") + audioStrl(0x0055))).substr(0, 200), 0,
         nullptr},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "walk.avi", c.bytes);
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_EQ(r->videoCount, 1) << c.name;
        ASSERT_EQ(r->audioCount, c.audioLines) << c.name;
        if (c.audioTpl) {
            EXPECT_EQ(audioFields(*r)["tpl"], c.audioTpl) << c.name;
        }
    }
}

TEST_F(RiffTest, VideoBitRateIsTheMoviRateLessTheAudioAndNeverNegative) {
    // One second of video; a movi list of 4 + 8 + 100 bytes.
    const std::string movi = list("movi", chunk("00dc", std::string(100, 'v')));
    const struct {
        const char* name;
        std::string streams;
        const char* bitRate;
    } cases[] = {
        {"video only", videoStrl("ABCD", 1, 1, 1), "896.00"},
        {"audio of 100 bytes/s", videoStrl("ABCD", 1, 1, 1) + audioStrl(0x00FF, 100), "96.00"},
        // An audio header that declares more than the file holds.
        {"audio of 1,000 bytes/s", videoStrl("ABCD", 1, 1, 1) + audioStrl(0x00FF, 1000), "0.00"},
        {"no duration", videoStrl("ABCD", 1, 1, 0), "0.00"},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "rate.avi", riff("AVI ", list("hdrl", avih(1000000) + c.streams) + movi));
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_EQ(videoFields(*r)["bitrate"], c.bitRate) << c.name;
    }
}

TEST_F(RiffTest, InfoItemsOfAnAviAreNoted) {
    const std::string bytes = riff("AVI ", list("hdrl", avih(100000) + videoStrl("ABCD")) +
                                               list("INFO", chunk("ISFT", "Vesko test")) + list("movi", chunk("00dc", "x")));
    auto r = analyseBytes(dir, "info.avi", bytes);
    ASSERT_EQ(r->extraCount, 1);
    EXPECT_STREQ(r->extraText[0], "INFOTAG");
}

// An OpenDML file: "AVI " then segments "AVIX", each a movi list of
// `moviPayload` bytes; one video stream of 1 s and no audio, so that the
// bit rate is 8 x the movi bytes counted.
std::string openDml(int avixSegments, uint32_t firstRiffSize = 0) {
    const std::string hdrl = list("hdrl", avih(1000000) + videoStrl("ABCD", 1, 1, 1) + list("odml", chunk("dmlh", le32(1))));
    std::string first = riff("AVI ", hdrl + list("movi", chunk("00dc", std::string(100, 'v'))));
    if (firstRiffSize) first.replace(4, 4, le32(firstRiffSize));
    std::string file = first;
    for (int i = 0; i < avixSegments; ++i) file += riff("AVIX", list("movi", chunk("00dc", std::string(10, 'w'))));
    return file;
}

TEST_F(RiffTest, OpenDmlSegmentsAreCountedOnceEach) {
    const uint64_t firstMovi = 4 + 8 + 100, avixMovi = 4 + 8 + 10;
    const struct {
        const char* name;
        int segments;
        uint64_t counted;  // movi bytes
    } cases[] = {
        {"one segment", 0, firstMovi},
        {"three segments", 2, firstMovi + 2 * avixMovi},
        // The table holds 256 segments: the first and 255 AVIX ones.
        {"300 segments", 299, firstMovi + 255 * avixMovi},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "odml.avi", openDml(c.segments));
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_STREQ(r->formatName, "RIFF(AVI2.0)") << c.name;
        ASSERT_EQ(r->videoCount, 1) << c.name;
        EXPECT_EQ(videoFields(*r)["bitrate"], format("%.2f", c.counted * 8.0)) << c.name;
    }
}

TEST_F(RiffTest, SegmentLengthsDoNotWrapOrPointBack) {
    // A RIFF size of 0xFFFFFFF8: + 8 wraps to 0 in 32 bits, which would send
    // the walk back to the file's own "RIFF" and describe everything again.
    std::string file = openDml(1, 0xFFFFFFF8);
    const std::string withAudio = riff("AVI ", list("hdrl", avih(1000000) + videoStrl("ABCD", 1, 1, 1) + audioStrl(0x00FF) +
                                                                list("odml", chunk("dmlh", le32(1)))) +
                                                   list("movi", chunk("00dc", "v")));
    const struct {
        const char* name;
        std::string bytes;
        int audioLines;
    } cases[] = {
        {"wrapping length", file, 0},
        {"wrapping length with audio", withAudio.substr(0, 4) + le32(0xFFFFFFF8) + withAudio.substr(8), 1},
        // A second segment whose length ends before the walk's position.
        {"short AVIX", openDml(0) + "RIFF" + le32(0) + "AVIX" + list("movi", chunk("00dc", "w")) + riff("AVIX", list("movi", "")), 0},
    };
    for (const auto& c : cases) {
        auto r = analyseBytes(dir, "wrap.avi", c.bytes);
        EXPECT_STREQ(r->errorText, "") << c.name;
        EXPECT_EQ(r->videoCount, 1) << c.name;
        EXPECT_EQ(r->audioCount, c.audioLines) << c.name;
    }
}

TEST_F(RiffTest, RendersWithTheShippedTemplates) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("avi_xvid_mp3.avi"));
    EXPECT_EQ(test::one(*r), "RIFF(AVI1.0) XviD 1.3.7 128x96 10.00fps 29.73kbps MPEG1 LayerIII 64.00kbps(CBR) 44100Hz "
                             "JointStereo 00:00:00.600");
    r = test::analyse(test::fixture("avi_dx50_divx503_userdata.avi"));
    EXPECT_STREQ(r->videoText[0], "DivX 5.0.3 (Build 1393) 128x96 10.00fps 45.09kbps");
    r = test::analyse(test::fixture("wav_pcm8_mono.wav"));
    EXPECT_STREQ(r->audioText[0], "PCM 64.00kbps 8000Hz 8bit 1ch");
    test::useTestData();
}

}  // namespace
}  // namespace vesko
