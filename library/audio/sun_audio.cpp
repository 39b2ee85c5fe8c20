// Sun/NeXT audio (".snd" header, ".au" and ".snd" files): six big-endian
// 32-bit fields after the marker (data offset, data size, encoding, sample
// rate, channels) and an annotation. The codec name is looked up by
// encoding number; the bit depth follows from the encoding.
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "small_audio.h"

namespace vesko {

namespace {

// Writers that cannot seek back (a pipe) store this size: not known.
constexpr uint32_t kUnknownDataSize = 0xFFFFFFFF;

}  // namespace

uint32_t auBitDepth(uint32_t encoding) {
    switch (encoding) {
        case 1: case 2: case 11: case 27: return 8;
        case 3: case 12: case 18: case 19: case 20: return 16;
        case 4: case 13: return 24;
        case 5: case 6: case 14: return 32;
        case 7: return 64;
        case 23: return 4;
        case 25: return 3;
        case 26: return 5;
        default: return 8;
    }
}

void decodeAuHeader(Bytes header, AuInfo& info) {
    uint8_t b[kAuHeaderBytes] = {};
    std::memcpy(b, header.data(), std::min(header.size(), sizeof b));
    const Bytes h(b);

    // The fields are read whole: a sample rate of 96,000 Hz does not fit
    // the low 16 bits of its field.
    info.dataOffset = readU32BE(h, 4);
    const uint32_t storedSize = readU32BE(h, 8);
    info.encoding = readU32BE(h, 12);
    info.sampleRate = readU32BE(h, 16);
    info.channels = readU32BE(h, 20);
    info.dataSize = storedSize != kUnknownDataSize ? storedSize
                                                   : info.fileBytes - std::min(info.dataOffset, info.fileBytes);
    copyText(info.codec, sizeof info.codec,
             lookupTemplate(format("%02X", static_cast<unsigned>(info.encoding)), "AU", u"CODECS.INI", sizeof info.codec));
    info.bitDepth = auBitDepth(info.encoding);

    // In floating point: the product of three 32-bit fields can pass 2^64.
    const double bytesPerSecond = std::floor(static_cast<double>(info.sampleRate) * info.channels * info.bitDepth / 8);
    if (bytesPerSecond == 0) {
        // No sample rate or no channels: the play time is not known.
        info.duration = -1.0;
        info.bitRate = 0.0;
        return;
    }
    info.duration = static_cast<double>(info.dataSize) / bytesPerSecond;
    if (info.duration == 0) info.duration = 1.0;
    info.bitRate = static_cast<double>(info.dataSize) * 8.0 / info.duration;
}

bool readAuHeader(AuInfo& info, FileReader& reader) {
    uint8_t header[kAuHeaderBytes] = {};
    const size_t got = reader.read(header, sizeof header, true);
    decodeAuHeader(Bytes(header, got), info);
    return true;
}

std::string describeAu(const AuInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "AU", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#codec#", info.codec);
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRIu32, info.sampleRate));
    put("#bitdepth#", format("%" PRIu32, info.bitDepth));
    put("#channel#", format("%" PRIu32, info.channels));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return line;
}

void describeAu(char* out, size_t outSize, const AuInfo& info) {
    if (out && outSize) copyText(out, outSize, describeAu(info, std::min(outSize, kTemplateBytes)));
}

void analyzeAu(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    AuInfo info{};
    const uint64_t start = passLeadingId3v2(reader);
    info.fileBytes = reader.size - std::min(start, reader.size);
    readAuHeader(info, reader);
    reader.close();
    addAudioText(record, describeAu(info));
    record.duration = info.duration;
}

}  // namespace vesko
