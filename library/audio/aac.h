// AAC: the ADTS and ADIF file forms (ISO/IEC 13818-7) and the MPEG-4
// AudioSpecificConfig (ISO/IEC 14496-3) that Matroska and MP4 store as the
// codec configuration. The file analyser is analyzeAac (analysers.h); the
// readers, decoders and tables below are shared with the container
// analysers, which fill an AacInfo and describe it with describeAac.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"
#include "../templates.h"

namespace vesko {

// The values of one AAC stream. Zero-fill before use.
struct AacInfo {
    char codec[30];         // "ADTS" or "ADIF" for files; containers store their own label
    uint32_t sampleRate;    // Hz (0 for the reserved table entries)
    double channels;        // 0, 1, 2, 3, 4, 5, 5.1, 7.1; 65535 when unknown
    char channelConfig[5];  // front/rear, e.g. "3/2"
    char channelOrder[30];  // speakers, e.g. "C+L+R+BL+BR+LFE"
    double bitRate;         // bits per second
    uint8_t hasSbr;         // spectral band replication signalled
    uint8_t hasPs;          // parametric stereo signalled
    uint32_t frameCount;    // ADTS frames counted
    char profile[32];       // audio object type label, with "(SBR)", "(SBR+PS)", "(LC)" suffixes
    int32_t objectType;     // audio object type number
    double duration;        // seconds
    uint8_t scanAllFrames;  // input: walk every ADTS frame (play time, bit rate, frame count)
    uint64_t endOffset;     // input: file offset where the audio ends
    char message[256];      // failure text
};

// At most this many ADTS frame headers are walked; a longer stream's play
// time is extrapolated from the part walked.
inline constexpr uint32_t kAdtsMaxFrames = 1000000;

// Sampling frequency of a sampling-frequency index: 0 to 12 from the
// table, 0 for 13 to 15, -1 for anything else.
int32_t aacSampleRate(int32_t index);

// Label of an audio object type ("LC", "HE", ..., "UnknownProfile(%d)").
void aacProfileName(char* out, size_t outSize, int32_t objectType);

// Channel count, front/rear text and speaker text of a channel
// configuration value (0 to 7; other values give 65535, "0/0" and
// "UnknownChannel(%d)").
void aacChannelConfig(char* configOut, size_t configSize, char* orderOut, size_t orderSize, double& channelsOut,
                      int32_t value);

// Reads ADTS frame headers from the reader's position. With scanAllFrames
// clear only the first header is read; with it set every frame up to
// endOffset (at most kAdtsMaxFrames) is walked to count frames and compute
// the play time and bit rate. The reader is returned to its start position.
// False with info.message set when a header is unusable.
bool readAdtsStream(AacInfo& info, FileReader& reader);

// Reads the ADIF header (and its first program config element) at the
// reader's position; with scanAllFrames set also the play time from the
// header's bit rate. The reader is returned to its start position.
bool readAdifHeader(AacInfo& info, FileReader& reader);

// Decodes an AudioSpecificConfig of `length` bytes into sampleRate,
// channels, channelConfig, channelOrder, objectType, profile, hasSbr and
// hasPs. Never reads past `length`; bits missing at its end read as 0.
void decodeAudioSpecificConfig(const uint8_t* bytes, size_t length, AacInfo& info);

// The description line: FORMAT.INI section "AAC", key "AUDIO2" for an ADTS
// walk over all frames, else "AUDIO1", with the placeholders filled. At most
// outSize - 1 bytes.
std::string describeAac(const AacInfo& info, size_t outSize = kTemplateBytes);

}  // namespace vesko
