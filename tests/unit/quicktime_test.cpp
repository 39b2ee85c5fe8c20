// Tests of the QuickTime / MP4 analyser and its sample-description decoder.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "containers/quicktime.h"
#include "io.h"
#include "mpeg/video_headers.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;
using Fields = std::map<std::string, std::string>;

// ---- builders of box bytes ----

std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be24(uint32_t v) { return std::string(1, static_cast<char>((v >> 16) & 0xFF)) + be16(v & 0xFFFF); }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }
std::string be64(uint64_t v) { return be32(static_cast<uint32_t>(v >> 32)) + be32(static_cast<uint32_t>(v)); }
std::string zeros(size_t n) { return std::string(n, '\0'); }

std::string box(const std::string& type, const std::string& payload = "") {
    return be32(static_cast<uint32_t>(8 + payload.size())) + type + payload;
}
std::string fullBox(const std::string& type, uint8_t version, uint32_t flags, const std::string& payload = "") {
    return box(type, std::string(1, static_cast<char>(version)) + be24(flags) + payload);
}

std::string ftyp(const std::string& brand) { return box("ftyp", brand + be32(0x200) + brand + "isom"); }
std::string mvhd(uint32_t scale, uint32_t duration) {
    return fullBox("mvhd", 0, 0, be32(0) + be32(0) + be32(scale) + be32(duration) + be32(0x10000) + be16(0x100) + zeros(70) + be32(2));
}
std::string mvhdVersion1(uint32_t scale, uint64_t duration) {
    return fullBox("mvhd", 1, 0, be64(0) + be64(0) + be32(scale) + be64(duration) + be32(0x10000) + be16(0x100) + zeros(70) + be32(2));
}
std::string tkhd(uint32_t id) { return fullBox("tkhd", 0, 3, be32(0) + be32(0) + be32(id) + zeros(68)); }
std::string mdhd(uint32_t scale) { return fullBox("mdhd", 0, 0, be32(0) + be32(0) + be32(scale) + be32(0) + be32(0)); }
std::string hdlr(const std::string& handler) { return fullBox("hdlr", 0, 0, be32(0) + handler + zeros(12) + "x"); }
std::string stts(uint32_t count, uint32_t delta) { return fullBox("stts", 0, 0, be32(1) + be32(count) + be32(delta)); }
std::string stsz(const std::vector<uint32_t>& sizes) {
    std::string table;
    for (uint32_t s : sizes) table += be32(s);
    return fullBox("stsz", 0, 0, be32(0) + be32(static_cast<uint32_t>(sizes.size())) + table);
}
std::string stco(uint32_t offset) { return fullBox("stco", 0, 0, be32(1) + be32(offset)); }
std::string stsd(const std::string& entry) { return fullBox("stsd", 0, 0, be32(1) + entry); }

// Sample entries: the video one puts width at 48, height at 50, depth at 98
// and the extensions at 102 of the "stsd" box; the sound one channels at 40,
// sample size at 42, the rate at 48 and the extensions at 52.
std::string videoEntry(const std::string& code, uint16_t width, uint16_t height, const std::string& extensions = "") {
    return box(code, zeros(6) + be16(1) + zeros(16) + be16(width) + be16(height) + be32(0x480000) + be32(0x480000) + be32(0) + be16(1) +
                         zeros(32) + be16(24) + be16(0xFFFF) + extensions);
}
std::string soundEntry(const std::string& code, uint16_t channels, uint16_t bits, uint32_t rate, const std::string& extensions = "") {
    return box(code, zeros(6) + be16(1) + zeros(8) + be16(channels) + be16(bits) + be16(0) + be16(0) + be32(rate << 16) + extensions);
}

// ES descriptors with one-byte sizes.
std::string descriptor(uint8_t tag, const std::string& payload) {
    return std::string{static_cast<char>(tag), static_cast<char>(payload.size())} + payload;
}
std::string esds(uint8_t objectType, uint32_t maxBitRate, uint32_t avgBitRate, const std::string& specific, uint8_t esFlags = 0,
                 const std::string& optional = "") {
    // No decoder specific information when `specific` is empty.
    const std::string config = descriptor(4, std::string{static_cast<char>(objectType), 0x15} + be24(0) + be32(maxBitRate) +
                                                 be32(avgBitRate) + (specific.empty() ? "" : descriptor(5, specific)));
    return fullBox("esds", 0, 0, descriptor(3, be16(1) + static_cast<char>(esFlags) + optional + config + descriptor(6, "\x02")));
}

std::string track(uint32_t id, const std::string& handler, const std::string& stbl, uint32_t mediaScale = 1000) {
    return box("trak", tkhd(id) + box("mdia", mdhd(mediaScale) + hdlr(handler) + box("minf", box("stbl", stbl))));
}

// A video track of `frames` 100-byte samples and a sound track of one
// 400-byte sample, timed by a movie header of `scale` and `duration`.
std::string simpleMovie(uint32_t scale, uint32_t duration, const std::string& soundExtensions = "") {
    const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(10, 100) + stsz(std::vector<uint32_t>(10, 100)) + stco(0));
    const std::string sound = track(2, "soun", stsd(soundEntry("sowt", 2, 16, 8000, soundExtensions)) + stts(1, 1000) + stsz({400}) + stco(0));
    return box("moov", mvhd(scale, duration) + video + sound);
}

// ---- running the analyser ----

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Offset of the first box of `type` at or after `from` (found by its type).
size_t findBox(const std::string& data, const std::string& type, size_t from = 0) {
    const size_t at = data.find(type, from + 4);
    return at == std::string::npos ? std::string::npos : at - 4;
}

void putBe32(std::string& data, size_t offset, uint32_t value) { data.replace(offset, 4, be32(value)); }

std::vector<std::string> lines(const char (*texts)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(texts[i]);
    return out;
}

class QuickTimeTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }

    // The analyser on bytes, with the format code given.
    std::unique_ptr<AnalysisRecord> run(const std::string& bytes, int32_t code = VESKO_FMT_MP4) {
        auto record = test::makeRecord(dir.write("movie.mov", bytes));
        record->formatCode = code;
        GetFileInfo(record.get());
        return record;
    }

    test::TempDir dir;
};

// ---- real files ----

struct FixtureCase {
    const char* file;
    int32_t code;
    const char* formatName;
    double duration;  // ffprobe's, see the notes
    std::vector<Fields> video;
    std::vector<Fields> audio;
    std::vector<std::string> extra;
};

// Every field listed must match; the others are not looked at.
void expectFields(const std::string& line, const Fields& expected, const std::string& where) {
    const Fields got = test::fields(line);
    for (const auto& [name, value] : expected) {
        auto it = got.find(name);
        ASSERT_NE(it, got.end()) << where << ": no field " << name << " in " << line;
        EXPECT_EQ(it->second, value) << where << ": field " << name << " in " << line;
    }
}

TEST_F(QuickTimeTest, RealFilesGiveOneLinePerTrackAndTheirExtras) {
    const Fields avc160 = {{"tpl", "AVC/VIDEO"}, {"codec", "AVC/H.264"}, {"width", "160"}, {"height", "120"}, {"bitdepth", "8"},
                           {"aspect", "1:1"}, {"interlace", "Progressive"}, {"framerate", "10.00"}, {"frame", "10"}};
    auto with = [](Fields base, const Fields& more) {
        for (const auto& [k, v] : more) base[k] = v;
        return base;
    };
    const Fields aacStereo = {{"tpl", "AAC/AUDIO1"}, {"samplerate", "44100"}, {"channel", "2.0"}, {"channelconfig", "2/0"}, {"profile", "HE(LC)"}};
    const std::vector<FixtureCase> cases = {
        {"mp4_h264_aac.mp4", 21, "MPEG4", 1.0, {with(avc160, {{"profile", "High 4:4:4@1"}, {"bitrate", "35072.00"}})},
         {with(aacStereo, {{"bitrate", "63712.00"}})}, {"test-brand-isom", "MetaData"}},
        {"mov_h264_aac_ftyp_qt.mov", 21, "MPEG4", 1.0, {with(avc160, {{"bitrate", "35072.00"}})}, {with(aacStereo, {{"bitrate", "63712.00"}})},
         {"test-brand-qt-2spaces"}},
        // No ftyp: no brand line; moov first makes it a QuickTime movie.
        {"mov_moov_first.mov", 20, "QuickTime", 1.0, {with(avc160, {{"bitrate", "35072.00"}})}, {with(aacStereo, {{"bitrate", "63712.00"}})}, {}},
        // Mono AAC that signals "no SBR" after its core configuration: the
        // sample entry's 2 channels (ISO files always write 2) do not make
        // it parametric stereo.
        {"3gp_h263_aac.3gp", 21, "MPEG4", 1.0,
         {{{"tpl", "QUICKTIME/VIDEO"}, {"codec", "test-qtv-S263"}, {"width", "176"}, {"height", "144"}, {"framerate", "10.00"},
           {"frame", "10"}, {"bitrate", "147136.00"}}},
         {{{"tpl", "AAC/AUDIO1"}, {"samplerate", "22050"}, {"channel", "1.0"}, {"profile", "HE(LC)"}, {"bitrate", "34218.00"}}},
         {"test-brand-3gp4"}},
        {"m4a_aac.m4a", 21, "MPEG4", 1.0, {}, {with(aacStereo, {{"bitrate", "63712.00"}})}, {"test-brand-M4A-space", "MetaData"}},
        {"m4a_alac.m4a", 21, "MPEG4", 0.25, {},
         {{{"tpl", "QUICKTIME/AUDIO"}, {"codec", "test-qta-ALAC"}, {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "1"},
           {"bitrate", "143008.00"}}},
         {"test-brand-M4A-space", "MetaData"}},
        // One constant sample size of 2 bytes for 4,800 samples: 128 kbit/s.
        {"mov_mjpeg_pcm.mov", 21, "MPEG4", 0.6,
         {{{"tpl", "QUICKTIME/VIDEO"}, {"codec", "test-qtv-JPEG"}, {"width", "64"}, {"height", "48"}, {"framerate", "5.00"},
           {"frame", "3"}, {"bitrate", "36826.67"}}},
         {{{"tpl", "QUICKTIME/AUDIO"}, {"codec", "test-qta-SOWT"}, {"samplerate", "8000"}, {"bitdepth", "16"}, {"channel", "1"},
           {"bitrate", "128000.00"}}},
         {"test-brand-qt-2spaces"}},
        // Version 2 sound description: 96 kHz, 1 channel, 24 bits (the old
        // fields hold 1 Hz, 3 channels, 16 bits).
        {"mov_lpcm_96k_24bit.mov", 21, "MPEG4", 0.05, {},
         {{{"tpl", "QUICKTIME/AUDIO"}, {"codec", "test-qta-LPCM"}, {"samplerate", "96000"}, {"bitdepth", "24"}, {"channel", "1"},
           {"bitrate", "2304000.00"}}},
         {"test-brand-qt-2spaces"}},
        // is_object_layer_identifier is set: aspect_ratio_info (15,
        // extended) and the 4:3 pixel aspect lie 7 bits further on.
        {"mp4_mpeg4_sar4x3_aac.mp4", 21, "MPEG4", 1.0,
         {{{"tpl", "AVC/VIDEO"}, {"codec", "test-qtv-MP4V"}, {"profile", "Simple@L1"}, {"aspect", "4:3"}, {"width", "160"},
           {"bitdepth", "24"}, {"frame", "10"}, {"bitrate", "45896.00"}}},
         {with(aacStereo, {{"bitrate", "63712.00"}})}, {"test-brand-isom", "MetaData"}},
        // mov_text (handler "sbtl") gives no line; chapters come from chpl.
        {"mp4_text_chapters.mp4", 21, "MPEG4", 1.0, {with(avc160, {{"profile", "High@1"}, {"bitrate", "34984.00"}})},
         {with(aacStereo, {{"bitrate", "33118.00"}})}, {"test-brand-isom", "MetaData / Chapter(2)"}},
        // The first sample of each sound track decoded: AC-3 by its sample
        // entry, MP3 by the object type 0x6B of its esds.
        {"mp4_ac3_mp3.mp4", 21, "MPEG4", 0.517, {},
         {{{"tpl", "AC3/AUDIO"}, {"bitrate", "96000.00"}, {"samplerate", "44100"}, {"channel", "2.0"}},
          {{"tpl", "MP3/CBR2"}, {"layer", "III"}, {"bitrate", "64000.00"}, {"channel", "JointStereo"}}},
         {"test-brand-isom", "MetaData"}},
        // The identification header behind Xiph lacing of two size bytes.
        {"mp4_vorbis.mp4", 21, "MPEG4", 1.0, {},
         {{{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}, {"channel", "1"}, {"bitrate", "48000.00"}, {"bitratemode", "QB"}}},
         {"test-brand-isom", "MetaData"}},
        // Fragmented: timed by the first track of the fragments (video,
        // tfhd default durations), ffprobe's video stream duration; its
        // format duration, 1.2 s, is the audio track's.
        {"mp4_frag_h264_aac.mp4", 21, "MPEG4", 1.0, {with(avc160, {{"profile", "High@1"}, {"bitrate", "48656.00"}})},
         {with(aacStereo, {{"bitrate", "64000.00"}})}, {"test-brand-isom", "MovieFragment(2)", "MetaData"}},
        // Smooth Streaming: version 1 tkhd, so the fragments find their
        // tracks (10 frames, not 10 + the audio's); per-sample durations in
        // the 10 MHz media time scale (ffprobe: video 1.0 s, format 1.1 s).
        {"ismv_h264_aac.ismv", 21, "MPEG4", 1.0, {with(avc160, {{"profile", "High@1"}, {"bitrate", "48656.00"}})},
         {with(aacStereo, {{"bitrate", "64000.00"}})}, {"test-brand-isml", "MovieFragment(4)", "MetaData"}},
        // mdat of size 0 runs to the end of the file.
        {"mp4_mdat_size0.mp4", 21, "MPEG4", 0.5,
         {{{"tpl", "AVC/VIDEO"}, {"width", "96"}, {"height", "64"}, {"frame", "5"}, {"bitrate", "27344.00"}}},
         {{{"tpl", "AAC/AUDIO1"}, {"samplerate", "22050"}, {"channel", "1.0"}, {"bitrate", "34916.00"}}}, {"test-brand-isom", "MetaData"}},
        // Handler "mpeg": the program stream analyser's lines; the movie's
        // duration.
        {"mov_mpeg1_ps_track.mov", 20, "QuickTime", 0.5, {{{"tpl", "MPEG1/2/MPEG1"}, {"width", "96"}, {"height", "64"}, {"framerate", "25.00"}}},
         {{{"tpl", "MP3/CBR2"}, {"layer", "II"}, {"bitrate", "64000.00"}, {"channel", "Mono"}}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        EXPECT_EQ(r->formatCode, c.code);
        EXPECT_STREQ(r->formatName, c.formatName);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(test::fixture(c.file))));
        ASSERT_EQ(r->videoCount, static_cast<int32_t>(c.video.size())) << test::full(*r);
        ASSERT_EQ(r->audioCount, static_cast<int32_t>(c.audio.size())) << test::full(*r);
        for (size_t i = 0; i < c.video.size(); ++i) expectFields(r->videoText[i], c.video[i], "video");
        for (size_t i = 0; i < c.audio.size(); ++i) expectFields(r->audioText[i], c.audio[i], "audio");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(QuickTimeTest, ShippedTemplatesNameTheCodecsAndBrand) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("3gp_h263_aac.3gp"));
    EXPECT_EQ(std::string(r->videoText[0]), "H.263 (3GPP) 176x144 10.00fps 147.14kbps");
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"3GPP Release 4 (3gp4)"});
    r = test::analyse(test::fixture("mov_mjpeg_pcm.mov"));
    EXPECT_EQ(std::string(r->audioText[0]), "PCM (little-endian) 128.00kbps 8000Hz 16bit 1ch");
}

TEST_F(QuickTimeTest, FileWithoutMovieBoxReportsIt) {
    auto r = test::analyse(test::fixture("unknown_content.QTX"));
    EXPECT_EQ(r->formatCode, VESKO_FMT_QUICKTIME);
    EXPECT_STREQ(r->formatName, "QuickTime");
    EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] moovが見つかりません"));
}

// Every fixture cut short at several places: no exception, no read outside
// what was read (the sanitizer build checks that).
TEST_F(QuickTimeTest, TruncatedFilesEndCleanly) {
    for (const char* name : {"mp4_h264_aac.mp4", "mov_moov_first.mov", "mp4_frag_h264_aac.mp4", "ismv_h264_aac.ismv", "mov_mpeg1_ps_track.mov",
                             "mp4_vorbis.mp4", "mov_lpcm_96k_24bit.mov", "mp4_mpeg4_sar4x3_aac.mp4"}) {
        const std::string data = readFile(test::fixture(name));
        for (size_t cut : {size_t{7}, size_t{40}, data.size() / 3, data.size() / 2, data.size() - 700, data.size() - 100, data.size() - 1}) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            auto r = run(data.substr(0, cut));
            EXPECT_EQ(std::string(r->errorText).find("Exception"), std::string::npos) << r->errorText;
        }
    }
}

// ---- box sizes ----

TEST_F(QuickTimeTest, TopLevelBoxSizesEndOrSteerTheWalk) {
    const std::string moov = simpleMovie(1000, 1000);
    const struct {
        const char* what;
        std::string before;  // bytes between ftyp and moov
        bool moovFound;
    } cases[] = {
        {"free box of size 4 ends the walk", be32(4) + "free" + zeros(8), false},
        {"unknown type is stepped over byte by byte", be32(4) + "abcd" + zeros(8), true},
        {"64-bit mdat size", be32(1) + "mdat" + be64(40) + zeros(24), true},
        {"64-bit size below its header ends the walk", be32(1) + "mdat" + be64(8) + zeros(24), false},
        {"64-bit size past the end of the file ends the walk", be32(1) + "mdat" + be64(1ull << 40) + zeros(24), false},
        {"empty mdat (size 8)", be32(8) + "mdat", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = run(ftyp("isom") + c.before + moov);
        if (c.moovFound) {
            EXPECT_STREQ(r->errorText, "");
            EXPECT_EQ(r->videoCount, 1);
        } else {
            EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] moovが見つかりません"));
        }
    }
}

TEST_F(QuickTimeTest, SizeZeroRunsToTheEndOfTheParent) {
    const std::string original = readFile(test::fixture("mp4_h264_aac.mp4"));
    auto reference = run(original);
    ASSERT_EQ(reference->audioCount, 1);
    for (const char* type : {"esds", "avcC", "udta", "moov"}) {
        SCOPED_TRACE(type);
        std::string data = original;
        const size_t at = findBox(data, type);
        ASSERT_NE(at, std::string::npos);
        putBe32(data, at, 0);
        auto r = run(data);
        EXPECT_STREQ(r->errorText, "");
        ASSERT_EQ(r->videoCount, 1);
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_STREQ(r->videoText[0], reference->videoText[0]);
        EXPECT_STREQ(r->audioText[0], reference->audioText[0]);
    }
}

TEST_F(QuickTimeTest, TableCountsStayInsideTheirBoxes) {
    const std::string original = readFile(test::fixture("mp4_h264_aac.mp4"));
    auto reference = run(original);
    const struct {
        const char* type;
        size_t field;  // offset of the count in the box
    } cases[] = {{"stts", 12}, {"stsz", 16}, {"avcC", 14}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::string data = original;
        const size_t at = findBox(data, c.type);
        ASSERT_NE(at, std::string::npos);
        if (std::string(c.type) == "avcC")
            data.replace(at + c.field, 2, be16(0xFFFF));
        else
            putBe32(data, at + c.field, 0xFFFFFFFF);
        auto r = run(data);
        EXPECT_STREQ(r->videoText[0], reference->videoText[0]);
        EXPECT_STREQ(r->audioText[0], reference->audioText[0]);
    }
}

TEST_F(QuickTimeTest, MpegTrackRegionEndsAtTheEndOfMdat) {
    // Padding before mdat puts the box's offset beyond its size: the region
    // is still the box's payload.
    const std::string original = readFile(test::fixture("mov_mpeg1_ps_track.mov"));
    const size_t mdat = findBox(original, "mdat");
    const std::string padded = original.substr(0, mdat) + box("free", zeros(20000)) + original.substr(mdat);
    auto r = run(padded, VESKO_FMT_QUICKTIME);
    EXPECT_STREQ(r->errorText, "");
    ASSERT_EQ(r->videoCount, 1);
    EXPECT_EQ(test::fields(r->videoText[0])["width"], "96");
    EXPECT_EQ(r->audioCount, 1);
}

TEST_F(QuickTimeTest, LargeUnknownRegionIsCrossedInBlocks) {
    // 16 MiB of an unknown box before the movie: crossed one byte at a
    // time, but read 64 KiB at a time.
    auto r = test::makeRecord(dir.write("large.mp4", ftyp("isom") + box("junk", zeros(16u << 20)) + simpleMovie(1000, 1000)));
    r->formatCode = VESKO_FMT_MP4;
    const auto start = std::chrono::steady_clock::now();
    GetFileInfo(r.get());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_STREQ(r->errorText, "");
    EXPECT_EQ(r->videoCount, 1);
    EXPECT_LT(seconds, 5.0);
}

TEST_F(QuickTimeTest, NestingAndUnknownContainers) {
    const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(1, 1000) + stsz({100}) + stco(0));
    // A track inside an unknown box is met by stepping through it.
    auto r = run(box("moov", mvhd(1000, 1000) + box("zzzz", video)));
    EXPECT_EQ(r->videoCount, 1);
    // 100,000 nested udta boxes: the walk ends; a track below 16 levels is
    // passed over with its container.
    auto nest = [&](int depth) {
        std::string headers;
        for (int i = 0; i < depth; ++i) headers += be32(static_cast<uint32_t>(8 * (depth - i) + video.size())) + "udta";
        return box("moov", mvhd(1000, 1000) + headers + video);
    };
    r = run(nest(100000));
    EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] trakが1つもありません"));
    r = run(nest(10));
    EXPECT_EQ(r->videoCount, 1);
}

// ---- movie header and timing ----

TEST_F(QuickTimeTest, MovieHeaderTiming) {
    const struct {
        const char* what;
        std::string header;
        double duration;
        const char* videoBitRate;  // 10 samples of 100 bytes
        const char* frameRate;
    } cases[] = {
        {"version 0", mvhd(1000, 2000), 2.0, "4000.00", "5.00"},
        {"time scale 0 stands for 1,000,000", mvhd(0, 4000000), 4.0, "2000.00", "2.50"},
        {"duration 0 gives rates of 0", mvhd(1000, 0), 0.0, "0.00", "0.00"},
        // 5,000,000,000 / 1000: a 64-bit duration in the version 1 layout.
        {"version 1", mvhdVersion1(1000, 5000000000ull), 5000000.0, "0.00", "0.00"},
        {"version 1, short", mvhdVersion1(600, 1200), 2.0, "4000.00", "5.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(10, 100) + stsz(std::vector<uint32_t>(10, 100)) + stco(0));
        auto r = run(box("moov", c.header + video));
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        ASSERT_EQ(r->videoCount, 1);
        EXPECT_EQ(test::fields(r->videoText[0])["bitrate"], c.videoBitRate);
        EXPECT_EQ(test::fields(r->videoText[0])["framerate"], c.frameRate);
    }
}

TEST_F(QuickTimeTest, VersionOneHeaderOfARealFile) {
    // The real movie header rewritten in the version 1 layout (64-bit times
    // and duration), its moov grown by the 12 bytes.
    std::string data = readFile(test::fixture("mp4_h264_aac.mp4"));
    const size_t moov = findBox(data, "moov");
    const size_t at = findBox(data, "mvhd");
    const std::string old = data.substr(at, 108);
    const std::string v1 = be32(120) + "mvhd" + std::string(1, '\1') + zeros(3) + be64(0) + be64(0) + old.substr(20, 4) + be64(1000) +
                           old.substr(28);
    data.replace(at, 108, v1);
    putBe32(data, moov, static_cast<uint32_t>(data.size() - moov));
    auto r = run(data);
    EXPECT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 1.0);
    EXPECT_EQ(test::fields(r->videoText[0])["bitrate"], "35072.00");
}

// A fragmented movie built from boxes: empty moov, trex defaults, fragments.
std::string fragmentedMovie(const std::string& fragments, uint32_t defaultDuration = 0) {
    const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(0, 0) + stsz({}) + stco(0), 1000);
    const std::string sound = track(2, "soun", stsd(soundEntry("sowt", 1, 16, 8000)) + stts(0, 0) + stsz({}) + stco(0), 8000);
    const std::string trex1 = fullBox("trex", 0, 0, be32(1) + be32(1) + be32(defaultDuration) + be32(50) + be32(0));
    const std::string trex2 = fullBox("trex", 0, 0, be32(2) + be32(1) + be32(0) + be32(0) + be32(0));
    return ftyp("isom") + box("moov", mvhd(1000, 0) + video + sound + box("mvex", trex1 + trex2)) + fragments;
}
std::string moof(const std::string& trafs) { return box("moof", fullBox("mfhd", 0, 0, be32(1)) + trafs); }
std::string traf(const std::string& tfhdBox, const std::string& trunBox) { return box("traf", tfhdBox + trunBox); }

TEST_F(QuickTimeTest, FragmentsCountSamplesAndTimeTheFirstTrack) {
    const struct {
        const char* what;
        std::string fragments;
        double duration;
        const char* videoFrames;
        const char* videoBitRate;
        const char* soundBitRate;
        const char* fragmentLine;
    } cases[] = {
        {"per-sample durations and sizes (tfhd flags 0x000001)",
         moof(traf(fullBox("tfhd", 0, 0x000001, be32(1) + be64(0)),
                   fullBox("trun", 0, 0x000301, be32(2) + be32(0) + be32(500) + be32(1000) + be32(700) + be32(3000)))),
         1.2, "2", "26666.67", "0.00", "MovieFragment(1)"},
        {"tfhd default duration and size, samples of two tracks",
         moof(traf(fullBox("tfhd", 0, 0x000018, be32(1) + be32(100) + be32(250)), fullBox("trun", 0, 0, be32(4))) +
              traf(fullBox("tfhd", 0, 0x000000, be32(2)), fullBox("trun", 0, 0x000301, be32(1) + be32(0) + be32(8000) + be32(2000)))) +
             moof(traf(fullBox("tfhd", 0, 0x000018, be32(1) + be32(100) + be32(250)), fullBox("trun", 0, 0, be32(6)))),
         1.0, "10", "20000.00", "16000.00", "MovieFragment(2)"},
        {"trex defaults",
         moof(traf(fullBox("tfhd", 0, 0x020000, be32(1)), fullBox("trun", 0, 0x000001, be32(5) + be32(0)))),
         0.5, "5", "4000.00", "0.00", "MovieFragment(1)"},
        // 2 x 0xF0000000 ticks of 1/1000 s: beyond 32 bits.
        {"durations beyond 32 bits",
         moof(traf(fullBox("tfhd", 0, 0x000008, be32(1) + be32(0xF0000000)), fullBox("trun", 0, 0, be32(2)))),
         8053063.68, "2", "0.00", "0.00", "MovieFragment(1)"},
        // A sample count far beyond the box: only the entries present.
        {"trun count beyond its box",
         moof(traf(fullBox("tfhd", 0, 0x000001, be32(1) + be64(0)), fullBox("trun", 0, 0x000100, be32(0xFFFFFFFF) + be32(300) + be32(200)))),
         0.5, "2", "1600.00", "0.00", "MovieFragment(1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = run(fragmentedMovie(c.fragments, 100));
        EXPECT_STREQ(r->errorText, "");
        EXPECT_NEAR(r->duration, c.duration, 1e-6);
        ASSERT_EQ(r->videoCount, 1);
        ASSERT_EQ(r->audioCount, 1);
        const Fields video = test::fields(r->videoText[0]);
        EXPECT_EQ(video.at("frame"), c.videoFrames);
        EXPECT_EQ(video.at("bitrate"), c.videoBitRate);
        EXPECT_EQ(test::fields(r->audioText[0]).at("bitrate"), c.soundBitRate);
        ASSERT_GE(r->extraCount, 2);
        EXPECT_EQ(std::string(r->extraText[1]), c.fragmentLine);
    }
}

// ---- failures and extra lines ----

TEST_F(QuickTimeTest, MovieLevelMessages) {
    const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(1, 1000) + stsz({100}) + stco(0));
    auto r = run(box("moov", mvhd(1000, 1000) + box("cmov", box("dcom", "zlib")) + video), VESKO_FMT_QUICKTIME);
    EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] ヘッダ圧縮がかかっているので解析できません"));
    EXPECT_EQ(r->videoCount, 0);
    EXPECT_EQ(r->extraCount, 0);
    r = run(box("moov", mvhd(1000, 1000)), VESKO_FMT_QUICKTIME);
    EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] trakが1つもありません"));
    r = run(ftyp("isom") + box("mdat", zeros(100)));
    EXPECT_EQ(std::string(r->errorText), cp("[QuickTime] moovが見つかりません"));
    EXPECT_STREQ(r->formatName, "MPEG4");
    EXPECT_EQ(r->fileSize, 132);
}

TEST_F(QuickTimeTest, SubtitleTracksAndBoxes) {
    // The real mov_text track given the handler of DVD subtitles.
    std::string data = readFile(test::fixture("mp4_text_chapters.mp4"));
    const size_t at = data.find("sbtl");
    ASSERT_NE(at, std::string::npos);
    data.replace(at, 4, "subp");
    auto r = run(data);
    EXPECT_EQ(lines(r->extraText, r->extraCount),
              (std::vector<std::string>{"test-brand-isom", "MetaData / Chapter(2)", "SubTitle/subp(1)"}));
    // "subs" boxes (sub-sample information) are counted wherever they are.
    const std::string video = track(1, "vide", stsd(videoEntry("jpeg", 64, 48)) + stts(1, 1000) + stsz({100}) + stco(0) +
                                                  fullBox("subs", 0, 0, be32(0)));
    r = run(box("moov", mvhd(1000, 1000) + video + video));
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"SubTitle/subs(2)"});
    EXPECT_EQ(r->videoCount, 2);
}

TEST_F(QuickTimeTest, BrandLookupFailureIsTheLine) {
    auto r = run(ftyp("zzzz") + simpleMovie(1000, 1000));
    EXPECT_EQ(std::string(r->extraText[0]), cp("不明zzzz"));
}

TEST_F(QuickTimeTest, AacWithoutBitRatesTakesTheTracks) {
    // 400 bytes in 0.5 s: 6,400 bit/s.
    auto r = run(simpleMovie(1000, 500, esds(0x40, 0, 0, "\x12\x10")));
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(test::fields(r->audioText[0]).at("bitrate"), "6400.00");
}

// ---- sample descriptions ----

QuickTimeTrack decodeSound(const std::string& entry, double trackBitRate = 0) {
    QuickTimeTrack t{};
    t.bitRate = trackBitRate;
    const std::string box = stsd(entry);
    decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(box.data()), box.size()), true, t, nullptr);
    return t;
}

QuickTimeTrack decodeVideo(const std::string& entry) {
    QuickTimeTrack t{};
    const std::string box = stsd(entry);
    decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(box.data()), box.size()), false, t, nullptr);
    return t;
}

TEST_F(QuickTimeTest, EsDescriptorsOfSoundTracks) {
    const struct {
        const char* what;
        std::string entry;
        const char* codec;   // the generic codec text, or
        Fields line;         // the finished line's fields
    } cases[] = {
        {"AAC average bit rate", soundEntry("mp4a", 2, 16, 44100, esds(0x40, 160000, 128000, "\x12\x10")), "",
         {{"tpl", "AAC/AUDIO1"}, {"bitrate", "128000.00"}, {"profile", "LC"}, {"channel", "2.0"}}},
        {"AAC maximum when the average is 0", soundEntry("mp4a", 2, 16, 44100, esds(0x40, 128000, 0, "\x12\x10")), "",
         {{"bitrate", "128000.00"}}},
        {"AAC: the track's bit rate when both are 0", soundEntry("mp4a", 2, 16, 44100, esds(0x40, 0, 0, "\x12\x10")), "",
         {{"bitrate", "96000.00"}}},
        {"SBR signalled with a mono core: parametric stereo assumed",
         soundEntry("mp4a", 2, 16, 44100, esds(0x40, 0, 48000, std::string("\x13\x88\x56\xE5\xA0", 5))), "",
         {{"profile", "HE(SBR)+(!PS)"}, {"channel", "2.0"}, {"samplerate", "44100"}}},
        {"no SBR, rate twice the sample entry's",
         soundEntry("mp4a", 1, 16, 11025, esds(0x40, 0, 48000, std::string("\x13\x88\x56\xE5\x00", 5))), "",
         {{"profile", "HE(LC)+(!SBR)"}, {"channel", "1.0"}}},
        {"optional ES fields skipped", soundEntry("mp4a", 2, 16, 44100, esds(0x40, 0, 64000, "\x12\x10", 0xA0, be16(0x0405) + be16(7))), "",
         {{"bitrate", "64000.00"}, {"samplerate", "44100"}}},
        {"unknown configuration", soundEntry("mp4a", 2, 16, 44100, esds(0xA5, 0, 0, "")), "UnknownESConfigDescriptor(A5)", {}},
        {"unknown configuration with specific information", soundEntry("mp4a", 2, 16, 44100, esds(0xA5, 0, 0, "\x01")),
         "UnknownESSpecificDescriptor(A5)", {}},
        {"PureVoice", soundEntry("mp4a", 1, 16, 8000, esds(0xE1, 0, 0, "\x01")), "QUALCOMM PureVoice", {}},
        {"Vorbis identification header without lacing",
         soundEntry("mp4a", 1, 16, 44100,
                    esds(0xDD, 0, 0, std::string("\x01vorbis\0\0\0\0\x01\x44\xAC\0\0\0\0\0\0\x80\xBB\0\0\0\0\0\0\xB8\x01", 30))),
         "", {{"tpl", "OGG/VORBIS"}, {"samplerate", "44100"}, {"channel", "1"}, {"bitrate", "48000.00"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QuickTimeTrack t = decodeSound(c.entry, 96000);
        if (c.line.empty()) {
            EXPECT_STREQ(t.audioLine, "");
            EXPECT_STREQ(t.codec, c.codec);
        } else {
            expectFields(t.audioLine, c.line, c.what);
        }
    }
}

TEST_F(QuickTimeTest, SoundSampleEntryFields) {
    QuickTimeTrack t = decodeSound(soundEntry("twos", 2, 16, 44100));
    EXPECT_EQ(t.channels, 2);
    EXPECT_EQ(t.bitDepth, 16);
    EXPECT_DOUBLE_EQ(t.sampleRate, 44100.0);
    EXPECT_STREQ(t.codec, "test-qta-TWOS");
    // NUL bytes of the code become spaces.
    t = decodeSound(soundEntry(std::string("raw\0", 4), 1, 8, 22050));
    EXPECT_STREQ(t.codec, "test-qta-RAW-space");
    // A Microsoft format tag in the last two bytes: section WAV.
    t = decodeSound(soundEntry(std::string("ms\0\x55", 4), 2, 16, 44100));
    EXPECT_STREQ(t.codec, "test-wav-0055");
}

TEST_F(QuickTimeTest, FirstSampleOfProbedCodesIsDecoded) {
    const struct {
        std::string code;
        const char* fixture;
        const char* codec;
        const char* tpl;
    } cases[] = {
        {std::string("ms\0\x55", 4), "mp3_cbr128.mp3", "test-wav-0055", "MP3/LAME"},
        {"ac-3", "ac3_stereo.ac3", "test-qta-AC-3", "AC3/AUDIO"},
        {std::string("ms\x20\x01", 4), "dts_stereo_44k.dts", "test-wav-2001", "DTS/AUDIO1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        FileReader reader;
        ASSERT_TRUE(reader.openPath(utf8ToUtf16(test::fixture(c.fixture).string())));
        QuickTimeTrack t{};
        t.firstSampleSize = 0xFFFFFFFF;  // read no more than the probe window
        const std::string box = stsd(soundEntry(c.code, 2, 16, 44100));
        decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(box.data()), box.size()), true, t, &reader);
        EXPECT_STREQ(t.codec, c.codec);
        EXPECT_EQ(test::fields(t.audioLine)["tpl"], c.tpl) << t.audioLine;
    }
}

TEST_F(QuickTimeTest, VideoObjectLayerAspect) {
    // The 5 bytes after 00 00 01 20: random_accessible_vol, type 1, then
    // with or without the layer identifier (verid 1, priority 1).
    const struct {
        const char* what;
        std::string vol;
        const char* aspect;
    } cases[] = {
        {"no identifier, 12:11 (code 2)", std::string("\x00\x88\x80\x00\x00", 5), nullptr},
        {"identifier set, code 3", std::string("\x00\xC4\x98\x00\x00", 5), nullptr},
        {"identifier set, extended 16:9", std::string("\x00\xC4\xF8\x80\x48", 5), "16:9"},
        {"no identifier, extended 4:3", std::string("\x00\xBC\x10\x0C\x00", 5), "4:3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string config = std::string("\x00\x00\x01\xB0\x03\x00\x00\x01\x20", 9) + c.vol;
        const QuickTimeTrack t = decodeVideo(videoEntry("mp4v", 320, 240, esds(0x20, 0, 0, config)));
        EXPECT_EQ(std::string(t.profile), formatMpeg4ProfileLevel(3));
        if (c.aspect) {
            EXPECT_STREQ(t.aspect, c.aspect);
        }
    }
    // Codes 2 and 3 as the shared aspect labels give them (reading code 3
    // 7 bits too early would give the layer's verid, 1).
    const std::string config2 = std::string("\x00\x00\x01\x20\x00\x88\x80\x00\x00", 9);
    const std::string config3 = std::string("\x00\x00\x01\x20\x00\xC4\x98\x00\x00", 9);
    EXPECT_EQ(std::string(decodeVideo(videoEntry("mp4v", 1, 1, esds(0x20, 0, 0, config2))).aspect), formatMpeg4Aspect(2));
    EXPECT_EQ(std::string(decodeVideo(videoEntry("mp4v", 1, 1, esds(0x20, 0, 0, config3))).aspect), formatMpeg4Aspect(3));
}

TEST_F(QuickTimeTest, VideoSampleEntryFieldsAndAvcConfiguration) {
    QuickTimeTrack t = decodeVideo(videoEntry("jpeg", 320, 240));
    EXPECT_EQ(t.width, 320);
    EXPECT_EQ(t.height, 240);
    EXPECT_EQ(t.bitDepth, 24);
    EXPECT_STREQ(t.codec, "test-qtv-JPEG");
    EXPECT_STREQ(t.profile, "");
    // The avcC of the real file replaces codec, size, profile and aspect.
    const std::string data = readFile(test::fixture("mp4_frag_h264_aac.mp4"));
    const size_t at = findBox(data, "avcC");
    const uint32_t size = static_cast<uint32_t>(readU32BE(Bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size()), at));
    t = decodeVideo(videoEntry("avc1", 1, 1, data.substr(at, size)));
    EXPECT_STREQ(t.codec, "AVC/H.264");
    EXPECT_EQ(t.width, 160);
    EXPECT_EQ(t.height, 120);
    EXPECT_STREQ(t.profile, "High@1");
    const Fields line = test::fields(describeQuickTimeVideo(t));
    EXPECT_EQ(line.at("tpl"), "AVC/VIDEO");
    EXPECT_EQ(line.at("interlace"), "Progressive");
}

TEST_F(QuickTimeTest, DecoderReadsNothingBeforeTheCode) {
    // The Matroska analyser passes a view whose first 20 bytes are not its
    // own: they must not change the result.
    const std::string entry = soundEntry("mp4a", 2, 16, 44100, esds(0x40, 0, 64000, "\x12\x10"));
    std::string view = stsd(entry);
    std::string garbage = view;
    garbage.replace(0, 20, std::string(20, '\xFF'));
    QuickTimeTrack a{}, b{};
    decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(view.data()), view.size()), true, a, nullptr);
    decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size()), true, b, nullptr);
    EXPECT_STREQ(a.audioLine, b.audioLine);
    EXPECT_NE(std::string(a.audioLine), "");
    // Short and empty views: nothing read outside them.
    for (size_t n : {size_t{0}, size_t{19}, size_t{24}, size_t{47}, size_t{60}}) {
        QuickTimeTrack t{};
        decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(view.data()), n), true, t, nullptr);
        decodeSampleDescription(Bytes(reinterpret_cast<const uint8_t*>(view.data()), n), false, t, nullptr);
    }
}

TEST_F(QuickTimeTest, AudioLineTemplate) {
    AudioStreamInfo info{};
    std::strcpy(info.codec, "PCM");
    info.sampleRate = 48000;
    info.bitDepth = 24;
    info.channels = 6;
    info.bitRate = 6912000;
    EXPECT_EQ(describeQuickTimeAudio(info),
              "tpl=QUICKTIME/AUDIO|codec=PCM|sampleratek=48.00|samplerate=48000|bitdepth=24|channel=6|bitratek=6912.00|bitrate=6912000.00");
}

}  // namespace
}  // namespace vesko
