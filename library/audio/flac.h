// Native FLAC files: the metadata block walk after the "fLaC" marker, the
// STREAMINFO decoder and the description line. FLAC inside Ogg is the Ogg
// analyser's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"
#include "../templates.h"
#include "tags.h"

namespace vesko {

// Metadata block types (the low seven bits of a block header's first byte).
enum FlacBlockType : uint8_t {
    kFlacStreamInfo = 0,
    kFlacPadding = 1,
    kFlacApplication = 2,
    kFlacSeekTable = 3,
    kFlacVorbisComment = 4,
    kFlacCueSheet = 5,
    kFlacPicture = 6,
};

// The values of one FLAC stream. Zero-fill before use (FlacInfo info{}).
struct FlacInfo {
    uint32_t sampleRate;      // Hz, from STREAMINFO
    uint32_t channels;        // 1 to 8
    uint32_t bitDepth;        // bits per sample, 1 to 32
    uint64_t totalSamples;    // STREAMINFO's 36-bit count; 0 = not known
    double bitRate;           // average bits per second (0 when the play time is not known)
    int32_t pictureCount;     // PICTURE blocks met
    int32_t cueSheetCount;    // CUESHEET blocks met
    TagInfo tags;             // comment flags from a VORBIS_COMMENT block
    double duration;          // seconds; -1 when the total sample count is not known
    uint64_t streamBytes;     // input: the file size; after the walk the bytes after the metadata
    uint8_t computeDuration;  // input: compute duration and bitRate
    uint8_t hasStreamInfo;    // a STREAMINFO block of at least 18 bytes was read
    char message[256];        // failure text (code page 932)
};

// Decodes the stream parameters of a STREAMINFO block body: sample rate,
// channels, bits per sample and the total sample count from the eight bytes
// at offset 10. False (info unchanged) when fewer than 18 bytes are given.
bool decodeFlacStreamInfo(Bytes block, FlacInfo& info);

// Walks the metadata blocks from the reader's position (the "fLaC" marker,
// whose content is not compared) up to the block with the last flag, or to
// the end of the file when it ends first. Leaves the reader after the
// metadata, takes that position off streamBytes and, with computeDuration,
// sets duration and bitRate. False with `message` set for a block type
// above 6 and for a block buffer that cannot be allocated.
bool readFlacMetadata(FlacInfo& info, FileReader& reader);

// The description line: FORMAT.INI [FLAC] AUDIO with its placeholders
// filled (the lookup's failure text when there is no template).
std::string describeFlac(const FlacInfo& info, size_t outSize = kTemplateBytes);
void describeFlac(char* out, size_t outSize, const FlacInfo& info);

}  // namespace vesko
