// QuickTime / ISO base media: the sample-description decoder and the
// description lines, shared with the Matroska analyser ("V_QUICKTIME",
// "A_QUICKTIME").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"
#include "../templates.h"
#include "riff_streams.h"

namespace vesko {

// One track of a movie. Zero-fill before use (QuickTimeTrack track{}).
struct QuickTimeTrack {
    uint32_t trackId;
    char handler[5];            // "vide", "soun", "subp", "mpeg", ... and a NUL
    uint32_t sampleCount;
    uint64_t sampleBytes;
    uint32_t firstSampleSize;
    uint64_t firstChunkOffset;
    bool constantSampleSize;    // "stsz" gave one size for every sample (firstSampleSize is that size)
    double bitRate;
    double frameRate;
    // Video values.
    int32_t width;
    int32_t height;
    uint16_t bitDepth;
    char codec[128];
    char profile[128];
    char aspect[64];
    bool interlaced;
    // Audio values.
    double sampleRate;
    uint16_t channels;
    uint16_t compressionId;
    uint16_t packetSize;
    char audioLine[256];        // a finished line from a stream decoder; replaces the generic one
};

// Decodes the first entry of a sample description: `stsd` starts at the
// "stsd" box header (the entry's four-character code at offset 20) and
// holds the whole box; its length serves as the box size, and nothing of
// its first 20 bytes is read. Video or audio values go into `track`, and a
// stream decoder's finished line into `track.audioLine`. `reader` may be
// null: then no sample is read from the file; otherwise at most
// kQuickTimeProbeBytes of the first sample (firstChunkOffset,
// firstSampleSize) are read for MPEG audio, AC-3 and Microsoft format tags.
inline constexpr size_t kQuickTimeProbeBytes = 4096;
void decodeSampleDescription(Bytes stsd, bool audio, QuickTimeTrack& track, FileReader* reader);

// FORMAT.INI [AVC] VIDEO when the track has a profile text, else
// [QUICKTIME] VIDEO.
std::string describeQuickTimeVideo(const QuickTimeTrack& track, size_t outSize = kTemplateBytes);
// FORMAT.INI [QUICKTIME] AUDIO, the placeholders of describeRiffAudio.
std::string describeQuickTimeAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes);

}  // namespace vesko
