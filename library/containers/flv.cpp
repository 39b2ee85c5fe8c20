// Flash Video.
//
// A 9-byte file header ("FLV", version 1), then tags, each behind the
// 4-byte size of the tag before it: type (8 audio, 9 video, 18 script
// data), 24-bit data size, 24-bit timestamp in milliseconds, 4 bytes not
// used here, the data. The first audio tag and the first video tag give
// the two lines; script tags give the metadata (duration, picture size,
// frame rate, data rates) wherever their names occur.
//
// Every tag moves the walk at least 15 bytes forward and the walk ends at
// the end of the file; tag headers come through one buffered window, and
// only the first audio tag, the head of the first video tag and script tags
// (at most kScriptReadBytes each) are read.
#include "flv.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <vector>

#include "../analysers.h"
#include "../messages.h"
#include "../mpeg/video_headers.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

constexpr size_t kFileHeaderBytes = 9;
constexpr size_t kTagHeaderBytes = 15;           // previous tag size + tag header
constexpr size_t kAudioReadBytes = 64 * 1024;    // the first audio tag, for the MP3 frame search
constexpr size_t kVideoReadBytes = 16;           // the picture header / decoder configuration head
constexpr size_t kScriptReadBytes = 1024 * 1024;
constexpr size_t kWindowBytes = 64 * 1024;
constexpr size_t kProfileBytes = 32;             // 31 bytes and the terminator
constexpr unsigned kTagsAlwaysWalked = 11;

constexpr uint8_t kTagAudio = 8;
constexpr uint8_t kTagVideo = 9;
constexpr uint8_t kTagScript = 18;

std::string_view fieldText(const char* field, size_t width) { return std::string_view(field, slotLength(field, width)); }

// Tag headers at rising offsets through one buffered window.
class Window {
public:
    explicit Window(FileReader& reader) : reader_(reader), bytes_(kWindowBytes) {}

    // Up to n bytes at offset into out; returns how many the file holds.
    size_t get(uint64_t offset, uint8_t* out, size_t n) {
        if (offset >= reader_.size) return 0;
        if (offset < start_ || offset - start_ + n > length_) {
            reader_.seek(static_cast<int64_t>(offset), 0);
            length_ = reader_.read(bytes_.data(), bytes_.size(), false);
            start_ = offset;
        }
        const size_t at = static_cast<size_t>(offset - start_);
        const size_t have = at < length_ ? std::min(n, length_ - at) : 0;
        std::memcpy(out, bytes_.data() + at, have);
        return have;
    }

private:
    FileReader& reader_;
    std::vector<uint8_t> bytes_;
    uint64_t start_ = 0;
    size_t length_ = 0;
};

// Up to `cap` bytes of a tag's data, never more than the file still holds.
std::vector<uint8_t> readTagData(FileReader& reader, uint64_t at, uint32_t size, size_t cap) {
    const uint64_t left = at < reader.size ? reader.size - at : 0;
    std::vector<uint8_t> data(static_cast<size_t>(std::min<uint64_t>({size, cap, left})));
    reader.seek(static_cast<int64_t>(at), 0);
    data.resize(reader.read(data.data(), data.size()));
    return data;
}

size_t readAmf(Bytes bytes, AmfTable& table, size_t depth);

// An array property: a 16-bit-length name, then its value.
size_t readAmfProperty(Bytes bytes, AmfTable& table, size_t depth) {
    if (bytes.size() < 2) return 0;
    const size_t length = readU16BE(bytes, 0);
    if (length == 0 || length > bytes.size() - 2) return 0;
    table.setName(std::string_view(reinterpret_cast<const char*>(bytes.data() + 2), length));
    const size_t value = readAmf(bytes.subspan(2 + length), table, depth + 1);
    return value == 0 ? 0 : 2 + length + value;
}

size_t readAmf(Bytes bytes, AmfTable& table, size_t depth) {
    if (bytes.empty() || depth > AmfTable::kMaxDepth || table.valuesRead >= AmfTable::kMaxValues) return 0;
    ++table.valuesRead;
    switch (bytes[0]) {
        case 0:  // number
            if (bytes.size() < 9) return 0;
            table.storeNumber(readFloatBE(bytes, 1, 8));
            return 9;
        case 1:  // boolean
            if (bytes.size() < 2) return 0;
            table.storeNumber(bytes[1]);
            return 2;
        case 2:
        case 3:
        case 4: {  // text
            if (bytes.size() < 3) return 0;
            const size_t length = readU16BE(bytes, 1);
            if (length == 0 || length > bytes.size() - 3) return 0;
            table.storeText(std::string_view(reinterpret_cast<const char*>(bytes.data() + 3), length));
            return 3 + length;
        }
        case 7:  // reference
            if (bytes.size() < 3) return 0;
            table.storeNumber(readU16BE(bytes, 1));
            return 3;
        case 8: {  // ECMA array: count, then that many properties
            if (bytes.size() < 5) return 0;
            const uint32_t count = readU32BE(bytes, 1);
            size_t used = 5;
            // Every property consumes at least 4 bytes, so the count is
            // bounded by the bytes that remain.
            for (uint32_t i = 0; i < count; ++i) {
                const size_t property = readAmfProperty(bytes.subspan(used), table, depth);
                if (property == 0) return 0;
                used += property;
            }
            return used;
        }
        case 10: {  // strict array: one property
            if (bytes.size() < 5) return 0;
            const size_t property = readAmfProperty(bytes.subspan(5), table, depth);
            return property == 0 ? 0 : 5 + property;
        }
        case 11:  // date
            if (bytes.size() < 11) return 0;
            table.storeNumber(0.0);
            return 11;
        case 12: {  // long string
            if (bytes.size() < 5) return 0;
            const uint32_t length = readU32BE(bytes, 1);
            if (length > bytes.size() - 5) return 0;
            table.storeText(std::string_view(reinterpret_cast<const char*>(bytes.data() + 5), length));
            return 5 + static_cast<size_t>(length);
        }
        default:
            return 1;
    }
}

// The metadata of script tags; a value is known once it is not 0.
struct FlvMetadata {
    double duration = 0;
    int32_t width = 0;
    int32_t height = 0;
    double videoBitRate = 0;
    double audioBitRate = 0;
    double frameRate = 0;
};

constexpr const char* kMetadataKeys[] = {"duration", "width", "height", "videodatarate", "framerate", "audiodatarate"};

bool asInt32(double value, int32_t& out) {
    if (!std::isfinite(value) || value <= -2147483649.0 || value >= 2147483648.0) return false;
    out = static_cast<int32_t>(std::trunc(value));
    return true;
}

void readScriptData(Bytes data, FlvMetadata& meta) {
    AmfTable table;
    for (const char* key : kMetadataKeys) {
        const size_t keyLength = std::strlen(key);
        for (size_t at = 0; at + keyLength <= data.size(); ++at) {
            if (!equalsAtNoCase(data, at, key)) continue;
            table.setName(key);
            readAmfValue(data.subspan(at + keyLength), table);
        }
    }
    for (size_t i = 0; i < table.count; ++i) {
        const AmfEntry& entry = table.entries[i];
        if (entry.type != 1 || !std::isfinite(entry.number)) continue;
        const std::string_view name = fieldText(entry.name, sizeof entry.name);
        const double v = entry.number;
        if (name == "duration") meta.duration = v;
        else if (name == "width") asInt32(v, meta.width);
        else if (name == "height") asInt32(v, meta.height);
        else if (name == "videodatarate") meta.videoBitRate = v * 1000.0;
        else if (name == "framerate") meta.frameRate = v;
        else if (name == "audiodatarate") meta.audioBitRate = v * 1000.0;
    }
}

std::string audioLine(Bytes data, const FlvMetadata& meta) {
    const unsigned flags = data[0];
    const unsigned soundFormat = flags >> 4;
    if (soundFormat == 2) {
        std::string line;
        if (probeAudioPayload(data, 0x0055, line)) return line;
    }
    static constexpr double kRates[] = {5500, 11025, 22050, 44100};
    AudioStreamInfo info{};
    copyText(info.codec, sizeof info.codec, flashAudioCodecText(soundFormat));
    info.sampleRate = kRates[(flags >> 2) & 3];
    info.bitDepth = (flags & 2) ? 16 : 8;
    info.channels = (flags & 1) ? 2 : 1;
    // The rate code cannot express 8 or 16 kHz: the formats that carry the
    // rate in their name ignore it (and the Nellymoser ones are mono).
    if (soundFormat == 4 || soundFormat == 5) {
        info.sampleRate = soundFormat == 4 ? 16000 : 8000;
        info.channels = 1;
    } else if (soundFormat == 14) {
        info.sampleRate = 8000;
    }
    info.bitRate = meta.audioBitRate;
    return describeFlashVideoAudio(info);
}

// Sorenson H.263 picture size from the picture header after the first data
// byte: 17-bit start code, 5-bit version, 8-bit temporal reference, then the
// 3-bit size code at bit 30. False when the header is too short for the
// fields its size code needs.
bool sorensonPictureSize(Bytes data, int32_t& width, int32_t& height) {
    if (data.size() < 1 + 5) return false;  // up to the size code
    const std::string bits = bytesToBits(data.subspan(1, std::min<size_t>(9, data.size() - 1)));
    const unsigned code = static_cast<unsigned>(bitsAt(bits, 30, 3));
    static constexpr int32_t kSizes[8][2] = {{0, 0}, {0, 0}, {352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}, {0, 0}};
    switch (code) {
        case 0:
            if (bits.size() < 49) return false;
            width = static_cast<int32_t>(bitsAt(bits, 33, 8));
            height = static_cast<int32_t>(bitsAt(bits, 41, 8));
            return true;
        case 1:
            if (bits.size() < 65) return false;
            width = static_cast<int32_t>(bitsAt(bits, 33, 16));
            height = static_cast<int32_t>(bitsAt(bits, 49, 16));
            return true;
        default:
            width = kSizes[code][0];
            height = kSizes[code][1];
            return true;
    }
}

std::string videoLine(Bytes data, const FlvMetadata& meta) {
    const unsigned codecId = data[0] & 0x0F;
    VideoStreamInfo info{};
    copyText(info.codec, sizeof info.codec, flashVideoCodecText(codecId));
    info.width = meta.width;
    info.height = meta.height;
    info.frameRate = meta.frameRate;
    info.bitRate = meta.videoBitRate;
    std::string profile;
    if (codecId == 2) {
        int32_t width = 0, height = 0;
        if (sorensonPictureSize(data, width, height)) {
            info.width = width;
            info.height = height;
        }
    } else if (codecId == 7) {
        // An AVC sequence header (packet type 0): composition time (3
        // bytes), then the decoder configuration record, whose bytes 1 and
        // 3 are the profile and the level.
        if (data.size() >= 9 && data[1] == 0) {
            profile = formatAvcProfileLevel(data[6], data[8]);
            if (profile.size() >= kProfileBytes) profile.resize(kProfileBytes - 1);
        }
    }
    return describeFlashVideoVideo(info, profile);
}

}  // namespace

void AmfTable::setName(std::string_view name) {
    if (count >= kCapacity) return;
    copyText(entries[count].name, sizeof entries[count].name, name);
}

void AmfTable::storeNumber(double value) {
    if (count >= kCapacity) return;
    AmfEntry& entry = entries[count++];
    entry.type = 1;
    entry.number = value;
    entry.text[0] = '\0';
}

void AmfTable::storeText(std::string_view value) {
    if (count >= kCapacity) return;
    AmfEntry& entry = entries[count++];
    entry.type = 2;
    entry.number = 0;
    copyText(entry.text, sizeof entry.text, value);
}

size_t readAmfValue(Bytes bytes, AmfTable& table) { return readAmf(bytes, table, 0); }

std::string flashAudioCodecText(unsigned soundFormat) {
    static constexpr const char* kNames[16] = {
        "PCM", "ADPCM", "MPEG1-LayerIII", "LinearPCM", "Nellymoser(16kHz)", "Nellymoser(8kHz)", "Nellymoser", "A-law",
        "mu-law", nullptr, "AAC", "Speex", nullptr, nullptr, "MPEG1-LayerIII(8kHz)", nullptr};
    if (soundFormat < 16 && kNames[soundFormat]) return kNames[soundFormat];
    return format("Unknown(%u)", soundFormat);
}

std::string flashVideoCodecText(unsigned codecId) {
    static constexpr const char* kNames[16] = {
        nullptr, nullptr, "Sorenson H.263", "Screen video", "On2 VP6", "On2 VP6(Alpha Channel)", "Screen video 2", "AVC/H.264",
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    if (codecId < 16 && kNames[codecId]) return kNames[codecId];
    return format("Unknown(%u)", codecId);
}

std::string describeFlashVideoVideo(const VideoStreamInfo& info, std::string_view profile, size_t outSize) {
    std::string text = lookupTemplate(profile.empty() ? "FLV" : "FLL", "FLASHVIDEO", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(text, placeholder, value, outSize); };
    put("#width#", format("%" PRId32, info.width));
    put("#height#", format("%" PRId32, info.height));
    put("#codec#", std::string(fieldText(info.codec, sizeof info.codec)));
    put("#profile#", std::string(profile));
    put("#framerate#", format("%.2f", info.frameRate));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return text;
}

void describeFlashVideoVideo(char* out, size_t outSize, const VideoStreamInfo& info, const char* profile) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeFlashVideoVideo(info, profile ? std::string_view(profile, strnlen(profile, kProfileBytes)) : ""));
}

std::string describeFlashVideoAudio(const AudioStreamInfo& info, size_t outSize) {
    return describeAudioStream(info, "FLASHVIDEO", outSize);
}

void describeFlashVideoAudio(char* out, size_t outSize, const AudioStreamInfo& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeFlashVideoAudio(info));
}

void analyzeFlashVideo(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    const uint64_t fileSize = reader.size;
    record.fileSize = static_cast<int64_t>(fileSize);
    setFormatName(record, "FlashVideo");

    uint8_t head[kFileHeaderBytes] = {};
    reader.read(head, sizeof head);
    const Bytes fileHeader(head, sizeof head);
    if (!equalsAtNoCase(fileHeader, 0, "FLV")) {
        setErrorText(record, jp("[FlashVideo] FlashVideoではありません"));
        return;
    }
    if (head[3] != 1) {
        setErrorText(record, jp("[FlashVideo] FlashVideo Version1以外は未対応です"));
        return;
    }

    FlvMetadata meta;
    bool haveAudio = false;
    bool haveVideo = false;
    uint32_t lastTimestamp = 0;
    unsigned tags = 0;
    Window window(reader);

    for (uint64_t position = kFileHeaderBytes; position < fileSize;) {
        uint8_t tagHead[kTagHeaderBytes];
        if (window.get(position, tagHead, sizeof tagHead) < sizeof tagHead) break;
        const Bytes header(tagHead, sizeof tagHead);
        const uint8_t type = tagHead[4];
        const uint32_t dataSize = readU24BE(header, 5);
        const uint32_t timestamp = readU24BE(header, 8);
        const uint64_t dataAt = position + kTagHeaderBytes;

        if (type == kTagAudio && !haveAudio && dataSize != 0) {
            const std::vector<uint8_t> data = readTagData(reader, dataAt, dataSize, kAudioReadBytes);
            if (!data.empty()) {
                addAudioText(record, audioLine(data, meta));
                haveAudio = true;
            }
        } else if (type == kTagVideo && !haveVideo && dataSize != 0) {
            const std::vector<uint8_t> data = readTagData(reader, dataAt, dataSize, kVideoReadBytes);
            if (!data.empty()) {
                addVideoText(record, videoLine(data, meta));
                haveVideo = true;
            }
        } else if (type == kTagScript) {
            const std::vector<uint8_t> data = readTagData(reader, dataAt, dataSize, kScriptReadBytes);
            readScriptData(data, meta);
        }

        lastTimestamp = timestamp;
        position = dataAt + dataSize;
        if (++tags >= kTagsAlwaysWalked && meta.duration != 0) break;
    }

    record.duration = meta.duration != 0 ? meta.duration : lastTimestamp * 0.001;
    if (!haveAudio && !haveVideo)
        setErrorText(record, jp("[FlashVideo] 認識できる映像と音声が1ストリームもありません"));
}

}  // namespace vesko
