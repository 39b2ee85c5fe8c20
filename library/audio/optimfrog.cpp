// OptimFROG: a run of chunks, each a four-character identifier and a 32-bit
// little-endian size. The "OFR " chunk holds the stream parameters; the
// compressed audio lies in the "COMP" chunks, which end where the "TAIL"
// chunk begins. A correction file (".ofc") beside the file makes it a
// DualStream (hybrid) file. Files of the older layout that start "*RIFF" are
// recognised but not analysed.
//
// The walk ends at the end of the file: every chunk moves it at least eight
// bytes forward, and a size past the end ends it.
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

constexpr size_t kChunkHeaderBytes = 8;
constexpr size_t kOfrBaseBytes = 12;      // sample count, type, channels, sample rate
constexpr size_t kOfrExtendedBytes = 15;  // then the encoder (16 bits) and the compression byte
constexpr int kMaxChunks = 1 << 20;

const char* const kCompressionModes[] = {"Fast",  "Normal", "High",    "Extra",    "Best",
                                         "Ultra", "Insane", "Highnew", "Extranew", "Bestnew"};
const char* const kSpeedModes[] = {"1x", "2x", "4x"};

uint16_t bitDepthOfSampleType(uint8_t type) {
    if (type <= 1) return 8;
    if (type <= 3) return 16;
    if (type <= 5) return 24;
    if (type <= 10) return 32;
    return 0;
}

bool fail(OfrInfo& info, const std::string& text) {
    copyText(info.message, sizeof info.message, text);
    return false;
}

// The "OFR " chunk's data (`length` bytes of it held). The base fields need
// 12 bytes; the channel count is stored less one and the compression byte
// follows in the longer chunk of later encoders, whose byte 14 must be
// there to be read.
bool readOfrHeader(Bytes data, OfrInfo& info) {
    if (data.size() < kOfrBaseBytes) return true;  // too short to hold the parameters
    copyText(info.streamMode, sizeof info.streamMode, "SingleStream");
    info.sampleCount = readUIntLE(data, 6);
    info.bitDepth = bitDepthOfSampleType(data[6]);
    info.channels = data[7];
    info.sampleRate = readU32LE(data, 8);
    if (data.size() > kOfrBaseBytes) info.channels += 1;
    if (data.size() < kOfrExtendedBytes) return true;
    const uint8_t c = data[14];
    const unsigned mode = c >> 3, speed = c & 7;
    if (mode >= std::size(kCompressionModes)) return fail(info, format(jp("[OFR] 不明な圧縮モード(%d)"), static_cast<int>(mode)));
    copyText(info.compressionName, sizeof info.compressionName, kCompressionModes[mode]);
    if (speed >= std::size(kSpeedModes)) return fail(info, format(jp("[OFR] 不明な速度モード(%d)"), static_cast<int>(speed)));
    copyText(info.speedName, sizeof info.speedName, kSpeedModes[speed]);
    return true;
}

// The ".ofc" name beside `name`: the extension (the text from the last "."
// of the file name, not of a folder name) replaced, or ".ofc" appended.
// Empty when it would not fit.
void makeCorrectionName(const char16_t* name, size_t capacity, char16_t* out, size_t outCapacity) {
    size_t n = 0;
    while (n < capacity && name[n] != 0) ++n;
    std::u16string_view path(name, n);
    const size_t slash = path.find_last_of(u"/\\");
    const size_t dot = path.find_last_of(u'.');
    const size_t stem = (dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash)) ? dot : n;
    std::u16string result(path.substr(0, stem));
    result += u".ofc";
    std::fill(out, out + outCapacity, u'\0');
    if (result.size() < outCapacity) std::copy(result.begin(), result.end(), out);
}

}  // namespace

bool readOfrChunks(OfrInfo& info, FileReader& reader) {
    ReadWindow window(reader);
    uint64_t audioStart = 0, audioEnd = 0;
    bool haveStart = false, haveEnd = false;
    uint64_t offset = reader.tell();
    for (int chunks = 0; chunks < kMaxChunks && offset < reader.size; ++chunks) {
        uint8_t head[kChunkHeaderBytes] = {};
        if (window.get(offset, head, sizeof head) < sizeof head) break;  // the file ends inside a header
        const Bytes h(head);
        const uint32_t size = readU32LE(h, 4);
        const uint64_t body = offset + kChunkHeaderBytes;
        if (equalsAtNoCase(h, 0, "OFR ")) {
            uint8_t data[kOfrExtendedBytes] = {};
            const size_t got = window.get(body, data, std::min<size_t>(size, sizeof data));
            if (!readOfrHeader(Bytes(data, got), info)) return false;
        } else if (equalsAtNoCase(h, 0, "COMP")) {
            if (!haveStart) audioStart = offset;
            haveStart = true;
        } else if (equalsAtNoCase(h, 0, "TAIL")) {
            if (!haveEnd) audioEnd = offset;
            haveEnd = true;
        }
        // "HEAD", "RECV", "APET", "MD5 " and unknown chunks are passed over.
        offset = body + size;
    }
    if (!haveEnd) audioEnd = reader.size;
    reader.seek(static_cast<int64_t>(std::min(offset, reader.size)), 0);

    // The sample count covers every channel.
    info.duration = checkedDiv(static_cast<double>(info.sampleCount), static_cast<double>(info.channels) * info.sampleRate);
    const uint64_t audioBytes = audioEnd > audioStart ? audioEnd - audioStart : 0;
    info.bitRate = info.duration > 0 ? static_cast<double>(audioBytes) * 8.0 / info.duration : 0.0;

    if (info.correctionName[0] != 0) {
        FileReader correction;
        size_t n = 0;
        while (n < std::size(info.correctionName) && info.correctionName[n] != 0) ++n;
        if (correction.openPath(std::u16string_view(info.correctionName, n)))
            copyText(info.streamMode, sizeof info.streamMode, "DualStream");
    }
    return true;
}

std::string describeOptimFrog(const OfrInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "OPTIMFROG", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#hybrid#", info.streamMode);
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRIu32, info.sampleRate));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    put("#comptype#", info.compressionName);
    put("#compspeed#", info.speedName);
    return line;
}

void describeOptimFrog(char* out, size_t outSize, const OfrInfo& info) {
    if (out && outSize) copyText(out, outSize, describeOptimFrog(info, std::min(outSize, kTemplateBytes)));
}

void analyzeOptimFrog(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    OfrInfo info{};
    makeCorrectionName(record.fileName, std::size(record.fileName), info.correctionName, std::size(info.correctionName));

    passLeadingId3v2(reader);
    uint8_t marker[5] = {};
    const size_t got = reader.read(marker, sizeof marker, false);
    if (!equalsAtNoCase(Bytes(marker, got), 0, "OFR")) {
        setErrorText(record, jp("[OFR] v4.21以下のヘッダは未対応です"));
        return;
    }
    if (!readOfrChunks(info, reader)) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    reader.close();
    record.duration = info.duration;
    addAudioText(record, describeOptimFrog(info));
}

}  // namespace vesko
