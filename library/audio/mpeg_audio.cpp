// MPEG audio (MP1, MP2, MP3): header tables after ISO/IEC 11172-3 and
// 13818-3 plus the MPEG 2.5 extension, the Xing/Info, VBRI and LAME headers
// of the first frame, and the ".mp3" file analyser.
#include "mpeg_audio.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "../analysers.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

// Bit rates in kbit/s by index 0 to 14 (0 = free format, refused).
constexpr uint16_t kBitRateMpeg1[3][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // Layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // Layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // Layer III
};
constexpr uint16_t kBitRateMpeg2Layer1[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
// MPEG-2 Layers II and III, and every layer of MPEG 2.5.
constexpr uint16_t kBitRateMpeg2Low[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

constexpr uint32_t kSampleRateMpeg1[3] = {44100, 48000, 32000};

constexpr const char* kChannelModes[4] = {"Stereo", "JointStereo", "DualChannel", "Mono"};
constexpr const char* kBandExtensions[4] = {"4-31", "8-31", "12-31", "16-31"};  // Layers I and II
constexpr const char* kStereoExtensions[4] = {nullptr, "I", "MS", "I+MS"};        // Layer III

constexpr const char* kLameStereoModes[8] = {"Mono", "Stereo", "DualMono", "JointStereo",
                                             "ForcedStereo", "Auto", "IntensityStereo", "Other"};

constexpr size_t kFrameBufferBytes = 10240;  // larger than any frame (2,881 bytes at most)
constexpr size_t kSyncWindowBytes = 2048;
constexpr size_t kEncoderNameBytes = 20;
constexpr int kMaxId3v2AtSync = 64;

uint64_t id3v2TagSize(Bytes b, size_t off) {
    return 10 + ((uint64_t{b[off + 6] & 0x7Fu} << 21) | (uint64_t{b[off + 7] & 0x7Fu} << 14) |
                 (uint64_t{b[off + 8] & 0x7Fu} << 7) | (b[off + 9] & 0x7Fu));
}

bool isMpeg1(const MpegAudioInfo& info) { return info.version == 1; }

// Samples per frame: 384 for Layer I (every version), 1152 for Layer II and
// for MPEG-1 Layer III, 576 for Layer III at the low sampling frequencies.
uint32_t samplesPerFrame(const MpegAudioInfo& info) {
    if (info.layer == 1) return 384;
    if (info.layer == 3 && !isMpeg1(info)) return 576;
    return 1152;
}

// Offset of a Xing/Info header: the four header bytes plus the Layer III
// side information.
size_t xingOffset(const MpegAudioInfo& info) {
    bool mono = std::strcmp(info.channelMode, "Mono") == 0;
    if (isMpeg1(info)) return mono ? 21 : 36;
    return mono ? 13 : 21;
}

bool isEncoderLetter(uint8_t c) { return c >= 0x41 && c <= 0x7A; }

// Up to 20 bytes of encoder text; the copy ends before the first byte that
// is not printable ASCII, so the binary fields that follow a short name
// never reach the description line.
void copyEncoderName(MpegAudioInfo& info, Bytes frame, size_t from) {
    std::string name;
    for (size_t i = from; i < frame.size() && i < from + kEncoderNameBytes; ++i) {
        if (frame[i] < 0x20 || frame[i] > 0x7E) break;
        name.push_back(static_cast<char>(frame[i]));
    }
    copyText(info.encoderName, sizeof info.encoderName, name);
}

// True for "LAME" followed by a version of 3.90 or later. The version is
// compared as major.minor numbers, so 3.100 (written "LAME3.100") is newer
// than 3.99, and 3.88 is older than 3.90.
bool isLame390OrLater(std::string_view version) {
    size_t i = 4;  // after "LAME"
    auto number = [&](uint32_t& value) {
        const size_t first = i;
        value = 0;
        while (i < version.size() && i - first < 4 && version[i] >= '0' && version[i] <= '9')
            value = value * 10 + static_cast<uint32_t>(version[i++] - '0');
        return i > first;
    };
    uint32_t major = 0, minor = 0;
    if (!number(major)) return false;
    if (i >= version.size() || version[i] != '.') return major > 3;
    ++i;
    if (!number(minor)) return major > 3;
    return major > 3 || (major == 3 && minor >= 90);
}

void readLameTag(MpegAudioInfo& info, Bytes frame, size_t q) {
    char version[10] = {};  // printable characters only, as for the encoder name
    for (size_t i = 0; i < 9 && q + i < frame.size() && frame[q + i] >= 0x20 && frame[q + i] <= 0x7E; ++i)
        version[i] = static_cast<char>(frame[q + i]);
    copyText(info.lameVersion, sizeof info.lameVersion, version);

    // The fixed LAME fields run to byte 24 after "LAME".
    if (!isLame390OrLater(info.lameVersion) || q + 25 > frame.size()) {
        copyEncoderName(info, frame, q);
        return;
    }
    info.hasLameTag = 1;
    uint8_t revisionMethod = frame[q + 9];
    uint8_t bitRateByte = frame[q + 20];
    unsigned method = revisionMethod & 0x0F;
    info.lameRevision = revisionMethod >> 4;
    copyText(info.lameVbrMethod, sizeof info.lameVbrMethod, lameVbrMethodLabel(method));
    copyText(info.lameStereoMode, sizeof info.lameStereoMode, lameStereoModeLabel((frame[q + 24] >> 2) & 7));
    if (method == 2) {
        info.lameAbrBitRate = bitRateByte;
        info.lameBitRate = 0;
    } else if (method == 1) {
        copyText(info.bitRateMode, sizeof info.bitRateMode, "CBR");
        info.lameAbrBitRate = 0;
        info.lameBitRate = static_cast<uint32_t>(info.bitRate);
    } else {
        info.lameAbrBitRate = 0;
        info.lameBitRate = bitRateByte;
    }
}

// Reads a big-endian count at `off` when it lies inside the frame.
bool countAt(Bytes frame, size_t off, size_t width, uint32_t& value) {
    if (off > frame.size() || frame.size() - off < width) return false;
    value = width == 2 ? readU16BE(frame, off) : readU32BE(frame, off);
    return true;
}

}  // namespace

std::string lameVbrMethodLabel(unsigned method) {
    static constexpr const char* kLabels[16] = {"unknown",    "CBR",          "ABR",    "VBR-OLD/RH",
                                                "VBR-NEW/MTRH", "VBR-MT",     "FULL-VBR 4", "VBR-NEW/MT",
                                                "CBR-2PASS",  "ABR-2PASS",    nullptr,  nullptr,
                                                nullptr,      nullptr,        nullptr,  "reserved"};
    if (method < 16 && kLabels[method]) return kLabels[method];
    return format("unknown(%02X)", method & 0xFFu);
}

const char* lameStereoModeLabel(unsigned mode) { return kLameStereoModes[mode & 7]; }

int32_t findMpegAudioSync(Bytes bytes, size_t start) {
    const size_t length = bytes.size();
    if (length < 5) return -1;
    for (size_t p = start; p + 4 <= length; ++p) {
        const uint8_t b0 = bytes[p], b1 = bytes[p + 1], b2 = bytes[p + 2];
        bool found = equalsAtNoCase(bytes, p, "ID3") ||
                     (b0 == 0xFF && (b1 & 0xE0) == 0xE0 && (b1 & 0x18) != 0x08 && (b1 & 0x06) != 0 &&
                      (b2 & 0xF0) != 0xF0 && (b2 & 0x0C) != 0x0C);
        if (found) return p + 4 < length && p <= INT32_MAX ? static_cast<int32_t>(p) : -1;
    }
    return -1;
}

bool decodeMpegAudioHeader(Bytes bytes, MpegAudioInfo& info) {
    if (bytes.size() < 4) return false;
    const std::string bits = bytesToBits(bytes.first(4));

    int16_t version = 0;
    switch (bitsAt(bits, 11, 2)) {
        case 0: version = 25; break;
        case 2: version = 2; break;
        case 3: version = 1; break;
        default: return false;
    }
    int16_t layer = 0;
    switch (bitsAt(bits, 13, 2)) {
        case 1: layer = 3; break;
        case 2: layer = 2; break;
        case 3: layer = 1; break;
        default: return false;
    }
    const auto rateIndex = bitsAt(bits, 16, 4);
    if (rateIndex == 0 || rateIndex == 15) return false;
    const auto frequencyIndex = bitsAt(bits, 20, 2);
    if (frequencyIndex == 3) return false;

    uint16_t kbps = 0;
    if (version == 1)
        kbps = kBitRateMpeg1[layer - 1][rateIndex];
    else if (version == 2 && layer == 1)
        kbps = kBitRateMpeg2Layer1[rateIndex];
    else
        kbps = kBitRateMpeg2Low[rateIndex];
    uint32_t rate = kSampleRateMpeg1[frequencyIndex];
    if (version == 2) rate /= 2;
    if (version == 25) rate /= 4;

    info.version = version;
    info.layer = layer;
    info.sampleRate = rate;
    info.padding = static_cast<int32_t>(bitsAt(bits, 22, 1));
    info.bitRate = kbps;
    const auto mode = bitsAt(bits, 24, 2);
    copyText(info.channelMode, sizeof info.channelMode, kChannelModes[mode]);
    if (mode == 1) {
        const auto extension = bitsAt(bits, 26, 2);
        const char* label = layer == 3 ? kStereoExtensions[extension] : kBandExtensions[extension];
        if (label) copyText(info.modeExtension, sizeof info.modeExtension, label);
    }
    return true;
}

uint32_t mpegAudioFrameSize(const MpegAudioInfo& info) {
    if (info.sampleRate <= 0 || info.bitRate <= 0) return 0;
    const uint64_t bitsPerSecond = static_cast<uint64_t>(info.bitRate) * 1000;
    const uint64_t rate = static_cast<uint64_t>(info.sampleRate);
    const uint64_t pad = info.padding == 1 ? 1 : 0;
    // Layer I counts in 4-byte slots, 12 slots' worth per 384 samples, in
    // every version; Layers II and III in bytes, 1152 samples per frame
    // except Layer III at the low sampling frequencies (576).
    if (info.layer == 1) return static_cast<uint32_t>((12 * bitsPerSecond / rate + pad) * 4);
    const uint64_t bytesPerFrame = samplesPerFrame(info) / 8;  // 144 or 72
    return static_cast<uint32_t>(bytesPerFrame * bitsPerSecond / rate + pad);
}

bool parseVbrHeader(MpegAudioInfo& info, Bytes bytes) {
    // 1. ID3v2 tags before the frame.
    uint64_t start = 0;
    while (bytes.size() - start >= 3 && equalsAtNoCase(bytes, start, "ID3")) {
        if (bytes.size() - start < 10) return false;
        start += id3v2TagSize(bytes, start);
        if (start > bytes.size()) return false;
    }
    const Bytes frame = bytes.subspan(start);

    // 2. The frame header.
    if (!decodeMpegAudioHeader(frame, info)) return false;
    info.frameSize = mpegAudioFrameSize(info);

    uint32_t frames = 0;     // from the VBR header; 0 when absent
    uint32_t byteCount = 0;  // likewise
    if (frame.size() >= 40 && equalsAtNoCase(frame, 36, "VBRI")) {
        // 3. VBRI (always 32 bytes after the header).
        copyText(info.bitRateMode, sizeof info.bitRateMode, "VBR");
        copyText(info.vbrFormat, sizeof info.vbrFormat, "VBRI");
        info.hasVbri = 1;
        uint32_t value = 0;
        if (countAt(frame, 44, 2, value)) info.vbriQuality = value;
        if (countAt(frame, 46, 4, value)) byteCount = value;
        if (countAt(frame, 50, 4, value)) frames = info.vbriFrameCount = value;
    } else {
        const size_t off = xingOffset(info);
        if (frame.size() >= off + 4 && (equalsAtNoCase(frame, off, "Xing") || equalsAtNoCase(frame, off, "Info"))) {
            // 4. Xing/Info, perhaps followed by a LAME tag or another encoder's name.
            info.hasXing = 1;
            info.hasVbri = 0;
            copyText(info.bitRateMode, sizeof info.bitRateMode, "VBR");
            copyText(info.vbrFormat, sizeof info.vbrFormat, equalsAtNoCase(frame, off, "Xing") ? "Xing" : "LAME-Info");
            uint32_t flags = 0;
            countAt(frame, off + 4, 4, flags);
            size_t q = off + 8;
            uint32_t value = 0;
            if (flags & 1) {
                if (countAt(frame, q, 4, value)) frames = info.xingFrameCount = value;
                q += 4;
            }
            if (flags & 2) {
                if (countAt(frame, q, 4, value)) byteCount = value;
                q += 4;
            }
            if (flags & 4) q += 100;  // table of contents
            if (flags & 8) q += 4;    // quality
            if (q + 4 <= frame.size() && equalsAtNoCase(frame, q, "LAME"))
                readLameTag(info, frame, q);
            else if (q < frame.size() && isEncoderLetter(frame[q]))
                copyEncoderName(info, frame, q);
            else if (q - 4 < frame.size() && isEncoderLetter(frame[q - 4]))
                copyEncoderName(info, frame, q - 4);
        } else {
            // 5. Neither: constant bit rate.
            copyText(info.bitRateMode, sizeof info.bitRateMode, "CBR");
            info.cbrFrameCount = info.frameSize ? static_cast<uint32_t>(info.streamBytes / info.frameSize) : 0;
            return true;
        }
    }
    // A byte count of the header replaces the region's size; a zero or
    // missing count leaves it.
    if (byteCount) info.streamBytes = byteCount;

    // 6. Average bit rate, only when both counts are there.
    if (std::strcmp(info.bitRateMode, "VBR") == 0 && frames > 1 && byteCount > 0) {
        const double n = frames - 1.0;
        info.bitRate = byteCount / n * 8 * info.sampleRate / samplesPerFrame(info) * 0.001;
    }
    return true;
}

bool readMpegAudioStream(MpegAudioInfo& info, FileReader& reader) {
    // 1-2. Tags, and the audio bytes without them.
    info.tags.scanEndTags = info.streamBytes != 0;
    if (!info.tags.scanned) scanTags(reader, info.tags);
    auto takeOff = [&info](uint64_t n) { info.streamBytes = n < info.streamBytes ? info.streamBytes - n : 0; };
    if (info.tags.hasId3v1) takeOff(info.tags.id3v1Size);
    if (info.tags.hasApe) takeOff(info.tags.apeSize);
    if (info.tags.hasLyrics3) takeOff(info.tags.lyrics3Size);
    if (info.tags.hasId3v2) {
        reader.seek(static_cast<int64_t>(info.tags.id3v2Offset + info.tags.id3v2Size), 0);
        takeOff(info.tags.id3v2Size);
    }
    // 3. Junk before the first frame.
    if (info.syncOffset != 0) reader.seek(info.syncOffset, 1);

    // 4. The header. The sync search also stops at "ID3": a tag there (one
    // that does not follow the leading tags directly) is passed over rather
    // than read as a frame header.
    uint8_t head[16] = {};
    size_t got = reader.read(head, sizeof head, false);
    for (int guard = 0; guard < kMaxId3v2AtSync && got >= 10 && equalsAtNoCase(Bytes(head, got), 0, "ID3"); ++guard) {
        uint64_t size = id3v2TagSize(Bytes(head, got), 0);
        reader.seek(static_cast<int64_t>(size), 1);
        takeOff(size);
        std::memset(head, 0, sizeof head);
        got = reader.read(head, sizeof head, false);
    }
    if (got < 4 || !decodeMpegAudioHeader(Bytes(head, got), info)) return false;

    // 5-6. The first frame, and the VBR headers in it.
    info.frameSize = mpegAudioFrameSize(info);
    std::array<uint8_t, kFrameBufferBytes> frame{};
    size_t n = reader.read(frame.data(), std::min<size_t>(info.frameSize, frame.size()), true);
    parseVbrHeader(info, Bytes(frame.data(), n));

    // 7. Play time. The Info frame of a LAME CBR file is a header, not
    // audio: its bytes do not count (as its frame count does not).
    if (info.streamBytes != 0 && info.computeDuration && info.bitRate > 0) {
        uint64_t audioBytes = info.streamBytes;
        if (info.hasXing && std::strcmp(info.bitRateMode, "CBR") == 0 && audioBytes > info.frameSize)
            audioBytes -= info.frameSize;
        info.duration = audioBytes * 8.0 / (info.bitRate * 1000);
    }
    return true;
}

std::string describeMpegAudio(const MpegAudioInfo& info, size_t outSize) {
    const char* key = info.hasVbri ? "VBRI" : info.hasLameTag ? "LAME" : info.hasXing ? "XING" : info.cbrFrameCount ? "CBR1" : "CBR2";
    std::string text = lookupTemplate(key, "MP3", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };

    put("#version#", info.version == 1 ? "1" : info.version == 2 ? "2" : "2.5");
    put("#layer#", info.layer == 1 ? "I" : info.layer == 2 ? "II" : "III");
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%d", static_cast<int>(info.sampleRate)));
    put("#bitratek#", format("%.2f", info.bitRate));
    put("#bitrate#", format("%.2f", info.bitRate * 1000));
    put("#bitratemode#", info.bitRateMode[0] ? info.bitRateMode : "CBR");
    put("#channel#", info.modeExtension[0] ? format("%s/%s", info.channelMode, info.modeExtension) : info.channelMode);

    if (info.hasVbri) {
        put("#vbrformat#", info.vbrFormat);
        put("#frame#", format("%u", info.vbriFrameCount));
        put("#vbri-qr#", format("%u", info.vbriQuality));
    }
    if (info.hasXing) {
        put("#vbrformat#", info.vbrFormat);
        put("#frame#", format("%u", info.xingFrameCount));
        if (info.encoderName[0]) put("#encname#", info.encoderName);
    }
    if (info.hasLameTag) {
        const uint32_t kbps = std::strcmp(info.lameVbrMethod, "ABR") == 0 ? info.lameAbrBitRate : info.lameBitRate;
        put("#lame-version#", info.lameVersion);
        put("#lame-vbrmode#", info.lameVbrMethod);
        put("#lame-bitratek#", format("%u", kbps));
        put("#lame-bitrate#", format("%llu", static_cast<unsigned long long>(kbps) * 1000));
        put("#lame-channel#", info.lameStereoMode);
    }
    if (!info.hasVbri && !info.hasXing && !info.hasLameTag && info.cbrFrameCount)
        put("#frame#", format("%u", info.cbrFrameCount));
    return text;
}

void analyzeMpegAudio(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);

    MpegAudioInfo info{};
    info.tags.scanEndTags = 1;
    scanTags(reader, info.tags);
    const uint64_t audioStart = info.tags.hasId3v2 ? info.tags.id3v2Offset + info.tags.id3v2Size : 0;
    reader.seek(static_cast<int64_t>(audioStart), 0);
    if (info.tags.id3v2Count > 1)
        addExtraText(record, format(jp("ID3v2タグが複数存在します(%d)"), static_cast<int>(info.tags.id3v2Count)));

    std::array<uint8_t, kSyncWindowBytes> window{};
    reader.read(window.data(), window.size(), false);
    const int32_t sync = findMpegAudioSync(Bytes(window.data(), window.size()), 0);
    if (sync < 0) {
        setErrorText(record, jp("[MP3] シーケンスヘッダが見つかりません"));
        return;
    }
    info.syncOffset = static_cast<uint32_t>(sync);
    info.computeDuration = 1;
    info.streamBytes = reader.size;
    if (sync != 0) addExtraText(record, format(jp("無効なデータが存在します(%d)"), sync));

    reader.seek(static_cast<int64_t>(audioStart), 0);
    if (!readMpegAudioStream(info, reader)) {
        setErrorText(record, jp("[MP3] 不正なシーケンスヘッダです"));
        return;
    }
    addAudioText(record, describeMpegAudio(info));
    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
    record.duration = info.duration;
}

}  // namespace vesko
