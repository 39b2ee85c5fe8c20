#include "vorbis_comment.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace vesko {

namespace {

bool begins(Bytes text, std::string_view prefix) { return equalsAtNoCase(text, 0, prefix); }

}  // namespace

void readVorbisComments(Bytes data, TagInfo& tags) {
    size_t pos = 0;
    auto length = [&](uint32_t& value) {
        if (data.size() - pos < 4) return false;
        value = readU32LE(data, pos);
        pos += 4;
        return true;
    };
    uint32_t vendorLength = 0, count = 0;
    if (!length(vendorLength) || vendorLength > data.size() - pos) return;
    pos += vendorLength;
    if (!length(count)) return;
    if (count != 0) tags.hasVorbisComment = 1;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t size = 0;
        if (!length(size) || size > data.size() - pos) return;
        const Bytes comment = data.subspan(pos, size);
        pos += size;
        if (begins(comment, "CUE_TRACK") || begins(comment, "CUESHEET")) tags.hasCueSheet = 1;
        if (begins(comment, "CHAPTER")) {
            tags.hasCommentChapters = 1;
            int64_t number = 0;
            for (size_t k = 7; k < comment.size() && comment[k] >= '0' && comment[k] <= '9'; ++k)
                number = std::min<int64_t>(number * 10 + (comment[k] - '0'), INT32_MAX);
            tags.commentChapterCount = static_cast<int32_t>(number);
        }
    }
}

}  // namespace vesko
