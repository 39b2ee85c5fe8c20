#include "tags.h"

#include <cstdio>

namespace vesko {

namespace {

constexpr int kMaxId3v2Tags = 4096;

// 10 + the synchsafe size of an ID3v2 header (7 low bits of bytes 6 to 9).
uint64_t id3v2TotalSize(const uint8_t* h) {
    return 10 + ((uint64_t{h[6] & 0x7Fu} << 21) | (uint64_t{h[7] & 0x7Fu} << 14) | (uint64_t{h[8] & 0x7Fu} << 7) |
                 (h[9] & 0x7Fu));
}

// Bytes [end - count, end) of the file; false when they cannot all be read.
bool readBefore(FileReader& reader, uint64_t end, uint8_t* out, size_t count) {
    if (end < count) return false;
    reader.seek(static_cast<int64_t>(end - count), 0);
    return reader.read(out, count, false) == count;
}

uint32_t leadingDecimal(const uint8_t* text, size_t count) {
    uint32_t v = 0;
    for (size_t i = 0; i < count && text[i] >= '0' && text[i] <= '9'; ++i) v = v * 10 + (text[i] - '0');
    return v;
}

}  // namespace

void scanTags(FileReader& reader, TagInfo& tags) {
    const uint64_t savedPosition = reader.position;
    const bool savedAtEnd = reader.atEnd;

    uint8_t head[16] = {};
    if (reader.read(head, sizeof head, false) >= 10 && equalsAtNoCase(head, 0, "ID3")) {
        tags.hasId3v2 = 1;
        tags.id3v2Offset = reader.position;
        tags.id3v2Size = id3v2TotalSize(head);
        tags.id3v2Count += 1;
    }
    if (tags.hasId3v2) {
        uint64_t next = tags.id3v2Offset + tags.id3v2Size;
        // A run of empty tags cannot keep the scan busy for long.
        for (int guard = 0; guard < kMaxId3v2Tags; ++guard) {
            reader.seek(static_cast<int64_t>(next), 0);
            uint8_t more[16] = {};
            if (reader.isAtEnd() || reader.read(more, sizeof more, false) < 10 || !equalsAtNoCase(more, 0, "ID3")) break;
            uint64_t size = id3v2TotalSize(more);
            tags.id3v2Size += size;
            tags.id3v2Count += 1;
            next += size;
        }
    }
    tags.scanned = 1;

    if (tags.scanEndTags) {
        const uint64_t fileSize = reader.size;
        uint64_t end = fileSize;  // tags are looked for just before this offset
        uint8_t tail[128] = {};
        if (readBefore(reader, end, tail, sizeof tail) && equalsAtNoCase(tail, 0, "TAG") &&
            !equalsAtNoCase(tail, 96, "APETAGEX")) {
            tags.hasId3v1 = 1;
            tags.id3v1Size = 128;
            tags.id3v1Offset = fileSize - 128;
            end = fileSize - 128;
        }
        uint8_t marker[9] = {};
        if (readBefore(reader, end, marker, sizeof marker) && equalsAtNoCase(marker, 0, "LYRICS200")) {
            uint8_t digits[6] = {};
            uint64_t sizeAt = end - 9;
            uint32_t n = readBefore(reader, sizeAt, digits, sizeof digits) ? leadingDecimal(digits, sizeof digits) : 0;
            uint64_t begin = sizeAt >= 6 + uint64_t{n} ? sizeAt - 6 - n : 0;
            uint8_t opening[11] = {};
            reader.seek(static_cast<int64_t>(begin), 0);
            if (reader.read(opening, sizeof opening, false) == sizeof opening &&
                equalsAtNoCase(opening, 0, "LYRICSBEGIN")) {
                tags.hasLyrics3 = 1;
                tags.lyrics3Size = n + 15;
                tags.lyrics3Offset = begin;
            }
            end = begin;
        }
        uint8_t footer[32] = {};
        if (readBefore(reader, end, footer, sizeof footer) && equalsAtNoCase(footer, 0, "APETAGEX")) {
            tags.hasApe = 1;
            tags.apeSize = readU32LE(footer, 12);
            uint64_t footerOffset = end - 32;
            tags.apeOffset = footerOffset >= tags.apeSize ? footerOffset - tags.apeSize : 0;
        }
    }

    reader.position = savedPosition;
    reader.atEnd = savedAtEnd;
}

std::string formatTagSummary(const TagInfo& tags, size_t outSize) {
    std::string out;
    auto add = [&](bool present, const std::string& name) {
        if (!present) return;
        if (!out.empty()) out += " / ";
        out += name;
    };
    auto chapters = [](int32_t count) {
        char text[16];
        std::snprintf(text, sizeof text, "Chapter(%d)", count);
        return std::string(text);
    };
    add(tags.hasId3v1, "ID3v1");
    add(tags.hasId3v2, "ID3v2");
    add(tags.hasApe, "APE");
    add(tags.hasLyrics3, "Lyrics3");
    add(tags.hasInfoTag, "INFOTAG");
    add(tags.hasVorbisComment, "VorbisComment");
    add(tags.hasCueSheet, "CueSheet");
    add(tags.hasCommentChapters, chapters(tags.commentChapterCount));
    add(tags.hasMetaData, "MetaData");
    add(tags.hasChapterTrack, chapters(tags.chapterTrackCount));
    if (outSize == 0) return std::string();
    if (out.size() > outSize - 1) out.resize(outSize - 1);
    return out;
}

}  // namespace vesko
