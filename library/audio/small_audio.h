// Audio formats with small fixed headers: Monkey's Audio, TTA, OptimFROG,
// Musepack stream version 7, TwinVQ, Sun/NeXT audio (and Shockwave Audio,
// which is MPEG audio behind a header of its own and needs no record here).
// Each format has a value record (zero-fill it before use), a header reader
// and a description line built from FORMAT.INI.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "../io.h"
#include "../templates.h"
#include "tags.h"

namespace vesko {

// Passes over one ID3v2 tag at the start of the file when there is one, as
// identification does before it looks for a format's marker; returns the
// offset of the format's first byte, where the reader is left.
inline uint64_t passLeadingId3v2(FileReader& reader) {
    reader.rewind();
    uint8_t marker[3] = {};
    if (reader.read(marker, sizeof marker, false) == sizeof marker && equalsAtNoCase(Bytes(marker), 0, "ID3"))
        reader.skipLeadingId3v2();
    return reader.tell();
}

// Small reads at rising offsets through one buffered block of the file, so
// that a walk over short chunks costs one read of the file per block.
class ReadWindow {
public:
    static constexpr size_t kBytes = 4096;
    explicit ReadWindow(FileReader& reader) : reader_(reader) {}

    // Up to n (at most kBytes) bytes at offset into out; returns how many
    // the file holds there.
    size_t get(uint64_t offset, uint8_t* out, size_t n) {
        n = std::min(n, kBytes);
        if (offset >= reader_.size) return 0;
        if (offset < start_ || offset - start_ + n > length_) {
            reader_.seek(static_cast<int64_t>(offset), 0);
            length_ = reader_.read(bytes_, sizeof bytes_, false);
            start_ = offset;
        }
        const size_t at = static_cast<size_t>(offset - start_);
        const size_t have = at < length_ ? std::min(n, length_ - at) : 0;
        std::memcpy(out, bytes_ + at, have);
        return have;
    }

private:
    FileReader& reader_;
    uint8_t bytes_[kBytes] = {};
    uint64_t start_ = 0;
    size_t length_ = 0;
};

// ---- Monkey's Audio ----

struct ApeInfo {
    uint32_t sampleRate;       // Hz
    uint16_t bitDepth;         // bits per sample
    uint16_t channels;
    double bitRate;            // bits per second
    uint32_t totalFrames;      // frames in the file
    char compressionName[16];  // "Fast" ... "Insane", "Unknown", "Invalid"
    double duration;           // seconds
    uint64_t streamBytes;      // input: the file size less the tags that are no audio
    uint64_t totalBlocks;      // samples per channel
    TagInfo tags;
    uint8_t computeDuration;   // input: compute bitRate
};

constexpr size_t kApeHeaderBytes = 80;

// Decodes the header (old layout below version 3.98, descriptor layout
// from it) at the start of `header`; missing bytes count as zero. Sets the
// play time (a sample rate of 0 is an ArithmeticFault) and, with
// computeDuration, the bit rate.
void decodeApeHeader(Bytes header, ApeInfo& info);
// Reads 80 bytes at the reader's position and decodes them (always true).
bool readApeHeader(ApeInfo& info, FileReader& reader);
// Blocks per frame of an old-layout header.
uint32_t apeBlocksPerFrame(uint16_t version, uint16_t compressionLevel);
const char* apeCompressionName(uint16_t compressionLevel);
std::string describeApe(const ApeInfo& info, size_t outSize = kTemplateBytes);
void describeApe(char* out, size_t outSize, const ApeInfo& info);

// ---- TTA ----

struct TtaInfo {
    uint16_t version;       // 1, 2 or 3
    uint16_t channels;
    uint16_t bitDepth;
    uint32_t sampleRate;    // Hz
    uint32_t sampleCount;   // samples per channel
    double bitRate;         // bits per second
    double duration;        // seconds
    TagInfo tags;
    uint64_t streamBytes;   // input: the file size less the tags; the header is taken off
    uint8_t computeDuration;
    char message[256];      // failure text (code page 932)
};

constexpr size_t kTtaHeaderBytes = 26;

// Decodes the header at the start of `header` (missing bytes count as
// zero). False with `message` set for an unknown version byte.
bool readTtaHeader(Bytes header, TtaInfo& info);
std::string describeTta(const TtaInfo& info, size_t outSize = kTemplateBytes);
void describeTta(char* out, size_t outSize, const TtaInfo& info);

// ---- OptimFROG ----

struct OfrInfo {
    char streamMode[32];          // "SingleStream" or "DualStream"
    uint16_t bitDepth;
    uint16_t channels;
    uint32_t sampleRate;          // Hz
    double bitRate;               // bits per second
    char compressionName[10];     // "Fast" ... "Bestnew"; empty for a 12-byte "OFR " chunk
    char speedName[3];            // "1x", "2x", "4x"; empty likewise
    char16_t correctionName[256]; // input: the ".ofc" file beside the ".ofr"
    double duration;              // seconds
    uint64_t sampleCount;         // over all channels
    char message[256];            // failure text (code page 932)
};

// Walks the chunks from the reader's position to the end of the file and
// fills `info`. False with `message` set for an unknown compression or
// speed mode.
bool readOfrChunks(OfrInfo& info, FileReader& reader);
std::string describeOptimFrog(const OfrInfo& info, size_t outSize = kTemplateBytes);
void describeOptimFrog(char* out, size_t outSize, const OfrInfo& info);

// ---- Musepack (stream version 7) ----

struct MpcInfo {
    uint32_t streamVersion;   // low 4 bits of the version byte
    int32_t minorVersion;     // high 4 bits
    uint32_t sampleRate;      // Hz
    uint32_t channels;        // always 2
    char stereoMode[16];      // "/I+MS", "/MS", "/I" or empty
    double bitRate;           // bits per second
    double duration;          // seconds
    uint64_t totalSamples;    // samples per channel
    uint64_t streamBytes;     // input: the file size; the header is taken off
    uint8_t computeDuration;
    char message[256];
};

constexpr size_t kMpcHeaderBytes = 30;

void decodeMpcHeader(Bytes header, MpcInfo& info);
// Reads 30 bytes at the reader's position and decodes them (always true).
bool readMpcHeader(MpcInfo& info, FileReader& reader);
std::string describeMusePack(const MpcInfo& info, size_t outSize = kTemplateBytes);
void describeMusePack(char* out, size_t outSize, const MpcInfo& info);

// ---- TwinVQ ----

struct TwinVqInfo {
    int64_t channels;
    int64_t bitRate;          // bits per second (the header's kbit/s times 1,000)
    int32_t sampleRate;       // Hz
    uint32_t securityLevel;
    char version[9];          // the 8 characters after "TWIN"
    char codec[64];           // CODECS.INI [VQ] name of the version
    double duration;          // seconds
    char message[256];
    uint64_t streamBytes;     // input: the file size (from the reader's position)
};

// Reads the header and the chunks from the reader's position up to "DATA".
// False with `message` set when the file does not begin "TWIN" or the
// sampling code is unknown. A bit rate of 0 is an ArithmeticFault.
bool readTwinVqHeader(TwinVqInfo& info, FileReader& reader);
std::string describeTwinVq(const TwinVqInfo& info, size_t outSize = kTemplateBytes);
void describeTwinVq(char* out, size_t outSize, const TwinVqInfo& info);

// ---- Sun/NeXT audio ----

struct AuInfo {
    uint32_t sampleRate;      // Hz
    uint32_t channels;
    uint32_t bitDepth;        // by encoding
    uint32_t encoding;        // the header's encoding number
    char codec[256];          // CODECS.INI [AU] name of the encoding
    double bitRate;           // bits per second
    double duration;          // seconds; -1 when the byte rate is 0
    uint64_t dataOffset;
    uint64_t dataSize;        // bytes of audio; a stored 0xFFFFFFFF (not known) becomes the file's bytes after the header
    uint64_t fileBytes;       // input: bytes from the header to the end of the file
    char message[256];
};

constexpr size_t kAuHeaderBytes = 32;

void decodeAuHeader(Bytes header, AuInfo& info);
// Reads 32 bytes at the reader's position and decodes them (always true).
bool readAuHeader(AuInfo& info, FileReader& reader);
uint32_t auBitDepth(uint32_t encoding);
std::string describeAu(const AuInfo& info, size_t outSize = kTemplateBytes);
void describeAu(char* out, size_t outSize, const AuInfo& info);

}  // namespace vesko
