// MPEG audio (MPEG-1, MPEG-2 and MPEG 2.5; Layers I, II and III): the
// frame-sync search, the four-byte header decoder, the first-frame parser
// for the Xing/Info, VBRI and LAME headers, the stream reader and the
// description line. The file analyser for ".mp3" files is built on them;
// the program stream, transport stream, RIFF, QuickTime, Matroska and Flash
// Video analysers call them on their audio payloads.
#pragma once

#include <cstdint>
#include <string>

#include "../io.h"
#include "../templates.h"
#include "tags.h"

namespace vesko {

// The working record of one MPEG audio stream. Zero-fill it before use
// (MpegAudioInfo info{};); every text is NUL-terminated within its field.
struct MpegAudioInfo {
    int16_t version;           // 1 = MPEG-1, 2 = MPEG-2, 25 = MPEG 2.5
    int16_t layer;             // 1, 2 or 3
    double sampleRate;         // Hz
    int32_t padding;           // padding bit of the header
    double bitRate;            // kbit/s: the header's, or the VBR average
    char bitRateMode[16];      // "CBR" or "VBR"; empty when no frame was parsed
    char channelMode[16];      // "Stereo", "JointStereo", "DualChannel", "Mono"
    char modeExtension[16];    // joint stereo only: "4-31" ... or "I", "MS", "I+MS"
    uint32_t frameSize;        // bytes of the first frame
    uint8_t hasXing;           // a Xing or Info header
    uint8_t hasLameTag;        // a LAME tag of version 3.90 or later
    uint8_t hasVbri;           // a VBRI header
    char vbrFormat[16];        // "Xing", "LAME-Info" or "VBRI"
    uint32_t cbrFrameCount;    // streamBytes / frameSize without a VBR header
    uint32_t vbriQuality;
    uint32_t vbriFrameCount;
    uint32_t xingFrameCount;
    char lameVersion[10];      // "LAME3.100": the 9 characters from "LAME"
    int32_t lameRevision;
    char lameVbrMethod[16];
    char lameStereoMode[16];
    uint32_t lameAbrBitRate;   // kbit/s, ABR only
    uint32_t lameBitRate;      // kbit/s, every method but ABR
    TagInfo tags;
    char encoderName[32];      // encoder text after a Xing header (at most 20 characters)
    uint32_t syncOffset;       // junk between the leading tags and the first frame
    double duration;           // seconds
    uint64_t streamBytes;      // audio bytes; on entry the size of the region
    uint8_t computeDuration;   // compute `duration` in readMpegAudioStream
};

// Offset of the first frame-sync candidate (or "ID3", any case) at or after
// `start`; -1 when there is none. A candidate in the last four bytes is not
// reported. Free-format headers (bit-rate index 0) are candidates.
int32_t findMpegAudioSync(Bytes bytes, size_t start);

// Decodes the four header bytes at the start of `bytes` into version, layer,
// sampleRate, padding, bitRate, channelMode and modeExtension. The sync bits
// are not looked at. False (info unchanged) for a reserved version, layer or
// sampling frequency, bit-rate index 0 or 15, or fewer than four bytes.
bool decodeMpegAudioHeader(Bytes bytes, MpegAudioInfo& info);

// Length in bytes of a frame with the header values in `info` (0 when they
// do not describe a frame).
uint32_t mpegAudioFrameSize(const MpegAudioInfo& info);

// Given the bytes of a first frame (ID3v2 tags before it are passed over),
// decodes its header, sets frameSize and recognises the VBRI, Xing/Info and
// LAME headers. Every read stays inside `bytes`; fields that lie past its
// end count as absent.
bool parseVbrHeader(MpegAudioInfo& info, Bytes bytes);

// With the reader at the start of the stream (streamBytes = the region's
// size, syncOffset = junk before the first frame), reads the first frame and
// fills `info`; false when its header does not decode.
bool readMpegAudioStream(MpegAudioInfo& info, FileReader& reader);

// The description line from FORMAT.INI section "MP3".
std::string describeMpegAudio(const MpegAudioInfo& info, size_t outSize = kTemplateBytes);

// Labels of the LAME tag's VBR method (low 4 bits of its byte 9) and
// stereo mode (bits 2-4 of its byte 24).
std::string lameVbrMethodLabel(unsigned method);
const char* lameStereoModeLabel(unsigned mode);

}  // namespace vesko
