// Tests of the Ogg analyser and the Vorbis decoders.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "audio/vorbis_comment.h"
#include "containers/vorbis.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders of Ogg bytes ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string le64(uint64_t v) { return le32(static_cast<uint32_t>(v)) + le32(static_cast<uint32_t>(v >> 32)); }
std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be24(uint32_t v) { return std::string(1, static_cast<char>((v >> 16) & 0xFF)) + be16(v & 0xFFFF); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

constexpr uint8_t kBos = 0x02, kEos = 0x04;

// One page holding whole packets (the checksum is not verified: 0).
std::string page(uint32_t serial, uint64_t granule, uint8_t flags, const std::vector<std::string>& packets, uint32_t sequence = 0) {
    std::string lacing, body;
    for (const auto& p : packets) {
        lacing += std::string(p.size() / 255, '\xFF') + static_cast<char>(p.size() % 255);
        body += p;
    }
    return "OggS" + std::string(1, '\0') + static_cast<char>(flags) + le64(granule) + le32(serial) + le32(sequence) + le32(0) +
           static_cast<char>(lacing.size()) + lacing + body;
}

std::string vorbisId(uint32_t rate, uint8_t channels, uint32_t maximum, uint32_t nominal, uint32_t minimum) {
    return "\x01vorbis" + le32(0) + static_cast<char>(channels) + le32(rate) + le32(maximum) + le32(nominal) + le32(minimum) +
           "\xB8\x01";
}

// A Vorbis comment header: vendor text, then the comments.
std::string vorbisComments(const std::string& vendor, const std::vector<std::string>& comments) {
    std::string packet = "\x03vorbis" + le32(static_cast<uint32_t>(vendor.size())) + vendor + le32(static_cast<uint32_t>(comments.size()));
    for (const auto& c : comments) packet += le32(static_cast<uint32_t>(c.size())) + c;
    return packet + "\x01";
}

std::string speexHeader(int32_t rate, int32_t mode, int32_t channels, int32_t bitRate, int32_t vbr) {
    std::string h = "Speex   " + std::string("1.2.1") + std::string(15, '\0');
    for (int32_t v : {1, 80, rate, mode, 4, channels, bitRate, 320, vbr, 1, 0, 0, 0})
        h += le32(static_cast<uint32_t>(v));
    return h;
}

std::string theoraHeader(uint8_t revision, uint16_t mbWidth, uint16_t mbHeight, uint32_t rateNum, uint32_t rateDen,
                         uint32_t aspectNum, uint32_t aspectDen, uint32_t bitRate, unsigned shift) {
    return "\x80theora" + std::string{3, 2, static_cast<char>(revision)} + be16(mbWidth) + be16(mbHeight) + be24(mbWidth * 16u) +
           be24(mbHeight * 16u) + std::string(2, '\0') + be32(rateNum) + be32(rateDen) + be24(aspectNum) + be24(aspectDen) +
           std::string(1, '\0') + be24(bitRate) + static_cast<char>((32 << 2) | (shift >> 3)) + static_cast<char>((shift & 7) << 5);
}

// The OGM stream header: type 1, stream type, subtype, size, time unit,
// samples per unit, default length, buffer size, bits per sample, padding,
// then the video or audio part.
std::string ogmHeader(const std::string& type, const std::string& subtype, uint64_t timeUnit, uint64_t samplesPerUnit, uint16_t bits,
                      const std::string& tail) {
    return "\x01" + type + std::string(8 - type.size(), '\0') + subtype + std::string(4 - subtype.size(), '\0') + le32(52) +
           le64(timeUnit) + le64(samplesPerUnit) + le32(1) + le32(65536) + le16(bits) + le16(0) + tail;
}
std::string ogmVideo(const std::string& fourcc, uint64_t timeUnit, int32_t width, int32_t height) {
    return ogmHeader("video", fourcc, timeUnit, 1, 24, le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)));
}
std::string ogmAudio(const std::string& tagText, uint64_t samplesPerUnit, uint16_t channels, uint32_t bytesPerSecond, uint16_t bits) {
    return ogmHeader("audio", tagText, 10000000, samplesPerUnit, bits, le16(channels) + le16(4) + le32(bytesPerSecond));
}

// The Ogg analyser on crafted bytes, whatever identification would say.
std::unique_ptr<AnalysisRecord> analyseOgg(const test::TempDir& dir, const std::string& bytes, int32_t code = VESKO_FMT_OGG) {
    auto record = test::makeRecord(dir.write("a.ogg", bytes));
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

std::vector<std::string> lines(const char (*texts)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(texts[i]);
    return out;
}

class OggTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    test::TempDir dir;
    const std::string exception15 = cp("[Exception] 例外終了(15)");
};

// ---- Vorbis identification header ----

TEST(VorbisIdentification, BitRateModeByTheFirstRuleThatMatches) {
    constexpr uint32_t kUnset = 0xFFFFFFFF;
    const struct {
        uint32_t maximum, nominal, minimum;
        const char* mode;
        double bitRate;
    } cases[] = {
        {kUnset, kUnset, kUnset, "VBR", 0},
        {0, 64000, 0, "QB", 64000},
        {128000, 128000, 128000, "CBR", 128000},
        {kUnset, 112000, kUnset, "VBR", 112000},
        {160000, 112000, kUnset, "ABR", 80000},
        {160000, 112000, 64000, "ABR", 112000},
        {0, 0, 0, "CBR", 0},  // all three 0: minimum = nominal = maximum
        {kUnset, 0, kUnset, "ABR", 4294967295.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const std::string packet = vorbisId(44100, 2, c.maximum, c.nominal, c.minimum);
        const VorbisInfo info = parseVorbisIdentification(Bytes(reinterpret_cast<const uint8_t*>(packet.data()), packet.size()));
        EXPECT_STREQ(info.bitRateMode, c.mode);
        EXPECT_DOUBLE_EQ(info.bitRate, c.bitRate);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.sampleRate, 44100);
        EXPECT_EQ(info.maxBitRate, c.maximum);
        EXPECT_EQ(info.nominalBitRate, c.nominal);
        EXPECT_EQ(info.minBitRate, c.minimum);
    }
}

TEST(VorbisIdentification, ShortPacketReadsMissingFieldsAsZero) {
    const std::string packet = vorbisId(48000, 6, 1, 2, 3).substr(0, 18);  // up to the sample rate and half the maximum
    const VorbisInfo info = parseVorbisIdentification(Bytes(reinterpret_cast<const uint8_t*>(packet.data()), packet.size()));
    EXPECT_EQ(info.channels, 6);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.maxBitRate, 0);
    EXPECT_EQ(info.nominalBitRate, 0);
    const VorbisInfo empty = parseVorbisIdentification(Bytes());
    EXPECT_EQ(empty.sampleRate, 0);
    EXPECT_STREQ(empty.bitRateMode, "CBR");
}

TEST_F(OggTest, VorbisLineFillsEveryPlaceholder) {
    VorbisInfo info{};
    info.channels = 2;
    info.sampleRate = 44100;
    info.bitRate = 112000;
    std::memcpy(info.bitRateMode, "VBR", 4);
    const auto f = test::fields(describeVorbis(info));
    EXPECT_EQ(f.at("tpl"), "OGG/VORBIS");
    EXPECT_EQ(f.at("sampleratek"), "44.10");
    EXPECT_EQ(f.at("samplerate"), "44100");
    EXPECT_EQ(f.at("bitratek"), "112.00");
    EXPECT_EQ(f.at("bitrate"), "112000.00");
    EXPECT_EQ(f.at("bitratemode"), "VBR");
    EXPECT_EQ(f.at("channel"), "2");

    char out[512];
    std::memset(out, 'x', sizeof out);
    describeVorbis(out, sizeof out, info);
    EXPECT_EQ(std::string(out), describeVorbis(info));
    char tiny[8];
    describeVorbis(tiny, sizeof tiny, info);
    EXPECT_EQ(std::string(tiny), "tpl=OGG");  // bounded by the buffer
}

// ---- real files ----

TEST_F(OggTest, Fixtures) {
    const struct {
        const char* file;
        int32_t code;
        std::vector<std::map<std::string, std::string>> video, audio;  // expected fields of each line
        std::vector<std::string> extra;
        // ffprobe's duration of the same file (format duration unless said).
        double duration;
    } cases[] = {
        {"ogg_vorbis_q0.ogg", VESKO_FMT_OGG_VORBIS, {},
         {{{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}, {"channel", "2"}, {"bitratemode", "QB"}, {"bitrate", "64000.00"}}},
         {}, 1.0},
        // No tag line for the vendor "Xiph.Org libVorbis" with no comment; with
        // title, artist and CHAPTER01 .. CHAPTER03NAME the last chapter number.
        {"ogg_vorbis_tags_chapters.ogg", VESKO_FMT_OGG_VORBIS, {},
         {{{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}, {"bitratek", "64.00"}}},
         {"VorbisComment / Chapter(3)"}, 1.0},
        // Granule position 16000 at 16 kHz: 1.000 s. ffprobe says 1.02 s: it
        // adds one 320-sample frame past the last granule position; the
        // granule position is the stream's own count of samples.
        {"ogg_speex_wideband.spx", VESKO_FMT_OGG_SPEEX, {},
         {{{"tpl", "OGG/SPEEX"}, {"samplerate", "16000"}, {"sampleratek", "16.00"}, {"channel", "1"}, {"comptype", "Wide"},
           {"bitratemode", "ABR"}, {"bitrate", "0.00"}}},
         {}, 1.0},
        // ffmpeg writes the Theora comment header with its own vendor text: no
        // tags. 10 frames at 10/1 fps; the coded frame is 10 x 8 macroblocks.
        {"ogg_theora_vorbis.ogv", VESKO_FMT_OGG,
         {{{"tpl", "OGG/THEORA"}, {"width", "160"}, {"height", "128"}, {"codec", "Theora 3.2.1"}, {"framerate", "10.00"},
           {"aspect", "1:1"}, {"bitrate", "0.00"}, {"frame", "10"}}},
         {{{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}, {"bitratemode", "QB"}}},
         {}, 1.0},
        // Video stream first: the play time is its last granule position (5)
        // over 10 fps, ffprobe's duration of that stream (the format's is
        // the Vorbis stream's 1.0 s).
        {"ogm_xvid_vorbis_text.ogm", VESKO_FMT_OGG,
         {{{"tpl", "OGG/VIDEO"}, {"width", "128"}, {"height", "96"}, {"bitdepth", "24"}, {"codec", "test-xvid-XviD0069"},
           {"framerate", "10.00"}, {"frame", "6"}}},
         {{{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}}},
         {"Text(1)"}, 0.5},
        // ffprobe has no duration for these OGM audio streams; 11,520 samples
        // (ten MP3 frames of 1,152) at 44.1 kHz.
        {"ogm_mp3_pcm_audio.ogm", VESKO_FMT_OGG, {},
         {{{"tpl", "MP3/CBR2"}, {"samplerate", "44100"}, {"bitrate", "128000.00"}},
          {{"tpl", "RIFF/AUDIO"}, {"codec", "test-wav-0001"}, {"samplerate", "8000"}, {"bitdepth", "16"}, {"channel", "1"},
           {"bitrate", "128000.00"}}},
         {}, 11520.0 / 44100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, c.code);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "Ogg");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        ASSERT_EQ(r->videoCount, static_cast<int32_t>(c.video.size()));
        ASSERT_EQ(r->audioCount, static_cast<int32_t>(c.audio.size()));
        for (size_t i = 0; i < c.video.size(); ++i) {
            auto f = test::fields(r->videoText[i]);
            for (const auto& [name, value] : c.video[i]) EXPECT_EQ(f[name], value) << "video " << i << " " << name;
        }
        for (size_t i = 0; i < c.audio.size(); ++i) {
            auto f = test::fields(r->audioText[i]);
            for (const auto& [name, value] : c.audio[i]) EXPECT_EQ(f[name], value) << "audio " << i << " " << name;
        }
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(OggTest, FlacAndOpusStreams) {
    // FLAC in either mapping gets the refusal line; Opus is not described.
    // None of them sets a play time.
    const struct {
        const char* file;
        int32_t code;
        std::vector<std::string> audio;
    } cases[] = {
        {"ogg_flac_legacy_fLaC_first.oga", VESKO_FMT_OGG_FLAC, {cp("[OGG] OggFlacは未対応です")}},
        {"ogg_flac.oga", VESKO_FMT_OGG, {cp("[OGG] OggFlacは未対応です")}},
        {"ogg_opus.opus", VESKO_FMT_OGG, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, c.code);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_EQ(lines(r->audioText, r->audioCount), c.audio);
        EXPECT_EQ(r->videoCount, 0);
        EXPECT_EQ(r->extraCount, 0);
        EXPECT_EQ(r->duration, -1.0);
    }
}

TEST_F(OggTest, RendersWithTheShippedTemplates) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("ogg_theora_vorbis.ogv"));
    EXPECT_EQ(test::one(*r), "Ogg Theora 3.2.1 160x128 (1:1) 10.00fps 0.00kbps 10frames Vorbis 64.00kbps(QB) 44100Hz 2ch 00:00:01.000");
    r = test::analyse(test::fixture("ogm_xvid_vorbis_text.ogm"));
    EXPECT_EQ(std::string(r->videoText[0]), "XviD 1.3.7 128x96 10.00fps 6frames");
    test::useTestData();
}

// ---- identification headers through crafted files ----

TEST_F(OggTest, SpeexHeaderFields) {
    const struct {
        int32_t rate, mode, channels, bitRate, vbr;
        const char *comptype, *bitratemode, *bitrate, *bitratek;
    } cases[] = {
        {8000, 0, 1, 24600, 0, "Narrow", "ABR", "24600.00", "24.60"},
        {16000, 1, 2, 42200, 1, "Wide", "VBR", "42200.00", "42.20"},
        {32000, 2, 1, 8000, 7, "Ultra-wide", "VBR", "8000.00", "8.00"},
        {32000, 3, 1, -1, 0, "", "ABR", "0.00", "0.00"},  // unknown mode; bit rate not known (-1)
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        auto r = analyseOgg(dir, page(7, 0, kBos, {speexHeader(c.rate, c.mode, c.channels, c.bitRate, c.vbr)}) +
                                     page(7, static_cast<uint64_t>(c.rate) * 3, kEos, {"data"}));
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "OGG/SPEEX");
        EXPECT_EQ(f["samplerate"], std::to_string(c.rate));
        EXPECT_EQ(f["channel"], std::to_string(c.channels));
        EXPECT_EQ(f["comptype"], c.comptype);
        EXPECT_EQ(f["bitratemode"], c.bitratemode);
        EXPECT_EQ(f["bitrate"], c.bitrate);
        EXPECT_EQ(f["bitratek"], c.bitratek);
        EXPECT_DOUBLE_EQ(r->duration, 3.0);
    }
}

TEST_F(OggTest, TheoraHeaderFieldsAndFrameCount) {
    const struct {
        const char* name;
        uint8_t revision;
        uint32_t rateNum, rateDen;
        unsigned shift;
        uint64_t granule;
        const char* frames;
        double duration;
    } cases[] = {
        // Key frame 3 (granule >> 6) and 7 frames after it: frame count 10
        // from version 3.2.1 on, which counts frames from 1.
        {"3.2.1, shift 6", 1, 25, 1, 6, (3u << 6) | 7, "10", 10 / 25.0},
        // Before 3.2.1 frames count from 0: the same position is frame 11.
        {"3.2.0, shift 6", 0, 25, 1, 6, (3u << 6) | 7, "11", 11 / 25.0},
        {"NTSC rate, shift 0", 1, 30000, 1001, 0, 300, "300", 300 * 1001 / 30000.0},
        {"shift 31", 1, 10, 1, 31, (uint64_t{2} << 31) | 5, "7", 0.7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseOgg(dir, page(1, 0, kBos, {theoraHeader(c.revision, 20, 15, c.rateNum, c.rateDen, 4, 3, 500000, c.shift)}) +
                                     page(1, c.granule, kEos, {"frame"}));
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->videoCount, 1);
        auto f = test::fields(r->videoText[0]);
        EXPECT_EQ(f["tpl"], "OGG/THEORA");
        EXPECT_EQ(f["width"], "320");
        EXPECT_EQ(f["height"], "240");
        EXPECT_EQ(f["codec"], "Theora 3.2." + std::to_string(c.revision));
        EXPECT_EQ(f["aspect"], "4:3");
        EXPECT_EQ(f["bitrate"], "500000.00");
        EXPECT_EQ(f["bitratek"], "500.00");
        EXPECT_EQ(f["frame"], c.frames);
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
    }
}

TEST_F(OggTest, OgmVideoAudioAndTextStreams) {
    const std::string bytes =
        page(1, 0, kBos, {ogmVideo("DIVX", 400000, 320, 240)}) + page(2, 0, kBos, {ogmAudio("1", 22050, 2, 88200, 16)}) +
        page(3, 0, kBos, {ogmHeader("text", "", 10000, 1, 0, std::string(8, '\0'))}) +
        page(4, 0, kBos, {ogmHeader("TEXT", "", 10000, 1, 0, std::string(8, '\0'))}) + page(1, 99, 0, {std::string("\x08") + "frame"}) +
        page(2, 44100, 0, {std::string("\x08") + std::string(64, '\0')}) + page(3, 100, kEos, {"\x08hi"});
    auto r = analyseOgg(dir, bytes);
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->videoCount, 1);
    auto v = test::fields(r->videoText[0]);
    EXPECT_EQ(v["tpl"], "OGG/VIDEO");
    EXPECT_EQ(v["codec"], "test-avi-DIVX");
    EXPECT_EQ(v["width"], "320");
    EXPECT_EQ(v["height"], "240");
    EXPECT_EQ(v["bitdepth"], "24");
    EXPECT_EQ(v["framerate"], "25.00");
    EXPECT_EQ(v["frame"], "100");
    EXPECT_DOUBLE_EQ(r->duration, 99 / 25.0);  // the first stream, the video
    ASSERT_EQ(r->audioCount, 1);
    auto a = test::fields(r->audioText[0]);
    EXPECT_EQ(a["tpl"], "RIFF/AUDIO");  // PCM: the probe finds no DTS frame
    EXPECT_EQ(a["codec"], "test-wav-0001");
    EXPECT_EQ(a["samplerate"], "22050");
    EXPECT_EQ(a["channel"], "2");
    EXPECT_EQ(a["bitrate"], "705600.00");
    // Two text streams, either letter case; the fourth has no end.
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"Text(2)"});
}

TEST_F(OggTest, OgmSubtypeNulBytesBecomeSpaces) {
    // "MP4" and a NUL is looked up as "MP4 ": no such key in the test data.
    auto r = analyseOgg(dir, page(1, 0, kBos, {ogmVideo("MP4", 400000, 16, 16)}) + page(1, 10, kEos, {"x"}));
    EXPECT_EQ(test::fields(r->videoText[0])["codec"], cp("不明MP4 "));
}

// ---- Vorbis comments ----

TEST_F(OggTest, VorbisCommentsFeedTheTagLine) {
    const struct {
        const char* name;
        std::string vendor;
        std::vector<std::string> comments;
        std::vector<std::string> extra;
    } cases[] = {
        {"chapters: the last number wins", "Xiph.Org libVorbis",
         {"CHAPTER01=00:00:00.000", "CHAPTER01NAME=One", "CHAPTER03=00:10:00.000", "CHAPTER03NAME=Three"},
         {"VorbisComment / Chapter(3)"}},
        {"cue sheet", "Xiph.Org libVorbis", {"cuesheet=FILE \"a.wav\" WAVE"}, {"VorbisComment / CueSheet"}},
        {"cue track", "Xiph.Org libVorbis", {"TITLE=x", "CUE_TRACK01_TITLE=y"}, {"VorbisComment / CueSheet"}},
        {"letter case", "xiph", {"chapter7=00:00:01.000"}, {"VorbisComment / Chapter(7)"}},
        {"no digits", "Xiph", {"CHAPTERS=none"}, {"VorbisComment / Chapter(0)"}},
        // Held at 2,147,483,647 rather than wrapped; the summary writes chapter
        // texts into 16 bytes, which cuts it.
        {"huge number", "Xiph", {"CHAPTER99999999999999=x"}, {"VorbisComment / Chapter(2147483"}},
        {"no comment", "Xiph.Org libVorbis", {}, {}},
        {"another vendor", "Lavf60.3.100", {"CHAPTER01=00:00:00.000", "TITLE=x"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseOgg(dir, page(5, 0, kBos, {vorbisId(44100, 2, 0, 64000, 0)}) +
                                     page(5, 0, 0, {vorbisComments(c.vendor, c.comments)}, 1) + page(5, 44100, kEos, {"a"}, 2));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->audioCount, 1);
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(OggTest, CommentLengthsAreBoundedByThePacket) {
    const std::string head = page(5, 0, kBos, {vorbisId(44100, 2, 0, 64000, 0)});
    const std::string tail = page(5, 44100, kEos, {std::string(300, 'a')}, 2);
    const std::string vendor = "\x03vorbis" + le32(4) + "Xiph";
    const struct {
        const char* name;
        std::vector<std::string> packets;  // on the comment page
        std::vector<std::string> extra;
    } cases[] = {
        // A comment length past the packet: the comments before it count; the
        // CHAPTER text in the next packet of the page is not read as one.
        {"comment past the packet", {vendor + le32(2) + le32(7) + "TITLE=x" + le32(9), "CHAPTER12"}, {"VorbisComment"}},
        {"vendor past the packet", {"\x03vorbis" + le32(0xFFFFFFF0) + "Xiph" + le32(1) + le32(9) + "CHAPTER01"}, {}},
        {"count without comments", {vendor + le32(0xFFFFFFFF)}, {"VorbisComment"}},
        {"count cut short", {vendor + "\x01\x00"}, {}},
        {"packet shorter than its header", {std::string("\x03vo"), std::string(8, 'x') + "Xiph"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseOgg(dir, head + page(5, 0, 0, c.packets, 1) + tail);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(OggTest, CommentSpanningPagesIsReadFromItsFirstPage) {
    // 300 bytes of comment: the page ends inside the packet (lacing 255 only).
    std::string packet = vorbisComments("Xiph", {"CHAPTER02=x", std::string(300, 'c'), "CHAPTER09=y"});
    std::string first = "OggS" + std::string(1, '\0') + '\0' + le64(0) + le32(5) + le32(1) + le32(0) + '\x01' + '\xFF' + packet.substr(0, 255);
    auto r = analyseOgg(dir, page(5, 0, kBos, {vorbisId(44100, 2, 0, 64000, 0)}) + first +
                                 page(5, 0, 0x01, {packet.substr(255)}, 2) + page(5, 44100, kEos, {"a"}, 3));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"VorbisComment / Chapter(2)"});
}

TEST(VorbisCommentReader, ReadsWithinTheDataOnly) {
    auto read = [](const std::string& data) {
        TagInfo tags{};
        readVorbisComments(Bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size()), tags);
        return tags;
    };
    // The comment data alone, as a FLAC VORBIS_COMMENT block holds it.
    const std::string data = le32(3) + "abc" + le32(2) + le32(12) + "CUESHEET=abc" + le32(11) + "Chapter5=xy";
    TagInfo t = read(data);
    EXPECT_EQ(t.hasVorbisComment, 1);
    EXPECT_EQ(t.hasCueSheet, 1);
    EXPECT_EQ(t.hasCommentChapters, 1);
    EXPECT_EQ(t.commentChapterCount, 5);
    // Cut one byte short: the last comment is not read, the first still is.
    t = read(data.substr(0, data.size() - 1));
    EXPECT_EQ(t.hasCueSheet, 1);
    EXPECT_EQ(t.hasCommentChapters, 0);
    for (size_t cut : {0, 3, 7, 10}) {
        t = read(data.substr(0, cut));
        EXPECT_EQ(t.hasVorbisComment, 0) << cut;
    }
}

// ---- page walks ----

TEST_F(OggTest, PageWalksEndCleanly) {
    const std::string vorbis = page(5, 0, kBos, {vorbisId(44100, 2, 0, 64000, 0)});
    const std::string noStream = cp("[OGG] ストリームが1つも見つかりません");
    const std::string noEnd = cp("[OGG] 末尾を検出できたストリームが1つもありません");
    const struct {
        const char* name;
        std::string bytes;
        std::string error;
        int32_t audioCount;
    } cases[] = {
        {"empty file", "", noStream, 0},
        {"header cut short", vorbis.substr(0, 20), noStream, 0},
        {"lacing values cut short", vorbis.substr(0, 27), noStream, 0},
        {"body past the end", vorbis.substr(0, vorbis.size() - 1), noStream, 0},
        {"only empty pages", page(5, 0, kBos, {}) + page(5, 0, kBos, {}) + page(5, 9, kEos, {}), noStream, 0},
        {"empty pages passed over", page(5, 0, kBos, {}) + vorbis + page(5, 44100, kEos, {}), "", 1},
        {"no page after the first", vorbis, noEnd, 0},
        {"granule 0 at the end", vorbis + page(5, 0, kEos, {"a"}), noEnd, 0},
        {"granule -1 (no packet ends) is no end", vorbis + page(5, ~uint64_t{0}, 0, {"a"}), noEnd, 0},
        {"later page past the end", vorbis + page(5, 44100, kEos, {"abc"}).substr(0, 30), "", 1},
        {"data page before any first page", page(5, 44100, 0, {"a"}) + vorbis + page(5, 44100, kEos, {"a"}), noStream, 0},
        {"garbage after the pages", vorbis + page(5, 88200, kEos, {"a"}) + std::string(5000, '\xFF'), "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto start = std::chrono::steady_clock::now();
        auto r = analyseOgg(dir, c.bytes);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(std::string(r->errorText), c.error);
        EXPECT_EQ(r->audioCount, c.audioCount);
        EXPECT_STREQ(r->formatName, "Ogg");
    }
}

TEST_F(OggTest, StreamTableKeepsSixteenStreams) {
    // Twenty Vorbis streams; the first sixteen are described. Their ends
    // are found from the last page backwards.
    std::string bytes;
    for (uint32_t s = 0; s < 20; ++s) bytes += page(100 + s, 0, kBos, {vorbisId(8000 + s, 1, 0, 64000, 0)});
    for (uint32_t s = 0; s < 20; ++s) bytes += page(100 + s, 8000 + s, kEos, {"a"}, 1);
    auto r = analyseOgg(dir, bytes);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(r->audioCount, 10);  // the record holds ten lines
    EXPECT_EQ(test::fields(r->audioText[9])["samplerate"], "8009");
    EXPECT_DOUBLE_EQ(r->duration, 1.0);
}

TEST_F(OggTest, EndSearchKeepsTheLastPagesOfALongTail) {
    // 3,000 pages in the tail, more than the 2,048 offsets noted: the
    // timing stream's last granule position is on the last page, and the
    // pages before it carry earlier ones.
    std::string bytes = page(5, 0, kBos, {vorbisId(1000, 1, 0, 64000, 0)});
    for (uint32_t i = 1; i <= 3000; ++i) bytes += page(5, i, i == 3000 ? kEos : 0, {"a"}, i);
    auto r = analyseOgg(dir, bytes);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 3.0);
}

TEST_F(OggTest, EndSearchReadsOnlyTheLast1024000Bytes) {
    // Stream 6's only later page lies before the tail: its end is not found
    // and the play time comes from stream 5, the first stream whose end was.
    std::string bytes = page(6, 0, kBos, {vorbisId(1000, 1, 0, 64000, 0)}) + page(5, 0, kBos, {vorbisId(2000, 1, 0, 64000, 0)}) +
                        page(6, 500000, 0, {"a"}, 1) + page(5, 10, 0, {"a"}, 1);
    while (bytes.size() < 1100000) bytes += page(9, 0, 0, {std::string(60000, 'z')});  // a stream without a first page
    bytes += page(5, 4000, kEos, {"a"}, 2);
    auto r = analyseOgg(dir, bytes);
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 2);
    EXPECT_DOUBLE_EQ(r->duration, 2.0);
}

TEST_F(OggTest, HeaderPacketIsReadUpToItsBuffer) {
    // A Vorbis first packet of 60,000 bytes: only its start is needed.
    std::string big = vorbisId(44100, 2, 0, 64000, 0) + std::string(60000, '\0');
    auto r = analyseOgg(dir, page(5, 0, kBos, {big}) + page(5, 44100, kEos, {"a"}));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(test::fields(r->audioText[0])["samplerate"], "44100");
}

TEST_F(OggTest, ArithmeticFaultsTheFormatLeavesToTheDivision) {
    const struct {
        const char* name;
        std::string header;
        bool timing;  // the stream supplies the play time
        std::string error;
    } cases[] = {
        {"Vorbis sample rate 0", vorbisId(0, 2, 0, 64000, 0), true, exception15},
        {"Speex sample rate 0", speexHeader(0, 1, 1, 24600, 0), true, exception15},
        {"Theora frame rate numerator 0", theoraHeader(1, 2, 2, 0, 1, 1, 1, 0, 6), true, exception15},
        {"OGM video time unit 0", ogmVideo("DIVX", 0, 16, 16), true, exception15},
        {"OGM video time unit 0, not timing", ogmVideo("DIVX", 0, 16, 16), false, exception15},
        {"OGM audio samples per unit 0", ogmAudio("0001", 0, 1, 16000, 16), true, exception15},
        {"Vorbis sample rate 0, not timing", vorbisId(0, 2, 0, 64000, 0), false, ""},
        {"Theora frame rate denominator 0", theoraHeader(1, 2, 2, 25, 0, 1, 1, 0, 6), true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A stream that supplies the play time first when the tested one does not.
        std::string bytes = c.timing ? "" : page(1, 0, kBos, {vorbisId(8000, 1, 0, 64000, 0)});
        bytes += page(2, 0, kBos, {c.header});
        if (!c.timing) bytes += page(1, 8000, 0, {"a"}, 1);
        bytes += page(2, 1000, kEos, {"a"}, 1);
        auto r = analyseOgg(dir, bytes);
        EXPECT_EQ(std::string(r->errorText), c.error);
    }
}

TEST_F(OggTest, UnknownOpenFailureAndCode) {
    auto r = test::makeRecord(dir.path() / "missing.ogg");
    r->formatCode = VESKO_FMT_OGG_VORBIS;
    GetFileInfo(r.get());
    EXPECT_EQ(std::string(r->errorText), cp("ファイルのオープンに失敗"));

    // The analyser does not look at the code: a Vorbis stream under code 110.
    auto v = analyseOgg(dir, page(5, 0, kBos, {vorbisId(44100, 2, 0, 64000, 0)}) + page(5, 22050, kEos, {"a"}), VESKO_FMT_OGG_SPEEX);
    EXPECT_EQ(test::fields(v->audioText[0])["tpl"], "OGG/VORBIS");
    EXPECT_DOUBLE_EQ(v->duration, 0.5);
}

}  // namespace
}  // namespace vesko
