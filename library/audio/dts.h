// DTS (Coherent Acoustics) core frames in their four word packings: 16-bit
// words big- or little-endian, and 14-bit words (14 bits of the stream in
// each 16-bit word, as on audio CDs) big- or little-endian. The sync
// search, the core header decoder, the stream read and the description
// line are shared by the file analyser and the program stream, transport
// stream, Matroska and RIFF analysers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"

namespace vesko {

// The values of one DTS stream. Zero-fill before use (DtsInfo info{}).
struct DtsInfo {
    char channelOrder[32];     // from AMODE, with "+LFE" and ":XCh" suffixes
    double channels;           // + 0.1 for the LFE channel
    uint32_t sampleRate;       // Hz, doubled when X96 is signalled
    uint32_t bitRate;          // transmission rate, bits per second; 0 for Open/VBR/LossLess
    char rateMode[10];         // "Open", "VBR", "LossLess" or empty
    uint32_t bitDepth;         // source PCM resolution: 16, 20 or 24
    uint8_t extendedSurround;  // ES flag of the source PCM resolution
    uint8_t hasXch;            // extension audio descriptor 0 or 3
    uint8_t hasX96;            // extension audio descriptor 2 or 3
    char endian[12];           // "14BitLE", "14BitBE", "16BitLE" or "16BitBE"
    double duration;           // seconds; -1 when the rate gives none
    uint64_t streamBytes;      // input: bytes of the stream, as stored
    uint8_t computeDuration;   // input: compute duration (readDtsStream)
    char message[256];         // failure text (code page 932)
};

// Bytes that decodeDtsHeader and readDtsStream look at.
inline constexpr size_t kDtsHeaderBytes = 20;

// The first offset p >= start with p < length - 20 where one of the four
// sync patterns begins; -1 when there is none (always for fewer than 21
// bytes).
int32_t findDtsSync(const uint8_t* bytes, size_t length, size_t start);

// Decodes the core frame header at `bytes` in whichever packing its sync
// pattern shows. `length` bytes are available; the header needs 16 of them
// (18 in the 14-bit packings), fewer fail like bytes that are no DTS. On
// failure `message` says why. Does not compute the play time.
bool decodeDtsHeader(DtsInfo& info, const uint8_t* bytes, size_t length);

// Peeks kDtsHeaderBytes at the reader's position (which stays unchanged),
// decodes them and, with computeDuration, sets duration from streamBytes and
// the bit rate: 768,000 counts as 754,500 and 1,536,000 as 1,509,750 bit/s,
// the real rates of those nominal ones; 14-bit packings carry 14 stream bits
// in each 16-bit word, so only 14/16 of streamBytes are stream. Without a
// rate (Open, VBR, LossLess) duration is -1, unknown.
bool readDtsStream(DtsInfo& info, FileReader& reader);

// The description line: FORMAT.INI [DTS] AUDIO1 (fixed rate) or AUDIO2
// (rateMode set) with its placeholders filled. At most 511 bytes.
std::string describeDts(const DtsInfo& info);
void describeDts(char* out, size_t outSize, const DtsInfo& info);

}  // namespace vesko
