// JPEG: the frame size from the first start-of-frame marker of a JFIF
// file, or the PixelXDimension / PixelYDimension tags of an Exif file.
// Both look only at the first 5,120 bytes.
#include <string>
#include <vector>

#include "../analysers.h"
#include "../io.h"
#include "../messages.h"
#include "../record.h"
#include "../text.h"

namespace vesko {

namespace {

constexpr size_t kScanWindow = 5120;

std::vector<uint8_t> readWindow(FileReader& reader) {
    std::vector<uint8_t> window(kScanWindow);
    reader.rewind();
    window.resize(reader.read(window.data(), window.size()));
    return window;
}

bool isStartOfFrame(uint8_t code) {
    return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xCC;
}

// The value of a big-endian Exif IFD entry whose two-byte tag starts at p:
// type at p + 2, count at p + 4, the value (for one SHORT or LONG) at p + 8.
// Cameras and exiftool write the dimensions as SHORT or LONG; other types
// mean the two bytes were not a tag, and the search goes on.
bool exifDimension(Bytes window, uint8_t tagLow, uint32_t& value) {
    for (size_t p = 0; p + 1 < window.size(); ++p) {
        if (window[p] != 0xA0 || window[p + 1] != tagLow) continue;
        if (p + 12 > window.size()) break;
        const uint16_t type = readU16BE(window, p + 2);
        if (type == 3) {
            value = readU16BE(window, p + 8);
            return true;
        }
        if (type == 4) {
            value = readU32BE(window, p + 8);
            return true;
        }
    }
    return false;
}

}  // namespace

// "JFIF 24Bit WxH unit" from the first start-of-frame marker with a size;
// the marker must lie wholly inside the window.
std::string describeJfif(FileReader& reader) {
    const std::vector<uint8_t> window = readWindow(reader);
    const Bytes b(window);
    const char* unit = "normal";
    if (window.size() > 13) {
        if (window[13] == 1) unit = "inch";
        else if (window[13] == 2) unit = "cm";
    }
    for (size_t i = 0; i + 9 <= window.size(); ++i) {
        if (window[i] != 0xFF || !isStartOfFrame(window[i + 1])) continue;
        const uint16_t height = readU16BE(b, i + 5);
        const uint16_t width = readU16BE(b, i + 7);
        if (width != 0 || height != 0) return format("JFIF 24Bit %dx%d %s", width, height, unit);
    }
    return jp("[JPEG] マーカが見つかりません");
}

// "Exif 24Bit WxH" from the big-endian (Motorola) PixelXDimension and
// PixelYDimension tags. Little-endian (Intel) Exif stores the tags as
// 02 A0 / 03 A0 and is reported as not found.
std::string describeExif(FileReader& reader) {
    const std::vector<uint8_t> window = readWindow(reader);
    uint32_t width = 0;
    uint32_t height = 0;
    if (!exifDimension(window, 0x02, width)) return jp("[Exif] PixelXDimensionが見つかりません");
    if (!exifDimension(window, 0x03, height)) return jp("[Exif] PixelYDimensionが見つかりません");
    return format("Exif 24Bit %dx%d", static_cast<int32_t>(width), static_cast<int32_t>(height));
}

void analyzeJpeg(AnalysisRecord& record) {
    FileReader reader;
    if (!reader.open(record)) {
        setErrorText(record, msgOpenFailed());
        return;
    }
    record.fileSize = static_cast<int64_t>(reader.size);
    uint8_t head[16] = {};
    reader.read(head, sizeof head, false);
    const Bytes b(head);
    if (equalsAtNoCase(b, 6, "JFIF"))
        addVideoText(record, describeJfif(reader));
    else if (equalsAt(b, 6, "Exif"))
        addVideoText(record, describeExif(reader));
    else
        setErrorText(record, jp("[JPEG] JFIFかExif以外のJPEGです"));
    reader.close();
}

}  // namespace vesko
