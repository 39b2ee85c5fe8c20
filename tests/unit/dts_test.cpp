// Tests of the DTS sync search, core header decoder (all four word
// packings), stream read, description line and file analyser.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "analysers.h"
#include "audio/dts.h"
#include "io.h"
#include "test_support.h"

namespace vesko {
namespace {

using test::bytes;
using test::cp;

// ---- building core headers ----

class BitWriter {
public:
    void put(uint64_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
    }
    std::vector<bool> bits;
};

std::string toBytes(const std::vector<bool>& bits) {
    std::string out((bits.size() + 7) / 8, '\0');
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    return out;
}

// Core frame header fields (ETSI TS 102 114, 5.3.1) in the order they are
// written; the fields the decoder passes over carry values of their own.
struct DtsFields {
    int cpf = 0;
    int amode = 9;
    int sfreq = 13;
    int rate = 15;
    int extAudioId = 7;
    int extAudio = 0;
    int lff = 2;
    int pcmr = 0;
};

// The header as a 16-bit big-endian stream of 24 bytes. Everything after
// PCMR is set to ones, and so is HCRC: a decoder that reads PCMR at the
// wrong place (95 versus 111) sees 7, which is no resolution.
std::vector<bool> dtsBits(const DtsFields& f) {
    BitWriter w;
    w.put(0x7FFE8001, 32);
    w.put(1, 1);     // FTYPE: normal frame
    w.put(31, 5);    // SHORT
    w.put(f.cpf, 1);
    w.put(15, 7);    // NBLKS
    w.put(1023, 14); // FSIZE
    w.put(f.amode, 6);
    w.put(f.sfreq, 4);
    w.put(f.rate, 5);
    w.put(0b10101, 5);  // MIX, DYNF, TIMEF, AUXF, HDCD
    w.put(f.extAudioId, 3);
    w.put(f.extAudio, 1);
    w.put(1, 1);  // ASPF
    w.put(f.lff, 2);
    w.put(1, 1);  // HFLAG
    if (f.cpf) w.put(0xFFFF, 16);  // HCRC
    w.put(1, 1);  // FILTS
    w.put(7, 4);  // VERNUM
    w.put(2, 2);  // CHIST
    w.put(f.pcmr, 3);
    while (w.bits.size() < 24 * 8) w.put(1, 1);
    return w.bits;
}

enum class Packing { BE16, LE16, BE14, LE14 };
const Packing kPackings[] = {Packing::BE16, Packing::LE16, Packing::BE14, Packing::LE14};
const char* label(Packing p) {
    switch (p) {
        case Packing::BE16: return "16BitBE";
        case Packing::LE16: return "16BitLE";
        case Packing::BE14: return "14BitBE";
        case Packing::LE14: return "14BitLE";
    }
    return "";
}

// The stream in one of the four packings: 16-bit words byte-swapped, or
// 14-bit pieces of the bit string in 16-bit words whose top two bits repeat
// bit 13, as DTS audio CDs carry them.
std::string pack(const std::vector<bool>& bits, Packing packing) {
    std::string be = toBytes(bits);
    if (packing == Packing::BE16) return be;
    if (packing == Packing::LE16) {
        for (size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
        return be;
    }
    std::string out;
    for (size_t i = 0; i < bits.size(); i += 14) {
        uint16_t word = 0;
        for (size_t j = 0; j < 14; ++j) word = static_cast<uint16_t>(word << 1 | (i + j < bits.size() && bits[i + j]));
        if (word & 0x2000) word |= 0xC000;
        char hi = static_cast<char>(word >> 8), lo = static_cast<char>(word & 0xFF);
        if (packing == Packing::BE14) {
            out += hi;
            out += lo;
        } else {
            out += lo;
            out += hi;
        }
    }
    return out;
}

bool decode(DtsInfo& info, const std::string& data) {
    return decodeDtsHeader(info, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}

int32_t findSync(const std::string& data, size_t start = 0) {
    return findDtsSync(reinterpret_cast<const uint8_t*>(data.data()), data.size(), start);
}

std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<AnalysisRecord> analyseAs(const std::filesystem::path& path, int32_t code) {
    auto record = test::makeRecord(path);
    record->formatCode = code;
    GetFileInfo(record.get());
    return record;
}

// ---- sync search ----

TEST(DtsSync, FourPatternsWithTwentyBytesAfterThem) {
    const std::string le14 = bytes({0xFF, 0x1F, 0x00, 0xE8, 0xF0, 0x07});
    const std::string be14 = bytes({0x1F, 0xFF, 0xE8, 0x00, 0x07, 0xF0});
    const std::string le16 = bytes({0xFE, 0x7F, 0x01, 0x80});
    const std::string be16 = bytes({0x7F, 0xFE, 0x80, 0x01});
    const std::string pad(24, 'x');
    struct Case {
        const char* name;
        std::string data;
        size_t start;
        int32_t expected;
    };
    const Case cases[] = {
        {"14-bit LE", le14 + pad, 0, 0},
        {"14-bit LE, b4 = FA", bytes({0xFF, 0x1F, 0x00, 0xE8, 0xFA, 0x07}) + pad, 0, 0},
        {"14-bit LE, b4 below F0", bytes({0xFF, 0x1F, 0x00, 0xE8, 0xE0, 0x07}) + pad, 0, -1},
        {"14-bit LE, b5 not 07", bytes({0xFF, 0x1F, 0x00, 0xE8, 0xF0, 0x06}) + pad, 0, -1},
        {"14-bit BE", "ab" + be14 + pad, 0, 2},
        {"14-bit BE, b5 below F0", bytes({0x1F, 0xFF, 0xE8, 0x00, 0x07, 0xEF}) + pad, 0, -1},
        {"16-bit LE", "abc" + le16 + pad, 0, 3},
        {"16-bit BE", be16 + pad, 0, 0},
        {"second frame from start", be16 + pad + le16 + pad, 1, 28},
        // p < length - 20: at length - 21 found, at length - 20 not.
        {"last possible place", "a" + be16 + std::string(17, 'x'), 0, 1},
        {"one byte too late", "a" + be16 + std::string(16, 'x'), 0, -1},
        {"twenty bytes in all", be16 + std::string(16, 'x'), 0, -1},
        {"empty", "", 0, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(findSync(c.data, c.start), c.expected) << c.name;
    EXPECT_EQ(findDtsSync(nullptr, 100, 0), -1);
}

// ---- header decoder: every packing gives the same values ----

// Decodes the header in all four packings; the values must agree and each
// must name its packing. Returns the 16-bit big-endian result.
DtsInfo decodeAll(const DtsFields& f, bool expectOk = true) {
    DtsInfo first{};
    for (Packing p : kPackings) {
        DtsInfo info{};
        const bool ok = decode(info, pack(dtsBits(f), p));
        EXPECT_EQ(ok, expectOk) << label(p);
        if (ok) {
            EXPECT_STREQ(info.endian, label(p));
        }
        if (p == Packing::BE16) {
            first = info;
            continue;
        }
        EXPECT_STREQ(info.channelOrder, first.channelOrder) << label(p);
        EXPECT_EQ(info.channels, first.channels) << label(p);
        EXPECT_EQ(info.sampleRate, first.sampleRate) << label(p);
        EXPECT_EQ(info.bitRate, first.bitRate) << label(p);
        EXPECT_STREQ(info.rateMode, first.rateMode) << label(p);
        EXPECT_EQ(info.bitDepth, first.bitDepth) << label(p);
        EXPECT_EQ(info.extendedSurround, first.extendedSurround) << label(p);
        EXPECT_EQ(info.hasXch, first.hasXch) << label(p);
        EXPECT_EQ(info.hasX96, first.hasX96) << label(p);
        EXPECT_STREQ(info.message, first.message) << label(p);
    }
    return first;
}

TEST(DtsHeader, ChannelArrangementByAmode) {
    struct Case {
        int amode;
        double channels;
        const char* order;
    };
    const Case cases[] = {
        {0, 1, "A"},
        {1, 2, "A+B"},
        {2, 2, "L+R"},
        {3, 2, "(L+R)+(L-R)"},
        {4, 2, "LT+RT"},
        {5, 3, "C+L+R"},
        {6, 3, "L+R+S"},
        {7, 4, "C+L+R+S"},
        {8, 4, "L+R+SL+SR"},
        {9, 5, "C+L+R+SL+SR"},
        {10, 6, "CL+CR+L+R+SL+SR"},
        {11, 6, "C+L+R+LR+RR+OV"},
        {12, 6, "CF+CR+LF+RF+LR+RR"},
        {13, 7, "CL+C+CR+L+R+SL+SR"},
        {14, 8, "CL+CR+L+R+SL1+SL2+SR1+SR2"},
        {15, 8, "CL+C+CR+L+R+SL+S+SR"},
        {16, 0, "User defined"},
    };
    for (const auto& c : cases) {
        DtsFields f;
        f.amode = c.amode;
        f.lff = 0;
        DtsInfo info = decodeAll(f);
        EXPECT_EQ(info.channels, c.channels) << c.amode;
        EXPECT_STREQ(info.channelOrder, c.order) << c.amode;
    }
    for (int amode : {17, 40, 63}) {
        DtsFields f;
        f.amode = amode;
        DtsInfo info = decodeAll(f, false);
        EXPECT_EQ(std::string(info.message), cp("[DTS] 不明なChannel arrangement(" + std::to_string(amode) + ")"));
    }
}

TEST(DtsHeader, LfeByLff) {
    // LFF 1 and 2 (128 and 64 times interpolation) carry an LFE channel; 3
    // is not used.
    const std::pair<int, bool> cases[] = {{0, false}, {1, true}, {2, true}, {3, false}};
    for (auto [lff, lfe] : cases) {
        DtsFields f;
        f.lff = lff;
        DtsInfo info = decodeAll(f);
        EXPECT_DOUBLE_EQ(info.channels, lfe ? 5.1 : 5.0) << lff;
        EXPECT_EQ(std::string(info.channelOrder), std::string("C+L+R+SL+SR") + (lfe ? "+LFE" : "")) << lff;
    }
}

TEST(DtsHeader, SamplingFrequencyBySfreq) {
    const uint32_t rates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050, 44100, 0, 0, 12000, 24000, 48000, 0, 0};
    for (int sfreq = 0; sfreq < 16; ++sfreq) {
        DtsFields f;
        f.sfreq = sfreq;
        DtsInfo info = decodeAll(f, rates[sfreq] != 0);
        if (rates[sfreq]) {
            EXPECT_EQ(info.sampleRate, rates[sfreq]) << sfreq;
        } else {
            EXPECT_EQ(std::string(info.message),
                      cp("[DTS] 不明なCore Audio Sampling Frequency(" + std::to_string(sfreq) + ")"));
        }
    }
}

TEST(DtsHeader, TransmissionRateByRate) {
    const uint32_t kbps10[29] = {320,   560,   640,   960,   1120,  1280,  1920,  2240,  2560,  3200,
                                 3840,  4480,  5120,  5760,  6400,  7680,  9600,  10240, 11520, 12800,
                                 13440, 14080, 14112, 14720, 15360, 19200, 20480, 30720, 38400};
    for (int rate = 0; rate < 29; ++rate) {
        DtsFields f;
        f.rate = rate;
        DtsInfo info = decodeAll(f);
        EXPECT_EQ(info.bitRate, kbps10[rate] * 100) << rate;
        EXPECT_STREQ(info.rateMode, "") << rate;
    }
    const char* modes[3] = {"Open", "VBR", "LossLess"};
    for (int rate = 29; rate < 32; ++rate) {
        DtsFields f;
        f.rate = rate;
        DtsInfo info = decodeAll(f);
        EXPECT_EQ(info.bitRate, 0u) << rate;
        EXPECT_STREQ(info.rateMode, modes[rate - 29]);
    }
}

TEST(DtsHeader, SourceResolutionByPcmrWithAndWithoutHeaderCrc) {
    struct Case {
        int pcmr;
        uint32_t bits;  // 0: not a resolution
        uint8_t es;
    };
    const Case cases[] = {{0, 16, 0}, {1, 16, 1}, {2, 20, 0}, {3, 20, 1}, {4, 0, 0}, {5, 24, 1}, {6, 24, 0}, {7, 0, 0}};
    for (int cpf : {0, 1}) {
        for (const auto& c : cases) {
            DtsFields f;
            f.cpf = cpf;
            f.pcmr = c.pcmr;
            DtsInfo info = decodeAll(f, c.bits != 0);
            if (c.bits) {
                EXPECT_EQ(info.bitDepth, c.bits) << c.pcmr << " cpf " << cpf;
                EXPECT_EQ(info.extendedSurround, c.es) << c.pcmr;
            } else {
                EXPECT_EQ(std::string(info.message),
                          cp("[DTS] 不明なSource PCM Resolution(" + std::to_string(c.pcmr) + ")"));
            }
        }
    }
}

TEST(DtsHeader, ExtensionsXchAndX96) {
    struct Case {
        int id;
        int present;
        uint8_t xch, x96;
        uint32_t rate;
        const char* order;
    };
    const Case cases[] = {
        {0, 1, 1, 0, 48000, "C+L+R+SL+SR+LFE:XCh"},  {0, 0, 1, 0, 48000, "C+L+R+SL+SR+LFE"},
        {1, 1, 0, 0, 48000, "C+L+R+SL+SR+LFE"},      {2, 1, 0, 1, 96000, "C+L+R+SL+SR+LFE"},
        {2, 0, 0, 1, 96000, "C+L+R+SL+SR+LFE"},      {3, 1, 1, 1, 96000, "C+L+R+SL+SR+LFE:XCh"},
        {5, 1, 0, 0, 48000, "C+L+R+SL+SR+LFE"},      {7, 1, 0, 0, 48000, "C+L+R+SL+SR+LFE"},
    };
    for (const auto& c : cases) {
        DtsFields f;
        f.extAudioId = c.id;
        f.extAudio = c.present;
        DtsInfo info = decodeAll(f);
        EXPECT_EQ(info.hasXch, c.xch) << c.id;
        EXPECT_EQ(info.hasX96, c.x96) << c.id;
        EXPECT_EQ(info.sampleRate, c.rate) << c.id;
        EXPECT_STREQ(info.channelOrder, c.order) << c.id << " " << c.present;
    }
}

TEST(DtsHeader, NotDtsOrTooShort) {
    const std::string msg = cp("[DTS] 不明なエンディアン形式又はDTSではありません");
    const auto header = dtsBits(DtsFields{});
    struct Case {
        const char* name;
        std::string data;
    };
    const Case cases[] = {
        {"no sync", std::string(24, 'x')},
        {"empty", ""},
        {"14-bit LE with b4 below F0", bytes({0xFF, 0x1F, 0x00, 0xE8, 0xE0, 0x07}) + std::string(20, '\0')},
        {"16-bit header cut at 15 bytes", pack(header, Packing::BE16).substr(0, 15)},
        {"14-bit header cut at 17 bytes", pack(header, Packing::LE14).substr(0, 17)},
    };
    for (const auto& c : cases) {
        DtsInfo info{};
        EXPECT_FALSE(decode(info, c.data)) << c.name;
        EXPECT_EQ(std::string(info.message), msg) << c.name;
    }
    DtsInfo info{};
    EXPECT_FALSE(decodeDtsHeader(info, nullptr, 20));
    // Just long enough: eight 16-bit words, nine 14-bit words.
    DtsInfo be{}, le14{};
    EXPECT_TRUE(decode(be, pack(header, Packing::BE16).substr(0, 16)));
    EXPECT_TRUE(decode(le14, pack(header, Packing::LE14).substr(0, 18)));
}

// The first header of the encoder fixture and its repackings, as bytes.
TEST(DtsHeader, RealEncoderHeaders) {
    const std::string heads[] = {
        bytes({0x7f, 0xfe, 0x80, 0x01, 0xfc, 0x3c, 0x3f, 0xf2, 0x75, 0xe0, 0x05, 0x38, 0x00, 0x09, 0xef, 0x7b,
               0xde, 0xff, 0xff, 0xff}),
        bytes({0xfe, 0x7f, 0x01, 0x80, 0x3c, 0xfc, 0xf2, 0x3f, 0xe0, 0x75, 0x38, 0x05, 0x09, 0x00, 0x7b, 0xef,
               0xff, 0xde, 0xff, 0xff}),
        bytes({0x1f, 0xff, 0xe8, 0x00, 0x07, 0xf0, 0xfc, 0x3f, 0xfc, 0x9d, 0x1e, 0x00, 0x14, 0xe0, 0x00, 0x09,
               0xfb, 0xde, 0xfd, 0xef}),
        bytes({0xff, 0x1f, 0x00, 0xe8, 0xf0, 0x07, 0x3f, 0xfc, 0x9d, 0xfc, 0x00, 0x1e, 0xe0, 0x14, 0x09, 0x00,
               0xde, 0xfb, 0xef, 0xfd}),
    };
    const char* endians[] = {"16BitBE", "16BitLE", "14BitBE", "14BitLE"};
    for (size_t i = 0; i < 4; ++i) {
        DtsInfo info{};
        ASSERT_TRUE(decode(info, heads[i])) << endians[i];
        EXPECT_STREQ(info.endian, endians[i]);
        EXPECT_STREQ(info.channelOrder, "C+L+R+SL+SR+LFE");
        EXPECT_DOUBLE_EQ(info.channels, 5.1);
        EXPECT_EQ(info.sampleRate, 48000u);
        EXPECT_EQ(info.bitRate, 768000u);
        EXPECT_EQ(info.bitDepth, 16u);
        EXPECT_EQ(info.extendedSurround, 0);
    }
}

// ---- stream read: play time ----

TEST(DtsStream, PlayTimeFromSizeAndRate) {
    test::TempDir dir;
    struct Case {
        int rate;
        Packing packing;
        double seconds;  // for 1,000,000 stored bytes
    };
    const Case cases[] = {
        {15, Packing::BE16, 8e6 / 754500},   // nominal 768 kbit/s
        {24, Packing::LE16, 8e6 / 1509750},  // nominal 1,536 kbit/s
        {22, Packing::BE16, 8e6 / 1411200},
        {0, Packing::BE16, 8e6 / 32000},
        // 14-bit packings: a 16-bit word holds 14 bits of the stream.
        {15, Packing::LE14, 7e6 / 754500},
        {22, Packing::BE14, 7e6 / 1411200},
        // Open, variable and lossless rates: no divisor, time unknown.
        {29, Packing::BE16, -1.0},
        {30, Packing::LE14, -1.0},
        {31, Packing::LE16, -1.0},
    };
    for (const auto& c : cases) {
        DtsFields f;
        f.rate = c.rate;
        auto path = dir.write("s.dts", "junk" + pack(dtsBits(f), c.packing));
        FileReader reader;
        ASSERT_TRUE(reader.open(*test::makeRecord(path)));
        reader.seek(4, 0);
        DtsInfo info{};
        info.computeDuration = 1;
        info.streamBytes = 1000000;
        ASSERT_TRUE(readDtsStream(info, reader)) << c.rate;
        EXPECT_EQ(reader.tell(), 4u);  // a peek
        EXPECT_STREQ(info.endian, label(c.packing));
        EXPECT_DOUBLE_EQ(info.duration, c.seconds) << c.rate << " " << label(c.packing);
    }

    // Without computeDuration nothing is computed; a failed decode leaves
    // its message.
    DtsFields f;
    auto path = dir.write("s.dts", pack(dtsBits(f), Packing::BE16));
    FileReader reader;
    ASSERT_TRUE(reader.open(*test::makeRecord(path)));
    DtsInfo quiet{};
    quiet.streamBytes = 1000000;
    ASSERT_TRUE(readDtsStream(quiet, reader));
    EXPECT_EQ(quiet.duration, 0.0);
    reader.seek(1, 0);
    DtsInfo bad{};
    EXPECT_FALSE(readDtsStream(bad, reader));
    EXPECT_EQ(std::string(bad.message), cp("[DTS] 不明なエンディアン形式又はDTSではありません"));
}

// ---- description line ----

TEST(DtsDescribe, FixedAndOtherRates) {
    test::useTestData();
    DtsFields es;
    es.pcmr = 1;
    es.extAudioId = 0;
    es.extAudio = 1;
    DtsInfo info{};
    ASSERT_TRUE(decode(info, pack(dtsBits(es), Packing::LE14)));
    auto f = test::fields(describeDts(info));
    EXPECT_EQ(f["tpl"], "DTS/AUDIO1");
    EXPECT_EQ(f["version"], "DTS-ES");
    EXPECT_EQ(f["endian"], "14BitLE");
    EXPECT_EQ(f["sampleratek"], "48.00");
    EXPECT_EQ(f["samplerate"], "48000");
    EXPECT_EQ(f["bitdepth"], "16");
    EXPECT_EQ(f["channel"], "5.1");
    EXPECT_EQ(f["channelorder"], "C+L+R+SL+SR+LFE:XCh");
    EXPECT_EQ(f["bitratek"], "768.00");
    EXPECT_EQ(f["bitrate"], "768000.00");

    DtsFields lossless;
    lossless.rate = 31;
    lossless.pcmr = 6;
    lossless.extAudioId = 2;
    lossless.lff = 0;
    DtsInfo other{};
    ASSERT_TRUE(decode(other, pack(dtsBits(lossless), Packing::BE16)));
    f = test::fields(describeDts(other));
    EXPECT_EQ(f["tpl"], "DTS/AUDIO2");
    EXPECT_EQ(f["version"], "DTS");
    EXPECT_EQ(f["endian"], "16BitBE");
    EXPECT_EQ(f["sampleratek"], "96.00");
    EXPECT_EQ(f["bitdepth"], "24");
    EXPECT_EQ(f["channel"], "5.0");
    EXPECT_EQ(f["bitrate"], "LossLess");
    EXPECT_EQ(f["bitratek"], "LossLess");

    char small[10];
    describeDts(small, sizeof small, other);
    EXPECT_EQ(std::string(small), describeDts(other).substr(0, 9));
}

TEST(DtsDescribe, ShippedTemplates) {
    test::useShippedData();
    DtsInfo info{};
    ASSERT_TRUE(decode(info, pack(dtsBits(DtsFields{}), Packing::BE14)));
    EXPECT_EQ(describeDts(info), "DTS 768.00kbps 48000Hz 16bit 5.1ch(C+L+R+SL+SR+LFE) 14BitBE");
    DtsFields vbr;
    vbr.rate = 30;
    DtsInfo other{};
    ASSERT_TRUE(decode(other, pack(dtsBits(vbr), Packing::BE16)));
    EXPECT_EQ(describeDts(other), "DTS VBR 48000Hz 16bit 5.1ch(C+L+R+SL+SR+LFE) 16BitBE");
    test::useTestData();
}

// ---- file analyser ----

// The 12-frame repackings of the encoder's 16-bit big-endian file. Each
// frame holds 512 samples at 48 kHz, so all three play 0.128 s (ffmpeg
// decodes 6,144 samples from each). The 14-bit files are 16/14 times as
// large for the same stream: counting their stored bytes as stream bytes
// would show 0.149 s. (ffprobe's own format duration for them, 0.1465 s, is
// likewise a size-and-rate estimate and overstates by the same factor;
// its frame count, 12, is what agrees.)
TEST(DtsAnalyser, FourPackingsOfOneStream) {
    test::useTestData();
    struct Case {
        const char* file;
        int32_t code;
        const char* endian;
        double streamShare;  // of the stored bytes
    };
    const Case cases[] = {
        {"dts_51_14le.dts", VESKO_FMT_DTS14_LE, "14BitLE", 14.0 / 16.0},
        {"dts_51_14be.dts", VESKO_FMT_DTS14_BE, "14BitBE", 14.0 / 16.0},
        {"dts_51_16le.dts", VESKO_FMT_DTS16_LE, "16BitLE", 1.0},
        {"dts_51_16be.dts", VESKO_FMT_DTS16_BE, "16BitBE", 1.0},
    };
    double twelveFrames16 = 0;
    for (const auto& c : cases) {
        auto r = test::analyse(test::fixture(c.file));
        ASSERT_EQ(r->formatCode, c.code) << c.file;
        ASSERT_STREQ(r->errorText, "") << c.file;
        ASSERT_EQ(r->audioCount, 1) << c.file;
        auto f = test::fields(r->audioText[0]);
        EXPECT_EQ(f["tpl"], "DTS/AUDIO1");
        EXPECT_EQ(f["version"], "DTS");
        EXPECT_EQ(f["endian"], c.endian);
        EXPECT_EQ(f["samplerate"], "48000");
        EXPECT_EQ(f["sampleratek"], "48.00");
        EXPECT_EQ(f["bitdepth"], "16");
        EXPECT_EQ(f["channel"], "5.1");
        EXPECT_EQ(f["channelorder"], "C+L+R+SL+SR+LFE");
        EXPECT_EQ(f["bitratek"], "768.00");
        const auto size = std::filesystem::file_size(test::fixture(c.file));
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(size));
        // Nominal 768 kbit/s counts as 754.5 kbit/s.
        EXPECT_DOUBLE_EQ(r->duration, size * c.streamShare * 8 / 754500) << c.file;
        if (c.code == VESKO_FMT_DTS16_LE) twelveFrames16 = r->duration;
        if (c.code != VESKO_FMT_DTS16_BE) {
            EXPECT_NEAR(r->duration, 0.128, 0.128 * 0.02) << c.file;
        }
    }
    // Both 14-bit files give the 16-bit file's play time to within 0.2 %.
    for (const char* file : {"dts_51_14le.dts", "dts_51_14be.dts"})
        EXPECT_NEAR(test::analyse(test::fixture(file))->duration, twelveFrames16, twelveFrames16 * 0.002) << file;
}

TEST(DtsAnalyser, OtherEncoderFixtures) {
    test::useTestData();
    // ffmpeg writes 1,411.2 kbit/s exactly: ffprobe reports 0.104489 s.
    auto r = test::analyse(test::fixture("dts_stereo_44k.dts"));
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 1);
    auto f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["samplerate"], "44100");
    EXPECT_EQ(f["channel"], "2.0");
    EXPECT_EQ(f["channelorder"], "L+R");
    EXPECT_EQ(f["bitrate"], "1411200.00");
    EXPECT_EQ(f["endian"], "16BitBE");
    EXPECT_NEAR(r->duration, 0.104489, 0.104489 * 0.01);

    // RATE 31 written into two real frames: no rate, so no play time.
    r = test::analyse(test::fixture("dts_51_16be_rate_lossless.dts"));
    ASSERT_STREQ(r->errorText, "");
    ASSERT_EQ(r->audioCount, 1);
    f = test::fields(r->audioText[0]);
    EXPECT_EQ(f["tpl"], "DTS/AUDIO2");
    EXPECT_EQ(f["bitrate"], "LossLess");
    EXPECT_EQ(f["bitratek"], "LossLess");
    EXPECT_EQ(r->duration, -1.0);
}

TEST(DtsAnalyser, JunkBeforeTheFirstFrame) {
    test::useTestData();
    test::TempDir dir;
    const std::string frames = fileBytes(test::fixture("dts_51_16le.dts"));
    for (size_t junk : {1u, 500u, 2027u}) {
        auto r = analyseAs(dir.write("j.dts", std::string(junk, 'J') + frames), VESKO_FMT_DTS16_LE);
        ASSERT_STREQ(r->errorText, "") << junk;
        ASSERT_EQ(r->audioCount, 1);
        EXPECT_DOUBLE_EQ(r->duration, frames.size() * 8.0 / 754500) << junk;
    }
}

TEST(DtsAnalyser, FailureTexts) {
    test::useTestData();
    test::TempDir dir;
    DtsFields amode;
    amode.amode = 20;
    DtsFields sfreq;
    sfreq.sfreq = 4;
    DtsFields pcmr;
    pcmr.pcmr = 7;
    const std::string good = pack(dtsBits(DtsFields{}), Packing::BE16);
    struct Case {
        const char* name;
        std::string content;
        std::string error;
    };
    const Case cases[] = {
        {"no sync in the window", std::string(2048, 'x') + good, cp("[DTS] SYNCが見つかりません")},
        // At 2,028 only twenty bytes of the window remain.
        {"sync too near the window end", std::string(2028, 'x') + good, cp("[DTS] SYNCが見つかりません")},
        {"file shorter than a header", good.substr(0, 20), cp("[DTS] SYNCが見つかりません")},
        {"empty file", "", cp("[DTS] SYNCが見つかりません")},
        {"AMODE 20", pack(dtsBits(amode), Packing::LE14), cp("[DTS] 不明なChannel arrangement(20)")},
        {"SFREQ 4", pack(dtsBits(sfreq), Packing::BE14), cp("[DTS] 不明なCore Audio Sampling Frequency(4)")},
        {"PCMR 7", pack(dtsBits(pcmr), Packing::LE16), cp("[DTS] 不明なSource PCM Resolution(7)")},
    };
    for (const auto& c : cases) {
        auto r = analyseAs(dir.write("f.dts", c.content), VESKO_FMT_DTS16_BE);
        EXPECT_EQ(std::string(r->errorText), c.error) << c.name;
        EXPECT_EQ(r->audioCount, 0) << c.name;
        EXPECT_EQ(r->fileSize, static_cast<int64_t>(c.content.size())) << c.name;
    }
    auto missing = analyseAs(dir.path() / "missing.dts", VESKO_FMT_DTS16_BE);
    EXPECT_EQ(std::string(missing->errorText), cp("ファイルのオープンに失敗"));
}

}  // namespace
}  // namespace vesko
