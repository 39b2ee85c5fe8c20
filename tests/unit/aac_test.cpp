// Tests of the AAC (ADTS and ADIF) analyser and decoders.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/aac.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::cp;

// Bits written most significant first, as the AAC headers lay them out.
struct BitWriter {
    std::vector<int> bits;
    BitWriter& put(uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back(static_cast<int>((value >> i) & 1));
        return *this;
    }
    std::string bytes() const {
        std::string out((bits.size() + 7) / 8, '\0');
        for (size_t i = 0; i < bits.size(); ++i)
            if (bits[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
        return out;
    }
};

// ---------------------------------------------------------------------------
// Tables
// ---------------------------------------------------------------------------

TEST(AacTables, SampleRateByIndex) {
    const int32_t expected[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                16000, 12000, 11025, 8000,  7350,  0,     0,     0};
    for (int32_t i = 0; i < 16; ++i) EXPECT_EQ(aacSampleRate(i), expected[i]) << i;
    EXPECT_EQ(aacSampleRate(16), -1);
    EXPECT_EQ(aacSampleRate(255), -1);
    EXPECT_EQ(aacSampleRate(-1), -1);
}

TEST(AacTables, ProfileNames) {
    const struct {
        int32_t type;
        const char* label;
    } cases[] = {
        {1, "Main"},          {2, "LC"},           {3, "SSR"},           {4, "LTP"},
        {5, "HE"},            {6, "Scalable"},     {7, "TwinVQ"},        {8, "CELP"},
        {9, "HVXC"},          {10, "Reserved-0x0A"}, {11, "Reserved-0x0B"}, {12, "TTSI"},
        {13, "Main synthetic"}, {14, "Wavetable"}, {15, "General MIDI"},  {16, "Audio FX"},
        {17, "LC:ER"},        {18, "Reserved-0x12"}, {19, "LTP:ER"},      {20, "Scalable:ER"},
        {21, "TwinVQ:ER"},    {22, "BSAC:ER"},     {23, "LD:ER"},        {24, "CELP:ER"},
        {25, "HXVC:ER"},      {26, "HILN:ER"},     {27, "Parametric:ER"}, {28, "Reserved-0x1C"},
        {29, "Reserved-0x1D"}, {30, "Reserved-0x1E"}, {31, "Reserved-0x1F"}, {0, "UnknownProfile(0)"},
        {32, "UnknownProfile(32)"}, {-3, "UnknownProfile(-3)"},
    };
    for (const auto& c : cases) {
        char out[32];
        std::memset(out, 'x', sizeof out);
        aacProfileName(out, sizeof out, c.type);
        EXPECT_STREQ(out, c.label) << c.type;
    }
    char tiny[4];
    aacProfileName(tiny, sizeof tiny, 13);
    EXPECT_STREQ(tiny, "Mai");  // bounded by the buffer
}

TEST(AacTables, ChannelConfigurations) {
    const struct {
        int32_t value;
        double channels;
        const char* config;
        const char* order;
    } cases[] = {
        {0, 0.0, "0/0", "CUSTOM"},
        {1, 1.0, "1/0", "C"},
        {2, 2.0, "2/0", "L+R"},
        {3, 3.0, "3/0", "C+L+R"},
        {4, 4.0, "3/1", "C+L+R+BC"},
        {5, 5.0, "3/2", "C+L+R+BL+BR"},
        {6, 5.1, "3/2", "C+L+R+BL+BR+LFE"},
        {7, 7.1, "3/4", "C+L+R+SL+SR+BL+BR+LFE"},
        {8, 65535.0, "0/0", "UnknownChannel(8)"},
        {15, 65535.0, "0/0", "UnknownChannel(15)"},
        {-1, 65535.0, "0/0", "UnknownChannel(-1)"},
    };
    for (const auto& c : cases) {
        AacInfo info{};
        aacChannelConfig(info.channelConfig, sizeof info.channelConfig, info.channelOrder, sizeof info.channelOrder,
                         info.channels, c.value);
        EXPECT_DOUBLE_EQ(info.channels, c.channels) << c.value;
        EXPECT_STREQ(info.channelConfig, c.config) << c.value;
        EXPECT_STREQ(info.channelOrder, c.order) << c.value;
    }
}

// ---------------------------------------------------------------------------
// AudioSpecificConfig
// ---------------------------------------------------------------------------

// GASpecificConfig with every flag clear.
BitWriter& plainGa(BitWriter& w) { return w.put(0, 1).put(0, 1).put(0, 1); }

struct AscCase {
    const char* name;
    std::string bytes;
    uint32_t sampleRate;
    double channels;
    const char* config;
    const char* order;
    int32_t objectType;
    const char* profile;
    int sbr;
    int ps;
};

std::vector<AscCase> ascCases() {
    std::vector<AscCase> cases;
    cases.push_back({"LC 24 kHz stereo (13 10)", test::bytes({0x13, 0x10}), 24000, 2.0, "2/0", "L+R", 2, "LC", 0, 0});
    {
        BitWriter w;
        w.put(1, 5).put(3, 4).put(1, 4);
        plainGa(w);
        cases.push_back({"Main 48 kHz mono", w.bytes(), 48000, 1.0, "1/0", "C", 1, "Main", 0, 0});
    }
    {
        BitWriter w;  // index 15: the frequency itself in 24 bits
        w.put(2, 5).put(15, 4).put(37800, 24).put(2, 4);
        plainGa(w);
        cases.push_back({"explicit frequency", w.bytes(), 37800, 2.0, "2/0", "L+R", 2, "LC", 0, 0});
    }
    {
        BitWriter w;  // 5.1, 4 bytes so the (empty) extension check runs
        w.put(2, 5).put(3, 4).put(6, 4);
        plainGa(w).put(0, 16);
        cases.push_back({"LC 5.1 with zero tail", w.bytes(), 48000, 5.1, "3/2", "C+L+R+BL+BR+LFE", 2, "LC", 0, 0});
    }
    {
        BitWriter w;  // explicit SBR: type 5, core rate, output rate, core type LC
        w.put(5, 5).put(6, 4).put(2, 4).put(3, 4).put(2, 5);
        plainGa(w);
        cases.push_back({"explicit SBR", w.bytes(), 48000, 2.0, "2/0", "L+R", 2, "LC(SBR)", 1, 0});
    }
    {
        BitWriter w;  // explicit SBR, output rate given by index 15
        w.put(5, 5).put(6, 4).put(2, 4).put(15, 4).put(44100, 24).put(2, 5);
        plainGa(w);
        cases.push_back({"explicit SBR, frequency", w.bytes(), 44100, 2.0, "2/0", "L+R", 2, "LC(SBR)", 1, 0});
    }
    {
        BitWriter w;  // explicit PS: mono core, shown as stereo
        w.put(29, 5).put(6, 4).put(1, 4).put(3, 4).put(2, 5);
        plainGa(w);
        cases.push_back({"explicit SBR+PS", w.bytes(), 48000, 2.0, "2/0", "L+R", 2, "LC(SBR+PS)", 1, 1});
    }
    {
        BitWriter w;  // explicit SBR over BSAC: a channel configuration follows the core type
        w.put(5, 5).put(8, 4).put(1, 4).put(5, 4).put(22, 5).put(2, 4);
        plainGa(w).put(0, 2);
        cases.push_back({"explicit SBR over BSAC", w.bytes(), 32000, 2.0, "2/0", "L+R", 22, "BSAC:ER(SBR)", 1, 0});
    }
    {
        BitWriter w;  // backward-compatible SBR after an LC config
        w.put(2, 5).put(6, 4).put(2, 4);
        plainGa(w).put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        cases.push_back({"implicit SBR", w.bytes(), 48000, 2.0, "2/0", "L+R", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // ... and PS: mono core shown as stereo
        w.put(2, 5).put(6, 4).put(1, 4);
        plainGa(w).put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4).put(0x548, 11).put(1, 1);
        cases.push_back({"implicit SBR+PS", w.bytes(), 48000, 2.0, "2/0", "L+R", 5, "HE(SBR+PS)", 1, 1});
    }
    {
        BitWriter w;  // PS flag clear: channels as the core has them
        w.put(2, 5).put(6, 4).put(1, 4);
        plainGa(w).put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4).put(0x548, 11).put(0, 1);
        cases.push_back({"implicit SBR, PS clear", w.bytes(), 48000, 1.0, "1/0", "C", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // extension type 5 without SBR
        w.put(2, 5).put(4, 4).put(2, 4);
        plainGa(w).put(0x2B7, 11).put(5, 5).put(0, 1).put(0, 8);
        cases.push_back({"implicit type 5, SBR clear", w.bytes(), 44100, 2.0, "2/0", "L+R", 5, "HE(LC)", 0, 0});
    }
    {
        BitWriter w;  // extension type 22: SBR rate and a channel configuration
        w.put(2, 5).put(8, 4).put(1, 4);
        plainGa(w).put(0x2B7, 11).put(22, 5).put(1, 1).put(3, 4).put(2, 4);
        cases.push_back({"implicit BSAC extension", w.bytes(), 48000, 2.0, "2/0", "L+R", 22, "BSAC:ER", 0, 0});
    }
    {
        BitWriter w;  // core coder delay (14 bits) before the extension
        w.put(2, 5).put(6, 4).put(2, 4).put(0, 1).put(1, 1).put(0x3FFF, 14).put(0, 1);
        w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        cases.push_back({"core coder delay", w.bytes(), 48000, 2.0, "2/0", "L+R", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // ER LC: extension flags (3 bits), extensionFlag3, epConfig 3 + directMapping
        w.put(17, 5).put(4, 4).put(2, 4).put(0, 1).put(0, 1).put(1, 1).put(7, 3).put(0, 1).put(3, 2).put(1, 1);
        w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        cases.push_back({"ER LC with epConfig", w.bytes(), 48000, 2.0, "2/0", "L+R", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // ER BSAC: 16 extension bits, epConfig 0
        w.put(22, 5).put(4, 4).put(2, 4).put(0, 1).put(0, 1).put(1, 1).put(0xFFFF, 16).put(0, 1).put(0, 2);
        w.put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        cases.push_back({"ER BSAC", w.bytes(), 48000, 2.0, "2/0", "L+R", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // a type without GASpecificConfig: nothing read after the channels
        w.put(8, 5).put(11, 4).put(1, 4).put(0x2B7, 11).put(5, 5).put(1, 1).put(3, 4);
        cases.push_back({"CELP then extension", w.bytes(), 48000, 1.0, "1/0", "C", 5, "HE(SBR)", 1, 0});
    }
    {
        BitWriter w;  // 2 bytes: no extension is looked for, no suffix
        w.put(2, 5).put(6, 4).put(2, 4).put(0, 3);
        cases.push_back({"two bytes, no suffix", w.bytes(), 24000, 2.0, "2/0", "L+R", 2, "LC", 0, 0});
    }
    // Short buffers: whatever is missing reads as 0.
    cases.push_back({"one byte", test::bytes({0x12}), 44100, 0.0, "0/0", "CUSTOM", 2, "LC", 0, 0});
    cases.push_back({"index 15 cut short", test::bytes({0x17, 0x80, 0x01}), 512, 0.0, "0/0", "CUSTOM", 2, "LC", 0, 0});
    cases.push_back({"explicit SBR cut short", test::bytes({0x2B, 0x10}), 96000, 2.0, "2/0", "L+R", 0,
                     "UnknownProfile(0)", 1, 0});
    cases.push_back({"empty", std::string(), 96000, 0.0, "0/0", "CUSTOM", 0, "UnknownProfile(0)", 0, 0});
    return cases;
}

TEST(AacAudioSpecificConfig, Cases) {
    for (const auto& c : ascCases()) {
        SCOPED_TRACE(c.name);
        // Exactly `length` bytes on the heap, so a read past them is a
        // sanitizer report, not a quiet look at the next byte.
        std::unique_ptr<uint8_t[]> data(new uint8_t[c.bytes.size() ? c.bytes.size() : 1]);
        std::memcpy(data.get(), c.bytes.data(), c.bytes.size());
        AacInfo info{};
        decodeAudioSpecificConfig(data.get(), c.bytes.size(), info);
        EXPECT_EQ(info.sampleRate, c.sampleRate);
        EXPECT_DOUBLE_EQ(info.channels, c.channels);
        EXPECT_STREQ(info.channelConfig, c.config);
        EXPECT_STREQ(info.channelOrder, c.order);
        EXPECT_EQ(info.objectType, c.objectType);
        EXPECT_STREQ(info.profile, c.profile);
        EXPECT_EQ(info.hasSbr, c.sbr);
        EXPECT_EQ(info.hasPs, c.ps);
    }
}

TEST(AacAudioSpecificConfig, BytesPastLengthAreNotRead) {
    // The same first byte with ones after it: only `length` counts.
    const uint8_t data[] = {0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    AacInfo info{};
    decodeAudioSpecificConfig(data, 1, info);
    EXPECT_EQ(info.sampleRate, 44100u);  // index 0100, its last bit missing
    EXPECT_STREQ(info.channelOrder, "CUSTOM");
    AacInfo all{};
    decodeAudioSpecificConfig(data, sizeof data, all);
    EXPECT_EQ(all.sampleRate, 32000u);  // index 0101 when the next byte is there
}

TEST(AacAudioSpecificConfig, NullBytesAndHugeLength) {
    AacInfo info{};
    decodeAudioSpecificConfig(nullptr, 100, info);
    EXPECT_STREQ(info.profile, "UnknownProfile(0)");
    // A long codec private block: only its head matters.
    std::vector<uint8_t> big(1 << 20, 0);
    big[0] = 0x13;
    big[1] = 0x10;
    AacInfo large{};
    decodeAudioSpecificConfig(big.data(), big.size(), large);
    EXPECT_STREQ(large.profile, "LC");
    EXPECT_EQ(large.sampleRate, 24000u);
}

TEST(AacAudioSpecificConfig, ProfileSuffixStaysWithinLabel) {
    BitWriter w;  // type 29 over type 13: "Main synthetic(SBR+PS)", 22 bytes, fits the 32-byte field
    w.put(29, 5).put(6, 4).put(1, 4).put(3, 4).put(13, 5).put(0, 8);
    AacInfo info{};
    std::string b = w.bytes();
    decodeAudioSpecificConfig(reinterpret_cast<const uint8_t*>(b.data()), b.size(), info);
    EXPECT_STREQ(info.profile, "Main synthetic(SBR+PS)");
    EXPECT_LT(strnlen(info.profile, sizeof info.profile), sizeof info.profile);
}

// ---------------------------------------------------------------------------
// ADTS
// ---------------------------------------------------------------------------

// One ADTS frame of `length` bytes (header without CRC, zero payload).
std::string adtsFrame(uint32_t length, int profile = 1, int index = 4, int channels = 2, int layer = 0,
                      bool mpeg2 = false) {
    BitWriter w;
    w.put(0xFFF, 12).put(mpeg2 ? 1 : 0, 1).put(layer, 2).put(1, 1);  // sync, ID, layer, protection_absent
    w.put(profile, 2).put(index, 4).put(0, 1).put(channels, 3).put(0, 2).put(0, 2);
    w.put(length, 13).put(0x7FF, 11).put(0, 2);
    std::string frame = w.bytes();
    if (length > frame.size()) frame.append(length - frame.size(), '\0');
    return frame;
}

std::string repeat(const std::string& s, size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

struct Walk {
    bool ok;
    AacInfo info;
    uint64_t positionAfter;
};

Walk walk(const std::filesystem::path& path, uint64_t start = 0, bool all = true, uint64_t endOffset = 0) {
    FileReader reader;
    EXPECT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    Walk w{};
    w.info.scanAllFrames = all ? 1 : 0;
    w.info.endOffset = endOffset ? endOffset : reader.size;
    reader.seek(static_cast<int64_t>(start), 0);
    w.ok = readAdtsStream(w.info, reader);
    w.positionAfter = reader.tell();
    return w;
}

std::string syncMessage(int frame, unsigned offset) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "(%df / %08X)", frame, offset);
    return cp("[AAC-ADTS] SyncWordが切れています") + tail;
}

TEST(AacAdts, CountsFramesAndComputesRate) {
    test::TempDir dir;
    auto path = dir.write("a.aac", repeat(adtsFrame(200), 10));
    Walk w = walk(path);
    ASSERT_TRUE(w.ok) << w.info.message;
    EXPECT_STREQ(w.info.codec, "ADTS");
    EXPECT_EQ(w.info.frameCount, 10u);
    EXPECT_EQ(w.info.sampleRate, 44100u);
    EXPECT_STREQ(w.info.profile, "LC");
    EXPECT_EQ(w.info.objectType, 2);
    EXPECT_DOUBLE_EQ(w.info.duration, 10 * 1024.0 / 44100);
    EXPECT_NEAR(w.info.bitRate, 2000 * 8 / (10 * 1024.0 / 44100), 1e-6);
    EXPECT_EQ(w.positionAfter, 0u);
}

TEST(AacAdts, FirstHeaderFields) {
    const struct {
        int profile, index, channels;
        bool mpeg2;
        const char* label;
        uint32_t rate;
        const char* order;
    } cases[] = {
        {0, 3, 1, false, "Main", 48000, "C"},
        {1, 11, 6, true, "LC", 8000, "C+L+R+BL+BR+LFE"},
        {2, 12, 7, false, "SSR", 7350, "C+L+R+SL+SR+BL+BR+LFE"},
        {3, 0, 0, true, "LTP", 96000, "CUSTOM"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        auto path = dir.write("f.aac", repeat(adtsFrame(64, c.profile, c.index, c.channels, 0, c.mpeg2), 3));
        Walk w = walk(path);
        ASSERT_TRUE(w.ok) << c.label << " " << w.info.message;
        EXPECT_STREQ(w.info.profile, c.label);
        EXPECT_EQ(w.info.objectType, c.profile + 1);
        EXPECT_EQ(w.info.sampleRate, c.rate);
        EXPECT_STREQ(w.info.channelOrder, c.order);
    }
}

TEST(AacAdts, HeaderFailures) {
    test::TempDir dir;
    const struct {
        std::string data;
        std::string message;
    } cases[] = {
        {repeat(adtsFrame(100, 1, 4, 2, 1), 2), cp("[AAC-ADTS] 0以外のLayer(1)")},
        {repeat(adtsFrame(100, 1, 4, 2, 3), 2), cp("[AAC-ADTS] 0以外のLayer(3)")},
        {repeat(adtsFrame(100, 1, 13), 2), cp("[AAC-ADTS] 不明なサンプリングレート(13)")},
        {repeat(adtsFrame(100, 1, 14), 2), cp("[AAC-ADTS] 不明なサンプリングレート(14)")},
        {repeat(adtsFrame(100, 1, 15), 2), cp("[AAC-ADTS] 不明なサンプリングレート(15)")},
        {std::string("\xFF\xE1", 2) + std::string(98, '\0'), syncMessage(0, 0)},
    };
    for (const auto& c : cases) {
        auto path = dir.write("h.aac", c.data);
        Walk w = walk(path);
        EXPECT_FALSE(w.ok);
        EXPECT_EQ(std::string(w.info.message), c.message);
        EXPECT_EQ(w.positionAfter, 0u);
    }
}

TEST(AacAdts, FrameShorterThanItsHeaderStopsTheWalk) {
    // A length below 7 would hold the walk on one frame for a million turns.
    test::TempDir dir;
    for (uint32_t length : {0u, 1u, 6u}) {
        std::string bad = adtsFrame(7);
        bad[3] = static_cast<char>(bad[3] & ~3);
        bad[4] = static_cast<char>(length >> 3);
        bad[5] = static_cast<char>((length & 7) << 5 | (bad[5] & 0x1F));
        auto path = dir.write("z.aac", repeat(adtsFrame(100), 3) + bad + repeat(adtsFrame(100), 3));
        auto begin = std::chrono::steady_clock::now();
        Walk w = walk(path);
        auto took = std::chrono::steady_clock::now() - begin;
        EXPECT_FALSE(w.ok) << length;
        EXPECT_EQ(std::string(w.info.message), syncMessage(3, 300)) << length;
        EXPECT_LT(took, std::chrono::milliseconds(200));
        // The same header as the first frame fails too.
        auto first = dir.write("z0.aac", bad + repeat(adtsFrame(100), 3));
        EXPECT_FALSE(walk(first, 0, false).ok);
        EXPECT_EQ(std::string(walk(first).info.message), syncMessage(0, 0));
    }
    // Seven bytes (a bare header) are a frame.
    auto path = dir.write("seven.aac", repeat(adtsFrame(7), 20));
    Walk w = walk(path);
    ASSERT_TRUE(w.ok) << w.info.message;
    EXPECT_EQ(w.info.frameCount, 19u);  // the last header lies within 10 bytes of the end
}

TEST(AacAdts, BrokenSyncInTheMiddleNamesFrameAndOffset) {
    test::TempDir dir;
    std::string data = repeat(adtsFrame(0x123), 4) + std::string(0x123, 'x') + repeat(adtsFrame(0x123), 2);
    Walk w = walk(dir.write("b.aac", data));
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(std::string(w.info.message), syncMessage(4, 4 * 0x123));
    EXPECT_EQ(w.positionAfter, 0u);
}

TEST(AacAdts, FirstHeaderOnlyFromAnOffset) {
    test::TempDir dir;
    auto path = dir.write("o.aac", std::string(100, 'j') + adtsFrame(300, 1, 6, 1) + "garbage that is never read");
    Walk w = walk(path, 100, false);
    ASSERT_TRUE(w.ok) << w.info.message;
    EXPECT_EQ(w.info.frameCount, 0u);
    EXPECT_EQ(w.info.sampleRate, 24000u);
    EXPECT_STREQ(w.info.channelOrder, "C");
    EXPECT_DOUBLE_EQ(w.info.duration, 0.0);
    EXPECT_EQ(w.positionAfter, 100u);
    test::useTestData();
    EXPECT_EQ(test::fields(describeAac(w.info))["tpl"], "AAC/AUDIO1");
}

TEST(AacAdts, WalkStopsAtEndOffset) {
    test::TempDir dir;
    auto path = dir.write("e.aac", repeat(adtsFrame(100), 5) + std::string(500, '\0'));
    Walk w = walk(path, 0, true, 500);
    ASSERT_TRUE(w.ok) << w.info.message;
    EXPECT_EQ(w.info.frameCount, 5u);
    EXPECT_DOUBLE_EQ(w.info.duration, 5 * 1024.0 / 44100);
}

TEST(AacAdts, TruncatedLastFrameCountsTheShareThatIsThere) {
    std::string whole;
    {
        std::ifstream in(test::fixture("aac_adts_stereo.aac"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_EQ(whole.size(), 8464u);
    // The frames' offsets (the last one is ffmpeg's short closing frame).
    std::vector<size_t> offsets;
    for (size_t p = 0; p < whole.size();) {
        offsets.push_back(p);
        p += (static_cast<uint8_t>(whole[p + 3]) & 3u) << 11 | static_cast<uint8_t>(whole[p + 4]) << 3 |
             static_cast<uint8_t>(whole[p + 5]) >> 5;
    }
    ASSERT_EQ(offsets.size(), 45u);
    test::TempDir dir;
    // The whole file less the last frame and half of the one before it:
    // that frame is counted, and the play time is scaled by the share of
    // the walked bytes that are there.
    const size_t frame43 = offsets[43], cutAt = frame43 + (offsets[44] - frame43) / 2;
    Walk cut = walk(dir.write("cut.aac", whole.substr(0, cutAt)));
    ASSERT_TRUE(cut.ok) << cut.info.message;
    EXPECT_EQ(cut.info.frameCount, 44u);
    EXPECT_DOUBLE_EQ(cut.info.duration, static_cast<double>(cutAt) / offsets[44] * 44 * 1024 / 44100);
    // Only part of a header left: that frame is not counted.
    Walk header = walk(dir.write("hdr.aac", whole.substr(0, frame43 + 5)));
    ASSERT_TRUE(header.ok) << header.info.message;
    EXPECT_EQ(header.info.frameCount, 43u);
}

TEST(AacAdts, MillionFrameLimitExtrapolates) {
    test::TempDir dir;
    const size_t frames = kAdtsMaxFrames + 500;
    auto path = dir.write("long.aac", std::string(64, 'i') + repeat(adtsFrame(7, 1, 3), frames));
    Walk w = walk(path, 64);
    ASSERT_TRUE(w.ok) << w.info.message;
    EXPECT_EQ(w.info.frameCount, kAdtsMaxFrames);
    // The frames walked scaled to the whole audio (start to end).
    EXPECT_NEAR(w.info.duration, frames * 1024.0 / 48000, 1e-6);
    EXPECT_NEAR(w.info.bitRate, 7 * 8 * 48000 / 1024.0, 1e-6);
}

// ---------------------------------------------------------------------------
// ADIF
// ---------------------------------------------------------------------------

struct AdifLayout {
    bool copyright = false;
    bool variableRate = true;
    uint32_t bitRate = 128000;
    int objectType = 1;
    int index = 4;
    std::vector<int> front = {}, side = {}, back = {};  // is_cpe of each element
    int lfe = 0;
    bool mixdowns = false;
};

std::string adifHeader(const AdifLayout& a) {
    BitWriter w;
    for (char ch : std::string("ADIF")) w.put(static_cast<uint8_t>(ch), 8);
    w.put(a.copyright, 1);
    if (a.copyright) w.put(0x123456789ULL, 36).put(0xABCDEF012ULL, 36);
    w.put(0, 2).put(a.variableRate, 1).put(a.bitRate, 23).put(0, 4);
    if (!a.variableRate) w.put(0xFFFFF, 20);
    w.put(0, 4).put(a.objectType, 2).put(a.index, 4);
    w.put(a.front.size(), 4).put(a.side.size(), 4).put(a.back.size(), 4).put(a.lfe, 2).put(0, 3).put(0, 4);
    if (a.mixdowns)
        w.put(1, 1).put(15, 4).put(1, 1).put(15, 4).put(1, 1).put(7, 3);
    else
        w.put(0, 3);
    for (const auto* group : {&a.front, &a.side, &a.back})
        for (int cpe : *group) w.put(cpe, 1).put(15, 4);
    for (int i = 0; i < a.lfe; ++i) w.put(15, 4);
    return w.bytes();
}

struct AdifRead {
    bool ok;
    AacInfo info;
    uint64_t positionAfter;
};

AdifRead readAdif(const std::string& data, size_t payload = 1000) {
    test::TempDir dir;
    auto path = dir.write("h.aac", data + std::string(payload, '\x55'));
    FileReader reader;
    EXPECT_TRUE(reader.openPath(utf8ToUtf16(path.string())));
    AdifRead r{};
    r.info.scanAllFrames = 1;
    r.info.endOffset = reader.size;
    r.ok = readAdifHeader(r.info, reader);
    r.positionAfter = reader.tell();
    return r;
}

TEST(AacAdif, ProgramConfigElements) {
    const struct {
        const char* name;
        AdifLayout layout;
        double channels;
        const char* config;
        const char* order;
    } cases[] = {
        {"one CPE", {.front = {1}}, 2.0, "2/0", "L+R"},
        {"mono", {.front = {0}}, 1.0, "1/0", "C"},
        {"SCE+CPE", {.front = {0, 1}}, 3.0, "3/0", "C+L+R"},
        {"CPE+SCE counts three", {.front = {1, 0}}, 3.0, "3/0", "C+L+R"},
        {"3/1", {.front = {0, 1}, .back = {0}}, 4.0, "3/1", "C+L+R+BC"},
        {"5.1", {.front = {0, 1}, .back = {1}, .lfe = 1}, 5.1, "3/2", "C+L+R+BL+BR+LFE"},
        {"7.1 with side pair", {.front = {0, 1}, .side = {1}, .back = {1}, .lfe = 1}, 7.1, "3/4",
         "C+L+R+SL+SR+BL+BR+LFE"},
        {"seven channels", {.front = {0, 1}, .back = {1, 0}, .lfe = 1}, 65535.0, "0/0", "UnknownChannel(7)"},
        {"no elements", {}, 0.0, "0/0", "CUSTOM"},
        {"copyright id and mixdowns", {.copyright = true, .front = {1}, .mixdowns = true}, 2.0, "2/0", "L+R"},
        {"constant rate", {.variableRate = false, .front = {0, 1}, .back = {1}, .lfe = 1}, 5.1, "3/2",
         "C+L+R+BL+BR+LFE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AdifRead r = readAdif(adifHeader(c.layout));
        ASSERT_TRUE(r.ok) << r.info.message;
        EXPECT_STREQ(r.info.codec, "ADIF");
        EXPECT_DOUBLE_EQ(r.info.channels, c.channels);
        EXPECT_STREQ(r.info.channelConfig, c.config);
        EXPECT_STREQ(r.info.channelOrder, c.order);
        EXPECT_EQ(r.info.sampleRate, 44100u);
        EXPECT_STREQ(r.info.profile, "LC");
        EXPECT_DOUBLE_EQ(r.info.bitRate, 128000.0);
        EXPECT_EQ(r.positionAfter, 0u);
    }
}

TEST(AacAdif, PlayTimeFromBitRate) {
    AdifLayout layout;
    layout.front = {1};
    layout.bitRate = 8000;
    layout.objectType = 0;
    layout.index = 13;
    std::string header = adifHeader(layout);
    AdifRead r = readAdif(header, 2000 - header.size());
    ASSERT_TRUE(r.ok) << r.info.message;
    EXPECT_DOUBLE_EQ(r.info.duration, 2.0);
    EXPECT_STREQ(r.info.profile, "Main");
    EXPECT_EQ(r.info.sampleRate, 0u);  // reserved index: no rate, no failure
}

TEST(AacAdif, ZeroBitRateFails) {
    AdifLayout layout;
    layout.front = {1};
    layout.bitRate = 0;
    AdifRead r = readAdif(adifHeader(layout));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(std::string(r.info.message), cp("[AAC-ADIF] ビットレートが0です"));
    EXPECT_EQ(r.positionAfter, 0u);
}

TEST(AacAdif, HeaderCutShort) {
    // Four bytes "ADIF" and nothing else: the bit rate reads 0.
    AdifRead r = readAdif("ADIF", 0);
    EXPECT_FALSE(r.ok);
}

// ---------------------------------------------------------------------------
// Description line
// ---------------------------------------------------------------------------

class AacDescribe : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
};

TEST_F(AacDescribe, KeyChoiceAndForms) {
    AacInfo info{};
    std::strcpy(info.codec, "adts");
    info.scanAllFrames = 1;
    info.sampleRate = 22050;
    info.channels = 5.1;
    std::strcpy(info.channelConfig, "3/2");
    std::strcpy(info.channelOrder, "C+L+R+BL+BR+LFE");
    std::strcpy(info.profile, "HE(SBR)");
    info.bitRate = 12345.678;
    info.frameCount = 77;
    auto f = test::fields(describeAac(info));
    EXPECT_EQ(f["tpl"], "AAC/AUDIO2");
    EXPECT_EQ(f["sampleratek"], "22.05");
    EXPECT_EQ(f["samplerate"], "22050");
    EXPECT_EQ(f["channel"], "5.1");
    EXPECT_EQ(f["channelconfig"], "3/2");
    EXPECT_EQ(f["channelorder"], "C+L+R+BL+BR+LFE");
    EXPECT_EQ(f["profile"], "HE(SBR)");
    EXPECT_EQ(f["bitratek"], "12.35");
    EXPECT_EQ(f["bitrate"], "12345.68");
    EXPECT_EQ(f["frame"], "77");

    const struct {
        const char* codec;
        uint8_t scan;
        const char* tpl;
    } keys[] = {{"ADTS", 0, "AAC/AUDIO1"}, {"ADIF", 1, "AAC/AUDIO1"}, {"MP4A", 1, "AAC/AUDIO1"},
                {"ADTS(TS)", 1, "AAC/AUDIO2"}, {"ADT", 1, "AAC/AUDIO1"}};
    for (const auto& k : keys) {
        AacInfo other = info;
        std::strcpy(other.codec, k.codec);
        other.scanAllFrames = k.scan;
        EXPECT_EQ(test::fields(describeAac(other))["tpl"], k.tpl) << k.codec << int(k.scan);
    }

    AacInfo zero{};
    zero.channels = 65535;
    auto z = test::fields(describeAac(zero));
    EXPECT_EQ(z["bitratek"], "0.00");
    EXPECT_EQ(z["bitrate"], "0.00");
    EXPECT_EQ(z["channel"], "65535.0");
    EXPECT_EQ(z["sampleratek"], "0.00");
}

TEST_F(AacDescribe, MissingTemplateShowsTheLookupFailure) {
    test::TempDir dir;
    dir.write("FORMAT.INI", "[MP3]\r\nCBR1\tx\r\n\r\n");
    SetPath(utf8ToUtf16(dir.path().string() + "/").c_str());
    AacInfo info{};
    std::strcpy(info.codec, "ADIF");
    EXPECT_EQ(describeAac(info), cp("S不明AUDIO1"));
    test::useTestData();
}

// ---------------------------------------------------------------------------
// The analyser on real files
// ---------------------------------------------------------------------------

struct FixtureCase {
    const char* file;
    const char* tpl;
    const char* samplerate;
    const char* sampleratek;
    const char* channel;
    const char* channelconfig;
    const char* channelorder;
    const char* bitratek;
    const char* bitrate;
    const char* frame;  // nullptr for AUDIO1
    double duration;
    int64_t fileSize;
    // Play time measured with ffprobe 5.1 (Debian 12) on the same file,
    // 0 where it has none to compare.
    double reference;
};

// ffprobe -show_entries format=duration, and for the tagged files the
// packet count (-count_packets) x 1024 / rate: for them ffprobe's own
// duration is estimated from the file size, tag bytes included (1.056173 s
// with the APE tag, 1.060741 s with the ID3v1 tag, for the same 45 frames).
constexpr double kFfprobeStereo = 1.044938;
constexpr double kFfprobe51 = 1.024043;
constexpr double kFfprobeId3v2 = 1.044938;
constexpr double kFfprobeMpeg2Mono = 1.151956;
constexpr double kFfprobePacketsStereo = 45 * 1024 / 44100.0;

const FixtureCase kFixtures[] = {
    {"aac_adts_stereo.aac", "AAC/AUDIO2", "44100", "44.10", "2.0", "2/0", "L+R", "64.80", "64802.50", "45",
     45 * 1024 / 44100.0, 8464, kFfprobeStereo},
    {"aac_adts_51.aac", "AAC/AUDIO2", "48000", "48.00", "5.1", "3/2", "C+L+R+BL+BR+LFE", "189.46", "189460.94", "48",
     1.024, 24251, kFfprobe51},
    {"aac_adts_id3v2.aac", "AAC/AUDIO2", "44100", "44.10", "2.0", "2/0", "L+R", "64.80", "64802.50", "45",
     45 * 1024 / 44100.0, 8509, kFfprobeId3v2},
    {"aac_adts_mpeg2_mono8k.aac", "AAC/AUDIO2", "8000", "8.00", "1.0", "1/0", "C", "17.58", "17583.33", "9", 1.152,
     2532, kFfprobeMpeg2Mono},
    // The end tags end the audio; fileSize stays the size of the file.
    {"aac_adts_id3v1.aac", "AAC/AUDIO2", "44100", "44.10", "2.0", "2/0", "L+R", "64.80", "64802.50", "45",
     45 * 1024 / 44100.0, 8592, kFfprobePacketsStereo},
    {"aac_adts_apetag.aac", "AAC/AUDIO2", "44100", "44.10", "2.0", "2/0", "L+R", "64.80", "64802.50", "45",
     45 * 1024 / 44100.0, 8555, kFfprobePacketsStereo},
    {"aac_adif_stereo.aac", "AAC/AUDIO1", "44100", "44.10", "2.0", "2/0", "L+R", "64.00", "64000.00", nullptr,
     8166 * 8 / 64000.0, 8166, 0},
    {"aac_adif_51.aac", "AAC/AUDIO1", "48000", "48.00", "5.1", "3/2", "C+L+R+BL+BR+LFE", "192.00", "192000.00",
     nullptr, 23931 * 8 / 192000.0, 23931, 0},
};

class AacAnalyser : public ::testing::Test {
protected:
    void SetUp() override { test::useTestData(); }
};

TEST_F(AacAnalyser, RealFiles) {
    for (const auto& c : kFixtures) {
        SCOPED_TRACE(c.file);
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, VESKO_FMT_AAC);
        ASSERT_STREQ(r->errorText, "");
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_EQ(r->videoCount, 0);
        EXPECT_EQ(r->extraCount, 0);
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], c.tpl);
        EXPECT_EQ(f["samplerate"], c.samplerate);
        EXPECT_EQ(f["sampleratek"], c.sampleratek);
        EXPECT_EQ(f["channel"], c.channel);
        EXPECT_EQ(f["channelconfig"], c.channelconfig);
        EXPECT_EQ(f["channelorder"], c.channelorder);
        EXPECT_EQ(f["profile"], "LC");
        EXPECT_EQ(f["bitratek"], c.bitratek);
        EXPECT_EQ(f["bitrate"], c.bitrate);
        if (c.frame) {
            EXPECT_EQ(f["frame"], c.frame);
        }
        EXPECT_DOUBLE_EQ(r->duration, c.duration);
        EXPECT_EQ(r->fileSize, c.fileSize);
        if (c.reference > 0) {
            EXPECT_NEAR(r->duration, c.reference, c.reference * 0.01);
        }
    }
}

TEST_F(AacAnalyser, Failures) {
    test::TempDir dir;
    std::string stereo;
    {
        std::ifstream in(test::fixture("aac_adts_stereo.aac"), std::ios::binary);
        stereo.assign(std::istreambuf_iterator<char>(in), {});
    }
    const struct {
        const char* name;
        std::string data;
        std::string error;
    } cases[] = {
        {"raw.aac", test::bytes({0xFF, 0x0F}) + std::string(62, '\0'), cp("[AAC] RAW形式又は未対応形式のAACです")},
        {"zeros.aac", std::string(64, '\0'), cp("[AAC] RAW形式又は未対応形式のAACです")},
        // Garbage (not a tag) after the last frame is a broken sync word.
        {"junk_end.aac", stereo + std::string(300, 'j'), syncMessage(45, 8464)},
        // The file test admits layer 0 only, so a layer-2 header is no ADTS file.
        {"layer.aac", repeat(adtsFrame(100, 1, 4, 2, 2), 3), cp("[AAC] RAW形式又は未対応形式のAACです")},
        {"adif0.aac", [] {
             AdifLayout l;
             l.front = {1};
             l.bitRate = 0;
             return adifHeader(l) + std::string(100, '\0');
         }(), cp("[AAC-ADIF] ビットレートが0です")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = test::makeRecord(dir.write(c.name, c.data));
        r->formatCode = VESKO_FMT_AAC;
        GetFileInfo(r.get());
        EXPECT_EQ(std::string(r->errorText), c.error);
        EXPECT_EQ(r->audioCount, 0);
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.data.size()));
    }
    auto missing = test::makeRecord(dir.path() / "missing.aac");
    missing->formatCode = VESKO_FMT_AAC;
    GetFileInfo(missing.get());
    EXPECT_EQ(std::string(missing->errorText), cp("ファイルのオープンに失敗"));
}

TEST_F(AacAnalyser, AdtsAfterAnId3v2TagAndBeforeEndTags) {
    std::string stereo;
    {
        std::ifstream in(test::fixture("aac_adts_stereo.aac"), std::ios::binary);
        stereo.assign(std::istreambuf_iterator<char>(in), {});
    }
    std::string id3v2 = std::string("ID3\x03\x00\x00\x00\x00\x00\x14", 10) + std::string(20, '\0');
    std::string id3v1 = "TAG" + std::string(125, ' ');
    std::string ape = "APETAGEX" + test::bytes({0xD0, 0x07, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80}) +
                      std::string(8, '\0');
    std::string lyrics = "LYRICSBEGIN" + std::string("IND0000210") + "000021LYRICS200";
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"v2.aac", id3v2 + stereo},
        {"v2v1.aac", id3v2 + stereo + id3v1},
        {"ape_v1.aac", stereo + ape + id3v1},
        {"lyrics_v1.aac", stereo + lyrics + id3v1},
        {"ape_lyrics_v1.aac", id3v2 + stereo + ape + lyrics + id3v1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        auto r = test::analyse(dir.write(c.name, c.data));
        ASSERT_STREQ(r->errorText, "");
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["frame"], "45");
        EXPECT_EQ(f["bitrate"], "64802.50");
        EXPECT_DOUBLE_EQ(r->duration, 45 * 1024 / 44100.0);
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.data.size()));
    }
}

TEST_F(AacAnalyser, ShippedTemplates) {
    test::useShippedData();
    auto r = test::analyse(test::fixture("aac_adts_51.aac"));
    ASSERT_EQ(r->audioCount, 1);
    std::string line = r->audioText[0];
    EXPECT_EQ(line.find('#'), std::string::npos) << line;
    EXPECT_NE(line.find("48000"), std::string::npos) << line;
    EXPECT_NE(line.find("5.1"), std::string::npos) << line;
    test::useTestData();
}

// A 100 MB ADTS file made of the stereo fixture's frames. Run with
// --gtest_also_run_disabled_tests; prints the time of one analysis.
TEST(AacPerformance, DISABLED_HundredMegabyteFile) {
    std::string stereo;
    {
        std::ifstream in(test::fixture("aac_adts_stereo.aac"), std::ios::binary);
        stereo.assign(std::istreambuf_iterator<char>(in), {});
    }
    test::TempDir dir;
    auto path = dir.path() / "big.aac";
    {
        std::ofstream out(path, std::ios::binary);
        for (size_t written = 0; written < 100u * 1000 * 1000; written += stereo.size()) out << stereo;
    }
    test::useTestData();
    auto begin = std::chrono::steady_clock::now();
    auto r = test::analyse(path);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    ASSERT_STREQ(r->errorText, "");
    auto f = test::fields(r->audioText[0]);
    std::printf("100 MB ADTS (%lld bytes, %s frames): %.3f s\n", static_cast<long long>(r->fileSize),
                f["frame"].c_str(), seconds);
    EXPECT_EQ(f["bitrate"], "64802.50");
    EXPECT_LT(seconds, 1.0);
}

}  // namespace
}  // namespace vesko
