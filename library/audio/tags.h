// Where the tags of an audio file lie: ID3v2 at the start; APE, Lyrics3
// and ID3v1 at the end. Container analysers add the kinds they meet (RIFF
// INFO, Vorbis comments, cue sheets, chapters, QuickTime metadata) so that
// one summary line covers them all.
#pragma once

#include <cstdint>
#include <string>

#include "../io.h"

namespace vesko {

struct TagInfo {
    uint8_t scanEndTags;  // input: also look at the end of the file
    uint8_t scanned;
    uint8_t hasId3v1;
    uint64_t id3v1Offset;
    uint32_t id3v1Size;
    uint8_t hasId3v2;
    uint64_t id3v2Offset;
    uint64_t id3v2Size;  // all consecutive ID3v2 tags, headers included
    uint32_t id3v2Count;
    uint8_t hasApe;
    uint64_t apeOffset;
    uint32_t apeSize;  // the footer's tag-size field
    uint8_t hasLyrics3;
    uint64_t lyrics3Offset;
    uint32_t lyrics3Size;
    uint8_t hasInfoTag;
    uint8_t hasVorbisComment;
    uint8_t hasCueSheet;
    uint8_t hasCommentChapters;
    int32_t commentChapterCount;
    uint8_t hasMetaData;
    uint8_t hasChapterTrack;
    int32_t chapterTrackCount;
};

// Finds the tags from the reader's position (ID3v2) and, with scanEndTags,
// at the end of the file. The reader's state is the same afterwards.
void scanTags(FileReader& reader, TagInfo& tags);

// "ID3v1 / ID3v2 / APE ..." for the kinds present; empty when none is.
// At most outSize - 1 bytes.
std::string formatTagSummary(const TagInfo& tags, size_t outSize = 512);

}  // namespace vesko
