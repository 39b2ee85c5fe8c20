// DTS (Coherent Acoustics) elementary streams in their four word packings.
// Whatever the packing, the core header (ETSI TS 102 114) is first turned
// into the bit text of the plain 16-bit big-endian stream and read from
// there. The play time comes from the stream's size and the bit rate.
#include "dts.h"

#include <limits>

#include "../analysers.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"

namespace vesko {

namespace {

// The head of the file that the analyser searches for the first frame.
constexpr size_t kWindowBytes = 2048;

enum class Packing { None, Bits14LE, Bits14BE, Bits16LE, Bits16BE };

Packing packingAt(const uint8_t* b, size_t length) {
    if (length >= 6) {
        if (b[0] == 0xFF && b[1] == 0x1F && b[2] == 0x00 && b[3] == 0xE8 && b[4] >= 0xF0 && b[5] == 0x07)
            return Packing::Bits14LE;
        if (b[0] == 0x1F && b[1] == 0xFF && b[2] == 0xE8 && b[3] == 0x00 && b[4] == 0x07 && b[5] >= 0xF0)
            return Packing::Bits14BE;
    }
    if (length >= 4) {
        if (b[0] == 0xFE && b[1] == 0x7F && b[2] == 0x01 && b[3] == 0x80) return Packing::Bits16LE;
        if (b[0] == 0x7F && b[1] == 0xFE && b[2] == 0x80 && b[3] == 0x01) return Packing::Bits16BE;
    }
    return Packing::None;
}

const char* endianLabel(Packing packing) {
    switch (packing) {
        case Packing::Bits14LE: return "14BitLE";
        case Packing::Bits14BE: return "14BitBE";
        case Packing::Bits16LE: return "16BitLE";
        case Packing::Bits16BE: return "16BitBE";
        case Packing::None: break;
    }
    return "";
}

bool is14Bit(Packing packing) { return packing == Packing::Bits14LE || packing == Packing::Bits14BE; }

// Bytes of the packed stream that hold the header up to PCMR (bit 114 at
// most): eight 16-bit words, or nine 14-bit words.
size_t headerBytes(Packing packing) { return is14Bit(packing) ? 18 : 16; }

// The bit text of the header as the plain 16-bit big-endian stream. A
// 14-bit word keeps its payload in the low 14 bits (the two top bits repeat
// bit 13 and are dropped).
std::string streamBits(const uint8_t* b, Packing packing) {
    std::string bits;
    bits.reserve(128);
    const size_t words = headerBytes(packing) / 2;
    for (size_t i = 0; i < words; ++i) {
        const uint8_t first = b[2 * i];
        const uint8_t second = b[2 * i + 1];
        switch (packing) {
            case Packing::Bits16BE:
                byteToBits(bits, first);
                byteToBits(bits, second);
                break;
            case Packing::Bits16LE:
                byteToBits(bits, second);
                byteToBits(bits, first);
                break;
            case Packing::Bits14BE:
                byteToBits(bits, first);
                bits.erase(bits.size() - 8, 2);
                byteToBits(bits, second);
                break;
            case Packing::Bits14LE:
                byteToBits(bits, second);
                bits.erase(bits.size() - 8, 2);
                byteToBits(bits, first);
                break;
            case Packing::None:
                break;
        }
    }
    return bits;
}

struct ChannelArrangement {
    double channels;
    const char* order;
};

// AMODE 0 to 16.
constexpr ChannelArrangement kArrangements[17] = {
    {1, "A"},
    {2, "A+B"},
    {2, "L+R"},
    {2, "(L+R)+(L-R)"},
    {2, "LT+RT"},
    {3, "C+L+R"},
    {3, "L+R+S"},
    {4, "C+L+R+S"},
    {4, "L+R+SL+SR"},
    {5, "C+L+R+SL+SR"},
    {6, "CL+CR+L+R+SL+SR"},
    {6, "C+L+R+LR+RR+OV"},
    {6, "CF+CR+LF+RF+LR+RR"},
    {7, "CL+C+CR+L+R+SL+SR"},
    {8, "CL+CR+L+R+SL1+SL2+SR1+SR2"},
    {8, "CL+C+CR+L+R+SL+S+SR"},
    {0, "User defined"},
};

// SFREQ 0 to 15; 0 where the code has no frequency.
constexpr uint32_t kSampleRates[16] = {0, 8000, 16000, 32000, 0, 0, 11025, 22050,
                                       44100, 0, 0, 12000, 24000, 48000, 0, 0};

// RATE 0 to 28 in bits per second; 29 to 31 carry no rate.
constexpr uint32_t kBitRates[29] = {32000,   56000,   64000,   96000,   112000,  128000,  192000, 224000,
                                    256000,  320000,  384000,  448000,  512000,  576000,  640000, 768000,
                                    960000,  1024000, 1152000, 1280000, 1344000, 1408000, 1411200, 1472000,
                                    1536000, 1920000, 2048000, 3072000, 3840000};
constexpr const char* kRateModes[3] = {"Open", "VBR", "LossLess"};

struct PcmResolution {
    uint32_t bits;
    uint8_t extendedSurround;
};

// PCMR 0 to 7; bits 0 where the code is not used.
constexpr PcmResolution kResolutions[8] = {{16, 0}, {16, 1}, {20, 0}, {20, 1}, {0, 0}, {24, 1}, {24, 0}, {0, 0}};

void fail(DtsInfo& info, std::string_view message) { copyText(info.message, sizeof info.message, message); }

std::string slot(const char* text, size_t width) { return std::string(text, slotLength(text, width)); }

}  // namespace

int32_t findDtsSync(const uint8_t* bytes, size_t length, size_t start) {
    if (!bytes || length < kDtsHeaderBytes + 1) return -1;
    size_t limit = length - kDtsHeaderBytes;  // p < length - 20
    if (limit > static_cast<size_t>(std::numeric_limits<int32_t>::max())) limit = std::numeric_limits<int32_t>::max();
    for (size_t p = start; p < limit; ++p)
        if (packingAt(bytes + p, length - p) != Packing::None) return static_cast<int32_t>(p);
    return -1;
}

bool decodeDtsHeader(DtsInfo& info, const uint8_t* bytes, size_t length) {
    const Packing packing = bytes ? packingAt(bytes, length) : Packing::None;
    if (packing == Packing::None || length < headerBytes(packing)) {
        fail(info, jp("[DTS] 不明なエンディアン形式又はDTSではありません"));
        return false;
    }
    copyText(info.endian, sizeof info.endian, endianLabel(packing));

    const std::string bits = streamBits(bytes, packing);
    // From bit 32, after the sync word: FTYPE (1), SHORT (5), CPF, NBLKS (7),
    // FSIZE (14), then AMODE.
    const bool crcPresent = bitsAt(bits, 38, 1) != 0;
    const auto amode = static_cast<int>(bitsAt(bits, 60, 6));
    const auto sfreq = static_cast<int>(bitsAt(bits, 66, 4));
    const auto rate = static_cast<int>(bitsAt(bits, 70, 5));
    // MIX, DYNF, TIMEF, AUXF, HDCD (75 to 79).
    const auto extAudioId = static_cast<int>(bitsAt(bits, 80, 3));
    const bool extAudio = bitsAt(bits, 83, 1) != 0;
    // ASPF (84).
    const auto lff = static_cast<int>(bitsAt(bits, 85, 2));
    // HFLAG (87), HCRC (16, only with CPF), FILTS (1), VERNUM (4), CHIST (2).
    const auto pcmr = static_cast<int>(bitsAt(bits, crcPresent ? 111 : 95, 3));

    if (amode > 16) {
        fail(info, format(jp("[DTS] 不明なChannel arrangement(%d)"), amode));
        return false;
    }
    std::string order = kArrangements[amode].order;
    info.channels = kArrangements[amode].channels;

    if (kSampleRates[sfreq] == 0) {
        fail(info, format(jp("[DTS] 不明なCore Audio Sampling Frequency(%d)"), sfreq));
        return false;
    }
    info.sampleRate = kSampleRates[sfreq];

    if (rate < 29) {
        info.bitRate = kBitRates[rate];
        info.rateMode[0] = '\0';
    } else {
        info.bitRate = 0;
        copyText(info.rateMode, sizeof info.rateMode, kRateModes[rate - 29]);
    }

    info.hasXch = extAudioId == 0 || extAudioId == 3;
    info.hasX96 = extAudioId == 2 || extAudioId == 3;

    if (lff == 1 || lff == 2) {
        order += "+LFE";
        info.channels += 0.1;
    }

    if (kResolutions[pcmr].bits == 0) {
        fail(info, format(jp("[DTS] 不明なSource PCM Resolution(%d)"), pcmr));
        return false;
    }
    info.bitDepth = kResolutions[pcmr].bits;
    info.extendedSurround = kResolutions[pcmr].extendedSurround;

    if (extAudio && info.hasXch) order += ":XCh";
    if (info.hasX96) info.sampleRate *= 2;
    copyText(info.channelOrder, sizeof info.channelOrder, order);
    return true;
}

bool readDtsStream(DtsInfo& info, FileReader& reader) {
    uint8_t head[kDtsHeaderBytes] = {};
    const size_t got = reader.read(head, sizeof head, false);
    if (!decodeDtsHeader(info, head, got)) return false;
    if (info.computeDuration) {
        // The nominal 768 and 1,536 kbit/s are 754.5 and 1,509.75 kbit/s on
        // the wire.
        double rate = info.bitRate;
        if (info.bitRate == 768000) rate = 754500;
        if (info.bitRate == 1536000) rate = 1509750;
        // In the 14-bit packings every 16-bit word carries 14 bits of the
        // stream, so the file holds 16/14 times the stream's own bytes.
        double bits = static_cast<double>(info.streamBytes) * 8.0;
        if (is14Bit(packingAt(head, got))) bits = bits * 14.0 / 16.0;
        // Open, variable and lossless rates give no divisor: time unknown.
        info.duration = rate > 0 ? bits / rate : -1.0;
    }
    return true;
}

std::string describeDts(const DtsInfo& info) {
    const bool fixedRate = info.rateMode[0] == '\0';
    std::string line = lookupTemplate(fixedRate ? "AUDIO1" : "AUDIO2", "DTS", u"FORMAT.INI");
    replacePlaceholder(line, "#version#", info.extendedSurround == 1 ? "DTS-ES" : "DTS");
    replacePlaceholder(line, "#endian#", slot(info.endian, sizeof info.endian));
    replacePlaceholder(line, "#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    replacePlaceholder(line, "#samplerate#", format("%u", info.sampleRate));
    replacePlaceholder(line, "#bitdepth#", format("%u", info.bitDepth));
    replacePlaceholder(line, "#channel#", format("%.1f", info.channels));
    replacePlaceholder(line, "#channelorder#", slot(info.channelOrder, sizeof info.channelOrder));
    if (fixedRate) {
        replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001));
        replacePlaceholder(line, "#bitrate#", format("%.2f", static_cast<double>(info.bitRate)));
    } else {
        const std::string mode = slot(info.rateMode, sizeof info.rateMode);
        replacePlaceholder(line, "#bitrate#", mode);
        replacePlaceholder(line, "#bitratek#", mode);
    }
    return line;
}

void describeDts(char* out, size_t outSize, const DtsInfo& info) {
    if (out && outSize) copyText(out, outSize, describeDts(info));
}

void analyzeDts(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    uint8_t window[kWindowBytes] = {};
    const size_t got = reader.read(window, sizeof window, false);
    const int32_t p = findDtsSync(window, got, 0);
    if (p < 0) {
        setErrorText(record, jp("[DTS] SYNCが見つかりません"));
        return;
    }

    DtsInfo info{};
    info.computeDuration = 1;
    info.streamBytes = reader.size - static_cast<uint64_t>(p);
    reader.seek(p, 0);
    if (!readDtsStream(info, reader)) {
        setErrorText(record, slot(info.message, sizeof info.message));
        return;
    }
    addAudioText(record, describeDts(info));
    record.duration = info.duration;
}

}  // namespace vesko
