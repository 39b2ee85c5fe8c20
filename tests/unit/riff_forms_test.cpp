// Tests of the RIFF forms other than AVI and WAVE (RMID, RMP3, CDDA, CDXA,
// QLCM) and of AIFF / AIFF-C.
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
#include "containers/riff_forms.h"
#include "io.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders of RIFF and IFF bytes ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

// RIFF chunks (little-endian sizes), with the pad byte after odd data.
std::string chunk(const std::string& id, const std::string& data) {
    return id + le32(static_cast<uint32_t>(data.size())) + data + (data.size() % 2 ? std::string(1, '\0') : "");
}
std::string riff(const std::string& form, const std::string& body) {
    return "RIFF" + le32(static_cast<uint32_t>(4 + body.size())) + form + body;
}
// IFF chunks (big-endian sizes); `pad` false leaves out the pad byte.
std::string iffChunk(const std::string& id, const std::string& data, bool pad = true) {
    return id + be32(static_cast<uint32_t>(data.size())) + data + (pad && data.size() % 2 ? std::string(1, '\0') : "");
}
std::string form(const std::string& type, const std::string& body) {
    return "FORM" + be32(static_cast<uint32_t>(4 + body.size())) + type + body;
}

// 44,100 as an 80-bit extended float.
const std::string k44100 = test::bytes({0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});

std::string commChunk(uint16_t channels, uint32_t frames, uint16_t bits, const std::string& rate80,
                      const std::string& compression = "") {
    return iffChunk("COMM", be16(channels) + be32(frames) + be16(bits) + rate80 + compression);
}
// A sound data chunk: offset, block size, then `bytes` of samples.
std::string ssndChunk(size_t bytes) { return iffChunk("SSND", std::string(8 + bytes, '\0')); }

// QCP format chunk (RFC 3625 layout, 150 bytes).
std::string qcpFormat(const std::string& codec, uint16_t bitsPerSecond, uint16_t rate = 8000, uint16_t sampleSize = 16) {
    std::string name = codec;
    name.resize(80, '\0');
    return std::string{1, 0} + std::string(16, 'g') + le16(2) + name + le16(bitsPerSecond) + le16(35) + le16(160) + le16(rate) +
           le16(sampleSize) + std::string(40, '\0');
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The RIFF analyser on crafted bytes under the given format code.
std::unique_ptr<AnalysisRecord> analyseAs(const test::TempDir& dir, const std::string& bytes, int32_t code,
                                          const std::string& name = "crafted.bin") {
    auto record = test::makeRecord(dir.write(name, bytes));
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

std::vector<std::string> lines(const char (*texts)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(texts[i]);
    return out;
}

Bytes asBytes(const std::string& s) { return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

std::string exception(int code) { return cp("[Exception] 例外終了(" + std::to_string(code) + ")"); }

class RiffFormsTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    test::TempDir dir;
};

// ---- decoders and lines ----

TEST(AiffCommon, EightyBitRatesAndShortChunks) {
    const struct {
        std::initializer_list<int> rate;
        double hz;
    } rates[] = {
        {{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 44100},
        {{0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}, 48000},
        {{0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 22050},
        {{0x40, 0x0B, 0xFA, 0x00, 0, 0, 0, 0, 0, 0}, 8000},
        {{0x40, 0x0F, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}, 96000},
        {{0x40, 0x0D, 0xAC, 0x44, 0x80, 0, 0, 0, 0, 0}, 22050.25},  // a fraction
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const auto& r : rates) {
        const std::string data = be16(2) + be32(1234) + be16(24) + test::bytes(r.rate) + "sowt";
        AiffCommon c = parseAiffCommon(asBytes(data), true);
        EXPECT_EQ(c.channels, 2);
        EXPECT_EQ(c.sampleFrames, 1234u);
        EXPECT_EQ(c.sampleSize, 24);
        EXPECT_DOUBLE_EQ(c.sampleRate, r.hz);
        EXPECT_STREQ(c.compression, "sowt");
        // The same bytes in an AIFF file: no compression type is read.
        EXPECT_STREQ(parseAiffCommon(asBytes(data), false).compression, "");
    }
    // A chunk cut inside the rate: what is missing reads 0.
    const std::string data = be16(1) + be32(99) + be16(16) + test::bytes({0x40, 0x0E, 0xAC});
    AiffCommon c = parseAiffCommon(asBytes(data), true);
    EXPECT_EQ(c.sampleFrames, 99u);
    EXPECT_DOUBLE_EQ(c.sampleRate, std::ldexp(0xAC00000000000000ull * 1.0, 0x400E - 16382 - 64));
    EXPECT_STREQ(c.compression, "");
    c = parseAiffCommon(Bytes(), true);
    EXPECT_EQ(c.channels, 0);
    EXPECT_EQ(c.sampleRate, 0.0);
}

TEST(AiffCommon, SamplesPerStoredFrame) {
    const struct {
        const char* type;
        uint32_t samples;
    } types[] = {
        {"ima4", 64}, {"MAC3", 6}, {"MAC6", 6}, {"GSM ", 160},                   // packet-coded
        {"", 1},      {"NONE", 1}, {"sowt", 1}, {"ulaw", 1}, {"alaw", 1}, {"fl32", 1},
        {"IMA4", 1},  {"mac3", 1}, {"ima", 1},                                   // the case and length count
    };
    for (const auto& t : types) EXPECT_EQ(aiffSamplesPerFrame(t.type), t.samples) << t.type;
}

TEST(QcpFormat, FieldsAndShortChunks) {
    QcpFormat f = parseQcpFormat(asBytes(qcpFormat("Qcelp 13K", 13000, 8000, 16)));
    EXPECT_STREQ(f.codec, "Qcelp 13K");
    EXPECT_EQ(f.averageBitsPerSecond, 13000);
    EXPECT_EQ(f.sampleRate, 8000);
    EXPECT_EQ(f.sampleSize, 16);
    // A name that fills all 80 bytes is kept whole and still ends.
    f = parseQcpFormat(asBytes(qcpFormat(std::string(80, 'n'), 1)));
    EXPECT_EQ(std::string(f.codec), std::string(80, 'n'));
    // Cut after the bit rate: rate and sample size read 0.
    f = parseQcpFormat(asBytes(qcpFormat("EVRC", 9600).substr(0, 102)));
    EXPECT_STREQ(f.codec, "EVRC");
    EXPECT_EQ(f.averageBitsPerSecond, 9600);
    EXPECT_EQ(f.sampleRate, 0);
    f = parseQcpFormat(Bytes());
    EXPECT_STREQ(f.codec, "");
}

TEST_F(RiffFormsTest, AudioLinesFillEveryPlaceholder) {
    AudioStreamInfo a{};
    std::strcpy(a.codec, "Qcelp 13K");
    a.sampleRate = 22050.75;
    a.bitDepth = 16;
    a.channels = 2;
    a.bitRate = 1411456;
    EXPECT_EQ(describeAiffAudio(a),
              "tpl=AIFF/AUDIO|sampleratek=22.05|samplerate=22050|bitdepth=16|channel=2|bitratek=1411.46|bitrate=1411456.00");
    EXPECT_EQ(describePureVoiceAudio(a), "tpl=PUREVOICE/AUDIO|codec=Qcelp 13K|sampleratek=22.05|samplerate=22050|bitdepth=16|"
                                         "channel=2|bitratek=1411.46|bitrate=1411456.00");
    char out[24] = {};
    describeAiffAudio(out, sizeof out, a);
    EXPECT_STREQ(out, "tpl=AIFF/AUDIO|samplera");

    test::useShippedData();
    EXPECT_EQ(describeAiffAudio(a), "AIFF 1411.46kbps 22050Hz 16bit 2ch");
    EXPECT_EQ(describePureVoiceAudio(a), "QCP Qcelp 13K 1411.46kbps 22050Hz 16bit 2ch");
}

// ---- fixtures ----

TEST_F(RiffFormsTest, AiffFixtures) {
    const struct {
        const char* file;
        const char* sampleRate;
        const char* bitDepth;
        const char* channels;
        double duration;     // from the common chunk (ffprobe gives the same)
        double soundBytes;   // the "SSND" size: samples and its 8-byte header
    } cases[] = {
        {"aiff_pcm16.aiff", "44100", "16", "2", 0.25, 44108},
        // AIFF-C is described like AIFF: the compression type does not show.
        {"aifc_sowt_ffmpeg.aifc", "44100", "16", "2", 0.25, 44108},
        {"aifc_sox.aifc", "44100", "16", "2", 0.25, 44108},
        {"aifc_ulaw_ffmpeg.aifc", "8000", "8", "1", 0.2, 1608},
        // 87 packets of 64 samples (ffprobe: 0.252517 s).
        {"aifc_ima4_ffmpeg.aifc", "22050", "4", "1", 87 * 64 / 22050.0, 2966},
        // The odd ANNO and AUTH chunks and their pad bytes are crossed.
        {"aiff_odd_chunks.aiff", "22050", "16", "1", 0.1, 4418},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_AIFF);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "");
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
        ASSERT_EQ(r->audioCount, 1);
        auto a = test::fields(r->audioText[0]);
        EXPECT_EQ(a["tpl"], "AIFF/AUDIO");
        EXPECT_EQ(a["samplerate"], c.sampleRate);
        EXPECT_EQ(a["bitdepth"], c.bitDepth);
        EXPECT_EQ(a["channel"], c.channels);
        EXPECT_EQ(a["bitrate"], format("%.2f", c.soundBytes * 8 / c.duration));
        EXPECT_EQ(r->videoCount, 0);
        EXPECT_EQ(r->extraCount, 0);
    }
}

TEST_F(RiffFormsTest, AiffAndQcpRenderWithoutALabel) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("aiff_pcm16.aiff"));
    EXPECT_EQ(test::one(*r), "AIFF 1411.46kbps 44100Hz 16bit 2ch 00:00:00.250");
    r = test::analyse(test::fixture("riff_qlcm_qcelp13k.qcp"));
    EXPECT_EQ(test::one(*r), "QCP Qcelp 13K 13.00kbps 8000Hz 16bit 1ch 00:00:01.076");
}

TEST_F(RiffFormsTest, CdAudioTrack) {
    auto r = test::analyse(test::fixture("riff_cdda_track03.cda"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_CDDA);
    EXPECT_STREQ(r->errorText, "");
    EXPECT_STREQ(r->formatName, "RIFF(CD)");
    // Track 3 from sector 33,000 (7:20), 15,000 sectors long.
    EXPECT_EQ(lines(r->audioText, r->audioCount), std::vector<std::string>{"Track03 4A2B3C1D 00:07:20"});
    EXPECT_DOUBLE_EQ(r->duration, 200.0);
    EXPECT_EQ(r->fileSize, 44);
}

TEST_F(RiffFormsTest, CdAudioTrackLines) {
    auto track = [](uint16_t number, uint32_t disc, uint32_t first, uint32_t length) {
        return chunk("fmt ", le16(1) + le16(number) + le32(disc) + le32(first) + le32(length) + std::string(8, '\0'));
    };
    const struct {
        const char* name;
        std::string bytes;
        const char* line;
        double duration;
    } cases[] = {
        {"first track", riff("CDDA", track(1, 0x00ABCDEF, 0, 75)), "Track01 00ABCDEF 00:00:00", 1.0},
        {"past an hour", riff("CDDA", track(12, 0xFFFFFFFF, 75 * 3725, 1)), "Track12 FFFFFFFF 01:02:05", 1 / 75.0},
        {"lower-case fmt", riff("CDDA", "FMT " + track(2, 1, 150, 0).substr(4)), "Track02 00000001 00:00:02", 0.0},
        // A chunk cut after the disc identifier: start and length read 0.
        {"short chunk", riff("CDDA", chunk("fmt ", le16(1) + le16(7) + le32(0x1234))), "Track07 00001234 00:00:00", 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, VESKO_FMT_CDDA);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_EQ(lines(r->audioText, r->audioCount), std::vector<std::string>{c.line});
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
    }

    // Anything but "fmt " right after the header.
    for (const std::string& body : {chunk("LIST", "INFO"), std::string(), std::string("fm")}) {
        auto r = analyseAs(dir, riff("CDDA", body), VESKO_FMT_CDDA);
        EXPECT_EQ(std::string(r->errorText), cp("[RIFF(CD)] fmtチャンクがありません"));
        EXPECT_STREQ(r->formatName, "RIFF(CD)");
        EXPECT_EQ(r->audioCount, 0);
    }
}

TEST_F(RiffFormsTest, PureVoiceFixture) {
    auto r = test::analyse(test::fixture("riff_qlcm_qcelp13k.qcp"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_QLCM);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_STREQ(r->formatName, "");
    ASSERT_EQ(r->audioCount, 1);
    auto a = test::fields(r->audioText[0]);
    EXPECT_EQ(a["tpl"], "PUREVOICE/AUDIO");
    EXPECT_EQ(a["codec"], "Qcelp 13K");
    EXPECT_EQ(a["samplerate"], "8000");
    EXPECT_EQ(a["bitdepth"], "16");
    EXPECT_EQ(a["channel"], "1");
    EXPECT_EQ(a["bitrate"], "13000.00");
    // 1,750 data bytes at 13,000 bit/s. (ffprobe estimates 1.091689 s from
    // the bytes up to the end of the file.)
    EXPECT_DOUBLE_EQ(r->duration, 1750 * 8 / 13000.0);

}

TEST_F(RiffFormsTest, PureVoiceWalk) {
    const std::string fmt = chunk("fmt ", qcpFormat("Qcelp 13K", 13000));
    const std::string data = chunk("data", std::string(1300, 'd'));
    const struct {
        const char* name;
        std::string bytes;
        double duration;
    } cases[] = {
        {"fmt, vrat, data", riff("QLCM", fmt + chunk("vrat", le32(1) + le32(50)) + data), 0.8},
        {"data first", riff("QLCM", data + fmt), 0.8},
        // Odd chunks are followed by their pad bytes.
        {"labl, offs, cnfg, text", riff("QLCM", fmt + chunk("labl", "x") + chunk("OFFS", le32(0)) + chunk("cnfg", "ab") +
                                                    chunk("text", "some text") + data),
         0.8},
        // An unknown chunk is crossed eight bytes at a time: its 16 bytes
        // of data put "data" back on the eight-byte grid...
        {"unknown chunk of 16 bytes", riff("QLCM", fmt + chunk("abcd", std::string(16, 'u')) + data), 0.8},
        // ... 12 bytes do not, and "data" is read as part of another header.
        {"unknown chunk of 12 bytes", riff("QLCM", fmt + chunk("abcd", std::string(12, 'u')) + data), 0.0},
        // The last data chunk counts.
        {"two data chunks", riff("QLCM", fmt + chunk("data", std::string(650, 'd')) + data), 0.8},
        // A data size beyond the end of a cut file is taken as it stands;
        // the product of size and 8 does not wrap at 32 bits.
        {"data of 2^29 bytes", riff("QLCM", fmt + "data" + le32(0x20000000) + "dddd"), 4294967296.0 / 13000},
        {"data of 2^32 - 1 bytes", riff("QLCM", fmt + "data" + le32(0xFFFFFFFF)), 4294967295.0 * 8 / 13000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, VESKO_FMT_QLCM);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(test::fields(r->audioText[0])["codec"], "Qcelp 13K");
    }
}

TEST_F(RiffFormsTest, RmidFixture) {
    auto r = test::analyse(test::fixture("riff_rmid.rmi"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_RMID);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_STREQ(r->formatName, "RIFF(MIDI)");
    ASSERT_EQ(r->audioCount, 1);
    // The same line as the MIDI file on its own.
    auto plain = test::analyse(test::fixture("midi_format1_3tracks.mid"));
    EXPECT_STREQ(r->audioText[0], plain->audioText[0]);
    auto a = test::fields(r->audioText[0]);
    EXPECT_EQ(a["tpl"], "MIDI/AUDIO1");
    EXPECT_EQ(a["format"], "1");
    EXPECT_EQ(a["track"], "2");
    EXPECT_EQ(a["delta"], "480");
    EXPECT_EQ(a["title"], "Song");
    EXPECT_EQ(r->duration, 0.0);  // a MIDI header tells no play time
    EXPECT_EQ(r->extraCount, 0);
}

TEST_F(RiffFormsTest, RmidWithoutMidiHeaderDescribesZeros) {
    for (const std::string& body : {chunk("data", "not a MIDI file"), std::string("data")}) {
        auto r = analyseAs(dir, riff("RMID", body), VESKO_FMT_RMID);
        EXPECT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_STREQ(r->audioText[0], "tpl=MIDI/AUDIO2|format=0|track=0|delta=0");
    }
}

TEST_F(RiffFormsTest, Rmp3Fixtures) {
    const struct {
        const char* file;
        const char* tpl;
        const char* plain;  // the MP3 stream as a file of its own, or nullptr
        double duration;
        std::vector<std::string> extra;
    } cases[] = {
        // The LAME Info frame's 40 frames of 1,152 samples; the MP3 on its
        // own gives the same (ffprobe: 1.044898 s for the MP3; 1.074 s for
        // the RIFF file, where it counts the Info frame as audio).
        {"riff_rmp3.rmp", "MP3/LAME", "mp3_cbr128.mp3", 40 * 1152 / 44100.0, {"INFOTAG"}},
        // 2,299 bytes of 104.49-byte frames: 22 frames of 576 samples
        // (ffprobe estimates 0.619 s from the file size).
        {"riff_rmp3_list_id3v1.rmp", "MP3/CBR1", nullptr, 2299 * 8 / 32000.0, {"ID3v1 / INFOTAG"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_RMP3);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RIFF(RMP3)");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(test::fields(r->audioText[0])["tpl"], c.tpl);
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.001);
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
        if (c.plain) {
            auto plain = test::analyse(test::fixture(c.plain));
            EXPECT_STREQ(r->audioText[0], plain->audioText[0]);
            EXPECT_DOUBLE_EQ(r->duration, plain->duration);
        }
    }
}

TEST_F(RiffFormsTest, Rmp3TrailingChunks) {
    // Frames of a CBR stream without its Info frame: 418-byte frames at
    // 128 kbit/s.
    const std::string mp3 = fileBytes(test::fixture("mp3_cbr128.mp3")).substr(417, 4180);
    const std::string tag = "TAG" + std::string(125, 't');
    const std::string info = chunk("INAM", "name");
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> extra;
        double dataBytes = 4180;
    } cases[] = {
        {"nothing after the data", riff("RMP3", chunk("data", mp3)), {}},
        {"LIST INFO", riff("RMP3", chunk("data", mp3) + chunk("LIST", "INFO" + info)), {"INFOTAG"}},
        {"list type in lower case", riff("RMP3", chunk("data", mp3) + chunk("list", "info" + info)), {"INFOTAG"}},
        {"INFO ending in an ID3v1 tag", riff("RMP3", chunk("data", mp3) + chunk("LIST", "INFO" + info + tag)), {"ID3v1 / INFOTAG"}},
        {"another list ending in a tag", riff("RMP3", chunk("data", mp3) + chunk("LIST", "abcd" + tag)), {"ID3v1"}},
        {"tag not at the list's end", riff("RMP3", chunk("data", mp3) + chunk("LIST", "abcd" + tag + "xx")), {}},
        {"IID3", riff("RMP3", chunk("data", mp3) + chunk("IID3", tag)), {"ID3v1"}},
        // Odd data and unknown bytes: the walk steps one byte at a time.
        {"pad byte and junk", riff("RMP3", chunk("data", mp3 + "x") + "junk!" + chunk("LIST", "INFO" + info)), {"INFOTAG"}, 4181},
        // A list that runs past the end of the file: its type is read, its
        // last 128 bytes are not there.
        {"cut list", riff("RMP3", chunk("data", mp3) + "LIST" + le32(4000) + "INFO" + tag), {"INFOTAG"}},
        // Trailing bytes that do not make a header.
        {"three bytes after the data", riff("RMP3", chunk("data", mp3) + "LIS"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, VESKO_FMT_RMP3);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(test::fields(r->audioText[0])["tpl"], "MP3/CBR1");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
        // The data bytes at 128 kbit/s; an ID3v1 tag at the end of the file
        // lies outside the data chunk and is not taken off it.
        EXPECT_NEAR(r->duration, c.dataBytes * 8 / 128000.0, 1e-9);
    }
}

TEST_F(RiffFormsTest, Rmp3DataSizes) {
    const std::string mp3 = fileBytes(test::fixture("mp3_cbr128.mp3")).substr(417, 4180);
    const struct {
        const char* name;
        std::string bytes;
        double duration;
    } cases[] = {
        // A data size beyond the end of the file: the bytes that are there.
        {"cut data chunk", riff("RMP3", "data" + le32(1000000) + mp3), 4180 * 8 / 128000.0},
        // A size of 0 (a writer that never came back to it): no play time.
        {"data size 0", riff("RMP3", "data" + le32(0) + mp3), 0.0},
        {"data size 2^32 - 1", riff("RMP3", "data" + le32(0xFFFFFFFF) + mp3), 4180 * 8 / 128000.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, VESKO_FMT_RMP3);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_NEAR(r->duration, c.duration, 1e-9);
    }

    // An ID3v2 tag at the start of the data is passed over and its bytes
    // are not audio.
    const std::string id3 = test::bytes({'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20}) + std::string(20, '\0');
    auto r = analyseAs(dir, riff("RMP3", chunk("data", id3 + mp3)), VESKO_FMT_RMP3);
    EXPECT_EQ(test::fields(r->audioText[0])["samplerate"], "44100");
    EXPECT_NEAR(r->duration, 4180 * 8 / 128000.0, 1e-9);

    // Data that holds no frame: the line of the zero values.
    r = analyseAs(dir, riff("RMP3", chunk("data", std::string(500, '\0'))), VESKO_FMT_RMP3);
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(test::fields(r->audioText[0])["tpl"], "MP3/CBR2");
    EXPECT_EQ(r->duration, 0.0);
}

// The region of the program stream runs from the data chunk's start to its
// end.
TEST_F(RiffFormsTest, VideoCdFixtures) {
    const struct {
        const char* file;
        const char* width;
        const char* height;
        const char* audioBitRate;
        // The program stream scan's play time: from the first pack's clock
        // reference to the last one's. ffprobe gives 1.018778 s for the PAL
        // file (from the time stamps, which start 0.48 s after the clock)
        // and 0.410911 s for the other.
        double duration;
    } cases[] = {
        {"riff_cdxa_vcd_pal_1s.dat", "352", "288", "224.00", 1.357267},
        {"riff_cdxa_videocd.dat", "160", "120", "64.00", 0.764211},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_CDXA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RIFF(VideoCD)");
        ASSERT_EQ(r->videoCount, 1);
        auto v = test::fields(r->videoText[0]);
        EXPECT_EQ(v["tpl"], "MPEG1/2/MPEG1");
        EXPECT_EQ(v["width"], c.width);
        EXPECT_EQ(v["height"], c.height);
        EXPECT_EQ(v["framerate"], "25.00");
        ASSERT_EQ(r->audioCount, 1);
        auto a = test::fields(r->audioText[0]);
        EXPECT_EQ(a["layer"], "II");
        EXPECT_EQ(a["bitratek"], c.audioBitRate);
        EXPECT_NEAR(r->duration, c.duration, 1e-6);
        EXPECT_EQ(r->extraCount, 0);
    }
}

TEST_F(RiffFormsTest, VideoCdRegionIsTheDataChunk) {
    // The first 40 KB of an MPEG-1 program stream as the chunk's data.
    const std::string ps = fileBytes(test::fixture("mpeg1_ps_mpeg1video_mp2.mpg")).substr(0, 40000);
    const std::string fmt = chunk("fmt ", std::string(16, '\0'));
    // The same stream as a file of its own.
    auto plain = analyseAs(dir, ps, VESKO_FMT_MPEG1_PS, "plain.mpg");
    ASSERT_STREQ(plain->errorText, "");
    ASSERT_EQ(plain->videoCount, 1);

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"fmt and data", riff("CDXA", fmt + chunk("data", ps))},
        // A chunk before the data larger than the data: the data's size
        // less 4 lies before its start, which is no end of it.
        {"large chunk before the data", riff("CDXA", fmt + chunk("____", std::string(50000, '\0')) + chunk("data", ps))},
        // A size beyond the end of a cut file ends at the end of the file.
        {"cut data chunk", riff("CDXA", fmt + "data" + le32(0x7FFFFFF0) + ps)},
        // Unknown bytes before and chunks after the data.
        {"junk and trailing list", riff("CDXA", fmt + "junk!" + chunk("data", ps) + chunk("LIST", "INFOabcd"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, VESKO_FMT_CDXA);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "RIFF(VideoCD)");
        EXPECT_EQ(lines(r->videoText, r->videoCount), lines(plain->videoText, plain->videoCount));
        EXPECT_EQ(lines(r->audioText, r->audioCount), lines(plain->audioText, plain->audioCount));
        EXPECT_DOUBLE_EQ(r->duration, plain->duration);
    }

    // Data without a sequence header: the program stream scan's message.
    auto r = analyseAs(dir, riff("CDXA", fmt + chunk("data", std::string(3000, '\0'))), VESKO_FMT_CDXA);
    EXPECT_EQ(std::string(r->errorText), cp("[MPEG1] シーケンスヘッダが見つかりません"));
    // No data chunk: nothing but the label.
    r = analyseAs(dir, riff("CDXA", fmt), VESKO_FMT_CDXA);
    EXPECT_STREQ(r->errorText, "");
    EXPECT_EQ(r->videoCount, 0);
    EXPECT_STREQ(r->formatName, "RIFF(VideoCD)");
}

// ---- AIFF walk ----

TEST_F(RiffFormsTest, AiffPadBytesAfterOddChunks) {
    const std::string comm = commChunk(2, 4410, 16, k44100);
    const std::string ssnd = ssndChunk(17640);
    const struct {
        const char* name;
        std::string body;
        const char* bitRate;
    } cases[] = {
        {"odd chunk before COMM", iffChunk("NAME", "abc") + comm + ssnd, "1411840.00"},
        {"odd chunk before SSND", comm + iffChunk("ANNO", "a note") + iffChunk("AUTH", "x") + ssnd, "1411840.00"},
        {"odd chunks everywhere", iffChunk("MARK", "m") + comm + iffChunk("COMT", "ccc") + iffChunk("INST", "iiiii") + ssnd +
                                      iffChunk("ID3 ", "ID3tag!"),
         "1411840.00"},
        {"FVER, MARK, COMT, INST, ____", iffChunk("FVER", be32(0xA2805140)) + iffChunk("MARK", be16(0)) + comm +
                                             iffChunk("COMT", be16(0)) + iffChunk("INST", std::string(20, 'i')) +
                                             iffChunk("____", "pad") + ssnd,
         "1411840.00"},
        // The last common and sound data chunks count.
        {"two of each", commChunk(1, 1, 8, k44100) + ssndChunk(2) + comm + ssnd, "1411840.00"},
        {"no SSND", comm, "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, form("AIFF", c.body), VESKO_FMT_AIFF);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 0.1);
        ASSERT_EQ(r->audioCount, 1);
        auto a = test::fields(r->audioText[0]);
        EXPECT_EQ(a["channel"], "2");
        EXPECT_EQ(a["bitrate"], c.bitRate);
    }
}

TEST_F(RiffFormsTest, AifcPacketCodedTypes) {
    // 100 packets of 64 samples at 44,100 Hz; 3,400 bytes of packets.
    const std::string body = iffChunk("FVER", be32(0xA2805140)) +
                             commChunk(1, 100, 16, k44100, "ima4" + std::string("\x07IMA 4:1")) + ssndChunk(3400);
    auto r = analyseAs(dir, form("AIFC", body), VESKO_FMT_AIFF);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 6400 / 44100.0);
    // The same common chunk in an AIFF file counts samples.
    r = analyseAs(dir, form("AIFF", body), VESKO_FMT_AIFF);
    EXPECT_DOUBLE_EQ(r->duration, 100 / 44100.0);
    // A common chunk too short for the compression type.
    r = analyseAs(dir, form("AIFC", commChunk(1, 100, 16, k44100, "im") + ssndChunk(3400)), VESKO_FMT_AIFF);
    EXPECT_DOUBLE_EQ(r->duration, 100 / 44100.0);
}

TEST_F(RiffFormsTest, AiffArithmeticFaults) {
    const std::string ssnd = ssndChunk(100);
    const std::string zero(10, '\0');
    const struct {
        const char* name;
        std::string bytes;
        int32_t code;
    } cases[] = {
        {"sample rate 0", form("AIFF", commChunk(2, 4410, 16, zero) + ssnd), VESKO_FMT_AIFF},
        {"no COMM", form("AIFF", ssnd), VESKO_FMT_AIFF},
        {"0 sample frames", form("AIFF", commChunk(2, 0, 16, k44100) + ssnd), VESKO_FMT_AIFF},
        // An infinite rate makes a play time of 0.
        {"rate of 2^16384", form("AIFC", commChunk(2, 4410, 16, test::bytes({0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0})) + ssnd),
         VESKO_FMT_AIFF},
        {"QCP rate 0", riff("QLCM", chunk("fmt ", qcpFormat("x", 0)) + chunk("data", "dd")), VESKO_FMT_QLCM},
        {"QCP without fmt", riff("QLCM", chunk("data", "dd")), VESKO_FMT_QLCM},
    };
    for (const auto& c : cases) {
        auto r = analyseAs(dir, c.bytes, c.code);
        EXPECT_EQ(std::string(r->errorText), exception(c.code)) << c.name;
    }
}

// A file in which every size is a trap: each walk ends, and what it reads
// stays inside the file.
TEST_F(RiffFormsTest, WalksEndOnAnySize) {
    const struct {
        const char* name;
        std::string bytes;
        int32_t code;
    } cases[] = {
        {"AIFF size 0 chunks", form("AIFF", iffChunk("ABCD", "") + iffChunk("COMM", "") + iffChunk("SSND", "")), VESKO_FMT_AIFF},
        {"AIFF oversized COMM", form("AIFF", "COMM" + be32(0xFFFFFFFF) + be16(2) + be32(10)), VESKO_FMT_AIFF},
        {"AIFF oversized chunk", form("AIFF", "ABCD" + be32(0xFFFFFFFF) + commChunk(2, 4410, 16, k44100)), VESKO_FMT_AIFF},
        {"AIFF cut header", form("AIFF", commChunk(2, 4410, 16, k44100) + "SSN"), VESKO_FMT_AIFF},
        {"QCP size 0 and unknown", riff("QLCM", chunk("DATA", "") + chunk("FMT ", "") + std::string(37, 'q')), VESKO_FMT_QLCM},
        {"QCP oversized fmt", riff("QLCM", "fmt " + le32(0xFFFFFFFF) + qcpFormat("x", 1000)), VESKO_FMT_QLCM},
        {"CDXA size 0 data", riff("CDXA", "data" + le32(0) + chunk("data", "")), VESKO_FMT_CDXA},
        {"CDXA oversized fmt", riff("CDXA", "fmt " + le32(0xFFFFFFFF) + std::string(64, 'x')), VESKO_FMT_CDXA},
        {"CDXA cut header", riff("CDXA", "dat"), VESKO_FMT_CDXA},
        {"RMP3 size 0 list", riff("RMP3", chunk("data", "") + "LIST" + le32(0) + "IID3" + le32(0xFFFFFFFF)), VESKO_FMT_RMP3},
        {"RMP3 header only", riff("RMP3", ""), VESKO_FMT_RMP3},
        {"RMID header only", riff("RMID", ""), VESKO_FMT_RMID},
        {"CDDA oversized fmt", riff("CDDA", "fmt " + le32(0xFFFFFFFF) + le16(1) + le16(2)), VESKO_FMT_CDDA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyseAs(dir, c.bytes, c.code);
        const std::map<int32_t, std::string> labels = {{VESKO_FMT_AIFF, ""},           {VESKO_FMT_QLCM, ""},
                                                       {VESKO_FMT_CDXA, "RIFF(VideoCD)"}, {VESKO_FMT_RMP3, "RIFF(RMP3)"},
                                                       {VESKO_FMT_RMID, "RIFF(MIDI)"},    {VESKO_FMT_CDDA, "RIFF(CD)"}};
        EXPECT_EQ(r->formatName, labels.at(c.code));
    }
}

TEST_F(RiffFormsTest, FormHeaderAfterAnId3v2Tag) {
    const std::string id3 = test::bytes({'I', 'D', '3', 3, 0, 0, 0, 0, 0, 6}) + std::string(6, '\0');
    const std::string aiff = form("AIFF", commChunk(2, 4410, 16, k44100) + ssndChunk(17640));
    auto r = analyseAs(dir, id3 + aiff, VESKO_FMT_AIFF);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 0.1);
    // A FORM file whose type is neither AIFF nor AIFC.
    r = analyseAs(dir, form("8SVX", commChunk(2, 4410, 16, k44100)), VESKO_FMT_AIFF);
    EXPECT_EQ(std::string(r->errorText), cp("[RIFF] 非対応のフォーマット(8SVX)"));
}

}  // namespace
}  // namespace vesko
