// MPEG-1 and MPEG-2 program streams.
//
// The region is read into a head window and a tail window of at most
// 1,024,000 bytes each and searched for start codes in memory: the first
// sequence header (and, for MPEG-2, the sequence extension) gives the video
// line, the PES packets met in the head window give the audio lines, and
// the first and last pack headers (or group-of-pictures time codes) give
// the play time. Every read inside a window is bounded by the bytes the
// window holds; a PES length or header length from the file only ever
// narrows what is looked at.
#include "program_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "../analysers.h"
#include "../audio/aac.h"
#include "../audio/ac3.h"
#include "../audio/dts.h"
#include "../audio/mpeg_audio.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"
#include "../window_reader.h"
#include "video_headers.h"

namespace vesko {

namespace {

constexpr uint32_t kSequenceHeaderCode = 0x000001B3;
constexpr uint32_t kExtensionCode = 0x000001B5;
constexpr uint32_t kGroupOfPicturesCode = 0x000001B8;
constexpr uint32_t kPackHeaderCode = 0x000001BA;
constexpr uint8_t kPrivateStream1 = 0xBD;

constexpr size_t kClockBytes = 5;     // the system clock reference after 00 00 01 BA
constexpr size_t kTimeCodeBytes = 4;  // the time code after 00 00 01 B8
constexpr size_t kSyncSearch = 256;   // payload positions searched for a frame sync
constexpr size_t kAudioSlots = 16;
constexpr double kClockRate = 90000.0;

// ---- the windows ----

// The head and tail windows of a region. The tail views the head's bytes
// when the region fits in one window.
struct Windows {
    std::unique_ptr<uint8_t[]> headStore;
    std::unique_ptr<uint8_t[]> tailStore;
    Bytes head;
    Bytes tail;
};

bool isStartCodePrefix(Bytes w, size_t p) { return p + 4 <= w.size() && w[p] == 0 && w[p + 1] == 0 && w[p + 2] == 1; }

bool isCode(Bytes w, size_t p, uint32_t code) {
    return isStartCodePrefix(w, p) && w[p + 3] == static_cast<uint8_t>(code & 0xFF);
}

// The first start code `code` whose `need` following bytes lie in w; -1
// when there is none. (A later one would lie even nearer the end.)
int64_t findFirstComplete(Bytes w, uint32_t code, size_t need) {
    const int32_t p = findCode32(w.data(), w.size(), code);
    if (p < 0 || static_cast<size_t>(p) + 4 + need > w.size()) return -1;
    return p;
}

// The last start code `code` whose `need` following bytes lie in w.
int64_t findLastComplete(Bytes w, uint32_t code, size_t need) {
    if (w.size() < 4 + need) return -1;
    for (size_t p = w.size() - 4 - need + 1; p-- > 0;) {
        if (w[p + 2] != 1) continue;
        if (isCode(w, p, code)) return static_cast<int64_t>(p);
    }
    return -1;
}

// The 33-bit system clock reference of a pack header: the five bytes after
// its start code. MPEG-1 packs begin with '0010', MPEG-2 packs with '01'.
uint64_t readClockReference(Bytes five) {
    const std::string bits = bytesToBits(five.first(std::min(five.size(), kClockBytes)));
    const size_t at = (bitsAt(bits, 0, 2) == 0) ? 4 : 2;
    return (bitsAt(bits, at, 3) << 30) | (bitsAt(bits, at + 4, 15) << 15) | bitsAt(bits, at + 20, 15);
}

struct TimeCode {
    double seconds;  // hours, minutes and seconds as seconds
    int pictures;
};

// The group-of-pictures time code: drop_frame_flag, hours (5), minutes (6),
// marker, seconds (6), pictures (6).
TimeCode readTimeCode(Bytes four) {
    const std::string bits = bytesToBits(four.first(std::min(four.size(), kTimeCodeBytes)));
    const auto hours = bitsAt(bits, 1, 5), minutes = bitsAt(bits, 6, 6), seconds = bitsAt(bits, 13, 6);
    return {static_cast<double>(hours * 3600 + minutes * 60 + seconds), static_cast<int>(bitsAt(bits, 19, 6))};
}

// ---- audio slots ----

struct AudioSlots {
    std::array<std::string, kAudioSlots> text;
    std::array<bool, kAudioSlots> used{};
    double bitRateSum = 0.0;  // bits per second

    void fill(size_t slot, std::string line, double bitRate) {
        text[slot] = std::move(line);
        used[slot] = true;
        bitRateSum += bitRate;
    }
};

struct Scan {
    FileReader& reader;
    uint64_t start;  // file offset of the window's first byte
    Bytes head;
    AudioSlots slots;
};

// Describes the MPEG audio frame header at w[q] into slot k; false when the
// four bytes do not decode.
bool tryMpegAudio(Scan& scan, size_t q, size_t k) {
    if (scan.head[q] != 0xFF) return false;  // an "ID3" candidate is no frame
    MpegAudioInfo info{};
    if (!decodeMpegAudioHeader(scan.head.subspan(q), info)) return false;
    scan.slots.fill(k, describeMpegAudio(info), info.bitRate * 1000.0);
    return true;
}

// MPEG-1: each audio packet is searched for its first frame header; the
// scan ends at the first packet of a stream already described.
void scanMpeg1Audio(Scan& scan) {
    const Bytes w = scan.head;
    const size_t n = w.size();
    size_t p = 0;
    while (p + 4 < n) {
        if (!isStartCodePrefix(w, p) || (w[p + 3] & 0xF8) != 0xC0) {
            ++p;
            continue;
        }
        const size_t k = w[p + 3] & 0x07;
        if (scan.slots.used[k]) break;
        if (p + 6 > n) break;
        const size_t length = readU16BE(w, p + 4);
        // Start code, length and four bytes further: stuffing and time
        // stamps are not parsed. The search stays inside the packet and
        // the window.
        const size_t q = p + 10;
        const size_t packetEnd = std::min(p + 6 + length, n);
        if (q < packetEnd) {
            const Bytes payload = w.subspan(q, packetEnd - q);
            for (size_t i = 0;;) {
                const int32_t found = findMpegAudioSync(payload, i);
                if (found < 0) break;
                i = static_cast<size_t>(found);
                if (tryMpegAudio(scan, q + i, k)) break;
                ++i;
            }
        }
        p += 6 + length;  // the next packet's start code
    }
}

// An MPEG audio packet of an MPEG-2 stream: ADTS AAC or MPEG audio within
// the first 256 payload bytes. Returns where the search stopped.
size_t mpeg2AudioPacket(Scan& scan, size_t p, size_t k) {
    const Bytes w = scan.head;
    const size_t n = w.size();
    const size_t length = readU16BE(w, p + 4);
    const size_t packetEnd = std::min(p + 6 + length, n);
    size_t q = p + 6;
    if (q + 3 > n || (w[q] & 0xC0) != 0x80 || scan.slots.used[k]) return q + 1;
    q += 3 + w[q + 2];  // both flag bytes, PES_header_data_length and the header data
    for (size_t count = 0; count < kSyncSearch && q + 1 < n; ++count, ++q) {
        const uint8_t b0 = w[q], b1 = w[q + 1];
        if (b0 != 0xFF) continue;
        if ((b1 & 0xFE) == 0xF0 || (b1 & 0xFE) == 0xF8) {
            if (!looksLikeAdtsHeader(w.subspan(q))) continue;
            AacInfo info{};
            scan.reader.seek(static_cast<int64_t>(scan.start + q), 0);
            if (readAdtsStream(info, scan.reader)) {
                if (q < packetEnd) info.bitRate = estimateAdtsBitRate(w.subspan(q, packetEnd - q), info.sampleRate);
                scan.slots.fill(k, describeAac(info), info.bitRate);
                return q;
            }
        } else if (b1 >= 0xE0 && b1 != 0xFF) {
            if (tryMpegAudio(scan, q, k)) return q;
        }
    }
    return q;
}

bool isDtsSync(Bytes w, size_t q) {
    auto at = [&](size_t i) { return q + i < w.size() ? w[q + i] : -1; };
    if (at(0) == 0x7F && at(1) == 0xFE && at(2) == 0x80 && at(3) == 0x01) return true;
    if (at(0) == 0xFE && at(1) == 0x7F && at(2) == 0x01 && at(3) == 0x80) return true;
    if (at(0) == 0x1F && at(1) == 0xFF && at(2) == 0xE8 && at(3) == 0x00 && at(4) == 0x07 && (at(5) & 0xF0) == 0xF0)
        return true;
    return at(0) == 0xFF && at(1) == 0x1F && at(2) == 0x00 && at(3) == 0xE8 && (at(4) & 0xF0) == 0xF0 && at(5) == 0x07;
}

// Private stream 1: AC-3 (sub-stream 80-87), DTS (88-8F) and LPCM (A0-A7).
// Returns where the handling stopped.
size_t privateStream1Packet(Scan& scan, size_t p) {
    const Bytes w = scan.head;
    const size_t n = w.size();
    if (p + 9 > n) return n;
    size_t q = p + 9 + w[p + 8];  // start code, length, both flag bytes, header length, header data
    if (q >= n) return q;
    const uint8_t subStream = w[q++];
    const size_t k = subStream & 0x07;

    if (subStream >= 0x80 && subStream <= 0x87 && !scan.slots.used[k]) {
        for (size_t count = 0; count < kSyncSearch && q + 1 < n; ++count, ++q) {
            if (w[q] != 0x0B || w[q + 1] != 0x77) continue;
            Ac3Info info{};
            copyText(info.codec, sizeof info.codec, "Dolby AC-3");
            if (decodeAc3Header(info, w.data() + q, n - q)) {
                scan.slots.fill(k, describeAc3(info), info.bitRate);
                return q;
            }
        }
    } else if (subStream >= 0x88 && subStream <= 0x8F && !scan.slots.used[k]) {
        q += 3;  // frame count and first access unit pointer
        for (size_t count = 0; count < kSyncSearch && q < n; ++count, ++q) {
            if (!isDtsSync(w, q)) continue;
            DtsInfo info{};
            if (decodeDtsHeader(info, w.data() + q, n - q)) {
                scan.slots.fill(k, describeDts(info), info.bitRate);
                return q;
            }
        }
    } else if (subStream >= 0xA0 && subStream <= 0xA7 && !scan.slots.used[k]) {
        LpcmInfo info{};
        scan.reader.seek(static_cast<int64_t>(scan.start + q), 0);
        parseDvdLpcmHeader(info, scan.reader);
        scan.slots.fill(k, describeLpcm(info), info.bitRate);
    }
    return q;
}

// MPEG-2: every audio packet and private stream 1 packet of the head window
// until each slot has its stream.
void scanMpeg2Audio(Scan& scan) {
    const Bytes w = scan.head;
    const size_t n = w.size();
    for (size_t p = 0; p + 4 < n; ++p) {
        if (!isStartCodePrefix(w, p)) continue;
        const uint8_t id = w[p + 3];
        if ((id & 0xF8) == 0xC0 && p + 6 <= n)
            p = mpeg2AudioPacket(scan, p, id & 0x07);
        else if (id == kPrivateStream1)
            p = privateStream1Packet(scan, p);
    }
}

bool scanProgramStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end, bool mpeg2) {
    PositionGuard guard(reader);
    MpegVideoInfo info{};
    copyText(info.codec, sizeof info.codec, mpeg2 ? "MPEG2" : "MPEG1");

    // The region, clamped to the file; an inverted one is empty.
    end = std::min(end, reader.size);
    const uint64_t regionBytes = end > start ? end - start : 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(regionBytes, kProgramStreamWindowBytes));
    const bool separateTail = regionBytes > kProgramStreamWindowBytes;

    Windows windows;
    windows.headStore.reset(new (std::nothrow) uint8_t[n ? n : 1]());
    if (!windows.headStore) {
        setErrorText(record, mpeg2 ? jp("[MPEG2] 読み込みバッファ1の確保に失敗") : jp("[MPEG1] 読み込みバッファ1の確保に失敗"));
        return false;
    }
    if (separateTail) {
        windows.tailStore.reset(new (std::nothrow) uint8_t[kProgramStreamWindowBytes]());
        if (!windows.tailStore) {
            windows.headStore.reset();
            setErrorText(record, mpeg2 ? jp("[MPEG2] 読み込みバッファ2の確保に失敗") : jp("[MPEG1] 読み込みバッファ2の確保に失敗"));
            return false;
        }
    }
    reader.seek(static_cast<int64_t>(start), 0);
    reader.read(windows.headStore.get(), n);
    windows.head = Bytes(windows.headStore.get(), n);
    if (separateTail) {
        reader.seek(static_cast<int64_t>(end - kProgramStreamWindowBytes), 0);
        reader.read(windows.tailStore.get(), kProgramStreamWindowBytes);
        windows.tail = Bytes(windows.tailStore.get(), kProgramStreamWindowBytes);
    } else {
        windows.tail = windows.head;
    }
    const Bytes head = windows.head;

    const int32_t s = findCode32(head.data(), n, kSequenceHeaderCode);
    if (s < 0) {
        setErrorText(record, mpeg2 ? jp("[MPEG2] シーケンスヘッダが見つかりません") : jp("[MPEG1] シーケンスヘッダが見つかりません"));
        return false;
    }
    parseMpegSequenceHeader(info, head.subspan(static_cast<size_t>(s) + 4));

    if (mpeg2) {
        int32_t e = findCode32(head.data(), n, kExtensionCode);
        while (e >= 0) {
            const auto at = static_cast<size_t>(e);
            if (parseMpegSequenceExtension(info, head.subspan(at))) break;
            const int32_t next = findCode32(head.data() + at + 4, n - at - 4, kExtensionCode);
            e = next < 0 ? -1 : static_cast<int32_t>(at + 4 + static_cast<size_t>(next));
        }
    }

    const double scr = durationFromScr(head, windows.tail);
    const double tc = durationFromTimeCodes(head, windows.tail, info.frameRate);
    windows.tailStore.reset();
    windows.tail = {};

    Scan scan{reader, start, head, {}};
    if (mpeg2)
        scanMpeg2Audio(scan);
    else
        scanMpeg1Audio(scan);
    const double audioSum = scan.slots.bitRateSum;

    // Bytes from the first sequence header to the end of the region.
    const double bytes = static_cast<double>(end - (start + static_cast<uint64_t>(s)));
    double sz = 0.0;
    if (info.bitRate != 0.0) sz = bytes * 8.0 / (info.bitRate + audioSum);
    double duration = 0.0;
    if (scr > 0)
        duration = scr;
    else if (tc > 0)
        duration = tc;
    else if (sz > 0)
        duration = sz;
    if (duration != 0.0) info.averageBitRate = std::max(0.0, bytes * 8.0 / duration - audioSum);
    record.duration = duration;

    char line[kTemplateBytes] = {};
    describeMpegVideo(line, sizeof line, info);
    addVideoText(record, line);
    for (size_t k = 0; k < kAudioSlots; ++k)
        if (scan.slots.used[k]) addAudioText(record, scan.slots.text[k]);
    return true;
}

void analyzeFile(AnalysisRecord& record, bool mpeg2) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    setFormatName(record, mpeg2 ? "MPEG2" : "MPEG1");
    record.fileSize = static_cast<int64_t>(reader.size);
    if (mpeg2)
        scanMpeg2ProgramStream(reader, record, 0, reader.size);
    else
        scanMpeg1ProgramStream(reader, record, 0, reader.size);
}

}  // namespace

bool scanMpeg1ProgramStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end) {
    return scanProgramStream(reader, record, start, end, false);
}

bool scanMpeg2ProgramStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end) {
    return scanProgramStream(reader, record, start, end, true);
}

double durationFromScr(Bytes head, Bytes tail) {
    const int64_t first = findFirstComplete(head, kPackHeaderCode, kClockBytes);
    const int64_t last = findLastComplete(tail, kPackHeaderCode, kClockBytes);
    if (first < 0 || last < 0) return -1.0;
    const auto a = static_cast<double>(readClockReference(head.subspan(static_cast<size_t>(first) + 4, kClockBytes)));
    const auto b = static_cast<double>(readClockReference(tail.subspan(static_cast<size_t>(last) + 4, kClockBytes)));
    const double d = b - a;
    return d > 0 ? d / kClockRate : -1.0;
}

double durationFromTimeCodes(Bytes head, Bytes tail, double frameRate) {
    const int64_t first = findFirstComplete(head, kGroupOfPicturesCode, kTimeCodeBytes);
    const int64_t last = findLastComplete(tail, kGroupOfPicturesCode, kTimeCodeBytes);
    if (first < 0 || last < 0) return -1.0;
    const TimeCode a = readTimeCode(head.subspan(static_cast<size_t>(first) + 4, kTimeCodeBytes));
    const TimeCode b = readTimeCode(tail.subspan(static_cast<size_t>(last) + 4, kTimeCodeBytes));
    if ((b.seconds + b.pictures * 0.01) - (a.seconds + a.pictures * 0.01) <= 0) return -1.0;
    double d = b.seconds - a.seconds;
    // Without a frame rate the pictures cannot be counted as time.
    if (b.pictures != a.pictures && frameRate > 0) d += (b.pictures - a.pictures) / frameRate;
    return d > 0 ? d : -1.0;
}

bool parseDvdLpcmHeader(LpcmInfo& info, Bytes sixBytes) {
    copyText(info.codec, sizeof info.codec, "LinearPCM");
    const std::string bits = bytesToBits(sixBytes.first(std::min<size_t>(sixBytes.size(), 6)));
    switch (bitsAt(bits, 32, 2)) {
        case 0: info.bitDepth = 16; break;
        case 1: info.bitDepth = 20; break;
        case 2: info.bitDepth = 24; break;
        default: return false;
    }
    switch (bitsAt(bits, 34, 2)) {
        case 0: info.sampleRate = 48000; break;
        case 1: info.sampleRate = 96000; break;
        default: return false;
    }
    info.channels = static_cast<uint16_t>(bitsAt(bits, 37, 3) + 1);
    // DVD LPCM packs 20-bit samples without padding, so the rate counts
    // every bit of the sample depth.
    info.bitRate = static_cast<double>(info.channels) * info.bitDepth * info.sampleRate;
    return true;
}

bool parseDvdLpcmHeader(LpcmInfo& info, FileReader& reader) {
    uint8_t bytes[6] = {};
    reader.read(bytes, sizeof bytes, false);
    return parseDvdLpcmHeader(info, Bytes(bytes, sizeof bytes));
}

std::string describeLpcm(const LpcmInfo& info) {
    std::string line = lookupTemplate("LPCM", "MPEG1/2", u"FORMAT.INI");
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value); };
    put("#codec#", std::string(info.codec, slotLength(info.codec, sizeof info.codec)));
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%d", static_cast<int>(info.sampleRate)));
    put("#bitdepth#", format("%d", info.bitDepth));
    put("#channel#", format("%d", info.channels));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return line;
}

void describeLpcm(char* out, size_t outSize, const LpcmInfo& info) {
    if (out && outSize) copyText(out, outSize, describeLpcm(info));
}

double estimateAdtsBitRate(Bytes bytes, uint32_t sampleRate) {
    size_t p = 0, frames = 0;
    while (p + 7 <= bytes.size()) {
        if (bytes[p] != 0xFF || (bytes[p + 1] & 0xF0) != 0xF0) break;
        const size_t length = (size_t{bytes[p + 3] & 3u} << 11) | (size_t{bytes[p + 4]} << 3) | (bytes[p + 5] >> 5);
        if (length < 7 || p + length > bytes.size()) break;
        p += length;
        ++frames;
    }
    if (frames == 0) return 0.0;
    return static_cast<double>(p) * 8.0 / static_cast<double>(frames) * sampleRate / 1024.0;
}

bool looksLikeAdtsHeader(Bytes bytes) {
    if (bytes.size() < 7 || bytes[0] != 0xFF || (bytes[1] & 0xF6) != 0xF0) return false;
    const unsigned samplingIndex = (bytes[2] >> 2) & 0x0F;
    const size_t length = (size_t{bytes[3] & 3u} << 11) | (size_t{bytes[4]} << 3) | (bytes[5] >> 5);
    return samplingIndex < 13 && length >= 7;
}

void analyzeMpeg1File(AnalysisRecord& record) { analyzeFile(record, false); }

void analyzeMpeg2File(AnalysisRecord& record) { analyzeFile(record, true); }

void analyzeMpegProgramStream(AnalysisRecord& record) {
    if (record.formatCode == VESKO_FMT_MPEG2_PS)
        analyzeMpeg2File(record);
    else
        analyzeMpeg1File(record);
}

}  // namespace vesko
