// WavPack 4 and 5 files: the block and metadata sub-block walk, the stored
// RIFF/WAVE header, hybrid (lossy) detection and the correction-file check,
// and the description line that the Matroska track descriptions use too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../io.h"
#include "../templates.h"
#include "tags.h"

namespace vesko {

// The WAVEFORMAT fields of a stored RIFF/WAVE header ("fmt " chunk).
struct WavPackWaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSecond;
    uint32_t averageBytesPerSecond;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};

// The values of one WavPack stream. Zero-fill before use (WavPackInfo info{}).
struct WavPackInfo {
    char version[32];              // "4", or "4(Hybrid)" for a hybrid file whose correction file opens
    uint8_t hybrid;                // block flag bit 3: hybrid (lossy) mode
    uint8_t jointStereo;           // block flag bit 4 (not reported)
    double bitRate;                // bits per second (0 when the play time is not known)
    WavPackWaveFormat waveFormat;  // from the stored WAVE header
    char16_t correctionName[256];  // the ".wvc" file beside this one; empty: none to look for
    TagInfo tags;
    double duration;               // seconds; -1 when the sample count is not known
    char codec[256];               // CODECS.INI [WAV] name of the format tag
    uint64_t streamBytes;          // the bytes the bit rate covers (the file less an APE tag)
    uint8_t computeDuration;       // input: compute duration and bitRate
    char message[256];             // failure text (code page 932)
    uint64_t tagStart;             // input: where the end tags begin (0: no end tags)
};

// The fields of one 32-byte block header.
struct WavPackBlockHeader {
    uint32_t blockSize;     // bytes after the first eight ("ckSize")
    uint16_t version;       // stream version, 0x402 to 0x410
    int64_t totalSamples;   // samples of the whole file (40 bits); -1 when not known
    uint32_t blockIndex;    // low 32 bits of the block's first sample
    uint32_t blockSamples;  // samples in this block; 0 for a block without audio
    uint32_t flags;
};

// Block flag bits.
inline constexpr uint32_t kWavPackHybrid = 1u << 3;
inline constexpr uint32_t kWavPackJointStereo = 1u << 4;
inline constexpr uint32_t kWavPackInitialBlock = 1u << 11;

// Sub-block id bits and the functions the walk acts on.
inline constexpr uint8_t kWavPackFunctionMask = 0x3F;
inline constexpr uint8_t kWavPackOptionalData = 0x20;  // a decoder need not understand it
inline constexpr uint8_t kWavPackOddSize = 0x40;       // the data is one byte shorter than stored
inline constexpr uint8_t kWavPackLargeBlock = 0x80;    // a 24-bit size follows
inline constexpr uint8_t kWavPackRiffHeader = 33;
inline constexpr uint8_t kWavPackRiffTrailer = 34;

// Decodes the 32 bytes of a block header. False (header unchanged) when
// fewer bytes are given or they do not begin with "wvpk" (any case).
bool decodeWavPackBlockHeader(Bytes bytes, WavPackBlockHeader& header);

// Reads the stored RIFF/WAVE header (from "RIFF"): the WAVEFORMAT fields of
// its "fmt " chunk go to waveFormat and the format tag's CODECS.INI name to
// codec; a LIST chunk of type INFO sets tags.hasInfoTag. False (waveFormat
// and codec unchanged) when no "fmt " chunk of at least 16 bytes lies
// within `header`.
bool readWavPackRiffHeader(Bytes header, WavPackInfo& info);

// The correction file's name: the file name with its extension (from the
// last "." after the last path separator) replaced by ".wvc", or ".wvc"
// appended when it has none. Empty when the result would not fit 255 units.
std::u16string wavPackCorrectionName(std::u16string_view fileName);

// True when `name` is not empty and opens as a file (it is closed again).
bool correctionFileExists(std::u16string_view name);

// Walks the blocks and their sub-blocks over the streamBytes bytes from the
// reader's position; a walk that meets no block header at or after tagStart
// has reached the end tags and ends there. Fills version, hybrid, jointStereo, waveFormat,
// codec and tags.hasInfoTag, and with computeDuration duration and bitRate.
// False with `message` set for a misplaced block header, an unknown
// mandatory sub-block, and a file without a usable stored RIFF header (a
// correction file, or a file made from raw audio).
bool readWavPackBlocks(WavPackInfo& info, FileReader& reader);

// The description line: FORMAT.INI [WAVPACK] AUDIO with its placeholders
// filled (the lookup's failure text when there is no template).
std::string describeWavPack(const WavPackInfo& info, size_t outSize = kTemplateBytes);
void describeWavPack(char* out, size_t outSize, const WavPackInfo& info);

}  // namespace vesko
