// Ogg: Vorbis, Speex, Theora, FLAC and OGM (video, audio, text) streams.
//
// The logical streams are found from their beginning-of-stream pages at the
// start of the file; each is described from its first packet. The play time
// comes from the last granule position of one stream, found among the pages
// of the file's last 1,024,000 bytes. Page sizes come from the file: a page
// whose header or body runs past the end of the file ends a walk, and every
// page moves the walk at least 27 bytes forward, so no walk can loop.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../analysers.h"
#include "../audio/tags.h"
#include "../audio/vorbis_comment.h"
#include "../checked.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"
#include "riff_streams.h"
#include "theora.h"
#include "vorbis.h"

namespace vesko {

namespace {

// ---- bounds ----

constexpr size_t kMaxStreams = 16;           // logical streams kept
constexpr size_t kMaxTailPages = 2048;       // page offsets noted in the tail
constexpr uint64_t kTailBytes = 1024000;     // the end search reads this much
constexpr size_t kHeaderPacketBytes = 8192;  // bytes of a header packet read
constexpr size_t kPageHeaderBytes = 27;      // fixed part of a page header
constexpr size_t kCodecTextBytes = 64;       // OGM video codec text and its NUL

constexpr uint64_t kNoGranule = UINT64_MAX;  // -1: no packet ends on the page

// ---- pages ----

struct OggPage {
    bool complete = false;  // the header and its lacing values were all read
    uint8_t version = 0;
    uint8_t headerType = 0;  // bit 0 continued packet, 1 first page, 2 last page
    uint64_t granule = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    uint32_t checksum = 0;  // not verified
    uint8_t segmentCount = 0;
    uint64_t offset = 0;
    uint64_t bodyOffset = 0;
    uint32_t bodySize = 0;
    uint64_t nextOffset = 0;
    std::array<uint8_t, 255> lacing{};
};

// The page header at the reader's position; the reader is left at the body.
// `complete` is false when the file ends inside the header.
OggPage readOggPage(FileReader& reader) {
    OggPage page;
    page.offset = reader.tell();
    uint8_t head[kPageHeaderBytes + 255] = {};
    const size_t got = reader.read(head, sizeof head, false);
    if (got < kPageHeaderBytes) return page;
    const Bytes b(head, got);
    page.version = head[4];
    page.headerType = head[5];
    page.granule = readU64LE(b, 6);
    page.serial = readU32LE(b, 14);
    page.sequence = readU32LE(b, 18);
    page.checksum = readU32LE(b, 22);
    page.segmentCount = head[26];
    if (got < kPageHeaderBytes + page.segmentCount) return page;
    std::memcpy(page.lacing.data(), head + kPageHeaderBytes, page.segmentCount);
    for (size_t i = 0; i < page.segmentCount; ++i) page.bodySize += page.lacing[i];
    page.bodyOffset = page.offset + kPageHeaderBytes + page.segmentCount;
    page.nextOffset = page.bodyOffset + page.bodySize;
    page.complete = true;
    reader.seek(static_cast<int64_t>(page.bodyOffset), 0);
    return page;
}

// Length of the page's first packet: its lacing values up to and including
// the first one below 255 (all of them when the packet goes on).
uint32_t firstPacketLength(const OggPage& page) {
    uint32_t length = 0;
    for (size_t i = 0; i < page.segmentCount; ++i) {
        length += page.lacing[i];
        if (page.lacing[i] < 255) break;
    }
    return length;
}

// ---- stream table ----

struct OggStream {
    uint32_t serial = 0;
    uint64_t headerOffset = 0;
    uint32_t headerSize = 0;
    bool hasData = false;
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint64_t firstGranule = 0;  // kept, not used
    bool endFound = false;
    uint64_t lastGranule = 0;  // 0 = not found
};

struct OggContext {
    AnalysisRecord& record;
    FileReader& reader;
    std::vector<OggStream> streams;  // at most kMaxStreams
    TagInfo tags{};
};

// Up to `count` bytes at `offset` (fewer at the end of the file).
std::vector<uint8_t> readAt(FileReader& reader, uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    reader.seek(static_cast<int64_t>(offset), 0);
    bytes.resize(reader.read(bytes.data(), count, false));
    return bytes;
}

bool dataPending(const OggContext& c) {
    return std::any_of(c.streams.begin(), c.streams.end(), [](const OggStream& s) { return !s.hasData; });
}

// From the start of the file: every beginning-of-stream page adds a stream;
// the pages after them give each stream its first data page and the comment
// header its tags.
void discoverStreams(OggContext& c) {
    FileReader& reader = c.reader;
    uint64_t offset = 0;
    while (offset < reader.size) {
        reader.seek(static_cast<int64_t>(offset), 0);
        const OggPage page = readOggPage(reader);
        if (!page.complete || page.nextOffset > reader.size) break;  // cut short by the end of the file
        offset = page.nextOffset;
        if (page.bodySize == 0) continue;

        if (page.headerType & 0x02) {
            if (c.streams.size() < kMaxStreams) {
                OggStream s;
                s.serial = page.serial;
                s.headerOffset = page.bodyOffset;
                s.headerSize = page.bodySize;
                s.firstGranule = page.granule;
                c.streams.push_back(s);
            }
            continue;
        }

        uint8_t head[15] = {};
        const size_t got = reader.read(head, sizeof head, false);
        if (equalsAtNoCase(Bytes(head, got), 11, "Xiph")) {
            // 0x03 "vorbis" (or 0x81 "theora") and a Xiph vendor text: the
            // comment header. Its data is read from this page only.
            const uint32_t length = firstPacketLength(page);
            if (length > 7) {
                const auto data = readAt(reader, page.bodyOffset + 7, length - 7);
                readVorbisComments(Bytes(data), c.tags);
            }
        } else {
            for (auto& s : c.streams) {
                if (s.serial != page.serial) continue;
                if (!s.hasData) {
                    s.hasData = true;
                    s.dataOffset = page.bodyOffset;
                    s.dataSize = page.bodySize;
                }
                break;
            }
        }
        if (!dataPending(c)) break;
    }
}

// The last granule position of each stream among the pages of the tail,
// taken from the last page backwards. Returns how many ends were found.
size_t findStreamEnds(OggContext& c) {
    FileReader& reader = c.reader;
    const uint64_t tailLength = std::min<uint64_t>(reader.size, kTailBytes);
    const auto tail = readAt(reader, reader.size - tailLength, static_cast<size_t>(tailLength));
    const Bytes t(tail);

    // The offsets of the last kMaxTailPages capture patterns, last first.
    std::vector<size_t> offsets;
    for (size_t i = t.size() >= 5 ? t.size() - 5 + 1 : 0; i-- > 0 && offsets.size() < kMaxTailPages;)
        if (equalsAt(t, i, "OggS")) offsets.push_back(i);

    size_t found = 0;
    for (size_t at : offsets) {
        if (found == c.streams.size()) break;
        if (t.size() - at < kPageHeaderBytes) continue;  // the file ends inside this header
        const uint64_t granule = readU64LE(t, at + 6);
        const uint32_t serial = readU32LE(t, at + 14);
        if (granule == 0 || granule == kNoGranule) continue;
        for (auto& s : c.streams) {
            if (s.serial != serial || s.endFound) continue;
            s.endFound = true;
            s.lastGranule = granule;
            ++found;
        }
    }
    return found;
}

// ---- little-endian fields of a header packet; bytes past its end read 0 ----

uint64_t fieldLE(Bytes packet, size_t offset, size_t width) {
    if (offset > packet.size() || packet.size() - offset < width) return 0;
    return readUIntLE(packet.subspan(offset), width);
}

// ---- OGM stream header ----

struct OgmHeader {
    char streamType[9];
    uint8_t subtype[4];
    uint32_t size;
    uint64_t timeUnit;  // 100-nanosecond units
    uint64_t samplesPerUnit;
    uint32_t defaultLength;
    uint32_t bufferSize;
    uint16_t bitsPerSample;
    int32_t width;   // video
    int32_t height;  // video
    uint16_t channels;       // audio
    uint16_t blockAlign;     // audio
    uint32_t averageBytesPerSecond;  // audio
};

OgmHeader parseOgmHeader(Bytes p) {
    OgmHeader h{};
    for (size_t i = 0; i < 8 && 1 + i < p.size(); ++i) h.streamType[i] = static_cast<char>(p[1 + i]);
    for (size_t i = 0; i < 4 && 9 + i < p.size(); ++i) h.subtype[i] = p[9 + i];
    h.size = static_cast<uint32_t>(fieldLE(p, 13, 4));
    h.timeUnit = fieldLE(p, 17, 8);
    h.samplesPerUnit = fieldLE(p, 25, 8);
    h.defaultLength = static_cast<uint32_t>(fieldLE(p, 33, 4));
    h.bufferSize = static_cast<uint32_t>(fieldLE(p, 37, 4));
    h.bitsPerSample = static_cast<uint16_t>(fieldLE(p, 41, 2));
    h.width = static_cast<int32_t>(fieldLE(p, 45, 4));
    h.height = static_cast<int32_t>(fieldLE(p, 49, 4));
    h.channels = static_cast<uint16_t>(fieldLE(p, 45, 2));
    h.blockAlign = static_cast<uint16_t>(fieldLE(p, 47, 2));
    h.averageBytesPerSecond = static_cast<uint32_t>(fieldLE(p, 49, 4));
    return h;
}

// The audio format tag written as hexadecimal text in the subtype ("0055").
uint16_t subtypeFormatTag(const OgmHeader& h) {
    uint32_t tag = 0;
    for (uint8_t ch : h.subtype) {
        int digit = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
        if (digit < 0) break;
        tag = tag * 16 + static_cast<uint32_t>(digit);
    }
    return static_cast<uint16_t>(tag);
}

std::string describeOggVideo(const VideoStreamInfo& info, int64_t frameCount) {
    std::string line = lookupTemplate("VIDEO", "OGG", u"FORMAT.INI");
    replacePlaceholder(line, "#width#", format("%d", info.width));
    replacePlaceholder(line, "#height#", format("%d", info.height));
    replacePlaceholder(line, "#bitdepth#", format("%d", info.bitDepth));
    replacePlaceholder(line, "#codec#", info.codec);
    replacePlaceholder(line, "#framerate#", format("%.2f", info.frameRate));
    replacePlaceholder(line, "#frame#", format("%" PRId64, frameCount));
    return line;
}

// ---- Speex header ----

struct SpeexHeader {
    char version[21];
    int32_t versionId;
    int32_t headerSize;
    int32_t sampleRate;
    int32_t mode;
    int32_t modeBitstreamVersion;
    int32_t channels;
    int32_t bitRate;  // -1 when the encoder does not know it
    int32_t frameSize;
    bool vbr;
    int32_t framesPerPacket;
    int32_t extraHeaders;
};

SpeexHeader parseSpeexHeader(Bytes p) {
    SpeexHeader h{};
    for (size_t i = 0; i < 20 && 8 + i < p.size(); ++i) h.version[i] = static_cast<char>(p[8 + i]);
    auto i32 = [&](size_t offset) { return static_cast<int32_t>(static_cast<uint32_t>(fieldLE(p, offset, 4))); };
    h.versionId = i32(28);
    h.headerSize = i32(32);
    h.sampleRate = i32(36);
    h.mode = i32(40);
    h.modeBitstreamVersion = i32(44);
    h.channels = i32(48);
    h.bitRate = i32(52);
    h.frameSize = i32(56);
    h.vbr = i32(60) != 0;
    h.framesPerPacket = i32(64);
    h.extraHeaders = i32(68);
    return h;
}

const char* speexModeText(int32_t mode) {
    switch (mode) {
        case 0: return "Narrow";
        case 1: return "Wide";
        case 2: return "Ultra-wide";
        default: return "";
    }
}

std::string describeSpeex(const SpeexHeader& h) {
    std::string line = lookupTemplate("SPEEX", "OGG", u"FORMAT.INI");
    // speexenc writes -1 (not known) for the bit rate; no rate is negative.
    const double bitRate = h.bitRate < 0 ? 0.0 : h.bitRate;
    replacePlaceholder(line, "#sampleratek#", format("%.2f", h.sampleRate * 0.001));
    replacePlaceholder(line, "#samplerate#", format("%d", h.sampleRate));
    replacePlaceholder(line, "#bitratek#", format("%.2f", bitRate * 0.001));
    replacePlaceholder(line, "#bitrate#", format("%.2f", bitRate));
    replacePlaceholder(line, "#bitratemode#", h.vbr ? "VBR" : "ABR");
    replacePlaceholder(line, "#channel#", format("%d", h.channels));
    replacePlaceholder(line, "#comptype#", speexModeText(h.mode));
    return line;
}

// ---- Theora ----

// The number of frames up to and including the one a granule position
// names. The position holds the last key frame's number above the granule
// shift and the frames since it below; streams of version 3.2.1 and later
// count frames from 1, earlier ones from 0.
uint64_t theoraFrameCount(const TheoraHeader& h, uint64_t granule) {
    const uint64_t keyFrame = granule >> h.granuleShift;
    const uint64_t sinceKeyFrame = granule & ((uint64_t{1} << h.granuleShift) - 1);
    const uint64_t index = keyFrame + sinceKeyFrame;
    const bool countsFromOne = (h.versionMajor << 16 | h.versionMinor << 8 | h.versionRevision) >= (3 << 16 | 2 << 8 | 1);
    return countsFromOne ? index : index + 1;
}

// ---- one stream ----

class StreamDescriber {
public:
    StreamDescriber(OggContext& c, const OggStream& s, bool timing) : c_(c), s_(s), timing_(timing) {}

    // Appends the stream's line; true for an OGM text stream.
    bool describe() {
        packetBytes_ = readAt(c_.reader, s_.headerOffset, std::min<size_t>(s_.headerSize, kHeaderPacketBytes));
        const Bytes p(packetBytes_);
        if (equalsAtNoCase(p, 1, "text")) return true;
        if (equalsAtNoCase(p, 1, "video")) ogmVideo(p);
        else if (equalsAtNoCase(p, 1, "vorbis")) vorbis(p);
        else if (equalsAtNoCase(p, 0, "Speex   ")) speex(p);
        else if (equalsAtNoCase(p, 1, "audio")) ogmAudio(p);
        else if (equalsAtNoCase(p, 1, "theora")) theora(p);
        // "fLaC" opens the first packet of the original FLAC mapping; since
        // FLAC 1.1.1 it is 0x7F "FLAC", version and header count, then "fLaC".
        else if (equalsAtNoCase(p, 0, "fLaC") || (p.size() > 0 && p[0] == 0x7F && equalsAtNoCase(p, 1, "FLAC")))
            addAudioText(c_.record, jp("[OGG] OggFlacは未対応です"));
        return false;
    }

private:
    // The stream's first data page (empty when it has none).
    std::vector<uint8_t> dataPage() {
        if (!s_.hasData) return {};
        return readAt(c_.reader, s_.dataOffset, s_.dataSize);
    }

    void setDuration(double seconds) {
        if (timing_) c_.record.duration = seconds;
    }

    void ogmVideo(Bytes p) {
        const OgmHeader h = parseOgmHeader(p);
        const double frameRate = checkedDiv(10000000.0, static_cast<double>(h.timeUnit));
        if (timing_) setDuration(checkedDiv(static_cast<double>(s_.lastGranule), frameRate));

        VideoStreamInfo info{};
        info.width = h.width;
        info.height = h.height;
        info.bitDepth = h.bitsPerSample;
        info.frameRate = frameRate;
        std::string subtype(reinterpret_cast<const char*>(h.subtype), 4);
        std::replace(subtype.begin(), subtype.end(), '\0', ' ');
        copyText(info.codec, kCodecTextBytes, videoCodecName(subtype, kCodecTextBytes));
        if (startsWithNoCase(info.codec, "DivX 5")) {
            const auto page = dataPage();
            detectDivxVersion(info.codec, kCodecTextBytes, page.data(), page.size());
            if (startsWithNoCase(info.codec, "XviD")) detectXvidVersion(info.codec, kCodecTextBytes, page.data(), page.size());
        } else if (startsWithNoCase(info.codec, "XviD")) {
            const auto page = dataPage();
            detectXvidVersion(info.codec, kCodecTextBytes, page.data(), page.size());
        }
        addVideoText(c_.record, describeOggVideo(info, static_cast<int64_t>(s_.lastGranule + 1)));
    }

    void vorbis(Bytes p) {
        const VorbisInfo info = parseVorbisIdentification(p);
        if (timing_) setDuration(checkedDiv(static_cast<double>(s_.lastGranule), info.sampleRate));
        addAudioText(c_.record, describeVorbis(info));
    }

    void speex(Bytes p) {
        const SpeexHeader h = parseSpeexHeader(p);
        if (timing_) setDuration(checkedDiv(static_cast<double>(s_.lastGranule), static_cast<double>(h.sampleRate)));
        addAudioText(c_.record, describeSpeex(h));
    }

    void ogmAudio(Bytes p) {
        const OgmHeader h = parseOgmHeader(p);
        const uint16_t tag = subtypeFormatTag(h);
        if (timing_) setDuration(checkedDiv(static_cast<double>(s_.lastGranule), static_cast<double>(h.samplesPerUnit)));
        const auto page = dataPage();
        std::string line;
        if (probeAudioPayload(Bytes(page), tag, line)) {
            addAudioText(c_.record, line);
            return;
        }
        AudioStreamInfo info{};
        copyText(info.codec, sizeof info.codec, audioCodecName(tag));
        info.sampleRate = static_cast<double>(h.samplesPerUnit);
        info.bitDepth = h.bitsPerSample;
        info.channels = h.channels;
        info.bitRate = static_cast<uint32_t>(h.averageBytesPerSecond * 8u);  // formed in 32 bits
        addAudioText(c_.record, describeRiffAudio(info));
    }

    void theora(Bytes p) {
        const TheoraHeader h = parseTheoraHeader(p);
        const uint64_t frames = theoraFrameCount(h, s_.lastGranule);
        if (timing_)
            setDuration(checkedDiv(static_cast<double>(frames) * h.frameRateDenominator, static_cast<double>(h.frameRateNumerator)));
        addVideoText(c_.record, describeTheora(h, static_cast<int64_t>(frames)));
    }

    OggContext& c_;
    const OggStream& s_;
    bool timing_;
    std::vector<uint8_t> packetBytes_;
};

}  // namespace

void analyzeOgg(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;
    setFormatName(record, "Ogg");

    OggContext c{record, reader, {}, {}};
    discoverStreams(c);
    if (c.streams.empty()) {
        setErrorText(record, jp("[OGG] ストリームが1つも見つかりません"));
        return;
    }
    if (findStreamEnds(c) == 0) {
        setErrorText(record, jp("[OGG] 末尾を検出できたストリームが1つもありません"));
        return;
    }

    const auto timing = std::find_if(c.streams.begin(), c.streams.end(), [](const OggStream& s) { return s.endFound; });
    int textStreams = 0;
    for (auto it = c.streams.begin(); it != c.streams.end(); ++it)
        if (StreamDescriber(c, *it, it == timing).describe()) ++textStreams;

    if (textStreams) addExtraText(record, format("Text(%d)", textStreams));
    const std::string summary = formatTagSummary(c.tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
