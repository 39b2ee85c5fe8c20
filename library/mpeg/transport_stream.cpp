// MPEG-2 transport streams.
//
// The file is read into a head window and a tail window of at most
// 4,069,000 bytes each. The head window is walked packet by packet, once
// for the PAT, once per program for its PMT, once per program for its
// streams and once for the first video PTS; the tail window is walked
// backwards from its last packet for the last video PTS. Section lengths,
// adaptation field lengths and PES header lengths come from the file: they
// only ever narrow what is read inside the packet that holds them.
#include "transport_stream.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

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
#include "program_stream.h"
#include "video_headers.h"

namespace vesko {

namespace {

constexpr uint8_t kSyncByte = 0x47;
constexpr uint16_t kPatPid = 0x0000;
constexpr uint16_t kNetworkPid = 0x0010;
constexpr size_t kTailGuard = 14;           // a frame sync is searched up to 14 bytes before the packet's end
constexpr size_t kPidPrefixBytes = 5;       // "%04X "
constexpr size_t kDescriptionBytes = kTemplateBytes - kPidPrefixBytes;  // 507
constexpr size_t kAdtsPayloadLimit = 65536;  // PES payload gathered for the AAC bit rate
constexpr double kClockRate = 90000.0;

// ---- packets ----

struct Packet {
    size_t unit;         // start of the unit (the 4-byte header of a 192-byte unit)
    size_t end;          // unit + packet size
    uint16_t pid;
    bool errorIndicator;
    bool unitStart;      // payload_unit_start_indicator
    bool hasPayload;     // adaptation_field_control 1 or 3, and bytes left after the adaptation field
    size_t payload;      // first payload byte
};

size_t syncOffset(int size) { return size == 192 ? 4 : 0; }

Packet decodePacket(Bytes w, size_t unit, int size) {
    const size_t h = unit + syncOffset(size);
    Packet pk{};
    pk.unit = unit;
    pk.end = unit + static_cast<size_t>(size);
    pk.errorIndicator = (w[h + 1] & 0x80) != 0;
    pk.unitStart = (w[h + 1] & 0x40) != 0;
    pk.pid = static_cast<uint16_t>(((w[h + 1] & 0x1F) << 8) | w[h + 2]);
    const unsigned control = (w[h + 3] >> 4) & 3;
    size_t payload = h + 4;
    if (control == 2 || control == 3) payload += 1 + size_t{w[h + 4]};
    pk.payload = std::min(payload, pk.end);
    pk.hasPayload = (control == 1 || control == 3) && pk.payload < pk.end;
    return pk;
}

// Walks the complete packets of w from `from`: a position without a sync
// byte moves on to the next 0x47, packets with transport_error_indicator
// are passed over; `visit` returns false to end the walk.
template <class Visit>
void walkPackets(Bytes w, int size, size_t from, Visit&& visit) {
    const size_t off = syncOffset(size);
    const auto step = static_cast<size_t>(size);
    size_t p = from;
    while (p + step <= w.size()) {
        if (w[p + off] != kSyncByte) {
            const size_t next = p + off + 1;
            const void* hit = std::memchr(w.data() + next, kSyncByte, w.size() - next);
            if (!hit) break;
            p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - w.data()) - off;
            continue;
        }
        const Packet pk = decodePacket(w, p, size);
        if (!pk.errorIndicator && !visit(pk)) break;
        p += step;
    }
}

// The section that a packet starting one carries: the pointer field is
// followed to the section's first byte. Empty when there is none.
Bytes sectionOf(Bytes w, const Packet& pk) {
    if (!pk.hasPayload || !pk.unitStart) return {};
    const size_t at = pk.payload + 1 + w[pk.payload];
    if (at >= pk.end) return {};
    return w.subspan(at, pk.end - at);
}

// Where the elementary stream's bytes begin in a packet that starts a PES
// packet: after the PES header when the payload begins with one.
size_t elementaryStart(Bytes w, const Packet& pk) {
    const size_t q = pk.payload;
    if (q + 9 <= pk.end && w[q] == 0 && w[q + 1] == 0 && w[q + 2] == 1) return std::min(q + 9 + w[q + 8], pk.end);
    return q;
}

bool isListedStreamType(uint8_t type) {
    switch (type) {
        case 0x02: case 0x04: case 0x0F: case 0x1B:
        case 0x80: case 0x81: case 0x82: case 0x83: case 0x84: case 0x85: case 0x86: case 0x87:
        case 0xA1: case 0xA2:
            return true;
        default:
            return false;
    }
}

uint16_t u16(Bytes b, size_t at) { return static_cast<uint16_t>((b[at] << 8) | b[at + 1]); }

// ---- streams ----

struct TsScan {
    FileReader& reader;
    uint64_t start;  // file offset of the head window's first byte
    Bytes head;
    int size;
    AnalysisRecord& record;
};

std::string pidLine(uint16_t pid, const std::string& description) {
    return format("%04X ", pid) + description;
}

// The payload of the PES packet that begins in `first`, from byte `from`
// of it, gathered from the following packets of its PID up to the next
// PES start (at most kAdtsPayloadLimit bytes).
std::vector<uint8_t> gatherPesPayload(const TsScan& scan, const Packet& first, size_t from) {
    const Bytes w = scan.head;
    std::vector<uint8_t> out(w.begin() + static_cast<std::ptrdiff_t>(from), w.begin() + static_cast<std::ptrdiff_t>(first.end));
    walkPackets(w, scan.size, first.end, [&](const Packet& pk) {
        if (pk.pid != first.pid) return true;
        if (pk.unitStart) return false;
        if (pk.hasPayload) out.insert(out.end(), w.begin() + static_cast<std::ptrdiff_t>(pk.payload), w.begin() + static_cast<std::ptrdiff_t>(pk.end));
        return out.size() < kAdtsPayloadLimit;
    });
    return out;
}

bool handleMpeg2Video(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    MpegVideoInfo info{};
    copyText(info.codec, sizeof info.codec, "MPEG2");
    bool header = false;
    const size_t from = elementaryStart(w, pk);
    for (size_t i = from; i + kTailGuard <= pk.end; ++i) {
        if (w[i] != 0 || w[i + 1] != 0 || w[i + 2] != 1) continue;
        if (w[i + 3] == 0xB3 && !header) {
            parseMpegSequenceHeader(info, w.subspan(i + 4, pk.end - i - 4));
            header = true;
        } else if (w[i + 3] == 0xB5) {
            parseMpegSequenceExtension(info, w.subspan(i, pk.end - i));
        }
    }
    if (!header) return false;
    char line[kDescriptionBytes] = {};
    describeMpegVideo(line, sizeof line, info);
    addVideoText(scan.record, pidLine(pk.pid, line));
    return true;
}

bool handleMpegAudio(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    if (pk.end < kTailGuard) return false;
    const Bytes searched = w.first(pk.end - kTailGuard);
    int32_t found = findMpegAudioSync(searched, elementaryStart(w, pk));
    // The search also stops at the letters "ID3", which start no frame here.
    while (found >= 0 && w[static_cast<size_t>(found)] != 0xFF)
        found = findMpegAudioSync(searched, static_cast<size_t>(found) + 1);
    if (found < 0) return false;
    MpegAudioInfo info{};
    if (!parseVbrHeader(info, w.subspan(static_cast<size_t>(found)))) return false;
    addAudioText(scan.record, pidLine(pk.pid, describeMpegAudio(info, kDescriptionBytes)));
    return true;
}

bool handleAac(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    for (size_t i = elementaryStart(w, pk); i + kTailGuard <= pk.end; ++i) {
        if (w[i] != 0xFF || ((w[i + 1] & 0xFE) != 0xF0 && (w[i + 1] & 0xFE) != 0xF8)) continue;
        if (!looksLikeAdtsHeader(w.subspan(i))) continue;  // read the file only for a plausible header
        AacInfo info{};
        scan.reader.seek(static_cast<int64_t>(scan.start + i), 0);
        if (!readAdtsStream(info, scan.reader)) continue;
        const std::vector<uint8_t> payload = gatherPesPayload(scan, pk, i);
        info.bitRate = estimateAdtsBitRate(Bytes(payload), info.sampleRate);
        addAudioText(scan.record, pidLine(pk.pid, describeAac(info, kDescriptionBytes)));
        return true;
    }
    return false;
}

bool handleAvc(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    const size_t from = elementaryStart(w, pk);
    AvcVideoInfo info{};
    if (!findAvcSps(w.data() + from, pk.end - from, info)) return false;
    char line[kDescriptionBytes] = {};
    describeAvcVideo(line, sizeof line, info);
    addVideoText(scan.record, pidLine(pk.pid, line));
    return true;
}

bool handleBdLpcm(TsScan& scan, const Packet& pk) {
    BdLpcmInfo info{};
    scan.reader.seek(static_cast<int64_t>(scan.start + elementaryStart(scan.head, pk)), 0);
    parseBdLpcmHeader(info, scan.reader);
    addAudioText(scan.record, pidLine(pk.pid, describeTsLpcm(info, kDescriptionBytes)));
    return true;
}

bool handleAc3(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    if (pk.end < kTailGuard) return false;
    const int32_t found = findAc3Sync(w.data(), pk.end - kTailGuard, elementaryStart(w, pk));
    if (found < 0) return false;
    const auto at = static_cast<size_t>(found);
    Ac3Info info{};
    if (!decodeAc3Header(info, w.data() + at, w.size() - at)) return false;
    copyText(info.codec, sizeof info.codec, "Dolby AC-3");
    char line[kDescriptionBytes] = {};
    describeAc3(line, sizeof line, info);
    addAudioText(scan.record, pidLine(pk.pid, line));
    return true;
}

bool handleDts(TsScan& scan, const Packet& pk) {
    const Bytes w = scan.head;
    if (pk.end < kTailGuard) return false;
    const int32_t found = findDtsSync(w.data(), pk.end - kTailGuard, elementaryStart(w, pk));
    if (found < 0) return false;
    const auto at = static_cast<size_t>(found);
    DtsInfo info{};
    if (!decodeDtsHeader(info, w.data() + at, w.size() - at)) return false;
    char line[kDescriptionBytes] = {};
    describeDts(line, sizeof line, info);
    addAudioText(scan.record, pidLine(pk.pid, line));
    return true;
}

bool handleTrueHd(TsScan& scan, const Packet& pk) {
    addAudioText(scan.record, format("%04X %s", pk.pid, "Dolby TrueHD"));
    return true;
}

// Describes a stream from a packet that starts a PES packet of it; false
// when nothing decodable was found there (or the type is not handled).
bool handleStream(TsScan& scan, uint8_t type, const Packet& pk) {
    switch (type) {
        case 0x02: return handleMpeg2Video(scan, pk);
        case 0x04: return handleMpegAudio(scan, pk);
        case 0x0F: return handleAac(scan, pk);
        case 0x1B: return handleAvc(scan, pk);
        case 0x80: return handleBdLpcm(scan, pk);
        case 0x81: return handleAc3(scan, pk);
        case 0x82: return handleDts(scan, pk);
        case 0x83: return handleTrueHd(scan, pk);
        default: return false;  // listed, but not described
    }
}

void describeProgramStreams(TsScan& scan, const TsProgram& program) {
    bool described[kTsMaxStreams] = {};
    size_t left = program.streamCount;
    walkPackets(scan.head, scan.size, 0, [&](const Packet& pk) {
        for (size_t i = 0; i < program.streamCount; ++i) {
            if (described[i] || program.streamPid[i] != pk.pid) continue;
            if (!pk.hasPayload || !pk.unitStart) continue;
            if (handleStream(scan, program.streamType[i], pk)) {
                described[i] = true;
                --left;
            }
        }
        return left > 0;
    });
}

// ---- time stamps ----

bool firstVideoPts(Bytes w, int size, uint64_t& pts) {
    bool found = false;
    walkPackets(w, size, 0, [&](const Packet& pk) {
        if (pk.unitStart && pk.hasPayload && readVideoPts(w.subspan(pk.payload, pk.end - pk.payload), pts)) found = true;
        return !found;
    });
    return found;
}

// From the last complete packet backwards. A position is examined when it
// and the two units before it carry sync bytes; elsewhere the walk moves
// back one byte at a time until it finds such a position again.
bool lastVideoPts(Bytes w, int size, uint64_t& pts) {
    const auto step = static_cast<size_t>(size);
    const size_t off = syncOffset(size);
    if (w.size() < 3 * step) return false;
    size_t p = w.size() - step;
    while (p >= 2 * step) {
        if (w[p + off] == kSyncByte && w[p - step + off] == kSyncByte && w[p - 2 * step + off] == kSyncByte) {
            const Packet pk = decodePacket(w, p, size);
            if (!pk.errorIndicator && pk.unitStart && pk.hasPayload &&
                readVideoPts(w.subspan(pk.payload, pk.end - pk.payload), pts))
                return true;
            p -= step;
        } else {
            --p;
        }
    }
    return false;
}

// ---- Blu-ray LPCM ----

struct BdChannelAssignment {
    double channels;   // the LFE as 0.1
    unsigned coded;    // channels stored: the count, LFE included, rounded up to even
    const char* config;
    const char* order;
};

const BdChannelAssignment* bdChannelAssignment(unsigned code) {
    static constexpr BdChannelAssignment kTable[] = {
        {0, 0, "", ""},
        {1.0, 2, "1/0", "C"},
        {0, 0, "", ""},
        {2.0, 2, "2/0", "L+R"},
        {3.0, 4, "3/0", "C+L+R"},
        {3.0, 4, "2/1", "L+R+BC"},
        {4.0, 4, "3/1", "C+L+R+BC"},
        {4.0, 4, "2/2", "L+R+BL+BR"},
        {5.0, 6, "3/2", "C+L+R+BL+BR"},
        {5.1, 6, "3/2", "C+L+R+BL+BR+LFE"},
        {7.0, 8, "3/4", "C+L+R+SL+SR+BL+BR"},
        {7.1, 8, "3/4", "C+L+R+SL+SR+BL+BR+LFE"},
    };
    if (code >= std::size(kTable) || kTable[code].coded == 0) return nullptr;
    return &kTable[code];
}

// ---- the analysis ----

}  // namespace

int detectTsPacketSize(const uint8_t* bytes, size_t length) {
    if (!bytes) return 0;
    for (size_t i = 0; i + 192 < length; ++i) {
        if (bytes[i] == kSyncByte && bytes[i + 188] == kSyncByte) return 188;
        if (i + 196 < length && bytes[i + 4] == kSyncByte && bytes[i + 196] == kSyncByte) return 192;
    }
    return 0;
}

size_t parseTsPat(Bytes section, TsProgramList& list) {
    if (section.size() < 8 || section[0] != 0x00) return 0;
    const uint16_t flagsAndLength = u16(section, 1);
    if (flagsAndLength < 0xB000 || (section[5] & 0x01) == 0) return 0;
    const size_t sectionLength = flagsAndLength & 0x0FFF;
    // Entries lie between the fixed part (8 bytes) and the CRC_32 (4 bytes
    // before the section's end, 3 + section_length).
    const size_t entriesEnd = std::min(3 + sectionLength >= 4 ? 3 + sectionLength - 4 : 0, section.size());
    size_t added = 0;
    for (size_t at = 8; at + 4 <= entriesEnd && list.count < kTsMaxPrograms; at += 4) {
        const uint16_t programNumber = u16(section, at);
        const auto pid = static_cast<uint16_t>(u16(section, at + 2) & 0x1FFF);
        if (programNumber == 0 || pid == kNetworkPid) continue;
        list.pmtPid[list.count++] = pid;
        ++added;
    }
    return added;
}

bool parseTsPmt(Bytes section, TsProgram& program) {
    if (section.size() < 12 || section[0] != 0x02) return false;
    program = TsProgram{};
    program.tableId = section[0];
    program.sectionSyntaxIndicator = section[1] >> 7;
    program.sectionLength = u16(section, 1) & 0x0FFF;
    program.programNumber = u16(section, 3);
    program.versionNumber = (section[5] >> 1) & 0x1F;
    program.currentNextIndicator = section[5] & 0x01;
    program.sectionNumber = section[6];
    program.lastSectionNumber = section[7];
    program.pcrPid = u16(section, 8) & 0x1FFF;
    program.programInfoLength = u16(section, 10) & 0x0FFF;
    const size_t crcStart = 3 + size_t{program.sectionLength} >= 4 ? 3 + size_t{program.sectionLength} - 4 : 0;
    const size_t limit = std::min(crcStart, section.size());
    for (size_t at = 12 + size_t{program.programInfoLength}; at + 5 <= limit;) {
        const uint8_t type = section[at];
        const auto pid = static_cast<uint16_t>(u16(section, at + 1) & 0x1FFF);
        const auto infoLength = static_cast<uint16_t>(u16(section, at + 3) & 0x0FFF);
        if (isListedStreamType(type) && program.streamCount < kTsMaxStreams) {
            program.streamType[program.streamCount] = type;
            program.streamPid[program.streamCount] = pid;
            program.esInfoLength[program.streamCount] = infoLength;
            ++program.streamCount;
        }
        at += 5 + size_t{infoLength};
    }
    return program.streamCount > 0;
}

bool readVideoPts(Bytes payload, uint64_t& pts) {
    if (payload.size() < 14) return false;
    if (payload[0] != 0 || payload[1] != 0 || payload[2] != 1 || payload[3] != 0xE0) return false;
    const unsigned flags = payload[7] >> 6;
    if (flags != 2 && flags != 3) return false;
    if (payload[8] < 5) return false;  // the header data cannot hold the PTS
    const Bytes b = payload.subspan(9, 5);
    // 3 bits, marker, 15 bits, marker, 15 bits, marker.
    pts = (uint64_t{(b[0] >> 1) & 0x07u} << 30) | (uint64_t{b[1]} << 22) | (uint64_t{b[2]} >> 1 << 15) |
          (uint64_t{b[3]} << 7) | (uint64_t{b[4]} >> 1);
    return true;
}

bool parseBdLpcmHeader(BdLpcmInfo& info, Bytes fourBytes) {
    copyText(info.codec, sizeof info.codec, "LinearPCM");
    const std::string bits = bytesToBits(fourBytes.first(std::min<size_t>(fourBytes.size(), 4)));
    const auto assignment = static_cast<unsigned>(bitsAt(bits, 16, 4));
    const BdChannelAssignment* channels = bdChannelAssignment(assignment);
    if (channels) {
        info.channels = channels->channels;
        copyText(info.channelConfig, sizeof info.channelConfig, channels->config);
        copyText(info.channelOrder, sizeof info.channelOrder, channels->order);
    } else {
        info.channels = 0;
        copyText(info.channelConfig, sizeof info.channelConfig, "0/0");
        copyText(info.channelOrder, sizeof info.channelOrder, format("UnknownChannel(%u)", assignment));
    }
    switch (bitsAt(bits, 20, 4)) {
        case 1: info.sampleRate = 48000; break;
        case 4: info.sampleRate = 96000; break;
        case 5: info.sampleRate = 192000; break;
        default: return false;
    }
    switch (bitsAt(bits, 24, 2)) {
        case 1: info.bitsPerSample = 16; break;
        case 2: info.bitsPerSample = 20; break;
        case 3: info.bitsPerSample = 24; break;
        default: return false;
    }
    // The stream stores an even number of channels (the LFE is a channel
    // of its own) and 20-bit samples in 24 bits.
    const unsigned coded = channels ? channels->coded : 0;
    const unsigned container = info.bitsPerSample == 16 ? 16 : 24;
    info.bitRate = static_cast<double>(coded) * container * info.sampleRate;
    return true;
}

bool parseBdLpcmHeader(BdLpcmInfo& info, FileReader& reader) {
    uint8_t bytes[4] = {};
    reader.read(bytes, sizeof bytes, false);
    return parseBdLpcmHeader(info, Bytes(bytes, sizeof bytes));
}

std::string describeTsLpcm(const BdLpcmInfo& info, size_t outSize) {
    const size_t limit = std::min(outSize, kTemplateBytes);
    std::string line = lookupTemplate("LPCM", "MPEG2-TS", u"FORMAT.INI", limit);
    auto put = [&](const char* placeholder, const std::string& value) { replacePlaceholder(line, placeholder, value, limit); };
    put("#sampleratek#", format("%.2f", info.sampleRate * 0.001));
    put("#samplerate#", format("%d", static_cast<int>(info.sampleRate)));
    put("#channel#", format("%.1f", info.channels));
    put("#channelconfig#", std::string(info.channelConfig, slotLength(info.channelConfig, sizeof info.channelConfig)));
    put("#channelorder#", std::string(info.channelOrder, slotLength(info.channelOrder, sizeof info.channelOrder)));
    put("#bitratek#", format("%.2f", info.bitRate * 0.001));
    put("#bitrate#", format("%.2f", info.bitRate));
    return line;
}

void describeTsLpcm(char* out, size_t outSize, const BdLpcmInfo& info) {
    if (out && outSize) copyText(out, outSize, describeTsLpcm(info, outSize));
}

bool scanMpegTransportStream(FileReader& reader, AnalysisRecord& record, uint64_t start, uint64_t end) {
    PositionGuard guard(reader);
    end = std::min(end, reader.size);
    const uint64_t regionBytes = end > start ? end - start : 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(regionBytes, kTransportStreamWindowBytes));
    const bool separateTail = regionBytes > kTransportStreamWindowBytes;

    std::unique_ptr<uint8_t[]> headStore(new (std::nothrow) uint8_t[n ? n : 1]());
    if (!headStore) {
        setErrorText(record, jp("[MPEG2-TS] 読み込みバッファ1の確保に失敗"));
        return false;
    }
    std::unique_ptr<uint8_t[]> tailStore;
    if (separateTail) {
        tailStore.reset(new (std::nothrow) uint8_t[kTransportStreamWindowBytes]());
        if (!tailStore) {
            headStore.reset();
            setErrorText(record, jp("[MPEG2-TS] 読み込みバッファ2の確保に失敗"));
            return false;
        }
    }
    reader.seek(static_cast<int64_t>(start), 0);
    reader.read(headStore.get(), n);
    const Bytes head(headStore.get(), n);
    Bytes tail = head;
    if (separateTail) {
        reader.seek(static_cast<int64_t>(end - kTransportStreamWindowBytes), 0);
        reader.read(tailStore.get(), kTransportStreamWindowBytes);
        tail = Bytes(tailStore.get(), kTransportStreamWindowBytes);
    }

    const int size = detectTsPacketSize(head.data(), n);
    if (size == 0) {
        setErrorText(record, jp("[MPEG2-TS] 検索範囲にLinkHeaderがありません"));
        return false;
    }

    // The PAT: the first packet of PID 0 that names at least one program.
    TsProgramList programs{};
    walkPackets(head, size, 0, [&](const Packet& pk) {
        if (pk.pid != kPatPid) return true;
        return parseTsPat(sectionOf(head, pk), programs) == 0;
    });
    if (programs.count == 0) {
        setErrorText(record, jp("[MPEG2-TS] PATが見つかりません"));
        return false;
    }

    // Each program's PMT: the first section of its PID that lists a stream.
    std::vector<TsProgram> maps(programs.count);
    for (size_t i = 0; i < programs.count; ++i) {
        walkPackets(head, size, 0, [&](const Packet& pk) {
            if (pk.pid != programs.pmtPid[i]) return true;
            TsProgram candidate{};
            if (!parseTsPmt(sectionOf(head, pk), candidate)) return true;
            maps[i] = candidate;
            return false;
        });
    }

    TsScan scan{reader, start, head, size, record};
    for (const TsProgram& program : maps)
        if (program.streamCount > 0) describeProgramStreams(scan, program);

    uint64_t first = 0, last = 0;
    const bool haveFirst = firstVideoPts(head, size, first);
    const bool haveLast = lastVideoPts(tail, size, last);
    if (haveFirst && haveLast && first != 0 && last > first)
        record.duration = static_cast<double>(last - first) / kClockRate;

    addExtraText(record, format("%dPct", size));
    return true;
}

void analyzeMpegTsFile(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    setFormatName(record, "MPEG2-TS");
    record.fileSize = static_cast<int64_t>(reader.size);
    scanMpegTransportStream(reader, record, 0, reader.size);
}

void analyzeMpegTransportStream(AnalysisRecord& record) { analyzeMpegTsFile(record); }

}  // namespace vesko
