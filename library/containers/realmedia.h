// RealMedia and RealAudio: the RealAudio header decoder shared by the
// RealMedia, stand-alone RealAudio and Matroska ("A_REAL/") analysers, and
// the RealVideo / RealAudio description lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../io.h"
#include "../templates.h"
#include "riff_streams.h"

namespace vesko {

// The values of a RealAudio header (".ra" 0xFD versions 3 to 5, or "LSD:").
// Zero-fill before use.
struct RealAudioHeader {
    uint16_t version;
    char fourcc[5];          // as stored, NUL-terminated
    uint32_t sampleRate;
    uint16_t bitsPerSample;
    uint16_t channels;
    uint32_t bytesPerMinute;
    uint32_t dataSize;
    // Versions 4 and 5 only.
    uint32_t headerSize;
    uint16_t flavor;
    uint32_t codedFrameSize;
    char interleaver[5];     // as stored, NUL-terminated
};

// The RealVideo type-specific data of a RealMedia stream (or a Matroska
// "V_REAL/" CodecPrivate). Zero-fill before use.
struct RealVideoHeader {
    char tag[5];             // "VIDO", NUL-terminated
    char fourcc[5];          // "RV40", ..., NUL-terminated
    uint16_t width;
    uint16_t height;
    uint16_t bitsPerPixel;
    uint16_t frameRate;      // integer part of the 16.16 value
};

// Decodes the RealVideo type-specific data; fields beyond `bytes` read 0.
// False when fewer than the 12 bytes up to the FourCC are given.
bool parseRealVideoHeader(Bytes bytes, RealVideoHeader& header);

// Decodes a RealAudio header from `bytes`; false when the layout is refused
// (".ra" 0xFD of version 0 to 2, or neither ".ra" 0xFD nor "LSD:"). Never
// reads past `bytes`: fields beyond them read 0, a FourCC or interleaver that
// does not lie wholly inside them stays empty. A version above 5 is accepted
// with every value 0.
bool parseRealAudioHeader(Bytes bytes, RealAudioHeader& header);

// CODECS.INI [REAL-AUDIO] / [REAL-VIDEO] under the upper-cased FourCC (at
// most 127 bytes); the lookup's failure text when there is no entry.
std::string realAudioCodecName(std::string_view fourcc);
std::string realVideoCodecName(std::string_view fourcc);

// FORMAT.INI [REAL] AUDIO: #codec#, #sampleratek#, #samplerate#,
// #bitdepth#, #channel#, #bitratek#, #bitrate#.
std::string describeRealAudio(const AudioStreamInfo& values, size_t outSize = kTemplateBytes);
// FORMAT.INI [REAL] VIDEO: #width#, #height#, #bitdepth#, #codec#,
// #framerate#, #bitratek#, #bitrate#. The frame rate is shown as its integer
// part ("23.00" for 23.976).
std::string describeRealVideo(const VideoStreamInfo& values, size_t outSize = kTemplateBytes);

}  // namespace vesko
