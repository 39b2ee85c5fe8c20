// RIFF files: the common entry (RIFF or FORM header, form type) and the
// branches for AVI (1.0 and OpenDML) and WAVE; the other forms and AIFF
// are in riff_forms.cpp.
//
// The walks read one chunk identifier at a time through a small cache of
// the file, act on it by a table of identifiers and, for an identifier they
// do not know, step one byte further on and read again: that is how they
// cross the pad byte after a chunk of odd size and unknown data. Sizes come
// from the file and are never trusted for more than moving the position:
// what is read is bounded by the chunk, the file and a fixed amount.
#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../analysers.h"
#include "../audio/tags.h"
#include "../checked.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "riff_forms.h"
#include "riff_streams.h"

namespace vesko {

namespace {

// ---- bounds of the walks ----

constexpr size_t kMaxSegments = 256;             // RIFF segments of an OpenDML file
constexpr size_t kMaxAudioStreams = 8;           // audio stream headers kept
constexpr size_t kMaxStreamNumbers = 100;        // "00" to "99" in data chunk names
constexpr size_t kProbeBytes = 4096;             // audio payload probed per chunk
constexpr uint64_t kAudioProbeLimit = 1024000;   // audio probing stops past this offset
constexpr size_t kVersionSearchBytes = 65536;    // video frame bytes searched for a version string
constexpr uint64_t kVersionSearchLimit = 16 * 1024000;  // ... and not past this offset
constexpr int kVersionSearchFrames = 3;          // unsuccessful frames searched
constexpr size_t kHeaderChunkBytes = 64;         // bytes read of avih, strh, strf, fmt

using namespace riff;

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

// The stream number of a data chunk name "NNxx" (two decimal digits); -1
// for any other name.
int streamNumberOf(const FourCC& id) { return isDigit(id[0]) && isDigit(id[1]) ? (id[0] - '0') * 10 + (id[1] - '0') : -1; }

// ---- AVI ----

enum class AviChunk {
    Skip,         // read the size and skip that many bytes
    ListType,     // a list's type: the walk goes on inside the list
    InfoItem,     // a RIFF INFO item: noted, then skipped
    Riff,         // the header of a further RIFF segment
    List,         // "LIST": its size is not used, its type comes next
    MainHeader,   // "avih"
    StreamHeader, // "strh"
    Movi,         // the type of the "movi" list
    IndexChunk,   // "ixNN": OpenDML standard index of a stream
    StreamData,   // "NNwb", "NNdc", "NNdb", "NNpc", "NNtx": data of stream NN
    Unknown,      // step one byte further on
};

AviChunk classifyAvi(const FourCC& id) {
    if (isAnyOf(id, {"JUNK", "strc", "strd", "strn", "idx1", "indx", "dmlh", "MTDA", "MENU", "GDAT", "IDIT",
                     "vprp", "JUNQ", "vedt", "IAS1", "00IV", "PARf", "ILNG", "vind", "AVIU", "____"}))
        return AviChunk::Skip;
    if (isAnyOf(id, {"hdrl", "strl", "odml", "rec ", "AVIX", "DXDT", "goog", "INFO", "PrmA"})) return AviChunk::ListType;
    if (isAnyOf(id, {"INAM", "ISBJ", "IART", "IPRD", "ICMT", "ICRD", "IGNR", "ICOP", "IENG", "ISRC", "ISFT"}))
        return AviChunk::InfoItem;
    if (is(id, "RIFF")) return AviChunk::Riff;
    if (is(id, "LIST")) return AviChunk::List;
    if (is(id, "avih")) return AviChunk::MainHeader;
    if (is(id, "strh")) return AviChunk::StreamHeader;
    if (is(id, "movi")) return AviChunk::Movi;
    if ((id[0] == 'i' || id[0] == 'I') && (id[1] == 'x' || id[1] == 'X') && isDigit(id[2]) && isDigit(id[3]))
        return AviChunk::IndexChunk;
    if (streamNumberOf(id) >= 0 &&
        (equalsAtNoCase(Bytes(id), 2, "wb") || equalsAtNoCase(Bytes(id), 2, "dc") || equalsAtNoCase(Bytes(id), 2, "db") ||
         equalsAtNoCase(Bytes(id), 2, "pc") || equalsAtNoCase(Bytes(id), 2, "tx")))
        return AviChunk::StreamData;
    return AviChunk::Unknown;
}

struct AviSegment {
    uint64_t offset = 0;  // of its "RIFF" identifier
    uint64_t length = 0;  // RIFF size + 8
};

struct AviAudioStream {
    WaveFormat format{};
    bool probed = false;
    int lineIndex = -1;  // its line in audioText, -1 when the list was full
};

class AviWalk {
public:
    explicit AviWalk(RiffContext& c) : c_(c) {
        segments_[0] = {c.headerOffset, c.riffLength};
        streamAudio_.fill(-1);
    }

    bool run();

private:
    void setLabel(const char* label) {
        label_ = label;
        setFormatName(c_.record, label);
    }

    // Reads a chunk of which only the first kHeaderChunkBytes matter and
    // moves past it. The bytes beyond what the chunk holds stay zero.
    std::vector<uint8_t> readHeaderChunk(uint32_t size) {
        std::vector<uint8_t> data(std::min<size_t>(size, kHeaderChunkBytes));
        const uint64_t start = c_.in.tell();
        data.resize(c_.in.peek(data.data(), data.size()));
        c_.in.seek(start);
        c_.in.skip(size);
        return data;
    }

    // The stream format chunk that follows a stream header: its header is
    // read without looking at the identifier.
    std::vector<uint8_t> readFormatChunk() {
        uint8_t header[8] = {};
        c_.in.read(header, sizeof header);
        return readHeaderChunk(readU32LE(Bytes(header), 4));
    }

    void onMainHeader();
    bool onStreamHeader();  // false: unknown stream type, the walk ends
    void onMovi();
    void onStreamData(int streamNumber, const FourCC& id);
    void onAudioData(int audioIndex, uint32_t size);
    void onVideoData(uint32_t size);
    bool nextSegment();
    void finish();

    bool versionPending() const { return divxPending_ || xvidPending_; }
    void stopVersionSearch() { divxPending_ = xvidPending_ = false; }
    bool everyAudioStreamProbed() const {
        for (const auto& a : audio_)
            if (!a.probed && isProbedFormatTag(a.format.formatTag)) return false;
        return true;
    }

    RiffContext& c_;
    std::string label_;
    std::array<AviSegment, kMaxSegments> segments_{};
    size_t segmentIndex_ = 0;
    uint64_t moviBytes_ = 0;
    bool inMovi_ = false;
    bool divxPending_ = false;
    bool xvidPending_ = false;
    int versionCountdown_ = kVersionSearchFrames;
    bool audioProbe_ = false;
    std::vector<AviAudioStream> audio_;
    double audioBitRate_ = 0;  // bits per second of every audio stream header
    bool hasAudio_ = false;
    VideoStreamInfo video_{};
    double videoDuration_ = 0;
    // Streams in the order of their headers: the number in "NNwb" / "NNdc".
    size_t streamCount_ = 0;
    std::array<int, kMaxStreamNumbers> streamAudio_{};  // index into audio_, -1 for none
    int videoStream_ = 0;  // the stream of the described video header
};

bool AviWalk::run() {
    setLabel("RIFF(AVI1.0)");
    ChunkReader& in = c_.in;
    while (in.tell() < in.size() && in.size() - in.tell() > 4) {
        FourCC id{};
        in.read(id.data(), 4);

        switch (classifyAvi(id)) {
            case AviChunk::Skip: in.skip(in.readU32()); break;
            case AviChunk::ListType:
                if (is(id, "DXDT")) setLabel("RIFF(DivXMedia)");
                if (is(id, "goog")) setLabel("RIFF(GoogleVideo)");
                if (is(id, "odml") && label_ != "RIFF(DV Type1)") setLabel("RIFF(AVI2.0)");
                break;
            case AviChunk::InfoItem:
                c_.tags.hasInfoTag = 1;
                in.skip(in.readU32());
                break;
            case AviChunk::Riff: {
                const uint64_t size = in.readU32();
                segments_[segmentIndex_] = {in.tell() - 8, size + 8};
                break;
            }
            case AviChunk::List: in.readU32(); break;
            case AviChunk::MainHeader: onMainHeader(); break;
            case AviChunk::StreamHeader:
                if (!onStreamHeader()) return false;
                break;
            case AviChunk::Movi: onMovi(); break;
            case AviChunk::IndexChunk: in.skip(in.readU32()); break;
            case AviChunk::StreamData: onStreamData(streamNumberOf(id), id); break;
            case AviChunk::Unknown: in.seek(in.tell() - 3); break;
        }

        if (audioProbe_ && in.tell() >= kAudioProbeLimit) audioProbe_ = false;
        if (versionPending() && in.tell() >= kVersionSearchLimit) stopVersionSearch();

        if (inMovi_ && !versionPending() && !audioProbe_) {
            // Nothing more to learn from this segment's stream data.
            if (label_ == "RIFF(AVI1.0)" || !nextSegment()) break;
        }
    }
    finish();
    return true;
}

void AviWalk::onMainHeader() {
    const auto data = readHeaderChunk(c_.in.readU32());
    const uint32_t microseconds = data.size() >= 4 ? readU32LE(Bytes(data), 0) : 0;
    video_.frameRate = microseconds ? 1000000.0 / microseconds : 0.0;
}

bool AviWalk::onStreamHeader() {
    const uint32_t strhSize = c_.in.readU32();
    const auto data = readHeaderChunk(strhSize);
    const AviStreamHeader h = parseAviStreamHeader(Bytes(data));
    const FourCC type{static_cast<uint8_t>(h.type[0]), static_cast<uint8_t>(h.type[1]), static_cast<uint8_t>(h.type[2]),
                      static_cast<uint8_t>(h.type[3])};
    const size_t number = streamCount_++;
    // length / (rate / scale); a rate or a scale of 0 is an arithmetic fault.
    auto streamDuration = [&] {
        return checkedDiv(static_cast<double>(h.length), checkedDiv(static_cast<double>(h.rate), static_cast<double>(h.scale)));
    };

    if (is(type, "vids")) {
        const auto format = readFormatChunk();
        const BitmapHeader bitmap = parseBitmapHeader(Bytes(format));
        const std::string key = aviVideoCodecKey(std::string_view(h.handler, 4), std::string_view(bitmap.compression, 4));
        const std::string codec = videoCodecName(key);
        copyText(video_.codec, sizeof video_.codec, codec);
        // The version search belongs to the stream this line describes.
        divxPending_ = startsWithNoCase(codec, "DivX 5");
        xvidPending_ = startsWithNoCase(codec, "XviD");
        versionCountdown_ = kVersionSearchFrames;
        videoStream_ = static_cast<int>(number);
        video_.width = bitmap.width;
        video_.height = bitmap.height;
        video_.bitDepth = bitmap.bitCount;
        video_.frameCount = static_cast<int32_t>(h.length);
        videoDuration_ = streamDuration();
        c_.record.duration = videoDuration_;
    } else if (is(type, "auds")) {
        const WaveFormat format = parseWaveFormat(Bytes(readFormatChunk()));
        const std::string codec = audioCodecName(format.formatTag, 128);
        if (isProbedFormatTag(format.formatTag)) audioProbe_ = true;
        AviAudioStream stream;
        stream.format = format;
        const int32_t before = c_.record.audioCount;
        addAudioText(c_.record, describeRiffAudio(audioStreamInfo(format, codec)));
        stream.lineIndex = c_.record.audioCount > before ? before : -1;
        if (audio_.size() < kMaxAudioStreams) {
            if (number < kMaxStreamNumbers) streamAudio_[number] = static_cast<int>(audio_.size());
            audio_.push_back(stream);
        }
        audioBitRate_ += static_cast<double>(format.averageBytesPerSecond) * 8.0;
        hasAudio_ = true;
    } else if (is(type, "iavs")) {
        // DV type 1: video and audio interleaved in one stream. Its format
        // chunk is not read; the walk steps over it.
        setLabel("RIFF(DV Type1)");
        copyText(video_.codec, sizeof video_.codec,
                 videoCodecName(fourccKey(Bytes(reinterpret_cast<const uint8_t*>(h.handler), 4))));
        stopVersionSearch();
        videoStream_ = static_cast<int>(number);
        video_.width = 720;
        video_.height = 480;
        video_.bitDepth = 0;
        video_.frameCount = static_cast<int32_t>(h.length);
        videoDuration_ = streamDuration();
        c_.record.duration = videoDuration_;
    } else if (is(type, "subs")) {
        uint8_t header[8] = {};
        c_.in.read(header, sizeof header);
        c_.in.skip(readU32LE(Bytes(header), 4));
    } else {
        setErrorText(c_.record, format(jp("[RIFF-AVI] strhの中に未確認のfccType(%s : %" PRIu32 "bytes)"),
                                       idText(type).c_str(), strhSize));
        return false;
    }
    return true;
}

void AviWalk::onMovi() {
    // The size of the "movi" list stands 8 bytes back, before its type;
    // it counts the 4 bytes of the type too.
    ChunkReader& in = c_.in;
    const uint64_t here = in.tell();
    in.seek(here - 8);
    moviBytes_ += in.readU32();
    in.seek(here);
    inMovi_ = true;
}

void AviWalk::onStreamData(int streamNumber, const FourCC& id) {
    ChunkReader& in = c_.in;
    const uint32_t size = in.readU32();
    const size_t n = static_cast<size_t>(streamNumber);

    if (equalsAtNoCase(Bytes(id), 2, "wb")) {
        if (streamAudio_[n] >= 0) {
            onAudioData(streamAudio_[n], size);
            return;
        }
    } else if ((equalsAtNoCase(Bytes(id), 2, "dc") || equalsAtNoCase(Bytes(id), 2, "db")) && streamNumber == videoStream_) {
        onVideoData(size);
        return;
    }
    // Data of a stream that is of no interest here.
    in.skip(size);
}

void AviWalk::onAudioData(int audioIndex, uint32_t size) {
    ChunkReader& in = c_.in;
    AviAudioStream& stream = audio_[static_cast<size_t>(audioIndex)];
    if (!stream.probed && audioProbe_ && size != 0) {
        std::vector<uint8_t> payload(std::min<size_t>(size, kProbeBytes));
        payload.resize(in.peek(payload.data(), payload.size()));
        std::string line;
        if (probeAudioPayload(Bytes(payload), stream.format.formatTag, line)) {
            stream.probed = true;
            if (stream.lineIndex >= 0) copyText(c_.record.audioText[stream.lineIndex], VESKO_LINE_BYTES, line);
        }
        if (everyAudioStreamProbed()) audioProbe_ = false;
    }
    in.skip(size);
}

void AviWalk::onVideoData(uint32_t size) {
    ChunkReader& in = c_.in;
    if (!versionPending() || size == 0) {
        in.skip(size);
        return;
    }
    const uint64_t start = in.tell();
    std::vector<uint8_t> frame(std::min<size_t>(size, kVersionSearchBytes));
    frame.resize(in.peek(frame.data(), frame.size()));
    in.seek(start);
    in.skip(size);

    bool found = false;
    if (divxPending_) {
        found = detectDivxVersion(video_.codec, sizeof video_.codec, frame.data(), frame.size());
        // A DivX string whose name says XviD: the XviD string tells the
        // version. Without one the DivX text stays.
        if (found && startsWithNoCase(video_.codec, "XviD")) {
            char xvid[sizeof video_.codec] = {};
            if (detectXvidVersion(xvid, sizeof xvid, frame.data(), frame.size()))
                copyText(video_.codec, sizeof video_.codec, xvid);
        }
    } else {
        found = detectXvidVersion(video_.codec, sizeof video_.codec, frame.data(), frame.size());
    }
    if (found || --versionCountdown_ <= 0) stopVersionSearch();
}

// OpenDML: the stream data of the next RIFF segment is of no interest
// either, so the walk jumps from segment to segment, recording each. False
// when there is no further segment: the walk ends.
bool AviWalk::nextSegment() {
    ChunkReader& in = c_.in;
    const AviSegment& current = segments_[segmentIndex_];
    const uint64_t end = current.offset + current.length;
    // Only forward: a segment length that points back would walk the
    // headers again and describe every stream twice.
    if (end <= in.tell() || end >= in.size() || segmentIndex_ + 1 >= kMaxSegments) return false;
    ++segmentIndex_;
    in.seek(end);
    uint8_t next[4] = {};
    if (in.peek(next, 4) != 4 || !equalsAtNoCase(Bytes(next), 0, "RIFF")) return false;
    inMovi_ = false;
    return true;
}

void AviWalk::finish() {
    if (videoDuration_ > 0) {
        video_.bitRate = static_cast<double>(moviBytes_) * 8.0 / videoDuration_;
        if (hasAudio_) video_.bitRate -= audioBitRate_;
        // Audio headers that declare more than the stream data holds (or
        // no "movi" list at all) would leave a negative video rate.
        if (video_.bitRate < 0) video_.bitRate = 0;
    }
    addVideoText(c_.record, describeRiffVideo(video_));
}

bool walkAvi(RiffContext& c) {
    AviWalk walk(c);
    return walk.run();
}

// ---- WAVE ----

enum class WaveChunk { Iidx, Bwf, Skip, Format, Data, List, Unknown };

WaveChunk classifyWave(const FourCC& id) {
    if (is(id, "2DX9") || equalsAtNoCase(Bytes(id), 0, "SD9")) return WaveChunk::Iidx;
    if (isAnyOf(id, {"bext", "iXML", "qlty", "mext", "levl", "link", "axml", "cont", "____"})) return WaveChunk::Bwf;
    if (isAnyOf(id, {"fact", "aux ", "cue ", "acid", "CDif", "strc", "iwep", "iwem", "smpl"})) return WaveChunk::Skip;
    if (is(id, "fmt ")) return WaveChunk::Format;
    if (is(id, "data")) return WaveChunk::Data;
    if (is(id, "LIST")) return WaveChunk::List;
    return WaveChunk::Unknown;
}

bool walkWave(RiffContext& c) {
    setFormatName(c.record, "RIFF(WAVE)");
    ChunkReader& in = c.in;
    WaveFormat header{};
    std::string codec;
    bool audioProbe = false;
    bool described = false;
    uint64_t dataSize = 0;

    while (in.tell() < in.size()) {
        FourCC id{};
        if (in.read(id.data(), 4) < 4 || in.tell() >= in.size()) break;

        switch (classifyWave(id)) {
            case WaveChunk::Iidx:
                setFormatName(c.record, "RIFF(WAVE-IIDX)");
                in.skip(in.readU32());
                break;
            case WaveChunk::Bwf:
                setFormatName(c.record, "RIFF(WAVE-BWF)");
                in.skip(in.readU32());
                break;
            case WaveChunk::Skip: in.skip(in.readU32()); break;
            case WaveChunk::Format: {
                const uint32_t size = in.readU32();
                uint8_t bytes[kWaveFormatBytes] = {};
                const size_t got = in.peek(bytes, std::min<size_t>(size, sizeof bytes));
                in.skip(size);
                header = parseWaveFormat(Bytes(bytes, got));
                codec = audioCodecName(header.formatTag);
                audioProbe = isProbedFormatTag(header.formatTag);
                break;
            }
            case WaveChunk::Data: {
                const uint32_t size = in.readU32();
                dataSize = size;
                if (audioProbe) {
                    std::vector<uint8_t> payload(std::min<size_t>(size, kProbeBytes));
                    payload.resize(in.peek(payload.data(), payload.size()));
                    std::string line;
                    if (probeAudioPayload(Bytes(payload), header.formatTag, line)) {
                        addAudioText(c.record, line);
                        described = true;
                    }
                    audioProbe = false;
                }
                in.skip(size);
                break;
            }
            case WaveChunk::List: {
                const uint32_t size = in.readU32();
                uint8_t type[4] = {};
                if (size >= 4 && in.peek(type, 4) == 4 && equalsAtNoCase(Bytes(type), 0, "INFO")) c.tags.hasInfoTag = 1;
                in.skip(size);
                break;
            }
            case WaveChunk::Unknown: in.seek(in.tell() - 3); break;
        }
    }

    // Data size over the byte rate; a rate of 0 (or no "fmt " chunk) is an
    // arithmetic fault.
    c.record.duration = checkedDiv(static_cast<double>(dataSize), static_cast<double>(header.averageBytesPerSecond));
    if (!described) addAudioText(c.record, describeRiffAudio(audioStreamInfo(header, codec)));
    return true;
}

// ---- forms ----

struct FormEntry {
    const char* form;
    FormBranch branch;
};

// The form types analysed; the branches of the other forms are in
// riff_forms.cpp.
constexpr FormEntry kForms[] = {
    {"AVI ", walkAvi},
    {"WAVE", walkWave},
    {"RMID", walkRmid},
    {"RMP3", walkRmp3},
    {"CDDA", walkCdda},
    {"CDXA", walkCdxa},
    {"AIFF", walkAiff},
    {"AIFC", walkAiff},
    {"QLCM", walkQcp},
};

}  // namespace

void analyzeRiff(AnalysisRecord& record) {
    FileReader file;
    if (!file.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(file.size);
    setFormatName(record, "RIFF");

    uint8_t head[4] = {};
    file.read(head, 4, false);
    file.rewind();
    if (equalsAt(Bytes(head), 0, "ID3")) file.skipLeadingId3v2();

    ChunkReader in(file);
    in.seek(file.tell());
    const uint64_t headerOffset = in.tell();
    uint8_t magic[4] = {};
    in.read(magic, 4);
    if (!equalsAtNoCase(Bytes(magic), 0, "RIFF") && !equalsAtNoCase(Bytes(magic), 0, "FORM")) {
        setErrorText(record, jp("[RIFF] RIFF/AIFFフォーマットではありません"));
        return;
    }
    const uint64_t riffSize = in.readU32();
    FourCC form{};
    in.read(form.data(), 4);

    TagInfo tags{};
    RiffContext context{record, file, in, tags, headerOffset, riffSize + 8, form};
    FormBranch branch = nullptr;
    for (const auto& entry : kForms)
        if (is(form, entry.form)) branch = entry.branch;
    if (!branch)
        setErrorText(record, format(jp("[RIFF] 非対応のフォーマット(%s)"), idText(form).c_str()));
    else if (!branch(context))
        return;

    const std::string summary = formatTagSummary(tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
