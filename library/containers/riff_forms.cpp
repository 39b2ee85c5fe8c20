// RIFF forms other than AVI and WAVE, and the FORM files AIFF and AIFF-C:
//
//   RMID  a Standard MIDI file in a "data" chunk (the MIDI header reader)
//   RMP3  an MPEG audio stream in a "data" chunk, INFO / ID3v1 after it
//   CDDA  the 44-byte entry of a CD audio track (track, disc, start, length)
//   CDXA  a Video CD track: raw Mode 2 sectors holding an MPEG-1 program
//         stream (the program stream scan over the "data" chunk)
//   QLCM  Qualcomm PureVoice (RFC 3625): "fmt " and "data"
//   AIFF, AIFC  big-endian chunks: "COMM" and "SSND"
//
// Each walk moves forward on every step (at least one byte, or a whole
// chunk header) and ends at the end of the file; sizes from the file only
// move the position, and what is read of a chunk is bounded by its layout.
#include "riff_forms.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>

#include "../analysers.h"
#include "../audio/midi.h"
#include "../audio/mpeg_audio.h"
#include "../audio/tags.h"
#include "../checked.h"
#include "../mpeg/program_stream.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

constexpr size_t kChunkHeaderBytes = 8;   // identifier and 32-bit size
constexpr size_t kCdTrackBytes = 16;      // the CD track fields used
constexpr size_t kId3v1Bytes = 128;
constexpr double kCdSectorsPerSecond = 75.0;

// An identifier and a size read together; `complete` when all eight bytes
// were there.
struct ChunkHeader {
    riff::FourCC id{};
    uint32_t size = 0;
    bool complete = false;
};

ChunkHeader readChunkHeader(riff::ChunkReader& in, bool bigEndian) {
    uint8_t bytes[kChunkHeaderBytes] = {};
    ChunkHeader h;
    h.complete = in.read(bytes, sizeof bytes) == sizeof bytes;
    std::memcpy(h.id.data(), bytes, 4);
    h.size = bigEndian ? readU32BE(Bytes(bytes), 4) : readU32LE(Bytes(bytes), 4);
    return h;
}

// The first `count` bytes of the chunk at the reader's position (fewer when
// the chunk or the file holds fewer), without moving; the rest stays zero.
template <size_t N>
size_t peekChunk(riff::ChunkReader& in, uint32_t size, std::array<uint8_t, N>& out) {
    return in.peek(out.data(), std::min<size_t>(size, N));
}

// The audio lines of AIFF and QCP: the RIFF audio line's placeholders, in
// its order, from another section.
std::string describeAudio(const char* section, const AudioStreamInfo& info, bool withCodec, size_t outSize) {
    std::string text = lookupTemplate("AUDIO", section, u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    if (withCodec) put("#codec#", std::string(info.codec, strnlen(info.codec, sizeof info.codec)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    // An AIFF rate is an 80-bit float: one that no integer holds faults.
    put("#samplerate#", format("%" PRId64, checkedCast<int64_t>(info.sampleRate)));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

}  // namespace

// ---- description lines and chunk decoders ----

std::string describeAiffAudio(const AudioStreamInfo& info, size_t outSize) { return describeAudio("AIFF", info, false, outSize); }

void describeAiffAudio(char* out, size_t outSize, const AudioStreamInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeAiffAudio(info));
}

std::string describePureVoiceAudio(const AudioStreamInfo& info, size_t outSize) {
    return describeAudio("PUREVOICE", info, true, outSize);
}

void describePureVoiceAudio(char* out, size_t outSize, const AudioStreamInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describePureVoiceAudio(info));
}

AiffCommon parseAiffCommon(Bytes bytes, bool aifc) {
    std::array<uint8_t, kAifcCommonBytes> b{};
    const size_t n = std::min(bytes.size(), b.size());
    if (n) std::memcpy(b.data(), bytes.data(), n);
    AiffCommon c{};
    c.channels = readU16BE(Bytes(b), 0);
    c.sampleFrames = readU32BE(Bytes(b), 2);
    c.sampleSize = readU16BE(Bytes(b), 6);
    c.sampleRate = readFloatBE(Bytes(b), 8, 10);
    if (aifc && n >= kAifcCommonBytes) std::memcpy(c.compression, b.data() + kAiffCommonBytes, 4);
    return c;
}

uint32_t aiffSamplesPerFrame(const char* compression) {
    const Bytes type(reinterpret_cast<const uint8_t*>(compression), strnlen(compression, 4));
    if (type.size() != 4) return 1;
    // The case of the type matters here ("ima4", "MAC3"); compared as stored.
    if (equalsAt(type, 0, "ima4")) return 64;
    if (equalsAt(type, 0, "MAC3") || equalsAt(type, 0, "MAC6")) return 6;
    if (equalsAt(type, 0, "GSM ")) return 160;
    return 1;
}

QcpFormat parseQcpFormat(Bytes bytes) {
    std::array<uint8_t, kQcpFormatBytes> b{};
    const size_t n = std::min(bytes.size(), b.size());
    if (n) std::memcpy(b.data(), bytes.data(), n);
    QcpFormat f{};
    std::memcpy(f.codec, b.data() + 20, 80);  // f.codec[80] stays NUL
    f.averageBitsPerSecond = readU16LE(Bytes(b), 100);
    f.sampleRate = readU16LE(Bytes(b), 106);
    f.sampleSize = readU16LE(Bytes(b), 108);
    return f;
}

namespace riff {

// ---- RMID ----

bool walkRmid(RiffContext& c) {
    setFormatName(c.record, "RIFF(MIDI)");
    // The header of the data chunk; neither its identifier nor its size
    // is looked at.
    uint8_t header[kChunkHeaderBytes] = {};
    c.in.read(header, sizeof header);

    MidiInfo info{};
    c.file.seek(static_cast<int64_t>(c.in.tell()), 0);
    readMidiHeader(info, c.file);
    // Without a MIDI header the line is built from the zero values.
    addAudioText(c.record, describeMidi(info));
    return true;
}

// ---- RMP3 ----

bool walkRmp3(RiffContext& c) {
    setFormatName(c.record, "RIFF(RMP3)");
    ChunkReader& in = c.in;
    const ChunkHeader data = readChunkHeader(in, false);
    const uint64_t dataStart = in.tell();
    const uint64_t held = in.size() - std::min(dataStart, in.size());

    MpegAudioInfo info{};
    // The play time covers the audio the file holds: a data size beyond
    // the end of the file (a cut file) counts the bytes that are there.
    info.streamBytes = std::min<uint64_t>(data.size, held);
    info.computeDuration = 1;
    c.file.seek(static_cast<int64_t>(dataStart), 0);
    // The tags of the stream are those at the start of the data chunk; the
    // end of the file is the end of the RIFF, not of the stream, and what
    // lies there (LIST, IID3) is looked at by the walk below.
    scanTags(c.file, info.tags);
    c.file.seek(static_cast<int64_t>(dataStart), 0);
    readMpegAudioStream(info, c.file);
    addAudioText(c.record, describeMpegAudio(info));
    if (info.duration > 0) c.record.duration = info.duration;

    in.seek(dataStart);
    in.skip(data.size);
    while (in.tell() < in.size()) {
        FourCC id{};
        if (in.read(id.data(), 4) < 4) break;
        if (is(id, "LIST")) {
            const uint32_t size = in.readU32();
            const uint64_t listStart = in.tell();
            uint8_t type[4] = {};
            if (size >= 4 && in.peek(type, 4) == 4 && equalsAtNoCase(Bytes(type), 0, "INFO")) c.tags.hasInfoTag = 1;
            // An ID3v1 tag kept as the list's last 128 bytes (only when the
            // file holds the whole list).
            if (size >= kId3v1Bytes && listStart + size <= in.size()) {
                in.seek(listStart + size - kId3v1Bytes);
                uint8_t tag[3] = {};
                if (in.peek(tag, 3) == 3 && equalsAtNoCase(Bytes(tag), 0, "TAG")) c.tags.hasId3v1 = 1;
            }
            in.seek(listStart);
            in.skip(size);
        } else if (is(id, "IID3")) {
            c.tags.hasId3v1 = 1;
            in.skip(in.readU32());
        } else {
            // Resynchronise one byte further on (a pad byte, unknown data).
            in.seek(in.tell() - 3);
        }
    }
    return true;
}

// ---- CDDA ----

bool walkCdda(RiffContext& c) {
    setFormatName(c.record, "RIFF(CD)");
    ChunkReader& in = c.in;
    FourCC id{};
    in.read(id.data(), 4);
    if (!is(id, "fmt ")) {
        setErrorText(c.record, jp("[RIFF(CD)] fmtチャンクがありません"));
        return true;
    }
    const uint32_t size = in.readU32();
    std::array<uint8_t, kCdTrackBytes> b{};
    peekChunk(in, size, b);
    in.skip(size);

    const uint16_t track = readU16LE(Bytes(b), 2);
    const uint32_t disc = readU32LE(Bytes(b), 4);
    const uint32_t firstSector = readU32LE(Bytes(b), 8);
    const uint32_t sectors = readU32LE(Bytes(b), 12);
    const DurationParts start = splitDuration(firstSector / kCdSectorsPerSecond);
    addAudioText(c.record, format("Track%02d %08X %02d:%02d:%02d", static_cast<int>(track), static_cast<unsigned>(disc),
                                  start.hours, start.minutes, start.seconds));
    c.record.duration = sectors / kCdSectorsPerSecond;
    return true;
}

// ---- CDXA ----

bool walkCdxa(RiffContext& c) {
    setFormatName(c.record, "RIFF(VideoCD)");
    ChunkReader& in = c.in;
    while (in.tell() < in.size()) {
        const uint64_t start = in.tell();
        const ChunkHeader h = readChunkHeader(in, false);
        if (!h.complete) break;
        if (isAnyOf(h.id, {"fmt ", "____"})) {
            in.skip(h.size);
        } else if (is(h.id, "data")) {
            // The program stream is the chunk's data: from here to its end,
            // or to the end of a file that is cut short.
            const uint64_t dataStart = in.tell();
            const uint64_t dataEnd = std::min(dataStart + h.size, in.size());
            scanMpeg1ProgramStream(c.file, c.record, dataStart, dataEnd);
            in.skip(h.size);
        } else {
            // Resynchronise one byte further on.
            in.seek(start + 1);
        }
    }
    return true;
}

// ---- AIFF, AIFF-C ----

bool walkAiff(RiffContext& c) {
    // AIFF files carry no label.
    setFormatName(c.record, "");
    ChunkReader& in = c.in;
    const bool aifc = is(c.form, "AIFC");
    AiffCommon common{};
    uint64_t soundBytes = 0;

    while (in.tell() < in.size()) {
        const ChunkHeader h = readChunkHeader(in, true);
        if (!h.complete) break;
        if (is(h.id, "COMM")) {
            std::array<uint8_t, kAifcCommonBytes> b{};
            const size_t got = peekChunk(in, h.size, b);
            common = parseAiffCommon(Bytes(b.data(), got), aifc);
        } else if (is(h.id, "SSND")) {
            soundBytes = h.size;
        }
        // "FVER", "MARK", "COMT", "INST", "NAME", "ANNO", "ID3 " and the
        // rest: nothing more is read. A chunk of odd size is followed by a
        // pad byte, which the size does not count.
        in.skip(static_cast<uint64_t>(h.size) + (h.size & 1));
    }

    // Sample frames over the rate; a rate of 0 (or no "COMM") and a play
    // time of 0 are arithmetic faults.
    const double samples = static_cast<double>(common.sampleFrames) * aiffSamplesPerFrame(common.compression);
    const double duration = checkedDiv(samples, common.sampleRate);
    const double bitRate = checkedDiv(static_cast<double>(soundBytes) * 8.0, duration);
    c.record.duration = duration;

    AudioStreamInfo info{};
    info.sampleRate = common.sampleRate;
    info.bitDepth = common.sampleSize;
    info.channels = common.channels;
    info.bitRate = bitRate;
    addAudioText(c.record, describeAiffAudio(info));
    return true;
}

// ---- QLCM ----

bool walkQcp(RiffContext& c) {
    setFormatName(c.record, "");
    ChunkReader& in = c.in;
    QcpFormat fmt{};
    uint64_t dataBytes = 0;

    while (in.tell() < in.size()) {
        const ChunkHeader h = readChunkHeader(in, false);
        if (!h.complete) break;
        // A chunk of odd size is followed by a pad byte, which the size
        // does not count.
        const uint64_t padded = static_cast<uint64_t>(h.size) + (h.size & 1);
        if (isAnyOf(h.id, {"VRAT", "LABL", "OFFS", "CNFG", "TEXT", "____"})) {
            in.skip(padded);
        } else if (is(h.id, "DATA")) {
            dataBytes = h.size;
            in.skip(padded);
        } else if (is(h.id, "FMT ")) {
            std::array<uint8_t, kQcpFormatBytes> b{};
            const size_t got = peekChunk(in, h.size, b);
            fmt = parseQcpFormat(Bytes(b.data(), got));
            in.skip(padded);
        }
        // Any other chunk: its data is read as the next headers, eight bytes
        // at a time.
    }

    AudioStreamInfo info{};
    copyText(info.codec, sizeof info.codec, fmt.codec);
    info.sampleRate = fmt.sampleRate;
    info.bitDepth = fmt.sampleSize;
    info.channels = 1;
    info.bitRate = fmt.averageBitsPerSecond;
    // Bits over bits per second, the product in 64 bits; a rate of 0 (or
    // no "fmt ") is an arithmetic fault.
    c.record.duration = checkedDiv(static_cast<double>(dataBytes * 8), static_cast<double>(fmt.averageBitsPerSecond));
    addAudioText(c.record, describePureVoiceAudio(info));
    return true;
}

}  // namespace riff

}  // namespace vesko
