// Tests of the Matroska analyser: the EBML reader and walks, the track
// descriptions by CodecID, and the fixtures made by ffmpeg and mkvmerge.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "containers/matroska.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- EBML builder ----

std::string sizeBytes(uint64_t n) {
    for (int length = 1; length <= 8; ++length) {
        if (n < (uint64_t{1} << (7 * length)) - 1) {
            std::string out(static_cast<size_t>(length), '\0');
            uint64_t v = n | (uint64_t{1} << (7 * length));
            for (int i = length - 1; i >= 0; --i, v >>= 8) out[static_cast<size_t>(i)] = static_cast<char>(v & 0xFF);
            return out;
        }
    }
    return {};
}

std::string idBytes(uint32_t id) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8)
        if ((id >> shift) != 0 || !out.empty()) out += static_cast<char>((id >> shift) & 0xFF);
    return out;
}

std::string el(uint32_t id, const std::string& payload) { return idBytes(id) + sizeBytes(payload.size()) + payload; }

std::string uintBytes(uint64_t v) {
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>(v & 0xFF));
        v >>= 8;
    } while (v);
    return out;
}

std::string u(uint32_t id, uint64_t v) { return el(id, uintBytes(v)); }

std::string f64(uint32_t id, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, 8);
    std::string out(8, '\0');
    for (int i = 7; i >= 0; --i, bits >>= 8) out[static_cast<size_t>(i)] = static_cast<char>(bits & 0xFF);
    return el(id, out);
}

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string be16(uint32_t v) { return std::string{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

const std::string kEbmlHeader = el(kEbmlHeaderId, el(0x4282, "matroska"));

std::string info(double duration, uint64_t scale = 1000000) {
    return el(kMkvInfo, (scale ? u(kMkvTimecodeScale, scale) : "") + f64(kMkvDuration, duration));
}

std::string audioSettings(double rate, uint32_t channels, uint32_t bits = 0) {
    return el(kMkvAudio, f64(kMkvSamplingFrequency, rate) + u(kMkvChannels, channels) + (bits ? u(kMkvBitDepth, bits) : ""));
}

std::string videoSettings(uint32_t width, uint32_t height) { return el(kMkvVideo, u(kMkvPixelWidth, width) + u(kMkvPixelHeight, height)); }

std::string track(uint64_t number, uint64_t type, const std::string& codecId, const std::string& rest = "") {
    return el(kMkvTrackEntry, u(kMkvTrackNumber, number) + u(kMkvTrackType, type) + el(kMkvCodecId, codecId) + rest);
}

std::string codecPrivate(const std::string& bytes) { return el(kMkvCodecPrivate, bytes); }

std::string simpleBlock(uint8_t trackNumber, const std::string& frame, uint8_t flags = 0x80) {
    return el(kMkvSimpleBlock, std::string(1, static_cast<char>(0x80 | trackNumber)) + std::string(2, '\0') + static_cast<char>(flags) + frame);
}

std::string cluster(const std::string& blocks) { return el(kMkvCluster, u(0xE7, 0) + blocks); }

std::string file(const std::string& tracks, const std::string& clusters = "", const std::string& head = info(1000.0)) {
    return kEbmlHeader + el(kMkvSegment, head + el(kMkvTracks, tracks) + clusters);
}

std::string readFixture(const std::string& name) {
    std::ifstream in(test::fixture(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A WAVEFORMATEX of 18 bytes.
std::string waveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t bits) {
    return le16(tag) + le16(channels) + le32(rate) + le32(bytesPerSecond) + le16(4) + le16(bits) + le16(0);
}

// A Vorbis identification header (30 bytes).
std::string vorbisId(uint32_t rate, uint8_t channels, uint32_t nominal) {
    return "\x01vorbis" + le32(0) + static_cast<char>(channels) + le32(rate) + le32(0) + le32(nominal) + le32(0) + "\xB8\x01";
}

// Xiph lacing of a CodecPrivate: the count byte, the laced sizes of all
// packets but the last, the packets.
std::string xiphLaced(const std::vector<std::string>& packets) {
    std::string out(1, static_cast<char>(packets.size() - 1));
    for (size_t i = 0; i + 1 < packets.size(); ++i)
        out += std::string(packets[i].size() / 255, '\xFF') + static_cast<char>(packets[i].size() % 255);
    for (const auto& p : packets) out += p;
    return out;
}

std::vector<std::string> lines(const char (*slots)[512], int32_t count) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; ++i) out.emplace_back(slots[i]);
    return out;
}

class MatroskaTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }

    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes, const std::string& name = "a.mkv") {
        auto record = test::makeRecord(dir.write(name, bytes));
        record->formatCode = VESKO_FMT_MATROSKA;
        GetFileInfo(record.get());
        return record;
    }

    // The analysis of a file with one track and the given first block.
    std::unique_ptr<AnalysisRecord> oneTrack(const std::string& entry, const std::string& frame = "") {
        return analyse(file(entry, frame.empty() ? "" : cluster(simpleBlock(1, frame))));
    }

    test::TempDir dir;
};

// ======================================================================
// EBML numbers and block headers
// ======================================================================

struct ReaderFixture {
    explicit ReaderFixture(const std::string& bytes) : path(dir.write("n.bin", bytes)), record(test::makeRecord(path)) {
        EXPECT_TRUE(fileReader.open(*record));
    }
    test::TempDir dir;
    std::filesystem::path path;
    std::unique_ptr<AnalysisRecord> record;
    FileReader fileReader;
    EbmlReader reader{fileReader};
};

TEST(MatroskaEbml, IdsKeepTheirMarkerAndSizesDropIt) {
    ReaderFixture f(test::bytes({0x18, 0x53, 0x80, 0x67, 0x1A, 0x45, 0xDF, 0xA3, 0xAE, 0x81, 0x40, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                 0xFF, 0xFF, 0x08, 0x12, 0x34, 0x56, 0x78, 0x40}));
    EXPECT_EQ(readEbmlId(f.reader), kMkvSegment);
    EXPECT_EQ(readEbmlId(f.reader), kEbmlHeaderId);
    EXPECT_EQ(readEbmlId(f.reader), kMkvTrackEntry);
    EXPECT_EQ(readEbmlSize(f.reader), 1u);
    EXPECT_EQ(readEbmlSize(f.reader), 2u);
    // The unknown size is a large size like any other.
    EXPECT_EQ(readEbmlSize(f.reader), (uint64_t{1} << 56) - 1);
    // An ID of five bytes matches no element.
    EXPECT_EQ(readEbmlId(f.reader), kEbmlLongId);
    EXPECT_EQ(f.reader.tell(), 25u);
    // The file ends inside the next number.
    EXPECT_EQ(readEbmlSize(f.reader), kEbmlNoSize);
}

TEST(MatroskaEbml, FirstByteZeroAndEndOfFileGiveNoNumber) {
    ReaderFixture f(test::bytes({0x00, 0x00, 0x40}));
    EXPECT_EQ(readEbmlId(f.reader), kEbmlNoId);
    EXPECT_EQ(readEbmlSize(f.reader), kEbmlNoSize);
    EXPECT_EQ(readEbmlSize(f.reader), kEbmlNoSize);  // 0x40 needs a second byte
    EXPECT_EQ(readEbmlId(f.reader), kEbmlNoId);
}

TEST(MatroskaEbml, NumbersLongerThanEightBytesReadEightAndSkipTheRest) {
    ReaderFixture f(test::bytes({0, 0, 0, 0, 0, 0x0F, 0x42, 0x40, 0xFF, 0xFF, 0x3F, 0xF0, 0, 0, 0x2A}));
    EXPECT_EQ(readEbmlUInt(f.reader, 10), 1000000u);
    EXPECT_EQ(f.reader.tell(), 10u);
    EXPECT_EQ(readEbmlFloat(f.reader, 4), 1.875);
    EXPECT_EQ(readEbmlUInt(f.reader, 1000), 0x2Au);  // past the end: what is there
    EXPECT_TRUE(f.reader.atEnd());
}

TEST(MatroskaEbml, BlockHeaderLengths) {
    struct Case {
        const char* name;
        std::string block;
        int length;
        uint32_t frames;
    } cases[] = {
        {"no lacing", test::bytes({0x81, 0, 0, 0x80, 0xAA, 0xBB}), 4, 1},
        {"two-byte track number", test::bytes({0x40, 0x01, 0, 0, 0x80, 0xAA}), 5, 1},
        // Xiph: 3 frames, sizes 300 (255 + 45) and 10.
        {"xiph", test::bytes({0x81, 0, 0, 0x82, 2, 255, 45, 10}) + std::string(320, 'x'), 8, 3},
        {"fixed", test::bytes({0x81, 0, 0, 0x84, 3}) + std::string(40, 'x'), 5, 4},
        // EBML: 3 frames (count byte 2), a two-byte first size and a one-byte
        // difference: 4 + 1 + 2 + 1.
        {"ebml", test::bytes({0x81, 0, 0, 0x86, 2, 0x41, 0x00, 0xBF}) + std::string(300, 'x'), 8, 3},
        // The Xiph run goes on to the end of the file: no header, no hang.
        {"xiph cut", test::bytes({0x81, 0, 0, 0x82, 1, 255, 255, 255}), -1, 2},
        // A header that claims more than the block holds.
        {"ebml cut", test::bytes({0x81, 0, 0, 0x86, 5, 0x81}), -1, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReaderFixture f(c.block);
        EXPECT_EQ(skipBlockHeader(f.reader, c.block.size()), c.length);
        f.reader.seek(0);
        EXPECT_EQ(readBlockHeader(f.reader, c.block.size()).frames, c.frames);
    }
    // The header may not run past the block, even when the file goes on.
    ReaderFixture f(test::bytes({0x81, 0, 0, 0x82, 3, 255, 255, 255, 255, 1, 1}));
    EXPECT_EQ(skipBlockHeader(f.reader, 7), -1);
}

TEST(MatroskaEbml, FirstXiphPacket) {
    const std::string id = vorbisId(44100, 2, 128000);
    struct Case {
        const char* name;
        std::string bytes;
        std::string packet;
    } cases[] = {
        {"short comment", xiphLaced({id, "comment", "setup"}), id},
        {"comment of 300 bytes", xiphLaced({id, std::string(300, 'c'), "setup"}), id},
        {"first packet of 255 bytes", xiphLaced({std::string(255, 'a'), "b", "c"}), std::string(255, 'a')},
        {"one packet", xiphLaced({id}), id},
        {"sizes run past the end", test::bytes({2, 255, 255}), ""},
        {"first packet cut", test::bytes({2, 30, 1, 'x'}), "x"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes b(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
        const Bytes p = firstXiphPacket(b);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data()), p.size()), c.packet);
    }
}

TEST(MatroskaEbml, SummaryLine) {
    MatroskaSubtitleCounts counts;
    EXPECT_EQ(formatMatroskaSummary(0, counts), "");
    counts.utf8 = 2;
    counts.ass = 1;
    EXPECT_EQ(formatMatroskaSummary(4, counts), "Chapter(4) / SubTitle/UTF8(2) / SubTitle/ASS(1)");
    counts = {1, 2, 3, 4, 5, 6, 7, true};
    EXPECT_EQ(formatMatroskaSummary(0, counts),
              "SubTitle/UTF8(1) / SubTitle/SSA(2) / SubTitle/ASS(3) / SubTitle/USF(4) / SubTitle/ASCII(5) / SubTitle/BMP(6) / "
              "SubTitle/VobSub(7)");
}

// ======================================================================
// Fixtures
// ======================================================================

struct Line {
    std::string tpl;
    std::map<std::string, std::string> fields;
};

struct FixtureCase {
    const char* file;
    std::vector<Line> video;
    std::vector<Line> audio;
    std::vector<std::string> extra;
    double duration;  // ffprobe's format duration; -1 where the file has no Duration
};

void checkFixture(const FixtureCase& c) {
    SCOPED_TRACE(c.file);
    const auto path = test::fixture(c.file);
    auto r = test::analyse(path);
    ASSERT_EQ(r->formatCode, VESKO_FMT_MATROSKA);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_STREQ(r->formatName, "Matroska");
    EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
    if (c.duration < 0)
        EXPECT_EQ(r->duration, -1.0);
    else
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
    auto check = [](const std::vector<Line>& expected, const char (*slots)[512], int32_t count) {
        ASSERT_EQ(count, static_cast<int32_t>(expected.size()));
        for (size_t i = 0; i < expected.size(); ++i) {
            auto f = test::fields(slots[i]);
            EXPECT_EQ(f["tpl"], expected[i].tpl) << slots[i];
            for (const auto& [name, value] : expected[i].fields) EXPECT_EQ(f[name], value) << name << " in " << slots[i];
        }
    };
    check(c.video, r->videoText, r->videoCount);
    check(c.audio, r->audioText, r->audioCount);
    EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
}

const Line kMp3Cbr32 = {"MP3/CBR2", {{"version", "1"}, {"layer", "III"}, {"samplerate", "44100"}, {"bitratek", "32.00"}, {"channel", "Mono"}}};
const Line kMp3LameInfo = {"MP3/XING", {{"layer", "III"}, {"samplerate", "44100"}, {"vbrformat", "LAME-Info"}, {"frame", "21"}}};

TEST_F(MatroskaTest, FfmpegFixtures) {
    const FixtureCase cases[] = {
        // DefaultDuration 40 ms gives the frame rate; the AAC rate is measured
        // over the first blocks (ffmpeg was asked for 32 kbit/s).
        {"mkv_h264_aac_srt_chapters.mkv",
         {{"AVC/VIDEO", {{"width", "64"}, {"height", "48"}, {"profile", "High@1"}, {"framerate", "25.00"}, {"frame", "0"}}}},
         {{"AAC/AUDIO1", {{"samplerate", "44100"}, {"channel", "1.0"}, {"bitratek", "31.72"}}}},
         {"Chapter(2) / SubTitle/UTF8(1)"},
         1.023},
        // V_MPEG4/ISO/ASP has no branch; AC-3 is decoded from the first frame.
        {"mkv_mpeg4asp_ac3_51.mkv",
         {},
         {{"AC3/AUDIO", {{"codec", "Dolby AC-3"}, {"samplerate", "48000"}, {"channel", "5.1"}, {"channelorder", "L+C+R+SL+SR+LFE"}, {"bitratek", "192.00"}}}},
         {"Unknown CodecID V_MPEG4/ISO/ASP"},
         0.525},
        {"webm_vp8_vorbis.webm",
         {{"MATROSKA/VIDEO", {{"codec", "On2 VP8"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}, {"bitdepth", "0"}}}},
         {{"OGG/VORBIS", {{"samplerate", "44100"}, {"channel", "1"}, {"bitratemode", "QB"}}}},
         {},
         0.523},
        {"webm_vp9_opus.webm", {}, {}, {"Unknown CodecID V_VP9", "Unknown CodecID A_OPUS"}, 0.527},
        {"mka_flac.mka", {}, {{"MATROSKA/AUDIO", {{"codec", "FLAC"}, {"samplerate", "44100"}, {"sampleratek", "44.10"}, {"bitdepth", "16"}, {"channel", "1"}}}}, {}, 0.5},
        {"mka_dts.mka", {}, {{"DTS/AUDIO1", {{"samplerate", "48000"}, {"channel", "2.0"}, {"bitratek", "768.00"}}}}, {}, 0.107},
        {"mka_pcm_le_be_float.mka",
         {},
         {{"MATROSKA/AUDIO", {{"codec", "PCM(LE)"}, {"samplerate", "8000"}, {"bitdepth", "16"}}},
          {"MATROSKA/AUDIO", {{"codec", "PCM(BE)"}, {"bitdepth", "16"}}},
          {"MATROSKA/AUDIO", {{"codec", "PCM(Float)"}, {"bitdepth", "32"}}}},
         {},
         0.1},
        // The Cues stand before the Clusters: the block walk passes over them.
        {"mkv_mpeg2_mp3_cues_first.mkv",
         {{"MPEG1/2/MPEG2", {{"codec", "MPEG2"}, {"width", "64"}, {"height", "48"}, {"profile", "MP@ML"}, {"framerate", "25.00"}}}},
         {kMp3Cbr32},
         {},
         0.545},
        // Written to a pipe: unknown Segment size, no Duration (ffprobe
        // estimates 0.588 s from the timestamps).
        {"mka_mp3_pipe_unknown_size.mka", {}, {kMp3Cbr32}, {}, -1},
        {"mkv_msmpeg4v2_adpcm_vfw_acm.mkv",
         {{"RIFF/VIDEO", {{"codec", "test-avi-MP42"}, {"width", "64"}, {"height", "48"}, {"bitdepth", "24"}, {"framerate", "25.00"}, {"frame", "0"}}}},
         {{"RIFF/AUDIO", {{"codec", "test-wav-0002"}, {"samplerate", "44100"}, {"bitdepth", "4"}, {"channel", "1"}}}},
         {},
         0.52},
        {"mka_truehd_tta_mp2.mka",
         {},
         {{"MATROSKA/AUDIO", {{"codec", "Dolby TrueHD"}, {"samplerate", "48000"}, {"channel", "2"}}},
          {"MATROSKA/AUDIO", {{"codec", "TTA"}, {"samplerate", "44100"}}},
          {"MP3/CBR2", {{"layer", "II"}, {"bitratek", "64.00"}}}},
         {},
         0.111},
        // ffmpeg's blocks carry no stored RIFF header.
        {"mka_wavpack_ffmpeg.mka", {}, {{"MATROSKA/AUDIO", {{"codec", "Wavpack4"}, {"samplerate", "44100"}, {"bitdepth", "16"}}}}, {}, 0.25},
        // Fixtures of the identification tests.
        {"mkv_h264_vorbis.mkv", {{"AVC/VIDEO", {{"width", "160"}, {"height", "120"}, {"framerate", "10.00"}}}}, {{"OGG/VORBIS", {{"channel", "2"}}}}, {}, 1.003},
        {"webm_vp8_opus.webm", {{"MATROSKA/VIDEO", {{"width", "160"}, {"framerate", "10.00"}}}}, {}, {"Unknown CodecID A_OPUS"}, 1.008},
    };
    for (const auto& c : cases) checkFixture(c);
}

TEST_F(MatroskaTest, MkvmergeFixtures) {
    const FixtureCase cases[] = {
        // Three chapters, one of them hidden; the attachment adds nothing.
        {"mkv_mp4_mp3_chapters_attachment.mkv",
         {{"AVC/VIDEO", {{"width", "64"}, {"framerate", "25.00"}}}},
         {{"AAC/AUDIO1", {{"samplerate", "44100"}, {"bitratek", "32.10"}}}, kMp3LameInfo},
         {"Chapter(2)"},
         0.575},
        {"mkv_mpeg1_mp2_subs_chapters.mkv",
         {{"MPEG1/2/MPEG1", {{"codec", "MPEG1"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}}}},
         {{"MP3/CBR2", {{"layer", "II"}, {"bitratek", "64.00"}}}},
         {"Chapter(4) / SubTitle/UTF8(2) / SubTitle/ASS(1)"},
         0.531},
        // The XviD build string of the first frame names the codec.
        {"mkv_xvid_mp3_vfw.mkv",
         {{"RIFF/VIDEO", {{"codec", "test-xvid-XviD0069"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}}}},
         {kMp3Cbr32},
         {},
         0.56},
        // The Theora comment header is 363 bytes: its laced size takes two
        // bytes, so the identification header starts at the fifth byte.
        {"mkv_theora_vorbis_long_comment.mkv",
         {{"OGG/THEORA", {{"codec", "Theora 3.2.1"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}, {"aspect", "1:1"}, {"frame", "0"}}}},
         {{"OGG/VORBIS", {{"samplerate", "44100"}, {"channel", "1"}}}},
         {},
         0.52},
        // No correction file beside it: the block says hybrid, the version
        // stays "4".
        {"mka_wavpack_hybrid.mka",
         {},
         {{"WAVPACK/AUDIO", {{"version", "4"}, {"hybrid", "Lossy"}, {"codec", "test-wav-0001"}, {"samplerate", "44100"}, {"bitrate", "705600.00"}}}},
         {},
         0.25},
    };
    for (const auto& c : cases) checkFixture(c);
}

TEST_F(MatroskaTest, CraftedFixtures) {
    const FixtureCase cases[] = {
        // The stripped bytes FF FB go back in front of the first frame before
        // the sync search; two editions of three chapters, one hidden.
        {"mka_crafted_stripped_mp3_editions.mka", {}, {kMp3LameInfo}, {"Chapter(5)"}, 0.572},
        // Segment and Cluster of unknown size are descended into.
        {"mka_crafted_unknown_cluster_size.mka", {}, {kMp3Cbr32}, {}, -1},
    };
    for (const auto& c : cases) checkFixture(c);

    const auto path = test::fixture("mkv_crafted_tracks_after_cluster.mkv");
    auto r = test::analyse(path);
    EXPECT_EQ(r->formatCode, VESKO_FMT_MATROSKA);
    EXPECT_EQ(std::string(r->errorText), cp("[Matroska] TrackEntryが1つもありません"));
    EXPECT_STREQ(r->formatName, "Matroska");
    EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
}

// The decoders of the RealMedia and QuickTime analysers.
TEST_F(MatroskaTest, SharedDecoderFixtures) {
    const FixtureCase cases[] = {
        {"mkv_rv10_ra144.mkv",
         {{"REAL/VIDEO", {{"codec", "test-rv-RV10"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}, {"bitrate", "0.00"}}}},
         // The rate of the header's bytes per minute: 60,000 x 8 / 60.
         {{"REAL/AUDIO", {{"codec", "test-ra-LPCJ"}, {"samplerate", "8000"}, {"bitdepth", "16"}, {"channel", "1"}, {"bitratek", "8.00"}}}},
         {},
         0.48},
        // mkvmerge keeps the sample entry with its size in front.
        {"mka_ima4_quicktime.mka",
         {},
         {{"QUICKTIME/AUDIO", {{"codec", "test-qta-IMA4"}, {"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "1"}}}},
         {},
         0.5},
        // ffmpeg writes the size and the code, the rest zero: the track's
        // pixel size and frame rate stand in.
        {"mkv_svq1_quicktime.mkv",
         {{"QUICKTIME/VIDEO", {{"codec", "test-qtv-SVQ1"}, {"width", "64"}, {"height", "48"}, {"framerate", "25.00"}}}},
         {},
         {},
         0.52},
    };
    for (const auto& c : cases) checkFixture(c);
}

TEST_F(MatroskaTest, HybridWavPackLooksForTheCorrectionFileBesideIt) {
    const std::string bytes = readFixture("mka_wavpack_hybrid.mka");
    struct Case {
        const char* name;
        const char* correction;  // written beside it when not null
        const char* version;
    } cases[] = {
        {"movie.mka", "movie.wvc", "4(Hybrid)"},
        {"movie.mka", nullptr, "4"},
        {"movie.x.mka", "movie.x.wvc", "4(Hybrid)"},
        // Without an extension the correction file is "movie.wvc", never the
        // file itself.
        {"movie", nullptr, "4"},
        {"movie", "movie.wvc", "4(Hybrid)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.correction ? " + .wvc" : ""));
        test::TempDir d;
        if (c.correction) d.write(c.correction, "wvpk");
        auto record = test::makeRecord(d.write(c.name, bytes));
        record->formatCode = VESKO_FMT_MATROSKA;
        GetFileInfo(record.get());
        ASSERT_EQ(record->audioCount, 1);
        EXPECT_EQ(test::fields(record->audioText[0])["version"], c.version);
    }
}

// Every fixture cut at many lengths: the walks end, nothing throws.
TEST_F(MatroskaTest, CutFixturesEndCleanly) {
    for (const char* name : {"mkv_h264_aac_srt_chapters.mkv", "mkv_mpeg2_mp3_cues_first.mkv", "mkv_theora_vorbis_long_comment.mkv",
                             "mkv_rv10_ra144.mkv", "mka_ima4_quicktime.mka", "mka_crafted_stripped_mp3_editions.mka", "mka_wavpack_hybrid.mka"}) {
        const std::string bytes = readFixture(name);
        // Densely through the header elements, sparsely through the Clusters.
        for (size_t cut = 0; cut < bytes.size(); cut += cut < 700 ? 7 : 331) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            auto r = analyse(bytes.substr(0, cut));
            EXPECT_EQ(std::string(r->errorText).find("[Exception]"), std::string::npos) << r->errorText;
        }
    }
}

// ======================================================================
// Walks
// ======================================================================

TEST_F(MatroskaTest, PlayTime) {
    const std::string t = track(1, 2, "A_FLAC", audioSettings(44100, 2, 16));
    struct Case {
        const char* name;
        std::string head;
        double duration;
    } cases[] = {
        {"no TimecodeScale: 1,000,000", info(5000.0, 0), 5.0},
        {"TimecodeScale 1,000", info(5000.0, 1000), 0.005},
        {"no Duration: unknown", el(kMkvInfo, u(kMkvTimecodeScale, 1000000)), -1.0},
        {"a Duration that is no number", el(kMkvInfo, el(kMkvDuration, std::string(8, '\xFF'))), -1.0},
        // Nine bytes of TimecodeScale: the first eight are read, the Duration
        // after it is still found.
        {"long TimecodeScale", el(kMkvInfo, el(kMkvTimecodeScale, uintBytes(1000000).insert(0, 5, '\0') + "\x77") + f64(kMkvDuration, 2000.0)),
         2.0},
        {"four-byte Duration", el(kMkvInfo, el(kMkvDuration, test::bytes({0x45, 0x9C, 0x40, 0x00}))), 5.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyse(file(t, "", c.head));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        EXPECT_EQ(r->audioCount, 1);
    }
}

TEST_F(MatroskaTest, BadNumbersEndTheHeaderWalk) {
    const std::string t = track(1, 2, "A_FLAC", audioSettings(44100, 2));
    // A byte 00 where an ID should be ends the walk: what came before counts.
    auto r = analyse(kEbmlHeader + el(kMkvSegment, el(kMkvTracks, t) + std::string(1, '\0') + el(kMkvTracks, t)));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(r->audioCount, 1);
    r = analyse(kEbmlHeader + el(kMkvSegment, std::string(1, '\0') + el(kMkvTracks, t)));
    EXPECT_EQ(std::string(r->errorText), cp("[Matroska] TrackEntryが1つもありません"));
    // A size byte 00.
    r = analyse(kEbmlHeader + el(kMkvSegment, idBytes(kMkvInfo) + std::string(1, '\0') + el(kMkvTracks, t)));
    EXPECT_EQ(std::string(r->errorText), cp("[Matroska] TrackEntryが1つもありません"));
    // An element that claims more than the file holds ends it too.
    r = analyse(kEbmlHeader + el(kMkvSegment, idBytes(0xEC) + test::bytes({0x01, 0, 0, 0, 0x40, 0, 0, 0}) + el(kMkvTracks, t)));
    EXPECT_EQ(std::string(r->errorText), cp("[Matroska] TrackEntryが1つもありません"));
    // Nothing at all.
    r = analyse("");
    EXPECT_EQ(std::string(r->errorText), cp("[Matroska] TrackEntryが1つもありません"));
    EXPECT_STREQ(r->formatName, "Matroska");
}

TEST_F(MatroskaTest, OpenFailure) {
    auto record = test::makeRecord(dir.path() / "missing.mkv");
    record->formatCode = VESKO_FMT_MATROSKA;
    GetFileInfo(record.get());
    EXPECT_EQ(std::string(record->errorText), cp("ファイルのオープンに失敗"));
}

TEST_F(MatroskaTest, TracksBeyondTheTables) {
    // 31 entries: the first 30 are described.
    std::string tracks;
    for (int i = 1; i <= 31; ++i) tracks += track(static_cast<uint64_t>(i), 0x11, "S_TEXT/UTF8");
    auto r = analyse(file(tracks));
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"SubTitle/UTF8(30)"});

    // Track numbers outside the table get no first block; a number that
    // only aliases 1 in 32 bits stays apart from track 1.
    const std::string ac3 = readFixture("ac3_stereo.ac3").substr(0, 2000);
    r = analyse(file(track(40, 2, "A_AC3", audioSettings(48000, 2)) + track((uint64_t{1} << 32) + 1, 2, "A_AC3", audioSettings(48000, 2)),
                     cluster(simpleBlock(1, ac3) + el(kMkvSimpleBlock, test::bytes({0x40, 40, 0, 0, 0x80}) + ac3))));
    ASSERT_EQ(r->audioCount, 2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(test::fields(r->audioText[i])["tpl"], "MATROSKA/AUDIO");

    // Subtitle tracks are not waited for; a block of track 200 is ignored.
    r = analyse(file(track(1, 2, "A_AC3", audioSettings(48000, 2)) + track(2, 0x11, "S_TEXT/UTF8"),
                     cluster(el(kMkvSimpleBlock, test::bytes({0x40, 200, 0, 0, 0x80}) + "x") + simpleBlock(1, ac3))));
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(test::fields(r->audioText[0])["tpl"], "AC3/AUDIO");
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"SubTitle/UTF8(1)"});
}

TEST_F(MatroskaTest, FirstBlocks) {
    const std::string ac3 = readFixture("ac3_stereo.ac3").substr(0, 2000);
    const std::string entry = track(1, 2, "A_AC3", audioSettings(48000, 2));
    struct Case {
        const char* name;
        std::string clusters;
        std::string tpl;
    } cases[] = {
        {"simple block", cluster(simpleBlock(1, ac3)), "AC3/AUDIO"},
        {"block in a block group", cluster(el(kMkvBlockGroup, el(kMkvBlock, test::bytes({0x81, 0, 0, 0}) + ac3))), "AC3/AUDIO"},
        {"second cluster", cluster(simpleBlock(2, "x")) + cluster(simpleBlock(1, ac3)), "AC3/AUDIO"},
        // Cues behind the Clusters end the walk.
        {"cues after the clusters", cluster(simpleBlock(2, "x")) + el(kMkvCues, "") + cluster(simpleBlock(1, ac3)), "MATROSKA/AUDIO"},
        // A block that is no more than its header has no first frame.
        {"header only", cluster(simpleBlock(1, "")), "MATROSKA/AUDIO"},
        // A block that claims more than the file holds: what is there is read.
        {"oversized block", cluster(idBytes(kMkvSimpleBlock) + test::bytes({0x08, 0x40, 0, 0, 0, 0x81, 0, 0, 0x80}) + ac3), "AC3/AUDIO"},
        // Xiph lacing running to the end of the file.
        {"xiph to the end", cluster(idBytes(kMkvSimpleBlock) + test::bytes({0x88, 0x81, 0, 0, 0x82, 1, 255, 255, 255})), "MATROSKA/AUDIO"},
        {"unknown-size cluster", idBytes(kMkvCluster) + test::bytes({0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + simpleBlock(1, ac3), "AC3/AUDIO"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = analyse(file(entry, c.clusters));
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], c.tpl);
        if (c.tpl == "MATROSKA/AUDIO") EXPECT_EQ(f["codec"], "Dolby AC-3");
    }
}

TEST_F(MatroskaTest, ContentCompression) {
    const std::string ac3 = readFixture("ac3_stereo.ac3").substr(0, 2000);
    auto compression = [](uint64_t algorithm, const std::string& settings) {
        return el(kMkvContentEncodings, el(kMkvContentEncoding, el(kMkvContentCompression, u(kMkvContentCompAlgo, algorithm) +
                                                                                         el(kMkvContentCompSettings, settings))));
    };
    struct Case {
        const char* name;
        std::string encodings;
        std::string frame;
        std::string tpl;
    } cases[] = {
        // Less than one syncframe after the stripped bytes: without them no
        // sync word is left to find.
        {"header stripping", compression(3, ac3.substr(0, 2)), ac3.substr(2, 500), "AC3/AUDIO"},
        {"zlib is not undone", compression(0, ""), ac3.substr(2, 500), "MATROSKA/AUDIO"},
        {"settings beyond the cap are dropped", compression(3, std::string(kMatroskaMaxSettings + 1, '\x0B')), ac3, "AC3/AUDIO"},
        // Settings that claim more than the file holds.
        {"settings past the end", el(kMkvContentEncodings, el(kMkvContentEncoding, el(kMkvContentCompression, u(kMkvContentCompAlgo, 3) +
                                                           idBytes(kMkvContentCompSettings) + test::bytes({0x1F, 0xFF, 0xFF, 0xF0})))),
         "", "MATROSKA/AUDIO"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 2, "A_AC3", audioSettings(48000, 2) + c.encodings), c.frame);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(test::fields(r->audioText[0])["tpl"], c.tpl);
    }
}

// ======================================================================
// Track descriptions
// ======================================================================

TEST_F(MatroskaTest, CodecIdsWithoutDecoders) {
    struct Case {
        std::string codecId;
        std::string codec;
    } cases[] = {
        {"A_PCM/INT/LIT", "PCM(LE)"},     {"A_PCM/INT/BIG", "PCM(BE)"},   {"A_PCM/FLOAT/IEEE", "PCM(Float)"},
        {"A_PCM/X", "PCM"},               {"A_MPC", "MusePack"},          {"A_FLAC", "FLAC"},
        {"a_flac", "FLAC"},               {"A_TTA1", "TTA"},              {"A_TRUEHD", "Dolby TrueHD"},
        {"A_AAC/MPEG2/LC", "MPEG2-AAC(LC)"}, {"A_AAC/MPEG4/LC/SBR", "MPEG4-AAC(LC/SBR)"},
        // Too short for the profile part.
        {"A_AAC/MP", "MP-AAC()"},        {"A_AAC/MPEG4", "MPEG4-AAC()"},
        // The fallbacks of the first-frame branches without a block.
        {"A_MPEG/L3", "MPEG-Audio"},      {"A_AC3/BSID9", "Dolby AC-3"},  {"A_DTS/LOSSLESS", "DTS"},
        {"A_WAVPACK4", "Wavpack4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codecId);
        auto r = oneTrack(track(1, 2, c.codecId, audioSettings(22050, 2, 24)));
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "MATROSKA/AUDIO");
        EXPECT_EQ(f["codec"], c.codec);
        EXPECT_EQ(f["samplerate"], "22050");
        EXPECT_EQ(f["sampleratek"], "22.05");
        EXPECT_EQ(f["channel"], "2");
        EXPECT_EQ(f["bitdepth"], "24");
    }
}

TEST_F(MatroskaTest, UnknownCodecIdsAndSubtitles) {
    struct Case {
        std::string codecId;
        std::vector<std::string> extra;
    } cases[] = {
        {"A_EAC3", {"Unknown CodecID A_EAC3"}},
        {"V_MPEG4/ISO/ASP", {"Unknown CodecID V_MPEG4/ISO/ASP"}},
        // A subtitle kind that is not counted: its own line, and no empty
        // summary line after it.
        {"S_HDMV/PGS", {"Unknown CodecID S_HDMV/PGS"}},
        {"S_TEXT/SSA", {"SubTitle/SSA(1)"}},
        {"S_USF", {"SubTitle/USF(1)"}},
        {"S_TEXT/ASCII", {"SubTitle/ASCII(1)"}},
        {"S_IMAGE/BMP", {"SubTitle/BMP(1)"}},
        {"S_VOBSUB", {"SubTitle/VobSub(1)"}},
        // CodecIDs are cut to 31 characters.
        {"X_" + std::string(40, 'Z'), {"Unknown CodecID X_" + std::string(29, 'Z')}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codecId);
        auto r = oneTrack(track(1, 0x11, c.codecId));
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->videoCount + r->audioCount, 0);
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
    // Chapters come first; an unknown subtitle CodecID adds nothing to them.
    const std::string chapters =
        el(kMkvChapters, el(kMkvEditionEntry, el(kMkvChapterAtom, "") + el(kMkvChapterAtom, u(kMkvChapterFlagHidden, 0)) +
                                                  el(kMkvChapterAtom, el(kMkvChapterAtom, "") + u(kMkvChapterFlagHidden, 1))));
    auto r = analyse(kEbmlHeader + el(kMkvSegment, info(1000.0) + chapters +
                                                       el(kMkvTracks, track(1, 0x11, "S_HDMV/PGS") + track(2, 0x11, "S_TEXT/UTF8") +
                                                                          track(3, 0x11, "S_TEXT/UTF8") + track(4, 0x11, "S_ASS"))));
    EXPECT_EQ(lines(r->extraText, r->extraCount),
              (std::vector<std::string>{"Unknown CodecID S_HDMV/PGS", "Chapter(3) / SubTitle/UTF8(2) / SubTitle/ASS(1)"}));
}

TEST_F(MatroskaTest, AcmFormatTagsChooseTheBranch) {
    const std::string ac3 = readFixture("ac3_stereo.ac3").substr(0, 2000);
    struct Case {
        const char* name;
        std::string wave;
        std::string frame;
        std::string tpl;
        std::string codec;
    } cases[] = {
        {"AC-3 tag", waveFormat(0x2000, 2, 48000, 24000, 0), ac3, "AC3/AUDIO", "Dolby AC-3"},
        {"AC-3 tag, no frame", waveFormat(0x2000, 2, 48000, 24000, 0), "", "MATROSKA/AUDIO", "Dolby AC-3"},
        {"DTS tag, no frame", waveFormat(0x2001, 2, 48000, 24000, 0), "", "MATROSKA/AUDIO", "DTS"},
        {"MPEG tag, no frame", waveFormat(0x0055, 2, 48000, 24000, 0), "", "MATROSKA/AUDIO", "MPEG-Audio"},
        {"PCM", waveFormat(0x0001, 2, 44100, 176400, 16), "", "RIFF/AUDIO", "test-wav-0001"},
        // Shorter than the 16 bytes of the format: zeros.
        {"two bytes", std::string("\x01\x00", 2), "", "RIFF/AUDIO", "test-wav-0001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 2, "A_MS/ACM", codecPrivate(c.wave) + audioSettings(48000, 2)), c.frame);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], c.tpl);
        EXPECT_EQ(f["codec"], c.codec);
    }
    auto r = oneTrack(track(1, 2, "A_MS/ACM", codecPrivate(waveFormat(0x0001, 2, 44100, 176400, 16))));
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["bitrate"], "1411200.00");
}

TEST_F(MatroskaTest, VideoFrameRate) {
    struct Case {
        const char* name;
        std::string settings;
        std::string frameRate;
    } cases[] = {
        {"DefaultDuration 40 ms", u(kMkvDefaultDuration, 40000000), "25.00"},
        {"DefaultDuration 0", u(kMkvDefaultDuration, 0), "0.00"},
        {"FrameRate", el(kMkvVideo, f64(kMkvFrameRate, 29.97)), "29.97"},
        {"the later one wins", el(kMkvVideo, f64(kMkvFrameRate, 29.97)) + u(kMkvDefaultDuration, 40000000), "25.00"},
        {"the later one wins, reversed", u(kMkvDefaultDuration, 40000000) + el(kMkvVideo, f64(kMkvFrameRate, 29.97)), "29.97"},
        {"none", "", "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 1, "V_VP8", videoSettings(320, 240) + c.settings));
        ASSERT_EQ(r->videoCount, 1);
        auto f = test::fields(r->videoText[0]);
        EXPECT_EQ(f["framerate"], c.frameRate);
        EXPECT_EQ(f["width"], "320");
        EXPECT_EQ(f["height"], "240");
    }
}

TEST_F(MatroskaTest, ShortCodecPrivateReadsAsZeros) {
    struct Case {
        std::string codecId;
        int type;
        std::string tpl;
    } cases[] = {
        {"V_MS/VFW/FOURCC", 1, "RIFF/VIDEO"},   {"V_MPEG4/ISO/AVC", 1, "AVC/VIDEO"}, {"V_THEORA", 1, "OGG/THEORA"},
        {"V_REAL/RV40", 1, "REAL/VIDEO"},       {"V_QUICKTIME", 1, "QUICKTIME/VIDEO"}, {"A_VORBIS", 2, "OGG/VORBIS"},
        {"A_REAL/COOK", 2, "REAL/AUDIO"},       {"A_QUICKTIME", 2, "QUICKTIME/AUDIO"}, {"A_AAC", 2, "AAC/AUDIO1"},
        {"V_MPEG1", 1, "MPEG1/2/MPEG1"},        {"V_MPEG2", 1, "MPEG1/2/MPEG1"},
    };
    for (const auto& privateBytes : {std::string(), std::string("\x02\x1E", 2), std::string(7, '\x01')}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.codecId + " with " + std::to_string(privateBytes.size()) + " bytes");
            auto r = oneTrack(track(1, static_cast<uint64_t>(c.type), c.codecId, codecPrivate(privateBytes)), std::string(3, '\0'));
            ASSERT_STREQ(r->errorText, "");
            const auto& slot = c.type == 1 ? r->videoText[0] : r->audioText[0];
            ASSERT_EQ(c.type == 1 ? r->videoCount : r->audioCount, 1);
            EXPECT_EQ(test::fields(slot)["tpl"], c.tpl);
        }
    }
}

TEST_F(MatroskaTest, VorbisWithLongCommentHeader) {
    // A comment header of 300 bytes takes two bytes of lacing: the
    // identification header begins at the fifth byte, not the fourth.
    const std::string cp = xiphLaced({vorbisId(48000, 2, 128000), "\x03vorbis" + std::string(293, 'c'), "\x05vorbis"});
    ASSERT_EQ(static_cast<uint8_t>(cp[1]), 30);
    ASSERT_EQ(static_cast<uint8_t>(cp[2]), 255);
    auto r = oneTrack(track(1, 2, "A_VORBIS", codecPrivate(cp) + audioSettings(48000, 2)));
    ASSERT_EQ(r->audioCount, 1);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["samplerate"], "48000");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["bitrate"], "128000.00");
}

TEST_F(MatroskaTest, AacAdjustments) {
    // ffmpeg's LC configuration: 44.1 kHz mono, then the extension that
    // names SBR (object type 5) as absent.
    const std::string asc = test::bytes({0x12, 0x08, 0x56, 0xE5, 0x00});
    struct Case {
        const char* name;
        double rate;
        uint32_t channels;
        std::string samplerate, channel, profileEnd;
    } cases[] = {
        {"as signalled", 44100, 1, "44100", "1.0", "(LC)"},
        {"the track's rate is twice the core rate", 88200, 1, "88200", "1.0", "+(!SBR)"},
        {"one channel in a two-channel track", 44100, 2, "44100", "2.0", "+(!PS)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 2, "A_AAC", codecPrivate(asc) + audioSettings(c.rate, c.channels)));
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "AAC/AUDIO1");
        EXPECT_EQ(f["samplerate"], c.samplerate);
        EXPECT_EQ(f["channel"], c.channel);
        const std::string profile = f["profile"];
        EXPECT_EQ(profile.substr(profile.size() - std::min(profile.size(), c.profileEnd.size())), c.profileEnd) << profile;
        EXPECT_EQ(f["bitrate"], "0.00");  // no block to measure
    }
    // Ten frames of 200 bytes at 44.1 kHz: 200 x 8 x 44100 / 1024.
    std::string blocks;
    for (int i = 0; i < 10; ++i) blocks += simpleBlock(1, std::string(200, 'a'));
    auto r = analyse(file(track(1, 2, "A_AAC", codecPrivate(asc) + audioSettings(44100, 1)), cluster(blocks)));
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], "68906.25");
}

TEST_F(MatroskaTest, MpegVideoFromTheFirstFrame) {
    // A sequence header (320x240, 4:3, 25 fps) and a sequence extension (MP@ML).
    const std::string sequence = test::bytes({0x00, 0x00, 0x01, 0xB3, 0x14, 0x00, 0xF0, 0x23, 0xFF, 0xFF, 0xE0, 0x18});
    const std::string extension = test::bytes({0x00, 0x00, 0x01, 0xB5, 0x14, 0x8A, 0x00, 0x01, 0x00, 0x00});
    const std::string otherExtension = test::bytes({0x00, 0x00, 0x01, 0xB5, 0x23, 0x00, 0x00, 0x00, 0x00, 0x00});
    struct Case {
        const char* name;
        std::string codecId, frame, privateBytes;
        std::string tpl, width, profile;
    } cases[] = {
        {"MPEG-1", "V_MPEG1", sequence + std::string(20, '\0'), "", "MPEG1/2/MPEG1", "320", ""},
        {"MPEG-2, extension after another", "V_MPEG2", sequence + otherExtension + extension, "", "MPEG1/2/MPEG2", "320", "MP@ML"},
        {"sequence header after a GOP", "V_MPEG2", test::bytes({0, 0, 1, 0xB8, 0, 0, 0, 0}) + sequence + extension, "", "MPEG1/2/MPEG2", "320", "MP@ML"},
        {"sequence header only in the CodecPrivate", "V_MPEG2", std::string(16, '\x11'), sequence + extension, "MPEG1/2/MPEG2", "320", "MP@ML"},
        {"no sequence header", "V_MPEG1", std::string(16, '\x11'), "", "MPEG1/2/MPEG1", "0", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 1, c.codecId, (c.privateBytes.empty() ? "" : codecPrivate(c.privateBytes))), c.frame);
        ASSERT_EQ(r->videoCount, 1);
        auto f = test::fields(r->videoText[0]);
        EXPECT_EQ(f["tpl"], c.tpl);
        EXPECT_EQ(f["width"], c.width);
        EXPECT_EQ(f["profile"], c.profile);
    }
}

TEST_F(MatroskaTest, DivxVersionFromTheWholeFirstBlock) {
    // BITMAPINFOHEADER: size, width, height, planes, bit count, compression.
    const std::string bitmap = le32(40) + le32(320) + le32(240) + le16(1) + le16(24) + "DX50" + std::string(20, '\0');
    auto r = oneTrack(track(1, 1, "V_MS/VFW/FOURCC", codecPrivate(bitmap) + u(kMkvDefaultDuration, 40000000)),
                      std::string(30, '\0') + "DivX503b1393p" + std::string(30, '\0'));
    ASSERT_EQ(r->videoCount, 1);
    auto f = test::fields(r->videoText[0]);
    EXPECT_EQ(f["codec"], "test-divx12-DivX503b1393");
    EXPECT_EQ(f["width"], "320");
    EXPECT_EQ(f["bitdepth"], "24");
    EXPECT_EQ(f["framerate"], "25.00");
    // Without a version string the CODECS.INI name stays.
    r = oneTrack(track(1, 1, "V_MS/VFW/FOURCC", codecPrivate(bitmap)), std::string(60, '\0'));
    EXPECT_EQ(test::fields(r->videoText[0])["codec"], "DivX 5 test-avi-DX50");
}

TEST_F(MatroskaTest, RealAudioRate) {
    // A version-4 ".ra" header: data size at 28, bytes per minute at 32.
    auto header = [](uint32_t dataSize, uint32_t bytesPerMinute) {
        std::string h = ".ra\xFD" + be16(4) + be16(0) + ".ra4" + std::string(6, '\0') + be32(0) + be16(0) + be32(0) + be32(dataSize) +
                        be32(bytesPerMinute) + std::string(12, '\0') + be16(8000) + be16(0) + be16(16) + be16(1) + std::string(1, '\x04') +
                        "Int4" + std::string(1, '\x04') + "lpcJ";
        return h;
    };
    struct Case {
        const char* name;
        uint32_t dataSize, bytesPerMinute;
        std::string bitrate;
    } cases[] = {
        {"60,000 bytes per minute", 120000, 60000, "8000.00"},
        {"no bytes per minute", 120000, 0, "0.00"},
        {"no data size", 0, 60000, "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = oneTrack(track(1, 2, "A_REAL/14_4", codecPrivate(header(c.dataSize, c.bytesPerMinute))));
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "REAL/AUDIO");
        EXPECT_EQ(f["bitrate"], c.bitrate);
    }
}

}  // namespace
}  // namespace vesko
