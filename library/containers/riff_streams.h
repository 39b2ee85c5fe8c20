// Stream headers of the Video for Windows family and their description
// lines: the AVI stream header ("strh"), the bitmap header of a video
// stream, the WAVE format header of an audio stream, the codec names from
// CODECS.INI, the audio payload probe and the DivX / XviD version strings.
//
// The RIFF analyser is built on them; the Ogg (OGM), ASF, RealMedia and
// Matroska analysers use them for the streams they carry in these layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "../io.h"
#include "../templates.h"

namespace vesko {

// The values of one video description line. Zero-fill before use
// (VideoStreamInfo info{}).
struct VideoStreamInfo {
    int32_t width;
    int32_t height;      // as stored: negative for a top-down bitmap
    uint16_t bitDepth;   // bits per pixel
    char codec[256];     // codec name from CODECS.INI or a version text
    double frameRate;    // frames per second
    int32_t frameCount;
    double bitRate;      // bits per second
};

// The values of one audio description line. Zero-fill before use.
struct AudioStreamInfo {
    char codec[256];
    double sampleRate;   // Hz
    uint16_t bitDepth;   // bits per sample
    uint16_t channels;
    double bitRate;      // bits per second
};

// The first 16 bytes of a WAVEFORMATEX (little-endian). Nothing beyond them
// is read; WAVE_FORMAT_EXTENSIBLE (0xFFFE) is described by its tag.
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSecond;
    uint32_t averageBytesPerSecond;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
};
inline constexpr size_t kWaveFormatBytes = 16;

// The fields of a BITMAPINFOHEADER that the lines use (little-endian).
struct BitmapHeader {
    int32_t width;
    int32_t height;
    uint16_t bitCount;
    char compression[5];  // four characters and a NUL, as stored
};
inline constexpr size_t kBitmapHeaderBytes = 20;

// The fields of an AVI stream header ("strh" data) that the analyser uses.
struct AviStreamHeader {
    char type[5];         // "vids", "auds", "iavs", "txts", ... and a NUL
    char handler[5];
    uint32_t scale;
    uint32_t rate;        // rate / scale = samples (frames) per second
    uint32_t length;      // in rate / scale units
};
inline constexpr size_t kAviStreamHeaderBytes = 36;

// The headers decoded from the bytes of a chunk. Fields that lie beyond
// the end of `bytes` (a chunk shorter than the layout) read as 0.
WaveFormat parseWaveFormat(Bytes bytes);
BitmapHeader parseBitmapHeader(Bytes bytes);
AviStreamHeader parseAviStreamHeader(Bytes bytes);

// A FourCC as a CODECS.INI key: the four bytes with every byte outside
// 32 to 122 replaced by a space (BI_RGB, compression 0, becomes "    ").
// Fewer than four bytes are padded with spaces.
std::string fourccKey(Bytes four);

// Codec names from CODECS.INI: section "AVI" by FourCC key, section "WAV"
// by the format tag as four upper-case hexadecimal digits ("0055"). A
// lookup that finds nothing yields the lookup's failure text ("不明" and
// the key). At most maxBytes - 1 bytes.
std::string videoCodecName(std::string_view fourcc, size_t maxBytes = 256);
std::string audioCodecName(uint16_t formatTag, size_t maxBytes = 256);

// The key of the AVI video codec: the handler when it equals the bitmap
// compression ignoring case, the compression otherwise (both as fourccKey).
std::string aviVideoCodecKey(std::string_view handler, std::string_view compression);

// The format tags whose payload probeAudioPayload can decode: MPEG audio
// (0x0050, 0x0055), AC-3 (0x2000) and DTS (0x2001, and PCM 0x0001 /
// 0x0008, which may carry DTS).
bool isProbedFormatTag(uint16_t formatTag);

// The audio line values of a WAVE format header: sampling rate, bits per
// sample, channels and average bytes per second x 8.
AudioStreamInfo audioStreamInfo(const WaveFormat& format, std::string_view codec);

// FORMAT.INI [RIFF] VIDEO with #width#, #height#, #bitdepth#, #codec#,
// #framerate#, #frame#, #bitratek#, #bitrate# filled; the lookup's failure
// text when there is no template.
std::string describeRiffVideo(const VideoStreamInfo& info, size_t outSize = kTemplateBytes);
void describeRiffVideo(char* out, size_t outSize, const VideoStreamInfo& info);

// FORMAT.INI [RIFF] AUDIO with #codec#, #sampleratek#, #samplerate#,
// #bitdepth#, #channel#, #bitratek#, #bitrate# filled.
// The audio line of FORMAT.INI [section] AUDIO with the placeholders above;
// RIFF, QuickTime, RealMedia and Flash Video share it.
std::string describeAudioStream(const AudioStreamInfo& info, const char* section, size_t outSize = kTemplateBytes);
std::string describeRiffAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes);
void describeRiffAudio(char* out, size_t outSize, const AudioStreamInfo& info);

// Decodes the first usable frame of the compressed audio in `bytes` with
// the decoder the format tag names (MPEG audio, AC-3 or DTS; see
// isProbedFormatTag) and gives that decoder's description line. Candidates
// whose header does not decode are passed over. False, `line` untouched,
// when no frame decodes or the tag has no decoder.
bool probeAudioPayload(Bytes bytes, uint16_t formatTag, std::string& line);
// The same into a caller's buffer. Reads nothing from the reader; when one
// is given, it stands where it stood on entry afterwards.
bool probeAudioPayload(const uint8_t* bytes, size_t length, uint16_t formatTag, char* out, size_t outSize,
                       FileReader* reader = nullptr);

// DivX 5 and later write their version ("DivX503b1393p", "DivX500Build413")
// as MPEG-4 user data in the first frame. Searches `bytes` for "DivX"
// (ignoring case) and writes the codec text: the CODECS.INI [AVI-DIVX] name
// of its first 15, 12 or 11 characters (the first of them found), else
// "Divx 5.x(<11>/<12>/<15>)". False, `out` untouched, when there is no
// version string (or fewer than 16 bytes to search).
bool detectDivxVersion(char* out, size_t outSize, const uint8_t* bytes, size_t length);

// XviD writes "XviD" and a four-digit build number as user data. Writes the
// [AVI-XVID] name of those 8 characters (at most 31 bytes), else
// "XviD MPEG4(<8>)". False, `out` untouched, without such a string.
bool detectXvidVersion(char* out, size_t outSize, const uint8_t* bytes, size_t length);

}  // namespace vesko
