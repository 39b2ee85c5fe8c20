// S98: register-write logs of Yamaha and other sound chips. A 32-byte
// little-endian header (version character, sync timer, tag/dump/loop
// offsets, device count), 16-byte device records, then the dump: register
// writes (device, register, value), 0xFF one sync, 0xFE a count of syncs,
// 0xFD end of data. The play time is the sum of the syncs.
#include <memory>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

#include "../analysers.h"
#include "../messages.h"
#include "../record.h"
#include "../templates.h"
#include "../text.h"
#include "midi.h"

namespace vesko {

namespace {

constexpr size_t kHeaderBytes = 32;
constexpr size_t kDeviceBytes = 16;
// The dump is walked in blocks of this size.
constexpr size_t kDumpBlockBytes = 64 * 1024;

// Without device records the file describes one OPNA at its usual clock.
constexpr uint32_t kDefaultDeviceType = 4;
constexpr uint32_t kDefaultDeviceClock = 7987200;

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

uint64_t addSaturated(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }

uint64_t mulSaturated(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_mul_overflow(a, b, &r) ? kMax : r;
}

// The dump walk as a state machine, so that the dump can be fed in blocks:
// a register write or a sync count may straddle two blocks.
class DumpWalk {
public:
    explicit DumpWalk(uint32_t numerator) : numerator_(numerator) {}

    // Walks `block`; false once the end-of-data byte has been seen.
    bool feed(Bytes block) {
        for (size_t i = 0; i < block.size() && !ended_; ++i) {
            const uint8_t c = block[i];
            switch (state_) {
                case State::Command:
                    if (c == 0xFD) {
                        ended_ = true;
                    } else if (c == 0xFF) {
                        ticks_ = addSaturated(ticks_, numerator_);
                    } else if (c == 0xFE) {
                        state_ = State::Count;
                        count_ = 0;
                        shift_ = 0;
                    } else {
                        state_ = State::Operands;
                        operandsLeft_ = 2;
                    }
                    break;
                case State::Operands: {
                    // Pass over what is left of the register write at once.
                    size_t skip = std::min<size_t>(operandsLeft_, block.size() - i);
                    operandsLeft_ -= static_cast<int>(skip);
                    i += skip - 1;
                    if (operandsLeft_ == 0) state_ = State::Command;
                    break;
                }
                case State::Count:
                    // 7 bits a byte, least significant group first; a count
                    // that does not fit 64 bits saturates.
                    if (c & 0x7F) {
                        const uint64_t group = c & 0x7F;
                        if (shift_ >= 64 || (shift_ > 57 && (group >> (64 - shift_)) != 0))
                            count_ = kMax;
                        else
                            count_ |= group << shift_;
                    }
                    if (shift_ < 64) shift_ += 7;
                    if (!(c & 0x80)) {
                        ticks_ = addSaturated(ticks_, mulSaturated(addSaturated(count_, 2), numerator_));
                        state_ = State::Command;
                    }
                    break;
            }
        }
        return !ended_;
    }

    // An event cut off by the end of the data (a sync count without its
    // last byte) adds nothing.
    uint64_t ticks() const { return ticks_; }

private:
    enum class State { Command, Operands, Count };
    uint32_t numerator_;
    uint64_t ticks_ = 0;
    State state_ = State::Command;
    int operandsLeft_ = 0;
    uint64_t count_ = 0;
    unsigned shift_ = 0;
    bool ended_ = false;
};

}  // namespace

uint64_t countS98Ticks(Bytes dump, uint32_t numerator) {
    DumpWalk walk(numerator);
    walk.feed(dump);
    return walk.ticks();
}

std::string s98DeviceName(uint32_t type) {
    static constexpr const char* kNames[] = {
        "NONE",        "PSG(YM2149)", "OPN(YM2203)", "OPN2(YM2612)", "OPNA(YM2608)", "OPM(YM2151)",
        "OPLL(YM2413)", "OPL(YM3526)", "OPL2(YM3812)", "OPL3(YMF262)", "NONE(10)",    "NONE(11)",
        "NONE(12)",    "NONE(13)",    "NONE(14)",    "PSG(AY-3-8910)", "DCSG(SN76489)",
    };
    if (type < std::size(kNames)) return kNames[type];
    return format("UnknownDevice(%u)", type);
}

void s98DeviceName(char* out, size_t outSize, uint32_t type) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, s98DeviceName(type));
}

bool readS98(S98Info& info, FileReader& reader) {
    reader.seek(0, 0);
    uint8_t header[kHeaderBytes] = {};
    reader.read(header, sizeof header, true);
    const Bytes h(header, sizeof header);

    std::memcpy(info.signature, header, 4);
    const char version = static_cast<char>(header[3]);
    if (version != '3' && version != '1') {
        const char text[2] = {version, '\0'};
        copyText(info.message, sizeof info.message, format(jp("不明なS98のバージョン(%s)"), text));
        return false;
    }

    info.timerNumerator = readU32LE(h, 4);
    info.timerDenominator = readU32LE(h, 8);
    if (info.timerNumerator == 0) info.timerNumerator = 10;
    if (info.timerDenominator == 0) info.timerDenominator = 1000;
    info.reserved = readU32LE(h, 12);
    info.tagOffset = readU32LE(h, 16);
    info.dumpOffset = readU32LE(h, 20);
    info.loopOffset = readU32LE(h, 24);
    const uint32_t declared = readU32LE(h, 28);

    if (declared == 0) {
        info.deviceCount = 1;
        info.devices[0] = S98Device{kDefaultDeviceType, kDefaultDeviceClock, 0, 0, {}};
        s98DeviceName(info.devices[0].name, sizeof info.devices[0].name, kDefaultDeviceType);
    } else {
        // At most 64 records, and only those that lie inside the file.
        const uint64_t inFile = reader.size > kHeaderBytes ? (reader.size - kHeaderBytes) / kDeviceBytes : 0;
        const size_t count = static_cast<size_t>(std::min<uint64_t>({declared, kS98MaxDevices, inFile}));
        uint8_t records[kS98MaxDevices * kDeviceBytes] = {};
        reader.seek(kHeaderBytes, 0);
        reader.read(records, count * kDeviceBytes, true);
        const Bytes r(records, count * kDeviceBytes);
        for (size_t i = 0; i < count; ++i) {
            S98Device& d = info.devices[i];
            d.type = readU32LE(r, i * kDeviceBytes);
            d.clock = readU32LE(r, i * kDeviceBytes + 4);
            d.pan = readU32LE(r, i * kDeviceBytes + 8);
            d.reserved = readU32LE(r, i * kDeviceBytes + 12);
            s98DeviceName(d.name, sizeof d.name, d.type);
        }
        info.deviceCount = static_cast<uint32_t>(count);
    }

    // The dump runs to the tag, or to the end of the file when the tag does
    // not follow it; never past the end of the file.
    uint64_t dumpEnd = info.tagOffset > info.dumpOffset ? info.tagOffset : reader.size;
    dumpEnd = std::min<uint64_t>(dumpEnd, reader.size);
    DumpWalk walk(info.timerNumerator);
    std::vector<uint8_t> block;
    for (uint64_t at = info.dumpOffset; at < dumpEnd;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kDumpBlockBytes, dumpEnd - at));
        block.resize(want);
        reader.seek(static_cast<int64_t>(at), 0);
        const size_t got = reader.read(block.data(), want, true);
        if (got == 0 || !walk.feed(Bytes(block.data(), got))) break;
        at += got;
    }
    info.ticks = walk.ticks();
    info.duration = static_cast<double>(info.ticks) / info.timerDenominator;
    return true;
}

std::string describeS98Device(const S98Info& info) {
    std::string line = lookupTemplate("AUDIO", "S98", u"FORMAT.INI");
    if (info.deviceIndex >= std::min<uint32_t>(info.deviceCount, kS98MaxDevices)) return line;
    const S98Device& d = info.devices[info.deviceIndex];
    replacePlaceholder(line, "#device#", std::string(d.name, strnlen(d.name, sizeof d.name)));
    replacePlaceholder(line, "#clock#", format("%u", d.clock));
    return line;
}

void describeS98Device(char* out, size_t outSize, const S98Info& info) {
    if (!out || outSize == 0) return;
    copyText(out, outSize, describeS98Device(info));
}

void analyzeS98(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    setFormatName(record, "S98");

    S98Info info{};
    if (!readS98(info, reader)) {
        setErrorText(record, std::string_view(info.message, strnlen(info.message, sizeof info.message)));
        reader.close();
        return;
    }
    for (uint32_t i = 0; i < info.deviceCount; ++i) {
        info.deviceIndex = i;
        addAudioText(record, describeS98Device(info));
    }

    // The loop point as an offset into the dump; a loop offset before the
    // dump is no loop point.
    const uint32_t loopLength =
        info.loopOffset != 0 && info.loopOffset >= info.dumpOffset ? info.loopOffset - info.dumpOffset : 0;
    addExtraText(record, format("%u/%u 0x%08X (+0x%08X)", info.timerNumerator, info.timerDenominator,
                                info.loopOffset, loopLength));
    if (info.tagOffset != 0) addExtraText(record, "TAG");

    record.duration = info.duration;
    reader.close();
}

}  // namespace vesko
