// The Theora identification header and its description line. Ogg carries
// it as the first packet of a Theora stream; Matroska carries the same
// packet in the CodecPrivate of a "V_THEORA" track.
#pragma once

#include <cstdint>
#include <string>

#include "../io.h"
#include "../templates.h"

namespace vesko {

// Values of a Theora identification header. Zero-fill before use.
struct TheoraHeader {
    uint8_t versionMajor, versionMinor, versionRevision;
    uint32_t width, height;  // macroblocks x 16
    uint32_t frameRateNumerator, frameRateDenominator;
    uint32_t aspectNumerator, aspectDenominator;
    uint32_t nominalBitRate;
    uint32_t granuleShift;
};

// The packet that begins with 0x80 "theora" (neither is checked); fields
// beyond the end of `packet` read as 0 (the header is 42 bytes).
TheoraHeader parseTheoraHeader(Bytes packet);

// FORMAT.INI [OGG] THEORA with #width#, #height#, #codec#, #framerate#,
// #aspect#, #bitratek#, #bitrate# and #frame# filled.
std::string describeTheora(const TheoraHeader& header, int64_t frameCount, size_t outSize = kTemplateBytes);

}  // namespace vesko
