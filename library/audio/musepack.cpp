// Musepack stream version 7: a fixed header after the "MP+" marker. The low
// four bits of the version byte are the stream version, the high four the
// minor version (0x17: 7.1). The frame count, the stereo flags, the
// sampling-frequency index and the samples of the last frame give the play
// time; every frame but the last holds 1,152 samples.
#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "small_audio.h"

namespace vesko {

namespace {

constexpr uint32_t kSamplesPerFrame = 1152;
constexpr uint32_t kSampleRates[] = {44100, 48000, 37800, 32000};

}  // namespace

void decodeMpcHeader(Bytes header, MpcInfo& info) {
    uint8_t b[kMpcHeaderBytes] = {};
    std::memcpy(b, header.data(), std::min(header.size(), sizeof b));
    const Bytes h(b);

    info.streamVersion = b[3] & 0x0F;
    info.minorVersion = b[3] >> 4;
    const uint32_t frames = readU32LE(h, 4);
    const uint32_t flags = readU32LE(h, 8);
    const bool intensity = (flags >> 31) & 1;
    const bool midSide = (flags >> 30) & 1;
    info.sampleRate = kSampleRates[(flags >> 16) & 3];
    const uint32_t lastFrameSamples = (readU32LE(h, 20) >> 20) & 0x7FF;
    const char* mode = intensity && midSide ? "/I+MS" : midSide ? "/MS" : intensity ? "/I" : "";
    copyText(info.stereoMode, sizeof info.stereoMode, mode);

    // In 64 bits: a frame count of 0 holds no samples rather than wrapping
    // to 2^32 less a frame.
    const int64_t total = int64_t{lastFrameSamples} + int64_t{frames} * kSamplesPerFrame - kSamplesPerFrame;
    info.totalSamples = total > 0 ? static_cast<uint64_t>(total) : 0;

    if (info.computeDuration) {
        info.duration = static_cast<double>(info.totalSamples) / info.sampleRate;  // the rates are fixed, never 0
        info.bitRate = info.duration > 0 ? static_cast<double>(info.streamBytes) * 8.0 / info.duration : 0.0;
    }
}

bool readMpcHeader(MpcInfo& info, FileReader& reader) {
    info.channels = 2;
    info.streamBytes -= std::min<uint64_t>(kMpcHeaderBytes, info.streamBytes);
    uint8_t header[kMpcHeaderBytes] = {};
    const size_t got = reader.read(header, sizeof header, true);
    decodeMpcHeader(Bytes(header, got), info);
    return true;
}

std::string describeMusePack(const MpcInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "MUSEPACK", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#version#", format("%" PRIu32 ".%" PRId32, info.streamVersion, info.minorVersion));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRIu32, info.sampleRate));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    put("#channel#", format("Stereo%s", info.stereoMode));
    return line;
}

void describeMusePack(char* out, size_t outSize, const MpcInfo& info) {
    if (out && outSize) copyText(out, outSize, describeMusePack(info, std::min(outSize, kTemplateBytes)));
}

void analyzeMusePack(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    MpcInfo info{};
    const uint64_t start = passLeadingId3v2(reader);
    info.streamBytes = reader.size - std::min(start, reader.size);
    info.computeDuration = 1;
    if (!readMpcHeader(info, reader)) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    reader.close();
    record.duration = info.duration;
    addAudioText(record, describeMusePack(info));
}

}  // namespace vesko
