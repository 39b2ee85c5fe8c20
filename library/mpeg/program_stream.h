// MPEG-1 and MPEG-2 program streams (ISO/IEC 11172-1, 13818-1). The
// analysis works on two windows of the data, one at its head and one at its
// tail, and searches them for start codes rather than walking the stream
// pack by pack: the streams come from the head window, the last clock
// reference and time code from the tail window.
//
// scanMpeg1ProgramStream analyses a region of an open file; the QuickTime
// analyser ("mpeg" tracks) and the Video CD branch of the RIFF analyser
// call it for the part of their file that holds the program stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"
#include "vesko.h"

namespace vesko {

// Bytes of each window: the head window holds the region's first bytes, the
// tail window its last ones (the same bytes when the region is no longer).
inline constexpr size_t kProgramStreamWindowBytes = 1024000;

// One DVD linear PCM sub-stream (private stream 1, sub-stream ids A0-A7).
// Zero-fill before use.
struct LpcmInfo {
    char codec[32];      // "LinearPCM"
    double sampleRate;   // Hz
    uint16_t bitDepth;   // 16, 20 or 24
    uint16_t channels;
    double bitRate;      // bits per second
};

// The file analysers: open the record's file, set formatName ("MPEG1" or
// "MPEG2") and fileSize, and scan the whole file. analyzeMpegProgramStream
// (analysers.h) picks one by the record's format code (16: MPEG-2).
void analyzeMpeg1File(AnalysisRecord& record);
void analyzeMpeg2File(AnalysisRecord& record);

// Analyses the region [start, end) of the open file: one video line from
// the first sequence header, up to eight audio lines and `duration`; on
// failure `errorText`. The region is clamped to the file; a region whose
// end is at or before its start is empty (no sequence header found).
// formatName and fileSize are not touched. The reader is back at its
// entry position on return. True when the video line was written.
//
// The MPEG-1 scan reports MPEG audio packets (stream ids C0-C7); the
// MPEG-2 scan also ADTS AAC in those packets and the AC-3, DTS and LPCM
// sub-streams of private stream 1, and reads the sequence extension.
bool scanMpeg1ProgramStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end);
bool scanMpeg2ProgramStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end);

// Seconds between the system clock references of the first pack header of
// `head` and the last one of `tail`; -1 when either is missing or the clock
// does not advance. A pack header whose five clock bytes do not all lie in
// its window is not used.
double durationFromScr(Bytes head, Bytes tail);

// Seconds between the first group-of-pictures time code of `head` and the
// last one of `tail`, the picture counts converted with `frameRate` (left
// out when it is 0); -1 when either is missing or time does not advance.
// A time code whose four bytes do not all lie in its window is not used.
double durationFromTimeCodes(Bytes head, Bytes tail, double frameRate);

// The DVD LPCM header: the six bytes at the reader's position (after the
// sub-stream id), peeked without moving it. Fills codec, bitDepth,
// sampleRate, channels and bitRate; false (later fields left 0) for the
// reserved quantization and sampling-frequency codes.
bool parseDvdLpcmHeader(LpcmInfo& info, FileReader& reader);
// The same over bytes in memory (missing bytes read as 0).
bool parseDvdLpcmHeader(LpcmInfo& info, Bytes sixBytes);

// Bit rate of ADTS AAC estimated from the whole frames that follow one
// another from the start of `bytes`: their mean length x 8 x sampleRate /
// 1024 (samples per frame); 0 when no whole frame is there. The program and
// transport stream analysers use it on the payload of the first PES packet.
double estimateAdtsBitRate(Bytes bytes, uint32_t sampleRate);

// True when the bytes at the start of `bytes` hold an ADTS header that
// readAdtsStream accepts (sync, layer 0, a sampling frequency from the
// table, a frame length of at least the header): checked in memory before
// the stream is read from the file.
bool looksLikeAdtsHeader(Bytes bytes);

// The description line: FORMAT.INI [MPEG1/2] key LPCM with its
// placeholders filled, at most outSize - 1 (and at most 511) bytes.
void describeLpcm(char* out, size_t outSize, const LpcmInfo& info);
std::string describeLpcm(const LpcmInfo& info);

}  // namespace vesko
