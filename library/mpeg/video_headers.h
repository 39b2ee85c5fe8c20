// Video elementary stream headers shared by the container analysers:
// MPEG-1/2 video (sequence header and sequence extension), the MPEG-4
// Visual profile/level and aspect labels, and the AVC sequence parameter
// set with its VUI and HRD parts. Every decoder works on bytes the caller
// has already read; none of them touches a file. The program stream,
// transport stream, Matroska, QuickTime/MP4 and Flash Video analysers
// include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"

namespace vesko {

// One MPEG-1/2 video stream. Zero-fill it (MpegVideoInfo info{}), set
// `codec` and, where the container measures one, `averageBitRate`; the
// decoders fill the rest. Texts are NUL-terminated within their fields.
struct MpegVideoInfo {
    uint32_t width;           // horizontal_size_value (12 bits)
    uint32_t height;          // vertical_size_value (12 bits)
    char codec[32];           // set by the container: "MPEG1", "MPEG2", ...
    char profile[64];         // profile@level from the sequence extension; empty for MPEG-1
    char aspect[32];          // aspect label of aspect_ratio_information
    uint8_t progressive;      // progressive_sequence of the sequence extension
    double frameRate;         // frames per second; 0 for a code outside the table
    double bitRate;           // bit_rate_value x 400, bits per second; 0 when variable
    double averageBitRate;    // measured by the container; shown when variableBitRate is 1
    uint8_t variableBitRate;  // 1 when bit_rate_value is 0x3FFFF
};

// One AVC video stream. Zero-fill it (AvcVideoInfo info{}); the container
// may set `frameCount`; parseAvcSps fills the rest.
struct AvcVideoInfo {
    uint32_t width;           // displayed width after cropping
    uint32_t height;          // displayed height after cropping
    uint8_t bitDepth;         // bit_depth_luma_minus8 + 8
    char codec[32];           // "AVC/H.264"
    char profile[40];         // profile@level
    char aspect[32];          // sample aspect label
    uint8_t interlaced;       // 1 when frame_mbs_only_flag is 0
    double frameRate;         // time_scale / num_units_in_tick / 2 from the VUI, else 0
    int32_t frameCount;       // set by the container where it knows it
    double bitRate;           // bits per second from the NAL HRD parameters, else 0
    uint8_t fixedFrameRate;   // the VUI's fixed_frame_rate_flag
    uint8_t constantBitRate;  // the NAL HRD's cbr_flag[0]
};

// ---- MPEG-1/2 video ----

// Offset of the first position p in 0 ... length - 4 where the four bytes
// at p, read big-endian, equal `code`; -1 when there is none (also for a
// null buffer or fewer than four bytes). Offsets beyond 2^31 - 1 are not
// searched.
int32_t findCode32(const uint8_t* buffer, size_t length, uint32_t code);

// Decodes the 7 bytes after the start code 00 00 01 B3 (`bytes` points at
// the first of them): width, height, aspect, frameRate, bitRate and
// variableBitRate. The caller guarantees the 7 bytes.
void parseMpegSequenceHeader(MpegVideoInfo& info, const uint8_t* bytes);
// The same over a bounded span: bytes missing at its end read as zero.
void parseMpegSequenceHeader(MpegVideoInfo& info, Bytes bytes);

// `bytes` points at an extension start code 00 00 01 B5 (9 bytes are
// read). False, changing nothing, unless extension_start_code_identifier
// is 1 (a sequence extension); otherwise fills profile and progressive.
bool parseMpegSequenceExtension(MpegVideoInfo& info, const uint8_t* bytes);
// The same over a bounded span; false when the span ends before the
// progressive_sequence bit (its first 6 bytes).
bool parseMpegSequenceExtension(MpegVideoInfo& info, Bytes bytes);

// Labels of the 4-bit aspect_ratio_information ("forbidden", "1:1", "4:3",
// ... "reserved"; "reserved" too for values above 15) and the frame rate of
// the 4-bit frame_rate_code (0 for codes outside 1 ... 8).
const char* mpegAspectLabel(unsigned code);
double mpegFrameRate(unsigned code);

// "MP@ML" and the like from the 3-bit profile and 4-bit level of the
// sequence extension; codes outside the tables give "UnknownProfile(%d)"
// and "UnknownLevel(%d)".
void formatMpeg2ProfileLevel(char* out, size_t outSize, int profile, int level);
std::string formatMpeg2ProfileLevel(int profile, int level);

// The description line: FORMAT.INI [MPEG1/2] key MPEG2 when `profile` is
// set, MPEG1 otherwise, with its placeholders filled. At most outSize - 1
// bytes (and at most 511).
void describeMpegVideo(char* out, size_t outSize, const MpegVideoInfo& info);
std::string describeMpegVideo(const MpegVideoInfo& info);

// ---- MPEG-4 Visual ----

// Label of the 8-bit profile_and_level_indication ("Simple@L1", ...);
// "UnknownProfile(%d)" for codes outside the table.
void formatMpeg4ProfileLevel(char* out, size_t outSize, int code);
std::string formatMpeg4ProfileLevel(int code);

// Label of the 4-bit aspect_ratio_info: the MPEG-1/2 labels with code 0
// "Unspecified"; codes above 15 give "Unknown(%d)". Code 15 (extended
// pixel aspect) carries its ratio elsewhere: a caller that has read
// par_width and par_height writes "%d:%d" of them itself.
void formatMpeg4Aspect(char* out, size_t outSize, int code);
std::string formatMpeg4Aspect(int code);

// ---- AVC / H.264 ----

// Finds the first 00 00 01 followed by a byte whose low five bits are 7
// (a sequence parameter set) with that byte inside the buffer, and decodes
// the parameter set from there with the rest of the buffer. True when one
// was decoded; false, leaving `info` untouched, when there is none or each
// one found ends before its picture size is complete (see parseAvcSps).
bool findAvcSps(const uint8_t* bytes, size_t length, AvcVideoInfo& info);

// Decodes a sequence parameter set. `bytes` starts at its NAL header byte
// (after an Annex B start code, or as stored in an avcC record); at most
// `length` bytes are used, and the unit ends early at the next start code.
// Fills every field but frameCount. False, leaving `info` untouched, when
// the bytes end before vui_parameters_present_flag (a cut-off unit); a
// cut inside the VUI reads the missing bits as zero.
bool parseAvcSps(const uint8_t* bytes, size_t length, AvcVideoInfo& info);

// "High@4", "Main@3.1", ...; codes outside the tables give
// "UnknownProfile(%d)" and "UnknownLevel(%d)".
void formatAvcProfileLevel(char* out, size_t outSize, int profileIdc, int levelIdc);
std::string formatAvcProfileLevel(int profileIdc, int levelIdc);

// Sample aspect label of aspect_ratio_idc: 0 "Unspecified", 1 ... 16 the
// ratios of H.264 Table E-1 ("1:1", "12:11", ... "4:3", "3:2", "2:1"),
// others "Unknown(%d)" (255, the explicit sar_width:sar_height, included).
void formatAvcSampleAspect(char* out, size_t outSize, int aspectRatioIdc);
std::string formatAvcSampleAspect(int aspectRatioIdc);

// The description line: FORMAT.INI [AVC] key VIDEO with its placeholders
// filled. At most outSize - 1 bytes (and at most 511).
void describeAvcVideo(char* out, size_t outSize, const AvcVideoInfo& info);
std::string describeAvcVideo(const AvcVideoInfo& info);

}  // namespace vesko
