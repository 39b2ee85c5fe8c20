// WavPack 4 and 5: a file is a run of blocks, each a 32-byte header
// ("wvpk", size, version, sample counts, flags) followed by metadata
// sub-blocks. The first block holds a copy of the source file's RIFF/WAVE
// header, which gives the audio format; the last may hold its trailer. The
// play time is the total sample count over the stored sample rate.
//
// Sub-blocks: one id byte (function in the low six bits; 0x20 optional
// data, which a reader may pass over; 0x40 odd size; 0x80 large), then the
// size in 16-bit words, one byte or (large) three bytes.
//
// The walk is bounded: every block moves it at least 32 bytes forward and
// every sub-block at least two; a sub-block that runs past its block ends
// that block's walk, and the next block is looked for where the block's
// size puts it.
#include "wavpack.h"

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

namespace vesko {

namespace {

constexpr size_t kBlockHeaderBytes = 32;
constexpr size_t kWaveFormatBytes = 16;   // WAVEFORMAT up to wBitsPerSample
constexpr size_t kRiffFormHeaderBytes = 12;  // "RIFF", size, "WAVE"
// The highest sub-block function that the format defines as mandatory
// (14: DSD audio, WavPack 5); the walk passes over their data.
constexpr uint8_t kLastMandatoryFunction = 14;

void fail(WavPackInfo& info, std::string_view text) { copyText(info.message, sizeof info.message, text); }

std::u16string_view nameOf(const char16_t* units, size_t capacity) {
    size_t n = 0;
    while (n < capacity && units[n] != 0) ++n;
    return std::u16string_view(units, n);
}

// Calls visit(id offset, body offset, body bytes) for each RIFF chunk from
// `start` whose header lies within `bytes` (the body may be cut short);
// stops after a chunk whose size runs past the end, or when visit says so.
template <typename Visit>
void forEachChunk(Bytes bytes, size_t start, Visit visit) {
    size_t pos = start;
    while (pos <= bytes.size() && bytes.size() - pos >= 8) {
        const uint32_t size = readU32LE(bytes, pos + 4);
        const size_t body = pos + 8;
        const size_t available = bytes.size() - body;
        if (!visit(pos, body, std::min<size_t>(size, available))) return;
        if (size > available) return;
        pos = body + size + (size & 1);  // chunks are padded to an even size
    }
}

// A LIST chunk whose list type is INFO.
bool isInfoList(Bytes bytes, size_t id, size_t body, size_t length) {
    return equalsAtNoCase(bytes, id, "LIST") && length >= 4 && equalsAtNoCase(bytes, body, "INFO");
}

// The stored trailer: the chunks after the audio data.
void readRiffTrailer(Bytes trailer, WavPackInfo& info) {
    forEachChunk(trailer, 0, [&](size_t id, size_t body, size_t length) {
        if (isInfoList(trailer, id, body, length)) info.tags.hasInfoTag = 1;
        return true;
    });
}

// Up to `size` bytes of the file at `offset` (no more than the file holds).
// False when the buffer cannot be allocated.
bool readData(FileReader& reader, uint64_t offset, uint64_t size, std::vector<uint8_t>& out) {
    const uint64_t available = offset < reader.size ? reader.size - offset : 0;
    try {
        out.resize(static_cast<size_t>(std::min(size, available)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    reader.seek(static_cast<int64_t>(offset), 0);
    out.resize(reader.read(out.data(), out.size(), false));
    return true;
}

}  // namespace

bool decodeWavPackBlockHeader(Bytes bytes, WavPackBlockHeader& header) {
    if (bytes.size() < kBlockHeaderBytes || !equalsAtNoCase(bytes, 0, "wvpk")) return false;
    header.blockSize = readU32LE(bytes, 4);
    header.version = readU16LE(bytes, 8);
    // The total is 40 bits, counted in steps of 2^32 - 1 so that the low
    // word never holds 0xFFFFFFFF, which stands for "not known".
    const uint32_t low = readU32LE(bytes, 12);
    const uint8_t high = bytes[11];
    header.totalSamples = low == 0xFFFFFFFFu ? -1 : (int64_t{high} << 32) + low - high;
    header.blockIndex = readU32LE(bytes, 16);
    header.blockSamples = readU32LE(bytes, 20);
    header.flags = readU32LE(bytes, 24);
    return true;
}

bool readWavPackRiffHeader(Bytes header, WavPackInfo& info) {
    bool found = false;
    forEachChunk(header, kRiffFormHeaderBytes, [&](size_t id, size_t body, size_t length) {
        if (equalsAtNoCase(header, id, "fmt ")) {
            if (!found && length >= kWaveFormatBytes) {
                WavPackWaveFormat& f = info.waveFormat;
                f.formatTag = readU16LE(header, body);
                f.channels = readU16LE(header, body + 2);
                f.samplesPerSecond = readU32LE(header, body + 4);
                f.averageBytesPerSecond = readU32LE(header, body + 8);
                f.blockAlign = readU16LE(header, body + 12);
                f.bitsPerSample = readU16LE(header, body + 14);
                found = true;
            }
        } else if (isInfoList(header, id, body, length)) {
            info.tags.hasInfoTag = 1;
        }
        return !equalsAtNoCase(header, id, "data");  // the audio itself is not stored here
    });
    if (found) {
        const std::string codec =
            lookupTemplate(format("%04X", static_cast<unsigned>(info.waveFormat.formatTag)), "WAV", u"CODECS.INI");
        copyText(info.codec, sizeof info.codec, codec);
    }
    return found;
}

std::u16string wavPackCorrectionName(std::u16string_view fileName) {
    size_t stem = fileName.size();
    for (size_t i = fileName.size(); i > 0; --i) {
        const char16_t c = fileName[i - 1];
        if (c == u'/' || c == u'\\') break;  // a dot in a folder name is no extension
        if (c == u'.') {
            stem = i - 1;
            break;
        }
    }
    std::u16string name(fileName.substr(0, stem));
    name += u".wvc";
    if (name.size() >= 256) return std::u16string();
    return name;
}

bool correctionFileExists(std::u16string_view name) {
    if (name.empty()) return false;
    FileReader file;
    return file.openPath(name);  // closed again when `file` goes
}

bool readWavPackBlocks(WavPackInfo& info, FileReader& reader) {
    copyText(info.version, sizeof info.version, "4");
    const uint64_t start = reader.tell();
    const uint64_t limit = std::min(reader.size, start + info.streamBytes);
    WindowReader<> window(reader);

    bool haveRiffHeader = false;
    int64_t totalSamples = -1;     // from the header of the block with the RIFF header
    uint64_t countedSamples = 0;   // samples of the blocks walked (first block of each group)
    std::vector<uint8_t> data;

    uint64_t offset = start;
    for (;;) {
        const uint64_t blockStart = offset;
        uint8_t head[kBlockHeaderBytes] = {};
        const size_t got = window.get(blockStart, head, sizeof head);
        if (blockStart + got >= limit) break;  // the end of the file, or the APE tag

        WavPackBlockHeader block{};
        if (!decodeWavPackBlockHeader(Bytes(head, got), block)) {
            if (info.tagStart != 0 && blockStart >= info.tagStart) break;  // the tags at the end
            fail(info, format(jp("[WavPack] BlockHeaderが見つからない又はずれています(%08" PRIX64 ")"), blockStart));
            return false;
        }
        // The mode comes from the blocks with audio: wavpack writes a
        // stored trailer into a block of its own whose flags are all clear.
        if (block.blockSamples != 0) {
            info.hybrid = (block.flags & kWavPackHybrid) ? 1 : 0;
            info.jointStereo = (block.flags & kWavPackJointStereo) ? 1 : 0;
        }
        // Multichannel audio spreads each stretch of samples over several
        // blocks; the first of them carries the initial-block flag.
        if (block.flags & kWavPackInitialBlock) countedSamples += block.blockSamples;

        const uint64_t blockEnd = blockStart + 8 + block.blockSize;
        uint64_t at = blockStart + kBlockHeaderBytes;
        while (at < blockEnd && at < reader.size) {
            uint8_t sub[4] = {};
            const size_t have = window.get(at, sub, sizeof sub);
            if (have < 2) break;
            const uint8_t id = sub[0];
            uint64_t size = 0;
            uint64_t dataAt = 0;
            if (id & kWavPackLargeBlock) {
                if (have < 4) break;
                size = uint64_t{readU24LE(Bytes(sub), 1)} * 2;
                dataAt = at + 4;
            } else {
                size = uint64_t{sub[1]} * 2;
                dataAt = at + 2;
            }
            at = dataAt + size;
            if (size == 0) continue;
            if (at > blockEnd) break;  // runs past its block: the rest of the block is passed over

            const uint8_t function = id & kWavPackFunctionMask;
            if (function <= kLastMandatoryFunction) continue;  // audio and codec parameters
            if (function == kWavPackRiffHeader || function == kWavPackRiffTrailer) {
                const uint64_t length = (id & kWavPackOddSize) ? size - 1 : size;
                if (!readData(reader, dataAt, length, data)) {
                    // No message of its own: the header is simply not found.
                    continue;
                }
                if (function == kWavPackRiffTrailer) {
                    readRiffTrailer(Bytes(data), info);
                } else if (readWavPackRiffHeader(Bytes(data), info)) {
                    haveRiffHeader = true;
                    totalSamples = block.totalSamples;
                    if (info.hybrid &&
                        correctionFileExists(nameOf(info.correctionName, std::size(info.correctionName))))
                        copyText(info.version, sizeof info.version, "4(Hybrid)");
                }
                continue;
            }
            if (id & kWavPackOptionalData) continue;  // metadata a reader need not understand
            fail(info, format(jp("[Wavpack] 不明なBlockType(%d)"), function));
            return false;
        }
        offset = std::max(blockEnd, blockStart + kBlockHeaderBytes);
    }

    if (!haveRiffHeader) {
        fail(info, jp("[WavPack] RIFFヘッダが見つからない又はWVCファイルです"));
        return false;
    }
    if (info.computeDuration) {
        // A file written to a pipe leaves the total unknown (-1): the
        // samples of the blocks walked stand in for it.
        const uint64_t samples = totalSamples >= 0 ? static_cast<uint64_t>(totalSamples) : countedSamples;
        info.duration = checkedDiv(static_cast<double>(samples), static_cast<double>(info.waveFormat.samplesPerSecond));
        info.bitRate = info.duration > 0 ? static_cast<double>(info.streamBytes) * 8.0 / info.duration : 0.0;
    }
    return true;
}

std::string describeWavPack(const WavPackInfo& info, size_t outSize) {
    const WavPackWaveFormat& f = info.waveFormat;
    std::string line = lookupTemplate("AUDIO", "WAVPACK", u"FORMAT.INI", outSize);
    replacePlaceholder(line, "#version#", std::string_view(info.version, slotLength(info.version, sizeof info.version)), outSize);
    replacePlaceholder(line, "#hybrid#", info.hybrid ? "Lossy" : "Lossless", outSize);
    replacePlaceholder(line, "#codec#", std::string_view(info.codec, slotLength(info.codec, sizeof info.codec)), outSize);
    replacePlaceholder(line, "#sampleratek#", format("%.2f", f.samplesPerSecond * 0.001), outSize);
    replacePlaceholder(line, "#samplerate#", format("%" PRIu32, f.samplesPerSecond), outSize);
    replacePlaceholder(line, "#bitdepth#", format("%u", static_cast<unsigned>(f.bitsPerSample)), outSize);
    replacePlaceholder(line, "#channel#", format("%u", static_cast<unsigned>(f.channels)), outSize);
    replacePlaceholder(line, "#bitratek#", format("%.2f", info.bitRate * 0.001), outSize);
    replacePlaceholder(line, "#bitrate#", format("%.2f", info.bitRate), outSize);
    return line;
}

void describeWavPack(char* out, size_t outSize, const WavPackInfo& info) {
    if (out && outSize) copyText(out, outSize, describeWavPack(info, std::min(outSize, kTemplateBytes)));
}

void analyzeWavPack(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    record.duration = -1.0;

    WavPackInfo info{};
    info.tags.scanEndTags = 1;
    scanTags(reader, info.tags);
    info.computeDuration = 1;
    info.streamBytes = reader.size;
    if (info.tags.hasApe) info.streamBytes -= std::min<uint64_t>(info.tags.apeSize, info.streamBytes);

    // Identification looks past leading ID3v2 tags, and so does the walk;
    // they are no audio either.
    uint64_t start = 0;
    if (info.tags.hasId3v2) {
        start = std::min(info.tags.id3v2Offset + info.tags.id3v2Size, reader.size);
        info.streamBytes -= std::min(start, info.streamBytes);
    }
    // Where the end tags begin: a walk that meets something other than a
    // block there has reached them (the bit rate still counts all but the
    // APE tag).
    for (const auto& [present, at] : {std::pair{info.tags.hasApe != 0, info.tags.apeOffset},
                                      std::pair{info.tags.hasLyrics3 != 0, info.tags.lyrics3Offset},
                                      std::pair{info.tags.hasId3v1 != 0, info.tags.id3v1Offset}})
        if (present && at > start && (info.tagStart == 0 || at < info.tagStart)) info.tagStart = at;

    // A file named ".wvc" itself has no correction file to look for.
    const std::u16string_view fileName = nameOf(record.fileName, std::size(record.fileName));
    const std::u16string correction = wavPackCorrectionName(fileName);
    if (correction != fileName) std::copy(correction.begin(), correction.end(), info.correctionName);

    reader.seek(static_cast<int64_t>(start), 0);
    const bool ok = readWavPackBlocks(info, reader);
    reader.close();
    if (!ok) {
        setErrorText(record, std::string_view(info.message, slotLength(info.message, sizeof info.message)));
        return;
    }
    record.duration = info.duration;
    addAudioText(record, describeWavPack(info));
    const std::string summary = formatTagSummary(info.tags);
    if (!summary.empty()) addExtraText(record, summary);
}

}  // namespace vesko
