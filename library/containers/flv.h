// Flash Video: the description lines and the AMF0 reader of script tags.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "../io.h"
#include "../templates.h"
#include "riff_streams.h"

namespace vesko {

// Values read from script data (AMF0): a name and a number or a text.
struct AmfEntry {
    char name[256];      // at most 255 bytes
    uint8_t type;        // 1 number, 2 text, 0 nothing read yet
    double number;
    char text[256];      // type 2, at most 255 bytes
};

// The values read so far. Reading a name writes it into the entry at
// `count`; reading a value fills that entry and moves `count` on. A full
// table stores nothing more (the values are still read and passed over).
struct AmfTable {
    static constexpr size_t kCapacity = 256;
    // Nested arrays deeper than this, or more values than kMaxValues over
    // the life of the table, make readAmfValue fail: a hostile script tag
    // can neither exhaust the stack nor make the key scan quadratic.
    static constexpr size_t kMaxDepth = 32;
    static constexpr size_t kMaxValues = 1u << 16;

    std::vector<AmfEntry> entries = std::vector<AmfEntry>(kCapacity);
    size_t count = 0;
    size_t valuesRead = 0;

    void setName(std::string_view name);
    void storeNumber(double value);
    void storeText(std::string_view value);
};

// Reads one AMF0 value (type byte first) from `bytes` into the table; the
// bytes consumed, 0 on failure (an empty or truncated text, a truncated
// number, an array property with an empty name, a value that does not lie
// inside `bytes`, nesting deeper than AmfTable::kMaxDepth).
size_t readAmfValue(Bytes bytes, AmfTable& table);

// FORMAT.INI [FLASHVIDEO] "FLL" when `profile` is not empty, "FLV"
// otherwise: #width#, #height#, #codec#, #profile#, #framerate#,
// #bitratek#, #bitrate#.
std::string describeFlashVideoVideo(const VideoStreamInfo& info, std::string_view profile,
                                    size_t outSize = kTemplateBytes);
void describeFlashVideoVideo(char* out, size_t outSize, const VideoStreamInfo& info, const char* profile);

// FORMAT.INI [FLASHVIDEO] AUDIO with the placeholders of describeRiffAudio.
std::string describeFlashVideoAudio(const AudioStreamInfo& info, size_t outSize = kTemplateBytes);
void describeFlashVideoAudio(char* out, size_t outSize, const AudioStreamInfo& info);

// Codec texts of an audio tag's sound format and a video tag's codec
// identifier ("Unknown(%d)" outside the tables).
std::string flashAudioCodecText(unsigned soundFormat);
std::string flashVideoCodecText(unsigned codecId);

}  // namespace vesko
