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
};

// Decodes a RealAudio header from `bytes`; false when the layout is refused.
// Never reads past `bytes`.
bool parseRealAudioHeader(Bytes bytes, RealAudioHeader& header);

// CODECS.INI [REAL-AUDIO] / [REAL-VIDEO] under the upper-cased FourCC.
std::string realAudioCodecName(std::string_view fourcc);
std::string realVideoCodecName(std::string_view fourcc);

// FORMAT.INI [REAL] AUDIO: #codec#, #sampleratek#, #samplerate#,
// #bitdepth#, #channel#, #bitratek#, #bitrate#.
std::string describeRealAudio(const AudioStreamInfo& values, size_t outSize = kTemplateBytes);
// FORMAT.INI [REAL] VIDEO: #width#, #height#, #bitdepth#, #codec#,
// #framerate#, #bitratek#, #bitrate#.
std::string describeRealVideo(const VideoStreamInfo& values, size_t outSize = kTemplateBytes);

}  // namespace vesko
