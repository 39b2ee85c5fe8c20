// True Audio (TTA): a fixed little-endian header after the "TTA" marker.
// The byte after the marker tells the layout: the values 1 to 3 mark the
// first format, the digits "1" and "2" the later ones. The play time is the
// sample count over the sample rate; the bit rate covers the file's bytes
// without the tags and the header.
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

bool readTtaHeader(Bytes header, TtaInfo& info) {
    uint8_t b[kTtaHeaderBytes] = {};
    std::memcpy(b, header.data(), std::min(header.size(), sizeof b));
    const Bytes h(b);

    uint64_t headerBytes = 0;
    switch (b[3]) {
        case 1:
        case 2:
        case 3:
            info.version = 1;
            headerBytes = 16;
            info.channels = readU16LE(h, 4);
            info.bitDepth = readU16LE(h, 6);
            info.sampleRate = readU32LE(h, 8);
            info.sampleCount = readU32LE(h, 12);
            break;
        case '1':
            info.version = 3;
            headerBytes = 26;
            info.channels = readU16LE(h, 6);  // after the 16-bit audio format
            info.bitDepth = readU16LE(h, 8);
            info.sampleRate = readU32LE(h, 10);
            info.sampleCount = readU32LE(h, 14);
            break;
        case '2':
            info.version = 2;
            headerBytes = 20;
            info.channels = readU16LE(h, 8);  // after two 16-bit values
            info.bitDepth = readU16LE(h, 10);
            info.sampleRate = readU32LE(h, 12);
            info.sampleCount = readU32LE(h, 16);
            break;
        default:
            copyText(info.message, sizeof info.message, jp("[TTA] 不正/未対応バージョンのTTAです"));
            return false;
    }
    info.streamBytes -= std::min(headerBytes, info.streamBytes);
    if (info.computeDuration) {
        info.duration = checkedDiv(static_cast<double>(info.sampleCount), static_cast<double>(info.sampleRate));
        // A file without samples has no bit rate (rather than a division by 0).
        info.bitRate = info.duration > 0 ? static_cast<double>(info.streamBytes) * 8.0 / info.duration : 0.0;
    }
    return true;
}

std::string describeTta(const TtaInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "TTA", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#version#", format("%u", static_cast<unsigned>(info.version)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRIu32, info.sampleRate));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return line;
}

void describeTta(char* out, size_t outSize, const TtaInfo& info) {
    if (out && outSize) copyText(out, outSize, describeTta(info, std::min(outSize, kTemplateBytes)));
}

void analyzeTta(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    TtaInfo info{};
    info.streamBytes = reader.size;
    info.computeDuration = 1;
    info.tags.scanEndTags = 1;
    scanTags(reader, info.tags);
    auto takeOff = [&info](uint64_t n) { info.streamBytes -= std::min(n, info.streamBytes); };
    if (info.tags.hasId3v1) takeOff(info.tags.id3v1Size);
    if (info.tags.hasApe) takeOff(info.tags.apeSize);
    if (info.tags.hasLyrics3) takeOff(info.tags.lyrics3Size);
    if (info.tags.hasId3v2) {
        reader.seek(static_cast<int64_t>(std::min(info.tags.id3v2Offset + info.tags.id3v2Size, reader.size)), 0);
        takeOff(info.tags.id3v2Size);
    }

    uint8_t header[kTtaHeaderBytes] = {};
    const size_t got = reader.read(header, sizeof header, true);
    reader.close();
    if (!readTtaHeader(Bytes(header, got), info)) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    record.duration = info.duration;
    addAudioText(record, describeTta(info));
    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
