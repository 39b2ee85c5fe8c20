// AAC (format code 117): ADTS and ADIF files, the AudioSpecificConfig
// decoder and the AAC tables shared with the container analysers.
#include "aac.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "tags.h"

namespace vesko {

namespace {

constexpr int32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                      22050, 16000, 12000, 11025, 8000,  7350};

constexpr const char* kProfileNames[32] = {
    nullptr,         "Main",         "LC",          "SSR",           "LTP",           "HE",
    "Scalable",      "TwinVQ",       "CELP",        "HVXC",          "Reserved-0x0A", "Reserved-0x0B",
    "TTSI",          "Main synthetic", "Wavetable", "General MIDI",  "Audio FX",      "LC:ER",
    "Reserved-0x12", "LTP:ER",       "Scalable:ER", "TwinVQ:ER",     "BSAC:ER",       "LD:ER",
    "CELP:ER",       "HXVC:ER",      "HILN:ER",     "Parametric:ER", "Reserved-0x1C", "Reserved-0x1D",
    "Reserved-0x1E", "Reserved-0x1F",
};

struct ChannelLayout {
    double channels;
    const char* config;
    const char* order;
};

constexpr ChannelLayout kChannelLayouts[8] = {
    {0.0, "0/0", "CUSTOM"},
    {1.0, "1/0", "C"},
    {2.0, "2/0", "L+R"},
    {3.0, "3/0", "C+L+R"},
    {4.0, "3/1", "C+L+R+BC"},
    {5.0, "3/2", "C+L+R+BL+BR"},
    {5.1, "3/2", "C+L+R+BL+BR+LFE"},
    {7.1, "3/4", "C+L+R+SL+SR+BL+BR+LFE"},
};

// ADTS frame headers are read through a window of this size, so a walk over
// a long file costs one read per block instead of one per frame.
constexpr size_t kAdtsBlock = 1 << 20;
constexpr size_t kAdtsHeaderPeek = 10;
// The fixed ADTS header; a frame shorter than that cannot move the walk on.
constexpr uint32_t kAdtsMinFrameLength = 7;
// An AudioSpecificConfig never needs more bits than this (the longest form,
// with every optional field present, is about 200 bits).
constexpr size_t kAscMaxBytes = 64;
constexpr size_t kAdifHeaderBytes = 1024;

void setProfile(AacInfo& info, int32_t objectType) {
    info.objectType = objectType;
    aacProfileName(info.profile, sizeof info.profile, objectType);
}

void setChannels(AacInfo& info, int32_t value) {
    aacChannelConfig(info.channelConfig, sizeof info.channelConfig, info.channelOrder, sizeof info.channelOrder,
                     info.channels, value);
}

void setMessage(AacInfo& info, const std::string& text) { copyText(info.message, sizeof info.message, text); }

// Sequential reading of a bit text: fields past its end read as 0.
struct BitCursor {
    std::string_view bits;
    size_t pos = 0;
    uint32_t take(size_t count) {
        auto v = static_cast<uint32_t>(bitsAt(bits, pos, count));
        pos += count;
        return v;
    }
    void skip(size_t count) { pos += count; }
};

// A sampling-frequency index (4 bits), or the 24-bit frequency after index 15.
uint32_t takeSampleRate(BitCursor& c) {
    int32_t index = static_cast<int32_t>(c.take(4));
    if (index == 15) return c.take(24);
    return static_cast<uint32_t>(std::max(aacSampleRate(index), 0));
}

// A window over the file for the ADTS walk: bytes are served from one large
// block, refilled at the requested offset when it does not hold them.
class BlockWindow {
public:
    BlockWindow(FileReader& reader, size_t blockSize) : reader_(reader), block_(blockSize) {}

    // count bytes at offset into out; bytes beyond the file read as 0.
    void copy(uint64_t offset, uint8_t* out, size_t count) {
        if (offset < start_ || offset - start_ + count > length_) {
            if (count > block_.size()) block_.resize(count);
            reader_.seek(static_cast<int64_t>(offset), 0);
            start_ = offset;
            length_ = reader_.read(block_.data(), block_.size(), true);
        }
        std::memset(out, 0, count);
        if (offset >= start_ && offset - start_ < length_) {
            size_t at = static_cast<size_t>(offset - start_);
            std::memcpy(out, block_.data() + at, std::min(count, length_ - at));
        }
    }

private:
    FileReader& reader_;
    std::vector<uint8_t> block_;
    uint64_t start_ = 0;
    size_t length_ = 0;
};

bool adtsSyncBroken(AacInfo& info, FileReader& reader, uint64_t start, uint32_t frame, uint64_t offset) {
    setMessage(info, format(jp("[AAC-ADTS] SyncWordが切れています(%df / %08llX)"), static_cast<int>(frame),
                            static_cast<unsigned long long>(offset)));
    reader.seek(static_cast<int64_t>(start), 0);
    return false;
}

bool failAt(AacInfo& info, FileReader& reader, uint64_t start, const std::string& message) {
    setMessage(info, message);
    reader.seek(static_cast<int64_t>(start), 0);
    return false;
}

// The channels of the elements of one program config element group:
// a channel pair element carries two, a single channel element one.
uint32_t groupChannels(BitCursor& c, uint32_t elements) {
    uint32_t channels = 0;
    for (uint32_t i = 0; i < elements; ++i) {
        channels += c.take(1) ? 2 : 1;  // is_cpe
        c.skip(4);                      // element tag
    }
    return channels;
}

// The channel configuration that matches a channel count: 0 to 6 are
// their own configuration, 8 channels are configuration 7 (7.1); other
// counts have none and are shown as unknown with the count.
void setChannelsForCount(AacInfo& info, uint32_t count) {
    if (count <= 6) return setChannels(info, static_cast<int32_t>(count));
    if (count == 8) return setChannels(info, 7);
    info.channels = 65535.0;
    copyText(info.channelConfig, sizeof info.channelConfig, "0/0");
    copyText(info.channelOrder, sizeof info.channelOrder, format("UnknownChannel(%u)", count));
}

}  // namespace

int32_t aacSampleRate(int32_t index) {
    if (index < 0 || index > 15) return -1;
    if (index > 12) return 0;
    return kSampleRates[index];
}

void aacProfileName(char* out, size_t outSize, int32_t objectType) {
    if (objectType >= 1 && objectType <= 31)
        copyText(out, outSize, kProfileNames[objectType]);
    else
        copyText(out, outSize, format("UnknownProfile(%d)", objectType));
}

void aacChannelConfig(char* configOut, size_t configSize, char* orderOut, size_t orderSize, double& channelsOut,
                      int32_t value) {
    if (value >= 0 && value <= 7) {
        const ChannelLayout& layout = kChannelLayouts[value];
        channelsOut = layout.channels;
        copyText(configOut, configSize, layout.config);
        copyText(orderOut, orderSize, layout.order);
        return;
    }
    channelsOut = 65535.0;
    copyText(configOut, configSize, "0/0");
    copyText(orderOut, orderSize, format("UnknownChannel(%d)", value));
}

bool readAdtsStream(AacInfo& info, FileReader& reader) {
    copyText(info.codec, sizeof info.codec, "ADTS");
    const uint64_t start = reader.tell();
    uint64_t p = start;
    uint32_t n = 0;

    // The window need not be larger than the audio it covers.
    size_t blockSize = kAdtsHeaderPeek;
    if (info.scanAllFrames && info.endOffset > start)
        blockSize = static_cast<size_t>(std::min<uint64_t>(kAdtsBlock, info.endOffset - start + kAdtsHeaderPeek));
    BlockWindow window(reader, blockSize);

    for (;;) {
        uint8_t h[kAdtsHeaderPeek];
        window.copy(p, h, sizeof h);
        if (((h[0] << 4) | (h[1] >> 4)) != 0xFFF) return adtsSyncBroken(info, reader, start, n, p);
        if (n == 0) {
            const std::string bits = bytesToBits(Bytes(h, sizeof h));
            auto layer = static_cast<int>(bitsAt(bits, 13, 2));
            if (layer != 0) return failAt(info, reader, start, format(jp("[AAC-ADTS] 0以外のLayer(%d)"), layer));
            setProfile(info, static_cast<int32_t>(bitsAt(bits, 16, 2)) + 1);
            auto index = static_cast<int32_t>(bitsAt(bits, 18, 4));
            if (index >= 13)
                return failAt(info, reader, start, format(jp("[AAC-ADTS] 不明なサンプリングレート(%d)"), index));
            info.sampleRate = static_cast<uint32_t>(aacSampleRate(index));
            setChannels(info, static_cast<int32_t>(bitsAt(bits, 23, 3)));
        }
        // aac_frame_length: 13 bits from bit 30, header included. A length
        // below the header's own size would hold the walk where it stands.
        uint32_t frameLength = (uint32_t{h[3] & 3u} << 11) | (uint32_t{h[4]} << 3) | (h[5] >> 5);
        if (frameLength < kAdtsMinFrameLength) return adtsSyncBroken(info, reader, start, n, p);
        p += frameLength;
        if (!info.scanAllFrames) {
            reader.seek(static_cast<int64_t>(start), 0);
            return true;
        }
        ++n;
        if (n >= kAdtsMaxFrames || p + kAdtsHeaderPeek >= info.endOffset) break;
    }

    // The sample time of the frames walked, scaled by the share of the
    // audio (start to endOffset) that they cover.
    const double audioBytes = static_cast<double>(info.endOffset) - static_cast<double>(start);
    const double walked = static_cast<double>(p - start);
    const double frameTime = checkedDiv(static_cast<double>(n) * 1024.0, static_cast<double>(info.sampleRate));
    info.duration = audioBytes > 0 ? checkedDiv(audioBytes, walked) * frameTime : frameTime;
    info.bitRate = audioBytes > 0 ? checkedDiv(audioBytes * 8.0, info.duration) : 0.0;
    info.frameCount = n;
    reader.seek(static_cast<int64_t>(start), 0);
    return true;
}

bool readAdifHeader(AacInfo& info, FileReader& reader) {
    copyText(info.codec, sizeof info.codec, "ADIF");
    const uint64_t start = reader.tell();
    uint8_t head[kAdifHeaderBytes];
    size_t got = reader.read(head, sizeof head, true);
    const std::string bits = bytesToBits(Bytes(head, got));
    BitCursor c{bits, 32};  // after "ADIF"

    if (c.take(1)) c.skip(72);  // copyright_id_present, copyright_id
    c.skip(2);                  // original_copy, home
    const uint32_t variableRate = c.take(1);  // bitstream_type
    info.bitRate = c.take(23);
    if (info.bitRate == 0) return failAt(info, reader, start, jp("[AAC-ADIF] ビットレートが0です"));
    c.skip(4);                     // num_program_config_elements
    if (!variableRate) c.skip(20);  // adif_buffer_fullness

    // The first program config element.
    c.skip(4);  // element_instance_tag
    setProfile(info, static_cast<int32_t>(c.take(2)) + 1);
    info.sampleRate = static_cast<uint32_t>(std::max(aacSampleRate(static_cast<int32_t>(c.take(4))), 0));
    const uint32_t front = c.take(4), side = c.take(4), back = c.take(4), lfe = c.take(2);
    c.skip(3 + 4);               // num_assoc_data_elements, num_valid_cc_elements
    if (c.take(1)) c.skip(4);    // mono_mixdown
    if (c.take(1)) c.skip(4);    // stereo_mixdown
    if (c.take(1)) c.skip(3);    // matrix_mixdown_idx, pseudo_surround_enable
    uint32_t channels = groupChannels(c, front) + groupChannels(c, side) + groupChannels(c, back) + lfe;
    setChannelsForCount(info, channels);

    if (info.scanAllFrames) {
        const double audioBytes = static_cast<double>(info.endOffset) - static_cast<double>(start);
        info.duration = audioBytes > 0 ? checkedDiv(audioBytes * 8.0, info.bitRate) : 0.0;
    }
    reader.seek(static_cast<int64_t>(start), 0);
    return true;
}

void decodeAudioSpecificConfig(const uint8_t* bytes, size_t length, AacInfo& info) {
    if (!bytes) length = 0;
    const std::string bits = bytesToBits(Bytes(bytes, std::min(length, kAscMaxBytes)));
    BitCursor c{bits};

    setProfile(info, static_cast<int32_t>(c.take(5)));
    info.sampleRate = takeSampleRate(c);
    setChannels(info, static_cast<int32_t>(c.take(4)));
    info.hasSbr = 0;
    info.hasPs = 0;

    // Explicit SBR (type 5) and SBR with parametric stereo (type 29): the
    // output rate follows, then the type of the underlying core.
    int32_t remembered = 0;
    if (info.objectType == 5 || info.objectType == 29) {
        remembered = info.objectType;
        info.hasSbr = 1;
        if (info.objectType == 29) {
            info.hasPs = 1;
            setChannels(info, 2);
        }
        info.sampleRate = takeSampleRate(c);
        setProfile(info, static_cast<int32_t>(c.take(5)));
        if (info.objectType == 22) setChannels(info, static_cast<int32_t>(c.take(4)));
    }

    // GASpecificConfig (without a program config element or layer number).
    const int32_t type = info.objectType;
    const bool general = (type >= 1 && type <= 4) || type == 6 || type == 7 || type == 17 || (type >= 19 && type <= 23);
    if (general) {
        c.skip(1);                 // frameLengthFlag
        if (c.take(1)) c.skip(14);  // dependsOnCoreCoder, coreCoderDelay
        if (c.take(1)) {           // extensionFlag
            if (type == 17 || type == 19 || type == 20 || type == 23) c.skip(3);
            if (type == 22) c.skip(16);
            c.skip(1);  // extensionFlag3
        }
    }
    if (type == 17 || (type >= 19 && type <= 27)) {
        if (c.take(2) == 3) c.skip(1);  // epConfig, directMapping
    }

    // Backward-compatible signalling of SBR and PS after the core config.
    if (length > 2 && info.objectType != 5 && c.take(11) == 0x2B7) {
        setProfile(info, static_cast<int32_t>(c.take(5)));
        remembered = info.objectType;
        if (info.objectType == 5) {
            info.hasSbr = static_cast<uint8_t>(c.take(1));
            if (info.hasSbr) {
                info.sampleRate = takeSampleRate(c);
                if (length > 5 && c.take(11) == 0x548) {
                    info.hasPs = static_cast<uint8_t>(c.take(1));
                    if (info.hasPs) setChannels(info, 2);
                }
            }
        } else if (info.objectType == 22) {
            if (c.take(1)) info.sampleRate = takeSampleRate(c);  // sbrPresentFlag
            setChannels(info, static_cast<int32_t>(c.take(4)));
        }
    }

    if (length > 2) {
        std::string suffix;
        if (info.hasSbr || info.hasPs) {
            suffix = "(";
            if (info.hasSbr) suffix += "SBR";
            if (info.hasSbr && info.hasPs) suffix += "+";
            if (info.hasPs) suffix += "PS";
            suffix += ")";
        } else if (info.objectType == 5 || remembered == 5) {
            suffix = "(LC)";
        }
        if (!suffix.empty()) copyText(info.profile, sizeof info.profile, std::string(info.profile) + suffix);
    }
}

std::string describeAac(const AacInfo& info, size_t outSize) {
    const bool walked = startsWithNoCase(std::string_view(info.codec, strnlen(info.codec, sizeof info.codec)), "ADTS") &&
                        info.scanAllFrames;
    std::string line = lookupTemplate(walked ? "AUDIO2" : "AUDIO1", "AAC", u"FORMAT.INI", outSize);
    const double bitRateK = info.bitRate == 0 ? 0.0 : info.bitRate * 0.001;
    replacePlaceholder(line, "#sampleratek#", format("%.2f", info.sampleRate * 0.001), outSize);
    replacePlaceholder(line, "#samplerate#", format("%d", static_cast<int>(info.sampleRate)), outSize);
    replacePlaceholder(line, "#channel#", format("%.1f", info.channels), outSize);
    replacePlaceholder(line, "#channelconfig#", std::string(info.channelConfig, strnlen(info.channelConfig, sizeof info.channelConfig)), outSize);
    replacePlaceholder(line, "#channelorder#", std::string(info.channelOrder, strnlen(info.channelOrder, sizeof info.channelOrder)), outSize);
    replacePlaceholder(line, "#profile#", std::string(info.profile, strnlen(info.profile, sizeof info.profile)), outSize);
    replacePlaceholder(line, "#bitratek#", format("%.2f", bitRateK), outSize);
    replacePlaceholder(line, "#bitrate#", format("%.2f", info.bitRate), outSize);
    if (walked) replacePlaceholder(line, "#frame#", format("%d", static_cast<int>(info.frameCount)), outSize);
    return line;
}

void analyzeAac(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    // fileSize is the size of the whole file; tags at its end only end the
    // audio earlier.
    record.fileSize = static_cast<int64_t>(reader.size);

    uint8_t head[10] = {};
    reader.read(head, sizeof head, false);
    if (equalsAtNoCase(head, 0, "ID3")) {
        reader.skipLeadingId3v2();
        std::memset(head, 0, sizeof head);
        reader.read(head, sizeof head, false);
    }
    const uint64_t start = reader.tell();

    // The audio ends where the first end tag (APE, Lyrics3, ID3v1) begins,
    // so the frame walk neither counts a tag nor takes it for a broken frame.
    AacInfo info{};
    info.scanAllFrames = 1;
    info.endOffset = reader.size;
    TagInfo tags{};
    tags.scanEndTags = 1;
    scanTags(reader, tags);
    auto endBefore = [&](bool present, uint64_t offset) {
        if (present && offset > start && offset < info.endOffset) info.endOffset = offset;
    };
    endBefore(tags.hasId3v1, tags.id3v1Offset);
    endBefore(tags.hasLyrics3, tags.lyrics3Offset);
    if (tags.hasApe) {
        // apeOffset lies before the footer by the tag's size, which counts
        // the footer but not a header: it is where a header would start.
        uint8_t marker[8] = {};
        reader.seek(static_cast<int64_t>(tags.apeOffset), 0);
        bool header = reader.read(marker, sizeof marker, false) == sizeof marker && equalsAtNoCase(marker, 0, "APETAGEX");
        endBefore(true, header ? tags.apeOffset : tags.apeOffset + 32);
        reader.seek(static_cast<int64_t>(start), 0);
    }

    if (head[0] == 0xFF && ((head[1] & 0xFE) == 0xF0 || (head[1] & 0xFE) == 0xF8)) {
        if (!readAdtsStream(info, reader)) setErrorText(record, info.message);
    } else if (equalsAtNoCase(head, 0, "ADIF")) {
        if (!readAdifHeader(info, reader)) setErrorText(record, info.message);
    } else {
        setErrorText(record, jp("[AAC] RAW形式又は未対応形式のAACです"));
    }
    reader.close();
    if (record.errorText[0] != '\0') return;

    addAudioText(record, describeAac(info));
    record.duration = info.duration;
}

}  // namespace vesko
