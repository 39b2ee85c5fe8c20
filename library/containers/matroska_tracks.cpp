// Matroska track descriptions: one line per TrackEntry by its CodecID.
//
// Each TrackEntry is read again for its CodecID, CodecPrivate and video or
// audio settings; the CodecID picks the decoder: the stream headers other
// containers share (bitmap and wave format headers, the AVC configuration,
// Vorbis, Theora, RealMedia, QuickTime sample descriptions) read from the
// CodecPrivate, or the elementary decoders (MPEG video and audio, AC-3,
// DTS, WavPack) run on the track's first frame. Subtitle tracks are only
// counted, for the summary line; an unknown CodecID gets an extra line.
#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "../audio/aac.h"
#include "../audio/ac3.h"
#include "../audio/dts.h"
#include "../audio/mpeg_audio.h"
#include "../audio/wavpack.h"
#include "../mpeg/video_headers.h"
#include "../record.h"
#include "matroska.h"
#include "quicktime.h"
#include "realmedia.h"
#include "riff_streams.h"
#include "theora.h"
#include "vorbis.h"

namespace vesko {

namespace {

constexpr size_t kLineBytes = kTemplateBytes;  // one description line and its NUL
constexpr size_t kCodecTextBytes = 128;        // codec names of the RIFF and RealMedia lines
constexpr size_t kQuickTimeViewHead = 20;      // bytes before the sample entry's four-character code
constexpr size_t kQuickTimeEntryBytes = 104;   // sample entry bytes the QuickTime decoder may read
constexpr size_t kAvcConfigHead = 8;           // avcC head and the first parameter set's length

// The settings of one TrackEntry that its line is built from.
struct TrackSettings {
    char codecId[kMatroskaCodecIdBytes] = {};
    std::vector<uint8_t> codecPrivate;
    MatroskaVideoInfo video{};
    MatroskaAudioInfo audio{};
};

// CodecID, CodecPrivate and the Video and Audio settings of a TrackEntry.
TrackSettings readTrackSettings(EbmlReader& reader, const MatroskaTrack& track) {
    TrackSettings s;
    reader.seek(track.entryPosition);
    const uint64_t end = track.entryPosition + track.entrySize;
    while (reader.tell() < end) {
        const uint32_t id = readEbmlId(reader);
        if (id == kEbmlNoId) break;
        const uint64_t size = readEbmlSize(reader);
        if (size == kEbmlNoSize) break;
        switch (id) {
            case kMkvVideo:
            case kMkvAudio:
                break;  // descend
            case kMkvCodecId: {
                // At most 31 characters; an EBML string may end early with NULs.
                const uint64_t start = reader.tell();
                std::memset(s.codecId, 0, sizeof s.codecId);
                reader.read(reinterpret_cast<uint8_t*>(s.codecId), static_cast<size_t>(std::min<uint64_t>(size, sizeof s.codecId - 1)));
                reader.seek(start);
                reader.skip(size);
                break;
            }
            case kMkvCodecPrivate: {
                // No more than the file holds, and at most the cap.
                const uint64_t start = reader.tell();
                const uint64_t available = reader.size() - std::min(start, reader.size());
                s.codecPrivate.assign(static_cast<size_t>(std::min({size, available, kMatroskaMaxPrivate})), 0);
                s.codecPrivate.resize(reader.read(s.codecPrivate.data(), s.codecPrivate.size()));
                reader.seek(start);
                reader.skip(size);
                break;
            }
            case kMkvPixelWidth:
                s.video.width = static_cast<uint32_t>(readEbmlUInt(reader, size));
                break;
            case kMkvPixelHeight:
                s.video.height = static_cast<uint32_t>(readEbmlUInt(reader, size));
                break;
            case kMkvFrameRate:
                s.video.frameRate = readEbmlFloat(reader, size);
                break;
            case kMkvDefaultDuration: {
                // Nanoseconds per frame; a duration of 0 gives no rate.
                const uint64_t nanoseconds = readEbmlUInt(reader, size);
                s.video.frameRate = nanoseconds ? 1e9 / static_cast<double>(nanoseconds) : 0.0;
                break;
            }
            case kMkvSamplingFrequency:
                s.audio.sampleRate = readEbmlFloat(reader, size);
                break;
            case kMkvChannels:
                s.audio.channels = static_cast<uint16_t>(readEbmlUInt(reader, size));
                break;
            case kMkvBitDepth:
                s.audio.bitDepth = static_cast<uint16_t>(readEbmlUInt(reader, size));
                break;
            default:
                reader.skip(size);
                break;
        }
    }
    return s;
}

bool codecIs(const char* codecId, std::string_view prefix) { return startsWithNoCase(codecId, prefix); }

// The first offset at or after `from` where `text` stands; -1 when none.
int64_t findText(Bytes bytes, size_t from, std::string_view text) {
    for (size_t i = from; i + text.size() <= bytes.size(); ++i)
        if (equalsAt(bytes, i, text)) return static_cast<int64_t>(i);
    return -1;
}

class TrackDescriber {
public:
    TrackDescriber(EbmlReader& reader, const MatroskaFileInfo& info, const MatroskaTrack& track, AnalysisRecord& record,
                   MatroskaSubtitleCounts& counts)
        : reader_(reader), info_(info), track_(track), record_(record), counts_(counts), s_(readTrackSettings(reader, track)) {}

    void describe() {
        char* id = s_.codecId;
        if (codecIs(id, "A_MS/ACM")) remapAcmCodecId();
        if (codecIs(id, "S_")) counts_.any = true;
        if (countSubtitle()) return;

        if (codecIs(id, "V_MS/VFW/FOURCC")) return vfwVideo();
        if (codecIs(id, "V_MPEG4/ISO/AVC")) return avcVideo();
        if (codecIs(id, "V_MPEG1")) return mpegVideo("MPEG1", false);
        if (codecIs(id, "V_MPEG2")) return mpegVideo("MPEG2", true);
        if (codecIs(id, "V_REAL/")) return realVideo();
        if (codecIs(id, "V_QUICKTIME")) return quickTime(false);
        if (codecIs(id, "V_THEORA")) return theoraVideo();
        if (codecIs(id, "V_VP8")) return matroskaVideo("On2 VP8");
        if (codecIs(id, "A_MS/ACM")) return acmAudio();
        if (codecIs(id, "A_PCM/")) return pcmAudio();
        if (codecIs(id, "A_MPC")) return matroskaAudio("MusePack");
        if (codecIs(id, "A_VORBIS")) return vorbisAudio();
        if (codecIs(id, "A_FLAC")) return matroskaAudio("FLAC");
        if (codecIs(id, "A_REAL/")) return realAudio();
        if (codecIs(id, "A_AAC/")) return aacByName();
        if (codecIs(id, "A_AAC")) return aacByConfig();
        if (codecIs(id, "A_QUICKTIME")) return quickTime(true);
        if (codecIs(id, "A_TTA1")) return matroskaAudio("TTA");
        if (codecIs(id, "A_WAVPACK4")) return wavPack();
        if (codecIs(id, "A_MPEG/")) return mpegAudio();
        if (codecIs(id, "A_AC3")) return ac3Audio();
        if (codecIs(id, "A_DTS")) return dtsAudio();
        if (codecIs(id, "A_TRUEHD")) return matroskaAudio("Dolby TrueHD");
        addExtraText(record_, format("Unknown CodecID %s", id));
    }

private:
    // ---- CodecID mapping ----

    // A WAVE format tag of a compressed stream the first frame can describe
    // turns A_MS/ACM into the CodecID of that stream.
    void remapAcmCodecId() {
        const WaveFormat wave = parseWaveFormat(Bytes(s_.codecPrivate));
        const char* replacement = nullptr;
        if (wave.formatTag == 0x2000) replacement = "A_AC3";
        else if (wave.formatTag == 0x2001 || wave.formatTag == 0x0008) replacement = "A_DTS";
        else if (wave.formatTag == 0x0055 || wave.formatTag == 0x0050) replacement = "A_MPEG/";
        if (replacement) std::memcpy(s_.codecId, replacement, std::strlen(replacement));
    }

    bool countSubtitle() {
        const char* id = s_.codecId;
        if (codecIs(id, "S_UTF8") || codecIs(id, "S_TEXT/UTF8")) ++counts_.utf8;
        else if (codecIs(id, "S_SSA") || codecIs(id, "S_TEXT/SSA")) ++counts_.ssa;
        else if (codecIs(id, "S_ASS") || codecIs(id, "S_TEXT/ASS")) ++counts_.ass;
        else if (codecIs(id, "S_USF") || codecIs(id, "S_TEXT/USF")) ++counts_.usf;
        else if (codecIs(id, "S_ASCII") || codecIs(id, "S_TEXT/ASCII")) ++counts_.ascii;
        else if (codecIs(id, "S_BMP") || codecIs(id, "S_IMAGE/BMP")) ++counts_.bmp;
        else if (codecIs(id, "S_VOBSUB")) ++counts_.vobsub;
        else return false;
        return true;
    }

    // ---- lines ----

    void video(const std::string& line) { addVideoText(record_, line); }
    void audio(const std::string& line) { addAudioText(record_, line); }

    void matroskaVideo(const char* codec) {
        MatroskaVideoInfo v = s_.video;
        copyText(v.codec, sizeof v.codec, codec);
        video(describeMatroskaVideo(v));
    }

    void matroskaAudio(std::string_view codec) {
        MatroskaAudioInfo a = s_.audio;
        copyText(a.codec, sizeof a.codec, codec);
        audio(describeMatroskaAudio(a));
    }

    std::vector<uint8_t> firstFrame(uint32_t* frames = nullptr) { return readFirstFrame(reader_, info_, track_, frames); }

    // ---- video ----

    void vfwVideo() {
        const BitmapHeader bitmap = parseBitmapHeader(Bytes(s_.codecPrivate));
        VideoStreamInfo v{};
        v.width = bitmap.width;
        v.height = bitmap.height;
        v.bitDepth = bitmap.bitCount;
        v.frameRate = s_.video.frameRate;
        const std::string key = fourccKey(Bytes(reinterpret_cast<const uint8_t*>(bitmap.compression), 4));
        copyText(v.codec, kCodecTextBytes, videoCodecName(key, kCodecTextBytes));
        // DivX 5 and XviD write their version as user data in the first
        // frame: the whole first block is searched.
        const bool divx = startsWithNoCase(v.codec, "DivX 5");
        if (divx || startsWithNoCase(v.codec, "XviD")) {
            const std::vector<uint8_t> block = wholeFirstBlock();
            if (divx) detectDivxVersion(v.codec, kCodecTextBytes, block.data(), block.size());
            else detectXvidVersion(v.codec, kCodecTextBytes, block.data(), block.size());
        }
        video(describeRiffVideo(v));
    }

    // The first block's data as stored, its header included.
    std::vector<uint8_t> wholeFirstBlock() {
        if (track_.trackNumber >= kMatroskaMaxTracks) return {};
        const MatroskaBlockPlace& place = info_.firstBlocks[static_cast<size_t>(track_.trackNumber)];
        if (place.position == 0) return {};
        std::vector<uint8_t> bytes(static_cast<size_t>(std::min(place.size, kMatroskaMaxFrame)));
        reader_.seek(place.position);
        bytes.resize(reader_.read(bytes.data(), bytes.size()));
        return bytes;
    }

    void avcVideo() {
        // The avcC record: a 6-byte head, the first parameter set's 16-bit
        // length, then that set.
        AvcVideoInfo v{};
        const auto& cp = s_.codecPrivate;
        if (cp.size() > kAvcConfigHead) parseAvcSps(cp.data() + kAvcConfigHead, cp.size() - kAvcConfigHead, v);
        v.frameRate = s_.video.frameRate;
        v.frameCount = 0;
        char line[kLineBytes] = {};
        describeAvcVideo(line, sizeof line, v);
        video(line);
    }

    void mpegVideo(const char* codec, bool mpeg2) {
        MpegVideoInfo v{};
        copyText(v.codec, sizeof v.codec, codec);
        // The first frame opens with the sequence header in practice; where
        // it does not, the header is searched for, in the frame and then in
        // the CodecPrivate (where muxers also keep it).
        std::vector<uint8_t> frame = firstFrame();
        int32_t at = findCode32(frame.data(), frame.size(), 0x000001B3);
        if (at < 0) {
            frame = s_.codecPrivate;
            at = findCode32(frame.data(), frame.size(), 0x000001B3);
        }
        if (at >= 0) {
            const Bytes bytes(frame);
            parseMpegSequenceHeader(v, bytes.subspan(static_cast<size_t>(at) + 4));
            if (mpeg2) {
                size_t from = static_cast<size_t>(at);
                while (from < frame.size()) {
                    const int32_t e = findCode32(frame.data() + from, frame.size() - from, 0x000001B5);
                    if (e < 0) break;
                    if (parseMpegSequenceExtension(v, bytes.subspan(from + static_cast<size_t>(e)))) break;
                    from += static_cast<size_t>(e) + 4;
                }
            }
        }
        char line[kLineBytes] = {};
        describeMpegVideo(line, sizeof line, v);
        video(line);
    }

    void realVideo() {
        RealVideoHeader header{};
        parseRealVideoHeader(Bytes(s_.codecPrivate), header);
        VideoStreamInfo v{};
        v.width = header.width;
        v.height = header.height;
        v.bitDepth = header.bitsPerPixel;
        v.frameRate = header.frameRate;
        copyText(v.codec, kCodecTextBytes, realVideoCodecName(std::string_view(header.fourcc, strnlen(header.fourcc, 4))));
        video(describeRealVideo(v));
    }

    // The QuickTime sample description, decoded from a view that places its
    // four-character code where an "stsd" box holds it (offset 20). The
    // CodecPrivate is the sample entry, with or without the entry's own
    // 32-bit size in front (muxers write both): when its first four bytes
    // give its own size, the code follows them.
    void quickTime(bool isAudio) {
        const auto& cp = s_.codecPrivate;
        const bool sized = cp.size() >= 8 && readU32BE(Bytes(cp), 0) == cp.size();
        const size_t head = sized ? kQuickTimeViewHead - 4 : kQuickTimeViewHead;
        std::vector<uint8_t> view(head, 0);
        view.insert(view.end(), cp.begin(), cp.end());
        if (view.size() < kQuickTimeViewHead + kQuickTimeEntryBytes) view.resize(kQuickTimeViewHead + kQuickTimeEntryBytes, 0);
        QuickTimeTrack qt{};
        decodeSampleDescription(Bytes(view), isAudio, qt, nullptr);
        if (!isAudio) {
            // A muxer may leave the entry's fields zero (ffmpeg writes only the
            // size and the code): the track's own settings stand in for them.
            // The frame rate is the track's, as a movie's sample count over
            // its duration is not known here.
            if (qt.width == 0 && qt.height == 0) {
                qt.width = static_cast<int32_t>(std::min<uint32_t>(s_.video.width, INT32_MAX));
                qt.height = static_cast<int32_t>(std::min<uint32_t>(s_.video.height, INT32_MAX));
            }
            qt.frameRate = s_.video.frameRate;
            video(describeQuickTimeVideo(qt));
            return;
        }
        if (qt.audioLine[0] != '\0') {
            audio(std::string(qt.audioLine, strnlen(qt.audioLine, sizeof qt.audioLine)));
            return;
        }
        AudioStreamInfo a{};
        copyText(a.codec, sizeof a.codec, std::string_view(qt.codec, strnlen(qt.codec, sizeof qt.codec)));
        a.sampleRate = qt.sampleRate;
        a.bitDepth = qt.bitDepth;
        a.channels = qt.channels;
        a.bitRate = qt.bitRate;
        audio(describeQuickTimeAudio(a));
    }

    void theoraVideo() {
        const TheoraHeader header = parseTheoraHeader(firstXiphPacket(Bytes(s_.codecPrivate)));
        video(describeTheora(header, 0));
    }

    // ---- audio ----

    void acmAudio() {
        const WaveFormat wave = parseWaveFormat(Bytes(s_.codecPrivate));
        audio(describeRiffAudio(audioStreamInfo(wave, audioCodecName(wave.formatTag, kCodecTextBytes))));
    }

    void pcmAudio() {
        const std::string_view id(s_.codecId);
        std::string codec = "PCM";
        if (id.size() >= 9 && startsWithNoCase(id.substr(9), "/BIG")) codec += "(BE)";
        else if (id.size() >= 9 && startsWithNoCase(id.substr(9), "/LIT")) codec += "(LE)";
        else if (id.size() >= 5 && startsWithNoCase(id.substr(5), "/FLOAT")) codec += "(Float)";
        matroskaAudio(codec);
    }

    void vorbisAudio() { audio(describeVorbis(parseVorbisIdentification(firstXiphPacket(Bytes(s_.codecPrivate))))); }

    void realAudio() {
        RealAudioHeader header{};
        parseRealAudioHeader(Bytes(s_.codecPrivate), header);
        AudioStreamInfo a{};
        copyText(a.codec, sizeof a.codec, realAudioCodecName(std::string_view(header.fourcc, strnlen(header.fourcc, 4))));
        a.sampleRate = header.sampleRate;
        a.bitDepth = header.bitsPerSample;
        a.channels = header.channels;
        // As for a stand-alone RealAudio file: the play time of the data at
        // the header's bytes per minute, and the rate over it. Without bytes
        // per minute there is no rate.
        if (header.dataSize != 0 && header.bytesPerMinute != 0) {
            const double seconds = static_cast<double>(header.dataSize) / header.bytesPerMinute * 60.0;
            if (seconds > 0) a.bitRate = header.dataSize / seconds * 8.0;
        }
        audio(describeRealAudio(a));
    }

    void aacByName() {
        // "A_AAC/MPEG4/LC/SBR" gives MPEG4-AAC(LC/SBR): the five characters
        // after "A_AAC/" and everything from the thirteenth on.
        const std::string_view id(s_.codecId);
        const std::string_view version = id.size() > 6 ? id.substr(6, 5) : std::string_view();
        const std::string_view profile = id.size() > 12 ? id.substr(12) : std::string_view();
        matroskaAudio(format("%.*s-AAC(%.*s)", static_cast<int>(version.size()), version.data(), static_cast<int>(profile.size()),
                             profile.data()));
    }

    void aacByConfig() {
        AacInfo a{};
        decodeAudioSpecificConfig(s_.codecPrivate.data(), s_.codecPrivate.size(), a);
        if (a.objectType == 5) {
            // Explicit SBR signalling without the flag: a core rate that is
            // not the track's rate is taken to be half of it. One channel in a
            // two-channel track is parametric stereo left unsignalled.
            if (!a.hasSbr && static_cast<double>(a.sampleRate) != s_.audio.sampleRate) {
                a.sampleRate *= 2;
                appendProfile(a, "+(!SBR)");
            }
            if (!a.hasPs && static_cast<int>(a.channels) == 1 && s_.audio.channels == 2) {
                aacChannelConfig(a.channelConfig, sizeof a.channelConfig, a.channelOrder, sizeof a.channelOrder, a.channels, 2);
                appendProfile(a, "+(!PS)");
            }
        }
        a.bitRate = estimateAacBitRate(a);
        audio(describeAac(a));
    }

    static void appendProfile(AacInfo& a, const char* text) {
        const std::string profile = std::string(a.profile, strnlen(a.profile, sizeof a.profile)) + text;
        copyText(a.profile, sizeof a.profile, profile);
    }

    // The bit rate from the frames of the track's first blocks: their
    // average size over the 1,024 samples of a frame at the core rate (half
    // the output rate with SBR). 0 when the track has no block.
    double estimateAacBitRate(const AacInfo& a) {
        const MatroskaFrameSample sample = sampleTrackFrames(reader_, info_, track_);
        if (sample.frames == 0) return 0.0;
        const double coreRate = a.hasSbr ? a.sampleRate / 2.0 : static_cast<double>(a.sampleRate);
        return static_cast<double>(sample.bytes) / static_cast<double>(sample.frames) * 8.0 * coreRate / 1024.0;
    }

    void wavPack() {
        const std::vector<uint8_t> frame = firstFrame();
        const Bytes f(frame);
        // A Matroska WavPack block keeps the sample count, flags and CRC of
        // the block header, then the metadata with the stored RIFF header.
        const bool hybrid = f.size() >= 8 && (readU32LE(f, 4) & kWavPackHybrid) != 0;
        const int64_t riff = findText(f, 8, "RIFF");
        if (riff < 0) {
            matroskaAudio("Wavpack4");
            return;
        }
        WavPackInfo w{};
        const bool withCorrection = hybrid && correctionFileExists(info_.correctionFileName);
        copyText(w.version, sizeof w.version, withCorrection ? "4(Hybrid)" : "4");
        w.hybrid = hybrid ? 1 : 0;
        // The WAVE format follows "RIFF", its size, "WAVE", "fmt " and the
        // chunk's size.
        const size_t formatAt = static_cast<size_t>(riff) + 20;
        const WaveFormat wave = parseWaveFormat(formatAt < f.size() ? f.subspan(formatAt) : Bytes());
        w.waveFormat = {wave.formatTag, wave.channels, wave.samplesPerSecond, wave.averageBytesPerSecond, wave.blockAlign, wave.bitsPerSample};
        copyText(w.codec, sizeof w.codec, audioCodecName(wave.formatTag));
        w.bitRate = static_cast<double>(wave.averageBytesPerSecond) * 8.0;
        audio(describeWavPack(w));
    }

    void mpegAudio() {
        const std::vector<uint8_t> frame = firstFrame();
        const Bytes f(frame);
        for (int32_t i = findMpegAudioSync(f, 0); i >= 0; i = findMpegAudioSync(f, static_cast<size_t>(i) + 1)) {
            MpegAudioInfo m{};
            if (parseVbrHeader(m, f.subspan(static_cast<size_t>(i)))) {
                audio(describeMpegAudio(m));
                return;
            }
        }
        matroskaAudio("MPEG-Audio");
    }

    void ac3Audio() {
        const std::vector<uint8_t> frame = firstFrame();
        for (int32_t i = findAc3Sync(frame.data(), frame.size(), 0); i >= 0;
             i = findAc3Sync(frame.data(), frame.size(), static_cast<size_t>(i) + 1)) {
            Ac3Info a{};
            copyText(a.codec, sizeof a.codec, "Dolby AC-3");
            if (decodeAc3Header(a, frame.data() + i, frame.size() - static_cast<size_t>(i))) {
                audio(describeAc3(a));
                return;
            }
        }
        matroskaAudio("Dolby AC-3");
    }

    void dtsAudio() {
        const std::vector<uint8_t> frame = firstFrame();
        for (int32_t i = findDtsSync(frame.data(), frame.size(), 0); i >= 0;
             i = findDtsSync(frame.data(), frame.size(), static_cast<size_t>(i) + 1)) {
            DtsInfo d{};
            if (decodeDtsHeader(d, frame.data() + i, frame.size() - static_cast<size_t>(i))) {
                audio(describeDts(d));
                return;
            }
        }
        matroskaAudio("DTS");
    }

    EbmlReader& reader_;
    const MatroskaFileInfo& info_;
    const MatroskaTrack& track_;
    AnalysisRecord& record_;
    MatroskaSubtitleCounts& counts_;
    TrackSettings s_;
};

}  // namespace

Bytes firstXiphPacket(Bytes codecPrivate) {
    // The count byte (packets - 1), then the laced sizes of every packet but
    // the last: a size is a run of 255s and the byte that ends it.
    if (codecPrivate.empty() || codecPrivate[0] == 0) return codecPrivate.subspan(codecPrivate.empty() ? 0 : 1);
    const unsigned laced = codecPrivate[0];
    size_t at = 1;
    uint64_t first = 0;
    for (unsigned packet = 0; packet < laced; ++packet) {
        uint64_t size = 0;
        for (;;) {
            if (at >= codecPrivate.size()) return {};
            const uint8_t value = codecPrivate[at++];
            size += value;
            if (value != 255) break;
        }
        if (packet == 0) first = size;
    }
    if (at > codecPrivate.size()) return {};
    const Bytes packets = codecPrivate.subspan(at);
    return packets.first(static_cast<size_t>(std::min<uint64_t>(first, packets.size())));
}

std::vector<uint8_t> readFirstFrame(EbmlReader& reader, const MatroskaFileInfo& info, const MatroskaTrack& track, uint32_t* frames) {
    if (frames) *frames = 0;
    if (track.trackNumber >= kMatroskaMaxTracks) return {};
    const MatroskaBlockPlace& place = info.firstBlocks[static_cast<size_t>(track.trackNumber)];
    if (place.position == 0) return {};
    reader.seek(place.position);
    const MatroskaBlockHeader header = readBlockHeader(reader, place.size);
    // The block has to hold something after its header.
    if (!header.complete || place.size <= header.length) return {};

    const bool stripped = track.compressed && track.compressionAlgorithm == 3;
    const std::vector<uint8_t> empty;
    const std::vector<uint8_t>& prefix = stripped ? track.compressionSettings : empty;
    const size_t dataBytes = static_cast<size_t>(std::min(place.size - header.length, kMatroskaMaxFrame));
    std::vector<uint8_t> frame(prefix.size() + dataBytes);
    std::copy(prefix.begin(), prefix.end(), frame.begin());
    reader.seek(place.position + header.length);
    frame.resize(prefix.size() + reader.read(frame.data() + prefix.size(), dataBytes));
    if (frames) *frames = header.frames;
    return frame;
}

std::string describeMatroskaVideo(const MatroskaVideoInfo& info, size_t outSize) {
    std::string line = lookupTemplate("VIDEO", "MATROSKA", u"FORMAT.INI", outSize);
    auto put = [&](std::string_view name, const std::string& value) { replacePlaceholder(line, name, value, outSize); };
    put("#width#", format("%" PRIu32, info.width));
    put("#height#", format("%" PRIu32, info.height));
    put("#bitdepth#", format("%d", info.bitDepth));
    put("#codec#", std::string(info.codec, strnlen(info.codec, sizeof info.codec)));
    put("#framerate#", format("%.2f", info.frameRate));
    return line;
}

std::string describeMatroskaAudio(const MatroskaAudioInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "MATROSKA", u"FORMAT.INI", outSize);
    auto put = [&](std::string_view name, const std::string& value) { replacePlaceholder(line, name, value, outSize); };
    put("#codec#", std::string(info.codec, strnlen(info.codec, sizeof info.codec)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    // A rate beyond what an integer holds (a damaged float) shows as 0.
    const bool fits = info.sampleRate >= 0 && info.sampleRate < 2147483648.0;
    put("#samplerate#", format("%d", fits ? static_cast<int>(info.sampleRate) : 0));
    put("#bitdepth#", format("%d", info.bitDepth));
    put("#channel#", format("%d", info.channels));
    return line;
}

void describeMatroskaTracks(EbmlReader& reader, const MatroskaFileInfo& info, AnalysisRecord& record) {
    MatroskaSubtitleCounts counts;
    for (const auto& track : info.tracks) TrackDescriber(reader, info, track, record, counts).describe();
    if (counts.any || info.chapterCount != 0) {
        // Nothing to say (only subtitles of kinds not counted, which have
        // their own "Unknown CodecID" line) gives no empty line.
        const std::string summary = formatMatroskaSummary(info.chapterCount, counts);
        if (!summary.empty()) addExtraText(record, summary);
    }
}

}  // namespace vesko
