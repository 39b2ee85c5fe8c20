// ASF (Windows Media audio and video): the objects of the header.
//
// The walk reads the objects of the header one after the other, stepping
// into the Header Object and the Header Extension Object, and stops at the
// Data Object, which it never reads. It collects the play time, the stream
// headers, the extended stream properties (frame rate, data bit rate), the
// codec list and the protection type, then builds one line per audio or
// video stream.
//
// Sizes come from the file. An object smaller than its own 24-byte header
// ends the walk, so every step moves forward; an object that runs past the
// end of the file is the last one looked at. Objects that are read are read
// into a buffer, zero-padded to at least the layout of their fixed fields,
// and their lists (stream names, payload extension systems, codec entries,
// the embedded Stream Properties Object) are followed only inside the bytes
// that the object holds.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../analysers.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"
#include "riff_streams.h"

namespace vesko {

namespace {

// ---- GUIDs, in the text form formatGuid writes ----

constexpr std::string_view kHeaderObject = "75B22630-668E-11CF-A6D9-00AA0062CE6C";
constexpr std::string_view kDataObject = "75B22636-668E-11CF-A6D9-00AA0062CE6C";
constexpr std::string_view kHeaderExtension = "5FBF03B5-A92E-11CF-8EE3-00C00C205365";
constexpr std::string_view kFileProperties = "8CABDCA1-A947-11CF-8EE4-00C00C205365";
constexpr std::string_view kStreamProperties = "B7DC0791-A9B7-11CF-8EE6-00C00C205365";
constexpr std::string_view kExtendedStreamProperties = "14E6A5CB-C672-4332-8399-A96952065B5A";
constexpr std::string_view kCodecList = "86D15240-311D-11D0-A3A4-00A0C90348F6";
constexpr std::string_view kContentEncryption = "2211B3FB-BD23-11D2-B4B7-00A0C955FC6E";
constexpr std::string_view kVideoMedia = "BC19EFC0-5B4D-11CF-A8FD-00805F5C442B";
constexpr std::string_view kAudioMedia = "F8699E40-5B4D-11CF-A8FD-00805F5C442B";

// ---- layouts and bounds ----

constexpr uint64_t kObjectHeaderBytes = 24;      // GUID and 64-bit size
constexpr uint64_t kHeaderObjectExtra = 6;       // object count, two reserved bytes
constexpr uint64_t kHeaderExtensionExtra = 22;   // reserved GUID, reserved 16 bits, data size
constexpr size_t kFilePropertiesLayout = 80;     // up to the maximum bit rate
constexpr size_t kWaveFormatAt = 54;             // audio: WAVEFORMATEX in the type-specific data
constexpr size_t kBitmapHeaderAt = 65;           // video: width, height, flags, size, then BITMAPINFOHEADER
constexpr size_t kStreamPropertiesLayout = kBitmapHeaderAt + kBitmapHeaderBytes;
constexpr size_t kExtendedLayout = 64;           // up to the two counts
constexpr size_t kCodecListLayout = 20;          // reserved GUID and the entry count
constexpr size_t kEncryptionLayout = 4;          // the secret data length

constexpr size_t kMaxStreams = 10;               // stream records kept
constexpr size_t kMaxExtended = 10;              // extended stream entries kept
constexpr size_t kMaxCodecs = 10;                // codec list entries kept
constexpr int kMaxObjects = 4096;                // objects looked at in one walk
constexpr uint64_t kMaxObjectBytes = 1 << 20;    // bytes of one object read
constexpr size_t kCodecTextBytes = 128;          // a codec text and its NUL

bool isGuid(const std::string& text, std::string_view constant) {
    return text.size() >= constant.size() && startsWithNoCase(text, constant);
}

std::string guidAt(Bytes bytes, size_t offset) { return formatGuid(bytes.subspan(offset, 16)); }

// ---- what the walk collects ----

struct AsfStream {
    bool video = false;
    uint16_t number = 0;  // 7 bits
    BitmapHeader bitmap{};
    WaveFormat wave{};
};

struct AsfExtendedStream {
    uint16_t number = 0;
    double bitRate = 0;
    double frameRate = 0;
};

struct AsfCodec {
    uint16_t type = 0;  // 1 video, 2 audio
    std::string name;
    std::string description;
};

struct AsfHeader {
    bool hasFileProperties = false;
    uint64_t playDuration = 0;  // 100-nanosecond units
    uint64_t preroll = 0;       // milliseconds
    uint32_t maxBitRate = 0;
    std::vector<AsfStream> streams;
    std::vector<AsfExtendedStream> extended;
    std::vector<AsfCodec> codecs;
    bool encrypted = false;
    std::string protectionType;
};

// The data of one object: `bytes` holds what the file gave, zero-padded to
// at least the fixed layout; `length` is how many bytes the file gave.
struct ObjectData {
    std::vector<uint8_t> bytes;
    size_t length = 0;
    Bytes held() const { return Bytes(bytes.data(), length); }
};

ObjectData padded(Bytes source, size_t layout) {
    ObjectData data;
    data.length = source.size();
    data.bytes.assign(std::max(source.size(), layout), 0);
    std::copy(source.begin(), source.end(), data.bytes.begin());
    return data;
}

ObjectData readObjectData(FileReader& reader, uint64_t dataSize, size_t layout) {
    const uint64_t left = reader.tell() < reader.size ? reader.size - reader.tell() : 0;
    const size_t wanted = static_cast<size_t>(std::min({dataSize, left, kMaxObjectBytes}));
    ObjectData data;
    data.bytes.assign(std::max(wanted, layout), 0);
    data.length = reader.read(data.bytes.data(), wanted, true);
    return data;
}

// ---- objects ----

void readFileProperties(const ObjectData& data, AsfHeader& h) {
    const Bytes b(data.bytes);
    h.hasFileProperties = true;
    h.playDuration = readU64LE(b, 40);
    h.preroll = readU64LE(b, 56);
    h.maxBitRate = readU32LE(b, 76);
}

// Stream Properties data (after the object header), zero-padded to
// kStreamPropertiesLayout. Streams other than audio and video are passed
// over; so are streams beyond the table.
void readStreamProperties(const ObjectData& data, AsfHeader& h) {
    const Bytes b(data.bytes);
    const std::string type = guidAt(b, 0);
    AsfStream s;
    if (isGuid(type, kVideoMedia)) {
        s.video = true;
        s.bitmap = parseBitmapHeader(b.subspan(kBitmapHeaderAt));
    } else if (isGuid(type, kAudioMedia)) {
        s.wave = parseWaveFormat(b.subspan(kWaveFormatAt));
    } else {
        return;
    }
    s.number = readU16LE(b, 48) & 0x7F;
    if (h.streams.size() < kMaxStreams) h.streams.push_back(s);
}

// Extended Stream Properties: the fixed fields, then the stream names and
// payload extension systems, then an optional Stream Properties Object.
// A stream name's length counts bytes (of UTF-16 text), as encoders write
// it and other readers take it. The lists are followed inside the object
// only; the embedded object is taken when what is left of the object
// begins with its header.
void readExtendedStreamProperties(const ObjectData& data, AsfHeader& h) {
    const Bytes b(data.bytes);
    AsfExtendedStream e;
    e.bitRate = readU32LE(b, 16);
    e.number = readU16LE(b, 48);
    const uint64_t timePerFrame = readU64LE(b, 52);
    e.frameRate = timePerFrame == 0 ? 0.0 : 1.0 / (static_cast<double>(timePerFrame) * 0.0000001);
    if (h.extended.size() < kMaxExtended) h.extended.push_back(e);

    const uint16_t nameCount = readU16LE(b, 60);
    const uint16_t systemCount = readU16LE(b, 62);
    const uint64_t end = data.length;
    uint64_t at = kExtendedLayout;
    for (uint16_t i = 0; i < nameCount; ++i) {  // language index, byte length, UTF-16 name
        if (at + 4 > end) return;
        at += 4 + uint64_t{readU16LE(b, static_cast<size_t>(at) + 2)};
    }
    for (uint16_t i = 0; i < systemCount; ++i) {  // GUID, data size, info length, info
        if (at + 22 > end) return;
        at += 22 + uint64_t{readU32LE(b, static_cast<size_t>(at) + 18)};
    }
    if (at + kObjectHeaderBytes > end) return;
    const Bytes rest = data.held().subspan(static_cast<size_t>(at));
    if (!isGuid(guidAt(rest, 0), kStreamProperties)) return;
    const uint64_t declared = readU64LE(rest, 16);
    if (declared < kObjectHeaderBytes) return;
    const Bytes inner = rest.subspan(kObjectHeaderBytes);
    const size_t innerSize = static_cast<size_t>(std::min<uint64_t>(declared - kObjectHeaderBytes, inner.size()));
    readStreamProperties(padded(inner.first(innerSize), kStreamPropertiesLayout), h);
}

// Codec List: entries of type, name, description and information; an entry
// that does not fit in the object ends the list.
void readCodecList(const ObjectData& data, AsfHeader& h) {
    const Bytes b = data.held();
    const uint32_t count = readU32LE(Bytes(data.bytes), 16);
    const uint64_t end = data.length;
    uint64_t at = kCodecListLayout;
    auto text = [&](uint64_t from, uint64_t units) {
        return copyStrided(b.subspan(static_cast<size_t>(from), static_cast<size_t>(units * 2)), 2);
    };
    for (uint32_t i = 0; i < count && h.codecs.size() < kMaxCodecs; ++i) {
        if (at + 4 > end) return;
        AsfCodec c;
        c.type = readU16LE(b, static_cast<size_t>(at));
        const uint64_t nameUnits = readU16LE(b, static_cast<size_t>(at) + 2);
        const uint64_t nameAt = at + 4;
        at = nameAt + nameUnits * 2;
        if (at + 2 > end) return;
        const uint64_t descriptionUnits = readU16LE(b, static_cast<size_t>(at));
        const uint64_t descriptionAt = at + 2;
        at = descriptionAt + descriptionUnits * 2;
        if (at + 2 > end) return;
        const uint64_t infoBytes = readU16LE(b, static_cast<size_t>(at));
        at += 2 + infoBytes;
        c.name = text(nameAt, nameUnits);
        c.description = text(descriptionAt, descriptionUnits);
        h.codecs.push_back(std::move(c));
    }
}

// Content Encryption: secret data (length and bytes), then the protection
// type (length and text, "DRM"). What lies beyond the object reads as
// nothing.
void readContentEncryption(const ObjectData& data, AsfHeader& h) {
    const Bytes b = data.held();
    h.encrypted = true;
    h.protectionType.clear();
    const uint64_t typeLengthAt = 4 + uint64_t{readU32LE(Bytes(data.bytes), 0)};
    if (typeLengthAt + 4 > data.length) return;
    const uint64_t typeAt = typeLengthAt + 4;
    const uint64_t typeLength = std::min<uint64_t>(readU32LE(b, static_cast<size_t>(typeLengthAt)), data.length - typeAt);
    const Bytes type = b.subspan(static_cast<size_t>(typeAt), static_cast<size_t>(typeLength));
    const auto nul = std::find(type.begin(), type.end(), uint8_t{0});
    h.protectionType.assign(type.begin(), nul);
}

// ---- the walk ----

void walkObjects(FileReader& reader, AsfHeader& h) {
    uint64_t position = 0;
    for (int objects = 0; objects < kMaxObjects && position < reader.size; ++objects) {
        reader.seek(static_cast<int64_t>(position), 0);
        uint8_t head[kObjectHeaderBytes] = {};
        if (reader.read(head, sizeof head, true) < sizeof head) break;
        const Bytes headBytes(head);
        const std::string guid = guidAt(headBytes, 0);
        const uint64_t size = readU64LE(headBytes, 16);

        if (isGuid(guid, kDataObject)) break;
        if (isGuid(guid, kHeaderObject)) {
            position += kObjectHeaderBytes + kHeaderObjectExtra;
            continue;
        }
        if (isGuid(guid, kHeaderExtension)) {
            position += kObjectHeaderBytes + kHeaderExtensionExtra;
            continue;
        }
        // Smaller than its own header: the next object would lie behind or
        // at this one.
        if (size < kObjectHeaderBytes) break;

        const uint64_t dataSize = size - kObjectHeaderBytes;
        if (isGuid(guid, kFileProperties)) {
            readFileProperties(readObjectData(reader, dataSize, kFilePropertiesLayout), h);
        } else if (isGuid(guid, kStreamProperties)) {
            readStreamProperties(readObjectData(reader, dataSize, kStreamPropertiesLayout), h);
        } else if (isGuid(guid, kExtendedStreamProperties)) {
            readExtendedStreamProperties(readObjectData(reader, dataSize, kExtendedLayout), h);
        } else if (isGuid(guid, kCodecList)) {
            readCodecList(readObjectData(reader, dataSize, kCodecListLayout), h);
        } else if (isGuid(guid, kContentEncryption)) {
            readContentEncryption(readObjectData(reader, dataSize, kEncryptionLayout), h);
        }
        if (size >= reader.size - position) break;  // it reaches the end of the file
        position += size;
    }
}

// ---- lines ----

std::string describeAsfVideo(const VideoStreamInfo& info, size_t outSize = kTemplateBytes) {
    std::string text = lookupTemplate(info.frameRate != 0 ? "VIDEO1" : "VIDEO2", "WINDOWSMEDIA", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    put("#width#", format("%" PRId32, info.width));
    put("#height#", format("%" PRId32, info.height));
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#codec#", std::string(info.codec, strnlen(info.codec, kCodecTextBytes - 1)));
    put("#framerate#", format("%.2f", info.frameRate));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

std::string describeAsfAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes) {
    std::string text = lookupTemplate("AUDIO", "WINDOWSMEDIA", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    put("#codec#", std::string(info.codec, strnlen(info.codec, kCodecTextBytes - 1)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%" PRId64, static_cast<int64_t>(info.sampleRate)));  // from a 32-bit field
    put("#bitdepth#", format("%u", static_cast<unsigned>(info.bitDepth)));
    put("#channel#", format("%u", static_cast<unsigned>(info.channels)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

// The name of the first codec list entry of the type, if there is one.
const AsfCodec* firstCodec(const AsfHeader& h, uint16_t type) {
    for (const auto& c : h.codecs)
        if (c.type == type) return &c;
    return nullptr;
}

// Average bytes per second x 8, formed in 32 bits as the header field is.
uint32_t audioBitRate(const WaveFormat& wave) { return wave.averageBytesPerSecond * 8u; }

void describeStreams(AnalysisRecord& record, const AsfHeader& h) {
    int64_t audioBits = 0;
    for (const auto& s : h.streams)
        if (!s.video) audioBits += audioBitRate(s.wave);

    for (const auto& s : h.streams) {
        if (s.video) {
            VideoStreamInfo info{};
            info.width = s.bitmap.width;
            info.height = s.bitmap.height;
            info.bitDepth = s.bitmap.bitCount;
            const AsfCodec* codec = firstCodec(h, 1);
            const std::string key = fourccKey(Bytes(reinterpret_cast<const uint8_t*>(s.bitmap.compression), 4));
            copyText(info.codec, kCodecTextBytes, codec ? codec->name : videoCodecName(key, kCodecTextBytes));
            const auto e = std::find_if(h.extended.begin(), h.extended.end(),
                                        [&](const AsfExtendedStream& x) { return x.number == s.number; });
            if (e != h.extended.end()) {
                info.frameRate = e->frameRate;
                info.bitRate = e->bitRate;
            }
            // The maximum bit rate of the file less the audio; audio rates
            // above the maximum would leave a negative rate.
            if (info.bitRate == 0) info.bitRate = static_cast<double>(std::max<int64_t>(0, int64_t{h.maxBitRate} - audioBits));
            addVideoText(record, describeAsfVideo(info));
        } else {
            const AsfCodec* codec = firstCodec(h, 2);
            AudioStreamInfo info{};
            copyText(info.codec, kCodecTextBytes, codec ? codec->name : audioCodecName(s.wave.formatTag, kCodecTextBytes));
            info.sampleRate = s.wave.samplesPerSecond;
            info.bitDepth = s.wave.bitsPerSample;
            info.channels = s.wave.channels;
            info.bitRate = audioBitRate(s.wave);
            addAudioText(record, describeAsfAudio(info));
        }
    }
}

}  // namespace

void analyzeAsf(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    setFormatName(record, "WindowsMedia");

    uint8_t first[16] = {};
    reader.read(first, sizeof first, false);
    if (!isGuid(formatGuid(Bytes(first)), kHeaderObject)) {
        setErrorText(record, jp("[WindowsMedia] WindowsMedia形式ではありません"));
        return;
    }

    AsfHeader h;
    walkObjects(reader, h);

    if (h.encrypted) setFormatName(record, format("WindowsMedia(%s)", h.protectionType.c_str()));
    // Whole seconds of the play time less the preroll. A preroll longer
    // than the play time (a broadcast file has no play time) leaves the
    // duration unwritten, as when the file properties are missing.
    if (h.hasFileProperties) {
        const int64_t seconds = static_cast<int64_t>(h.playDuration / 10000000) - static_cast<int64_t>(h.preroll / 1000);
        if (seconds >= 0) record.duration = static_cast<double>(seconds);
    }
    describeStreams(record, h);
}

}  // namespace vesko
