// Tests of the AC-3 sync search, header decoder, description line and file
// analyser.
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
#include "audio/ac3.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;
using test::cp;

// Bits written most significant first, padded with zero bits to whole bytes.
class BitWriter {
public:
    void put(uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits_.push_back((value >> i) & 1);
    }
    std::string bytes(size_t atLeast = 0) const {
        std::string out((bits_.size() + 7) / 8, '\0');
        for (size_t i = 0; i < bits_.size(); ++i)
            if (bits_[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
        if (out.size() < atLeast) out.resize(atLeast, '\0');
        return out;
    }

private:
    std::vector<bool> bits_;
};

// The syncinfo and bit stream information fields up to lfeon (A/52 5.3.1,
// 5.3.2); the optional mix level fields are written only where acmod has
// them, with all bits set so that a decoder that skips the wrong ones reads
// a wrong dsurmod or lfeon.
struct Ac3Fields {
    int fscod = 0;
    int frmsizecod = 28;
    int bsid = 8;
    int bsmod = 0;
    int acmod = 7;
    int dsurmod = 0;
    int lfeon = 1;
};

std::string ac3Header(const Ac3Fields& f, size_t size = 16) {
    BitWriter w;
    w.put(0x0B77, 16);
    w.put(0xA5A5, 16);  // crc1
    w.put(f.fscod, 2);
    w.put(f.frmsizecod, 6);
    w.put(f.bsid, 5);
    w.put(f.bsmod, 3);
    w.put(f.acmod, 3);
    if ((f.acmod & 1) && f.acmod != 1) w.put(3, 2);  // cmixlev
    if (f.acmod & 4) w.put(3, 2);                    // surmixlev
    if (f.acmod == 2) w.put(f.dsurmod, 2);
    w.put(f.lfeon, 1);
    w.put(0x7F, 7);  // dialnorm and whatever follows
    return w.bytes(size);
}

bool decode(Ac3Info& info, const std::string& data) {
    return decodeAc3Header(info, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

std::string message(const Ac3Info& info) { return std::string(info.message); }

int32_t findSync(const std::string& data, size_t start = 0) {
    return findAc3Sync(reinterpret_cast<const uint8_t*>(data.data()), data.size(), start);
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The record of the AC-3 analyser run through the dispatcher on a file,
// whatever its content would be identified as.
std::unique_ptr<AnalysisRecord> analyseAsAc3(const std::filesystem::path& path) {
    auto record = test::makeRecord(path);
    record->formatCode = VESKO_FMT_AC3;
    GetFileInfo(record.get());
    return record;
}

// ---- sync search ----

TEST(Ac3Sync, FindsTheFirstSyncWithSixBytesFromIt) {
    struct Case {
        const char* name;
        std::string data;
        size_t start;
        int32_t expected;
    };
    const std::string frame = bytes({0x0B, 0x77, 1, 2, 3, 4});
    const Case cases[] = {
        {"at the start", frame, 0, 0},
        {"behind junk", "abc" + frame + frame, 0, 3},
        {"second from start", "abc" + frame + frame, 4, 9},
        {"0B without 77 is passed over", bytes({0x0B, 0x0B, 0x77, 0, 0, 0, 0}), 0, 1},
        {"77 0B is no sync", bytes({0x77, 0x0B, 0, 0, 0, 0, 0}), 0, -1},
        // p must leave six bytes: at length - 6 it is found, at length - 5 not.
        {"last possible place", std::string(10, 'x') + frame, 0, 10},
        {"one byte too late", std::string(10, 'x') + frame.substr(0, 5), 0, -1},
        {"five bytes in all", frame.substr(0, 5), 0, -1},
        {"empty", "", 0, -1},
        {"start beyond the end", frame, 100, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(findSync(c.data, c.start), c.expected) << c.name;
    EXPECT_EQ(findAc3Sync(nullptr, 100, 0), -1);
}

// ---- header decoder ----

TEST(Ac3Header, BitRateByFrameSizeCode) {
    // A/52 Table 5.18, kbit/s for frmsizecod / 2.
    const uint32_t kbps[19] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 448, 512, 576, 640};
    for (int code = 0; code <= 37; ++code) {
        Ac3Info info{};
        Ac3Fields f;
        f.frmsizecod = code;
        ASSERT_TRUE(decode(info, ac3Header(f))) << code;
        EXPECT_EQ(info.bitRate, kbps[code / 2] * 1000) << code;
        EXPECT_EQ(info.message[0], '\0');
    }
    for (int code : {38, 39, 50, 63}) {
        Ac3Info info{};
        Ac3Fields f;
        f.frmsizecod = code;
        EXPECT_FALSE(decode(info, ac3Header(f)));
        EXPECT_EQ(message(info), cp("[AC3] Unknown frmsizecod(" + std::to_string(code) + ")"));
    }
}

TEST(Ac3Header, SampleRateByFscod) {
    const std::pair<int, uint32_t> rates[] = {{0, 48000}, {1, 44100}, {2, 32000}};
    for (auto [fscod, rate] : rates) {
        Ac3Info info{};
        Ac3Fields f;
        f.fscod = fscod;
        ASSERT_TRUE(decode(info, ac3Header(f)));
        EXPECT_EQ(info.sampleRate, rate);
    }
    Ac3Info info{};
    Ac3Fields f;
    f.fscod = 3;
    EXPECT_FALSE(decode(info, ac3Header(f)));
    EXPECT_EQ(message(info), cp("[AC3] Unknown fscod(3)"));
}

TEST(Ac3Header, ChannelLayoutByAcmodAndLfe) {
    struct Case {
        int acmod;
        double channels;
        const char* config;
        const char* order;
    };
    const Case cases[] = {
        {0, 2, "1+1", "Ch1+Ch2"}, {1, 1, "1/0", "C"},         {2, 2, "2/0", "L+R"},       {3, 3, "3/0", "L+C+R"},
        {4, 3, "2/1", "L+R+S"},   {5, 4, "3/1", "L+C+R+S"}, {6, 4, "2/2", "L+R+SL+SR"}, {7, 5, "3/2", "L+C+R+SL+SR"},
    };
    for (const auto& c : cases) {
        for (int lfe : {0, 1}) {
            Ac3Info info{};
            Ac3Fields f;
            f.acmod = c.acmod;
            f.lfeon = lfe;
            ASSERT_TRUE(decode(info, ac3Header(f))) << c.acmod;
            EXPECT_DOUBLE_EQ(info.channels, c.channels + (lfe ? 0.1 : 0.0)) << c.acmod << " lfe " << lfe;
            EXPECT_STREQ(info.channelConfig, c.config) << c.acmod;
            EXPECT_EQ(std::string(info.channelOrder), std::string(c.order) + (lfe ? "+LFE" : "")) << c.acmod;
        }
    }
}

TEST(Ac3Header, DolbySurroundOnlyForTwoChannelsMarkedSo) {
    struct Case {
        int dsurmod;
        int lfeon;
        const char* order;
    };
    const Case cases[] = {
        {0, 0, "L+R"},
        {1, 0, "L+R"},
        {2, 0, "L+R:Dolby Surround"},
        {2, 1, "L+R+LFE:Dolby Surround"},
        {3, 1, "L+R+LFE"},
    };
    for (const auto& c : cases) {
        Ac3Info info{};
        Ac3Fields f;
        f.acmod = 2;
        f.dsurmod = c.dsurmod;
        f.lfeon = c.lfeon;
        ASSERT_TRUE(decode(info, ac3Header(f)));
        EXPECT_STREQ(info.channelOrder, c.order) << c.dsurmod << " " << c.lfeon;
    }
}

TEST(Ac3Header, ServiceTypeByBsmod) {
    const char* labels[8] = {"CM", "ME", "VI", "HI", "D", "C", "E", nullptr};
    for (int bsmod = 0; bsmod < 8; ++bsmod) {
        for (int acmod : {1, 2, 7}) {
            Ac3Info info{};
            Ac3Fields f;
            f.bsmod = bsmod;
            f.acmod = acmod;
            ASSERT_TRUE(decode(info, ac3Header(f)));
            const char* expected = labels[bsmod] ? labels[bsmod] : (acmod == 1 ? "VO" : "Karaoke");
            EXPECT_STREQ(info.serviceType, expected) << bsmod << " " << acmod;
        }
    }
}

TEST(Ac3Header, ShortOrUnsyncedInputFailsWithoutMessage) {
    const std::string good = ac3Header(Ac3Fields{});
    for (size_t n = 0; n <= 6; ++n) {
        Ac3Info info{};
        EXPECT_FALSE(decode(info, good.substr(0, n))) << n;
        EXPECT_EQ(info.message[0], '\0');
    }
    Ac3Info seven{};
    EXPECT_TRUE(decode(seven, good.substr(0, 7)));  // 5.1 with LFE fits in 7 bytes
    EXPECT_STREQ(seven.channelOrder, "L+C+R+SL+SR+LFE");

    std::string unsynced = good;
    unsynced[1] = 0x78;
    Ac3Info info{};
    EXPECT_FALSE(decode(info, unsynced));
    EXPECT_EQ(info.message[0], '\0');
    EXPECT_FALSE(decodeAc3Header(info, nullptr, 100));
}

TEST(Ac3Header, PlayTimeFromStreamBytesWhenAsked) {
    Ac3Info info{};
    info.streamBytes = 48000;
    info.computeDuration = 1;
    ASSERT_TRUE(decode(info, ac3Header(Ac3Fields{})));  // frmsizecod 28: 384 kbit/s
    EXPECT_DOUBLE_EQ(info.duration, 1.0);

    Ac3Info quiet{};
    quiet.streamBytes = 48000;
    ASSERT_TRUE(decode(quiet, ac3Header(Ac3Fields{})));
    EXPECT_EQ(quiet.duration, 0.0);
}

// The first syncframe headers of the encoder fixtures, as bytes.
TEST(Ac3Header, RealEncoderHeaders) {
    struct Case {
        std::string head;
        uint32_t rate, bitRate;
        double channels;
        const char *config, *order, *service;
    };
    const Case cases[] = {
        {bytes({0x0b, 0x77, 0x01, 0x42, 0x1c, 0x40, 0xeb}), 48000, 384000, 5.1, "3/2", "L+C+R+SL+SR+LFE", "CM"},
        {bytes({0x0b, 0x77, 0xcb, 0x60, 0x10, 0x40, 0x43}), 48000, 128000, 2.0, "2/0", "L+R", "CM"},
        {bytes({0x0b, 0x77, 0xf9, 0x8c, 0x48, 0x47, 0x2f}), 44100, 64000, 1.0, "1/0", "C", "VO"},
        {bytes({0x0b, 0x77, 0xa0, 0xf4, 0x8c, 0x47, 0x57}), 32000, 96000, 2.1, "2/0", "L+R+LFE:Dolby Surround", "Karaoke"},
        {bytes({0x0b, 0x77, 0x24, 0x37, 0x14, 0x40, 0xaa}), 48000, 192000, 4.0, "3/1", "L+C+R+S", "CM"},
    };
    for (const auto& c : cases) {
        Ac3Info info{};
        ASSERT_TRUE(decode(info, c.head)) << c.order;
        EXPECT_EQ(info.sampleRate, c.rate) << c.order;
        EXPECT_EQ(info.bitRate, c.bitRate) << c.order;
        EXPECT_DOUBLE_EQ(info.channels, c.channels) << c.order;
        EXPECT_STREQ(info.channelConfig, c.config);
        EXPECT_STREQ(info.channelOrder, c.order);
        EXPECT_STREQ(info.serviceType, c.service) << c.order;
    }
}

// ---- description line ----

TEST(Ac3Describe, FillsEveryPlaceholder) {
    test::useTestData();
    Ac3Info info{};
    ASSERT_TRUE(decode(info, ac3Header(Ac3Fields{})));
    std::strcpy(info.codec, "Dolby AC-3");
    auto f = test::fields(describeAc3(info));
    EXPECT_EQ(f["tpl"], "AC3/AUDIO");
    EXPECT_EQ(f["codec"], "Dolby AC-3");
    EXPECT_EQ(f["sampleratek"], "48.00");
    EXPECT_EQ(f["samplerate"], "48000");
    EXPECT_EQ(f["channel"], "5.1");
    EXPECT_EQ(f["channelconfig"], "3/2");
    EXPECT_EQ(f["channelorder"], "L+C+R+SL+SR+LFE");
    EXPECT_EQ(f["servicetype"], "CM");
    EXPECT_EQ(f["bitratek"], "384.00");
    EXPECT_EQ(f["bitrate"], "384000.00");

    // The buffer form is the same text, cut to the buffer.
    char small[12];
    describeAc3(small, sizeof small, info);
    EXPECT_EQ(std::string(small), describeAc3(info).substr(0, 11));
}

TEST(Ac3Describe, ShippedTemplate) {
    test::useShippedData();
    Ac3Info info{};
    ASSERT_TRUE(decode(info, ac3Header(Ac3Fields{})));
    std::strcpy(info.codec, "Dolby AC-3");
    EXPECT_EQ(describeAc3(info), "Dolby AC-3 384.00kbps 48000Hz 5.1ch(3/2) L+C+R+SL+SR+LFE [CM]");
    test::useTestData();
}

// ---- file analyser ----

TEST(Ac3Analyser, EncoderFixtures) {
    test::useTestData();
    struct Case {
        const char* file;
        const char* sampleRate;
        const char* bitRateK;
        const char* channel;
        const char* config;
        const char* order;
        const char* service;
        double ffprobeSeconds;  // ffprobe -show_entries format=duration (FFmpeg 5.1, Debian 12)
    };
    const Case cases[] = {
        {"ac3_stereo.ac3", "48000", "128.00", "2.0", "2/0", "L+R", "CM", 1.024},
        {"ac3_51.ac3", "48000", "384.00", "5.1", "3/2", "L+C+R+SL+SR+LFE", "CM", 1.024},
        {"ac3_mono_44k_vo.ac3", "44100", "64.00", "1.0", "1/0", "C", "VO", 0.278756},
        {"ac3_21_32k_dsur_karaoke.ac3", "32000", "96.00", "2.1", "2/0", "L+R+LFE:Dolby Surround", "Karaoke", 0.288},
        {"ac3_40_48k.ac3", "48000", "192.00", "4.0", "3/1", "L+C+R+S", "CM", 0.256},
        // 50-byte ID3v2 tag, then four frames of ac3_stereo.ac3.
        {"ac3_behind_id3v2.ac3", "48000", "128.00", "2.0", "2/0", "L+R", "CM", 0.128},
    };
    for (const auto& c : cases) {
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_AC3) << c.file;
        ASSERT_STREQ(r->errorText, "") << c.file;
        ASSERT_EQ(r->audioCount, 1) << c.file;
        EXPECT_EQ(r->videoCount, 0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["codec"], "Dolby AC-3") << c.file;
        EXPECT_EQ(f["samplerate"], c.sampleRate) << c.file;
        EXPECT_EQ(f["bitratek"], c.bitRateK) << c.file;
        EXPECT_EQ(f["channel"], c.channel) << c.file;
        EXPECT_EQ(f["channelconfig"], c.config) << c.file;
        EXPECT_EQ(f["channelorder"], c.order) << c.file;
        EXPECT_EQ(f["servicetype"], c.service) << c.file;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(std::filesystem::file_size(test::fixture(c.file))));
        EXPECT_NEAR(r->duration, c.ffprobeSeconds, c.ffprobeSeconds * 0.01) << c.file;
    }
}

TEST(Ac3Analyser, PlayTimeCountsFromTheFirstSyncframe) {
    test::useTestData();
    test::TempDir dir;
    const std::string stream = fileBytes(test::fixture("ac3_stereo.ac3")).substr(0, 4 * 512);  // 128 kbit/s
    for (size_t junk : {0u, 1u, 100u, 2041u}) {
        auto r = analyseAsAc3(dir.write("j.ac3", std::string(junk, 'J') + stream));
        ASSERT_STREQ(r->errorText, "") << junk;
        ASSERT_EQ(r->audioCount, 1) << junk;
        EXPECT_DOUBLE_EQ(r->duration, 2048 * 8 / 128000.0) << junk;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(junk + stream.size()));
    }
}

TEST(Ac3Analyser, SyncTooNearTheWindowEndFailsWithMessage) {
    test::useTestData();
    // 2,042 junk bytes put the sync word where only six bytes of the
    // 2,048-byte window remain: the header does not fit. This must not
    // leave an empty record that reads as a successful analysis.
    auto r = test::analyse(test::fixture("ac3_sync_at_window_end.ac3"));
    ASSERT_EQ(r->formatCode, VESKO_FMT_AC3);
    EXPECT_EQ(std::string(r->errorText), cp("[AC3] SyncInfoが見つかりません"));
    EXPECT_EQ(r->audioCount, 0);
    EXPECT_EQ(test::one(*r), cp("[AC3] SyncInfoが見つかりません"));
}

TEST(Ac3Analyser, FailureTexts) {
    test::useTestData();
    test::TempDir dir;
    Ac3Fields fs3;
    fs3.fscod = 3;
    Ac3Fields big;
    big.frmsizecod = 40;
    const std::string header = ac3Header(Ac3Fields{});
    struct Case {
        const char* name;
        std::string content;
        std::string error;
    };
    const Case cases[] = {
        {"no sync in the window", std::string(2048, 'x') + header, cp("[AC3] SyncInfoが見つかりません")},
        {"empty file", "", cp("[AC3] SyncInfoが見つかりません")},
        {"file ends inside the header", header.substr(0, 6), cp("[AC3] SyncInfoが見つかりません")},
        {"file ends after six header bytes", "xx" + header.substr(0, 6), cp("[AC3] SyncInfoが見つかりません")},
        {"fscod 3", ac3Header(fs3), cp("[AC3] Unknown fscod(3)")},
        {"frmsizecod 40", ac3Header(big), cp("[AC3] Unknown frmsizecod(40)")},
    };
    for (const auto& c : cases) {
        auto r = analyseAsAc3(dir.write("f.ac3", c.content));
        EXPECT_EQ(std::string(r->errorText), c.error) << c.name;
        EXPECT_EQ(r->audioCount, 0) << c.name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.content.size())) << c.name;
    }
    auto missing = analyseAsAc3(dir.path() / "missing.ac3");
    EXPECT_EQ(std::string(missing->errorText), cp("ファイルのオープンに失敗"));
}

// A leading ID3v2 tag is passed over whole: one longer than the window
// (a picture) and one whose bytes hold 0B 77 both leave the first real
// syncframe to be decoded.
TEST(Ac3Analyser, LeadingId3v2TagIsPassedOver) {
    test::useTestData();
    test::TempDir dir;
    const std::string stream = fileBytes(test::fixture("ac3_51.ac3")).substr(0, 2 * 1536);  // 384 kbit/s
    auto tag = [](const std::string& body) {
        size_t n = body.size();
        return "ID3" + bytes({3, 0, 0, static_cast<int>(n >> 21 & 0x7F), static_cast<int>(n >> 14 & 0x7F),
                              static_cast<int>(n >> 7 & 0x7F), static_cast<int>(n & 0x7F)}) +
               body;
    };
    const std::string bodies[] = {
        std::string(5000, 'P'),
        std::string(20, 'x') + bytes({0x0B, 0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(20, 'x'),
    };
    for (const auto& body : bodies) {
        auto r = test::analyse(dir.write("t.ac3", tag(body) + stream));
        ASSERT_EQ(r->formatCode, VESKO_FMT_AC3);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(test::fields(r->audioText[0])["channelorder"], "L+C+R+SL+SR+LFE");
        EXPECT_DOUBLE_EQ(r->duration, stream.size() * 8 / 384000.0);
    }
}

}  // namespace
}  // namespace vesko
