// The Vorbis identification header and its description line. Ogg carries
// it as its first packet; QuickTime/MP4 and Matroska carry the same packet
// in their codec private data.
#pragma once

#include <cstddef>
#include <string>

#include "../io.h"
#include "../templates.h"

namespace vesko {

// Values of a Vorbis identification header. Zero-fill before use.
struct VorbisInfo {
    double channels;        // byte 11
    double sampleRate;      // 32 bits at 12
    double maxBitRate;      // 32 bits at 16; 4294967295 = not set
    double nominalBitRate;  // 32 bits at 20
    double minBitRate;      // 32 bits at 24
    double bitRate;         // derived from the three above
    char bitRateMode[4];    // "VBR", "QB", "CBR" or "ABR"
};

// Decodes the packet that begins with 0x01 "vorbis" (the type byte and the
// name are not checked). Fields beyond the end of `packet` read as 0.
VorbisInfo parseVorbisIdentification(Bytes packet);

// FORMAT.INI [OGG] VORBIS with #sampleratek#, #samplerate#, #bitratek#,
// #bitrate#, #bitratemode# and #channel# filled.
std::string describeVorbis(const VorbisInfo& info, size_t outSize = kTemplateBytes);
void describeVorbis(char* out, size_t outSize, const VorbisInfo& info);

}  // namespace vesko
