// Tests of the FLAC and WavPack analysers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "audio/flac.h"
#include "audio/wavpack.h"
#include "io.h"
#include "record.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le24(uint32_t v) { return le16(v & 0xFFFF) + static_cast<char>((v >> 16) & 0xFF); }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string be24(uint32_t v) {
    return std::string{static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}
std::string be64(uint64_t v) {
    std::string s;
    for (int shift = 56; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
    return s;
}

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
// item and the footer.
std::string apeTag() {
    const std::string item = le32(5) + le32(0) + std::string("Title\0Vesko", 11);
    auto frame = [&](uint32_t flags) {
        return std::string("APETAGEX") + le32(2000) + le32(static_cast<uint32_t>(item.size() + 32)) + le32(1) + le32(flags) +
               std::string(8, '\0');
    };
    return frame(0xA0000000) + item + frame(0x80000000);
}

// ---- FLAC builders ----

std::string flacBlock(int type, const std::string& body, bool last = false) {
    return static_cast<char>((last ? 0x80 : 0) | type) + be24(static_cast<uint32_t>(body.size())) + body;
}

// A STREAMINFO body: block and frame sizes, then sample rate (20 bits),
// channels - 1 (3), bits per sample - 1 (5), total samples (36), MD5.
std::string streamInfo(uint32_t rate, uint32_t channels, uint32_t bits, uint64_t total) {
    const uint64_t packed = (uint64_t{rate} << 44) | (uint64_t{channels - 1} << 41) | (uint64_t{bits - 1} << 36) |
                            (total & 0xFFFFFFFFFull);
    return std::string("\x10\x00\x10\x00", 4) + std::string(6, '\0') + be64(packed) + std::string(16, '\x5A');
}

// A Vorbis comment block body.
std::string comments(const std::vector<std::string>& items) {
    std::string body = le32(6) + "vendor" + le32(static_cast<uint32_t>(items.size()));
    for (const auto& c : items) body += le32(static_cast<uint32_t>(c.size())) + c;
    return body;
}

// ---- WavPack builders ----

constexpr uint32_t kInitialFinal = 0x1800;  // initial and final block of a stretch
constexpr uint32_t kHybrid = 0x08;
constexpr uint32_t kJoint = 0x10;

// One sub-block: id byte, size in words (large form above 255 words), data
// padded to an even length with the odd-size flag.
std::string sub(uint8_t id, const std::string& data) {
    std::string padded = data;
    if (padded.size() % 2) {
        padded += '\0';
        id |= kWavPackOddSize;
    }
    const uint32_t words = static_cast<uint32_t>(padded.size() / 2);
    if (words > 255) return std::string(1, static_cast<char>(id | kWavPackLargeBlock)) + le24(words) + padded;
    return std::string{static_cast<char>(id), static_cast<char>(words)} + padded;
}

// A block header and its sub-blocks; `declaredSize` replaces the size field.
std::string wvBlock(uint32_t flags, uint32_t total, uint32_t samples, const std::string& subBlocks, int64_t declaredSize = -1,
                    uint8_t totalHigh = 0) {
    const uint32_t size = declaredSize >= 0 ? static_cast<uint32_t>(declaredSize) : static_cast<uint32_t>(24 + subBlocks.size());
    return "wvpk" + le32(size) + le16(0x410) + '\0' + static_cast<char>(totalHigh) + le32(total) + le32(0) + le32(samples) +
           le32(flags) + le32(0) + subBlocks;
}

std::string riffChunk(const std::string& id, const std::string& body) {
    return id + le32(static_cast<uint32_t>(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : std::string());
}

// The stored header of a WAVE file: RIFF form, the chunks before "fmt ",
// "fmt " (16 bytes), the chunks after it, and the "data" chunk header.
std::string riffHeader(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& before = "",
                       const std::string& after = "") {
    const uint16_t align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    const std::string fmt = riffChunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits));
    return "RIFF" + le32(1000) + "WAVE" + before + fmt + after + "data" + le32(4000);
}

std::string audioData() { return sub(0x0A, std::string(40, '\x33')); }  // a bitstream sub-block

// A one-block lossless stereo file of 44,100 samples at 44.1 kHz.
std::string simpleWavPack(const std::string& extraSubBlocks = "", uint32_t flags = kInitialFinal) {
    return wvBlock(flags, 44100, 44100, sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16)) + extraSubBlocks + audioData());
}

// ---- running the analysers on crafted bytes ----

std::unique_ptr<AnalysisRecord> analyseAs(const test::TempDir& dir, const std::string& name, const std::string& bytes,
                                          int32_t code) {
    auto record = test::makeRecord(dir.write(name, bytes));
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

class FlacTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes) { return analyseAs(dir, "a.flac", bytes, VESKO_FMT_FLAC); }
    test::TempDir dir;
};

class WavPackTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes, const std::string& name = "a.wv") {
        return analyseAs(dir, name, bytes, VESKO_FMT_WAVPACK);
    }
    test::TempDir dir;
};

// ======================================================================
// FLAC
// ======================================================================

TEST(FlacStreamInfo, FieldsComeFromTheEightBytesAtOffsetTen) {
    const struct {
        uint32_t rate, channels, bits;
        uint64_t total;
    } cases[] = {
        {44100, 2, 16, 441000},
        {96000, 1, 24, 9600},
        {8000, 8, 32, 1},
        {1, 1, 1, 0},                    // 0: the count is not known
        {655350, 6, 20, 0xFFFFFFFFFull},  // every bit of the 36-bit count
        {192000, 2, 24, (1ull << 32) + 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        FlacInfo info{};
        ASSERT_TRUE(decodeFlacStreamInfo(asBytes(streamInfo(c.rate, c.channels, c.bits, c.total)), info));
        EXPECT_EQ(info.sampleRate, c.rate);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_EQ(info.bitDepth, c.bits);
        EXPECT_EQ(info.totalSamples, c.total);
        EXPECT_EQ(info.hasStreamInfo, 1);
    }
}

TEST(FlacStreamInfo, EighteenBytesAreEnoughAndSeventeenAreNot) {
    const std::string body = streamInfo(48000, 2, 16, 480000);
    FlacInfo info{};
    EXPECT_FALSE(decodeFlacStreamInfo(asBytes(body.substr(0, 17)), info));
    EXPECT_EQ(info.sampleRate, 0u);
    EXPECT_EQ(info.hasStreamInfo, 0);
    EXPECT_TRUE(decodeFlacStreamInfo(asBytes(body.substr(0, 18)), info));
    EXPECT_EQ(info.totalSamples, 480000u);
}

TEST_F(FlacTest, PlayTimeAndBitRateFromTotalSamplesAndTheAudioBytes) {
    // 44,100 Hz and 4,410,000 samples: 100 s; the bit rate covers the bytes
    // after the metadata.
    const std::string metadata = "fLaC" + flacBlock(0, streamInfo(44100, 2, 16, 4410000)) + flacBlock(1, std::string(100, '\0'), true);
    const std::string audio(5000, '\x11');
    auto r = analyse(metadata + audio);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 100.0);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["tpl"], "FLAC/AUDIO");
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["sampleratek"], "44.10");
    EXPECT_EQ(f["channel"], "2");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["bitrate"], "400.00");  // 5,000 bytes * 8 / 100 s
    EXPECT_EQ(f["bitratek"], "0.40");
    EXPECT_EQ(r->fileSize, static_cast<int64_t>(metadata.size() + audio.size()));
}

TEST_F(FlacTest, WalkLeavesTheReaderAfterTheMetadata) {
    const std::string metadata = "fLaC" + flacBlock(0, streamInfo(8000, 1, 8, 8000)) + flacBlock(3, std::string(18, '\0')) +
                                 flacBlock(1, "", true);
    const auto path = dir.write("b.flac", metadata + std::string(1000, '\x22'));
    FileReader reader;
    ASSERT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    FlacInfo info{};
    info.streamBytes = reader.size;
    info.computeDuration = 1;
    ASSERT_TRUE(readFlacMetadata(info, reader));
    EXPECT_EQ(reader.tell(), metadata.size());
    EXPECT_EQ(info.streamBytes, 1000u);
    EXPECT_DOUBLE_EQ(info.duration, 1.0);
    EXPECT_DOUBLE_EQ(info.bitRate, 8000.0);
}

TEST_F(FlacTest, BlockTypes) {
    // Types 0 to 6 are walked (CUESHEET and PICTURE counted), anything above
    // fails the analysis, also when it would be the last block.
    const std::string head = "fLaC" + flacBlock(0, streamInfo(44100, 2, 16, 44100));
    const struct {
        std::string blocks;
        std::vector<std::string> extra;
        std::string error;
    } cases[] = {
        {flacBlock(1, std::string(10, '\0'), true), {}, ""},
        {flacBlock(2, "abcd1234", true), {}, ""},
        {flacBlock(3, std::string(36, '\0'), true), {}, ""},
        {flacBlock(4, comments({"TITLE=x"}), true), {"VorbisComment"}, ""},
        {flacBlock(5, std::string(396, '\0'), true), {"CueSheet"}, ""},
        {flacBlock(6, std::string(40, '\0')) + flacBlock(6, std::string(40, '\0'), true), {"Picture(2)"}, ""},
        {flacBlock(6, "p") + flacBlock(5, "c") + flacBlock(4, comments({"CHAPTER01=00:00:00.000", "CHAPTER01NAME=One"}), true),
         {"CueSheet / Picture(1)", "VorbisComment / Chapter(1)"}, ""},
        {flacBlock(7, "abcd") + flacBlock(1, "", true), {}, cp("[FLAC] 不明なBlockType(7)")},
        {flacBlock(126, "", true), {}, cp("[FLAC] 不明なBlockType(126)")},
        {flacBlock(127, "", true), {}, cp("[FLAC] 不明なBlockType(127)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.blocks.size());
        auto r = analyse(head + c.blocks + std::string(100, '\x44'));
        EXPECT_EQ(r->errorText, c.error);
        if (!c.error.empty()) continue;
        EXPECT_EQ(r->audioCount, 1);
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
}

TEST_F(FlacTest, BoundedWalks) {
    // A cut file ends the walk at the end of the file rather than re-reading
    // an empty header for ever; block lengths of 0 and past the end are fine.
    const std::string info = flacBlock(0, streamInfo(44100, 2, 16, 441000));
    const struct {
        const char* what;
        std::string bytes;
        double duration;
        const char* channel;
    } cases[] = {
        {"marker only", "fLaC", -1, "0"},
        {"shorter than the marker", "fLa", -1, "0"},
        {"no block has the last flag", "fLaC" + info, 10.0, "2"},
        {"cut inside a block header", "fLaC" + info + "\x01\x00", 10.0, "2"},
        {"block longer than the file", "fLaC" + info + flacBlock(6, std::string(50, 'p')).substr(0, 20), 10.0, "2"},
        {"comment block longer than the file", "fLaC" + info + (std::string("\x84\xFF\xFF\xFF", 4) + comments({"TITLE=x"})), 10.0,
         "2"},
        {"empty blocks", "fLaC" + info + flacBlock(1, "") + flacBlock(2, "") + flacBlock(4, "", true) + "audio", 10.0, "2"},
        {"STREAMINFO of 10 bytes", "fLaC" + flacBlock(0, streamInfo(44100, 2, 16, 441000).substr(0, 10), true) + "audio", -1, "0"},
        {"STREAMINFO cut by the end of the file", "fLaC" + info.substr(0, 4 + 12), -1, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.bytes);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(r->duration, c.duration);
        EXPECT_EQ(test::fields(r->audioText[0])["channel"], c.channel);
    }
}

TEST_F(FlacTest, CommentBlockCutByTheEndOfTheFileKeepsWhatItHolds) {
    const std::string body = comments({"CUESHEET=FILE x", "CHAPTER02=00:00:01.000"});
    auto r = analyse("fLaC" + flacBlock(0, streamInfo(44100, 2, 16, 441000)) + flacBlock(4, body, true).substr(0, 4 + body.size() - 5));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"VorbisComment / CueSheet"});
}

TEST_F(FlacTest, TotalSampleCountZeroLeavesThePlayTimeUnknown) {
    auto r = analyse("fLaC" + flacBlock(0, streamInfo(44100, 2, 16, 0), true) + std::string(4000, '\x55'));
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(r->duration, -1.0);
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], "0.00");
}

TEST_F(FlacTest, TotalOfTwoToTheThirtySecondAndMoreIsKeptWhole) {
    // 2^32 + 192,000 samples at 192 kHz: 22,370 s, not the 1 s of the low
    // 32 bits.
    auto r = analyse("fLaC" + flacBlock(0, streamInfo(192000, 2, 24, (1ull << 32) + 192000), true) + "audio");
    EXPECT_DOUBLE_EQ(r->duration, (4294967296.0 + 192000.0) / 192000.0);
}

TEST_F(FlacTest, SampleRateZeroIsAnArithmeticFault) {
    auto r = analyse("fLaC" + flacBlock(0, streamInfo(0, 2, 16, 1000), true) + "audio");
    EXPECT_EQ(std::string(r->errorText), cp("[Exception] 例外終了(116)"));
}

TEST_F(FlacTest, LeadingId3v2TagsArePassedOver) {
    const std::string flac = "fLaC" + flacBlock(0, streamInfo(44100, 1, 16, 44100), true) + std::string(800, '\x66');
    for (const std::string& tags : {id3v2(30), id3v2(30) + id3v2(5)}) {
        SCOPED_TRACE(tags.size());
        auto r = analyse(tags + flac);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
        EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], "6400.00");  // the tags are no audio
        EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"ID3v2"});
    }
}

TEST_F(FlacTest, Fixtures) {
    const struct {
        const char* file;
        std::map<std::string, std::string> audio;
        std::vector<std::string> extra;
        // ffprobe's format duration of the same file; -1 where it has none.
        double duration;
    } cases[] = {
        {"flac_16bit.flac", {{"samplerate", "44100"}, {"bitdepth", "16"}, {"channel", "2"}, {"bitratek", "265.67"}}, {}, 1.0},
        {"flac_behind_id3v2.flac", {{"samplerate", "44100"}, {"bitratek", "265.67"}}, {"ID3v2"}, 1.0},
        {"flac_tagged.flac", {{"samplerate", "44100"}, {"channel", "2"}}, {"VorbisComment"}, 0.25},
        // flac stores WAVEFORMATEXTENSIBLE_CHANNEL_MASK for the 24-bit source.
        {"flac_24bit_96k_mono.flac", {{"samplerate", "96000"}, {"sampleratek", "96.00"}, {"bitdepth", "24"}, {"channel", "1"}},
         {"VorbisComment"}, 0.1},
        {"flac_cuesheet_pictures_chapter.flac", {{"samplerate", "44100"}},
         {"CueSheet / Picture(2)", "VorbisComment / Chapter(1)"}, 11760.0 / 44100},
        // Written to a pipe: total samples 0; ffprobe has no duration either.
        {"flac_pipe_total_samples_0.flac", {{"samplerate", "44100"}, {"bitrate", "0.00"}}, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_FLAC);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
        if (c.duration < 0) {
            EXPECT_EQ(r->duration, -1.0);
        } else {
            EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        }
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "FLAC/AUDIO");
        for (const auto& [name, value] : c.audio) EXPECT_EQ(f[name], value) << name;
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
    auto r = test::analyse(test::fixture("flac_unknown_block_type.flac"));
    EXPECT_EQ(r->formatCode, VESKO_FMT_FLAC);
    EXPECT_EQ(std::string(r->errorText), cp("[FLAC] 不明なBlockType(7)"));
}

// ======================================================================
// WavPack
// ======================================================================

TEST(WavPackBlockHeader, Fields) {
    const struct {
        uint8_t totalHigh;
        uint32_t total;
        int64_t expected;
    } cases[] = {
        {0, 44100, 44100},
        {0, 0, 0},
        {0, 0xFFFFFFFF, -1},  // not known
        {5, 0xFFFFFFFF, -1},
        // 40 bits counted in steps of 2^32 - 1.
        {1, 0, 0xFFFFFFFFll},
        {1, 7, 0xFFFFFFFFll + 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.total);
        const std::string bytes = wvBlock(kHybrid | kInitialFinal, c.total, 1152, "", 9000, c.totalHigh);
        WavPackBlockHeader h{};
        ASSERT_TRUE(decodeWavPackBlockHeader(asBytes(bytes), h));
        EXPECT_EQ(h.totalSamples, c.expected);
        EXPECT_EQ(h.blockSize, 9000u);
        EXPECT_EQ(h.version, 0x410);
        EXPECT_EQ(h.blockSamples, 1152u);
        EXPECT_EQ(h.flags, kHybrid | kInitialFinal);
    }
    WavPackBlockHeader h{};
    EXPECT_FALSE(decodeWavPackBlockHeader(asBytes(wvBlock(0, 1, 1, "").substr(0, 31)), h));
    EXPECT_FALSE(decodeWavPackBlockHeader(asBytes("wvpx" + wvBlock(0, 1, 1, "").substr(4)), h));
    EXPECT_TRUE(decodeWavPackBlockHeader(asBytes("WVPK" + wvBlock(0, 1, 1, "").substr(4)), h));
}

TEST_F(WavPackTest, StoredWaveHeaderGivesTheFormat) {
    const struct {
        uint16_t tag, channels;
        uint32_t rate;
        uint16_t bits;
        std::string before;  // chunks before "fmt "
        const char* codec;
    } cases[] = {
        {1, 1, 8000, 8, "", "test-wav-0001"},
        {1, 2, 44100, 16, "", "test-wav-0001"},
        {1, 2, 96000, 24, "", "test-wav-0001"},
        {3, 2, 192000, 32, "", "不明0003"},  // IEEE float: no entry in the test CODECS.INI
        {0xFFFE, 6, 48000, 24, "", "test-wav-FFFE"},
        // wavpack -r writes a "junk" chunk first; BWF files a "bext" chunk.
        {1, 2, 44100, 16, riffChunk("junk", std::string(28, '\0')), "test-wav-0001"},
        {1, 2, 48000, 24, riffChunk("bext", std::string(603, 'b')), "test-wav-0001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rate);
        const std::string file =
            wvBlock(kInitialFinal, c.rate, c.rate, sub(kWavPackRiffHeader, riffHeader(c.tag, c.channels, c.rate, c.bits, c.before)) + audioData());
        auto r = analyse(file);
        ASSERT_STREQ(r->errorText, "");
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "WAVPACK/AUDIO");
        EXPECT_EQ(f["codec"], cp(c.codec));
        EXPECT_EQ(f["samplerate"], std::to_string(c.rate));
        EXPECT_EQ(f["channel"], std::to_string(c.channels));
        EXPECT_EQ(f["bitdepth"], std::to_string(c.bits));
        EXPECT_EQ(f["version"], "4");
        EXPECT_EQ(f["hybrid"], "Lossless");
        EXPECT_DOUBLE_EQ(r->duration, 1.0);
        EXPECT_EQ(f["bitrate"], format("%.2f", file.size() * 8.0));
    }
}

TEST(WavPackRiffHeader, ReadOnlyWithinTheSubBlock) {
    const std::string full = riffHeader(1, 2, 44100, 16);
    const struct {
        const char* what;
        std::string header;
        bool found;
    } cases[] = {
        {"whole", full, true},
        {"up to the end of wBitsPerSample", full.substr(0, 36), true},
        {"one byte short", full.substr(0, 35), false},
        {"form header only", full.substr(0, 12), false},
        {"empty", "", false},
        {"fmt chunk of 14 bytes", "RIFF" + le32(0) + "WAVE" + riffChunk("fmt ", std::string(14, '\1')), false},
        {"chunk before fmt runs past the end", "RIFF" + le32(0) + "WAVE" + "junk" + le32(5000) + full.substr(12), false},
        {"fmt after data is not looked at", "RIFF" + le32(0) + "WAVE" + "data" + le32(0) + full.substr(12), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WavPackInfo info{};
        EXPECT_EQ(readWavPackRiffHeader(asBytes(c.header), info), c.found);
        EXPECT_EQ(info.waveFormat.samplesPerSecond, c.found ? 44100u : 0u);
    }
}

TEST_F(WavPackTest, SubBlockFunctions) {
    // Functions 0 to 14 are audio and codec parameters; optional ones (bit 5,
    // written by WavPack 5: 39 sample rate, 40 extension, 42 configuration,
    // 47 checksum) are passed over; other mandatory ones are unknown.
    const struct {
        uint8_t id;
        std::string error;
    } cases[] = {
        {0x00, ""}, {0x0D, ""}, {0x0E, ""},  // 14: DSD audio
        {0x27, ""}, {0x28, ""}, {0x2A, ""}, {0x2F, ""}, {0x3F, ""}, {0x20, ""},
        {0x23, ""}, {0x25, ""}, {0x26, ""},  // stored non-WAVE header, configuration, MD5
        {0x0F, cp("[Wavpack] 不明なBlockType(15)")},
        {0x1F, cp("[Wavpack] 不明なBlockType(31)")},
        {0x10 | kWavPackOddSize, cp("[Wavpack] 不明なBlockType(16)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.id));
        auto r = analyse(simpleWavPack(sub(c.id, "abcdef")));
        EXPECT_EQ(r->errorText, c.error);
        EXPECT_EQ(r->audioCount, c.error.empty() ? 1 : 0);
    }
    // A sub-block of size 0 is passed over whatever its function.
    EXPECT_STREQ(analyse(simpleWavPack(std::string("\x1F\x00", 2)))->errorText, "");
}

TEST_F(WavPackTest, SubBlockSizes) {
    const std::string header = sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16));
    const struct {
        const char* what;
        std::string file;
        std::string error;
    } cases[] = {
        {"large form", wvBlock(kInitialFinal, 44100, 44100, header + sub(0x0A, std::string(1000, 'x'))), ""},
        {"odd size", wvBlock(kInitialFinal, 44100, 44100, sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16) + "J") + audioData()), ""},
        {"RIFF header of size 0, then the real one",
         wvBlock(kInitialFinal, 44100, 44100, std::string("\x21\x00", 2) + header + audioData()), ""},
        // A sub-block past its block: the rest of the block is passed over
        // and the next block is found where the block size puts it.
        {"past its block",
         wvBlock(kInitialFinal, 44100, 44100, header + std::string("\x0A\xFF", 2) + std::string(20, 'x')) + simpleWavPack(), ""},
        {"large size past the end of the file",
         wvBlock(kInitialFinal, 44100, 44100, header + std::string("\x8A\xFF\xFF\xFF", 4) + "xx"), ""},
        {"RIFF header sub-block too short for its fields",
         wvBlock(kInitialFinal, 44100, 44100, sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16).substr(0, 30)) + audioData()),
         cp("[WavPack] RIFFヘッダが見つからない又はWVCファイルです")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.file);
        EXPECT_EQ(r->errorText, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(test::fields(r->audioText[0])["samplerate"], "44100");
        }
    }
}

TEST_F(WavPackTest, BlockWalk) {
    const std::string block = simpleWavPack();
    const struct {
        const char* what;
        std::string file;
        std::string error;
    } cases[] = {
        {"two blocks", block + wvBlock(kInitialFinal, 44100, 100, audioData()), ""},
        {"junk between blocks", block + "junk" + block, cp("[WavPack] BlockHeaderが見つからない又はずれています(%08X)")},
        {"block size past the end of the file", wvBlock(kInitialFinal, 44100, 44100, block.substr(32), 1 << 30), ""},
        {"block size below the header's", block + wvBlock(0, 44100, 0, "", 0) + wvBlock(kInitialFinal, 44100, 100, audioData()), ""},
        {"cut inside the second block header", block + block.substr(0, 20), ""},
        {"no stored RIFF header (a correction file)", wvBlock(kInitialFinal, 44100, 44100, sub(0x0B, "wvc bits")),
         cp("[WavPack] RIFFヘッダが見つからない又はWVCファイルです")},
        {"empty file", "", cp("[WavPack] RIFFヘッダが見つからない又はWVCファイルです")},
        {"not a block at the start", "junk" + block, cp("[WavPack] BlockHeaderが見つからない又はずれています(%08X)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.file);
        std::string expected = c.error;
        if (expected.find("%08X") != std::string::npos) {
            const size_t junk = c.file.find("junk");
            expected.replace(expected.find("%08X"), 4, format("%08X", static_cast<unsigned>(junk)));
        }
        EXPECT_EQ(r->errorText, expected);
    }
    // The offset of the misplaced header in hexadecimal: the block is 120 bytes.
    ASSERT_EQ(block.size(), 120u);
    auto r = analyse(block + "junk" + block);
    EXPECT_EQ(std::string(r->errorText), cp("[WavPack] BlockHeaderが見つからない又はずれています(00000078)"));
}

TEST_F(WavPackTest, EndTagsEndTheWalk) {
    // An APE tag (header and footer) is taken off the bit rate's bytes;
    // an ID3v1 tag and Lyrics3 are not, but the walk ends at them too.
    const std::string block = simpleWavPack();
    const struct {
        const char* what;
        std::string tail;
        std::vector<std::string> extra;
        double bytes;  // the bytes the bit rate covers
    } cases[] = {
        {"APE", apeTag(), {"APE"}, static_cast<double>(block.size() + 32)},
        {"ID3v1", id3v1(), {"ID3v1"}, static_cast<double>(block.size() + 128)},
        {"APE and ID3v1", apeTag() + id3v1(), {"ID3v1 / APE"}, static_cast<double>(block.size() + 32 + 128)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(block + c.tail);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
        EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], format("%.2f", c.bytes * 8));
    }
    // A leading ID3v2 tag: passed over and no audio either.
    auto r = analyse(id3v2(100) + block);
    ASSERT_STREQ(r->errorText, "");
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], format("%.2f", block.size() * 8.0));
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"ID3v2"});
}

TEST_F(WavPackTest, PlayTime) {
    const std::string header = sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16));
    const struct {
        const char* what;
        std::string file;
        double duration;
    } cases[] = {
        {"total of the first block", wvBlock(kInitialFinal, 88200, 44100, header) + wvBlock(kInitialFinal, 12345, 44100, ""), 2.0},
        // Not known (written to a pipe): the samples of the first block of
        // each stretch; the other blocks of a stretch carry more channels.
        {"total not known",
         wvBlock(0x0800, 0xFFFFFFFF, 22050, header) + wvBlock(0x1000, 0xFFFFFFFF, 22050, "") +
             wvBlock(0x0800, 0xFFFFFFFF, 11025, "") + wvBlock(0x1000, 0xFFFFFFFF, 11025, ""),
         0.75},
        {"no samples at all", wvBlock(kInitialFinal, 0, 0, header), 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.file);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        const double bitRate = c.duration > 0 ? c.file.size() * 8 / c.duration : 0;
        EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], format("%.2f", bitRate));
    }
    auto r = analyse(wvBlock(kInitialFinal, 1000, 1000, sub(kWavPackRiffHeader, riffHeader(1, 2, 0, 16))));
    EXPECT_EQ(std::string(r->errorText), cp("[Exception] 例外終了(124)"));
}

TEST_F(WavPackTest, HybridFlagAndTheCorrectionFile) {
    const struct {
        uint32_t flags;
        bool wvc;
        const char* version;
        const char* hybrid;
    } cases[] = {
        {kInitialFinal, false, "4", "Lossless"},
        {kInitialFinal, true, "4", "Lossless"},  // a .wvc beside a lossless file does not count
        {kInitialFinal | kHybrid, true, "4(Hybrid)", "Lossy"},
        {kInitialFinal | kHybrid, false, "4", "Lossy"},
        {kInitialFinal | kHybrid | kJoint, true, "4(Hybrid)", "Lossy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(format("%x %d", c.flags, c.wvc));
        test::TempDir here;
        if (c.wvc) here.write("h.wvc", "correction");
        auto r = analyseAs(here, "h.wv", simpleWavPack("", c.flags), VESKO_FMT_WAVPACK);
        ASSERT_STREQ(r->errorText, "");
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["version"], c.version);
        EXPECT_EQ(f["hybrid"], c.hybrid);
    }
    // The mode comes from blocks with audio, not from a trailer block
    // (samples 0, flags clear) after them.
    const std::string trailer = wvBlock(0, 44100, 0, sub(kWavPackRiffTrailer, riffChunk("LIST", "INFOINAM" + le32(2) + "x")));
    auto r = analyse(simpleWavPack("", kInitialFinal | kHybrid) + trailer);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["hybrid"], "Lossy");
    EXPECT_EQ(lines(r->extraText, r->extraCount), std::vector<std::string>{"INFOTAG"});
    // A hybrid file named .wvc does not take itself for its correction file.
    r = analyse(simpleWavPack("", kInitialFinal | kHybrid), "self.wvc");
    EXPECT_EQ(test::fields(r->audioText[0])["version"], "4");
}

TEST(WavPackCorrectionName, ExtensionReplacedOrAdded) {
    const struct {
        std::u16string name, expected;
    } cases[] = {
        {u"/music/a.wv", u"/music/a.wvc"},
        {u"/music/a.WV", u"/music/a.wvc"},
        {u"/music/a.b.wv", u"/music/a.b.wvc"},
        {u"/music.d/a", u"/music.d/a.wvc"},  // a dot in a folder name is no extension
        {u"C:\\music.d\\a", u"C:\\music.d\\a.wvc"},
        {u"a", u"a.wvc"},
        {u"/music/.wv", u"/music/.wvc"},
        {u"/m/" + std::u16string(248, u'x') + u".wv", u"/m/" + std::u16string(248, u'x') + u".wvc"},  // 255 units
        {u"/m/" + std::u16string(249, u'x') + u".wv", u""},                                           // 256: does not fit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(wavPackCorrectionName(c.name), c.expected);
    }
    EXPECT_FALSE(correctionFileExists(u""));
}

TEST_F(WavPackTest, InfoListsInTheStoredHeaderAndTrailer) {
    const std::string info = riffChunk("LIST", "INFOINAM" + le32(6) + "Vesko\0");
    const std::string adtl = riffChunk("LIST", "adtllabl" + le32(4) + "abcd");
    const struct {
        const char* what;
        std::string file;
        bool infoTag;
    } cases[] = {
        {"none", simpleWavPack(), false},
        {"INFO before the data", wvBlock(kInitialFinal, 44100, 44100, sub(kWavPackRiffHeader, riffHeader(1, 2, 44100, 16, "", info)) + audioData()), true},
        {"INFO in the trailer", simpleWavPack(sub(kWavPackRiffTrailer, info)), true},
        {"INFO after another trailer chunk", simpleWavPack(sub(kWavPackRiffTrailer, riffChunk("id3 ", "ID3") + info)), true},
        {"other list in the trailer", simpleWavPack(sub(kWavPackRiffTrailer, adtl)), false},
        {"trailer of 6 bytes", simpleWavPack(sub(kWavPackRiffTrailer, "LIST\x04\x00")), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(c.file);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.infoTag ? std::vector<std::string>{"INFOTAG"} : std::vector<std::string>{});
    }
}

TEST_F(WavPackTest, Fixtures) {
    const struct {
        const char* file;
        std::map<std::string, std::string> audio;
        std::vector<std::string> extra;
        // ffprobe's format duration of the same file, unless said.
        double duration;
    } cases[] = {
        {"wavpack.wv",
         {{"version", "4"}, {"hybrid", "Lossless"}, {"codec", "test-wav-0001"}, {"samplerate", "44100"}, {"sampleratek", "44.10"},
          {"bitdepth", "16"}, {"channel", "2"}, {"bitrate", "439520.00"}},
         {}, 1.0},
        {"wavpack_hybrid_wvc.wv", {{"version", "4(Hybrid)"}, {"hybrid", "Lossy"}, {"samplerate", "44100"}}, {}, 0.25},
        {"wavpack_hybrid_info_trailer.wv", {{"version", "4"}, {"hybrid", "Lossy"}}, {"INFOTAG"}, 0.25},
        {"wavpack_8bit_mono_37800.wv", {{"samplerate", "37800"}, {"bitdepth", "8"}, {"channel", "1"}}, {}, 0.25},
        {"wavpack_51_extensible.wv", {{"codec", "test-wav-FFFE"}, {"samplerate", "48000"}, {"channel", "6"}}, {}, 0.05},
        // ffprobe has no duration for it; 2,400 samples (the first of its
        // four blocks) at 48 kHz, as the source.
        {"wavpack_51_unknown_length.wv", {{"channel", "6"}}, {}, 0.05},
        {"wavpack_r_junk_before_fmt.wv", {{"codec", "test-wav-0001"}, {"samplerate", "44100"}, {"channel", "2"}, {"bitdepth", "16"}},
         {}, 0.25},
        {"wavpack_apetag.wv", {{"samplerate", "44100"}}, {"APE"}, 0.25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto path = test::fixture(c.file);
        auto r = test::analyse(path);
        ASSERT_EQ(r->formatCode, VESKO_FMT_WAVPACK);
        ASSERT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, "");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(path)));
        EXPECT_NEAR(r->duration, c.duration, c.duration * 0.01);
        ASSERT_EQ(r->audioCount, 1);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "WAVPACK/AUDIO");
        for (const auto& [name, value] : c.audio) EXPECT_EQ(f[name], value) << name;
        EXPECT_EQ(lines(r->extraText, r->extraCount), c.extra);
    }
    // The APE tag's bytes are not in the bit rate.
    const std::string ape = readFile(test::fixture("wavpack_apetag.wv"));
    const uint32_t apeSize = readU32LE(asBytes(ape), ape.size() - 20);
    auto r = test::analyse(test::fixture("wavpack_apetag.wv"));
    EXPECT_EQ(test::fields(r->audioText[0])["bitrate"], format("%.2f", (ape.size() - apeSize) * 8 / 0.25));

    r = test::analyse(test::fixture("wavpack_hybrid_wvc.wvc"));
    EXPECT_EQ(r->formatCode, VESKO_FMT_WAVPACK);
    EXPECT_EQ(std::string(r->errorText), cp("[WavPack] RIFFヘッダが見つからない又はWVCファイルです"));
}

TEST_F(WavPackTest, HybridFixtureWithoutItsCorrectionFile) {
    const std::string bytes = readFile(test::fixture("wavpack_hybrid_wvc.wv"));
    auto r = analyse(bytes, "alone.wv");
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["version"], "4");
    EXPECT_EQ(f["hybrid"], "Lossy");
}

// ======================================================================
// Both
// ======================================================================

TEST(FlacWavPackRendering, ShippedTemplates) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("flac_16bit.flac"));
    EXPECT_EQ(test::one(*r), "FLAC 265.67kbps 44100Hz 16bit 2ch 00:00:01.000");
    r = test::analyse(test::fixture("wavpack_hybrid_wvc.wv"));
    EXPECT_EQ(std::string(r->audioText[0]), "WavPack 4(Hybrid) Lossy (PCM) 297.73kbps 44100Hz 16bit 2ch");
    test::useTestData();
}

TEST(FlacWavPackRobustness, EveryPrefixOfTheFixturesEndsCleanly) {
    // Cut files of both formats: the walks end at the end of the file, no
    // read goes past a buffer (the sanitizer build checks that), and nothing
    // is reported as an exception.
    test::useTestData();
    test::TempDir dir;
    const struct {
        const char* file;
        int32_t code;
    } cases[] = {
        {"flac_cuesheet_pictures_chapter.flac", VESKO_FMT_FLAC},
        {"flac_behind_id3v2.flac", VESKO_FMT_FLAC},
        {"wavpack_51_unknown_length.wv", VESKO_FMT_WAVPACK},
        {"wavpack_hybrid_info_trailer.wv", VESKO_FMT_WAVPACK},
        {"wavpack_apetag.wv", VESKO_FMT_WAVPACK},
    };
    for (const auto& c : cases) {
        const std::string bytes = readFile(test::fixture(c.file));
        for (size_t n = 0; n < bytes.size(); n += (n < 256 ? 1 : 97)) {
            auto r = analyseAs(dir, "cut.bin", bytes.substr(0, n), c.code);
            ASSERT_EQ(std::string(r->errorText).find("[Exception]"), std::string::npos) << c.file << " cut at " << n;
        }
    }
}

}  // namespace
}  // namespace vesko
