// Vorbis comments (the comment header of Vorbis and Theora in Ogg, the
// VORBIS_COMMENT block of FLAC): which kinds of tag information they hold.
// The comment texts themselves are not kept.
#pragma once

#include "../io.h"
#include "tags.h"

namespace vesko {

// Reads the comment data (vendor length, vendor text, comment count, then
// for each comment a 32-bit length and its text; lengths little-endian) and
// sets in `tags`: hasVorbisComment when the count is not 0; hasCueSheet for
// a comment that begins with "CUE_TRACK" or "CUESHEET"; hasCommentChapters
// and commentChapterCount (the decimal number after "CHAPTER" of the last
// such comment, held at INT32_MAX) for one that begins with "CHAPTER".
// Names are compared ignoring case. Every length is bounded by `data`: a
// length that runs past its end ends the reading, keeping what was found.
void readVorbisComments(Bytes data, TagInfo& tags);

}  // namespace vesko
