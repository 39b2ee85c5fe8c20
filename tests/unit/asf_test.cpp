// Tests of the ASF (Windows Media) analyser.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// ---- little builders of ASF bytes ----

std::string le16(uint32_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
std::string le64(uint64_t v) { return le32(static_cast<uint32_t>(v)) + le32(static_cast<uint32_t>(v >> 32)); }

// GUID text -> the bytes as ASF stores them (first three fields little-endian).
std::string guid(const char* text) {
    unsigned a = 0, b = 0, c = 0, d[8] = {};
    std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &a, &b, &c, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6], &d[7]);
    std::string out = le32(a) + le16(b) + le16(c);
    for (unsigned x : d) out += static_cast<char>(x);
    return out;
}

const char* const kHeader = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
const char* const kData = "75B22636-668E-11CF-A6D9-00AA0062CE6C";
const char* const kHeaderExtension = "5FBF03B5-A92E-11CF-8EE3-00C00C205365";
const char* const kFileProperties = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
const char* const kStreamProperties = "B7DC0791-A9B7-11CF-8EE6-00C00C205365";
const char* const kExtendedStream = "14E6A5CB-C672-4332-8399-A96952065B5A";
const char* const kCodecList = "86D15240-311D-11D0-A3A4-00A0C90348F6";
const char* const kContentEncryption = "2211B3FB-BD23-11D2-B4B7-00A0C955FC6E";
const char* const kVideoMedia = "BC19EFC0-5B4D-11CF-A8FD-00805F5C442B";
const char* const kAudioMedia = "F8699E40-5B4D-11CF-A8FD-00805F5C442B";
const char* const kCommandMedia = "59DACFC0-59E6-11D0-A3AC-00A0C90348F6";
const char* const kOther = "11111111-2222-3333-4444-555555555555";

// An object: GUID, size (24 + body unless declared), body.
std::string object(const char* id, const std::string& body, std::optional<uint64_t> declared = std::nullopt) {
    return guid(id) + le64(declared.value_or(24 + body.size())) + body;
}

std::string fileProperties(uint64_t playDuration, uint64_t preroll, uint32_t maxBitRate) {
    return object(kFileProperties, std::string(16, '\x11') + le64(0) + le64(0) + le64(0) + le64(playDuration) + le64(playDuration) +
                                       le64(preroll) + le32(2) + le32(3200) + le32(3200) + le32(maxBitRate));
}

// Stream Properties data: type, error correction GUID, time offset,
// lengths, flags (stream number), reserved, then the type-specific data.
std::string streamData(const char* type, uint16_t number, const std::string& specific) {
    return guid(type) + guid(kOther) + le64(0) + le32(static_cast<uint32_t>(specific.size())) + le32(0) + le16(number) + le32(0) +
           specific;
}
std::string audioStream(uint16_t number, uint16_t tag, uint16_t channels, uint32_t rate, uint32_t bytesPerSecond, uint16_t bits) {
    return object(kStreamProperties, streamData(kAudioMedia, number,
                                                le16(tag) + le16(channels) + le32(rate) + le32(bytesPerSecond) + le16(4) + le16(bits) + le16(0)));
}
std::string videoStream(uint16_t number, int32_t width, int32_t height, uint16_t bits, const std::string& fourcc) {
    const std::string bitmap = le32(40) + le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)) + le16(1) + le16(bits) +
                               fourcc + std::string(20, '\0');
    return object(kStreamProperties, streamData(kVideoMedia, number,
                                                le32(static_cast<uint32_t>(width)) + le32(static_cast<uint32_t>(height)) + "\x02" +
                                                    le16(static_cast<uint16_t>(bitmap.size())) + bitmap));
}

struct PayloadSystem {
    uint16_t dataSize;
    std::string info;
};

// Extended Stream Properties: names are (language index, UTF-16 bytes of
// the name), their lengths in bytes; `tail` follows the two lists (an
// embedded Stream Properties Object, or anything).
std::string extendedStream(uint16_t number, uint32_t bitRate, uint64_t timePerFrame, const std::vector<std::string>& names = {},
                           const std::vector<PayloadSystem>& systems = {}, const std::string& tail = "", uint16_t nameCount = 0xFFFF) {
    std::string body = le64(0) + le64(0) + le32(bitRate) + le32(3000) + le32(0) + le32(bitRate) + le32(3000) + le32(0) + le32(0) +
                       le32(2) + le16(number) + le16(0) + le64(timePerFrame) +
                       le16(nameCount == 0xFFFF ? static_cast<uint16_t>(names.size()) : nameCount) +
                       le16(static_cast<uint16_t>(systems.size()));
    for (const auto& n : names) body += le16(0) + le16(static_cast<uint16_t>(n.size())) + n;
    for (const auto& s : systems) body += guid(kOther) + le16(s.dataSize) + le32(static_cast<uint32_t>(s.info.size())) + s.info;
    return object(kExtendedStream, body + tail);
}

std::string utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

// Codec list entries: type and name (no description, two bytes of info).
std::string codecList(const std::vector<std::pair<uint16_t, std::string>>& entries, uint32_t count = 0xFFFFFFFF) {
    std::string body = guid(kOther) + le32(count == 0xFFFFFFFF ? static_cast<uint32_t>(entries.size()) : count);
    for (const auto& [type, name] : entries) {
        const std::string n = utf16(name + std::string(1, '\0'));
        body += le16(type) + le16(static_cast<uint16_t>(n.size() / 2)) + n + le16(0) + le16(2) + "\x61\x01";
    }
    return object(kCodecList, body);
}

std::string contentEncryption(uint32_t secretLength, const std::string& secret, const std::string& protection) {
    return object(kContentEncryption, le32(secretLength) + secret + le32(static_cast<uint32_t>(protection.size())) + protection);
}

std::string headerExtension(const std::string& inner) {
    return object(kHeaderExtension, guid(kOther) + le16(6) + le32(static_cast<uint32_t>(inner.size())) + inner);
}

std::string dataObject() { return object(kData, std::string(16, '\x11') + le64(0) + le16(0x0101)); }

// Header Object around the children, then a Data Object.
std::string asfFile(const std::vector<std::string>& children, const std::string& trailer = dataObject()) {
    std::string inner;
    for (const auto& c : children) inner += c;
    return guid(kHeader) + le64(30 + inner.size()) + le32(static_cast<uint32_t>(children.size())) + "\x01\x02" + inner + trailer;
}

class AsfTest : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }

    // The analyser on crafted bytes, with the code identification gives
    // files of audio only.
    std::unique_ptr<AnalysisRecord> analyse(const std::string& bytes, int32_t code = VESKO_FMT_ASF_AUDIO) {
        auto record = test::makeRecord(dir.write("a.asf", bytes));
        record->formatCode = code;
        GetFileInfo(record.get());
        return record;
    }
    static std::map<std::string, std::string> video(const AnalysisRecord& r, int i = 0) { return test::fields(r.videoText[i]); }
    static std::map<std::string, std::string> audio(const AnalysisRecord& r, int i = 0) { return test::fields(r.audioText[i]); }

    test::TempDir dir;
};

// ---- real files ----

struct FixtureCase {
    const char* name;
    int32_t code;
    const char* label;
    double duration;     // whole seconds
    double ffprobe;      // ffprobe's duration of the same file
    std::vector<std::map<std::string, std::string>> video, audio;
};

// Play times are whole seconds: (play duration / 10^7) - (preroll / 1000),
// each truncated. ffmpeg writes a preroll of 3,100 ms, so every file here
// loses the 0.1 s of the preroll's truncation and the fraction of its
// length: ffprobe subtracts the preroll exactly.
TEST_F(AsfTest, RealFilesGiveTheirStreamsAndPlayTime) {
    const std::map<std::string, std::string> wma2_32k = {{"tpl", "WINDOWSMEDIA/AUDIO"}, {"codec", "Windows Media Audio V8"},
        {"samplerate", "44100"}, {"sampleratek", "44.10"}, {"bitdepth", "16"}, {"channel", "2"}, {"bitrate", "32000.00"},
        {"bitratek", "32.00"}};
    std::map<std::string, std::string> wma2_64k = wma2_32k;
    wma2_64k["bitrate"] = "64000.00";
    wma2_64k["bitratek"] = "64.00";
    std::map<std::string, std::string> wma2_bytag = wma2_32k;
    wma2_bytag["codec"] = "test-wav-0161";
    const std::map<std::string, std::string> wmv2 = {{"tpl", "WINDOWSMEDIA/VIDEO2"}, {"codec", "wmv2"}, {"width", "160"},
        {"height", "120"}, {"bitdepth", "24"}, {"framerate", "0.00"}, {"bitrate", "150000.00"}, {"bitratek", "150.00"}};
    std::map<std::string, std::string> wmv1 = wmv2;
    wmv1["codec"] = "wmv1";
    std::map<std::string, std::string> wmv2_ext = wmv2;
    wmv2_ext["tpl"] = "WINDOWSMEDIA/VIDEO1";
    wmv2_ext["framerate"] = "10.00";
    wmv2_ext["bitrate"] = "160000.00";
    wmv2_ext["bitratek"] = "160.00";
    const std::map<std::string, std::string> wma1 = {{"tpl", "WINDOWSMEDIA/AUDIO"}, {"codec", "wmav1"},
        {"samplerate", "8000"}, {"sampleratek", "8.00"}, {"bitdepth", "16"}, {"channel", "1"}, {"bitrate", "24000.00"},
        {"bitratek", "24.00"}};

    const FixtureCase cases[] = {
        {"asf_wmav2_audio_only.wma", VESKO_FMT_ASF_AUDIO, "WindowsMedia", 1, 1.021, {}, {wma2_32k}},
        {"asf_wmv2_wmav2.wmv", VESKO_FMT_ASF_VIDEO, "WindowsMedia", 1, 1.046, {wmv2}, {wma2_64k}},  // ffprobe's streams: 1.046
        {"asf_wmv1_video_only.asf", VESKO_FMT_ASF_VIDEO, "WindowsMedia", 1, 1.000, {wmv1}, {}},
        {"asf_wmav1_mono_4s.wma", VESKO_FMT_ASF_AUDIO, "WindowsMedia", 4, 4.032, {}, {wma1}},
        {"asf_drm_wmav2.wma", VESKO_FMT_ASF_AUDIO, "WindowsMedia(DRM)", 1, 1.021, {}, {wma2_bytag}},
        {"asf_ext_stream_props.wmv", VESKO_FMT_ASF_VIDEO, "WindowsMedia", 1, 1.046, {wmv2_ext}, {wma2_64k}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = test::analyse(test::fixture(c.name));
        EXPECT_EQ(r->formatCode, c.code);
        EXPECT_STREQ(r->errorText, "");
        EXPECT_STREQ(r->formatName, c.label);
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        EXPECT_LT(c.ffprobe - r->duration, 1.0);  // never more than the truncations
        ASSERT_EQ(r->videoCount, static_cast<int32_t>(c.video.size()));
        ASSERT_EQ(r->audioCount, static_cast<int32_t>(c.audio.size()));
        for (size_t i = 0; i < c.video.size(); ++i) EXPECT_EQ(video(*r, static_cast<int>(i)), c.video[i]);
        for (size_t i = 0; i < c.audio.size(); ++i) EXPECT_EQ(audio(*r, static_cast<int>(i)), c.audio[i]);
        EXPECT_EQ(r->extraCount, 0);
    }
}

// The four-second file is long enough for whole seconds to meet ffprobe's
// play time within 1 %.
TEST_F(AsfTest, PlayTimeWithinOnePercentOfFfprobe) {
    auto r = test::analyse(test::fixture("asf_wmav1_mono_4s.wma"));
    EXPECT_NEAR(r->duration, 4.032, 4.032 * 0.01);
}

TEST_F(AsfTest, ShippedTemplatesNameTheCodecsOfTheHeader) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("asf_drm_wmav2.wma"));
    EXPECT_STREQ(r->formatName, "WindowsMedia(DRM)");
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(std::string(r->audioText[0]), "Windows Media Audio v2 32.00kbps 44100Hz 16bit 2ch");
    auto v = test::analyse(test::fixture("asf_ext_stream_props.wmv"));
    ASSERT_EQ(v->videoCount, 1);
    EXPECT_EQ(std::string(v->videoText[0]), "wmv2 160x120 10.00fps 160.00kbps");
    EXPECT_EQ(test::one(*v), "WindowsMedia wmv2 160x120 10.00fps 160.00kbps Windows Media Audio V8 64.00kbps 44100Hz 16bit 2ch 00:00:01.000");
}

// ---- play time ----

TEST_F(AsfTest, PlayTimeIsWholeSecondsLessThePreroll) {
    const struct {
        uint64_t playDuration, preroll;
        double duration;
    } cases[] = {
        {1234567890, 3000, 120},     // 123.456789 s - 3 s
        {1234567890, 3999, 120},     // the preroll truncated on its own
        {40000000, 0, 4},
        {9999999, 0, 0},
        {30000000, 3000, 0},
        {20000000, 3100, 0.0},       // a preroll beyond the play time leaves the duration unwritten (0 in a zeroed record)
        {0, 3100, 0.0},              // a broadcast file: no play time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.playDuration);
        auto r = analyse(asfFile({fileProperties(c.playDuration, c.preroll, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16)}));
        EXPECT_STREQ(r->errorText, "");
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
    }
}

TEST_F(AsfTest, WithoutFilePropertiesTheDurationIsNotWritten) {
    auto record = test::makeRecord(dir.write("a.asf", asfFile({audioStream(1, 0x0161, 2, 44100, 4000, 16)})));
    record->formatCode = VESKO_FMT_ASF_AUDIO;
    record->duration = -1.0;
    GetFileInfo(record.get());
    EXPECT_DOUBLE_EQ(record->duration, -1.0);
    EXPECT_EQ(record->audioCount, 1);

    // The crafted file of the identification tests: stream and no File Properties.
    auto fixture = test::makeRecord(test::fixture("asf_no_file_properties.asf"));
    fixture->formatCode = VESKO_FMT_ASF_AUDIO;
    GetFileInfo(fixture.get());
    EXPECT_STREQ(fixture->errorText, "");
    EXPECT_EQ(fixture->audioCount, 1);
    EXPECT_DOUBLE_EQ(fixture->duration, 0.0);
}

// ---- lines ----

TEST_F(AsfTest, FrameRateFromTheAverageTimePerFrame) {
    auto r = analyse(asfFile({fileProperties(100000000, 0, 1000000), videoStream(1, 320, 240, 24, "WMV2"),
                              headerExtension(extendedStream(1, 500000, 333667))}),
                     VESKO_FMT_ASF_VIDEO);
    ASSERT_EQ(r->videoCount, 1);
    const auto v = video(*r);
    EXPECT_EQ(v.at("tpl"), "WINDOWSMEDIA/VIDEO1");
    EXPECT_EQ(v.at("framerate"), "29.97");
    EXPECT_EQ(v.at("bitrate"), "500000.00");
    EXPECT_EQ(v.at("codec"), "test-avi-WMV2");  // no codec list
    EXPECT_EQ(v.at("width"), "320");
    EXPECT_EQ(v.at("height"), "240");
}

TEST_F(AsfTest, VideoBitRateFromTheMaximumLessTheAudio) {
    const struct {
        const char* what;
        std::string extension;
        uint32_t maxBitRate;
        const char* tpl;
        const char* bitRate;
    } cases[] = {
        {"no extended stream properties", "", 1000000, "WINDOWSMEDIA/VIDEO2", "872000.00"},
        {"extended properties of another stream", headerExtension(extendedStream(5, 300000, 400000)), 1000000,
         "WINDOWSMEDIA/VIDEO2", "872000.00"},
        {"extended properties with bit rate 0", headerExtension(extendedStream(1, 0, 400000)), 1000000, "WINDOWSMEDIA/VIDEO1",
         "872000.00"},
        // Audio above the maximum would leave a negative rate: 0.
        {"audio above the maximum", "", 100000, "WINDOWSMEDIA/VIDEO2", "0.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> children = {fileProperties(100000000, 0, c.maxBitRate), videoStream(1, 320, 240, 24, "WMV2"),
                                             audioStream(2, 0x0161, 2, 44100, 16000, 16)};
        if (!c.extension.empty()) children.push_back(c.extension);
        auto r = analyse(asfFile(children), VESKO_FMT_ASF_VIDEO);
        ASSERT_EQ(r->videoCount, 1);
        EXPECT_EQ(video(*r).at("tpl"), c.tpl);
        EXPECT_EQ(video(*r).at("bitrate"), c.bitRate);
        EXPECT_EQ(audio(*r).at("bitrate"), "128000.00");
    }
}

TEST_F(AsfTest, CodecListNamesEveryStreamAfterItsFirstEntryOfTheType) {
    auto r = analyse(asfFile({fileProperties(100000000, 0, 300000), audioStream(1, 0x0161, 2, 44100, 4000, 16),
                              audioStream(2, 0x0160, 1, 22050, 2000, 16), videoStream(3, 176, 144, 24, "MP43"),
                              codecList({{2, "First Audio"}, {1, "The Video"}, {2, "Second Audio"}})}),
                     VESKO_FMT_ASF_VIDEO);
    ASSERT_EQ(r->audioCount, 2);
    EXPECT_EQ(audio(*r, 0).at("codec"), "First Audio");
    EXPECT_EQ(audio(*r, 1).at("codec"), "First Audio");
    EXPECT_EQ(audio(*r, 1).at("samplerate"), "22050");
    ASSERT_EQ(r->videoCount, 1);
    EXPECT_EQ(video(*r).at("codec"), "The Video");
    EXPECT_EQ(video(*r).at("bitrate"), "252000.00");

    // A list without a video entry: the video codec comes from the FourCC.
    auto s = analyse(asfFile({fileProperties(100000000, 0, 300000), videoStream(3, 176, 144, 24, "MP43"),
                              codecList({{2, "Only Audio"}})}),
                     VESKO_FMT_ASF_VIDEO);
    ASSERT_EQ(s->videoCount, 1);
    EXPECT_EQ(video(*s).at("codec"), "test-avi-MP43");
}

TEST_F(AsfTest, CodecTextIsCutTo127Bytes) {
    auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16),
                              codecList({{2, std::string(200, 'n')}})}));
    ASSERT_EQ(r->audioCount, 1);
    EXPECT_EQ(audio(*r).at("codec"), std::string(127, 'n'));
}

TEST_F(AsfTest, StreamsOfOtherTypesAndBeyondTheTableAddNoLine) {
    std::vector<std::string> children = {fileProperties(100000000, 0, 32000),
                                         object(kStreamProperties, streamData(kCommandMedia, 1, std::string(16, '\0')))};
    for (uint16_t n = 2; n < 14; ++n) children.push_back(audioStream(n, 0x0161, 2, 44100, 4000 + n, 16));
    auto r = analyse(asfFile(children));
    ASSERT_EQ(r->audioCount, 10);
    EXPECT_EQ(r->videoCount, 0);
    EXPECT_EQ(audio(*r, 9).at("bitrate"), "32088.00");  // streams 2 to 11: 4,011 bytes per second
}

// ---- protection ----

TEST_F(AsfTest, ContentEncryptionNamesTheProtectionType) {
    const struct {
        const char* what;
        std::string object;
        const char* label;
    } cases[] = {
        {"DRM", contentEncryption(4, "abcd", std::string("DRM\0", 4)), "WindowsMedia(DRM)"},
        {"no terminating NUL", contentEncryption(0, "", "DRM"), "WindowsMedia(DRM)"},
        {"cut to 31 bytes", contentEncryption(0, "", "ProtectionTypeWithAVeryLongName"), "WindowsMedia(ProtectionTypeWith"},
        // Secret data that runs past the object leaves no protection type.
        {"secret data past the object", contentEncryption(1000, "abcd", "DRM"), "WindowsMedia()"},
        // A protection type longer than what the object holds: what it holds.
        {"protection type past the object", object(kContentEncryption, le32(0) + le32(500) + "DRM"), "WindowsMedia(DRM)"},
        {"object of its header only", object(kContentEncryption, ""), "WindowsMedia()"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), c.object, audioStream(1, 0x0161, 2, 44100, 4000, 16)}));
        EXPECT_STREQ(r->formatName, c.label);
        EXPECT_EQ(r->audioCount, 1);  // the walk went on after the object
    }
}

// ---- failures and faults ----

TEST_F(AsfTest, NotAnAsfFile) {
    for (const std::string& bytes : {std::string("RIFF....AVI LIST"), std::string(), std::string(15, '\0')}) {
        auto r = analyse(bytes);
        EXPECT_EQ(std::string(r->errorText), cp("[WindowsMedia] WindowsMedia形式ではありません"));
        EXPECT_STREQ(r->formatName, "WindowsMedia");
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(bytes.size()));
    }
    auto missing = test::makeRecord(dir.path() / "missing.wma");
    missing->formatCode = VESKO_FMT_ASF_AUDIO;
    GetFileInfo(missing.get());
    EXPECT_EQ(std::string(missing->errorText), cp("ファイルのオープンに失敗"));
}

TEST_F(AsfTest, TheDataObjectEndsTheWalk) {
    // Nothing after the Data Object is read: a stream behind it adds nothing.
    auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16)},
                             dataObject() + audioStream(2, 0x0161, 2, 44100, 4000, 16)));
    EXPECT_EQ(r->audioCount, 1);
}

// An object smaller than its header ends the walk; what came before it
// stays.
TEST_F(AsfTest, ObjectSizeBelowItsHeaderEndsTheWalk) {
    for (uint64_t size : {0ull, 1ull, 8ull, 23ull}) {
        SCOPED_TRACE(size);
        auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16),
                                  object(kOther, std::string(40, '\0'), size), audioStream(2, 0x0161, 2, 44100, 4000, 16)}));
        EXPECT_STREQ(r->errorText, "");
        EXPECT_EQ(r->audioCount, 1);
        EXPECT_DOUBLE_EQ(r->duration, 10);
    }
    // A read object of such a size: no stream is recorded from it.
    auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), object(kStreamProperties, "", 16)}));
    EXPECT_STREQ(r->errorText, "");
    EXPECT_EQ(r->audioCount, 0);
}

// Objects cut short read their missing fields as 0.
TEST_F(AsfTest, ShortObjectsReadMissingFieldsAsZero) {
    // File Properties up to the preroll: maximum bit rate 0.
    const std::string props = fileProperties(100000000, 2000, 999999);
    auto r = analyse(asfFile({object(kFileProperties, props.substr(24, 64)), videoStream(1, 320, 240, 24, "WMV2")}),
                     VESKO_FMT_ASF_VIDEO);
    EXPECT_DOUBLE_EQ(r->duration, 8);
    ASSERT_EQ(r->videoCount, 1);
    EXPECT_EQ(video(*r).at("bitrate"), "0.00");

    // A video Stream Properties Object that ends inside the bitmap header.
    const std::string stream = videoStream(1, 320, 240, 24, "WMV2");
    auto s = analyse(asfFile({fileProperties(100000000, 0, 1000), object(kStreamProperties, stream.substr(24, 65 + 8))}),
                     VESKO_FMT_ASF_VIDEO);
    ASSERT_EQ(s->videoCount, 1);
    EXPECT_EQ(video(*s).at("width"), "320");
    EXPECT_EQ(video(*s).at("height"), "0");
    EXPECT_EQ(video(*s).at("codec"), "test-avi-four-spaces");

    // The last object of the file cut by its end.
    const std::string file = asfFile({fileProperties(100000000, 0, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16)}, "");
    auto t = analyse(file.substr(0, file.size() - 10));
    ASSERT_EQ(t->audioCount, 1);
    EXPECT_EQ(audio(*t).at("samplerate"), "44100");
    EXPECT_EQ(audio(*t).at("bitdepth"), "0");
}

TEST_F(AsfTest, ObjectsRunningPastTheEndEndTheWalk) {
    for (uint64_t size : {uint64_t{1} << 40, UINT64_MAX, UINT64_MAX - 23}) {
        SCOPED_TRACE(size);
        auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), audioStream(1, 0x0161, 2, 44100, 4000, 16),
                                  object(kOther, std::string(8, '\0'), size), audioStream(2, 0x0161, 2, 44100, 4000, 16)}));
        EXPECT_STREQ(r->errorText, "");
        EXPECT_EQ(r->audioCount, 1);
    }
    // A read object of an oversized size: read as far as the file goes.
    auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), object(kCodecList, guid(kOther) + le32(1000), UINT64_MAX),
                              audioStream(1, 0x0161, 2, 44100, 4000, 16)}));
    EXPECT_STREQ(r->errorText, "");
    EXPECT_EQ(r->audioCount, 0);

    // The crafted files of the identification tests.
    const struct {
        const char* name;
        int32_t audioLines;
    } files[] = {{"asf_fault_object_size0.asf", 0}, {"asf_fault_file_props_size8.asf", 0}, {"asf_fault_stream_props_size16.asf", 0},
                 {"asf_fault_size0_after_audio.asf", 1}, {"asf_object_past_end_after_audio.asf", 1}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        auto record = test::makeRecord(test::fixture(f.name));
        record->formatCode = VESKO_FMT_ASF_AUDIO;
        GetFileInfo(record.get());
        EXPECT_STREQ(record->errorText, "");
        EXPECT_EQ(record->audioCount, f.audioLines);
    }
}

// The header extension is walked like the header: its objects count, and
// an Extended Stream Properties Object may carry the Stream Properties of
// its stream after its names and payload extension systems.
TEST_F(AsfTest, ExtendedStreamPropertiesCarryAStream) {
    const std::string embedded = audioStream(2, 0x0161, 2, 48000, 12000, 16);
    const struct {
        const char* what;
        std::string extended;
        int32_t audioLines;
    } cases[] = {
        {"no names", extendedStream(2, 96000, 0, {}, {}, embedded), 1},
        {"a name", extendedStream(2, 96000, 0, {utf16("Audio")}, {}, embedded), 1},
        {"names and payload extension systems",
         extendedStream(2, 96000, 0, {utf16("Audio"), utf16("Ton")}, {{2, "ab"}, {0xFFFF, ""}}, embedded), 1},
        // Without the Stream Properties header after the lists, nothing
        // that follows is taken for one.
        {"names, no stream", extendedStream(2, 96000, 0, {utf16("Audio")}, {}, std::string(80, '\0')), 0},
        {"the next object is not read as its stream", extendedStream(2, 96000, 0, {utf16("Audio")}), 0},
        // Counts that promise more than the object holds stop the lists.
        {"name count beyond the object", extendedStream(2, 96000, 0, {utf16("Audio")}, {}, embedded, 40), 0},
        {"name length beyond the object", extendedStream(2, 96000, 0, {}, {}, le16(0) + le16(5000) + embedded, 1), 0},
        {"embedded object of a size beyond the object",
         extendedStream(2, 96000, 0, {}, {}, embedded.substr(0, 16) + le64(UINT64_MAX) + embedded.substr(24)), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = analyse(asfFile({fileProperties(100000000, 0, 1000000), headerExtension(c.extended),
                                  audioStream(1, 0x0160, 1, 22050, 2000, 16), videoStream(3, 176, 144, 24, "WMV2")}),
                         VESKO_FMT_ASF_VIDEO);
        EXPECT_STREQ(r->errorText, "");
        // The extended stream's audio, then the top-level audio stream.
        ASSERT_EQ(r->audioCount, 1 + c.audioLines);
        if (c.audioLines) {
            EXPECT_EQ(audio(*r, 0).at("samplerate"), "48000");
        }
        EXPECT_EQ(audio(*r, c.audioLines).at("samplerate"), "22050");
        ASSERT_EQ(r->videoCount, 1);
        const int64_t audioBits = 16000 + (c.audioLines ? 96000 : 0);
        EXPECT_EQ(video(*r).at("bitrate"), std::to_string(1000000 - audioBits) + ".00");
    }
}

TEST_F(AsfTest, CodecListEntriesStayInsideTheObject) {
    const struct {
        const char* what;
        std::string list;
        const char* codec;
    } cases[] = {
        {"count beyond the entries", codecList({{2, "Audio"}}, 1000000), "Audio"},
        {"entry cut in its name", codecList({{1, "Video"}, {2, "Audio"}}).substr(0, 24 + 20 + 8 + 14 + 4 + 4), "test-wav-0161"},
        {"no entries", codecList({}, 0xFFFFFFFE), "test-wav-0161"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string list = c.list;
        list.replace(16, 8, le64(list.size()));  // its size as cut
        auto r = analyse(asfFile({fileProperties(100000000, 0, 32000), list, audioStream(1, 0x0161, 2, 44100, 4000, 16)}));
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(audio(*r).at("codec"), c.codec);
    }
}

// A header of objects of 24 bytes each: the walk is bounded.
TEST_F(AsfTest, ManyEmptyObjectsEndTheWalk) {
    std::vector<std::string> children = {fileProperties(100000000, 0, 32000)};
    for (int i = 0; i < 5000; ++i) children.push_back(object(kOther, ""));
    children.push_back(audioStream(1, 0x0161, 2, 44100, 4000, 16));
    auto r = analyse(asfFile(children));
    EXPECT_STREQ(r->errorText, "");
    EXPECT_DOUBLE_EQ(r->duration, 10);
    EXPECT_EQ(r->audioCount, 0);  // beyond the objects looked at
}

}  // namespace
}  // namespace vesko
