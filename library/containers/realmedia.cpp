// RealMedia (.rm) and stand-alone RealAudio (.ra).
//
// A RealMedia file is a run of top-level chunks, each a four-character
// identifier and a 32-bit big-endian size that counts its 8-byte header:
// ".RMF" (file header), "PROP" (file properties: the play time), "MDPR"
// (one per stream: MIME type and the codec's own header), "DATA" (the
// packets) and "INDX" (seek tables, chained by offset). All numbers are
// big-endian.
//
// The walk is bounded: a chunk smaller than its own header ends it, an
// index chain that does not move forward ends it, and only the chunks whose
// contents are used are read, at most kChunkReadBytes of each.
#include "realmedia.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <vector>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

constexpr size_t kChunkHeaderBytes = 8;
constexpr size_t kChunkReadBytes = 64 * 1024;  // PROP, MDPR and INDX are small
constexpr size_t kStandAloneHeaderBytes = 128;
constexpr size_t kCodecTextBytes = 128;         // 127 bytes and the terminator

// Big-endian fields that may lie beyond the bytes held read 0: the headers
// are often cut short, and a missing field is not an error.
uint32_t be16(Bytes b, size_t off) { return off + 2 <= b.size() ? readU16BE(b, off) : 0; }
uint32_t be32(Bytes b, size_t off) { return off + 4 <= b.size() ? readU32BE(b, off) : 0; }

// Four bytes at off into a NUL-terminated field; left empty unless all four
// lie inside `b`.
void copyFour(char (&out)[5], Bytes b, size_t off) {
    std::memset(out, 0, sizeof out);
    if (off > b.size() || b.size() - off < 4) return;
    std::memcpy(out, b.data() + off, 4);
}

std::string upperKey(std::string_view fourcc) {
    std::string key(fourcc.substr(0, fourcc.find('\0')));
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

std::string_view fieldText(const char* field, size_t width) {
    return std::string_view(field, strnlen(field, width));
}

}  // namespace

bool parseRealAudioHeader(Bytes bytes, RealAudioHeader& header) {
    header = RealAudioHeader{};
    if (bytes.size() < 4) return false;

    if (equalsAt(bytes, 0, "LSD:")) {
        header.channels = static_cast<uint16_t>(be16(bytes, 8));
        header.bitsPerSample = static_cast<uint16_t>(be16(bytes, 10));
        header.sampleRate = be32(bytes, 12);
        return true;
    }
    if (!equalsAt(bytes, 0, ".ra") || bytes[3] != 0xFD) return false;

    const uint32_t version = be16(bytes, 4);
    if (version <= 2) return false;
    header.version = static_cast<uint16_t>(version);

    if (version == 3) {
        header.channels = static_cast<uint16_t>(be16(bytes, 8));
        header.bytesPerMinute = be16(bytes, 16);
        header.dataSize = be32(bytes, 18);
        header.bitsPerSample = 16;
        header.sampleRate = 8000;
        // Title, author and rights notice, each a length byte and its text,
        // from offset 22; the FourCC starts 3 bytes after the third.
        size_t at = 22;
        for (int text = 0; text < 3; ++text) {
            if (at >= bytes.size()) return true;  // the FourCC lies beyond the bytes held
            at += 1 + bytes[at];
        }
        copyFour(header.fourcc, bytes, at + 3);
        return true;
    }
    if (version > 5) return true;  // a later layout: accepted, nothing known

    header.headerSize = be32(bytes, 18);
    header.flavor = static_cast<uint16_t>(be16(bytes, 22));
    header.codedFrameSize = be32(bytes, 24);
    header.dataSize = be32(bytes, 28);
    header.bytesPerMinute = be32(bytes, 32);
    if (version == 4) {
        header.sampleRate = be16(bytes, 48);
        header.bitsPerSample = static_cast<uint16_t>(be16(bytes, 52));
        header.channels = static_cast<uint16_t>(be16(bytes, 54));
        copyFour(header.interleaver, bytes, 57);
        copyFour(header.fourcc, bytes, 62);
    } else {
        header.sampleRate = be32(bytes, 48);
        header.bitsPerSample = static_cast<uint16_t>(be32(bytes, 56));
        header.channels = static_cast<uint16_t>(be16(bytes, 60));
        copyFour(header.interleaver, bytes, 62);
        copyFour(header.fourcc, bytes, 66);
    }
    return true;
}

bool parseRealVideoHeader(Bytes bytes, RealVideoHeader& header) {
    header = RealVideoHeader{};
    if (bytes.size() < 12) return false;
    copyFour(header.tag, bytes, 4);
    copyFour(header.fourcc, bytes, 8);
    header.width = static_cast<uint16_t>(be16(bytes, 12));
    header.height = static_cast<uint16_t>(be16(bytes, 14));
    header.bitsPerPixel = static_cast<uint16_t>(be16(bytes, 16));
    header.frameRate = static_cast<uint16_t>(be16(bytes, 22));
    return true;
}

std::string realAudioCodecName(std::string_view fourcc) {
    return lookupTemplate(upperKey(fourcc), "REAL-AUDIO", u"CODECS.INI", kCodecTextBytes);
}

std::string realVideoCodecName(std::string_view fourcc) {
    return lookupTemplate(upperKey(fourcc), "REAL-VIDEO", u"CODECS.INI", kCodecTextBytes);
}

std::string describeRealAudio(const AudioStreamInfo& values, size_t outSize) {
    return describeAudioStream(values, "REAL", outSize);
}

std::string describeRealVideo(const VideoStreamInfo& values, size_t outSize) {
    std::string text = lookupTemplate("VIDEO", "REAL", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) {
        replacePlaceholder(text, placeholder, value, outSize);
    };
    put("#width#", format("%" PRId32, values.width));
    put("#height#", format("%" PRId32, values.height));
    put("#bitdepth#", format("%u", static_cast<unsigned>(values.bitDepth)));
    put("#codec#", std::string(fieldText(values.codec, sizeof values.codec)));
    put("#framerate#", format("%.2f", std::isfinite(values.frameRate) ? std::trunc(values.frameRate) : 0.0));
    put("#bitratek#", format("%.2f", values.bitRate * 0.001));
    put("#bitrate#", format("%.2f", values.bitRate));
    return text;
}

namespace {

// The fields of a version-0 "MDPR" chunk that the lines use.
struct MediaProperties {
    uint32_t averageBitRate = 0;
    uint32_t durationMs = 0;
    std::string_view mimeType;
    Bytes typeData;
    bool complete = false;  // name and MIME type lie inside the chunk
};

MediaProperties parseMediaProperties(Bytes data) {
    MediaProperties p;
    p.averageBitRate = be32(data, 8);
    p.durationMs = be32(data, 28);
    size_t at = 32;
    if (at >= data.size()) return p;
    at += 1 + data[at];  // stream name
    if (at >= data.size()) return p;
    const size_t mimeLength = data[at];
    ++at;
    if (mimeLength > data.size() - at) return p;
    p.mimeType = std::string_view(reinterpret_cast<const char*>(data.data() + at), mimeLength);
    at += mimeLength;
    p.complete = true;
    // The type-specific data, cut to what the chunk holds.
    if (data.size() - at < 4) return p;
    const size_t typeLength = std::min<size_t>(readU32BE(data, at), data.size() - at - 4);
    p.typeData = data.subspan(at + 4, typeLength);
    return p;
}

// The stored MIME type against one of the known ones, over as many
// characters as the stored type has. An empty type names nothing.
bool mimeMatches(std::string_view stored, std::string_view known) {
    return !stored.empty() && startsWithNoCase(known, stored);
}

void addRealVideoLine(AnalysisRecord& record, const MediaProperties& p) {
    RealVideoHeader header{};
    parseRealVideoHeader(p.typeData, header);
    VideoStreamInfo info{};
    info.width = header.width;
    info.height = header.height;
    info.bitDepth = header.bitsPerPixel;
    copyText(info.codec, sizeof info.codec, realVideoCodecName(fieldText(header.fourcc, sizeof header.fourcc)));
    info.frameRate = header.frameRate;
    info.bitRate = p.averageBitRate;
    addVideoText(record, describeRealVideo(info));
}

void addRealAudioLine(AnalysisRecord& record, const MediaProperties& p, bool lossless) {
    RealAudioHeader header{};
    if (!parseRealAudioHeader(p.typeData, header)) return;
    AudioStreamInfo info{};
    copyText(info.codec, kCodecTextBytes,
             lossless ? std::string("RealAudio LossLess")
                      : realAudioCodecName(fieldText(header.fourcc, sizeof header.fourcc)));
    info.sampleRate = header.sampleRate;
    info.bitDepth = header.bitsPerSample;
    info.channels = header.channels;
    info.bitRate = p.averageBitRate;
    addAudioText(record, describeRealAudio(info));
}

// Up to kChunkReadBytes of a chunk's data (after its header), never more
// than the file still holds.
std::vector<uint8_t> readChunkData(FileReader& reader, uint64_t at, uint32_t size) {
    const uint64_t body = at + kChunkHeaderBytes;
    const uint64_t left = body < reader.size ? reader.size - body : 0;
    const uint64_t want = std::min<uint64_t>({size - kChunkHeaderBytes, kChunkReadBytes, left});
    std::vector<uint8_t> data(static_cast<size_t>(want));
    reader.seek(static_cast<int64_t>(body), 0);
    data.resize(reader.read(data.data(), data.size()));
    return data;
}

}  // namespace

void analyzeRealMedia(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    const uint64_t fileSize = reader.size;
    record.fileSize = static_cast<int64_t>(fileSize);
    setFormatName(record, "RealMedia");

    uint32_t fileDurationMs = 0;
    uint32_t firstStreamDurationMs = 0;
    bool sawStream = false;
    bool sawData = false;

    uint64_t position = 0;
    while (!sawData || (record.videoCount == 0 && record.audioCount == 0)) {
        if (position >= fileSize) break;
        uint8_t head[kChunkHeaderBytes];
        reader.seek(static_cast<int64_t>(position), 0);
        if (reader.read(head, sizeof head) < sizeof head) break;
        const Bytes header(head, sizeof head);
        const uint32_t size = readU32BE(header, 4);
        if (size < kChunkHeaderBytes) break;  // would hold the walk in place
        uint64_t next = position + size;

        if (equalsAtNoCase(header, 0, "PROP")) {
            const std::vector<uint8_t> data = readChunkData(reader, position, size);
            if (be16(data, 0) == 0) fileDurationMs = be32(data, 22);
        } else if (equalsAtNoCase(header, 0, "MDPR")) {
            const std::vector<uint8_t> data = readChunkData(reader, position, size);
            if (data.size() >= 2 && be16(data, 0) == 0) {
                const MediaProperties p = parseMediaProperties(data);
                if (!sawStream) firstStreamDurationMs = p.durationMs;
                sawStream = true;
                if (p.complete) {
                    if (mimeMatches(p.mimeType, "video/x-pn-realvideo") ||
                        mimeMatches(p.mimeType, "video/x-pn-multirate-realvideo"))
                        addRealVideoLine(record, p);
                    if (mimeMatches(p.mimeType, "audio/x-pn-realaudio") ||
                        mimeMatches(p.mimeType, "audio/x-pn-multirate-realaudio"))
                        addRealAudioLine(record, p, false);
                    if (mimeMatches(p.mimeType, "audio/x-ralf-mpeg4-generic")) addRealAudioLine(record, p, true);
                }
            }
        } else if (equalsAtNoCase(header, 0, "INDX")) {
            const std::vector<uint8_t> data = readChunkData(reader, position, size);
            if (data.size() >= 2 && be16(data, 0) == 0) {
                const uint32_t nextIndex = be32(data, 8);
                // The chain ends at 0; a link that does not lead past this
                // chunk would loop, so it ends the walk as well.
                if (nextIndex == 0 || nextIndex <= position) break;
                next = nextIndex;
            }
        } else if (equalsAtNoCase(header, 0, "DATA")) {
            sawData = true;
        }
        position = next;
    }

    const uint32_t durationMs = fileDurationMs != 0 ? fileDurationMs : firstStreamDurationMs;
    record.duration = durationMs * 0.001;
}

void analyzeRealAudio(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);

    uint8_t head[kStandAloneHeaderBytes] = {};
    const size_t got = reader.read(head, sizeof head);
    RealAudioHeader header{};
    if (!parseRealAudioHeader(Bytes(head, got), header)) {
        setErrorText(record, jp("[RealAudio] 認識できないバージョンです"));
        return;
    }

    // A header without bytes per minute or data size (a later version, or
    // one cut short) gives no play time: the division faults and the
    // dispatcher reports the exception.
    const double duration = checkedDiv(static_cast<double>(header.dataSize), static_cast<double>(header.bytesPerMinute)) * 60.0;
    record.duration = duration;
    AudioStreamInfo info{};
    copyText(info.codec, kCodecTextBytes, realAudioCodecName(fieldText(header.fourcc, sizeof header.fourcc)));
    info.sampleRate = header.sampleRate;
    info.bitDepth = header.bitsPerSample;
    info.channels = header.channels;
    info.bitRate = checkedDiv(static_cast<double>(header.dataSize), duration) * 8.0;
    addAudioText(record, describeRealAudio(info));
}

}  // namespace vesko
