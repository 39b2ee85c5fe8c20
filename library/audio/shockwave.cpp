// Shockwave Audio: MPEG audio behind a Director header. The file begins
// with the header's length (32 bits, big-endian) and the header; the MPEG
// audio that follows is analysed as an ".mp3" file's would be.
#include <algorithm>
#include <array>
#include <cstring>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "mpeg_audio.h"
#include "small_audio.h"

namespace vesko {

namespace {

constexpr size_t kSyncWindowBytes = 2048;

}  // namespace

void analyzeShockwaveAudio(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;
    setFormatName(record, "Shockwave Audio");

    // The header's length, then the header.
    const uint64_t base = passLeadingId3v2(reader);
    uint8_t length[4] = {};
    const size_t got = reader.read(length, sizeof length, true);
    const uint64_t audioStart = base + sizeof length + (got == sizeof length ? readU32BE(Bytes(length), 0) : 0);
    reader.seek(static_cast<int64_t>(std::min(audioStart, reader.size)), 0);

    MpegAudioInfo info{};
    info.tags.scanEndTags = 1;
    scanTags(reader, info.tags);
    const uint64_t tagEnd = info.tags.hasId3v2 ? info.tags.id3v2Offset + info.tags.id3v2Size : 0;
    if (info.tags.hasId3v2) reader.seek(static_cast<int64_t>(std::min(tagEnd, reader.size)), 0);

    std::array<uint8_t, kSyncWindowBytes> window{};
    const size_t held = reader.read(window.data(), window.size(), false);
    const int32_t sync = findMpegAudioSync(Bytes(window.data(), held), 0);
    if (sync < 0) {
        setErrorText(record, jp("[ShockwaveAudio-MP3] シーケンスヘッダが見つかりません"));
        return;
    }
    info.syncOffset = static_cast<uint32_t>(sync);
    info.computeDuration = 1;
    // The audio region: the Director header is no audio (the tags are taken
    // off by the stream reader).
    info.streamBytes = reader.size - std::min(audioStart, reader.size);
    reader.seek(static_cast<int64_t>(std::min(info.tags.hasId3v2 ? tagEnd : audioStart, reader.size)), 0);
    if (!readMpegAudioStream(info, reader)) {
        setErrorText(record, jp("[ShockwaveAudio-MP3] 不正なシーケンスヘッダです"));
        return;
    }
    reader.close();
    addAudioText(record, describeMpegAudio(info));
    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
    record.duration = info.duration;
}

}  // namespace vesko
