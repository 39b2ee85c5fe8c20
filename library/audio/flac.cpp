// Native FLAC: the metadata blocks that follow the "fLaC" marker. STREAMINFO
// gives the stream parameters and the total sample count; VORBIS_COMMENT
// feeds the tag summary; CUESHEET and PICTURE blocks are counted. The play
// time is the total sample count over the sample rate, the bit rate covers
// the bytes after the metadata.
//
// The walk is bounded by the file: every block moves it at least four bytes
// forward, it ends at the end of the file whether or not the last block has
// been met, and only the blocks whose contents are used are read (a block's
// buffer never exceeds the bytes the file still holds).
#include "flac.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <new>
#include <vector>

#include "../analysers.h"
#include "../checked.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"
#include "../window_reader.h"
#include "vorbis_comment.h"

namespace vesko {

namespace {

constexpr size_t kMarkerBytes = 4;        // "fLaC"
constexpr size_t kBlockHeaderBytes = 4;   // last flag + type, 24-bit length
constexpr size_t kStreamInfoBytes = 18;   // up to the end of the total sample count

void fail(FlacInfo& info, std::string_view text) { copyText(info.message, sizeof info.message, text); }

}  // namespace

bool decodeFlacStreamInfo(Bytes block, FlacInfo& info) {
    if (block.size() < kStreamInfoBytes) return false;
    // Bytes 10 to 17: sample rate (20 bits), channels - 1 (3), bits per
    // sample - 1 (5), total samples (36).
    const std::string bits = bytesToBits(block.subspan(10, 8));
    info.sampleRate = static_cast<uint32_t>(bitsAt(bits, 0, 20));
    info.channels = static_cast<uint32_t>(bitsAt(bits, 20, 3)) + 1;
    info.bitDepth = static_cast<uint32_t>(bitsAt(bits, 23, 5)) + 1;
    info.totalSamples = bitsAt(bits, 28, 36);
    info.hasStreamInfo = 1;
    return true;
}

bool readFlacMetadata(FlacInfo& info, FileReader& reader) {
    const uint64_t fileSize = reader.size;
    WindowReader<> window(reader);
    uint64_t offset = reader.tell() + kMarkerBytes;
    for (bool last = false; !last;) {
        uint8_t header[kBlockHeaderBytes] = {};
        if (window.get(offset, header, sizeof header) < sizeof header) break;  // the file ends first
        last = (header[0] & 0x80) != 0;
        const int type = header[0] & 0x7F;
        const uint32_t length = readU24BE(Bytes(header), 1);
        const uint64_t body = offset + kBlockHeaderBytes;
        if (type > kFlacPicture) {
            fail(info, format(jp("[FLAC] 不明なBlockType(%d)"), type));
            return false;
        }
        switch (type) {
            case kFlacStreamInfo: {
                uint8_t bytes[kStreamInfoBytes] = {};
                const size_t got = window.get(body, bytes, std::min<size_t>(length, sizeof bytes));
                decodeFlacStreamInfo(Bytes(bytes, got), info);  // a shorter block gives nothing
                break;
            }
            case kFlacVorbisComment: {
                // No more than the file still holds: a length past the end
                // must not size the buffer.
                const uint64_t available = body < fileSize ? fileSize - body : 0;
                const size_t size = static_cast<size_t>(std::min<uint64_t>(length, available));
                std::vector<uint8_t> bytes;
                try {
                    bytes.resize(size);
                } catch (const std::bad_alloc&) {
                    fail(info, jp("[FLAC] ブロックデータ読み込みバッファの確保に失敗しました"));
                    return false;
                }
                reader.seek(static_cast<int64_t>(body), 0);
                bytes.resize(reader.read(bytes.data(), bytes.size(), false));
                readVorbisComments(Bytes(bytes), info.tags);
                break;
            }
            case kFlacCueSheet: info.cueSheetCount += 1; break;
            case kFlacPicture: info.pictureCount += 1; break;
            default: break;  // PADDING, APPLICATION, SEEKTABLE
        }
        offset = body + length;
    }

    // The first byte after the metadata; a block that runs past the end of a
    // cut file leaves no audio bytes.
    const uint64_t end = std::min(offset, fileSize);
    reader.seek(static_cast<int64_t>(end), 0);
    info.streamBytes = info.streamBytes > end ? info.streamBytes - end : 0;

    if (info.computeDuration) {
        // A total sample count of 0 means the encoder did not know it (a
        // stream written to a pipe): the play time is not known.
        if (info.hasStreamInfo && info.totalSamples != 0) {
            info.duration = checkedDiv(static_cast<double>(info.totalSamples), static_cast<double>(info.sampleRate));
            info.bitRate = static_cast<double>(info.streamBytes) * 8.0 / info.duration;
        } else {
            info.duration = -1.0;
            info.bitRate = 0.0;
        }
    }
    return true;
}

std::string describeFlac(const FlacInfo& info, size_t outSize) {
    std::string line = lookupTemplate("AUDIO", "FLAC", u"FORMAT.INI", outSize);
    replacePlaceholder(line, "#sampleratek#", format("%.2f", info.sampleRate * 0.001), outSize);
    replacePlaceholder(line, "#samplerate#", format("%" PRIu32, info.sampleRate), outSize);
    replacePlaceholder(line, "#bitdepth#", format("%" PRIu32, info.bitDepth), outSize);
    replacePlaceholder(line, "#channel#", format("%" PRIu32, info.channels), outSize);
    replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001), outSize);
    replacePlaceholder(line, "#bitrate#", format("%.2f", info.bitRate), outSize);
    return line;
}

void describeFlac(char* out, size_t outSize, const FlacInfo& info) {
    if (out && outSize) copyText(out, outSize, describeFlac(info, std::min(outSize, kTemplateBytes)));
}

void analyzeFlac(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    FlacInfo info{};
    info.streamBytes = reader.size;
    info.computeDuration = 1;

    // Identification looks past a leading ID3v2 tag, so the walk starts
    // after such tags too (all of them; the summary line names them).
    scanTags(reader, info.tags);
    if (info.tags.hasId3v2)
        reader.seek(static_cast<int64_t>(std::min(info.tags.id3v2Offset + info.tags.id3v2Size, reader.size)), 0);

    if (!readFlacMetadata(info, reader)) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    reader.close();

    record.duration = info.duration;
    addAudioText(record, describeFlac(info));

    std::string contents;
    if (info.cueSheetCount != 0) contents = "CueSheet";
    if (info.pictureCount != 0) {
        if (!contents.empty()) contents += " / ";
        contents += format("Picture(%d)", info.pictureCount);
    }
    if (!contents.empty()) addExtraText(record, contents);

    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
