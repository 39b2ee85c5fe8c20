// AC-3 (Dolby Digital): the sync search, the syncframe header decoder and
// the description line. The file analyser uses them on elementary .ac3
// files; the program stream, transport stream, Matroska and RIFF analysers
// call them on their payloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesko {

// The values of one AC-3 stream. Zero-fill before use (Ac3Info info{}).
struct Ac3Info {
    char codec[32];          // "Dolby AC-3" for files; containers may preset it
    uint32_t sampleRate;     // Hz
    double channels;         // full-bandwidth channels, + 0.1 for the LFE
    char serviceType[10];    // bit stream mode: "CM", "ME", ... "Karaoke"
    char channelConfig[5];   // front/rear: "3/2", "1+1", ...
    char channelOrder[50];   // "L+C+R+SL+SR+LFE", "L+R:Dolby Surround", ...
    uint32_t bitRate;        // nominal, bits per second
    double duration;         // seconds (with computeDuration)
    uint64_t streamBytes;    // input: bytes of the stream, for the play time
    uint8_t computeDuration; // input: compute duration from streamBytes
    char message[256];       // failure text (code page 932), may stay empty
};

// The first offset p >= start of the bytes 0B 77 with p < length - 5 (so at
// least six bytes from p lie in the buffer); -1 when there is none.
int32_t findAc3Sync(const uint8_t* bytes, size_t length, size_t start);

// Decodes the syncinfo and the start of the bit stream information of the
// syncframe at `bytes` (`length` bytes available from there). False when
// fewer than 7 bytes are given or the sync word is missing (message left
// empty), and for the fscod and frmsizecod values without a rate (message
// set). Fills every value field; computes duration when computeDuration is
// set.
bool decodeAc3Header(Ac3Info& info, const uint8_t* bytes, size_t length);

// The description line: FORMAT.INI [AC3] AUDIO with its placeholders filled
// (the lookup's failure text when there is no template). At most 511 bytes.
std::string describeAc3(const Ac3Info& info);
// The same into a caller's buffer of outSize bytes (truncated, terminated).
void describeAc3(char* out, size_t outSize, const Ac3Info& info);

}  // namespace vesko
