#include "vorbis.h"

#include <cinttypes>
#include <cstring>

#include "../record.h"

namespace vesko {

namespace {

constexpr double kNotSet = 4294967295.0;  // a bit rate field of -1

uint32_t u32At(Bytes packet, size_t offset) { return offset + 4 <= packet.size() ? readU32LE(packet, offset) : 0; }

void setMode(VorbisInfo& info, const char* mode, double bitRate) {
    std::memcpy(info.bitRateMode, mode, std::strlen(mode) + 1);
    info.bitRate = bitRate;
}

}  // namespace

VorbisInfo parseVorbisIdentification(Bytes packet) {
    VorbisInfo info{};
    info.channels = packet.size() > 11 ? packet[11] : 0;
    info.sampleRate = u32At(packet, 12);
    info.maxBitRate = u32At(packet, 16);
    info.nominalBitRate = u32At(packet, 20);
    info.minBitRate = u32At(packet, 24);

    const double maximum = info.maxBitRate, nominal = info.nominalBitRate, minimum = info.minBitRate;
    if (minimum == kNotSet && nominal == kNotSet && maximum == kNotSet)
        setMode(info, "VBR", 0);
    else if (minimum == 0 && nominal != 0 && maximum == 0)
        setMode(info, "QB", nominal);
    else if (minimum == nominal && maximum == nominal)
        setMode(info, "CBR", nominal);
    else if (minimum == kNotSet && nominal != 0 && maximum == kNotSet)
        setMode(info, "VBR", nominal);
    else if (minimum == kNotSet && nominal != 0 && maximum != 0)
        setMode(info, "ABR", maximum * 0.5);
    else
        setMode(info, "ABR", (maximum + minimum) * 0.5);
    return info;
}

std::string describeVorbis(const VorbisInfo& info, size_t outSize) {
    std::string line = lookupTemplate("VORBIS", "OGG", u"FORMAT.INI", outSize);
    replacePlaceholder(line, "#sampleratek#", format("%.2f", info.sampleRate * 0.001), outSize);
    // The header's fields are 32-bit: as integers they always fit in 64 bits.
    replacePlaceholder(line, "#samplerate#", format("%" PRId64, static_cast<int64_t>(info.sampleRate)), outSize);
    replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001), outSize);
    replacePlaceholder(line, "#bitrate#", format("%.2f", info.bitRate), outSize);
    char mode[sizeof info.bitRateMode + 1] = {};
    std::memcpy(mode, info.bitRateMode, sizeof info.bitRateMode);
    replacePlaceholder(line, "#bitratemode#", mode, outSize);
    replacePlaceholder(line, "#channel#", format("%d", static_cast<int>(info.channels)), outSize);
    return line;
}

void describeVorbis(char* out, size_t outSize, const VorbisInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeVorbis(info, outSize));
}

}  // namespace vesko
