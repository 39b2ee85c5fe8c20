// TwinVQ (VQF): "TWIN", eight version characters and a 32-bit size, then
// big-endian chunks (four-character identifier, 32-bit unsigned size) up to
// the "DATA" chunk. "COMM" gives the channel mode, the bit rate in kbit/s
// and a sampling-rate code; the play time is the stream's bytes over the
// bit rate.
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

constexpr size_t kFileHeaderBytes = 16;   // "TWIN", version, header size
constexpr size_t kChunkHeaderBytes = 8;
constexpr size_t kCommBaseBytes = 12;     // channel mode, kbit/s, sampling code
constexpr size_t kCommBytes = 16;         // then the security level
constexpr int kMaxChunks = 1 << 16;

bool fail(TwinVqInfo& info, const std::string& text) {
    copyText(info.message, sizeof info.message, text);
    return false;
}

// The "COMM" chunk's data. A chunk too short to hold the three values the
// line needs is passed over like an unknown one.
bool readComm(Bytes data, TwinVqInfo& info) {
    if (data.size() < kCommBaseBytes) return true;
    info.channels = int64_t{readU32BE(data, 0)} + 1;
    info.bitRate = int64_t{readU32BE(data, 4)} * 1000;
    const uint32_t code = readU32BE(data, 8);
    switch (code) {
        case 11: info.sampleRate = 11025; break;
        case 16: info.sampleRate = 16000; break;
        case 22: info.sampleRate = 22050; break;
        case 44: info.sampleRate = 44100; break;
        default: return fail(info, format(jp("[VQ] 不明なサンプリングレート(%d)"), static_cast<int>(code)));
    }
    if (data.size() >= kCommBytes) info.securityLevel = readU32BE(data, 12);
    info.duration = checkedDiv(static_cast<double>(info.streamBytes) * 8.0, static_cast<double>(info.bitRate));
    return true;
}

}  // namespace

bool readTwinVqHeader(TwinVqInfo& info, FileReader& reader) {
    ReadWindow window(reader);
    uint64_t offset = reader.tell();
    uint8_t head[kFileHeaderBytes] = {};
    const size_t got = window.get(offset, head, sizeof head);
    if (!equalsAtNoCase(Bytes(head, got), 0, "TWIN")) return fail(info, jp("[VQ] TwinVQファイルではありません"));

    std::memcpy(info.version, head + 4, 8);
    info.version[8] = '\0';
    copyText(info.codec, sizeof info.codec,
             lookupTemplate(std::string_view(info.version, std::strlen(info.version)), "VQ", u"CODECS.INI", sizeof info.codec));

    offset += kFileHeaderBytes;
    for (int chunks = 0; chunks < kMaxChunks && offset < reader.size; ++chunks) {
        uint8_t chunk[kChunkHeaderBytes] = {};
        if (window.get(offset, chunk, sizeof chunk) < sizeof chunk) break;  // the file ends inside a header
        const Bytes h(chunk);
        const uint32_t size = readU32BE(h, 4);
        const uint64_t body = offset + kChunkHeaderBytes;
        if (equalsAtNoCase(h, 0, "DATA")) break;
        if (equalsAtNoCase(h, 0, "COMM")) {
            uint8_t data[kCommBytes] = {};
            const size_t n = window.get(body, data, std::min<size_t>(size, sizeof data));
            if (!readComm(Bytes(data, n), info)) return false;
        }
        offset = body + size;
    }
    reader.seek(static_cast<int64_t>(std::min(offset, reader.size)), 0);
    return true;
}

std::string describeTwinVq(const TwinVqInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "VQ", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#codec#", info.codec);
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRId32, info.sampleRate));
    put("#channel#", format("%" PRId64, info.channels));
    put("#bitratek#", format("%.2f", static_cast<double>(info.bitRate) * 0.001));
    put("#bitrate#", format("%.2f", static_cast<double>(info.bitRate)));
    return line;
}

void describeTwinVq(char* out, size_t outSize, const TwinVqInfo& info) {
    if (out && outSize) copyText(out, outSize, describeTwinVq(info, std::min(outSize, kTemplateBytes)));
}

void analyzeTwinVq(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    TwinVqInfo info{};
    const uint64_t start = passLeadingId3v2(reader);
    info.streamBytes = reader.size - std::min(start, reader.size);
    if (!readTwinVqHeader(info, reader)) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    reader.close();
    record.duration = info.duration;
    addAudioText(record, describeTwinVq(info));
}

}  // namespace vesko
