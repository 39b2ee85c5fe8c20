// Stream headers of the Video for Windows family, the codec names and the
// description lines built from them, the audio payload probe and the DivX /
// XviD version strings.
#include "riff_streams.h"

#include <cinttypes>
#include <cstring>

#include "../audio/ac3.h"
#include "../audio/dts.h"
#include "../audio/mpeg_audio.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

// Little-endian fields that may lie beyond the end of a short chunk: those
// read as 0.
uint32_t u32At(Bytes b, size_t off) { return off + 4 <= b.size() ? readU32LE(b, off) : 0; }
uint16_t u16At(Bytes b, size_t off) { return off + 2 <= b.size() ? readU16LE(b, off) : 0; }

// Four raw characters (NUL-terminated in a five-byte field); missing ones
// are NUL.
void fourAt(char (&dest)[5], Bytes b, size_t off) {
    for (size_t i = 0; i < 4; ++i) dest[i] = off + i < b.size() ? static_cast<char>(b[off + i]) : '\0';
    dest[4] = '\0';
}

std::string_view fieldText(const char* field, size_t width) { return std::string_view(field, slotLength(field, width)); }

bool beginsWithUnknown(const std::string& text) { return text.rfind(jp("不明"), 0) == 0; }

}  // namespace

WaveFormat parseWaveFormat(Bytes bytes) {
    WaveFormat f{};
    f.formatTag = u16At(bytes, 0);
    f.channels = u16At(bytes, 2);
    f.samplesPerSecond = u32At(bytes, 4);
    f.averageBytesPerSecond = u32At(bytes, 8);
    f.blockAlign = u16At(bytes, 12);
    f.bitsPerSample = u16At(bytes, 14);
    return f;
}

BitmapHeader parseBitmapHeader(Bytes bytes) {
    BitmapHeader h{};
    h.width = static_cast<int32_t>(u32At(bytes, 4));
    h.height = static_cast<int32_t>(u32At(bytes, 8));
    h.bitCount = u16At(bytes, 14);
    fourAt(h.compression, bytes, 16);
    return h;
}

AviStreamHeader parseAviStreamHeader(Bytes bytes) {
    AviStreamHeader h{};
    fourAt(h.type, bytes, 0);
    fourAt(h.handler, bytes, 4);
    h.scale = u32At(bytes, 20);
    h.rate = u32At(bytes, 24);
    h.length = u32At(bytes, 32);
    return h;
}

std::string fourccKey(Bytes four) {
    std::string key(4, ' ');
    for (size_t i = 0; i < 4 && i < four.size(); ++i)
        if (four[i] >= 32 && four[i] <= 122) key[i] = static_cast<char>(four[i]);
    return key;
}

std::string videoCodecName(std::string_view fourcc, size_t maxBytes) {
    return lookupTemplate(fourcc, "AVI", u"CODECS.INI", maxBytes);
}

std::string audioCodecName(uint16_t formatTag, size_t maxBytes) {
    return lookupTemplate(format("%04X", static_cast<unsigned>(formatTag)), "WAV", u"CODECS.INI", maxBytes);
}

std::string aviVideoCodecKey(std::string_view handler, std::string_view compression) {
    auto asBytes = [](std::string_view s) { return Bytes(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    std::string h = fourccKey(asBytes(handler));
    std::string c = fourccKey(asBytes(compression));
    return startsWithNoCase(h, c) && h.size() == c.size() ? h : c;
}

bool isProbedFormatTag(uint16_t formatTag) {
    switch (formatTag) {
        case 0x0001:
        case 0x0008:
        case 0x0050:
        case 0x0055:
        case 0x2000:
        case 0x2001: return true;
        default: return false;
    }
}

AudioStreamInfo audioStreamInfo(const WaveFormat& format, std::string_view codec) {
    AudioStreamInfo info{};
    copyText(info.codec, sizeof info.codec, codec);
    info.sampleRate = format.samplesPerSecond;
    info.bitDepth = format.bitsPerSample;
    info.channels = format.channels;
    info.bitRate = static_cast<double>(format.averageBytesPerSecond) * 8.0;
    return info;
}

std::string describeRiffVideo(const VideoStreamInfo& info, size_t outSize) {
    std::string text = lookupTemplate("VIDEO", "RIFF", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    put("#width#", format("%" PRId32, info.width));
    put("#height#", format("%" PRId32, info.height));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#codec#", std::string(fieldText(info.codec, sizeof info.codec)));
    put("#framerate#", format("%.2f", info.frameRate));
    put("#frame#", format("%" PRId32, info.frameCount));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

void describeRiffVideo(char* out, size_t outSize, const VideoStreamInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeRiffVideo(info));
}

std::string describeAudioStream(const AudioStreamInfo& info, const char* section, size_t outSize) {
    std::string text = lookupTemplate("AUDIO", section, u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    put("#codec#", std::string(fieldText(info.codec, sizeof info.codec)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    // Truncated to an integer; the rate comes from a 32-bit field.
    const double rate = info.sampleRate >= 0 && info.sampleRate < 9.0e18 ? info.sampleRate : 0.0;
    put("#samplerate#", format("%" PRId64, static_cast<int64_t>(rate)));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

std::string describeRiffAudio(const AudioStreamInfo& info, size_t outSize) {
    return describeAudioStream(info, "RIFF", outSize);
}

void describeRiffAudio(char* out, size_t outSize, const AudioStreamInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeRiffAudio(info));
}

bool probeAudioPayload(Bytes bytes, uint16_t formatTag, std::string& line) {
    const uint8_t* data = bytes.data();
    const size_t length = bytes.size();
    if (!data || length == 0) return false;

    switch (formatTag) {
        case 0x0050:
        case 0x0055: {
            for (size_t start = 0; start < length;) {
                const int32_t p = findMpegAudioSync(bytes, start);
                if (p < 0) break;
                MpegAudioInfo info{};
                if (parseVbrHeader(info, bytes.subspan(static_cast<size_t>(p)))) {
                    line = describeMpegAudio(info);
                    return true;
                }
                start = static_cast<size_t>(p) + 1;
            }
            return false;
        }
        case 0x2000: {
            for (size_t start = 0; start < length;) {
                const int32_t p = findAc3Sync(data, length, start);
                if (p < 0) break;
                Ac3Info info{};
                copyText(info.codec, sizeof info.codec, "Dolby AC-3");
                if (decodeAc3Header(info, data + p, length - static_cast<size_t>(p))) {
                    line = describeAc3(info);
                    return true;
                }
                start = static_cast<size_t>(p) + 1;
            }
            return false;
        }
        case 0x0001:
        case 0x0008:
        case 0x2001: {
            for (size_t start = 0; start < length;) {
                const int32_t p = findDtsSync(data, length, start);
                if (p < 0) break;
                DtsInfo info{};
                if (decodeDtsHeader(info, data + p, length - static_cast<size_t>(p))) {
                    line = describeDts(info);
                    return true;
                }
                start = static_cast<size_t>(p) + 1;
            }
            return false;
        }
        default: return false;
    }
}

bool probeAudioPayload(const uint8_t* bytes, size_t length, uint16_t formatTag, char* out, size_t outSize,
                       FileReader* reader) {
    const uint64_t position = reader ? reader->tell() : 0;
    std::string line;
    const bool found = bytes && probeAudioPayload(Bytes(bytes, length), formatTag, line);
    if (found && out && outSize) copyText(out, outSize, line);
    if (reader) reader->seek(static_cast<int64_t>(position), 0);
    return found;
}

bool detectDivxVersion(char* out, size_t outSize, const uint8_t* bytes, size_t length) {
    if (!bytes || length < 15) return false;
    const Bytes data(bytes, length);
    // Offsets 0 to length - 16: the 15 characters of the longest key lie
    // inside the data.
    const int64_t last = static_cast<int64_t>(length) - 16;
    int64_t match = -1;
    for (int64_t p = 0; p <= last; ++p) {
        if (equalsAtNoCase(data, static_cast<size_t>(p), "DivX")) {
            match = p;
            break;
        }
    }
    if (match < 0) return false;

    const char* at = reinterpret_cast<const char*>(bytes) + match;
    const std::string key15(at, 15), key12(at, 12), key11(at, 11);
    std::string text;
    bool named = false;
    for (const std::string* key : {&key15, &key12, &key11}) {
        text = lookupTemplate(*key, "AVI-DIVX", u"CODECS.INI");
        if (!beginsWithUnknown(text)) {
            named = true;
            break;
        }
    }
    if (!named) text = format("Divx 5.x(%s/%s/%s)", key11.c_str(), key12.c_str(), key15.c_str());
    if (out && outSize) copyText(out, outSize, text);
    return true;
}

bool detectXvidVersion(char* out, size_t outSize, const uint8_t* bytes, size_t length) {
    if (!bytes || length < 8) return false;
    const Bytes data(bytes, length);
    const int64_t last = static_cast<int64_t>(length) - 9;
    int64_t match = -1;
    for (int64_t p = 0; p <= last; ++p) {
        if (equalsAt(data, static_cast<size_t>(p), "XviD")) {
            match = p;
            break;
        }
    }
    if (match < 0) return false;

    const std::string key(reinterpret_cast<const char*>(bytes) + match, 8);
    std::string text = lookupTemplate(key, "AVI-XVID", u"CODECS.INI", 32);
    if (beginsWithUnknown(text)) text = format("XviD MPEG4(%s)", key.c_str());
    if (out && outSize) copyText(out, outSize, text);
    return true;
}

}  // namespace vesko
