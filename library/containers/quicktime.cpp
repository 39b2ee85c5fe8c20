// QuickTime movies and ISO base media files (MP4, M4A, 3GPP).
//
// The file is a tree of boxes: a 32-bit size that counts the 8-byte header
// (1: a 64-bit size follows the type; 0: the box runs to the end of its
// parent) and a four-character type, compared without regard to case. The
// walks below are flat: they enter a container by moving past its header
// and pass over any other box by its size; a type they do not know moves
// them one byte on, so that boxes nested in unknown containers are still
// met. Every step moves forward, a size below 8 or a 64-bit size past the
// parent's end ends the walk, and the headers come from 64 KiB blocks, so
// no walk loops or reads byte by byte from the file.
#include "quicktime.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../analysers.h"
#include "../audio/aac.h"
#include "../audio/tags.h"
#include "../messages.h"
#include "../mpeg/program_stream.h"
#include "../mpeg/video_headers.h"
#include "../record.h"
#include "../text.h"
#include "vorbis.h"

namespace vesko {

namespace {

// ---- bounds ----

constexpr size_t kBlockBytes = 64 * 1024;            // one read of box headers and tables
constexpr size_t kMaxDepth = 16;                     // containers entered one inside another
constexpr size_t kMaxTracks = 256;                   // "trak" boxes kept
constexpr size_t kMaxFragments = 262144;             // "moof" boxes kept
constexpr size_t kSmallBoxBytes = 256;               // bytes read of a header box (mvhd, tkhd, ...)
constexpr size_t kMaxSampleDescriptionBytes = 1 << 20;
constexpr uint32_t kDefaultTimeScale = 1000000;      // stands in for a time scale of 0

// ---- box types: four characters folded to lower case ----

constexpr uint32_t foldType(uint32_t type) {
    uint32_t folded = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        uint32_t c = (type >> shift) & 0xFF;
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
        folded |= c << shift;
    }
    return folded;
}

constexpr uint32_t boxType(const char* s) {
    return foldType(static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24 | static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16 |
                    static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8 | static_cast<uint32_t>(static_cast<uint8_t>(s[3])));
}

// ---- fields of bytes in memory: those beyond the end read as 0 ----

uint64_t fieldBE(Bytes b, size_t off, size_t width) {
    if (off > b.size() || b.size() - off < width) return 0;
    return readUIntBE(b.subspan(off), width);
}
uint8_t u8(Bytes b, size_t off) { return off < b.size() ? b[off] : 0; }
uint16_t u16(Bytes b, size_t off) { return static_cast<uint16_t>(fieldBE(b, off, 2)); }
uint32_t u24(Bytes b, size_t off) { return static_cast<uint32_t>(fieldBE(b, off, 3)); }
uint32_t u32(Bytes b, size_t off) { return static_cast<uint32_t>(fieldBE(b, off, 4)); }
uint64_t u64(Bytes b, size_t off) { return fieldBE(b, off, 8); }

uint32_t addSaturated(uint32_t a, uint64_t b) {
    const uint64_t sum = a + b;
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}
uint64_t addSaturated64(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }
uint64_t mulSaturated64(uint64_t a, uint64_t b) { return a != 0 && b > UINT64_MAX / a ? UINT64_MAX : a * b; }

std::string_view fieldText(const char* field, size_t width) { return std::string_view(field, slotLength(field, width)); }

void appendText(char* field, size_t width, std::string_view text) {
    std::string joined(fieldText(field, width));
    joined += text;
    copyText(field, width, joined);
}

// ---- sample description ----

// The size of an ES descriptor: 1 to 4 bytes of 7 bits, continued while
// the high bit is set.
uint32_t readDescriptorSize(Bytes p, size_t& pos) {
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = u8(p, pos++);
        size = size << 7 | (b & 0x7F);
        if (!(b & 0x80)) break;
    }
    return size;
}

// Reads up to kQuickTimeProbeBytes of the first sample and decodes it with
// the decoder of the format tag into the track's audio line. A table of one
// constant sample size counts tiny units (QuickTime counts sound in sample
// frames), so then the probe takes the whole window.
void probeFirstSample(QuickTimeTrack& track, FileReader* reader, uint16_t formatTag) {
    if (!reader) return;
    size_t length = kQuickTimeProbeBytes;
    if (!track.constantSampleSize && track.firstSampleSize < length) length = track.firstSampleSize;
    if (length == 0 || track.firstChunkOffset >= reader->size) return;
    std::vector<uint8_t> sample(length);
    const uint64_t position = reader->tell();
    reader->seek(static_cast<int64_t>(track.firstChunkOffset), 0);
    sample.resize(reader->read(sample.data(), length, false));
    reader->seek(static_cast<int64_t>(position), 0);
    probeAudioPayload(sample.data(), sample.size(), formatTag, track.audioLine, sizeof track.audioLine);
}

// MPEG-4 Visual decoder configuration: the visual object sequence and
// video object layer headers between `pos` and `end`.
void scanMpeg4VisualConfig(Bytes p, size_t pos, size_t end, QuickTimeTrack& track) {
    end = std::min(end, p.size());
    while (pos + 4 <= end && p[pos] != 0x06) {
        const uint32_t code = u32(p, pos);
        if (code == 0x00000120) {
            // random_accessible_vol (1), video_object_type_indication (8),
            // is_object_layer_identifier (1) and, when that is set,
            // video_object_layer_verid (4) and _priority (3) come before
            // aspect_ratio_info (4) and par_width, par_height (8 each).
            const std::string bits = bytesToBits(p.subspan(pos + 4, std::min<size_t>(5, end - (pos + 4))));
            const size_t at = bitsAt(bits, 9, 1) ? 17 : 10;
            const int aspect = static_cast<int>(bitsAt(bits, at, 4));
            if (aspect != 15)
                formatMpeg4Aspect(track.aspect, sizeof track.aspect, aspect);
            else
                copyText(track.aspect, sizeof track.aspect,
                         format("%d:%d", static_cast<int>(bitsAt(bits, at + 4, 8)), static_cast<int>(bitsAt(bits, at + 12, 8))));
            pos += 4;
        } else if (code == 0x000001B0) {
            if (pos + 4 < end) formatMpeg4ProfileLevel(track.profile, sizeof track.profile, p[pos + 4]);
            pos += 4;
        } else if (code == 0x000001B5) {
            pos += 4 + ((u8(p, pos + 5) & 0x40) ? 5 : 4);
        } else {
            ++pos;
        }
    }
}

void decodeAacConfig(Bytes p, size_t pos, size_t end, uint32_t maxBitRate, uint32_t avgBitRate, QuickTimeTrack& track) {
    end = std::min(end, p.size());
    size_t stop = pos;
    while (stop < end && p[stop] != 0x06) ++stop;
    if (stop == pos) return;
    AacInfo info{};
    decodeAudioSpecificConfig(p.data() + pos, stop - pos, info);
    info.bitRate = avgBitRate ? avgBitRate : maxBitRate ? maxBitRate : track.bitRate;
    if (info.objectType == 5) {
        if (!info.hasSbr && info.sampleRate == track.sampleRate * 2) appendText(info.profile, sizeof info.profile, "+(!SBR)");
        // Parametric stereo comes only with SBR: without it a mono
        // configuration is mono whatever the sample entry says (ISO files
        // always write 2 channels there).
        if (info.hasSbr && !info.hasPs && info.channels == 1 && track.channels == 2) {
            aacChannelConfig(info.channelConfig, sizeof info.channelConfig, info.channelOrder, sizeof info.channelOrder, info.channels,
                             2);
            appendText(info.profile, sizeof info.profile, "+(!PS)");
        }
    }
    copyText(track.audioLine, sizeof track.audioLine, describeAac(info));
}

// Vorbis in MP4: the three Vorbis headers in Xiph lacing (the number of
// packets less one, then the lengths of all but the last packet, each as
// bytes of 255 ended by a smaller one). The identification header is the
// first packet; where it does not stand behind the lacing, the first
// 0x01 "vorbis" of the descriptor is taken.
void decodeVorbisConfig(Bytes p, size_t start, size_t end, QuickTimeTrack& track) {
    end = std::min(end, p.size());
    if (start >= end) return;
    const Bytes config = p.subspan(start, end - start);
    size_t at = 1;
    for (unsigned packet = 0; packet < config[0] && at < config.size(); ++packet)
        while (at < config.size() && config[at++] == 255) {
        }
    if (!equalsAt(config, at, "\x01vorbis")) {
        at = config.size();
        for (size_t i = 0; i + 7 <= config.size(); ++i)
            if (equalsAt(config, i, "\x01vorbis")) {
                at = i;
                break;
            }
    }
    if (at >= config.size()) return;
    describeVorbis(track.audioLine, sizeof track.audioLine, parseVorbisIdentification(config.subspan(at)));
}

// The descriptors of an "esds" payload (after its box header).
void walkEsDescriptors(Bytes p, bool audio, QuickTimeTrack& track, FileReader* reader) {
    uint8_t objectType = 0;
    uint32_t maxBitRate = 0, avgBitRate = 0;
    size_t pos = 4;  // version and flags
    while (pos < p.size()) {
        const uint8_t tag = p[pos++];
        switch (tag) {
            case 3: {  // ES descriptor
                readDescriptorSize(p, pos);
                const uint8_t flags = u8(p, pos + 2);
                pos += 3;
                // The optional fields the flags announce: dependsOn_ES_ID,
                // a URL (length byte and text), OCR_ES_Id.
                if (flags & 0x80) pos += 2;
                if (flags & 0x40) pos += 1 + static_cast<size_t>(u8(p, pos));
                if (flags & 0x20) pos += 2;
                break;
            }
            case 4: {  // decoder configuration
                readDescriptorSize(p, pos);
                objectType = u8(p, pos);
                maxBitRate = u32(p, pos + 5);
                avgBitRate = u32(p, pos + 9);
                pos += 13;
                if (!audio) break;
                switch (objectType) {
                    case 0x69:
                    case 0x6B: probeFirstSample(track, reader, 0x0055); break;
                    case 0x20: case 0x40: case 0x66: case 0x67: case 0x68: case 0xDD: case 0xE1: break;
                    default: copyText(track.codec, sizeof track.codec, format("UnknownESConfigDescriptor(%02X)", objectType)); break;
                }
                break;
            }
            case 5: {  // decoder specific information
                const uint32_t size = readDescriptorSize(p, pos);
                const size_t start = pos;
                const size_t end = size > p.size() - std::min(start, p.size()) ? p.size() : start + size;
                if (!audio) {
                    if (objectType == 0x20) scanMpeg4VisualConfig(p, start, end, track);
                } else {
                    switch (objectType) {
                        case 0x20: break;
                        case 0x40: case 0x66: case 0x67: case 0x68:
                            decodeAacConfig(p, start, end, maxBitRate, avgBitRate, track);
                            break;
                        case 0xDD: decodeVorbisConfig(p, start, end, track); break;
                        case 0xE1: copyText(track.codec, sizeof track.codec, "QUALCOMM PureVoice"); break;
                        default:
                            copyText(track.codec, sizeof track.codec, format("UnknownESSpecificDescriptor(%02X)", objectType));
                            break;
                    }
                }
                pos = end;
                break;
            }
            case 6:  // SL configuration
                readDescriptorSize(p, pos);
                ++pos;
                break;
            default: break;
        }
    }
}

// The boxes after the sample entry's own fields: "esds" and "avcC".
void scanExtensions(Bytes stsd, size_t pos, bool audio, QuickTimeTrack& track, FileReader* reader) {
    const size_t size = stsd.size();
    while (size >= 8 && pos < size - 8) {
        const uint32_t declared = u32(stsd, pos);
        const uint32_t type = foldType(u32(stsd, pos + 4));
        if (type != boxType("esds") && type != boxType("avcC")) {
            ++pos;
            continue;
        }
        if (declared != 0 && declared < 8) break;
        // Size 0 runs to the end of the sample description.
        const size_t boxSize = declared == 0 || declared > size - pos ? size - pos : declared;
        const Bytes payload = stsd.subspan(pos + 8, boxSize - 8);
        if (type == boxType("esds")) {
            walkEsDescriptors(payload, audio, track, reader);
        } else {
            const size_t length = std::min<size_t>(u16(payload, 6), payload.size() > 8 ? payload.size() - 8 : 0);
            AvcVideoInfo avc{};
            if (length > 0 && parseAvcSps(payload.data() + 8, length, avc)) {
                track.width = static_cast<int32_t>(avc.width);
                track.height = static_cast<int32_t>(avc.height);
                track.bitDepth = avc.bitDepth;
                track.interlaced = avc.interlaced != 0;
                copyText(track.codec, sizeof track.codec, fieldText(avc.codec, sizeof avc.codec));
                copyText(track.profile, sizeof track.profile, fieldText(avc.profile, sizeof avc.profile));
                copyText(track.aspect, sizeof track.aspect, fieldText(avc.aspect, sizeof avc.aspect));
            }
        }
        if (declared == 0) break;
        pos += boxSize;
    }
}

}  // namespace

void decodeSampleDescription(Bytes stsd, bool audio, QuickTimeTrack& track, FileReader* reader) {
    char code[5] = {};
    for (size_t i = 0; i < 4; ++i) {
        char c = static_cast<char>(u8(stsd, 20 + i));
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
        code[i] = c;
    }
    const bool microsoft = code[0] == 'M' && code[1] == 'S';
    if (!microsoft)
        for (char& c : code)
            if (c == '\0') c = ' ';
    const std::string_view key(code, 4);

    if (!audio) {
        track.width = u16(stsd, 48);
        track.height = u16(stsd, 50);
        track.bitDepth = u16(stsd, 98);
        copyText(track.codec, sizeof track.codec, lookupTemplate(key, "QT-VIDEO", u"CODECS.INI", sizeof track.codec));
        uint64_t start = 102;
        if (static_cast<int16_t>(u16(stsd, 100)) > 0) start += u32(stsd, 102);
        if (start < stsd.size()) scanExtensions(stsd, static_cast<size_t>(start), false, track, reader);
        return;
    }

    const uint16_t version = u16(stsd, 32);
    if (version == 2) {
        // The version 2 sound description keeps 3, 16 and 65536 (1 Hz) in
        // the old fields and the real values further on: the rate as a
        // 64-bit float at 56, the channels at 64, the bits per channel at 72.
        track.channels = static_cast<uint16_t>(std::min<uint32_t>(u32(stsd, 64), UINT16_MAX));
        track.bitDepth = static_cast<uint16_t>(std::min<uint32_t>(u32(stsd, 72), UINT16_MAX));
        const double rate = stsd.size() >= 64 ? readFloatBE(stsd, 56, 8) : 0.0;
        track.sampleRate = rate > 0 && rate < 1.0e12 ? rate : 0.0;
    } else {
        track.channels = u16(stsd, 40);
        track.bitDepth = u16(stsd, 42);
        track.sampleRate = u16(stsd, 48) + u16(stsd, 50) / 65536.0;
    }
    track.compressionId = u16(stsd, 44);
    track.packetSize = u16(stsd, 46);
    if (microsoft) {
        const uint16_t formatTag = static_cast<uint16_t>(static_cast<uint8_t>(code[2]) << 8 | static_cast<uint8_t>(code[3]));
        copyText(track.codec, sizeof track.codec, audioCodecName(formatTag, sizeof track.codec));
        probeFirstSample(track, reader, formatTag);
    } else {
        copyText(track.codec, sizeof track.codec, lookupTemplate(key, "QT-AUDIO", u"CODECS.INI", sizeof track.codec));
        if (key == "AC-3") probeFirstSample(track, reader, 0x2000);
    }
    scanExtensions(stsd, 48, true, track, reader);
}

std::string describeQuickTimeVideo(const QuickTimeTrack& track, size_t outSize) {
    const bool profiled = slotLength(track.profile, sizeof track.profile) != 0;
    std::string line = lookupTemplate("VIDEO", profiled ? "AVC" : "QUICKTIME", u"FORMAT.INI", outSize);
    auto put = [&](const char* placeholder, std::string_view value) { replacePlaceholder(line, placeholder, value, outSize); };
    put("#width#", format("%d", track.width));
    put("#height#", format("%d", track.height));
    put("#bitdepth#", format("%d", track.bitDepth));
    put("#codec#", fieldText(track.codec, sizeof track.codec));
    put("#profile#", fieldText(track.profile, sizeof track.profile));
    put("#aspect#", fieldText(track.aspect, sizeof track.aspect));
    put("#interlace#", track.interlaced ? "Interlace" : "Progressive");
    put("#framerate#", format("%.2f", track.frameRate));
    put("#frame#", format("%u", track.sampleCount));
    put("#bitratek#", format("%.2f", track.bitRate * 0.001));
    put("#bitrate#", format("%.2f", track.bitRate));
    return line;
}

std::string describeQuickTimeAudio(const AudioStreamInfo& info, size_t outSize) {
    return describeAudioStream(info, "QUICKTIME", outSize);
}

namespace {

// ---- reading the file in blocks ----

// Serves the small reads of the walks (box headers, table entries, header
// boxes) from one block of the file, read again only when a read falls
// outside it.
class BlockReader {
public:
    explicit BlockReader(FileReader& file) : file_(file), block_(kBlockBytes) {}

    uint64_t size() const { return file_.size; }

    // Up to `count` bytes (at most kBlockBytes) at `offset`: fewer at the
    // end of the file, none at or past it. Valid until the next call.
    Bytes peek(uint64_t offset, size_t count) {
        if (offset >= file_.size || count == 0) return {};
        count = std::min(count, kBlockBytes);
        const uint64_t blockEnd = blockOffset_ + blockLength_;
        const bool inside = offset >= blockOffset_ && offset < blockEnd && (offset + count <= blockEnd || blockEnd >= file_.size);
        if (!inside) {
            file_.seek(static_cast<int64_t>(offset), 0);
            blockLength_ = file_.read(block_.data(), kBlockBytes, false);
            blockOffset_ = offset;
        }
        const size_t at = static_cast<size_t>(offset - blockOffset_);
        if (at >= blockLength_) return {};
        return Bytes(block_.data() + at, std::min(count, blockLength_ - at));
    }

    // The bytes from `offset` to the end of the block held, when at least
    // `minimum` of them (or the rest of the file) are held; else a block
    // read from `offset`.
    Bytes rest(uint64_t offset, size_t minimum) {
        const uint64_t blockEnd = blockOffset_ + blockLength_;
        if (offset >= blockOffset_ && offset < blockEnd && (blockEnd - offset >= minimum || blockEnd >= file_.size))
            return Bytes(block_.data() + (offset - blockOffset_), static_cast<size_t>(blockEnd - offset));
        return peek(offset, kBlockBytes);
    }

    // Up to `count` bytes at `offset`, copied (fewer at the end of the file).
    std::vector<uint8_t> copy(uint64_t offset, size_t count) {
        if (offset >= file_.size) return {};
        count = static_cast<size_t>(std::min<uint64_t>(count, file_.size - offset));
        if (count <= kBlockBytes) {
            const Bytes b = peek(offset, count);
            return std::vector<uint8_t>(b.begin(), b.end());
        }
        std::vector<uint8_t> out(count);
        file_.seek(static_cast<int64_t>(offset), 0);
        out.resize(file_.read(out.data(), count, false));
        return out;
    }

    // Calls fn(entry) for each of `count` entries of `width` bytes from
    // `offset`, read a block at a time; ends early at the end of the file.
    template <class Fn>
    void forEachEntry(uint64_t offset, uint64_t count, size_t width, Fn fn) {
        while (count > 0) {
            const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count, kBlockBytes / width));
            const Bytes b = peek(offset, wanted * width);
            const size_t got = b.size() / width;
            if (got == 0) return;
            for (size_t i = 0; i < got; ++i) fn(b.subspan(i * width, width));
            offset += got * width;
            count -= got;
        }
    }

private:
    FileReader& file_;
    std::vector<uint8_t> block_;
    uint64_t blockOffset_ = 0;
    size_t blockLength_ = 0;
};

// ---- box headers and walks ----

struct Box {
    uint64_t offset = 0;
    uint64_t size = 0;      // header included
    uint32_t header = 8;    // 16 with a 64-bit size
    uint32_t declared = 0;  // the 32-bit size field
    uint32_t type = 0;      // folded to lower case
    bool usable = false;    // the size can be used to enter or pass over the box

    uint64_t end() const { return offset + size; }
    uint64_t payload() const { return offset + header; }
};

// What a walk does with a box type: enter it, pass over it, read it (and
// then pass over it), or, for a type it does not know, move one byte on.
enum class Act { Unknown, Enter, Skip, Read };
using Classify = Act (*)(uint32_t type);

// A flat walk over [start, end): containers are entered by moving past
// their header, other boxes passed over by their size, unknown types
// stepped over one byte at a time. The ends of the containers entered are
// kept (at most kMaxDepth deep; a box deeper than that is passed over) so
// that a size of 0 runs to the end of the box's parent.
class BoxWalk {
public:
    BoxWalk(BlockReader& in, uint64_t start, uint64_t end) : in_(in), pos_(start), end_(end) {}

    // Peeks the header at the position. False when the walk is over: the
    // position has reached its end, or fewer than 8 bytes of the file are
    // left.
    bool next(Box& box) {
        while (depth_ > 0 && parents_[depth_ - 1] <= pos_) --depth_;
        if (pos_ >= end_) return false;
        const Bytes h = in_.peek(pos_, 16);
        if (h.size() < 8) return false;
        box = Box{};
        box.offset = pos_;
        box.declared = u32(h, 0);
        box.type = foldType(u32(h, 4));
        const uint64_t room = parentEnd() - pos_;
        if (box.declared == 1) {
            // A 64-bit size below its own header or past the parent's end
            // is not used.
            box.header = 16;
            const uint64_t large = h.size() >= 16 ? u64(h, 8) : 0;
            if (large >= 16 && large <= room) {
                box.size = large;
                box.usable = true;
            }
        } else if (box.declared == 0) {
            box.size = room;
            box.usable = room >= 8;
        } else if (box.declared >= 8) {
            box.size = box.declared;
            box.usable = true;
        }
        return true;
    }

    // Each move ends the walk for a box whose size cannot be used.
    void enter(const Box& box) {
        if (!box.usable) return stop();
        if (depth_ == kMaxDepth) return skip(box);
        parents_[depth_] = std::min(box.end(), parentEnd());
        ++depth_;
        pos_ = box.payload();
    }
    void skip(const Box& box) {
        if (!box.usable) return stop();
        pos_ = box.end();
    }
    void stop() { pos_ = end_; }

    // Enter, Skip and Unknown as the walk's table says.
    void move(Act act, const Box& box, Classify classify) {
        switch (act) {
            case Act::Enter: enter(box); break;
            case Act::Skip:
            case Act::Read: skip(box); break;
            case Act::Unknown: resync(classify); break;
        }
    }

    // Moves one byte on, and on over every position whose type the walk
    // does not know either: the same positions as stepping byte by byte,
    // compared in memory a block at a time.
    void resync(Classify classify) {
        ++pos_;
        while (pos_ < end_) {
            const Bytes b = in_.rest(pos_, 8);
            if (b.size() < 8) return;  // next() ends the walk
            const uint64_t last = std::min<uint64_t>(b.size() - 8, end_ - pos_ - 1);
            for (size_t i = 0; i <= last; ++i) {
                const uint32_t type = foldType(static_cast<uint32_t>(b[i + 4]) << 24 | static_cast<uint32_t>(b[i + 5]) << 16 |
                                               static_cast<uint32_t>(b[i + 6]) << 8 | b[i + 7]);
                if (classify(type) != Act::Unknown) {
                    pos_ += i;
                    return;
                }
            }
            pos_ += last + 1;
        }
    }

private:
    uint64_t parentEnd() const { return depth_ > 0 ? parents_[depth_ - 1] : end_; }

    BlockReader& in_;
    uint64_t pos_;
    uint64_t end_;
    std::array<uint64_t, kMaxDepth> parents_{};
    size_t depth_ = 0;
};

// ---- movie state ----

struct TrackEntry {
    uint64_t offset = 0;
    uint64_t size = 0;
    QuickTimeTrack track{};
    uint32_t mediaTimeScale = 0;             // "mdhd": the unit of fragment sample durations
    bool hasSampleDescription = false;
    std::vector<uint8_t> sampleDescription;  // the "stsd" box, decoded once the rates are known
};

struct TrackDefaults {  // "trex"
    uint32_t trackId = 0;
    uint32_t duration = 0;
    uint32_t size = 0;
};

struct Fragment {
    uint64_t offset = 0;
    uint64_t size = 0;
};

struct Movie {
    AnalysisRecord& record;
    FileReader& file;
    BlockReader in;

    std::string brand;  // major brand; empty without "ftyp"
    bool moovFound = false;
    uint64_t moovOffset = 0, moovSize = 0;
    bool mdatFound = false;
    uint64_t mdatOffset = 0, mdatSize = 0;
    uint32_t mdatHeader = 8;

    uint32_t timeScale = kDefaultTimeScale;
    uint64_t movieDuration = 0;
    bool compressed = false;

    std::vector<TrackEntry> tracks;
    std::vector<TrackDefaults> defaults;
    std::vector<Fragment> fragments;
    uint32_t subpCount = 0;
    uint32_t subsCount = 0;
    TagInfo tags{};

    // The first track named by a "tfhd" times the fragments.
    bool durationTrackSet = false;
    uint32_t durationTrackId = 0;
    uint64_t fragmentTicks = 0;

    Movie(AnalysisRecord& r, FileReader& f) : record(r), file(f), in(f) {}
};

// ---- top-level walk ----

Act topLevelAct(uint32_t type) {
    switch (type) {
        case boxType("free"): case boxType("wide"): case boxType("pnot"): case boxType("PICT"):
        case boxType("uuid"): case boxType("mfra"): case boxType("____"):
            return Act::Skip;
        case boxType("ftyp"): case boxType("moov"): case boxType("moof"): case boxType("mdat"):
            return Act::Read;
        default:
            return Act::Unknown;
    }
}

void walkTopLevel(Movie& m) {
    BoxWalk walk(m.in, 0, m.in.size());
    Box box;
    while (walk.next(box)) {
        const Act act = topLevelAct(box.type);
        if (act == Act::Read && box.usable) {
            switch (box.type) {
                case boxType("ftyp"):
                    if (box.size >= 12) {
                        const Bytes b = m.in.peek(box.offset + 8, 4);
                        if (b.size() == 4) m.brand.assign(reinterpret_cast<const char*>(b.data()), 4);
                    }
                    break;
                case boxType("moov"):
                    m.moovFound = true;
                    m.moovOffset = box.offset;
                    m.moovSize = box.size;
                    break;
                case boxType("moof"):
                    if (m.fragments.size() == kMaxFragments) return;
                    m.fragments.push_back({box.offset, box.size});
                    break;
                case boxType("mdat"):
                    // An empty "mdat" (size 8) changes nothing.
                    if (box.size != 8) {
                        m.mdatFound = true;
                        m.mdatOffset = box.offset;
                        m.mdatSize = box.size;
                        m.mdatHeader = box.header;
                    }
                    break;
                default: break;
            }
        }
        walk.move(act, box, topLevelAct);
    }
}

// ---- movie walk ----

void readMovieHeader(Movie& m, const Box& box) {
    const Bytes b = m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, kSmallBoxBytes)));
    // Version 1 keeps 64-bit creation and modification times and a 64-bit
    // duration.
    if (u8(b, 8) == 1) {
        m.timeScale = u32(b, 28);
        m.movieDuration = u64(b, 32);
    } else {
        m.timeScale = u32(b, 20);
        m.movieDuration = u32(b, 24);
    }
    if (m.timeScale == 0) m.timeScale = kDefaultTimeScale;
}

void readTrackDefaults(Movie& m, const Box& box) {
    if (m.defaults.size() == kMaxTracks) return;
    const Bytes b = m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 32)));
    TrackDefaults d;
    d.trackId = u32(b, 12);
    d.duration = u32(b, 20);
    d.size = u32(b, 24);
    m.defaults.push_back(d);
}

Act movieAct(uint32_t type) {
    switch (type) {
        case boxType("moov"): case boxType("udta"): case boxType("tseg"): case boxType("fulm"):
        case boxType("mvex"): case boxType("____"):
            return Act::Enter;
        case boxType("iods"): case boxType("ctab"): case boxType("drm "): case boxType("cprt"):
        case boxType("auth"): case boxType("titl"): case boxType("dscp"): case boxType("tags"):
        case boxType("ndrm"): case boxType("WLOC"): case boxType("@PRM"): case boxType("@PRQ"):
        case boxType("\xA9" "fmt"): case boxType("\xA9" "inf"): case boxType("free"):
        case boxType("OleS"): case boxType("FllA"): case boxType("fmif"): case boxType("fmsp"):
        case boxType("fmji"): case boxType("fmli"): case boxType("uuid"): case boxType("hnti"):
        case boxType("mehd"): case boxType("CNCV"): case boxType("\xA9" "REQ"):
        case boxType("\xA9" "ENC"): case boxType("hinv"): case boxType("Xtra"): case boxType("\xA9" "nam"):
        case boxType("AMBA"): case boxType("\xA9" "TIM"): case boxType("\xA9" "mod"):
        case boxType("\xA9" "swr"): case boxType("\xA9" "day"): case boxType("\xA9" "mak"):
        case boxType("albm"):
            return Act::Skip;
        case boxType("trex"): case boxType("cmov"): case boxType("mvhd"): case boxType("meta"):
        case boxType("chpl"): case boxType("trak"):
            return Act::Read;
        default:
            return Act::Unknown;
    }
}

void walkMovie(Movie& m) {
    BoxWalk walk(m.in, m.moovOffset, m.moovOffset + m.moovSize);
    Box box;
    while (walk.next(box)) {
        const Act act = movieAct(box.type);
        if (act == Act::Read) {
            switch (box.type) {
                case boxType("cmov"):
                    m.compressed = true;
                    return;
                case boxType("meta"):
                    m.tags.hasMetaData = 1;
                    break;
                case boxType("trex"):
                    if (box.usable) readTrackDefaults(m, box);
                    break;
                case boxType("mvhd"):
                    if (box.usable) readMovieHeader(m, box);
                    break;
                case boxType("chpl"):
                    if (box.usable) {
                        m.tags.hasChapterTrack = 1;
                        m.tags.chapterTrackCount = u8(m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 17))), 16);
                    }
                    break;
                case boxType("trak"):
                    if (box.usable) {
                        if (m.tracks.size() == kMaxTracks) return;
                        TrackEntry& t = m.tracks.emplace_back();
                        t.offset = box.offset;
                        t.size = box.size;
                    }
                    break;
                default: break;
            }
        }
        walk.move(act, box, movieAct);
    }
}

// ---- track walk ----

// The region of the "mdat" box after its header: the program stream of a
// track of handler "mpeg".
void scanMpegTrack(Movie& m) {
    uint64_t start = 0, end = 0;
    if (m.mdatFound) {
        start = m.mdatOffset + m.mdatHeader;
        end = std::max(start, m.mdatOffset + m.mdatSize);
    }
    scanMpeg1ProgramStream(m.file, m.record, start, end);
}

void readSampleSizes(Movie& m, const Box& box, QuickTimeTrack& t) {
    const Bytes b = m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 20)));
    const uint32_t constant = u32(b, 12);
    const uint32_t count = u32(b, 16);
    if (constant != 0) {
        // One size for every sample: the track holds count of them.
        t.sampleBytes = addSaturated64(t.sampleBytes, mulSaturated64(constant, count));
        t.firstSampleSize = constant;
        t.constantSampleSize = true;
        return;
    }
    const uint64_t entries = std::min<uint64_t>(count, box.size >= 20 ? (box.size - 20) / 4 : 0);
    bool first = true;
    m.in.forEachEntry(box.offset + 20, entries, 4, [&](Bytes e) {
        const uint32_t size = u32(e, 0);
        if (first) {
            t.firstSampleSize = size;
            t.constantSampleSize = false;
            first = false;
        }
        t.sampleBytes = addSaturated64(t.sampleBytes, size);
    });
}

void readTimeToSample(Movie& m, const Box& box, QuickTimeTrack& t) {
    const uint32_t count = u32(m.in.peek(box.offset, 16), 12);
    const uint64_t entries = std::min<uint64_t>(count, box.size >= 16 ? (box.size - 16) / 8 : 0);
    m.in.forEachEntry(box.offset + 16, entries, 8, [&](Bytes e) { t.sampleCount = addSaturated(t.sampleCount, u32(e, 0)); });
}

Act trackAct(uint32_t type) {
    switch (type) {
        case boxType("trak"): case boxType("mdia"): case boxType("minf"): case boxType("dinf"):
        case boxType("stbl"): case boxType("udta"): case boxType("meta"): case boxType("gmhd"):
        case boxType("____"):
            return Act::Enter;
        case boxType("alis"): case boxType("cslg"): case boxType("ctts"): case boxType("dref"):
        case boxType("edts"): case boxType("elst"): case boxType("free"): case boxType("gmin"):
        case boxType("hinf"): case boxType("hnti"): case boxType("ilst"): case boxType("iods"):
        case boxType("keys"): case boxType("load"): case boxType("mdat"): case boxType("mvex"):
        case boxType("name"): case boxType("nmhd"): case boxType("sbgp"): case boxType("sdtp"):
        case boxType("sgpd"): case boxType("smhd"): case boxType("stps"): case boxType("stss"):
        case boxType("stsc"): case boxType("tapt"): case boxType("text"): case boxType("tref"):
        case boxType("uuid"): case boxType("vmhd"): case boxType("\xA9" "SEP"):
            return Act::Skip;
        case boxType("mdhd"): case boxType("tkhd"): case boxType("hdlr"): case boxType("stts"):
        case boxType("stsz"): case boxType("stco"): case boxType("co64"): case boxType("stsd"):
        case boxType("subs"):
            return Act::Read;
        default:
            return Act::Unknown;
    }
}

void walkTrack(Movie& m, TrackEntry& entry) {
    QuickTimeTrack& t = entry.track;
    BoxWalk walk(m.in, entry.offset, entry.offset + entry.size);
    Box box;
    while (walk.next(box)) {
        const Act act = trackAct(box.type);
        if (act == Act::Read && box.type == boxType("subs")) ++m.subsCount;
        if (act == Act::Read && box.usable) {
            switch (box.type) {
                case boxType("mdhd"): {
                    // The media time scale (version 1: after 64-bit times).
                    const Bytes b = m.in.peek(box.offset, 32);
                    entry.mediaTimeScale = u8(b, 8) == 1 ? u32(b, 28) : u32(b, 20);
                    break;
                }
                case boxType("tkhd"): {
                    const Bytes b = m.in.peek(box.offset, 32);
                    t.trackId = u8(b, 8) == 1 ? u32(b, 28) : u32(b, 20);
                    break;
                }
                case boxType("hdlr"):
                    if (t.handler[0] == '\0') {
                        const Bytes b = m.in.peek(box.offset, 20);
                        for (size_t i = 0; i < 4; ++i) t.handler[i] = static_cast<char>(u8(b, 16 + i));
                        if (equalsAtNoCase(Bytes(reinterpret_cast<const uint8_t*>(t.handler), 4), 0, "mpeg")) scanMpegTrack(m);
                    }
                    break;
                case boxType("stts"): readTimeToSample(m, box, t); break;
                case boxType("stsz"): readSampleSizes(m, box, t); break;
                case boxType("stco"):
                    t.firstChunkOffset = u32(m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 20))), 16);
                    break;
                case boxType("co64"):
                    t.firstChunkOffset = u64(m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 24))), 16);
                    break;
                case boxType("stsd"):
                    entry.sampleDescription =
                        m.in.copy(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, kMaxSampleDescriptionBytes)));
                    entry.hasSampleDescription = true;
                    break;
                default: break;
            }
        }
        walk.move(act, box, trackAct);
    }
    if (entry.hasSampleDescription && equalsAtNoCase(Bytes(reinterpret_cast<const uint8_t*>(t.handler), 4), 0, "subp")) ++m.subpCount;
}

// ---- fragment walk ----

struct FragmentTrack {
    uint32_t trackId = 0;
    uint32_t defaultDuration = 0;
    uint32_t defaultSize = 0;
};

TrackEntry& trackById(Movie& m, uint32_t trackId) {
    for (auto& t : m.tracks)
        if (t.track.trackId == trackId) return t;
    return m.tracks.front();
}

FragmentTrack readFragmentHeader(Movie& m, const Box& box) {
    const Bytes b = m.in.peek(box.offset, static_cast<size_t>(std::min<uint64_t>(box.size, 40)));
    const uint32_t flags = u24(b, 9);
    FragmentTrack f;
    f.trackId = u32(b, 12);
    for (const auto& d : m.defaults) {
        if (d.trackId != f.trackId) continue;
        f.defaultDuration = d.duration;
        f.defaultSize = d.size;
        break;
    }
    // The optional fields follow the track identifier in this order.
    size_t at = 16;
    if (flags & 0x000001) at += 8;  // base data offset
    if (flags & 0x000002) at += 4;  // sample description index
    if (flags & 0x000008) {
        f.defaultDuration = u32(b, at);
        at += 4;
    }
    if (flags & 0x000010) f.defaultSize = u32(b, at);
    if (!m.durationTrackSet) {
        m.durationTrackSet = true;
        m.durationTrackId = f.trackId;
    }
    return f;
}

void readTrackRun(Movie& m, const Box& box, const FragmentTrack& f) {
    const Bytes b = m.in.peek(box.offset, 16);
    const uint32_t flags = u24(b, 9);
    const uint32_t count = u32(b, 12);
    uint64_t first = 16;
    if (flags & 0x000001) first += 4;  // data offset
    if (flags & 0x000004) first += 4;  // first sample flags
    const bool hasDuration = flags & 0x000100, hasSize = flags & 0x000200;
    const size_t width = 4 * ((hasDuration ? 1 : 0) + (hasSize ? 1 : 0) + ((flags & 0x000400) ? 1 : 0) + ((flags & 0x000800) ? 1 : 0));
    const bool timed = f.trackId == m.durationTrackId;
    QuickTimeTrack& t = trackById(m, f.trackId).track;

    if (width == 0) {
        // Every sample takes the defaults.
        t.sampleCount = addSaturated(t.sampleCount, count);
        t.sampleBytes = addSaturated64(t.sampleBytes, mulSaturated64(count, f.defaultSize));
        if (timed) m.fragmentTicks = addSaturated64(m.fragmentTicks, mulSaturated64(count, f.defaultDuration));
        return;
    }
    const uint64_t entries = std::min<uint64_t>(count, box.size > first ? (box.size - first) / width : 0);
    t.sampleCount = addSaturated(t.sampleCount, entries);
    m.in.forEachEntry(box.offset + first, entries, width, [&](Bytes e) {
        size_t at = 0;
        uint32_t duration = f.defaultDuration, size = f.defaultSize;
        if (hasDuration) {
            duration = u32(e, at);
            at += 4;
        }
        if (hasSize) size = u32(e, at);
        t.sampleBytes = addSaturated64(t.sampleBytes, size);
        if (timed) m.fragmentTicks = addSaturated64(m.fragmentTicks, duration);
    });
}

Act fragmentAct(uint32_t type) {
    switch (type) {
        case boxType("moof"): case boxType("traf"): case boxType("____"): return Act::Enter;
        case boxType("mfhd"): return Act::Skip;
        case boxType("tfhd"): case boxType("trun"): return Act::Read;
        default: return Act::Unknown;
    }
}

void walkFragment(Movie& m, const Fragment& fragment) {
    BoxWalk walk(m.in, fragment.offset, fragment.offset + fragment.size);
    FragmentTrack current;
    bool named = false;
    Box box;
    while (walk.next(box)) {
        const Act act = fragmentAct(box.type);
        if (act == Act::Read && box.usable) {
            if (box.type == boxType("tfhd")) {
                current = readFragmentHeader(m, box);
                named = true;
            } else if (named) {
                readTrackRun(m, box, current);
            }
        }
        walk.move(act, box, fragmentAct);
    }
}

// Seconds of the fragments: the duration track's sample durations in the
// time scale of its media.
double fragmentSeconds(Movie& m) {
    if (m.fragmentTicks == 0) return 0.0;
    const uint32_t scale = trackById(m, m.durationTrackId).mediaTimeScale;
    return static_cast<double>(m.fragmentTicks) / (scale ? scale : m.timeScale);
}

// ---- lines ----

void addLines(Movie& m, double seconds) {
    AnalysisRecord& r = m.record;
    if (!m.brand.empty()) addExtraText(r, lookupTemplate(m.brand, "QT-BRAND", u"CODECS.INI"));
    if (!m.fragments.empty()) addExtraText(r, format("MovieFragment(%zu)", m.fragments.size()));
    const std::string summary = formatTagSummary(m.tags);
    if (!summary.empty()) addExtraText(r, summary);
    r.duration = seconds;

    for (auto& entry : m.tracks) {
        const QuickTimeTrack& t = entry.track;
        const Bytes handler(reinterpret_cast<const uint8_t*>(t.handler), 4);
        if (equalsAtNoCase(handler, 0, "vide")) {
            addVideoText(r, describeQuickTimeVideo(t));
        } else if (equalsAtNoCase(handler, 0, "soun")) {
            if (t.audioLine[0] != '\0') {
                addAudioText(r, fieldText(t.audioLine, sizeof t.audioLine));
            } else {
                AudioStreamInfo info{};
                copyText(info.codec, sizeof info.codec, fieldText(t.codec, sizeof t.codec));
                info.sampleRate = t.sampleRate;
                info.bitDepth = t.bitDepth;
                info.channels = t.channels;
                info.bitRate = t.bitRate;
                addAudioText(r, describeQuickTimeAudio(info));
            }
        }
    }
    if (m.subpCount) addExtraText(r, format("SubTitle/subp(%u)", m.subpCount));
    if (m.subsCount) addExtraText(r, format("SubTitle/subs(%u)", m.subsCount));
}

}  // namespace

void analyzeQuickTime(AnalysisRecord& record) {
    FileReader file;
    if (!file.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(file.size);
    setFormatName(record, record.formatCode == VESKO_FMT_QUICKTIME ? "QuickTime" : "MPEG4");

    Movie m(record, file);
    walkTopLevel(m);
    if (!m.moovFound) {
        setErrorText(record, jp("[QuickTime] moovが見つかりません"));
        return;
    }
    walkMovie(m);
    if (m.compressed) {
        setErrorText(record, jp("[QuickTime] ヘッダ圧縮がかかっているので解析できません"));
        return;
    }
    if (m.tracks.empty()) {
        setErrorText(record, jp("[QuickTime] trakが1つもありません"));
        return;
    }
    for (auto& entry : m.tracks) walkTrack(m, entry);
    for (const auto& fragment : m.fragments) walkFragment(m, fragment);

    // The movie header's duration (a 64-bit count) and the fragments'.
    const double seconds = static_cast<double>(m.movieDuration) / m.timeScale + fragmentSeconds(m);
    for (auto& entry : m.tracks) {
        QuickTimeTrack& t = entry.track;
        if (seconds != 0) {
            t.bitRate = static_cast<double>(t.sampleBytes) * 8 / seconds;
            t.frameRate = t.sampleCount / seconds;
        }
        // Decoded now, so that an AAC configuration without bit rates can
        // fall back on the track's.
        if (!entry.hasSampleDescription) continue;
        const Bytes handler(reinterpret_cast<const uint8_t*>(t.handler), 4);
        const Bytes stsd(entry.sampleDescription);
        if (equalsAtNoCase(handler, 0, "vide"))
            decodeSampleDescription(stsd, false, t, &file);
        else if (equalsAtNoCase(handler, 0, "soun"))
            decodeSampleDescription(stsd, true, t, &file);
    }
    addLines(m, seconds);
}

}  // namespace vesko
