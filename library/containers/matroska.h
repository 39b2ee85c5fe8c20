// Matroska and WebM: the EBML reader, the state the three walks over the
// element tree collect (matroska.cpp) and the track descriptions built from
// it (matroska_tracks.cpp).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../io.h"
#include "../templates.h"
#include "../window_reader.h"
#include "vesko.h"

namespace vesko {

// ---- EBML element IDs (length marker bits kept) ----

inline constexpr uint32_t kEbmlHeaderId = 0x1A45DFA3;
inline constexpr uint32_t kMkvSegment = 0x18538067;
inline constexpr uint32_t kMkvInfo = 0x1549A966;
inline constexpr uint32_t kMkvTimecodeScale = 0x2AD7B1;
inline constexpr uint32_t kMkvDuration = 0x4489;
inline constexpr uint32_t kMkvTracks = 0x1654AE6B;
inline constexpr uint32_t kMkvTrackEntry = 0xAE;
inline constexpr uint32_t kMkvTrackNumber = 0xD7;
inline constexpr uint32_t kMkvTrackType = 0x83;
inline constexpr uint32_t kMkvContentEncodings = 0x6D80;
inline constexpr uint32_t kMkvContentEncoding = 0x6240;
inline constexpr uint32_t kMkvContentEncodingType = 0x5033;
inline constexpr uint32_t kMkvContentCompression = 0x5034;
inline constexpr uint32_t kMkvContentCompAlgo = 0x4254;
inline constexpr uint32_t kMkvContentCompSettings = 0x4255;
inline constexpr uint32_t kMkvChapters = 0x1043A770;
inline constexpr uint32_t kMkvEditionEntry = 0x45B9;
inline constexpr uint32_t kMkvChapterAtom = 0xB6;
inline constexpr uint32_t kMkvChapterFlagHidden = 0x98;
inline constexpr uint32_t kMkvCluster = 0x1F43B675;
inline constexpr uint32_t kMkvBlockGroup = 0xA0;
inline constexpr uint32_t kMkvBlock = 0xA1;
inline constexpr uint32_t kMkvSimpleBlock = 0xA3;
inline constexpr uint32_t kMkvCues = 0x1C53BB6B;
inline constexpr uint32_t kMkvVideo = 0xE0;
inline constexpr uint32_t kMkvAudio = 0xE1;
inline constexpr uint32_t kMkvCodecId = 0x86;
inline constexpr uint32_t kMkvCodecPrivate = 0x63A2;
inline constexpr uint32_t kMkvPixelWidth = 0xB0;
inline constexpr uint32_t kMkvPixelHeight = 0xBA;
inline constexpr uint32_t kMkvFrameRate = 0x2383E3;
inline constexpr uint32_t kMkvDefaultDuration = 0x23E383;
inline constexpr uint32_t kMkvSamplingFrequency = 0xB5;
inline constexpr uint32_t kMkvChannels = 0x9F;
inline constexpr uint32_t kMkvBitDepth = 0x6264;

// readEbmlId's answer when no ID could be read: a first byte of 00 (no
// length marker in it) or the end of the file.
inline constexpr uint32_t kEbmlNoId = 0;
// readEbmlId's answer for an ID of 5 to 8 bytes: no element of the walks
// has one, so it is passed over like any unknown element.
inline constexpr uint32_t kEbmlLongId = 0xFFFFFFFF;
// readEbmlSize's answer when no size could be read (first byte 00, or the
// end of the file). The all-ones "unknown" size of EBML is a real value
// (2^56 - 1 at most), so this one cannot be confused with it.
inline constexpr uint64_t kEbmlNoSize = UINT64_MAX;

// ---- bounds ----

inline constexpr size_t kMatroskaMaxTracks = 30;          // TrackEntries kept, and first blocks by track number
inline constexpr size_t kMatroskaCodecIdBytes = 32;        // CodecID text and its NUL
inline constexpr uint64_t kMatroskaMaxSettings = 65536;    // ContentCompSettings kept (larger ones are dropped)
inline constexpr uint64_t kMatroskaMaxPrivate = 1 << 20;   // CodecPrivate read
inline constexpr uint64_t kMatroskaMaxFrame = 1 << 19;     // first-frame bytes read

// A positioned reader over a FileReader for the walks: element headers and
// small elements come from a 4 KiB window, so a run of short headers costs
// one read of the file, not one per byte. Larger reads go to the file.
class EbmlReader {
public:
    explicit EbmlReader(FileReader& file) : file_(file), window_(file) {}
    EbmlReader(const EbmlReader&) = delete;
    EbmlReader& operator=(const EbmlReader&) = delete;

    FileReader& file() { return file_; }
    uint64_t size() const { return file_.size; }
    uint64_t tell() const { return position_; }
    void seek(uint64_t position) { position_ = position; }
    // Moves on by `count` bytes, at most to the end of the file.
    void skip(uint64_t count);
    bool atEnd() const { return position_ >= file_.size; }

    // Up to `count` bytes at the position into `out`; moves on by the bytes
    // read and returns how many the file held.
    size_t read(uint8_t* out, size_t count);
    // One byte; false (and `value` 0) at the end of the file.
    bool readByte(uint8_t& value);

private:
    static constexpr size_t kWindowBytes = 4096;
    FileReader& file_;
    WindowReader<kWindowBytes> window_;
    uint64_t position_ = 0;
};

// One EBML number at the reader's position; the reader moves past it.
// Element IDs keep their length marker (the Segment is 0x18538067); sizes
// drop it. kEbmlNoId / kEbmlNoSize when there is none (a first byte of 00,
// or the end of the file).
uint32_t readEbmlId(EbmlReader& reader);
uint64_t readEbmlSize(EbmlReader& reader);
// The data of an unsigned integer or float element of `size` bytes at the
// position; the reader moves past the whole element data. More than 8
// bytes: the first 8 are read and the rest passed over. A float is read as
// 4 or 8 bytes (other widths give 0).
uint64_t readEbmlUInt(EbmlReader& reader, uint64_t size);
double readEbmlFloat(EbmlReader& reader, uint64_t size);

// ---- the state of the walks ----

struct MatroskaTrack {
    uint64_t trackNumber = 0;    // kept whole: a huge number must not alias a small one
    uint64_t entryPosition = 0;  // file position of the TrackEntry's data
    uint64_t entrySize = 0;      // its data size, cut at the end of the file
    uint64_t trackType = 0;      // 1 video, 2 audio, 3 complex, 0x11 subtitle, ...; 0 when absent
    uint8_t compressed = 0;      // a ContentEncodings, ContentEncoding or ContentCompression was met
    uint64_t encodingType = 0;
    uint64_t compressionAlgorithm = 0;              // 3 = header stripping
    std::vector<uint8_t> compressionSettings;      // the stripped header bytes for algorithm 3
};

struct MatroskaBlockPlace {
    uint64_t position = 0;  // data of the Block or SimpleBlock; 0 = none found
    uint64_t size = 0;
};

struct MatroskaFileInfo {
    uint64_t fileSize = 0;
    double segmentDuration = 0;  // Info Duration in TimecodeScale units
    bool hasDuration = false;    // an Info Duration was read
    uint64_t timecodeScale = 0;  // 0 when absent
    std::vector<MatroskaTrack> tracks;  // at most kMatroskaMaxTracks, in file order
    std::array<MatroskaBlockPlace, kMatroskaMaxTracks> firstBlocks{};  // by track number
    int32_t firstBlockCount = 0;
    int32_t chapterCount = 0;    // ChapterAtoms less the hidden ones
    std::u16string correctionFileName;  // the ".wvc" beside the file, for hybrid WavPack
};

// The three walks: the header elements up to the first Cluster (segment
// information, chapters, where each TrackEntry lies), each TrackEntry
// (number, type, content compression), and the Clusters up to the first
// block of every video, audio and complex track. Every walk ends at the end
// of the file or at an ID or size that cannot be read; each step moves it
// forward, so it ends on any input.
void scanMatroskaStructure(EbmlReader& reader, MatroskaFileInfo& info);

// The header of a Block or SimpleBlock whose data (`blockSize` bytes)
// starts at the reader's position: track number, timecode, flags and the
// lacing sizes. `length` is the number of bytes from the block's data to
// its first frame; `complete` is false when the header runs past the block
// or the end of the file.
struct MatroskaBlockHeader {
    uint64_t length = 0;
    uint32_t frames = 1;
    bool complete = false;
};
MatroskaBlockHeader readBlockHeader(EbmlReader& reader, uint64_t blockSize);
// The header's length in bytes, -1 when it runs past the block or the file.
int skipBlockHeader(EbmlReader& reader, uint64_t blockSize);

// ---- track descriptions ----

struct MatroskaVideoInfo {
    uint32_t width;
    uint32_t height;
    uint16_t bitDepth;  // never set for video
    double frameRate;
    char codec[128];
};

struct MatroskaAudioInfo {
    double sampleRate;
    uint16_t bitDepth;
    uint16_t channels;
    char codec[128];
};

// Subtitle tracks counted by kind, for the summary line.
struct MatroskaSubtitleCounts {
    int32_t utf8 = 0, ssa = 0, ass = 0, usf = 0, ascii = 0, bmp = 0, vobsub = 0;
    bool any = false;  // some CodecID begins with "S_"
};

// FORMAT.INI [MATROSKA] VIDEO / AUDIO with their placeholders filled.
std::string describeMatroskaVideo(const MatroskaVideoInfo& info, size_t outSize = kTemplateBytes);
std::string describeMatroskaAudio(const MatroskaAudioInfo& info, size_t outSize = kTemplateBytes);

// The extra line of chapters and subtitle kinds: "Chapter(%d)" and
// "SubTitle/...(%d)" joined by " / "; empty when there is nothing to say.
std::string formatMatroskaSummary(int32_t chapterCount, const MatroskaSubtitleCounts& counts);

// The first frame of a track: the data of its first block after the block
// header, preceded by the stripped header bytes when the track uses header
// stripping. Empty when the track has no block, the block holds nothing
// after its header, or the header runs past it. At most kMatroskaMaxFrame
// bytes of the block are read.
// `frames`, when given, receives the number of frames the block holds.
std::vector<uint8_t> readFirstFrame(EbmlReader& reader, const MatroskaFileInfo& info, const MatroskaTrack& track,
                                    uint32_t* frames = nullptr);

// The frames of a track's first blocks: their data bytes (block headers
// left out, stripped header bytes counted back in) and their number. The
// walk starts at the track's first block and reads on through the Clusters
// for at most kMatroskaSampleBlocks blocks of the track within
// kMatroskaSampleSpan bytes of the file. Zero when the track has no block.
inline constexpr uint32_t kMatroskaSampleBlocks = 64;
inline constexpr uint64_t kMatroskaSampleSpan = 1 << 20;
struct MatroskaFrameSample {
    uint64_t bytes = 0;
    uint64_t frames = 0;
};
MatroskaFrameSample sampleTrackFrames(EbmlReader& reader, const MatroskaFileInfo& info, const MatroskaTrack& track);

// Reads every TrackEntry's codec, settings and first frame and writes one
// line per track (video, audio, or an extra line for an unknown CodecID),
// then the chapter and subtitle summary line.
void describeMatroskaTracks(EbmlReader& reader, const MatroskaFileInfo& info, AnalysisRecord& record);

// The first packet of a Xiph-laced CodecPrivate (Vorbis, Theora): the
// count byte, the laced sizes of all packets but the last, then the
// packets. Empty when the lacing runs past the bytes.
Bytes firstXiphPacket(Bytes codecPrivate);

}  // namespace vesko
