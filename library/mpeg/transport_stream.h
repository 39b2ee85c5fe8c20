// MPEG-2 transport streams (ISO/IEC 13818-1) of 188-byte packets, and of
// 192-byte units (a 4-byte header before each packet, as in .m2ts files).
// The programs come from the Program Association Table, their elementary
// streams from each Program Map Table; each stream is described from the
// first packet of it that starts a PES packet with a decodable header, and
// the play time comes from the first and last PTS of video PES packets.
// Like the program stream analyser, the analysis works on a head window and
// a tail window of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "../io.h"
#include "vesko.h"

namespace vesko {

// Bytes of each window.
inline constexpr size_t kTransportStreamWindowBytes = 4069000;
// Programs taken from a PAT, and listed streams taken from a PMT.
inline constexpr size_t kTsMaxPrograms = 20;
inline constexpr size_t kTsMaxStreams = 20;

// The program map PIDs of a PAT.
struct TsProgramList {
    uint16_t count;
    uint16_t pmtPid[kTsMaxPrograms];
};

// One program's PMT. streamCount 0: no usable PMT.
struct TsProgram {
    uint8_t tableId;
    uint8_t sectionSyntaxIndicator;
    uint16_t sectionLength;
    uint16_t programNumber;
    uint8_t versionNumber;
    uint8_t currentNextIndicator;
    uint8_t sectionNumber;
    uint8_t lastSectionNumber;
    uint16_t pcrPid;
    uint16_t programInfoLength;
    uint8_t streamCount;
    uint8_t streamType[kTsMaxStreams];
    uint16_t streamPid[kTsMaxStreams];
    uint16_t esInfoLength[kTsMaxStreams];
};

// One Blu-ray linear PCM stream (stream type 0x80). Zero-fill before use.
struct BdLpcmInfo {
    char codec[32];         // "LinearPCM"
    double sampleRate;      // Hz
    uint16_t bitsPerSample; // 16, 20 or 24
    double channels;        // the LFE counted as 0.1 (5.1)
    char channelConfig[5];  // front/rear, "3/2"
    char channelOrder[30];  // "C+L+R+BL+BR+LFE"
    double bitRate;         // bits per second
};

// The file analyser: opens the record's file, sets formatName "MPEG2-TS"
// and fileSize and scans the whole file (format code 17, registered as
// analyzeMpegTransportStream in analysers.h).
void analyzeMpegTsFile(AnalysisRecord& record);

// Analyses the region [start, end) of the open file (clamped to the file;
// an inverted region is empty): video and audio lines prefixed with the
// stream's PID as "%04X ", the extra line "188Pct" or "192Pct" and, when a
// pair of video PTS is found, `duration`. On failure `errorText`. The
// reader is back at its entry position on return. True on success.
bool scanMpegTransportStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end);

// 188 when two sync bytes 188 apart are found, 192 when two are found 192
// apart 4 bytes further in (the 188 test first at each position), else 0.
// Never reads past `length`.
int detectTsPacketSize(const uint8_t* bytes, size_t length);

// A PAT section (from table_id on; `section` ends where the packet does).
// Used only with table_id 0, section_syntax_indicator 1 and
// current_next_indicator 1. Appends the program map PIDs of its entries
// (not the network PID: program_number 0, or PID 0x0010) to `list`, at most
// kTsMaxPrograms in all; entries are read only where the section's length
// and the bytes given both hold them. Returns how many were appended.
size_t parseTsPat(Bytes section, TsProgramList& list);

// A PMT section (from table_id on). False unless table_id is 2. Fills the
// fixed fields and lists the entries of the listed stream types (0x02,
// 0x04, 0x0F, 0x1B, 0x80-0x87, 0xA1, 0xA2), at most kTsMaxStreams; an
// entry is read only when its five bytes lie before the CRC_32 and within
// the bytes given. True when at least one entry is listed.
bool parseTsPmt(Bytes section, TsProgram& program);

// The PTS of a PES header at the start of `payload` when it is one of video
// stream 0xE0 with PTS_DTS_flags 2 or 3; false otherwise.
bool readVideoPts(Bytes payload, uint64_t& pts);

// The Blu-ray LPCM audio data header: the four bytes at the reader's
// position, peeked without moving it. False (later fields left 0) for an
// unknown sampling frequency or bits-per-sample code.
bool parseBdLpcmHeader(BdLpcmInfo& info, FileReader& reader);
bool parseBdLpcmHeader(BdLpcmInfo& info, Bytes fourBytes);

// The description line: FORMAT.INI [MPEG2-TS] key LPCM with its
// placeholders filled, at most outSize - 1 (and at most 511) bytes.
void describeTsLpcm(char* out, size_t outSize, const BdLpcmInfo& info);
std::string describeTsLpcm(const BdLpcmInfo& info, size_t outSize = 512);

}  // namespace vesko
