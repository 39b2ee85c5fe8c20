// Matroska and WebM: the EBML walks.
//
// The element tree is walked three times, flat: descending into a master
// element means carrying on with the first element of its data, skipping
// means seeking past its data. The first walk reads the header elements up
// to the first Cluster (segment information, chapters, where each
// TrackEntry lies), the second each TrackEntry (number, type, content
// compression), the third the Clusters up to the first block of every
// video, audio and complex track. The track lines are written by
// matroska_tracks.cpp.
//
// Sizes come from the file and are never trusted: every step moves a walk
// at least two bytes forward, a skip past the end of the file ends it, an
// ID or size that cannot be read (first byte 00, or the end of the file)
// ends it, the all-ones "unknown" size is just a large size (the masters
// that carry it in practice, Segment and Cluster, are descended into, so
// it is never skipped), and every buffer sized from the file is capped.
#include "matroska.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "../analysers.h"
#include "../audio/wavpack.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

// ---- EbmlReader ----

size_t EbmlReader::read(uint8_t* out, size_t count) {
    size_t got = 0;
    if (count == 0) {
        // An empty element: its buffer may be no buffer at all.
    } else if (count <= kWindowBytes) {
        got = window_.get(position_, out, count);
    } else if (position_ < size()) {
        file_.seek(static_cast<int64_t>(position_), 0);
        got = file_.read(out, count, false);
    }
    position_ += got;
    return got;
}

bool EbmlReader::readByte(uint8_t& value) {
    value = 0;
    return read(&value, 1) == 1;
}

void EbmlReader::skip(uint64_t count) {
    const uint64_t end = size();
    if (position_ >= end || count >= end - position_)
        position_ = std::max(position_, end);
    else
        position_ += count;
}

// ---- EBML numbers ----

namespace {

// The length of an EBML number from its first byte: its leading zero bits
// plus one; 0 for the byte 00, which has no length marker.
unsigned ebmlLength(uint8_t first) {
    for (unsigned length = 1; length <= 8; ++length)
        if (first & (0x80u >> (length - 1))) return length;
    return 0;
}

// The bytes of one EBML number; false when its first byte is 00 or the file
// ends inside it.
bool readEbmlBytes(EbmlReader& reader, uint8_t (&bytes)[8], unsigned& length) {
    if (!reader.readByte(bytes[0])) return false;
    length = ebmlLength(bytes[0]);
    if (length == 0) return false;
    return reader.read(bytes + 1, length - 1) == length - 1;
}

}  // namespace

uint32_t readEbmlId(EbmlReader& reader) {
    uint8_t bytes[8] = {};
    unsigned length = 0;
    if (!readEbmlBytes(reader, bytes, length)) return kEbmlNoId;
    if (length > 4) return kEbmlLongId;
    return static_cast<uint32_t>(readUIntBE(Bytes(bytes, length), length));
}

uint64_t readEbmlSize(EbmlReader& reader) {
    uint8_t bytes[8] = {};
    unsigned length = 0;
    if (!readEbmlBytes(reader, bytes, length)) return kEbmlNoSize;
    bytes[0] &= static_cast<uint8_t>(0xFFu >> length);  // drop the marker bit
    return readUIntBE(Bytes(bytes, length), length);
}

uint64_t readEbmlUInt(EbmlReader& reader, uint64_t size) {
    const uint64_t start = reader.tell();
    uint8_t bytes[8] = {};
    const size_t got = reader.read(bytes, static_cast<size_t>(std::min<uint64_t>(size, 8)));
    reader.seek(start);
    reader.skip(size);
    return got ? readUIntBE(Bytes(bytes, got), got) : 0;
}

double readEbmlFloat(EbmlReader& reader, uint64_t size) {
    const uint64_t start = reader.tell();
    uint8_t bytes[8] = {};
    const size_t got = reader.read(bytes, static_cast<size_t>(std::min<uint64_t>(size, 8)));
    reader.seek(start);
    reader.skip(size);
    if (got != size || (size != 4 && size != 8)) return 0.0;
    return readFloatBE(Bytes(bytes, got), 0, got);
}

// ---- block header ----

MatroskaBlockHeader readBlockHeader(EbmlReader& reader, uint64_t blockSize) {
    MatroskaBlockHeader header;
    const uint64_t start = reader.tell();
    auto inside = [&] { return reader.tell() - start <= blockSize; };

    // The track number (an EBML number), the 16-bit timecode, the flags.
    if (readEbmlSize(reader) == kEbmlNoSize) return header;
    uint8_t fixed[3] = {};
    if (reader.read(fixed, sizeof fixed) != sizeof fixed || !inside()) return header;
    const unsigned lacing = (fixed[2] >> 1) & 3;

    if (lacing != 0) {
        uint8_t count = 0;
        if (!reader.readByte(count)) return header;
        header.frames = count + 1u;
        if (lacing == 1) {
            // Xiph: each size is a run of 255s and the byte that ends it.
            for (unsigned i = 0; i < count; ++i) {
                uint8_t value = 255;
                while (value == 255) {
                    if (!reader.readByte(value) || !inside()) return header;
                }
            }
        } else if (lacing == 3) {
            // EBML: the first size unsigned, the others as signed differences;
            // only their lengths matter here.
            for (unsigned i = 0; i < count; ++i) {
                uint8_t bytes[8] = {};
                unsigned length = 0;
                if (!readEbmlBytes(reader, bytes, length) || !inside()) return header;
            }
        }
    }
    header.length = reader.tell() - start;
    header.complete = inside();
    return header;
}

int skipBlockHeader(EbmlReader& reader, uint64_t blockSize) {
    const MatroskaBlockHeader header = readBlockHeader(reader, blockSize);
    return header.complete ? static_cast<int>(header.length) : -1;
}

// ---- the walks ----

namespace {

// Walk 1: from the start of the file up to the first Cluster.
void walkHeader(EbmlReader& reader, MatroskaFileInfo& info) {
    reader.seek(0);
    while (!reader.atEnd()) {
        const uint32_t id = readEbmlId(reader);
        if (id == kEbmlNoId) break;
        const uint64_t size = readEbmlSize(reader);
        if (size == kEbmlNoSize) break;
        switch (id) {
            case kMkvCluster:
                return;
            case kEbmlHeaderId:
            case kMkvSegment:
            case kMkvTracks:
            case kMkvInfo:
            case kMkvChapters:
            case kMkvEditionEntry:
                break;  // descend
            case kMkvChapterAtom:
                ++info.chapterCount;
                break;  // descend: nested chapters count too
            case kMkvChapterFlagHidden:
                // A hidden flag without its chapter (a damaged file) does not
                // take the count below zero.
                if (readEbmlUInt(reader, size) == 1 && info.chapterCount > 0) --info.chapterCount;
                break;
            case kMkvTimecodeScale:
                info.timecodeScale = readEbmlUInt(reader, size);
                break;
            case kMkvDuration:
                info.segmentDuration = readEbmlFloat(reader, size);
                info.hasDuration = true;
                break;
            case kMkvTrackEntry:
                // Entries beyond the table are passed over.
                if (info.tracks.size() < kMatroskaMaxTracks) {
                    MatroskaTrack track;
                    track.entryPosition = reader.tell();
                    track.entrySize = std::min(size, reader.size() - std::min(reader.tell(), reader.size()));
                    info.tracks.push_back(std::move(track));
                }
                reader.skip(size);
                break;
            default:
                reader.skip(size);
                break;
        }
    }
}

// Walk 2: the number, type and content compression of one TrackEntry.
void walkTrackEntry(EbmlReader& reader, MatroskaTrack& track) {
    reader.seek(track.entryPosition);
    const uint64_t end = track.entryPosition + track.entrySize;
    while (reader.tell() < end) {
        const uint32_t id = readEbmlId(reader);
        if (id == kEbmlNoId) break;
        const uint64_t size = readEbmlSize(reader);
        if (size == kEbmlNoSize) break;
        switch (id) {
            case kMkvContentEncodings:
            case kMkvContentEncoding:
            case kMkvContentCompression:
                track.compressed = 1;
                break;  // descend
            case kMkvTrackType:
                track.trackType = readEbmlUInt(reader, size);
                break;
            case kMkvTrackNumber:
                track.trackNumber = readEbmlUInt(reader, size);
                break;
            case kMkvContentEncodingType:
                track.encodingType = readEbmlUInt(reader, size);
                break;
            case kMkvContentCompAlgo:
                track.compressionAlgorithm = readEbmlUInt(reader, size);
                break;
            case kMkvContentCompSettings: {
                // The stripped header bytes are a few bytes in practice; a
                // size beyond the cap is dropped rather than allocated.
                const uint64_t available = reader.size() - std::min(reader.tell(), reader.size());
                if (size <= kMatroskaMaxSettings && size <= available) {
                    track.compressionSettings.resize(static_cast<size_t>(size));
                    track.compressionSettings.resize(reader.read(track.compressionSettings.data(), track.compressionSettings.size()));
                } else {
                    track.compressionSettings.clear();
                    reader.skip(size);
                }
                break;
            }
            default:
                reader.skip(size);
                break;
        }
    }
}

// True when every track that the third walk waits for has its first block:
// video, audio, complex and untyped tracks whose number fits the table
// (blocks of other numbers are never recorded, so they are not waited for).
bool allFirstBlocksFound(const MatroskaFileInfo& info) {
    for (const auto& track : info.tracks) {
        if (track.trackType > 3 || track.trackNumber >= kMatroskaMaxTracks) continue;
        if (info.firstBlocks[static_cast<size_t>(track.trackNumber)].position == 0) return false;
    }
    return true;
}

// Walk 3: the first Block or SimpleBlock of each track number.
void walkClusters(EbmlReader& reader, MatroskaFileInfo& info) {
    reader.seek(0);
    bool clusterSeen = false;
    while (!reader.atEnd()) {
        const uint32_t id = readEbmlId(reader);
        if (id == kEbmlNoId) break;
        const uint64_t size = readEbmlSize(reader);
        if (size == kEbmlNoSize) break;
        switch (id) {
            case kMkvCues:
                // Cues after the Clusters close the file; Cues written ahead
                // of them (space reserved for the index) are passed over.
                if (clusterSeen) return;
                reader.skip(size);
                break;
            case kMkvCluster:
                clusterSeen = true;
                break;  // descend
            case kEbmlHeaderId:
            case kMkvSegment:
            case kMkvBlockGroup:
                break;  // descend
            case kMkvBlock:
            case kMkvSimpleBlock: {
                const uint64_t position = reader.tell();
                const uint64_t number = readEbmlSize(reader);
                if (number < kMatroskaMaxTracks && info.firstBlocks[number].position == 0 && position != 0) {
                    info.firstBlocks[number].position = position;
                    info.firstBlocks[number].size = std::min(size, reader.size() - std::min(position, reader.size()));
                    ++info.firstBlockCount;
                }
                reader.seek(position);
                reader.skip(size);
                break;
            }
            default:
                reader.skip(size);
                break;
        }
        if (allFirstBlocksFound(info)) return;
    }
}

}  // namespace

MatroskaFrameSample sampleTrackFrames(EbmlReader& reader, const MatroskaFileInfo& info, const MatroskaTrack& track) {
    MatroskaFrameSample sample;
    if (track.trackNumber >= kMatroskaMaxTracks) return sample;
    const MatroskaBlockPlace& first = info.firstBlocks[static_cast<size_t>(track.trackNumber)];
    if (first.position == 0) return sample;
    const uint64_t stripped = track.compressed && track.compressionAlgorithm == 3 ? track.compressionSettings.size() : 0;

    auto take = [&](uint64_t position, uint64_t size) {
        reader.seek(position);
        const MatroskaBlockHeader header = readBlockHeader(reader, size);
        if (!header.complete || size <= header.length) return;
        sample.bytes += size - header.length + stripped * header.frames;
        sample.frames += header.frames;
    };
    take(first.position, first.size);

    // On from the first block: its siblings in the Cluster, then the next
    // Clusters, until enough blocks of the track or the span are read.
    uint32_t blocks = 1;
    const uint64_t limit = first.position + kMatroskaSampleSpan;
    reader.seek(first.position);
    reader.skip(first.size);
    while (!reader.atEnd() && reader.tell() < limit && blocks < kMatroskaSampleBlocks) {
        const uint32_t id = readEbmlId(reader);
        if (id == kEbmlNoId) break;
        const uint64_t size = readEbmlSize(reader);
        if (size == kEbmlNoSize || id == kMkvCues) break;
        if (id == kMkvCluster || id == kMkvBlockGroup) continue;  // descend
        const uint64_t position = reader.tell();
        if ((id == kMkvBlock || id == kMkvSimpleBlock) && readEbmlSize(reader) == track.trackNumber) {
            take(position, std::min(size, reader.size() - std::min(position, reader.size())));
            ++blocks;
        }
        reader.seek(position);
        reader.skip(size);
    }
    return sample;
}

void scanMatroskaStructure(EbmlReader& reader, MatroskaFileInfo& info) {
    walkHeader(reader, info);
    for (auto& track : info.tracks) walkTrackEntry(reader, track);
    walkClusters(reader, info);
}

std::string formatMatroskaSummary(int32_t chapterCount, const MatroskaSubtitleCounts& counts) {
    std::string line;
    if (chapterCount != 0) line = format("Chapter(%d)", chapterCount);
    const std::pair<const char*, int32_t> kinds[] = {
        {"SubTitle/UTF8(%d)", counts.utf8}, {"SubTitle/SSA(%d)", counts.ssa},   {"SubTitle/ASS(%d)", counts.ass},
        {"SubTitle/USF(%d)", counts.usf},   {"SubTitle/ASCII(%d)", counts.ascii}, {"SubTitle/BMP(%d)", counts.bmp},
        {"SubTitle/VobSub(%d)", counts.vobsub},
    };
    for (const auto& [text, count] : kinds) {
        if (count == 0) continue;
        if (!line.empty()) line += " / ";
        line += format(text, count);
    }
    if (line.size() > kTemplateBytes - 1) line.resize(kTemplateBytes - 1);
    return line;
}

void analyzeMatroskaFile(AnalysisRecord& record) {
    FileReader file;
    if (!file.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    MatroskaFileInfo info;
    info.fileSize = file.size;
    record.fileSize = static_cast<int64_t>(file.size);
    setFormatName(record, "Matroska");

    // The WavPack correction file beside this one: the extension (from the
    // last '.' of the file's own name) replaced by ".wvc", or ".wvc" added
    // to a name without one, so that the file never names itself.
    size_t nameLength = 0;
    while (nameLength < VESKO_PATH_UNITS && record.fileName[nameLength] != 0) ++nameLength;
    info.correctionFileName = wavPackCorrectionName(std::u16string_view(record.fileName, nameLength));

    EbmlReader reader(file);
    scanMatroskaStructure(reader, info);
    if (info.tracks.empty()) {
        setErrorText(record, jp("[Matroska] TrackEntryが1つもありません"));
        return;
    }

    describeMatroskaTracks(reader, info, record);

    // Duration is in TimecodeScale units (nanoseconds each; 1,000,000 when
    // the scale is absent). A file without a Duration has no known play time.
    record.duration = -1.0;
    if (info.hasDuration) {
        const double scale = info.timecodeScale ? static_cast<double>(info.timecodeScale) : 1000000.0;
        const double seconds = scale * info.segmentDuration * 1e-9;
        if (std::isfinite(seconds) && seconds >= 0) record.duration = seconds;
    }
}

}  // namespace vesko
