// The RIFF analyser's shared walk pieces (a cached reader of chunk
// headers, identifiers, the state handed to a form's branch) and the
// branches for the forms other than AVI and WAVE: MIDI (RMID), MP3 (RMP3),
// a CD audio track (CDDA), Video CD (CDXA), Qualcomm PureVoice (QLCM) and
// the FORM files AIFF and AIFF-C.
//
// analyzeRiff (riff.cpp) reads the RIFF or FORM header and hands the
// reader, positioned after the 12-byte header, to the branch of the form.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "../audio/tags.h"
#include "../io.h"
#include "../templates.h"
#include "riff_streams.h"
#include "vesko.h"

namespace vesko {

namespace riff {

// ---- a cached, positioned view of the file ----

// Serves the walks' small reads (identifiers, sizes, headers) from a block
// of the file, so that stepping over unknown bytes one at a time costs no
// system call per step. Reads never go past the end of the file; what
// lies beyond reads as nothing. The reader's own position is separate from
// the file's: callers that hand the file to another decoder seek it first.
class ChunkReader {
public:
    explicit ChunkReader(FileReader& file) : file_(file), block_(kBlockBytes) {}

    uint64_t tell() const { return position_; }
    uint64_t size() const { return file_.size; }
    void seek(uint64_t position) { position_ = position; }
    void skip(uint64_t count) { position_ = count > UINT64_MAX - position_ ? UINT64_MAX : position_ + count; }

    // Copies up to count bytes from the position into dest without moving;
    // returns how many there were.
    size_t peek(uint8_t* dest, size_t count) {
        if (position_ >= file_.size) return 0;
        const uint64_t left = file_.size - position_;
        if (count > left) count = static_cast<size_t>(left);
        if (count > kBlockBytes) {
            file_.seek(static_cast<int64_t>(position_), 0);
            return file_.read(dest, count, false);
        }
        if (position_ < blockStart_ || position_ + count > blockStart_ + blockLength_) fill();
        const size_t offset = static_cast<size_t>(position_ - blockStart_);
        const size_t n = std::min(count, blockLength_ - std::min(offset, blockLength_));
        if (n) std::memcpy(dest, block_.data() + offset, n);
        return n;
    }

    size_t read(uint8_t* dest, size_t count) {
        const size_t n = peek(dest, count);
        position_ += n;
        return n;
    }

    // A 32-bit little-endian value; missing bytes read as 0.
    uint32_t readU32() {
        uint8_t b[4] = {};
        read(b, 4);
        return readU32LE(Bytes(b), 0);
    }

private:
    static constexpr size_t kBlockBytes = 65536;

    void fill() {
        file_.seek(static_cast<int64_t>(position_), 0);
        blockStart_ = position_;
        blockLength_ = file_.read(block_.data(), kBlockBytes, false);
    }

    FileReader& file_;
    std::vector<uint8_t> block_;
    uint64_t blockStart_ = 0;
    size_t blockLength_ = 0;
    uint64_t position_ = 0;
};

// ---- identifiers ----

using FourCC = std::array<uint8_t, 4>;

// Identifiers are compared without regard to letter case.
inline bool is(const FourCC& id, const char* text) { return equalsAtNoCase(Bytes(id), 0, text); }

inline bool isAnyOf(const FourCC& id, std::initializer_list<const char*> texts) {
    for (const char* t : texts)
        if (is(id, t)) return true;
    return false;
}

// The four characters, cut at the first NUL.
inline std::string idText(const FourCC& id) {
    std::string text(reinterpret_cast<const char*>(id.data()), 4);
    return text.substr(0, text.find('\0'));
}

// ---- the state shared by every form ----

struct RiffContext {
    AnalysisRecord& record;
    FileReader& file;
    ChunkReader& in;
    TagInfo& tags;
    uint64_t headerOffset;  // where "RIFF" or "FORM" stands
    uint64_t riffLength;    // its size + 8
    FourCC form;            // the form type
};

// A branch returns false when it ended with an error that skips the exit
// (no tag line).
using FormBranch = bool (*)(RiffContext&);

// The branches of riff_forms.cpp.
bool walkRmid(RiffContext& c);
bool walkRmp3(RiffContext& c);
bool walkCdda(RiffContext& c);
bool walkCdxa(RiffContext& c);
bool walkAiff(RiffContext& c);  // "AIFF" and "AIFC"
bool walkQcp(RiffContext& c);

}  // namespace riff

// ---- AIFF and AIFF-C ----

// The common chunk ("COMM"), big-endian: channels (16 bits at 0), sample
// frames (32 bits at 2), sample size (16 bits at 6), sample rate (80-bit
// extended float at 8); in an AIFF-C file the compression type follows
// (four characters at 18).
inline constexpr size_t kAiffCommonBytes = 18;
inline constexpr size_t kAifcCommonBytes = 22;

struct AiffCommon {
    uint16_t channels;
    uint32_t sampleFrames;  // as stored: packets for the packet-coded AIFF-C types
    uint16_t sampleSize;    // bits
    double sampleRate;      // Hz
    char compression[5];    // AIFF-C compression type and a NUL; empty for AIFF
};

// Decodes a common chunk's bytes; fields beyond the end of `bytes` read as
// 0 (the compression type as empty). `aifc`: the chunk of a FORM AIFC file.
AiffCommon parseAiffCommon(Bytes bytes, bool aifc);

// Samples that one stored "sample frame" stands for. The packet-coded
// AIFF-C types count packets in the common chunk: "ima4" 64 samples per
// packet, "MAC3" and "MAC6" 6, "GSM " 160. Every other type (AIFF, "NONE",
// "sowt", "ulaw", "alaw", "fl32", ...) counts samples: 1.
uint32_t aiffSamplesPerFrame(const char* compression);

// FORMAT.INI [AIFF] AUDIO with #sampleratek#, #samplerate#, #bitdepth#,
// #channel#, #bitratek#, #bitrate# filled (no codec).
std::string describeAiffAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes);
void describeAiffAudio(char* out, size_t outSize, const AudioStreamInfo& info);

// ---- Qualcomm PureVoice (QCP, RFC 3625) ----

// The format chunk ("fmt "), little-endian: codec name (80 bytes of text
// at 20), average bits per second (16 bits at 100), packet size (102),
// block size (104), sampling rate (106), sample size (108).
inline constexpr size_t kQcpFormatBytes = 110;

struct QcpFormat {
    char codec[81];  // the codec name, NUL-terminated (at most 80 bytes)
    uint16_t averageBitsPerSecond;
    uint16_t sampleRate;
    uint16_t sampleSize;
};

// Decodes a format chunk's bytes; fields beyond the end of `bytes` read as 0.
QcpFormat parseQcpFormat(Bytes bytes);

// FORMAT.INI [PUREVOICE] AUDIO with #codec#, #sampleratek#, #samplerate#,
// #bitdepth#, #channel#, #bitratek#, #bitrate# filled.
std::string describePureVoiceAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes);
void describePureVoiceAudio(char* out, size_t outSize, const AudioStreamInfo& info);

}  // namespace vesko
