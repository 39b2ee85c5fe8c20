// Monkey's Audio: the file header in its two layouts. From version 3.98 a
// 52-byte descriptor precedes a header that carries the frame layout; older
// files keep everything in one header and derive the blocks per frame from
// the version and the compression level. The play time is the total block
// count over the sample rate; the bit rate scales the PCM rate by the ratio
// of the stream's bytes to the PCM bytes it stands for.
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

constexpr uint16_t kDescriptorLayoutVersion = 3980;

}  // namespace

uint32_t apeBlocksPerFrame(uint16_t version, uint16_t compressionLevel) {
    if (version >= 3950) return 294912;
    if (version >= 3900 || (version >= 3800 && compressionLevel == 4000)) return 73728;
    return 9216;
}

const char* apeCompressionName(uint16_t compressionLevel) {
    switch (compressionLevel) {
        case 0: return "Unknown";
        case 1000: return "Fast";
        case 2000: return "Normal";
        case 3000: return "High";
        case 4000: return "Extra-High";
        case 5000: return "Insane";
        default: return "Invalid";
    }
}

void decodeApeHeader(Bytes header, ApeInfo& info) {
    uint8_t b[kApeHeaderBytes] = {};
    std::memcpy(b, header.data(), std::min(header.size(), sizeof b));
    const Bytes h(b);

    const uint16_t version = readU16LE(h, 4);
    uint16_t level = 0;
    uint32_t blocksPerFrame = 0, finalFrameBlocks = 0, headerBytes = 0;
    if (version >= kDescriptorLayoutVersion) {
        level = readU16LE(h, 52);
        blocksPerFrame = readU32LE(h, 56);
        finalFrameBlocks = readU32LE(h, 60);
        info.totalFrames = readU32LE(h, 64);
        info.bitDepth = readU16LE(h, 68);
        info.channels = readU16LE(h, 70);
        info.sampleRate = readU32LE(h, 72);
    } else {
        level = readU16LE(h, 6);
        const uint16_t flags = readU16LE(h, 8);
        info.channels = readU16LE(h, 10);
        info.sampleRate = readU32LE(h, 12);
        headerBytes = readU32LE(h, 16);
        info.totalFrames = readU32LE(h, 24);
        finalFrameBlocks = readU32LE(h, 28);
        info.bitDepth = (flags & 0x08) ? 24 : (flags & 0x01) ? 8 : 16;
        blocksPerFrame = apeBlocksPerFrame(version, level);
    }
    copyText(info.compressionName, sizeof info.compressionName, apeCompressionName(level));

    // Every frame but the last is full. In 64 bits: a long file passes 2^32
    // blocks, and a file without frames holds no blocks.
    info.totalBlocks = info.totalFrames == 0
                           ? 0
                           : uint64_t{info.totalFrames - 1} * blocksPerFrame + finalFrameBlocks;
    info.duration = checkedDiv(static_cast<double>(info.totalBlocks), static_cast<double>(info.sampleRate));

    if (info.computeDuration) {
        // The PCM bytes the stream stands for (plus the stored WAVE header of
        // old files), in floating point so that no product can wrap.
        const double pcmBytes =
            static_cast<double>(info.channels) * static_cast<double>(info.totalBlocks) * (info.bitDepth / 8) + headerBytes;
        if (info.duration > 0 && pcmBytes > 0) {
            const double ratio = static_cast<double>(info.streamBytes) / pcmBytes;
            info.bitRate = static_cast<double>(info.totalBlocks) * info.channels * info.bitDepth / info.duration * ratio;
        } else {
            info.bitRate = 0;  // no audio: nothing to scale
        }
    }
}

bool readApeHeader(ApeInfo& info, FileReader& reader) {
    uint8_t header[kApeHeaderBytes] = {};
    const size_t got = reader.read(header, sizeof header, true);
    decodeApeHeader(Bytes(header, got), info);
    return true;
}

std::string describeApe(const ApeInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "APE", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRIu32, info.sampleRate));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#comptype#", info.compressionName);
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    put("#frame#", format("%" PRIu32, info.totalFrames));
    return line;
}

void describeApe(char* out, size_t outSize, const ApeInfo& info) {
    if (out && outSize) copyText(out, outSize, describeApe(info, std::min(outSize, kTemplateBytes)));
}

void analyzeApe(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    ApeInfo info{};
    info.streamBytes = reader.size;
    info.computeDuration = 1;
    info.tags.scanEndTags = 1;
    scanTags(reader, info.tags);
    auto takeOff = [&info](uint64_t n) { info.streamBytes -= std::min(n, info.streamBytes); };
    // An ID3v1 tag stays in the count; an APE tag is no audio.
    if (info.tags.hasApe) takeOff(info.tags.apeSize);

    // Identification found the "MAC" marker after the leading ID3v2 tags, so
    // the header is read there; the tags are no audio either.
    uint64_t start = 0;
    if (info.tags.hasId3v2) {
        start = std::min(info.tags.id3v2Offset + info.tags.id3v2Size, reader.size);
        takeOff(info.tags.id3v2Size);
    }
    reader.seek(static_cast<int64_t>(start), 0);
    readApeHeader(info, reader);
    reader.close();

    record.duration = info.duration;
    addAudioText(record, describeApe(info));
    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
