// AC-3 (Dolby Digital) elementary streams: syncinfo and the start of the bit
// stream information of the first syncframe (ATSC A/52). The play time
// comes from the stream's size and the nominal bit rate.
#include "ac3.h"

#include <cstring>
#include <limits>

#include "../analysers.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"

namespace vesko {

namespace {

// The head of the file that the analyser searches for the first syncframe.
constexpr size_t kWindowBytes = 2048;
// syncinfo (5 bytes) and bsid/bsmod/acmod and the mix levels up to lfeon.
constexpr size_t kHeaderBytes = 7;

// Nominal bit rates in kbit/s by frmsizecod / 2 (A/52 Table 5.18).
constexpr uint32_t kBitRatesK[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                     192, 224, 256, 320, 384, 448, 512, 576, 640};
constexpr uint32_t kSampleRates[3] = {48000, 44100, 32000};

// Bit stream modes; bsmod 7 is a voice-over only with a single centre
// channel (acmod 1), otherwise a karaoke service.
constexpr const char* kServiceTypes[8] = {"CM", "ME", "VI", "HI", "D", "C", "E", "VO"};

struct ChannelMode {
    double channels;
    const char* config;
    const char* order;
};

constexpr ChannelMode kChannelModes[8] = {
    {2, "1+1", "Ch1+Ch2"}, {1, "1/0", "C"},         {2, "2/0", "L+R"},       {3, "3/0", "L+C+R"},
    {3, "2/1", "L+R+S"},   {4, "3/1", "L+C+R+S"}, {4, "2/2", "L+R+SL+SR"}, {5, "3/2", "L+C+R+SL+SR"},
};

void fail(Ac3Info& info, std::string_view message) { copyText(info.message, sizeof info.message, message); }

}  // namespace

int32_t findAc3Sync(const uint8_t* bytes, size_t length, size_t start) {
    if (!bytes || length < 6) return -1;
    size_t limit = length - 5;  // p + 5 < length: six bytes from p are present
    if (limit > static_cast<size_t>(std::numeric_limits<int32_t>::max())) limit = std::numeric_limits<int32_t>::max();
    for (size_t p = start; p < limit; ++p) {
        const void* hit = std::memchr(bytes + p, 0x0B, limit - p);
        if (!hit) break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes);
        if (bytes[p + 1] == 0x77) return static_cast<int32_t>(p);
    }
    return -1;
}

bool decodeAc3Header(Ac3Info& info, const uint8_t* bytes, size_t length) {
    if (!bytes || length < kHeaderBytes) return false;
    const std::string bits = bytesToBits(Bytes(bytes, kHeaderBytes));

    if (bitsAt(bits, 0, 16) != 0x0B77) return false;
    // crc1 (16 bits) is not checked.

    const auto fscod = static_cast<int>(bitsAt(bits, 32, 2));
    if (fscod == 3) {
        fail(info, format(jp("[AC3] Unknown fscod(%d)"), fscod));
        return false;
    }
    info.sampleRate = kSampleRates[fscod];

    const auto frmsizecod = static_cast<int>(bitsAt(bits, 34, 6));
    if (frmsizecod > 37) {
        fail(info, format(jp("[AC3] Unknown frmsizecod(%d)"), frmsizecod));
        return false;
    }
    info.bitRate = kBitRatesK[frmsizecod / 2] * 1000;

    // bsid (5 bits at 40) is not examined.
    const auto bsmod = static_cast<size_t>(bitsAt(bits, 45, 3));
    const auto acmod = static_cast<size_t>(bitsAt(bits, 48, 3));

    copyText(info.serviceType, sizeof info.serviceType,
             bsmod == 7 && acmod != 1 ? "Karaoke" : kServiceTypes[bsmod]);

    const ChannelMode& mode = kChannelModes[acmod];
    info.channels = mode.channels;
    copyText(info.channelConfig, sizeof info.channelConfig, mode.config);
    std::string order = mode.order;

    size_t pos = 51;
    if ((acmod & 1) && acmod != 1) pos += 2;  // cmixlev: three front channels
    if (acmod & 4) pos += 2;                  // surmixlev: surround channels present
    uint64_t dsurmod = 0;
    if (acmod == 2) {
        dsurmod = bitsAt(bits, pos, 2);
        pos += 2;
    }
    if (bitsAt(bits, pos, 1)) {  // lfeon
        info.channels += 0.1;
        order += "+LFE";
    }
    if (acmod == 2 && dsurmod == 2) order += ":Dolby Surround";
    copyText(info.channelOrder, sizeof info.channelOrder, order);

    if (info.computeDuration) info.duration = static_cast<double>(info.streamBytes) * 8.0 / info.bitRate;
    return true;
}

std::string describeAc3(const Ac3Info& info) {
    std::string line = lookupTemplate("AUDIO", "AC3", u"FORMAT.INI");
    const std::string codec(info.codec, slotLength(info.codec, sizeof info.codec));
    const std::string config(info.channelConfig, slotLength(info.channelConfig, sizeof info.channelConfig));
    const std::string order(info.channelOrder, slotLength(info.channelOrder, sizeof info.channelOrder));
    const std::string service(info.serviceType, slotLength(info.serviceType, sizeof info.serviceType));
    replacePlaceholder(line, "#codec#", codec);
    replacePlaceholder(line, "#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    replacePlaceholder(line, "#samplerate#", format("%u", info.sampleRate));
    replacePlaceholder(line, "#channel#", format("%.1f", info.channels));
    replacePlaceholder(line, "#channelconfig#", config);
    replacePlaceholder(line, "#channelorder#", order);
    replacePlaceholder(line, "#servicetype#", service);
    replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001));
    replacePlaceholder(line, "#bitrate#", format("%.2f", static_cast<double>(info.bitRate)));
    return line;
}

void describeAc3(char* out, size_t outSize, const Ac3Info& info) {
    if (out && outSize) copyText(out, outSize, describeAc3(info));
}

void analyzeAc3(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    // A leading ID3v2 tag is passed over as a whole: a tag with a picture
    // is longer than the window, and binary frames may hold 0B 77. Other
    // junk before the first syncframe is stepped over by the sync search.
    uint64_t start = 0;
    uint8_t head[10] = {};
    if (reader.read(head, sizeof head, false) == sizeof head && equalsAtNoCase(Bytes(head), 0, "ID3")) {
        start = reader.skipLeadingId3v2();
        if (start >= reader.size) start = 0;  // a size that runs past the end: search from the start
        reader.seek(static_cast<int64_t>(start), 0);
    }
    uint8_t window[kWindowBytes] = {};
    const size_t got = reader.read(window, sizeof window);
    reader.close();

    const int32_t p = findAc3Sync(window, got, 0);
    if (p < 0) {
        setErrorText(record, jp("[AC3] SyncInfoが見つかりません"));
        return;
    }

    Ac3Info info{};
    info.computeDuration = 1;
    info.streamBytes = reader.size - start - static_cast<uint64_t>(p);
    if (!decodeAc3Header(info, window + p, got - static_cast<size_t>(p))) {
        // A sync word too near the end of the window (or of the file) leaves
        // the decoder without a header and without a message: the syncinfo
        // was not found after all.
        setErrorText(record, info.message[0] ? std::string_view(info.message, slotLength(info.message, sizeof info.message))
                                             : std::string_view(jp("[AC3] SyncInfoが見つかりません")));
        return;
    }
    copyText(info.codec, sizeof info.codec, "Dolby AC-3");
    addAudioText(record, describeAc3(info));
    record.duration = info.duration;
}

}  // namespace vesko
