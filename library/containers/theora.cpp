// The Theora identification header (big-endian fields) and its line.
#include "theora.h"

#include <cinttypes>

#include "../record.h"

namespace vesko {

namespace {

// A big-endian field of the packet; bytes past its end read 0.
uint64_t fieldBE(Bytes packet, size_t offset, size_t width) {
    if (offset > packet.size() || packet.size() - offset < width) return 0;
    return readUIntBE(packet.subspan(offset), width);
}

}  // namespace

TheoraHeader parseTheoraHeader(Bytes p) {
    TheoraHeader h{};
    h.versionMajor = static_cast<uint8_t>(fieldBE(p, 7, 1));
    h.versionMinor = static_cast<uint8_t>(fieldBE(p, 8, 1));
    h.versionRevision = static_cast<uint8_t>(fieldBE(p, 9, 1));
    h.width = static_cast<uint32_t>(fieldBE(p, 10, 2)) * 16;
    h.height = static_cast<uint32_t>(fieldBE(p, 12, 2)) * 16;
    h.frameRateNumerator = static_cast<uint32_t>(fieldBE(p, 22, 4));
    h.frameRateDenominator = static_cast<uint32_t>(fieldBE(p, 26, 4));
    h.aspectNumerator = static_cast<uint32_t>(fieldBE(p, 30, 3));
    h.aspectDenominator = static_cast<uint32_t>(fieldBE(p, 33, 3));
    h.nominalBitRate = static_cast<uint32_t>(fieldBE(p, 37, 3));
    h.granuleShift = static_cast<uint32_t>(((fieldBE(p, 40, 1) & 0x03) << 3) | (fieldBE(p, 41, 1) >> 5));
    return h;
}

std::string describeTheora(const TheoraHeader& h, int64_t frameCount, size_t outSize) {
    std::string line = lookupTemplate("THEORA", "OGG", u"FORMAT.INI", outSize);
    auto put = [&](std::string_view name, const std::string& value) { replacePlaceholder(line, name, value, outSize); };
    put("#width#", format("%u", h.width));
    put("#height#", format("%u", h.height));
    put("#codec#", format("Theora %d.%d.%d", h.versionMajor, h.versionMinor, h.versionRevision));
    // The Ogg analyser has ended on a numerator of 0 before any line is
    // built; Matroska shows such a header as 0.00.
    const double frameRate = h.frameRateDenominator ? static_cast<double>(h.frameRateNumerator) / h.frameRateDenominator : 0.0;
    put("#framerate#", format("%.2f", frameRate));
    put("#aspect#", format("%u:%u", h.aspectNumerator, h.aspectDenominator));
    put("#bitratek#", format("%.2f", h.nominalBitRate * 0.001));
    put("#bitrate#", format("%.2f", static_cast<double>(h.nominalBitRate)));
    put("#frame#", format("%" PRId64, frameCount));
    return line;
}

}  // namespace vesko
